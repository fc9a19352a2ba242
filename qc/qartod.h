// The QARTOD tests of one value at a time, and the flat-line window that
// keeps the readings of the last seconds. "Beyond" a threshold is strictly
// beyond: a value equal to it passes.
#pragma once

#include <cstddef>
#include <vector>

#include "qc/flags.h"
#include "qc/settings.h"

// 4 outside the fail span, else 3 outside the suspect span, else 1.
QualityFlag GrossRangeFlag(const GrossRangeThresholds& thresholds, double value);

// A reading from a count at the sensor's limit is at least suspect, also
// where no gross range is configured (2 for the others then).
QualityFlag GrossRangeFlag(const std::optional<GrossRangeThresholds>& thresholds, double value,
                           bool atSensorLimit);

// The reading between two neighbours: 4 where it stands more than the fail
// threshold off their mean, else 3 beyond the suspect threshold, else 1.
QualityFlag SpikeFlag(const SpikeThresholds& thresholds, double before, double value, double after);

// 3 where the change from the reading before, per second, is beyond the
// threshold, else 1.
QualityFlag RateOfChangeFlag(const RateOfChangeThresholds& thresholds, double change,
                             double seconds);

// The readings of the last `span` seconds as two monotonic queues, so that
// their highest and lowest are known at once. Memory grows to the window's
// readings and stays there.
class WindowRange {
 public:
  explicit WindowRange(double span) : span_(span) {}
  void Restart();
  // Adds the reading at `time` (no earlier than the last) and returns
  // max - min of the readings in [time - span, time].
  double Add(double time, double value);

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
    void PushBack(TimedValue entry);
    void PopFront();
    void PopBack() { --size_; }
    void Clear() { head_ = size_ = 0; }

   private:
    std::vector<TimedValue> slots_;  // a power of two long
    size_t head_ = 0;
    size_t size_ = 0;
  };

  double span_;
  Ring highs_;  // values falling from the front
  Ring lows_;   // values rising from the front
};

// The flat-line test of one series: 4 once the series has lasted the fail
// threshold and its readings of that long moved less than the tolerance,
// else 3 for the suspect threshold, else 1.
class FlatLineTest {
 public:
  explicit FlatLineTest(const FlatLineThresholds& thresholds);
  // The first reading of a new series comes next.
  void Restart() { started_ = false; }
  QualityFlag Add(double time, double value);

 private:
  FlatLineThresholds thresholds_;
  WindowRange suspectWindow_;
  WindowRange failWindow_;
  bool started_ = false;
  double firstTime_ = 0.0;
};
