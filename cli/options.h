// Command line of zorqconvert-cli:
//   zorqconvert-cli --from-type N --to-type N [--gain M] [--offset B] [--append] FROM TO
#pragma once

#include <string>

struct CliOptions {
  int fromType = 0;         // 1, 2 logger dumps; 3 gauge dump
  int toType = -1;          // 0 logger CSV; 1 gauge CSV
  bool correction = false;  // --gain or --offset given
  double gain = 1.0;
  double offset = 0.0;
  bool append = false;
  std::string fromPath;
  std::string toPath;
};

enum class CliAction { Convert, ShowHelp, ShowVersion, UsageError };

// Reads the arguments into `options`. On UsageError, `error` says what is wrong.
CliAction ParseCommandLine(int argc, const char* const argv[], CliOptions* options,
                           std::string* error);

// The usage text, ending in a line feed.
const char* UsageText();
