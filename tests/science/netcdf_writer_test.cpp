#include "science/netcdf_writer.h"

#include <gtest/gtest.h>
#include <netcdf.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <thread>

#include "science/quality_flags.h"
#include "tests/science/science_test_support.h"

namespace {

using science_test::FeedLine;
using science_test::Local;
using science_test::NetcdfFile;
using science_test::Scratch;

const LocalSeconds kNoon = Local(2024, 3, 1, 12, 0, 0);

std::vector<double> Ramp(int count, double from) {
  std::vector<double> values;
  for (int i = 0; i < count; ++i)
    values.push_back(from + 0.001 * i);
  return values;
}

ScienceSettings LoggerSettings() {
  ScienceSettings settings;
  settings.fromType = 2;
  settings.sourceName = "dump.txt";
  settings.zone = Zone::Named("UTC").value();
  settings.invocation = "zorqconvert-cli --format netcdf";
  return settings;
}

ScienceSettings GaugeSettings() {
  ScienceSettings settings = LoggerSettings();
  settings.gauge = true;
  settings.fromType = 3;
  return settings;
}

class NetcdfWriterTest : public testing::Test {
 protected:
  // Writes `lines` (and `fillers` of them) and finishes the file.
  void Write(const ScienceSettings& settings, const std::vector<FeedLine>& lines, int fillers = 0) {
    NetcdfWriter writer(settings);
    std::string error;
    ASSERT_TRUE(writer.Create(path_, &error)) << error;
    science_test::Feed(&writer, lines);
    if (fillers > 0)
      writer.OnFillers(9, 900, fillers);
    RunFacts run;
    run.result = &result_;
    run.sourceSha256 = std::string(64, 'a');
    run.dateCreated = "2026-12-08T01:00:00Z";
    ASSERT_TRUE(writer.Finish(run, &error)) << error;
    facts_ = writer.facts();
  }

  Scratch scratch_;
  std::string path_ = scratch_.Path("out.nc");
  ConversionResult result_;
  ReadingFacts facts_;
};

TEST_F(NetcdfWriterTest, EveryReadingAtItsOwnTimeAcrossLinesAndStamps) {
  const FeedLine first = FeedLine().At(kNoon, 0, 8).Values(Ramp(12, 1.0));
  const FeedLine second =
      FeedLine().At(kNoon, 12, 8).Line(3).Values(Ramp(12, 2.0)).Temperature(21.5);
  const FeedLine afterStamp = FeedLine().At(kNoon + 5, 0, 8).Line(5).Values(Ramp(3, 3.0));
  Write(LoggerSettings(), {first, second, afterStamp});

  NetcdfFile file(path_);
  ASSERT_TRUE(file.open());
  const std::vector<double> times = file.Doubles("time");
  const std::vector<double> readings = file.Doubles("reading");
  ASSERT_EQ(times.size(), 27u);
  ASSERT_EQ(readings.size(), 27u);
  for (int i = 0; i < 24; ++i) {
    EXPECT_EQ(times[size_t(i)], double(kNoon) + i / 8.0) << i;  // 3 s per 24, not whole seconds
    EXPECT_EQ(readings[size_t(i)], (i < 12 ? 1.0 : 2.0) + 0.001 * (i % 12)) << i;
  }
  EXPECT_EQ(times[24], double(kNoon + 5));
  EXPECT_EQ(times[26], double(kNoon + 5) + 0.25);
  EXPECT_EQ(file.Doubles("temperature"), std::vector<double>{21.5});
  EXPECT_EQ(file.Doubles("temperature_time"), std::vector<double>{double(kNoon) + 1.5});
  EXPECT_EQ(file.Ints("reading_quality_control"), std::vector<int>(27, kFlagGood));
  EXPECT_EQ(file.Text("time", "units"), "seconds since 1970-01-01T00:00:00Z");
  EXPECT_EQ(file.Text("reading", "units"), "m");
  EXPECT_EQ(file.Text("reading", "ancillary_variables"),
            "reading_quality_control gross_range_test_quality_flag");
  EXPECT_EQ(file.Text("", "time_coverage_start"), "2024-03-01T12:00:00.000Z");
  EXPECT_EQ(file.Text("", "time_coverage_end"), "2024-03-01T12:00:05.250Z");
  EXPECT_EQ(file.Text("", "time_coverage_duration"), "PT5.25S");
  EXPECT_FALSE(file.HasVariable("burst"));
}

struct FlagRow {
  const char* name;
  std::vector<ReadingNote> notes;  // empty: the line has none
  bool wentBack;
  std::vector<int> flags;
  int64_t bad;
  int64_t suspect;
};

class NetcdfFlagRows : public NetcdfWriterTest, public testing::WithParamInterface<FlagRow> {};

TEST_P(NetcdfFlagRows, OneFlagPerReadingAndTheirCounts) {
  const FlagRow& row = GetParam();
  const FeedLine line =
      FeedLine().At(kNoon).WentBack(row.wentBack).Values({1.0, 2.0}).Notes(row.notes);
  Write(LoggerSettings(), {line});
  NetcdfFile file(path_);
  EXPECT_EQ(file.Ints("reading_quality_control"), row.flags);
  EXPECT_EQ(facts_.notANumber, row.bad);
  EXPECT_EQ(facts_.suspect, row.suspect);
}

constexpr ReadingNote kPlain = ReadingNote::kPlain;
constexpr ReadingNote kNotANumber = ReadingNote::kNotANumber;

INSTANTIATE_TEST_SUITE_P(
    Rows, NetcdfFlagRows,
    testing::Values(
        FlagRow{"Plain", {}, false, {kFlagGood, kFlagGood}, 0, 0},
        FlagRow{"PlainNoted", {kPlain, kPlain}, false, {kFlagGood, kFlagGood}, 0, 0},
        FlagRow{"NotANumber", {kPlain, kNotANumber}, false, {kFlagGood, kFlagBad}, 1, 0},
        FlagRow{
            "Saturated", {kPlain, ReadingNote::kSaturated}, false, {kFlagGood, kFlagSuspect}, 0, 1},
        FlagRow{"AfterTimeWentBack", {}, true, {kFlagSuspect, kFlagSuspect}, 0, 2},
        FlagRow{
            "AfterTimeWentBackNoted", {kPlain, kPlain}, true, {kFlagSuspect, kFlagSuspect}, 0, 2},
        FlagRow{"BadOutranksBack", {kPlain, kNotANumber}, true, {kFlagSuspect, kFlagBad}, 1, 1}),
    [](const testing::TestParamInfo<FlagRow>& row) { return std::string(row.param.name); });

TEST_F(NetcdfWriterTest, ReadingsWithNoTimeAndFillersAreNotReadings) {
  const FeedLine early = FeedLine().Unstamped().Values(Ramp(12, 5.0)).Temperature(20.0);
  const FeedLine stamped = FeedLine().At(kNoon).Line(4).Values({7.0, 8.0});
  const FeedLine noRate = FeedLine().At(kNoon + 60, 0, 0).Line(6).Values({9.0, 9.5, 9.75});
  Write(LoggerSettings(), {early, stamped, noRate}, 10);
  NetcdfFile file(path_);
  EXPECT_EQ(file.Doubles("reading"), (std::vector<double>{7.0, 8.0}));
  EXPECT_EQ(file.DimensionLength("temperature_time"), 0u);
  EXPECT_EQ(file.Number("", "readings_before_first_date_stamp"), 12.0);
  EXPECT_EQ(file.Number("", "readings_without_time"), 3.0);
  EXPECT_EQ(file.Number("", "filler_count"), 10.0);
  EXPECT_EQ(UnplacedWarning(facts_).substr(0, 94),
            "12 readings before the dump's first date stamp and 3 readings under a date stamp "
            "that names no");
}

TEST_F(NetcdfWriterTest, ChunksFollowOneAnotherWithoutLoss) {
  std::vector<FeedLine> lines;
  const int perLine = 1000;
  // Two whole chunks and part of a third.
  const int total = (int(NetcdfWriter::kChunkReadings) * 2 / perLine + 3) * perLine;
  for (int done = 0; done < total; done += perLine)
    lines.push_back(FeedLine().At(kNoon, done, 4).Values(Ramp(perLine, done)));
  Write(LoggerSettings(), lines);
  NetcdfFile file(path_);
  const std::vector<double> times = file.Doubles("time");
  const std::vector<double> readings = file.Doubles("reading");
  ASSERT_EQ(times.size(), size_t(total));
  for (size_t i = 0; i < times.size(); i += 4099) {
    EXPECT_EQ(times[i], double(kNoon) + double(i) / 4.0) << i;
    EXPECT_EQ(readings[i], double(i / perLine * perLine) + 0.001 * double(i % perLine)) << i;
  }
}

// The writeback of the file to disk starts from each chunk written, on the
// writing thread: the converting thread never waits for the disk.
TEST_F(NetcdfWriterTest, EachChunkWrittenIsToldOnTheWritingThread) {
  NetcdfWriter writer(LoggerSettings());
  std::string error;
  ASSERT_TRUE(writer.Create(path_, &error)) << error;
  std::atomic<int> told{0};
  std::atomic<bool> onConvertingThread{false};
  const std::thread::id converting = std::this_thread::get_id();
  writer.OnChunkWritten([&] {
    ++told;
    if (std::this_thread::get_id() == converting)
      onConvertingThread = true;
  });
  const int perLine = 1000;
  const int total = (int(NetcdfWriter::kChunkReadings) * 2 / perLine + 3) * perLine;
  std::vector<FeedLine> lines;
  for (int done = 0; done < total; done += perLine)
    lines.push_back(FeedLine().At(kNoon, done, 4).Values(Ramp(perLine, done)));
  science_test::Feed(&writer, lines);
  RunFacts run;
  run.result = &result_;
  ASSERT_TRUE(writer.Finish(run, &error)) << error;
  EXPECT_EQ(told.load(), 3) << "two whole chunks and the part of a third";
  EXPECT_FALSE(onConvertingThread.load());
}

// A small dump's chunks are small: lines of 100 readings in chunks of 512
// cross chunk edges mid-line, and the chunks go through the writing thread
// many at a time, so every value must land once and in order.
TEST_F(NetcdfWriterTest, SmallChunksOfAGaugeDumpKeepEveryReadingInOrder) {
  ScienceSettings settings = GaugeSettings();
  settings.dumpBytes = 1000;
  const int perLine = 100;
  const int lineCount = 41;
  std::vector<FeedLine> lines;
  for (int l = 0; l < lineCount; ++l) {
    FeedLine line =
        FeedLine().At(kNoon + l / 20 * 3600, l % 20 * perLine, 4).Burst(l / 20).Line(l + 2);
    line.Values(Ramp(perLine, l));
    if (l == 7)  // one line with a bad field in the middle of a chunk
      line.Notes(std::vector<ReadingNote>(perLine, ReadingNote::kNotANumber));
    lines.push_back(line);
  }
  Write(settings, lines);
  NetcdfFile file(path_);
  size_t chunk = 0;
  int storage = -1;
  int reading = -1;
  ASSERT_EQ(nc_inq_varid(file.ncid(), "reading", &reading), NC_NOERR);
  ASSERT_EQ(nc_inq_var_chunking(file.ncid(), reading, &storage, &chunk), NC_NOERR);
  EXPECT_EQ(chunk, 512u);
  const std::vector<double> times = file.Doubles("time");
  const std::vector<double> readings = file.Doubles("reading");
  const std::vector<int> flags = file.Ints("reading_quality_control");
  const std::vector<int> bursts = file.Ints("burst");
  ASSERT_EQ(readings.size(), size_t(perLine * lineCount));
  ASSERT_EQ(times.size(), readings.size());
  for (size_t i = 0; i < readings.size(); ++i) {
    const int l = int(i) / perLine;
    const int k = int(i) % perLine;
    ASSERT_EQ(readings[i], l + 0.001 * k) << i;
    ASSERT_EQ(times[i], double(kNoon + l / 20 * 3600) + (l % 20 * perLine + k) / 4.0) << i;
    ASSERT_EQ(flags[i], l == 7 ? kFlagBad : kFlagGood) << i;
    ASSERT_EQ(bursts[i], l / 20) << i;
  }
  EXPECT_EQ(facts_.placed, perLine * lineCount);
  EXPECT_EQ(facts_.notANumber, perLine);
  EXPECT_EQ(facts_.first, double(kNoon));
  EXPECT_EQ(facts_.last, double(kNoon + 2 * 3600) + (perLine - 1) / 4.0);
  EXPECT_EQ(facts_.latest, facts_.last);
}

struct ChunkRow {
  int64_t dumpBytes;
  size_t readings;
};

class NetcdfChunkRows : public testing::TestWithParam<ChunkRow> {};

TEST_P(NetcdfChunkRows, GrowWithTheDumpWithinBounds) {
  EXPECT_EQ(NetcdfWriter::ChunkReadingsFor(GetParam().dumpBytes), GetParam().readings);
}

INSTANTIATE_TEST_SUITE_P(Rows, NetcdfChunkRows,
                         testing::Values(ChunkRow{-1, NetcdfWriter::kChunkReadings},  // a pipe
                                         ChunkRow{0, 512}, ChunkRow{2000, 512},
                                         ChunkRow{2048, 1024}, ChunkRow{10000, 4096},
                                         ChunkRow{200000, 65536}, ChunkRow{200000000, 65536}));

TEST_F(NetcdfWriterTest, AFewHundredReadingsMakeAFileOfAFewKilobytes) {
  ScienceSettings settings = LoggerSettings();
  settings.dumpBytes = 1500;
  std::vector<FeedLine> lines;
  for (int l = 0; l < 25; ++l)
    lines.push_back(FeedLine().At(kNoon, l * 12, 8).Values(Ramp(12, l)).Temperature(20.0));
  Write(settings, lines);
  EXPECT_LT(std::filesystem::file_size(path_), 64u * 1024);
}

// Two bursts a long gap apart: the drift grows with elapsed time, so the
// second burst's readings take most of it although they are few.
TEST_F(NetcdfWriterTest, ClockOffsetAndDriftFollowElapsedTime) {
  ScienceSettings settings = GaugeSettings();
  settings.units = "dbar";
  settings.clock = ClockCorrection{2.0, true, 12.0};
  const FeedLine burst0 = FeedLine().At(kNoon).Burst(0).Values(Ramp(4, 1.0)).Temperature(10.0);
  const FeedLine burst1 = FeedLine().At(kNoon + 996).Line(9).Burst(1).Values(Ramp(4, 2.0));
  Write(settings, {burst0, burst1});
  NetcdfFile file(path_);
  const double first = double(kNoon);
  const double span = 999.0;
  auto corrected = [&](double t) { return t - (2.0 + 10.0 * (t - first) / span); };
  const std::vector<double> times = file.Doubles("time");
  ASSERT_EQ(times.size(), 8u);
  EXPECT_DOUBLE_EQ(times[0], first - 2.0);
  EXPECT_DOUBLE_EQ(times[3], corrected(first + 3.0));
  EXPECT_DOUBLE_EQ(times[4], corrected(first + 996.0));
  EXPECT_DOUBLE_EQ(times[7], first + 999.0 - 12.0);
  EXPECT_EQ(file.Doubles("burst_start_time"), (std::vector<double>{times[0], times[4]}));
  EXPECT_EQ(file.Doubles("temperature_time"), std::vector<double>{times[0]});
  EXPECT_EQ(file.Text("", "time_coverage_start"), "2024-03-01T11:59:58.000Z");
  EXPECT_EQ(file.Text("", "time_coverage_end"), "2024-03-01T12:16:27.000Z");
  EXPECT_NE(file.Text("time", "comment").find("2 s at the first reading, 12 s at the last"),
            std::string::npos);
  EXPECT_NE(file.Text("", "history").find("12 s at the last"), std::string::npos);
  EXPECT_EQ(file.Text("reading", "units"), "dbar");
}

TEST_F(NetcdfWriterTest, TimesCrossTheSpringGapInBerlinWithoutAJump) {
  ScienceSettings settings = LoggerSettings();
  settings.zone = Zone::Named("Europe/Berlin").value();
  const FeedLine beforeGap =
      FeedLine().At(Local(2024, 3, 31, 1, 59, 58), 0, 2).Values(Ramp(8, 1.0));
  // The next stamp, written by the instrument's clock after the change.
  const FeedLine afterGap =
      FeedLine().At(Local(2024, 3, 31, 3, 0, 2), 0, 2).Line(4).Values(Ramp(2, 2.0));
  Write(settings, {beforeGap, afterGap});
  NetcdfFile file(path_);
  const std::vector<double> times = file.Doubles("time");
  ASSERT_EQ(times.size(), 10u);
  const double utcStart = double(Local(2024, 3, 31, 0, 59, 58));
  for (size_t i = 0; i < times.size(); ++i)
    EXPECT_EQ(times[i], utcStart + double(i) / 2.0) << i;
}

TEST_F(NetcdfWriterTest, GaugeBurstsGroupTheReadingsAndOnlyBurstsWithReadingsHaveAStart) {
  const FeedLine burst0 = FeedLine().At(kNoon).Burst(0).Values({1.0, 2.0});
  const FeedLine burst2 = FeedLine().At(kNoon + 60).Line(6).Burst(2).Values({3.0});
  const FeedLine burst2More = FeedLine().At(kNoon + 60, 1).Line(7).Burst(2).Values({4.0});
  Write(GaugeSettings(), {burst0, burst2, burst2More});
  NetcdfFile file(path_);
  EXPECT_EQ(file.Ints("burst"), (std::vector<int>{0, 0, 2, 2}));
  EXPECT_EQ(file.Doubles("burst_start_time"),
            (std::vector<double>{double(kNoon), double(kNoon + 60)}));
  EXPECT_EQ(file.Text("reading", "units"), "1");
  EXPECT_NE(UnitsWarning(GaugeSettings()).find("--units"), std::string::npos);
}

TEST_F(NetcdfWriterTest, GlobalAttributesDescribeTheDumpTheRunAndTheDeployment) {
  ScienceSettings settings = LoggerSettings();
  settings.standardName = "sea_surface_height_above_sea_level";
  settings.correction = Correction{true, 1.5, -0.25};
  settings.position = Position{54.5, 7.25};
  settings.attributes = {{"title", std::string("Station A")}, {"serial", int64_t{4711}}};
  result_.status = 8;
  result_.logger = LoggerHeaderValues{8, 8, 100, 2.5f};
  result_.report.anomalyCounts[size_t(AnomalyKind::NotANumber)] = 3;
  result_.report.anomalies = {{AnomalyKind::NotANumber, 12, 300, "x"},
                              {AnomalyKind::NotANumber, 40, 900, "y"}};
  Write(settings, {FeedLine().At(kNoon).Values({1.0})});
  NetcdfFile file(path_);
  EXPECT_EQ(file.Text("", "Conventions"), "CF-1.11, ACDD-1.3, IOOS-1.2");
  EXPECT_EQ(file.Text("", "featureType"), "timeSeries");
  EXPECT_EQ(file.Text("", "title"), "Station A");
  EXPECT_EQ(file.Number("", "serial"), 4711.0);
  EXPECT_EQ(file.Text("", "source"), "dump.txt (SHA-256 " + std::string(64, 'a') + ")");
  EXPECT_EQ(file.Number("", "sample_rate_hz"), 8.0);
  EXPECT_EQ(file.Number("", "staff_scale"), 2.5);
  EXPECT_EQ(file.Number("", "conversion_status"), 8.0);
  EXPECT_EQ(file.Text("", "conversion_message"), "Finished All");
  EXPECT_EQ(file.Number("", "anomaly_count_not_a_number"), 3.0);
  EXPECT_EQ(file.Number("", "anomaly_count_time_goes_backwards"), 0.0);
  EXPECT_EQ(file.Text("", "linear_correction"), "reading = 1.5 * value + -0.25");
  EXPECT_EQ(file.Text("", "software_name"), "zorqconvert");
  EXPECT_EQ(file.Number("", "geospatial_lat_min"), 54.5);
  EXPECT_EQ(file.Doubles("lat"), std::vector<double>{54.5});
  EXPECT_EQ(file.Text("reading", "coordinates"), "time lat lon station");
  EXPECT_EQ(file.Text("reading", "standard_name"), "sea_surface_height_above_sea_level");
  EXPECT_NE(file.Text("reading_quality_control", "comment")
                .find("not-a-number (3): lines 12, 40 and 1 more on later lines."),
            std::string::npos);
}

TEST_F(NetcdfWriterTest, OtherOutputsAddVariablesOfTheirOwnToTheOpenFile) {
  NetcdfWriter writer(LoggerSettings());
  std::string error;
  ASSERT_TRUE(writer.Create(path_, &error)) << error;
  NetcdfLayout statistics;
  statistics.AddDimension("segment");
  statistics.AddVariable("hm0", NetcdfType::kDouble, {"segment"}).Attribute("units", "m");
  ASSERT_TRUE(writer.file()->Define(statistics)) << writer.file()->error();
  const double hm0[2] = {1.25, 1.5};
  ASSERT_TRUE(writer.file()->Put(writer.file()->Variable("hm0"), 0, 2, hm0));
  science_test::Feed(&writer, {FeedLine().At(kNoon).Values({1.0})});
  ASSERT_TRUE(writer.Finish(RunFacts{}, &error)) << error;
  NetcdfFile file(path_);
  EXPECT_EQ(file.Doubles("hm0"), (std::vector<double>{1.25, 1.5}));
  EXPECT_EQ(file.Text("hm0", "units"), "m");
  EXPECT_EQ(file.Doubles("reading"), (std::vector<double>{1.0}));
}

TEST_F(NetcdfWriterTest, AFailureOfAnotherPartOrAMissingFolderNamesTheShownFile) {
  NetcdfWriter failing(LoggerSettings());
  std::string error;
  ASSERT_TRUE(failing.Create(path_, "shown.nc", &error));
  failing.file()->Fail("finish", "no segments");
  EXPECT_FALSE(failing.Finish(RunFacts{}, &error));
  EXPECT_NE(error.find("no segments"), std::string::npos) << error;
  EXPECT_NE(error.find("\"shown.nc\""), std::string::npos) << error;

  NetcdfWriter nowhere(LoggerSettings());
  EXPECT_FALSE(nowhere.Create(scratch_.Path("missing/out.nc"), &error));
  EXPECT_NE(error.find("missing/out.nc"), std::string::npos) << error;
  // The system's words, not the library's.
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

}  // namespace
