// The --json report: one JSON object per input, on one line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "convert/engine.h"

// Appends `text` as a JSON string: quotes, backslashes and control
// characters escaped, bytes that are not UTF-8 replaced by U+FFFD.
void AppendJsonString(std::string* out, std::string_view text);

// What the command line knows of one input besides the engine's report.
struct InputReport {
  std::string from;               // as given on the command line
  std::optional<std::string> to;  // as given or made from -o; none with --check
  std::optional<int> fromType;    // none when no type was settled
  std::optional<int> toType;
  std::optional<int> status;  // 0 to 8; none when the run was stopped
  std::string message;        // the status text, or what stopped it
  int exitStatus = 0;         // what the input would exit with alone
  bool cancelled = false;
  // Why the input failed before or after the engine ran (a file that cannot
  // be used); empty otherwise.
  std::string problem;
  std::optional<DumpLook> look;              // what the header looks like, when known
  const ConversionResult* result = nullptr;  // the engine's results, when it ran
  std::string timeZone;
};

// The object, without a line feed.
std::string JsonReportLine(const InputReport& report);
