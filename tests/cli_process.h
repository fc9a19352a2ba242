// Runs zorqconvert-cli as a child process for the tests: arguments, working
// folder, standard input from bytes or a pipe the test holds, umask and
// environment, with both output streams captured.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace zorq_test {

struct CliRun {
  std::vector<std::string> args;
  std::string workDir;
  std::optional<std::string> stdinBytes;  // fed through a pipe; none: /dev/null
  std::optional<mode_t> umask;
  std::map<std::string, std::string> env;  // set in the child ("" value: unset)
  // The largest file the child may write, in bytes (SIGXFSZ ignored, so a
  // write past it fails as on a full disk); none: no limit.
  std::optional<rlim_t> fileSizeLimit = std::nullopt;
  // The child's limit on address space (ulimit -v), in bytes; none: no limit.
  std::optional<rlim_t> addressSpaceLimit = std::nullopt;
};

struct CliRunResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

CliRunResult RunCliProcess(const CliRun& run);

// The last line of `text` without its line feed: where the CLI puts its
// status message.
std::string LastLine(const std::string& text);

// Runs the CLI with its standard error on a pseudo-terminal; `err` holds
// what the terminal received.
CliRunResult RunCliOnTerminal(const CliRun& run);

// A CLI started and left running, its standard input a pipe the test writes.
class RunningCli {
 public:
  explicit RunningCli(const CliRun& run);
  ~RunningCli();
  // Writes to the child's standard input (blocks while the pipe is full).
  bool Feed(const std::string& bytes);
  void Signal(int signal);
  // Waits (up to a few seconds) until the child has a handler for `signal`,
  // read from /proc: a signal sent before that would end it at once.
  bool WaitUntilCatching(int signal);
  // Waits (up to 20 s) until the child holds a file in `folder` open that
  // has bytes in it (not the hidden captures of its output), read from /proc: it has begun to write
  // its outputs (an unnamed temporary shows as "FOLDER/#N (deleted)").
  bool WaitUntilWritingIn(const std::string& folder);
  // Closes the child's standard input (unless `keepInputOpen`) and waits
  // for the child to end.
  CliRunResult Wait(bool keepInputOpen = false);

 private:
  pid_t pid_ = -1;
  int stdinWrite_ = -1;
  std::string outPath_;
  std::string errPath_;
};

using Json = nlohmann::json;

// The JSON objects of --json, one a line; a line that is not JSON throws.
std::vector<Json> JsonLines(const std::string& out);

}  // namespace zorq_test
