// The deployment file's `qc` section: the thresholds read into each test,
// and every way a section is refused, naming the key.
#include <gtest/gtest.h>

#include "science/deployment.h"

namespace {

constexpr const char* kFullSection = R"({"qc": {
  "reading": {
    "gross_range_test": {"fail_span": [-1.0, 12.0], "suspect_span": [0.0, 10.0]},
    "spike_test": {"suspect_threshold": 0.5, "fail_threshold": 1.0},
    "rate_of_change_test": {"threshold": 0.8},
    "flat_line_test": {"tolerance": 0.001, "suspect_threshold": 60, "fail_threshold": 180}
  },
  "hm0": {"gross_range_test": {"fail_span": [0, 20], "suspect_span": [0.05, 15]}},
  "tp":  {"gross_range_test": {"fail_span": [1, 30], "suspect_span": [2, 25]}}
}})";

TEST(DeploymentQc, ReadsEveryThreshold) {
  ScienceSettings settings;
  std::string error;
  ASSERT_TRUE(ReadDeploymentText(kFullSection, "d.json", &settings, &error)) << error;
  const VariableTests& reading = settings.qc.reading;
  ASSERT_TRUE(reading.grossRange && reading.spike && reading.rateOfChange && reading.flatLine);
  EXPECT_EQ(reading.grossRange->fail.low, -1.0);
  EXPECT_EQ(reading.grossRange->suspect.high, 10.0);
  EXPECT_EQ(reading.spike->suspect, 0.5);
  EXPECT_EQ(reading.spike->fail, 1.0);
  EXPECT_EQ(reading.rateOfChange->threshold, 0.8);
  EXPECT_EQ(reading.flatLine->tolerance, 0.001);
  EXPECT_EQ(reading.flatLine->suspectSeconds, 60.0);
  EXPECT_EQ(reading.flatLine->failSeconds, 180.0);
  ASSERT_TRUE(settings.qc.hm0 && settings.qc.tp);
  EXPECT_EQ(settings.qc.hm0->suspect.low, 0.05);
  EXPECT_EQ(settings.qc.tp->fail.high, 30.0);
  EXPECT_TRUE(settings.attributes.empty());  // the section is no attribute
}

TEST(DeploymentQc, TestsNotGivenAreNotRun) {
  ScienceSettings settings;
  std::string error;
  ASSERT_TRUE(ReadDeploymentText(R"({"qc": {"reading": {"spike_test":
      {"suspect_threshold": 1, "fail_threshold": 2}}}})",
                                 "d.json", &settings, &error))
      << error;
  EXPECT_TRUE(settings.qc.reading.spike);
  EXPECT_FALSE(settings.qc.reading.grossRange || settings.qc.reading.rateOfChange ||
               settings.qc.reading.flatLine || settings.qc.hm0 || settings.qc.tp);
}

struct QcRefusalRow {
  const char* name;
  const char* json;
  const char* error;
};

class DeploymentQcRefusals : public testing::TestWithParam<QcRefusalRow> {};

TEST_P(DeploymentQcRefusals, NameTheKey) {
  ScienceSettings settings;
  std::string error;
  EXPECT_FALSE(ReadDeploymentText(GetParam().json, "d.json", &settings, &error));
  EXPECT_EQ(error, GetParam().error);
  EXPECT_FALSE(settings.qc.reading.grossRange || settings.qc.reading.spike);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DeploymentQcRefusals,
    testing::Values(
        QcRefusalRow{"NotAnObject", R"({"qc": 3})",
                     "d.json: \"qc\" needs an object of variables (reading, hm0, tp) and their "
                     "tests"},
        QcRefusalRow{"UnknownVariable", R"({"qc": {"temperature": {}}})",
                     "d.json: \"qc.temperature\" is not one of reading, hm0 and tp"},
        QcRefusalRow{"UnknownTest", R"({"qc": {"reading": {"climatology_test": {}}}})",
                     "d.json: \"qc.reading.climatology_test\" is not one of gross_range_test, "
                     "spike_test, rate_of_change_test and flat_line_test"},
        QcRefusalRow{
            "SpikeOnStatistics",
            R"({"qc": {"hm0": {"spike_test": {"suspect_threshold": 1, "fail_threshold": 2}}}})",
            "d.json: \"qc.hm0.spike_test\" is not a test of the statistics "
            "(gross_range_test)"},
        QcRefusalRow{"MissingThreshold",
                     R"({"qc": {"reading": {"spike_test": {"suspect_threshold": 1}}}})",
                     "d.json: \"qc.reading.spike_test\" needs suspect_threshold, fail_threshold; "
                     "fail_threshold is missing"},
        QcRefusalRow{
            "UnknownThreshold",
            R"({"qc": {"reading": {"rate_of_change_test": {"threshold": 1, "window": 2}}}})",
            "d.json: \"qc.reading.rate_of_change_test.window\" is not one of threshold"},
        QcRefusalRow{"ThresholdAsText",
                     R"({"qc": {"reading": {"rate_of_change_test": {"threshold": "1"}}}})",
                     "d.json: \"qc.reading.rate_of_change_test.threshold\" needs a number"},
        QcRefusalRow{
            "SpanOfThree",
            R"({"qc": {"tp": {"gross_range_test": {"fail_span": [1, 2, 3], "suspect_span": [1, 2]}}}})",
            "d.json: \"qc.tp.gross_range_test.fail_span\" needs two numbers, [low, high]"},
        QcRefusalRow{
            "SpanReversed",
            R"({"qc": {"reading": {"gross_range_test": {"fail_span": [12, -1], "suspect_span": [0, 10]}}}})",
            "d.json: \"qc.reading.gross_range_test\" fail_span's first value is above "
            "its second"},
        QcRefusalRow{
            "SuspectOutsideFail",
            R"({"qc": {"reading": {"gross_range_test": {"fail_span": [0, 10], "suspect_span": [-1, 5]}}}})",
            "d.json: \"qc.reading.gross_range_test\" suspect_span reaches outside "
            "fail_span"},
        QcRefusalRow{
            "FlatLineFailFirst",
            R"({"qc": {"reading": {"flat_line_test": {"tolerance": 0.1, "suspect_threshold": 180, "fail_threshold": 60}}}})",
            "d.json: \"qc.reading.flat_line_test\" fail_threshold is below "
            "suspect_threshold"},
        QcRefusalRow{
            "NoTolerance",
            R"({"qc": {"reading": {"flat_line_test": {"tolerance": 0, "suspect_threshold": 60, "fail_threshold": 180}}}})",
            "d.json: \"qc.reading.flat_line_test\" tolerance is not above 0"}),
    [](const testing::TestParamInfo<QcRefusalRow>& row) { return std::string(row.param.name); });

}  // namespace
