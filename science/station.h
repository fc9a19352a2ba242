// The station of a NetCDF output: one instrument at one place, written as
// CF's single timeSeries with its identifier, position and vertical
// coordinate, which every data variable names in `coordinates`.
#pragma once

#include <optional>
#include <string>

#include "netcdf/netcdf_file.h"
#include "science/metadata.h"

// Where the sensor sat in the water column, as the deployment file tells it.
struct SensorVertical {
  double metres = 0.0;
  const char* positive = "down";
  const char* standardName = "depth";
  const char* longName = "";
};

// A number the deployment file (or --attr) gave under `name`.
std::optional<double> GivenNumber(const ScienceSettings& settings, const std::string& name);

// The station's identifier: the deployment's station_id, else the
// instrument's serial, else the dump's name without its extension.
std::string StationId(const ScienceSettings& settings);

// The depth below the surface with the water depth and the sensor's height
// above the bed; the height above the bed with that alone; else none.
std::optional<SensorVertical> SensorVerticalOf(const ScienceSettings& settings);

// Adds `station`, `lat`, `lon` (with a position) and `z` (with a vertical
// place) to `layout`.
void AddStation(NetcdfLayout* layout, const ScienceSettings& settings);

enum class WithVertical { kYes, kNo };
// What AddStation added, as a data variable lists them in `coordinates`:
// "lat lon z station".
std::string StationCoordinates(const ScienceSettings& settings,
                               WithVertical vertical = WithVertical::kYes);
// Writes the values of what AddStation defined.
bool WriteStation(NetcdfStore* file, const ScienceSettings& settings);
