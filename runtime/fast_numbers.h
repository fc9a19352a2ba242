// Exact fast paths for the number work of the conversions. Each gives the
// same result as its C-library counterpart for every input, and falls back
// to it where a fast exact answer is not at hand.
#pragma once

#include <cstddef>

// Same text and length as FormatText(out, size, "%0*.*f", width, precision,
// value) for precision 0 to 9. `size` must be at least 64 for the fast path;
// longer texts (magnitudes above 2^100) go through the C library and may be
// cut to `size` as snprintf cuts them. Returns the full length.
int FormatFixed(char* out, size_t size, double value, int width, int precision);

// Same text and length as FormatFixed(out, size, sixteenths / 16.0, width,
// precision), for a whole number of sixteenths (a reading times 0.0625):
// such a value is exact in binary, so its rounding needs only the integer
// arithmetic n * 10^precision / 16, ties to even as printf rounds.
int FormatSixteenths(char* out, size_t size, int sixteenths, int width, int precision);

// Same text and length as FormatText(out, size, "%0*i", width, value) for
// width 0 to 20; `size` must be at least 24.
int FormatZeroPaddedInt(char* out, size_t size, int value, int width);

// Same value as ReadDecimal from numbers.h (the strtod reading), computed
// without strtod when the digits and exponent allow an exactly rounded
// answer from one IEEE multiplication or division.
double ReadDecimalFast(const char* begin, const char* end);

// Bytes PlainDecimalLength and PrintPlainDecimal read from their field and
// PrintPlainDecimal writes at its output, whatever the field's length.
inline constexpr int kPlainDecimalReach = 32;

// A plain decimal is an optional "-", one to seven digits with no leading
// zero (a lone "0" is fine), and an optional point followed by at most six
// digits. Its correctly rounded double lies within half a unit of its last
// place of the decimal, far less than half of 10^-6, so printing it back
// with "%08.6f" gives the decimal's own digits (six decimals never leave
// room for zero padding). Returns the length of that text when the whole
// field, [field, field + length), is a plain decimal, or -1. Reads
// kPlainDecimalReach bytes from `field` whatever its length.
int PlainDecimalLength(const char* field, int length);

// Prints a plain decimal field of `printedLength` (from PlainDecimalLength)
// with the text FormatFixed(.., ReadDecimal(field, field + length), 8, 6)
// gives, straight from its digits. Reads and writes kPlainDecimalReach
// bytes from `field` and at `out` (the bytes past the printed length are
// junk).
void PrintPlainDecimal(const char* field, int length, int printedLength, char* out);

// Turns the fast paths off (every formatting and reading above then calls
// its C-library counterpart; the plain-decimal printer is for its callers to
// leave aside) and on again, so that tests and fuzzers can compare whole
// conversions both ways. On by default.
void SetFastNumberPaths(bool enabled);
bool FastNumberPathsEnabled();
