#include "waves/wave_csv.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
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
// Room for one number: FormatGeneral takes its fast way with 32 bytes.
constexpr size_t kNumberRoom = 32;
// Numbers and integers in a row, with room to spare.
constexpr size_t kMostNumbers = 40;

// A row written in place into room made for it beforehand: appending each
// field to the string would call memmove for a few bytes 30 times a row.
class RowWriter {
 public:
  explicit RowWriter(char* at) : at_(at) {}
  char* end() const { return at_; }

  void Text(std::string_view text) {
    if (text.empty())
      return;  // an empty view may hold no pointer, which memcpy must not be given
    std::memcpy(at_, text.data(), text.size());
    at_ += text.size();
  }
  void Char(char c) { *at_++ = c; }
  // As "%.6g" prints it, mostly without printf's cost: a dump may have many
  // thousands of segments.
  void Number(double value) {
    *at_++ = ',';
    if (std::isnan(value) || std::isinf(value))
      return;
    at_ += FormatGeneral(at_, kNumberRoom, value, kSignificantDigits);
  }
  void Integer(int64_t value) {
    *at_++ = ',';
    at_ = std::to_chars(at_, at_ + kNumberRoom, value).ptr;
  }
  void Field(std::string_view text) {
    *at_++ = ',';
    Text(text);
  }

 private:
  char* at_;
};

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
  const std::string_view unit =
      settings_.pressure ? PressureUnitName(settings_.pressure->unit) : std::string_view();
  const size_t most = start.size() + end.size() + segment.reason.size() + unit.size() +
                      method_.size() + kMostNumbers * (kNumberRoom + 1);
  const size_t before = out->size();
  out->resize(before + most);
  RowWriter row(out->data() + before);
  row.Text(start);
  row.Field(end);
  row.Integer(static_cast<int64_t>(analysis.samples));
  row.Number(analysis.mean);
  row.Number(analysis.spectral.hm0);
  row.Number(analysis.spectral.tp);
  row.Number(analysis.spectral.fp);
  row.Number(analysis.spectral.tm01);
  row.Number(analysis.spectral.tm02);
  row.Number(analysis.spectral.te);
  const ZeroCrossingStatistics& waves = analysis.zeroCrossing;
  row.Number(waves.hs);
  row.Number(waves.ts);
  row.Number(waves.h10);
  row.Number(waves.hmax);
  row.Number(waves.hmean);
  row.Number(waves.tz);
  row.Integer(waves.waves);
  row.Number(segment.temperature);
  row.Integer(static_cast<int>(segment.flag));
  row.Field(segment.reason);
  if (segment.burst >= 0)
    row.Integer(segment.burst);
  else
    row.Field("");
  row.Integer(segment.sampleRate);
  row.Integer(segment.good);
  row.Integer(segment.missing);
  row.Integer(analysis.spectrum.windowLength);
  row.Integer(analysis.spectrum.windows);
  row.Number(analysis.bandLow);
  row.Number(analysis.bandHigh);
  row.Field(unit);
  row.Number(settings_.pressure ? settings_.pressure->kpMin : kNoValue);
  row.Number(analysis.cutOffFrequency);
  row.Field(method_);
  row.Char('\n');
  out->resize(static_cast<size_t>(row.end() - out->data()));
}
