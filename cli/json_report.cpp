#include "cli/json_report.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <variant>
#include <vector>

#include "convert/date_stamp.h"
#include "convert/dump_types.h"
#include "science/trimming.h"

namespace {

using Json = nlohmann::ordered_json;

template <typename T>
Json OrNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json OrNull(const std::string& text) {
  return text.empty() ? Json(nullptr) : Json(text);
}

// The double whose shortest form is the float's shortest form, so that a
// scale of 0.1f reads 0.1 and not 0.10000000149011612.
double AsWritten(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  double widened = 0.0;
  std::from_chars(text, end, widened);
  return widened;
}

Json Look(const DumpLook& look) {
  Json object;
  object["kind"] = DumpKindName(look.kind);
  const bool logger = look.kind == DumpKind::Logger;
  object["tables"] = logger ? Json(LoggerTablesName(look.tables)) : Json(nullptr);
  object["range_code"] = logger ? Json(look.rangeCode) : Json(nullptr);
  object["staff_code"] = logger ? Json(look.staffCode) : Json(nullptr);
  object["text"] = DescribeDumpLook(look);
  return object;
}

Json Header(int fromType, const ConversionReport& report) {
  Json object;
  if (IsGaugeDump(fromType)) {
    const GaugeHeaderValues& gauge = report.gauge;
    object["date"] = FormatRecordTime(gauge.date);
    object["sample_rate"] = gauge.sampleRate;
    object["burst_length"] = gauge.values.burstLength;
    object["burst_interval"] = gauge.values.burstInterval;
    object["new_file_interval"] = gauge.values.newFileInterval;
    object["part_variant"] = gauge.values.partVariant;
    object["type_code"] = gauge.values.loggerTypeCode;
  } else {
    const LoggerHeaderValues& logger = report.logger;
    object["sample_rate"] = logger.sampleRate;
    object["range_code"] = logger.rangeCode;
    object["staff_code"] = logger.staffCode;
    object["staff_scale"] = AsWritten(logger.staffScale);
  }
  return object;
}

Json Failure(const InputReport& input, const ConversionReport* report) {
  Json object;
  const bool placed = input.problem.empty() && report != nullptr && report->failure.line > 0;
  object["line"] = placed ? Json(report->failure.line) : Json(nullptr);
  object["byte"] = placed ? Json(report->failure.byte) : Json(nullptr);
  const std::string reason = !input.problem.empty() ? input.problem
                             : report != nullptr    ? report->failure.reason
                                                    : "";
  object["reason"] = reason.empty() ? input.message : reason;
  return object;
}

Json Anomalies(const ConversionReport* report) {
  Json list = Json::array();
  if (report == nullptr)
    return list;
  for (const Anomaly& anomaly : report->anomalies) {
    Json object;
    object["kind"] = AnomalyKindName(anomaly.kind);
    object["line"] = anomaly.line;
    object["byte"] = anomaly.byte;
    object["detail"] = anomaly.detail;
    list.push_back(std::move(object));
  }
  return list;
}

Json AnomalyCounts(const ConversionReport* report) {
  Json object = Json::object();
  for (int kind = 0; kind < kAnomalyKinds; ++kind) {
    object[AnomalyKindName(static_cast<AnomalyKind>(kind))] =
        report != nullptr ? report->anomalyCounts[static_cast<size_t>(kind)] : 0;
  }
  return object;
}

// A file name, and beside it its bytes when it is not UTF-8.
void PutName(Json* object, const char* key, const std::string& name) {
  (*object)[key] = name;
  if (!IsUtf8(name)) {
    const std::vector<unsigned char> bytes(name.begin(), name.end());
    (*object)[std::string(key) + "_bytes"] = bytes;
  }
}

Json FiniteOrNull(double value) {
  return std::isfinite(value) ? Json(value) : Json(nullptr);
}

Json Waves(const InputReport::Waves& waves) {
  Json object = Json::object();
  PutName(&object, "file", waves.file);
  object["segments"] = waves.segments;
  object["first_hm0"] = FiniteOrNull(waves.firstHm0);
  object["first_tp"] = FiniteOrNull(waves.firstTp);
  return object;
}

Json Trimmed(const InputReport& input) {
  Json object = Json::object();
  for (const TrimmedEntry& entry :
       TrimmedEntries(input.deployed, input.recovered, input.trimDepth, *input.trimmed))
    std::visit([&](auto value) { object[entry.key] = value; }, entry.value);
  return object;
}

// {"gross_range_test_quality_flag": {"1": 120, "2": 0, "3": 4, "4": 1, "9": 0}, ...}
Json QcCounts(const InputReport& input) {
  Json object = Json::object();
  for (const NamedFlagCount& shown : ShownFlagCounts(input.qcTests, *input.qcCounts)) {
    Json byFlag = Json::object();
    for (size_t i = 0; i < shown.count->readings.size(); ++i)
      byFlag[std::to_string(kQartodFlagValues[i])] = shown.count->readings[i];
    object[shown.name] = std::move(byFlag);
  }
  return object;
}

bool Failed(const InputReport& input) {
  return !input.cancelled && input.status != 8;
}

}  // namespace

bool IsUtf8(const std::string& text) {
  try {
    static_cast<void>(Json(text).dump());
    return true;
  } catch (const Json::type_error&) {
    return false;
  }
}

std::string JsonReportLine(const InputReport& input) {
  const ConversionReport* report = input.result != nullptr ? &input.result->report : nullptr;
  const auto count = [report](int64_t ConversionReport::*field) -> int64_t {
    return report != nullptr ? report->*field : 0;
  };
  Json object;
  PutName(&object, "from", input.from);
  if (input.to)
    PutName(&object, "to", *input.to);
  else
    object["to"] = nullptr;
  const bool legacyPartial =
      input.to && !input.partials.empty() && input.partials.front() == *input.to + ".partial";
  object["partial_output"] = legacyPartial ? Json(input.partials.front()) : Json(nullptr);
  object["from_type"] = OrNull(input.fromType);
  object["to_type"] = OrNull(input.toType);
  object["status"] = OrNull(input.status);
  object["message"] = input.message;
  object["exit"] = input.exitStatus;
  object["cancelled"] = input.cancelled;
  object["lines_read"] = count(&ConversionReport::linesRead);
  object["comma_lines_skipped"] = count(&ConversionReport::commaLinesSkipped);
  object["short_lines_skipped"] = count(&ConversionReport::shortLinesSkipped);
  object["date_stamp_lines"] = count(&ConversionReport::dateStampLines);
  object["records_written"] =
      input.legacyWritten ? Json(count(&ConversionReport::recordsWritten)) : Json(nullptr);
  object["bytes_read"] = count(&ConversionReport::bytesRead);
  object["bytes_written"] =
      input.legacyWritten ? Json(count(&ConversionReport::bytesWritten)) : Json(nullptr);
  object["torn_record_bytes"] = count(&ConversionReport::tornRecordBytes);
  object["first_record_time"] = OrNull(report != nullptr ? report->firstRecordTime : "");
  object["last_record_time"] = OrNull(report != nullptr ? report->lastRecordTime : "");
  object["failure"] = Failed(input) ? Failure(input, report) : Json(nullptr);
  object["anomalies"] = Anomalies(report);
  object["anomaly_counts"] = AnomalyCounts(report);
  const std::optional<DumpLook> look = input.look          ? input.look
                                       : report != nullptr ? std::optional<DumpLook>(report->look)
                                                           : std::nullopt;
  object["detected"] = look ? Look(*look) : Json(nullptr);
  object["header"] = report != nullptr && report->headerRead && input.fromType
                         ? Header(*input.fromType, *report)
                         : Json(nullptr);
  object["tz"] = input.timeZone;
  if (input.netcdf)
    PutName(&object, "netcdf", *input.netcdf);
  if (input.tidy)
    PutName(&object, "tidy", *input.tidy);
  if (input.wavesNetcdf)
    PutName(&object, "waves_netcdf", *input.wavesNetcdf);
  if (input.netcdfReadingsOutOfOrder)
    object["netcdf_readings_out_of_time_order"] = *input.netcdfReadingsOutOfOrder;
  if (input.trimmed)
    object["trimmed"] = Trimmed(input);
  if (input.qcCounts)
    object["qc_flag_counts"] = QcCounts(input);
  if (!input.warnings.empty())
    object["warnings"] = input.warnings;
  if (input.waves)
    object["waves"] = Waves(*input.waves);
  object["partial_outputs"] = input.partials;
  if (input.sha256)
    object["sha256"] = *input.sha256;
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string MergeReportLine(const MergeReport& report) {
  Json object;
  PutName(&object, "merge", report.merge);
  object["dumps"] = report.dumps;
  if (report.wavesNetcdf)
    PutName(&object, "waves_netcdf", *report.wavesNetcdf);
  object["status"] = OrNull(report.status);
  object["message"] = report.message;
  object["exit"] = report.exitStatus;
  object["cancelled"] = report.cancelled;
  object["problem"] = OrNull(report.problem);
  object["duplicates"] = report.duplicates;
  object["conflicts"] = report.conflicts;
  Json conflicts = Json::array();
  for (const MergeReport::Conflict& conflict : report.conflictList) {
    conflicts.push_back({{"time", conflict.time},
                         {"kept", FiniteOrNull(conflict.kept)},
                         {"dropped", FiniteOrNull(conflict.dropped)},
                         {"kept_from", conflict.keptFrom},
                         {"dropped_from", conflict.droppedFrom}});
  }
  object["conflict_list"] = conflicts;
  object["most_held"] = report.mostHeld;
  if (!report.warnings.empty())
    object["warnings"] = report.warnings;
  object["partial_outputs"] = report.partials;
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}
