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

TEST(FieldGrammarTest, EachFieldHasOneKindForTheFastAndTheGeneralWays) {
  struct Case {
    const char* text;  // the field, then readable padding
    FieldKind kind;
    int length;
  };
  // Values of the gauge: the whole field is given.
  const Case kValues[] = {
      {"1.25", FieldKind::kPlainDecimal, 4},
      {"-0.5", FieldKind::kPlainDecimal, 4},
      {"16", FieldKind::kPlainDecimal, 2},
      {"0012", FieldKind::kOther, 4},
      {"1e3", FieldKind::kOther, 3},
      {"1.2345678", FieldKind::kOther, 9},
      {"", FieldKind::kOther, 0},
      {"12x", FieldKind::kNotANumber, 3},
      {"-", FieldKind::kNotANumber, 1},
      {" 7", FieldKind::kOther, 2},
  };
  for (const Case& c : kValues) {
    std::string field(c.text);
    const int length = static_cast<int>(field.size());
    field.append(kPlainDecimalReach, '7');  // padding digits must not be taken
    const FieldForm form = ClassifyValueField(field.data(), length);
    EXPECT_EQ(form.kind, c.kind) << "'" << c.text << "'";
    EXPECT_EQ(form.plainLength >= 0, c.kind == FieldKind::kPlainDecimal) << "'" << c.text << "'";
  }
  // Counts of the logger: the field ends at its comma, a CR or the line end.
  const Case kCounts[] = {
      {"5000,1", FieldKind::kWholeCount, 4}, {"22x1,", FieldKind::kNotANumber, 4},
      {"-3,", FieldKind::kOther, 2},         {"\r", FieldKind::kOther, 0},
      {"2.5\r", FieldKind::kOther, 3},       {"12345", FieldKind::kOther, 5},
  };
  for (const Case& c : kCounts) {
    std::string line(c.text);
    const size_t length = line.size();
    line.append(8, '9');
    const FieldForm form = ClassifyCountField(line.data(), line.data() + length);
    EXPECT_EQ(form.kind, c.kind) << "'" << c.text << "'";
    EXPECT_EQ(form.length, c.length) << "'" << c.text << "'";
  }
}
