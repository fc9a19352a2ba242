#include "outputs/barometer_units.h"

#include <cmath>

#include "science/barometer.h"

namespace {

// The two units of one gauge: a factor this close to 1 is the same unit.
constexpr double kSameUnitTolerance = 1e-9;

}  // namespace

bool BarometerReadingUnits(const OutputSettings& settings, bool gauge, bool scienceOutputs,
                           BarometerUnits* units, std::string* error) {
  const std::optional<PressureSettings>& pressure = settings.waves.pressure;
  if (!gauge) {
    *error =
        "the barometer's air pressure is taken off a gauge's pressure readings; a logger "
        "dump's readings are staff lengths";
    return false;
  }
  if (!scienceOutputs && pressure) {
    units->name = PressureUnitName(pressure->unit);
    units->perPascal = 1.0 / PascalsPer(pressure->unit);
    return true;
  }
  if (!scienceOutputs || settings.science.units.empty()) {
    *error = std::string(
                 "the barometer's air pressure is taken off the readings in their own "
                 "units: give their pressure unit, such as dbar (") +
             (scienceOutputs ? "--units" : "--pressure, for the statistics") + ")";
    return false;
  }
  units->name = settings.science.units;
  if (!ReadingsPerPascal(units->name, &units->perPascal, error))
    return false;
  if (pressure &&
      std::fabs(units->perPascal * PascalsPer(pressure->unit) - 1.0) > kSameUnitTolerance) {
    *error = "--units " + units->name + " and --pressure " + PressureUnitName(pressure->unit) +
             " name two units for the same readings: give the same unit";
    return false;
  }
  return true;
}
