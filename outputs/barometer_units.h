// The units the barometer's air pressure is taken off the readings in: the
// science outputs' --units when they are made, else the statistics'
// --pressure unit. Both, when given, must agree.
#pragma once

#include <string>

#include "outputs/conversion_job.h"

struct BarometerUnits {
  std::string name;        // the readings' units, as the outputs give them
  double perPascal = 0.0;  // readings per Pa
};

// False with `error` when the readings have no pressure unit to take the
// air pressure off in, or are not a gauge's. `scienceOutputs`: the NetCDF
// or tidy output is made.
bool BarometerReadingUnits(const OutputSettings& settings, bool gauge, bool scienceOutputs,
                           BarometerUnits* units, std::string* error);
