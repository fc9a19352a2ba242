#include "waves/spectrum.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "waves/real_fft.h"

namespace {

constexpr int kSmallestWelchLength = 64;
constexpr size_t kWelchDivisor = 8;
constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// scipy.signal.get_window("hann", n): the periodic window, as for spectra.
std::vector<double> PeriodicHann(size_t length) {
  std::vector<double> window(length);
  const double step = 2.0 * std::numbers::pi / static_cast<double>(length);
  for (size_t i = 0; i < length; ++i)
    window[i] = 0.5 - 0.5 * std::cos(step * static_cast<double>(i));
  return window;
}

double SumOfSquares(const std::vector<double>& values) {
  double sum = 0.0;
  for (const double value : values)
    sum += value * value;
  return sum;
}

// Sums are taken in this many independent parts, which the processor adds
// side by side instead of one after another.
constexpr size_t kParts = 4;

double SumOfParts(const double (&parts)[kParts]) {
  return (parts[0] + parts[1]) + (parts[2] + parts[3]);
}

double MeanOf(const double* values, size_t count) {
  double parts[kParts] = {};
  size_t i = 0;
  for (; i + kParts <= count; i += kParts) {
    for (size_t part = 0; part < kParts; ++part)
      parts[part] += values[i + part];
  }
  for (; i < count; ++i)
    parts[0] += values[i];
  return SumOfParts(parts) / static_cast<double>(count);
}

// Windows whose means are summed side by side: the parts of one window's
// sum wait on each other, those of different windows do not.
constexpr size_t kWindowsTogether = 4;

// The mean of each window of `length` values, starting `step` apart, summed
// as MeanOf sums it.
void WindowMeans(const double* series, size_t windows, size_t length, size_t step,
                 std::vector<double>* means) {
  means->resize(windows);
  size_t first = 0;
  for (; first + kWindowsTogether <= windows; first += kWindowsTogether) {
    const double* start = series + first * step;
    double parts[kWindowsTogether][kParts] = {};
    size_t i = 0;
    for (; i + kParts <= length; i += kParts) {
      for (size_t window = 0; window < kWindowsTogether; ++window) {
        for (size_t part = 0; part < kParts; ++part)
          parts[window][part] += start[window * step + i + part];
      }
    }
    for (; i < length; ++i) {
      for (size_t window = 0; window < kWindowsTogether; ++window)
        parts[window][0] += start[window * step + i];
    }
    for (size_t window = 0; window < kWindowsTogether; ++window)
      (*means)[first + window] = SumOfParts(parts[window]) / static_cast<double>(length);
  }
  for (; first < windows; ++first)
    (*means)[first] = MeanOf(series + first * step, length);
}

// Series up to this long take their index as a 32-bit integer, which the
// processor converts two at a time; a 64-bit one goes one at a time.
constexpr size_t kLongestVectorised = size_t{1} << 30;

template <typename Index>
void SubtractLine(double* values, size_t count, double mean, double slope, double centre) {
  const Index end = static_cast<Index>(count);
  for (Index i = 0; i < end; ++i)
    values[i] -= mean + slope * (static_cast<double>(i) - centre);
}

struct LineSums {
  double sum = 0.0;
  double covariance = 0.0;  // Σ(i−centre)·x
};

// Added one after another, as the wave statistics have always been: the
// sums in parts differ in their last bits, which can change which of two
// waves of nearly the same height counts among the highest third.
template <typename Index>
LineSums LineSumsOf(const double* values, size_t count, double centre) {
  LineSums sums;
  const Index end = static_cast<Index>(count);
  for (Index i = 0; i < end; ++i) {
    sums.sum += values[i];
    sums.covariance += (static_cast<double>(i) - centre) * values[i];
  }
  return sums;
}

double Trapezoid(double width, double left, double right) {
  return 0.5 * width * (left + right);
}

double Ratio(double numerator, double denominator) {
  return denominator > 0.0 ? numerator / denominator : kNoValue;
}

}  // namespace

double RemoveLeastSquaresLine(std::span<double> series) {
  const size_t count = series.size();
  if (count == 0)
    return kNoValue;
  // Over the index centred on its mean, Σ(i−ī) = 0, so the slope
  // Σ(i−ī)(x−x̄) / Σ(i−ī)² is Σ(i−ī)x / Σ(i−ī)²: one pass gives it with the mean.
  const double centre = 0.5 * static_cast<double>(count - 1);
  const LineSums sums = count <= kLongestVectorised
                            ? LineSumsOf<int32_t>(series.data(), count, centre)
                            : LineSumsOf<int64_t>(series.data(), count, centre);
  const double sum = sums.sum;
  const double covariance = sums.covariance;
  const double n = static_cast<double>(count);
  const double spread = n * (n * n - 1.0) / 12.0;
  const double mean = sum / n;
  const double slope = spread > 0.0 ? covariance / spread : 0.0;
  if (count <= kLongestVectorised)
    SubtractLine<int32_t>(series.data(), count, mean, slope, centre);
  else
    SubtractLine<int64_t>(series.data(), count, mean, slope, centre);
  return mean;
}

int DefaultWelchLength(size_t samples) {
  size_t length = kSmallestWelchLength;
  while (length * 2 <= samples / kWelchDivisor)
    length *= 2;
  return static_cast<int>(length);
}

Spectrum WelchDensity(std::span<const double> series, double sampleRate, RealFft* fft) {
  const size_t length = fft->length();
  const size_t step = length - length / 2;  // the overlap is length / 2, as scipy rounds it
  // The same window serves segment after segment.
  thread_local std::vector<double> window;
  thread_local double windowPower = 0.0;
  if (window.size() != length) {
    window = PeriodicHann(length);
    windowPower = SumOfSquares(window);
  }
  Spectrum spectrum;
  spectrum.windowLength = static_cast<int>(length);
  spectrum.resolution = sampleRate / static_cast<double>(length);
  spectrum.density.assign(fft->bins(), 0.0);
  const size_t windows = series.size() >= length ? (series.size() - length) / step + 1 : 0;
  thread_local std::vector<double> means;
  WindowMeans(series.data(), windows, length, step, &means);
  double* slice = fft->series();
  for (size_t w = 0; w < windows; ++w) {
    const double* values = series.data() + w * step;
    const double mean = means[w];
    for (size_t i = 0; i < length; ++i)
      slice[i] = (values[i] - mean) * window[i];
    fft->Forward();
    const std::complex<double>* transform = fft->transform();
    for (size_t bin = 0; bin < spectrum.density.size(); ++bin)
      spectrum.density[bin] += std::norm(transform[bin]);
    ++spectrum.windows;
  }
  // Density scaling 1 / (fs Σw²), averaged over the windows, and doubled
  // for the one-sided spectrum except at 0 Hz and (for an even length) at
  // the Nyquist frequency.
  const double scale = 1.0 / (sampleRate * windowPower * std::max(spectrum.windows, 1));
  const size_t lastDoubled =
      length % 2 == 0 ? spectrum.density.size() - 1 : spectrum.density.size();
  spectrum.frequency.resize(spectrum.density.size());
  for (size_t bin = 0; bin < spectrum.density.size(); ++bin) {
    const bool doubled = bin > 0 && bin < lastDoubled;
    spectrum.density[bin] *= doubled ? 2.0 * scale : scale;
    spectrum.frequency[bin] = spectrum.resolution * static_cast<double>(bin);
  }
  return spectrum;
}

SpectralMoments MomentsOf(const Spectrum& spectrum, const std::vector<bool>& inBand) {
  SpectralMoments moments;
  double peak = -1.0;
  bool havePrevious = false;
  double f0 = 0.0;
  double s0 = 0.0;
  for (size_t bin = 0; bin < spectrum.density.size(); ++bin) {
    if (!inBand[bin])
      continue;
    const double f = spectrum.frequency[bin];
    const double s = spectrum.density[bin];
    ++moments.bins;
    if (s > peak) {
      peak = s;
      moments.peakFrequency = f;
    }
    if (havePrevious) {
      const double width = f - f0;
      moments.m0 += Trapezoid(width, s0, s);
      moments.m1 += Trapezoid(width, f0 * s0, f * s);
      moments.m2 += Trapezoid(width, f0 * f0 * s0, f * f * s);
      if (f0 > 0.0)
        moments.mMinus1 += Trapezoid(width, s0 / f0, s / f);
    }
    havePrevious = true;
    f0 = f;
    s0 = s;
  }
  return moments;
}

SpectralStatistics SpectralStatisticsOf(const SpectralMoments& moments) {
  SpectralStatistics statistics;
  const bool any = moments.bins >= 2 && moments.m0 > 0.0;
  statistics.hm0 = moments.bins >= 2 ? 4.0 * std::sqrt(std::max(moments.m0, 0.0)) : kNoValue;
  statistics.fp = any && moments.peakFrequency > 0.0 ? moments.peakFrequency : kNoValue;
  statistics.tp = 1.0 / statistics.fp;
  statistics.tm01 = any ? Ratio(moments.m0, moments.m1) : kNoValue;
  statistics.tm02 = any ? std::sqrt(Ratio(moments.m0, moments.m2)) : kNoValue;
  statistics.te = any && moments.mMinus1 > 0.0 ? moments.mMinus1 / moments.m0 : kNoValue;
  return statistics;
}
