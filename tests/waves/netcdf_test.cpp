// The wave statistics in a NetCDF file, read back through the C API.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

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
    WaveSegmenter segmenter(settings_, [this](WaveSegment&& segment) {
      const double start = 1e9 + static_cast<double>(kept_.size()) * 3600.0;
      kept_.push_back(KeepForNetcdf(std::move(segment), start, start + 1199.75));
    });
    FeedPlace place;
    place.burst = 0;
    Feed(&segmenter, Sine(0.5, 8.0, 4, 4800), place);
    place.burst = 1;
    Feed(&segmenter, Sine(0.5, 8.0, 4, 40), place);
    segmenter.Finish();
    ASSERT_EQ(kept_.size(), 2u);
    path_ = testing::TempDir() + "/waves_" + std::to_string(::getpid()) + ".nc";
  }
  void TearDown() override { std::remove(path_.c_str()); }

  // Writes the statistics into a new file and opens it for reading.
  int WrittenAndOpened() {
    int ncid = -1;
    EXPECT_EQ(nc_create(path_.c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid), NC_NOERR);
    std::string error;
    EXPECT_TRUE(WriteWaveStatistics(ncid, kept_, settings_, "m", &error)) << error;
    EXPECT_EQ(nc_close(ncid), NC_NOERR);
    EXPECT_EQ(nc_open(path_.c_str(), NC_NOWRITE, &ncid), NC_NOERR);
    return ncid;
  }

  WaveSettings settings_;
  std::vector<KeptSegment> kept_;
  std::string path_;
};

TEST_F(WaveNetcdf, StatisticsLieOnTheSegmentDimensionWithTheirStandardNames) {
  const int ncid = WrittenAndOpened();
  int segmentDim = -1;
  size_t segments = 0;
  ASSERT_EQ(nc_inq_dimid(ncid, "segment", &segmentDim), NC_NOERR);
  nc_inq_dimlen(ncid, segmentDim, &segments);
  EXPECT_EQ(segments, 2u);

  const int hm0 = VariableId(ncid, "hm0");
  EXPECT_EQ(TextAttribute(ncid, hm0, "standard_name"), "sea_surface_wave_significant_height");
  EXPECT_EQ(TextAttribute(ncid, hm0, "units"), "m");
  EXPECT_NE(TextAttribute(ncid, hm0, "wave_method").find("Welch"), std::string::npos);
  double values[2] = {};
  ASSERT_EQ(nc_get_var_double(ncid, hm0, values), NC_NOERR);
  EXPECT_NEAR(values[0], 2.0 * std::numbers::sqrt2 * 0.5, 0.01 * 1.414);
  EXPECT_EQ(values[1], kept_[1].segment.analysis.spectral.hm0);

  const char* names[][2] = {
      {"tp", "sea_surface_wave_period_at_variance_spectral_density_maximum"},
      {"tm01",
       "sea_surface_wave_mean_period_from_variance_spectral_density_first_frequency_moment"},
      {"tm02",
       "sea_surface_wave_mean_period_from_variance_spectral_density_second_frequency_moment"},
      {"S", "sea_surface_wave_variance_spectral_density"}};
  for (const auto& [variable, standardName] : names)
    EXPECT_EQ(TextAttribute(ncid, VariableId(ncid, variable), "standard_name"), standardName);
  EXPECT_EQ(TextAttribute(ncid, VariableId(ncid, "S"), "units"), "m2 s");
  double band = 0.0;
  nc_get_att_double(ncid, VariableId(ncid, "S"), "wave_band_high_hz", &band);
  EXPECT_EQ(band, 1.0);

  signed char flags[2] = {};
  nc_get_var_schar(ncid, VariableId(ncid, "segment_quality_control"), flags);
  EXPECT_EQ(flags[0], 1);
  EXPECT_EQ(flags[1], 3);  // 40 readings: short
  double starts[2] = {};
  nc_get_var_double(ncid, VariableId(ncid, "segment_start_time"), starts);
  EXPECT_EQ(starts[1], 1e9 + 3600.0);
  nc_close(ncid);
}

TEST_F(WaveNetcdf, EachSpectrumKeepsItsOwnBinsAndTheRestIsFill) {
  const int ncid = WrittenAndOpened();
  int frequencyDim = -1;
  size_t bins = 0;
  ASSERT_EQ(nc_inq_dimid(ncid, "frequency", &frequencyDim), NC_NOERR);
  nc_inq_dimlen(ncid, frequencyDim, &bins);
  // 4800 readings: Welch windows of 512, 257 bins; 40 readings: 21 bins.
  ASSERT_EQ(bins, 257u);
  std::vector<double> density(2 * bins);
  std::vector<double> frequency(2 * bins);
  nc_get_var_double(ncid, VariableId(ncid, "S"), density.data());
  nc_get_var_double(ncid, VariableId(ncid, "frequency_of_segment"), frequency.data());
  EXPECT_EQ(density[32], kept_[0].segment.analysis.spectrum.density[32]);
  EXPECT_DOUBLE_EQ(frequency[32], 0.25);
  EXPECT_DOUBLE_EQ(frequency[bins + 20], 2.0);  // the short one's Nyquist bin
  EXPECT_TRUE(std::isnan(frequency[bins + 21]));
  EXPECT_TRUE(std::isnan(density[bins + 21]));
  nc_close(ncid);
}

}  // namespace
