// zorqconvert-cli: converts flash dumps from the command line through the
// same dispatch and engine as the desktop program. Exit status 0 for
// "Finished All", the status code (1 to 7) for any other outcome, 1 when a
// file cannot be used, 64 for a usage error, 128 + the signal when stopped.
#include <cstdio>
#include <string>

#include "cli/batch.h"
#include "cli/input_source.h"
#include "cli/options.h"

namespace {

constexpr int kExitUsage = 64;

int UsageError(const std::string& message) {
  std::fprintf(stderr, "zorqconvert-cli: %s\n", message.c_str());
  std::fputs(ShortUsageText(), stderr);
  return kExitUsage;
}

}  // namespace

int main(int argc, char* argv[]) {
  KeepStandardDescriptorsOpen();
  CliOptions options;
  std::string error;
  switch (ParseCommandLine(argc, argv, &options, &error)) {
    case CliAction::ShowHelp:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case CliAction::ShowVersion:
      std::printf("zorqconvert-cli %s\n", ZORQ_VERSION);
      return 0;
    case CliAction::UsageError:
      return UsageError(error);
    case CliAction::Convert:
      break;
  }
  return RunConversions(options);
}
