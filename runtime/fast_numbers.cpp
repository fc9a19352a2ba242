#include "runtime/fast_numbers.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "runtime/numbers.h"

namespace {

// Read at every call, possibly by several conversions in several threads.
std::atomic<bool> gFastPaths{true};

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

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes exactly `count` digits of `value` (zero-filled on the left) ending
// just before `end`, two at a time; returns the first digit's address.
inline char* FixedDigitsBackwards(char* end, uint64_t value, int count) {
  for (; count >= 2; count -= 2) {
    const uint64_t pair = value % 100;
    value /= 100;
    end -= 2;
    std::memcpy(end, kDigitPairs + pair * 2, 2);
  }
  if (count == 1) {
    *--end = static_cast<char>('0' + value % 10);
  }
  return end;
}

// Writes the decimal digits of `value` ending just before `end`; returns
// the first digit's address.
char* DigitsBackwards(char* end, uint128 value) {
  if ((value >> 64) == 0) {
    uint64_t narrow = static_cast<uint64_t>(value);
    while (narrow >= 100) {
      const uint64_t pair = narrow % 100;
      narrow /= 100;
      end -= 2;
      std::memcpy(end, kDigitPairs + pair * 2, 2);
    }
    if (narrow >= 10) {
      end -= 2;
      std::memcpy(end, kDigitPairs + narrow * 2, 2);
    } else {
      *--end = static_cast<char>('0' + narrow);
    }
    return end;
  }
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
    if (exponent > 40) {
      return false;  // keeps the product below 2^124
    }
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
  if (remainder > half || (remainder == half && (quotient & 1) != 0)) {
    ++quotient;
  }
  *scaled = quotient;
  return true;
}

inline int CountDigits(uint64_t value) {
  if (value < 10) {
    return 1;
  }
  if (value < 100) {
    return 2;
  }
  int digits = 3;
  for (uint64_t limit = 1000; digits < 20 && value >= limit; limit *= 10) {
    ++digits;
  }
  return digits;
}

inline int CountDigits(uint128 value) {
  if ((value >> 64) == 0) {
    return CountDigits(static_cast<uint64_t>(value));
  }
  int digits = 20;  // 2^64 has 20 digits
  for (uint128 limit = static_cast<uint128>(kPow10[19]) * 10; value >= limit; limit *= 10) {
    ++digits;
  }
  return digits;
}

// Writes "%0<width>.<precision>f" of the number with integer part `whole`
// and the `precision` digits `fractionDigits` straight into `out`, as
// printf lays it out: the one fixed-width layout of the formatting here.
// kPrecision is the precision, or -1 to take `precision`; Whole is
// uint64_t for all but the widest values. -1 when the text does not fit
// `size`.
template <int kPrecision, typename Whole>
int LayOutFixedWith(char* out, size_t size, bool negative, Whole whole, uint64_t fractionDigits,
                    int precision, int width) {
  if (kPrecision >= 0) {
    precision = kPrecision;
  }
  const int signLength = negative ? 1 : 0;
  const int body = CountDigits(whole) + (precision > 0 ? precision + 1 : 0);
  const int zeros = width > body + signLength ? width - body - signLength : 0;
  const int length = signLength + zeros + body;
  if (static_cast<size_t>(length) >= size) {
    return -1;
  }
  char* end = out + length;
  *end = '\0';
  if (precision > 0) {
    end = FixedDigitsBackwards(end, fractionDigits, precision);
    *--end = '.';
  }
  DigitsBackwards(end, whole);
  char* p = out;
  if (negative) {
    *p++ = '-';
  }
  for (int i = 0; i < zeros; ++i) {
    p[i] = '0';
  }
  return length;
}

// The precisions the record formats use get their own unrolled copies.
int LayOutFixed(char* out, size_t size, bool negative, uint64_t whole, uint64_t fractionDigits,
                int precision, int width) {
  switch (precision) {
    case 6:
      return LayOutFixedWith<6, uint64_t>(out, size, negative, whole, fractionDigits, 6, width);
    case 4:
      return LayOutFixedWith<4, uint64_t>(out, size, negative, whole, fractionDigits, 4, width);
    case 1:
      return LayOutFixedWith<1, uint64_t>(out, size, negative, whole, fractionDigits, 1, width);
    case 0:
      return LayOutFixedWith<0, uint64_t>(out, size, negative, whole, fractionDigits, 0, width);
    default:
      return LayOutFixedWith<-1, uint64_t>(out, size, negative, whole, fractionDigits, precision,
                                           width);
  }
}

}  // namespace

// Out of line: it is also the rare way out of FormatSixteenths, whose fast
// way would otherwise save and restore its registers.
[[gnu::noinline]] int FormatFixed(char* out, size_t size, double value, int width, int precision) {
  uint128 scaled = 0;
  if (!gFastPaths.load(std::memory_order_relaxed) || precision < 0 || precision > 9 || width < 0 ||
      width > 40 || size < 64 || !std::isfinite(value) ||
      !ScaledMagnitude(value, precision, &scaled)) {
    return FormatText(out, size, "%0*.*f", width, precision, value);
  }
  const uint64_t scale = kPow10[precision];
  // printf keeps the sign of negative values that round to zero, and of -0.0.
  const bool negative = std::signbit(value);
  int length;
  if ((scaled >> 64) == 0) {  // most values; 128-bit division is kept for the rest
    const uint64_t narrow = static_cast<uint64_t>(scaled);
    length = LayOutFixed(out, size, negative, narrow / scale, narrow % scale, precision, width);
  } else {
    length = LayOutFixedWith<-1, uint128>(out, size, negative, scaled / scale,
                                          static_cast<uint64_t>(scaled % scale), precision, width);
  }
  return length >= 0 ? length : FormatText(out, size, "%0*.*f", width, precision, value);
}

namespace {

constexpr int kMostGeneralDecimals = 9;   // as far as ScaledMagnitude is exact here
constexpr int kLowestFixedExponent = -4;  // %g prints smaller values with an exponent

// `precision` significant digits of |value| (nonzero, finite) as an integer
// and the decimals it stands for, with the exponent the digits show after
// rounding between -4 and precision - 1: what %g prints without an
// exponent. False otherwise.
bool SignificantDigits(double magnitude, int precision, uint64_t* digits, int* decimals) {
  // The exponent from the magnitude; one off near a power of ten is put
  // right by the digits it gives.
  const double shifted = magnitude * kExactPow10[-kLowestFixedExponent];
  int exponent = precision - 1;
  while (exponent > kLowestFixedExponent && shifted < kExactPow10[exponent - kLowestFixedExponent])
    --exponent;
  for (int tries = 0; tries < 3; ++tries) {
    const int wanted = precision - 1 - exponent;
    uint128 scaled = 0;
    if (wanted < 0 || wanted > kMostGeneralDecimals || exponent < kLowestFixedExponent ||
        !ScaledMagnitude(magnitude, wanted, &scaled))
      return false;
    if (scaled >= kPow10[precision]) {
      ++exponent;  // the guess was low
      continue;
    }
    if (scaled < kPow10[precision - 1]) {
      --exponent;  // the guess was high
      continue;
    }
    if (scaled == kPow10[precision - 1]) {
      // Rounded up to a power of ten from below it, the magnitude has the
      // exponent below, unless its digits there round up as well.
      uint128 finer = 0;
      if (wanted == kMostGeneralDecimals || !ScaledMagnitude(magnitude, wanted + 1, &finer))
        return false;
      if (finer < kPow10[precision]) {
        --exponent;
        continue;
      }
    }
    *digits = static_cast<uint64_t>(scaled);
    *decimals = wanted;
    return true;
  }
  return false;
}

}  // namespace

int FormatGeneral(char* out, size_t size, double value, int precision) {
  uint64_t digits = 0;
  int decimals = 0;
  const double magnitude = std::fabs(value);
  if (!gFastPaths.load(std::memory_order_relaxed) || precision < 1 ||
      precision > kMostGeneralDecimals || size < 32 || !std::isfinite(value) ||
      (magnitude != 0.0 && !SignificantDigits(magnitude, precision, &digits, &decimals))) {
    return FormatText(out, size, "%.*g", precision, value);
  }
  // %g drops the zeros that end the decimals, and the point with them.
  uint64_t whole = digits / kPow10[decimals];
  uint64_t fraction = digits % kPow10[decimals];
  while (decimals > 0 && fraction % 10 == 0) {
    fraction /= 10;
    --decimals;
  }
  char* p = out;
  if (std::signbit(value))
    *p++ = '-';
  char text[24];
  char* end = text + sizeof text;
  char* first = DigitsBackwards(end, whole);
  p = std::copy(first, end, p);
  if (decimals > 0) {
    *p++ = '.';
    p = std::copy(FixedDigitsBackwards(end, fraction, decimals), end, p);
  }
  *p = '\0';
  return static_cast<int>(p - out);
}

char* PutFixedDigits(char* out, uint64_t value, int count) {
  FixedDigitsBackwards(out + count, value, count);
  return out + count;
}

int FormatZeroPaddedInt(char* out, size_t size, int value, int width) {
  if (!gFastPaths.load(std::memory_order_relaxed) || width < 0 || width > 20 || size < 24) {
    return FormatText(out, size, "%0*i", width, value);
  }
  const bool negative = value < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(static_cast<int64_t>(value))
                                      : static_cast<uint64_t>(value);
  return LayOutFixed(out, size, negative, magnitude, 0, 0, width);
}

int FormatSixteenths(char* out, size_t size, int sixteenths, int width, int precision) {
  const double value = sixteenths / 16.0;
  if (!gFastPaths.load(std::memory_order_relaxed) || sixteenths < 0 || sixteenths >= (1 << 24) ||
      precision < 0 || precision > 9 || width < 0 || width > 40 || size < 64) {
    return FormatFixed(out, size, value, width, precision);
  }
  const uint64_t scale = kPow10[precision];
  const uint64_t product = static_cast<uint64_t>(sixteenths) * scale;  // below 2^54
  uint64_t scaled = product >> 4;
  const uint64_t rest = product & 15;
  if (rest > 8 || (rest == 8 && (scaled & 1) != 0)) {
    ++scaled;
  }
  const int length =
      LayOutFixed(out, size, false, scaled / scale, scaled % scale, precision, width);
  return length >= 0 ? length : FormatFixed(out, size, value, width, precision);
}

void SetFastNumberPaths(bool enabled) {
  gFastPaths.store(enabled, std::memory_order_relaxed);
}
bool FastNumberPathsEnabled() {
  return gFastPaths.load(std::memory_order_relaxed);
}

double ReadDecimalFast(const char* begin, const char* end) {
  if (!gFastPaths.load(std::memory_order_relaxed)) {
    return ReadDecimal(begin, end);
  }
  const DecimalParts number = ScanDecimal(begin, end);
  if (number.extent == 0) {
    return 0.0;
  }
  uint64_t mantissa = 0;
  int significant = 0;  // digits taken into the mantissa, leading zeros not counted
  const auto take = [&](const char* digit, const char* digitsEnd) {
    for (; digit < digitsEnd; ++digit) {
      if (mantissa == 0 && *digit == '0') {
        continue;
      }
      if (++significant > 19) {
        return false;
      }
      mantissa = mantissa * 10 + static_cast<uint64_t>(*digit - '0');
    }
    return true;
  };
  // Exponents and long digit strings take the general path.
  if (number.exponent || !take(number.whole, number.wholeEnd) ||
      !take(number.fraction, number.fractionEnd)) {
    return ReadDecimal(begin, end);
  }
  if (mantissa == 0) {
    return number.negative ? -0.0 : 0.0;
  }
  const long fractionDigits = number.fractionEnd - number.fraction;
  if (mantissa > (1ULL << 53) || fractionDigits > 22) {
    return ReadDecimal(begin, end);
  }
  // Both operands are exact doubles, so one correctly rounded operation
  // gives the correctly rounded value.
  const double magnitude = static_cast<double>(mantissa) / kExactPow10[fractionDigits];
  return number.negative ? -magnitude : magnitude;
}
