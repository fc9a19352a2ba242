#include "science/metadata.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "convert/status.h"
#include "netcdf/netcdf_file.h"
#include "science/barometer.h"
#include "science/discovery_metadata.h"
#include "science/standard_names.h"

namespace {

constexpr const char* kSoftwareName = "zorqconvert";

std::string Plain(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  double back = 0.0;
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::sscanf(text, "%lf", &back) == 1 && back == value)
      break;
  }
  return text;
}

// "not-a-number" -> "not_a_number"
std::string AttributeWord(const char* name) {
  std::string word = name;
  std::replace(word.begin(), word.end(), '-', '_');
  return word;
}

std::string KindWord(const ScienceSettings& settings) {
  return settings.gauge ? "wave gauge" : "wave logger";
}

std::string CorrectionText(const ScienceSettings& settings) {
  if (settings.gauge || !settings.correction.on)
    return "none";
  return "reading = " + Plain(settings.correction.gain) + " * value + " +
         Plain(settings.correction.offset);
}

void AddHeaderValues(const ScienceSettings& settings, const ConversionResult& result,
                     std::vector<Attribute>* list) {
  if (settings.gauge) {
    const GaugeHeaderValues& gauge = result.gauge;
    SetAttribute(list, "sample_rate_hz", int64_t{gauge.sampleRate});
    SetAttribute(list, "burst_length_minutes", int64_t{gauge.values.burstLength});
    SetAttribute(list, "burst_interval_minutes", int64_t{gauge.values.burstInterval});
    SetAttribute(list, "new_file_interval_days", int64_t{gauge.values.newFileInterval});
    SetAttribute(list, "part_variant", int64_t{gauge.values.partVariant});
    SetAttribute(list, "logger_type_code", int64_t{gauge.values.loggerTypeCode});
    char start[32];
    const DateStamp& date = gauge.date;
    std::snprintf(start, sizeof start, "%04d-%02d-%02dT%02d:%02d:%02d", date.year, date.month,
                  date.day, date.hour, date.minute, date.second);
    SetAttribute(list, "header_local_time", std::string(start));
    return;
  }
  const LoggerHeaderValues& logger = result.logger;
  SetAttribute(list, "sample_rate_hz", int64_t{logger.sampleRate});
  SetAttribute(list, "range_code", int64_t{logger.rangeCode});
  SetAttribute(list, "staff_code", int64_t{logger.staffCode});
  SetAttribute(list, "staff_scale", static_cast<double>(logger.staffScale));
}

void AddOutcome(const ConversionResult& result, std::vector<Attribute>* list) {
  SetAttribute(list, "conversion_status", int64_t{result.status});
  SetAttribute(list, "conversion_message", std::string(StatusMessage(result.status)));
  const ConversionReport& report = result.report;
  if (report.failed && !report.failure.reason.empty()) {
    SetAttribute(list, "conversion_failure",
                 "line " + std::to_string(report.failure.line) + ": " + report.failure.reason);
  }
  for (int kind = 0; kind < kAnomalyKinds; ++kind) {
    const char* name = AnomalyKindName(static_cast<AnomalyKind>(kind));
    SetAttribute(list, "anomaly_count_" + AttributeWord(name),
                 report.anomalyCounts[static_cast<size_t>(kind)]);
  }
}

void AddPosition(const Position& position, std::vector<Attribute>* list) {
  SetAttribute(list, "geospatial_lat_min", position.latitude);
  SetAttribute(list, "geospatial_lat_max", position.latitude);
  SetAttribute(list, "geospatial_lat_units", std::string("degrees_north"));
  SetAttribute(list, "geospatial_lon_min", position.longitude);
  SetAttribute(list, "geospatial_lon_max", position.longitude);
  SetAttribute(list, "geospatial_lon_units", std::string("degrees_east"));
}

// The dump with its SHA-256, or each dump of a merge with its own.
std::string SourceText(const ScienceSettings& settings, const RunFacts& run) {
  const auto described = [](const std::string& name, const std::string& sha256) {
    return sha256.empty() ? name : name + " (SHA-256 " + sha256 + ")";
  };
  if (run.sources.empty())
    return described(settings.sourceName, run.sourceSha256);
  std::string text;
  for (const RunFacts::Source& source : run.sources)
    text += (text.empty() ? "" : "; ") + described(source.name, source.sha256);
  return text;
}

std::string History(const ScienceSettings& settings, const RunFacts& run) {
  std::string text = run.dateCreated + " " + settings.invocation + ": converted " +
                     settings.sourceName + ", its clock read in the time zone " +
                     settings.zone.name() + "; clock correction: " + settings.clock.Describe();
  return text;
}

}  // namespace

void SetAttribute(std::vector<Attribute>* list, const std::string& name, AttributeValue value) {
  for (Attribute& attribute : *list) {
    if (attribute.name == name) {
      attribute.value = std::move(value);
      return;
    }
  }
  list->push_back({name, std::move(value)});
}

bool IsNetcdfName(const std::string& name) {
  if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_'))
    return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '-' ||
           c == '@';
  });
}

std::string AttributeNameProblem(const std::string& name) {
  if (name.empty())
    return "an attribute needs a name";
  const std::string shown = "\"" + name + "\"";
  if (name[0] == '_')
    return shown +
           " is reserved: names beginning with \"_\" belong to the NetCDF and HDF5 libraries "
           "(_NCProperties, _IsNetcdf4, _FillValue, ...)";
  if (!std::isalpha(static_cast<unsigned char>(name[0])) || !IsNetcdfName(name))
    return shown +
           " cannot name an attribute: use letters, digits and underscores, beginning with a "
           "letter";
  if (name.size() > kNetcdfLongestName)
    return "an attribute name of " + std::to_string(name.size()) +
           " characters is too long: NetCDF takes at most " + std::to_string(kNetcdfLongestName);
  return "";
}

namespace {

// Every name GlobalAttributes can write for a dump of this kind, with all
// the facts that add names present.
void AddComputedNames(bool gauge, std::set<std::string>* names) {
  ScienceSettings settings;
  settings.gauge = gauge;
  settings.clock.driftGiven = true;
  settings.position = Position{};
  settings.trimDepth = 1.0;
  ReadingFacts facts;
  facts.Place(0.0);
  ConversionResult result;
  result.report.failed = true;
  result.report.failure.reason = "any";
  RunFacts run;
  run.result = &result;
  for (const Attribute& attribute : GlobalAttributes(settings, facts, run))
    names->insert(attribute.name);
}

// The computed names, taken from GlobalAttributes itself so that a name it
// learns is protected too.
std::set<std::string> ComputedAttributeNames() {
  std::set<std::string> names;
  AddComputedNames(false, &names);
  AddComputedNames(true, &names);
  // Made from the dump's kind and name only as a default, for the
  // deployment file to replace; so are the discovery attributes.
  names.erase("title");
  names.erase("summary");
  std::vector<Attribute> defaults;
  ScienceSettings settings;
  RunFacts run;
  AddDiscoveryAttributes(settings, run, &defaults);
  for (const Attribute& attribute : defaults)
    names.erase(attribute.name);
  // A default only when the dump's rate is known, which it is not here.
  names.erase("time_coverage_resolution");
  return names;
}

}  // namespace

bool IsComputedAttribute(const std::string& name) {
  static const std::set<std::string> kComputed = ComputedAttributeNames();
  return kComputed.count(name) != 0;
}

std::string ReadingUnits(const ScienceSettings& settings) {
  if (!settings.units.empty())
    return settings.units;
  return settings.gauge ? "1" : "m";
}

std::string ReadingStandardName(const ScienceSettings& settings) {
  // Less the air pressure, the readings are the water's pressure alone.
  const std::string& name =
      settings.barometer ? std::string(kSeaPressureStandardName) : settings.standardName;
  if (name.empty() || FitStandardName(name, ReadingUnits(settings)) != StandardNameFit::kFits)
    return "";
  return name;
}

std::string StandardNameWarning(const ScienceSettings& settings) {
  if (settings.standardName.empty() || !ReadingStandardName(settings).empty())
    return "";
  return "the standard name \"" + settings.standardName + "\" is left out: the readings' units \"" +
         ReadingUnits(settings) +
         "\" do not convert to its canonical units (give --units to name theirs)";
}

std::string PositionWarning(const ScienceSettings& settings) {
  if (settings.position)
    return "";
  return "the NetCDF output has no position and so no featureType: a data centre will ask for "
         "one (give --position LAT,LON, or latitude and longitude in the deployment file)";
}

std::string UnitsWarning(const ScienceSettings& settings) {
  if (!settings.gauge || !settings.units.empty())
    return "";
  return "the readings of a gauge dump carry no unit; they are written with units \"1\" "
         "(give --units to name theirs)";
}

std::vector<Attribute> GlobalAttributes(const ScienceSettings& settings, const ReadingFacts& facts,
                                        const RunFacts& run) {
  std::vector<Attribute> list;
  const ClockCorrection& clock = settings.clock;
  SetAttribute(&list, "Conventions", std::string("CF-1.11, ACDD-1.3, IOOS-1.2"));
  // A timeSeries needs its station's position; a file without one is none.
  if (settings.position)
    SetAttribute(&list, "featureType", std::string("timeSeries"));
  SetAttribute(&list, "title",
               "Readings of a " + KindWord(settings) + " from " + settings.sourceName);
  SetAttribute(&list, "summary",
               "Every reading of a " + KindWord(settings) + " dump (From type " +
                   std::to_string(settings.fromType) +
                   ") with its own time in UTC, a quality flag per reading and the temperature "
                   "of each line, converted from the instrument's flash dump.");
  SetAttribute(&list, "history", History(settings, run));
  SetAttribute(&list, "date_created", run.dateCreated);
  SetAttribute(&list, "source", SourceText(settings, run));
  if (facts.placed > 0) {
    SetAttribute(&list, "time_coverage_start", IsoUtcMilliseconds(run.coverageStart));
    SetAttribute(&list, "time_coverage_end", IsoUtcMilliseconds(run.coverageEnd));
    SetAttribute(&list, "time_coverage_duration",
                 IsoDurationSeconds(run.coverageEnd - run.coverageStart));
  }
  SetAttribute(&list, "from_type", int64_t{settings.fromType});
  if (run.result != nullptr) {
    AddHeaderValues(settings, *run.result, &list);
    AddOutcome(*run.result, &list);
  }
  SetAttribute(&list, "readings_before_first_date_stamp", facts.unplaced);
  SetAttribute(&list, "readings_without_time", facts.untimed);
  SetAttribute(&list, "filler_count", facts.fillers);
  SetAttribute(&list, "readings_out_of_time_order", facts.notRising);
  if (settings.deployed) {
    SetAttribute(&list, "time_deployed", IsoUtcMilliseconds(*settings.deployed));
    SetAttribute(&list, "readings_before_deployment", run.trimmed.before);
  }
  if (settings.recovered) {
    SetAttribute(&list, "time_recovered", IsoUtcMilliseconds(*settings.recovered));
    SetAttribute(&list, "readings_after_recovery", run.trimmed.after);
  }
  if (settings.trimDepth) {
    SetAttribute(&list, "trim_depth", *settings.trimDepth);
    SetAttribute(&list, "trim_depth_units", std::string("m"));
    SetAttribute(&list, "readings_shallower_at_start", run.trimmed.shallowBefore);
    SetAttribute(&list, "readings_shallower_at_end", run.trimmed.shallowAfter);
  }
  SetAttribute(&list, "linear_correction", CorrectionText(settings));
  SetAttribute(&list, "dump_clock_time_zone", settings.zone.name());
  SetAttribute(&list, "clock_offset_seconds", clock.offset);
  if (clock.driftGiven)
    SetAttribute(&list, "clock_drift_seconds", clock.drift);
  SetAttribute(&list, "software_name", std::string(kSoftwareName));
  SetAttribute(&list, "software_version", std::string(ZORQ_VERSION));
  if (settings.position)
    AddPosition(*settings.position, &list);
  AddDiscoveryAttributes(settings, run, &list);
  for (const Attribute& attribute : settings.attributes)
    SetAttribute(&list, attribute.name, attribute.value);
  return list;
}

std::string TimeComment(const ScienceSettings& settings) {
  return "Each reading's time is the date stamp before it, read as local time in " +
         settings.zone.name() +
         " and converted to UTC, plus the readings since that stamp divided by the sample "
         "rate. Clock correction: " +
         settings.clock.Describe() + ".";
}

std::string QualityComment(const ConversionReport& report) {
  std::string text =
      "1: the field was one number; 3: taken under a date stamp earlier than the readings had "
      "reached, or one in a spring-forward gap (moved forward with it), or wider than the legacy "
      "CSV's field; 4: the field was not one number (read as its leading number, or 0).";
  for (int kind = 0; kind < kAnomalyKinds; ++kind) {
    const int64_t count = report.anomalyCounts[static_cast<size_t>(kind)];
    if (count == 0)
      continue;
    const AnomalyKind which = static_cast<AnomalyKind>(kind);
    // Each line once: a line may hold several anomalies of a kind.
    std::string lines;
    int64_t kept = 0;
    int64_t distinct = 0;
    int64_t lastLine = -1;
    for (const Anomaly& anomaly : report.anomalies) {
      if (anomaly.kind != which)
        continue;
      ++kept;
      if (anomaly.line == lastLine)
        continue;
      lines += (lines.empty() ? "" : ", ") + std::to_string(anomaly.line);
      lastLine = anomaly.line;
      ++distinct;
    }
    text += std::string(" ") + AnomalyKindName(which) + " (" + std::to_string(count) + "): line" +
            (distinct == 1 ? " " : "s ") + lines;
    if (kept < count)
      text += " and " + std::to_string(count - kept) + " more on later lines";
    text += ".";
  }
  return text;
}

std::string UnplacedWarning(const ReadingFacts& facts) {
  std::string text;
  if (facts.unplaced > 0)
    text = std::to_string(facts.unplaced) + " readings before the dump's first date stamp";
  if (facts.untimed > 0) {
    text += (text.empty() ? "" : " and ") + std::to_string(facts.untimed) +
            " readings under a date stamp that names no time or at a sample rate below 1";
  }
  if (text.empty())
    return "";
  return text +
         " have no time and are left out of the NetCDF and tidy outputs (the legacy CSV keeps "
         "them)";
}

std::string NotRisingWarning(const ReadingFacts& facts) {
  if (facts.notRising == 0)
    return "";
  return std::to_string(facts.notRising) +
         " readings whose time does not come after the reading before them (a date stamp that "
         "went back, a repeated hour, overlapping bursts) are left out of the NetCDF output, so "
         "that its time rises (the tidy CSV keeps them with flag 4)";
}
