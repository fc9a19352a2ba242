// The readings file as one CF timeSeries station, and its time axis that
// rises strictly while the tidy CSV keeps every reading in dump order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/files.h"
#include "science/netcdf_writer.h"
#include "science/quality_flags.h"
#include "science/station.h"
#include "science/tidy_writer.h"
#include "tests/science/science_test_support.h"

namespace {

using science_test::FeedLine;
using science_test::Local;
using science_test::NetcdfFile;
using science_test::Scratch;

const LocalSeconds kNoon = Local(2024, 3, 1, 12, 0, 0);

ScienceSettings Settings(const char* zone = "UTC") {
  ScienceSettings settings;
  settings.fromType = 2;
  settings.sourceName = "north_pier.txt";
  settings.zone = Zone::Named(zone).value();
  return settings;
}

RunFacts Run(const ConversionResult& result) {
  RunFacts run;
  run.result = &result;
  run.dateCreated = "2026-12-08T01:00:00Z";
  return run;
}

void WriteNetcdf(const ScienceSettings& settings, const std::vector<FeedLine>& lines,
                 const std::string& path, ReadingFacts* facts = nullptr) {
  NetcdfWriter writer(settings);
  std::string error;
  ASSERT_TRUE(writer.Create(path, &error)) << error;
  science_test::Feed(&writer, lines);
  const ConversionResult result;
  ASSERT_TRUE(writer.Finish(Run(result), &error)) << error;
  if (facts != nullptr)
    *facts = writer.facts();
}

// The flag column of the tidy CSV written from `lines`.
std::vector<int> TidyFlags(const ScienceSettings& settings, const std::vector<FeedLine>& lines,
                           const std::string& path) {
  const int handle = OpenFile(path.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
  EXPECT_GT(handle, 0);
  {
    TidyWriter writer(settings, SinkOfHandle(handle));
    std::string error;
    EXPECT_TRUE(writer.Start(&error)) << error;
    science_test::Feed(&writer, lines);
    EXPECT_TRUE(writer.Finish(&error)) << error;
  }
  CloseFile(handle);
  std::vector<int> flags;
  const std::string text = science_test::ReadWhole(path);
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', end + 1)) {
    const size_t comma = text.rfind(',', end);
    if (text.compare(comma + 1, end - comma - 1, "flag") != 0)
      flags.push_back(std::stoi(text.substr(comma + 1, end - comma - 1)));
  }
  return flags;
}

// --- The station ---

struct StationRow {
  const char* name;
  std::optional<Position> position;
  std::vector<Attribute> deployment;
  const char* id;
  const char* coordinates;
  std::optional<double> z;
  const char* positive;
  const char* zName;
};

class StationRows : public testing::TestWithParam<StationRow> {
 protected:
  Scratch scratch_;
};

TEST_P(StationRows, NameIdPositionAndVerticalPlace) {
  const StationRow& row = GetParam();
  ScienceSettings settings = Settings();
  settings.position = row.position;
  settings.attributes = row.deployment;
  const std::string path = scratch_.Path("out.nc");
  WriteNetcdf(settings, {FeedLine().At(kNoon).Values({1.0, 2.0}).Temperature(9.5)}, path);
  NetcdfFile file(path);
  EXPECT_EQ(file.Chars("station"), row.id);
  EXPECT_EQ(file.Text("station", "cf_role"), "timeseries_id");
  for (const char* data : {"reading", "reading_quality_control"})
    EXPECT_EQ(file.Text(data, "coordinates"), row.coordinates) << data;
  EXPECT_EQ(file.HasVariable("lat"), row.position.has_value());
  EXPECT_EQ(file.Text("", "featureType"), row.position ? "timeSeries" : "");
  if (row.position) {
    EXPECT_EQ(file.Doubles("lat"), std::vector<double>{row.position->latitude});
    EXPECT_EQ(file.Doubles("lon"), std::vector<double>{row.position->longitude});
    EXPECT_EQ(file.Text("lat", "axis"), "Y");
    EXPECT_EQ(file.Text("lon", "axis"), "X");
    EXPECT_EQ(file.Text("lon", "units"), "degrees_east");
    // Off the time axis, with no vertical one: cdo reads it so.
    EXPECT_EQ(file.Text("temperature", "coordinates"), "lat lon station");
  }
  ASSERT_EQ(file.HasVariable("z"), row.z.has_value());
  if (row.z) {
    EXPECT_EQ(file.Doubles("z"), std::vector<double>{*row.z});
    EXPECT_EQ(file.Text("z", "positive"), row.positive);
    EXPECT_EQ(file.Text("z", "standard_name"), row.zName);
    EXPECT_EQ(file.Text("z", "axis"), "Z");
    EXPECT_EQ(file.Number("", "geospatial_vertical_max"), *row.z);
    EXPECT_EQ(file.Text("", "geospatial_vertical_positive"), row.positive);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StationRows,
    testing::Values(
        StationRow{"NothingGiven", std::nullopt, {}, "north_pier", "time station", {}, "", ""},
        StationRow{"PositionOnly",
                   Position{54.18, 7.89},
                   {},
                   "north_pier",
                   "time lat lon station",
                   {},
                   "",
                   ""},
        StationRow{"StationDepthAndHeight",
                   Position{-33.9, 151.25},
                   {{"station_id", std::string("NP-1")},
                    {"instrument_serial_number", std::string("SN-77")},
                    {"water_depth", 10.0},
                    {"sensor_height", 0.5}},
                   "NP-1",
                   "time lat lon z station",
                   9.5,
                   "down",
                   "depth"},
        StationRow{"SerialAndHeightAboveTheBed",
                   std::nullopt,
                   {{"instrument_serial_number", int64_t{4711}}, {"sensor_height", 0.4}},
                   "4711",
                   "time z station",
                   0.4,
                   "up",
                   "height_above_sea_floor"}),
    [](const testing::TestParamInfo<StationRow>& row) { return row.param.name; });

// --- Time that does not rise ---

struct OrderRow {
  const char* name;
  const char* zone;
  std::vector<FeedLine> lines;
  std::vector<double> netcdfTimes;  // UTC
  std::vector<int> netcdfFlags;
  std::vector<int> tidyFlags;  // every reading, in dump order
};

class TimeOrderRows : public testing::TestWithParam<OrderRow> {
 protected:
  Scratch scratch_;
};

TEST_P(TimeOrderRows, NetcdfKeepsRisingTimesAndTidyFlagsTheRest) {
  const OrderRow& row = GetParam();
  const ScienceSettings settings = Settings(row.zone);
  ReadingFacts facts;
  WriteNetcdf(settings, row.lines, scratch_.Path("out.nc"), &facts);
  NetcdfFile file(scratch_.Path("out.nc"));
  EXPECT_EQ(file.Doubles("time"), row.netcdfTimes);
  EXPECT_EQ(file.Ints("reading_quality_control"), row.netcdfFlags);
  const auto leftOut = int64_t(row.tidyFlags.size() - row.netcdfTimes.size());
  EXPECT_EQ(facts.notRising, leftOut);
  EXPECT_EQ(file.Number("", "readings_out_of_time_order"), double(leftOut));
  EXPECT_EQ(NotRisingWarning(facts).empty(), leftOut == 0);
  const std::vector<double> temperatureTimes = file.Doubles("temperature_time");
  for (size_t i = 1; i < temperatureTimes.size(); ++i)
    EXPECT_LT(temperatureTimes[i - 1], temperatureTimes[i]) << i;
  EXPECT_EQ(TidyFlags(settings, row.lines, scratch_.Path("out.tidy.csv")), row.tidyFlags);
}

double Utc(int year, int month, int day, int hour, int minute, int second) {
  return double(Local(year, month, day, hour, minute, second));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TimeOrderRows,
    testing::Values(
        // 12:00:00..03, then a stamp back at 12:00:02: its first two readings
        // come at times already written.
        OrderRow{
            "StampGoesBack",
            "UTC",
            {FeedLine().At(kNoon).Values({1, 2, 3, 4}).Temperature(9.0),
             FeedLine().At(kNoon + 2).Line(4).WentBack().Values({5, 6, 7, 8}).Temperature(9.5)},
            {Utc(2024, 3, 1, 12, 0, 0), Utc(2024, 3, 1, 12, 0, 1), Utc(2024, 3, 1, 12, 0, 2),
             Utc(2024, 3, 1, 12, 0, 3), Utc(2024, 3, 1, 12, 0, 4), Utc(2024, 3, 1, 12, 0, 5)},
            {1, 1, 1, 1, 3, 3},
            {1, 1, 1, 1, 4, 4, 3, 3}},
        // A burst that starts before the one before it ended.
        OrderRow{"OverlappingBurst",
                 "UTC",
                 {FeedLine().At(kNoon).Burst(0).Values({1, 2, 3}),
                  FeedLine().At(kNoon + 1).Line(4).Burst(1).Values({4, 5, 6})},
                 {Utc(2024, 3, 1, 12, 0, 0), Utc(2024, 3, 1, 12, 0, 1), Utc(2024, 3, 1, 12, 0, 2),
                  Utc(2024, 3, 1, 12, 0, 3)},
                 {1, 1, 1, 1},
                 {1, 1, 1, 4, 4, 1}},
        // 02:30 on 2024-03-31 is no time in Berlin: read as 03:30 CEST, and
        // flagged suspect in both outputs.
        OrderRow{"StampInTheSpringForwardGap",
                 "Europe/Berlin",
                 {FeedLine().At(Local(2024, 3, 31, 1, 59, 59)).Values({1}),
                  FeedLine().At(Local(2024, 3, 31, 2, 30, 0)).Line(4).Values({2, 3}),
                  FeedLine().At(Local(2024, 3, 31, 3, 40, 0)).Line(6).Values({4})},
                 {Utc(2024, 3, 31, 0, 59, 59), Utc(2024, 3, 31, 1, 30, 0),
                  Utc(2024, 3, 31, 1, 30, 1), Utc(2024, 3, 31, 1, 40, 0)},
                 {1, 3, 3, 1},
                 {1, 3, 3, 1}},
        // The clock is set back at 03:00 CEST on 2024-10-27; the repeated
        // 02:00 hour reads as its first, summer-time pass: an hour back.
        OrderRow{"RepeatedAutumnHour",
                 "Europe/Berlin",
                 {FeedLine().At(Local(2024, 10, 27, 2, 59, 58)).Values({1, 2}),
                  FeedLine().At(Local(2024, 10, 27, 2, 0, 0)).Line(4).Values({3, 4, 5}),
                  FeedLine().At(Local(2024, 10, 27, 3, 0, 0)).Line(6).Values({6})},
                 {Utc(2024, 10, 27, 0, 59, 58), Utc(2024, 10, 27, 0, 59, 59),
                  Utc(2024, 10, 27, 2, 0, 0)},
                 {1, 1, 1},
                 {1, 1, 4, 4, 4, 1}}),
    [](const testing::TestParamInfo<OrderRow>& row) { return row.param.name; });

// 12:00:00..03 kept, then 12:00:01..02 left out: the drift still runs to
// the dump's last reading, 12:00:02, as the tidy CSV's does.
TEST(TimeOrder, TheDriftRunsToTheLastReadingOfTheDumpKeptOrNot) {
  ScienceSettings settings = Settings();
  settings.clock.driftGiven = true;
  settings.clock.drift = 4.0;
  const Scratch scratch;
  ReadingFacts facts;
  WriteNetcdf(settings,
              {FeedLine().At(kNoon).Values({1, 2, 3, 4}),
               FeedLine().At(kNoon + 1).Line(4).WentBack().Values({5, 6})},
              scratch.Path("out.nc"), &facts);
  NetcdfFile file(scratch.Path("out.nc"));
  const std::vector<double> times = file.Doubles("time");
  ASSERT_EQ(times.size(), 4u);
  // error(t) = 4 s * (t - 12:00:00) / 2 s
  EXPECT_EQ(times[3], double(kNoon) + 3.0 - 6.0);
  EXPECT_EQ(facts.notRising, 2);
}

}  // namespace
