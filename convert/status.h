// Outcome codes of a conversion and the texts the status line shows for them.
#pragma once

#include <cstdint>

inline constexpr uint8_t kStatusReady = 0;
inline constexpr uint8_t kStatusFileError = 1;
inline constexpr uint8_t kStatusHeaderError = 2;
inline constexpr uint8_t kStatusStaffLengthError = 3;
inline constexpr uint8_t kStatusDateTimeError = 4;
inline constexpr uint8_t kStatusWriteError = 5;
inline constexpr uint8_t kStatusToTypeError = 6;
inline constexpr uint8_t kStatusFromTypeError = 7;
inline constexpr uint8_t kStatusFinished = 8;

// The status-line text of a code; codes above 8 never occur and read as "".
const char* StatusMessage(int code);

// The exit status of a conversion that ended with status `code`, as the
// command line exits: 0 when finished, the status itself for 1 to 7, and 70
// (EX_SOFTWARE) for a status no finished run ends with.
int ExitStatusOfStatus(int code);
