// The converters as the shell knows them: each copies the shell's globals
// into a conversion request, runs the engine and copies the outcome back
// (the status into ConvertState, the header values into their globals).
// Each is entered with both files open, the From file at its start and the
// To file at its end, ConvertState 0, FileSampleRate 1 and StaffScale 1.0.
#pragma once

#include "convert/engine.h"

// Logger dump (From types 1 and 2) to the logger CSV (To type 0), with the
// correction the panel's controls give.
void ConvertKQKQIIIFlashToCSV();

// Gauge dump (From type 3) to the gauge CSV (To type 1).
void ConvertJXFlashToJXBCSV();

// Sets StaffScale from SelectFromType, RangeCode and QMAll, or ConvertState
// to 3 (Staff Length Error) when the table holds no such combination.
void SetQMKQStaffLength();

// The correction switch (on only at exactly 1), gain M and offset B as the
// panel shows them.
Correction ReadCorrectionControls();

// The shell's globals as a conversion's inputs, and its results back into
// them: the header values of the kind of dump that was converted.
GaugeCarry CarriedGaugeValues();
LoggerHeaderValues CurrentHeaderValues();
void KeepLoggerValues(const LoggerHeaderValues& values);
void KeepGaugeValues(const GaugeHeaderValues& values);
