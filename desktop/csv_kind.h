// Which of the two CSV kinds a To file holds, told from its first bytes as
// the converters write them: the shell appends to a To file, and records of
// one kind after the other's make a file neither kind's reader takes.
#pragma once

#include <string>

// The To ring's values of the two kinds.
inline constexpr int kLoggerCsvKind = 0;
inline constexpr int kGaugeCsvKind = 1;
inline constexpr int kNoCsvKind = -1;  // empty, unreadable, or something else

int CsvKindOfFile(const std::string& path);
// "logger CSV records (f001)", "gauge CSV records (D1)".
std::string CsvKindName(int kind);
