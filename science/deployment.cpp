#include "science/deployment.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "qc/settings.h"
#include "science/standard_names.h"
#include "science/trimming.h"
#include "science/units.h"

namespace {

using Json = nlohmann::json;

constexpr std::streamsize kMostDeploymentBytes = 1 << 20;
// Degrees north either way; degrees east from -180, up to 360 for the
// 0..360 convention.
constexpr double kLatitudeLimit = 90.0;
constexpr double kLowestLongitude = -180.0;
constexpr double kLongitudeLimit = 360.0;
constexpr uint64_t kLargestSigned = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

struct Where {
  int64_t line = 1;
  int64_t column = 1;
};

// The line and column of the byte nlohmann-json stopped at (counted from 1).
Where WhereInText(const std::string& text, size_t byte) {
  Where where;
  const size_t end = std::min(byte > 0 ? byte - 1 : 0, text.size());
  for (size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++where.line;
      where.column = 1;
    } else {
      ++where.column;
    }
  }
  return where;
}

// nlohmann-json's message without its "[json.exception.parse_error.101] parse
// error at line 1, column 2: " preamble, which repeats what we say.
std::string ParseMessage(const Json::parse_error& failure) {
  std::string message = failure.what();
  const size_t colon = message.rfind(": ");
  return colon == std::string::npos ? message : message.substr(colon + 2);
}

// nlohmann-json reads a whole number beyond 64 bits as a double, losing
// its digits, and throws out_of_range for one beyond a double: this pass
// finds both before the document is read, with the key they stand under.
class NumberCheck {
 public:
  NumberCheck(const std::string& text, const std::string& shown) : text_(text), shown_(shown) {}

  bool null() { return true; }
  bool boolean(bool) { return true; }
  bool number_integer(Json::number_integer_t) { return true; }
  bool number_unsigned(Json::number_unsigned_t) { return true; }
  bool number_float(Json::number_float_t, const Json::string_t& written) {
    if (written.find_first_of(".eE") != std::string::npos)
      return true;
    problem_ = shown_ + ": " + Under() + written +
               ": a whole number beyond what a 64-bit integer holds "
               "(-9223372036854775808 to 18446744073709551615)";
    return false;
  }
  bool string(Json::string_t&) { return true; }
  bool binary(Json::binary_t&) { return true; }
  bool start_object(size_t) { return true; }
  bool key(Json::string_t& name) {
    key_ = name;
    return true;
  }
  bool end_object() { return true; }
  bool start_array(size_t) { return true; }
  bool end_array() { return true; }
  // Syntax errors are told by the document's own read, which says more.
  bool parse_error(size_t byte, const std::string& token, const Json::exception& failure) {
    if (failure.id != kNumberOverflow)
      return false;
    const Where where = WhereInText(text_, byte);
    problem_ = shown_ + ":" + std::to_string(where.line) + ":" + std::to_string(where.column) +
               ": " + Under() + token + ": a number beyond what a double holds (about 1.8e308)";
    return false;
  }

  // Empty when every number fits.
  const std::string& problem() const { return problem_; }

 private:
  static constexpr int kNumberOverflow = 406;  // nlohmann-json's out_of_range.406

  std::string Under() const { return key_.empty() ? "" : "\"" + key_ + "\" is "; }

  const std::string& text_;
  const std::string& shown_;
  std::string key_;  // the last key read
  std::string problem_;
};

// The `qc` section: the thresholds of each variable's tests, under the
// names of the field's QC configuration files. Every test needs all of its
// thresholds; a name we do not know is refused rather than left untested.
class QcSectionReader {
 public:
  QcSectionReader(const std::string& shown, QcSettings* settings, std::string* error)
      : shown_(shown), settings_(*settings), error_(*error) {}

  bool Read(const Json& section) {
    QcSettings read;
    if (!section.is_object())
      return Fail("qc", "needs an object of variables (reading, hm0, tp) and their tests");
    for (const auto& [variable, tests] : section.items()) {
      const std::string where = "qc." + variable;
      if (!tests.is_object())
        return Fail(where, "needs an object of tests");
      bool ok = false;
      if (variable == "reading")
        ok = ReadingTests(where, tests, &read.reading);
      else if (variable == "hm0")
        ok = StatisticTests(where, tests, &read.hm0);
      else if (variable == "tp")
        ok = StatisticTests(where, tests, &read.tp);
      else
        return Fail(where, "is not one of reading, hm0 and tp");
      if (!ok)
        return false;
    }
    settings_ = read;
    return true;
  }

 private:
  bool ReadingTests(const std::string& where, const Json& tests, VariableTests* into) {
    for (const auto& [name, test] : tests.items()) {
      const std::string at = where + "." + name;
      bool ok = false;
      if (name == "gross_range_test")
        ok = GrossRange(at, test, &into->grossRange);
      else if (name == "spike_test")
        ok = Spike(at, test, &into->spike);
      else if (name == "rate_of_change_test")
        ok = RateOfChange(at, test, &into->rateOfChange);
      else if (name == "flat_line_test")
        ok = FlatLine(at, test, &into->flatLine);
      else
        return Fail(at,
                    "is not one of gross_range_test, spike_test, rate_of_change_test and "
                    "flat_line_test");
      if (!ok)
        return false;
    }
    return true;
  }

  bool StatisticTests(const std::string& where, const Json& tests,
                      std::optional<GrossRangeThresholds>* into) {
    for (const auto& [name, test] : tests.items()) {
      if (name != "gross_range_test")
        return Fail(where + "." + name, "is not a test of the statistics (gross_range_test)");
      if (!GrossRange(where + "." + name, test, into))
        return false;
    }
    return true;
  }

  bool GrossRange(const std::string& at, const Json& test,
                  std::optional<GrossRangeThresholds>* into) {
    GrossRangeThresholds thresholds;
    return Keys(at, test, {"fail_span", "suspect_span"}) &&
           Span(at + ".fail_span", test["fail_span"], &thresholds.fail) &&
           Span(at + ".suspect_span", test["suspect_span"], &thresholds.suspect) &&
           Usable(at, thresholds, into);
  }

  bool Spike(const std::string& at, const Json& test, std::optional<SpikeThresholds>* into) {
    SpikeThresholds thresholds;
    return Keys(at, test, {"suspect_threshold", "fail_threshold"}) &&
           Number(at, test, "suspect_threshold", &thresholds.suspect) &&
           Number(at, test, "fail_threshold", &thresholds.fail) && Usable(at, thresholds, into);
  }

  bool RateOfChange(const std::string& at, const Json& test,
                    std::optional<RateOfChangeThresholds>* into) {
    RateOfChangeThresholds thresholds;
    return Keys(at, test, {"threshold"}) && Number(at, test, "threshold", &thresholds.threshold) &&
           Usable(at, thresholds, into);
  }

  bool FlatLine(const std::string& at, const Json& test, std::optional<FlatLineThresholds>* into) {
    FlatLineThresholds thresholds;
    return Keys(at, test, {"tolerance", "suspect_threshold", "fail_threshold"}) &&
           Number(at, test, "tolerance", &thresholds.tolerance) &&
           Number(at, test, "suspect_threshold", &thresholds.suspectSeconds) &&
           Number(at, test, "fail_threshold", &thresholds.failSeconds) &&
           Usable(at, thresholds, into);
  }

  // `test` is an object of exactly `names`.
  bool Keys(const std::string& at, const Json& test, std::initializer_list<const char*> names) {
    std::string list;
    for (const char* name : names)
      list += (list.empty() ? "" : ", ") + std::string(name);
    if (!test.is_object())
      return Fail(at, "needs an object of " + list);
    for (const char* name : names) {
      if (!test.contains(name))
        return Fail(at, "needs " + list + "; " + name + " is missing");
    }
    for (const auto& [name, value] : test.items()) {
      if (std::find_if(names.begin(), names.end(),
                       [&](const char* known) { return name == known; }) == names.end())
        return Fail(at + "." + name, "is not one of " + list);
    }
    return true;
  }

  bool Number(const std::string& at, const Json& test, const char* name, double* into) {
    const Json& value = test[name];
    if (!value.is_number())
      return Fail(at + "." + name, "needs a number");
    *into = value.get<double>();
    return true;
  }

  bool Span(const std::string& at, const Json& value, QcSpan* into) {
    if (!value.is_array() || value.size() != 2 || !value[0].is_number() || !value[1].is_number())
      return Fail(at, "needs two numbers, [low, high]");
    into->low = value[0].get<double>();
    into->high = value[1].get<double>();
    return true;
  }

  template <typename Thresholds>
  bool Usable(const std::string& at, const Thresholds& thresholds,
              std::optional<Thresholds>* into) {
    if (const std::string problem = ThresholdProblem(thresholds); !problem.empty())
      return Fail(at, problem);
    *into = thresholds;
    return true;
  }

  bool Fail(const std::string& key, const std::string& what) {
    error_ = shown_ + ": \"" + key + "\" " + what;
    return false;
  }

  const std::string& shown_;
  QcSettings& settings_;
  std::string& error_;
};

class DeploymentReader {
 public:
  DeploymentReader(const std::string& shown, ScienceSettings* settings, std::string* error)
      : shown_(shown), settings_(*settings), error_(*error) {}

  bool Read(const Json& document) {
    if (!document.is_object())
      return Fail("", "the deployment file holds one JSON object of keys and values");
    for (const auto& [key, value] : document.items()) {
      if (!ReadKey(key, value))
        return false;
    }
    if (latitude_.is_null() != longitude_.is_null()) {
      const bool latitudeGiven = !latitude_.is_null();
      return Fail("", std::string("has \"") + (latitudeGiven ? "latitude" : "longitude") +
                          "\" without \"" + (latitudeGiven ? "longitude" : "latitude") +
                          "\": give both, or neither");
    }
    if (!latitude_.is_null())
      settings_.position = Position{latitude_.get<double>(), longitude_.get<double>()};
    if (settings_.deployed && settings_.recovered && *settings_.recovered <= *settings_.deployed)
      return Fail("recovered", "is not after \"deployed\"");
    return true;
  }

 private:
  bool ReadKey(const std::string& key, const Json& value) {
    if (key == "title" || key == "summary" || key == "site")
      return Text(key, key, value);
    if (key == "instrument_serial")
      return Text(key, "instrument_serial_number", value);
    if (key == "latitude")
      return Coordinate(key, value, kLatitudeLimit, &latitude_);
    if (key == "longitude")
      return Coordinate(key, value, kLongitudeLimit, &longitude_);
    if (key == "water_depth" || key == "sensor_height")
      return Metres(key, value);
    if (key == "creator")
      return Creator(value);
    if (key == "publisher")
      return Party(key, value);
    if (key == "units")
      return ReadingUnitsKey(value);
    if (key == "standard_name")
      return StandardNameKey(value);
    if (key == "deployed")
      return Time(key, value, &settings_.deployed);
    if (key == "recovered")
      return Time(key, value, &settings_.recovered);
    if (key == "trim_depth")
      return TrimDepth(value);
    if (key == "qc")
      return QcSectionReader(shown_, &settings_.qc, &error_).Read(value);
    if (key == "barometer" || key == "barometer_units")
      return Barometer(key, value);
    if (EndsWithUnits(key) && !UnitsValue(key, value))
      return false;
    return Other(key, value);
  }

  // The readings' own units and standard name, as --units and
  // --standard-name give them; the later of a file and an option wins.
  bool ReadingUnitsKey(const Json& value) {
    if (!UnitsValue("units", value))
      return false;
    settings_.units = value.get<std::string>();
    return true;
  }

  bool StandardNameKey(const Json& value) {
    if (!value.is_string())
      return Fail("standard_name", "needs a CF standard name in double quotes");
    const std::string name = value.get<std::string>();
    if (!FindStandardName(name))
      return Fail("standard_name", StandardNameProblem("", name, ""));
    settings_.standardName = name;
    return true;
  }

  static bool EndsWithUnits(const std::string& key) {
    const std::string suffix = "_units";
    return key.size() > suffix.size() &&
           key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0;
  }

  bool UnitsValue(const std::string& key, const Json& value) {
    if (!value.is_string())
      return Fail(key, "needs a unit in double quotes, such as \"m\" or \"dbar\"");
    std::string problem;
    if (CheckUnit(value.get<std::string>(), &problem) != UnitCheck::kValid)
      return Fail(key, "is no unit: " + problem);
    return true;
  }

  // The air pressure record, relative to the deployment file's folder, and
  // the units of a CSV record.
  bool Barometer(const std::string& key, const Json& value) {
    if (key == "barometer_units") {
      if (!UnitsValue(key, value))
        return false;
      settings_.barometerUnits = value.get<std::string>();
      return true;
    }
    if (!value.is_string() || value.get<std::string>().empty())
      return Fail(key, "needs the file name of the air pressure record in double quotes");
    const std::filesystem::path record(value.get<std::string>());
    settings_.barometerPath =
        (record.is_absolute() ? record : std::filesystem::path(shown_).parent_path() / record)
            .string();
    settings_.barometer.reset();
    return true;
  }

  bool Text(const std::string& key, const std::string& name, const Json& value) {
    if (!value.is_string())
      return Fail(key, "needs text in double quotes");
    SetAttribute(&settings_.attributes, name, value.get<std::string>());
    return true;
  }

  bool Time(const std::string& key, const Json& value, std::optional<double>* into) {
    const std::optional<double> time =
        value.is_string() ? ParseIsoUtc(value.get<std::string>()) : std::nullopt;
    if (!time)
      return Fail(key, "needs a UTC time in ISO 8601, such as \"2026-03-01T12:00:00Z\"");
    *into = time;
    return true;
  }

  // As --trim-depth gives it; the later of a file and the option wins.
  bool TrimDepth(const Json& value) {
    if (!value.is_number() || !(value.get<double>() > 0.0))
      return Fail("trim_depth", "needs a positive number of metres");
    settings_.trimDepth = value.get<double>();
    return true;
  }

  bool Coordinate(const std::string& key, const Json& value, double limit, Json* into) {
    if (!value.is_number())
      return Fail(key, "needs a number of degrees");
    const double degrees = value.get<double>();
    const double lowest = key == "longitude" ? kLowestLongitude : -limit;
    if (degrees < lowest || degrees > limit)
      return Fail(key, "is " + value.dump() + ", outside " + Json(lowest).dump() + " to " +
                           Json(limit).dump() + " degrees");
    *into = value;
    return true;
  }

  bool Metres(const std::string& key, const Json& value) {
    if (!value.is_number())
      return Fail(key, "needs a number of metres");
    SetAttribute(&settings_.attributes, key, value.get<double>());
    SetAttribute(&settings_.attributes, key + "_units", std::string("m"));
    return true;
  }

  bool Creator(const Json& value) { return Party("creator", value); }

  // A creator or publisher: a name, or an object of the parts data centres
  // ask for (creator_name, publisher_email, ...).
  bool Party(const std::string& key, const Json& value) {
    static const char* const kParts[] = {"name", "email",   "url",   "institution",
                                         "type", "country", "sector"};
    if (value.is_string()) {
      SetAttribute(&settings_.attributes, key + "_name", value.get<std::string>());
      return true;
    }
    if (!value.is_object())
      return Fail(key,
                  "needs a name, or an object of name, email, url, institution, type, country "
                  "and sector");
    for (const auto& [part, text] : value.items()) {
      if (std::find(std::begin(kParts), std::end(kParts), part) == std::end(kParts))
        return Fail(key + "." + part,
                    "is not one of name, email, url, institution, type, country and sector");
      if (!Text(key + "." + part, key + "_" + part, text))
        return false;
    }
    return true;
  }

  bool Other(const std::string& key, const Json& value) {
    if (const std::string problem = AttributeNameProblem(key); !problem.empty())
      return Fail("", problem);
    if (IsComputedAttribute(key))
      return Fail(key,
                  "is an attribute the converter works out itself; the deployment file cannot "
                  "replace it (--attr can)");
    if (value.is_string())
      SetAttribute(&settings_.attributes, key, value.get<std::string>());
    else if (value.is_number_unsigned() && value.get<uint64_t>() > kLargestSigned)
      SetAttribute(&settings_.attributes, key, value.get<uint64_t>());
    else if (value.is_number_integer())
      SetAttribute(&settings_.attributes, key, value.get<int64_t>());
    else if (value.is_number())
      SetAttribute(&settings_.attributes, key, value.get<double>());
    else if (value.is_boolean())
      SetAttribute(&settings_.attributes, key, std::string(value.get<bool>() ? "true" : "false"));
    else
      return Fail(key, "needs text, a number or true/false to become an attribute");
    return true;
  }

  bool Fail(const std::string& key, const std::string& what) {
    error_ = shown_ + ": " + (key.empty() ? "" : "\"" + key + "\" ") + what;
    return false;
  }

  const std::string& shown_;
  ScienceSettings& settings_;
  std::string& error_;
  Json latitude_;
  Json longitude_;
};

}  // namespace

bool ReadDeploymentText(const std::string& text, const std::string& shown,
                        ScienceSettings* settings, std::string* error) {
  NumberCheck numbers(text, shown);
  Json::sax_parse(text, &numbers);
  if (!numbers.problem().empty()) {
    *error = numbers.problem();
    return false;
  }
  Json document;
  try {
    document = Json::parse(text);
  } catch (const Json::parse_error& failure) {
    const Where where = WhereInText(text, failure.byte);
    *error = shown + ":" + std::to_string(where.line) + ":" + std::to_string(where.column) +
             ": not valid JSON: " + ParseMessage(failure);
    return false;
  }
  // Read into a copy: a file refused half-way changes nothing.
  ScienceSettings read = *settings;
  if (!DeploymentReader(shown, &read, error).Read(document))
    return false;
  *settings = std::move(read);
  return true;
}

bool ReadDeploymentFile(const std::string& path, ScienceSettings* settings, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot read the deployment file \"" + path + "\"";
    return false;
  }
  std::ostringstream text;
  char block[4096];
  std::streamsize total = 0;
  while (file.read(block, sizeof block) || file.gcount() > 0) {
    total += file.gcount();
    if (total > kMostDeploymentBytes) {
      *error = path + ": a deployment file this large (over 1 MiB) is not one";
      return false;
    }
    text.write(block, file.gcount());
  }
  if (file.bad()) {
    *error = "cannot read the deployment file \"" + path + "\"";
    return false;
  }
  return ReadDeploymentText(text.str(), path, settings, error);
}

bool ParseAttributeOption(const std::string& option, Attribute* attribute, std::string* error) {
  const size_t equals = option.find('=');
  const std::string key = option.substr(0, equals);
  if (equals == std::string::npos || key.empty()) {
    *error = "--attr takes KEY=VALUE, not \"" + option + "\"";
    return false;
  }
  if (const std::string problem = AttributeNameProblem(key); !problem.empty()) {
    *error = "--attr: " + problem;
    return false;
  }
  attribute->name = key;
  attribute->value = option.substr(equals + 1);
  return true;
}

namespace {

// The whole of `text` as one finite number.
bool ReadDegrees(const std::string& text, double* degrees) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
    return false;
  char* end = nullptr;
  *degrees = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(*degrees);
}

}  // namespace

bool ParsePositionOption(const std::string& option, Position* position, std::string* error) {
  const size_t comma = option.find(',');
  double latitude = 0.0;
  double longitude = 0.0;
  if (comma == std::string::npos || !ReadDegrees(option.substr(0, comma), &latitude) ||
      !ReadDegrees(option.substr(comma + 1), &longitude)) {
    *error =
        "--position takes LAT,LON in decimal degrees, such as 54.18,7.89, not \"" + option + "\"";
    return false;
  }
  if (latitude < -kLatitudeLimit || latitude > kLatitudeLimit) {
    *error = "--position: the latitude " + option.substr(0, comma) + " is outside -90 to 90";
    return false;
  }
  if (longitude < kLowestLongitude || longitude > kLongitudeLimit) {
    *error = "--position: the longitude " + option.substr(comma + 1) + " is outside -180 to 360";
    return false;
  }
  *position = Position{latitude, longitude};
  return true;
}
