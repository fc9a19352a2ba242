// A conversion's report in words, for people: the one-line summary the
// command line prints and the details the desktop program shows. Both front
// ends use these, so an operator reads the same words in either.
#pragma once

#include <cstdint>
#include <string>

#include "convert/engine.h"

// "1,204 records written, 2024-03-01T12:00:00 to 2024-03-01T13:00:00;
// 12.3 MB read, 98.1 MB written; 3 anomalies". Records are f001 records or
// D1,C1 value records; the time span is left out when no record was written.
// `recordsKept` false (no legacy CSV is kept): "readings, <span>; 12.3 MB
// read", without the counts of a CSV that was never written.
std::string ReportSummaryLine(const ConversionResult& result, bool recordsKept = true);

// Several lines: what the dump looked like, the header values read, the
// lines, the records and their time span, the bytes, the failure with its
// sentence and line, and every anomaly kept, with its line and byte.
// `fromType` (1, 2 logger dumps, 3 gauge dump) says which header values
// the conversion read.
std::string ReportInWords(const ConversionResult& result, int fromType);

// A count with thousands separators: 1204 -> "1,204".
std::string GroupedCount(int64_t count);

// A byte count for people: "812 bytes", "12.3 KB", "98.1 MB", "1.6 GB"
// (powers of 1000, one decimal).
std::string ByteSize(int64_t bytes);

// A byte count in MB with one decimal, whatever its size ("0.1 MB",
// "1204.0 MB"): progress that counts up keeps one unit.
std::string Megabytes(int64_t bytes);
