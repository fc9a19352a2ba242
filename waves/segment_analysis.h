// The statistics of one segment's readings: the series analysed, its
// spectrum, the spectral and zero-crossing statistics.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "waves/spectrum.h"
#include "waves/wave_settings.h"
#include "waves/zero_crossing.h"

class RealFft;

struct SegmentAnalysis {
  size_t samples = 0;
  // The mean reading; with pressure the mean depth in m (mean water column
  // plus the sensor height).
  double mean = 0.0;
  SpectralStatistics spectral;
  ZeroCrossingStatistics zeroCrossing;
  // The spectrum; with pressure that of the surface (S / Kp²), NaN in bins
  // whose response is below the cut-off.
  Spectrum spectrum;
  std::vector<bool> inBand;              // the bins the moments and the peak are taken over
  std::vector<double> pressureResponse;  // Kp per bin; empty without pressure
  double bandLow = 0.0;                  // the band asked for, the top clipped to Nyquist
  double bandHigh = 0.0;
  // With pressure: the lowest frequency whose Kp fell below the cut-off,
  // NaN when none inside the band did.
  double cutOffFrequency = 0.0;
};

// Works out segments one after another, keeping its transforms while the
// lengths stay the same.
class SegmentAnalyser {
 public:
  explicit SegmentAnalyser(const WaveSettings& settings);
  ~SegmentAnalyser();
  SegmentAnalyser(const SegmentAnalyser&) = delete;
  SegmentAnalyser& operator=(const SegmentAnalyser&) = delete;

  // Analyses `readings` (which it changes: taken as pressure, detrended).
  // Fewer than two readings, or a rate that is not positive, give NaN
  // statistics and no spectrum.
  SegmentAnalysis Analyse(std::span<double> readings, double sampleRate);

 private:
  RealFft& TransformOf(std::unique_ptr<RealFft>* held, size_t length);
  void TakeAsWaterColumn(std::span<double> readings) const;
  std::vector<bool> BandOf(const Spectrum& spectrum, double low, double high) const;
  void CorrectForPressure(double depth, SegmentAnalysis* analysis) const;
  void RebuildSurface(std::span<double> series, double sampleRate, double depth,
                      const SegmentAnalysis& analysis);

  WaveSettings settings_;
  std::unique_ptr<RealFft> welch_;
  std::unique_ptr<RealFft> whole_;
};
