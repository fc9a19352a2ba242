// The science outputs of one conversion, fed from the same pass as the
// legacy CSV: which formats a run writes, the writers behind one reading
// listener, and an export of a dump that runs the engine for them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "convert/engine.h"
#include "science/metadata.h"
#include "science/netcdf_writer.h"
#include "science/source_digest.h"
#include "science/tidy_writer.h"

// The outputs of --format, in the order they are named in.
struct FormatSet {
  bool legacy = true;
  bool netcdf = false;
  bool tidy = false;

  int Count() const { return (legacy ? 1 : 0) + (netcdf ? 1 : 0) + (tidy ? 1 : 0); }
  bool Science() const { return netcdf || tidy; }
};

// "legacy", "netcdf", "tidy" or several joined by commas. False with
// `error` for an unknown or repeated name.
bool ParseFormats(const std::string& text, FormatSet* formats, std::string* error);

// The names the outputs take beside the legacy CSV's, in -o mode and when
// several formats share one TO: the CSV's name with its extension replaced.
inline constexpr const char* kNetcdfExtension = ".nc";
inline constexpr const char* kTidyExtension = ".tidy.csv";

// The NetCDF and tidy writers of one run, behind one listener.
class ScienceOutputs {
 public:
  explicit ScienceOutputs(ScienceSettings settings);
  ~ScienceOutputs();
  ScienceOutputs(const ScienceOutputs&) = delete;
  ScienceOutputs& operator=(const ScienceOutputs&) = delete;

  bool OpenNetcdf(const std::string& path, std::string* error) {
    return OpenNetcdf(path, path, error);
  }
  // `shownName`: the name messages give the file (its final one, where
  // `path` is a temporary).
  bool OpenNetcdf(const std::string& path, const std::string& shownName, std::string* error);
  // `sink`: where the tidy CSV goes. Not owned.
  bool OpenTidy(ByteSink* sink, std::string* error);

  // The NetCDF writer, whose file other outputs add to; nullptr when none
  // was opened.
  NetcdfWriter* netcdf() { return netcdf_.get(); }
  // Hands every reading to the open writers; set it as the request's
  // `readings`.
  ReadingListener* listener() { return &fanOut_; }
  // Fed with the dump's bytes as the conversion reads them, for `source`.
  SourceDigest& digest() { return digest_; }
  void TakeDigest(bool taken) { digestTaken_ = taken; }

  // A writer failed during the run; the conversion may as well stop.
  bool failed() const;
  std::string error() const;

  // Finishes every output with the conversion's results. False with `error`
  // when one could not be finished.
  bool Finish(const ConversionResult& result, std::string* error);
  // Closes the outputs unfinished (a cancelled or failed run).
  void Abandon();

  // What the operator should hear: readings with no time, a gauge dump's
  // units not given. Known after Finish.
  std::vector<std::string> Warnings() const;

 private:
  const ReadingFacts* Facts() const;

  ScienceSettings settings_;
  std::unique_ptr<NetcdfWriter> netcdf_;
  std::unique_ptr<TidyWriter> tidy_;
  ReadingFanOut fanOut_;
  SourceDigest digest_;
  bool digestTaken_ = false;
};

// "2026-12-08T01:30:00Z", now.
std::string UtcNowText();

// An export of a dump into science outputs without a legacy CSV kept: the
// engine runs once over the dump (its legacy records go to /dev/null) and
// the writers listen. For the desktop program's File > Export.
struct ExportRequest {
  std::string dumpPath;
  int fromType = 0;  // 1, 2 logger dumps; 3 gauge dump
  Correction correction;
  bool lfLineEnds = false;   // each LF of the dump read as CR LF (see ConversionRequest)
  ScienceSettings settings;  // `gauge`, `fromType` and `sourceName` are filled in here
  std::string netcdfPath;    // empty: no NetCDF output
  std::string tidyPath;      // empty: no tidy CSV
  std::function<void(int64_t bytesRead, int64_t fromSize)> progress;
  std::function<bool()> cancelRequested;
  // Called with the NetCDF writer before the run, to add to its file.
  std::function<void(NetcdfWriter*)> prepareNetcdf;
};

struct ExportOutcome {
  bool ok = false;  // every output finished and the conversion ended with status 8
  bool cancelled = false;
  std::string error;  // what failed, when not ok
  std::vector<std::string> warnings;
  ConversionResult result;
};

// Writes the outputs at the paths given, which are created or replaced;
// when the outcome is not ok they are removed again. Placing them safely
// (a temporary name, then a link) is the caller's.
ExportOutcome ExportDump(const ExportRequest& request);
