// The depth of a pressure dump's readings, which --trim-depth compares:
// taken as the wave statistics take pressure, in --pressure's unit less its
// atmospheric pressure, at its water density; without --pressure, in the
// readings' own units (--units or the deployment file's), as gauge
// pressure at the default density.
#pragma once

#include <optional>
#include <string>

#include "science/metadata.h"
#include "science/trimming.h"
#include "waves/wave_settings.h"

// None, with `problem` in words, when the readings are not in a unit of
// pressure.
std::optional<PressureDepth> ReadingDepth(const ScienceSettings& science,
                                          const std::optional<PressureSettings>& pressure,
                                          std::string* problem);
