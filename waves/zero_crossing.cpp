#include "waves/zero_crossing.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <vector>

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

struct Wave {
  double height = 0.0;
  double period = 0.0;
};

// The crossing between samples i and i+1, in samples from the start.
double CrossingAt(const double* series, size_t i) {
  return static_cast<double>(i) + series[i] / (series[i] - series[i + 1]);
}

bool UpCrossing(const double* series, size_t i) {
  return series[i] < 0.0 && series[i + 1] >= 0.0;
}

std::vector<Wave> WavesOf(const double* series, size_t count, double sampleRate) {
  std::vector<Wave> waves;
  size_t i = 0;
  while (i + 1 < count && !UpCrossing(series, i))
    ++i;
  if (i + 1 >= count)
    return waves;
  double start = CrossingAt(series, i);
  double highest = series[i + 1];
  double lowest = series[i + 1];
  for (++i; i + 1 < count; ++i) {
    if (UpCrossing(series, i)) {
      const double end = CrossingAt(series, i);
      waves.push_back({highest - lowest, (end - start) / sampleRate});
      start = end;
      highest = lowest = series[i + 1];
      continue;
    }
    highest = std::max(highest, series[i + 1]);
    lowest = std::min(lowest, series[i + 1]);
  }
  return waves;
}

// Mean height and period of the first `count` of `waves` (highest first).
Wave MeanOfHighest(const std::vector<Wave>& waves, size_t count) {
  if (count == 0)
    return {kNoValue, kNoValue};
  Wave sum;
  for (size_t i = 0; i < count; ++i) {
    sum.height += waves[i].height;
    sum.period += waves[i].period;
  }
  return {sum.height / static_cast<double>(count), sum.period / static_cast<double>(count)};
}

}  // namespace

ZeroCrossingStatistics ZeroCrossingsOf(const double* series, size_t count, double sampleRate) {
  std::vector<Wave> waves = WavesOf(series, count, sampleRate);
  std::stable_sort(waves.begin(), waves.end(),
                   [](const Wave& a, const Wave& b) { return a.height > b.height; });
  ZeroCrossingStatistics statistics;
  statistics.waves = static_cast<int64_t>(waves.size());
  const Wave all = MeanOfHighest(waves, waves.size());
  const Wave third = MeanOfHighest(waves, waves.size() / 3);
  statistics.hs = third.height;
  statistics.ts = third.period;
  statistics.h10 = MeanOfHighest(waves, waves.size() / 10).height;
  statistics.hmax = waves.empty() ? kNoValue : waves.front().height;
  statistics.hmean = all.height;
  statistics.tz = all.period;
  return statistics;
}
