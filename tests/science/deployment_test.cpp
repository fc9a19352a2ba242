#include "science/deployment.h"

#include <gtest/gtest.h>

#include <limits>

#include "tests/science/science_test_support.h"

namespace {

const std::string* TextOf(const ScienceSettings& settings, const std::string& name) {
  for (const Attribute& attribute : settings.attributes) {
    if (attribute.name == name)
      return std::get_if<std::string>(&attribute.value);
  }
  return nullptr;
}

TEST(Deployment, KnownKeysAndOthersBecomeAttributes) {
  ScienceSettings settings;
  std::string error;
  ASSERT_TRUE(ReadDeploymentText(R"({
    "title": "Pier 7", "site": "Norderney", "instrument_serial": "ZQ-118",
    "latitude": 53.7, "longitude": 7.15, "water_depth": 12.5, "sensor_height": 0.4,
    "creator": {"name": "A. Tester", "email": "a@example.org"},
    "project": "Coast 2026", "deployment_number": 3, "good": true
  })",
                                 "deploy.json", &settings, &error))
      << error;
  EXPECT_EQ(*TextOf(settings, "title"), "Pier 7");
  EXPECT_EQ(*TextOf(settings, "site"), "Norderney");
  EXPECT_EQ(*TextOf(settings, "instrument_serial_number"), "ZQ-118");
  EXPECT_EQ(*TextOf(settings, "creator_email"), "a@example.org");
  EXPECT_EQ(*TextOf(settings, "project"), "Coast 2026");
  EXPECT_EQ(*TextOf(settings, "good"), "true");
  EXPECT_EQ(*TextOf(settings, "water_depth_units"), "m");
  ASSERT_TRUE(settings.position.has_value());
  EXPECT_EQ(settings.position->latitude, 53.7);
  EXPECT_EQ(settings.position->longitude, 7.15);
}

struct RefusalRow {
  const char* name;
  const char* json;
  const char* error;
};

class DeploymentRefusals : public testing::TestWithParam<RefusalRow> {};

TEST_P(DeploymentRefusals, SayWhereAndWhat) {
  ScienceSettings settings;
  settings.attributes = {{"kept", std::string("yes")}};
  std::string error;
  EXPECT_FALSE(ReadDeploymentText(GetParam().json, "d.json", &settings, &error));
  EXPECT_EQ(error.substr(0, std::string(GetParam().error).size()), GetParam().error) << error;
  EXPECT_EQ(settings.attributes.size(), 1u);  // nothing taken from a refused file
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DeploymentRefusals,
    testing::Values(
        RefusalRow{"MissingComma", "{\n  \"title\": \"A\"\n  \"site\": \"B\"\n}",
                   "d.json:3:8: not valid JSON"},
        RefusalRow{"Truncated", "{\"title\": ", "d.json:1:11: not valid JSON"},
        RefusalRow{"NotAnObject", "[1, 2]", "d.json: the deployment file holds one JSON object"},
        RefusalRow{"LatitudeAsText", R"({"latitude": "53N", "longitude": 7})",
                   "d.json: \"latitude\" needs a number of degrees"},
        RefusalRow{"LatitudeOutOfRange", R"({"latitude": 91, "longitude": 7})",
                   "d.json: \"latitude\" is 91, outside -90.0 to 90.0 degrees"},
        RefusalRow{"LatitudeAlone", R"({"latitude": 50})",
                   "d.json: has \"latitude\" without \"longitude\": give both, or neither"},
        RefusalRow{"DepthAsText", R"({"water_depth": "deep"})",
                   "d.json: \"water_depth\" needs a number of metres"},
        RefusalRow{"CreatorPart", R"({"creator": {"phone": "1"}})",
                   "d.json: \"creator.phone\" is not one of"},
        RefusalRow{"NestedUnknown", R"({"extra": {"a": 1}})",
                   "d.json: \"extra\" needs text, a number or true/false"},
        RefusalRow{"BadName", R"({"two words": 1})", "d.json: \"two words\" cannot name"},
        RefusalRow{"ReservedName", R"({"project": "P", "_NCProperties": "x"})",
                   "d.json: \"_NCProperties\" is reserved"},
        RefusalRow{"ComputedName", R"({"project": "P", "from_type": 2})",
                   "d.json: \"from_type\" is an attribute the converter works out itself"},
        RefusalRow{"WholeNumberBeyond64Bits", R"({"project": "P", "n": 99999999999999999999})",
                   "d.json: \"n\" is 99999999999999999999: a whole number beyond what a 64-bit "
                   "integer holds"},
        RefusalRow{"NestedNumberBeyondADouble", "{\"water_depth\": 1,\n \"x\": [-1e400]}",
                   "d.json:2:"},
        RefusalRow{"DepthBeyondADouble", R"({"water_depth": 2e308})",
                   "d.json:1:21: \"water_depth\" is 2e308: a number beyond what a double holds"}),
    [](const testing::TestParamInfo<RefusalRow>& row) { return std::string(row.param.name); });

struct WholeNumberRow {
  const char* json;
  AttributeValue written;
};

class DeploymentWholeNumbers : public testing::TestWithParam<WholeNumberRow> {};

// Each whole number keeps every digit, in the first type that holds it.
TEST_P(DeploymentWholeNumbers, KeepEveryDigit) {
  ScienceSettings settings;
  std::string error;
  ASSERT_TRUE(ReadDeploymentText(GetParam().json, "d.json", &settings, &error)) << error;
  ASSERT_EQ(settings.attributes.size(), 1u);
  EXPECT_EQ(settings.attributes[0].value, GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DeploymentWholeNumbers,
    testing::Values(
        WholeNumberRow{R"({"k": 18446744073709551615})", uint64_t{18446744073709551615u}},
        WholeNumberRow{R"({"k": 12345678901234567890})", uint64_t{12345678901234567890u}},
        WholeNumberRow{R"({"k": 9223372036854775808})", uint64_t{9223372036854775808u}},
        WholeNumberRow{R"({"k": 9223372036854775807})", int64_t{9223372036854775807}},
        WholeNumberRow{R"({"k": -9223372036854775808})", std::numeric_limits<int64_t>::min()},
        WholeNumberRow{R"({"k": 1e300})", 1e300}));

TEST(Deployment, AMissingFileIsNamed) {
  ScienceSettings settings;
  std::string error;
  EXPECT_FALSE(ReadDeploymentFile("/nonexistent/deploy.json", &settings, &error));
  EXPECT_EQ(error, "cannot read the deployment file \"/nonexistent/deploy.json\"");
}

TEST(AttributeOption, KeyEqualsValue) {
  Attribute attribute;
  std::string error;
  ASSERT_TRUE(ParseAttributeOption("project=Coast=2026", &attribute, &error));
  EXPECT_EQ(attribute.name, "project");
  EXPECT_EQ(std::get<std::string>(attribute.value), "Coast=2026");
  EXPECT_FALSE(ParseAttributeOption("=x", &attribute, &error));
  EXPECT_FALSE(ParseAttributeOption("novalue", &attribute, &error));
  EXPECT_EQ(error, "--attr takes KEY=VALUE, not \"novalue\"");
  EXPECT_FALSE(ParseAttributeOption("9lives=x", &attribute, &error));
  EXPECT_FALSE(ParseAttributeOption("_FillValue=0", &attribute, &error));
  EXPECT_EQ(error.substr(0, 32), "--attr: \"_FillValue\" is reserved");
  EXPECT_TRUE(ParseAttributeOption(std::string(256, 'a') + "=x", &attribute, &error));
  EXPECT_FALSE(ParseAttributeOption(std::string(257, 'a') + "=x", &attribute, &error));
  // --attr may replace what the converter works out.
  EXPECT_TRUE(ParseAttributeOption("history=mine", &attribute, &error));
}

}  // namespace
