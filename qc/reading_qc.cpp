#include "qc/reading_qc.h"

ReadingQc::ReadingQc(const VariableTests& tests) : tests_(tests) {
  if (tests_.flatLine)
    flatLine_.emplace(*tests_.flatLine);
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
