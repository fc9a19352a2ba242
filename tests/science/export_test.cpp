#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

#include "outputs/export_run.h"
#include "science/time_base.h"
#include "science/trimming.h"
#include "tests/science/science_test_support.h"
#include "tests/test_support.h"

namespace {

using science_test::NetcdfFile;
using science_test::Scratch;

class ExportTest : public testing::Test {
 protected:
  ExportTest() {
    source_.dumpPath = scratch_.Path("dump.txt");
    zorq_test::WriteWholeFile(source_.dumpPath, zorq_test::RepeatedWorkedLoggerDump(40));
    source_.fromType = 2;
    form_.netcdf = true;
    form_.tidy = true;
  }

  std::string NetcdfPath() const { return scratch_.Path("dump.nc"); }
  std::string TidyPath() const { return scratch_.Path("dump.tidy.csv"); }
  ExportResult Export(const std::function<bool()>& cancel = nullptr,
                      const std::function<void(int64_t, int64_t)>& progress = nullptr) const {
    return RunExport(source_, form_, "", false, progress, cancel);
  }

  Scratch scratch_;
  ExportSource source_;
  ExportForm form_;
};

TEST_F(ExportTest, WritesBothOutputsFromOneRunWithProgress) {
  int64_t lastProgress = 0;
  const ExportResult result =
      Export(nullptr, [&](int64_t bytesRead, int64_t) { lastProgress = bytesRead; });
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(lastProgress, static_cast<int64_t>(std::filesystem::file_size(source_.dumpPath)));
  NetcdfFile file(NetcdfPath());
  const size_t readings = file.Doubles("reading").size();
  EXPECT_EQ(readings, 40u * 5 * 12);  // five lines of twelve, forty times
  const std::string source = file.Text("", "source");
  EXPECT_EQ(source.substr(0, 18), "dump.txt (SHA-256 ");
  EXPECT_EQ(source.size(), 18u + 64 + 1);
  const std::string tidy = science_test::ReadWhole(TidyPath());
  EXPECT_EQ(std::count(tidy.begin(), tidy.end(), '\n'), std::ptrdiff_t(readings) + 1);
}

TEST_F(ExportTest, ACancelledExportLeavesNothingAndAMissingDumpIsNamed) {
  // The engine asks every 64 KB: a dump of several times that.
  zorq_test::WriteWholeFile(source_.dumpPath, zorq_test::RepeatedWorkedLoggerDump(2000));
  const ExportResult cancelled = Export([] { return true; });
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_FALSE(cancelled.ok);
  EXPECT_TRUE(cancelled.partials.empty());
  const auto entries = std::filesystem::directory_iterator(scratch_.Path(""));
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << "only the dump";

  source_.dumpPath = scratch_.Path("missing.txt");
  const ExportResult missing = Export();
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.error.find("missing.txt"), std::string::npos) << missing.error;
  EXPECT_FALSE(zorq_test::FileExists(scratch_.Path("missing.nc")));
}

// The form's barometer record is all the export needs: 1000 hPa every hour
// of the days around the worked gauge dump, whatever zone its clock is read in.
TEST_F(ExportTest, TheFormsBarometerRecordCorrectsTheReadings) {
  zorq_test::WriteWholeFile(source_.dumpPath, zorq_test::WorkedGaugeDump());
  source_.fromType = 3;
  std::string record = "time,air_pressure\n";
  const double first = *ParseIsoUtc("2019-06-29T00:00:00Z");
  constexpr int kHours = 72;
  for (int hour = 0; hour <= kHours; ++hour)
    record += IsoUtcSeconds(first + 3600.0 * hour) + ",1000\n";
  zorq_test::WriteWholeFile(scratch_.Path("baro.csv"), record);
  form_.barometerFile = scratch_.Path("baro.csv");
  const ExportResult unitless = Export();
  EXPECT_FALSE(unitless.ok);
  EXPECT_NE(unitless.error.find("give their pressure unit"), std::string::npos) << unitless.error;

  form_.units = "dbar";
  const ExportResult result = Export();
  ASSERT_TRUE(result.ok) << result.error;
  NetcdfFile file(NetcdfPath());
  EXPECT_EQ(file.Text("reading", "barometer_file"), "baro.csv");
  const std::vector<double> readings = file.Doubles("reading");
  ASSERT_EQ(readings.size(), 14u);
  EXPECT_NEAR(readings.front(), 1.25 - 10.0, 1e-9);  // the dump's first reading less 10 dbar
}

std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

struct LineEndRow {
  const char* name;
  bool lfLineEnds;
  bool ok;
};

class ExportLineEnds : public ExportTest, public testing::WithParamInterface<LineEndRow> {};

// A dump whose CRs were taken out converts only when its LFs are read as
// CR LF, as the conversion it is exported from did; then it gives what the
// dump as the instrument wrote it gives.
TEST_P(ExportLineEnds, FollowTheRequest) {
  const std::string gauge = ZORQ_SOURCE_DIR "/samples/gauge_t10_dump.txt";
  source_.fromType = 3;
  form_.tidy = false;
  source_.dumpPath = scratch_.Path("as-written.txt");
  zorq_test::WriteWholeFile(source_.dumpPath, science_test::ReadWhole(gauge));
  ASSERT_TRUE(Export().ok);
  const std::vector<double> asWritten =
      NetcdfFile(scratch_.Path("as-written.nc")).Doubles("reading");
  ASSERT_FALSE(asWritten.empty());

  source_.dumpPath = scratch_.Path("lf.txt");
  zorq_test::WriteWholeFile(source_.dumpPath,
                            WithoutCarriageReturns(science_test::ReadWhole(gauge)));
  source_.lfLineEnds = GetParam().lfLineEnds;
  const ExportResult result = Export();
  EXPECT_EQ(result.ok, GetParam().ok) << result.error;
  EXPECT_EQ(zorq_test::FileExists(scratch_.Path("lf.nc")), GetParam().ok);
  if (GetParam().ok) {
    EXPECT_EQ(NetcdfFile(scratch_.Path("lf.nc")).Doubles("reading"), asWritten);
  } else {
    // A failed export keeps what it wrote apart, closed so that it opens.
    EXPECT_EQ(result.partials, std::vector<std::string>{scratch_.Path("lf.nc") + ".partial"});
    EXPECT_NE(NetcdfFile(scratch_.Path("lf.nc.partial")).Number("", "conversion_status"), 8.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ExportLineEnds,
                         testing::Values(LineEndRow{"AsGiven", false, false},
                                         LineEndRow{"EachLfAsCrLf", true, true}),
                         [](const testing::TestParamInfo<LineEndRow>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
