// What a reading listener costs: the same dump converted into /dev/null by
// turns without a listener and with one that only counts, in one process.
//   listener_bench logger|gauge DUMP [RUNS]
// Prints the median seconds of each and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "convert/engine.h"
#include "runtime/files.h"

namespace {

class CountingListener final : public ReadingListener {
 public:
  void OnReadings(const ReadingLine& line) override { readings += line.count; }
  void OnFillers(int64_t /*line*/, int64_t /*byte*/, int count) override { fillers += count; }
  int64_t readings = 0;
  int64_t fillers = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Seconds of one conversion of `request`, its From file from the start.
double TimeOne(ConversionRequest request) {
  request.from->Rewind();
  const auto start = std::chrono::steady_clock::now();
  const ConversionResult result = RunConversion(request);
  const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
  if (result.status != 8)
    std::fprintf(stderr, "listener_bench: status %d\n", result.status);
  return taken.count();
}

}  // namespace

int main(int argc, char* argv[]) {
  const bool logger = argc >= 3 && std::strcmp(argv[1], "logger") == 0;
  if (argc < 3 || argc > 4 || (!logger && std::strcmp(argv[1], "gauge") != 0)) {
    std::fprintf(stderr, "usage: listener_bench logger|gauge DUMP [RUNS]\n");
    return 2;
  }
  const int runs = argc == 4 ? std::max(1, std::atoi(argv[3])) : 5;
  ConversionRequest request;
  request.fromType = logger ? 2 : 3;
  request.toType = logger ? 0 : 1;
  const int from = OpenFile(argv[2], VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  const int to = OpenFile("/dev/null", VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  request.from = SourceOfHandle(from);
  request.to = SinkOfHandle(to);
  if (request.from == nullptr || request.to == nullptr) {
    std::fprintf(stderr, "listener_bench: cannot open %s or /dev/null\n", argv[2]);
    return 1;
  }
  CountingListener counter;
  ConversionRequest listened = request;
  listened.readings = &counter;
  std::vector<double> without, with;
  for (int i = 0; i < runs; ++i) {
    without.push_back(TimeOne(request));
    with.push_back(TimeOne(listened));
  }
  const double plain = Median(without);
  const double heard = Median(with);
  std::printf("%-8s %12.3f %14.3f %9.2fx %12lld\n", argv[1], plain, heard, heard / plain,
              static_cast<long long>(counter.readings / runs));
  CloseFile(from);
  CloseFile(to);
  return 0;
}
