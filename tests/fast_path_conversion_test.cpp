// Whole conversions with the fast number paths against the same conversions
// through the C library alone: the output must be the same to the byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "app/panel_ids.h"
#include "runtime/fast_numbers.h"
#include "tests/test_support.h"

using zorq_test::HeadlessShell;
using zorq_test::ReadWholeFile;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

namespace {

// Fields as dumps hold them, and the odd ones that must leave the fast paths.
std::string RandomField(std::mt19937& random, bool gauge) {
  static const char* kOdd[] = {
      "0042",       "4095",        "4096", "99999", "12.5",      " 7",
      "-3",         "+8",          "1e3",  "2E-1",  ".5",        "5.",
      "",           "abc",         "0",    "-0",    "0.0000005", "123456789.123456",
      "1.23456789", "8589934592.5"};
  if (random() % 8 == 0)
    return kOdd[random() % (sizeof kOdd / sizeof kOdd[0])];
  if (!gauge)
    return std::to_string(random() % 4096);
  const int value = static_cast<int>(random() % 300001) - 50000;
  std::string text = std::to_string(value / 1000) + "." + std::to_string(std::abs(value % 1000));
  if (value < 0 && value > -1000)
    text = "-" + text;
  return text;
}

std::string RandomDump(bool gauge, unsigned seed, int lines = 400) {
  std::mt19937 random(seed);
  std::string dump;
  if (gauge) {
    dump = "Y19,M06,D30,H12,M00,S00,F04,L10,I60,N00,00000X03,T10,,,,,,,,,\r\n";
  } else {
    dump = std::string(63, ' ');
    dump.replace(0, 24, "Y19,M06,D30,H14,M05,S30,");
    dump.replace(24, 3, "F04");
    dump.replace(41, 7, "A2,C100");  // range 2: a scale for both logger types
    dump[61] = '\r';
    dump[62] = '\n';
  }
  dump += "Y19,M06,D30,H14,M05,S30,\r\n";
  for (int line = 0; line < lines; ++line) {
    const int fields = random() % 10 == 0 ? 1 + static_cast<int>(random() % 14) : 13;
    for (int i = 0; i < fields; ++i) {
      // A gauge's thirteenth field is its C4 reading, mostly whole sixteenths.
      if (gauge && i == 12 && random() % 4 != 0)
        dump += std::to_string(random() % 10000);
      else
        dump += RandomField(random, gauge);
      if (i + 1 < fields)
        dump += ',';
    }
    dump += random() % 5 == 0 ? ",\r\n" : "\r\n";
  }
  return dump;
}

std::string Convert(const std::string& dump, int fromType, int toType, bool fast, double gain,
                    double offset) {
  SetFastNumberPaths(fast);
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("dump.txt"), dump);
  shell.OpenFrom(dir.Path("dump.txt"));
  shell.OpenToNew(dir.Path("out.csv"));
  if (gain != 1.0 || offset != 0.0) {
    shell.ui().SetValue(kCtrlCorrection, 1);
    shell.ui().Commit(kCtrlCorrection);
    shell.ui().SetValue(kCtrlGainM, gain);
    shell.ui().SetValue(kCtrlOffsetB, offset);
  }
  const std::string status = shell.Convert(fromType, toType);
  SetFastNumberPaths(true);
  return status + "\n" + ReadWholeFile(dir.Path("out.csv"));
}

class FastPathConversion : public testing::Test {
 protected:
  void TearDown() override { SetFastNumberPaths(true); }
};

}  // namespace

TEST_F(FastPathConversion, LoggerOutputIsTheSameBothWays) {
  struct Case {
    int fromType;
    double gain;
    double offset;
  };
  const Case cases[] = {{2, 1.0, 0.0}, {2, 2.0, 0.5}, {2, -3.75, 1e6}, {1, 1.0, 0.0}};
  for (unsigned seed = 1; seed <= 4; ++seed) {
    const std::string dump = RandomDump(/*gauge=*/false, seed);
    for (const Case& c : cases) {
      const std::string fast = Convert(dump, c.fromType, 0, true, c.gain, c.offset);
      const std::string general = Convert(dump, c.fromType, 0, false, c.gain, c.offset);
      ASSERT_GT(fast.size(), 100u);
      ASSERT_EQ(fast, general) << "seed " << seed << " type " << c.fromType << " M " << c.gain;
    }
  }
}

// Long enough for the conversion to make every count's field at once after
// its first records, and to go on without looking for unmade ones.
TEST_F(FastPathConversion, LongLoggerOutputIsTheSameBothWays) {
  const std::string dump = RandomDump(/*gauge=*/false, 9, 14000);
  const std::string fast = Convert(dump, 2, 0, true, 1.5, -0.25);
  const std::string general = Convert(dump, 2, 0, false, 1.5, -0.25);
  ASSERT_GT(fast.size(), 2200u * 513u);
  ASSERT_EQ(fast, general);
}

TEST_F(FastPathConversion, GaugeOutputIsTheSameBothWays) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    const std::string dump = RandomDump(/*gauge=*/true, seed);
    const std::string fast = Convert(dump, 3, 1, true, 1.0, 0.0);
    const std::string general = Convert(dump, 3, 1, false, 1.0, 0.0);
    ASSERT_GT(fast.size(), 1000u);
    ASSERT_EQ(fast, general) << "seed " << seed;
  }
}
