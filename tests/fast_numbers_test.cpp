// The fast number paths against the C library, on many generated inputs.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "runtime/fast_numbers.h"
#include "runtime/numbers.h"

namespace {

std::string Reference(const char* format, int width, int precision, double value) {
  char text[512];
  std::snprintf(text, sizeof text, format, width, precision, value);
  return text;
}

std::string Fast(int width, int precision, double value) {
  char text[512];
  const int length = FormatFixed(text, sizeof text, value, width, precision);
  EXPECT_EQ(length, static_cast<int>(std::strlen(text)));
  return text;
}

void ExpectSameFixed(double value) {
  // The widths and precisions the record formats use.
  static constexpr int kCases[][2] = {{8, 6}, {9, 6}, {7, 4}, {4, 1}, {0, 0}};
  for (const auto& [width, precision] : kCases) {
    ASSERT_EQ(Fast(width, precision, value), Reference("%0*.*f", width, precision, value))
        << "value " << std::hexfloat << value << " width " << width << " precision " << precision;
  }
}

std::string RandomDecimalText(std::mt19937_64& random) {
  static const char* kPieces[] = {"",  " ", "\t", "-",  "+", "0", "00", ".",
                                  "e", "E", "e-", "e+", ",", "x", "\r"};
  std::string text;
  const int parts = 1 + static_cast<int>(random() % 6);
  for (int i = 0; i < parts; ++i) {
    if (random() % 3 == 0) {
      text += kPieces[random() % (sizeof kPieces / sizeof kPieces[0])];
    } else {
      const int digits = 1 + static_cast<int>(random() % (random() % 4 == 0 ? 25 : 8));
      for (int d = 0; d < digits; ++d)
        text += static_cast<char>('0' + random() % 10);
    }
  }
  return text;
}

}  // namespace

TEST(FastFixedFormat, MatchesPrintfOnTiesSignsZerosAndLargeValues) {
  const double kValues[] = {0.0,
                            -0.0,
                            0.5,
                            1.5,
                            2.5,
                            -2.5,
                            0.25,
                            0.125,
                            0.0000005,
                            0.0000015,
                            1.0000005,
                            2.5e-7,
                            -1e-9,
                            99.99995,
                            99.99994,
                            -9.99995,
                            123.45678,
                            1e15,
                            1e20,
                            -1e22,
                            1e30,
                            4095.0,
                            1.0 / 3.0,
                            22.6875,
                            22.8125,
                            0.05,
                            0.15,
                            0.35,
                            1e-300,
                            5e-324,
                            1.7e308,
                            -1.7e308,
                            std::ldexp(1.0, 100),
                            std::ldexp(1.0, 93)};
  for (double value : kValues)
    ExpectSameFixed(value);
}

TEST(FastFixedFormat, MatchesPrintfOnRandomDoubles) {
  std::mt19937_64 random(20261207);
  for (int i = 0; i < 60000; ++i) {
    double value;
    switch (i % 4) {
      case 0:  // any bit pattern
        value = std::bit_cast<double>(random());
        break;
      case 1:  // readings as the converters produce them
        value = static_cast<double>(random() % 4096) / 4095.0 *
                static_cast<double>(1 + random() % 20) * 0.5;
        break;
      case 2:  // decimals with few digits, around the rounding points
        value = static_cast<double>(static_cast<int64_t>(random() % 20000001) - 10000000) / 1e7;
        break;
      default:  // wide range of magnitudes
        value =
            std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 160) - 120);
        break;
    }
    if (std::isnan(value))
      continue;
    ExpectSameFixed(value);
  }
}

TEST(FastFixedFormat, InfinityAndNanFollowPrintf) {
  for (double value :
       {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(Fast(7, 4, value), Reference("%0*.*f", 7, 4, value));
  }
}

std::string FastGeneral(double value, int precision) {
  char text[512];
  const int length = FormatGeneral(text, sizeof text, value, precision);
  EXPECT_EQ(length, static_cast<int>(std::strlen(text)));
  return text;
}

std::string ReferenceGeneral(double value, int precision) {
  char text[512];
  std::snprintf(text, sizeof text, "%.*g", precision, value);
  return text;
}

// Ties and near-ties at the sixth digit, carries into the next power of
// ten, the ends of the range printed without an exponent, and random
// doubles of every magnitude.
TEST(FastGeneralFormat, MatchesPrintf) {
  std::vector<double> values = {0.0,       -0.0,       1.0,       -1.0,       0.5,
                                1234565.0, 123456.5,   12345.65,  0.1234565,  9.999995,
                                9.9999949, 999999.5,   999999.4,  99999.95,   0.00099999951,
                                1e-4,      9.99995e-5, 0.0001,    1e6,        999999.0,
                                0.3,       2.5,        1.0 / 3.0, -0.0250004, 4095.0 / 7.0};
  for (int exponent = -6; exponent <= 7; ++exponent) {
    const double power = std::pow(10.0, exponent);
    values.insert(values.end(), {power, std::nextafter(power, 0.0), std::nextafter(power, 1e300),
                                 -power, 0.5 * power, 1.5 * power});
  }
  std::mt19937_64 random(5);
  for (int i = 0; i < 50000; ++i) {
    values.push_back(std::bit_cast<double>(random()));
    const double digits = static_cast<double>(random() % 10000000) + 0.5;
    values.push_back(digits * std::pow(10.0, static_cast<int>(random() % 14) - 12));
    values.push_back(std::exp(static_cast<double>(random() % 4000) / 100.0 - 20.0));
  }
  for (const double value : values) {
    for (const int precision : {6, 1, 3, 9}) {
      ASSERT_EQ(FastGeneral(value, precision), ReferenceGeneral(value, precision))
          << std::hexfloat << value << " precision " << precision;
    }
  }
}

TEST(FastSixteenthsFormat, MatchesPrintfForEveryCountAndTheRoundingTies) {
  // Every count a reading can hold at the record formats (ties to even at
  // one decimal: 0.25 -> "0.2", 0.75 -> "0.8"), then wider ranges sparsely.
  for (int sixteenths = 0; sixteenths < 70000; ++sixteenths) {
    for (const auto& [width, precision] : {std::pair{9, 6}, std::pair{4, 1}}) {
      char fast[64];
      const int length = FormatSixteenths(fast, sizeof fast, sixteenths, width, precision);
      const std::string reference = Reference("%0*.*f", width, precision, sixteenths / 16.0);
      ASSERT_EQ(std::string(fast, static_cast<size_t>(length)), reference) << sixteenths;
    }
  }
  std::mt19937 random(3);
  for (int i = 0; i < 20000; ++i) {
    const int sixteenths = static_cast<int>(random() % (1u << 25));  // some beyond 2^24
    const int width = static_cast<int>(random() % 24);
    const int precision = static_cast<int>(random() % 11);  // 10 takes the general path
    char fast[64];
    const int length = FormatSixteenths(fast, sizeof fast, sixteenths, width, precision);
    ASSERT_EQ(std::string(fast, static_cast<size_t>(length)),
              Reference("%0*.*f", width, precision, sixteenths / 16.0))
        << sixteenths << " " << width << " " << precision;
  }
}

TEST(FastIntFormat, MatchesPrintf) {
  const int kValues[] = {0,    1,    -1,    9,  10,  99,   100,        999,
                         1000, 9999, 10000, -5, -99, -100, 2147483647, -2147483647 - 1};
  for (int value : kValues) {
    for (int width : {0, 2, 4}) {
      char fast[32];
      char reference[32];
      const int length = FormatZeroPaddedInt(fast, sizeof fast, value, width);
      std::snprintf(reference, sizeof reference, "%0*i", width, value);
      EXPECT_STREQ(fast, reference);
      EXPECT_EQ(length, static_cast<int>(std::strlen(reference)));
    }
  }
}

TEST(FastDecimalReading, MatchesTheGeneralReadingBitForBit) {
  std::mt19937_64 random(7);
  const char* kFixed[] = {"0",
                          "-0",
                          "+0.000",
                          "1.25",
                          "-0.5",
                          "2048",
                          "4095",
                          "372",
                          "9007199254740993",
                          "9007199254740992",
                          "123456789012345678901",
                          "0.1",
                          "1e5",
                          "1e",
                          "1e+",
                          "1.5e-3x",
                          ".5",
                          "-.5",
                          ".",
                          "-",
                          "",
                          " \t 3.25,",
                          "0000000000000000000000001.5",
                          "1.00000000000000000000001"};
  for (const char* text : kFixed) {
    const char* end = text + std::strlen(text);
    const double fast = ReadDecimalFast(text, end);
    const double general = ReadDecimal(text, end);
    EXPECT_EQ(std::bit_cast<uint64_t>(fast), std::bit_cast<uint64_t>(general)) << text;
  }
  for (int i = 0; i < 200000; ++i) {
    const std::string text = RandomDecimalText(random);
    const char* end = text.data() + text.size();
    const double fast = ReadDecimalFast(text.data(), end);
    const double general = ReadDecimal(text.data(), end);
    ASSERT_EQ(std::bit_cast<uint64_t>(fast), std::bit_cast<uint64_t>(general))
        << "'" << text << "'";
  }
}

// Runs the plain-decimal printer and reader on `field`, followed in its
// buffer by `junk`, and checks them against printf and strtod. Returns the
// printed text, or "declined".
std::string PrintPlainDecimal(const std::string& field, char junk) {
  std::string buffer = field;
  buffer.append(kPlainDecimalReach, junk);
  char out[kPlainDecimalReach];
  std::memset(out, '?', sizeof out);
  const int fieldLength = static_cast<int>(field.size());
  const int length = PlainDecimalLength(buffer.data(), fieldLength);
  if (length < 0)
    return "declined";
  PrintPlainDecimal(buffer.data(), fieldLength, length, out);
  const double value = ReadDecimal(field.data(), field.data() + field.size());
  EXPECT_EQ(std::bit_cast<uint64_t>(PlainDecimalValue(buffer.data(), fieldLength)),
            std::bit_cast<uint64_t>(value))
      << "'" << field << "'";
  EXPECT_GE(length, 8);
  EXPECT_LE(length, kPlainDecimalReach);
  const std::string printed(out, static_cast<size_t>(length));
  EXPECT_EQ(printed, Reference("%0*.*f", 8, 6, value)) << "'" << field << "'";
  return printed;
}

TEST(FastPlainDecimal, PrintsTheFieldsDigitsAndDeclinesAnythingElse) {
  const std::pair<const char*, const char*> kAccepted[] = {{"0", "0.000000"},
                                                           {"-0", "-0.000000"},
                                                           {"-0.0", "-0.000000"},
                                                           {"1.25", "1.250000"},
                                                           {"-3.829", "-3.829000"},
                                                           {"7.4", "7.400000"},
                                                           {"16", "16.000000"},
                                                           {"5.", "5.000000"},
                                                           {"0.000001", "0.000001"},
                                                           {"9999999.999999", "9999999.999999"},
                                                           {"-1234567.5", "-1234567.500000"}};
  for (const auto& [field, printed] : kAccepted) {
    for (char junk : {'\0', '9', '.', ','}) {
      EXPECT_EQ(PrintPlainDecimal(field, junk), printed)
          << "'" << field << "' junk '" << junk << "'";
    }
  }
  // Declined: the general path reads these.
  const char* kDeclined[] = {"",          "-",
                             ".",         "-.",
                             ".5",        "-.25",
                             "+1.5",      " 7",
                             "7 ",        "00",
                             "01.5",      "1e3",
                             "1.5e2",     "12345678",
                             "1x",        "1.5.",
                             "--1",       "1-",
                             "1.1234567", "12,5",
                             "3\r",       "12345678901234567"};
  for (const char* field : kDeclined)
    EXPECT_EQ(PrintPlainDecimal(field, '1'), "declined") << "'" << field << "'";
}

TEST(FastPlainDecimal, AgreesWithReadingAndPrintingOnGeneratedFields) {
  std::mt19937_64 random(11);
  int accepted = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string field;
    if (i % 2 == 0) {  // values as gauges log them
      field = std::to_string(static_cast<int64_t>(random() % 20000000ULL) - 10000000LL);
      field.insert(field.size() - std::min<size_t>(field.size() - 1, random() % 8), ".");
    } else {
      field = RandomDecimalText(random);
    }
    const char junk = "0.9e-,x\0"[random() % 8];
    if (PrintPlainDecimal(field, junk) != "declined")
      ++accepted;
  }
  EXPECT_GT(accepted, 90000);  // the gauge-like half is nearly all taken
}
