// Times the desktop program's preview as it is built now: by listening to
// the conversion's own readings. Converts DUMP into /dev/null without a
// listener, then with the preview's, and prints both times, the readings
// drawn and the peak resident memory the listened run added.
//   preview_bench logger|gauge DUMP
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "convert/engine.h"
#include "desktop/preview_listener.h"
#include "runtime/files.h"

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

// Seconds of one conversion of `dump` into /dev/null.
double Convert(const char* dump, int fromType, ReadingListener* listener) {
  const int from = OpenFile(dump, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  const int to = OpenFile("/dev/null", VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  ConversionRequest request;
  request.fromType = fromType;
  request.toType = ToTypeForFromType(fromType);
  request.from = SourceOfHandle(from);
  request.to = SinkOfHandle(to);
  request.readings = listener;
  const auto start = std::chrono::steady_clock::now();
  RunConversion(request);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  CloseFile(from);
  CloseFile(to);
  return seconds;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3 || (std::strcmp(argv[1], "logger") != 0 && std::strcmp(argv[1], "gauge") != 0)) {
    std::fprintf(stderr, "usage: preview_bench logger|gauge DUMP\n");
    return 2;
  }
  const bool gauge = std::strcmp(argv[1], "gauge") == 0;
  const int fromType = gauge ? 3 : 1;
  const double plain = Convert(argv[2], fromType, nullptr);
  const long before = StatusKb("VmRSS");
  PreviewListener preview(gauge);
  const double listened = Convert(argv[2], fromType, &preview);
  const PreviewSeries series = preview.Finish();
  const long peak = StatusKb("VmHWM");
  std::printf("%-8s %10.3f %10.3f %8.1f %12lld %14.1f\n", argv[1], plain, listened,
              100.0 * (listened - plain) / plain, static_cast<long long>(series.envelope.Points()),
              static_cast<double>(peak - before) / 1024.0);
  return series.error.empty() ? 0 : 1;
}
