#include "waves/wave_netcdf.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <tuple>
#include <utility>

#include "qc/flags.h"
#include "waves/wave_csv.h"

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kSegmentDimension = "segment";
constexpr const char* kFrequencyDimension = "frequency";
constexpr const char* kTimeUnits = "seconds since 1970-01-01T00:00:00Z";
// Segments per chunk and per write of the values on `segment`: a few KB a
// variable, whatever the run's length.
constexpr size_t kSegmentsPerChunk = 512;
// The values on `segment` are written a whole chunk at a time, so they need
// no cache: HDF5 writes a chunk larger than its cache straight through, where
// a cache would keep every chunk written until the file closes.
constexpr size_t kNoChunkCache = 1;
// A spectrum's chunk: the rows of several segments, as wide as the first
// segment's spectrum (the others are mostly as long; a longer one takes more
// chunks across, and a chunk wider than the spectra would store fill).
constexpr size_t kSpectraPerChunk = 64;
// A spectrum's cache holds the chunks its rows are being written into,
// across the widest spectrum, so that none is written before it is full.
constexpr size_t kSpectrumCacheBytes = 1024 * 1024;
constexpr size_t kSpectrumCacheSlots = 4099;  // a prime, well above the chunks it holds

// Whose units a value takes.
enum class Units { kReadings, kSeconds, kHertz, kCelsius };

// One value per segment, on the segment dimension.
struct Statistic {
  const char* name;
  const char* standardName;  // empty: none in the CF table
  const char* longName;
  Units units;
  bool withMethod;  // the method and band travel with it
  double (*value)(const WaveSegment&);
  const char* comment = nullptr;  // which of two estimates of one quantity
};

constexpr const char* kSpectralEstimate =
    "spectral estimate: 4 * sqrt(m0), m0 the zeroth moment of the variance spectral density "
    "inside the band";
constexpr const char* kZeroCrossingEstimate =
    "zero up-crossing estimate: the mean height of the highest third of the waves (H1/3)";

const std::vector<Statistic>& Statistics() {
  static const std::vector<Statistic> kStatistics = {
      {"hm0", "sea_surface_wave_significant_height", "significant wave height 4*sqrt(m0)",
       Units::kReadings, true, [](const WaveSegment& s) { return s.analysis.spectral.hm0; },
       kSpectralEstimate},
      {"tp", "sea_surface_wave_period_at_variance_spectral_density_maximum", "peak period 1/fp",
       Units::kSeconds, true, [](const WaveSegment& s) { return s.analysis.spectral.tp; }},
      {"tm01", "sea_surface_wave_mean_period_from_variance_spectral_density_first_frequency_moment",
       "mean period m0/m1", Units::kSeconds, true,
       [](const WaveSegment& s) { return s.analysis.spectral.tm01; }},
      {"tm02",
       "sea_surface_wave_mean_period_from_variance_spectral_density_second_frequency_moment",
       "mean period sqrt(m0/m2)", Units::kSeconds, true,
       [](const WaveSegment& s) { return s.analysis.spectral.tm02; }},
      {"te", "sea_surface_wave_mean_period_from_variance_spectral_density_inverse_frequency_moment",
       "energy period m-1/m0", Units::kSeconds, true,
       [](const WaveSegment& s) { return s.analysis.spectral.te; }},
      {"hs", "sea_surface_wave_significant_height",
       "significant wave height H1/3 of the zero up-crossing waves", Units::kReadings, true,
       [](const WaveSegment& s) { return s.analysis.zeroCrossing.hs; }, kZeroCrossingEstimate},
      {"ts", "sea_surface_wave_significant_period",
       "mean period of the highest third of the zero up-crossing waves (T1/3)", Units::kSeconds,
       true, [](const WaveSegment& s) { return s.analysis.zeroCrossing.ts; }},
      {"h10", "sea_surface_wave_mean_height_of_highest_tenth",
       "mean height of the highest tenth of the zero up-crossing waves (H1/10)", Units::kReadings,
       true, [](const WaveSegment& s) { return s.analysis.zeroCrossing.h10; }},
      {"hmax", "sea_surface_wave_maximum_height", "highest zero up-crossing wave", Units::kReadings,
       true, [](const WaveSegment& s) { return s.analysis.zeroCrossing.hmax; }},
      {"hmean", "sea_surface_wave_mean_height", "mean height of the zero up-crossing waves",
       Units::kReadings, true, [](const WaveSegment& s) { return s.analysis.zeroCrossing.hmean; }},
      {"tz", "sea_surface_wave_mean_period", "mean period of the zero up-crossing waves",
       Units::kSeconds, true, [](const WaveSegment& s) { return s.analysis.zeroCrossing.tz; }},
      {"fp", "sea_surface_wave_frequency_at_variance_spectral_density_maximum",
       "frequency of the largest density inside the band", Units::kHertz, false,
       [](const WaveSegment& s) { return s.analysis.spectral.fp; }},
      {"segment_mean", "", nullptr, Units::kReadings, false,
       [](const WaveSegment& s) { return s.analysis.mean; }},
      {"segment_temperature", "", "mean of the segment's extra values", Units::kCelsius, false,
       [](const WaveSegment& s) { return s.temperature; }},
      {"kp_cut_off", "", "lowest frequency inside the band left out for a weak pressure response",
       Units::kHertz, false, [](const WaveSegment& s) { return s.analysis.cutOffFrequency; }},
  };
  return kStatistics;
}

// The units of a density: the readings' units squared per hertz.
std::string DensityUnits(const std::string& units) {
  return units == "1" ? "s" : units + "2 s";
}

// A value per segment, NaN where none was written.
NetcdfVariable& AddColumn(NetcdfLayout* layout, const char* name, NetcdfType type) {
  NetcdfVariable& variable = layout->AddVariable(name, type, {kSegmentDimension});
  variable.chunks = {kSegmentsPerChunk};
  variable.cacheBytes = kNoChunkCache;
  if (type == NetcdfType::kDouble) {
    variable.fill = NetcdfFill::kValue;
    variable.fillValue = kNoValue;
  }
  return variable;
}

constexpr const char* kHm0RangeVariable = "hm0_gross_range_test_quality_flag";
constexpr const char* kTpRangeVariable = "tp_gross_range_test_quality_flag";

NetcdfVariable& AddQartodFlags(NetcdfVariable& variable, const char* standardName) {
  return variable.Attribute("standard_name", standardName)
      .Attribute("flag_values", std::vector<signed char>(std::begin(kQartodFlagValues),
                                                         std::end(kQartodFlagValues)))
      .Attribute("flag_meanings", kQartodFlagMeanings)
      .Attribute("references", kQartodReference);
}

// A statistic's gross range flags, where its test is configured.
void AddRangeFlags(NetcdfLayout* layout, const char* name,
                   const std::optional<GrossRangeThresholds>& thresholds) {
  if (!thresholds)
    return;
  AddQartodFlags(AddColumn(layout, name, NetcdfType::kByte), kGrossRangeFlagName)
      .Attribute("fail_span", std::vector<double>{thresholds->fail.low, thresholds->fail.high})
      .Attribute("suspect_span",
                 std::vector<double>{thresholds->suspect.low, thresholds->suspect.high})
      .Attribute("comment",
                 "4 outside fail_span, else 3 outside suspect_span, else 1; 9 where "
                 "the statistic has no value");
}

// A row per segment: its bins, the rest left to the fill.
NetcdfVariable& AddSpectrum(NetcdfLayout* layout, const char* name, size_t binsPerChunk) {
  NetcdfVariable& variable =
      layout->AddVariable(name, NetcdfType::kDouble, {kSegmentDimension, kFrequencyDimension});
  variable.chunks = {kSpectraPerChunk, binsPerChunk};
  variable.fill = NetcdfFill::kValue;
  variable.fillValue = kNoValue;
  variable.cacheBytes = kSpectrumCacheBytes;
  variable.cacheSlots = kSpectrumCacheSlots;
  return variable;
}

// The method on every statistic, so that it travels with a variable taken
// out of the file.
void AddMethod(NetcdfVariable* variable, const WaveSettings& settings) {
  variable->Attribute("wave_method", WaveMethodText(settings))
      .Attribute("wave_band_low_hz", settings.bandLow)
      .Attribute("wave_band_high_hz", settings.bandHigh);
  if (settings.pressure)
    variable->Attribute("wave_pressure_response_minimum", settings.pressure->kpMin);
}

}  // namespace

WaveNetcdfWriter::WaveNetcdfWriter(NetcdfStore* file, const WaveSettings& settings,
                                   std::string units, StandardNameFor nameFor)
    : file_(file), settings_(settings), units_(std::move(units)), nameFor_(std::move(nameFor)) {}

std::string WaveNetcdfWriter::StandardName(const std::string& name,
                                           const std::string& units) const {
  if (name.empty() || !nameFor_)
    return name;
  return nameFor_(name, units);
}

NetcdfLayout WaveNetcdfWriter::Layout() const {
  NetcdfLayout layout;
  layout.AddDimension(kSegmentDimension);
  // Unlimited: a segment's bins are known when it comes, and the longest
  // spectrum sets the length.
  layout.AddDimension(kFrequencyDimension);
  for (const bool start : {true, false}) {
    AddColumn(&layout, start ? "segment_start_time" : "segment_end_time", NetcdfType::kDouble)
        .Attribute("units", kTimeUnits)
        .Attribute("calendar", "standard")
        .Attribute("long_name", start ? "time of the segment's first reading"
                                      : "time of the segment's last reading");
  }
  for (const Statistic& statistic : Statistics()) {
    NetcdfVariable& variable = AddColumn(&layout, statistic.name, NetcdfType::kDouble);
    const std::string longName = statistic.longName != nullptr ? statistic.longName
                                 : settings_.pressure
                                     ? "mean depth: mean water column plus the sensor height"
                                     : "mean reading";
    const std::string units = statistic.units == Units::kSeconds   ? "s"
                              : statistic.units == Units::kHertz   ? "Hz"
                              : statistic.units == Units::kCelsius ? "degree_C"
                                                                   : units_;
    variable.Attribute("long_name", longName).Attribute("units", units);
    if (const std::string name = StandardName(statistic.standardName, units); !name.empty())
      variable.Attribute("standard_name", name);
    if (statistic.comment != nullptr)
      variable.Attribute("comment", statistic.comment);
    if (statistic.withMethod) {
      variable.Attribute("coordinates", "segment_start_time");
      AddMethod(&variable, settings_);
    }
  }
  AddColumn(&layout, "segment_samples", NetcdfType::kInt64)
      .Attribute("long_name", "readings of the segment")
      .Attribute("units", "1");
  AddColumn(&layout, "segment_waves", NetcdfType::kInt64)
      .Attribute("long_name", "zero up-crossing waves of the segment")
      .Attribute("units", "1");
  AddColumn(&layout, "segment_burst", NetcdfType::kInt64)
      .Attribute("long_name", "burst of a gauge dump; -1 for logger dumps");
  AddQartodFlags(AddColumn(&layout, "segment_quality_control", NetcdfType::kByte),
                 kAggregateFlagName)
      .Attribute("comment",
                 "the strongest of the range tests of hm0 and tp (where configured) and 3 for "
                 "fewer than 64 readings, fewer than 90% good, no time, no rate or no depth");
  AddRangeFlags(&layout, kHm0RangeVariable, settings_.hm0Range);
  AddRangeFlags(&layout, kTpRangeVariable, settings_.tpRange);
  AddSpectrum(&layout, "frequency_of_segment", binsPerChunk_)
      .Attribute("units", "Hz")
      .Attribute("standard_name", "sea_surface_wave_frequency")
      .Attribute("long_name",
                 "frequency of each bin of the segment's spectrum (the Welch window sets it)");
  NetcdfVariable& density = AddSpectrum(&layout, "S", binsPerChunk_);
  if (const std::string name =
          StandardName("sea_surface_wave_variance_spectral_density", DensityUnits(units_));
      !name.empty())
    density.Attribute("standard_name", name);
  density.Attribute("units", DensityUnits(units_))
      .Attribute("long_name", settings_.pressure ? "spectral density of the surface, S/Kp^2"
                                                 : "one-sided spectral density")
      .Attribute("coordinates", "frequency_of_segment segment_start_time");
  AddMethod(&density, settings_);
  layout.AddGlobal("wave_statistics_method", WaveMethodText(settings_));
  return layout;
}

bool WaveNetcdfWriter::Define(size_t binsPerChunk) {
  defined_ = true;
  binsPerChunk_ = std::max<size_t>(binsPerChunk, 1);
  if (!file_->Define(Layout()))
    return false;
  for (const Statistic& statistic : Statistics())
    statisticVars_.push_back(file_->Variable(statistic.name));
  samplesVar_ = file_->Variable("segment_samples");
  wavesVar_ = file_->Variable("segment_waves");
  burstVar_ = file_->Variable("segment_burst");
  flagVar_ = file_->Variable("segment_quality_control");
  if (settings_.hm0Range)
    hm0RangeVar_ = file_->Variable(kHm0RangeVariable);
  if (settings_.tpRange)
    tpRangeVar_ = file_->Variable(kTpRangeVariable);
  frequencyVar_ = file_->Variable("frequency_of_segment");
  densityVar_ = file_->Variable("S");
  startVar_ = file_->Variable("segment_start_time");
  endVar_ = file_->Variable("segment_end_time");
  return true;
}

bool WaveNetcdfWriter::WriteSpectrum(const Spectrum& spectrum) {
  const size_t bins = spectrum.frequency.size();
  return bins == 0 || (file_->PutRow(frequencyVar_, segments_, bins, spectrum.frequency.data()) &&
                       file_->PutRow(densityVar_, segments_, bins, spectrum.density.data()));
}

bool WaveNetcdfWriter::Add(const WaveSegment& segment, double start, double end) {
  const Spectrum& spectrum = segment.analysis.spectrum;
  if (file_->failed() || (!defined_ && !Define(spectrum.frequency.size())) ||
      !WriteSpectrum(spectrum))
    return false;
  Row row;
  for (const Statistic& statistic : Statistics())
    row.statistics.push_back(statistic.value(segment));
  row.samples = static_cast<long long>(segment.analysis.samples);
  row.waves = static_cast<long long>(segment.analysis.zeroCrossing.waves);
  row.burst = static_cast<long long>(segment.burst);
  row.flag = static_cast<signed char>(segment.flag);
  row.hm0Range = segment.hm0Range;
  row.tpRange = segment.tpRange;
  rows_.push_back(std::move(row));
  starts_.push_back(start);
  ends_.push_back(end);
  ++segments_;
  return rows_.size() < kSegmentsPerChunk || WriteRows();
}

bool WaveNetcdfWriter::WriteRows() {
  const size_t count = rows_.size();
  bool ok = true;
  std::vector<double> column(count);
  for (size_t i = 0; ok && i < statisticVars_.size(); ++i) {
    std::transform(rows_.begin(), rows_.end(), column.begin(),
                   [i](const Row& row) { return row.statistics[i]; });
    ok = file_->Put(statisticVars_[i], written_, count, column.data());
  }
  std::vector<long long> wholes(count);
  for (const auto& [variable, field] :
       {std::pair{samplesVar_, &Row::samples}, std::pair{wavesVar_, &Row::waves},
        std::pair{burstVar_, &Row::burst}}) {
    std::transform(rows_.begin(), rows_.end(), wholes.begin(),
                   [field](const Row& row) { return row.*field; });
    ok = ok && file_->Put(variable, written_, count, wholes.data());
  }
  std::vector<signed char> flags(count);
  for (const auto& [variable, field, wanted] :
       {std::tuple{flagVar_, &Row::flag, true},
        std::tuple{hm0RangeVar_, &Row::hm0Range, settings_.hm0Range.has_value()},
        std::tuple{tpRangeVar_, &Row::tpRange, settings_.tpRange.has_value()}}) {
    if (!wanted)
      continue;
    std::transform(rows_.begin(), rows_.end(), flags.begin(),
                   [field](const Row& row) { return row.*field; });
    ok = ok && file_->Put(variable, written_, count, flags.data());
  }
  written_ += count;
  rows_.clear();
  return ok;
}

bool WaveNetcdfWriter::Finish(const std::function<double(double)>& corrected) {
  if (file_->failed() || (!defined_ && !Define(1)) || (!rows_.empty() && !WriteRows()))
    return false;
  if (segments_ == 0)
    return true;
  std::transform(starts_.begin(), starts_.end(), starts_.begin(), corrected);
  std::transform(ends_.begin(), ends_.end(), ends_.begin(), corrected);
  return file_->Put(startVar_, 0, starts_.size(), starts_.data()) &&
         file_->Put(endVar_, 0, ends_.size(), ends_.data());
}
