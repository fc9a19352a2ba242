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

// Same text and length as FormatText(out, size, "%0*i", width, value) for
// width 0 to 20; `size` must be at least 24.
int FormatZeroPaddedInt(char* out, size_t size, int value, int width);

// Same value as ReadDecimal from numbers.h (the strtod reading), computed
// without strtod when the digits and exponent allow an exactly rounded
// answer from one IEEE multiplication or division.
double ReadDecimalFast(const char* begin, const char* end);

// When [begin, end) holds a plain decimal number (white space, sign,
// digits, point, digits; no exponent) with at most `precision` decimals and
// a magnitude below 2^33, writes what FormatFixed(out, size, ReadDecimal(
// begin, end), width, precision) would and returns its length. Then the
// correctly rounded double lies within half a unit of its last place of the
// decimal, less than half of 10^-precision, so printing it back gives the
// decimal's own digits. Returns -1, writing nothing, for any other input.
int FormatDecimalTextFixed(const char* begin, const char* end, int width, int precision, char* out,
                           size_t size);

// Turns the fast paths off (every function above then calls its C-library
// counterpart) and on again, so that tests and fuzzers can compare whole
// conversions both ways. On by default.
void SetFastNumberPaths(bool enabled);
bool FastNumberPathsEnabled();
