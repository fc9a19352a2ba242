// Number reading and formatting of the run-time layer. Readings take a byte
// range and never look past its end: lines in the dumps are not terminated.
#pragma once

#include <cstddef>

// Integer reading: leading white space, an optional sign, then decimal
// digits up to the first byte that is not a digit. No digits read as 0.
// Values beyond the 32-bit range saturate at INT_MIN / INT_MAX.
int ReadInteger(const char* begin, const char* end);

// Decimal reading: leading white space, an optional sign, digits with an
// optional decimal point and an optional exponent, up to the first byte that
// cannot continue the number; the value is the correctly rounded double, as
// strtod gives it. No number reads as 0. Hexadecimal, "inf" and "nan" are not
// numbers here.
double ReadDecimal(const char* begin, const char* end);

// The bytes the number grammar is made of.
inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The number the decimal reading takes from the start of a byte range, in
// its parts: the one grammar behind the reading, its fast path and the
// checks of whether a field is one number.
struct DecimalParts {
  bool negative = false;
  const char* whole = nullptr;  // the digits before the point
  const char* wholeEnd = nullptr;
  const char* fraction = nullptr;  // after the point (wholeEnd + 1); none: empty at wholeEnd
  const char* fractionEnd = nullptr;
  bool exponent = false;  // an exponent follows the digits
  size_t extent = 0;      // white space and sign included; 0 when there is no number
};
DecimalParts ScanDecimal(const char* begin, const char* end);

// Length of the number ReadDecimal would take from [begin, end), white space
// and sign included; 0 when there is no number.
inline size_t DecimalExtent(const char* begin, const char* end) {
  return ScanDecimal(begin, end).extent;
}

// printf-style formatting that always uses the C locale's decimal point.
// Returns the length of the full text (as snprintf does), which may be more
// than fits into `size`.
int FormatText(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
