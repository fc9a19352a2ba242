// The command line with odd standard descriptors and deep folders: standard
// output that is the input file, standard input closed, a 400-character
// working folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli_process.h"
#include "tests/test_support.h"

namespace {

using zorq_test::ReadWholeFile;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

struct Ended {
  bool exited = false;  // false: still running after the wait, and killed
  int exitCode = -1;
};

// Runs the CLI in `dir` with descriptor 0 on `input` (-1: closed) and 1 on
// `output`, its standard error into `errPath`; waits up to five seconds.
Ended RunWithDescriptors(const std::string& dir, const std::vector<std::string>& args, int input,
                         int output, const std::string& errPath) {
  const pid_t child = ::fork();
  if (child == 0) {
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err < 0 || ::dup2(err, 2) < 0 || ::dup2(output, 1) < 0 || ::chdir(dir.c_str()) != 0)
      ::_exit(120);
    if (input < 0) {
      ::close(0);
    } else if (::dup2(input, 0) < 0) {
      ::_exit(120);
    }
    std::vector<char*> argv;
    std::string program = ZORQ_CLI_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(121);
  }
  Ended ended;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (std::chrono::steady_clock::now() < until) {
    if (::waitpid(child, &status, WNOHANG) == child) {
      ended.exited = WIFEXITED(status);
      ended.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return ended;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, &status, 0);
  return ended;
}

TEST(CliDescriptors, StandardOutputAppendedToTheInputIsRefusedAsCatRefusesIt) {
  TempDir dir;
  const std::string dump = dir.Path("s.txt");
  WriteWholeFile(dump, zorq_test::WorkedGaugeDump());
  const int appended = ::open(dump.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(appended, 0);
  const int nothing = ::open("/dev/null", O_RDONLY);
  const Ended ended =
      RunWithDescriptors(dir.path(), {"s.txt", "-"}, nothing, appended, dir.Path("err.txt"));
  ::close(appended);
  ::close(nothing);
  ASSERT_TRUE(ended.exited) << "still converting its own output";
  EXPECT_EQ(ended.exitCode, 1);
  EXPECT_NE(ReadWholeFile(dir.Path("err.txt")).find("input file is output file"), std::string::npos)
      << ReadWholeFile(dir.Path("err.txt"));
  EXPECT_EQ(ReadWholeFile(dump), zorq_test::WorkedGaugeDump());
}

TEST(CliDescriptors, DashOnAClosedStandardInputIsAnErrorNotAWait) {
  TempDir dir;
  const int out = ::open(dir.Path("out.txt").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(out, 0);
  for (const char* form : {"--check", "-"}) {
    SCOPED_TRACE(form);
    const std::vector<std::string> args = std::string(form) == "-"
                                              ? std::vector<std::string>{"-", "-"}
                                              : std::vector<std::string>{"--check", "-"};
    const Ended ended = RunWithDescriptors(dir.path(), args, -1, out, dir.Path("err.txt"));
    ASSERT_TRUE(ended.exited) << "waiting on a descriptor of its own";
    EXPECT_EQ(ended.exitCode, 1);
    EXPECT_NE(ReadWholeFile(dir.Path("err.txt")).find("standard input: it is closed"),
              std::string::npos)
        << ReadWholeFile(dir.Path("err.txt"));
  }
  ::close(out);
}

TEST(CliDescriptors, ConvertsInAWorkingFolderOf400Characters) {
  TempDir dir;
  std::string deep = dir.path();
  while (deep.size() < 400) {
    deep += "/" + std::string(40, 'd');
    ASSERT_EQ(::mkdir(deep.c_str(), 0755), 0);
  }
  ASSERT_GE(deep.size(), 400u);
  WriteWholeFile(deep + "/gauge.txt", zorq_test::WorkedGaugeDump());
  zorq_test::CliRun run;
  run.workDir = deep;
  run.args = {"gauge.txt", "out.csv"};
  const zorq_test::CliRunResult result = zorq_test::RunCliProcess(run);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadWholeFile(deep + "/out.csv"), zorq_test::WorkedGaugeCsv());
}

}  // namespace
