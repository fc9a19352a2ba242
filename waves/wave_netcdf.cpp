#include "waves/wave_netcdf.h"

#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>

#include "waves/wave_csv.h"

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kSegmentDimension = "segment";
constexpr const char* kFrequencyDimension = "frequency";
constexpr const char* kTimeUnits = "seconds since 1970-01-01T00:00:00Z";
constexpr signed char kFlagValues[] = {static_cast<signed char>(SegmentFlag::Good),
                                       static_cast<signed char>(SegmentFlag::Suspect)};

// One statistic on the segment dimension: its name, attributes and value.
struct Statistic {
  const char* name;
  const char* standardName;  // empty: none in the CF table
  const char* longName;
  bool period;  // in s; otherwise in the readings' units
  std::function<double(const KeptSegment&)> value;
};

const std::vector<Statistic>& Statistics() {
  static const std::vector<Statistic> kStatistics = {
      {"hm0", "sea_surface_wave_significant_height", "significant wave height 4*sqrt(m0)", false,
       [](const KeptSegment& k) { return k.segment.analysis.spectral.hm0; }},
      {"tp", "sea_surface_wave_period_at_variance_spectral_density_maximum", "peak period 1/fp",
       true, [](const KeptSegment& k) { return k.segment.analysis.spectral.tp; }},
      {"tm01", "sea_surface_wave_mean_period_from_variance_spectral_density_first_frequency_moment",
       "mean period m0/m1", true,
       [](const KeptSegment& k) { return k.segment.analysis.spectral.tm01; }},
      {"tm02",
       "sea_surface_wave_mean_period_from_variance_spectral_density_second_frequency_moment",
       "mean period sqrt(m0/m2)", true,
       [](const KeptSegment& k) { return k.segment.analysis.spectral.tm02; }},
      {"te", "", "energy period m-1/m0", true,
       [](const KeptSegment& k) { return k.segment.analysis.spectral.te; }},
      {"hs", "", "mean height of the highest third of the zero up-crossing waves (H1/3)", false,
       [](const KeptSegment& k) { return k.segment.analysis.zeroCrossing.hs; }},
      {"ts", "", "mean period of the highest third of the zero up-crossing waves (T1/3)", true,
       [](const KeptSegment& k) { return k.segment.analysis.zeroCrossing.ts; }},
      {"h10", "", "mean height of the highest tenth of the zero up-crossing waves (H1/10)", false,
       [](const KeptSegment& k) { return k.segment.analysis.zeroCrossing.h10; }},
      {"hmax", "", "highest zero up-crossing wave", false,
       [](const KeptSegment& k) { return k.segment.analysis.zeroCrossing.hmax; }},
      {"hmean", "", "mean height of the zero up-crossing waves", false,
       [](const KeptSegment& k) { return k.segment.analysis.zeroCrossing.hmean; }},
      {"tz", "", "mean period of the zero up-crossing waves", true,
       [](const KeptSegment& k) { return k.segment.analysis.zeroCrossing.tz; }},
  };
  return kStatistics;
}

// The units of a density: the readings' units squared per hertz.
std::string DensityUnits(const std::string& units) {
  return units == "1" ? "s" : units + "2 s";
}

class Writer {
 public:
  Writer(int ncid, const std::vector<KeptSegment>& segments, const WaveSettings& settings,
         const std::string& units)
      : ncid_(ncid), segments_(segments), settings_(settings), units_(units) {
    for (const KeptSegment& kept : segments_)
      bins_ = std::max(bins_, kept.segment.analysis.spectrum.frequency.size());
    bins_ = std::max<size_t>(bins_, 1);
  }

  bool Run(std::string* error) {
    const bool ok = Define() && Check(nc_enddef(ncid_), "leave define mode") && WriteAll();
    if (!ok)
      *error = error_;
    return ok;
  }

 private:
  bool Check(int status, const std::string& doing) {
    if (status == NC_NOERR)
      return true;
    if (error_.empty())
      error_ = "cannot " + doing + " for the wave statistics: " + nc_strerror(status);
    return false;
  }

  bool Text(int variable, const char* name, const std::string& text) {
    return Check(nc_put_att_text(ncid_, variable, name, text.size(), text.c_str()),
                 std::string("write the attribute ") + name);
  }

  bool Double(int variable, const char* name, double value) {
    return Check(nc_put_att_double(ncid_, variable, name, NC_DOUBLE, 1, &value),
                 std::string("write the attribute ") + name);
  }

  bool Variable(const char* name, nc_type type, int dimensions, int* variable) {
    const int ids[] = {segmentDim_, frequencyDim_};
    if (!Check(nc_def_var(ncid_, name, type, dimensions, ids, variable),
               std::string("define ") + name))
      return false;
    if (type == NC_DOUBLE) {
      const double fill = kNoValue;
      return Check(nc_def_var_fill(ncid_, *variable, 0, &fill), "set the fill value");
    }
    return true;
  }

  // The method on every statistic, so that it travels with a variable
  // taken out of the file.
  bool Method(int variable) {
    return Text(variable, "wave_method", WaveMethodText(settings_)) &&
           Double(variable, "wave_band_low_hz", settings_.bandLow) &&
           Double(variable, "wave_band_high_hz", settings_.bandHigh) &&
           (!settings_.pressure ||
            Double(variable, "wave_pressure_response_minimum", settings_.pressure->kpMin));
  }

  bool DefineTimes() {
    for (int* variable : {&startVar_, &endVar_}) {
      const bool start = variable == &startVar_;
      if (!Variable(start ? "segment_start_time" : "segment_end_time", NC_DOUBLE, 1, variable) ||
          !Text(*variable, "units", kTimeUnits) || !Text(*variable, "calendar", "standard") ||
          !Text(
              *variable, "long_name",
              start ? "time of the segment's first reading" : "time of the segment's last reading"))
        return false;
    }
    return true;
  }

  bool DefineStatistics() {
    for (const Statistic& statistic : Statistics()) {
      int variable = -1;
      if (!Variable(statistic.name, NC_DOUBLE, 1, &variable) ||
          !Text(variable, "long_name", statistic.longName) ||
          !Text(variable, "units", statistic.period ? "s" : units_) ||
          (*statistic.standardName != '\0' &&
           !Text(variable, "standard_name", statistic.standardName)) ||
          !Text(variable, "coordinates", "segment_start_time") || !Method(variable))
        return false;
      statisticVars_.push_back(variable);
    }
    return Variable("fp", NC_DOUBLE, 1, &fpVar_) && Text(fpVar_, "units", "Hz") &&
           Text(fpVar_, "long_name", "frequency of the largest density inside the band") &&
           Variable("segment_mean", NC_DOUBLE, 1, &meanVar_) && Text(meanVar_, "units", units_) &&
           Text(meanVar_, "long_name",
                settings_.pressure ? "mean depth: mean water column plus the sensor height"
                                   : "mean reading") &&
           Variable("segment_temperature", NC_DOUBLE, 1, &temperatureVar_) &&
           Text(temperatureVar_, "units", "degree_C") &&
           Text(temperatureVar_, "long_name", "mean of the segment's extra values") &&
           Variable("kp_cut_off", NC_DOUBLE, 1, &cutOffVar_) && Text(cutOffVar_, "units", "Hz") &&
           Text(cutOffVar_, "long_name",
                "lowest frequency inside the band left out for a weak pressure response") &&
           Variable("segment_samples", NC_INT64, 1, &samplesVar_) &&
           Variable("segment_waves", NC_INT64, 1, &wavesVar_) &&
           Variable("segment_burst", NC_INT64, 1, &burstVar_) &&
           Text(burstVar_, "long_name", "burst of a gauge dump; -1 for logger dumps") &&
           Variable("segment_quality_control", NC_BYTE, 1, &flagVar_) &&
           Text(flagVar_, "standard_name", "status_flag") &&
           Check(nc_put_att_schar(ncid_, flagVar_, "flag_values", NC_BYTE, 2, kFlagValues),
                 "write flag_values") &&
           Text(flagVar_, "flag_meanings", "good suspect") &&
           Text(flagVar_, "comment",
                "suspect: fewer than 64 readings, fewer than 90% good, no time, no rate or no "
                "depth");
  }

  bool DefineSpectrum() {
    return Variable("frequency_of_segment", NC_DOUBLE, 2, &frequencyVar_) &&
           Text(frequencyVar_, "units", "Hz") &&
           Text(frequencyVar_, "standard_name", "sea_surface_wave_frequency") &&
           Text(frequencyVar_, "long_name",
                "frequency of each bin of the segment's spectrum (the Welch window sets it)") &&
           Variable("S", NC_DOUBLE, 2, &densityVar_) &&
           Text(densityVar_, "standard_name", "sea_surface_wave_variance_spectral_density") &&
           Text(densityVar_, "units", DensityUnits(units_)) &&
           Text(densityVar_, "long_name",
                settings_.pressure ? "spectral density of the surface, S/Kp^2"
                                   : "one-sided spectral density") &&
           Text(densityVar_, "coordinates", "frequency_of_segment segment_start_time") &&
           Method(densityVar_);
  }

  bool Define() {
    return Check(nc_def_dim(ncid_, kSegmentDimension, NC_UNLIMITED, &segmentDim_),
                 "define the segment dimension") &&
           Check(nc_def_dim(ncid_, kFrequencyDimension, bins_, &frequencyDim_),
                 "define the frequency dimension") &&
           DefineTimes() && DefineStatistics() && DefineSpectrum() &&
           Text(NC_GLOBAL, "wave_statistics_method", WaveMethodText(settings_));
  }

  bool PutColumn(int variable, const std::function<double(const KeptSegment&)>& value) {
    std::vector<double> column(segments_.size());
    for (size_t i = 0; i < segments_.size(); ++i)
      column[i] = value(segments_[i]);
    const size_t start = 0;
    const size_t count = column.size();
    return Check(nc_put_vara_double(ncid_, variable, &start, &count, column.data()),
                 "write a statistic");
  }

  bool PutWholeColumn(int variable, const std::function<long long(const KeptSegment&)>& value) {
    std::vector<long long> column(segments_.size());
    for (size_t i = 0; i < segments_.size(); ++i)
      column[i] = value(segments_[i]);
    const size_t start = 0;
    const size_t count = column.size();
    return Check(nc_put_vara_longlong(ncid_, variable, &start, &count, column.data()),
                 "write a count");
  }

  bool PutFlags() {
    std::vector<signed char> flags(segments_.size());
    for (size_t i = 0; i < segments_.size(); ++i)
      flags[i] = static_cast<signed char>(segments_[i].segment.flag);
    const size_t start = 0;
    const size_t count = flags.size();
    return Check(nc_put_vara_schar(ncid_, flagVar_, &start, &count, flags.data()),
                 "write the flags");
  }

  // One row of the spectrum: the segment's bins, the rest left to the fill.
  bool PutSpectra() {
    for (size_t i = 0; i < segments_.size(); ++i) {
      const Spectrum& spectrum = segments_[i].segment.analysis.spectrum;
      const size_t start[] = {i, 0};
      const size_t count[] = {1, spectrum.frequency.size()};
      if (count[1] == 0)
        continue;
      if (!Check(nc_put_vara_double(ncid_, frequencyVar_, start, count, spectrum.frequency.data()),
                 "write the frequencies") ||
          !Check(nc_put_vara_double(ncid_, densityVar_, start, count, spectrum.density.data()),
                 "write the spectrum"))
        return false;
    }
    return true;
  }

  bool WriteAll() {
    if (segments_.empty())
      return true;
    bool ok = PutColumn(startVar_, [](const KeptSegment& k) { return k.start; }) &&
              PutColumn(endVar_, [](const KeptSegment& k) { return k.end; });
    for (size_t i = 0; ok && i < statisticVars_.size(); ++i)
      ok = PutColumn(statisticVars_[i], Statistics()[i].value);
    return ok &&
           PutColumn(fpVar_, [](const KeptSegment& k) { return k.segment.analysis.spectral.fp; }) &&
           PutColumn(meanVar_, [](const KeptSegment& k) { return k.segment.analysis.mean; }) &&
           PutColumn(temperatureVar_, [](const KeptSegment& k) { return k.segment.temperature; }) &&
           PutColumn(cutOffVar_,
                     [](const KeptSegment& k) { return k.segment.analysis.cutOffFrequency; }) &&
           PutWholeColumn(samplesVar_,
                          [](const KeptSegment& k) {
                            return static_cast<long long>(k.segment.analysis.samples);
                          }) &&
           PutWholeColumn(wavesVar_,
                          [](const KeptSegment& k) {
                            return static_cast<long long>(k.segment.analysis.zeroCrossing.waves);
                          }) &&
           PutWholeColumn(
               burstVar_,
               [](const KeptSegment& k) { return static_cast<long long>(k.segment.burst); }) &&
           PutFlags() && PutSpectra();
  }

  int ncid_;
  const std::vector<KeptSegment>& segments_;
  const WaveSettings& settings_;
  std::string units_;
  size_t bins_ = 0;
  std::string error_;
  int segmentDim_ = -1;
  int frequencyDim_ = -1;
  int startVar_ = -1;
  int endVar_ = -1;
  std::vector<int> statisticVars_;
  int fpVar_ = -1;
  int meanVar_ = -1;
  int temperatureVar_ = -1;
  int cutOffVar_ = -1;
  int samplesVar_ = -1;
  int wavesVar_ = -1;
  int burstVar_ = -1;
  int flagVar_ = -1;
  int frequencyVar_ = -1;
  int densityVar_ = -1;
};

}  // namespace

KeptSegment KeepForNetcdf(WaveSegment&& segment, double start, double end) {
  KeptSegment kept{std::move(segment), start, end};
  SegmentAnalysis& analysis = kept.segment.analysis;
  std::vector<bool>().swap(analysis.inBand);
  std::vector<double>().swap(analysis.pressureResponse);
  analysis.spectrum.frequency.shrink_to_fit();
  analysis.spectrum.density.shrink_to_fit();
  return kept;
}

bool WriteWaveStatistics(int ncid, const std::vector<KeptSegment>& segments,
                         const WaveSettings& settings, const std::string& units,
                         std::string* error) {
  return Writer(ncid, segments, settings, units).Run(error);
}
