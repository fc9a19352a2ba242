// Identifiers of the main panel's controls and menu items. The panel file
// gives its controls these identifiers; the program addresses them by number.
#pragma once

inline constexpr int kCtrlToType = 2;        // ring: 0 logger CSV, 1 gauge CSV
inline constexpr int kCtrlFromType = 3;      // ring: 1, 2 logger dumps, 3 gauge dump
inline constexpr int kCtrlStartConvert = 4;  // two-state button
inline constexpr int kCtrlStatus = 7;        // text display: the status line
inline constexpr int kCtrlToName = 8;        // text display: the To file's path
inline constexpr int kCtrlFromName = 9;      // text display: the From file's path
inline constexpr int kCtrlOffsetB = 16;      // numeric: correction offset B
inline constexpr int kCtrlGainM = 17;        // numeric: correction gain M
inline constexpr int kCtrlCorrection = 18;   // binary switch: correction on (1) / off
inline constexpr int kCtrlTimer = 19;        // timer: drives ConvertTimer
inline constexpr int kCtrlLfLineEnds = 20;   // binary switch: read each LF of the dump as CR LF
inline constexpr int kCtrlBrowseFrom = 21;   // command button: Open From File, beside its path
inline constexpr int kCtrlBrowseTo = 22;     // command button: Open To File, beside its path

inline constexpr int kMenuOpenFrom = 3;
inline constexpr int kMenuCloseFrom = 4;
inline constexpr int kMenuOpenTo = 6;
inline constexpr int kMenuCloseTo = 7;
inline constexpr int kMenuExit = 9;
// The desktop program's: File > Export... and View > Wave statistics..., both
// for the last conversion's dump, dimmed until a conversion has run.
inline constexpr int kMenuExport = 11;
inline constexpr int kMenuWaveStatistics = 12;
// Convert > START CONVERT (Ctrl+Return): presses the button.
inline constexpr int kMenuStartConvert = 13;
