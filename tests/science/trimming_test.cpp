// Trimming to the time in water: the times the deployment file takes, and
// the readings a listener behind the trim hears.
#include "science/trimming.h"

#include <gtest/gtest.h>

#include "science/deployment.h"
#include "tests/science/science_test_support.h"

namespace {

using science_test::FeedLine;
using science_test::Local;

struct IsoRow {
  const char* text;
  std::optional<double> utc;
};

class IsoUtcTimes : public testing::TestWithParam<IsoRow> {};

TEST_P(IsoUtcTimes, ReadOrRefused) {
  EXPECT_EQ(ParseIsoUtc(GetParam().text), GetParam().utc) << GetParam().text;
}

const double kNoonUtc = static_cast<double>(Local(2026, 3, 1, 12, 0, 0));

INSTANTIATE_TEST_SUITE_P(Rows, IsoUtcTimes,
                         testing::Values(IsoRow{"2026-03-01T12:00:00Z", kNoonUtc},
                                         IsoRow{"2026-03-01T12:00:00+00:00", kNoonUtc},
                                         IsoRow{"2026-03-01T12:00:00.25Z", kNoonUtc + 0.25},
                                         IsoRow{"2026-02-28T24:00:00Z", std::nullopt},
                                         IsoRow{"2026-04-31T12:00:00Z", std::nullopt},
                                         IsoRow{"2026-03-01T12:00:00", std::nullopt},  // no zone
                                         IsoRow{"2026-03-01T12:00:00+01:00",
                                                std::nullopt},  // not UTC
                                         IsoRow{"2026-03-01 12:00:00Z", std::nullopt},
                                         IsoRow{"2026-03-01T12:00:00.Z", std::nullopt}));

// Every reading heard, as its value.
class Recorder final : public ReadingListener {
 public:
  void OnReadings(const ReadingLine& line) override {
    for (int i = 0; i < line.count; ++i) {
      values.push_back(line.values[i]);
      times.push_back(line.LocalTimeOf(i));
    }
  }
  void OnFillers(int64_t, int64_t, int count) override { fillers += count; }
  std::vector<double> values;
  std::vector<double> times;
  int fillers = 0;
};

struct TrimRow {
  const char* name;
  std::optional<double> deployed;  // seconds after noon
  std::optional<double> recovered;
  std::vector<double> kept;
  int64_t before;
  int64_t after;
  int fillers;
};

class TrimByTimes : public testing::TestWithParam<TrimRow> {};

// Two lines of four readings at 2 Hz from noon (values 0..7), fillers
// after each line.
TEST_P(TrimByTimes, KeepsTheReadingsInside) {
  const TrimRow& row = GetParam();
  ScienceSettings settings;
  settings.zone = Zone::Named("UTC").value();
  if (row.deployed)
    settings.deployed = kNoonUtc + *row.deployed;
  if (row.recovered)
    settings.recovered = kNoonUtc + *row.recovered;
  Recorder recorder;
  DeploymentTrim trim(settings, &recorder);
  const LocalSeconds noon = Local(2026, 3, 1, 12, 0, 0);
  science_test::Feed(&trim, {FeedLine().At(noon, 0, 2).Values({0, 1, 2, 3})});
  trim.OnFillers(2, 0, 5);
  science_test::Feed(&trim, {FeedLine().At(noon, 4, 2).Values({4, 5, 6, 7})});
  trim.OnFillers(3, 0, 7);
  EXPECT_EQ(recorder.values, row.kept);
  EXPECT_EQ(trim.counts().before, row.before);
  EXPECT_EQ(trim.counts().after, row.after);
  EXPECT_EQ(recorder.fillers, row.fillers);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TrimByTimes,
    testing::Values(
        TrimRow{"Neither", std::nullopt, std::nullopt, {0, 1, 2, 3, 4, 5, 6, 7}, 0, 0, 12},
        // A reading at the deployment's or recovery's own time stays.
        TrimRow{"DeployedOnAReading", 1.0, std::nullopt, {2, 3, 4, 5, 6, 7}, 2, 0, 12},
        TrimRow{"RecoveredOnAReading", std::nullopt, 2.5, {0, 1, 2, 3, 4, 5}, 0, 2, 5},
        TrimRow{"Both", 0.75, 2.75, {2, 3, 4, 5}, 2, 2, 5},
        // A whole line out: its fillers go with it.
        TrimRow{"FirstLineOut", 2.0, std::nullopt, {4, 5, 6, 7}, 4, 0, 7},
        TrimRow{"AllOut", 10.0, std::nullopt, {}, 8, 0, 0}),
    [](const testing::TestParamInfo<TrimRow>& row) { return std::string(row.param.name); });

TEST(TrimByTimes, KeptReadingsKeepTheirTimes) {
  ScienceSettings settings;
  settings.zone = Zone::Named("UTC").value();
  settings.deployed = kNoonUtc + 1.0;
  Recorder recorder;
  DeploymentTrim trim(settings, &recorder);
  const LocalSeconds noon = Local(2026, 3, 1, 12, 0, 0);
  science_test::Feed(&trim, {FeedLine().At(noon, 0, 2).Values({0, 1, 2, 3})});
  EXPECT_EQ(recorder.times, (std::vector<double>{double(noon) + 1.0, double(noon) + 1.5}));
}

struct DeploymentTimeRow {
  const char* name;
  const char* json;
  const char* error;  // empty: read
};

class DeploymentTimes : public testing::TestWithParam<DeploymentTimeRow> {};

TEST_P(DeploymentTimes, ReadOrRefused) {
  ScienceSettings settings;
  std::string error;
  const bool read = ReadDeploymentText(GetParam().json, "d.json", &settings, &error);
  EXPECT_EQ(read, *GetParam().error == '\0') << error;
  EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DeploymentTimes,
    testing::Values(
        DeploymentTimeRow{
            "Both", R"({"deployed": "2026-03-01T12:00:00Z", "recovered": "2026-03-02T12:00:00Z"})",
            ""},
        DeploymentTimeRow{"NotUtc", R"({"deployed": "2026-03-01T12:00:00+01:00"})",
                          "d.json: \"deployed\" needs a UTC time in ISO 8601, such as "
                          "\"2026-03-01T12:00:00Z\""},
        DeploymentTimeRow{"ANumber", R"({"recovered": 1700000000})",
                          "d.json: \"recovered\" needs a UTC time in ISO 8601, such as "
                          "\"2026-03-01T12:00:00Z\""},
        DeploymentTimeRow{
            "RecoveredFirst",
            R"({"deployed": "2026-03-02T12:00:00Z", "recovered": "2026-03-02T12:00:00Z"})",
            "d.json: \"recovered\" is not after \"deployed\""}),
    [](const testing::TestParamInfo<DeploymentTimeRow>& row) {
      return std::string(row.param.name);
    });

// Readings in metres of water already: depth is the reading.
constexpr PressureDepth kMetres{0.0, 1.0};
constexpr double kTrimMetres = 2.0;

struct DepthRow {
  const char* name;
  std::vector<std::vector<double>> lines;  // fillers after the second
  std::vector<double> kept;
  int64_t shallowBefore;
  int64_t shallowAfter;
  int fillers;
};

class TrimByDepth : public testing::TestWithParam<DepthRow> {};

TEST_P(TrimByDepth, KeepsTheReadingsFromTheFirstDeepToTheLastDeep) {
  const DepthRow& row = GetParam();
  Recorder recorder;
  DepthTrim trim(kTrimMetres, kMetres, &recorder);
  int64_t since = 0;
  for (size_t i = 0; i < row.lines.size(); ++i) {
    science_test::Feed(&trim,
                       {FeedLine().At(Local(2026, 3, 1, 12, 0, 0), since, 1).Values(row.lines[i])});
    since += static_cast<int64_t>(row.lines[i].size());
    if (i == 1)
      trim.OnFillers(3, 0, 4);
  }
  trim.Finish();
  EXPECT_EQ(recorder.values, row.kept);
  EXPECT_EQ(trim.counts().shallowBefore, row.shallowBefore);
  EXPECT_EQ(trim.counts().shallowAfter, row.shallowAfter);
  EXPECT_EQ(recorder.fillers, row.fillers);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TrimByDepth,
    testing::Values(DepthRow{"AllDeep", {{3, 4}, {5, 6}, {7}}, {3, 4, 5, 6, 7}, 0, 0, 4},
                    // At the trimming depth itself a reading is in the water.
                    DepthRow{"Leading", {{0, 1, 2}, {3, 4}, {5}}, {2, 3, 4, 5}, 2, 0, 4},
                    DepthRow{"Trailing", {{3, 4}, {5, 1}, {0.5, 0}}, {3, 4, 5}, 0, 3, 0},
                    DepthRow{"Both", {{0, 3}, {4, 5}, {1, 0}}, {3, 4, 5}, 1, 2, 4},
                    // A dip shallower than the depth while in the water is kept, with
                    // the fillers held with it.
                    DepthRow{
                        "DipKept", {{3, 1}, {0.5, 1.5}, {1, 4}}, {3, 1, 0.5, 1.5, 1, 4}, 0, 0, 4},
                    DepthRow{"DipThenOut", {{3, 1}, {4, 1.5}, {1, 0}}, {3, 1, 4}, 0, 3, 0},
                    // A line wholly before the first deep reading takes its fillers
                    // with it.
                    DepthRow{"FirstLinesOut", {{0}, {1}, {3}}, {3}, 2, 0, 0},
                    DepthRow{"NeverDeep", {{0, 1}, {1.9}}, {}, 3, 0, 0}),
    [](const testing::TestParamInfo<DepthRow>& row) { return std::string(row.param.name); });

// Readings held through a dip go on as they came: their times and notes.
TEST(TrimByDepth, HeldReadingsKeepTheirTimesAndNotes) {
  Recorder recorder;
  std::vector<ReadingNote> notes;
  class NoteRecorder final : public ReadingListener {
   public:
    explicit NoteRecorder(std::vector<ReadingNote>* notes) : notes_(notes) {}
    void OnReadings(const ReadingLine& line) override {
      for (int i = 0; i < line.count; ++i)
        notes_->push_back(line.notes != nullptr ? line.notes[i] : ReadingNote::kPlain);
    }
    void OnFillers(int64_t, int64_t, int) override {}

   private:
    std::vector<ReadingNote>* notes_;
  } noteRecorder(&notes);
  ReadingFanOut both;
  both.Add(&recorder);
  both.Add(&noteRecorder);
  DepthTrim trim(kTrimMetres, kMetres, &both);
  const LocalSeconds noon = Local(2026, 3, 1, 12, 0, 0);
  science_test::Feed(&trim, {FeedLine().At(noon, 0, 2).Values({3, 1}),
                             FeedLine()
                                 .At(noon, 2, 2)
                                 .Values({1, 1})
                                 .Notes({ReadingNote::kAtSensorLimit, ReadingNote::kPlain}),
                             FeedLine().At(noon, 4, 2).Values({3})});
  trim.Finish();
  EXPECT_EQ(recorder.times,
            (std::vector<double>{double(noon), double(noon) + 0.5, double(noon) + 1.0,
                                 double(noon) + 1.5, double(noon) + 2.0}));
  EXPECT_EQ(notes, (std::vector<ReadingNote>{ReadingNote::kPlain, ReadingNote::kPlain,
                                             ReadingNote::kAtSensorLimit, ReadingNote::kPlain,
                                             ReadingNote::kPlain}));
}

TEST(TrimmedText, TellsTheDepthsPartAfterTheTimes) {
  ScienceSettings settings;
  settings.deployed = kNoonUtc;
  settings.trimDepth = 1.5;
  TrimmedCounts counts;
  counts.before = 7;
  counts.shallowBefore = 12;
  counts.shallowAfter = 30;
  EXPECT_EQ(TrimmedText(settings, counts),
            "left out 7 readings before the deployment (2026-03-01T12:00:00.000Z), 12 readings "
            "shallower than 1.5 m at the start and 30 at the end from the science outputs; the "
            "legacy CSV keeps them");
}

}  // namespace
