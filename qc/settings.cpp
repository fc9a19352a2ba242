#include "qc/settings.h"

#include <cmath>

namespace {

bool Finite(double value) {
  return std::isfinite(value);
}

}  // namespace

std::string ThresholdProblem(const GrossRangeThresholds& thresholds) {
  const QcSpan& fail = thresholds.fail;
  const QcSpan& suspect = thresholds.suspect;
  if (!(Finite(fail.low) && Finite(fail.high) && Finite(suspect.low) && Finite(suspect.high)))
    return "spans need finite numbers";
  if (fail.low > fail.high)
    return "fail_span's first value is above its second";
  if (suspect.low > suspect.high)
    return "suspect_span's first value is above its second";
  // A reading outside the fail span is bad before it can be suspect.
  if (suspect.low < fail.low || suspect.high > fail.high)
    return "suspect_span reaches outside fail_span";
  return "";
}

std::string ThresholdProblem(const SpikeThresholds& thresholds) {
  if (!(Finite(thresholds.suspect) && Finite(thresholds.fail)))
    return "thresholds need finite numbers";
  if (thresholds.suspect < 0.0)
    return "suspect_threshold is below 0";
  if (thresholds.fail < thresholds.suspect)
    return "fail_threshold is below suspect_threshold";
  return "";
}

std::string ThresholdProblem(const RateOfChangeThresholds& thresholds) {
  if (!Finite(thresholds.threshold))
    return "threshold needs a finite number";
  if (thresholds.threshold < 0.0)
    return "threshold is below 0";
  return "";
}

std::string ThresholdProblem(const FlatLineThresholds& thresholds) {
  if (!(Finite(thresholds.tolerance) && Finite(thresholds.suspectSeconds) &&
        Finite(thresholds.failSeconds)))
    return "thresholds need finite numbers";
  if (thresholds.tolerance <= 0.0)
    return "tolerance is not above 0";
  if (thresholds.suspectSeconds <= 0.0)
    return "suspect_threshold is not above 0 seconds";
  if (thresholds.failSeconds < thresholds.suspectSeconds)
    return "fail_threshold is below suspect_threshold";
  return "";
}
