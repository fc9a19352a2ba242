// The two converters and the scale table. Each converter is entered with
// both files open, the From file at its start and the To file at its end,
// ConvertState 0, FileSampleRate 1 and StaffScale 1.0; it leaves its outcome
// in ConvertState.
#pragma once

// Logger dump (From types 1 and 2) to the logger CSV (To type 0).
void ConvertKQKQIIIFlashToCSV();

// Gauge dump (From type 3) to the gauge CSV (To type 1).
void ConvertJXFlashToJXBCSV();

// Sets StaffScale from SelectFromType, RangeCode and QMAll, or ConvertState
// to 3 (Staff Length Error) when the table holds no such combination.
void SetQMKQStaffLength();
