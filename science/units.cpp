#include "science/units.h"

#include <udunits2.h>

#include <array>
#include <memory>
#include <mutex>
#include <optional>

namespace {

struct UnitFree {
  void operator()(ut_unit* unit) const { ut_free(unit); }
};
using UnitPointer = std::unique_ptr<ut_unit, UnitFree>;

constexpr size_t kFormattedUnitBytes = 256;

// udunits2 keeps its status and parser in globals: one caller at a time.
std::mutex& UnitsLock() {
  static std::mutex lock;
  return lock;
}

// The unit system of udunits2's installed database, read once. Its error
// handler prints to standard error by default; ours report in words.
const ut_system* UnitSystem() {
  static const ut_system* const system = [] {
    ut_set_error_message_handler(ut_ignore);
    return ut_read_xml(nullptr);
  }();
  return system;
}

bool HasSurroundingSpace(const std::string& text) {
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  return !text.empty() && (space(text.front()) || space(text.back()));
}

// udunits2 takes "m)" for m: a closing parenthesis without its opening one
// would be written into the file as given.
bool ParenthesesBalance(const std::string& text) {
  int open = 0;
  for (const char c : text) {
    open += c == '(' ? 1 : c == ')' ? -1 : 0;
    if (open < 0)
      return false;
  }
  return open == 0;
}

// Caller holds UnitsLock(). Null when `text` is no unit; empty text is no
// unit either, though udunits2 reads it as 1.
UnitPointer ParseLocked(const std::string& text) {
  const ut_system* system = UnitSystem();
  if (system == nullptr || text.empty() || HasSurroundingSpace(text) || !ParenthesesBalance(text))
    return nullptr;
  return UnitPointer(ut_parse(system, text.c_str(), UT_UTF8));
}

std::string ParseProblem(const std::string& text) {
  if (text.empty())
    return "an empty text is no unit";
  if (HasSurroundingSpace(text))
    return "\"" + text + "\" has spaces around it: give the unit alone";
  if (ParenthesesBalance(text) && ut_get_status() == UT_UNKNOWN)
    return "\"" + text + "\" names a unit udunits2 does not know (such as m, dbar, s or degree_C)";
  return "\"" + text + "\" is not written as a unit (such as m, m2 s or m s-1)";
}

}  // namespace

UnitCheck CheckUnit(const std::string& text, std::string* problem) {
  std::lock_guard<std::mutex> hold(UnitsLock());
  if (UnitSystem() == nullptr) {
    if (problem != nullptr)
      *problem = "the units database of udunits2 cannot be read (install libudunits2-data)";
    return UnitCheck::kNoDatabase;
  }
  if (ParseLocked(text) != nullptr)
    return UnitCheck::kValid;
  if (problem != nullptr)
    *problem = ParseProblem(text);
  return UnitCheck::kInvalid;
}

bool UnitsConvert(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> hold(UnitsLock());
  const UnitPointer fromUnit = ParseLocked(from);
  const UnitPointer toUnit = ParseLocked(to);
  return fromUnit != nullptr && toUnit != nullptr &&
         ut_are_convertible(fromUnit.get(), toUnit.get()) != 0;
}

std::optional<double> UnitsPer(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> hold(UnitsLock());
  const UnitPointer fromUnit = ParseLocked(from);
  const UnitPointer toUnit = ParseLocked(to);
  if (fromUnit == nullptr || toUnit == nullptr)
    return std::nullopt;
  cv_converter* converter = ut_get_converter(fromUnit.get(), toUnit.get());
  if (converter == nullptr)
    return std::nullopt;
  // A scale, not an offset: what one unit adds.
  const double scale = cv_convert_double(converter, 1.0) - cv_convert_double(converter, 0.0);
  cv_free(converter);
  return scale;
}

std::string CanonicalUnitText(const std::string& text) {
  std::lock_guard<std::mutex> hold(UnitsLock());
  const UnitPointer unit = ParseLocked(text);
  if (unit == nullptr)
    return "";
  std::array<char, kFormattedUnitBytes> formatted{};
  const int written = ut_format(unit.get(), formatted.data(), formatted.size(), UT_ASCII);
  if (written < 0 || static_cast<size_t>(written) >= formatted.size())
    return "";
  return std::string(formatted.data(), static_cast<size_t>(written));
}

bool LinearUnitConversion(const std::string& from, const std::string& to, double* scale,
                          double* offset) {
  std::lock_guard<std::mutex> hold(UnitsLock());
  const UnitPointer fromUnit = ParseLocked(from);
  const UnitPointer toUnit = ParseLocked(to);
  if (fromUnit == nullptr || toUnit == nullptr)
    return false;
  cv_converter* converter = ut_get_converter(fromUnit.get(), toUnit.get());
  if (converter == nullptr)
    return false;
  // The units udunits2 converts between are linear: two points give the line.
  *offset = cv_convert_double(converter, 0.0);
  *scale = cv_convert_double(converter, 1.0) - *offset;
  cv_free(converter);
  return true;
}
