// The QARTOD tests run on a stream of readings, one at a time, in series:
// a series is a gauge burst or a run of readings at the sample spacing, and
// no test looks across a break. The spike test needs the reading after: a
// reading's flags are handed back when the next one comes, or when the
// stream ends. Memory is one reading and the flat-line windows.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "qc/flags.h"
#include "qc/qartod.h"
#include "qc/settings.h"

struct QcReading {
  double time = 0.0;  // seconds
  double value = 0.0;
  double interval = 1.0;               // the sample spacing, seconds
  int64_t burst = -1;                  // the gauge burst, -1 for loggers
  bool atSensorLimit = false;          // from a count of 0 or 4095
  QualityFlag conversion = kFlagGood;  // the conversion's own flag
};

// One reading's flags. A test not configured leaves its flag at 2 and has
// no part in the aggregate.
struct ReadingFlags {
  QualityFlag grossRange = kFlagNotEvaluated;
  QualityFlag spike = kFlagNotEvaluated;
  QualityFlag rateOfChange = kFlagNotEvaluated;
  QualityFlag flatLine = kFlagNotEvaluated;
  QualityFlag aggregate = kFlagNotEvaluated;
};

// How many readings got each flag, in the order of kQartodFlagValues.
struct FlagCount {
  std::array<int64_t, kFlagKinds> readings{};
  void Add(QualityFlag flag) { ++readings[static_cast<size_t>(PlaceOf(flag))]; }
};

// The flags of a run's readings counted per test and for the aggregate (a
// test not configured counts its 2s, which no report shows).
struct ReadingFlagCounts {
  FlagCount grossRange;
  FlagCount spike;
  FlagCount rateOfChange;
  FlagCount flatLine;
  FlagCount aggregate;
  void Add(const ReadingFlags& flags) {
    grossRange.Add(flags.grossRange);
    spike.Add(flags.spike);
    rateOfChange.Add(flags.rateOfChange);
    flatLine.Add(flags.flatLine);
    aggregate.Add(flags.aggregate);
  }
};

struct NamedFlagCount {
  const char* name;  // the flag's standard name
  const FlagCount* count;
};
// What a report shows: the gross range test's count (its variable is always
// written), each other test configured, then the aggregate.
std::vector<NamedFlagCount> ShownFlagCounts(const VariableTests& tests,
                                            const ReadingFlagCounts& counts);

// True when `next` cannot continue the series that `last` ended: another
// burst, a time that went back or stood still, or a stamp that moved the
// time by more than one sample interval from where it was due.
inline bool BreaksSeries(const QcReading& last, const QcReading& next);

class ReadingQc {
 public:
  explicit ReadingQc(const VariableTests& tests);

  // Tests `reading`. True, with `finished` set, when the reading before it
  // is complete now.
  bool Add(const QcReading& reading, ReadingFlags* finished);
  // The stream ends: true, with `finished` set, when a reading was held.
  bool Flush(ReadingFlags* finished);

 private:
  void Finish(QualityFlag spike, ReadingFlags* finished) const;

  VariableTests tests_;
  std::optional<FlatLineTest> flatLine_;
  bool holding_ = false;
  QcReading held_;
  ReadingFlags heldFlags_;
  bool heldHasBefore_ = false;  // the held reading is not its series' first
  double beforeHeld_ = 0.0;
};

// Inline: every reading passes through them, and a call per reading cost
// about as much as the tests.

// Times are counted in doubles from a stamp: a spacing this close to one
// interval is that interval.
inline constexpr double kSpacingTolerance = 1e-6;

inline bool BreaksSeries(const QcReading& last, const QcReading& next) {
  if (next.burst != last.burst)
    return true;
  const double step = next.time - last.time;
  if (step <= 0.0)
    return true;
  const double interval = next.interval;
  return std::fabs(step - interval) > interval * (1.0 + kSpacingTolerance);
}

inline void ReadingQc::Finish(QualityFlag spike, ReadingFlags* finished) const {
  ReadingFlags flags = heldFlags_;
  QualityFlag aggregate = Strongest(held_.conversion, flags.grossRange);
  if (tests_.spike) {
    flags.spike = spike;
    aggregate = Strongest(aggregate, spike);
  }
  if (tests_.rateOfChange)
    aggregate = Strongest(aggregate, flags.rateOfChange);
  if (tests_.flatLine)
    aggregate = Strongest(aggregate, flags.flatLine);
  flags.aggregate = aggregate;
  *finished = flags;
}

inline bool ReadingQc::Add(const QcReading& reading, ReadingFlags* finished) {
  const bool wasHolding = holding_;
  const bool startsSeries = !holding_ || BreaksSeries(held_, reading);
  if (holding_) {
    // An end of a series has one neighbour: not evaluated.
    const bool inside = heldHasBefore_ && !startsSeries;
    Finish(inside && tests_.spike
               ? SpikeFlag(*tests_.spike, beforeHeld_, held_.value, reading.value)
               : kFlagNotEvaluated,
           finished);
  }
  ReadingFlags flags;
  flags.grossRange = GrossRangeFlag(tests_.grossRange, reading.value, reading.atSensorLimit);
  if (tests_.rateOfChange) {
    flags.rateOfChange = startsSeries
                             ? kFlagGood
                             : RateOfChangeFlag(*tests_.rateOfChange, reading.value - held_.value,
                                                reading.time - held_.time);
  }
  if (flatLine_) {
    if (startsSeries)
      flatLine_->Restart();
    flags.flatLine = flatLine_->Add(reading.time, reading.value);
  }
  heldHasBefore_ = !startsSeries;
  beforeHeld_ = held_.value;
  held_ = reading;
  heldFlags_ = flags;
  holding_ = true;
  return wasHolding;
}
