#include "waves/zero_crossing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// Gives `values` at least `size` elements. Never shrunk: the arrays serve
// segment after segment, and a shrunk one would fill its growth with zeros
// again each time.
template <typename T>
void GrowTo(std::vector<T>* values, size_t size) {
  if (values->size() < size)
    values->resize(size);
}

// The crossing between samples i and i+1, in samples from the start.
double CrossingAt(const double* series, size_t i) {
  return static_cast<double>(i) + series[i] / (series[i] - series[i + 1]);
}

// The up-crossings of a series, each i with series[i] < 0 <= series[i+1],
// and the waves between them.
struct Waves {
  std::vector<double> at;      // crossing k, in samples from the start, interpolated
  std::vector<double> height;  // [k]: of wave k, from crossing k to crossing k+1
  std::vector<double> period;  // [k]: of wave k, in seconds

  size_t count() const { return height.size(); }
};

// Where a search for up-crossings writes: slot k holds the sample i of
// crossing k, and the spread of the samples since the crossing before (since
// the search's start for slot 0). Every step writes the slot after the last
// crossing, so that a crossing keeps what was written at its step: the height
// of the wave it ends.
struct Slots {
  size_t* at = nullptr;
  double* spreadAt = nullptr;
  size_t found = 0;
};

// One search's extremes since its last crossing. At a crossing both restart
// from 0, which a wave's highest sample (at or above 0) and its lowest (below
// 0) pass: the spread of every whole wave is that of its samples.
struct Extremes {
  double highest = 0.0;
  double lowest = 0.0;
};

// The step from sample i to i+1 of one search, as each lane of the paired
// search below takes it: a next that is not a number leaves the extremes
// as they were (as maxsd and minsd do).
void StepAlone(const double* series, size_t i, Slots* slots, Extremes* extremes) {
  const double next = series[i + 1];
  const bool up = (series[i] < 0.0) & (next >= 0.0);
  slots->at[slots->found] = i;
  slots->spreadAt[slots->found] = extremes->highest - extremes->lowest;
  slots->found += static_cast<size_t>(up);
  const double keptHigh = up ? 0.0 : extremes->highest;
  const double keptLow = up ? 0.0 : extremes->lowest;
  extremes->highest = next > keptHigh ? next : keptHigh;
  extremes->lowest = next < keptLow ? next : keptLow;
}

#if defined(__SSE2__)
// `steps` steps of two searches side by side, the front one from sample 0
// in the low lane and the back one from `middle` in the high lane: one
// search alone waits at every step on its extremes of the step before.
// Returns the front's extremes.
Extremes SearchPaired(const double* series, size_t middle, size_t steps, Slots* front,
                      Slots* back) {
  const __m128d zero = _mm_setzero_pd();
  __m128d highest = zero;
  __m128d lowest = zero;
  __m128d below = _mm_cmplt_pd(_mm_loadh_pd(_mm_load_sd(series), series + middle), zero);
  for (size_t i = 0; i < steps; ++i) {
    const __m128d next = _mm_loadh_pd(_mm_load_sd(series + i + 1), series + middle + i + 1);
    const __m128d up = _mm_and_pd(below, _mm_cmpge_pd(next, zero));
    below = _mm_cmplt_pd(next, zero);
    const __m128d spread = _mm_sub_pd(highest, lowest);
    front->at[front->found] = i;
    back->at[back->found] = middle + i;
    _mm_storel_pd(front->spreadAt + front->found, spread);
    _mm_storeh_pd(back->spreadAt + back->found, spread);
    const unsigned crossed = static_cast<unsigned>(_mm_movemask_pd(up));
    front->found += crossed & 1U;
    back->found += crossed >> 1U;
    highest = _mm_max_pd(next, _mm_andnot_pd(up, highest));
    lowest = _mm_min_pd(next, _mm_andnot_pd(up, lowest));
  }
  return {_mm_cvtsd_f64(highest), _mm_cvtsd_f64(lowest)};
}
#else
Extremes SearchPaired(const double* series, size_t middle, size_t steps, Slots* front,
                      Slots* back) {
  Extremes frontExtremes;
  Extremes backExtremes;
  for (size_t i = 0; i < steps; ++i) {
    StepAlone(series, i, front, &frontExtremes);
    StepAlone(series, middle + i, back, &backExtremes);
  }
  return frontExtremes;
}
#endif

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

// The waves' periods, (at[k+1] - at[k]) / rate. A rate that is a power of
// two has an exact reciprocal, and a product by it is the same double as
// the quotient, without a division per wave.
void PeriodsOf(double sampleRate, Waves* waves) {
  const double* at = waves->at.data();
  double* period = waves->period.data();
  int exponent = 0;
  if (std::frexp(sampleRate, &exponent) == 0.5) {
    const double reciprocal = 1.0 / sampleRate;
    for (size_t k = 0; k < waves->count(); ++k)
      period[k] = (at[k + 1] - at[k]) * reciprocal;
  } else {
    for (size_t k = 0; k < waves->count(); ++k)
      period[k] = (at[k + 1] - at[k]) / sampleRate;
  }
}

// Below this many samples one search goes through the series.
constexpr size_t kTwoSearchesFrom = 64;

// One pass without a branch per sample: the crossings of a wave record come
// at random to a predictor. The two halves of the series are searched side
// by side, and the wave across the middle is measured apart.
void FindWaves(const double* series, size_t count, double sampleRate, Waves* waves) {
  thread_local std::vector<size_t> index;
  thread_local std::vector<double> spread;
  GrowTo(&index, count + 1);
  GrowTo(&spread, count + 1);
  if (count == 0) {
    waves->at.clear();
    waves->height.clear();
    waves->period.clear();
    return;
  }
  // A short series is searched by the front alone; the back has no pair.
  // The arrays are resized, not cleared first, so that only their growth
  // is filled.
  const bool paired = count >= kTwoSearchesFrom;
  const size_t middle = paired ? count / 2 : count - 1;
  Slots front{index.data(), spread.data()};
  Slots back{index.data() + middle + 1, spread.data() + middle + 1};
  // The front's steps are those from 0 to `middle`, the back's those from
  // `middle` to the end: as many, or one fewer.
  const size_t backSteps = paired ? count - 1 - middle : 0;
  Extremes extremes = SearchPaired(series, middle, backSteps, &front, &back);
  for (size_t i = backSteps; i < middle; ++i)
    StepAlone(series, i, &front, &extremes);

  const size_t crossings = front.found + back.found;
  const size_t n = crossings > 0 ? crossings - 1 : 0;
  waves->at.resize(crossings);
  waves->height.resize(n);
  waves->period.resize(n);
  for (size_t k = 0; k < front.found; ++k)
    waves->at[k] = CrossingAt(series, front.at[k]);
  for (size_t k = 0; k < back.found; ++k)
    waves->at[front.found + k] = CrossingAt(series, back.at[k]);
  // Slot 0 of the front holds the samples before the first crossing: no
  // wave. Slot 0 of the back holds only the back's part of the wave across
  // the middle.
  double* height = waves->height.data();
  for (size_t k = 1; k < front.found; ++k)
    *height++ = front.spreadAt[k];
  if (front.found > 0 && back.found > 0)
    *height++ = SpreadOf(series, front.at[front.found - 1] + 1, back.at[0]);
  for (size_t k = 1; k < back.found; ++k)
    *height++ = back.spreadAt[k];
  PeriodsOf(sampleRate, waves);
}

// Below this many values a selection counts for each how many are higher.
constexpr size_t kSortedSelection = 8;

// Writes the values of `from` that `chosen` takes to `taken` and the others
// to `rest`, each in their order, and returns how many are taken. `taken`
// or `rest` may be `from`: a value is read before its slot can be written.
// Both are written for every value and only one count moves, so that no
// step waits on a branch or on the store before it: heights come in no
// order a predictor could learn.
template <typename Chosen>
size_t Split(const double* from, size_t count, Chosen chosen, double* taken, double* rest) {
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    const double value = from[i];
    taken[kept] = value;
    rest[i - kept] = value;
    kept += static_cast<size_t>(chosen(value));
  }
  return kept;
}

double MedianOfThree(double a, double b, double c) {
  return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// KthHighest for a few values, by counting for each how many are higher:
// those with at most `k` higher are the `k` + 1 highest, and the lowest of
// them is the one sought. Compares every pair, but a sort would branch on
// each comparison the way the heights fall.
double KthHighestOfFew(const double* values, size_t count, size_t k) {
  double lowest = std::numeric_limits<double>::infinity();
  for (size_t i = 0; i < count; ++i) {
    size_t higher = 0;
    for (size_t j = 0; j < count; ++j)
      higher += static_cast<size_t>(values[j] > values[i]);
    const double candidate = higher <= k ? values[i] : lowest;
    lowest = candidate < lowest ? candidate : lowest;
  }
  return lowest;
}

// The value that would stand at `k` (from 0) if the `count` values were
// sorted highest first. The values must all be numbers; they stay as they
// are, and `scratch` takes 2 × count.
double KthHighest(const double* values, size_t count, size_t k, double* scratch) {
  const double* from = values;
  double* kept = scratch;           // the part searched on
  double* spare = scratch + count;  // the part left
  while (count > kSortedSelection) {
    const double pivot = MedianOfThree(from[0], from[count / 2], from[count - 1]);
    const auto above = [pivot](double value) { return value > pivot; };
    const auto equal = [pivot](double value) { return value == pivot; };
    size_t front = Split(from, count, above, kept, spare);
    if (front == 0) {  // the pivot is the highest: split off the values equal to it
      front = Split(spare, count, equal, kept, spare);
      if (k < front)
        return pivot;
    }
    if (k < front) {
      from = kept;
      count = front;
    } else {
      from = spare;
      count -= front;
      k -= front;
      std::swap(kept, spare);
    }
  }
  return KthHighestOfFew(from, count, k);
}

// Of the waves taken highest first: how many, and the height that the last
// of them has. Of the waves that high, the first in the series are taken.
struct Highest {
  size_t wanted = 0;
  double lowest = 0.0;
  size_t higher = 0;  // waves above `lowest`
};

// Counts the values above `lowest` and copies those at or above it to
// `kept`, returning how many it copied.
size_t CountAboveAndKeep(const double* values, size_t count, Highest* highest, double* kept) {
  size_t taken = 0;
  for (size_t k = 0; k < count; ++k) {
    const double value = values[k];
    kept[taken] = value;
    taken += static_cast<size_t>(value >= highest->lowest);
    highest->higher += static_cast<size_t>(value > highest->lowest);
  }
  return taken;
}

// The highest third and tenth of the heights, all numbers. The tenth is
// sought only among the heights at or above the lowest of the third.
void HighestThirdAndTenth(const std::vector<double>& heights, Highest* third, Highest* tenth,
                          std::vector<double>* scratch) {
  const size_t n = heights.size();
  third->wanted = n / 3;
  tenth->wanted = n / 10;
  if (third->wanted == 0)
    return;
  GrowTo(scratch, 3 * n);
  double* const candidates = scratch->data() + 2 * n;
  third->lowest = KthHighest(heights.data(), n, third->wanted - 1, scratch->data());
  const size_t kept = CountAboveAndKeep(heights.data(), n, third, candidates);
  if (tenth->wanted == 0)
    return;
  tenth->lowest = KthHighest(candidates, kept, tenth->wanted - 1, scratch->data());
  for (size_t k = 0; k < kept; ++k)
    tenth->higher += static_cast<size_t>(candidates[k] > tenth->lowest);
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

// The sums of the waves in order, one after another.
Sums SumsOf(const double* heights, const double* periods, size_t count) {
  Sums sums;
  for (size_t k = 0; k < count; ++k) {
    sums.height += heights[k];
    sums.period += periods[k];
  }
  sums.count = count;
  return sums;
}

// The sums of the `highest` waves, in the order of the series: those above
// their lowest height, and those at it while some of that height are still
// wanted. They are gathered first without a branch (which waves are taken
// follows no pattern), so that only their own sums wait on each other.
Sums SumsOfHighest(const Waves& waves, const Highest& highest, double* heights, double* periods) {
  if (highest.wanted == 0)
    return {};
  const size_t wantedAtLowest = highest.wanted - highest.higher;
  size_t taken = 0;
  size_t atLowest = 0;
  for (size_t k = 0; k < waves.count(); ++k) {
    const double height = waves.height[k];
    const bool at = height == highest.lowest;
    const bool take = (height > highest.lowest) | (at & (atLowest < wantedAtLowest));
    atLowest += static_cast<size_t>(at);
    heights[taken] = height;
    periods[taken] = waves.period[k];
    taken += static_cast<size_t>(take);
  }
  return SumsOf(heights, periods, taken);
}

// The highest of the heights (at least one), NaN when any is not a number.
// Four maxima side by side: one alone waits on the one before.
double HighestHeight(const std::vector<double>& heights) {
  constexpr size_t kLanes = 4;
  double highest[kLanes] = {heights[0], heights[0], heights[0], heights[0]};
  bool notANumber = false;
  size_t k = 0;
  for (; k + kLanes <= heights.size(); k += kLanes) {
    for (size_t lane = 0; lane < kLanes; ++lane) {
      const double height = heights[k + lane];
      highest[lane] = height > highest[lane] ? height : highest[lane];
      notANumber |= std::isnan(height);
    }
  }
  for (; k < heights.size(); ++k) {
    highest[0] = heights[k] > highest[0] ? heights[k] : highest[0];
    notANumber |= std::isnan(heights[k]);
  }
  if (notANumber)
    return kNoValue;
  return std::max(std::max(highest[0], highest[1]), std::max(highest[2], highest[3]));
}

}  // namespace

ZeroCrossingStatistics ZeroCrossingsOf(const double* series, size_t count, double sampleRate) {
  // Kept from segment to segment: a dump may have many thousands.
  thread_local Waves waves;
  thread_local std::vector<double> scratch;
  FindWaves(series, series != nullptr ? count : 0, sampleRate, &waves);
  const size_t n = waves.count();
  ZeroCrossingStatistics statistics;
  statistics.waves = static_cast<int64_t>(n);
  statistics.hs = statistics.ts = statistics.h10 = statistics.hmax = kNoValue;
  // The extremes of a wave pass over samples that are not numbers, but
  // should a height be none, the highest waves have no meaning.
  const double hmax = n > 0 ? HighestHeight(waves.height) : kNoValue;
  Highest third;
  Highest tenth;
  if (!std::isnan(hmax)) {
    // Only the heights at which the highest third and tenth end are sought;
    // the waves above them, and the first in the series at them, are taken.
    HighestThirdAndTenth(waves.height, &third, &tenth, &scratch);
  }
  const Sums all = SumsOf(waves.height.data(), waves.period.data(), n);
  const Sums mean = MeanOf(all);
  statistics.hmean = mean.height;
  statistics.tz = mean.period;
  if (std::isnan(hmax))
    return statistics;
  statistics.hmax = hmax;
  GrowTo(&scratch, 2 * n);
  double* const heights = scratch.data();
  double* const periods = scratch.data() + n;
  const Sums highestThird = MeanOf(SumsOfHighest(waves, third, heights, periods));
  statistics.hs = highestThird.height;
  statistics.ts = highestThird.period;
  statistics.h10 = MeanOf(SumsOfHighest(waves, tenth, heights, periods)).height;
  return statistics;
}
