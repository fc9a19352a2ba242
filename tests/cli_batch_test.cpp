// zorqconvert-cli with several inputs, auto kinds, JSON reports, pipes, safe
// outputs, signals and the append lock, run as a separate process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netcdf.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/options.h"
#include "convert/report_text.h"
#include "tests/cli_process.h"
#include "tests/test_support.h"

using zorq_test::CliRun;
using zorq_test::CliRunResult;
using zorq_test::FileExists;
using zorq_test::Json;
using zorq_test::JsonLines;
using zorq_test::ReadWholeFile;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

using zorq_test::LastLine;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// Every name in `folder`, hidden ones too, without the captured streams.
std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != ".cli-stdout" && name != ".cli-stderr")
      names.insert(name);
  }
  return names;
}

// The worked logger dump with another range code: 2 is in both logger tables.
std::string AmbiguousLoggerDump() {
  std::string dump = zorq_test::WorkedLoggerDump();
  dump.replace(41, 3, "A2,");
  return dump;
}

std::string GaugeTypeNineDump() {
  std::string dump = zorq_test::WorkedGaugeDump();
  dump.replace(dump.find("T10"), 3, "T09");
  return dump;
}

std::string GaugeShortStampDump() {
  return zorq_test::WorkedGaugeDump().substr(0, 63) + "Y19,M06\r\n" + std::string(80, '1') + "\r\n";
}

// A folder with the worked dumps: logger.txt, gauge.txt.
struct Workspace {
  Workspace() {
    Write("logger.txt", zorq_test::WorkedLoggerDump());
    Write("gauge.txt", zorq_test::WorkedGaugeDump());
  }
  void Write(const std::string& name, const std::string& bytes) const {
    WriteWholeFile(dir.Path(name), bytes);
  }
  std::string Read(const std::string& name) const { return ReadWholeFile(dir.Path(name)); }
  bool Exists(const std::string& name) const { return FileExists(dir.Path(name)); }
  CliRunResult Run(const std::vector<std::string>& args) const {
    return zorq_test::RunCliProcess(CliRun{args, dir.path(), {}, {}, {}});
  }
  CliRunResult RunWithInput(const std::vector<std::string>& args, const std::string& input) const {
    return zorq_test::RunCliProcess(CliRun{args, dir.path(), input, {}, {}});
  }
  TempDir dir;
};

// --- Output names, collisions and refusals ---

TEST(CliOutputs, OutputDirNamesEachOutputAfterItsInputWithoutTheLastExtension) {
  Workspace ws;
  ASSERT_EQ(::mkdir(ws.dir.Path("dumps").c_str(), 0755), 0);
  ws.Write("dumps/site.a.txt", zorq_test::WorkedGaugeDump());
  ws.Write("dumps/plain", zorq_test::WorkedGaugeDump());
  ws.Write("dumps/.hidden", zorq_test::WorkedGaugeDump());
  const CliRunResult result =
      ws.Run({"-o", "out", "dumps/site.a.txt", "dumps/plain", "dumps/.hidden", "logger.txt"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Listing(ws.dir.Path("out")),
            (std::set<std::string>{"site.a.csv", "plain.csv", ".hidden.csv", "logger.csv"}));
  EXPECT_EQ(ws.Read("out/site.a.csv"), zorq_test::WorkedGaugeCsv());
  EXPECT_EQ(ws.Read("out/logger.csv"), zorq_test::WorkedLoggerCsv());
}

TEST(CliOutputs, TwoInputsForOneOutputNameAreAUsageErrorBeforeAnythingIsConverted) {
  Workspace ws;
  ASSERT_EQ(::mkdir(ws.dir.Path("b").c_str(), 0755), 0);
  ws.Write("b/gauge.csv", zorq_test::WorkedGaugeDump());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-o", "out", "gauge.txt", "logger.txt", "b/gauge.csv"},
        std::vector<std::string>{"--output-dir=out", "gauge.txt", "./gauge.txt"}}) {
    const CliRunResult result = ws.Run(args);
    EXPECT_EQ(result.exitCode, 64);
    EXPECT_TRUE(Contains(result.err, "would both be written to")) << result.err;
    EXPECT_FALSE(ws.Exists("out"));
  }
}

TEST(CliOutputs, AnExistingOutputIsRefusedUnlessAppendedToOrReplaced) {
  Workspace ws;
  ASSERT_EQ(::mkdir(ws.dir.Path("out").c_str(), 0755), 0);
  ws.Write("out/gauge.csv", "earlier\r\n");
  ASSERT_EQ(::chmod(ws.dir.Path("out/gauge.csv").c_str(), 0604), 0);

  const CliRunResult refused = ws.Run({"-o", "out", "gauge.txt", "logger.txt"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(Contains(refused.err, "--overwrite")) << refused.err;
  EXPECT_EQ(ws.Read("out/gauge.csv"), "earlier\r\n");
  // The other input is converted all the same.
  EXPECT_EQ(ws.Read("out/logger.csv"), zorq_test::WorkedLoggerCsv());

  const CliRunResult appended = ws.Run({"--append", "-o", "out", "gauge.txt"});
  EXPECT_EQ(appended.exitCode, 0) << appended.err;
  EXPECT_EQ(ws.Read("out/gauge.csv"), "earlier\r\n" + zorq_test::WorkedGaugeCsv());

  const CliRunResult replaced = ws.Run({"--overwrite", "-o", "out", "gauge.txt", "logger.txt"});
  EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
  EXPECT_EQ(ws.Read("out/gauge.csv"), zorq_test::WorkedGaugeCsv());
  EXPECT_EQ(ws.Read("out/logger.csv"), zorq_test::WorkedLoggerCsv());
  struct stat info {};
  ASSERT_EQ(::stat(ws.dir.Path("out/gauge.csv").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0604u) << "a replaced file keeps its permissions";

  EXPECT_EQ(ws.Run({"--append", "--overwrite", "-o", "out", "gauge.txt"}).exitCode, 64);
  // Replacing the dump by its own output would lose it.
  ws.Write("out/self.csv", zorq_test::WorkedGaugeDump());
  const CliRunResult self = ws.Run({"--overwrite", "-o", "out", "out/self.csv"});
  EXPECT_EQ(self.exitCode, 1) << self.err;
  EXPECT_EQ(ws.Read("out/self.csv"), zorq_test::WorkedGaugeDump());
  EXPECT_EQ(Listing(ws.dir.Path("out")),
            (std::set<std::string>{"gauge.csv", "logger.csv", "self.csv"}));
}

TEST(CliOutputs, ANewOutputGetsThePermissionsOfTheUmask) {
  Workspace ws;
  for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
    std::filesystem::remove(ws.dir.Path("out.csv"));
    const CliRunResult result =
        zorq_test::RunCliProcess(CliRun{{"gauge.txt", "out.csv"}, ws.dir.path(), {}, mask, {}});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    struct stat info {};
    ASSERT_EQ(::stat(ws.dir.Path("out.csv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask);
  }
}

// --- Exit statuses with several inputs ---

TEST(CliExitStatus, SeveralInputsExitWithTheFirstThatDidNotFinish) {
  Workspace ws;
  ws.Write("type9.txt", GaugeTypeNineDump());
  ws.Write("stamp.txt", GaugeShortStampDump());
  ASSERT_EQ(::mkdir(ws.dir.Path("folder.txt").c_str(), 0755), 0);
  struct Case {
    std::vector<std::string> inputs;
    int exitCode;
  };
  const Case cases[] = {
      {{"gauge.txt"}, 0},
      {{"gauge.txt", "type9.txt", "stamp.txt"}, 7},
      {{"stamp.txt", "type9.txt", "gauge.txt"}, 4},
      {{"gauge.txt", "folder.txt", "type9.txt"}, 1},
      {{"missing.txt", "gauge.txt"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.inputs[0] + " ... " + std::to_string(c.exitCode));
    std::filesystem::remove_all(ws.dir.Path("out"));
    std::vector<std::string> args = {"--from-type", "3", "-o", "out"};
    args.insert(args.end(), c.inputs.begin(), c.inputs.end());
    const CliRunResult result = ws.Run(args);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    // Each input converts as it would alone, whatever stands before it.
    EXPECT_EQ(ws.Read("out/gauge.csv"), zorq_test::WorkedGaugeCsv());
    // One status line per input, in command-line order.
    int statusLines = 0;
    for (const std::string& line : Lines(result.err)) {
      statusLines += line == "Finished All" || line == "File Error" ||
                     line == "Date & Time Error" || line == "Convert From File Type Error";
    }
    EXPECT_EQ(statusLines, static_cast<int>(c.inputs.size())) << result.err;
  }
}

TEST(CliExitStatus, FailuresNameTheInputAndLineAsCompilersDo) {
  Workspace ws;
  ws.Write("stamp.txt", GaugeShortStampDump());
  const CliRunResult result = ws.Run({"stamp.txt", "out.csv"});
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(LastLine(result.err), "Date & Time Error");
  const std::vector<std::string> lines = Lines(result.err);
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with("stamp.txt:2: the date-stamp line");
  })) << result.err;
}

// --- Names on a terminal ---

TEST(CliTerminal, ANameWithControlBytesIsEscapedAndKeepsItsFailureOnOneLine) {
  Workspace ws;
  // A newline, and a sequence that would retitle the terminal.
  const std::string name = "st\namp\x1b]0;owned\x07.txt";
  ws.Write(name, GaugeShortStampDump());
  const std::string shown = "'st'$'\\n''amp'$'\\033'']0;owned'$'\\a''.txt'";
  const CliRunResult result = ws.Run({name, "out.csv"});
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_TRUE(Contains(result.err, "\n" + shown + ":2: ")) << result.err;
  const CliRunResult onTerminal =
      zorq_test::RunCliOnTerminal(CliRun{{"--check", name}, ws.dir.path(), {}, {}, {}});
  EXPECT_EQ(onTerminal.exitCode, 4);
  for (const CliRunResult* run : {&result, &onTerminal}) {
    EXPECT_FALSE(Contains(run->err, "\x1b]")) << run->err;
    EXPECT_FALSE(Contains(run->err, "\x07")) << run->err;
    EXPECT_FALSE(Contains(run->err, "st\namp")) << run->err;
  }
  EXPECT_TRUE(Contains(onTerminal.err, shown)) << onTerminal.err;
}

// --- The output folder ---

TEST(CliOutputDir, AFolderIsMadeWithItsParentsOnceOrFailsOnce) {
  Workspace ws;
  const CliRunResult made = ws.Run({"-o", "a/b/c", "gauge.txt", "logger.txt"});
  EXPECT_EQ(made.exitCode, 0) << made.err;
  EXPECT_EQ(ws.Read("a/b/c/gauge.csv"), zorq_test::WorkedGaugeCsv());
  EXPECT_EQ(ws.Read("a/b/c/logger.csv"), zorq_test::WorkedLoggerCsv());

  ws.Write("plain", "a file, not a folder");
  for (const char* dir : {"plain/sub", "plain"}) {
    SCOPED_TRACE(dir);
    const CliRunResult failed = ws.Run({"-o", dir, "gauge.txt", "logger.txt"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(Occurrences(failed.err, "plain"), 1) << failed.err;
    const CliRunResult json = ws.Run({"--json", "-o", dir, "gauge.txt", "logger.txt"});
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(Occurrences(json.err, "plain"), 1) << json.err;
    const std::vector<Json> reports = JsonLines(json.out);
    ASSERT_EQ(reports.size(), 2u);
    for (const Json& report : reports)
      EXPECT_EQ(report.at("exit"), 1);
  }
}

TEST(CliOutputDir, AMissingFolderNamedLikeAnOutputFileIsRefusedWithWhatToDo) {
  Workspace ws;
  const CliRunResult one = ws.Run({"logger.txt", "-o", "result.csv"});
  EXPECT_EQ(one.exitCode, 64);
  EXPECT_TRUE(Contains(one.err, "give FROM TO: zorqconvert-cli logger.txt result.csv")) << one.err;
  EXPECT_FALSE(ws.Exists("result.csv"));
  EXPECT_EQ(ws.Run({"-o", "Result.CSV", "logger.txt", "gauge.txt"}).exitCode, 64);
  // A folder of that name that is there already is used.
  ASSERT_EQ(::mkdir(ws.dir.Path("result.csv").c_str(), 0755), 0);
  EXPECT_EQ(ws.Run({"logger.txt", "-o", "result.csv"}).exitCode, 0);
  EXPECT_EQ(ws.Read("result.csv/logger.csv"), zorq_test::WorkedLoggerCsv());
}

// --- Standard output that is full or goes away ---

// Runs `command` in bash in the workspace, the CLI first on PATH; standard
// error goes to the file "err".
int RunShell(const Workspace& ws, const std::string& command) {
  const std::string folder = std::filesystem::path(ZORQ_CLI_PATH).parent_path().string();
  const std::string line = "cd '" + ws.dir.path() + "' && PATH='" + folder +
                           "':\"$PATH\" bash -c 'set -o pipefail; " + command + "' 2>err";
  // RunningCli ignores SIGPIPE in this process for good; a shell cannot undo
  // that for its commands, and cat would then say "write error" instead of
  // ending quietly.
  const auto previous = ::signal(SIGPIPE, SIG_DFL);
  const int status = std::system(line.c_str());
  ::signal(SIGPIPE, previous);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliStandardOutput, AJsonReportThatCannotBeWrittenFailsTheCall) {
  if (!FileExists("/dev/full"))
    GTEST_SKIP() << "no /dev/full here";
  Workspace ws;
  EXPECT_EQ(RunShell(ws, "zorqconvert-cli --json --check logger.txt gauge.txt > /dev/full"), 1);
  EXPECT_EQ(Occurrences(ws.Read("err"), "cannot write the JSON report"), 1) << ws.Read("err");
  EXPECT_EQ(RunShell(ws, "zorqconvert-cli --json -o out logger.txt > /dev/full"), 1);
  EXPECT_EQ(ws.Read("out/logger.csv"), zorq_test::WorkedLoggerCsv()) << "the outputs are made";
}

TEST(CliStandardOutput, AReaderThatGoesAwayEndsTheCallQuietlyAsCatDoes) {
  Workspace ws;
  ws.Write("big.txt", zorq_test::RepeatedWorkedLoggerDump(4000));  // far more than a pipe holds
  const std::set<std::string> before = Listing(ws.dir.path());
  for (const std::string& command :
       {std::string("zorqconvert-cli big.txt - | head -c 100 > /dev/null"),
        // Far more reports than a pipe holds: the writer meets the closed end.
        std::string("zorqconvert-cli --json --check $(yes logger.txt | head -n 300) | head -n 1 "
                    "> /dev/null"),
        std::string("cat big.txt | zorqconvert-cli - - | head -c 10 > /dev/null")}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(RunShell(ws, command), 128 + SIGPIPE);
    EXPECT_EQ(ws.Read("err"), "");
  }
  std::set<std::string> after = Listing(ws.dir.path());
  after.erase("err");
  EXPECT_EQ(after, before);
}

// --- Failed conversions ---

TEST(CliFailedOutputs, AFailedConversionLeavesNothingUnderItsNameAndKeepsWhatItWroteApart) {
  const std::string header = zorq_test::WorkedGaugeOutputHeader();  // written before line 2 fails
  struct Case {
    const char* mode;       // "", "--overwrite" or "--append"
    const char* dump;       // stamp.txt fails at line 2, type9.txt before any write
    const char* outBefore;  // nullptr: no output before
    std::string outAfter;   // "": none
    bool partial;
  };
  const Case cases[] = {
      {"", "stamp.txt", nullptr, "", true},
      {"--overwrite", "stamp.txt", "earlier\r\n", "earlier\r\n", true},
      {"--append", "stamp.txt", "earlier\r\n", "earlier\r\n" + header, false},
      {"", "type9.txt", nullptr, "", false},
      {"--overwrite", "type9.txt", "earlier\r\n", "earlier\r\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.dump);
    Workspace ws;
    ws.Write("stamp.txt", GaugeShortStampDump());
    ws.Write("type9.txt", GaugeTypeNineDump());
    ws.Write("out.csv.partial", "an older partial output");
    if (c.outBefore != nullptr)
      ws.Write("out.csv", c.outBefore);
    std::vector<std::string> args = {"--json", c.dump, "out.csv"};
    if (*c.mode != '\0')
      args.insert(args.begin(), c.mode);
    const CliRunResult result = ws.Run(args);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_EQ(ws.Exists("out.csv"), !c.outAfter.empty());
    if (!c.outAfter.empty()) {
      EXPECT_EQ(ws.Read("out.csv"), c.outAfter);
    }
    const Json report = JsonLines(result.out).at(0);
    if (c.partial) {
      EXPECT_EQ(ws.Read("out.csv.partial"), header) << "a newer partial output replaces an older";
      EXPECT_EQ(report.at("partial_output"), "out.csv.partial");
      EXPECT_TRUE(Contains(result.err, "is kept as 'out.csv.partial'")) << result.err;
    } else {
      EXPECT_EQ(ws.Read("out.csv.partial"), "an older partial output");
      EXPECT_TRUE(report.at("partial_output").is_null());
    }
  }
}

TEST(CliFailedOutputs, TheResumeRecipeConvertsAFailedDumpAgainAndExitsWithItsStatus) {
  Workspace ws;
  ASSERT_EQ(::mkdir(ws.dir.Path("dumps").c_str(), 0755), 0);
  ws.Write("dumps/gauge.txt", zorq_test::WorkedGaugeDump());
  ws.Write("dumps/stamp.txt", GaugeShortStampDump());
  // docs/batch.md's recipe, one dump at a time as parallel runs it.
  const auto resume = [&](const char* dump) {
    return RunShell(ws, std::string("test -e out/") + dump +
                            ".csv || zorqconvert-cli -o out dumps/" + dump + ".txt");
  };
  EXPECT_EQ(resume("gauge"), 0);
  EXPECT_EQ(resume("stamp"), 4);
  EXPECT_FALSE(ws.Exists("out/stamp.csv"));
  EXPECT_EQ(resume("stamp"), 4) << "converted again, not skipped and not \"already exists\"";
  EXPECT_EQ(resume("gauge"), 0);
  EXPECT_EQ(ws.Read("out/gauge.csv"), zorq_test::WorkedGaugeCsv());
  if (std::system("command -v parallel >/dev/null 2>&1") == 0) {
    EXPECT_EQ(RunShell(ws,
                       "parallel --will-cite \"test -e out/{/.}.csv || zorqconvert-cli -o out "
                       "{}\" ::: dumps/*.txt"),
              1)
        << "one job failed again: the broken dump";
  }
}

// --- Replacing an output ---

TEST(CliOverwrite, AReplacedFileKeepsItsModeAndOwnerAndAReadOnlyOneIsRefused) {
  Workspace ws;
  ws.Write("out.csv", "earlier\r\n");
  ASSERT_EQ(::chmod(ws.dir.Path("out.csv").c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(ws.dir.Path("out.csv").c_str(), 65534, 65534), 0);
  }
  EXPECT_EQ(ws.Run({"--overwrite", "gauge.txt", "out.csv"}).exitCode, 0);
  EXPECT_EQ(ws.Read("out.csv"), zorq_test::WorkedGaugeCsv());
  struct stat info {};
  ASSERT_EQ(::stat(ws.dir.Path("out.csv").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(info.st_uid, 65534u) << "root replaces another's file without taking it";
    EXPECT_EQ(info.st_gid, 65534u);
  }

  ws.Write("locked.csv", "earlier\r\n");
  ASSERT_EQ(::chmod(ws.dir.Path("locked.csv").c_str(), 0444), 0);
  const CliRunResult refused = ws.Run({"--overwrite", "gauge.txt", "locked.csv"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(Contains(refused.err, "cannot replace 'locked.csv': it is read-only")) << refused.err;
  EXPECT_EQ(ws.Read("locked.csv"), "earlier\r\n");
}

TEST(CliOverwrite, AFolderThatCannotBeWrittenIsNamedAsTheCause) {
  Workspace ws;
  const bool root = ::geteuid() == 0;
  if (root && std::system("command -v setpriv >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "root writes any folder, and setpriv is not here to take that power away";
  ASSERT_EQ(::mkdir(ws.dir.Path("shut").c_str(), 0755), 0);
  ws.Write("shut/out.csv", "earlier\r\n");
  ASSERT_EQ(::chmod(ws.dir.Path("shut/out.csv").c_str(), 0666), 0);
  ASSERT_EQ(::chmod(ws.dir.Path("shut").c_str(), 0555), 0);
  // Root stays root but loses the power to pass over modes, so the folder's
  // own mode refuses it. (Running as another user instead depends on that
  // user reaching the program, its libraries and the dump.)
  const std::string as = root ? "setpriv --bounding-set=-dac_override,-dac_read_search "
                                "--inh-caps=-dac_override,-dac_read_search "
                              : "";
  EXPECT_EQ(RunShell(ws, as + "zorqconvert-cli --overwrite gauge.txt shut/out.csv"), 1);
  EXPECT_TRUE(Contains(ws.Read("err"),
                       "cannot replace 'shut/out.csv': the folder 'shut' cannot "
                       "be written"))
      << ws.Read("err");
  EXPECT_EQ(RunShell(ws, as + "zorqconvert-cli gauge.txt shut/new.csv"), 1);
  EXPECT_TRUE(Contains(ws.Read("err"),
                       "cannot create 'shut/new.csv': the folder 'shut' cannot "
                       "be written"))
      << ws.Read("err");
  EXPECT_EQ(ws.Read("shut/out.csv"), "earlier\r\n");
  ::chmod(ws.dir.Path("shut").c_str(), 0755);
}

TEST(CliMessages, ADumpWithCrLineEndsSaysWhyItsOutputIsEmpty) {
  Workspace ws;
  std::string dump = zorq_test::WorkedGaugeDump();
  for (size_t at = dump.find("\r\n"); at != std::string::npos; at = dump.find("\r\n", at))
    dump.erase(at + 1, 1);
  ws.Write("cr.txt", dump);
  const CliRunResult result = ws.Run({"--check", "cr.txt"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(result.err, "cr.txt: its lines end in CR alone")) << result.err;
  EXPECT_TRUE(Contains(ws.Run({"--quiet", "--check", "cr.txt"}).err, "end in CR alone"));
}

// --- Auto detection ---

TEST(CliAutoDetect, TheHeaderChoosesBothKinds) {
  Workspace ws;
  // Today's spellings without the types now read them from the header.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"logger.txt", "out.csv"},
        std::vector<std::string>{"--to-type", "0", "logger.txt", "out.csv"},
        std::vector<std::string>{"--from-type", "2", "logger.txt", "out.csv"},
        std::vector<std::string>{"--from-type=auto", "logger.txt", "out.csv"}}) {
    std::filesystem::remove(ws.dir.Path("out.csv"));
    const CliRunResult result = ws.Run(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ws.Read("out.csv"), zorq_test::WorkedLoggerCsv());
  }
  const CliRunResult gauge = ws.Run({"gauge.txt", "gauge.csv"});
  EXPECT_EQ(gauge.exitCode, 0) << gauge.err;
  EXPECT_EQ(ws.Read("gauge.csv"), zorq_test::WorkedGaugeCsv());
  // The correction belongs to logger dumps.
  EXPECT_EQ(ws.Run({"--gain", "2", "gauge.txt", "gauge2.csv"}).exitCode, 64);
  EXPECT_FALSE(ws.Exists("gauge2.csv"));
}

// The worked logger dump with a range code that neither logger table holds.
std::string UnscaledLoggerDump() {
  std::string dump = zorq_test::WorkedLoggerDump();
  dump.replace(41, 3, "A9,");
  return dump;
}

TEST(CliAutoDetect, AnInputOfNoKnownKindFailsAloneAndSaysWhy) {
  Workspace ws;
  ws.Write("both.txt", AmbiguousLoggerDump());
  ws.Write("unscaled.txt", UnscaledLoggerDump());
  ws.Write("empty.txt", "");
  ws.Write("short.txt", std::string(50, 'Y'));
  ws.Write("binary.txt", std::string("Y\0\x01\x02", 4) + std::string(300, '\xee'));
  ws.Write("blank.txt", "Y" + std::string(200, ' '));
  ws.Write("letter.txt", "Z" + std::string(200, ' '));
  struct Case {
    const char* input;
    int exitCode;
    const char* why;
    const char* statusLine;  // nullptr: none, the input was refused for its options
  };
  const Case cases[] = {
      {"both.txt", 64,
       "range code 2 with staff code 100 is in the tables of both; give "
       "--from-type 1 or --from-type 2",
       nullptr},
      {"unscaled.txt", 3, "range code 9 with staff code 100 is in neither logger type's table",
       "Staff Length Error"},
      {"empty.txt", 2, "'empty.txt' is not a dump this program knows: it is empty", "Header Error"},
      {"/dev/null", 2, "'/dev/null' is not a dump this program knows: it is empty", "Header Error"},
      {"short.txt", 2, "it holds only 50 bytes, and a dump's header alone takes 129",
       "Header Error"},
      {"binary.txt", 2, "it is not text (byte 1 is 0x00)", "Header Error"},
      {"blank.txt", 2, "its header has neither a logger dump's letters", "Header Error"},
      {"letter.txt", 2, "it starts with 'Z', and a dump's header starts with 'Y'", "Header Error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    std::filesystem::remove_all(ws.dir.Path("out"));
    // Between two dumps that convert, in a batch.
    const CliRunResult result = ws.Run({"-o", "out", "gauge.txt", c.input, "logger.txt"});
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_TRUE(Contains(result.err, c.why)) << result.err;
    EXPECT_FALSE(Contains(result.err, "Usage:")) << result.err;
    EXPECT_EQ(ws.Read("out/gauge.csv"), zorq_test::WorkedGaugeCsv());
    EXPECT_EQ(ws.Read("out/logger.csv"), zorq_test::WorkedLoggerCsv());
    const std::string name = std::filesystem::path(c.input).stem().string();
    EXPECT_FALSE(ws.Exists("out/" + name + ".csv"));
    std::vector<std::string> lines = Lines(result.err);
    const auto told = std::find_if(lines.begin(), lines.end(),
                                   [&](const std::string& l) { return Contains(l, c.why); });
    ASSERT_NE(told, lines.end());
    ASSERT_NE(told + 1, lines.end());
    if (c.statusLine != nullptr)
      EXPECT_EQ(*(told + 1), c.statusLine);
    else
      EXPECT_TRUE(Contains(*(told + 1), "logger.txt")) << "no status line between";
  }
  // Told the type, the same dumps convert.
  EXPECT_EQ(ws.Run({"--from-type", "2", "both.txt", "out.csv"}).exitCode, 0);
}

TEST(CliAutoDetect, CheckWithJsonReportsEveryInputAndExitsWithTheFirstFailure) {
  Workspace ws;
  ws.Write("both.txt", AmbiguousLoggerDump());
  ws.Write("empty.txt", "");
  const CliRunResult result =
      ws.Run({"--check", "--json", "logger.txt", "empty.txt", "both.txt", "gauge.txt"});
  EXPECT_EQ(result.exitCode, 2) << result.err;
  const std::vector<Json> reports = JsonLines(result.out);
  ASSERT_EQ(reports.size(), 4u) << result.out;
  EXPECT_EQ(reports[0].at("status"), 8);
  EXPECT_EQ(reports[1].at("status"), 2);
  EXPECT_EQ(reports[1].at("exit"), 2);
  EXPECT_TRUE(reports[1].at("from_type").is_null());
  EXPECT_EQ(reports[1].at("detected").at("kind"), "unknown");
  EXPECT_TRUE(Contains(reports[1].at("failure").at("reason").get<std::string>(), "it is empty"));
  EXPECT_EQ(reports[2].at("exit"), 64);
  EXPECT_EQ(reports[2].at("detected").at("tables"), "both");
  EXPECT_EQ(reports[3].at("status"), 8);
  EXPECT_EQ(ws.Run({"--check", "both.txt", "empty.txt"}).exitCode, 64);
}

TEST(CliCheck, CheckConvertsWithTheSameStatusesAndWritesNothing) {
  Workspace ws;
  ws.Write("stamp.txt", GaugeShortStampDump());
  const std::set<std::string> before = Listing(ws.dir.path());
  const CliRunResult fine = ws.Run({"--check", "logger.txt", "gauge.txt"});
  EXPECT_EQ(fine.exitCode, 0) << fine.err;
  const CliRunResult failing = ws.Run({"--check", "gauge.txt", "stamp.txt"});
  EXPECT_EQ(failing.exitCode, 4) << failing.err;
  EXPECT_EQ(LastLine(failing.err), "Date & Time Error");
  EXPECT_EQ(Listing(ws.dir.path()), before);
  EXPECT_EQ(ws.Run({"--check", "-o", "out", "gauge.txt"}).exitCode, 64);
  EXPECT_EQ(ws.Run({"--check", "--append", "gauge.txt"}).exitCode, 64);
}

// --- JSON ---

TEST(CliJson, OneObjectPerInputInCommandLineOrderWithEveryField) {
  Workspace ws;
  ws.Write("stamp.txt", GaugeShortStampDump());
  std::string odd = zorq_test::WorkedLoggerDump();
  odd.replace(odd.find("2048,2050"), 9, "22x1,2050");  // a count that is not one number
  ws.Write("odd.txt", odd);
  const CliRunResult result = ws.Run(
      {"--json", "--jobs", "2", "--tz", "UTC", "-o", "out", "logger.txt", "stamp.txt", "odd.txt"});
  EXPECT_EQ(result.exitCode, 4) << result.err;
  const std::vector<Json> reports = JsonLines(result.out);
  ASSERT_EQ(reports.size(), 3u) << result.out;
  const char* fields[] = {"from",
                          "to",
                          "from_type",
                          "to_type",
                          "status",
                          "message",
                          "exit",
                          "lines_read",
                          "records_written",
                          "bytes_read",
                          "bytes_written",
                          "first_record_time",
                          "last_record_time",
                          "failure",
                          "anomalies",
                          "anomaly_counts",
                          "detected",
                          "tz"};
  for (const Json& report : reports) {
    for (const char* field : fields)
      EXPECT_TRUE(report.contains(field)) << field;
  }
  const Json& logger = reports[0];
  EXPECT_EQ(logger.at("from"), "logger.txt");
  EXPECT_EQ(logger.at("to"), "out/logger.csv");
  EXPECT_EQ(logger.at("from_type"), 2);
  EXPECT_EQ(logger.at("to_type"), 0);
  EXPECT_EQ(logger.at("status"), 8);
  EXPECT_EQ(logger.at("message"), "Finished All");
  EXPECT_EQ(logger.at("exit"), 0);
  EXPECT_EQ(logger.at("records_written"), 2);
  EXPECT_EQ(logger.at("bytes_read"), static_cast<double>(zorq_test::WorkedLoggerDump().size()));
  EXPECT_EQ(logger.at("bytes_written"), 1054);
  EXPECT_EQ(logger.at("first_record_time"), "2019-06-30T14:05:30");
  EXPECT_EQ(logger.at("last_record_time"), "2019-06-30T14:05:45");
  EXPECT_TRUE(logger.at("failure").is_null());
  EXPECT_EQ(logger.at("detected").at("kind"), "logger");
  EXPECT_EQ(logger.at("tz"), "UTC");

  const Json& stamp = reports[1];
  EXPECT_EQ(stamp.at("from"), "stamp.txt");
  EXPECT_EQ(stamp.at("status"), 4);
  EXPECT_EQ(stamp.at("exit"), 4);
  EXPECT_EQ(stamp.at("message"), "Date & Time Error");
  EXPECT_EQ(stamp.at("failure").at("line"), 2);
  EXPECT_EQ(stamp.at("failure").at("byte"), 63);
  EXPECT_FALSE(stamp.at("failure").at("reason").get<std::string>().empty());
  EXPECT_EQ(stamp.at("detected").at("kind"), "gauge");

  const Json& oddReport = reports[2];
  EXPECT_EQ(oddReport.at("status"), 8);
  EXPECT_EQ(oddReport.at("anomaly_counts").at("not-a-number"), 1);
  // The worked dump's last line is broken off, and stays so here.
  EXPECT_EQ(oddReport.at("anomaly_counts").at("broken-off-line"), 1);
  ASSERT_EQ(oddReport.at("anomalies").size(), 2u);
  const Json& anomaly = oddReport.at("anomalies")[0];
  EXPECT_EQ(anomaly.at("kind"), "not-a-number");
  EXPECT_EQ(anomaly.at("line"), 3);
  EXPECT_EQ(anomaly.at("byte"), 63 + 26);
  EXPECT_TRUE(anomaly.contains("detail"));
  // Nothing but the reports on standard output; nothing for people on error.
  EXPECT_FALSE(Contains(result.err, "Finished All")) << result.err;
}

TEST(CliJson, StringsAreEscapedAndTheReportsOfCheckAndRefusalsHaveNoOutput) {
  Workspace ws;
  const std::string name = std::string("q\"b\\s\x01t\tu\xc3\xa9x\xff.txt");
  ws.Write(name, zorq_test::WorkedGaugeDump());
  ASSERT_EQ(::mkdir(ws.dir.Path("folder").c_str(), 0755), 0);
  const CliRunResult result = ws.Run({"--json", "--check", name, "folder"});
  EXPECT_EQ(result.exitCode, 1) << result.err;
  const std::vector<Json> reports = JsonLines(result.out);
  ASSERT_EQ(reports.size(), 2u) << result.out;
  EXPECT_EQ(reports[0].at("from"), "q\"b\\s\x01t\tu\xc3\xa9x\xef\xbf\xbd.txt");
  // The name's own bytes stay beside it, since U+FFFD could stand for any.
  EXPECT_EQ(reports[0].at("from_bytes").get<std::vector<unsigned char>>(),
            std::vector<unsigned char>(name.begin(), name.end()));
  EXPECT_FALSE(reports[1].contains("from_bytes")) << "a UTF-8 name needs none";
  EXPECT_TRUE(reports[0].at("to").is_null());
  EXPECT_EQ(reports[0].at("status"), 8);
  EXPECT_EQ(reports[1].at("status"), 1);
  EXPECT_EQ(reports[1].at("exit"), 1);
  EXPECT_TRUE(Contains(reports[1].at("failure").at("reason").get<std::string>(), "folder"));
  EXPECT_TRUE(reports[1].at("from_type").is_null()) << "auto could not look at a folder";
}

// --- Standard input and output ---

TEST(CliPipes, StandardInputAndOutputCarryTheWorkedExamples) {
  Workspace ws;
  const CliRunResult toFile = ws.RunWithInput({"-", "out.csv"}, zorq_test::WorkedLoggerDump());
  EXPECT_EQ(toFile.exitCode, 0) << toFile.err;
  EXPECT_EQ(ws.Read("out.csv"), zorq_test::WorkedLoggerCsv());
  const CliRunResult both = ws.RunWithInput({"-", "-"}, zorq_test::WorkedGaugeDump());
  EXPECT_EQ(both.exitCode, 0) << both.err;
  EXPECT_EQ(both.out, zorq_test::WorkedGaugeCsv());
  const CliRunResult toOut = ws.Run({"--from-type", "2", "logger.txt", "-"});
  EXPECT_EQ(toOut.exitCode, 0) << toOut.err;
  EXPECT_EQ(toOut.out, zorq_test::WorkedLoggerCsv());
  // A dump longer than a pipe holds, read ahead for its header and replayed.
  std::string big = zorq_test::WorkedGaugeDump();
  const std::string line = "1.25,,1.5,2,2.25,-0.5,0,3.125,10,1.75,1.5,1.25,1,372,\r\n";
  for (int i = 0; i < 20000; ++i)
    big += line;
  const CliRunResult large = ws.RunWithInput({"-", "big.csv"}, big);
  EXPECT_EQ(large.exitCode, 0) << large.err;
  ws.Write("big.txt", big);
  EXPECT_EQ(ws.Run({"big.txt", "big2.csv"}).exitCode, 0);
  EXPECT_EQ(ws.Read("big.csv"), ws.Read("big2.csv"));
  EXPECT_GT(ws.Read("big.csv").size(), big.size());
}

// The NetCDF file names its dump by SHA-256. A file long enough to be read
// ahead is hashed on the reading thread, a pipe on the converting thread's
// side: both must say what sha256sum says of the dump.
TEST(CliPipes, ALargeDumpFromAFileOrAPipeNamesTheSha256OfItsBytes) {
  Workspace ws;
  const std::string dump = zorq_test::RepeatedWorkedLoggerDump(12000);  // about 3 MB
  ws.Write("big.txt", dump);
  const CliRunResult fromFile = ws.Run({"--format", "netcdf", "big.txt", "file.nc"});
  ASSERT_EQ(fromFile.exitCode, 0) << fromFile.err;
  const CliRunResult fromPipe = ws.RunWithInput({"--format", "netcdf", "-", "pipe.nc"}, dump);
  ASSERT_EQ(fromPipe.exitCode, 0) << fromPipe.err;

  const std::string command = "sha256sum < '" + ws.dir.Path("big.txt") + "'";
  FILE* checker = ::popen(command.c_str(), "r");
  ASSERT_NE(checker, nullptr);
  char hex[65] = {};
  ASSERT_EQ(std::fread(hex, 1, 64, checker), 64u);
  ::pclose(checker);
  for (const char* file : {"file.nc", "pipe.nc"}) {
    int ncid = -1;
    ASSERT_EQ(nc_open(ws.dir.Path(file).c_str(), NC_NOWRITE, &ncid), NC_NOERR) << file;
    size_t length = 0;
    ASSERT_EQ(nc_inq_attlen(ncid, NC_GLOBAL, "source", &length), NC_NOERR);
    std::string source(length, '\0');
    ASSERT_EQ(nc_get_att_text(ncid, NC_GLOBAL, "source", source.data()), NC_NOERR);
    nc_close(ncid);
    EXPECT_NE(source.find(std::string("(SHA-256 ") + hex + ")"), std::string::npos)
        << file << ": " << source;
  }
}

TEST(CliPipes, ANamedPipeIsLookedAtAndConvertedOrStoppedWhileItWaits) {
  Workspace ws;
  ASSERT_EQ(::mkfifo(ws.dir.Path("pipe").c_str(), 0600), 0);
  std::thread writer([&] {
    const int fd = ::open(ws.dir.Path("pipe").c_str(), O_WRONLY);
    const std::string dump = zorq_test::WorkedGaugeDump();
    EXPECT_EQ(::write(fd, dump.data(), dump.size()), static_cast<ssize_t>(dump.size()));
    ::close(fd);
  });
  const CliRunResult converted = ws.Run({"pipe", "out.csv"});
  writer.join();
  EXPECT_EQ(converted.exitCode, 0) << converted.err;
  EXPECT_EQ(ws.Read("out.csv"), zorq_test::WorkedGaugeCsv());
  // No writer ever comes: the signal still ends the wait.
  zorq_test::RunningCli waiting(
      CliRun{{"--from-type", "3", "pipe", "new.csv"}, ws.dir.path(), {}, {}, {}});
  ASSERT_TRUE(waiting.WaitUntilCatching(SIGINT));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  waiting.Signal(SIGINT);
  EXPECT_EQ(waiting.Wait().exitCode, 130);
  EXPECT_FALSE(ws.Exists("new.csv"));
}

TEST(CliPipes, AnAppendToANamedPipeReportsTheBytesThatWentThrough) {
  Workspace ws;
  const std::string fifo = ws.dir.Path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Open for reading first, so that the appending converter finds a reader;
  // the pipe holds the whole output until it is read.
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  ws.Write("sample.txt", ReadWholeFile(ZORQ_SOURCE_DIR "/samples/logger_type2_dump.txt"));
  const CliRunResult result = ws.Run({"--json", "--tz", "UTC", "--append", "sample.txt", "pipe"});
  std::string through(8192, '\0');
  const ssize_t got = ::read(reader, through.data(), through.size());
  ::close(reader);
  through.resize(got > 0 ? static_cast<size_t>(got) : 0);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const std::vector<Json> reports = JsonLines(result.out);
  ASSERT_EQ(reports.size(), 1u) << result.out;
  EXPECT_EQ(reports[0].at("bytes_written"), 2635);
  EXPECT_EQ(reports[0].at("bytes_written"), static_cast<double>(through.size()));
  EXPECT_EQ(reports[0].at("torn_record_bytes"), 0);
}

TEST(CliPipes, MisusedDashesAreUsageErrors) {
  Workspace ws;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--json", "gauge.txt", "-"},
        std::vector<std::string>{"--check", "-", "gauge.txt"},
        std::vector<std::string>{"--check", "-", "-"}, std::vector<std::string>{"-o", "out", "-"},
        std::vector<std::string>{"--append", "gauge.txt", "-"}}) {
    const CliRunResult result = ws.Run(args);
    EXPECT_EQ(result.exitCode, 64) << args[0] << " " << args[1];
    EXPECT_EQ(result.out, "");
  }
}

// --- Signals ---

// The CLI reads a gauge dump from a pipe that the test keeps open after a
// first part, so the signal always comes mid-conversion.
CliRunResult StopMidway(const Workspace& ws, const std::vector<std::string>& args, int signal) {
  zorq_test::RunningCli cli(CliRun{args, ws.dir.path(), {}, {}, {}});
  std::string part = zorq_test::WorkedGaugeDump();
  const std::string line = "1.25,,1.5,2,2.25,-0.5,0,3.125,10,1.75,1.5,1.25,1,372,\r\n";
  for (int i = 0; i < 40000; ++i)
    part += line;
  cli.Feed(part);
  EXPECT_TRUE(cli.WaitUntilCatching(signal));
  // A loaded machine may not have let it reach its outputs yet.
  const bool writesAFile = args.front() != "--check" && args.back() != "-";
  if (writesAFile) {
    EXPECT_TRUE(cli.WaitUntilWritingIn(ws.dir.path()));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  cli.Signal(signal);
  return cli.Wait(/*keepInputOpen=*/true);
}

TEST(CliSignals, AStoppedConversionKeepsItsOutputOnlyAsAPartialAndNoTemporary) {
  const std::pair<int, int> signals[] = {{SIGTERM, 143}, {SIGINT, 130}, {SIGHUP, 129}};
  for (const auto& [signal, exitCode] : signals) {
    SCOPED_TRACE(exitCode);
    Workspace ws;
    std::set<std::string> after = Listing(ws.dir.path());
    after.insert("out.csv.partial");
    const CliRunResult result = StopMidway(ws, {"-", "out.csv"}, signal);
    EXPECT_EQ(result.exitCode, exitCode) << result.err;
    EXPECT_EQ(Listing(ws.dir.path()), after) << result.err;
    EXPECT_TRUE(Contains(result.err, "kept as 'out.csv.partial'")) << result.err;
  }
}

TEST(CliSignals, AStoppedAppendCutsTheOutputBackToItsOldBytes) {
  Workspace ws;
  ws.Write("out.csv", "earlier output\r\n");
  const CliRunResult result = StopMidway(ws, {"--append", "-", "out.csv"}, SIGTERM);
  EXPECT_EQ(result.exitCode, 143) << result.err;
  EXPECT_TRUE(ws.Read("out.csv") == "earlier output\r\n") << ws.Read("out.csv").size();
}

TEST(CliSignals, AStoppedCheckOrStandardOutputEndsWithTheSignalsStatus) {
  Workspace ws;
  const CliRunResult checked = StopMidway(ws, {"--check", "-"}, SIGINT);
  EXPECT_EQ(checked.exitCode, 130);
  EXPECT_TRUE(Contains(checked.err, "nothing was kept")) << checked.err;
  // What went down standard output cannot be taken back: it is told, to
  // the byte.
  const CliRunResult streamed = StopMidway(ws, {"-", "-"}, SIGTERM);
  EXPECT_EQ(streamed.exitCode, 143);
  ASSERT_GT(streamed.out.size(), 0u) << streamed.err;
  EXPECT_FALSE(Contains(streamed.err, "nothing was kept")) << streamed.err;
  EXPECT_TRUE(Contains(streamed.err, GroupedCount(static_cast<int64_t>(streamed.out.size())) +
                                         " bytes (" +
                                         ByteSize(static_cast<int64_t>(streamed.out.size())) +
                                         ") had already gone to standard output"))
      << streamed.err;
}

TEST(CliSignals, ATermSignalStopsALargeDumpWithinTheEngine) {
  Workspace ws;
  // About 60 MB of gauge lines: far longer than the signal takes to come.
  std::string dump = zorq_test::WorkedGaugeDump();
  const std::string line = "1.25,,1.5,2,2.25,-0.5,0,3.125,10,1.75,1.5,1.25,1,372,\r\n";
  dump.reserve(61'000'000);
  while (dump.size() < 60'000'000)
    dump += line;
  ws.Write("big.txt", dump);
  dump.clear();
  ws.Write("appended.csv", "earlier output\r\n");
  const std::set<std::string> before = Listing(ws.dir.path());
  // What a stopped conversion wrote is kept apart, when it wrote anything.
  const auto withoutPartials = [&ws] {
    std::set<std::string> names = Listing(ws.dir.path());
    names.erase("new.csv.partial");
    return names;
  };
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"big.txt", "new.csv"},
        std::vector<std::string>{"--append", "big.txt", "appended.csv"}}) {
    SCOPED_TRACE(args[0]);
    zorq_test::RunningCli cli(CliRun{args, ws.dir.path(), {}, {}, {}});
    ASSERT_TRUE(cli.WaitUntilCatching(SIGTERM));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    cli.Signal(SIGTERM);
    const CliRunResult result = cli.Wait();
    EXPECT_EQ(result.exitCode, 143) << result.err;
    EXPECT_EQ(withoutPartials(), before);
    EXPECT_TRUE(ws.Read("appended.csv") == "earlier output\r\n");
  }
  ::unlink(ws.dir.Path("new.csv.partial").c_str());
  // SIGKILL cannot be caught: the output has no name until it is complete.
  zorq_test::RunningCli killed(CliRun{{"big.txt", "new.csv"}, ws.dir.path(), {}, {}, {}});
  ASSERT_TRUE(killed.WaitUntilCatching(SIGTERM));  // it runs, and converts
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  killed.Signal(SIGKILL);
  EXPECT_EQ(killed.Wait().exitCode, -1);
  EXPECT_EQ(Listing(ws.dir.path()), before);
}

// A reader that stops reading leaves the conversion waiting in a write:
// the signal still ends it at once.
TEST(CliSignals, ASignalEndsAWriteThatWaitsForAReaderWhoStoppedReading) {
  struct Case {
    std::vector<std::string> args;
    const char* fifo;  // where the output goes
  };
  const Case cases[] = {
      {{"big.txt", "-"}, ".cli-stdout"},  // RunningCli's standard output
      {{"--append", "big.txt", "out.fifo"}, "out.fifo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fifo);
    Workspace ws;
    std::string dump = zorq_test::WorkedGaugeDump();
    while (dump.size() < 2'000'000)
      dump += "1.25,,1.5,2,2.25,-0.5,0,3.125,10,1.75,1.5,1.25,1,372,\r\n";
    ws.Write("big.txt", dump);
    ASSERT_EQ(::mkfifo(ws.dir.Path(c.fifo).c_str(), 0600), 0);
    // Held open and never read: the pipe fills, and the next write waits.
    const int reader = ::open(ws.dir.Path(c.fifo).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    zorq_test::RunningCli cli(CliRun{c.args, ws.dir.path(), {}, {}, {}});
    ASSERT_TRUE(cli.WaitUntilCatching(SIGTERM));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Should it still wait, the reader goes away after ten seconds.
    std::promise<void> ended;
    std::thread watchdog([&reader, done = ended.get_future()] {
      done.wait_for(std::chrono::seconds(10));
      ::close(reader);
    });
    const auto signalled = std::chrono::steady_clock::now();
    cli.Signal(SIGTERM);
    const CliRunResult result = cli.Wait();
    const auto took = std::chrono::steady_clock::now() - signalled;
    ended.set_value();
    watchdog.join();
    EXPECT_EQ(result.exitCode, 143) << result.err;
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_TRUE(Contains(result.err, "stopped by SIGTERM")) << result.err;
  }
}

TEST(CliSignals, ASignalWhileTheHeaderIsAwaitedExitsWithTheSignalsStatus) {
  struct Case {
    std::vector<std::string> args;
    int signal;
    int exitCode;
    const char* said;  // on standard error, --json or not
  };
  const Case cases[] = {
      {{"-", "out.csv"}, SIGINT, 130, "stopped by SIGINT"},
      {{"--check", "-"}, SIGTERM, 143, "stopped by SIGTERM"},
      {{"-o", "out", "pipe"}, SIGINT, 130, "stopped by SIGINT"},
      {{"--json", "-o", "out", "pipe"}, SIGHUP, 129, "pipe: stopped by SIGHUP"},
      {{"--json", "-", "out.csv"}, SIGTERM, 143, "stopped by SIGTERM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[c.args.size() - 1] + " " + std::to_string(c.exitCode));
    Workspace ws;
    ASSERT_EQ(::mkfifo(ws.dir.Path("pipe").c_str(), 0600), 0);
    // Standard input stays open and empty: the header never comes.
    zorq_test::RunningCli cli(CliRun{c.args, ws.dir.path(), {}, {}, {}});
    ASSERT_TRUE(cli.WaitUntilCatching(c.signal));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    cli.Signal(c.signal);
    const CliRunResult result = cli.Wait(/*keepInputOpen=*/true);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_TRUE(Contains(result.err, c.said)) << result.err;
    EXPECT_FALSE(Contains(result.err, "not a dump")) << result.err;
    EXPECT_FALSE(Contains(result.err, "Usage")) << result.err;
    EXPECT_FALSE(ws.Exists("out.csv"));
    EXPECT_FALSE(ws.Exists("out/pipe.csv"));
  }
}

// --- The lock ---

TEST(CliLock, ASecondConverterAppendingToTheSameOutputIsRefused) {
  Workspace ws;
  ws.Write("out.csv", "earlier output\r\n");
  const int held = ::open(ws.dir.Path("out.csv").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  for (const char* mode : {"--append", "--overwrite"}) {
    const CliRunResult result = ws.Run({mode, "gauge.txt", "out.csv"});
    EXPECT_EQ(result.exitCode, 1) << mode;
    EXPECT_TRUE(Contains(result.err, "another converter")) << result.err;
    EXPECT_EQ(LastLine(result.err), "File Error");
    EXPECT_EQ(ws.Read("out.csv"), "earlier output\r\n");
  }
  ::close(held);
  EXPECT_EQ(ws.Run({"--append", "gauge.txt", "out.csv"}).exitCode, 0);
  EXPECT_EQ(ws.Read("out.csv"), "earlier output\r\n" + zorq_test::WorkedGaugeCsv());
}

// --- Progress ---

TEST(CliProgress, ProgressGoesToATerminalOnlyWithoutQuietAndInColourOnlyWithoutNoColor) {
  Workspace ws;
  const std::string kClear = "\r\033[K";
  const std::string kColour = "\033[36m";
  const CliRunResult drawn = zorq_test::RunCliOnTerminal(
      CliRun{{"--check", "logger.txt"}, ws.dir.path(), {}, {}, {{"NO_COLOR", ""}}});
  EXPECT_EQ(drawn.exitCode, 0) << drawn.err;
  EXPECT_TRUE(Contains(drawn.err, kClear + "logger.txt ")) << drawn.err;
  EXPECT_TRUE(Contains(drawn.err, kColour)) << drawn.err;
  const CliRunResult plain = zorq_test::RunCliOnTerminal(
      CliRun{{"--check", "logger.txt"}, ws.dir.path(), {}, {}, {{"NO_COLOR", "1"}}});
  EXPECT_TRUE(Contains(plain.err, kClear)) << plain.err;
  EXPECT_FALSE(Contains(plain.err, "\033[3")) << plain.err;
  const CliRunResult quiet = zorq_test::RunCliOnTerminal(
      CliRun{{"--quiet", "--check", "logger.txt"}, ws.dir.path(), {}, {}, {}});
  EXPECT_EQ(quiet.err, "") << "--quiet tells only failures";
  // Not a terminal: no progress at all.
  EXPECT_FALSE(Contains(ws.Run({"--check", "logger.txt"}).err, "\033["));
}

// --- The worked examples through every form ---

TEST(CliWorkedExamples, EveryFormGivesTheSameBytes) {
  Workspace ws;
  const std::string logger = zorq_test::WorkedLoggerCsv();
  const std::string gauge = zorq_test::WorkedGaugeCsv();
  EXPECT_EQ(ws.Run({"logger.txt", "a.csv"}).exitCode, 0);
  EXPECT_EQ(ws.Read("a.csv"), logger);
  EXPECT_EQ(
      ws.Run({"--from-type", "3", "--to-type", "1", "--quiet", "gauge.txt", "b.csv"}).exitCode, 0);
  EXPECT_EQ(ws.Read("b.csv"), gauge);
  for (const char* jobs : {"1", "2", "4"}) {
    std::filesystem::remove_all(ws.dir.Path("out"));
    const CliRunResult batch = ws.Run({"--jobs", jobs, "-o", "out", "logger.txt", "gauge.txt"});
    EXPECT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_EQ(ws.Read("out/logger.csv"), logger);
    EXPECT_EQ(ws.Read("out/gauge.csv"), gauge);
  }
  const CliRunResult check = ws.Run({"--check", "--json", "logger.txt", "gauge.txt"});
  EXPECT_EQ(check.exitCode, 0) << check.err;
  const std::vector<Json> reports = JsonLines(check.out);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].at("bytes_written"), static_cast<double>(logger.size()));
  EXPECT_EQ(reports[1].at("bytes_written"), static_cast<double>(gauge.size()));
  EXPECT_EQ(ws.RunWithInput({"-", "-"}, zorq_test::WorkedLoggerDump()).out, logger);
}

TEST(CliTimeZone, AZoneFromTzOrTheEnvironmentIsCheckedAndNamedInTheReport) {
  Workspace ws;
  for (const char* zone :
       {"Nowhere/Land", "../../etc/passwd", "/etc/localtime", "", "zone.tab", "Europe/Berln"}) {
    const CliRunResult result = ws.Run({"--tz", zone, "--check", "logger.txt"});
    EXPECT_EQ(result.exitCode, 64) << zone;
  }
  struct Case {
    const char* tz;        // $TZ
    const char* reported;  // the "tz" of the report; nullptr: a usage error
  };
  const Case cases[] = {
      {"Asia/Tokyo", "Asia/Tokyo"},
      {":Europe/Berlin", "Europe/Berlin"},
      {"UTC0", "UTC0"},
      // A rule with daylight saving: its zone's name says the same.
      {"CET-1CEST,M3.5.0,M10.5.0/3", nullptr},
      {"<+03>-3", "<+03>-3"},
      {"Europe/Berln", nullptr},
      {"zone.tab", nullptr},
      {":Nowhere", nullptr},
      {"garbage", nullptr},
      {"CET-1CEST,M3.5.0", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tz);
    const CliRunResult result = zorq_test::RunCliProcess(
        CliRun{{"--json", "--check", "logger.txt"}, ws.dir.path(), {}, {}, {{"TZ", c.tz}}});
    if (c.reported == nullptr) {
      EXPECT_EQ(result.exitCode, 64);
      EXPECT_TRUE(Contains(result.err, std::string("TZ=\"") + c.tz + "\" names no time zone"))
          << result.err;
      EXPECT_EQ(result.out, "");
      continue;
    }
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(JsonLines(result.out)[0].at("tz"), c.reported);
  }
  // --tz decides alone: a misspelt $TZ does not matter then.
  const CliRunResult given =
      zorq_test::RunCliProcess(CliRun{{"--tz", "Europe/Berlin", "--json", "--check", "logger.txt"},
                                      ws.dir.path(),
                                      {},
                                      {},
                                      {{"TZ", "Europe/Berln"}}});
  ASSERT_EQ(given.exitCode, 0) << given.err;
  EXPECT_EQ(JsonLines(given.out)[0].at("tz"), "Europe/Berlin");
}

// --- Many jobs within an address-space limit ---

// Every job is a few threads, each reserving a stack, and buffers: the most
// jobs --help allows, each writing NetCDF and wave statistics, fit within
// `ulimit -v 2000000` and convert every input, with more inputs than jobs so
// that all of them run at once.
TEST(CliJobs, TheMostJobsAllowedConvertEveryInputWithinAnAddressSpaceLimit) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory alone needs more address space than the limit";
#endif
  constexpr rlim_t kAddressSpaceBytes = 2'000'000'000;
  constexpr int kInputs = kMaxJobs + kMaxJobs / 4;
  TempDir dir;
  const std::string logger = ReadWholeFile(ZORQ_SOURCE_DIR "/samples/logger_type2_dump.txt");
  const std::string gauge = ReadWholeFile(ZORQ_SOURCE_DIR "/samples/gauge_t10_dump.txt");
  std::vector<std::string> args = {"--jobs",   std::to_string(kMaxJobs),
                                   "--format", "legacy,netcdf",
                                   "--waves",  "auto",
                                   "--quiet",  "-o",
                                   "out"};
  for (int i = 0; i < kInputs; ++i) {
    const std::string name = "dump" + std::to_string(i) + ".txt";
    WriteWholeFile(dir.Path(name), i % 2 == 0 ? logger : gauge);
    args.push_back(name);
  }
  CliRun run{args, dir.path(), {}, {}, {}};
  run.addressSpaceLimit = kAddressSpaceBytes;
  const CliRunResult result = zorq_test::RunCliProcess(run);
  ASSERT_EQ(result.exitCode, 0) << LastLine(result.err);
  std::set<std::string> expected;
  for (int i = 0; i < kInputs; ++i) {
    for (const char* extension : {".csv", ".nc", ".waves.csv", ".waves.nc"})
      expected.insert("dump" + std::to_string(i) + extension);
  }
  EXPECT_EQ(Listing(dir.Path("out")), expected);
}

// --- GNU parallel, as docs/batch.md shows it ---

TEST(CliParallel, TheGnuParallelExampleConvertsAFolder) {
  if (std::system("command -v parallel >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "GNU parallel is not installed (scripts/install-deps.sh installs it)";
  Workspace ws;
  ASSERT_EQ(::mkdir(ws.dir.Path("dumps").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(ws.dir.Path("out").c_str(), 0755), 0);
  ws.Write("dumps/logger.txt", zorq_test::WorkedLoggerDump());
  ws.Write("dumps/gauge.txt", zorq_test::WorkedGaugeDump());
  ws.Write("dumps/stamp.txt", GaugeShortStampDump());
  const std::string folder = std::filesystem::path(ZORQ_CLI_PATH).parent_path().string();
  const std::string command = "cd '" + ws.dir.path() + "' && PATH='" + folder +
                              "':\"$PATH\" parallel --will-cite zorqconvert-cli -o out {} ::: "
                              "dumps/*.txt 2>/dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << "parallel exits with the number of failed jobs";
  EXPECT_EQ(ws.Read("out/logger.csv"), zorq_test::WorkedLoggerCsv());
  EXPECT_EQ(ws.Read("out/gauge.csv"), zorq_test::WorkedGaugeCsv());
  EXPECT_FALSE(ws.Exists("out/stamp.csv")) << "a failed conversion leaves no output";
  EXPECT_TRUE(ws.Exists("out/stamp.csv.partial")) << "what it wrote is kept apart";
}

}  // namespace

namespace {

// --- The Slurm job array of docs/slurm-array.sh, each task run by hand ---

TEST(CliSlurm, TheArrayTasksSliceTheListAndExitWithTheirSlicesStatus) {
  Workspace ws;
  ASSERT_EQ(::mkdir(ws.dir.Path("dumps").c_str(), 0755), 0);
  std::string list;
  for (int i = 0; i < 7; ++i) {
    const std::string name = "dumps/d" + std::to_string(i) + ".txt";
    ws.Write(name, i == 5 ? GaugeShortStampDump() : zorq_test::WorkedGaugeDump());
    list += name + "\n";
  }
  ws.Write("dumps.list", list);
  const std::string folder = std::filesystem::path(ZORQ_CLI_PATH).parent_path().string();
  const std::string script = std::string(ZORQ_SOURCE_DIR) + "/docs/slurm-array.sh";
  int jsonLines = 0;
  for (int task = 0; task < 3; ++task) {
    const std::string command = "cd '" + ws.dir.path() + "' && PATH='" + folder +
                                "':\"$PATH\" SLURM_ARRAY_TASK_COUNT=3 SLURM_ARRAY_TASK_MIN=0 "
                                "SLURM_ARRAY_TASK_ID=" +
                                std::to_string(task) + " bash '" + script +
                                "' > task.jsonl 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    // Slices of three: d0-d2, d3-d5 (with the failing d5), d6.
    EXPECT_EQ(WEXITSTATUS(status), task == 1 ? 4 : 0) << task;
    jsonLines += static_cast<int>(JsonLines(ws.Read("task.jsonl")).size());
  }
  EXPECT_EQ(jsonLines, 7);
  for (int i = 0; i < 7; ++i) {
    if (i != 5) {
      EXPECT_EQ(ws.Read("out/d" + std::to_string(i) + ".csv"), zorq_test::WorkedGaugeCsv()) << i;
    }
  }
}

}  // namespace
