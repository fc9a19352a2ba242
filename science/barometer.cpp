#include "science/barometer.h"

#include <nettle/sha2.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "netcdf/netcdf_reading.h"
#include "runtime/numbers.h"
#include "science/trimming.h"
#include "science/units.h"

namespace {

constexpr const char* kTimeColumn = "time";
constexpr const char* kPressureColumn = "air_pressure";
constexpr const char* kUnixEpochSeconds = "s since 1970-01-01T00:00:00Z";
constexpr int kSecondsPerHour = 3600;
constexpr int kSecondsPerMinute = 60;
constexpr size_t kIsoSecondsEnd = 19;  // the zone follows "YYYY-MM-DDTHH:MM:SS"

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string Sha256Hex(const std::string& bytes) {
  sha256_ctx context;
  sha256_init(&context);
  sha256_update(&context, bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()));
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context, SHA256_DIGEST_SIZE, digest);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const uint8_t byte : digest) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0f]);
  }
  return hex;
}

bool LooksLikeNetcdf(const std::string& bytes) {
  static const std::string kHdf5Signature("\x89HDF\r\n\x1a\n", 8);
  return bytes.starts_with("CDF\x01") || bytes.starts_with("CDF\x02") ||
         bytes.starts_with("CDF\x05") || bytes.starts_with(kHdf5Signature);
}

// "+01:00", "+0100", "+01" as seconds east of UTC.
std::optional<int> ZoneOffsetSeconds(const std::string& zone) {
  const bool colon = zone.size() == 6 && zone[3] == ':';
  if ((zone.size() != 3 && zone.size() != 5 && !colon) || (zone[0] != '+' && zone[0] != '-'))
    return std::nullopt;
  const std::string digits = colon ? zone.substr(1, 2) + zone.substr(4) : zone.substr(1);
  if (!std::all_of(digits.begin(), digits.end(), IsDigit))
    return std::nullopt;
  const int hours = std::stoi(digits.substr(0, 2));
  const int minutes = digits.size() > 2 ? std::stoi(digits.substr(2)) : 0;
  if (minutes >= kSecondsPerMinute)
    return std::nullopt;
  const int seconds = hours * kSecondsPerHour + minutes * kSecondsPerMinute;
  return zone[0] == '-' ? -seconds : seconds;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (IsSpace(text.back()) || text.back() == '"'))
    text.pop_back();
  size_t start = 0;
  while (start < text.size() && (IsSpace(text[start]) || text[start] == '"'))
    ++start;
  return text.substr(start);
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream stream(line);
  for (std::string field; std::getline(stream, field, ',');)
    fields.push_back(Trimmed(field));
  if (!line.empty() && line.back() == ',')
    fields.emplace_back();
  return fields;
}

// An empty field or NaN: no reading at that time, which leaves a gap.
bool IsMissing(const std::string& field) {
  std::string lower = field;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.empty() || lower == "nan";
}

bool ParseWholeNumber(const std::string& field, double* value) {
  const char* begin = field.data();
  const char* end = begin + field.size();
  if (field.empty() || DecimalExtent(begin, end) != field.size())
    return false;
  *value = ReadDecimal(begin, end);
  return std::isfinite(*value);
}

class CsvRecordReader {
 public:
  CsvRecordReader(const std::string& shown, double scale, double offset, AirPressureRecord* record,
                  std::string* error)
      : shown_(shown), scale_(scale), offset_(offset), record_(*record), error_(*error) {}

  bool Read(const std::string& text) {
    std::istringstream stream(text);
    int64_t number = 0;
    for (std::string line; std::getline(stream, line);) {
      ++number;
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      if (Trimmed(line).empty() || line.front() == '#')
        continue;
      if (!(timeColumn_ ? Row(number, Fields(line)) : Header(number, Fields(line))))
        return false;
    }
    if (!timeColumn_)
      return Fail(0, "has no header line naming \"time\" and \"air_pressure\"");
    return true;
  }

 private:
  bool Header(int64_t number, const std::vector<std::string>& fields) {
    const auto time = std::find(fields.begin(), fields.end(), kTimeColumn);
    const auto pressure = std::find(fields.begin(), fields.end(), kPressureColumn);
    if (time == fields.end() || pressure == fields.end())
      return Fail(number, std::string("the header names no \"") +
                              (time == fields.end() ? kTimeColumn : kPressureColumn) +
                              "\" column: it needs \"time\" and \"air_pressure\", such as "
                              "time,air_pressure");
    timeColumn_ = static_cast<size_t>(time - fields.begin());
    pressureColumn_ = static_cast<size_t>(pressure - fields.begin());
    return true;
  }

  bool Row(int64_t number, const std::vector<std::string>& fields) {
    if (fields.size() <= std::max(*timeColumn_, pressureColumn_))
      return Fail(number, "has " + std::to_string(fields.size()) +
                              " fields, fewer than the header's columns");
    const std::string& timeField = fields[*timeColumn_];
    const std::optional<double> time = ParseIsoWithZone(timeField);
    if (!time)
      return Fail(number, Quoted(timeField) +
                              " is not an ISO 8601 time with its zone, such as "
                              "2026-03-01T12:00:00Z or 2026-03-01T13:00:00+01:00");
    const std::string& pressureField = fields[pressureColumn_];
    if (IsMissing(pressureField))
      return true;
    double pressure = 0.0;
    if (!ParseWholeNumber(pressureField, &pressure))
      return Fail(number, "air_pressure " + Quoted(pressureField) + " is not a number");
    if (!record_.times.empty() && !(*time > record_.times.back()))
      return Fail(number, timeField +
                              " is not after the time of the reading before: the record "
                              "must be in time order, each time once");
    record_.times.push_back(*time);
    record_.pascals.push_back(scale_ * pressure + offset_);
    return true;
  }

  bool Fail(int64_t number, const std::string& what) {
    error_ = Quoted(shown_) + (number > 0 ? " line " + std::to_string(number) : "") + ": " + what;
    return false;
  }

  const std::string& shown_;
  double scale_;
  double offset_;
  AirPressureRecord& record_;
  std::string& error_;
  std::optional<size_t> timeColumn_;
  size_t pressureColumn_ = 0;
};

class NetcdfRecordReader {
 public:
  NetcdfRecordReader(const std::string& path, AirPressureRecord* record, std::string* error)
      : path_(path), record_(*record), error_(*error) {}

  bool Read() {
    std::vector<NetcdfSeries> series;
    if (!ReadNetcdfSeries(path_, &series, &error_))
      return false;
    const NetcdfSeries* pressure = nullptr;
    for (const NetcdfSeries& each : series) {
      if (each.Text("standard_name") == kPressureColumn) {
        if (pressure != nullptr)
          return Fail("has two variables whose standard_name is \"air_pressure\" (" +
                      Quoted(pressure->name) + " and " + Quoted(each.name) + "): keep one");
        pressure = &each;
      }
    }
    if (pressure == nullptr)
      return Fail("has no variable whose standard_name is \"air_pressure\"");
    const auto time = std::find_if(series.begin(), series.end(), [&](const NetcdfSeries& each) {
      return each.name == kTimeColumn && each.dimension == pressure->dimension;
    });
    if (time == series.end())
      return Fail(Quoted(pressure->name) + " runs along " + Quoted(pressure->dimension) +
                  ", but no variable \"time\" does: the record needs a time coordinate");
    return Take(*time, *pressure);
  }

 private:
  bool Take(const NetcdfSeries& time, const NetcdfSeries& pressure) {
    double timeScale = 1.0;
    double timeOffset = 0.0;
    const std::string calendar = time.Text("calendar");
    if (!calendar.empty() && calendar != "standard" && calendar != "gregorian" &&
        calendar != "proleptic_gregorian")
      return Fail("variable \"time\" has calendar " + Quoted(calendar) +
                  ": only the standard calendar is read");
    if (!LinearUnitConversion(time.Text("units"), kUnixEpochSeconds, &timeScale, &timeOffset))
      return Fail("variable \"time\" has units " + Quoted(time.Text("units")) +
                  ", not a time since an epoch such as \"seconds since 1970-01-01T00:00:00Z\"");
    double scale = 1.0;
    double offset = 0.0;
    const std::string units = pressure.Text("units");
    if (!LinearUnitConversion(units, "Pa", &scale, &offset))
      return Fail("variable " + Quoted(pressure.name) + " has units " + Quoted(units) +
                  ", not a pressure such as hPa or Pa");
    double packedScale = 1.0;
    double packedOffset = 0.0;
    pressure.Number("scale_factor", &packedScale);
    pressure.Number("add_offset", &packedOffset);
    for (size_t i = 0; i < time.values.size(); ++i) {
      const double stored = pressure.values[i];
      if (Missing(time, time.values[i]) || Missing(pressure, stored))
        continue;
      const double utc = timeScale * time.values[i] + timeOffset;
      if (!record_.times.empty() && !(utc > record_.times.back()))
        return Fail("time " + std::to_string(i) + " (" + IsoUtcSeconds(utc) +
                    ") is not after the one before: the record must be in time order");
      record_.times.push_back(utc);
      record_.pascals.push_back(scale * (stored * packedScale + packedOffset) + offset);
    }
    return true;
  }

  static bool Missing(const NetcdfSeries& series, double value) {
    double fill = 0.0;
    return !std::isfinite(value) || (series.Number("_FillValue", &fill) && value == fill) ||
           (series.Number("missing_value", &fill) && value == fill);
  }

  bool Fail(const std::string& what) {
    error_ = Quoted(path_) + ": " + what;
    return false;
  }

  const std::string& path_;
  AirPressureRecord& record_;
  std::string& error_;
};

}  // namespace

std::optional<double> AirPressureRecord::At(double utc) const {
  if (times.empty() || utc < times.front() || utc > times.back())
    return std::nullopt;
  const size_t after =
      static_cast<size_t>(std::upper_bound(times.begin(), times.end(), utc) - times.begin());
  if (after == 0 || times[after - 1] == utc)
    return pascals[after - 1];
  const double from = times[after - 1];
  const double to = times[after];
  if (to - from > kLongestBarometerGapSeconds)
    return std::nullopt;
  const double share = (utc - from) / (to - from);
  return pascals[after - 1] + share * (pascals[after] - pascals[after - 1]);
}

std::optional<double> ParseIsoWithZone(const std::string& text) {
  if (text.ends_with("Z"))
    return ParseIsoUtc(text);
  const size_t zone = text.find_first_of("+-", kIsoSecondsEnd);
  if (zone == std::string::npos)
    return std::nullopt;
  const std::optional<int> east = ZoneOffsetSeconds(text.substr(zone));
  const std::optional<double> wall = ParseIsoUtc(text.substr(0, zone) + "Z");
  if (!east || !wall)
    return std::nullopt;
  return *wall - *east;
}

bool ReadAirPressureCsv(const std::string& text, const std::string& shown, const std::string& units,
                        AirPressureRecord* record, std::string* error) {
  double scale = 1.0;
  double offset = 0.0;
  if (!LinearUnitConversion(units, "Pa", &scale, &offset)) {
    *error = Quoted(shown) + ": its units " + Quoted(units) +
             " (--barometer-units, or the deployment file's barometer_units) are not a "
             "pressure: give one such as hPa, mbar or kPa";
    return false;
  }
  return CsvRecordReader(shown, scale, offset, record, error).Read(text);
}

bool ReadAirPressureRecord(const std::string& path, const std::string& csvUnits,
                           AirPressureRecord* record, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file.is_open() || file.bad()) {
    *error = Quoted(path) + ": the barometer record cannot be read: " +
             std::error_code(errno, std::generic_category()).message();
    return false;
  }
  *record = {};
  record->name = std::filesystem::path(path).filename().string();
  record->sha256 = Sha256Hex(bytes);
  const bool read = LooksLikeNetcdf(bytes)
                        ? NetcdfRecordReader(path, record, error).Read()
                        : ReadAirPressureCsv(bytes, path, csvUnits, record, error);
  if (read && record->times.empty()) {
    *error = Quoted(path) + ": the barometer record holds no air pressure";
    return false;
  }
  return read;
}

bool ReadingsPerPascal(const std::string& units, double* perPascal, std::string* error) {
  double offset = 0.0;
  if (LinearUnitConversion("Pa", units, perPascal, &offset) && offset == 0.0)
    return true;
  *error = "the air pressure is taken off the readings in their own units, and " + Quoted(units) +
           " is not a pressure: give --units with the readings' pressure unit, such as dbar";
  return false;
}

std::vector<Attribute> BarometerAttributes(const AirPressureRecord& record,
                                           const std::string& readingUnits) {
  return {
      {"barometer_file", record.name},
      {"barometer_sha256", record.sha256},
      {"comment",
       "sea pressure: the gauge's reading less the air pressure of the barometer record " +
           Quoted(record.name) +
           ", interpolated linearly to each reading's time and converted "
           "to " +
           Quoted(readingUnits) +
           "; a reading before or after the record, or in a gap of it longer than 3 hours, is "
           "left as read and flagged 4 (bad)"},
  };
}

std::string BarometerText(const AirPressureRecord& record, const BarometerCounts& counts) {
  std::string text = "took the air pressure of " + Quoted(record.name) + " off " +
                     std::to_string(counts.corrected) + " readings";
  if (counts.uncorrected > 0)
    text += "; " + std::to_string(counts.uncorrected) +
            " before or after its record, or in a gap of it longer than 3 hours, are left as "
            "read and flagged 4 (bad)";
  return text;
}

BarometerCorrection::BarometerCorrection(const ScienceSettings& settings, double readingsPerPascal,
                                         ReadingListener* downstream)
    : axis_(settings.zone, settings.clock),
      clockOffset_(settings.clock.offset),
      record_(settings.barometer),
      perPascal_(readingsPerPascal),
      downstream_(downstream) {}

void BarometerCorrection::OnReadings(const ReadingLine& line) {
  double stampUtc = 0.0;
  if (!axis_.LineStampUtc(line, &stampUtc)) {
    // No time: the outputs leave them out.
    downstream_->OnReadings(line);
    return;
  }
  const size_t count = static_cast<size_t>(line.count);
  values_.assign(line.values, line.values + count);
  if (line.notes != nullptr)
    notes_.assign(line.notes, line.notes + count);
  else
    notes_.assign(count, ReadingNote::kPlain);
  const int64_t uncorrectedBefore = counts_.uncorrected;
  for (size_t i = 0; i < count; ++i) {
    const std::optional<double> air =
        record_->At(ReadingTime(line, stampUtc, static_cast<int>(i)) - clockOffset_);
    if (air) {
      values_[i] -= *air * perPascal_;
      ++counts_.corrected;
      continue;
    }
    ++counts_.uncorrected;
    if (notes_[i] != ReadingNote::kNotANumber)
      notes_[i] = ReadingNote::kNoAirPressure;
  }
  ReadingLine corrected = line;
  corrected.values = values_.data();
  // A line that is all plain still says so with no notes.
  corrected.notes =
      line.notes != nullptr || counts_.uncorrected > uncorrectedBefore ? notes_.data() : nullptr;
  downstream_->OnReadings(corrected);
}

void BarometerCorrection::OnFillers(int64_t line, int64_t byte, int count) {
  downstream_->OnFillers(line, byte, count);
}
