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

}  // namespace
