// The --json report: one JSON object per input, on one line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "convert/engine.h"
#include "qc/reading_qc.h"
#include "science/metadata.h"

// What the command line knows of one input besides the engine's report.
struct InputReport {
  std::string from;               // as given on the command line
  std::optional<std::string> to;  // as given or made from -o; none with --check
  // Where a failed or stopped conversion's outputs were kept (NAME.partial),
  // the legacy CSV's first when it was kept.
  std::vector<std::string> partials;
  // The legacy CSV was asked for: without it, its counts say nothing of
  // what was written.
  bool legacyWritten = true;
  std::optional<int> fromType;  // none when no type was settled
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
  // The science outputs, as named on the command line or made from -o
  // (empty with --check); absent when not asked for.
  std::optional<std::string> netcdf;
  std::optional<std::string> tidy;
  std::optional<std::string> wavesNetcdf;  // the statistics' NetCDF file
  std::vector<std::string> warnings;       // of the science outputs
  // Readings the NetCDF output left out because their time did not rise;
  // none when it was not written.
  std::optional<int64_t> netcdfReadingsOutOfOrder;
  // What trimming left out, by the deployment's times and by --trim-depth
  // (which of them was asked for below); none when nothing trims.
  std::optional<TrimmedCounts> trimmed;
  bool deployed = false;
  bool recovered = false;
  std::optional<double> trimDepth;
  // The QARTOD tests' flags of the science outputs' readings, per test
  // configured; none when no science output was written.
  std::optional<ReadingFlagCounts> qcCounts;
  VariableTests qcTests;
  // --waves: where the statistics went, how many segments, and the first
  // one's Hm0 and Tp (NaN: null).
  struct Waves {
    std::string file;
    int64_t segments = 0;
    double firstHm0 = 0.0;
    double firstTp = 0.0;
  };
  std::optional<Waves> waves;
  // --merge: the dump's SHA-256, as the merged file's `source` gives it.
  std::optional<std::string> sha256;
};

// --merge: the line after its dumps' lines, for the merged file.
struct MergeReport {
  std::string merge;               // NAME.nc
  std::vector<std::string> dumps;  // in the order of their first times
  std::optional<std::string> wavesNetcdf;
  std::optional<int> status;  // none when stopped
  std::string message;
  int exitStatus = 0;
  bool cancelled = false;
  std::string problem;  // why the merge failed, empty when it did not
  int64_t duplicates = 0;
  int64_t conflicts = 0;
  int64_t mostHeld = 0;  // the most readings held at once, for the overlap
  struct Conflict {
    std::string time;  // UTC, ISO 8601
    double kept = 0.0;
    double dropped = 0.0;
    std::string keptFrom;
    std::string droppedFrom;
  };
  std::vector<Conflict> conflictList;  // the first of them
  std::vector<std::string> warnings;
  std::vector<std::string> partials;
};

std::string MergeReportLine(const MergeReport& report);

// The object, without a line feed. Fields keep their order. Text that is
// not UTF-8 shows U+FFFD for each bad byte; a file name that is not has its
// bytes beside it as well (`from_bytes`, `to_bytes`: a list of numbers), so
// that the file can still be found.
std::string JsonReportLine(const InputReport& report);

// True when `text` is UTF-8 throughout.
bool IsUtf8(const std::string& text);
