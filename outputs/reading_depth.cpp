#include "outputs/reading_depth.h"

#include "science/units.h"

std::optional<PressureDepth> ReadingDepth(const ScienceSettings& science,
                                          const std::optional<PressureSettings>& pressure,
                                          std::string* problem) {
  const PressureSettings settings = pressure.value_or(PressureSettings{});
  double pascals = PascalsPer(settings.unit);
  if (!pressure) {
    const std::string units = ReadingUnits(science);
    const std::optional<double> scale = UnitsPer(units, "Pa");
    if (!scale || !(*scale > 0.0)) {
      *problem =
          "the trimming depth needs readings in a unit of pressure (--units dbar, or "
          "--pressure UNIT), not \"" +
          units + "\"";
      return std::nullopt;
    }
    pascals = *scale;
  }
  PressureDepth depth;
  depth.atmospheric = settings.atmospheric;
  depth.metresPerUnit = pascals / (settings.density * kGravity);
  return depth;
}
