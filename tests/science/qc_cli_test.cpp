// The deployment file's qc section and times through the command line: a
// refused section is a usage error before the dump is read, and a trimmed
// run tells what it left out while the legacy CSV stays whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "science/time_base.h"
#include "tests/science/cli_fixture.h"

namespace {

using science_test::NetcdfFile;
using zorq_test::CliRunResult;
using Json = nlohmann::json;

int64_t Sum(const Json& byFlag) {
  int64_t sum = 0;
  for (const char* flag : {"1", "2", "3", "4", "9"})
    sum += byFlag.at(flag).get<int64_t>();
  return sum;
}

int64_t Rows(const std::string& csv) {
  return static_cast<int64_t>(std::count(csv.begin(), csv.end(), '\n')) - 1;  // less the header
}

class QcCli : public science_test::CliInScratch {};

TEST_F(QcCli, AnUnusableQcSectionIsAUsageErrorAndWritesNothing) {
  zorq_test::WriteWholeFile(scratch_.Path("d.json"), R"({"qc": {"reading": {"spike_test":
      {"suspect_threshold": 2, "fail_threshold": 1}}}})");
  const CliRunResult run =
      Run({"--format", "legacy,netcdf", "--deployment", "d.json", "logger.txt", "a.csv"});
  EXPECT_EQ(run.exitCode, 64);
  EXPECT_NE(run.err.find("\"qc.reading.spike_test\" fail_threshold is below suspect_threshold"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(std::filesystem::exists(scratch_.Path("a.csv")));
  EXPECT_FALSE(std::filesystem::exists(scratch_.Path("a.nc")));
}

TEST_F(QcCli, TrimmingLeavesTheLegacyCsvWholeAndCountsWhatItLeftOut) {
  ASSERT_EQ(Run({"--format", "legacy,netcdf", "logger.txt", "whole.csv"}).exitCode, 0);
  NetcdfFile whole(scratch_.Path("whole.nc"));
  ASSERT_TRUE(whole.open());
  const std::vector<double> times = whole.Doubles("time");
  ASSERT_GT(times.size(), 10u);
  // Deployed at the fifth reading's time: four readings before it.
  zorq_test::WriteWholeFile(scratch_.Path("d.json"),
                            "{\"deployed\": \"" + IsoUtcMilliseconds(times[4]) + "\"}");
  const CliRunResult run =
      Run({"--format", "legacy,netcdf", "--deployment", "d.json", "logger.txt", "trimmed.csv"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("left out 4 readings before the deployment"), std::string::npos)
      << run.err;
  EXPECT_EQ(science_test::ReadWhole(scratch_.Path("trimmed.csv")),
            science_test::ReadWhole(scratch_.Path("whole.csv")));
  NetcdfFile trimmed(scratch_.Path("trimmed.nc"));
  ASSERT_TRUE(trimmed.open());
  EXPECT_EQ(trimmed.Doubles("time"), std::vector<double>(times.begin() + 4, times.end()));
  EXPECT_EQ(trimmed.Number("", "readings_before_deployment"), 4.0);
  EXPECT_EQ(trimmed.Text("", "time_coverage_start"), IsoUtcMilliseconds(times[4]));
}

TEST_F(QcCli, TheJsonReportCountsTheFlagsOfEachTestConfigured) {
  zorq_test::WriteWholeFile(scratch_.Path("d.json"), R"({"qc": {"reading": {
      "gross_range_test": {"fail_span": [0, 3.5], "suspect_span": [0.5, 3]},
      "spike_test": {"suspect_threshold": 0.2, "fail_threshold": 1}}}})");
  const CliRunResult run = Run({"--format", "legacy,netcdf,tidy", "--deployment", "d.json",
                                "--json", "logger.txt", "a.csv"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Json counts = Json::parse(run.out).at("qc_flag_counts");
  const std::string tidy = science_test::ReadWhole(scratch_.Path("a.tidy.csv"));
  const int64_t rows = Rows(tidy);
  ASSERT_GT(rows, 0);
  for (const char* test :
       {"gross_range_test_quality_flag", "spike_test_quality_flag", "aggregate_quality_flag"})
    EXPECT_EQ(Sum(counts.at(test)), rows) << test;
  EXPECT_FALSE(counts.contains("rate_of_change_test_quality_flag"));
  EXPECT_FALSE(counts.contains("flat_line_test_quality_flag"));
  // The aggregate's 4s are the tidy CSV's.
  int64_t bad = 0;
  for (size_t at = tidy.find(",4\n"); at != std::string::npos; at = tidy.find(",4\n", at + 1))
    ++bad;
  EXPECT_EQ(counts.at("aggregate_quality_flag").at("4").get<int64_t>(), bad);
}

// The worked gauge dump's readings taken as dbar: the readings kept run from
// the first at or below the trimming depth to the last, the dips between
// them (-0.5 and 0) too.
TEST_F(QcCli, TrimDepthLeavesOutTheShallowEndsOfAPressureDump) {
  ASSERT_EQ(
      Run({"--format", "legacy,netcdf", "--units", "dbar", "gauge.txt", "whole.csv"}).exitCode, 0);
  NetcdfFile whole(scratch_.Path("whole.nc"));
  ASSERT_TRUE(whole.open());
  const std::vector<double> readings = whole.Doubles("reading");
  constexpr double kTrimMetres = 1.3;
  const double metresPerDbar = 1.0e4 / (1025.0 * 9.81);
  auto deep = [&](double reading) { return reading * metresPerDbar >= kTrimMetres; };
  const auto first = std::find_if(readings.begin(), readings.end(), deep);
  const auto last = std::find_if(readings.rbegin(), readings.rend(), deep).base();
  ASSERT_TRUE(first > readings.begin() && last < readings.end()) << "no shallow ends to trim";

  const CliRunResult run = Run({"--format", "legacy,netcdf", "--units", "dbar", "--trim-depth",
                                "1.3", "--json", "gauge.txt", "trimmed.csv"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  NetcdfFile trimmed(scratch_.Path("trimmed.nc"));
  ASSERT_TRUE(trimmed.open());
  EXPECT_EQ(trimmed.Doubles("reading"), std::vector<double>(first, last));
  const int64_t before = first - readings.begin();
  const int64_t after = readings.end() - last;
  EXPECT_EQ(trimmed.Number("", "readings_shallower_at_start"), double(before));
  EXPECT_EQ(trimmed.Number("", "readings_shallower_at_end"), double(after));
  EXPECT_EQ(trimmed.Text("", "time_coverage_start"),
            IsoUtcMilliseconds(whole.Doubles("time")[static_cast<size_t>(before)]));
  const Json report = Json::parse(run.out);
  EXPECT_EQ(report.at("trimmed").at("shallower_at_start").get<int64_t>(), before);
  EXPECT_EQ(report.at("trimmed").at("shallower_at_end").get<int64_t>(), after);
  EXPECT_NE(report.at("warnings")
                .dump()
                .find(std::to_string(before) + " readings shallower than 1.3 m at the start"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(science_test::ReadWhole(scratch_.Path("trimmed.csv")),
            science_test::ReadWhole(scratch_.Path("whole.csv")));
}

struct TrimDepthRefusal {
  const char* name;
  std::vector<std::string> args;
  const char* error;
};

class TrimDepthRefused : public science_test::CliInScratch,
                         public testing::WithParamInterface<TrimDepthRefusal> {};

TEST_P(TrimDepthRefused, AsAUsageErrorBeforeTheDumpIsRead) {
  std::vector<std::string> args = GetParam().args;
  args.insert(args.end(), {"gauge.txt", "out.csv"});
  const CliRunResult run = Run(args);
  EXPECT_EQ(run.exitCode, 64);
  EXPECT_NE(run.err.find(GetParam().error), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(scratch_.Path("out.csv")));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TrimDepthRefused,
    testing::Values(
        TrimDepthRefusal{"UnitsNotAPressure",
                         {"--format", "legacy,netcdf", "--units", "m", "--trim-depth", "1"},
                         "needs readings in a unit of pressure (--units dbar, or --pressure "
                         "UNIT), not \"m\""},
        TrimDepthRefusal{"NoUnitsGiven",
                         {"--format", "legacy,tidy", "--trim-depth", "1"},
                         "needs readings in a unit of pressure"},
        TrimDepthRefusal{"LegacyOnly",
                         {"--trim-depth", "1"},
                         "--trim-depth trims the NetCDF and tidy outputs and the statistics only"},
        TrimDepthRefusal{"NotPositive",
                         {"--format", "legacy,netcdf", "--units", "dbar", "--trim-depth", "0"},
                         "--trim-depth needs a positive number of metres"}),
    [](const testing::TestParamInfo<TrimDepthRefusal>& row) {
      return std::string(row.param.name);
    });

}  // namespace
