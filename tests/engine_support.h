// Helpers for the engine tests: dumps put together line by line, one
// conversion run on files of a temporary folder, and the line number and
// byte of a line in a dump.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "convert/engine.h"
#include "tests/test_support.h"

namespace zorq_test {

// A logger header of 63 bytes with the given range and staff codes (F04),
// and a gauge header (T10 unless told), each ending in CR LF.
std::string LoggerHeader(int rangeCode = 8, int staffCode = 100);
std::string GaugeHeader(int typeCode = 10);

// The header, then each line with CR LF; a dump shorter than the 129 bytes
// a header block needs is padded with comma lines (which are skipped).
std::string DumpOf(const std::string& header, const std::vector<std::string>& lines);

// A long dump of about `bytes` bytes: date stamps every 40 lines and lines
// of twelve values, logger counts or gauge decimals.
std::string LongLoggerDump(size_t bytes);
std::string LongGaugeDump(size_t bytes);

// Line number (1 + the LFs before it) and byte of the first line of `dump`
// that starts with `text`, at or after `from`.
struct LinePlace {
  int64_t line = 0;
  int64_t byte = -1;
};
LinePlace PlaceOf(const std::string& dump, const std::string& text, size_t from = 63);

struct EngineRun {
  ConversionResult result;
  std::string output;  // the To file after the prior content
  std::string toFile;  // the whole To file
};

// Converts `dump` with RunConversion into a To file that holds `prior`.
// The request's handles are filled in; everything else is the caller's.
EngineRun RunEngine(const std::string& dump, ConversionRequest request,
                    const std::string& prior = "");

// The anomalies of one kind, in order.
std::vector<Anomaly> AnomaliesOf(const ConversionReport& report, AnomalyKind kind);

}  // namespace zorq_test
