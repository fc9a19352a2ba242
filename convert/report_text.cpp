#include "convert/report_text.h"

#include <cinttypes>
#include <cstdio>

#include "convert/date_stamp.h"
#include "convert/dump_types.h"
#include "convert/status.h"

namespace {

std::string Printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Plural(int64_t count, const char* one, const char* many) {
  return GroupedCount(count) + " " + (count == 1 ? one : many);
}

std::string Minutes(int minutes) {
  return minutes == 0 ? std::string("continuous") : std::to_string(minutes) + " min";
}

std::string Outcome(const ConversionResult& result) {
  if (result.cancelled)
    return "Cancelled";
  return StatusMessage(result.status);
}

std::string LoggerHeaderInWords(const LoggerHeaderValues& h) {
  return "sample rate " + std::to_string(h.sampleRate) + " Hz, range code " +
         std::to_string(h.rangeCode) + ", staff code " + std::to_string(h.staffCode) + ", scale " +
         Printed("%g", static_cast<double>(h.staffScale));
}

std::string GaugeHeaderInWords(const GaugeHeaderValues& h) {
  const GaugeCarry& v = h.values;
  const std::string newFile =
      v.newFileInterval == 0 ? std::string("continuous") : Plural(v.newFileInterval, "day", "days");
  return "date " + FormatRecordTime(h.date) + ", sample rate " + std::to_string(h.sampleRate) +
         " Hz, burst length " + Minutes(v.burstLength) + ", burst interval " +
         std::to_string(v.burstInterval) + " min, new file interval " + newFile +
         ", part variant " + std::to_string(v.partVariant) + ", type code " +
         std::to_string(v.loggerTypeCode);
}

std::string TimeSpan(const ConversionReport& report) {
  if (report.firstRecordTime.empty())
    return "";
  if (report.firstRecordTime == report.lastRecordTime)
    return "at " + report.firstRecordTime;
  return report.firstRecordTime + " to " + report.lastRecordTime;
}

int64_t AnomalyTotal(const ConversionReport& report) {
  int64_t total = 0;
  for (int64_t count : report.anomalyCounts)
    total += count;
  return total;
}

std::string Place(int64_t line, int64_t byte) {
  return "line " + GroupedCount(line) + " (byte " + GroupedCount(byte) + ")";
}

void AppendAnomalies(const ConversionReport& report, std::string* out) {
  const int64_t total = AnomalyTotal(report);
  if (total == 0) {
    *out += "No anomalies.\n";
    return;
  }
  *out += "Anomalies: " + GroupedCount(total) + "\n";
  for (const Anomaly& anomaly : report.anomalies) {
    *out += "  " + Place(anomaly.line, anomaly.byte) + ": " + AnomalyKindName(anomaly.kind);
    if (!anomaly.detail.empty())
      *out += ": " + anomaly.detail;
    *out += "\n";
  }
  // Only the first of each kind are kept; say how many more there were.
  for (int kind = 0; kind < kAnomalyKinds; ++kind) {
    int64_t kept = 0;
    for (const Anomaly& anomaly : report.anomalies)
      kept += static_cast<int>(anomaly.kind) == kind ? 1 : 0;
    const int64_t more = report.anomalyCounts[static_cast<size_t>(kind)] - kept;
    if (more > 0) {
      *out += "  ... and " + GroupedCount(more) + " more " +
              AnomalyKindName(static_cast<AnomalyKind>(kind)) + "\n";
    }
  }
}

}  // namespace

std::string GroupedCount(int64_t count) {
  const bool negative = count < 0;
  // The magnitude as unsigned, so that the smallest int64_t has one too.
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(count) : static_cast<uint64_t>(count);
  std::string digits;
  int inGroup = 0;
  do {
    if (inGroup == 3) {
      digits.insert(digits.begin(), ',');
      inGroup = 0;
    }
    digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
    ++inGroup;
  } while (magnitude != 0);
  return negative ? "-" + digits : digits;
}

std::string ByteSize(int64_t bytes) {
  if (bytes < 1000)
    return Plural(bytes, "byte", "bytes");
  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  double value = static_cast<double>(bytes) / 1000.0;
  size_t unit = 0;
  // 999.95 and above would print as "1000.0": step up a unit instead.
  while (value >= 999.95 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    value /= 1000.0;
    ++unit;
  }
  return Printed("%.1f", value) + " " + kUnits[unit];
}

std::string Megabytes(int64_t bytes) {
  return Printed("%.1f MB", static_cast<double>(bytes) / 1e6);
}

std::string ReportSummaryLine(const ConversionResult& result, bool recordsKept) {
  const ConversionReport& report = result.report;
  std::string line = recordsKept ? Plural(report.recordsWritten, "record", "records") + " written"
                                 : std::string("readings");
  const std::string span = TimeSpan(report);
  if (!span.empty())
    line += ", " + span;
  line += "; " + ByteSize(report.bytesRead) + " read";
  if (recordsKept)
    line += ", " + ByteSize(report.bytesWritten) + " written";
  const int64_t anomalies = AnomalyTotal(report);
  if (anomalies > 0)
    line += "; " + Plural(anomalies, "anomaly", "anomalies");
  return line;
}

std::string ReportInWords(const ConversionResult& result, int fromType) {
  const ConversionReport& report = result.report;
  std::string out = "Outcome: " + Outcome(result) + "\n";
  if (report.look.looked)
    out += "The dump looks like: " + DescribeDumpLook(report.look) + "\n";
  if (report.headerRead) {
    out += "Header: " +
           (IsGaugeDump(fromType) ? GaugeHeaderInWords(report.gauge)
                                  : LoggerHeaderInWords(report.logger)) +
           "\n";
  }
  out += "Lines read: " + GroupedCount(report.linesRead) +
         " (skipped: " + GroupedCount(report.commaLinesSkipped) + " starting with a comma, " +
         GroupedCount(report.shortLinesSkipped) + " shorter than 3 bytes; " +
         Plural(report.dateStampLines, "date stamp", "date stamps") + ")\n";
  out += "Records written: " + GroupedCount(report.recordsWritten);
  const std::string span = TimeSpan(report);
  if (!span.empty())
    out += ", " + span;
  out += "\n";
  out += "Bytes: " + ByteSize(report.bytesRead) + " read, " + ByteSize(report.bytesWritten) +
         " written\n";
  if (report.failed) {
    // Line 0: refused before any line of the dump was read.
    const std::string where =
        report.failure.line > 0 ? " at " + Place(report.failure.line, report.failure.byte) : "";
    out += "Stopped" + where + ": " + report.failure.reason + "\n";
  }
  AppendAnomalies(report, &out);
  return out;
}
