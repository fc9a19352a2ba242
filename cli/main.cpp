// zorqconvert-cli: converts one flash dump from the command line through the
// same panel callbacks and dispatch as the desktop program, on the headless
// panel. Exit status 0 for "Finished All", the status code (1 to 7) for any
// other outcome, 1 when a file cannot be used, 64 for a usage error.
#include <cstdio>
#include <string>

#include "cli/file_checks.h"
#include "cli/options.h"
#include "cli/panel_session.h"
#include "convert/status.h"
#include "runtime/caltime.h"

namespace {

constexpr int kExitUsage = 64;
constexpr int kExitInternal = 70;  // the panel could not be driven at all

void Complain(const std::string& message) {
  std::fprintf(stderr, "zorqconvert-cli: %s\n", message.c_str());
}

int UsageError(const std::string& message) {
  Complain(message);
  std::fputs(
      "Usage: zorqconvert-cli --from-type N --to-type N [--gain M] [--offset B] [--append] FROM "
      "TO\nTry 'zorqconvert-cli --help' for more.\n",
      stderr);
  return kExitUsage;
}

// The status line is always the last line on standard error.
int FileProblem(const std::string& message) {
  Complain(message);
  std::fprintf(stderr, "%s\n", StatusMessage(kStatusFileError));
  return kStatusFileError;
}

// 0 for "Finished All", the code of any other status the dispatch shows.
int ExitStatusOf(const std::string& status) {
  for (int code = kStatusFileError; code <= kStatusFinished; ++code) {
    if (status == StatusMessage(code))
      return code == kStatusFinished ? 0 : code;
  }
  return kExitInternal;  // "Ready": no converter was chosen, which valid options rule out
}

int Convert(const CliOptions& options) {
  CheckedFiles files;
  std::string error;
  if (!CheckFiles(options, &files, &error))
    return FileProblem(error);

  PanelRequest request;
  request.fromPath = files.fromPath;
  request.toPath = files.toPath;
  request.toIsNew = files.toIsNew;
  request.append = options.append;
  request.fromType = options.fromType;
  request.toType = options.toType;
  request.correction = options.correction;
  request.gain = options.gain;
  request.offset = options.offset;
  const PanelOutcome outcome = ConvertOnHeadlessPanel(request);
  if (!outcome.converted) {
    if (outcome.fileProblem)
      return FileProblem(outcome.error);
    Complain(outcome.error);
    return kExitInternal;
  }
  std::fprintf(stderr, "%s\n", outcome.status.c_str());
  return ExitStatusOf(outcome.status);
}

}  // namespace

int main(int argc, char* argv[]) {
  CliOptions options;
  std::string error;
  switch (ParseCommandLine(argc, argv, &options, &error)) {
    case CliAction::ShowHelp:
      std::fputs(UsageText(), stdout);
      return 0;
    case CliAction::ShowVersion:
      std::printf("zorqconvert-cli %s\n", ZORQ_VERSION);
      return 0;
    case CliAction::UsageError:
      return UsageError(error);
    case CliAction::Convert:
      break;
  }
  PinLocalTimeZone();
  return Convert(options);
}
