// The comma scan against a byte-by-byte one, on lines of every length
// around the 64-byte steps, with commas and look-alike bytes anywhere.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "convert/comma_positions.h"

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
