// The spectrum of a segment by Welch's method, and the statistics taken
// from its moments.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

class RealFft;

// Takes the least-squares straight line (over the sample index) off
// `series`, and returns the series' mean before.
double RemoveLeastSquaresLine(std::span<double> series);

// The Welch window length used when none is asked for: the largest power of
// two not above samples / 8, and at least 64.
int DefaultWelchLength(size_t samples);

// A one-sided power spectral density, units²/Hz, at frequency i × resolution.
struct Spectrum {
  double resolution = 0.0;  // Hz between bins
  std::vector<double> frequency;
  std::vector<double> density;
  int windowLength = 0;  // readings per Welch window
  int windows = 0;       // windows averaged
};

// Welch's method as scipy.signal.welch(detrend="constant", window="hann",
// scaling="density") computes it: periodic Hann windows of `fft.length()`
// readings overlapping by half, each window's mean taken off, the squared
// transforms averaged. Readings after the last whole window are not used.
// `series` must hold at least fft.length() readings.
Spectrum WelchDensity(std::span<const double> series, double sampleRate, RealFft* fft);

// Which bins a statistic is taken over: `inBand[i]` for bin i.
struct SpectralMoments {
  double mMinus1 = 0.0;  // ∫ S/f df
  double m0 = 0.0;
  double m1 = 0.0;
  double m2 = 0.0;
  double peakFrequency = 0.0;  // of the largest density inside the band
  int bins = 0;                // bins inside the band
};

// The moments m_n = ∫ f^n S(f) df by the trapezoid rule over the bins
// inside the band, taken in order as one run of points; m₋₁ leaves out a
// bin at 0 Hz.
SpectralMoments MomentsOf(const Spectrum& spectrum, const std::vector<bool>& inBand);

// Hm0 = 4√m0, Tp = 1/fp, Tm01 = m0/m1, Tm02 = √(m0/m2), Te = m₋₁/m0; NaN
// where the moments give none.
struct SpectralStatistics {
  double hm0 = 0.0;
  double tp = 0.0;
  double fp = 0.0;
  double tm01 = 0.0;
  double tm02 = 0.0;
  double te = 0.0;
};
SpectralStatistics SpectralStatisticsOf(const SpectralMoments& moments);
