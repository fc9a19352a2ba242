// Exact fast paths for the number work of the conversions. Each gives the
// same result as its C-library counterpart for every input, and falls back
// to it where a fast exact answer is not at hand.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/numbers.h"

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

// Same text and length as FormatText(out, size, "%.*g", precision, value).
// The fast way takes the values printed without an exponent whose digits
// need at most nine decimals (for precision 6, magnitudes from 1e-4 to
// below 1e6); `size` must be at least 32 for it.
int FormatGeneral(char* out, size_t size, double value, int precision);

// The last `count` decimal digits of `value` at `out`, zeros in front, with
// no terminator; returns the end. For fixed-width fields such as a time's.
char* PutFixedDigits(char* out, uint64_t value, int count);

// Same text and length as FormatText(out, size, "%0*i", width, value) for
// width 0 to 20; `size` must be at least 24.
int FormatZeroPaddedInt(char* out, size_t size, int value, int width);

// Same value as ReadDecimal from numbers.h (the strtod reading), computed
// without strtod when the digits and exponent allow an exactly rounded
// answer from one IEEE multiplication or division.
double ReadDecimalFast(const char* begin, const char* end);

// Bit i of *digits is set when bytes[i] is a decimal digit, and of
// *points when it is a point, for the 16 bytes at `bytes`.
inline void DigitAndPointBits(const char* bytes, uint32_t* digits, uint32_t* points) {
#if defined(__SSE2__)
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  const __m128i offset = _mm_sub_epi8(block, _mm_set1_epi8('0'));  // digits become 0 to 9
  const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset);
  *digits = static_cast<uint32_t>(_mm_movemask_epi8(isDigit));
  *points = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('.'))));
#else
  *digits = 0;
  *points = 0;
  for (int i = 0; i < 16; ++i) {
    *digits |= static_cast<uint32_t>(IsDigit(bytes[i])) << i;
    *points |= static_cast<uint32_t>(bytes[i] == '.') << i;
  }
#endif
}

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
inline int PlainDecimalLength(const char* field, int length) {
  if (length < 1 || length > 15) {
    return -1;
  }
  // Which of the first 16 bytes are digits and which are points, found at
  // once; the field is then judged without a branch per byte.
  uint32_t digits;
  uint32_t points;
  DigitAndPointBits(field, &digits, &points);
  const int negative = field[0] == '-' ? 1 : 0;
  const uint32_t body = ((1u << length) - 1) & ~static_cast<uint32_t>(negative);
  const uint32_t others = body & ~digits;  // may only be the point
  // Without a branch: whether a value has a point varies from field to
  // field. A stop bit at `length` stands for the point when there is none.
  const int pointAt = std::countr_zero(others | (1u << length));
  const int hasPoint = pointAt < length ? 1 : 0;
  const int wholeLength = pointAt - negative;
  const int fractionLength = length - pointAt - hasPoint;
  const bool refused = ((others & ~points) != 0) | ((others & (others - 1)) != 0) |
                       (wholeLength < 1) | (wholeLength > 7) | (fractionLength > 6) |
                       ((wholeLength > 1) & (field[negative] == '0'));
  return refused ? -1 : length + 7 - hasPoint - fractionLength;
}

// Prints a plain decimal field of `printedLength` (from PlainDecimalLength)
// with the text FormatFixed(.., ReadDecimal(field, field + length), 8, 6)
// gives, straight from its digits. Reads and writes kPlainDecimalReach
// bytes from `field` and at `out` (the bytes past the printed length are
// junk).
inline void PrintPlainDecimal(const char* field, int length, int printedLength, char* out) {
  // The field as it is, then the point (when it has none) and the zeros
  // that make six decimals, taken from one pattern at the right offset.
  static constexpr char kFill[kPlainDecimalReach] = ".000000";
  std::memcpy(out, field, 16);
  std::memcpy(out + length, kFill + (length + 7 - printedLength), 16);
}

// The value of up to eight digits at `digits`, read as one word: bytes
// past the digits are read and left out.
inline uint64_t EightDigitsValue(const char* digits, int count) {
  uint64_t word;
  std::memcpy(&word, digits, sizeof word);
  if constexpr (std::endian::native == std::endian::big)
    word = __builtin_bswap64(word);
  // Shifted up so that the missing digits read as leading zeros, then
  // pairs, fours and eights folded.
  // In two shifts, so that no digits at all (a shift by 64) give 0.
  const int half = 4 * (8 - count);
  uint64_t v = ((word - 0x3030303030303030ULL) << half) << half;
  v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFULL;
  v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFULL;
  return (v * 10000 + (v >> 32)) & 0xFFFFFFFFULL;
}

// The value of a plain decimal field (PlainDecimalLength took it), the same
// as ReadDecimal gives: its at most thirteen digits make an integer below
// 2^53 and its at most six decimals a power of ten that is exact, so one
// IEEE division rounds it correctly. Without a branch on the field's form,
// which varies from field to field; reads kPlainDecimalReach bytes.
inline double PlainDecimalValue(const char* field, int length) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
  static constexpr uint64_t kWholePowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  uint32_t digits;
  uint32_t points;
  DigitAndPointBits(field, &digits, &points);
  const int negative = field[0] == '-' ? 1 : 0;
  const int pointAt = std::countr_zero((points & ((1u << length) - 1)) | (1u << length));
  const int decimals = std::max(length - pointAt - 1, 0);
  const uint64_t whole = EightDigitsValue(field + negative, pointAt - negative);
  const uint64_t fraction = EightDigitsValue(field + pointAt + 1, decimals);
  const double value =
      static_cast<double>(whole * kWholePowers[decimals] + fraction) / kPowersOfTen[decimals];
  return negative != 0 ? -value : value;
}

// Turns the fast paths off (every formatting and reading above then calls
// its C-library counterpart; the plain-decimal printer is for its callers to
// leave aside) and on again, so that tests and fuzzers can compare whole
// conversions both ways. On by default.
void SetFastNumberPaths(bool enabled);
bool FastNumberPathsEnabled();
