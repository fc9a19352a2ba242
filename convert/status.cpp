#include "convert/status.h"

namespace {

constexpr int kExitInternal = 70;  // no converter was chosen, which valid options rule out

}  // namespace

const char* StatusMessage(int code) {
  static constexpr const char* kMessages[] = {
      "Ready",
      "File Error",
      "Header Error",
      "Staff Length Error",
      "Date & Time Error",
      "Write to File Error",
      "Convert To File Type Error",
      "Convert From File Type Error",
      "Finished All",
  };
  if (code < 0 || code > 8)
    return "";
  return kMessages[code];
}

int ExitStatusOfStatus(int code) {
  if (code == kStatusFinished)
    return 0;
  if (code >= kStatusFileError && code < kStatusFinished)
    return code;
  return kExitInternal;
}
