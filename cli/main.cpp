// zorqconvert-cli: converts flash dumps from the command line through the
// same dispatch and engine as the desktop program. Exit status 0 for
// "Finished All", the status code (1 to 7) for any other outcome, 1 when a
// file cannot be used, 64 for a usage error, 128 + the signal when stopped.
#include <malloc.h>

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

// The NetCDF library takes and frees a buffer of a chunk's size for every
// chunk it compresses. Left to glibc, each is mapped afresh or trimmed off
// the heap, and its pages are faulted in and cleared again: almost a tenth
// of the NetCDF output's processor time. Kept in the heap, they are reused.
void KeepChunkBuffersInTheHeap() {
  constexpr int kMapAbove = 32 << 20;
  constexpr int kTrimAbove = 64 << 20;
  mallopt(M_MMAP_THRESHOLD, kMapAbove);
  mallopt(M_TRIM_THRESHOLD, kTrimAbove);
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
  if (options.formats.netcdf)
    KeepChunkBuffersInTheHeap();
  return RunConversions(options);
}
