#include "waves/zero_crossing.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

struct Wave {
  double height = 0.0;
  double period = 0.0;
  size_t order = 0;  // its place in the series: equal heights keep it
};

// The crossing between samples i and i+1, in samples from the start.
double CrossingAt(const double* series, size_t i) {
  return static_cast<double>(i) + series[i] / (series[i] - series[i + 1]);
}

// The up-crossings of a series, each i with series[i] < 0 <= series[i+1],
// and the highest and lowest sample of the wave each one ends.
struct Crossings {
  std::vector<double> at;       // in samples from the start, interpolated
  std::vector<double> highest;  // [k]: of the samples after crossing k-1 up to crossing k
  std::vector<double> lowest;
};

// One pass without a branch per sample: the crossings of a wave record come
// at random to a predictor. Every sample writes its running extremes to the
// slot of the next crossing, which keeps those written at the crossing.
void FindUpCrossings(const double* series, size_t count, Crossings* crossings) {
  thread_local std::vector<size_t> index;
  index.resize(count);
  crossings->highest.resize(count);
  crossings->lowest.resize(count);
  size_t* at = index.data();
  double* highestAt = crossings->highest.data();
  double* lowestAt = crossings->lowest.data();
  size_t found = 0;
  double highest = count > 0 ? series[0] : 0.0;
  double lowest = highest;
  for (size_t i = 0; i + 1 < count; ++i) {
    at[found] = i;
    highestAt[found] = highest;
    lowestAt[found] = lowest;
    const double next = series[i + 1];
    const bool up = (series[i] < 0.0) & (next >= 0.0);
    found += static_cast<size_t>(up);
    highest = up ? next : std::max(highest, next);
    lowest = up ? next : std::min(lowest, next);
  }
  crossings->at.resize(found);
  for (size_t k = 0; k < found; ++k)
    crossings->at[k] = CrossingAt(series, at[k]);
}

// Wave k runs from crossing k to crossing k+1.
void WavesBetween(const Crossings& crossings, double sampleRate, std::vector<Wave>* waves) {
  waves->clear();
  for (size_t k = 0; k + 1 < crossings.at.size(); ++k) {
    const double height = crossings.highest[k + 1] - crossings.lowest[k + 1];
    const double period = (crossings.at[k + 1] - crossings.at[k]) / sampleRate;
    waves->push_back({height, period, k});
  }
}

// Highest first, equal heights in their order in the series. A height that
// is not a number (a series that was not all numbers) has no place in that
// order: such waves keep the stable sort's.
void SortHighestFirst(std::vector<Wave>* waves) {
  const auto higher = [](const Wave& a, const Wave& b) { return a.height > b.height; };
  const bool numbers = std::none_of(waves->begin(), waves->end(),
                                    [](const Wave& wave) { return std::isnan(wave.height); });
  if (!numbers) {
    std::stable_sort(waves->begin(), waves->end(), higher);
    return;
  }
  std::sort(waves->begin(), waves->end(), [](const Wave& a, const Wave& b) {
    return a.height > b.height || (a.height == b.height && a.order < b.order);
  });
}

struct Sums {
  double height = 0.0;
  double period = 0.0;
};

Sums MeanOf(const Sums& sums, size_t count) {
  if (count == 0)
    return {kNoValue, kNoValue};
  const double n = static_cast<double>(count);
  return {sums.height / n, sums.period / n};
}

}  // namespace

ZeroCrossingStatistics ZeroCrossingsOf(const double* series, size_t count, double sampleRate) {
  // Kept from segment to segment: a dump may have many thousands.
  thread_local Crossings crossings;
  thread_local std::vector<Wave> waves;
  waves.clear();
  if (series != nullptr) {
    FindUpCrossings(series, count, &crossings);
    WavesBetween(crossings, sampleRate, &waves);
  }
  SortHighestFirst(&waves);
  // One run down the sorted waves gives the sums of the highest tenth, the
  // highest third and all, each added in the same order from the highest.
  const size_t tenth = waves.size() / 10;
  const size_t third = waves.size() / 3;
  Sums sums;
  Sums tenthSums;
  Sums thirdSums;
  for (size_t i = 0; i < waves.size(); ++i) {
    if (i == tenth)
      tenthSums = sums;
    if (i == third)
      thirdSums = sums;
    sums.height += waves[i].height;
    sums.period += waves[i].period;
  }
  if (tenth == waves.size())
    tenthSums = sums;
  if (third == waves.size())
    thirdSums = sums;
  ZeroCrossingStatistics statistics;
  statistics.waves = static_cast<int64_t>(waves.size());
  const Sums all = MeanOf(sums, waves.size());
  const Sums highestThird = MeanOf(thirdSums, third);
  statistics.hs = highestThird.height;
  statistics.ts = highestThird.period;
  statistics.h10 = MeanOf(tenthSums, tenth).height;
  statistics.hmax = waves.empty() ? kNoValue : waves.front().height;
  statistics.hmean = all.height;
  statistics.tz = all.period;
  return statistics;
}
