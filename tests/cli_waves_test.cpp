// --waves on the command line: its options, the statistics' CSV beside the
// output, and the JSON report's summary.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "tests/cli_process.h"
#include "tests/engine_support.h"
#include "tests/test_support.h"

namespace {

using zorq_test::FileExists;
using zorq_test::ReadWholeFile;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

constexpr double kAmplitude = 0.5;
constexpr double kPeriod = 8.0;  // s; 32 readings at the header's 4 Hz
constexpr int kReadingsPerBurst = 4800;

// A gauge dump of two bursts of a sine, each after its own date stamp.
std::string SineGaugeDump() {
  std::vector<std::string> lines;
  for (const char* stamp : {"Y19,M06,D30,H12,M00,S00,", "Y19,M06,D30,H13,M00,S00,"}) {
    lines.emplace_back(stamp);
    for (int first = 0; first < kReadingsPerBurst; first += 12) {
      std::string line;
      for (int i = first; i < first + 12; ++i) {
        char value[32];
        std::snprintf(value, sizeof value, "%.6f,",
                      1.0 + kAmplitude * std::sin(2.0 * std::numbers::pi * i / 4.0 / kPeriod));
        line += value;
      }
      lines.push_back(line + "320,");  // 20 degrees
    }
  }
  return zorq_test::DumpOf(zorq_test::GaugeHeader(), lines);
}

struct Workspace {
  Workspace() { WriteWholeFile(dir.Path("gauge.txt"), SineGaugeDump()); }
  zorq_test::CliRunResult Run(const std::vector<std::string>& args) const {
    zorq_test::CliRun run;
    run.args = args;
    run.workDir = dir.path();
    run.env["TZ"] = "UTC";
    return zorq_test::RunCliProcess(run);
  }
  TempDir dir;
};

struct UsageCase {
  std::vector<std::string> args;
  const char* says;
};

class CliWavesUsage : public testing::TestWithParam<UsageCase> {};

TEST_P(CliWavesUsage, IsRefusedWithItsReason) {
  Workspace ws;
  const zorq_test::CliRunResult result = ws.Run(GetParam().args);
  EXPECT_EQ(result.exitCode, 64);
  EXPECT_NE(result.err.find(GetParam().says), std::string::npos) << result.err;
  EXPECT_FALSE(FileExists(ws.dir.Path("out.csv")));
  EXPECT_FALSE(FileExists(ws.dir.Path("w.csv")));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliWavesUsage,
    testing::Values(
        UsageCase{{"--segment", "600", "gauge.txt", "out.csv"},
                  "give --waves or --format netcdf too"},
        UsageCase{{"--waves", "w.csv", "--pressure", "dbar", "gauge.txt", "out.csv"},
                  "--pressure needs --sensor-height"},
        UsageCase{{"--waves", "w.csv", "--sensor-height", "1", "gauge.txt", "out.csv"},
                  "--sensor-height goes with --pressure"},
        UsageCase{{"--waves", "w.csv", "--pressure", "psi", "--sensor-height", "1", "gauge.txt",
                   "out.csv"},
                  "one of Pa, kPa, dbar, bar and mH2O"},
        UsageCase{{"--waves", "w.csv", "--band", "1.0:0.04", "gauge.txt", "out.csv"}, "FMIN:FMAX"},
        UsageCase{{"--waves", "w.csv", "--band", "0.04", "gauge.txt", "out.csv"}, "FMIN:FMAX"},
        UsageCase{{"--waves", "w.csv", "--segment", "0", "gauge.txt", "out.csv"}, "--segment"},
        UsageCase{{"--waves", "w.csv", "--welch-segment", "4", "gauge.txt", "out.csv"},
                  "--welch-segment"},
        UsageCase{{"--waves", "w.csv", "--pressure", "dbar", "--sensor-height", "1", "--kp-min",
                   "0", "gauge.txt", "out.csv"},
                  "--kp-min"},
        UsageCase{{"--waves", "w.csv", "-o", "outdir", "gauge.txt"}, "give --waves auto"},
        UsageCase{{"--waves", "auto", "--check", "gauge.txt"}, "give --waves FILE"},
        UsageCase{{"--waves", "out.csv", "gauge.txt", "out.csv"}, "is its own FROM or TO"},
        UsageCase{{"--waves", "gauge.txt", "gauge.txt", "out.csv"}, "is its own FROM or TO"},
        UsageCase{{"--waves", "-", "--json", "gauge.txt", "out.csv"}, "--json"},
        UsageCase{{"--waves", "w.csv", "--from-type", "2", "--pressure", "dbar", "--sensor-height",
                   "1", "gauge.txt", "out.csv"},
                  "gauge dumps"}));

TEST(CliWaves, AFailedConversionLeavesNoStatistics) {
  Workspace ws;
  // A date stamp too short to read stops the conversion with status 4.
  WriteWholeFile(ws.dir.Path("broken.txt"), SineGaugeDump() + "Y19,M06\r\n");
  const zorq_test::CliRunResult result = ws.Run({"--waves", "w.csv", "broken.txt", "out.csv"});
  EXPECT_EQ(result.exitCode, 4) << result.err;
  EXPECT_FALSE(FileExists(ws.dir.Path("w.csv")));
}

}  // namespace
