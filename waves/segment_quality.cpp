#include "waves/segment_quality.h"

#include <cmath>
#include <string>

#include "qc/qartod.h"

namespace {

void AddRangeReason(const char* statistic, QualityFlag flag, std::string* reasons) {
  if (flag != kFlagSuspect && flag != kFlagBad)
    return;
  if (!reasons->empty())
    *reasons += ';';
  *reasons += std::string(statistic) + (flag == kFlagBad ? "-range-bad" : "-range-suspect");
}

// Runs the test where it is configured; the flag takes part in the
// segment's only then.
QualityFlag RangeTest(const std::optional<GrossRangeThresholds>& thresholds, double value,
                      const char* statistic, WaveSegment* segment, QualityFlag* aggregate) {
  if (!thresholds)
    return kFlagNotEvaluated;
  const QualityFlag flag = StatisticRangeFlag(*thresholds, value);
  AddRangeReason(statistic, flag, &segment->reason);
  *aggregate = Strongest(*aggregate, flag);
  return flag;
}

}  // namespace

QualityFlag StatisticRangeFlag(const GrossRangeThresholds& thresholds, double value) {
  return std::isnan(value) ? kFlagMissing : GrossRangeFlag(thresholds, value);
}

void FlagSegment(const WaveSettings& settings, WaveSegment* segment) {
  // The reasons so far (few good readings among them) are each suspect.
  QualityFlag aggregate = segment->reason.empty() ? kFlagGood : kFlagSuspect;
  const SpectralStatistics& spectral = segment->analysis.spectral;
  segment->hm0Range = RangeTest(settings.hm0Range, spectral.hm0, "hm0", segment, &aggregate);
  segment->tpRange = RangeTest(settings.tpRange, spectral.tp, "tp", segment, &aggregate);
  segment->flag = aggregate == kFlagBad       ? SegmentFlag::Bad
                  : aggregate == kFlagSuspect ? SegmentFlag::Suspect
                                              : SegmentFlag::Good;
}
