// The logger conversion (From types 1 and 2, To type 0) on arbitrary dumps,
// run through the dispatch with a To file that already holds something. The
// last input byte also picks the set-up: bit 0 the From type, bits 1 to 3
// the correction controls, bit 4 whether the To file held anything before.
// Each input is converted twice, with the fast number paths and with the C
// library alone, and the two must agree to the byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "convert/dump_types.h"
#include "convert/status.h"
#include "fuzz/fuzz_support.h"
#include "runtime/fast_numbers.h"
#include "runtime/headless_ui.h"
#include "runtime/numbers.h"

namespace {

using zorq_fuzz::ConversionRun;

constexpr const char* kPriorContent = "earlier output\r\nand a last line without its end";
constexpr size_t kRecordSize = 513;
constexpr size_t kPrefixSize = 31;

struct CorrectionControls {
  int switchValue;  // the correction applies only at exactly 1
  double gain;      // M
  double offset;    // B
};

// Ordinary settings and ones that blow readings far past the record's field
// width, so that formatting them must cut rather than overrun.
constexpr CorrectionControls kCorrections[8] = {
    {0, 1.0, 0.0},       {1, 2.0, 0.5},    {2, -7.0, 3.0}, {1, 1e300, -1e300},
    {1, -1e-300, 1e308}, {1, 0.0, -101.0}, {1, 1e7, 0.0},  {1, -1e6, 0.0},
};

bool IsStatusTheLoggerConverterSets(int status) {
  switch (status) {
    case kStatusFileError:
    case kStatusHeaderError:
    case kStatusStaffLengthError:
    case kStatusDateTimeError:
    case kStatusWriteError:
    case kStatusFinished:
      return true;
    default:
      return false;
  }
}

// "f001,Sdd,B0,dddd-dd-ddTdd:dd:dd", the prefix of a rate from 1 to 99 and
// a four-digit year.
bool IsPlainPrefix(const char* record) {
  static constexpr char kPattern[] = "f001,S##,B0,####-##-##T##:##:##";
  for (size_t i = 0; i < kPrefixSize; ++i) {
    if (kPattern[i] == '#' ? !IsDigit(record[i]) : record[i] != kPattern[i])
      return false;
  }
  return true;
}

void CheckF001(const std::string& out, size_t at) {
  ZORQ_FUZZ_CHECK(out.size() - at >= kRecordSize, "an f001 record of %zu bytes", out.size() - at);
  const char* record = out.data() + at;
  ZORQ_FUZZ_CHECK(record[511] == '\r' && record[512] == '\n', "an f001 record without CR LF");
  for (size_t i = 0; i < 511; ++i) {
    const char c = record[i];
    ZORQ_FUZZ_CHECK(c != '\r' && c != '\n' && c != '\0', "byte %zu of an f001 record is %d", i, c);
  }
  // With a prefix of its usual width every reading sits at its place.
  if (IsPlainPrefix(record)) {
    for (size_t field = 0; field < 60; ++field) {
      ZORQ_FUZZ_CHECK(record[kPrefixSize + 8 * field] == ',', "reading %zu is out of place", field);
    }
  }
}

// Returns the size of the C001 record at `at`.
size_t CheckC001(const std::string& out, size_t at) {
  const size_t end = out.find("\r\n", at);
  ZORQ_FUZZ_CHECK(end != std::string::npos, "a C001 record without CR LF");
  const std::string value = out.substr(at + 8, end - at - 8);
  ZORQ_FUZZ_CHECK(!value.empty() && value.size() <= 64, "a C001 value of %zu bytes", value.size());
  ZORQ_FUZZ_CHECK(value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos,
                  "a C001 value with a line end or a zero byte");
  return end + 2 - at;
}

// Nothing but f001 records, each directly followed by at most one C001.
void CheckRecords(const std::string& out) {
  size_t at = 0;
  while (at < out.size()) {
    ZORQ_FUZZ_CHECK(out.compare(at, 5, "f001,") == 0, "byte %zu starts no f001 record", at);
    CheckF001(out, at);
    at += kRecordSize;
    if (out.compare(at, 8, "C001,D4,") == 0)
      at += CheckC001(out, at);
  }
}

void CheckOutput(const ConversionRun& run) {
  ZORQ_FUZZ_CHECK(IsStatusTheLoggerConverterSets(run.status), "status %d", run.status);
  // The header and the scale are settled before anything is written.
  if (run.status == kStatusHeaderError || run.status == kStatusStaffLengthError) {
    ZORQ_FUZZ_CHECK(run.output.empty(), "status %d with %zu bytes written", run.status,
                    run.output.size());
  }
  CheckRecords(run.output);
}

ConversionRun RunOnce(const uint8_t* data, size_t size, bool fastNumbers) {
  const uint8_t setup = size > 0 ? data[size - 1] : 0;
  HeadlessUi& panel = zorq_fuzz::ResetKeepingPanel();
  const CorrectionControls& correction = kCorrections[(setup >> 1) & 7];
  panel.SetValue(kCtrlCorrection, correction.switchValue);
  panel.SetValue(kCtrlGainM, correction.gain);
  panel.SetValue(kCtrlOffsetB, correction.offset);
  const int fromType =
      TypeNumber((setup & 1) != 0 ? FromType::kLoggerType2 : FromType::kLoggerType1);
  const std::string prior = (setup & 16) != 0 ? kPriorContent : "";
  SetFastNumberPaths(fastNumbers);
  ConversionRun run = zorq_fuzz::RunConversion(data, size, fromType, 0, prior);
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
  zorq_fuzz::CheckReport(fast, data, size, /*logger=*/true);
  // The fast number paths must not change a byte of what the C library gives.
  zorq_fuzz::CheckSameBothWays(fast, RunOnce(data, size, false));
  // A listener hears what was converted and changes nothing.
  const uint8_t setup = size > 0 ? data[size - 1] : 0;
  const CorrectionControls& correction = kCorrections[(setup >> 1) & 7];
  DispatchRequest request;
  request.fromType = TypeNumber((setup & 1) != 0 ? FromType::kLoggerType2 : FromType::kLoggerType1);
  request.correction =
      ::Correction{correction.switchValue == 1, correction.gain, correction.offset};
  zorq_fuzz::CheckHeardReadings(fast, data, size, request);
  return 0;
}
