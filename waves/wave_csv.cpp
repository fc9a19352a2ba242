#include "waves/wave_csv.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "runtime/fast_numbers.h"

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// The columns every row begins with, then the method's own.
constexpr const char* kHeader =
    "start,end,samples,mean,hm0,tp,fp,tm01,tm02,te,hs,ts,h10,hmax,hmean,tz,waves,temperature,"
    "flag,reason,burst,sample_rate,good,missing,welch_length,welch_windows,band_low,band_high,"
    "pressure_unit,kp_min,kp_cut_off,method\n";

constexpr int kSignificantDigits = 6;

// As "%.6g" prints it, mostly without printf's cost: a dump may have many
// thousands of segments.
void AddNumber(std::string* row, double value) {
  *row += ',';
  if (std::isnan(value) || std::isinf(value))
    return;
  char text[64];
  const int length = FormatGeneral(text, sizeof text, value, kSignificantDigits);
  row->append(text, static_cast<size_t>(length));
}

void AddInteger(std::string* row, int64_t value) {
  *row += ',';
  char text[24];
  const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
  row->append(text, end.ptr);
}

void AddText(std::string* row, std::string_view text) {
  *row += ',';
  *row += text;
}

}  // namespace

std::string WaveMethodText(const WaveSettings& settings) {
  std::string text =
      "least-squares line removed; Welch PSD with periodic Hann windows overlapping 50% each "
      "with its mean removed; one-sided units^2/Hz; moments by the trapezoid rule over the band; "
      "Hm0=4*sqrt(m0) Tp=1/fp Tm01=m0/m1 Tm02=sqrt(m0/m2) Te=m-1/m0; zero up-crossings "
      "interpolated linearly on the detrended series";
  if (settings.pressure) {
    text += "; pressure to water column with rho=";
    char number[32];
    std::snprintf(number, sizeof number, "%g", settings.pressure->density);
    text += number;
    text += " g=9.81; S/Kp^2 with Kp=cosh(kz)/cosh(kh) from linear dispersion; bins with Kp<";
    std::snprintf(number, sizeof number, "%g", settings.pressure->kpMin);
    text += number;
    text += " left out; surface for zero crossings by FFT with band bins divided by Kp";
  }
  return text;
}

// The method in a few words for every row; WaveMethodText says it in full.
std::string WaveMethodTag(const WaveSettings& settings) {
  std::string tag =
      "linear-detrend;welch-periodic-hann-50%-window-mean;one-sided-psd;trapezoid-moments;"
      "zero-upcrossing";
  if (settings.pressure) {
    char number[32];
    std::snprintf(number, sizeof number, ";rho=%g;g=9.81", settings.pressure->density);
    tag += ";surface-by-kp=cosh(kz)/cosh(kh)";
    tag += number;
  }
  return tag;
}

WaveCsvWriter::WaveCsvWriter(const WaveSettings& settings)
    : settings_(settings), method_(WaveMethodTag(settings)) {}

std::string WaveCsvWriter::Header() {
  return kHeader;
}

std::string WaveCsvWriter::Row(const WaveSegment& segment, std::string_view start,
                               std::string_view end) const {
  std::string row;
  AddRow(&row, segment, start, end);
  return row;
}

void WaveCsvWriter::AddRow(std::string* out, const WaveSegment& segment, std::string_view start,
                           std::string_view end) const {
  const SegmentAnalysis& analysis = segment.analysis;
  std::string& row = *out;
  row += start;
  AddText(&row, end);
  AddInteger(&row, static_cast<int64_t>(analysis.samples));
  AddNumber(&row, analysis.mean);
  AddNumber(&row, analysis.spectral.hm0);
  AddNumber(&row, analysis.spectral.tp);
  AddNumber(&row, analysis.spectral.fp);
  AddNumber(&row, analysis.spectral.tm01);
  AddNumber(&row, analysis.spectral.tm02);
  AddNumber(&row, analysis.spectral.te);
  const ZeroCrossingStatistics& waves = analysis.zeroCrossing;
  AddNumber(&row, waves.hs);
  AddNumber(&row, waves.ts);
  AddNumber(&row, waves.h10);
  AddNumber(&row, waves.hmax);
  AddNumber(&row, waves.hmean);
  AddNumber(&row, waves.tz);
  AddInteger(&row, waves.waves);
  AddNumber(&row, segment.temperature);
  AddInteger(&row, static_cast<int>(segment.flag));
  AddText(&row, segment.reason);
  if (segment.burst >= 0)
    AddInteger(&row, segment.burst);
  else
    AddText(&row, "");
  AddInteger(&row, segment.sampleRate);
  AddInteger(&row, segment.good);
  AddInteger(&row, segment.missing);
  AddInteger(&row, analysis.spectrum.windowLength);
  AddInteger(&row, analysis.spectrum.windows);
  AddNumber(&row, analysis.bandLow);
  AddNumber(&row, analysis.bandHigh);
  AddText(&row, settings_.pressure ? PressureUnitName(settings_.pressure->unit) : "");
  AddNumber(&row, settings_.pressure ? settings_.pressure->kpMin : kNoValue);
  AddNumber(&row, analysis.cutOffFrequency);
  AddText(&row, method_);
  row += '\n';
}
