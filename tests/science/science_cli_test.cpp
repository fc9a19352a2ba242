// The science outputs through the command line: the options, the names,
// and outputs that are all there or not there at all.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "science/source_digest.h"
#include "tests/cli_process.h"
#include "tests/science/science_test_support.h"
#include "tests/test_support.h"

namespace {

using science_test::NetcdfFile;
using science_test::Scratch;
using zorq_test::CliRun;
using zorq_test::CliRunResult;

std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

class ScienceCli : public testing::Test {
 protected:
  ScienceCli() {
    zorq_test::WriteWholeFile(scratch_.Path("logger.txt"), zorq_test::WorkedLoggerDump());
    zorq_test::WriteWholeFile(scratch_.Path("gauge.txt"), zorq_test::WorkedGaugeDump());
  }

  CliRunResult Run(std::vector<std::string> args) const {
    return zorq_test::RunCliProcess(
        CliRun{std::move(args), folder_, {}, {}, {{"TZ", "UTC"}, {"TMPDIR", folder_}}});
  }

  Scratch scratch_;
  std::string folder_ = scratch_.Path("");
};

struct UsageRow {
  const char* name;
  std::vector<std::string> args;
  const char* message;
};

class ScienceUsageErrors : public ScienceCli, public testing::WithParamInterface<UsageRow> {};

TEST_P(ScienceUsageErrors, SayWhatToGive) {
  zorq_test::WriteWholeFile(scratch_.Path("bad.json"), "{\n  \"title\": \"A\",,\n}");
  const CliRunResult run = Run(GetParam().args);
  EXPECT_EQ(run.exitCode, 64) << run.err;
  EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
  EXPECT_EQ(Listing(folder_), (std::set<std::string>{"bad.json", "gauge.txt", "logger.txt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScienceUsageErrors,
    testing::Values(
        UsageRow{"UnknownFormat", {"--format", "csv", "logger.txt", "a.csv"}, "\"csv\" is none"},
        UsageRow{"RepeatedFormat", {"--format", "tidy,tidy", "logger.txt", "a"}, "twice"},
        UsageRow{"EmptyFormatName", {"--format", "netcdf,", "logger.txt", "a"}, "joined by"},
        UsageRow{"UnitsWithoutNetcdf",
                 {"--units", "m", "logger.txt", "a.csv"},
                 "--units describes the NetCDF output"},
        UsageRow{"ClockWithLegacyOnly",
                 {"--clock-drift", "3", "logger.txt", "a.csv"},
                 "the legacy CSV is never shifted"},
        UsageRow{"ClockNotANumber",
                 {"--format", "tidy", "--clock-offset", "2s", "logger.txt", "a"},
                 "--clock-offset needs a finite decimal number of seconds"},
        UsageRow{"AppendToNetcdf",
                 {"--format", "netcdf", "--append", "logger.txt", "a.nc"},
                 "--append adds to a legacy CSV only"},
        UsageRow{"SeveralToStandardOutput",
                 {"--format", "legacy,netcdf", "logger.txt", "-"},
                 "TO \"-\" holds one output"},
        UsageRow{"TwoOutputsOneName",
                 {"--format", "legacy,netcdf", "logger.txt", "a.nc"},
                 "would have two outputs named"},
        UsageRow{"AttributeWithoutValue",
                 {"--format", "netcdf", "--attr", "project", "logger.txt", "a.nc"},
                 "--attr takes KEY=VALUE"},
        UsageRow{"DeploymentNotJson",
                 {"--format", "netcdf", "--deployment", "bad.json", "logger.txt", "a.nc"},
                 "bad.json:2:16: not valid JSON"}),
    [](const testing::TestParamInfo<UsageRow>& row) { return std::string(row.param.name); });

TEST_F(ScienceCli, EveryFormatBesideTheLegacyNameFromOnePass) {
  const CliRunResult alone = Run({"--from-type", "2", "logger.txt", "alone.csv"});
  ASSERT_EQ(alone.exitCode, 0) << alone.err;
  const CliRunResult all = Run({"--format", "legacy,netcdf,tidy", "--jobs", "2", "--json", "-o",
                                "out", "logger.txt", "gauge.txt"});
  ASSERT_EQ(all.exitCode, 0) << all.err;
  EXPECT_EQ(Listing(scratch_.Path("out")),
            (std::set<std::string>{"gauge.csv", "gauge.nc", "gauge.tidy.csv", "logger.csv",
                                   "logger.nc", "logger.tidy.csv"}));
  // The legacy CSV is the same, byte for byte, with the others beside it.
  EXPECT_EQ(science_test::ReadWhole(scratch_.Path("out/logger.csv")),
            science_test::ReadWhole(scratch_.Path("alone.csv")));
  const std::vector<zorq_test::Json> reports = zorq_test::JsonLines(all.out);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0]["netcdf"], "out/logger.nc");
  EXPECT_EQ(reports[1]["tidy"], "out/gauge.tidy.csv");
  EXPECT_NE(reports[1]["warnings"][0].get<std::string>().find("--units"), std::string::npos);
  NetcdfFile gauge(scratch_.Path("out/gauge.nc"));
  EXPECT_EQ(gauge.Text("", "conversion_message"), "Finished All");
  EXPECT_EQ(gauge.Number("", "sample_rate_hz"), 4.0);
  EXPECT_NE(gauge.Text("", "history").find("--format legacy,netcdf,tidy"), std::string::npos);
  EXPECT_EQ(gauge.Text("", "dump_clock_time_zone"), "UTC");
}

// The digest is taken from the bytes the conversion reads, from a file or
// through a pipe, and is the one of the whole dump.
TEST_F(ScienceCli, SourceNamesTheDumpAndItsDigest) {
  SourceDigest digest;
  const std::string dump = zorq_test::WorkedGaugeDump();
  digest.Update(dump.data(), dump.size());
  const std::string hex = digest.Hex();
  const std::string want = "gauge.txt (SHA-256 " + hex + ")";
  ASSERT_EQ(Run({"--format", "netcdf", "gauge.txt", "file.nc"}).exitCode, 0);
  EXPECT_EQ(NetcdfFile(scratch_.Path("file.nc")).Text("", "source"), want);
  const CliRunResult piped = zorq_test::RunCliProcess(
      CliRun{{"--format", "netcdf", "-", "pipe.nc"}, folder_, dump, {}, {{"TZ", "UTC"}}});
  ASSERT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_EQ(NetcdfFile(scratch_.Path("pipe.nc")).Text("", "source"),
            "<stdin> (SHA-256 " + hex + ")");
}

TEST_F(ScienceCli, OneFormatIsTheToItselfAndCheckKeepsNothing) {
  const CliRunResult named = Run({"--format", "netcdf", "logger.txt", "mine.data"});
  ASSERT_EQ(named.exitCode, 0) << named.err;
  EXPECT_TRUE(NetcdfFile(scratch_.Path("mine.data")).open());
  const std::set<std::string> before = Listing(folder_);
  const CliRunResult checked = Run({"--check", "--format", "legacy,netcdf,tidy", "logger.txt"});
  EXPECT_EQ(checked.exitCode, 0) << checked.err;
  EXPECT_EQ(Listing(folder_), before);  // TMPDIR is this folder: no scratch file stays
  const CliRunResult piped = Run({"--format", "netcdf", "logger.txt", "-"});
  EXPECT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_EQ(piped.out.substr(0, 4), "\x89HDF");
}

TEST_F(ScienceCli, AnOutputThatCannotBeMadeLeavesNoneOfTheOthers) {
  std::filesystem::create_directory(scratch_.Path("taken.nc"));
  const CliRunResult run =
      Run({"--format", "legacy,netcdf,tidy", "--overwrite", "logger.txt", "taken.csv"});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("taken.nc"), std::string::npos) << run.err;
  EXPECT_EQ(Listing(folder_), (std::set<std::string>{"gauge.txt", "logger.txt", "taken.nc"}));
}

TEST_F(ScienceCli, AStoppedRunLeavesNoOutputAndNoTemporary) {
  zorq_test::RunningCli cli(
      CliRun{{"--from-type", "3", "--format", "legacy,netcdf,tidy", "-", "stopped.csv"},
             folder_,
             {},
             {},
             {{"TMPDIR", folder_}}});
  std::string part = zorq_test::WorkedGaugeDump();
  for (int i = 0; i < 20000; ++i)
    part += "1.25,,1.5,2,2.25,-0.5,0,3.125,10,1.75,1.5,1.25,1,372,\r\n";
  cli.Feed(part);
  ASSERT_TRUE(cli.WaitUntilCatching(SIGTERM));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  cli.Signal(SIGTERM);
  EXPECT_EQ(cli.Wait(/*keepInputOpen=*/true).exitCode, 143);
  EXPECT_EQ(Listing(folder_), (std::set<std::string>{"gauge.txt", "logger.txt"}));
}

}  // namespace
