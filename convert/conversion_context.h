// What one conversion shares between its reader and its converter besides
// the files' bytes: the request, the status and the report. Each conversion
// has its own, so that conversions in several threads share nothing.
#pragma once

#include <cstdint>
#include <string>

#include "convert/engine.h"

class ConversionContext {
 public:
  ConversionContext(const ConversionRequest& request, ConversionResult* result);

  const ConversionRequest& request;
  ConversionResult& result;
  ConversionReport& report;
  uint8_t& status;
  int64_t fromSize = -1;  // -1 when not known
  bool cancelled = false;

  // Sets the status and says where and why. A later failure with the same
  // status keeps the place and reason of the first.
  void Fail(uint8_t code, int64_t line, int64_t byte, std::string reason);

  // Counts an anomaly and keeps it while fewer than kAnomaliesKeptPerKind of
  // its kind are kept; `makeDetail` is called only for a kept one.
  template <typename MakeDetail>
  void Note(AnomalyKind kind, int64_t line, int64_t byte, MakeDetail makeDetail) {
    int64_t& count = report.anomalyCounts[static_cast<size_t>(kind)];
    if (count++ < kAnomaliesKeptPerKind)
      report.anomalies.push_back(Anomaly{kind, line, byte, makeDetail()});
  }

  // The reader has read `bytesRead` bytes of the dump: tells the progress
  // hook and asks the cancel hook. False when the conversion is to stop.
  bool ReportProgress(int64_t bytesRead);

 private:
  uint8_t failureCode_ = 0;
};
