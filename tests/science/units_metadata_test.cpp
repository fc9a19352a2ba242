// Units read by udunits2, the CF standard names with their canonical units,
// and the discovery attributes data centres require, read back from files
// the command line wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "science/deployment.h"
#include "science/metadata.h"
#include "science/standard_names.h"
#include "science/units.h"
#include "tests/cli_process.h"
#include "tests/science/cli_fixture.h"
#include "tests/science/science_test_support.h"
#include "tests/test_support.h"

namespace {

using science_test::NetcdfFile;
using science_test::Scratch;
using zorq_test::CliRun;
using zorq_test::CliRunResult;

// The CF standard name table the names below come from.
constexpr int kTableVersion = 83;

struct UnitRow {
  const char* name;
  const char* text;
  UnitCheck check;
  const char* canonical;  // as udunits2 writes it; empty for no unit
};

class UnitRows : public testing::TestWithParam<UnitRow> {};

TEST_P(UnitRows, AreReadByUdunits) {
  std::string problem;
  EXPECT_EQ(CheckUnit(GetParam().text, &problem), GetParam().check);
  EXPECT_EQ(problem.empty(), GetParam().check == UnitCheck::kValid) << problem;
  EXPECT_EQ(CanonicalUnitText(GetParam().text), GetParam().canonical);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UnitRows,
    testing::Values(UnitRow{"Metre", "m", UnitCheck::kValid, "m"},
                    UnitRow{"Spectrum", "m2 s", UnitCheck::kValid, "m2.s"},
                    UnitRow{"Caret", "m^2 s", UnitCheck::kValid, "m2.s"},
                    UnitRow{"Decibar", "dbar", UnitCheck::kValid, "10000 Pa"},
                    UnitRow{"Celsius", "degree_C", UnitCheck::kValid, "K @ 273.15"},
                    UnitRow{"One", "1", UnitCheck::kValid, "1"},
                    UnitRow{"Unknown", "xyz", UnitCheck::kInvalid, ""},
                    UnitRow{"Empty", "", UnitCheck::kInvalid, ""},
                    UnitRow{"Padded", " m", UnitCheck::kInvalid, ""},
                    UnitRow{"Syntax", "m/", UnitCheck::kInvalid, ""},
                    UnitRow{"StrayParenthesis", "m)", UnitCheck::kInvalid, ""}),
    [](const auto& row) { return std::string(row.param.name); });

struct ConvertRow {
  const char* from;
  const char* to;
  bool converts;
};

class ConvertRows : public testing::TestWithParam<ConvertRow> {};

TEST_P(ConvertRows, FollowTheDimensions) {
  EXPECT_EQ(UnitsConvert(GetParam().from, GetParam().to), GetParam().converts)
      << GetParam().from << " -> " << GetParam().to;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConvertRows,
    testing::Values(ConvertRow{"cm", "m", true}, ConvertRow{"dbar", "Pa", true},
                    ConvertRow{"degree_C", "K", true}, ConvertRow{"s-1", "Hz", true},
                    ConvertRow{"cm2 s", "m2 s", true}, ConvertRow{"m", "s", false},
                    ConvertRow{"1", "m", false}, ConvertRow{"dbar", "m", false},
                    ConvertRow{"xyz", "m", false}, ConvertRow{"m", "", false}));

TEST(StandardNameTable, IsTheVersionTheTestsNamesComeFrom) {
  EXPECT_EQ(StandardNameTableVersion(), kTableVersion);
  EXPECT_EQ(StandardNameVocabulary(), "CF Standard Name Table v" + std::to_string(kTableVersion));
}

// A typo in the data file's units would refuse every name of that family.
TEST(StandardNameTable, EveryCanonicalUnitIsAUnit) {
  const std::vector<StandardName> names = AllStandardNames();
  ASSERT_GE(names.size(), 40u);
  for (const StandardName& entry : names) {
    if (!entry.canonicalUnits.empty()) {
      EXPECT_EQ(CheckUnit(entry.canonicalUnits), UnitCheck::kValid) << entry.name;
    }
  }
}

struct NameRow {
  const char* name;
  const char* units;
  StandardNameFit fit;
  const char* canonical;
};

class NameRows : public testing::TestWithParam<NameRow> {};

TEST_P(NameRows, FitTheirCanonicalUnits) {
  const NameRow& row = GetParam();
  EXPECT_EQ(FitStandardName(row.name, row.units), row.fit) << row.name << " in " << row.units;
  const std::optional<StandardName> entry = FindStandardName(row.name);
  ASSERT_EQ(entry.has_value(), row.fit != StandardNameFit::kNotInTable);
  if (entry) {
    EXPECT_EQ(entry->canonicalUnits, row.canonical);
  }
  EXPECT_EQ(StandardNameProblem("--standard-name", row.name, row.units).empty(),
            row.fit == StandardNameFit::kFits);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NameRows,
    testing::Values(NameRow{"sea_surface_height_above_sea_level", "m", StandardNameFit::kFits, "m"},
                    NameRow{"sea_surface_height_above_sea_level", "cm", StandardNameFit::kFits,
                            "m"},
                    NameRow{"sea_surface_height_above_sea_level", "1",
                            StandardNameFit::kUnitsDoNotConvert, "m"},
                    NameRow{"sea_surface_height_above_sea_level", "dbar",
                            StandardNameFit::kUnitsDoNotConvert, "m"},
                    NameRow{"sea_water_pressure", "dbar", StandardNameFit::kFits, "dbar"},
                    NameRow{"sea_water_pressure", "Pa", StandardNameFit::kFits, "dbar"},
                    NameRow{"sea_water_temperature", "degree_C", StandardNameFit::kFits, "K"},
                    NameRow{"sea_surface_wave_variance_spectral_density", "m2 s",
                            StandardNameFit::kFits, "m2 s"},
                    NameRow{"sea_surface_wave_variance_spectral_density", "s",
                            StandardNameFit::kUnitsDoNotConvert, "m2 s"},
                    NameRow{"sea_surface_wave_period_at_variance_spectral_density_maximum", "s",
                            StandardNameFit::kFits, "s"},
                    NameRow{"status_flag", "", StandardNameFit::kFits, ""},
                    NameRow{"status_flag", "m", StandardNameFit::kUnitsDoNotConvert, ""},
                    NameRow{"not_a_real_name", "m", StandardNameFit::kNotInTable, ""},
                    NameRow{"Sea_Water_Pressure", "dbar", StandardNameFit::kNotInTable, ""}));

struct StatisticRow {
  const char* name;
  const char* statisticUnits;
  const char* readingUnits;
  bool named;
};

class StatisticRows : public testing::TestWithParam<StatisticRow> {};

TEST_P(StatisticRows, CarryANameOnlyInUnitsThatFit) {
  const StatisticRow& row = GetParam();
  EXPECT_EQ(StatisticStandardName(row.name, row.statisticUnits, row.readingUnits),
            row.named ? row.name : "");
  EXPECT_EQ(StatisticNamesWarning(row.readingUnits).empty(), std::string(row.readingUnits) != "1");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StatisticRows,
    testing::Values(StatisticRow{"sea_surface_wave_significant_height", "m", "m", true},
                    StatisticRow{"sea_surface_wave_significant_height", "cm", "cm", true},
                    StatisticRow{"sea_surface_wave_significant_height", "1", "1", false},
                    StatisticRow{"sea_surface_wave_significant_height", "dbar", "dbar", false},
                    StatisticRow{"sea_surface_wave_period_at_variance_spectral_density_maximum",
                                 "s", "m", true},
                    StatisticRow{"sea_surface_wave_period_at_variance_spectral_density_maximum",
                                 "s", "1", false},
                    StatisticRow{"sea_surface_wave_variance_spectral_density", "m2 s", "m", true},
                    StatisticRow{"sea_surface_wave_variance_spectral_density", "s", "1", false}));

struct ReadingNameRow {
  const char* name;
  bool gauge;
  const char* units;  // empty: the default for the kind
  const char* standardName;
  bool written;
};

class ReadingNameRows : public testing::TestWithParam<ReadingNameRow> {};

TEST_P(ReadingNameRows, AreWrittenOnlyForUnitsThatFit) {
  ScienceSettings settings;
  settings.gauge = GetParam().gauge;
  settings.units = GetParam().units;
  settings.standardName = GetParam().standardName;
  EXPECT_EQ(ReadingStandardName(settings), GetParam().written ? GetParam().standardName : "");
  EXPECT_EQ(StandardNameWarning(settings).empty(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadingNameRows,
    testing::Values(
        ReadingNameRow{"LoggerInMetres", false, "", "sea_surface_height_above_sea_level", true},
        ReadingNameRow{"GaugeWithoutUnits", true, "", "sea_surface_height_above_sea_level", false},
        ReadingNameRow{"GaugeInDecibar", true, "dbar", "sea_water_pressure", true},
        ReadingNameRow{"PressureNameInMetres", false, "m", "sea_water_pressure", false}),
    [](const auto& row) { return std::string(row.param.name); });

struct DeploymentUnitsRow {
  const char* name;
  const char* json;
  const char* error;  // empty: read
};

class DeploymentUnitsRows : public testing::TestWithParam<DeploymentUnitsRow> {};

TEST_P(DeploymentUnitsRows, AreCheckedWhereTheFileGivesThem) {
  ScienceSettings settings;
  std::string error;
  const bool read = ReadDeploymentText(GetParam().json, "d.json", &settings, &error);
  EXPECT_EQ(read, std::string(GetParam().error).empty()) << error;
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DeploymentUnitsRows,
    testing::Values(DeploymentUnitsRow{"Units", R"({"units": "cm"})", ""},
                    DeploymentUnitsRow{"UnknownUnits", R"({"units": "xyz"})",
                                       "d.json: \"units\" is no unit: \"xyz\" names a unit"},
                    DeploymentUnitsRow{"UnitsNumber", R"({"units": 1})", "\"units\" needs a unit"},
                    DeploymentUnitsRow{"OtherUnits", R"({"geospatial_vertical_units": "metres!"})",
                                       "\"geospatial_vertical_units\" is no unit"},
                    DeploymentUnitsRow{"Name", R"({"standard_name": "sea_water_pressure"})", ""},
                    DeploymentUnitsRow{
                        "UnknownName", R"({"standard_name": "not_a_real_name"})",
                        "d.json: \"standard_name\" \"not_a_real_name\" is not among"}),
    [](const auto& row) { return std::string(row.param.name); });

class UnitsCli : public science_test::CliInScratch {};

struct RefusedRow {
  const char* name;
  std::vector<std::string> args;
  const char* message;
};

class RefusedUnits : public UnitsCli, public testing::WithParamInterface<RefusedRow> {};

TEST_P(RefusedUnits, ExitWithAUsageError) {
  zorq_test::WriteWholeFile(scratch_.Path("units.json"), R"({"units": "xyz"})");
  const CliRunResult run = Run(GetParam().args);
  EXPECT_EQ(run.exitCode, 64) << run.err;
  EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
  EXPECT_FALSE(std::ifstream(scratch_.Path("a.nc")).good());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefusedUnits,
    testing::Values(
        RefusedRow{"UnknownUnits",
                   {"--format", "netcdf", "--units", "xyz", "logger.txt", "a.nc"},
                   "--units: \"xyz\" names a unit udunits2 does not know"},
        RefusedRow{"DeploymentUnits",
                   {"--format", "netcdf", "--deployment", "units.json", "logger.txt", "a.nc"},
                   "units.json: \"units\" is no unit"},
        RefusedRow{
            "UnknownName",
            {"--format", "netcdf", "--standard-name", "not_a_real_name", "logger.txt", "a.nc"},
            "\"not_a_real_name\" is not among the CF standard names"},
        RefusedRow{"GaugeLengthWithoutUnits",
                   {"--format", "netcdf", "--from-type", "3", "--to-type", "1", "--standard-name",
                    "sea_surface_height_above_sea_level", "gauge.txt", "a.nc"},
                   "the readings' units \"1\" do not convert to that: give the readings' units"},
        RefusedRow{"PressureNameInCentimetres",
                   {"--format", "netcdf", "--standard-name", "sea_water_pressure", "--units", "cm",
                    "logger.txt", "a.nc"},
                   "is in \"dbar\", and the readings' units \"cm\" do not convert"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(UnitsCli, GaugeInDecibarCarriesItsPressureName) {
  const CliRunResult run =
      Run({"--format", "netcdf", "--from-type", "3", "--to-type", "1", "--units", "dbar",
           "--standard-name", "sea_water_pressure", "gauge.txt", "a.nc"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  NetcdfFile file(scratch_.Path("a.nc"));
  EXPECT_EQ(file.Text("reading", "units"), "dbar");
  EXPECT_EQ(file.Text("reading", "standard_name"), "sea_water_pressure");
}

// With the kind left to the dump, a gauge dump's "1" is met only when it is
// converted: the file is written without the name, and the run says why.
TEST_F(UnitsCli, AutoGaugeWithoutUnitsLeavesTheLengthNameOut) {
  const CliRunResult run =
      Run({"--format", "netcdf", "--from-type", "auto", "--to-type", "1", "--standard-name",
           "sea_surface_height_above_sea_level", "gauge.txt", "a.nc"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("the standard name \"sea_surface_height_above_sea_level\" is left out"),
            std::string::npos)
      << run.err;
  NetcdfFile file(scratch_.Path("a.nc"));
  EXPECT_EQ(file.Text("reading", "units"), "1");
  EXPECT_EQ(file.Text("reading", "standard_name"), "");
}

// The JSON block of docs/outputs.md that sets every discovery attribute.
std::string DocumentedDeployment() {
  std::ifstream docs(std::string(ZORQ_SOURCE_DIR) + "/docs/outputs.md");
  std::stringstream text;
  text << docs.rdbuf();
  const std::string whole = text.str();
  const size_t intro = whole.find("A deployment file that sets them all:");
  const size_t open = whole.find("```json\n", intro);
  const size_t close = whole.find("```\n", open + 8);
  if (intro == std::string::npos || open == std::string::npos || close == std::string::npos)
    return "";
  return whole.substr(open + 8, close - open - 8);
}

// "@id": the dump's SHA-256 as `source` names it; "@created": date_created;
// "@version": software_version.
struct DiscoveryRow {
  const char* attribute;
  const char* deployed;
  const char* fallback;
};

// The two files, written once for all rows: one with the documented
// deployment file, one with nothing given.
class DiscoveryAttributes : public testing::TestWithParam<DiscoveryRow> {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new Scratch();
    zorq_test::WriteWholeFile(scratch_->Path("logger.txt"), zorq_test::WorkedLoggerDump());
    const std::string deployment = DocumentedDeployment();
    if (deployment.empty()) {
      problem_ = "docs/outputs.md lost its full deployment file";
      return;
    }
    zorq_test::WriteWholeFile(scratch_->Path("full.json"), deployment);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--format", "netcdf", "--deployment", "full.json", "logger.txt",
                                   "deployed.nc"},
          std::vector<std::string>{"--format", "netcdf", "logger.txt", "bare.nc"}}) {
      const CliRunResult run = zorq_test::RunCliProcess(CliRun{
          args, scratch_->Path(""), {}, {}, {{"TZ", "UTC"}, {"TMPDIR", scratch_->Path("")}}});
      if (run.exitCode != 0)
        problem_ += run.err;
    }
  }

  static void TearDownTestSuite() {
    delete scratch_;
    scratch_ = nullptr;
    problem_.clear();
  }

  static std::string Expected(const NetcdfFile& file, const std::string& value) {
    if (value == "@created")
      return file.Text("", "date_created");
    if (value == "@version")
      return file.Text("", "software_version");
    if (value == "@id") {
      const std::string source = file.Text("", "source");
      const size_t sha = source.find("(SHA-256 ");
      return sha == std::string::npos ? "no SHA-256 in source" : source.substr(sha + 9, 64);
    }
    return value;
  }

  static void ExpectValue(const NetcdfFile& file, const DiscoveryRow& row,
                          const std::string& value) {
    const std::string text = file.Text("", row.attribute);
    if (!text.empty()) {
      EXPECT_EQ(text, Expected(file, value)) << row.attribute;
      return;
    }
    const std::optional<double> number = file.Number("", row.attribute);
    ASSERT_TRUE(number.has_value()) << row.attribute << " is missing";
    EXPECT_NEAR(*number, std::stod(value), 1e-9) << row.attribute;
  }

  static Scratch* scratch_;
  static std::string problem_;
};

Scratch* DiscoveryAttributes::scratch_ = nullptr;
std::string DiscoveryAttributes::problem_;

TEST_P(DiscoveryAttributes, ComeFromTheDeploymentFileOrTheirDefault) {
  ASSERT_TRUE(problem_.empty()) << problem_;
  ExpectValue(NetcdfFile(scratch_->Path("deployed.nc")), GetParam(), GetParam().deployed);
  ExpectValue(NetcdfFile(scratch_->Path("bare.nc")), GetParam(), GetParam().fallback);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DiscoveryAttributes,
    testing::Values(
        DiscoveryRow{"Conventions", "CF-1.11, ACDD-1.3, IOOS-1.2", "CF-1.11, ACDD-1.3, IOOS-1.2"},
        DiscoveryRow{"id", "norderney-pier-2026-spring-zq118", "@id"},
        DiscoveryRow{"naming_authority", "org.example.coast", "zorqconvert"},
        DiscoveryRow{"keywords", "EARTH SCIENCE > OCEANS > OCEAN WAVES > WAVE HEIGHT",
                     "EARTH SCIENCE > OCEANS > OCEAN WAVES > WAVE HEIGHT, EARTH SCIENCE > OCEANS > "
                     "OCEAN WAVES > WAVE PERIOD, EARTH SCIENCE > OCEANS > OCEAN PRESSURE > WATER "
                     "PRESSURE, EARTH SCIENCE > OCEANS > OCEAN TEMPERATURE > WATER TEMPERATURE"},
        DiscoveryRow{"keywords_vocabulary", "GCMD:GCMD Keywords", "GCMD:GCMD Keywords"},
        DiscoveryRow{"license", "CC-BY-4.0",
                     "No license was given with this file: ask its creator before use"},
        DiscoveryRow{"institution", "Example Coastal Institute", "unknown"},
        DiscoveryRow{"standard_name_vocabulary", "CF Standard Name Table v83",
                     "CF Standard Name Table v83"},
        DiscoveryRow{"creator_name", "A. Tester", "unknown"},
        DiscoveryRow{"creator_email", "a.tester@example.org", "unknown"},
        DiscoveryRow{"creator_url", "https://example.org/people/tester", "unknown"},
        DiscoveryRow{"creator_institution", "Example Coastal Institute", "unknown"},
        DiscoveryRow{"creator_country", "Germany", "unknown"},
        DiscoveryRow{"creator_type", "person", "person"},
        DiscoveryRow{"creator_sector", "academic", "other"},
        DiscoveryRow{"publisher_name", "Example Data Centre", "unknown"},
        DiscoveryRow{"publisher_email", "data@example.org", "unknown"},
        DiscoveryRow{"publisher_url", "https://data.example.org", "unknown"},
        DiscoveryRow{"publisher_institution", "Example Data Centre", "unknown"},
        DiscoveryRow{"publisher_country", "Germany", "unknown"},
        DiscoveryRow{"publisher_type", "institution", "person"},
        DiscoveryRow{"infoUrl", "https://example.org/projects/coast-2026", "unknown"},
        DiscoveryRow{"project", "Coast 2026", "unknown"},
        DiscoveryRow{"platform", "fixed", "fixed"},
        DiscoveryRow{"platform_vocabulary", "https://mmisw.org/ont/ioos/platform",
                     "https://mmisw.org/ont/ioos/platform"},
        DiscoveryRow{"instrument", "wave staff", "wave logger"},
        DiscoveryRow{"instrument_vocabulary", "GCMD:GCMD Keywords", "zorqconvert dump kinds"},
        DiscoveryRow{"processing_level", "Scaled readings with a quality flag each",
                     "Readings converted from the instrument's flash dump with the scale of its "
                     "header, each flagged by how its field read; times in UTC with the clock "
                     "correction given; no other quality control"},
        DiscoveryRow{"cdm_data_type", "Station", "Station"},
        DiscoveryRow{"product_version", "2", "@version"},
        DiscoveryRow{"date_modified", "2026-05-02T00:00:00Z", "@created"},
        DiscoveryRow{"date_issued", "2026-05-03T00:00:00Z", "@created"},
        DiscoveryRow{"references", "https://doi.org/10.5281/zenodo.0000000", "none given"},
        DiscoveryRow{"comment", "Pier pile 4", "none given"},
        DiscoveryRow{"acknowledgement", "The harbour office", "none given"},
        DiscoveryRow{"time_coverage_resolution", "PT0.25S", "PT0.25S"},
        DiscoveryRow{"geospatial_vertical_min", "12.1", "0"},
        DiscoveryRow{"geospatial_vertical_max", "12.1", "0"},
        DiscoveryRow{"geospatial_vertical_units", "m", "m"},
        DiscoveryRow{"geospatial_vertical_positive", "down", "down"}),
    [](const auto& row) { return std::string(row.param.attribute); });

}  // namespace
