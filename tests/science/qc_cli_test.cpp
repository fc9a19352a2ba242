// The deployment file's qc section and times through the command line: a
// refused section is a usage error before the dump is read, and a trimmed
// run tells what it left out while the legacy CSV stays whole.
#include <gtest/gtest.h>

#include <filesystem>

#include "science/time_base.h"
#include "tests/science/cli_fixture.h"

namespace {

using science_test::NetcdfFile;
using zorq_test::CliRunResult;

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

}  // namespace
