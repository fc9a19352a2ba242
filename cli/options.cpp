#include "cli/options.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string_view>
#include <vector>

#include "cli/time_zone.h"
#include "runtime/numbers.h"

namespace {

constexpr const char* kUsage =
    "Usage: zorqconvert-cli --from-type N --to-type N [OPTIONS] FROM TO\n"
    "       zorqconvert-cli [OPTIONS] -o DIR FROM...\n"
    "       zorqconvert-cli --check [OPTIONS] FROM...\n"
    "\n"
    "Converts the flash dump FROM into TO, as the START CONVERT button does; with\n"
    "-o, each FROM into DIR/<its name without the last extension>.csv; with\n"
    "--check, converts and keeps nothing. FROM \"-\" reads standard input (one\n"
    "input only), TO \"-\" writes standard output.\n"
    "\n"
    "  --from-type N     kind of dump: 1 or 2 logger dump, 3 gauge dump, or auto\n"
    "                    (the default): the kind the header shows\n"
    "  --to-type N       kind of output: 0 logger CSV (From types 1, 2), 1 gauge CSV\n"
    "                    (type 3); by default the one that fits the From type\n"
    "  --gain M          switch the linear correction on with gain M (default 1.0)\n"
    "  --offset B        switch the linear correction on with offset B (default 0.0);\n"
    "                    the correction applies to From types 1 and 2 only\n"
    "  --tz ZONE         read the logger's date stamps as local times of ZONE, for\n"
    "                    example UTC or Europe/Berlin (default: $TZ, else the system's)\n"
    "  -o, --output-dir DIR  write each FROM's output into DIR\n"
    "  --check           convert and throw the output away; nothing is written\n"
    "  --append          append to an output that exists (otherwise it is refused)\n"
    "  --overwrite       replace an output that exists\n"
    "  --jobs N          run up to N conversions at once (default 1, at most 32)\n"
    "  --json            one JSON report per input on standard output, one a line\n"
    "  --quiet           no progress and no summaries on standard error\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "\n"
    "Exit status: 0 Finished All; 1 a file cannot be used, FROM and TO are the same\n"
    "file or FROM could not be read; 2 to 7 the conversion's status code; 64 usage\n"
    "error, or a kind that auto cannot tell; 129, 130, 143 stopped by SIGHUP, SIGINT,\n"
    "SIGTERM. With several inputs: 0 when all end Finished All, else the status of\n"
    "the first that did not. The last line on standard error is the status.\n";

constexpr const char* kShortUsage =
    "Usage: zorqconvert-cli [OPTIONS] FROM TO\n"
    "       zorqconvert-cli [OPTIONS] -o DIR FROM...\n"
    "       zorqconvert-cli --check [OPTIONS] FROM...\n"
    "Try 'zorqconvert-cli --help' for more.\n";

// A whole argument of one to nine decimal digits, so that its value fits.
bool ParseWhole(std::string_view text, int* value) {
  if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), IsDigit))
    return false;
  *value = 0;
  for (char c : text)
    *value = *value * 10 + (c - '0');
  return true;
}

// A whole argument whose value is one of `allowed`.
bool ParseChoice(std::string_view text, std::initializer_list<int> allowed, int* value) {
  int parsed = 0;
  if (!ParseWhole(text, &parsed) ||
      std::find(allowed.begin(), allowed.end(), parsed) == allowed.end())
    return false;
  *value = parsed;
  return true;
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

bool ParseJobs(std::string_view text, int* jobs) {
  int parsed = 0;
  if (!ParseWhole(text, &parsed) || parsed < 1 || parsed > kMaxJobs)
    return false;
  *jobs = parsed;
  return true;
}

bool IsFlag(const std::string& name) {
  static const std::set<std::string> kFlags = {"--help",  "--version", "--append", "--overwrite",
                                               "--check", "--json",    "--quiet"};
  return kFlags.contains(name);
}

bool TakesValue(const std::string& name) {
  static const std::set<std::string> kValued = {
      "--from-type", "--to-type", "--gain", "--offset", "--tz", "--jobs", "--output-dir"};
  return kValued.contains(name);
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
      const CliAction action = arg == "-o" ? ValueOption("--output-dir", false, {}) : Option(arg);
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
    if (IsFlag(name)) {
      if (inlineValue)
        return Fail(name + " takes no value");
      return Flag(name);
    }
    if (!TakesValue(name))
      return Fail("unknown option " + name);
    return ValueOption(name, inlineValue, inlineValue ? arg.substr(equals + 1) : "");
  }

  CliAction Flag(const std::string& name) {
    if (name == "--help")
      return CliAction::ShowHelp;
    if (name == "--version")
      return CliAction::ShowVersion;
    if (!seen_.insert(name).second)
      return Fail(name + " given more than once");
    if (name == "--append")
      options_->append = true;
    else if (name == "--overwrite")
      options_->overwrite = true;
    else if (name == "--check")
      options_->form = CliForm::Check;
    else if (name == "--json")
      options_->json = true;
    else if (name == "--quiet")
      options_->quiet = true;
    return CliAction::Convert;
  }

  CliAction ValueOption(const std::string& name, bool inlineValue, std::string_view given) {
    std::string_view value = given;
    if (!inlineValue) {
      if (index_ + 1 >= argc_)
        return Fail(name + " needs a value");
      value = argv_[++index_];
    }
    if (!seen_.insert(name).second)
      return Fail(name + " given more than once");
    return Value(name, value);
  }

  CliAction Value(const std::string& name, std::string_view value) {
    const std::string shown = "\"" + std::string(value) + "\"";
    if (name == "--from-type") {
      if (value == "auto")
        options_->fromType = 0;
      else if (!ParseChoice(value, {1, 2, 3}, &options_->fromType))
        return Fail("--from-type must be 1, 2, 3 or auto, not " + shown);
    } else if (name == "--to-type") {
      if (!ParseChoice(value, {0, 1}, &options_->toType))
        return Fail("--to-type must be 0 or 1, not " + shown);
    } else if (name == "--tz") {
      if (!TimeZoneExists(std::string(value)))
        return Fail("--tz " + shown + " is not a time zone of /usr/share/zoneinfo");
      options_->timeZone = value;
    } else if (name == "--jobs") {
      if (!ParseJobs(value, &options_->jobs))
        return Fail("--jobs must be a whole number from 1 to " + std::to_string(kMaxJobs) +
                    ", not " + shown);
    } else if (name == "--output-dir") {
      if (value.empty())
        return Fail("-o needs a folder name");
      options_->outputDir = value;
    } else {
      double* target = name == "--gain" ? &options_->gain : &options_->offset;
      if (!ParseNumber(value, target))
        return Fail(name + " needs a finite decimal number, not " + shown);
      options_->correction = true;
    }
    return CliAction::Convert;
  }

  CliAction Finish(const std::vector<std::string>& paths) {
    const bool fromTypeGiven = seen_.contains("--from-type") && options_->fromType != 0;
    if (options_->correction && fromTypeGiven && options_->fromType != 1 &&
        options_->fromType != 2) {
      return Fail("--gain and --offset apply to From types 1 and 2 only");
    }
    if (options_->append && options_->overwrite)
      return Fail("--append and --overwrite do not go together");
    if (options_->form == CliForm::Check) {
      if (seen_.contains("--output-dir"))
        return Fail("--check writes nothing: -o does not go with it");
      if (options_->append || options_->overwrite)
        return Fail("--check writes nothing: --append and --overwrite do not go with it");
    } else if (seen_.contains("--output-dir")) {
      options_->form = CliForm::OutputDir;
    }
    if (!CheckPaths(paths))
      return CliAction::UsageError;
    options_->fromPaths =
        options_->form == CliForm::FromTo ? std::vector<std::string>{paths[0]} : paths;
    if (options_->form == CliForm::FromTo) {
      options_->fromPath = paths[0];
      options_->toPath = paths[1];
    }
    options_->todaysCall = options_->form == CliForm::FromTo && fromTypeGiven &&
                           seen_.contains("--to-type") && !options_->overwrite && !options_->json &&
                           !options_->quiet && !seen_.contains("--tz") &&
                           !seen_.contains("--jobs") && paths[0] != "-" && paths[1] != "-";
    return CliAction::Convert;
  }

  bool CheckPaths(const std::vector<std::string>& paths) {
    if (options_->form == CliForm::FromTo && paths.size() != 2) {
      Fail("give exactly two files, FROM and TO (or -o DIR, or --check, before several FROM)");
      return false;
    }
    if (paths.empty()) {
      Fail("give at least one FROM");
      return false;
    }
    for (const std::string& path : paths) {
      if (path.empty()) {
        Fail("a file name is empty");
        return false;
      }
    }
    const size_t inputs = options_->form == CliForm::FromTo ? 1 : paths.size();
    for (size_t i = 0; i < inputs; ++i) {
      if (paths[i] == "-" && inputs > 1) {
        Fail("standard input (\"-\") can only be the one FROM");
        return false;
      }
    }
    if (options_->form == CliForm::OutputDir && paths[0] == "-") {
      Fail("-o makes each output's name from its FROM's; standard input has none: give FROM TO");
      return false;
    }
    if (options_->form == CliForm::FromTo && paths[1] == "-") {
      if (options_->json) {
        Fail("--json writes to standard output, so TO cannot be \"-\"");
        return false;
      }
      if (options_->append || options_->overwrite) {
        Fail("--append and --overwrite do not apply to standard output");
        return false;
      }
    }
    return true;
  }

  int argc_;
  const char* const* argv_;
  CliOptions* options_;
  std::string* error_;
  int index_ = 1;
  std::set<std::string> seen_;  // options given so far
};

}  // namespace

CliAction ParseCommandLine(int argc, const char* const argv[], CliOptions* options,
                           std::string* error) {
  return Parser(argc, argv, options, error).Run();
}

const char* UsageText() {
  return kUsage;
}

const char* ShortUsageText() {
  return kShortUsage;
}
