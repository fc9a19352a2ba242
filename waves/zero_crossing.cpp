#include "waves/zero_crossing.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// The crossing between samples i and i+1, in samples from the start.
double CrossingAt(const double* series, size_t i) {
  return static_cast<double>(i) + series[i] / (series[i] - series[i + 1]);
}

// The up-crossings of a series, each i with series[i] < 0 <= series[i+1],
// and the heights of the waves between them.
struct Waves {
  std::vector<double> at;      // crossing k, in samples from the start, interpolated
  std::vector<double> height;  // [k]: of wave k, from crossing k to crossing k+1

  size_t count() const { return height.size(); }
  double PeriodOf(size_t k, double sampleRate) const { return (at[k + 1] - at[k]) / sampleRate; }
};

// The search for up-crossings over samples [first, end): each pair (i, i+1)
// with i + 1 < end, the extremes starting from sample `first`. `at` and
// `spreadAt` get a slot per crossing found, and one after: slot k holds the
// crossing's sample i and the spread of the samples since the crossing
// before (since `first` for slot 0).
struct CrossingSearch {
  const double* series = nullptr;
  size_t i = 0;
  size_t end = 0;
  size_t* at = nullptr;
  double* spreadAt = nullptr;
  size_t found = 0;
#if defined(__SSE2__)
  // The extremes as one double in a register, chosen by masks: the
  // compiler turns a choice between doubles into a branch.
  __m128d highest;
  __m128d lowest;

  CrossingSearch(const double* s, size_t first, size_t last, size_t* a, double* spread)
      : series(s), i(first), end(last), at(a), spreadAt(spread) {
    highest = _mm_load_sd(series + first);
    lowest = highest;
  }
  bool Done() const {
    return i + 1 >= end;
  }
  void Step() {
    const __m128d zero = _mm_setzero_pd();
    at[found] = i;
    spreadAt[found] = _mm_cvtsd_f64(_mm_sub_sd(highest, lowest));
    const __m128d next = _mm_load_sd(series + i + 1);
    const __m128d up =
        _mm_and_pd(_mm_cmplt_sd(_mm_load_sd(series + i), zero), _mm_cmpge_sd(next, zero));
    found += static_cast<size_t>(_mm_movemask_pd(up) & 1);
    // As std::max(highest, next) and std::min(lowest, next), a next that is
    // not a number leaving them as they were.
    const __m128d restart = _mm_and_pd(up, next);
    highest = _mm_or_pd(restart, _mm_andnot_pd(up, _mm_max_sd(next, highest)));
    lowest = _mm_or_pd(restart, _mm_andnot_pd(up, _mm_min_sd(next, lowest)));
    ++i;
  }
#else
  double highest = 0.0;
  double lowest = 0.0;

  CrossingSearch(const double* s, size_t first, size_t last, size_t* a, double* spread)
      : series(s), i(first), end(last), at(a), spreadAt(spread) {
    highest = series[first];
    lowest = highest;
  }
  bool Done() const {
    return i + 1 >= end;
  }
  void Step() {
    at[found] = i;
    spreadAt[found] = highest - lowest;
    const double next = series[i + 1];
    const bool up = (series[i] < 0.0) & (next >= 0.0);
    found += static_cast<size_t>(up);
    highest = up ? next : std::max(highest, next);
    lowest = up ? next : std::min(lowest, next);
    ++i;
  }
#endif
};

// The spread of samples [first, last] as the search takes it.
double SpreadOf(const double* series, size_t first, size_t last) {
  double highest = series[first];
  double lowest = highest;
  for (size_t i = first + 1; i <= last; ++i) {
    highest = std::max(highest, series[i]);
    lowest = std::min(lowest, series[i]);
  }
  return highest - lowest;
}

// Below this many samples one search goes through the series.
constexpr size_t kTwoSearchesFrom = 64;

// One pass without a branch per sample: the crossings of a wave record come
// at random to a predictor. Every sample writes the spread of the samples
// since the last crossing to the slot of the next one, which keeps the one
// written at the crossing: the height of the wave it ends. Each step waits
// for the extremes of the one before, so the two halves of the series are
// searched side by side, and the wave across the middle is measured apart.
void FindWaves(const double* series, size_t count, Waves* waves) {
  thread_local std::vector<size_t> index;
  thread_local std::vector<double> spread;
  index.resize(count + 1);
  spread.resize(count + 1);
  waves->at.clear();
  waves->height.clear();
  if (count == 0)
    return;
  // A short series is searched by the front alone; the back has no pair.
  const size_t middle = count < kTwoSearchesFrom ? count - 1 : count / 2;
  CrossingSearch front(series, 0, middle + 1, index.data(), spread.data());
  CrossingSearch back(series, middle, count < kTwoSearchesFrom ? middle + 1 : count,
                      index.data() + middle + 1, spread.data() + middle + 1);
  while (!back.Done()) {
    front.Step();
    back.Step();
  }
  while (!front.Done())
    front.Step();
  for (size_t k = 0; k < front.found; ++k)
    waves->at.push_back(CrossingAt(series, front.at[k]));
  for (size_t k = 0; k < back.found; ++k)
    waves->at.push_back(CrossingAt(series, back.at[k]));
  // Slot 0 of the front holds the samples before the first crossing: no
  // wave. Slot 0 of the back holds only the back's part of the wave across
  // the middle.
  for (size_t k = 1; k < front.found; ++k)
    waves->height.push_back(front.spreadAt[k]);
  if (front.found > 0 && back.found > 0)
    waves->height.push_back(SpreadOf(series, front.at[front.found - 1] + 1, back.at[0]));
  for (size_t k = 1; k < back.found; ++k)
    waves->height.push_back(back.spreadAt[k]);
}

// Below this many values a selection sorts them.
constexpr size_t kSortedSelection = 16;

// Moves the values above `pivot` to the front of [begin, end) and returns
// where the others start. Without a branch per value: heights come in no
// order a predictor could learn.
double* PartitionAbove(double* begin, double* end, double pivot) {
  double* store = begin;
  for (double* p = begin; p < end; ++p) {
    const double value = *p;
    *p = *store;
    *store = value;
    store += value > pivot ? 1 : 0;
  }
  return store;
}

// The same for the values equal to `pivot`.
double* PartitionEqual(double* begin, double* end, double pivot) {
  double* store = begin;
  for (double* p = begin; p < end; ++p) {
    const double value = *p;
    *p = *store;
    *store = value;
    store += value == pivot ? 1 : 0;
  }
  return store;
}

double MedianOfThree(double a, double b, double c) {
  return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// The value that would stand at `k` (from 0) if [begin, end) were sorted
// highest first; the values before `k` end up no lower than it. The values
// must all be numbers.
double KthHighest(double* begin, double* end, size_t k) {
  double* const wanted = begin + k;
  while (end - begin > static_cast<std::ptrdiff_t>(kSortedSelection)) {
    const double pivot = MedianOfThree(*begin, begin[(end - begin) / 2], end[-1]);
    double* const above = PartitionAbove(begin, end, pivot);
    if (above != begin) {  // the pivot is not the highest: both sides are smaller
      (wanted < above ? end : begin) = above;
      continue;
    }
    double* const equal = PartitionEqual(begin, end, pivot);
    if (wanted < equal)
      return pivot;
    begin = equal;
  }
  std::sort(begin, end, std::greater<>());
  return *wanted;
}

// Of the waves taken highest first: how many, and the height that the last
// of them has. Of the waves that high, the first in the series are taken.
struct Highest {
  size_t wanted = 0;
  double lowest = 0.0;
  size_t higher = 0;  // waves above `lowest`
};

Highest HighestOf(double* heights, size_t count, size_t wanted) {
  Highest highest;
  highest.wanted = wanted;
  if (wanted == 0)
    return highest;
  highest.lowest = KthHighest(heights, heights + count, wanted - 1);
  highest.higher = static_cast<size_t>(
      std::count_if(heights, heights + wanted, [&](double h) { return h > highest.lowest; }));
  return highest;
}

struct Sums {
  double height = 0.0;
  double period = 0.0;
  size_t count = 0;
};

Sums MeanOf(const Sums& sums) {
  if (sums.count == 0)
    return {kNoValue, kNoValue, 0};
  const double n = static_cast<double>(sums.count);
  return {sums.height / n, sums.period / n, sums.count};
}

// `value` when `keep`, else 0, without a branch.
double KeptOrZero(double value, bool keep) {
  const uint64_t mask = 0 - static_cast<uint64_t>(keep);
  return std::bit_cast<double>(std::bit_cast<uint64_t>(value) & mask);
}

// Adds a wave when it is one of the `highest`: above their lowest height,
// or at it while some of that height are still wanted. Without a branch:
// which waves are taken follows no pattern.
void AddIfHighest(const Highest& highest, double height, double period, size_t* lowestTaken,
                  Sums* sums) {
  const bool at = height == highest.lowest;
  const bool wantedAt = *lowestTaken < highest.wanted - highest.higher;
  const bool taken = ((height > highest.lowest) | (at & wantedAt)) & (highest.wanted > 0);
  *lowestTaken += static_cast<size_t>(at & taken);
  sums->height += KeptOrZero(height, taken);
  sums->period += KeptOrZero(period, taken);
  sums->count += static_cast<size_t>(taken);
}

bool AnyNotANumber(const std::vector<double>& values) {
  return std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); });
}

}  // namespace

ZeroCrossingStatistics ZeroCrossingsOf(const double* series, size_t count, double sampleRate) {
  // Kept from segment to segment: a dump may have many thousands.
  thread_local Waves waves;
  thread_local std::vector<double> heights;
  waves.at.clear();
  waves.height.clear();
  if (series != nullptr)
    FindWaves(series, count, &waves);
  const size_t n = waves.count();
  ZeroCrossingStatistics statistics;
  statistics.waves = static_cast<int64_t>(n);
  statistics.hs = statistics.ts = statistics.h10 = statistics.hmax = kNoValue;
  Sums all;
  for (size_t k = 0; k < n; ++k) {
    all.height += waves.height[k];
    all.period += waves.PeriodOf(k, sampleRate);
  }
  all.count = n;
  const Sums mean = MeanOf(all);
  statistics.hmean = mean.height;
  statistics.tz = mean.period;
  // The extremes of a wave pass over samples that are not numbers, but
  // should a height be none, the highest waves have no meaning.
  if (n == 0 || AnyNotANumber(waves.height))
    return statistics;

  // Only the heights at which the highest third and tenth end are sought;
  // the waves above them, and the first in the series at them, are taken.
  heights = waves.height;
  const Highest third = HighestOf(heights.data(), n, n / 3);
  const Highest tenth = HighestOf(heights.data(), n / 3, n / 10);
  statistics.hmax = *std::max_element(waves.height.begin(), waves.height.end());
  Sums thirdSums;
  Sums tenthSums;
  size_t thirdAtLowest = 0;
  size_t tenthAtLowest = 0;
  for (size_t k = 0; k < n; ++k) {
    const double height = waves.height[k];
    const double period = waves.PeriodOf(k, sampleRate);
    AddIfHighest(third, height, period, &thirdAtLowest, &thirdSums);
    AddIfHighest(tenth, height, period, &tenthAtLowest, &tenthSums);
  }
  const Sums highestThird = MeanOf(thirdSums);
  statistics.hs = highestThird.height;
  statistics.ts = highestThird.period;
  statistics.h10 = MeanOf(tenthSums).height;
  return statistics;
}
