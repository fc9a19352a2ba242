#include "runtime/fast_numbers.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "runtime/numbers.h"

namespace {

__extension__ typedef unsigned __int128 uint128;

constexpr uint64_t kPow10[] = {1ULL,
                               10ULL,
                               100ULL,
                               1000ULL,
                               10000ULL,
                               100000ULL,
                               1000000ULL,
                               10000000ULL,
                               100000000ULL,
                               1000000000ULL,
                               10000000000ULL,
                               100000000000ULL,
                               1000000000000ULL,
                               10000000000000ULL,
                               100000000000000ULL,
                               1000000000000000ULL,
                               10000000000000000ULL,
                               100000000000000000ULL,
                               1000000000000000000ULL,
                               10000000000000000000ULL};

constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Writes the decimal digits of `value` ending just before `end`; returns
// the first digit's address.
char* DigitsBackwards(char* end, uint128 value) {
  do {
    *--end = static_cast<char>('0' + static_cast<int>(value % 10));
    value /= 10;
  } while (value != 0);
  return end;
}

// round(|value| * 10^precision), with ties to even, as printf rounds the
// exact binary value. False when the result would not fit in 128 bits.
bool ScaledMagnitude(double value, int precision, uint128* scaled) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  const uint64_t fraction = bits & ((1ULL << 52) - 1);
  const uint64_t mantissa = biased == 0 ? fraction : fraction | (1ULL << 52);
  const int exponent = biased == 0 ? -1074 : biased - 1075;
  const uint128 product = static_cast<uint128>(mantissa) * kPow10[precision];  // < 2^83
  if (exponent >= 0) {
    if (exponent > 40)
      return false;  // keeps the product below 2^124
    *scaled = product << exponent;
    return true;
  }
  const int shift = -exponent;
  if (shift >= 127) {  // far below half a unit of the last place
    *scaled = 0;
    return true;
  }
  uint128 quotient = product >> shift;
  const uint128 remainder = product & ((static_cast<uint128>(1) << shift) - 1);
  const uint128 half = static_cast<uint128>(1) << (shift - 1);
  if (remainder > half || (remainder == half && (quotient & 1) != 0))
    ++quotient;
  *scaled = quotient;
  return true;
}

// Lays out sign, zero padding and digits as printf's "%0*" does.
int PadAndCopy(char* out, size_t size, bool negative, const char* digits, int digitCount,
               int width) {
  const int signLength = negative ? 1 : 0;
  const int zeros = width > digitCount + signLength ? width - digitCount - signLength : 0;
  const int length = signLength + zeros + digitCount;
  if (static_cast<size_t>(length) >= size)
    return -1;
  char* p = out;
  if (negative)
    *p++ = '-';
  std::memset(p, '0', static_cast<size_t>(zeros));
  p += zeros;
  std::memcpy(p, digits, static_cast<size_t>(digitCount));
  p[digitCount] = '\0';
  return length;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int FormatFixed(char* out, size_t size, double value, int width, int precision) {
  uint128 scaled = 0;
  if (precision < 0 || precision > 9 || width < 0 || width > 40 || size < 64 ||
      !std::isfinite(value) || !ScaledMagnitude(value, precision, &scaled)) {
    return FormatText(out, size, "%0*.*f", width, precision, value);
  }
  char text[64];
  char* const end = text + sizeof text;
  char* first = end;
  const uint128 scale = kPow10[precision];
  if (precision > 0) {
    uint64_t fraction = static_cast<uint64_t>(scaled % scale);
    for (int i = 0; i < precision; ++i) {
      *--first = static_cast<char>('0' + fraction % 10);
      fraction /= 10;
    }
    *--first = '.';
  }
  first = DigitsBackwards(first, scaled / scale);
  // printf keeps the sign of negative values that round to zero, and of -0.0.
  const bool negative = std::signbit(value);
  const int length = PadAndCopy(out, size, negative, first, static_cast<int>(end - first), width);
  return length >= 0 ? length : FormatText(out, size, "%0*.*f", width, precision, value);
}

int FormatZeroPaddedInt(char* out, size_t size, int value, int width) {
  if (width < 0 || width > 20 || size < 24)
    return FormatText(out, size, "%0*i", width, value);
  char text[16];
  char* const end = text + sizeof text;
  const bool negative = value < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(static_cast<int64_t>(value))
                                      : static_cast<uint64_t>(value);
  char* first = DigitsBackwards(end, magnitude);
  return PadAndCopy(out, size, negative, first, static_cast<int>(end - first), width);
}

double ReadDecimalFast(const char* begin, const char* end) {
  const char* p = begin;
  while (p < end && IsSpace(*p))
    ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  uint64_t mantissa = 0;
  int significant = 0;  // digits taken into the mantissa, leading zeros not counted
  int exponent = 0;     // power of ten to apply to the mantissa
  bool anyDigit = false;
  for (; p < end && IsDigit(*p); ++p) {
    anyDigit = true;
    if (mantissa == 0 && *p == '0')
      continue;
    if (++significant > 19)
      return ReadDecimal(begin, end);
    mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
  }
  if (p < end && *p == '.') {
    const char* q = p + 1;
    for (; q < end && IsDigit(*q); ++q) {
      anyDigit = true;
      --exponent;
      if (mantissa == 0 && *q == '0')
        continue;
      if (++significant > 19)
        return ReadDecimal(begin, end);
      mantissa = mantissa * 10 + static_cast<uint64_t>(*q - '0');
    }
    if (anyDigit)
      p = q;
  }
  if (!anyDigit)
    return 0.0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q < end && (*q == '+' || *q == '-'))
      ++q;
    if (q < end && IsDigit(*q))
      return ReadDecimal(begin, end);  // exponents: the general path
  }
  if (mantissa == 0)
    return negative ? -0.0 : 0.0;
  if (mantissa > (1ULL << 53) || exponent < -22)
    return ReadDecimal(begin, end);
  // Both operands are exact doubles, so one correctly rounded operation
  // gives the correctly rounded value.
  const double magnitude = static_cast<double>(mantissa) / kExactPow10[-exponent];
  return negative ? -magnitude : magnitude;
}
