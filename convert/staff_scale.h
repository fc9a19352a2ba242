// The full-scale value of a logger dump, looked up from the From type, the
// header's range code and its staff code.
#pragma once

// True, with `scale` set, when the table of `fromType` (2 or 1) holds the
// range code with the staff code; false (scale untouched) for any other
// combination, and for any other From type.
bool LookUpStaffScale(int fromType, int rangeCode, int staffCode, float* scale);
