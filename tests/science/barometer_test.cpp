// Air pressure from a barometer record: the record read from a CSV or a
// NetCDF file, interpolated to the readings' times and taken off them, and
// the command line that asks for it.
#include "science/barometer.h"

#include <gtest/gtest.h>
#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "science/quality_flags.h"
#include "science/source_digest.h"
#include "tests/science/cli_fixture.h"
#include "tests/science/science_test_support.h"

namespace {

using science_test::FeedLine;
using science_test::Local;
using science_test::NetcdfFile;
using science_test::Scratch;
using zorq_test::CliRunResult;

const double kNoonUtc = static_cast<double>(Local(2026, 3, 1, 12, 0, 0));
constexpr double kHour = 3600.0;

// 1000 hPa at noon, 1010 an hour later, then nothing for four hours.
AirPressureRecord NoonRecord() {
  AirPressureRecord record;
  record.times = {kNoonUtc, kNoonUtc + kHour, kNoonUtc + 5 * kHour, kNoonUtc + 8 * kHour};
  record.pascals = {100000.0, 101000.0, 102000.0, 105000.0};
  return record;
}

struct AtRow {
  const char* name;
  double seconds;  // after noon
  std::optional<double> pascals;
};

class RecordAt : public testing::TestWithParam<AtRow> {};

TEST_P(RecordAt, InterpolatesInsideTheRecordOnly) {
  const std::optional<double> at = NoonRecord().At(kNoonUtc + GetParam().seconds);
  ASSERT_EQ(at.has_value(), GetParam().pascals.has_value());
  if (at) {
    EXPECT_DOUBLE_EQ(*at, *GetParam().pascals);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RecordAt,
    testing::Values(AtRow{"First", 0.0, 100000.0}, AtRow{"Between", 900.0, 100250.0},
                    AtRow{"OnARecord", kHour, 101000.0},
                    AtRow{"ThreeHourGapIsBridged", 6.5 * kHour, 103500.0},
                    AtRow{"Last", 8 * kHour, 105000.0}, AtRow{"Before", -1.0, std::nullopt},
                    AtRow{"After", 8 * kHour + 1.0, std::nullopt},
                    AtRow{"InsideAGapOverThreeHours", 2 * kHour, std::nullopt}),
    [](const testing::TestParamInfo<AtRow>& row) { return std::string(row.param.name); });

struct ZoneRow {
  const char* text;
  std::optional<double> utc;
};

class TimesWithZone : public testing::TestWithParam<ZoneRow> {};

TEST_P(TimesWithZone, ReadOrRefused) {
  EXPECT_EQ(ParseIsoWithZone(GetParam().text), GetParam().utc) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Rows, TimesWithZone,
                         testing::Values(ZoneRow{"2026-03-01T12:00:00Z", kNoonUtc},
                                         ZoneRow{"2026-03-01T13:00:00+01:00", kNoonUtc},
                                         ZoneRow{"2026-03-01T13:00:00.5+0100", kNoonUtc + 0.5},
                                         ZoneRow{"2026-03-01T08:30:00-03:30", kNoonUtc},
                                         ZoneRow{"2026-03-01T14:00:00+02", kNoonUtc},
                                         ZoneRow{"2026-03-01T12:00:00", std::nullopt},
                                         ZoneRow{"2026-03-01T12:00:00+01:60", std::nullopt},
                                         ZoneRow{"2026-03-01T12:00:00+1", std::nullopt},
                                         ZoneRow{"2026-03-01 12:00:00Z", std::nullopt}));

struct CsvRow {
  const char* name;
  std::string text;
  std::string units;
  std::vector<double> pascals;  // when read
  std::string error;            // when refused: a part of the message
};

class CsvRecords : public testing::TestWithParam<CsvRow> {};

TEST_P(CsvRecords, ReadInTheirUnitsOrRefusedWithTheLine) {
  AirPressureRecord record;
  std::string error;
  const bool read =
      ReadAirPressureCsv(GetParam().text, "baro.csv", GetParam().units, &record, &error);
  EXPECT_EQ(read, GetParam().error.empty()) << error;
  if (read) {
    EXPECT_EQ(record.pascals, GetParam().pascals);
    EXPECT_EQ(record.times.size(), record.pascals.size());
  } else {
    EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CsvRecords,
    testing::Values(
        CsvRow{"Hectopascals",
               "time,air_pressure\n2026-03-01T12:00:00Z,1013.5\n2026-03-01T12:01:00Z,1014\n",
               "hPa",
               {101350.0, 101400.0},
               ""},
        CsvRow{"KilopascalsColumnsInAnyOrderAndCrLf",
               "station,air_pressure,time\r\nA,101.3,2026-03-01T12:00:00Z\r\n",
               "kPa",
               {101300.0},
               ""},
        CsvRow{"MissingValuesLeaveAGap",
               "# from the shore station\ntime,air_pressure\n2026-03-01T12:00:00Z,\n"
               "2026-03-01T12:01:00Z,NaN\n2026-03-01T12:02:00Z,1000\n",
               "hPa",
               {100000.0},
               ""},
        CsvRow{"NoPressureColumn",
               "time,pressure\n",
               "hPa",
               {},
               "\"baro.csv\" line 1: the header names no \"air_pressure\" column"},
        CsvRow{"TimeWithoutZone",
               "time,air_pressure\n2026-03-01T12:00:00,1000\n",
               "hPa",
               {},
               "\"baro.csv\" line 2: \"2026-03-01T12:00:00\" is not an ISO 8601 time with its "
               "zone"},
        CsvRow{"NotANumber",
               "time,air_pressure\n2026-03-01T12:00:00Z,10l3\n",
               "hPa",
               {},
               "line 2: air_pressure \"10l3\" is not a number"},
        CsvRow{"TimesGoBack",
               "time,air_pressure\n2026-03-01T12:00:00Z,1000\n2026-03-01T12:59:00+01:00,1000\n",
               "hPa",
               {},
               "line 3: 2026-03-01T12:59:00+01:00 is not after the time of the reading before"},
        CsvRow{"UnitsNotAPressure",
               "time,air_pressure\n",
               "m",
               {},
               "its units \"m\" (--barometer-units, or the deployment file's barometer_units) "
               "are not a pressure"},
        CsvRow{"NoHeader", "# nothing yet\n", "hPa", {}, "has no header line"}),
    [](const testing::TestParamInfo<CsvRow>& row) { return std::string(row.param.name); });

// A barometer record as a NetCDF file: hours since noon, `units` of the
// pressure variable, the second value the fill value.
void WriteNetcdfRecord(const std::string& path, const char* standardName, const char* units) {
  int ncid = -1;
  int dimension = -1;
  int time = -1;
  int pressure = -1;
  ASSERT_EQ(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid), NC_NOERR);
  ASSERT_EQ(nc_def_dim(ncid, "obs", 3, &dimension), NC_NOERR);
  ASSERT_EQ(nc_def_var(ncid, "time", NC_DOUBLE, 1, &dimension, &time), NC_NOERR);
  ASSERT_EQ(nc_def_var(ncid, "p_air", NC_FLOAT, 1, &dimension, &pressure), NC_NOERR);
  const std::string timeUnits = "hours since 2026-03-01 12:00:00";
  nc_put_att_text(ncid, time, "units", timeUnits.size(), timeUnits.c_str());
  nc_put_att_text(ncid, pressure, "standard_name", std::strlen(standardName), standardName);
  nc_put_att_text(ncid, pressure, "units", std::strlen(units), units);
  const float fill = -999.0f;
  nc_put_att_float(ncid, pressure, "_FillValue", NC_FLOAT, 1, &fill);
  const double hours[] = {0.0, 0.5, 1.0};
  const float values[] = {1000.0f, fill, 1010.0f};
  ASSERT_EQ(nc_put_var_double(ncid, time, hours), NC_NOERR);
  ASSERT_EQ(nc_put_var_float(ncid, pressure, values), NC_NOERR);
  ASSERT_EQ(nc_close(ncid), NC_NOERR);
}

TEST(NetcdfBarometer, TimeCoordinateAndAirPressureInTheirOwnUnits) {
  Scratch scratch;
  const std::string path = scratch.Path("baro.nc");
  WriteNetcdfRecord(path, "air_pressure", "mbar");
  AirPressureRecord record;
  std::string error;
  // The CSV units do not apply: the file names its own.
  ASSERT_TRUE(ReadAirPressureRecord(path, "kPa", &record, &error)) << error;
  EXPECT_EQ(record.times, (std::vector<double>{kNoonUtc, kNoonUtc + kHour}));
  EXPECT_EQ(record.pascals, (std::vector<double>{100000.0, 101000.0}));
  EXPECT_EQ(record.name, "baro.nc");
  SourceDigest digest;
  const std::string bytes = science_test::ReadWhole(path);
  digest.Update(bytes.data(), bytes.size());
  EXPECT_EQ(record.sha256, digest.Hex());
}

TEST(NetcdfBarometer, WithoutAnAirPressureVariableIsRefused) {
  Scratch scratch;
  const std::string path = scratch.Path("baro.nc");
  WriteNetcdfRecord(path, "sea_water_pressure", "dbar");
  AirPressureRecord record;
  std::string error;
  EXPECT_FALSE(ReadAirPressureRecord(path, "hPa", &record, &error));
  EXPECT_EQ(error, "\"" + path + "\": has no variable whose standard_name is \"air_pressure\"");
}

// Every reading heard, with its note.
class Recorder final : public ReadingListener {
 public:
  void OnReadings(const ReadingLine& line) override {
    for (int i = 0; i < line.count; ++i) {
      values.push_back(line.values[i]);
      flags.push_back(FlagOf(line, i));
      notes.push_back(line.notes != nullptr ? line.notes[i] : ReadingNote::kPlain);
    }
  }
  void OnFillers(int64_t, int64_t, int count) override { fillers += count; }
  std::vector<double> values;
  std::vector<QualityFlag> flags;
  std::vector<ReadingNote> notes;
  int fillers = 0;
};

TEST(BarometerCorrection, TakesAirPressureOffInTheReadingsUnitsAndFlagsTheRest) {
  ScienceSettings settings;
  settings.barometer = std::make_shared<AirPressureRecord>(NoonRecord());
  settings.clock.offset = 10.0;  // the instrument's clock is 10 s ahead
  Recorder recorder;
  BarometerCorrection correction(settings, 1e-4, &recorder);  // dbar
  const LocalSeconds noon = Local(2026, 3, 1, 12, 0, 0);
  science_test::Feed(
      &correction,
      {FeedLine().At(noon).Values({20.0, 20.0}),  // 9 s before the record, then 8 s before
       FeedLine()
           .At(noon + 910)
           .Values({20.0, 20.0})
           .Notes({ReadingNote::kAtSensorLimit, ReadingNote::kPlain}),
       FeedLine()
           .At(noon + 7210)
           .Values({20.0, std::nan("")})
           .Notes({ReadingNote::kPlain, ReadingNote::kNotANumber})});
  correction.OnFillers(5, 0, 3);
  const std::vector<double> expected = {20.0, 20.0, 20.0 - 10.025,
                                        20.0 - (100250.0 + 1000.0 / 3600.0) * 1e-4, 20.0};
  ASSERT_EQ(recorder.values.size(), 6u);
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_NEAR(recorder.values[i], expected[i], 1e-9) << i;
  EXPECT_EQ(recorder.flags, (std::vector<QualityFlag>{kFlagBad, kFlagBad, kFlagGood, kFlagGood,
                                                      kFlagBad, kFlagBad}));
  // A note of its own survives where the reading was corrected; a field
  // that was no number stays that.
  EXPECT_EQ(recorder.notes[2], ReadingNote::kAtSensorLimit);
  EXPECT_EQ(recorder.notes[4], ReadingNote::kNoAirPressure);
  EXPECT_EQ(recorder.notes[5], ReadingNote::kNotANumber);
  EXPECT_EQ(correction.counts().corrected, 2);
  EXPECT_EQ(correction.counts().uncorrected, 4);
  EXPECT_EQ(recorder.fillers, 3);
}

class BarometerCli : public science_test::CliInScratch {
 protected:
  // The worked gauge dump: 14 readings at 4 Hz from 2019-06-30T12:00:00.
  // The record ends 2 s in: 1000 hPa at noon, 1020 hPa then.
  BarometerCli() {
    zorq_test::WriteWholeFile(scratch_.Path("baro.csv"),
                              "time,air_pressure\n2019-06-30T14:00:00+02:00,1000\n"
                              "2019-06-30T12:00:02Z,1020\n");
  }

  std::vector<std::string> Tidy(const std::string& name) const {
    std::vector<std::string> rows;
    std::istringstream text(science_test::ReadWhole(scratch_.Path(name)));
    for (std::string row; std::getline(text, row);)
      rows.push_back(row);
    return rows;
  }
};

// time,reading,temperature,flag: the reading and the flag.
std::pair<double, std::string> ReadingAndFlag(const std::string& row) {
  const size_t first = row.find(',');
  const size_t second = row.find(',', first + 1);
  return {std::stod(row.substr(first + 1, second - first - 1)), row.substr(row.rfind(',') + 1)};
}

TEST_F(BarometerCli, ReadingsLessAirPressureWithTheFileNamedAndFlagsBeyondIt) {
  const std::vector<std::string> common = {"--units", "dbar", "--format", "netcdf,tidy",
                                           "gauge.txt"};
  std::vector<std::string> plain = common;
  plain.push_back("plain.csv");
  ASSERT_EQ(Run(plain).exitCode, 0);
  std::vector<std::string> corrected = common;
  corrected.insert(corrected.end(), {"corrected.csv", "--barometer", "baro.csv"});
  const CliRunResult run = Run(corrected);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("took the air pressure of \"baro.csv\" off 9 readings; 5 before or "
                         "after its record"),
            std::string::npos)
      << run.err;

  const std::vector<std::string> before = Tidy("plain.tidy.csv");
  const std::vector<std::string> after = Tidy("corrected.tidy.csv");
  ASSERT_EQ(before.size(), 15u);
  ASSERT_EQ(after.size(), before.size());
  for (size_t row = 1; row < after.size(); ++row) {
    const double seconds = static_cast<double>(row - 1) / 4.0;
    const auto [was, wasFlag] = ReadingAndFlag(before[row]);
    const auto [is, flag] = ReadingAndFlag(after[row]);
    if (seconds <= 2.0) {
      EXPECT_NEAR(is, was - (10.0 + 0.1 * seconds), 1e-6) << after[row];
      EXPECT_EQ(flag, wasFlag) << after[row];
    } else {
      EXPECT_EQ(is, was) << after[row];
      EXPECT_EQ(flag, "4") << after[row];
    }
  }

  NetcdfFile file(scratch_.Path("corrected.nc"));
  EXPECT_EQ(file.Text("reading", "standard_name"), kSeaPressureStandardName);
  EXPECT_EQ(file.Text("reading", "barometer_file"), "baro.csv");
  SourceDigest digest;
  const std::string bytes = science_test::ReadWhole(scratch_.Path("baro.csv"));
  digest.Update(bytes.data(), bytes.size());
  EXPECT_EQ(file.Text("reading", "barometer_sha256"), digest.Hex());
  const std::vector<int> flags = file.Ints("reading_quality_control");
  ASSERT_EQ(flags.size(), 14u);
  EXPECT_EQ(std::count(flags.begin() + 9, flags.end(), 4), 5);
}

TEST_F(BarometerCli, TheDeploymentFileNamesTheRecordBesideItAndItsUnits) {
  std::filesystem::create_directory(scratch_.Path("site"));
  zorq_test::WriteWholeFile(scratch_.Path("site/baro.csv"),
                            "time,air_pressure\n2019-06-30T12:00:00Z,100\n"
                            "2019-06-30T12:00:04Z,100\n");
  zorq_test::WriteWholeFile(scratch_.Path("site/deployment.json"),
                            R"({"barometer": "baro.csv", "barometer_units": "kPa"})");
  const CliRunResult run = Run({"--units", "dbar", "--format", "netcdf", "--deployment",
                                "site/deployment.json", "gauge.txt", "out.csv"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("off 14 readings"), std::string::npos) << run.err;
}

struct UsageRow {
  const char* name;
  std::vector<std::string> args;
  const char* says;
};

class BarometerUsage : public BarometerCli, public testing::WithParamInterface<UsageRow> {};

TEST_P(BarometerUsage, IsAUsageErrorSayingWhatToGive) {
  std::vector<std::string> args = GetParam().args;
  args.insert(args.end(), {"gauge.txt", "out.csv"});
  const CliRunResult run = Run(args);
  EXPECT_EQ(run.exitCode, 64);
  EXPECT_NE(run.err.find(GetParam().says), std::string::npos) << run.err;
  EXPECT_FALSE(zorq_test::FileExists(scratch_.Path("out.csv")));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BarometerUsage,
    testing::Values(
        UsageRow{"WithAtmospheric",
                 {"--waves", "w.csv", "--pressure", "dbar", "--sensor-height", "1", "--atmospheric",
                  "10", "--barometer", "baro.csv"},
                 "--atmospheric is a constant air pressure and --barometer a record of it"},
        UsageRow{"WithoutAPressureUnit",
                 {"--format", "netcdf", "--barometer", "baro.csv"},
                 "give their pressure unit, such as dbar (--units)"},
        UsageRow{"UnitsNotAPressure",
                 {"--format", "netcdf", "--units", "m", "--barometer", "baro.csv"},
                 "\"m\" is not a pressure"},
        UsageRow{"LegacyOnly", {"--barometer", "baro.csv"}, "give --format netcdf or tidy"},
        UsageRow{"LoggerDump",
                 {"--from-type", "2", "--format", "netcdf", "--barometer", "baro.csv"},
                 "a logger dump's readings are staff lengths"},
        UsageRow{"UnitsWithoutRecord",
                 {"--format", "netcdf", "--barometer-units", "hPa"},
                 "give --barometer too"},
        UsageRow{"MissingFile",
                 {"--format", "netcdf", "--units", "dbar", "--barometer", "none.csv"},
                 "\"none.csv\": the barometer record cannot be read"}),
    [](const testing::TestParamInfo<UsageRow>& row) { return std::string(row.param.name); });

}  // namespace
