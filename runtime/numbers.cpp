#include "runtime/numbers.h"

#include <locale.h>
#include <charconv>
#include <climits>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* SkipSpace(const char* p, const char* end) {
  while (p < end && IsSpace(*p))
    ++p;
  return p;
}

const char* SkipDigits(const char* p, const char* end) {
  while (p < end && IsDigit(*p))
    ++p;
  return p;
}

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

// What strtod gives for a number beyond the double's range: infinity, or
// zero (or the nearest subnormal) below it. Rare enough to copy for.
double OutOfRange(const char* begin, const char* end) {
  const std::string text(begin, end);
  return strtod_l(text.c_str(), nullptr, CLocale());
}

}  // namespace

int ReadInteger(const char* begin, const char* end) {
  const char* p = SkipSpace(begin, end);
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  // Accumulate as a negative number so that INT_MIN is reachable.
  long long value = 0;
  for (; p < end && IsDigit(*p); ++p) {
    value = value * 10 - (*p - '0');
    if (value < INT_MIN)
      value = static_cast<long long>(INT_MIN) - 1;  // saturated, stays small
  }
  if (negative)
    return value < INT_MIN ? INT_MIN : static_cast<int>(value);
  if (value < -static_cast<long long>(INT_MAX))
    return INT_MAX;
  return static_cast<int>(-value);
}

DecimalParts ScanDecimal(const char* begin, const char* end) {
  DecimalParts parts;
  const char* p = SkipSpace(begin, end);
  if (p < end && (*p == '+' || *p == '-')) {
    parts.negative = *p == '-';
    ++p;
  }
  parts.whole = p;
  parts.wholeEnd = SkipDigits(p, end);
  parts.fraction = parts.fractionEnd = parts.wholeEnd;
  if (parts.wholeEnd < end && *parts.wholeEnd == '.') {
    parts.fraction = parts.wholeEnd + 1;
    parts.fractionEnd = SkipDigits(parts.fraction, end);
  }
  if (parts.wholeEnd == parts.whole && parts.fractionEnd == parts.fraction)
    return DecimalParts{};  // a sign or a point alone is no number
  p = parts.fractionEnd;
  if (p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q < end && (*q == '+' || *q == '-'))
      ++q;
    const char* exponentDigits = q;
    q = SkipDigits(q, end);
    parts.exponent = q != exponentDigits;
    if (parts.exponent)
      p = q;
  }
  parts.extent = static_cast<size_t>(p - begin);
  return parts;
}

double ReadDecimal(const char* begin, const char* end) {
  const DecimalParts parts = ScanDecimal(begin, end);
  if (parts.extent == 0)
    return 0.0;
  // from_chars takes no sign of its own; the digits on are the number.
  const char* last = begin + parts.extent;
  double value = 0.0;
  const std::from_chars_result read =
      std::from_chars(parts.whole, last, value, std::chars_format::general);
  if (read.ec == std::errc::result_out_of_range)
    value = OutOfRange(parts.whole, last);
  return parts.negative ? -value : value;
}

int FormatText(char* buffer, size_t size, const char* format, ...) {
  // Qt sets the process locale from the environment; formatting must still
  // print a decimal point, so switch this thread to the C locale around it.
  const locale_t previous = uselocale(CLocale());
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  uselocale(previous);
  return length;
}
