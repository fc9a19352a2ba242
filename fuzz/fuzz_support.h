// Helpers shared by the fuzz targets: invariant checks that stop the run,
// dumps held in memory files, and one conversion run through the dispatch
// on a headless panel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/dispatch.h"
#include "convert/engine.h"

class HeadlessUi;

namespace zorq_fuzz {

// Prints the message and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

#define ZORQ_FUZZ_CHECK(condition, ...) \
  do {                                  \
    if (!(condition))                   \
      ::zorq_fuzz::Fail(__VA_ARGS__);   \
  } while (0)

// Local time is UTC in every target, so that stamps do not depend on the
// machine.
void InitEnvironment();

// A file that lives in memory (memfd), reachable through a path.
class MemoryFile {
 public:
  MemoryFile(const char* name, const void* bytes, size_t size);
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  // "/proc/self/fd/N": opening it gives a new descriptor on the same file.
  const std::string& Path() const { return path_; }
  std::string Contents() const;

 private:
  int fd_ = -1;
  std::string path_;
};

// The headless panel with the shell's callbacks bound, made once per
// process; PanelHandle points at it.
HeadlessUi& Panel();

// Every shared value back to its start-up state, except that the panel stays
// loaded. Each run starts from here, so that a run does not depend on the
// ones before it.
HeadlessUi& ResetKeepingPanel();

struct ConversionRun {
  int status = 0;      // ConvertState after the dispatch
  std::string output;  // what the To file holds after the prior content
  ConversionReport report;
};

// Converts `dump` through DoTheConvert with the From-type and To-type rings
// set as given and a To file that held `prior` before. Header values and
// the correction controls are whatever the caller left. Fails the run when
// the prior content is not kept at the front of the To file.
ConversionRun RunConversion(const uint8_t* dump, size_t size, int fromType, int toType,
                            const std::string& prior);

// Splits `text` into lines that each end with CR LF. False when some byte
// is a CR or LF that is not part of such an ending, or the text does not end
// with one.
bool SplitCrLfLines(const std::string& text, std::vector<std::string>* lines);

// Fails unless the conversion with the fast number paths and the one through
// the C library alone ended alike, to the byte, with the same report.
void CheckSameBothWays(const ConversionRun& fast, const ConversionRun& plain);

// The report against the dump and the output: at most 100 anomalies of a
// kind are kept and all are counted; every anomaly and failure names the
// first byte of a line of its kind and the number of that line (1 + the LFs
// before it); after a normal end the line counts are those of the dump cut
// into lines the plain way; bytes and records written are those of the
// output. `logger` picks the record kind and the short-line rule.
void CheckReport(const ConversionRun& run, const uint8_t* dump, size_t size, bool logger);

// Converts `dump` again straight through the dispatch, with `request`'s
// types, correction and carried values and a listener attached, and fails
// unless the output and status are those of `run` and what the listener
// heard agrees with the dump and the report: every data line once, in
// order, readings counted on from their stamp, fillers where the report
// says lines broke off, and as many readings as the records hold.
void CheckHeardReadings(const ConversionRun& run, const uint8_t* dump, size_t size,
                        DispatchRequest request);

}  // namespace zorq_fuzz
