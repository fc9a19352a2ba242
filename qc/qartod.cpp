#include "qc/qartod.h"

#include <cmath>

namespace {

bool Outside(const QcSpan& span, double value) {
  return value < span.low || value > span.high;
}

constexpr size_t kFirstRingSlots = 64;

}  // namespace

QualityFlag GrossRangeFlag(const GrossRangeThresholds& thresholds, double value) {
  if (Outside(thresholds.fail, value))
    return kFlagBad;
  if (Outside(thresholds.suspect, value))
    return kFlagSuspect;
  return kFlagGood;
}

QualityFlag GrossRangeFlag(const std::optional<GrossRangeThresholds>& thresholds, double value,
                           bool atSensorLimit) {
  const QualityFlag flag = thresholds ? GrossRangeFlag(*thresholds, value) : kFlagNotEvaluated;
  return atSensorLimit ? Strongest(flag, kFlagSuspect) : flag;
}

QualityFlag SpikeFlag(const SpikeThresholds& thresholds, double before, double value,
                      double after) {
  const double offMean = std::fabs(value - (before + after) / 2.0);
  if (offMean > thresholds.fail)
    return kFlagBad;
  if (offMean > thresholds.suspect)
    return kFlagSuspect;
  return kFlagGood;
}

QualityFlag RateOfChangeFlag(const RateOfChangeThresholds& thresholds, double change,
                             double seconds) {
  return std::fabs(change) / seconds > thresholds.threshold ? kFlagSuspect : kFlagGood;
}

void WindowRange::Ring::PushBack(TimedValue entry) {
  if (size_ == slots_.size()) {
    std::vector<TimedValue> larger(slots_.empty() ? kFirstRingSlots : slots_.size() * 2);
    for (size_t i = 0; i < size_; ++i)
      larger[i] = slots_[(head_ + i) & (slots_.size() - 1)];
    slots_.swap(larger);
    head_ = 0;
  }
  slots_[(head_ + size_) & (slots_.size() - 1)] = entry;
  ++size_;
}

void WindowRange::Ring::PopFront() {
  head_ = (head_ + 1) & (slots_.size() - 1);
  --size_;
}

void WindowRange::Restart() {
  highs_.Clear();
  lows_.Clear();
}

double WindowRange::Add(double time, double value) {
  while (!highs_.Empty() && highs_.Back().value <= value)
    highs_.PopBack();
  highs_.PushBack({time, value});
  while (!lows_.Empty() && lows_.Back().value >= value)
    lows_.PopBack();
  lows_.PushBack({time, value});
  const double oldest = time - span_;
  while (highs_.Front().time < oldest)
    highs_.PopFront();
  while (lows_.Front().time < oldest)
    lows_.PopFront();
  return highs_.Front().value - lows_.Front().value;
}

FlatLineTest::FlatLineTest(const FlatLineThresholds& thresholds)
    : thresholds_(thresholds),
      suspectWindow_(thresholds.suspectSeconds),
      failWindow_(thresholds.failSeconds) {}

QualityFlag FlatLineTest::Add(double time, double value) {
  if (!started_) {
    started_ = true;
    firstTime_ = time;
    suspectWindow_.Restart();
    failWindow_.Restart();
  }
  const double lasted = time - firstTime_;
  const double failRange = failWindow_.Add(time, value);
  const double suspectRange = suspectWindow_.Add(time, value);
  if (lasted >= thresholds_.failSeconds && failRange < thresholds_.tolerance)
    return kFlagBad;
  if (lasted >= thresholds_.suspectSeconds && suspectRange < thresholds_.tolerance)
    return kFlagSuspect;
  return kFlagGood;
}
