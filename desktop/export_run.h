// File > Export: the last conversion's dump written once more as NetCDF
// and/or tidy CSV, through the engine with the science outputs listening
// (science/science_outputs.h), with the settings of the command line's
// --units, --clock-offset, --clock-drift and --deployment. The outputs are
// written under temporary names beside their final ones and take those
// names only when the whole export succeeded: a cancelled or failed export
// leaves nothing behind and replaces nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/engine.h"

// What the Export form holds; kept while the program runs.
struct ExportForm {
  bool netcdf = true;
  bool tidy = false;
  std::string units;  // empty: "m" for logger dumps, "1" for gauge dumps
  double clockOffset = 0.0;
  bool driftGiven = false;
  double clockDrift = 0.0;
  std::string deploymentFile;  // empty: none
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
  std::vector<std::string> written;  // the outputs' paths, when ok
};

// Writes the outputs the form asks for into `folder` (the dump's own when
// empty).
ExportResult RunExport(const ExportSource& source, const ExportForm& form,
                       const std::string& folder,
                       const std::function<void(int64_t done, int64_t total)>& progress,
                       const std::function<bool()>& cancelRequested);
