// The QARTOD flag variables of the readings file: each test's flags at
// the place of its reading, also where the spike test's look-ahead crosses
// a chunk, and the attributes data centres read.
#include <gtest/gtest.h>
#include <netcdf.h>

#include "qc/reading_qc.h"
#include "science/netcdf_writer.h"
#include "science/quality_flags.h"
#include "tests/science/science_test_support.h"

namespace {

using science_test::FeedLine;
using science_test::Local;
using science_test::NetcdfFile;
using science_test::Scratch;

const LocalSeconds kNoon = Local(2024, 3, 1, 12, 0, 0);
constexpr int kPerLine = 12;

ScienceSettings LoggerSettings() {
  ScienceSettings settings;
  settings.fromType = 2;
  settings.sourceName = "dump.txt";
  settings.zone = Zone::Named("UTC").value();
  settings.dumpBytes = 100;  // the smallest chunk: 512 readings
  return settings;
}

VariableTests AllTests() {
  VariableTests tests;
  tests.grossRange = GrossRangeThresholds{{-1.0, 12.0}, {0.0, 10.0}};
  tests.spike = SpikeThresholds{0.5, 1.0};
  tests.rateOfChange = RateOfChangeThresholds{0.75};
  tests.flatLine = FlatLineThresholds{0.001, 60.0, 180.0};
  return tests;
}

// `values` at one a second, twelve to a line, from noon.
std::vector<FeedLine> LinesOf(const std::vector<double>& values) {
  std::vector<FeedLine> lines;
  for (size_t first = 0; first < values.size(); first += kPerLine) {
    const size_t end = std::min(values.size(), first + kPerLine);
    lines.push_back(FeedLine()
                        .At(kNoon, static_cast<int64_t>(first), 1)
                        .Values({values.begin() + static_cast<long>(first),
                                 values.begin() + static_cast<long>(end)}));
  }
  return lines;
}

class NetcdfQcTest : public testing::Test {
 protected:
  void Write(const ScienceSettings& settings, const std::vector<FeedLine>& lines) {
    NetcdfWriter writer(settings);
    std::string error;
    ASSERT_TRUE(writer.Create(path_, &error)) << error;
    science_test::Feed(&writer, lines);
    RunFacts run;
    run.result = &result_;
    run.dateCreated = "2026-12-08T01:00:00Z";
    ASSERT_TRUE(writer.Finish(run, &error)) << error;
  }

  std::vector<double> DoublesAttribute(const NetcdfFile& file, const char* variable,
                                       const char* name) {
    int id = -1;
    size_t length = 0;
    std::vector<double> values;
    if (nc_inq_varid(file.ncid(), variable, &id) != NC_NOERR ||
        nc_inq_attlen(file.ncid(), id, name, &length) != NC_NOERR)
      return values;
    values.resize(length);
    nc_get_att_double(file.ncid(), id, name, values.data());
    return values;
  }

  Scratch scratch_;
  std::string path_ = scratch_.Path("qc.nc");
  ConversionResult result_;
};

// Flat at 5 with bumps: a spike on the last reading of the first chunk
// (511), one on the first of the second (520), and the last reading. The
// flat stretch before 511 lasts past both flat-line thresholds.
std::vector<double> SeriesAcrossChunks() {
  std::vector<double> values(1030, 5.0);
  for (size_t i = 0; i < values.size(); ++i)
    values[i] += i >= 300 ? 0.0 : (i % 2 == 0 ? 0.0 : 0.25);  // not flat for the first 300 s
  values[511] = 7.0;
  values[520] = 5.75;
  values[1029] = 12.5;
  return values;
}

TEST_F(NetcdfQcTest, EachTestsFlagsAtTheirReadingsAcrossChunks) {
  ScienceSettings settings = LoggerSettings();
  settings.qc.reading = AllTests();
  const std::vector<double> values = SeriesAcrossChunks();
  Write(settings, LinesOf(values));

  NetcdfFile file(path_);
  ASSERT_TRUE(file.open());
  const std::vector<int> spike = file.Ints("spike_test_quality_flag");
  const std::vector<int> rate = file.Ints("rate_of_change_test_quality_flag");
  const std::vector<int> flat = file.Ints("flat_line_test_quality_flag");
  const std::vector<int> gross = file.Ints("gross_range_test_quality_flag");
  const std::vector<int> aggregate = file.Ints("reading_quality_control");
  ASSERT_EQ(spike.size(), values.size());
  ASSERT_EQ(aggregate.size(), values.size());

  // Across the chunks' seam: 510 | 511 (2 off its neighbours) | 512, which
  // stand 1.0 off theirs (not beyond the fail threshold).
  EXPECT_EQ((std::vector<int>{spike[510], spike[511], spike[512]}), (std::vector<int>{3, 4, 3}));
  EXPECT_EQ((std::vector<int>{rate[511], rate[512], rate[513]}), (std::vector<int>{3, 3, 1}));
  EXPECT_EQ((std::vector<int>{spike[519], spike[520], spike[521]}), (std::vector<int>{1, 3, 1}));
  // Flat since 300: suspect from 360, bad from 480; the spike breaks it.
  EXPECT_EQ((std::vector<int>{flat[359], flat[360], flat[479], flat[480], flat[511]}),
            (std::vector<int>{1, 3, 3, 4, 1}));
  // The last reading: one neighbour, and outside the fail span.
  EXPECT_EQ(spike.back(), 2);
  EXPECT_EQ(gross.back(), 4);
  EXPECT_EQ(spike.front(), 2);
  EXPECT_EQ(aggregate.back(), 4);
  EXPECT_EQ(aggregate[360], 3);
  EXPECT_EQ(aggregate[0], 1);
  // Every reading's flags are those of the tests run on the series alone.
  ReadingQc qc(AllTests());
  std::vector<int> expected;
  ReadingFlags finished;
  for (size_t i = 0; i < values.size(); ++i) {
    if (qc.Add({double(kNoon) + static_cast<double>(i), values[i], 1.0, -1, false, kFlagGood},
               &finished))
      expected.push_back(finished.aggregate);
  }
  ASSERT_TRUE(qc.Flush(&finished));
  expected.push_back(finished.aggregate);
  EXPECT_EQ(aggregate, expected);
}

TEST_F(NetcdfQcTest, VariablesCarryTheQartodAttributes) {
  ScienceSettings settings = LoggerSettings();
  settings.qc.reading = AllTests();
  Write(settings, LinesOf(std::vector<double>(24, 5.0)));
  NetcdfFile file(path_);
  ASSERT_TRUE(file.open());
  EXPECT_EQ(file.Text("reading", "ancillary_variables"),
            "reading_quality_control gross_range_test_quality_flag spike_test_quality_flag "
            "rate_of_change_test_quality_flag flat_line_test_quality_flag");
  for (const char* name : {"gross_range_test_quality_flag", "spike_test_quality_flag",
                           "rate_of_change_test_quality_flag", "flat_line_test_quality_flag"}) {
    EXPECT_EQ(file.Text(name, "standard_name"), name);
    EXPECT_EQ(file.Text(name, "flag_meanings"), "PASS NOT_EVALUATED SUSPECT FAIL MISSING");
    EXPECT_NE(file.Text(name, "references").find("QARTOD"), std::string::npos) << name;
    EXPECT_EQ(DoublesAttribute(file, name, "flag_values"), (std::vector<double>{1, 2, 3, 4, 9}));
  }
  EXPECT_EQ(file.Text("reading_quality_control", "standard_name"), "aggregate_quality_flag");
  EXPECT_EQ(DoublesAttribute(file, "gross_range_test_quality_flag", "fail_span"),
            (std::vector<double>{-1.0, 12.0}));
  EXPECT_EQ(DoublesAttribute(file, "gross_range_test_quality_flag", "suspect_span"),
            (std::vector<double>{0.0, 10.0}));
  EXPECT_EQ(file.Number("spike_test_quality_flag", "fail_threshold"), 1.0);
  EXPECT_EQ(file.Number("rate_of_change_test_quality_flag", "threshold"), 0.75);
  EXPECT_EQ(file.Number("flat_line_test_quality_flag", "suspect_threshold"), 60.0);
}

// With no qc section, only the gross range's variable, and only the counts
// at the sensor's limit flagged.
TEST_F(NetcdfQcTest, CountsAtTheSensorsLimitWithoutTests) {
  std::vector<FeedLine> lines = LinesOf({0.0, 4.5, 9.0, 4.5});
  lines[0].Notes({ReadingNote::kAtSensorLimit, ReadingNote::kPlain, ReadingNote::kAtSensorLimit,
                  ReadingNote::kPlain});
  Write(LoggerSettings(), lines);
  NetcdfFile file(path_);
  ASSERT_TRUE(file.open());
  EXPECT_FALSE(file.HasVariable("spike_test_quality_flag"));
  EXPECT_FALSE(file.HasVariable("flat_line_test_quality_flag"));
  EXPECT_EQ(file.Ints("gross_range_test_quality_flag"), (std::vector<int>{3, 2, 3, 2}));
  EXPECT_EQ(file.Ints("reading_quality_control"), (std::vector<int>{3, 1, 3, 1}));
  EXPECT_EQ(file.Text("gross_range_test_quality_flag", "fail_span"), "");
}

}  // namespace
