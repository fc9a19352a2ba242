// The science outputs through the command line: the options, the names,
// and outputs that are all there or not there at all.
#include <gtest/gtest.h>
#include <netcdf.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <limits>
#include <set>
#include <sstream>
#include <thread>

#include "science/source_digest.h"
#include "tests/cli_process.h"
#include "tests/science/cli_fixture.h"
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

class ScienceCli : public science_test::CliInScratch {};

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
        UsageRow{"PositionWithoutNetcdf",
                 {"--position", "54.1,7.9", "logger.txt", "a.csv"},
                 "--position describes the NetCDF output"},
        UsageRow{"LatitudeBeyondThePole",
                 {"--format", "netcdf", "--position", "91,7", "logger.txt", "a"},
                 "--position: the latitude 91 is outside -90 to 90"},
        UsageRow{"LongitudeBeyond360",
                 {"--format", "netcdf", "--position", "0,361", "logger.txt", "a"},
                 "--position: the longitude 361 is outside -180 to 360"},
        UsageRow{"PositionOfOneNumber",
                 {"--format", "netcdf", "--position", "54.1", "logger.txt", "a"},
                 "--position takes LAT,LON in decimal degrees"},
        UsageRow{"PositionOfThreeNumbers",
                 {"--format", "netcdf", "--position", "54.1,7.9,3", "logger.txt", "a"},
                 "--position takes LAT,LON in decimal degrees"},
        UsageRow{"PositionNotANumber",
                 {"--format", "netcdf", "--position", "nan,7", "logger.txt", "a"},
                 "--position takes LAT,LON in decimal degrees"},
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

// Names and values the NetCDF output cannot take, or that would replace
// what the converter works out, are refused before any input is opened:
// the FROM does not exist, and the call still ends in a usage error.
struct RefusedMetadataRow {
  const char* name;
  const char* deployment;  // written to d.json; nullptr: none
  std::vector<std::string> options;
  const char* message;
};

class RefusedMetadata : public ScienceCli,
                        public testing::WithParamInterface<RefusedMetadataRow> {};

TEST_P(RefusedMetadata, IsAUsageErrorBeforeAnyReading) {
  const RefusedMetadataRow& row = GetParam();
  std::vector<std::string> args = {"--format", "netcdf"};
  std::set<std::string> files = {"gauge.txt", "logger.txt"};
  if (row.deployment != nullptr) {
    zorq_test::WriteWholeFile(scratch_.Path("d.json"), row.deployment);
    args.insert(args.end(), {"--deployment", "d.json"});
    files.insert("d.json");
  }
  args.insert(args.end(), row.options.begin(), row.options.end());
  args.insert(args.end(), {"missing.txt", "a.nc"});
  const CliRunResult run = Run(args);
  EXPECT_EQ(run.exitCode, 64) << run.err;
  EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("missing.txt"), std::string::npos) << run.err;
  EXPECT_EQ(Listing(folder_), files);
}

const std::string kLongName(NC_MAX_NAME + 1, 'a');
const std::string kLongKeyDeployment = "{\"" + kLongName + "\": 1}";

INSTANTIATE_TEST_SUITE_P(
    Rows, RefusedMetadata,
    testing::Values(
        RefusedMetadataRow{"AttrNcProperties",
                           nullptr,
                           {"--attr", "_NCProperties=x"},
                           "--attr: \"_NCProperties\" is reserved"},
        RefusedMetadataRow{
            "AttrIsNetcdf4", nullptr, {"--attr", "_IsNetcdf4=1"}, "\"_IsNetcdf4\" is reserved"},
        RefusedMetadataRow{
            "AttrNc3Strict", nullptr, {"--attr", "_nc3_strict=1"}, "\"_nc3_strict\" is reserved"},
        RefusedMetadataRow{
            "AttrFillValue", nullptr, {"--attr", "_FillValue=0"}, "\"_FillValue\" is reserved"},
        RefusedMetadataRow{
            "AttrDigitFirst", nullptr, {"--attr", "1st=x"}, "beginning with a letter"},
        RefusedMetadataRow{"AttrTooLong",
                           nullptr,
                           {"--attr", kLongName + "=x"},
                           "257 characters is too long: NetCDF takes at most 256"},
        RefusedMetadataRow{"DeploymentReservedKey",
                           R"({"_SuperblockVersion": 2})",
                           {},
                           "d.json: \"_SuperblockVersion\" is reserved"},
        RefusedMetadataRow{"DeploymentLongKey",
                           kLongKeyDeployment.c_str(),
                           {},
                           "d.json: an attribute name of 257 characters is too long"},
        RefusedMetadataRow{"DeploymentWholeNumberBeyond64Bits",
                           R"({"k": 18446744073709551616})",
                           {},
                           "d.json: \"k\" is 18446744073709551616: a whole number beyond what a "
                           "64-bit integer holds"},
        RefusedMetadataRow{"DeploymentNegativeBeyond64Bits",
                           R"({"k": -9223372036854775809})",
                           {},
                           "\"k\" is -9223372036854775809: a whole number beyond"},
        RefusedMetadataRow{"DeploymentBeyondADouble",
                           "{\n  \"k\": 1e999\n}",
                           {},
                           "d.json:2:12: \"k\" is 1e999: a number beyond what a double holds"},
        RefusedMetadataRow{"DeploymentLatitudeBeyondADouble",
                           R"({"latitude": 1e400, "longitude": 7})",
                           {},
                           "\"latitude\" is 1e400: a number beyond what a double holds"},
        RefusedMetadataRow{"DeploymentHistory",
                           R"({"history": "mine"})",
                           {},
                           "d.json: \"history\" is an attribute the converter works out itself"},
        RefusedMetadataRow{"DeploymentSource",
                           R"({"source": "x"})",
                           {},
                           "\"source\" is an attribute the converter works out itself"},
        RefusedMetadataRow{"DeploymentTimeCoverage",
                           R"({"time_coverage_start": "2020"})",
                           {},
                           "\"time_coverage_start\" is an attribute the converter works out"},
        RefusedMetadataRow{"DeploymentConversionStatus",
                           R"({"conversion_status": 8})",
                           {},
                           "\"conversion_status\" is an attribute the converter works out"},
        RefusedMetadataRow{"DeploymentGaugeHeaderValue",
                           R"({"burst_length_minutes": 3})",
                           {},
                           "\"burst_length_minutes\" is an attribute the converter works out"}),
    [](const testing::TestParamInfo<RefusedMetadataRow>& row) {
      return std::string(row.param.name);
    });

// Whole numbers of the deployment file are written exactly, in the
// smallest type that holds them; --attr may still replace what the
// converter works out, as documented.
TEST_F(ScienceCli, DeploymentWholeNumbersAreExactAndAttrReplacesComputedOnes) {
  zorq_test::WriteWholeFile(scratch_.Path("d.json"), R"({"largest": 18446744073709551615,
    "beyond_signed": 9223372036854775808, "lowest": -9223372036854775808,
    "highest_signed": 9223372036854775807, "small": 3})");
  const CliRunResult run = Run({"--format", "netcdf", "--deployment", "d.json", "--attr",
                                "history=mine", "logger.txt", "a.nc"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  NetcdfFile file(scratch_.Path("a.nc"));
  ASSERT_TRUE(file.open());
  struct Expected {
    const char* name;
    nc_type type;
  };
  for (const Expected& expected :
       {Expected{"largest", NC_UINT64}, Expected{"beyond_signed", NC_UINT64},
        Expected{"lowest", NC_INT64}, Expected{"highest_signed", NC_INT64},
        Expected{"small", NC_INT}}) {
    nc_type type = NC_NAT;
    EXPECT_EQ(nc_inq_atttype(file.ncid(), NC_GLOBAL, expected.name, &type), NC_NOERR);
    EXPECT_EQ(type, expected.type) << expected.name;
  }
  unsigned long long largest = 0;
  unsigned long long beyondSigned = 0;
  long long lowest = 0;
  long long highestSigned = 0;
  ASSERT_EQ(nc_get_att_ulonglong(file.ncid(), NC_GLOBAL, "largest", &largest), NC_NOERR);
  ASSERT_EQ(nc_get_att_ulonglong(file.ncid(), NC_GLOBAL, "beyond_signed", &beyondSigned), NC_NOERR);
  ASSERT_EQ(nc_get_att_longlong(file.ncid(), NC_GLOBAL, "lowest", &lowest), NC_NOERR);
  ASSERT_EQ(nc_get_att_longlong(file.ncid(), NC_GLOBAL, "highest_signed", &highestSigned),
            NC_NOERR);
  EXPECT_EQ(largest, 18446744073709551615ULL);
  EXPECT_EQ(beyondSigned, 9223372036854775808ULL);
  EXPECT_EQ(lowest, std::numeric_limits<long long>::min());
  EXPECT_EQ(highestSigned, std::numeric_limits<long long>::max());
  EXPECT_EQ(file.Text("", "history"), "mine");
}

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

// A write that fails in the middle of the file (a file-size limit standing
// in for a full disk) is the run's write failure: told, with its status,
// and nothing under the output's name. It crashed as the program exited.
TEST_F(ScienceCli, AFailedNetcdfWriteIsAWriteFailureAndLeavesNoOutput) {
  zorq_test::WriteWholeFile(scratch_.Path("big.txt"), zorq_test::RepeatedWorkedLoggerDump(3000));
  CliRun run{{"--format", "netcdf", "big.txt", "big.nc"}, folder_, {}, {}, {{"TZ", "UTC"}}};
  run.fileSizeLimit = 256 * 1024;
  const CliRunResult result = zorq_test::RunCliProcess(run);
  EXPECT_EQ(result.exitCode, 5) << result.err;
  EXPECT_NE(result.err.find("cannot write the NetCDF output"), std::string::npos) << result.err;
  EXPECT_EQ(Listing(folder_), (std::set<std::string>{"big.txt", "gauge.txt", "logger.txt"}));
}

TEST_F(ScienceCli, AStoppedRunKeepsOnlyPartialsAndNoTemporary) {
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
  std::set<std::string> names = Listing(folder_);
  // The NetCDF and tidy outputs had taken readings: they are kept apart.
  EXPECT_EQ(names.erase("stopped.nc.partial"), 1u);
  EXPECT_EQ(names.erase("stopped.tidy.csv.partial"), 1u);
  names.erase("stopped.csv.partial");  // when its first buffer had gone out
  EXPECT_EQ(names, (std::set<std::string>{"gauge.txt", "logger.txt"}));
}

// The readings of a legacy logger CSV, fillers left out, and the stamp of
// each f001 record.
struct LegacyLogger {
  std::vector<double> readings;
  std::vector<std::string> stamps;
};

LegacyLogger ReadLegacyLogger(const std::string& csv) {
  LegacyLogger legacy;
  std::istringstream lines(csv);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("f001,", 0) != 0)
      continue;
    std::istringstream fields(line);
    std::string field;
    for (int index = 0; std::getline(fields, field, ','); ++index) {
      if (index == 3)
        legacy.stamps.push_back(field);
      else if (index > 3 && field.rfind("-101.00", 0) != 0)
        legacy.readings.push_back(std::stod(field));
    }
  }
  return legacy;
}

// The readings of a legacy gauge CSV and the date and time of each stamp.
struct LegacyGauge {
  std::vector<double> readings;
  std::vector<std::string> stamps;  // "2024-03-12T09:00:00"
  std::vector<int> perStamp;        // readings after each
};

LegacyGauge ReadLegacyGauge(const std::string& csv) {
  LegacyGauge legacy;
  std::istringstream lines(csv);
  for (std::string line; std::getline(lines, line);) {
    line = line.substr(0, line.find('\r'));
    if (line.rfind("D1,C8,", 0) == 0) {
      legacy.stamps.push_back(line.substr(6) + "T");
      legacy.perStamp.push_back(0);
    } else if (line.rfind("D1,C9,", 0) == 0) {
      legacy.stamps.back() += line.substr(6);
    } else if (line.rfind("D1,C1,", 0) == 0) {
      legacy.readings.push_back(std::stod(line.substr(6)));
      ++legacy.perStamp.back();
    }
  }
  return legacy;
}

// "2024-03-12T09:00:00" read as local time in the test's zone.
double LocalStampToUtc(const std::string& stamp) {
  std::tm fields{};
  std::istringstream(stamp) >> std::get_time(&fields, "%Y-%m-%dT%H:%M:%S");
  fields.tm_isdst = -1;
  return static_cast<double>(std::mktime(&fields));
}

// The samples, converted in Berlin: the readings as the legacy CSV prints
// them, and the legacy stamps where a reading's exact time falls on one.
TEST_F(ScienceCli, ReadingsAndTimesAgreeWithTheLegacyLoggerCsv) {
  const zorq_test::CLibraryZone berlin("Europe/Berlin");
  const std::string sample = std::string(ZORQ_SOURCE_DIR) + "/samples/logger_type2_dump.txt";
  const CliRunResult run =
      Run({"--format", "legacy,netcdf", "--tz", "Europe/Berlin", sample, "logger.csv"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const LegacyLogger legacy =
      ReadLegacyLogger(science_test::ReadWhole(scratch_.Path("logger.csv")));
  NetcdfFile file(scratch_.Path("logger.nc"));
  const std::vector<double> readings = file.Doubles("reading");
  const std::vector<double> times = file.Doubles("time");
  ASSERT_GE(readings.size(), legacy.readings.size());
  ASSERT_GT(legacy.readings.size(), 200u);
  for (size_t i = 0; i < legacy.readings.size(); ++i)
    EXPECT_NEAR(readings[i], legacy.readings[i], 0.5e-4 + 1e-12) << i;  // printed to 4 decimals
  // At 4 Hz a record of 60 readings spans 15 whole seconds: its stamp is
  // its first reading's time.
  for (size_t record = 0; record < legacy.stamps.size(); ++record)
    EXPECT_EQ(times[record * 60], LocalStampToUtc(legacy.stamps[record])) << record;
}

TEST_F(ScienceCli, ReadingsAndBurstsAgreeWithTheLegacyGaugeCsv) {
  const zorq_test::CLibraryZone berlin("Europe/Berlin");
  const std::string sample = std::string(ZORQ_SOURCE_DIR) + "/samples/gauge_t10_dump.txt";
  const CliRunResult run = Run({"--format", "legacy,netcdf", "--units", "dbar", "--tz",
                                "Europe/Berlin", sample, "gauge.csv"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const LegacyGauge legacy = ReadLegacyGauge(science_test::ReadWhole(scratch_.Path("gauge.csv")));
  NetcdfFile file(scratch_.Path("gauge.nc"));
  const std::vector<double> readings = file.Doubles("reading");
  ASSERT_EQ(readings.size(), legacy.readings.size());
  for (size_t i = 0; i < readings.size(); ++i)
    EXPECT_NEAR(readings[i], legacy.readings[i], 0.5e-6 + 1e-12) << i;  // printed to 6 decimals
  // The header's date opens burst 0; a burst with no readings has no start
  // and no date records in the legacy CSV: the starts are the stamps, and
  // the bursts with readings come in their order.
  const std::vector<double> starts = file.Doubles("burst_start_time");
  std::vector<int> bursts = file.Ints("burst");
  ASSERT_EQ(starts.size(), legacy.stamps.size());
  for (size_t stamp = 0; stamp < starts.size(); ++stamp) {
    EXPECT_EQ(starts[stamp], LocalStampToUtc(legacy.stamps[stamp])) << stamp;
    ASSERT_FALSE(bursts.empty()) << stamp;
    const int burst = bursts.front();
    const auto count = std::count(bursts.begin(), bursts.end(), burst);
    EXPECT_EQ(count, legacy.perStamp[stamp]) << stamp;
    bursts.erase(bursts.begin(), bursts.begin() + count);
  }
  EXPECT_TRUE(bursts.empty());
}

struct FlagRow {
  const char* name;
  std::vector<std::string> args;
  std::string lines;  // after the header and a first date stamp at 14:05:30
  std::vector<int> flags;
  const char* comment;
};

class ScienceFlags : public ScienceCli, public testing::WithParamInterface<FlagRow> {};

std::string Twelve(const std::string& count) {
  std::string line;
  for (int i = 0; i < 12; ++i)
    line += count + ",";
  return line + "360\r\n";
}

TEST_P(ScienceFlags, EachAnomalyKindSetsItsFlag) {
  const std::string header = "Y19,M06,D30,H14,M05,S30,F04" + std::string(14, ' ') + "A8,C100" +
                             std::string(13, ' ') + "\r\n";
  zorq_test::WriteWholeFile(scratch_.Path("flags.txt"),
                            header + "Y19,M06,D30,H14,M05,S30,\r\n" + GetParam().lines);
  std::vector<std::string> args = GetParam().args;
  args.insert(args.end(), {"--from-type", "2", "--format", "netcdf", "flags.txt", "flags.nc"});
  const CliRunResult run = Run(args);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  NetcdfFile file(scratch_.Path("flags.nc"));
  EXPECT_EQ(file.Ints("reading_quality_control"), GetParam().flags);
  EXPECT_NE(file.Text("reading_quality_control", "comment").find(GetParam().comment),
            std::string::npos)
      << file.Text("reading_quality_control", "comment");
}

std::vector<int> Flags(std::initializer_list<std::pair<int, int>> runs) {
  std::vector<int> flags;
  for (const auto& [flag, count] : runs)
    flags.insert(flags.end(), size_t(count), flag);
  return flags;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScienceFlags,
    testing::Values(FlagRow{"NotANumber",
                            {},
                            "2048,2x48,2048,abc," + Twelve("2048").substr(20),
                            Flags({{1, 1}, {4, 1}, {1, 1}, {4, 1}, {1, 8}}),
                            "not-a-number (2): line 3."},
                    // A whole record first: the report compares a stamp with the records.
                    FlagRow{"TimeGoesBackwards",
                            {},
                            Twelve("2048") + Twelve("2048") + Twelve("2048") + Twelve("2048") +
                                Twelve("2048") + "Y19,M06,D30,H14,M00,S00,\r\n" + Twelve("2048"),
                            // Its readings come at times already written: left out.
                            Flags({{1, 60}}),
                            "time-goes-backwards (1): line 8."},
                    // Wider than the legacy field: ten million metres.
                    FlagRow{"Saturated",
                            {"--gain", "10000000"},
                            Twelve("2048"),
                            Flags({{3, 12}}),
                            "reading-saturated (12): line 3."}),
    [](const testing::TestParamInfo<FlagRow>& row) { return std::string(row.param.name); });

// A gauge dump whose second stamp goes a second back: at 4 Hz the first
// line reached 12:00:02.75, so all twelve readings under it come at times
// already written.
std::string GaugeDumpGoingBack() {
  const std::string line = "1.25,1.5,2,2.25,-0.5,0,3.125,10,1.75,1.5,1.25,1,372,\r\n";
  return "Y19,M06,D30,H12,M00,S00,F04,L10,I60,N00,00000X03,T10,,,,,,,,,\r\n"
         "Y19,M06,D30,H12,M00,S00,\r\n" +
         line + "Y19,M06,D30,H11,M59,S59,\r\n" + line;
}

TEST_F(ScienceCli, ReadingsThatDoNotRiseAreLeftOutCountedAndKeptInTheTidyCsv) {
  zorq_test::WriteWholeFile(scratch_.Path("back.txt"), GaugeDumpGoingBack());
  const CliRunResult run = Run({"--json", "--format", "netcdf,tidy", "--units", "dbar",
                                "--position", "54.1,7.9", "-o", "out", "back.txt"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<zorq_test::Json> reports = zorq_test::JsonLines(run.out);
  ASSERT_EQ(reports.size(), 1u) << run.out;
  EXPECT_EQ(reports[0].at("netcdf_readings_out_of_time_order"), 12) << run.out;
  const std::string warning = "12 readings whose time does not come after";
  EXPECT_NE(reports[0].at("warnings").dump().find(warning), std::string::npos) << run.out;
  // Without --json, standard error tells it.
  const CliRunResult told = Run(
      {"--format", "netcdf", "--units", "dbar", "--position", "54.1,7.9", "back.txt", "told.nc"});
  ASSERT_EQ(told.exitCode, 0) << told.err;
  EXPECT_NE(told.err.find(warning), std::string::npos) << told.err;
  EXPECT_EQ(told.err.find("no position"), std::string::npos) << told.err;
  NetcdfFile file(scratch_.Path("out/back.nc"));
  const std::vector<double> times = file.Doubles("time");
  ASSERT_EQ(times.size(), 12u);
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
  EXPECT_EQ(file.Number("", "readings_out_of_time_order"), 12.0);
  EXPECT_EQ(file.Doubles("lat"), std::vector<double>{54.1});
  const std::string tidy = science_test::ReadWhole(scratch_.Path("out/back.tidy.csv"));
  EXPECT_EQ(std::count(tidy.begin(), tidy.end(), '\n'), 1 + 24) << tidy;
  size_t bad = 0;
  for (size_t at = tidy.find(",4\n"); at != std::string::npos; at = tidy.find(",4\n", at + 1))
    ++bad;
  EXPECT_EQ(bad, 12u) << tidy;
}

TEST_F(ScienceCli, AFileWithoutAPositionIsWarnedOfOnceARun) {
  const CliRunResult run =
      Run({"--format", "netcdf", "--units", "dbar", "-o", "out", "gauge.txt", "logger.txt"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string warning = "has no position and so no featureType";
  const size_t first = run.err.find(warning);
  ASSERT_NE(first, std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(warning, first + 1), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("(said once for every input of this run)"), std::string::npos) << run.err;
  NetcdfFile file(scratch_.Path("out/gauge.nc"));
  EXPECT_EQ(file.Text("", "featureType"), "");
  EXPECT_FALSE(file.HasVariable("lat"));
  EXPECT_EQ(file.Chars("station"), "gauge");
}

// CF standard name table v83: the names the statistics carry, and the
// statistics of each kind of units.
constexpr const char* kSignificantHeight = "sea_surface_wave_significant_height";
const std::pair<const char*, const char*> kHeightNames[] = {
    {"hm0", kSignificantHeight},
    {"hs", kSignificantHeight},
    {"h10", "sea_surface_wave_mean_height_of_highest_tenth"},
    {"hmax", "sea_surface_wave_maximum_height"},
    {"hmean", "sea_surface_wave_mean_height"},
};
const std::pair<const char*, const char*> kPeriodNames[] = {
    {"te", "sea_surface_wave_mean_period_from_variance_spectral_density_inverse_frequency_moment"},
    {"ts", "sea_surface_wave_significant_period"},
    {"tz", "sea_surface_wave_mean_period"},
    {"tp", "sea_surface_wave_period_at_variance_spectral_density_maximum"},
    {"fp", "sea_surface_wave_frequency_at_variance_spectral_density_maximum"},
};
const std::pair<const char*, const char*> kDensityNames[] = {
    {"S", "sea_surface_wave_variance_spectral_density"},
};

struct NamesRow {
  const char* name;
  std::vector<std::string> args;
  bool heightsNamed;
  bool periodsNamed;
  bool densityNamed;
  bool warned;
};

class StatisticNames : public ScienceCli, public testing::WithParamInterface<NamesRow> {};

// A wave name only where the statistic's units convert to the name's.
TEST_P(StatisticNames, FollowTheUnitsOfTheReadings) {
  const NamesRow& row = GetParam();
  std::vector<std::string> args = {"--format", "netcdf", "--waves", "auto", "-o", "out"};
  args.insert(args.end(), row.args.begin(), row.args.end());
  const CliRunResult run = Run(args);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string dump = row.args.back();
  NetcdfFile file(scratch_.Path("out/" + dump.substr(0, dump.find('.')) + ".waves.nc"));
  for (const auto& [names, named] :
       {std::pair{&kHeightNames, row.heightsNamed}, std::pair{&kPeriodNames, row.periodsNamed}}) {
    for (const auto& [statistic, name] : *names)
      EXPECT_EQ(file.Text(statistic, "standard_name"), named ? name : "") << statistic;
  }
  EXPECT_EQ(file.Text("S", "standard_name"), row.densityNamed ? kDensityNames[0].second : "");
  EXPECT_NE(file.Text("hs", "comment").find("H1/3"), std::string::npos);
  EXPECT_NE(file.Text("hm0", "comment").find("spectral"), std::string::npos);
  for (const char* count : {"segment_samples", "segment_waves"}) {
    EXPECT_EQ(file.Text(count, "units"), "1") << count;
    EXPECT_FALSE(file.Text(count, "long_name").empty()) << count;
  }
  EXPECT_EQ(run.err.find("carry no CF standard name") != std::string::npos, row.warned) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StatisticNames,
    testing::Values(
        NamesRow{"LoggerInMetres", {"logger.txt"}, true, true, true, false},
        // Heights in dbar are no heights: only the periods keep their names.
        NamesRow{"GaugeInDecibar", {"--units", "dbar", "gauge.txt"}, false, true, false, false},
        NamesRow{"GaugeOfUnknownUnits", {"gauge.txt"}, false, false, false, true},
        // Corrected to the surface, the statistics are in metres.
        NamesRow{"GaugePressureToTheSurface",
                 {"--units", "dbar", "--pressure", "dbar", "--sensor-height", "0.5", "gauge.txt"},
                 true,
                 true,
                 true,
                 false}),
    [](const testing::TestParamInfo<NamesRow>& row) { return row.param.name; });

}  // namespace
