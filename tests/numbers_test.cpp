// Integer and decimal readings and C-locale formatting, checked against the
// C library on many generated inputs; and the status-line texts.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "convert/status.h"
#include "runtime/numbers.h"

namespace {

int Integer(const std::string& text) {
  return ReadInteger(text.data(), text.data() + text.size());
}

// Reads `text` from a buffer where it is followed by more digits, so that a
// reading that looks past its end gives itself away.
double Decimal(const std::string& text) {
  const std::string buffer = text + "987e5";
  return ReadDecimal(buffer.data(), buffer.data() + text.size());
}

// --- Integer reading ---

TEST(ReadIntegerTest, Readings) {
  const std::string manyNines(400, '9');
  const std::string manyZeros(400, '0');
  const struct {
    std::string text;
    int value;
  } cases[] = {
      {"", 0},
      {"+", 0},
      {"-", 0},
      {" \t 12x", 12},
      {"\r\n\v\f7", 7},
      {"-0042,", -42},
      {"+17", 17},
      {"- 5", 0},
      {"x12", 0},
      {"12 34", 12},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},
      {manyNines, INT_MAX},
      {"-" + manyNines, INT_MIN},
      {manyZeros + "5", 5},
      {"-" + manyZeros + "2147483648", INT_MIN},
      {"1.9", 1},
      {"1e3", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    EXPECT_EQ(Integer(c.text), c.value);
  }
}

TEST(ReadIntegerTest, StopsAtTheEndOfTheRange) {
  const char text[] = "123456";
  EXPECT_EQ(ReadInteger(text, text + 3), 123);
  EXPECT_EQ(ReadInteger(text, text), 0);
  const char spaces[] = "   9";
  EXPECT_EQ(ReadInteger(spaces, spaces + 3), 0);
}

TEST(ReadIntegerTest, AgreesWithStrtollClampedOnGeneratedInputs) {
  std::mt19937 random(4095);
  const std::string alphabet = "0123456789012345678901234567890123456789+- \t,.x";
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const size_t length = random() % 16;
    for (size_t i = 0; i < length; ++i)
      text += alphabet[random() % alphabet.size()];
    const long long wide = std::strtoll(text.c_str(), nullptr, 10);
    const int expected = wide > INT_MAX   ? INT_MAX
                         : wide < INT_MIN ? INT_MIN
                                          : static_cast<int>(wide);
    ASSERT_EQ(Integer(text), expected) << "'" << text << "'";
  }
}

// --- Decimal reading ---

TEST(ReadDecimalTest, Readings) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"", 0.0},
      {".", 0.0},
      {"-.", 0.0},
      {"+.5", 0.5},
      {"5.", 5.0},
      {"1e", 1.0},
      {"1e+", 1.0},
      {"1e-2x", 0.01},
      {".e5", 0.0},
      {" \t-2.5,", -2.5},
      {"0x1p4", 0.0},
      {"inf", 0.0},
      {"nan", 0.0},
      {"-infinity", 0.0},
      {"1E2", 100.0},
      {"372,", 372.0},
      {"1,5", 1.0},
      // Beyond the double's range, as strtod reads them.
      {"1e400", HUGE_VAL},
      {"-1e400", -HUGE_VAL},
      {"1e-400", 0.0},
      {"4.9e-324", 4.9e-324},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Decimal(c.text), c.value);
  }
}

TEST(ReadDecimalTest, LongDigitStringsAreRoundedCorrectly) {
  // More digits than any short copy could hold.
  const std::string longer = "0." + std::string(600, '0') + "1e601";
  EXPECT_EQ(Decimal(longer), 1.0);
  const std::string ones(900, '1');
  EXPECT_EQ(Decimal(ones), std::strtod(ones.c_str(), nullptr));
}

// A random text made of the pieces a decimal reading meets: white space,
// signs, digits, points, exponents and bytes that end a number. No
// hexadecimal, "inf" or "nan", which the reading does not take.
std::string RandomDecimalText(std::mt19937& random) {
  static const char* const kPieces[] = {
      " ", "\t", "\n", "+", "-",  "0",  "1",   "5",   "9", "00", "123", "4567890123456789",
      ".", ".",  "e",  "E", "e-", "e+", "308", "324", ",", "\r", "Q",   "/",
      ":",
  };
  constexpr size_t kPieceCount = sizeof kPieces / sizeof kPieces[0];
  std::string text;
  const size_t pieces = 1 + random() % 8;
  for (size_t i = 0; i < pieces; ++i)
    text += kPieces[random() % kPieceCount];
  return text;
}

TEST(ReadDecimalTest, ValueAndExtentAgreeWithStrtodOnGeneratedInputs) {
  std::mt19937 random(20190630);
  for (int round = 0; round < 200000; ++round) {
    const std::string text = RandomDecimalText(random);
    char* taken = nullptr;
    const double expected = std::strtod(text.c_str(), &taken);
    const double got = Decimal(text);
    // Bitwise, so that the sign of zero counts too.
    ASSERT_EQ(std::memcmp(&got, &expected, sizeof got), 0)
        << "'" << text << "' read " << got << ", strtod " << expected;
    ASSERT_EQ(DecimalExtent(text.data(), text.data() + text.size()),
              static_cast<size_t>(taken - text.c_str()))
        << "'" << text << "'";
  }
}

// --- Formatting ---

TEST(FormatTextTest, AgreesWithSnprintfForTheRecordFormats) {
  std::mt19937_64 random(161);
  char ours[512];
  char theirs[512];
  for (int round = 0; round < 40000; ++round) {
    double value;
    if (round % 2 == 0) {
      // Any finite bit pattern.
      const unsigned long long bits = random();
      std::memcpy(&value, &bits, sizeof value);
      if (!std::isfinite(value))
        continue;
    } else {
      // Values near the rounding point of the sixth decimal.
      value =
          static_cast<double>(static_cast<long long>(random() % 20000001) - 10000000) / 1e6 + 5e-7;
    }
    for (const char* format : {"%08.6f", "%09.6f"}) {
      const int length = FormatText(ours, sizeof ours, format, value);
      const int expected = std::snprintf(theirs, sizeof theirs, format, value);
      ASSERT_EQ(length, expected);
      ASSERT_STREQ(ours, theirs) << format;
    }
  }
}

TEST(FormatTextTest, ReportsTheFullLengthWhenTheBufferIsTooSmall) {
  char small[8];
  EXPECT_EQ(FormatText(small, sizeof small, "%08.6f", 1e20), 28);
  EXPECT_STREQ(small, "1000000");
}

// --- Status texts ---

TEST(StatusMessageTest, TheNineTexts) {
  const char* const expected[] = {
      "Ready",
      "File Error",
      "Header Error",
      "Staff Length Error",
      "Date & Time Error",
      "Write to File Error",
      "Convert To File Type Error",
      "Convert From File Type Error",
      "Finished All",
  };
  for (int code = 0; code < 9; ++code)
    EXPECT_STREQ(StatusMessage(code), expected[code]) << code;
  EXPECT_STREQ(StatusMessage(-1), "");
  EXPECT_STREQ(StatusMessage(9), "");
  EXPECT_STREQ(StatusMessage(255), "");
  EXPECT_EQ(kStatusFinished, 8);
  EXPECT_EQ(kStatusFromTypeError, 7);
  EXPECT_EQ(kStatusWriteError, 5);
  EXPECT_EQ(kStatusDateTimeError, 4);
  EXPECT_EQ(kStatusHeaderError, 2);
}

}  // namespace
