#include "qc/reading_qc.h"

#include <cmath>

namespace {

// Times are counted in doubles from a stamp: a spacing this close to one
// interval is that interval.
constexpr double kSpacingTolerance = 1e-6;

}  // namespace

bool BreaksSeries(const QcReading& last, const QcReading& next) {
  if (next.burst != last.burst)
    return true;
  const double step = next.time - last.time;
  if (step <= 0.0)
    return true;
  const double interval = next.interval;
  return std::fabs(step - interval) > interval * (1.0 + kSpacingTolerance);
}

ReadingQc::ReadingQc(const VariableTests& tests) : tests_(tests) {
  if (tests_.flatLine)
    flatLine_.emplace(*tests_.flatLine);
}

void ReadingQc::Finish(QualityFlag spike, ReadingFlags* finished) const {
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

bool ReadingQc::Add(const QcReading& reading, ReadingFlags* finished) {
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

bool ReadingQc::Flush(ReadingFlags* finished) {
  if (!holding_)
    return false;
  Finish(kFlagNotEvaluated, finished);
  holding_ = false;
  return true;
}

std::vector<NamedFlagCount> ShownFlagCounts(const VariableTests& tests,
                                            const ReadingFlagCounts& counts) {
  std::vector<NamedFlagCount> shown = {{kGrossRangeFlagName, &counts.grossRange}};
  if (tests.spike)
    shown.push_back({kSpikeFlagName, &counts.spike});
  if (tests.rateOfChange)
    shown.push_back({kRateOfChangeFlagName, &counts.rateOfChange});
  if (tests.flatLine)
    shown.push_back({kFlatLineFlagName, &counts.flatLine});
  shown.push_back({kAggregateFlagName, &counts.aggregate});
  return shown;
}
