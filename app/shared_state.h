// Process-wide values shared by the shell and the converters. The program is
// single-threaded: everything runs on the event-loop thread.
#pragma once

#include <cstdint>

#include "convert/engine.h"

// --- Panel and files (owned by the shell) ---
extern int PanelHandle;         // the main panel; 0 before loading, negative if loading failed
extern int FileFromHandle;      // the open From file (the dump)
extern int FileToHandle;        // the open To file (the output)
extern char FileFromName[260];  // path of the From file as chosen
extern char FileToName[260];    // path of the To file as chosen
extern int FileFromOpen;        // 1 while a From file is open
extern int FileToOpen;          // 1 while a To file is open

// --- The current conversion ---
extern uint8_t ConvertState;  // outcome code, see status.h
extern int OKToConvert;       // a conversion has been requested
extern int SelectFromType;    // From-type ring: 1, 2 logger dumps, 3 gauge dump
extern int SelectToType;      // To-type ring: 0 logger CSV, 1 gauge CSV

// --- Header values ---
extern int FileSampleRate;  // samples per second
extern int RangeCode;       // logger header "A"
extern int QMAll;           // logger header "C"
extern float StaffScale;    // the reading a full-scale count of 4095 stands for

// Gauge header values; each keeps its value when its letter is missing from
// a later gauge header.
extern int BurstLength;      // minutes, 0 continuous
extern int BurstInterval;    // minutes
extern int NewFileInterval;  // days, 0 continuous
extern int PartVariant;      // picks the part-number line
extern int LoggerTypeCode;   // 10 for gauge dumps

// What the last conversion request came to (set by DoTheConvert), for a
// front end to show.
extern ConversionReport LastConversionReport;

// Puts every value above back to its start-up state (for tests and for
// front ends that run more than one session in a process).
void ResetSharedState();

// The zone the dumps' clocks are read in, for every conversion of the
// panel; the front end sets it once at start (UTC until then).
extern Zone DumpClockZone;
// The zone $TZ names, else the system's (as a $TZ that names none).
Zone ZoneAtStart();
