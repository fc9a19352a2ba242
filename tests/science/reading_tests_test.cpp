// The QARTOD tests run once in front of the NetCDF and tidy writers: both
// write the flags of the one run, also around readings whose time went back
// (which the NetCDF file leaves out and the tidy CSV keeps), and the flags
// are counted once for the report.
#include "science/reading_tests.h"

#include <gtest/gtest.h>

#include <sstream>

#include "runtime/files.h"
#include "science/science_outputs.h"
#include "tests/science/science_test_support.h"

namespace {

using science_test::FeedLine;
using science_test::Local;
using science_test::NetcdfFile;
using science_test::Scratch;

const LocalSeconds kNoon = Local(2024, 3, 1, 12, 0, 0);

ScienceSettings SpikeSettings() {
  ScienceSettings settings;
  settings.fromType = 2;
  settings.sourceName = "dump.txt";
  settings.zone = Zone::Named("UTC").value();
  settings.dumpBytes = 100;
  settings.qc.reading.spike = SpikeThresholds{1.0, 5.0};
  settings.qc.reading.rateOfChange = RateOfChangeThresholds{4.0};
  return settings;
}

// The tidy CSV's flag column.
std::vector<int> TidyFlags(const std::string& text) {
  std::vector<int> flags;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);  // the header
  while (std::getline(lines, line))
    flags.push_back(line.back() - '0');
  return flags;
}

class SharedTestsTest : public testing::Test {
 protected:
  // Writes `lines` through one ScienceOutputs into both files.
  void Write(const std::vector<FeedLine>& lines) {
    ScienceOutputs outputs(SpikeSettings());
    std::string error;
    const int handle = OpenFile(tidyPath_.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
    ASSERT_GT(handle, 0);
    ASSERT_TRUE(outputs.OpenNetcdf(netcdfPath_, &error)) << error;
    ASSERT_TRUE(outputs.OpenTidy(SinkOfHandle(handle), "out.tidy.csv", &error)) << error;
    science_test::Feed(outputs.listener(), lines);
    ASSERT_TRUE(outputs.Finish(result_, &error)) << error;
    CloseFile(handle);
    counts_ = outputs.QcCounts();
  }

  Scratch scratch_;
  std::string netcdfPath_ = scratch_.Path("out.nc");
  std::string tidyPath_ = scratch_.Path("out.tidy.csv");
  ConversionResult result_;
  ReadingFlagCounts counts_;
};

// 10 stands 10 off its neighbours' mean: bad; its neighbours stand 5 off
// theirs, which is not beyond the fail threshold: suspect. The series'
// ends have one neighbour: not evaluated.
TEST_F(SharedTestsTest, BothFilesHaveTheFlagsAndTheyAreCountedOnce) {
  Write({FeedLine().At(kNoon, 0, 1).Values({0, 0, 0}),
         FeedLine().At(kNoon, 3, 1).Values({10, 0, 0})});
  NetcdfFile file(netcdfPath_);
  ASSERT_TRUE(file.open());
  const std::vector<int> spike = file.Ints("spike_test_quality_flag");
  EXPECT_EQ(spike, (std::vector<int>{2, 1, 3, 4, 3, 2}));
  EXPECT_EQ(file.Ints("reading_quality_control"), (std::vector<int>{1, 1, 3, 4, 3, 1}));
  EXPECT_EQ(TidyFlags(science_test::ReadWhole(tidyPath_)), (std::vector<int>{1, 1, 3, 4, 3, 1}));
  // Counts in the order 1, 2, 3, 4, 9.
  EXPECT_EQ(counts_.spike.readings, (std::array<int64_t, kFlagKinds>{1, 2, 2, 1, 0}));
  EXPECT_EQ(counts_.rateOfChange.readings, (std::array<int64_t, kFlagKinds>{4, 0, 2, 0, 0}));
  EXPECT_EQ(counts_.aggregate.readings, (std::array<int64_t, kFlagKinds>{3, 0, 2, 1, 0}));
}

// The second line's stamp went back: its first two readings come before
// the last one kept. The NetCDF file leaves them out; in the tidy CSV they
// are bad and break the series, and both files agree on every reading the
// NetCDF file has.
TEST_F(SharedTestsTest, ReadingsOutOfTimeOrderBreakTheSeriesInBothFiles) {
  Write({FeedLine().At(kNoon, 0, 1).Values({0, 0, 0, 0}),
         FeedLine().At(kNoon, 2, 1).WentBack().Values({0, 0, 10, 0, 0})});
  NetcdfFile file(netcdfPath_);
  ASSERT_TRUE(file.open());
  const std::vector<int> netcdf = file.Ints("reading_quality_control");
  const std::vector<int> tidy = TidyFlags(science_test::ReadWhole(tidyPath_));
  ASSERT_EQ(netcdf.size(), 7u);
  ASSERT_EQ(tidy.size(), 9u);
  EXPECT_EQ((std::vector<int>{tidy[4], tidy[5]}), (std::vector<int>{4, 4}));
  std::vector<int> kept(tidy.begin(), tidy.begin() + 4);
  kept.insert(kept.end(), tidy.begin() + 6, tidy.end());
  EXPECT_EQ(netcdf, kept);
  // The fourth reading ends its series where the time went back: its
  // spike flag is not evaluated, not tested against a reading left out.
  EXPECT_EQ(file.Ints("spike_test_quality_flag")[3], 2);
}

TEST(ReadingTests, TheLastReadingIsTheSameForEachWriterAndCountedOnce) {
  ScienceSettings settings = SpikeSettings();
  ReadingTests tests(settings, nullptr);
  science_test::Feed(&tests, {FeedLine().At(kNoon, 0, 1).Values({0, 0})});
  ReadingFlags first;
  ReadingFlags second;
  ASSERT_TRUE(tests.Last(&first));
  ASSERT_TRUE(tests.Last(&second));
  EXPECT_EQ(first.spike, kFlagNotEvaluated);
  EXPECT_EQ(second.aggregate, first.aggregate);
  EXPECT_EQ(tests.counts().aggregate.readings[0], 2);
}

}  // namespace
