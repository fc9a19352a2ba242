// The QARTOD tests of one value at a time, and the flat-line window that
// keeps the readings of the last seconds. "Beyond" a threshold is strictly
// beyond: a value equal to it passes. The tests run on every reading:
// inline, so that the stream's loop keeps them in registers.
#pragma once

#include <cmath>
#include <cstddef>
#include <optional>
#include <vector>

#include "qc/flags.h"
#include "qc/settings.h"

inline bool OutsideSpan(const QcSpan& span, double value) {
  return value < span.low || value > span.high;
}

// 4 outside the fail span, else 3 outside the suspect span, else 1.
// Selects rather than branches: readings may be noisy enough that no
// branch predicts them.
inline QualityFlag GrossRangeFlag(const GrossRangeThresholds& thresholds, double value) {
  const QualityFlag flag = OutsideSpan(thresholds.suspect, value) ? kFlagSuspect : kFlagGood;
  return OutsideSpan(thresholds.fail, value) ? kFlagBad : flag;
}

// A reading from a count at the sensor's limit is at least suspect, also
// where no gross range is configured (2 for the others then).
inline QualityFlag GrossRangeFlag(const std::optional<GrossRangeThresholds>& thresholds,
                                  double value, bool atSensorLimit) {
  const QualityFlag flag = thresholds ? GrossRangeFlag(*thresholds, value) : kFlagNotEvaluated;
  return atSensorLimit ? Strongest(flag, kFlagSuspect) : flag;
}

// The reading between two neighbours: 4 where it stands more than the fail
// threshold off their mean, else 3 beyond the suspect threshold, else 1.
inline QualityFlag SpikeFlag(const SpikeThresholds& thresholds, double before, double value,
                             double after) {
  const double offMean = std::fabs(value - (before + after) / 2.0);
  const QualityFlag flag = offMean > thresholds.suspect ? kFlagSuspect : kFlagGood;
  return offMean > thresholds.fail ? kFlagBad : flag;
}

// 3 where the change from the reading before, per second, is beyond the
// threshold, else 1.
inline QualityFlag RateOfChangeFlag(const RateOfChangeThresholds& thresholds, double change,
                                    double seconds) {
  return std::fabs(change) / seconds > thresholds.threshold ? kFlagSuspect : kFlagGood;
}

// The flat run that ends at the latest reading: the readings since the
// last one that lies `tolerance` or more from one of them, which is
// max - min < tolerance over every window inside it. Kept as two monotonic
// queues of the run's readings no older than `span` seconds, so that memory
// stays at one window however long a flat line lasts. A reading `tolerance`
// from the last starts a run of its own at once: noisy readings cost no
// more than a comparison.
class FlatRun {
 public:
  FlatRun(double tolerance, double span) : tolerance_(tolerance), span_(span) {}
  void Restart();
  // Adds the reading at `time` (later than the last) and returns the time
  // of the reading just before the run, or -infinity where the run goes
  // back to the series' first reading.
  double Add(double time, double value) {
    if (!highs_.Empty() && std::fabs(value - lastValue_) >= tolerance_) {
      beforeRun_ = lastTime_;
      highs_.Clear();
      lows_.Clear();
    }
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
    // The run starts after the earlier of the two extremes while they are
    // too far apart.
    while (highs_.Front().value - lows_.Front().value >= tolerance_) {
      Ring& earlier = highs_.Front().time < lows_.Front().time ? highs_ : lows_;
      beforeRun_ = earlier.Front().time;
      earlier.PopFront();
    }
    lastTime_ = time;
    lastValue_ = value;
    return beforeRun_;
  }

 private:
  struct TimedValue {
    double time;
    double value;
  };
  // A queue on a ring that grows by doubling.
  class Ring {
   public:
    bool Empty() const { return size_ == 0; }
    const TimedValue& Front() const { return slots_[head_]; }
    const TimedValue& Back() const { return slots_[(head_ + size_ - 1) & (slots_.size() - 1)]; }
    void PushBack(TimedValue entry) {
      if (size_ == slots_.size())
        Grow();
      slots_[(head_ + size_) & (slots_.size() - 1)] = entry;
      ++size_;
    }
    void PopFront() {
      head_ = (head_ + 1) & (slots_.size() - 1);
      --size_;
    }
    void PopBack() { --size_; }
    void Clear() { head_ = size_ = 0; }

   private:
    void Grow();

    std::vector<TimedValue> slots_;  // a power of two long
    size_t head_ = 0;
    size_t size_ = 0;
  };

  double tolerance_;
  double span_;
  Ring highs_;  // values falling from the front
  Ring lows_;   // values rising from the front
  double beforeRun_ = 0.0;
  double lastTime_ = 0.0;
  double lastValue_ = 0.0;
};

// The flat-line test of one series: 4 once the series has lasted the fail
// threshold and its readings of that long moved less than the tolerance,
// else 3 for the suspect threshold, else 1. The readings of the last s
// seconds moved less than the tolerance where all of them are in the flat
// run: where the reading before it is older than s seconds.
class FlatLineTest {
 public:
  explicit FlatLineTest(const FlatLineThresholds& thresholds);
  // The first reading of a new series comes next.
  void Restart() { started_ = false; }
  QualityFlag Add(double time, double value) {
    if (!started_)
      Start(time);
    const double lasted = time - firstTime_;
    const double beforeRun = run_.Add(time, value);
    if (lasted >= thresholds_.failSeconds && beforeRun < time - thresholds_.failSeconds)
      return kFlagBad;
    if (lasted >= thresholds_.suspectSeconds && beforeRun < time - thresholds_.suspectSeconds)
      return kFlagSuspect;
    return kFlagGood;
  }

 private:
  void Start(double time);

  FlatLineThresholds thresholds_;
  FlatRun run_;
  bool started_ = false;
  double firstTime_ = 0.0;
};
