#include "convert/engine.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "convert/conversion_context.h"
#include "convert/converter_runs.h"
#include "convert/dump_types.h"
#include "convert/flash_line_reader.h"
#include "convert/staff_scale.h"
#include "convert/status.h"
#include "runtime/numbers.h"

// --- What a dump's header looks like ---

namespace {

bool HasLetter(const char* block, int length, int offset, char letter) {
  return offset < length && block[offset] == letter;
}

// The letters only a logger header holds at their places, and those only a
// gauge header holds (its range-and-staff bytes hold digits).
bool LooksLikeLogger(const char* block, int length) {
  return HasLetter(block, length, 41, 'A') && HasLetter(block, length, 44, 'C');
}
bool LooksLikeGauge(const char* block, int length) {
  return HasLetter(block, length, 45, 'X') && HasLetter(block, length, 49, 'T');
}

// Where both kinds of header hold "F" and the sample rate after it.
constexpr int kRateLetterOffset = 24;

int SampleRateOf(const char* block, int length) {
  if (!HasLetter(block, length, kRateLetterOffset, 'F'))
    return 0;
  return ReadInteger(block + kRateLetterOffset + 1, block + length);
}

constexpr int kBurstLengthLetterOffset = 28;

int BurstMinutesOf(const char* block, int length) {
  if (!HasLetter(block, length, kBurstLengthLetterOffset, 'L'))
    return 0;
  return ReadInteger(block + kBurstLengthLetterOffset + 1, block + length);
}

bool IsTextByte(unsigned char byte) {
  return byte >= 0x20 ? byte != 0x7F : byte == '\t' || byte == '\r' || byte == '\n';
}

std::string ByteText(unsigned char byte) {
  if (byte > 0x20 && byte < 0x7F && byte != '\'')
    return std::string("'") + static_cast<char>(byte) + "'";
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

LoggerTables TablesHolding(int rangeCode, int staffCode) {
  float scale = 0.0f;
  const bool type1 = LookUpStaffScale(1, rangeCode, staffCode, &scale);
  const bool type2 = LookUpStaffScale(2, rangeCode, staffCode, &scale);
  if (type1 && type2)
    return LoggerTables::Both;
  if (type1)
    return LoggerTables::Type1;
  return type2 ? LoggerTables::Type2 : LoggerTables::Neither;
}

}  // namespace

DumpLook LookAtHeader(const char* block, int length) {
  DumpLook look;
  look.looked = true;
  const std::string_view head(block == nullptr ? "" : block,
                              block == nullptr || length < 0 ? 0 : static_cast<size_t>(length));
  look.lfLineEnds = LineEndsAreLfAlone(head);
  if (head.size() < static_cast<size_t>(FlashLineReader::kMinimumFirstBlock) || head[0] != 'Y') {
    look.notADumpReason = WhyNotADump(head);
    return look;
  }
  if (LooksLikeLogger(block, length)) {
    look.kind = DumpKind::Logger;
    look.rangeCode = ReadInteger(block + 42, block + length);
    look.staffCode = ReadInteger(block + 45, block + length);
    look.tables = TablesHolding(look.rangeCode, look.staffCode);
  } else if (LooksLikeGauge(block, length)) {
    look.kind = DumpKind::Gauge;
    look.typeCode = ReadInteger(block + 50, block + length);
    look.burstMinutes = BurstMinutesOf(block, length);
  } else {
    look.notADumpReason = WhyNotADump(head);
    return look;
  }
  look.sampleRate = SampleRateOf(block, length);
  return look;
}

bool LineEndsAreLfAlone(std::string_view head) {
  bool anyLf = false;
  for (size_t i = 0; i < head.size(); ++i) {
    if (head[i] != '\n')
      continue;
    if (i > 0 && head[i - 1] == '\r')
      return false;
    anyLf = true;
  }
  return anyLf;
}

std::string WhyNotADump(std::string_view head) {
  if (head.empty())
    return "it is empty";
  const auto binary = std::find_if(
      head.begin(), head.end(), [](char c) { return !IsTextByte(static_cast<unsigned char>(c)); });
  if (binary != head.end()) {
    return "it is not text (byte " + std::to_string(binary - head.begin()) + " is " +
           ByteText(static_cast<unsigned char>(*binary)) + ")";
  }
  if (head.size() < static_cast<size_t>(FlashLineReader::kMinimumFirstBlock)) {
    return "it holds only " + std::to_string(head.size()) +
           " bytes, and a dump's header alone takes " +
           std::to_string(FlashLineReader::kMinimumFirstBlock);
  }
  if (head.front() != 'Y') {
    return "it starts with " + ByteText(static_cast<unsigned char>(head.front())) +
           ", and a dump's header starts with 'Y'";
  }
  return "its header has neither a logger dump's letters (A at offset 41, C at offset 44) nor "
         "a gauge dump's (X at offset 45, T at offset 49)";
}

DumpLook LookAtDumpFile(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr)
    return DumpLook{};
  char block[FlashLineReader::kBlockSize];
  const size_t count = std::fread(block, 1, sizeof block, file);
  std::fclose(file);
  return LookAtHeader(block, static_cast<int>(count));
}

std::string DescribeDumpLook(const DumpLook& look) {
  if (!look.looked)
    return "";
  switch (look.kind) {
    case DumpKind::Gauge:
      return look.typeCode == kGaugeTypeCode
                 ? "gauge dump"
                 : "gauge dump of type code " + std::to_string(look.typeCode);
    case DumpKind::Logger:
      switch (look.tables) {
        case LoggerTables::Type2:
          return "logger dump, type 2";
        case LoggerTables::Type1:
          return "logger dump, type 1";
        case LoggerTables::Both:
          return "fits both logger types";
        case LoggerTables::Neither:
          return "logger dump whose codes neither table holds";
      }
      break;
    case DumpKind::Unknown:
      break;
  }
  return "not a dump this program knows";
}

std::string DumpLookProblem(const DumpLook& look) {
  if (!look.looked)
    return "";
  std::string problem;
  const std::string codes = "range code " + std::to_string(look.rangeCode) + " with staff code " +
                            std::to_string(look.staffCode);
  if (look.kind == DumpKind::Unknown) {
    problem = look.notADumpReason + "; open the text dump read out of the instrument";
  } else if (look.kind == DumpKind::Logger && look.tables == LoggerTables::Neither) {
    problem = codes +
              " is in neither logger table, so no staff length is known and the conversion will "
              "stop with \"Staff Length Error\"; check that this is the instrument's dump";
  } else if (look.kind == DumpKind::Logger && look.tables == LoggerTables::Both) {
    problem = codes + " is in both logger tables; choose the logger type of the instrument";
  } else if (look.kind == DumpKind::Gauge && look.typeCode != kGaugeTypeCode) {
    problem = "its header gives type code " + std::to_string(look.typeCode) +
              " where gauge dumps give " + std::to_string(kGaugeTypeCode) +
              ", so the conversion will stop with \"Convert From File Type Error\"; only type " +
              std::to_string(kGaugeTypeCode) + " gauge dumps convert";
  }
  if (look.lfLineEnds) {
    if (!problem.empty())
      problem += "; ";
    problem += kLfLineEndsProblem;
  }
  return problem;
}

std::string FromTypeInWords(int fromType) {
  switch (fromType) {
    case 1:
      return "logger dump, type 1";
    case 2:
      return "logger dump, type 2";
    case 3:
      return "gauge dump";
    default:
      return "type " + std::to_string(fromType);
  }
}

std::string ToTypeInWords(int toType) {
  switch (toType) {
    case 0:
      return "logger CSV";
    case 1:
      return "gauge CSV";
    default:
      return "type " + std::to_string(toType);
  }
}

int FromTypeForLook(const DumpLook& look) {
  if (look.kind == DumpKind::Gauge)
    return 3;
  if (look.kind != DumpKind::Logger)
    return 0;
  if (look.tables == LoggerTables::Type1)
    return 1;
  return look.tables == LoggerTables::Type2 ? 2 : 0;
}

int ToTypeForFromType(int fromType) {
  if (IsLoggerDump(fromType))
    return TypeNumber(ToType::kLoggerCsv);
  return IsGaugeDump(fromType) ? TypeNumber(ToType::kGaugeCsv) : -1;
}

const char* DumpKindName(DumpKind kind) {
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

const char* LoggerTablesName(LoggerTables tables) {
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

const char* AnomalyKindName(AnomalyKind kind) {
  switch (kind) {
    case AnomalyKind::NotANumber:
      return "not-a-number";
    case AnomalyKind::BrokenOffLine:
      return "broken-off-line";
    case AnomalyKind::LongLineCut:
      return "long-line-cut";
    case AnomalyKind::PartialRecordDropped:
      return "partial-record-dropped";
    case AnomalyKind::UnfinishedLastLine:
      return "unfinished-last-line";
    case AnomalyKind::BeforeFirstDateStamp:
      return "before-first-date-stamp";
    case AnomalyKind::TimeGoesBackwards:
      return "time-goes-backwards";
    case AnomalyKind::ReadingSaturated:
      return "reading-saturated";
  }
  return "";
}

// --- One conversion's context ---

ConversionContext::ConversionContext(const ConversionRequest& conversionRequest,
                                     ConversionResult* conversionResult)
    : request(conversionRequest),
      result(*conversionResult),
      report(conversionResult->report),
      status(conversionResult->status) {}

void ConversionContext::Fail(uint8_t code, int64_t line, int64_t byte, std::string reason) {
  status = code;
  if (failureCode_ == code)
    return;
  failureCode_ = code;
  report.failure = ConversionFailure{line, byte, std::move(reason)};
}

bool ConversionContext::ReportProgress(int64_t bytesRead) {
  if (request.progress)
    request.progress(bytesRead, fromSize);
  if (request.cancelRequested && request.cancelRequested()) {
    cancelled = true;
    return false;
  }
  return true;
}

std::string FormatRecordTime(const DateStamp& time) {
  char text[96];
  FormatText(text, sizeof text, "%04i-%02i-%02iT%02i:%02i:%02i", time.year, time.month, time.day,
             time.hour, time.minute, time.second);
  return text;
}

// --- Entries ---

namespace {

// What to choose instead, when the header fits another From type than the
// one the conversion was asked for; empty when it fits, or fits nothing.
std::string ChoiceHint(const DumpLook& look, int fromType) {
  if (look.kind == DumpKind::Gauge)
    return IsGaugeDump(fromType) ? ""
                                 : "this looks like a gauge dump: choose From type 3 and To type 1";
  if (look.kind != DumpKind::Logger)
    return "";
  const int fits = FromTypeForLook(look);
  if (fits != TypeNumber(FromType::kNone) && fits != fromType) {
    const std::string type = std::to_string(fits);
    return "this looks like a logger dump of type " + type + ": choose From type " + type +
           " and To type 0";
  }
  if (fits == TypeNumber(FromType::kNone) && IsGaugeDump(fromType))
    return "this looks like a logger dump: choose From type 1 or 2 and To type 0";
  return "";
}

bool IsHeaderStatus(uint8_t status) {
  return status == kStatusHeaderError || status == kStatusStaffLengthError ||
         status == kStatusFromTypeError;
}

using Converter = void (*)(ConversionContext&);

}  // namespace

ConversionResult UnconvertedResult(const ConversionRequest& request) {
  ConversionResult result;
  result.logger = request.startValues;
  result.gauge.sampleRate = request.startValues.sampleRate;
  result.gauge.values = request.carried;
  return result;
}

namespace {

ConversionResult Run(const ConversionRequest& request, Converter converter) {
  ConversionResult result = UnconvertedResult(request);
  ConversionContext context(request, &result);
  context.fromSize = request.from != nullptr ? request.from->Size() : -1;
  const int64_t startLength = request.to != nullptr ? request.to->Length() : -1;
  converter(context);

  ConversionReport& report = result.report;
  result.cancelled = context.cancelled;
  if (context.cancelled && startLength >= 0)
    request.to->CutBack(startLength);
  const int64_t endLength = request.to != nullptr ? request.to->Length() : -1;
  report.bytesWritten = startLength >= 0 && endLength >= startLength ? endLength - startLength : 0;
  report.failed = !result.cancelled && result.status != kStatusFinished;
  if (report.failed && IsHeaderStatus(result.status) && report.failure.line == 1) {
    const std::string hint = ChoiceHint(report.look, request.fromType);
    if (!hint.empty())
      report.failure.reason += "; " + hint;
  }
  if (report.failed && report.look.lfLineEnds && !request.lfLineEnds)
    report.failure.reason += std::string("; ") + kLfLineEndsProblem;
  report.logger = result.logger;
  report.gauge = result.gauge;
  if (request.progress)
    request.progress(report.bytesRead, context.fromSize);
  return result;
}

}  // namespace

ConversionResult RunLoggerConversion(const ConversionRequest& request) {
  return Run(request, RunLoggerConverter);
}

ConversionResult RunGaugeConversion(const ConversionRequest& request) {
  return Run(request, RunGaugeConverter);
}

ConversionResult RunConversion(const ConversionRequest& request) {
  const bool logger =
      IsLoggerDump(request.fromType) && request.toType == TypeNumber(ToType::kLoggerCsv);
  const bool gauge =
      IsGaugeDump(request.fromType) && request.toType == TypeNumber(ToType::kGaugeCsv);
  if (logger)
    return RunLoggerConversion(request);
  if (gauge)
    return RunGaugeConversion(request);
  return UnconvertedResult(request);
}
