#include "cli/options.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string_view>
#include <vector>

#include "runtime/numbers.h"

namespace {

constexpr const char* kUsage =
    "Usage: zorqconvert-cli --from-type N --to-type N [--gain M] [--offset B] [--append] FROM TO\n"
    "\n"
    "Converts the flash dump FROM into TO, as the START CONVERT button does.\n"
    "\n"
    "  --from-type N  kind of dump: 1 or 2 logger dump, 3 gauge dump\n"
    "  --to-type N    kind of output: 0 logger CSV (From types 1, 2), 1 gauge CSV (type 3)\n"
    "  --gain M       switch the linear correction on with gain M (default 1.0)\n"
    "  --offset B     switch the linear correction on with offset B (default 0.0);\n"
    "                 the correction applies to From types 1 and 2 only\n"
    "  --append       append to TO when it exists (otherwise an existing TO is refused)\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 Finished All; 1 a file cannot be opened, FROM and TO are the same\n"
    "file or FROM could not be read; 2 to 7 the conversion's status code; 64 usage error.\n"
    "The last line on standard error is the conversion's status.\n";

bool IsDigits(std::string_view text) {
  return !text.empty() && text.size() <= 9 && std::all_of(text.begin(), text.end(), IsDigit);
}

// A whole argument of decimal digits whose value is one of `allowed`.
bool ParseChoice(std::string_view text, std::initializer_list<int> allowed, int* value) {
  if (!IsDigits(text))
    return false;
  int parsed = 0;
  for (char c : text)
    parsed = parsed * 10 + (c - '0');
  for (int candidate : allowed) {
    if (parsed == candidate) {
      *value = parsed;
      return true;
    }
  }
  return false;
}

// A whole argument that is one finite decimal number (no blanks, hex, inf or nan).
bool ParseNumber(std::string_view text, double* value) {
  if (text.empty() || IsSpace(text.front()))
    return false;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (DecimalExtent(begin, end) != text.size())
    return false;
  const double parsed = ReadDecimal(begin, end);
  if (!std::isfinite(parsed))
    return false;
  *value = parsed;
  return true;
}

class Parser {
 public:
  Parser(int argc, const char* const argv[], CliOptions* options, std::string* error)
      : argc_(argc), argv_(argv), options_(options), error_(error) {}

  CliAction Run() {
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (index_ = 1; index_ < argc_; ++index_) {
      const std::string_view arg = argv_[index_];
      if (optionsEnded || arg == "-" || arg.substr(0, 1) != "-") {
        paths.emplace_back(arg);
        continue;
      }
      if (arg == "--") {
        optionsEnded = true;
        continue;
      }
      const CliAction action = Option(arg);
      if (action != CliAction::Convert)
        return action;
    }
    return Finish(paths);
  }

 private:
  CliAction Fail(const std::string& message) {
    *error_ = message;
    return CliAction::UsageError;
  }

  // One "--name", "--name value" or "--name=value" argument.
  CliAction Option(std::string_view arg) {
    if (arg.substr(0, 2) != "--")
      return Fail("unknown option " + std::string(arg));
    const size_t equals = arg.find('=');
    const std::string name(arg.substr(0, equals));
    const bool inlineValue = equals != std::string_view::npos;
    if (name == "--help" || name == "--version" || name == "--append") {
      if (inlineValue)
        return Fail(name + " takes no value");
      if (name == "--help")
        return CliAction::ShowHelp;
      if (name == "--version")
        return CliAction::ShowVersion;
      if (options_->append)
        return Fail("--append given more than once");
      options_->append = true;
      return CliAction::Convert;
    }
    if (name != "--from-type" && name != "--to-type" && name != "--gain" && name != "--offset") {
      return Fail("unknown option " + name);
    }
    std::string_view value;
    if (inlineValue) {
      value = arg.substr(equals + 1);
    } else if (index_ + 1 < argc_) {
      value = argv_[++index_];
    } else {
      return Fail(name + " needs a value");
    }
    if (!seen_.insert(name).second)
      return Fail(name + " given more than once");
    return Value(name, value);
  }

  CliAction Value(const std::string& name, std::string_view value) {
    if (name == "--from-type") {
      if (!ParseChoice(value, {1, 2, 3}, &options_->fromType)) {
        return Fail("--from-type must be 1, 2 or 3, not \"" + std::string(value) + "\"");
      }
    } else if (name == "--to-type") {
      if (!ParseChoice(value, {0, 1}, &options_->toType)) {
        return Fail("--to-type must be 0 or 1, not \"" + std::string(value) + "\"");
      }
    } else {
      double* target = name == "--gain" ? &options_->gain : &options_->offset;
      if (!ParseNumber(value, target)) {
        return Fail(name + " needs a finite decimal number, not \"" + std::string(value) + "\"");
      }
      options_->correction = true;
    }
    return CliAction::Convert;
  }

  CliAction Finish(const std::vector<std::string>& paths) {
    if (!seen_.contains("--from-type"))
      return Fail("--from-type is missing");
    if (!seen_.contains("--to-type"))
      return Fail("--to-type is missing");
    if (options_->correction && options_->fromType != 1 && options_->fromType != 2) {
      return Fail("--gain and --offset apply to From types 1 and 2 only");
    }
    if (paths.size() != 2)
      return Fail("give exactly two files, FROM and TO");
    if (paths[0].empty() || paths[1].empty())
      return Fail("a file name is empty");
    options_->fromPath = paths[0];
    options_->toPath = paths[1];
    return CliAction::Convert;
  }

  int argc_;
  const char* const* argv_;
  CliOptions* options_;
  std::string* error_;
  int index_ = 1;
  std::set<std::string> seen_;  // value options given so far
};

}  // namespace

CliAction ParseCommandLine(int argc, const char* const argv[], CliOptions* options,
                           std::string* error) {
  return Parser(argc, argv, options, error).Run();
}

const char* UsageText() {
  return kUsage;
}
