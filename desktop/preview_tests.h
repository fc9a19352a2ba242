// The quality tests the preview of a dump runs: those of the deployment
// file File > Export last used for that dump, from its next conversion on
// (as the wave statistics' settings apply). A dump never exported with
// one, or whose file cannot be read now, gets the conversion's own flags
// and the sensor-limit rule alone.
#pragma once

#include <string>

#include "qc/settings.h"

// Called on the thread that starts conversions; an empty file forgets it.
void ChooseDeploymentFor(const std::string& dumpPath, const std::string& deploymentFile);
VariableTests PreviewTestsFor(const std::string& dumpPath);
