// zorqconvert-cli: converts one flash dump from the command line through the
// same dispatch as the desktop program. Exit status 0 for "Finished All", the status code (1 to 7)
// for any other outcome, 1 when a file cannot be used, 64 for a usage error.
#include <cstdio>
#include <string>

#include "app/dispatch.h"
#include "app/shell.h"
#include "cli/file_checks.h"
#include "cli/options.h"
#include "convert/status.h"
#include "runtime/caltime.h"
#include "runtime/files.h"

namespace {

constexpr int kExitUsage = 64;
constexpr int kExitInternal = 70;  // no converter was chosen, which valid options rule out

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

// 0 for "Finished All", the code of any other status the dispatch gives.
int ExitStatusOf(uint8_t status) {
  if (status == kStatusFinished)
    return 0;
  return status == kStatusReady ? kExitInternal : status;
}

std::string NotOpened(const char* which, const std::string& path) {
  return std::string("cannot open the ") + which + " file \"" + path + "\": " + LastFileErrorText();
}

// The dispatch's popup texts start with a blank.
const char* TrimmedLeft(const char* text) {
  while (*text == ' ')
    ++text;
  return text;
}

DispatchRequest RequestFor(const CliOptions& options, int from, int to) {
  DispatchRequest request;
  request.fromOpen = true;
  request.toOpen = true;
  request.fromHandle = from;
  request.toHandle = to;
  request.fromType = options.fromType;
  request.toType = options.toType;
  request.correction = Correction{options.correction, options.gain, options.offset};
  return request;
}

int Convert(const CliOptions& options) {
  CheckedFiles files;
  std::string error;
  if (!CheckFiles(options, &files, &error))
    return FileProblem(error);

  const int from = OpenFile(files.fromPath.c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  if (from < 0)
    return FileProblem(NotOpened("From", files.fromPath));
  // A new To file has just been made empty; an existing one is appended to.
  const int to = OpenFile(files.toPath.c_str(), VAL_WRITE_ONLY,
                          files.toIsNew ? VAL_TRUNCATE : VAL_OPEN_AS_IS, VAL_BINARY);
  if (to < 0) {
    const std::string problem = NotOpened("To", files.toPath);
    CloseFile(from);
    return FileProblem(problem);
  }
  const DispatchOutcome outcome = DispatchConversion(RequestFor(options, from, to));
  if (outcome.status == kStatusFileError && outcome.popupText != nullptr)
    std::fprintf(stderr, "%s: %s\n", kConvertErrorTitle, TrimmedLeft(outcome.popupText));
  CloseFile(from);
  CloseFile(to);
  std::fprintf(stderr, "%s\n", StatusMessage(outcome.status));
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
