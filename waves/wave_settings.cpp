#include "waves/wave_settings.h"

#include <array>
#include <utility>

namespace {

struct UnitRow {
  PressureUnit unit;
  const char* name;
  double pascals;
};

constexpr std::array<UnitRow, 5> kUnits{{
    {PressureUnit::Pa, "Pa", 1.0},
    {PressureUnit::kPa, "kPa", 1e3},
    {PressureUnit::dbar, "dbar", 1e4},
    {PressureUnit::bar, "bar", 1e5},
    {PressureUnit::mH2O, "mH2O", 9806.65},
}};

const UnitRow& RowOf(PressureUnit unit) {
  for (const UnitRow& row : kUnits) {
    if (row.unit == unit)
      return row;
  }
  return kUnits.front();
}

}  // namespace

const char* PressureUnitName(PressureUnit unit) {
  return RowOf(unit).name;
}

std::optional<PressureUnit> PressureUnitNamed(const std::string& name) {
  for (const UnitRow& row : kUnits) {
    if (name == row.name)
      return row.unit;
  }
  return std::nullopt;
}

double PascalsPer(PressureUnit unit) {
  return RowOf(unit).pascals;
}
