#include "waves/segment_analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "waves/dispersion.h"
#include "waves/real_fft.h"

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

bool InsideBand(double frequency, double low, double high) {
  return frequency >= low && frequency <= high;
}

}  // namespace

SegmentAnalyser::SegmentAnalyser(const WaveSettings& settings) : settings_(settings) {}

SegmentAnalyser::~SegmentAnalyser() = default;

RealFft& SegmentAnalyser::TransformOf(std::unique_ptr<RealFft>* held, size_t length) {
  if (!*held || (*held)->length() != length)
    *held = std::make_unique<RealFft>(length);
  return **held;
}

void SegmentAnalyser::TakeAsWaterColumn(std::span<double> readings) const {
  const PressureSettings& pressure = *settings_.pressure;
  const double metresPerUnit = PascalsPer(pressure.unit) / (pressure.density * kGravity);
  for (double& reading : readings)
    reading = (reading - pressure.atmospheric) * metresPerUnit;
}

std::vector<bool> SegmentAnalyser::BandOf(const Spectrum& spectrum, double low, double high) const {
  std::vector<bool> inBand(spectrum.frequency.size());
  for (size_t bin = 0; bin < inBand.size(); ++bin)
    inBand[bin] = InsideBand(spectrum.frequency[bin], low, high);
  return inBand;
}

// S / Kp² in every bin whose Kp reaches the cut-off; the others leave the
// band and hold NaN.
void SegmentAnalyser::CorrectForPressure(double depth, SegmentAnalysis* analysis) const {
  const PressureSettings& pressure = *settings_.pressure;
  Spectrum& spectrum = analysis->spectrum;
  analysis->pressureResponse.resize(spectrum.frequency.size());
  analysis->cutOffFrequency = kNoValue;
  for (size_t bin = 0; bin < spectrum.frequency.size(); ++bin) {
    const double f = spectrum.frequency[bin];
    const double kp = PressureResponse(Wavenumber(f, depth), depth, pressure.sensorHeight);
    analysis->pressureResponse[bin] = kp;
    if (kp > 0.0 && kp >= pressure.kpMin) {
      spectrum.density[bin] /= kp * kp;
      continue;
    }
    spectrum.density[bin] = kNoValue;
    if (analysis->inBand[bin] && std::isnan(analysis->cutOffFrequency))
      analysis->cutOffFrequency = f;
    analysis->inBand[bin] = false;
  }
}

// The surface from the pressure: the whole segment's transform, each bin
// inside the band divided by its Kp and the others set to zero, back.
void SegmentAnalyser::RebuildSurface(std::span<double> series, double sampleRate, double depth,
                                     const SegmentAnalysis& analysis) {
  const PressureSettings& pressure = *settings_.pressure;
  RealFft& fft = TransformOf(&whole_, series.size());
  std::copy(series.begin(), series.end(), fft.series());
  fft.Forward();
  std::complex<double>* transform = fft.transform();
  const double resolution = sampleRate / static_cast<double>(series.size());
  for (size_t bin = 0; bin < fft.bins(); ++bin) {
    const double f = resolution * static_cast<double>(bin);
    const double kp = InsideBand(f, analysis.bandLow, analysis.bandHigh)
                          ? PressureResponse(Wavenumber(f, depth), depth, pressure.sensorHeight)
                          : 0.0;
    transform[bin] = kp > 0.0 && kp >= pressure.kpMin ? transform[bin] / kp : 0.0;
  }
  fft.Inverse();
  const double scale = 1.0 / static_cast<double>(series.size());
  for (size_t i = 0; i < series.size(); ++i)
    series[i] = fft.series()[i] * scale;
}

SegmentAnalysis SegmentAnalyser::Analyse(std::span<double> readings, double sampleRate) {
  SegmentAnalysis analysis;
  analysis.samples = readings.size();
  analysis.spectral = SpectralStatisticsOf(SpectralMoments{});
  analysis.zeroCrossing = ZeroCrossingsOf(nullptr, 0, 1.0);
  analysis.mean = kNoValue;
  analysis.cutOffFrequency = kNoValue;
  if (readings.size() < 2 || !(sampleRate > 0.0))
    return analysis;
  if (settings_.pressure)
    TakeAsWaterColumn(readings);
  analysis.mean = RemoveLeastSquaresLine(readings);
  const double depth = settings_.pressure ? analysis.mean + settings_.pressure->sensorHeight : 0.0;
  if (settings_.pressure)
    analysis.mean = depth;

  const size_t asked = settings_.welchLength > 0
                           ? static_cast<size_t>(settings_.welchLength)
                           : static_cast<size_t>(DefaultWelchLength(readings.size()));
  const size_t length = std::min(asked, readings.size());
  analysis.spectrum = WelchDensity(readings, sampleRate, &TransformOf(&welch_, length));
  analysis.bandLow = settings_.bandLow;
  analysis.bandHigh = std::min(settings_.bandHigh, sampleRate / 2.0);
  analysis.inBand = BandOf(analysis.spectrum, analysis.bandLow, analysis.bandHigh);
  if (settings_.pressure)
    CorrectForPressure(depth, &analysis);
  analysis.spectral = SpectralStatisticsOf(MomentsOf(analysis.spectrum, analysis.inBand));

  if (settings_.pressure)
    RebuildSurface(readings, sampleRate, depth, analysis);
  analysis.zeroCrossing = ZeroCrossingsOf(readings.data(), readings.size(), sampleRate);
  return analysis;
}
