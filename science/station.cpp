#include "science/station.h"

#include <algorithm>
#include <filesystem>
#include <variant>

namespace {

constexpr const char* kStation = "station";
constexpr const char* kStationLength = "name_strlen";
constexpr const char* kLatitude = "lat";
constexpr const char* kLongitude = "lon";
constexpr const char* kVertical = "z";

const AttributeValue* Given(const ScienceSettings& settings, const std::string& name) {
  for (const Attribute& attribute : settings.attributes) {
    if (attribute.name == name)
      return &attribute.value;
  }
  return nullptr;
}

// A deployment's identifier may be a number ("station_id": 4711).
std::string GivenText(const ScienceSettings& settings, const std::string& name) {
  const AttributeValue* given = Given(settings, name);
  if (given == nullptr)
    return "";
  if (const auto* text = std::get_if<std::string>(given))
    return *text;
  if (const auto* whole = std::get_if<int64_t>(given))
    return std::to_string(*whole);
  if (const auto* large = std::get_if<uint64_t>(given))
    return std::to_string(*large);
  return "";
}

void AddCoordinate(NetcdfLayout* layout, const char* name, const char* standardName,
                   const char* units, const char* axis, const char* longName) {
  layout->AddVariable(name, NetcdfType::kDouble)
      .Attribute("standard_name", standardName)
      .Attribute("long_name", longName)
      .Attribute("units", units)
      .Attribute("axis", axis);
}

}  // namespace

std::optional<double> GivenNumber(const ScienceSettings& settings, const std::string& name) {
  const AttributeValue* given = Given(settings, name);
  if (given == nullptr)
    return std::nullopt;
  if (const double* number = std::get_if<double>(given))
    return *number;
  if (const int64_t* whole = std::get_if<int64_t>(given))
    return static_cast<double>(*whole);
  return std::nullopt;
}

std::string StationId(const ScienceSettings& settings) {
  for (const char* name : {"station_id", "instrument_serial_number"}) {
    if (std::string text = GivenText(settings, name); !text.empty())
      return text;
  }
  const std::string stem = std::filesystem::path(settings.sourceName).stem().string();
  return stem.empty() ? settings.sourceName : stem;
}

std::optional<SensorVertical> SensorVerticalOf(const ScienceSettings& settings) {
  const std::optional<double> water = GivenNumber(settings, "water_depth");
  const std::optional<double> height = GivenNumber(settings, "sensor_height");
  if (!height)
    return std::nullopt;
  if (water)
    return SensorVertical{*water - *height, "down", "depth",
                          "depth of the sensor below the surface"};
  return SensorVertical{*height, "up", "height_above_sea_floor",
                        "height of the sensor above the bed"};
}

void AddStation(NetcdfLayout* layout, const ScienceSettings& settings) {
  // Characters on a dimension of the identifier's length: readers that
  // take no NetCDF-4 strings (cdo) read them too.
  const std::string id = StationId(settings);
  layout->AddDimension(kStationLength, std::max<size_t>(id.size(), 1));
  layout->AddVariable(kStation, NetcdfType::kChar, {kStationLength})
      .Attribute("cf_role", "timeseries_id")
      .Attribute("long_name", "station identifier");
  if (settings.position) {
    AddCoordinate(layout, kLatitude, "latitude", "degrees_north", "Y", "latitude of the station");
    AddCoordinate(layout, kLongitude, "longitude", "degrees_east", "X", "longitude of the station");
  }
  if (const std::optional<SensorVertical> vertical = SensorVerticalOf(settings)) {
    layout->AddVariable(kVertical, NetcdfType::kDouble)
        .Attribute("standard_name", vertical->standardName)
        .Attribute("long_name", vertical->longName)
        .Attribute("units", "m")
        .Attribute("positive", vertical->positive)
        .Attribute("axis", "Z");
  }
}

std::string StationCoordinates(const ScienceSettings& settings, WithVertical vertical) {
  std::string names;
  if (settings.position)
    names += std::string(kLatitude) + " " + kLongitude + " ";
  if (vertical == WithVertical::kYes && SensorVerticalOf(settings))
    names += std::string(kVertical) + " ";
  return names + kStation;
}

bool WriteStation(NetcdfStore* file, const ScienceSettings& settings) {
  if (!file->PutText(file->Variable(kStation), StationId(settings)))
    return false;
  if (settings.position &&
      !(file->PutScalar(file->Variable(kLatitude), settings.position->latitude) &&
        file->PutScalar(file->Variable(kLongitude), settings.position->longitude)))
    return false;
  const std::optional<SensorVertical> vertical = SensorVerticalOf(settings);
  return !vertical || file->PutScalar(file->Variable(kVertical), vertical->metres);
}
