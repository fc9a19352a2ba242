// The application shell: start-up, the panel's and menu bar's callbacks,
// the correction controls and the conversion request and dispatch. The
// panel file binds the callbacks below by these names.
#pragma once

#include <string>
#include <vector>

#include "runtime/panel_description.h"

// Start-up: readies the run-time layer, loads and shows the panel, runs the
// event loop until the close box or Exit, then discards the panel. Returns 0,
// or 1 when the run-time layer or the panel file cannot be had (with a
// message on standard error). A dump file among the arguments is opened as
// the From file before the panel shows. With "--check-panel" among them it
// loads and shows the panel, discards it and returns 0 (1 when it cannot be
// shown) without running the loop: a check that an install finds its panel.
int ZorqMain(int argc, char* argv[]);

// Makes the shell's callbacks known by name, for the panel to bind.
void RegisterShellCallbacks();

// The panel the program expects: every control and menu item with its
// identifier, kind, callback and starting state. The panel file holds the
// same; the headless backend is built from this.
PanelDescription ShellPanelDescription();

// Panel callback.
int panelCB(int panel, int event, void* callbackData, int eventData1, int eventData2);

// Menu callbacks.
void Exit(int menuBar, int menuItem, void* callbackData, int panel);
void OpenFromFile(int menuBar, int menuItem, void* callbackData, int panel);
void CloseFromFile(int menuBar, int menuItem, void* callbackData, int panel);
void OpenToFile(int menuBar, int menuItem, void* callbackData, int panel);
void CloseToFile(int menuBar, int menuItem, void* callbackData, int panel);
// Convert > START CONVERT: presses START CONVERT as the operator would.
void ConvertMenuStart(int menuBar, int menuItem, void* callbackData, int panel);
// The desktop program's outputs of the last conversion: they ask the front
// end's hooks, and do nothing without them.
void ExportLastDump(int menuBar, int menuItem, void* callbackData, int panel);
void WaveStatistics(int menuBar, int menuItem, void* callbackData, int panel);

// Open From File once a file is chosen: opens the existing file `path` (a
// full path of at most kMaxPathLength characters) as the From file.
void OpenFromPath(int menuBar, const char* path);

// The file names among the program's arguments: every argument after the
// program's name that does not start with '-'.
std::vector<std::string> DumpFilesGiven(int argc, char* argv[]);
// Opens the first of `files` as the From file, as Open From File would, when
// it can be read; says on standard error why not, and when others are left.
void OpenDumpGiven(const std::vector<std::string>& files);

// Control callbacks.
int FromSelect(int panel, int control, int event, void* callbackData, int eventData1,
               int eventData2);
int MXBEnable(int panel, int control, int event, void* callbackData, int eventData1,
              int eventData2);
int StartConvert(int panel, int control, int event, void* callbackData, int eventData1,
                 int eventData2);
// The Browse… buttons beside the file paths: Open From File and Open To
// File, as their menu items (Open To File only while no To file is open,
// when its item is not dimmed).
int BrowseFromFile(int panel, int control, int event, void* callbackData, int eventData1,
                   int eventData2);
int BrowseToFile(int panel, int control, int event, void* callbackData, int eventData1,
                 int eventData2);
int ConvertTimer(int panel, int control, int event, void* callbackData, int eventData1,
                 int eventData2);

// Carries out one conversion request and shows its outcome.
void DoTheConvert();

// The status line of a cancelled conversion.
inline constexpr const char* kCancelledText = "Cancelled";

// The help popup of START CONVERT.
inline constexpr const char* kStartConvertHelpTitle = "START CONVERT";
inline constexpr const char* kStartConvertHelpText =
    " Sample Rate and Staff Length are extracted from the From File Header./n";
