#include "tests/cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/test_support.h"

namespace zorq_test {

namespace {

// In the child: stdin, stdout, stderr, folder, umask, environment; then exec.
[[noreturn]] void ExecCli(const CliRun& run, int stdinFd, const std::string& outPath,
                          const std::string& errPath) {
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0 || err < 0 || ::dup2(stdinFd, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
      ::chdir(run.workDir.c_str()) != 0) {
    ::_exit(127);
  }
  if (run.umask)
    ::umask(*run.umask);
  if (run.fileSizeLimit) {
    const rlimit limit{*run.fileSizeLimit, *run.fileSizeLimit};
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (run.addressSpaceLimit) {
    const rlimit limit{*run.addressSpaceLimit, *run.addressSpaceLimit};
    if (::setrlimit(RLIMIT_AS, &limit) != 0)
      ::_exit(127);
  }
  for (const auto& [name, value] : run.env) {
    if (value.empty())
      ::unsetenv(name.c_str());
    else
      ::setenv(name.c_str(), value.c_str(), 1);
  }
  std::vector<std::string> copies = run.args;
  std::vector<char*> argv;
  std::string program = ZORQ_CLI_PATH;
  argv.push_back(program.data());
  for (std::string& arg : copies)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

CliRunResult Collect(pid_t child, const std::string& outPath, const std::string& errPath) {
  CliRunResult result;
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child)
    return result;
  if (WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  // A FIFO that a test put in the output's place is not read here.
  struct stat info {};
  if (::stat(outPath.c_str(), &info) == 0 && S_ISREG(info.st_mode))
    result.out = ReadWholeFile(outPath);
  result.err = ReadWholeFile(errPath);
  ::unlink(outPath.c_str());
  ::unlink(errPath.c_str());
  return result;
}

}  // namespace

CliRunResult RunCliOnTerminal(const CliRun& run) {
  CliRunResult result;
  int terminal = -1;
  int side = -1;
  if (::openpty(&terminal, &side, nullptr, nullptr, nullptr) != 0)
    return result;
  const std::string outPath = run.workDir + "/.cli-stdout";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(terminal);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int none = ::open("/dev/null", O_RDONLY);
    if (out < 0 || none < 0 || ::dup2(none, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(side, 2) < 0)
      ::_exit(127);
    CliRun copy = run;
    std::vector<char*> argv;
    std::string program = ZORQ_CLI_PATH;
    argv.push_back(program.data());
    for (std::string& arg : copy.args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (::chdir(run.workDir.c_str()) != 0)
      ::_exit(127);
    for (const auto& [name, value] : run.env) {
      if (value.empty())
        ::unsetenv(name.c_str());
      else
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(side);
  // Read until the child has closed its side (EIO on Linux).
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(terminal, buffer, sizeof buffer);
    if (got <= 0)
      break;
    result.err.append(buffer, static_cast<size_t>(got));
  }
  ::close(terminal);
  int status = 0;
  if (::waitpid(child, &status, 0) == child && WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  result.out = ReadWholeFile(outPath);
  ::unlink(outPath.c_str());
  return result;
}

CliRunResult RunCliProcess(const CliRun& run) {
  RunningCli running(run);
  if (run.stdinBytes)
    running.Feed(*run.stdinBytes);
  return running.Wait();
}

RunningCli::RunningCli(const CliRun& run)
    : outPath_(run.workDir + "/.cli-stdout"), errPath_(run.workDir + "/.cli-stderr") {
  int input[2] = {-1, -1};
  if (::pipe(input) != 0)
    return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(input[1]);
    ExecCli(run, input[0], outPath_, errPath_);
  }
  ::close(input[0]);
  stdinWrite_ = input[1];
  ::signal(SIGPIPE, SIG_IGN);
}

RunningCli::~RunningCli() {
  if (stdinWrite_ >= 0)
    ::close(stdinWrite_);
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool RunningCli::Feed(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(stdinWrite_, bytes.data() + done, bytes.size() - done);
    if (put <= 0)
      return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

bool RunningCli::WaitUntilCatching(int signal) {
  const std::string status = "/proc/" + std::to_string(pid_) + "/status";
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string text = ReadWholeFile(status);
    const size_t at = text.find("SigCgt:\t");
    if (at != std::string::npos) {
      const unsigned long long caught = std::stoull(text.substr(at + 8, 16), nullptr, 16);
      if ((caught >> (signal - 1)) & 1)
        return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

bool RunningCli::WaitUntilWritingIn(const std::string& folder) {
  const std::filesystem::path descriptors = "/proc/" + std::to_string(pid_) + "/fd";
  for (int attempt = 0; attempt < 2000; ++attempt) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(descriptors, error)) {
      std::error_code unreadable;
      const std::string target = std::filesystem::read_symlink(entry.path(), unreadable).string();
      std::error_code sizeUnknown;
      // The capture files of standard output and error are hidden ones.
      const bool output = target.rfind(folder + "/", 0) == 0 && target[folder.size() + 1] != '.';
      if (!unreadable && output && std::filesystem::file_size(entry.path(), sizeUnknown) > 0 &&
          !sizeUnknown)
        return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void RunningCli::Signal(int signal) {
  ::kill(pid_, signal);
}

CliRunResult RunningCli::Wait(bool keepInputOpen) {
  if (!keepInputOpen) {
    ::close(stdinWrite_);
    stdinWrite_ = -1;
  }
  const pid_t child = pid_;
  pid_ = -1;
  return Collect(child, outPath_, errPath_);
}

std::vector<Json> JsonLines(const std::string& out) {
  std::vector<Json> objects;
  size_t start = 0;
  while (start < out.size()) {
    const size_t end = std::min(out.find('\n', start), out.size());
    objects.push_back(Json::parse(out.substr(start, end - start)));
    start = end + 1;
  }
  return objects;
}

std::string LastLine(const std::string& text) {
  std::string trimmed = text;
  if (!trimmed.empty() && trimmed.back() == '\n')
    trimmed.pop_back();
  const size_t newline = trimmed.rfind('\n');
  return newline == std::string::npos ? trimmed : trimmed.substr(newline + 1);
}

}  // namespace zorq_test
