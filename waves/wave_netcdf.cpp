#include "waves/wave_netcdf.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <limits>
#include <sstream>
#include <tuple>
#include <utility>

#include "qc/flags.h"
#include "waves/spectrum.h"
#include "waves/wave_csv.h"

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kTimeDimension = "time";
constexpr const char* kFrequencyDimension = "frequency";
constexpr const char* kBoundsDimension = "nv";
constexpr size_t kBoundsPerTime = 2;
constexpr const char* kTimeUnits = "seconds since 1970-01-01T00:00:00Z";
constexpr const char* kPointInTime = "time: point";
// Segments per chunk and per write of the values on `time`: a few KB a
// variable, whatever the run's length.
constexpr size_t kSegmentsPerChunk = 512;
// The values on `time` are written a whole chunk at a time, so they need
// no cache: HDF5 writes a chunk larger than its cache straight through, where
// a cache would keep every chunk written until the file closes.
constexpr size_t kNoChunkCache = 1;
// The bounds are written row by row at the end: their cache holds the
// chunk being filled.
constexpr size_t kBoundsCacheBytes = 2 * kSegmentsPerChunk * kBoundsPerTime * sizeof(double);
// A spectrum's chunk: the rows of several segments across the whole grid.
constexpr size_t kSpectraPerChunk = 64;
// A spectrum's cache holds the chunk its rows are being written into, so
// that none is written before it is full.
constexpr size_t kSpectrumCacheBytes = 1024 * 1024;
constexpr size_t kSpectrumCacheSlots = 4099;  // a prime, well above the chunks it holds

// Why a segment is suspect, one bit each, as its reasons name them; the
// last is the file's own: a spectrum off the file's frequency grid.
constexpr const char* kOffGrid = "off-frequency-grid";
constexpr std::array<const char*, 6> kReasons = {"short",   "few-good-readings", "no-time",
                                                 "no-rate", "no-depth",          kOffGrid};

signed char ReasonBit(const std::string& reason) {
  for (size_t bit = 0; bit < kReasons.size(); ++bit) {
    if (reason == kReasons[bit])
      return static_cast<signed char>(1 << bit);
  }
  return 0;
}

signed char ReasonBits(const std::string& reasons) {
  signed char bits = 0;
  std::istringstream words(reasons);
  for (std::string word; std::getline(words, word, ';');)
    bits = static_cast<signed char>(bits | ReasonBit(word));
  return bits;
}

std::vector<signed char> ReasonMasks() {
  std::vector<signed char> masks;
  for (size_t bit = 0; bit < kReasons.size(); ++bit)
    masks.push_back(static_cast<signed char>(1 << bit));
  return masks;
}

std::string ReasonMeanings() {
  std::string meanings;
  for (const char* reason : kReasons) {
    std::string word = reason;
    std::replace(word.begin(), word.end(), '-', '_');
    meanings += (meanings.empty() ? "" : " ") + word;
  }
  return meanings;
}

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
  NetcdfVariable& variable = layout->AddVariable(name, type, {kTimeDimension});
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
                   const std::optional<GrossRangeThresholds>& thresholds,
                   const std::string& coordinates) {
  if (!thresholds)
    return;
  AddQartodFlags(AddColumn(layout, name, NetcdfType::kByte), kGrossRangeFlagName)
      .Attribute("coordinates", coordinates)
      .Attribute("fail_span", std::vector<double>{thresholds->fail.low, thresholds->fail.high})
      .Attribute("suspect_span",
                 std::vector<double>{thresholds->suspect.low, thresholds->suspect.high})
      .Attribute("comment",
                 "4 outside fail_span, else 3 outside suspect_span, else 1; 9 where "
                 "the statistic has no value");
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

void AddTime(NetcdfLayout* layout) {
  NetcdfVariable& time = layout->AddVariable(kTimeDimension, NetcdfType::kDouble, {kTimeDimension});
  time.chunks = {kSegmentsPerChunk};
  time.cacheBytes = kNoChunkCache;
  time.fill = NetcdfFill::kNone;
  time.Attribute("standard_name", "time")
      .Attribute("long_name", "time of the segment's first reading")
      .Attribute("units", kTimeUnits)
      .Attribute("calendar", "standard")
      .Attribute("axis", "T")
      .Attribute("bounds", "time_bnds");
  NetcdfVariable& bounds =
      layout->AddVariable("time_bnds", NetcdfType::kDouble, {kTimeDimension, kBoundsDimension});
  bounds.chunks = {kSegmentsPerChunk, kBoundsPerTime};
  bounds.cacheBytes = kBoundsCacheBytes;
  bounds.fill = NetcdfFill::kNone;
  bounds.Attribute("long_name", "times of the segment's first and last readings");
}

// What a variable on `time` lists in `coordinates`.
std::string StatisticCoordinates(const WaveNetcdfStation& station) {
  return station.coordinates.empty() ? kTimeDimension
                                     : std::string(kTimeDimension) + " " + station.coordinates;
}

}  // namespace

int FileWelchLength(const WaveSettings& settings, double nominalReadings) {
  if (settings.welchLength > 0)
    return settings.welchLength;
  const double readings = std::max(nominalReadings, 0.0);
  return DefaultWelchLength(static_cast<size_t>(readings));
}

WaveNetcdfWriter::WaveNetcdfWriter(NetcdfStore* file, const WaveSettings& settings,
                                   std::string units, StandardNameFor nameFor,
                                   WaveNetcdfStation station)
    : file_(file),
      settings_(settings),
      units_(std::move(units)),
      nameFor_(std::move(nameFor)),
      station_(std::move(station)) {}

std::string WaveNetcdfWriter::StandardName(const std::string& name,
                                           const std::string& units) const {
  if (name.empty() || !nameFor_)
    return name;
  return nameFor_(name, units);
}

void WaveNetcdfWriter::AddStatistics(NetcdfLayout* layout) const {
  const std::string coordinates = StatisticCoordinates(station_);
  for (const Statistic& statistic : Statistics()) {
    NetcdfVariable& variable = AddColumn(layout, statistic.name, NetcdfType::kDouble);
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
    variable.Attribute("cell_methods", kPointInTime).Attribute("coordinates", coordinates);
    if (statistic.withMethod)
      AddMethod(&variable, settings_);
  }
}

void WaveNetcdfWriter::AddSegmentFacts(NetcdfLayout* layout) const {
  const std::string coordinates = StatisticCoordinates(station_);
  AddColumn(layout, "segment_samples", NetcdfType::kInt64)
      .Attribute("long_name", "readings of the segment")
      .Attribute("units", "1")
      .Attribute("coordinates", coordinates);
  AddColumn(layout, "segment_waves", NetcdfType::kInt64)
      .Attribute("long_name", "zero up-crossing waves of the segment")
      .Attribute("units", "1")
      .Attribute("coordinates", coordinates);
  AddColumn(layout, "segment_burst", NetcdfType::kInt64)
      .Attribute("long_name", "burst of a gauge dump; -1 for logger dumps")
      .Attribute("coordinates", coordinates);
  AddQartodFlags(AddColumn(layout, "segment_quality_control", NetcdfType::kByte),
                 kAggregateFlagName)
      .Attribute("long_name", "quality flag of the segment's statistics")
      .Attribute("coordinates", coordinates)
      .Attribute("comment",
                 "the strongest of the range tests of hm0 and tp (where configured) and 3 for a "
                 "suspect segment: why, segment_suspect_reasons");
  AddRangeFlags(layout, kHm0RangeVariable, settings_.hm0Range, coordinates);
  AddRangeFlags(layout, kTpRangeVariable, settings_.tpRange, coordinates);
  AddColumn(layout, "segment_suspect_reasons", NetcdfType::kByte)
      .Attribute("long_name", "why the segment's statistics are suspect")
      .Attribute("flag_masks", ReasonMasks())
      .Attribute("flag_meanings", ReasonMeanings())
      .Attribute("coordinates", coordinates)
      .Attribute("comment",
                 "short: fewer than 64 readings; few good readings: under 90% good; no time, no "
                 "rate, no depth; off frequency grid: too short for the file's Welch window, or "
                 "at another sample rate, so its row of S is left empty");
}

void WaveNetcdfWriter::AddDensity(NetcdfLayout* layout) const {
  const std::string coordinates = StatisticCoordinates(station_);
  NetcdfVariable& density =
      layout->AddVariable("S", NetcdfType::kDouble, {kTimeDimension, kFrequencyDimension});
  density.chunks = {kSpectraPerChunk, bins_};
  density.fill = NetcdfFill::kValue;
  density.fillValue = kNoValue;
  density.cacheBytes = std::max(kSpectrumCacheBytes, 2 * kSpectraPerChunk * bins_ * sizeof(double));
  density.cacheSlots = kSpectrumCacheSlots;
  if (const std::string name =
          StandardName("sea_surface_wave_variance_spectral_density", DensityUnits(units_));
      !name.empty())
    density.Attribute("standard_name", name);
  density.Attribute("units", DensityUnits(units_))
      .Attribute("long_name", settings_.pressure ? "spectral density of the surface, S/Kp^2"
                                                 : "one-sided spectral density")
      .Attribute("cell_methods", kPointInTime)
      .Attribute("coordinates", coordinates);
  AddMethod(&density, settings_);
}

NetcdfLayout WaveNetcdfWriter::Layout() const {
  NetcdfLayout layout;
  layout.AddDimension(kTimeDimension);
  layout.AddDimension(kFrequencyDimension, bins_);
  layout.AddDimension(kBoundsDimension, kBoundsPerTime);
  for (const NetcdfDimension& dimension : station_.layout.dimensions())
    layout.AddDimension(dimension.name, dimension.length);
  AddTime(&layout);
  for (const NetcdfVariable& variable : station_.layout.variables())
    layout.AddVariable(variable.name, variable.type, variable.dimensions) = variable;
  NetcdfVariable& frequency =
      layout.AddVariable(kFrequencyDimension, NetcdfType::kDouble, {kFrequencyDimension});
  frequency.fill = NetcdfFill::kNone;
  frequency.Attribute("standard_name", "wave_frequency")
      .Attribute("long_name", "frequency of the spectra's bins")
      .Attribute("units", "s-1")
      .Attribute("comment", "bin k at k * sample rate / Welch window, the window of " +
                                std::to_string(welchLength_) + " readings at " +
                                std::to_string(sampleRate_) + " Hz");
  AddStatistics(&layout);
  AddSegmentFacts(&layout);
  AddDensity(&layout);
  layout.AddGlobal("wave_statistics_method", WaveMethodText(settings_));
  layout.AddGlobal("wave_welch_window_readings", welchLength_);
  return layout;
}

bool WaveNetcdfWriter::Define(const WaveSegment& first) {
  defined_ = true;
  sampleRate_ = first.sampleRate;
  const double nominal = first.burst < 0 ? settings_.segmentSeconds * first.sampleRate
                         : settings_.burstReadings > 0.0 ? settings_.burstReadings
                                                         : static_cast<double>(first.readings);
  welchLength_ = FileWelchLength(settings_, nominal);
  // No rate, no grid: one bin at 0 Hz keeps the layout whole.
  bins_ = sampleRate_ > 0 ? static_cast<size_t>(welchLength_) / 2 + 1 : 1;
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
  reasonVar_ = file_->Variable("segment_suspect_reasons");
  densityVar_ = file_->Variable("S");
  timeVar_ = file_->Variable(kTimeDimension);
  boundsVar_ = file_->Variable("time_bnds");
  std::vector<double> frequency(bins_);
  const double resolution =
      sampleRate_ > 0 ? static_cast<double>(sampleRate_) / static_cast<double>(welchLength_) : 0.0;
  for (size_t bin = 0; bin < bins_; ++bin)
    frequency[bin] = resolution * static_cast<double>(bin);
  return file_->Put(file_->Variable(kFrequencyDimension), 0, bins_, frequency.data());
}

bool WaveNetcdfWriter::OnGrid(const Spectrum& spectrum, int sampleRate) const {
  return sampleRate > 0 && sampleRate == sampleRate_ && spectrum.windowLength == welchLength_ &&
         spectrum.density.size() == bins_;
}

bool WaveNetcdfWriter::Add(const WaveSegment& segment, double start, double end) {
  if (file_->failed() || (!defined_ && !Define(segment)))
    return false;
  if (std::isnan(start) || (!starts_.empty() && !(start > starts_.back()))) {
    ++leftOut_;
    return true;
  }
  Row row;
  row.flag = static_cast<signed char>(segment.flag);
  row.reasons = ReasonBits(segment.reason);
  const Spectrum& spectrum = segment.analysis.spectrum;
  if (OnGrid(spectrum, segment.sampleRate)) {
    if (!file_->PutRow(densityVar_, segments_, bins_, spectrum.density.data()))
      return false;
  } else {
    // Off the grid is suspect; a segment already bad stays bad.
    if (row.flag == static_cast<signed char>(SegmentFlag::Good))
      row.flag = static_cast<signed char>(SegmentFlag::Suspect);
    row.reasons = static_cast<signed char>(row.reasons | ReasonBit(kOffGrid));
  }
  for (const Statistic& statistic : Statistics())
    row.statistics.push_back(statistic.value(segment));
  row.samples = static_cast<long long>(segment.analysis.samples);
  row.waves = static_cast<long long>(segment.analysis.zeroCrossing.waves);
  row.burst = static_cast<long long>(segment.burst);
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
  std::vector<signed char> bytes(count);
  for (const auto& [variable, field, wanted] :
       {std::tuple{flagVar_, &Row::flag, true}, std::tuple{reasonVar_, &Row::reasons, true},
        std::tuple{hm0RangeVar_, &Row::hm0Range, settings_.hm0Range.has_value()},
        std::tuple{tpRangeVar_, &Row::tpRange, settings_.tpRange.has_value()}}) {
    if (!wanted)
      continue;
    std::transform(rows_.begin(), rows_.end(), bytes.begin(),
                   [field](const Row& row) { return row.*field; });
    ok = ok && file_->Put(variable, written_, count, bytes.data());
  }
  written_ += count;
  rows_.clear();
  return ok;
}

bool WaveNetcdfWriter::WriteTimes(const std::function<double(double)>& corrected) {
  std::transform(starts_.begin(), starts_.end(), starts_.begin(), corrected);
  std::transform(ends_.begin(), ends_.end(), ends_.begin(), corrected);
  coverageStart_ = starts_.front();
  coverageEnd_ = std::max(ends_.back(), starts_.back());
  if (!file_->Put(timeVar_, 0, starts_.size(), starts_.data()))
    return false;
  for (size_t i = 0; i < starts_.size(); ++i) {
    // A segment's end is unknown when its last reading has no time: its
    // bounds close at its start.
    const double bounds[kBoundsPerTime] = {starts_[i],
                                           std::isnan(ends_[i]) ? starts_[i] : ends_[i]};
    if (!file_->PutRow(boundsVar_, i, kBoundsPerTime, bounds))
      return false;
  }
  return true;
}

bool WaveNetcdfWriter::Finish(const std::function<double(double)>& corrected) {
  if (file_->failed())
    return false;
  if (!defined_) {
    WaveSegment none;
    if (!Define(none))
      return false;
  }
  if (!rows_.empty() && !WriteRows())
    return false;
  return segments_ == 0 || WriteTimes(corrected);
}
