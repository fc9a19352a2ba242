#include "qc/qartod.h"

#include <limits>

namespace {

constexpr size_t kFirstRingSlots = 64;

}  // namespace

void FlatRun::Ring::Grow() {
  std::vector<TimedValue> larger(slots_.empty() ? kFirstRingSlots : slots_.size() * 2);
  for (size_t i = 0; i < size_; ++i)
    larger[i] = slots_[(head_ + i) & (slots_.size() - 1)];
  slots_.swap(larger);
  head_ = 0;
}

void FlatRun::Restart() {
  highs_.Clear();
  lows_.Clear();
  beforeRun_ = -std::numeric_limits<double>::infinity();
}

FlatLineTest::FlatLineTest(const FlatLineThresholds& thresholds)
    : thresholds_(thresholds), run_(thresholds.tolerance, thresholds.failSeconds) {}

void FlatLineTest::Start(double time) {
  started_ = true;
  firstTime_ = time;
  run_.Restart();
}
