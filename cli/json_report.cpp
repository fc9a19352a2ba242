#include "cli/json_report.h"

#include <charconv>
#include <cstdio>

namespace {

// Length of the UTF-8 sequence at `at`, or 0 when it is not a valid one
// (overlong forms, surrogates and code points past U+10FFFF are not).
size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  unsigned int low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0)
      low = 0xA0;
    if (lead == 0xED)
      high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0)
      low = 0x90;
    if (lead == 0xF4)
      high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size())
    return 0;
  if (byte(at + 1) < low || byte(at + 1) > high)
    return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
      return 0;
  }
  return length;
}

void AppendEscapedAscii(std::string* out, char c) {
  switch (c) {
    case '"':
      *out += "\\\"";
      return;
    case '\\':
      *out += "\\\\";
      return;
    case '\n':
      *out += "\\n";
      return;
    case '\r':
      *out += "\\r";
      return;
    case '\t':
      *out += "\\t";
      return;
    default:
      break;
  }
  const auto code = static_cast<unsigned char>(c);
  if (code < 0x20 || code == 0x7F) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
    *out += escaped;
    return;
  }
  *out += c;
}

class ObjectWriter {
 public:
  explicit ObjectWriter(std::string* out) : out_(out) { *out_ += '{'; }
  ~ObjectWriter() { *out_ += '}'; }

  std::string* Key(const char* name) {
    if (!first_)
      *out_ += ',';
    first_ = false;
    AppendJsonString(out_, name);
    *out_ += ':';
    return out_;
  }
  void Null(const char* name) { *Key(name) += "null"; }
  void Bool(const char* name, bool value) { *Key(name) += value ? "true" : "false"; }
  void Int(const char* name, int64_t value) { *Key(name) += std::to_string(value); }
  void Float(const char* name, float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    Key(name)->append(text, end);
  }
  void String(const char* name, std::string_view value) { AppendJsonString(Key(name), value); }
  template <typename T>
  void IntOrNull(const char* name, const std::optional<T>& value) {
    if (value)
      Int(name, *value);
    else
      Null(name);
  }
  void StringOrNull(const char* name, const std::string& value) {
    if (value.empty())
      Null(name);
    else
      String(name, value);
  }

 private:
  std::string* out_;
  bool first_ = true;
};

const char* KindName(DumpKind kind) {
  switch (kind) {
    case DumpKind::Logger:
      return "logger";
    case DumpKind::Gauge:
      return "gauge";
    case DumpKind::Unknown:
      break;
  }
  return "unknown";
}

const char* TablesName(LoggerTables tables) {
  switch (tables) {
    case LoggerTables::Type1:
      return "type1";
    case LoggerTables::Type2:
      return "type2";
    case LoggerTables::Both:
      return "both";
    case LoggerTables::Neither:
      break;
  }
  return "neither";
}

void AppendLook(std::string* out, const DumpLook& look) {
  ObjectWriter object(out);
  object.String("kind", KindName(look.kind));
  if (look.kind == DumpKind::Logger) {
    object.String("tables", TablesName(look.tables));
    object.Int("range_code", look.rangeCode);
    object.Int("staff_code", look.staffCode);
  } else {
    object.Null("tables");
    object.Null("range_code");
    object.Null("staff_code");
  }
  object.String("text", DescribeDumpLook(look));
}

std::string DateText(const DateStamp& date) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", date.year, date.month, date.day,
                date.hour, date.minute, date.second);
  return text;
}

void AppendHeader(std::string* out, int fromType, const ConversionReport& report) {
  ObjectWriter object(out);
  if (fromType == 3) {
    const GaugeHeaderValues& gauge = report.gauge;
    object.String("date", DateText(gauge.date));
    object.Int("sample_rate", gauge.sampleRate);
    object.Int("burst_length", gauge.values.burstLength);
    object.Int("burst_interval", gauge.values.burstInterval);
    object.Int("new_file_interval", gauge.values.newFileInterval);
    object.Int("part_variant", gauge.values.partVariant);
    object.Int("type_code", gauge.values.loggerTypeCode);
  } else {
    const LoggerHeaderValues& logger = report.logger;
    object.Int("sample_rate", logger.sampleRate);
    object.Int("range_code", logger.rangeCode);
    object.Int("staff_code", logger.staffCode);
    object.Float("staff_scale", logger.staffScale);
  }
}

void AppendFailure(std::string* out, const InputReport& input) {
  const ConversionReport* report = input.result != nullptr ? &input.result->report : nullptr;
  ObjectWriter object(out);
  if (input.problem.empty() && report != nullptr && report->failure.line > 0) {
    object.Int("line", report->failure.line);
    object.Int("byte", report->failure.byte);
  } else {
    object.Null("line");
    object.Null("byte");
  }
  const std::string reason = !input.problem.empty() ? input.problem
                             : report != nullptr    ? report->failure.reason
                                                    : "";
  object.String("reason", reason.empty() ? input.message : reason);
}

void AppendAnomalies(std::string* out, const ConversionReport* report) {
  *out += '[';
  if (report != nullptr) {
    bool first = true;
    for (const Anomaly& anomaly : report->anomalies) {
      if (!first)
        *out += ',';
      first = false;
      ObjectWriter object(out);
      object.String("kind", AnomalyKindName(anomaly.kind));
      object.Int("line", anomaly.line);
      object.Int("byte", anomaly.byte);
      object.String("detail", anomaly.detail);
    }
  }
  *out += ']';
}

void AppendAnomalyCounts(std::string* out, const ConversionReport* report) {
  ObjectWriter object(out);
  for (int kind = 0; kind < kAnomalyKinds; ++kind) {
    object.Int(AnomalyKindName(static_cast<AnomalyKind>(kind)),
               report != nullptr ? report->anomalyCounts[static_cast<size_t>(kind)] : 0);
  }
}

bool Failed(const InputReport& input) {
  return !input.cancelled && input.status != 8;
}

}  // namespace

void AppendJsonString(std::string* out, std::string_view text) {
  *out += '"';
  size_t at = 0;
  while (at < text.size()) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      AppendEscapedAscii(out, text[at]);
      ++at;
      continue;
    }
    const size_t length = Utf8SequenceLength(text, at);
    if (length == 0) {
      *out += "\\ufffd";
      ++at;
      continue;
    }
    out->append(text.substr(at, length));
    at += length;
  }
  *out += '"';
}

std::string JsonReportLine(const InputReport& input) {
  std::string out;
  const ConversionReport* report = input.result != nullptr ? &input.result->report : nullptr;
  {
    ObjectWriter object(&out);
    object.String("from", input.from);
    if (input.to)
      object.String("to", *input.to);
    else
      object.Null("to");
    object.IntOrNull("from_type", input.fromType);
    object.IntOrNull("to_type", input.toType);
    object.IntOrNull("status", input.status);
    object.String("message", input.message);
    object.Int("exit", input.exitStatus);
    object.Bool("cancelled", input.cancelled);
    object.Int("lines_read", report != nullptr ? report->linesRead : 0);
    object.Int("comma_lines_skipped", report != nullptr ? report->commaLinesSkipped : 0);
    object.Int("short_lines_skipped", report != nullptr ? report->shortLinesSkipped : 0);
    object.Int("date_stamp_lines", report != nullptr ? report->dateStampLines : 0);
    object.Int("records_written", report != nullptr ? report->recordsWritten : 0);
    object.Int("bytes_read", report != nullptr ? report->bytesRead : 0);
    object.Int("bytes_written", report != nullptr ? report->bytesWritten : 0);
    object.StringOrNull("first_record_time", report != nullptr ? report->firstRecordTime : "");
    object.StringOrNull("last_record_time", report != nullptr ? report->lastRecordTime : "");
    if (Failed(input))
      AppendFailure(object.Key("failure"), input);
    else
      object.Null("failure");
    AppendAnomalies(object.Key("anomalies"), report);
    AppendAnomalyCounts(object.Key("anomaly_counts"), report);
    const std::optional<DumpLook> look = input.look          ? input.look
                                         : report != nullptr ? std::optional<DumpLook>(report->look)
                                                             : std::nullopt;
    if (look)
      AppendLook(object.Key("detected"), *look);
    else
      object.Null("detected");
    if (report != nullptr && report->headerRead && input.fromType)
      AppendHeader(object.Key("header"), *input.fromType, *report);
    else
      object.Null("header");
    object.String("tz", input.timeZone);
  }
  return out;
}
