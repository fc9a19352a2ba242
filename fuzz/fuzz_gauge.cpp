// The gauge conversion (From type 3, To type 1) on arbitrary dumps, run
// through the dispatch with a To file that already holds something. The
// last input byte also picks the set-up: bit 0 the type code left by an
// earlier gauge conversion (0 or 10), bit 1 whether the To file held
// anything before. Each input is converted twice, with the fast number paths
// and with the C library alone, and the two must agree to the byte.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/shared_state.h"
#include "convert/status.h"
#include "fuzz/fuzz_support.h"
#include "runtime/fast_numbers.h"
#include "runtime/numbers.h"

namespace {

using zorq_fuzz::ConversionRun;

constexpr const char* kPriorContent = "earlier output\r\nand a last line without its end";

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsStatusTheGaugeConverterSets(int status) {
  switch (status) {
    case kStatusFileError:
    case kStatusHeaderError:
    case kStatusDateTimeError:
    case kStatusWriteError:
    case kStatusFromTypeError:
    case kStatusFinished:
      return true;
    default:
      return false;
  }
}

void CheckHeader(const std::vector<std::string>& lines) {
  ZORQ_FUZZ_CHECK(lines.size() >= 8, "a header of %zu lines", lines.size());
  ZORQ_FUZZ_CHECK(lines[0] == " Wave Gauge Converted File", "header line 1: %s", lines[0].c_str());
  ZORQ_FUZZ_CHECK(lines[1] == " Part #ZORQ-207-118K-1" || lines[1] == " Part #ZORQ-207-118K-3" ||
                      lines[1] == " Part #ZORQ-207-118K-10",
                  "header line 2: %s", lines[1].c_str());
  ZORQ_FUZZ_CHECK(StartsWith(lines[2], " Date & Time,"), "header line 3: %s", lines[2].c_str());
  char rate[64];
  FormatText(rate, sizeof rate, " Sample rate,%02i,Hz", FileSampleRate);
  ZORQ_FUZZ_CHECK(lines[3] == rate, "header line 4: %s", lines[3].c_str());
  ZORQ_FUZZ_CHECK(lines[4] == " Burst Length, Continuous" ||
                      (StartsWith(lines[4], " Burst Length,") && EndsWith(lines[4], " min.")),
                  "header line 5: %s", lines[4].c_str());
  ZORQ_FUZZ_CHECK(StartsWith(lines[5], " Burst Interval,") && EndsWith(lines[5], " min."),
                  "header line 6: %s", lines[5].c_str());
  ZORQ_FUZZ_CHECK(lines[6] == " New File Interval, Continuous" ||
                      (StartsWith(lines[6], " New File Interval,") && EndsWith(lines[6], " day.")),
                  "header line 7: %s", lines[6].c_str());
  ZORQ_FUZZ_CHECK(lines[7].empty(), "the header does not end with an empty line");
}

// The records after the header: a C8 always followed by its C9; a C1
// followed by the C4 (always, once one has been written) and then the C0.
void CheckRecords(const std::vector<std::string>& lines) {
  char rateRecord[64];
  FormatText(rateRecord, sizeof rateRecord, "D1,C0,%02i", FileSampleRate);
  bool c4Seen = false;
  size_t i = 8;
  auto at = [&lines](size_t index, const char* prefix) {
    return index < lines.size() && StartsWith(lines[index], prefix) &&
           lines[index].size() > std::string(prefix).size();
  };
  while (i < lines.size()) {
    if (at(i, "D1,C8,")) {
      ZORQ_FUZZ_CHECK(at(i + 1, "D1,C9,"), "record %zu: a date record without its time", i);
      i += 2;
      continue;
    }
    ZORQ_FUZZ_CHECK(at(i, "D1,C1,"), "record %zu is neither a date nor a value: %s", i,
                    lines[i].c_str());
    ++i;
    if (at(i, "D1,C4,")) {
      c4Seen = true;
      ++i;
    } else {
      ZORQ_FUZZ_CHECK(!c4Seen, "record %zu: a value without the C4 record", i);
    }
    ZORQ_FUZZ_CHECK(i < lines.size() && lines[i] == rateRecord,
                    "record %zu: a value not followed by its sample-rate record", i);
    ++i;
  }
}

void CheckOutput(const ConversionRun& run) {
  ZORQ_FUZZ_CHECK(IsStatusTheGaugeConverterSets(run.status), "status %d", run.status);
  // The header fails before anything is written.
  if (run.status == kStatusHeaderError || run.status == kStatusFromTypeError) {
    ZORQ_FUZZ_CHECK(run.output.empty(), "status %d with %zu bytes written", run.status,
                    run.output.size());
  }
  if (run.output.empty()) {
    ZORQ_FUZZ_CHECK(run.status != kStatusFinished, "finished without writing the header");
    return;
  }
  std::vector<std::string> lines;
  ZORQ_FUZZ_CHECK(zorq_fuzz::SplitCrLfLines(run.output, &lines),
                  "the output is not made of CR LF lines");
  CheckHeader(lines);
  CheckRecords(lines);
}

ConversionRun RunOnce(const uint8_t* data, size_t size, bool fastNumbers) {
  const uint8_t setup = size > 0 ? data[size - 1] : 0;
  zorq_fuzz::ResetKeepingPanel();
  LoggerTypeCode = (setup & 1) != 0 ? 10 : 0;
  const std::string prior = (setup & 2) != 0 ? kPriorContent : "";
  SetFastNumberPaths(fastNumbers);
  ConversionRun run = zorq_fuzz::RunConversion(data, size, 3, 1, prior);
  SetFastNumberPaths(true);
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  zorq_fuzz::InitEnvironment();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ConversionRun fast = RunOnce(data, size, true);
  CheckOutput(fast);
  zorq_fuzz::CheckReport(fast, data, size, /*logger=*/false);
  // The fast number paths must not change a byte of what the C library gives.
  zorq_fuzz::CheckSameBothWays(fast, RunOnce(data, size, false));
  // A listener hears what was converted and changes nothing.
  DispatchRequest request;
  request.fromType = 3;
  request.toType = 1;
  request.carried.loggerTypeCode = size > 0 && (data[size - 1] & 1) != 0 ? 10 : 0;
  zorq_fuzz::CheckHeardReadings(fast, data, size, request);
  return 0;
}
