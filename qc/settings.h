// The thresholds of the QARTOD tests, as the deployment file's `qc`
// section gives them (the names of the field's QC configuration files).
// Thresholds are in the tested variable's units, and seconds.
#pragma once

#include <optional>
#include <string>

struct QcSpan {
  double low = 0.0;
  double high = 0.0;
};

struct GrossRangeThresholds {
  QcSpan fail;
  QcSpan suspect;
};

struct SpikeThresholds {
  double suspect = 0.0;
  double fail = 0.0;
};

struct RateOfChangeThresholds {
  double threshold = 0.0;  // units per second
};

struct FlatLineThresholds {
  double tolerance = 0.0;
  double suspectSeconds = 0.0;
  double failSeconds = 0.0;
};

// The tests configured for one variable; a test not given is not run.
struct VariableTests {
  std::optional<GrossRangeThresholds> grossRange;
  std::optional<SpikeThresholds> spike;
  std::optional<RateOfChangeThresholds> rateOfChange;
  std::optional<FlatLineThresholds> flatLine;
};

struct QcSettings {
  VariableTests reading;
  std::optional<GrossRangeThresholds> hm0;
  std::optional<GrossRangeThresholds> tp;
};

// What makes thresholds unusable, in words ("fail_span's first value is
// above its second"); empty when they are usable.
std::string ThresholdProblem(const GrossRangeThresholds& thresholds);
std::string ThresholdProblem(const SpikeThresholds& thresholds);
std::string ThresholdProblem(const RateOfChangeThresholds& thresholds);
std::string ThresholdProblem(const FlatLineThresholds& thresholds);
