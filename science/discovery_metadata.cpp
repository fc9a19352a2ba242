#include "science/discovery_metadata.h"

#include <optional>
#include <variant>

#include "science/standard_names.h"
#include "science/station.h"

namespace {

// What a default says when only the user can know the value.
constexpr const char* kUnknown = "unknown";
constexpr const char* kSoftwareAuthority = "zorqconvert";
constexpr const char* kKeywords =
    "EARTH SCIENCE > OCEANS > OCEAN WAVES > WAVE HEIGHT, "
    "EARTH SCIENCE > OCEANS > OCEAN WAVES > WAVE PERIOD, "
    "EARTH SCIENCE > OCEANS > OCEAN PRESSURE > WATER PRESSURE, "
    "EARTH SCIENCE > OCEANS > OCEAN TEMPERATURE > WATER TEMPERATURE";
constexpr const char* kKeywordsVocabulary = "GCMD:GCMD Keywords";
constexpr const char* kLicense = "No license was given with this file: ask its creator before use";
constexpr const char* kPlatform = "fixed";
constexpr const char* kPlatformVocabulary = "https://mmisw.org/ont/ioos/platform";
constexpr const char* kInstrumentVocabulary = "zorqconvert dump kinds";
constexpr const char* kCreatorType = "person";
constexpr const char* kCreatorSector = "other";
constexpr const char* kCdmDataType = "Station";
constexpr const char* kProcessingLevel =
    "Readings converted from the instrument's flash dump with the scale of its header, each "
    "flagged by how its field read; times in UTC with the clock correction given; no other "
    "quality control";
constexpr const char* kBoundsCrs = "EPSG:4326";
constexpr const char* kDepthCrs = "EPSG:5831";  // depth below the instantaneous water level
constexpr const char* kVerticalUnits = "m";
constexpr const char* kVerticalPositive = "down";
constexpr const char* kNoneGiven = "none given";

const AttributeValue* Find(const std::vector<Attribute>& list, const std::string& name) {
  for (const Attribute& attribute : list) {
    if (attribute.name == name)
      return &attribute.value;
  }
  return nullptr;
}

const AttributeValue* Given(const ScienceSettings& settings, const std::string& name) {
  return Find(settings.attributes, name);
}

AttributeValue GivenOr(const ScienceSettings& settings, const std::string& name,
                       AttributeValue fallback) {
  const AttributeValue* given = Given(settings, name);
  return given != nullptr ? *given : fallback;
}

std::string Identifier(const ScienceSettings& settings, const RunFacts& run) {
  if (!run.sourceSha256.empty())
    return run.sourceSha256;
  return settings.sourceName + "@" + run.dateCreated;
}

int SampleRate(const ScienceSettings& settings, const RunFacts& run) {
  if (run.result == nullptr)
    return 0;
  return settings.gauge ? run.result->gauge.sampleRate : run.result->logger.sampleRate;
}

void AddCreator(const ScienceSettings& settings, std::vector<Attribute>* list) {
  for (const char* part : {"name", "email", "url", "institution", "country"})
    SetAttribute(list, std::string("creator_") + part, std::string(kUnknown));
  SetAttribute(list, "creator_type", std::string(kCreatorType));
  SetAttribute(list, "creator_sector", std::string(kCreatorSector));
  SetAttribute(list, "institution", GivenOr(settings, "creator_institution", kUnknown));
  SetAttribute(list, "infoUrl", GivenOr(settings, "creator_url", kUnknown));
}

// The publisher is the creator unless the deployment names one.
void AddPublisher(const ScienceSettings& settings, std::vector<Attribute>* list) {
  for (const char* part : {"name", "email", "url", "institution", "country", "type"}) {
    const std::string creator = std::string("creator_") + part;
    const AttributeValue* given = Given(settings, creator);
    const AttributeValue* fallback = given != nullptr ? given : Find(*list, creator);
    SetAttribute(list, std::string("publisher_") + part,
                 fallback != nullptr ? *fallback : AttributeValue(std::string(kUnknown)));
  }
}

// The sensor's place as `z` gives it; the surface itself when not given.
void AddVertical(const ScienceSettings& settings, std::vector<Attribute>* list) {
  const SensorVertical vertical = SensorVerticalOf(settings).value_or(SensorVertical{});
  SetAttribute(list, "geospatial_vertical_min", vertical.metres);
  SetAttribute(list, "geospatial_vertical_max", vertical.metres);
  SetAttribute(list, "geospatial_vertical_units", std::string(kVerticalUnits));
  SetAttribute(list, "geospatial_vertical_positive", std::string(vertical.positive));
  // EPSG has no datum for the bed.
  if (std::string(vertical.positive) == kVerticalPositive)
    SetAttribute(list, "geospatial_bounds_vertical_crs", std::string(kDepthCrs));
}

// A point in the WKT of EPSG:4326, latitude first.
void AddBounds(const Position& position, std::vector<Attribute>* list) {
  SetAttribute(list, "geospatial_bounds",
               "POINT (" + std::to_string(position.latitude) + " " +
                   std::to_string(position.longitude) + ")");
  SetAttribute(list, "geospatial_bounds_crs", std::string(kBoundsCrs));
}

void AddDates(const RunFacts& run, std::vector<Attribute>* list) {
  for (const char* name : {"date_modified", "date_issued", "date_metadata_modified"})
    SetAttribute(list, name, run.dateCreated);
}

}  // namespace

void AddDiscoveryAttributes(const ScienceSettings& settings, const RunFacts& run,
                            std::vector<Attribute>* list) {
  SetAttribute(list, "id", Identifier(settings, run));
  SetAttribute(list, "naming_authority", std::string(kSoftwareAuthority));
  SetAttribute(list, "keywords", std::string(kKeywords));
  SetAttribute(list, "keywords_vocabulary", std::string(kKeywordsVocabulary));
  SetAttribute(list, "license", std::string(kLicense));
  SetAttribute(list, "standard_name_vocabulary", StandardNameVocabulary());
  SetAttribute(list, "processing_level", std::string(kProcessingLevel));
  SetAttribute(list, "cdm_data_type", std::string(kCdmDataType));
  SetAttribute(list, "product_version", std::string(ZORQ_VERSION));
  SetAttribute(list, "references", std::string(kNoneGiven));
  SetAttribute(list, "comment", std::string(kNoneGiven));
  SetAttribute(list, "acknowledgement", std::string(kNoneGiven));
  SetAttribute(list, "project", std::string(kUnknown));
  SetAttribute(list, "platform", std::string(kPlatform));
  SetAttribute(list, "platform_vocabulary", std::string(kPlatformVocabulary));
  SetAttribute(list, "instrument", std::string(settings.gauge ? "wave gauge" : "wave logger"));
  SetAttribute(list, "instrument_vocabulary", std::string(kInstrumentVocabulary));
  AddCreator(settings, list);
  AddPublisher(settings, list);
  AddDates(run, list);
  AddVertical(settings, list);
  if (settings.position)
    AddBounds(*settings.position, list);
  if (const int rate = SampleRate(settings, run); rate > 0)
    SetAttribute(list, "time_coverage_resolution", IsoDurationSeconds(1.0 / rate));
}
