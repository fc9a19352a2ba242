// Trimming to the time in water: the readings before the deployment file's
// `deployed` and after its `recovered` are left out of the science outputs
// and the statistics, by a listener in front of theirs. The legacy CSV is
// the instrument's own record and stays whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "convert/readings.h"
#include "science/metadata.h"
#include "science/time_base.h"

// UTC seconds of "2026-03-01T12:00:00Z" (a fraction of a second and a
// zone of "+00:00" may be given); none for any other text.
std::optional<double> ParseIsoUtc(const std::string& text);

// "left out 120 readings before the deployment (2026-03-01T12:00:00Z) and
// 45 after its recovery (...)", for standard error and the JSON report.
std::string TrimmedText(const ScienceSettings& settings, const TrimmedCounts& counts);

class DeploymentTrim final : public ReadingListener {
 public:
  // `downstream`: where the readings inside the deployment go. Not owned.
  DeploymentTrim(const ScienceSettings& settings, ReadingListener* downstream);

  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;

  const TrimmedCounts& counts() const { return counts_; }

 private:
  bool Inside(double time) const;

  TimeAxis axis_;
  std::optional<double> deployed_;
  std::optional<double> recovered_;
  ReadingListener* downstream_;
  TrimmedCounts counts_;
  bool lastLinePassed_ = true;  // the last line's last reading went on
};
