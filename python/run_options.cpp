#include "python/run_options.h"

#include <pybind11/stl.h>

#include <cmath>
#include <optional>
#include <variant>

#include "convert/date_stamp.h"
#include "convert/dump_types.h"
#include "convert/status.h"
#include "qc/reading_qc.h"
#include "science/deployment.h"
#include "science/trimming.h"
#include "science/units.h"
#include "waves/wave_settings.h"

namespace py = pybind11;

namespace {

template <typename Value>
std::optional<Value> Get(const py::dict& options, const char* key) {
  if (!options.contains(key) || options[key].is_none())
    return std::nullopt;
  return options[key].cast<Value>();
}

void ReadScience(const py::dict& options, ScienceSettings* science) {
  const std::string zoneName = Get<std::string>(options, "tz").value_or("");
  const std::optional<Zone> zone = ZoneNamed(zoneName);
  if (!zone)
    throw py::value_error("tz=\"" + zoneName + "\" is not a time zone of /usr/share/zoneinfo");
  science->zone = *zone;
  if (const auto deployment = Get<std::string>(options, "deployment")) {
    std::string error;
    if (!ReadDeploymentFile(*deployment, science, &error))
      throw py::value_error(error);
  }
  if (const auto offset = Get<double>(options, "clock_offset"))
    science->clock.offset = *offset;
  if (const auto drift = Get<double>(options, "clock_drift")) {
    science->clock.driftGiven = true;
    science->clock.drift = *drift;
  }
  if (const auto units = Get<std::string>(options, "units")) {
    std::string problem;
    if (CheckUnit(*units, &problem) != UnitCheck::kValid)
      throw py::value_error("units: " + problem);
    science->units = *units;
  }
  if (const auto position = Get<std::pair<double, double>>(options, "position"))
    science->position = Position{position->first, position->second};
  science->invocation = Get<std::string>(options, "invocation").value_or("zorqconvert (Python)");
}

void ReadWaves(const py::dict& options, WaveSettings* waves) {
  if (const auto segment = Get<double>(options, "segment"))
    waves->segmentSeconds = *segment;
  if (const auto welch = Get<int>(options, "welch_segment"))
    waves->welchLength = *welch;
  if (const auto band = Get<std::pair<double, double>>(options, "band")) {
    waves->bandLow = band->first;
    waves->bandHigh = band->second;
  }
  const auto unit = Get<std::string>(options, "pressure");
  if (!unit)
    return;
  const std::optional<PressureUnit> named = PressureUnitNamed(*unit);
  if (!named)
    throw py::value_error("pressure needs one of Pa, kPa, dbar, bar and mH2O, not \"" + *unit +
                          "\"");
  PressureSettings pressure;
  pressure.unit = *named;
  pressure.atmospheric = Get<double>(options, "atmospheric").value_or(pressure.atmospheric);
  pressure.density = Get<double>(options, "density").value_or(pressure.density);
  pressure.sensorHeight = Get<double>(options, "sensor_height").value_or(pressure.sensorHeight);
  pressure.kpMin = Get<double>(options, "kp_min").value_or(pressure.kpMin);
  waves->pressure = pressure;
}

py::object OrNone(const std::string& text) {
  return text.empty() ? py::object(py::none()) : py::object(py::str(text));
}

py::dict Detected(const DumpLook& look) {
  py::dict detected;
  const bool logger = look.kind == DumpKind::Logger;
  detected["kind"] = DumpKindName(look.kind);
  detected["tables"] = logger ? py::object(py::str(LoggerTablesName(look.tables))) : py::none();
  detected["range_code"] = logger ? py::object(py::int_(look.rangeCode)) : py::none();
  detected["staff_code"] = logger ? py::object(py::int_(look.staffCode)) : py::none();
  detected["text"] = DescribeDumpLook(look);
  return detected;
}

py::dict Header(int fromType, const ConversionReport& report) {
  py::dict header;
  if (IsGaugeDump(fromType)) {
    const GaugeHeaderValues& gauge = report.gauge;
    header["date"] = FormatRecordTime(gauge.date);
    header["sample_rate"] = gauge.sampleRate;
    header["burst_length"] = gauge.values.burstLength;
    header["burst_interval"] = gauge.values.burstInterval;
    header["new_file_interval"] = gauge.values.newFileInterval;
    header["part_variant"] = gauge.values.partVariant;
    header["type_code"] = gauge.values.loggerTypeCode;
  } else {
    header["sample_rate"] = report.logger.sampleRate;
    header["range_code"] = report.logger.rangeCode;
    header["staff_code"] = report.logger.staffCode;
    header["staff_scale"] = static_cast<double>(report.logger.staffScale);
  }
  return header;
}

py::dict Failure(const DumpRunResult& run) {
  const ConversionFailure& failure = run.result.report.failure;
  py::dict object;
  const bool placed = run.problem.empty() && failure.line > 0;
  object["line"] = placed ? py::object(py::int_(failure.line)) : py::none();
  object["byte"] = placed ? py::object(py::int_(failure.byte)) : py::none();
  const std::string reason = !run.problem.empty() ? run.problem : failure.reason;
  object["reason"] = reason.empty() ? run.message : reason;
  return object;
}

py::list Anomalies(const ConversionReport& report) {
  py::list list;
  for (const Anomaly& anomaly : report.anomalies) {
    py::dict object;
    object["kind"] = AnomalyKindName(anomaly.kind);
    object["line"] = anomaly.line;
    object["byte"] = anomaly.byte;
    object["detail"] = anomaly.detail;
    list.append(object);
  }
  return list;
}

py::dict AnomalyCounts(const ConversionReport& report) {
  py::dict counts;
  for (int kind = 0; kind < kAnomalyKinds; ++kind)
    counts[AnomalyKindName(static_cast<AnomalyKind>(kind))] =
        report.anomalyCounts[static_cast<size_t>(kind)];
  return counts;
}

py::object FiniteOrNone(double value) {
  return std::isfinite(value) ? py::object(py::float_(value)) : py::none();
}

void PutCounts(const ConversionReport& report, bool legacyWritten, py::dict* object) {
  py::dict& report_ = *object;
  report_["lines_read"] = report.linesRead;
  report_["comma_lines_skipped"] = report.commaLinesSkipped;
  report_["short_lines_skipped"] = report.shortLinesSkipped;
  report_["date_stamp_lines"] = report.dateStampLines;
  report_["records_written"] =
      legacyWritten ? py::object(py::int_(report.recordsWritten)) : py::none();
  report_["bytes_read"] = report.bytesRead;
  report_["bytes_written"] = legacyWritten ? py::object(py::int_(report.bytesWritten)) : py::none();
  report_["torn_record_bytes"] = report.tornRecordBytes;
  report_["first_record_time"] = OrNone(report.firstRecordTime);
  report_["last_record_time"] = OrNone(report.lastRecordTime);
}

// As the command line's JSON report: the flags of each test configured.
py::dict QcCounts(const VariableTests& tests, const ReadingFlagCounts& counts) {
  py::dict object;
  for (const NamedFlagCount& shown : ShownFlagCounts(tests, counts)) {
    py::dict byFlag;
    for (size_t i = 0; i < shown.count->readings.size(); ++i)
      byFlag[py::str(std::to_string(kQartodFlagValues[i]))] = shown.count->readings[i];
    object[shown.name] = byFlag;
  }
  return object;
}

// As the command line's JSON report, from the same entries.
py::dict Trimmed(const ScienceSettings& science, const TrimmedCounts& counts) {
  py::dict object;
  for (const TrimmedEntry& entry : TrimmedEntries(
           science.deployed.has_value(), science.recovered.has_value(), science.trimDepth, counts))
    std::visit([&](auto value) { object[entry.key] = value; }, entry.value);
  return object;
}

}  // namespace

DumpRunSettings RunSettingsOf(const py::dict& options) {
  DumpRunSettings settings;
  ReadScience(options, &settings.outputs.science);
  ReadWaves(options, &settings.outputs.waves);
  settings.fromType = Get<int>(options, "from_type").value_or(0);
  settings.toType = Get<int>(options, "to_type").value_or(-1);
  settings.lfLineEnds = Get<bool>(options, "lf_line_ends").value_or(false);
  settings.legacyPath = Get<std::string>(options, "to").value_or("");
  settings.outputs.append = Get<bool>(options, "append").value_or(false);
  settings.outputs.overwrite = Get<bool>(options, "overwrite").value_or(false);
  const auto gain = Get<double>(options, "gain");
  const auto offset = Get<double>(options, "offset");
  Correction& correction = settings.outputs.correction;
  correction.on = gain.has_value() || offset.has_value();
  correction.gain = gain.value_or(correction.gain);
  correction.offset = offset.value_or(correction.offset);
  return settings;
}

py::dict ReportOf(const DumpInput& input, const DumpRunSettings& settings,
                  const DumpRunResult& run) {
  const ConversionReport& report = run.result.report;
  const bool converted = !run.refused && run.fromType != 0;
  const bool legacyWritten = !settings.legacyPath.empty();
  py::dict object;
  object["from"] = input.path;
  object["to"] = OrNone(settings.legacyPath);
  const std::string partial = settings.legacyPath + kPartialSuffix;
  bool legacyPartial = false;
  for (const std::string& kept : run.outcome.partials)
    legacyPartial = legacyPartial || (legacyWritten && kept == partial);
  object["partial_output"] = legacyPartial ? py::object(py::str(partial)) : py::none();
  object["from_type"] = converted ? py::object(py::int_(run.fromType)) : py::none();
  object["to_type"] = converted ? py::object(py::int_(run.toType)) : py::none();
  object["status"] = run.cancelled || run.refused ? py::none() : py::object(py::int_(run.status));
  object["message"] = run.refused ? run.problem : run.message;
  // A stopped run raises KeyboardInterrupt and a refused one ValueError:
  // neither has an exit status of its own here.
  object["exit"] = run.cancelled || run.refused
                       ? py::object(py::none())
                       : py::object(py::int_(ExitStatusOfStatus(run.status)));
  object["cancelled"] = run.cancelled;
  PutCounts(report, legacyWritten, &object);
  object["failure"] = run.finished() || run.cancelled ? py::object(py::none()) : Failure(run);
  object["anomalies"] = Anomalies(report);
  object["anomaly_counts"] = AnomalyCounts(report);
  object["detected"] = Detected(run.look);
  object["header"] =
      report.headerRead && converted ? py::object(Header(run.fromType, report)) : py::none();
  object["tz"] = run.timeZone;
  if (run.outcome.trimmed)
    object["trimmed"] = Trimmed(settings.outputs.science, *run.outcome.trimmed);
  if (run.outcome.qcCounts)
    object["qc_flag_counts"] = QcCounts(settings.outputs.science.qc.reading, *run.outcome.qcCounts);
  object["warnings"] = run.outcome.warnings;
  if (run.outcome.waves) {
    py::dict waves;
    waves["segments"] = run.outcome.waves->segments;
    waves["first_hm0"] = FiniteOrNone(run.outcome.waves->firstHm0);
    waves["first_tp"] = FiniteOrNone(run.outcome.waves->firstTp);
    object["waves"] = waves;
  }
  object["partial_outputs"] = run.outcome.partials;
  return object;
}
