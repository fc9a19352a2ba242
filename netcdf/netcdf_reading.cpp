#include "netcdf/netcdf_reading.h"

#include <netcdf.h>

#include <array>
#include <memory>

#include "netcdf/netcdf_library.h"

namespace {

class OpenForReading {
 public:
  ~OpenForReading() {
    if (ncid_ >= 0)
      nc_close(ncid_);
  }
  int Open(const std::string& path) { return nc_open(path.c_str(), NC_NOWRITE, &ncid_); }
  int id() const { return ncid_; }

 private:
  int ncid_ = -1;
};

bool IsNumeric(nc_type type) {
  return type != NC_CHAR && type != NC_STRING && type <= NC_STRING;
}

int ReadText(int ncid, int varid, const char* name, nc_type type, size_t length,
             NetcdfValue* value) {
  if (type == NC_CHAR) {
    std::string text(length, '\0');
    const int status = nc_get_att_text(ncid, varid, name, text.data());
    *value = text.substr(0, text.find('\0'));
    return status;
  }
  std::vector<char*> texts(length, nullptr);
  int status = nc_get_att_string(ncid, varid, name, texts.data());
  if (status == NC_NOERR) {
    *value = std::string(length > 0 && texts[0] != nullptr ? texts[0] : "");
    status = nc_free_string(length, texts.data());
  }
  return status;
}

int ReadAttribute(int ncid, int varid, int number, NetcdfAttribute* attribute) {
  std::array<char, NC_MAX_NAME + 1> name{};
  nc_type type = NC_NAT;
  size_t length = 0;
  int status = nc_inq_attname(ncid, varid, number, name.data());
  if (status == NC_NOERR)
    status = nc_inq_att(ncid, varid, name.data(), &type, &length);
  if (status != NC_NOERR)
    return status;
  attribute->name = name.data();
  if (type == NC_CHAR || type == NC_STRING)
    return ReadText(ncid, varid, name.data(), type, length, &attribute->value);
  std::vector<double> numbers(length);
  status = nc_get_att_double(ncid, varid, name.data(), numbers.data());
  attribute->value = numbers.empty() ? 0.0 : numbers[0];
  return status;
}

// `isSeries` false: not a series (more than one dimension, or not numbers).
int ReadVariable(int ncid, int varid, NetcdfSeries* series, bool* isSeries) {
  std::array<char, NC_MAX_NAME + 1> name{};
  nc_type type = NC_NAT;
  int dimensions = 0;
  std::array<int, NC_MAX_VAR_DIMS> dimensionIds{};
  int attributes = 0;
  int status =
      nc_inq_var(ncid, varid, name.data(), &type, &dimensions, dimensionIds.data(), &attributes);
  *isSeries = status == NC_NOERR && dimensions == 1 && IsNumeric(type);
  if (!*isSeries)
    return status;
  series->name = name.data();
  std::array<char, NC_MAX_NAME + 1> dimension{};
  size_t length = 0;
  status = nc_inq_dimname(ncid, dimensionIds[0], dimension.data());
  if (status == NC_NOERR)
    status = nc_inq_dimlen(ncid, dimensionIds[0], &length);
  series->dimension = dimension.data();
  for (int number = 0; status == NC_NOERR && number < attributes; ++number) {
    series->attributes.emplace_back();
    status = ReadAttribute(ncid, varid, number, &series->attributes.back());
  }
  series->values.resize(length);
  if (status == NC_NOERR && length > 0)
    status = nc_get_var_double(ncid, varid, series->values.data());
  return status;
}

}  // namespace

std::string NetcdfSeries::Text(const std::string& attributeName) const {
  for (const NetcdfAttribute& attribute : attributes) {
    if (attribute.name == attributeName)
      return std::holds_alternative<std::string>(attribute.value)
                 ? std::get<std::string>(attribute.value)
                 : "";
  }
  return "";
}

bool NetcdfSeries::Number(const std::string& attributeName, double* value) const {
  for (const NetcdfAttribute& attribute : attributes) {
    if (attribute.name == attributeName && std::holds_alternative<double>(attribute.value)) {
      *value = std::get<double>(attribute.value);
      return true;
    }
  }
  return false;
}

bool ReadNetcdfSeries(const std::string& path, std::vector<NetcdfSeries>* series,
                      std::string* error) {
  const std::lock_guard<std::recursive_mutex> hold(LibraryLock());
  QuietLibraryErrorsOnThisThread();
  OpenForReading file;
  int status = file.Open(path);
  int variables = 0;
  if (status == NC_NOERR)
    status = nc_inq_nvars(file.id(), &variables);
  for (int varid = 0; status == NC_NOERR && varid < variables; ++varid) {
    NetcdfSeries read;
    bool isSeries = false;
    status = ReadVariable(file.id(), varid, &read, &isSeries);
    if (status == NC_NOERR && isSeries)
      series->push_back(std::move(read));
  }
  if (status != NC_NOERR)
    *error = "\"" + path + "\" cannot be read as NetCDF: " + nc_strerror(status);
  return status == NC_NOERR;
}
