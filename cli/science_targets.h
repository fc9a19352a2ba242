// The NetCDF and tidy outputs of one input of the command line: named
// beside the legacy CSV, written from the conversion's readings, and put in
// place as safely as the legacy CSV is (a temporary, a sync, a link).
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/safe_output.h"
#include "science/science_outputs.h"

// Where one input's science outputs go: a path, "-" for standard output,
// or empty with --check (written, then thrown away). `wanted` false: none.
struct ScienceNames {
  bool netcdf = false;
  bool tidy = false;
  std::string netcdfTo;
  std::string tidyTo;
};

// The names for one input: beside `legacyName` (TO, or DIR/NAME.csv) with
// the extension replaced, or TO itself when the science output is the only
// format asked for.
ScienceNames ScienceNamesFor(const CliOptions& options, const std::string& legacyName);

class ScienceTargets {
 public:
  // `fromBytes`: the dump's size, -1 when not known.
  ScienceTargets(const CliOptions& options, int fromType, const std::string& fromName,
                 int64_t fromBytes);
  ~ScienceTargets();
  ScienceTargets(const ScienceTargets&) = delete;
  ScienceTargets& operator=(const ScienceTargets&) = delete;

  // Readies every output and opens its writer. False, with `error`, when
  // one cannot be used; nothing is left under any final name then.
  bool Prepare(const ScienceNames& names, dev_t fromDevice, ino_t fromInode, std::string* error);

  ReadingListener* listener() { return outputs_->listener(); }
  // The NetCDF writer, for close hooks; nullptr when no NetCDF is written.
  NetcdfWriter* netcdf() { return outputs_->netcdf(); }
  SourceDigest& digest() { return outputs_->digest(); }
  void TakeDigest(bool taken) { outputs_->TakeDigest(taken); }
  // A writer failed while the conversion ran.
  bool failed() const { return outputs_->failed(); }
  std::string error() const { return outputs_->error(); }

  // Finishes the outputs with the conversion's results and puts them in
  // place. False, with `error`, when one could not be; then none is placed.
  bool Finish(const ConversionResult& result, std::string* error);
  // Takes every output back: nothing appears under a final name.
  void Abandon();

  std::vector<std::string> Warnings() const { return outputs_->Warnings(); }

 private:
  bool PrepareNetcdf(const std::string& to, dev_t fromDevice, ino_t fromInode, std::string* error);
  bool PrepareTidy(const std::string& to, dev_t fromDevice, ino_t fromInode, std::string* error);
  // `byName`: NetCDF writes the temporary by its name.
  bool PrepareNamed(SafeOutput* output, const std::string& to, bool byName, dev_t fromDevice,
                    ino_t fromInode, std::string* error);
  void DropScratch();
  bool CopyNetcdfToStandardOutput(std::string* error);

  const CliOptions& options_;
  std::unique_ptr<ScienceOutputs> outputs_;
  // The NetCDF file is written by name: into a safe output's temporary, or
  // for standard output and --check into an unnamed file of our own.
  std::unique_ptr<SafeOutput> netcdfOutput_;
  int netcdfScratch_ = -1;
  std::string netcdfScratchPath_;
  bool netcdfToStandardOutput_ = false;
  std::unique_ptr<SafeOutput> tidyOutput_;
};
