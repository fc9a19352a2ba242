// --merge through the command line: dumps given in any order make one
// series in time order, an overlap is kept once, a disagreement is flagged,
// and a failing dump leaves only NAME.partial.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "science/source_digest.h"
#include "tests/science/cli_fixture.h"

namespace {

using science_test::NetcdfFile;
using zorq_test::CliRunResult;

constexpr int kLinesPerBurst = 3;

// A gauge dump of hourly bursts from the given hours of 30 June 2019; each
// burst's reading k is hour + k / 1000, and `changed` (an hour, a reading)
// is one reading given half a unit more.
std::string GaugeDump(const std::vector<int>& hours, std::pair<int, int> changed = {-1, -1}) {
  char line[64];
  std::snprintf(line, sizeof line, "Y19,M06,D30,H%02d,M00,S00,", hours.front());
  std::string dump = std::string(line) + "F04,L10,I60,N00,00000X03,T10,,,,,,,,,\r\n";
  for (const int hour : hours) {
    std::snprintf(line, sizeof line, "Y19,M06,D30,H%02d,M00,S00,\r\n", hour);
    dump += line;
    for (int row = 0; row < kLinesPerBurst; ++row) {
      for (int i = 0; i < 12; ++i) {
        const int k = row * 12 + i;
        const double shift = hour == changed.first && k == changed.second ? 0.5 : 0.0;
        std::snprintf(line, sizeof line, "%.3f,", hour + k / 1000.0 + shift);
        dump += line;
      }
      dump += "372,\r\n";
    }
  }
  return dump;
}

std::string Sha256(const std::string& bytes) {
  SourceDigest digest;
  digest.Update(bytes.data(), bytes.size());
  return digest.Hex();
}

std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(nlohmann::json::parse(line));
  return lines;
}

class MergeCli : public science_test::CliInScratch {
 protected:
  void Write(const std::string& name, const std::string& bytes) {
    zorq_test::WriteWholeFile(scratch_.Path(name), bytes);
  }
};

TEST_F(MergeCli, ThreeDumpsGivenOutOfOrderMakeOneSeries) {
  const std::string a = GaugeDump({12, 13, 14});
  const std::string b = GaugeDump({14, 15});  // the 14:00 burst again
  const std::string c = GaugeDump({16, 17});
  Write("a.txt", a);
  Write("b.txt", b);
  Write("c.txt", c);
  Write("all.txt", GaugeDump({12, 13, 14, 15, 16, 17}));
  const CliRunResult run =
      Run({"--json", "--waves", "auto", "--merge", "m.nc", "c.txt", "a.txt", "b.txt"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ASSERT_EQ(Run({"--format", "netcdf", "--waves", "auto", "all.txt", "all.nc"}).exitCode, 0);
  // The statistics heard the one series, as from one dump that held it all.
  EXPECT_EQ(science_test::ReadWhole(scratch_.Path("m.waves.csv")),
            science_test::ReadWhole(scratch_.Path("all.waves.csv")));

  NetcdfFile merged(scratch_.Path("m.nc"));
  NetcdfFile whole(scratch_.Path("all.nc"));
  ASSERT_TRUE(merged.open() && whole.open());
  const std::vector<double> times = merged.Doubles("time");
  ASSERT_EQ(times.size(), 6u * kLinesPerBurst * 12);
  EXPECT_EQ(times, whole.Doubles("time"));
  EXPECT_EQ(merged.Doubles("reading"), whole.Doubles("reading"));
  EXPECT_EQ(merged.Ints("burst"), whole.Ints("burst"));
  EXPECT_EQ(merged.Doubles("burst_start_time"), whole.Doubles("burst_start_time"));
  EXPECT_EQ(merged.Text("", "source"), "a.txt (SHA-256 " + Sha256(a) + "); b.txt (SHA-256 " +
                                           Sha256(b) + "); c.txt (SHA-256 " + Sha256(c) + ")");

  const std::vector<nlohmann::json> lines = JsonLines(run.out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0]["from"], "a.txt");
  EXPECT_EQ(lines[0]["sha256"], Sha256(a));
  EXPECT_EQ(lines[2]["from"], "c.txt");
  EXPECT_EQ(lines[2]["status"], 8);
  EXPECT_EQ(lines[3]["merge"], "m.nc");
  EXPECT_EQ(lines[3]["dumps"], nlohmann::json({"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(lines[3]["duplicates"], kLinesPerBurst * 12);
  EXPECT_EQ(lines[3]["conflicts"], 0);
  EXPECT_EQ(lines[3]["most_held"], kLinesPerBurst * 12);
}

TEST_F(MergeCli, AnotherValueAtOneTimeKeepsTheEarlierFlaggedSuspect) {
  Write("a.txt", GaugeDump({12, 13}));
  Write("b.txt", GaugeDump({13, 14}, {13, 7}));
  const CliRunResult run = Run({"--merge", "m.nc", "b.txt", "a.txt"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("conflict at 2019-06-30T13:00:01.750Z: a.txt gave 13.007, b.txt gave "
                         "13.507; the first is kept, flagged 3"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("35 readings given twice kept once, 1 times with two values"),
            std::string::npos)
      << run.err;
  NetcdfFile merged(scratch_.Path("m.nc"));
  ASSERT_TRUE(merged.open());
  const std::vector<double> readings = merged.Doubles("reading");
  const std::vector<int> flags = merged.Ints("reading_quality_control");
  ASSERT_EQ(readings.size(), 3u * kLinesPerBurst * 12);
  const size_t conflict = kLinesPerBurst * 12 + 7;
  EXPECT_DOUBLE_EQ(readings[conflict], 13.007);
  EXPECT_EQ(flags[conflict], 3);
  EXPECT_EQ(std::count(flags.begin(), flags.end(), 3), 1);
}

// The second dump's stamp of month 13 stops its conversion: the merge
// fails as that conversion would, and keeps only what it wrote.
TEST_F(MergeCli, AFailingDumpFailsTheMergeAndKeepsThePartial) {
  Write("a.txt", zorq_test::RepeatedWorkedLoggerDump(5));
  const std::string line = "2048,2050,2047,2049,2051,2046,2048,2052,2045,2048,2049,2047,360\r\n";
  const std::string bad =
      zorq_test::RepeatedWorkedLoggerDump(5) + "Y19,M13,D30,H14,M09,S30,\r\n" + line;
  Write("b.txt", bad);
  const CliRunResult run = Run({"--json", "--merge", "m.nc", "a.txt", "b.txt"});
  EXPECT_EQ(run.exitCode, 4) << run.err;
  EXPECT_FALSE(std::filesystem::exists(scratch_.Path("m.nc")));
  EXPECT_TRUE(std::filesystem::exists(scratch_.Path("m.nc.partial")));
  const std::vector<nlohmann::json> lines = JsonLines(run.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1]["status"], 4);
  EXPECT_EQ(lines[2]["exit"], 4);
  EXPECT_EQ(lines[2]["partial_outputs"], nlohmann::json({"m.nc.partial"}));
}

struct RefusedRow {
  std::vector<std::string> args;
  const char* says;
};

class MergeRefused : public science_test::CliInScratch,
                     public testing::WithParamInterface<RefusedRow> {};

TEST_P(MergeRefused, IsAUsageErrorAndWritesNothing) {
  const CliRunResult run = Run(GetParam().args);
  EXPECT_EQ(run.exitCode, 64);
  EXPECT_NE(run.err.find(GetParam().says), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(scratch_.Path("m.nc")));
  // No status line follows a refusal.
  EXPECT_EQ(run.err.find("File Error"), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MergeRefused,
    testing::Values(RefusedRow{{"--merge", "m.nc", "--format", "legacy", "logger.txt"},
                               "give --format netcdf"},
                    RefusedRow{{"--merge", "m.nc", "--format", "netcdf,tidy", "logger.txt"},
                               "give --format netcdf"},
                    RefusedRow{{"--merge", "m.nc", "-o", "out", "logger.txt"}, "-o and --append"},
                    RefusedRow{{"--merge", "m.nc", "logger.txt", "-"}, "standard input"},
                    RefusedRow{{"--merge", "m.nc", "logger.txt", "gauge.txt"}, "of one kind"}));

}  // namespace
