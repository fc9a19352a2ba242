// --waves on the command line: its options, the statistics' CSV beside the
// output, and the JSON report's summary.
#include <gtest/gtest.h>
#include <netcdf.h>

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

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

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
        UsageCase{{"--segment", "600", "gauge.txt", "out.csv"}, "give --waves too"},
        UsageCase{{"--format", "netcdf", "--band", "0.05:0.5", "gauge.txt", "out.nc"},
                  "give --waves too"},
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

TEST(CliWaves, GaugeBurstsGiveOneRowEachAndTheJsonSummary) {
  Workspace ws;
  const zorq_test::CliRunResult result =
      ws.Run({"--json", "--waves", "auto", "gauge.txt", "out.csv"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::vector<zorq_test::Json> reports = zorq_test::JsonLines(result.out);
  ASSERT_EQ(reports.size(), 1u);
  const zorq_test::Json& waves = reports[0]["waves"];
  EXPECT_EQ(waves["file"], "out.waves.csv");
  EXPECT_EQ(waves["segments"], 2);
  const double hm0 = 2.0 * std::numbers::sqrt2 * kAmplitude;
  EXPECT_NEAR(waves["first_hm0"].get<double>(), hm0, 0.01 * hm0);
  EXPECT_NEAR(waves["first_tp"].get<double>(), kPeriod, 1e-9);

  const std::vector<std::string> rows = Lines(ReadWholeFile(ws.dir.Path("out.waves.csv")));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].rfind("start,end,samples,mean,hm0,tp,fp,tm01,tm02,te,hs,ts,h10,hmax,hmean,"
                          "tz,waves,temperature,flag,",
                          0),
            0u);
  // Read in UTC, the second burst runs from 13:00:00 for 1199.75 s.
  EXPECT_EQ(rows[2].rfind("2019-06-30T13:00:00.000Z,2019-06-30T13:19:59.750Z,4800,1,1.41", 0), 0u)
      << rows[2];
}

TEST(CliWaves, OutputFolderGetsTheStatisticsBesideEachOutput) {
  Workspace ws;
  WriteWholeFile(ws.dir.Path("copy.txt"), SineGaugeDump());
  const zorq_test::CliRunResult result =
      ws.Run({"--quiet", "-o", "out", "--waves", "auto", "gauge.txt", "copy.txt"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  for (const char* name : {"out/gauge.waves.csv", "out/copy.waves.csv"})
    EXPECT_EQ(Lines(ReadWholeFile(ws.dir.Path(name))).size(), 3u) << name;
}

TEST(CliWaves, WithWavesTheStatisticsGoToANetcdfFileOfTheirOwn) {
  Workspace ws;
  const zorq_test::CliRunResult result =
      ws.Run({"--format", "netcdf", "--units", "m", "--waves", "w.csv", "gauge.txt", "out.nc"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Lines(ReadWholeFile(ws.dir.Path("w.csv"))).size(), 3u);
  int ncid = -1;
  int id = -1;
  ASSERT_EQ(nc_open(ws.dir.Path("out.nc").c_str(), NC_NOWRITE, &ncid), NC_NOERR);
  EXPECT_EQ(nc_inq_varid(ncid, "hm0", &id), NC_ENOTVAR);
  EXPECT_EQ(nc_inq_varid(ncid, "S", &id), NC_ENOTVAR);
  nc_close(ncid);
  ASSERT_EQ(nc_open(ws.dir.Path("out.waves.nc").c_str(), NC_NOWRITE, &ncid), NC_NOERR);
  int dimension = -1;
  size_t segments = 0;
  ASSERT_EQ(nc_inq_dimid(ncid, "time", &dimension), NC_NOERR);
  nc_inq_dimlen(ncid, dimension, &segments);
  EXPECT_EQ(segments, 2u);
  int hm0 = -1;
  ASSERT_EQ(nc_inq_varid(ncid, "hm0", &hm0), NC_NOERR);
  double values[2] = {};
  nc_get_var_double(ncid, hm0, values);
  const double expected = 2.0 * std::numbers::sqrt2 * kAmplitude;
  EXPECT_NEAR(values[1], expected, 0.01 * expected);
  double starts[2] = {};
  int start = -1;
  nc_inq_varid(ncid, "time", &start);
  nc_get_var_double(ncid, start, starts);
  EXPECT_EQ(starts[1], 1561899600.0);  // 2019-06-30T13:00:00Z
  int station = -1;
  EXPECT_EQ(nc_inq_varid(ncid, "station", &station), NC_NOERR);
  nc_close(ncid);
}

// The statistics' NetCDF file goes through the job as every output does:
// an existing one is refused before anything is read, and a run that fails
// keeps what it wrote as NAME.partial, named in the JSON report.
TEST(CliWaves, TheStatisticsNetcdfFileIsPlacedWithTheOtherOutputsOrNotAtAll) {
  Workspace ws;
  WriteWholeFile(ws.dir.Path("out.waves.nc"), "mine\n");
  const std::vector<std::string> run = {"--format", "netcdf", "--units",   "m",
                                        "--waves",  "auto",   "gauge.txt", "out.nc"};
  EXPECT_EQ(ws.Run(run).exitCode, 1);
  EXPECT_EQ(ReadWholeFile(ws.dir.Path("out.waves.nc")), "mine\n");
  EXPECT_FALSE(FileExists(ws.dir.Path("out.nc")));

  WriteWholeFile(ws.dir.Path("broken.txt"), SineGaugeDump() + "Y19,M06\r\n");
  const zorq_test::CliRunResult failed = ws.Run(
      {"--json", "--format", "netcdf", "--units", "m", "--waves", "auto", "broken.txt", "b.nc"});
  EXPECT_EQ(failed.exitCode, 4) << failed.err;
  EXPECT_FALSE(FileExists(ws.dir.Path("b.waves.nc")));
  EXPECT_TRUE(FileExists(ws.dir.Path("b.waves.nc.partial")));
  EXPECT_NE(failed.out.find("\"waves_netcdf\":\"b.waves.nc\""), std::string::npos) << failed.out;
  EXPECT_NE(failed.out.find("b.waves.nc.partial"), std::string::npos) << failed.out;
  EXPECT_NE(failed.err.find("b.waves.nc.partial"), std::string::npos) << failed.err;
}

// The statistics' spectra are held until the file closes: a NetCDF output
// asked for alone stays a stream of readings.
TEST(CliWaves, WithoutWavesTheNetcdfOutputHoldsTheReadingsOnly) {
  Workspace ws;
  const zorq_test::CliRunResult result =
      ws.Run({"--format", "netcdf", "--units", "m", "gauge.txt", "out.nc"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  int ncid = -1;
  ASSERT_EQ(nc_open(ws.dir.Path("out.nc").c_str(), NC_NOWRITE, &ncid), NC_NOERR);
  int id = -1;
  EXPECT_EQ(nc_inq_dimid(ncid, "segment", &id), NC_EBADDIM);
  EXPECT_EQ(nc_inq_varid(ncid, "hm0", &id), NC_ENOTVAR);
  EXPECT_EQ(nc_inq_varid(ncid, "reading", &id), NC_NOERR);
  nc_close(ncid);
}

TEST(CliWaves, AnExistingStatisticsFileIsReplacedOnlyWithOverwrite) {
  Workspace ws;
  WriteWholeFile(ws.dir.Path("w.csv"), "mine\n");
  EXPECT_EQ(ws.Run({"--waves", "w.csv", "gauge.txt", "a.csv"}).exitCode, 1);
  EXPECT_EQ(ReadWholeFile(ws.dir.Path("w.csv")), "mine\n");
  EXPECT_FALSE(FileExists(ws.dir.Path("a.csv")));
  EXPECT_EQ(ws.Run({"--overwrite", "--waves", "w.csv", "gauge.txt", "b.csv"}).exitCode, 0);
  EXPECT_EQ(Lines(ReadWholeFile(ws.dir.Path("w.csv"))).size(), 3u);
}

TEST(CliWaves, AFailedConversionLeavesNoStatistics) {
  Workspace ws;
  // A date stamp too short to read stops the conversion with status 4.
  WriteWholeFile(ws.dir.Path("broken.txt"), SineGaugeDump() + "Y19,M06\r\n");
  const zorq_test::CliRunResult result = ws.Run({"--waves", "w.csv", "broken.txt", "out.csv"});
  EXPECT_EQ(result.exitCode, 4) << result.err;
  EXPECT_FALSE(FileExists(ws.dir.Path("w.csv")));
}

// The statistics take the series less the barometer's air pressure: a
// record of 100 hPa throughout gives what a constant 1 dbar does.
TEST(CliWaves, ABarometerRecordCorrectsTheStatisticsAsItsConstantWould) {
  Workspace ws;
  WriteWholeFile(ws.dir.Path("baro.csv"),
                 "time,air_pressure\n2019-06-30T11:00:00Z,100\n2019-06-30T14:00:00Z,100\n");
  const std::vector<std::string> pressure = {"--pressure", "dbar", "--sensor-height", "1",
                                             "gauge.txt"};
  std::vector<std::string> constant = {"--waves", "constant.csv", "--atmospheric", "1"};
  constant.insert(constant.end(), pressure.begin(), pressure.end());
  constant.push_back("a.csv");
  std::vector<std::string> record = {"--waves", "record.csv", "--barometer", "baro.csv"};
  record.insert(record.end(), pressure.begin(), pressure.end());
  record.push_back("b.csv");
  ASSERT_EQ(ws.Run(constant).exitCode, 0);
  const zorq_test::CliRunResult result = ws.Run(record);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string corrected = ReadWholeFile(ws.dir.Path("record.csv"));
  EXPECT_EQ(corrected, ReadWholeFile(ws.dir.Path("constant.csv")));
  // Left as read, the mean level and the depth the statistics take from it differ.
  std::vector<std::string> uncorrected = {"--waves", "uncorrected.csv"};
  uncorrected.insert(uncorrected.end(), pressure.begin(), pressure.end());
  uncorrected.push_back("c.csv");
  ASSERT_EQ(ws.Run(uncorrected).exitCode, 0);
  EXPECT_NE(corrected, ReadWholeFile(ws.dir.Path("uncorrected.csv")));
}

}  // namespace
