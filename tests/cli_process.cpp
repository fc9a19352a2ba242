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

// --- JSON ---

namespace {

class JsonParser {
 public:
  explicit JsonParser(const std::string& text) : text_(text) {}

  bool ParseAll(Json* value) {
    if (!Value(value))
      return false;
    Blanks();
    return at_ == text_.size();
  }

 private:
  void Blanks() {
    while (at_ < text_.size() && std::string(" \t\r\n").find(text_[at_]) != std::string::npos)
      ++at_;
  }
  bool Literal(const char* word) {
    const std::string w = word;
    if (text_.compare(at_, w.size(), w) != 0)
      return false;
    at_ += w.size();
    return true;
  }
  bool Value(Json* value) {
    Blanks();
    if (at_ >= text_.size())
      return false;
    const char c = text_[at_];
    if (c == '{')
      return Object(value);
    if (c == '[')
      return Array(value);
    if (c == '"') {
      value->type = Json::Type::String;
      return String(&value->text);
    }
    if (Literal("null")) {
      value->type = Json::Type::Null;
      return true;
    }
    if (Literal("true") || Literal("false")) {
      value->type = Json::Type::Bool;
      value->boolean = text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u';
      return true;
    }
    return Number(value);
  }
  bool Number(Json* value) {
    const char* begin = text_.c_str() + at_;
    char* end = nullptr;
    value->number = std::strtod(begin, &end);
    if (end == begin)
      return false;
    value->type = Json::Type::Number;
    at_ += static_cast<size_t>(end - begin);
    return true;
  }
  static void AppendUtf8(std::string* out, unsigned code) {
    if (code < 0x80) {
      *out += static_cast<char>(code);
    } else if (code < 0x800) {
      *out += static_cast<char>(0xC0 | (code >> 6));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      *out += static_cast<char>(0xE0 | (code >> 12));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  bool String(std::string* out) {
    ++at_;  // the opening quote
    while (at_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[at_++]);
      if (c == '"')
        return true;
      if (c < 0x20)
        return false;  // control characters must be escaped
      if (c != '\\') {
        *out += static_cast<char>(c);
        continue;
      }
      if (at_ >= text_.size())
        return false;
      const char e = text_[at_++];
      const std::string simple = "\"\\/bfnrt";
      const std::string meant = "\"\\/\b\f\n\r\t";
      if (simple.find(e) != std::string::npos) {
        *out += meant[simple.find(e)];
      } else if (e == 'u' && at_ + 4 <= text_.size()) {
        AppendUtf8(out, static_cast<unsigned>(std::stoul(text_.substr(at_, 4), nullptr, 16)));
        at_ += 4;
      } else {
        return false;
      }
    }
    return false;
  }
  bool Array(Json* value) {
    value->type = Json::Type::Array;
    ++at_;
    Blanks();
    if (at_ < text_.size() && text_[at_] == ']') {
      ++at_;
      return true;
    }
    for (;;) {
      value->items.emplace_back();
      if (!Value(&value->items.back()))
        return false;
      Blanks();
      if (at_ < text_.size() && text_[at_] == ',') {
        ++at_;
        continue;
      }
      return at_ < text_.size() && text_[at_++] == ']';
    }
  }
  bool Object(Json* value) {
    value->type = Json::Type::Object;
    ++at_;
    Blanks();
    if (at_ < text_.size() && text_[at_] == '}') {
      ++at_;
      return true;
    }
    for (;;) {
      Blanks();
      std::string key;
      if (at_ >= text_.size() || text_[at_] != '"' || !String(&key))
        return false;
      Blanks();
      if (at_ >= text_.size() || text_[at_++] != ':')
        return false;
      if (!Value(&value->members[key]))
        return false;
      Blanks();
      if (at_ < text_.size() && text_[at_] == ',') {
        ++at_;
        continue;
      }
      return at_ < text_.size() && text_[at_++] == '}';
    }
  }

  const std::string& text_;
  size_t at_ = 0;
};

}  // namespace

const Json& Json::operator[](const std::string& key) const {
  static const Json kMissing;
  const auto found = members.find(key);
  return found == members.end() ? kMissing : found->second;
}

bool ParseJson(const std::string& text, Json* value) {
  return JsonParser(text).ParseAll(value);
}

std::string LastLine(const std::string& text) {
  std::string trimmed = text;
  if (!trimmed.empty() && trimmed.back() == '\n')
    trimmed.pop_back();
  const size_t newline = trimmed.rfind('\n');
  return newline == std::string::npos ? trimmed : trimmed.substr(newline + 1);
}

}  // namespace zorq_test
