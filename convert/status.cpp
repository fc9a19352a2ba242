#include "convert/status.h"

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
