// The wave statistics' NetCDF file, read back through the C API.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <numbers>
#include <string>

#include "netcdf/netcdf_file.h"
#include "tests/waves/waves_test_support.h"
#include "waves/wave_netcdf.h"

namespace {

using zorq_test::Feed;
using zorq_test::FeedPlace;
using zorq_test::Sine;

std::string TextAttribute(int ncid, int variable, const char* name) {
  size_t length = 0;
  if (nc_inq_attlen(ncid, variable, name, &length) != NC_NOERR)
    return "<none>";
  std::string text(length, '\0');
  nc_get_att_text(ncid, variable, name, text.data());
  return text;
}

int VariableId(int ncid, const char* name) {
  int id = -1;
  EXPECT_EQ(nc_inq_varid(ncid, name, &id), NC_NOERR) << name;
  return id;
}

class WaveNetcdf : public testing::Test {
 protected:
  // A burst of a sine (4800 readings at 4 Hz) and a short one after it.
  void SetUp() override {
    WaveSegmenter segmenter(
        settings_, [this](WaveSegment&& segment) { segments_.push_back(std::move(segment)); });
    FeedPlace place;
    place.burst = 0;
    Feed(&segmenter, Sine(0.5, 8.0, 4, 4800), place);
    place.burst = 1;
    Feed(&segmenter, Sine(0.5, 8.0, 4, 40), place);
    segmenter.Finish();
    ASSERT_EQ(segments_.size(), 2u);
    path_ = testing::TempDir() + "/waves_" + std::to_string(::getpid()) + ".nc";
  }
  void TearDown() override { std::remove(path_.c_str()); }

  // Writes `segments` into a new file, starting at `starts` (an hour apart
  // when none are given), through `corrected`, and opens it for reading.
  int WrittenAndOpened(
      const std::vector<WaveSegment>& segments, std::vector<double> starts = {},
      const std::function<double(double)>& corrected = [](double t) { return t; }) {
    for (size_t i = starts.size(); i < segments.size(); ++i)
      starts.push_back(1e9 + static_cast<double>(i) * 3600.0);
    NetcdfFile file;
    EXPECT_TRUE(file.Create(path_, "waves.nc", NetcdfLayout{})) << file.error();
    WaveNetcdfWriter writer(&file, settings_, "m");
    for (size_t i = 0; i < segments.size(); ++i)
      EXPECT_TRUE(writer.Add(segments[i], starts[i], starts[i] + 1199.75)) << file.error();
    EXPECT_TRUE(writer.Finish(corrected)) << file.error();
    leftOut_ = writer.leftOut();
    EXPECT_TRUE(file.Close()) << file.error();
    int ncid = -1;
    EXPECT_EQ(nc_open(path_.c_str(), NC_NOWRITE, &ncid), NC_NOERR);
    return ncid;
  }
  int WrittenAndOpened() { return WrittenAndOpened(segments_); }

  WaveSettings settings_;
  std::vector<WaveSegment> segments_;
  std::string path_;
  size_t leftOut_ = 0;
};

size_t DimensionLength(int ncid, const char* name) {
  int dimension = -1;
  size_t length = 0;
  EXPECT_EQ(nc_inq_dimid(ncid, name, &dimension), NC_NOERR) << name;
  nc_inq_dimlen(ncid, dimension, &length);
  return length;
}

TEST_F(WaveNetcdf, StatisticsLieOnTimeWithTheirStandardNames) {
  const int ncid = WrittenAndOpened();
  EXPECT_EQ(DimensionLength(ncid, "time"), 2u);
  int segmentDim = -1;
  EXPECT_EQ(nc_inq_dimid(ncid, "segment", &segmentDim), NC_EBADDIM);

  const int hm0 = VariableId(ncid, "hm0");
  EXPECT_EQ(TextAttribute(ncid, hm0, "standard_name"), "sea_surface_wave_significant_height");
  EXPECT_EQ(TextAttribute(ncid, hm0, "units"), "m");
  EXPECT_NE(TextAttribute(ncid, hm0, "wave_method").find("Welch"), std::string::npos);
  double values[2] = {};
  ASSERT_EQ(nc_get_var_double(ncid, hm0, values), NC_NOERR);
  EXPECT_NEAR(values[0], 2.0 * std::numbers::sqrt2 * 0.5, 0.01 * 1.414);
  EXPECT_EQ(values[1], segments_[1].analysis.spectral.hm0);

  const char* names[][2] = {
      {"tp", "sea_surface_wave_period_at_variance_spectral_density_maximum"},
      {"tm01",
       "sea_surface_wave_mean_period_from_variance_spectral_density_first_frequency_moment"},
      {"tm02",
       "sea_surface_wave_mean_period_from_variance_spectral_density_second_frequency_moment"},
      {"S", "sea_surface_wave_variance_spectral_density"},
      {"frequency", "wave_frequency"},
      {"time", "time"}};
  for (const auto& [variable, standardName] : names)
    EXPECT_EQ(TextAttribute(ncid, VariableId(ncid, variable), "standard_name"), standardName);
  for (const char* variable : {"hm0", "tz", "segment_mean", "S"})
    EXPECT_EQ(TextAttribute(ncid, VariableId(ncid, variable), "cell_methods"), "time: point")
        << variable;
  EXPECT_EQ(TextAttribute(ncid, VariableId(ncid, "S"), "units"), "m2 s");
  EXPECT_EQ(TextAttribute(ncid, VariableId(ncid, "frequency"), "units"), "s-1");
  EXPECT_EQ(TextAttribute(ncid, VariableId(ncid, "time"), "bounds"), "time_bnds");
  double band = 0.0;
  nc_get_att_double(ncid, VariableId(ncid, "S"), "wave_band_high_hz", &band);
  EXPECT_EQ(band, 1.0);

  signed char flags[2] = {};
  nc_get_var_schar(ncid, VariableId(ncid, "segment_quality_control"), flags);
  EXPECT_EQ(flags[0], 1);
  EXPECT_EQ(flags[1], 3);
  signed char reasons[2] = {};
  nc_get_var_schar(ncid, VariableId(ncid, "segment_suspect_reasons"), reasons);
  EXPECT_EQ(reasons[0], 0);
  // 40 readings: short, and too short for the window of the 4800 before.
  EXPECT_EQ(reasons[1], 1 | 32);
  EXPECT_EQ(TextAttribute(ncid, VariableId(ncid, "segment_suspect_reasons"), "flag_meanings"),
            "short few_good_readings no_time no_rate no_depth off_frequency_grid");
  double bounds[4] = {};
  nc_get_var_double(ncid, VariableId(ncid, "time_bnds"), bounds);
  EXPECT_EQ(bounds[2], 1e9 + 3600.0);
  EXPECT_EQ(bounds[3], 1e9 + 3600.0 + 1199.75);
  nc_close(ncid);
}

TEST_F(WaveNetcdf, SpectraShareOneGridAndOneTooShortForItIsFill) {
  const int ncid = WrittenAndOpened();
  // The first burst's 4800 readings: Welch windows of 512, 257 bins.
  const size_t bins = DimensionLength(ncid, "frequency");
  ASSERT_EQ(bins, 257u);
  std::vector<double> density(2 * bins);
  std::vector<double> frequency(bins);
  nc_get_var_double(ncid, VariableId(ncid, "S"), density.data());
  nc_get_var_double(ncid, VariableId(ncid, "frequency"), frequency.data());
  EXPECT_EQ(density[32], segments_[0].analysis.spectrum.density[32]);
  EXPECT_DOUBLE_EQ(frequency[32], 0.25);
  EXPECT_DOUBLE_EQ(frequency[bins - 1], 2.0);
  for (size_t bin = 0; bin < bins; ++bin)
    EXPECT_TRUE(std::isnan(density[bins + bin])) << bin;
  nc_close(ncid);
}

// A gauge header's burst length sets the grid: 40 minutes at 4 Hz give
// windows of 1024 readings, which the 20-minute burst's own 512 are not.
TEST_F(WaveNetcdf, TheHeadersBurstLengthSetsTheGrid) {
  settings_.burstReadings = 40 * 60 * 4;
  const int ncid = WrittenAndOpened();
  EXPECT_EQ(DimensionLength(ncid, "frequency"), 513u);
  signed char reasons[2] = {};
  nc_get_var_schar(ncid, VariableId(ncid, "segment_suspect_reasons"), reasons);
  EXPECT_EQ(reasons[0], 32);
  nc_close(ncid);
}

// A start that is unknown, goes back or repeats the one before leaves its
// segment out: time rises strictly.
TEST_F(WaveNetcdf, SegmentsWhoseStartDoesNotRiseAreLeftOut) {
  const double kNan = std::numeric_limits<double>::quiet_NaN();
  std::vector<WaveSegment> segments(6, segments_[0]);
  const int ncid = WrittenAndOpened(segments, {100.0, 200.0, 150.0, kNan, 200.0, 300.0},
                                    [](double t) { return t + 0.5; });
  EXPECT_EQ(leftOut_, 3u);
  ASSERT_EQ(DimensionLength(ncid, "time"), 3u);
  double times[3] = {};
  nc_get_var_double(ncid, VariableId(ncid, "time"), times);
  EXPECT_EQ(times[0], 100.5);
  EXPECT_EQ(times[1], 200.5);
  EXPECT_EQ(times[2], 300.5);  // corrected
  nc_close(ncid);
}

// Segments cut apart only to be told apart: each one's statistics come from
// its index; the even ones' spectra lie on the grid the first one sets
// (1024 readings at 4 Hz: windows of 128, 65 bins), the odd ones' on
// another.
std::vector<WaveSegment> NumberedSegments(size_t count) {
  constexpr size_t kGridBins = 65;
  std::vector<WaveSegment> segments(count);
  for (size_t i = 0; i < count; ++i) {
    WaveSegment& segment = segments[i];
    segment.burst = static_cast<int64_t>(i);
    segment.sampleRate = 4;
    segment.readings = 1024;
    segment.analysis.spectral.hm0 = static_cast<double>(i);
    segment.analysis.samples = 1000 + i;
    segment.flag = i % 3 == 0 ? SegmentFlag::Good : SegmentFlag::Suspect;
    const bool onGrid = i % 2 == 0;
    const size_t bins = onGrid ? kGridBins : kGridBins / 2 + 1;
    segment.analysis.spectrum.windowLength = onGrid ? 128 : 64;
    for (size_t bin = 0; bin < bins; ++bin) {
      segment.analysis.spectrum.frequency.push_back(static_cast<double>(bin) / 32.0);
      segment.analysis.spectrum.density.push_back(static_cast<double>(i * 1000 + bin));
    }
  }
  return segments;
}

// The values on `time` are written a few hundred at a time and the spectra
// row by row: every segment lands in its own row, whatever the count, the
// last few included.
class WaveNetcdfRows : public WaveNetcdf, public testing::WithParamInterface<size_t> {};

TEST_P(WaveNetcdfRows, EverySegmentLandsInItsOwnRow) {
  const size_t count = GetParam();
  const std::vector<WaveSegment> segments = NumberedSegments(count);
  const int ncid = WrittenAndOpened(segments, {}, [](double t) { return t + 0.5; });
  const size_t bins = DimensionLength(ncid, "frequency");
  ASSERT_EQ(bins, 65u);
  std::vector<double> hm0(count);
  std::vector<long long> samples(count);
  std::vector<long long> bursts(count);
  std::vector<signed char> flags(count);
  std::vector<double> starts(count);
  std::vector<double> density(count * bins);
  ASSERT_EQ(nc_get_var_double(ncid, VariableId(ncid, "hm0"), hm0.data()), NC_NOERR);
  ASSERT_EQ(nc_get_var_longlong(ncid, VariableId(ncid, "segment_samples"), samples.data()),
            NC_NOERR);
  ASSERT_EQ(nc_get_var_longlong(ncid, VariableId(ncid, "segment_burst"), bursts.data()), NC_NOERR);
  ASSERT_EQ(nc_get_var_schar(ncid, VariableId(ncid, "segment_quality_control"), flags.data()),
            NC_NOERR);
  ASSERT_EQ(nc_get_var_double(ncid, VariableId(ncid, "time"), starts.data()), NC_NOERR);
  ASSERT_EQ(nc_get_var_double(ncid, VariableId(ncid, "S"), density.data()), NC_NOERR);
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(hm0[i], static_cast<double>(i));
    EXPECT_EQ(samples[i], static_cast<long long>(1000 + i));
    EXPECT_EQ(bursts[i], static_cast<long long>(i));
    EXPECT_EQ(starts[i], 1e9 + static_cast<double>(i) * 3600.0 + 0.5);  // corrected
    if (i % 2 == 0) {
      EXPECT_EQ(flags[i], static_cast<signed char>(segments[i].flag));
      EXPECT_EQ(density[i * bins + bins - 1], static_cast<double>(i * 1000 + bins - 1));
    } else {
      EXPECT_EQ(flags[i], static_cast<signed char>(SegmentFlag::Suspect));
      EXPECT_TRUE(std::isnan(density[i * bins]));
    }
  }
  nc_close(ncid);
}

// One short of a write of many, exactly one, one past it, and several.
INSTANTIATE_TEST_SUITE_P(Counts, WaveNetcdfRows, testing::Values(1, 511, 512, 513, 1100));

}  // namespace
