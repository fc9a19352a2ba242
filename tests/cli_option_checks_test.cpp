// Options whose values cannot be meant are usage errors told before any
// reading; what depends on a dump's header refuses that dump before it is
// converted. And the smaller things standard error says.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/input_source.h"
#include "tests/cli_process.h"
#include "tests/system_call_fakes.h"
#include "tests/test_support.h"

namespace {

using zorq_test::CliRunResult;
using zorq_test::FileExists;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// Both worked dumps give 4 readings a second: their Nyquist frequency is 2 Hz.
struct Workspace {
  Workspace() {
    WriteWholeFile(dir.Path("logger.txt"), zorq_test::WorkedLoggerDump());
    WriteWholeFile(dir.Path("gauge.txt"), zorq_test::WorkedGaugeDump());
    WriteWholeFile(dir.Path("gauge2.txt"), zorq_test::WorkedGaugeDump());
  }
  CliRunResult Run(const std::vector<std::string>& args) const {
    zorq_test::CliRun run;
    run.args = args;
    run.workDir = dir.path();
    run.env = {{"TZ", "UTC"}};
    return zorq_test::RunCliProcess(run);
  }
  TempDir dir;
};

struct OutOfRangeRow {
  const char* name;
  std::vector<std::string> options;
  const char* message;
};

class OutOfRangeOptions : public testing::TestWithParam<OutOfRangeRow> {};

// The FROM does not exist: a call that opened it would end in exit 1.
TEST_P(OutOfRangeOptions, AreUsageErrorsBeforeAnyInputIsOpened) {
  Workspace ws;
  std::vector<std::string> args = GetParam().options;
  args.insert(args.end(), {"missing.txt", "out.csv"});
  const CliRunResult result = ws.Run(args);
  EXPECT_EQ(result.exitCode, 64) << result.err;
  EXPECT_TRUE(Contains(result.err, GetParam().message)) << result.err;
  EXPECT_FALSE(Contains(result.err, "missing.txt")) << result.err;
  EXPECT_FALSE(FileExists(ws.dir.Path("out.csv")));
  EXPECT_FALSE(FileExists(ws.dir.Path("w.csv")));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OutOfRangeOptions,
    testing::Values(
        OutOfRangeRow{"SegmentOfAges",
                      {"--waves", "w.csv", "--segment", "1e20"},
                      "--segment needs a number of seconds from 1 to 86400 (a day), not \"1e20\""},
        OutOfRangeRow{
            "SegmentJustOverADay", {"--waves", "w.csv", "--segment", "86400.5"}, "from 1 to 86400"},
        OutOfRangeRow{"SegmentUnderASecond", {"--waves", "w.csv", "--segment", "0.5"}, "from 1"},
        OutOfRangeRow{
            "SegmentBeyondADouble", {"--waves", "w.csv", "--segment", "1e999"}, "--segment needs"},
        OutOfRangeRow{"ClockOffsetFarAhead",
                      {"--format", "tidy", "--clock-offset", "1e300"},
                      "--clock-offset 1e300 is beyond ten years: give seconds from -315576000 to "
                      "315576000"},
        OutOfRangeRow{"ClockOffsetFarBehind",
                      {"--format", "tidy", "--clock-offset", "-1e300"},
                      "--clock-offset -1e300 is beyond ten years"},
        OutOfRangeRow{"ClockOffsetJustBeyond",
                      {"--format", "tidy", "--clock-offset", "315576000.5"},
                      "is beyond ten years"},
        OutOfRangeRow{"ClockDriftJustBeyond",
                      {"--format", "tidy", "--clock-drift", "-315576001"},
                      "--clock-drift -315576001 is beyond ten years"}),
    [](const testing::TestParamInfo<OutOfRangeRow>& row) { return std::string(row.param.name); });

struct HeaderLimitRow {
  const char* name;
  std::vector<std::string> args;
  int exitCode;
  const char* message;  // in standard error; "" for none
};

class OptionsAgainstTheHeader : public testing::TestWithParam<HeaderLimitRow> {};

// A band is checked against the dump's sample rate once its header is read;
// the limits themselves are taken.
TEST_P(OptionsAgainstTheHeader, RefuseTheDumpBeforeConvertingItOrTakeTheLimits) {
  Workspace ws;
  const HeaderLimitRow& row = GetParam();
  const CliRunResult result = ws.Run(row.args);
  EXPECT_EQ(result.exitCode, row.exitCode) << result.err;
  if (row.exitCode != 0) {
    EXPECT_TRUE(Contains(result.err, row.message)) << result.err;
    EXPECT_FALSE(FileExists(ws.dir.Path("out.csv")));
    EXPECT_FALSE(FileExists(ws.dir.Path("w.csv")));
  } else {
    EXPECT_TRUE(FileExists(ws.dir.Path("out.csv")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OptionsAgainstTheHeader,
    testing::Values(
        HeaderLimitRow{"LoggerBandAboveNyquist",
                       {"--waves", "w.csv", "--band", "3:5", "logger.txt", "out.csv"},
                       64,
                       "--band 3:5 lies above the Nyquist frequency of 'logger.txt', 2 Hz (half "
                       "its sample rate of 4 Hz): give a band that starts below 2 Hz"},
        HeaderLimitRow{"GaugeBandFromNyquist",
                       {"--waves", "w.csv", "--band", "2:3", "gauge.txt", "out.csv"},
                       64,
                       "--band 2:3 lies above the Nyquist frequency of 'gauge.txt'"},
        HeaderLimitRow{"BandReachingOverNyquistIsClipped",
                       {"--waves", "w.csv", "--band", "1.9:5", "logger.txt", "out.csv"},
                       0,
                       ""},
        HeaderLimitRow{"SegmentOfADay",
                       {"--waves", "w.csv", "--segment", "86400", "logger.txt", "out.csv"},
                       0,
                       ""},
        HeaderLimitRow{"ClockOffsetOfTenYears",
                       {"--format", "legacy,tidy", "--clock-offset", "-315576000", "--clock-drift",
                        "315576000", "logger.txt", "out.csv"},
                       0,
                       ""}),
    [](const testing::TestParamInfo<HeaderLimitRow>& row) { return std::string(row.param.name); });

// A command-line run carries no type code from an earlier conversion.
TEST(CliFromType, AGaugeTypeOnALoggerDumpSaysSoWithoutACarriedTypeCode) {
  Workspace ws;
  const CliRunResult result = ws.Run({"--from-type", "3", "logger.txt", "out.csv"});
  EXPECT_EQ(result.exitCode, 7) << result.err;
  EXPECT_TRUE(
      Contains(result.err, "not a gauge dump's: give --from-type 1 or 2, or leave --from-type out"))
      << result.err;
  EXPECT_FALSE(Contains(result.err, "kept from the last")) << result.err;
}

struct UnitsWarningRow {
  const char* name;
  std::vector<std::string> args;
  size_t told;  // times standard error says the readings carry no unit
  const char* shown;
};

class GaugeUnitsWarning : public testing::TestWithParam<UnitsWarningRow> {};

TEST_P(GaugeUnitsWarning, IsSaidOnceARunAndNotUnderQuiet) {
  Workspace ws;
  const CliRunResult result = ws.Run(GetParam().args);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Occurrences(result.err, "carry no unit"), GetParam().told) << result.err;
  EXPECT_TRUE(Contains(result.err, GetParam().shown)) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GaugeUnitsWarning,
    testing::Values(
        UnitsWarningRow{"OneInput",
                        {"--format", "netcdf", "gauge.txt", "out.nc"},
                        1,
                        "zorqconvert-cli: gauge.txt: the readings of a gauge dump carry no unit"},
        UnitsWarningRow{"SeveralInputs",
                        {"--format", "netcdf", "-o", "out", "gauge.txt", "gauge2.txt"},
                        1,
                        "carry no unit; they are written with units \"1\" (give --units to name "
                        "theirs) (said once for every gauge dump of this run)"},
        UnitsWarningRow{"Quiet",
                        {"--quiet", "--format", "netcdf", "-o", "out", "gauge.txt", "gauge2.txt"},
                        0,
                        ""}),
    [](const testing::TestParamInfo<UnitsWarningRow>& row) { return std::string(row.param.name); });

// The read-only mount is made in a user and mount namespace of the test's
// own (unshare); where the system allows none, the test is skipped.
TEST(CliOverwrite, AnOutputOnAReadOnlyMountIsNotBlamedOnItsMode) {
  if (std::system("unshare -rm true >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no user and mount namespaces here";
  TempDir dir;
  WriteWholeFile(dir.Path("logger.txt"), zorq_test::WorkedLoggerDump());
  ASSERT_EQ(::mkdir(dir.Path("mount").c_str(), 0700), 0);
  WriteWholeFile(dir.Path("run.sh"),
                 "cd \"$1\" && mount -t tmpfs none mount && cp logger.txt mount/ &&\n"
                 "echo earlier > mount/out.csv && mount -o remount,ro mount && cd mount &&\n"
                 "\"$2\" --overwrite logger.txt out.csv 2> ../err.txt\n"
                 "echo $? > ../exit.txt\n");
  const std::string command =
      "unshare -rm sh '" + dir.Path("run.sh") + "' '" + dir.path() + "' '" + ZORQ_CLI_PATH + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string err = zorq_test::ReadWholeFile(dir.Path("err.txt"));
  EXPECT_EQ(zorq_test::ReadWholeFile(dir.Path("exit.txt")), "1\n");
  EXPECT_TRUE(Contains(err,
                       "cannot replace 'out.csv': the file system it is on is mounted "
                       "read-only; write the output elsewhere"))
      << err;
  EXPECT_FALSE(Contains(err, "chmod")) << err;
}

// A failed first read is a read error, whatever the bytes read before it
// would have looked like.
TEST(CliInputSource, AFailedFirstReadSaysWhyInsteadOfCallingTheInputEmpty) {
  TempDir dir;
  WriteWholeFile(dir.Path("logger.txt"), zorq_test::WorkedLoggerDump());
  struct Row {
    int error;
    const char* said;
  };
  for (const Row row : {Row{EIO, "Input/output error"}, Row{EISDIR, "Is a directory"}}) {
    SCOPED_TRACE(row.said);
    zorq_test::FakeSystemCalls fakes;
    fakes.fault = [&row](const zorq_test::CallSeen& call) {
      return call.call == zorq_test::SystemCall::Read ? row.error : 0;
    };
    InputSource source;
    std::string error;
    ASSERT_TRUE(source.Open(dir.Path("logger.txt"), &error)) << error;
    EXPECT_FALSE(source.ReadHead(&error));
    EXPECT_TRUE(Contains(error, std::string("cannot read '") + dir.Path("logger.txt"))) << error;
    EXPECT_TRUE(Contains(error, row.said)) << error;
    EXPECT_FALSE(Contains(error, "empty")) << error;
  }
}

}  // namespace
