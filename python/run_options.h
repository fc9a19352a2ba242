// The Python module's keyword arguments as the run's settings, and the
// run's report as a dict with the fields of the command line's JSON report.
#pragma once

#include <pybind11/pybind11.h>

#include "python/dump_run.h"

// Raises ValueError for a value the run cannot use (a time zone that does
// not exist, a deployment file that cannot be read, an unknown unit).
DumpRunSettings RunSettingsOf(const pybind11::dict& options);

pybind11::dict ReportOf(const DumpInput& input, const DumpRunSettings& settings,
                        const DumpRunResult& run);
