// Times the desktop program's preview of a converted file, as it reads it
// after a conversion, and the memory the preview adds:
//   preview_bench logger|gauge CSV_FILE
// Prints the seconds, the MB per second and the peak resident memory the
// read added above what the process held before it.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "desktop/preview_data.h"

namespace {

// VmHWM or VmRSS of this process in kB, from /proc/self/status.
long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t length = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, length, field) == 0)
      return std::stol(line.substr(length + 1));
  }
  return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3 || (std::strcmp(argv[1], "logger") != 0 && std::strcmp(argv[1], "gauge") != 0)) {
    std::fprintf(stderr, "usage: preview_bench logger|gauge CSV_FILE\n");
    return 2;
  }
  const PreviewKind kind =
      std::strcmp(argv[1], "logger") == 0 ? PreviewKind::LoggerCsv : PreviewKind::GaugeCsv;
  std::ifstream file(argv[2], std::ios::binary | std::ios::ate);
  const auto size = static_cast<int64_t>(file.tellg());
  const long before = StatusKb("VmRSS");
  std::atomic<bool> stop{false};
  const auto start = std::chrono::steady_clock::now();
  const PreviewSeries series = ReadPreview(kind, argv[2], 0, size, stop);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long peak = StatusKb("VmHWM");
  std::printf("%-8s %8.1f %10.3f %10.1f %12lld %14.1f\n", argv[1], static_cast<double>(size) / 1e6,
              seconds, static_cast<double>(size) / seconds / 1e6,
              static_cast<long long>(series.envelope.Points()),
              static_cast<double>(peak - before) / 1024.0);
  return series.error.empty() ? 0 : 1;
}
