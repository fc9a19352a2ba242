#include "tests/science/science_test_support.h"

#include <gtest/gtest.h>
#include <netcdf.h>
#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace science_test {

LocalSeconds Local(int year, int month, int day, int hour, int minute, int second) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  return static_cast<LocalSeconds>(timegm(&fields));
}

ReadingLine FeedLine::View() const {
  ReadingLine view;
  view.line = line;
  view.values = values.data();
  view.notes = notes.empty() ? nullptr : notes.data();
  view.count = static_cast<int>(values.size());
  view.stamped = stamped;
  view.stamp = stamp;
  view.sinceStamp = sinceStamp;
  view.sampleRate = sampleRate;
  view.stampWentBack = stampWentBack;
  view.burst = burst;
  view.hasTemperature = temperature.has_value();
  view.temperature = temperature.value_or(0.0);
  return view;
}

void Feed(ReadingListener* listener, const std::vector<FeedLine>& lines) {
  for (const FeedLine& line : lines)
    listener->OnReadings(line.View());
}

Scratch::Scratch() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zorq-science-XXXXXX").string();
  path_ = ::mkdtemp(pattern.data());
}

Scratch::~Scratch() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

NetcdfFile::NetcdfFile(const std::string& path) {
  const int status = nc_open(path.c_str(), NC_NOWRITE, &ncid_);
  EXPECT_EQ(status, NC_NOERR) << path << ": " << nc_strerror(status);
  if (status != NC_NOERR)
    ncid_ = -1;
}

NetcdfFile::~NetcdfFile() {
  if (ncid_ >= 0)
    nc_close(ncid_);
}

int NetcdfFile::VariableId(const std::string& name) const {
  int id = -1;
  if (name.empty())
    return NC_GLOBAL;
  return nc_inq_varid(ncid_, name.c_str(), &id) == NC_NOERR ? id : -2;
}

bool NetcdfFile::HasVariable(const std::string& name) const {
  return VariableId(name) >= 0;
}

std::vector<double> NetcdfFile::Doubles(const std::string& variable) const {
  const int id = VariableId(variable);
  int dimensions = 0;
  int dimension = -1;
  size_t length = 1;  // a scalar
  EXPECT_GE(id, 0) << variable;
  if (id < 0 || nc_inq_varndims(ncid_, id, &dimensions) != NC_NOERR)
    return {};
  if (dimensions > 0 && (nc_inq_vardimid(ncid_, id, &dimension) != NC_NOERR ||
                         nc_inq_dimlen(ncid_, dimension, &length) != NC_NOERR))
    return {};
  std::vector<double> values(length);
  if (length > 0) {
    EXPECT_EQ(nc_get_var_double(ncid_, id, values.data()), NC_NOERR);
  }
  return values;
}

std::string NetcdfFile::Chars(const std::string& variable) const {
  const int id = VariableId(variable);
  int dimension = -1;
  size_t length = 0;
  EXPECT_GE(id, 0) << variable;
  if (id < 0 || nc_inq_vardimid(ncid_, id, &dimension) != NC_NOERR ||
      nc_inq_dimlen(ncid_, dimension, &length) != NC_NOERR)
    return "";
  std::string text(length, '\0');
  EXPECT_EQ(nc_get_var_text(ncid_, id, text.data()), NC_NOERR);
  return text;
}

std::vector<int> NetcdfFile::Ints(const std::string& variable) const {
  const int id = VariableId(variable);
  int dimension = -1;
  size_t length = 0;
  EXPECT_GE(id, 0) << variable;
  if (id < 0 || nc_inq_vardimid(ncid_, id, &dimension) != NC_NOERR ||
      nc_inq_dimlen(ncid_, dimension, &length) != NC_NOERR)
    return {};
  std::vector<int> values(length);
  if (length > 0) {
    EXPECT_EQ(nc_get_var_int(ncid_, id, values.data()), NC_NOERR);
  }
  return values;
}

std::string NetcdfFile::Text(const std::string& variable, const std::string& name) const {
  const int id = VariableId(variable);
  size_t length = 0;
  nc_type type = NC_NAT;
  if (nc_inq_att(ncid_, id, name.c_str(), &type, &length) != NC_NOERR || type != NC_CHAR)
    return "";
  std::string text(length, '\0');
  EXPECT_EQ(nc_get_att_text(ncid_, id, name.c_str(), text.data()), NC_NOERR);
  return text;
}

std::optional<double> NetcdfFile::Number(const std::string& variable,
                                         const std::string& name) const {
  const int id = VariableId(variable);
  size_t length = 0;
  nc_type type = NC_NAT;
  if (nc_inq_att(ncid_, id, name.c_str(), &type, &length) != NC_NOERR || type == NC_CHAR ||
      length != 1)
    return std::nullopt;
  double value = 0.0;
  EXPECT_EQ(nc_get_att_double(ncid_, id, name.c_str(), &value), NC_NOERR);
  return value;
}

size_t NetcdfFile::DimensionLength(const std::string& name) const {
  int dimension = -1;
  size_t length = 0;
  if (nc_inq_dimid(ncid_, name.c_str(), &dimension) != NC_NOERR ||
      nc_inq_dimlen(ncid_, dimension, &length) != NC_NOERR)
    return 0;
  return length;
}

}  // namespace science_test
