#include <gtest/gtest.h>

#include <algorithm>

#include "science/science_outputs.h"
#include "tests/science/science_test_support.h"
#include "tests/test_support.h"

namespace {

using science_test::NetcdfFile;
using science_test::Scratch;

class ExportTest : public testing::Test {
 protected:
  ExportTest() {
    request_.dumpPath = scratch_.Path("dump.txt");
    zorq_test::WriteWholeFile(request_.dumpPath, zorq_test::RepeatedWorkedLoggerDump(40));
    request_.fromType = 2;
    request_.netcdfPath = scratch_.Path("export.nc");
    request_.tidyPath = scratch_.Path("export.tidy.csv");
    request_.settings.zone = Zone::Named("UTC").value();
  }

  Scratch scratch_;
  ExportRequest request_;
};

TEST_F(ExportTest, WritesBothOutputsFromOneRunWithProgress) {
  int64_t lastProgress = 0;
  request_.progress = [&](int64_t bytesRead, int64_t) { lastProgress = bytesRead; };
  bool hooked = false;
  request_.prepareNetcdf = [&](NetcdfWriter* writer) {
    writer->AddCloseHook([&](int, std::string*) { return hooked = true; });
  };
  const ExportOutcome outcome = ExportDump(request_);
  ASSERT_TRUE(outcome.ok) << outcome.error;
  EXPECT_TRUE(hooked);
  EXPECT_EQ(lastProgress, outcome.result.report.bytesRead);
  NetcdfFile file(request_.netcdfPath);
  const size_t readings = file.Doubles("reading").size();
  EXPECT_EQ(readings, 40u * 5 * 12);  // five lines of twelve, forty times
  const std::string source = file.Text("", "source");
  EXPECT_EQ(source.substr(0, 18), "dump.txt (SHA-256 ");
  EXPECT_EQ(source.size(), 18u + 64 + 1);
  const std::string tidy = science_test::ReadWhole(request_.tidyPath);
  EXPECT_EQ(std::count(tidy.begin(), tidy.end(), '\n'), std::ptrdiff_t(readings) + 1);
}

TEST_F(ExportTest, ACancelledOrFailedExportLeavesNoOutput) {
  // The engine asks every 64 KB: a dump of several times that.
  zorq_test::WriteWholeFile(request_.dumpPath, zorq_test::RepeatedWorkedLoggerDump(2000));
  request_.cancelRequested = [] { return true; };
  const ExportOutcome cancelled = ExportDump(request_);
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_FALSE(cancelled.ok);
  EXPECT_FALSE(zorq_test::FileExists(request_.netcdfPath));
  EXPECT_FALSE(zorq_test::FileExists(request_.tidyPath));

  request_.cancelRequested = nullptr;
  request_.dumpPath = scratch_.Path("missing.txt");
  const ExportOutcome missing = ExportDump(request_);
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.error.find("missing.txt"), std::string::npos) << missing.error;
  EXPECT_FALSE(zorq_test::FileExists(request_.netcdfPath));
  EXPECT_FALSE(zorq_test::FileExists(request_.tidyPath));
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
  request_.fromType = 3;
  request_.tidyPath.clear();
  request_.dumpPath = gauge;
  ASSERT_TRUE(ExportDump(request_).ok);
  const std::vector<double> asWritten = NetcdfFile(request_.netcdfPath).Doubles("reading");
  ASSERT_FALSE(asWritten.empty());

  request_.dumpPath = scratch_.Path("lf.txt");
  zorq_test::WriteWholeFile(request_.dumpPath,
                            WithoutCarriageReturns(science_test::ReadWhole(gauge)));
  request_.lfLineEnds = GetParam().lfLineEnds;
  const ExportOutcome outcome = ExportDump(request_);
  EXPECT_EQ(outcome.ok, GetParam().ok) << outcome.error;
  EXPECT_EQ(zorq_test::FileExists(request_.netcdfPath), GetParam().ok);
  if (GetParam().ok) {
    EXPECT_EQ(NetcdfFile(request_.netcdfPath).Doubles("reading"), asWritten);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ExportLineEnds,
                         testing::Values(LineEndRow{"AsGiven", false, false},
                                         LineEndRow{"EachLfAsCrLf", true, true}),
                         [](const testing::TestParamInfo<LineEndRow>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
