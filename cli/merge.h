// --merge: the dumps of one deployment into one NetCDF file (and one set of
// statistics), in the order of their first times, through one conversion
// job and the engine, dump after dump.
#pragma once

#include <string>

#include "cli/options.h"

// Returns the exit status. `timeZone`: the zone's name for the report; the
// options carry the zone itself.
int RunMerge(const CliOptions& options, const std::string& timeZone);
