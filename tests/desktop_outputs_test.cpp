// File > Export and View > Wave statistics without their windows: the
// outputs of the last conversion's dump through the engine's one pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "convert/dump_types.h"
#include "convert/engine.h"
#include "convert/status.h"
#include "desktop/wave_run.h"
#include "outputs/export_run.h"
#include "runtime/files.h"
#include "test_support.h"

namespace {

using zorq_test::FileExists;
using zorq_test::ReadWholeFile;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

constexpr double kPi = 3.14159265358979323846;

// A gauge dump at 4 Hz of `bursts` (at most 20) bursts three minutes apart, each 43 lines of
// twelve readings of a·sin(2πt/period) and a temperature of 20 °C.
std::string SineGaugeDump(int bursts, double amplitude, double period) {
  std::string dump = "Y19,M06,D30,H12,M00,S00,F04,L10,I60,N00,00000X03,T10,,,,,,,,,\r\n";
  constexpr int kRate = 4;
  constexpr int kLines = 43;
  for (int burst = 0; burst < bursts; ++burst) {
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "Y19,M06,D30,H12,M%02d,S00,\r\n", 3 * burst);
    dump += stamp;
    int sample = 0;
    for (int line = 0; line < kLines; ++line) {
      for (int i = 0; i < 12; ++i, ++sample) {
        char value[24];
        std::snprintf(value, sizeof value, "%.5f,",
                      amplitude * std::sin(2.0 * kPi * sample / kRate / period));
        dump += value;
      }
      dump += "320,\r\n";  // 320 × 0.0625 = 20 °C
    }
  }
  return dump;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(DesktopExport, PathsBesideTheDumpOrInTheFolderChosen) {
  EXPECT_EQ(ExportPathFor("/data/site1.txt", "", ".nc"), "/data/site1.nc");
  EXPECT_EQ(ExportPathFor("/data/site1.dump.txt", "", ".tidy.csv"), "/data/site1.dump.tidy.csv");
  EXPECT_EQ(ExportPathFor("/data/site1.txt", "/out", ".nc"), "/out/site1.nc");
}

TEST(DesktopExport, WritesNetcdfAndTidyCsvOfTheDumpsReadings) {
  TempDir dir;
  WriteWholeFile(dir.Path("gauge.txt"), SineGaugeDump(1, 0.5, 8.0));
  ExportForm form;
  form.netcdf = true;
  form.tidy = true;
  form.units = "m";
  const ExportResult result =
      RunExport({dir.Path("gauge.txt"), 3, {}, false, Zone()}, form, "", false, nullptr, nullptr);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.written,
            (std::vector<std::string>{dir.Path("gauge.nc"), dir.Path("gauge.tidy.csv")}));
  const std::string tidy = ReadWholeFile(dir.Path("gauge.tidy.csv"));
  EXPECT_EQ(tidy.substr(0, tidy.find('\n')), "time,reading,temperature,flag");
  EXPECT_EQ(std::count(tidy.begin(), tidy.end(), '\n'), 1 + 43 * 12);
  // Nothing else is left beside them: no temporary names.
  EXPECT_EQ(FilesIn(dir.Path("")),
            (std::vector<std::string>{"gauge.nc", "gauge.tidy.csv", "gauge.txt"}));
}

// A cancelled or failed export writes nothing and keeps what was there.
struct FailedExport {
  const char* name;
  bool cancel;
  const char* deployment;  // a file that is not there, or nullptr
  const char* error;       // a part of the error, or "" when cancelled
};

class DesktopExportFails : public testing::TestWithParam<FailedExport> {};

// The engine asks whether to stop every 64 KiB: 20 bursts are enough.
TEST_P(DesktopExportFails, LeavesNothingAndReplacesNothing) {
  TempDir dir;
  WriteWholeFile(dir.Path("gauge.txt"), SineGaugeDump(20, 0.5, 8.0));
  WriteWholeFile(dir.Path("gauge.nc"), "an earlier export");
  ExportForm form;
  form.tidy = true;
  if (GetParam().deployment != nullptr)
    form.deploymentFile = dir.Path(GetParam().deployment);
  const ExportResult result = RunExport({dir.Path("gauge.txt"), 3, {}, false, Zone()}, form, "",
                                        true, nullptr, [&] { return GetParam().cancel; });
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.cancelled, GetParam().cancel);
  EXPECT_NE(result.error.find(GetParam().error), std::string::npos) << result.error;
  EXPECT_TRUE(ReadWholeFile(dir.Path("gauge.nc")) == "an earlier export");
  EXPECT_EQ(FilesIn(dir.Path("")), (std::vector<std::string>{"gauge.nc", "gauge.txt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, DesktopExportFails,
    testing::Values(FailedExport{"Cancelled", true, nullptr, ""},
                    FailedExport{"NoDeploymentFile", false, "site.json", "site.json"}),
    [](const testing::TestParamInfo<FailedExport>& row) { return row.param.name; });

// Export replaces a file only when told to, and never the dump itself,
// whatever it is named.
struct ReplaceRow {
  const char* name;
  const char* dump;  // the dump's name; "gauge.nc" is the NetCDF output's too
  bool replace;
  const char* error;  // a part of the error, or "" when it exports
};

class DesktopExportReplaces : public testing::TestWithParam<ReplaceRow> {};

TEST_P(DesktopExportReplaces, OnlyWhenToldAndNeverTheDump) {
  TempDir dir;
  const std::string dump = dir.Path(GetParam().dump);
  WriteWholeFile(dump, SineGaugeDump(1, 0.5, 8.0));
  if (!FileExists(dir.Path("gauge.nc")))
    WriteWholeFile(dir.Path("gauge.nc"), "an earlier export");
  const std::string before = ReadWholeFile(dir.Path("gauge.nc"));
  ExportForm form;
  form.units = "m";
  EXPECT_EQ(ExistingExportPaths({dump, 3, {}, false, Zone()}, form, ""),
            std::vector<std::string>{dir.Path("gauge.nc")});
  const ExportResult result =
      RunExport({dump, 3, {}, false, Zone()}, form, "", GetParam().replace, nullptr, nullptr);
  const bool exports = *GetParam().error == '\0';
  EXPECT_EQ(result.ok, exports) << result.error;
  EXPECT_NE(result.error.find(GetParam().error), std::string::npos) << result.error;
  EXPECT_EQ(ReadWholeFile(dir.Path("gauge.nc")) == before, !exports);
  EXPECT_EQ(ReadWholeFile(dump), SineGaugeDump(1, 0.5, 8.0)) << "the dump is untouched";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DesktopExportReplaces,
    testing::Values(ReplaceRow{"ExistingKept", "gauge.txt", false, "already exists"},
                    ReplaceRow{"ExistingReplaced", "gauge.txt", true, ""},
                    ReplaceRow{"DumpNamedLikeItsExport", "gauge.nc", true, "is the dump itself"}),
    [](const testing::TestParamInfo<ReplaceRow>& row) { return row.param.name; });

TEST(DesktopExport, SaysWhatIsMissingBeforeItStarts) {
  ExportForm none;
  none.netcdf = false;
  EXPECT_EQ(
      RunExport({"/data/a.txt", 1, {}, false, Zone()}, none, "", false, nullptr, nullptr).error,
      "Choose NetCDF, tidy CSV or both.");
  EXPECT_EQ(RunExport({}, ExportForm{}, "", false, nullptr, nullptr).error,
            "There is no conversion to export. Convert a dump first.");
}

// The statistics a WaveCapture works out while the engine converts `dump`
// once (into /dev/null), as START CONVERT's conversion feeds them.
WaveTable CapturedWaves(const std::string& dump, int fromType, const WaveSettings& settings,
                        bool cancel = false, bool lfLineEnds = false) {
  WaveCapture capture(settings, fromType, Zone());
  ConversionRequest conversion;
  conversion.fromType = fromType;
  conversion.toType = ToTypeForFromType(fromType);
  const int from = OpenFile(dump.c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  const int to = OpenFile("/dev/null", VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  EXPECT_GT(from, 0);
  conversion.from = SourceOfHandle(from);
  conversion.to = SinkOfHandle(to);
  conversion.cancelRequested = [cancel] { return cancel; };
  conversion.lfLineEnds = lfLineEnds;
  conversion.readings = capture.listener();
  const ConversionResult result = RunConversion(conversion);
  CloseFile(from);
  CloseFile(to);
  return capture.Finish(result.cancelled, result.status);
}

// Two bursts of a sine of amplitude 0.5 m and period 8 s: two segments
// with Hm0 = 2√2·a and Tp = 8 s, and a CSV of their rows.
TEST(DesktopWaves, OneRowPerBurstWithTheSinesHeightAndPeriod) {
  TempDir dir;
  WriteWholeFile(dir.Path("gauge.txt"), SineGaugeDump(2, 0.5, 8.0));
  const WaveTable table = CapturedWaves(dir.Path("gauge.txt"), 3, WaveSettings{});
  ASSERT_TRUE(table.ok) << table.error;
  ASSERT_EQ(table.rows.size(), 2u);
  for (const WaveRow& row : table.rows) {
    EXPECT_EQ(row.samples, 43 * 12);
    // Within what the band's lower edge and the Hann window's leakage leave.
    EXPECT_NEAR(row.hm0, 2.0 * std::sqrt(2.0) * 0.5, 0.06 * 1.414);
    EXPECT_NEAR(row.tp, 8.0, 0.5);
    EXPECT_FALSE(row.suspect) << row.reason;
    EXPECT_FALSE(row.density.empty());
    EXPECT_DOUBLE_EQ(row.bandLow, 0.04);
  }
  EXPECT_NEAR(table.rows[1].start - table.rows[0].start, 180.0, 1e-6);
  const std::string csv = WaveTableCsv(table);
  EXPECT_EQ(csv.substr(0, csv.find(',')), "start");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);
}

// Saving the table keeps the outputs' contract: an existing file is
// replaced only when asked, and never the dump the table came from.
TEST(DesktopWaves, SavedTableReplacesOnlyWhenAskedAndNeverTheDump) {
  TempDir dir;
  const std::string dump = dir.Path("gauge.txt");
  WriteWholeFile(dump, SineGaugeDump(2, 0.5, 8.0));
  const WaveTable table = CapturedWaves(dump, 3, WaveSettings{});
  ASSERT_TRUE(table.ok) << table.error;
  const std::string saved = dir.Path("waves.csv");
  WriteWholeFile(saved, "old");
  struct Row {
    std::string path;
    bool replace;
    bool saves;
  } rows[] = {{saved, false, false}, {dump, true, false}, {saved, true, true}};
  for (const Row& row : rows) {
    const std::string before = ReadWholeFile(row.path);
    std::string error;
    EXPECT_EQ(SaveWaveTable(table, row.path, dump, row.replace, &error), row.saves)
        << row.path << " " << error;
    EXPECT_EQ(ReadWholeFile(row.path), row.saves ? WaveTableCsv(table) : before) << row.path;
    EXPECT_EQ(error.empty(), row.saves) << error;
  }
}

// The last conversion read a dump's LFs as CR LF: Export reads it the same
// way, and the statistics hear that conversion itself.
TEST(DesktopOutputs, ReadTheDumpWithTheLastConversionsLineEnds) {
  TempDir dir;
  std::string dump = SineGaugeDump(2, 0.5, 8.0);
  dump.erase(std::remove(dump.begin(), dump.end(), '\r'), dump.end());
  WriteWholeFile(dir.Path("gauge.txt"), dump);
  const ExportSource source{dir.Path("gauge.txt"), 3, {}, true, Zone()};
  const ExportResult exported = RunExport(source, ExportForm{}, "", false, nullptr, nullptr);
  EXPECT_TRUE(exported.ok) << exported.error;
  EXPECT_TRUE(FileExists(dir.Path("gauge.nc")));
  const WaveTable table = CapturedWaves(dir.Path("gauge.txt"), 3, WaveSettings{}, false, true);
  EXPECT_TRUE(table.ok) << table.error;
  EXPECT_EQ(table.rows.size(), 2u);
}

TEST(DesktopWaves, RefusesPressureForALoggerDumpAndStopsWhenCancelled) {
  WaveSettings pressure;
  pressure.pressure = PressureSettings{};
  std::string error;
  EXPECT_FALSE(CheckWaveSettings(pressure, 1, &error));
  EXPECT_NE(error.find("gauge dumps"), std::string::npos);
  EXPECT_TRUE(CheckWaveSettings(pressure, 3, &error));

  TempDir dir;
  WriteWholeFile(dir.Path("gauge.txt"), SineGaugeDump(20, 0.5, 8.0));
  const WaveTable table = CapturedWaves(dir.Path("gauge.txt"), 3, WaveSettings{}, true);
  EXPECT_TRUE(table.cancelled);
  EXPECT_FALSE(table.ok);
  EXPECT_TRUE(table.rows.empty());
}

// Pressure chosen for a dump that is not a gauge dump: the conversion's
// statistics are of its readings, and the table says why.
TEST(DesktopWaves, PressureThatDoesNotFitTheDumpIsLeftOutAndSaidSo) {
  WaveSettings chosen;
  chosen.pressure = PressureSettings{};
  chosen.pressure->sensorHeight = 0.5;
  WaveCapture capture(chosen, 1, Zone());
  const WaveTable table = capture.Finish(false, kStatusFinished);
  EXPECT_TRUE(table.ok);
  EXPECT_FALSE(table.settings.pressure.has_value());
  EXPECT_NE(table.note.find("gauge dumps"), std::string::npos) << table.note;
  // With a gauge dump the same settings are used as chosen.
  WaveCapture gauge(chosen, 3, Zone());
  EXPECT_TRUE(gauge.Finish(false, kStatusFinished).settings.pressure.has_value());
}

}  // namespace

namespace {

// The flags of the tidy CSV's rows, counted by flag.
std::map<char, int64_t> TidyFlagCounts(const std::string& tidy) {
  std::map<char, int64_t> counts;
  size_t at = tidy.find('\n');
  while (at != std::string::npos && at + 1 < tidy.size()) {
    const size_t end = tidy.find('\n', at + 1);
    ++counts[tidy[end - 1]];
    at = end;
  }
  return counts;
}

}  // namespace

// The counts an export shows are of the flags its outputs got: the
// aggregate agrees with the tidy CSV's flag column row for row.
TEST(DesktopExport, CountsTheFlagsOfEachTestThatRan) {
  TempDir dir;
  WriteWholeFile(dir.Path("gauge.txt"), SineGaugeDump(2, 0.5, 8.0));
  WriteWholeFile(dir.Path("site.json"), R"({"qc": {"reading": {
      "gross_range_test": {"fail_span": [-0.45, 0.45], "suspect_span": [-0.4, 0.4]},
      "rate_of_change_test": {"threshold": 10.0}}}})");
  ExportForm form;
  form.netcdf = false;
  form.tidy = true;
  form.units = "m";
  form.deploymentFile = dir.Path("site.json");
  const ExportResult result =
      RunExport({dir.Path("gauge.txt"), 3, {}, false, Zone()}, form, "", false, nullptr, nullptr);
  ASSERT_TRUE(result.ok) << result.error;
  ASSERT_EQ(result.flags.size(), 3u);
  EXPECT_EQ(result.flags[0].test, "gross range");
  EXPECT_EQ(result.flags[1].test, "rate of change");
  EXPECT_EQ(result.flags[2].test, "aggregate");
  const int64_t readings = 2 * 43 * 12;
  for (const FlagTally& tally : result.flags)
    EXPECT_EQ(tally.Total(), readings) << tally.test;
  // A sine of 0.5 goes past both spans; no step of it comes near 10 m/s.
  EXPECT_GT(result.flags[0].bad, 0);
  EXPECT_GT(result.flags[0].suspect, 0);
  EXPECT_EQ(result.flags[1].good, readings);
  const std::map<char, int64_t> rows = TidyFlagCounts(ReadWholeFile(dir.Path("gauge.tidy.csv")));
  const FlagTally& aggregate = result.flags[2];
  EXPECT_EQ(aggregate.good, rows.count('1') ? rows.at('1') : 0);
  EXPECT_EQ(aggregate.suspect, rows.count('3') ? rows.at('3') : 0);
  EXPECT_EQ(aggregate.bad, rows.count('4') ? rows.at('4') : 0);
  // The gross range decides every aggregate here.
  EXPECT_EQ(aggregate.suspect, result.flags[0].suspect);
  EXPECT_EQ(aggregate.bad, result.flags[0].bad);
}

TEST(DesktopExport, UnitsThatUdunitsDoesNotKnowAreRefusedAndNothingIsWritten) {
  TempDir dir;
  WriteWholeFile(dir.Path("gauge.txt"), SineGaugeDump(1, 0.5, 8.0));
  ExportForm form;
  form.tidy = true;
  form.units = "xyz";
  const ExportResult result =
      RunExport({dir.Path("gauge.txt"), 3, {}, false, Zone()}, form, "", false, nullptr, nullptr);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("\"xyz\""), std::string::npos) << result.error;
  EXPECT_EQ(FilesIn(dir.Path("")), (std::vector<std::string>{"gauge.txt"}));
}

TEST(FlagTallies, InWordsOnlyTheFlagsGivenWithTheirGroupedCounts) {
  FlagTally spike{"spike"};
  for (int i = 0; i < 1234; ++i)
    spike.Count(kFlagGood);
  spike.Count(kFlagBad);
  spike.Count(kFlagNotEvaluated);
  EXPECT_EQ(TalliesInWords({spike, FlagTally{"aggregate"}}),
            "spike: 1,234 good (1), 1 not evaluated (2), 1 bad (4)\n"
            "aggregate: no readings\n");
}
