// Wave statistics of series whose answers are known in closed form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <tuple>

#include "tests/waves/waves_test_support.h"
#include "waves/dispersion.h"
#include "waves/real_fft.h"
#include "waves/segment_analysis.h"
#include "waves/spectrum.h"

namespace {

using zorq_test::Sine;

constexpr double kPi = std::numbers::pi;

SegmentAnalysis Analysed(std::vector<double> series, int rate, const WaveSettings& settings = {}) {
  SegmentAnalyser analyser(settings);
  return analyser.Analyse(series, rate);
}

// --- A sine: every statistic follows from its amplitude and period ---

struct SineCase {
  double amplitude;
  double period;  // s; a whole number of periods fits each Welch window
  int rate;
  size_t count;
};

class SineStatistics : public testing::TestWithParam<SineCase> {};

TEST_P(SineStatistics, GiveTheAmplitudeAndPeriodBack) {
  const SineCase c = GetParam();
  const SegmentAnalysis analysis = Analysed(Sine(c.amplitude, c.period, c.rate, c.count), c.rate);
  const double a = c.amplitude;
  EXPECT_NEAR(analysis.spectral.hm0, 2.0 * std::numbers::sqrt2 * a,
              0.01 * 2.0 * std::numbers::sqrt2 * a);
  EXPECT_LE(std::abs(analysis.spectral.fp - 1.0 / c.period), analysis.spectrum.resolution);
  EXPECT_NEAR(analysis.spectral.tp, c.period, c.period * analysis.spectrum.resolution * c.period);
  // One frequency: every mean period is the period.
  EXPECT_NEAR(analysis.spectral.tm01, c.period, 0.01 * c.period);
  EXPECT_NEAR(analysis.spectral.tm02, c.period, 0.01 * c.period);
  EXPECT_NEAR(analysis.spectral.te, c.period, 0.01 * c.period);

  const ZeroCrossingStatistics& waves = analysis.zeroCrossing;
  const auto wholeWaves = static_cast<int64_t>(static_cast<double>(c.count) / c.rate / c.period);
  EXPECT_GE(waves.waves, wholeWaves - 1);
  EXPECT_LE(waves.waves, wholeWaves);
  for (const double height : {waves.hs, waves.h10, waves.hmax, waves.hmean})
    EXPECT_NEAR(height, 2.0 * a, 0.01 * 2.0 * a);
  EXPECT_NEAR(waves.tz, c.period, 1e-3 * c.period);
  EXPECT_NEAR(waves.ts, c.period, 1e-3 * c.period);
  EXPECT_NEAR(analysis.mean, 0.0, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Rows, SineStatistics,
                         testing::Values(SineCase{0.5, 8.0, 4, 4800},  // Welch 512: 16 periods
                                         SineCase{1.25, 4.0, 8, 8192}, SineCase{2.0, 16.0, 2, 2400},
                                         SineCase{0.01, 10.0, 16, 19200}));

TEST(WaveSpectrum, TwoSinesAddTheirVariances) {
  const int rate = 4;
  std::vector<double> series = Sine(0.6, 8.0, rate, 4800);
  const std::vector<double> second = Sine(0.3, 4.0, rate, 4800);
  for (size_t i = 0; i < series.size(); ++i)
    series[i] += second[i] + 3.0;  // a mean that must not count
  const SegmentAnalysis analysis = Analysed(series, rate);
  const double m0 = 0.6 * 0.6 / 2.0 + 0.3 * 0.3 / 2.0;
  EXPECT_NEAR(analysis.spectral.hm0, 4.0 * std::sqrt(m0), 0.01 * 4.0 * std::sqrt(m0));
  EXPECT_NEAR(analysis.spectral.fp, 1.0 / 8.0, 1e-12);  // the larger one
  // m1 = Σ f·σ², so Tm01 lies between the periods, weighted by variance.
  const double m1 = 0.18 / 8.0 + 0.045 / 4.0;
  EXPECT_NEAR(analysis.spectral.tm01, m0 / m1, 0.01 * m0 / m1);
  EXPECT_NEAR(analysis.mean, 3.0, 1e-9);
}

TEST(WaveSpectrum, WhiteNoiseOverTheWholeBandIsItsVariance) {
  std::mt19937 random(20261208);
  const double sigma = 0.35;
  std::normal_distribution<double> noise(0.0, sigma);
  std::vector<double> series(1 << 16);
  for (double& value : series)
    value = noise(random);
  WaveSettings settings;
  settings.bandLow = 0.0;
  settings.bandHigh = 1e9;  // clipped to Nyquist
  const SegmentAnalysis analysis = Analysed(series, 8, settings);
  const double hm0 = 4.0 * sigma;
  EXPECT_NEAR(analysis.spectral.hm0 * analysis.spectral.hm0, hm0 * hm0, 0.05 * hm0 * hm0);
  EXPECT_DOUBLE_EQ(analysis.bandHigh, 4.0);
  EXPECT_EQ(analysis.spectrum.windowLength, 8192);
  // Overlapping by half: 2·(n / N) − 1 windows.
  EXPECT_EQ(analysis.spectrum.windows, 15);
}

TEST(WaveSpectrum, ABandOutsideTheEnergyHoldsNone) {
  WaveSettings settings;
  settings.bandLow = 0.3;
  settings.bandHigh = 0.5;
  const SegmentAnalysis analysis = Analysed(Sine(1.0, 8.0, 4, 4800), 4, settings);
  EXPECT_LT(analysis.spectral.hm0, 1e-6);
  // Outside the band the peak is not looked for.
  EXPECT_GE(analysis.spectral.fp, 0.3);
}

struct LengthCase {
  size_t samples;
  int length;
};
class WelchLength : public testing::TestWithParam<LengthCase> {};
TEST_P(WelchLength, IsTheLargestPowerOfTwoNotAboveAnEighthAndAtLeast64) {
  EXPECT_EQ(DefaultWelchLength(GetParam().samples), GetParam().length);
}
INSTANTIATE_TEST_SUITE_P(Rows, WelchLength,
                         testing::Values(LengthCase{10, 64}, LengthCase{600, 64},
                                         LengthCase{1023, 64}, LengthCase{1024, 128},
                                         LengthCase{4800, 512}, LengthCase{118800, 8192},
                                         LengthCase{131072, 16384}));

TEST(WaveSpectrum, AskedWelchLengthIsUsedAndShortSeriesFallBackToTheirLength) {
  WaveSettings settings;
  settings.welchLength = 256;
  EXPECT_EQ(Analysed(Sine(1.0, 8.0, 4, 4800), 4, settings).spectrum.windowLength, 256);
  const SegmentAnalysis shortOne = Analysed(Sine(1.0, 8.0, 4, 40), 4);
  EXPECT_EQ(shortOne.spectrum.windowLength, 40);
  EXPECT_EQ(shortOne.spectrum.windows, 1);
}

TEST(WaveSpectrum, NothingToAnalyseGivesNoValuesRatherThanACrash) {
  for (const size_t count : {size_t{0}, size_t{1}}) {
    const SegmentAnalysis analysis = Analysed(std::vector<double>(count, 1.0), 4);
    EXPECT_TRUE(std::isnan(analysis.spectral.hm0));
    EXPECT_TRUE(std::isnan(analysis.zeroCrossing.hs));
    EXPECT_EQ(analysis.zeroCrossing.waves, 0);
  }
  const SegmentAnalysis noRate = Analysed(Sine(1.0, 8.0, 4, 400), 0);
  EXPECT_TRUE(std::isnan(noRate.spectral.hm0));
  // A flat series: no energy, no peak, no waves.
  const SegmentAnalysis flat = Analysed(std::vector<double>(400, 2.5), 4);
  EXPECT_EQ(flat.spectral.hm0, 0.0);
  EXPECT_TRUE(std::isnan(flat.spectral.tp));
  EXPECT_EQ(flat.zeroCrossing.waves, 0);
}

TEST(WaveSpectrum, TheLeastSquaresLineGoesAndTheMeanComesBack) {
  std::vector<double> series(101);
  for (size_t i = 0; i < series.size(); ++i)
    series[i] = 5.0 - 0.25 * static_cast<double>(i);
  EXPECT_NEAR(RemoveLeastSquaresLine(series), 5.0 - 0.25 * 50.0, 1e-12);
  for (const double value : series)
    EXPECT_NEAR(value, 0.0, 1e-12);
}

// --- Zero crossings ---

TEST(ZeroCrossings, HeightsAndPeriodsOfUnevenWaves) {
  // Up-crossings at 0.5, 4 1/3, 8.4 and 14.75 samples (2 Hz) close three
  // waves of heights 2, 4 and 6.
  const std::vector<double> series = {-1, 1, 1, -1, -1, 2, 2, -2, -2, 3, 3, 3, -3, -3, -3, 1};
  const ZeroCrossingStatistics waves = ZeroCrossingsOf(series.data(), series.size(), 2.0);
  EXPECT_EQ(waves.waves, 3);
  EXPECT_DOUBLE_EQ(waves.hmax, 6.0);
  EXPECT_DOUBLE_EQ(waves.hs, 6.0);     // ⌊3/3⌋ = 1 wave
  EXPECT_TRUE(std::isnan(waves.h10));  // ⌊3/10⌋ = 0 waves
  EXPECT_DOUBLE_EQ(waves.hmean, 4.0);
  EXPECT_DOUBLE_EQ(waves.ts, (14.75 - 8.4) / 2.0);
  EXPECT_DOUBLE_EQ(waves.tz, (14.75 - 0.5) / 3.0 / 2.0);
  // No up-crossing at all, or only one: no wave.
  const std::vector<double> oneCrossing = {-1, 1, 2, 1, -1};
  EXPECT_EQ(ZeroCrossingsOf(oneCrossing.data(), oneCrossing.size(), 2.0).waves, 0);
}

// Waves of the given heights and lengths in samples, each starting at an
// up-crossing that falls on a sample (a zero) and made of a crest at +h/2
// and a trough at -h/2, so that its height and period are exact.
struct WaveShape {
  double height;
  int length;  // at least 3 samples: the zero, the crest and the trough
};
std::vector<double> SeriesOfWaves(const std::vector<WaveShape>& shapes) {
  std::vector<double> series = {-1.0};
  for (const WaveShape& wave : shapes) {
    series.push_back(0.0);
    const int crest = (wave.length - 1) / 2;
    series.insert(series.end(), static_cast<size_t>(crest), wave.height / 2.0);
    series.insert(series.end(), static_cast<size_t>(wave.length - 1 - crest), -wave.height / 2.0);
  }
  series.push_back(0.0);  // closes the last wave
  return series;
}

// Heights from a few values, so that many are equal where the highest third
// and tenth end, and from many: those taken are the first in the series, as
// a sort of all the waves by height would take them.
TEST(ZeroCrossings, TheHighestThirdAndTenthTakeTheFirstOfEqualHeights) {
  std::mt19937 random(7);
  for (const unsigned heights : {4u, 1000u})
    for (const size_t count : {1u, 2u, 3u, 10u, 11u, 29u, 30u, 31u, 100u, 257u, 1000u}) {
      std::vector<WaveShape> shapes;
      for (size_t i = 0; i < count; ++i) {
        shapes.push_back(
            {static_cast<double>(1 + random() % heights), static_cast<int>(3 + random() % 9)});
      }
      const std::vector<double> series = SeriesOfWaves(shapes);
      const double rate = 4.0;
      const ZeroCrossingStatistics got = ZeroCrossingsOf(series.data(), series.size(), rate);

      std::vector<size_t> order(count);
      std::iota(order.begin(), order.end(), size_t{0});
      std::stable_sort(order.begin(), order.end(),
                       [&](size_t a, size_t b) { return shapes[a].height > shapes[b].height; });
      const auto meanOfHighest = [&](size_t n, auto field) {
        double sum = 0.0;
        for (size_t i = 0; i < n; ++i)
          sum += field(shapes[order[i]]);
        return n > 0 ? sum / static_cast<double>(n) : std::nan("");
      };
      const auto height = [](const WaveShape& wave) { return wave.height; };
      const auto period = [&](const WaveShape& wave) { return wave.length / rate; };
      const std::string row = std::to_string(count) + " waves of " + std::to_string(heights);
      EXPECT_EQ(got.waves, static_cast<int64_t>(count)) << row;
      EXPECT_DOUBLE_EQ(got.hmax, shapes[order[0]].height) << row;
      EXPECT_DOUBLE_EQ(got.hmean, meanOfHighest(count, height)) << row;
      EXPECT_DOUBLE_EQ(got.tz, meanOfHighest(count, period)) << row;
      if (count >= 3) {
        EXPECT_DOUBLE_EQ(got.hs, meanOfHighest(count / 3, height)) << row;
        EXPECT_DOUBLE_EQ(got.ts, meanOfHighest(count / 3, period)) << row;
      } else {
        EXPECT_TRUE(std::isnan(got.hs) && std::isnan(got.ts)) << row;
      }
      if (count >= 10)
        EXPECT_DOUBLE_EQ(got.h10, meanOfHighest(count / 10, height)) << row;
      else
        EXPECT_TRUE(std::isnan(got.h10)) << row;
    }
}

// Waves with no crest, a zero then a trough: each one's highest sample is
// the first after its crossing, and its lowest the last before the next,
// wherever a long series is split to be searched.
TEST(ZeroCrossings, EveryWaveOfALongSeriesKeepsItsFirstAndLastSample) {
  for (const size_t count : {40u, 41u, 64u, 65u, 200u}) {
    std::vector<double> series = {-1.0};
    double sum = 0.0;
    for (size_t k = 0; k < count; ++k) {
      const double height = 1.0 + static_cast<double>(k % 7);
      series.insert(series.end(), {0.0, -height});
      sum += height;
    }
    series.push_back(0.0);
    const ZeroCrossingStatistics got = ZeroCrossingsOf(series.data(), series.size(), 2.0);
    EXPECT_EQ(got.waves, static_cast<int64_t>(count)) << count;
    EXPECT_DOUBLE_EQ(got.hmean, sum / static_cast<double>(count)) << count;
    EXPECT_DOUBLE_EQ(got.hmax, 7.0) << count;
    EXPECT_DOUBLE_EQ(got.tz, 1.0) << count;
  }
}

// The statistics as a plain reading of the method gives them: one pass
// sample by sample, the waves sorted by height, the first of equal heights
// taken first.
ZeroCrossingStatistics PlainZeroCrossings(const std::vector<double>& series, double rate) {
  std::vector<double> at;
  std::vector<double> heights;
  double highest = 0.0;
  double lowest = 0.0;
  for (size_t i = 0; i + 1 < series.size(); ++i) {
    if (series[i] < 0.0 && series[i + 1] >= 0.0) {
      if (!at.empty())
        heights.push_back(highest - lowest);
      at.push_back(static_cast<double>(i) + series[i] / (series[i] - series[i + 1]));
      highest = lowest = series[i + 1];
    } else {
      highest = std::max(highest, series[i + 1]);
      lowest = std::min(lowest, series[i + 1]);
    }
  }
  const size_t n = heights.size();
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return heights[a] > heights[b]; });
  // Sums in the order of the series, as the statistics add them.
  const auto mean = [&](size_t highestCount, bool ofPeriods) {
    std::vector<bool> taken(n, false);
    for (size_t i = 0; i < highestCount; ++i)
      taken[order[i]] = true;
    double sum = 0.0;
    for (size_t k = 0; k < n; ++k) {
      if (taken[k])
        sum += ofPeriods ? (at[k + 1] - at[k]) / rate : heights[k];
    }
    return highestCount > 0 ? sum / static_cast<double>(highestCount) : std::nan("");
  };
  ZeroCrossingStatistics plain;
  plain.waves = static_cast<int64_t>(n);
  plain.hmax = n > 0 ? heights[order[0]] : std::nan("");
  plain.hmean = mean(n, false);
  plain.tz = mean(n, true);
  plain.hs = mean(n / 3, false);
  plain.ts = mean(n / 3, true);
  plain.h10 = mean(n / 10, false);
  return plain;
}

// Noise of few levels, zeros among them, around the length where the
// series starts to be searched from both ends, and long; at rates that are
// powers of two (their periods are taken by a product) and one that is not.
TEST(ZeroCrossings, NoiseAgreesWithAPlainReadingOfTheMethod) {
  std::mt19937 random(11);
  const double rates[] = {4.0, 0.5, 5.0};
  for (const size_t count : {2u, 5u, 63u, 64u, 65u, 66u, 127u, 480u, 481u, 4800u})
    for (int round = 0; round < 21; ++round) {
      const double rate = rates[round % 3];
      std::vector<double> series(count);
      for (double& value : series)
        value = static_cast<double>(static_cast<int>(random() % 9) - 4) * 0.25;
      const ZeroCrossingStatistics got = ZeroCrossingsOf(series.data(), count, rate);
      const ZeroCrossingStatistics plain = PlainZeroCrossings(series, rate);
      const std::string row = std::to_string(count) + " samples, round " + std::to_string(round);
      ASSERT_EQ(got.waves, plain.waves) << row;
      for (const auto& [name, a, b] : {std::tuple{"hs", got.hs, plain.hs},
                                       {"ts", got.ts, plain.ts},
                                       {"h10", got.h10, plain.h10},
                                       {"hmax", got.hmax, plain.hmax},
                                       {"hmean", got.hmean, plain.hmean},
                                       {"tz", got.tz, plain.tz}}) {
        if (std::isnan(b))
          EXPECT_TRUE(std::isnan(a)) << row << ' ' << name;
        else
          EXPECT_EQ(a, b) << row << ' ' << name;
      }
    }
}

// --- Pressure ---

struct DispersionCase {
  double frequency;
  double depth;
};
class Dispersion : public testing::TestWithParam<DispersionCase> {};
TEST_P(Dispersion, WavenumberSolvesTheRelation) {
  const auto [f, h] = GetParam();
  const double k = Wavenumber(f, h);
  const double omega = 2.0 * kPi * f;
  EXPECT_NEAR(kGravity * k * std::tanh(k * h), omega * omega, 1e-10 * omega * omega);
}
INSTANTIATE_TEST_SUITE_P(Rows, Dispersion,
                         testing::Values(DispersionCase{0.01, 2.0}, DispersionCase{0.05, 30.0},
                                         DispersionCase{0.125, 10.0}, DispersionCase{0.5, 10.0},
                                         DispersionCase{1.0, 200.0}, DispersionCase{4.0, 5000.0},
                                         DispersionCase{10.0, 0.5}));

TEST(Dispersion, LimitsAndResponse) {
  EXPECT_EQ(Wavenumber(0.0, 10.0), 0.0);
  EXPECT_TRUE(std::isnan(Wavenumber(0.1, 0.0)));
  // Deep water: k = ω²/g; shallow: k = ω/√(gh).
  EXPECT_NEAR(Wavenumber(1.0, 1000.0), std::pow(2.0 * kPi, 2) / kGravity, 1e-9);
  EXPECT_NEAR(Wavenumber(0.001, 1.0), 2.0 * kPi * 0.001 / std::sqrt(kGravity), 1e-7);
  EXPECT_DOUBLE_EQ(PressureResponse(0.0, 10.0, 1.0), 1.0);
  EXPECT_NEAR(PressureResponse(0.3, 10.0, 10.0), 1.0, 1e-15);  // at the surface
  EXPECT_NEAR(PressureResponse(0.2, 10.0, 2.0), std::cosh(0.4) / std::cosh(2.0), 1e-14);
  // Short waves in deep water: no overflow, a response of almost nothing.
  EXPECT_NEAR(PressureResponse(50.0, 1000.0, 0.0), 0.0, 1e-300);
}

struct PressureCase {
  PressureUnit unit;
  double atmospheric;  // in the unit
};

// The pressure a sensor `height` m above the bed reads under a surface
// a·sin(ωt) in water `depth` deep, by linear theory.
std::vector<double> PressureUnder(double amplitude, double period, double depth, double height,
                                  const PressureSettings& settings, int rate, size_t count) {
  const double k = Wavenumber(1.0 / period, depth);
  const double kp = PressureResponse(k, depth, height);
  std::vector<double> surface = Sine(amplitude, period, rate, count);
  const double unitsPerMetre = settings.density * kGravity / PascalsPer(settings.unit);
  for (double& value : surface)
    value = ((depth - height) + value * kp) * unitsPerMetre + settings.atmospheric;
  return surface;
}

class PressureSine : public testing::TestWithParam<PressureCase> {};

TEST_P(PressureSine, ComesBackToItsSurfaceAmplitude) {
  PressureSettings pressure;
  pressure.unit = GetParam().unit;
  pressure.atmospheric = GetParam().atmospheric;
  pressure.sensorHeight = 1.0;
  WaveSettings settings;
  settings.pressure = pressure;
  const double a = 0.4;
  const double depth = 10.0;
  const SegmentAnalysis analysis =
      Analysed(PressureUnder(a, 8.0, depth, 1.0, pressure, 4, 4800), 4, settings);
  EXPECT_NEAR(analysis.mean, depth, 1e-9);
  const double hm0 = 2.0 * std::numbers::sqrt2 * a;
  EXPECT_NEAR(analysis.spectral.hm0, hm0, 0.02 * hm0);
  EXPECT_NEAR(analysis.spectral.tp, 8.0, 1e-9);
  EXPECT_NEAR(analysis.zeroCrossing.hs, 2.0 * a, 0.02 * 2.0 * a);
  EXPECT_NEAR(analysis.zeroCrossing.tz, 8.0, 0.01 * 8.0);
  ASSERT_EQ(analysis.pressureResponse.size(), analysis.spectrum.frequency.size());
}

INSTANTIATE_TEST_SUITE_P(Units, PressureSine,
                         testing::Values(PressureCase{PressureUnit::dbar, 10.1325},
                                         PressureCase{PressureUnit::Pa, 0.0},
                                         PressureCase{PressureUnit::kPa, 101.325},
                                         PressureCase{PressureUnit::bar, 1.01325},
                                         PressureCase{PressureUnit::mH2O, 0.0}));

TEST(PressureCorrection, BinsBelowTheCutOffLeaveTheBand) {
  PressureSettings pressure;
  pressure.sensorHeight = 0.0;
  WaveSettings settings;
  settings.pressure = pressure;
  // 10 m deep, sensor on the bed: Kp falls below 0.1 near 0.27 Hz.
  const SegmentAnalysis analysis =
      Analysed(PressureUnder(0.2, 8.0, 10.0, 0.0, pressure, 4, 4800), 4, settings);
  ASSERT_FALSE(std::isnan(analysis.cutOffFrequency));
  EXPECT_GT(analysis.cutOffFrequency, 0.2);
  EXPECT_LT(analysis.cutOffFrequency, 0.35);
  for (size_t bin = 0; bin < analysis.inBand.size(); ++bin) {
    const double f = analysis.spectrum.frequency[bin];
    const bool weak = analysis.pressureResponse[bin] < pressure.kpMin;
    EXPECT_EQ(analysis.inBand[bin], f >= 0.04 && f <= 1.0 && !weak) << f;
    EXPECT_EQ(std::isnan(analysis.spectrum.density[bin]), weak) << f;
    EXPECT_EQ(f >= analysis.cutOffFrequency, weak) << f;
  }
  EXPECT_NEAR(analysis.spectral.hm0, 2.0 * std::numbers::sqrt2 * 0.2, 0.02 * 0.566);
}

// --- Threads ---

// Plans are made under the planner's lock: segments analysed in two threads
// at once give what one thread gives.
TEST(WaveThreads, AnalysesInSeveralThreadsAgreeWithOne) {
  PressureSettings pressure;
  pressure.sensorHeight = 0.5;
  WaveSettings settings;
  settings.pressure = pressure;
  const std::vector<double> series = PressureUnder(0.3, 6.0, 8.0, 0.5, pressure, 4, 4800);
  const double expected = Analysed(series, 4, settings).spectral.hm0;
  std::vector<double> got(4, 0.0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < got.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        // A different length each round makes new plans.
        std::vector<double> part(series.begin(), series.end() - round * 12 - static_cast<long>(t));
        SegmentAnalyser analyser(settings);
        analyser.Analyse(part, 4);
      }
      got[t] = Analysed(series, 4, settings).spectral.hm0;
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (const double hm0 : got)
    EXPECT_EQ(hm0, expected);
}

}  // namespace
