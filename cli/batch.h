// Runs the conversions a command line asks for, one input or many, and
// reports each on standard error (or as JSON lines on standard output).
#pragma once

#include "cli/options.h"
#include "outputs/conversion_job.h"

// Everything after the arguments were read: the time zone, the kinds, the
// output names, the conversions and the reports. Returns the exit status.
int RunConversions(const CliOptions& options);

// What the outputs of every input of the call are made with.
OutputSettings OutputSettingsOf(const CliOptions& options);
