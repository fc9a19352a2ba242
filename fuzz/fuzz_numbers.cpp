// The integer and decimal readings on arbitrary byte ranges. Each range is
// copied into a heap block of exactly its size, so a look past its end is an
// AddressSanitizer report. The results are compared with strtoll and strtod
// on the same bytes made into a zero-terminated string, and the fast number
// paths with the C-library ones they stand in for.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "runtime/fast_numbers.h"
#include "runtime/numbers.h"

namespace {

// The forms strtod knows and the decimal reading deliberately does not.
bool HasHexInfOrNan(const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    switch (text[i]) {
      case 'x':
      case 'X':
      case 'i':
      case 'I':
      case 'n':
      case 'N':
        return true;
      default:
        break;
    }
  }
  return false;
}

int ClampToInt(long long value) {
  if (value > INT_MAX)
    return INT_MAX;
  if (value < INT_MIN)
    return INT_MIN;
  return static_cast<int>(value);
}

void CheckInteger(const char* begin, const char* end, const std::string& text) {
  const int got = ReadInteger(begin, end);
  errno = 0;
  const int want = ClampToInt(std::strtoll(text.c_str(), nullptr, 10));
  ZORQ_FUZZ_CHECK(got == want, "ReadInteger gave %d, strtoll %d", got, want);
}

void CheckDecimal(const char* begin, const char* end, const std::string& text) {
  const double got = ReadDecimal(begin, end);
  const size_t extent = DecimalExtent(begin, end);
  ZORQ_FUZZ_CHECK(!std::isnan(got), "ReadDecimal gave NaN");
  ZORQ_FUZZ_CHECK(extent <= static_cast<size_t>(end - begin), "extent past the end");

  char* stop = nullptr;
  const double want = std::strtod(text.c_str(), &stop);
  const size_t taken = static_cast<size_t>(stop - text.c_str());
  if (HasHexInfOrNan(text.c_str(), taken))
    return;
  ZORQ_FUZZ_CHECK(extent == taken, "DecimalExtent %zu, strtod took %zu", extent, taken);
  uint64_t gotBits = 0;
  uint64_t wantBits = 0;
  std::memcpy(&gotBits, &got, sizeof got);
  std::memcpy(&wantBits, &want, sizeof want);
  ZORQ_FUZZ_CHECK(gotBits == wantBits, "ReadDecimal gave %.17g, strtod %.17g", got, want);
}

uint64_t BitsOf(double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof value);
  return bits;
}

// FormatFixed against printf's "%0*.*f", into a roomy buffer and into the
// smallest one the fast path takes.
void CheckFixed(double value, int width, int precision) {
  for (const size_t size : {size_t{512}, size_t{64}}) {
    char fast[512];
    char slow[512];
    const int fastLength = FormatFixed(fast, size, value, width, precision);
    const int slowLength = FormatText(slow, size, "%0*.*f", width, precision, value);
    ZORQ_FUZZ_CHECK(fastLength == slowLength && std::strcmp(fast, slow) == 0,
                    "FormatFixed(%.17g, %d, %d) gave \"%s\", printf \"%s\"", value, width,
                    precision, fast, slow);
  }
}

void CheckZeroPaddedInt(int value, int width) {
  char fast[64];
  char slow[64];
  const int fastLength = FormatZeroPaddedInt(fast, sizeof fast, value, width);
  const int slowLength = FormatText(slow, sizeof slow, "%0*i", width, value);
  ZORQ_FUZZ_CHECK(fastLength == slowLength && std::strcmp(fast, slow) == 0,
                  "FormatZeroPaddedInt(%d, %d) gave \"%s\", printf \"%s\"", value, width, fast,
                  slow);
}

// FormatSixteenths prints n / 16 from integer arithmetic; the text must be
// printf's for the same value.
void CheckSixteenths(int sixteenths, int width, int precision) {
  char fast[128];
  char slow[128];
  const int fastLength = FormatSixteenths(fast, sizeof fast, sixteenths, width, precision);
  const int slowLength =
      FormatText(slow, sizeof slow, "%0*.*f", width, precision, sixteenths / 16.0);
  ZORQ_FUZZ_CHECK(
      fastLength == slowLength && std::memcmp(fast, slow, static_cast<size_t>(slowLength)) == 0,
      "FormatSixteenths(%d, %d, %d) gave \"%.*s\", printf \"%s\"", sixteenths, width, precision,
      fastLength, fast, slow);
}

// FormatGeneral against printf's "%.*g".
void CheckGeneral(double value, int precision) {
  char fast[512];
  char slow[512];
  const int fastLength = FormatGeneral(fast, sizeof fast, value, precision);
  const int slowLength = FormatText(slow, sizeof slow, "%.*g", precision, value);
  ZORQ_FUZZ_CHECK(fastLength == slowLength && std::strcmp(fast, slow) == 0,
                  "FormatGeneral(%.17g, %d) gave \"%s\", printf \"%s\"", value, precision, fast,
                  slow);
}

// The widths and precisions the conversions print with.
void CheckConversionFormats(double value) {
  CheckGeneral(value, 6);
  CheckFixed(value, 8, 6);
  CheckFixed(value, 9, 6);
  CheckFixed(value, 7, 4);
  CheckFixed(value, 4, 1);
  CheckFixed(static_cast<double>(static_cast<float>(value)), 4, 1);
}

// PrintPlainDecimal prints a plain decimal field from its own
// digits and PlainDecimalValue reads it; when they take the field, the text
// must be what printing the reading gives, and the value the reading. It may look
// kPlainDecimalReach bytes past the field's start, so it gets a padded copy, the padding made of
// `junk`.
void CheckPlainDecimal(const char* begin, const char* end, double value, char junk) {
  const size_t length = static_cast<size_t>(end - begin);
  if (length > 64)
    return;  // far longer than any field it takes
  std::unique_ptr<char[]> padded(new char[length + kPlainDecimalReach]);
  std::memcpy(padded.get(), begin, length);
  std::memset(padded.get() + length, junk, kPlainDecimalReach);
  char fast[kPlainDecimalReach];
  const int fastLength = PlainDecimalLength(padded.get(), static_cast<int>(length));
  if (fastLength < 0)
    return;
  PrintPlainDecimal(padded.get(), static_cast<int>(length), fastLength, fast);
  char slow[512];
  const int slowLength = FormatText(slow, sizeof slow, "%08.6f", value);
  ZORQ_FUZZ_CHECK(
      fastLength == slowLength && std::memcmp(fast, slow, static_cast<size_t>(slowLength)) == 0,
      "PrintPlainDecimal gave \"%.*s\", printf \"%s\"", fastLength, fast, slow);
  const double fastValue = PlainDecimalValue(padded.get(), static_cast<int>(length));
  ZORQ_FUZZ_CHECK(BitsOf(fastValue) == BitsOf(value), "PlainDecimalValue gave %.17g, strtod %.17g",
                  fastValue, value);
}

// Reads the range [offset, offset + length) of the input from an exact-size
// heap copy.
void CheckRange(const uint8_t* data, size_t offset, size_t length) {
  std::unique_ptr<char[]> exact(new char[length == 0 ? 1 : length]);
  std::memcpy(exact.get(), data + offset, length);
  const char* begin = exact.get();
  const char* end = begin + length;
  const std::string text(begin, length);  // c_str() stops at the first zero byte
  CheckInteger(begin, end, text);
  CheckDecimal(begin, end, text);
  const double value = ReadDecimal(begin, end);
  const double fastValue = ReadDecimalFast(begin, end);
  ZORQ_FUZZ_CHECK(BitsOf(fastValue) == BitsOf(value),
                  "ReadDecimalFast gave %.17g, ReadDecimal %.17g", fastValue, value);
  CheckConversionFormats(value);
  CheckPlainDecimal(begin, end, value, length > 0 ? begin[length - 1] : '0');
  const int integer = ReadInteger(begin, end);
  CheckZeroPaddedInt(integer, 2);
  CheckZeroPaddedInt(integer, 4);
}

// Doubles and ints of any bit pattern, with any width and precision the
// fast paths take, and some beyond.
void CheckRawPatterns(const uint8_t* data, size_t size) {
  if (size < 11)
    return;
  double value = 0;
  std::memcpy(&value, data + 1, sizeof value);
  int integer = 0;
  std::memcpy(&integer, data + 1, sizeof integer);
  const int width = data[9] % 48;
  const int precision = data[10] % 12;
  CheckFixed(value, width, precision);
  CheckGeneral(value, 1 + precision % 9);
  CheckConversionFormats(value);
  CheckZeroPaddedInt(integer, width % 24);
  CheckSixteenths(integer, width % 24, precision);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  zorq_fuzz::InitEnvironment();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckRange(data, 0, size);
  CheckRawPatterns(data, size);
  // A range that ends inside a number, and one that starts inside it.
  if (size > 1) {
    const size_t cut = data[0] % size;
    CheckRange(data, 0, cut);
    CheckRange(data, cut, size - cut);
  }
  return 0;
}
