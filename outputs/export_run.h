// The desktop program's File > Export: the last conversion's dump written
// once more as NetCDF and/or tidy CSV by one conversion job (its legacy
// CSV thrown away), with the settings of the command line's --units,
// --clock-offset, --clock-drift and --deployment. The outputs take their
// names only when the whole export succeeded: a cancelled export leaves
// nothing behind, a failed one keeps what it wrote as NAME.partial, and
// neither replaces anything.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/engine.h"
#include "outputs/formats.h"
#include "outputs/reading_flags.h"

// What the Export form holds; kept while the program runs.
struct ExportForm {
  bool netcdf = true;
  bool tidy = false;
  std::string units;  // empty: "m" for logger dumps, "1" for gauge dumps
  double clockOffset = 0.0;
  bool driftGiven = false;
  double clockDrift = 0.0;
  std::string deploymentFile;  // empty: none
  std::string barometerFile;   // the air pressure record; empty: none
  // The zone the dump's clock is read in, as $TZ names one ("Europe/Berlin",
  // "UTC"); empty: the one the conversion read it in.
  std::string zone;
};

// The dump of the last conversion.
struct ExportSource {
  std::string dumpPath;
  int fromType = 0;
  Correction correction;
  bool lfLineEnds = false;  // it read each LF of the dump as CR LF
  Zone zone;                // its clock's, as the conversion read it
};

// "/data/site1.nc" and "/data/site1.tidy.csv" for "/data/site1.txt", in
// `folder` when one is given.
std::string ExportPathFor(const std::string& dumpPath, const std::string& folder,
                          const char* extension);

struct ExportResult {
  bool ok = false;
  bool cancelled = false;
  std::string error;  // what failed and what to do, when not ok
  std::vector<std::string> warnings;
  std::vector<std::string> written;   // the outputs' paths, when ok
  std::vector<std::string> partials;  // what a failed export kept (NAME.partial)
  // The readings' flags by test: those the deployment file's `qc` section
  // ran, and the aggregate.
  std::vector<FlagTally> flags;
};

// The outputs the form asks for, in `folder` (the dump's own when empty).
std::vector<std::string> ExportPaths(const ExportSource& source, const ExportForm& form,
                                     const std::string& folder);
// Those of them that exist already: the caller asks before it replaces
// them.
std::vector<std::string> ExistingExportPaths(const ExportSource& source, const ExportForm& form,
                                             const std::string& folder);

// Writes the outputs the form asks for into `folder` (the dump's own when
// empty). An output that exists is replaced only with `replace`, and the
// dump itself never is.
ExportResult RunExport(const ExportSource& source, const ExportForm& form,
                       const std::string& folder, bool replace,
                       const std::function<void(int64_t done, int64_t total)>& progress,
                       const std::function<bool()>& cancelRequested);
