// zorqconvert-cli run as a separate process: exit status, standard output and
// error, and the bytes it leaves in the files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/cli_process.h"
#include "tests/test_support.h"

using zorq_test::FileExists;
using zorq_test::ReadWholeFile;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

using zorq_test::LastLine;

namespace {

using CliResult = zorq_test::CliRunResult;

// Runs the CLI with `args` in the folder `workDir`, both streams captured.
CliResult RunCli(const std::vector<std::string>& args, const std::string& workDir) {
  zorq_test::CliRun run;
  run.args = args;
  run.workDir = workDir;
  return zorq_test::RunCliProcess(run);
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A folder with the two worked-example dumps in it.
struct Workspace {
  Workspace() {
    WriteWholeFile(dir.Path("logger.txt"), zorq_test::WorkedLoggerDump());
    WriteWholeFile(dir.Path("gauge.txt"), zorq_test::WorkedGaugeDump());
  }
  CliResult Run(const std::vector<std::string>& args) const { return RunCli(args, dir.path()); }
  TempDir dir;
};

TEST(CliInfo, HelpAndVersionGoToStandardOutputAndSucceed) {
  Workspace ws;
  const CliResult help = ws.Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Contains(help.out, "Usage: zorqconvert-cli --from-type N --to-type N")) << help.out;
  EXPECT_TRUE(Contains(help.out, "--append"));
  EXPECT_EQ(help.err, "");
  const CliResult version = ws.Run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_TRUE(
      std::regex_match(version.out, std::regex("zorqconvert-cli [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << version.out;
  EXPECT_EQ(version.err, "");
}

TEST(CliUsage, MalformedCommandLinesExitWith64AndTouchNoFile) {
  // A call without --from-type or --to-type takes them from the header now
  // (CliAutoDetect in cli_batch_test.cpp).
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--from-type", "2", "--to-type", "0", "logger.txt"},
      {"--from-type", "2", "--to-type", "0", "logger.txt", "out.csv", "third"},
      {"--from-type", "4", "--to-type", "0", "logger.txt", "out.csv"},
      {"--from-type", "0", "--to-type", "0", "logger.txt", "out.csv"},
      {"--from-type", "two", "--to-type", "0", "logger.txt", "out.csv"},
      {"--from-type", "2x", "--to-type", "0", "logger.txt", "out.csv"},
      {"--from-type", "", "--to-type", "0", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "2", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "-1", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--gain", "abc", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--gain", "1.5x", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--gain", " 1.5", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--gain", "1.5 ", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--gain", "", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--gain", "inf", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--gain", "nan", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--gain", "1e999", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--offset", "0x10", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--offset=", "logger.txt", "out.csv"},
      {"--from-type", "3", "--to-type", "1", "--gain", "2", "gauge.txt", "out.csv"},
      {"--from-type", "3", "--to-type", "1", "--offset=0.5", "gauge.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--bogus", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "-x", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--append=yes", "logger.txt", "out.csv"},
      {"--from-type", "2", "--from-type", "1", "--to-type", "0", "logger.txt", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "logger.txt", "out.csv", "--gain"},
      {"--from-type", "2", "--to-type", "0", "", "out.csv"},
      {"--from-type", "2", "--to-type", "0", "--help=1", "logger.txt", "out.csv"},
  };
  Workspace ws;
  for (const std::vector<std::string>& args : cases) {
    std::string shown;
    for (const std::string& arg : args)
      shown += "[" + arg + "] ";
    SCOPED_TRACE(shown);
    const CliResult result = ws.Run(args);
    EXPECT_EQ(result.exitCode, 64);
    EXPECT_TRUE(Contains(result.err, "Usage: zorqconvert-cli")) << result.err;
    EXPECT_TRUE(Contains(result.err, "zorqconvert-cli: ")) << "no reason given: " << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(FileExists(ws.dir.Path("out.csv")));
  }
}

TEST(CliConvert, WorkedExamplesComeOutByteForByteInEveryOptionSpelling) {
  struct Case {
    std::vector<std::string> args;
    std::string csv;
  };
  const std::string logger = zorq_test::WorkedLoggerCsv();
  const std::string gauge = zorq_test::WorkedGaugeCsv();
  const Case cases[] = {
      {{"--from-type", "2", "--to-type", "0", "logger.txt", "out.csv"}, logger},
      {{"--from-type=2", "--to-type=0", "logger.txt", "out.csv"}, logger},
      {{"logger.txt", "--to-type", "0", "out.csv", "--from-type", "2"}, logger},
      {{"--from-type", "3", "--to-type", "1", "gauge.txt", "out.csv"}, gauge},
      {{"--to-type=1", "--from-type=3", "--", "gauge.txt", "out.csv"}, gauge},
  };
  for (const Case& c : cases) {
    Workspace ws;
    const CliResult result = ws.Run(c.args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(LastLine(result.err), "Finished All");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(ReadWholeFile(ws.dir.Path("out.csv")), c.csv);
  }
}

// A dump whose CRs were taken out fails, naming the cause and the option;
// with --lf-line-ends it gives the bytes of the dump as written.
TEST(CliConvert, LfLineEndsConvertsADumpWhoseCrsWereTakenOut) {
  struct Case {
    std::string dump;
    std::string csv;
  };
  auto lfAlone = [](const std::string& dump) {
    std::string out;
    for (char c : dump) {
      if (c != '\r')
        out += c;
    }
    return out;
  };
  const Case cases[] = {
      {zorq_test::WorkedLoggerDump(), zorq_test::WorkedLoggerCsv()},
      {zorq_test::WorkedGaugeDump(), zorq_test::WorkedGaugeCsv()},
  };
  for (const Case& c : cases) {
    Workspace ws;
    WriteWholeFile(ws.dir.Path("lf.txt"), lfAlone(c.dump));
    WriteWholeFile(ws.dir.Path("crlf.txt"), c.dump);
    const CliResult adapted = ws.Run({"--lf-line-ends", "lf.txt", "out.csv"});
    EXPECT_EQ(adapted.exitCode, 0) << adapted.err;
    EXPECT_EQ(ReadWholeFile(ws.dir.Path("out.csv")), c.csv);
    // The option leaves a CR LF dump alone.
    const CliResult asWritten = ws.Run({"--lf-line-ends", "crlf.txt", "crlf.csv"});
    EXPECT_EQ(asWritten.exitCode, 0) << asWritten.err;
    EXPECT_EQ(ReadWholeFile(ws.dir.Path("crlf.csv")), c.csv);
    const CliResult plain = ws.Run({"lf.txt", "plain.csv"});
    if (plain.exitCode != 0) {
      EXPECT_TRUE(Contains(plain.err, "LF alone")) << plain.err;
      EXPECT_TRUE(Contains(plain.err, "--lf-line-ends")) << plain.err;
    }
  }
}

// Field `index` (0 to 59) of the f001 record that starts at `record`.
std::string Field(const std::string& csv, size_t record, int index) {
  return csv.substr(record + 31 + static_cast<size_t>(index) * 8, 8);
}

TEST(CliConvert, GainAndOffsetSwitchTheCorrectionOnForLoggerDumps) {
  struct Case {
    std::vector<std::string> options;
    const char* zeroCount;  // line 3, first count: 0
    const char* fullCount;  // line 3, second count: 4095
  };
  const Case cases[] = {
      {{"--gain", "2", "--offset", "0.5"}, ",00.5000", ",08.5000"},
      {{"--gain=2.0", "--offset=5e-1"}, ",00.5000", ",08.5000"},
      {{"--offset", "-1"}, ",-1.0000", ",03.0000"},
      {{"--gain", "0.5"}, ",00.0000", ",02.0000"},
      {{"--gain", "-1"}, ",00.0000", ",-4.0000"},
  };
  constexpr size_t kSecondRecord = 513 + 14;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[0] + " " + c.options[1]);
    Workspace ws;
    std::vector<std::string> args = {"--from-type", "2", "--to-type", "0"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {"logger.txt", "out.csv"});
    const CliResult result = ws.Run(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string csv = ReadWholeFile(ws.dir.Path("out.csv"));
    ASSERT_EQ(csv.size(), 1054u);
    EXPECT_EQ(Field(csv, 0, 12), c.zeroCount);
    EXPECT_EQ(Field(csv, 0, 13), c.fullCount);
    EXPECT_EQ(Field(csv, kSecondRecord, 2), c.fullCount);
    // The filler is never corrected.
    EXPECT_EQ(Field(csv, kSecondRecord, 3), ",-101.00");
    EXPECT_EQ(Field(csv, kSecondRecord, 59), ",-101.00");
  }
}

TEST(CliConvert, ExistingToIsAppendedToOnlyWithAppend) {
  Workspace ws;
  const std::string to = ws.dir.Path("out.csv");
  WriteWholeFile(to, "earlier output\r\n");
  const CliResult refused = ws.Run({"--from-type", "3", "--to-type", "1", "gauge.txt", "out.csv"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(Contains(refused.err, "--append")) << refused.err;
  EXPECT_EQ(LastLine(refused.err), "File Error");
  EXPECT_EQ(ReadWholeFile(to), "earlier output\r\n");

  const CliResult appended =
      ws.Run({"--append", "--from-type", "3", "--to-type", "1", "gauge.txt", "out.csv"});
  EXPECT_EQ(appended.exitCode, 0) << appended.err;
  EXPECT_EQ(LastLine(appended.err), "Finished All");
  EXPECT_EQ(ReadWholeFile(to), "earlier output\r\n" + zorq_test::WorkedGaugeCsv());
}

TEST(CliConvert, FilesThatCannotBeUsedExitWith1BeforeAnythingIsWritten) {
  Workspace ws;
  const std::string longName = std::string(300, 'n') + ".csv";  // longer than a name may be
  ASSERT_EQ(::mkdir(ws.dir.Path("folder").c_str(), 0755), 0);
  ASSERT_EQ(::link(ws.dir.Path("gauge.txt").c_str(), ws.dir.Path("hard.txt").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere/out.csv", ws.dir.Path("dangling.csv").c_str()), 0);
  struct Case {
    std::vector<std::string> files;
    bool append;
    const char* createdNot;  // a file that must not have been created
    const char* popup;       // text expected on standard error
  };
  const Case cases[] = {
      {{"missing.txt", "out.csv"}, false, "out.csv", "missing.txt"},
      {{"folder", "out.csv"}, false, "out.csv", "folder"},
      {{"gauge.txt", "no-such-folder/out.csv"}, false, nullptr, "no-such-folder"},
      {{"gauge.txt", "folder"}, true, nullptr, "folder"},
      {{"gauge.txt", "dangling.csv"}, true, "nowhere", "dangling.csv"},
      {{"gauge.txt", longName}, false, nullptr, "too long"},
      {{"gauge.txt", "gauge.txt"}, true, nullptr, "FROM and TO are the same file; give another TO"},
      {{"gauge.txt", "hard.txt"}, true, nullptr, "FROM and TO are the same file; give another TO"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files[0] + " -> " + c.files[1]);
    std::vector<std::string> args = {"--from-type", "3", "--to-type", "1"};
    if (c.append)
      args.push_back("--append");
    args.insert(args.end(), c.files.begin(), c.files.end());
    const CliResult result = ws.Run(args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(Contains(result.err, c.popup)) << result.err;
    EXPECT_FALSE(Contains(result.err, "Open another")) << "the desktop's words";
    EXPECT_EQ(LastLine(result.err), "File Error");
    if (c.createdNot != nullptr) {
      EXPECT_FALSE(FileExists(ws.dir.Path(c.createdNot)));
    }
    EXPECT_EQ(ReadWholeFile(ws.dir.Path("gauge.txt")), zorq_test::WorkedGaugeDump());
  }
}

TEST(CliConvert, EachConversionFailureExitsWithItsStatusCode) {
  // A gauge header naming logger type 9 instead of 10.
  std::string type9 = zorq_test::WorkedGaugeDump();
  type9.replace(type9.find("T10"), 3, "T09");
  // A date-stamp line too short to decode.
  const std::string shortStamp =
      zorq_test::WorkedGaugeDump().substr(0, 63) + "Y19,M06\r\n" + std::string(80, '1') + "\r\n";
  struct Case {
    std::string dump;
    std::vector<std::string> types;
    int exitCode;
    const char* status;
  };
  const Case cases[] = {
      {"Y" + std::string(127, ' '), {"2", "0"}, 2, "Header Error"},
      {zorq_test::WorkedGaugeDump().substr(0, 128), {"3", "1"}, 2, "Header Error"},
      {zorq_test::WorkedLoggerDump(), {"1", "0"}, 3, "Staff Length Error"},
      {shortStamp, {"3", "1"}, 4, "Date & Time Error"},
      {zorq_test::WorkedLoggerDump(), {"2", "1"}, 6, "Convert To File Type Error"},
      {zorq_test::WorkedLoggerDump(), {"1", "1"}, 6, "Convert To File Type Error"},
      {zorq_test::WorkedGaugeDump(), {"3", "0"}, 6, "Convert To File Type Error"},
      {type9, {"3", "1"}, 7, "Convert From File Type Error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    Workspace ws;
    WriteWholeFile(ws.dir.Path("dump.txt"), c.dump);
    const CliResult result =
        ws.Run({"--from-type", c.types[0], "--to-type", c.types[1], "dump.txt", "out.csv"});
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_EQ(LastLine(result.err), c.status);
    EXPECT_EQ(ReadWholeFile(ws.dir.Path("dump.txt")), c.dump);
    // Nothing under the TO's name; what was written before the failure
    // (the gauge header lines) is kept apart.
    EXPECT_FALSE(FileExists(ws.dir.Path("out.csv")));
    EXPECT_EQ(FileExists(ws.dir.Path("out.csv.partial")), c.exitCode == 4);
    if (c.exitCode == 6) {
      EXPECT_TRUE(
          Contains(result.err, "give --to-type " + std::string(c.types[0] == "3" ? "1" : "0")))
          << result.err;
    }
  }
}

TEST(CliConvert, MismatchedTypesLeaveAnAppendedFileUntouched) {
  Workspace ws;
  WriteWholeFile(ws.dir.Path("out.csv"), "earlier output\r\n");
  const CliResult result =
      ws.Run({"--from-type", "3", "--to-type", "0", "--append", "gauge.txt", "out.csv"});
  EXPECT_EQ(result.exitCode, 6);
  EXPECT_EQ(LastLine(result.err), "Convert To File Type Error");
  EXPECT_EQ(ReadWholeFile(ws.dir.Path("out.csv")), "earlier output\r\n");
}

TEST(CliConvert, ToFileThatTakesNoBytesExitsWith5) {
  if (!FileExists("/dev/full"))
    GTEST_SKIP() << "no /dev/full here";
  Workspace ws;
  const CliResult result =
      ws.Run({"--from-type", "3", "--to-type", "1", "--append", "gauge.txt", "/dev/full"});
  EXPECT_EQ(result.exitCode, 5) << result.err;
  EXPECT_EQ(LastLine(result.err), "Write to File Error");
}

int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// Runs the CLI on a dump of samples/ and returns what it wrote.
std::string ConvertSample(const char* dump, const char* fromType, const char* toType) {
  const std::string path = std::string(ZORQ_SOURCE_DIR) + "/samples/" + dump;
  TempDir dir;
  const CliResult result =
      RunCli({"--from-type", fromType, "--to-type", toType, path, "out.csv"}, dir.path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "Finished All\n");
  return ReadWholeFile(dir.Path("out.csv"));
}

TEST(CliSamples, LoggerSampleGivesFiveRecordsStampedByItsBursts) {
  const std::string csv = ConvertSample("logger_type2_dump.txt", "2", "0");
  ASSERT_EQ(csv.size(), 5u * (513 + 14));
  const char* times[] = {"09:00:00", "09:00:15", "09:30:00", "10:00:00", "10:00:15"};
  for (size_t i = 0; i < 5; ++i) {
    const size_t record = i * (513 + 14);
    EXPECT_EQ(csv.substr(record, 31), std::string("f001,S04,B0,2024-03-12T") + times[i]);
    EXPECT_EQ(csv.substr(record + 513, 8), "C001,D4,");
  }
  EXPECT_EQ(Occurrences(csv, ",-101.00"), 56);
}

TEST(CliSamples, GaugeSampleGivesItsHeaderTwoDateStampsAndEveryValue) {
  const std::string csv = ConvertSample("gauge_t10_dump.txt", "3", "1");
  EXPECT_EQ(csv.rfind(" Wave Gauge Converted File\r\n Part #ZORQ-207-118K-3\r\n", 0), 0u);
  EXPECT_EQ(Occurrences(csv, "D1,C8,2024-03-12\r\n"), 2);
  EXPECT_EQ(Occurrences(csv, "D1,C1,"), 63);
  EXPECT_EQ(Occurrences(csv, "D1,C0,04\r\n"), 63);
}

}  // namespace
