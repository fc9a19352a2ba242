// The comma scan against a byte-by-byte one, on lines of every length
// around the 64-byte steps, with commas and look-alike bytes anywhere.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "convert/byte_scan.h"
#include "convert/comma_positions.h"
#include "convert/field_grammar.h"

namespace {

std::vector<int> CommasOneByOne(const std::string& line, int length) {
  std::vector<int> positions;
  for (int i = 0; i < length; ++i) {
    if (line[static_cast<size_t>(i)] == ',')
      positions.push_back(i);
  }
  return positions;
}

std::vector<int> CommasFromScan(const std::string& line, int length) {
  CommaPositions commas(line.data(), length);
  std::vector<int> positions;
  for (int position = commas.Next(); position >= 0; position = commas.Next())
    positions.push_back(position);
  EXPECT_EQ(commas.Next(), -1);  // stays at the end
  return positions;
}

}  // namespace

TEST(CommaPositionsTest, FindsEveryCommaOfTheLineAndNoneBeyondIt) {
  std::mt19937 random(5);
  const char kBytes[] = {',', ',', '1', '.', '-', '\r', '\0', '\xac', '\x2b', '\x2d'};
  for (int length = 0; length <= 1024; length += (length < 200 ? 1 : 37)) {
    for (int round = 0; round < 4; ++round) {
      // Past the line's end: commas that must not be reported.
      std::string line(static_cast<size_t>(length) + CommaPositions::kReach, ',');
      for (int i = 0; i < length; ++i)
        line[static_cast<size_t>(i)] = kBytes[random() % sizeof kBytes];
      if (round == 0) {
        for (int i = 0; i < length; ++i)
          line[static_cast<size_t>(i)] = ',';  // all commas
      }
      ASSERT_EQ(CommasFromScan(line, length), CommasOneByOne(line, length))
          << "length " << length << " round " << round;
    }
  }
}

TEST(FieldGrammarTest, WholeCountsAreOneToFourDigitsEndedByCommaCrOrTheEnd) {
  struct Case {
    const char* text;
    int length;  // of the line; the rest is readable padding
    int value;
    int digits;
  };
  const Case kCases[] = {
      {"7,", 2, 7, 1},   {"0042,", 5, 42, 4},  {"4095\r", 5, 4095, 4}, {"9999", 4, 9999, 4},
      {"123", 2, 12, 2}, {"12345,", 6, -1, 0}, {"12.5,", 5, -1, 0},    {"-3,", 3, -1, 0},
      {",5", 2, -1, 0},  {" 7,", 3, -1, 0},    {"1e3,", 4, -1, 0},     {"", 0, -1, 0},
  };
  for (const Case& c : kCases) {
    std::string line(c.text);
    line.append(8, '9');  // padding digits must not be taken
    const FieldForm field = ClassifyCountField(line.data(), line.data() + c.length);
    EXPECT_EQ(field.kind == FieldKind::kWholeCount, c.value >= 0) << "'" << c.text << "'";
    EXPECT_EQ(field.count, c.value) << "'" << c.text << "' length " << c.length;
    if (field.count >= 0) {
      EXPECT_EQ(field.length, c.digits) << "'" << c.text << "'";
    }
  }
}
