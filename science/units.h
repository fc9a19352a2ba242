// Units of measure, read and compared with udunits2 and its own database of
// units: what --units, a deployment file and the standard names give.
#pragma once

#include <optional>
#include <string>

enum class UnitCheck {
  kValid,
  kInvalid,     // not a unit udunits2 knows, or not written as one
  kNoDatabase,  // udunits2's database of units cannot be read
};

// Whether `text` is a unit, as "m", "dbar", "m2 s" or "degree_C" are. With
// `problem`, says what is wrong in words fit for an error message.
UnitCheck CheckUnit(const std::string& text, std::string* problem = nullptr);

// True when values in units `from` can be converted to units `to` ("cm" to
// "m", "dbar" to "Pa"); false when they cannot or either is no unit.
bool UnitsConvert(const std::string& from, const std::string& to);

// How many `to` one `from` makes ("dbar" in "Pa": 10000); none when
// they do not convert or either is no unit.
std::optional<double> UnitsPer(const std::string& from, const std::string& to);

// The unit as udunits2 writes it in ASCII ("m2 s" -> "m2.s", "dbar" ->
// "10000 Pa"); empty when `text` is no unit.
std::string CanonicalUnitText(const std::string& text);

// Values in `from` as values in `to`: to = scale * from + offset. Pressure
// ("hPa" to "Pa") and time ("hours since 2026-03-01" to "s since
// 1970-01-01T00:00:00Z") alike. False when the units do not convert or
// either is no unit.
bool LinearUnitConversion(const std::string& from, const std::string& to, double* scale,
                          double* offset);
