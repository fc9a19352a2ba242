// Reading a NetCDF file the program is given as an input (an air pressure
// record): its one-dimensional numeric variables, whole, with their
// attributes. The file is small enough to hold in memory.
#pragma once

#include <string>
#include <vector>

#include "netcdf/netcdf_file.h"

struct NetcdfSeries {
  std::string name;
  std::string dimension;  // its one dimension
  // Text attributes as text; numeric ones as their first value (a double).
  std::vector<NetcdfAttribute> attributes;
  std::vector<double> values;  // as stored: no fill, scale or offset applied

  // The text of attribute `attributeName`; empty when it has none or it is no text.
  std::string Text(const std::string& attributeName) const;
  // The number of attribute `attributeName`; false when it has none or it is text.
  bool Number(const std::string& attributeName, double* value) const;
};

// The one-dimensional numeric variables of the file at `path`, in the
// file's order. False with `error` (naming `path`) when it cannot be read
// as NetCDF.
bool ReadNetcdfSeries(const std::string& path, std::vector<NetcdfSeries>* series,
                      std::string* error);
