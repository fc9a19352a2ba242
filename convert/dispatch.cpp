// The one dispatch of a conversion request to a converter.
#include "convert/dispatch.h"

#include <optional>
#include <string>
#include <string_view>

#include "convert/dump_types.h"
#include "convert/status.h"
#include "runtime/byte_streams.h"

namespace {

bool SameFile(const ByteSource& from, const ByteSink& to) {
  const std::optional<FileIdentity> read = from.Identity();
  return read && read == to.Identity();
}

// Whether the To type is the one that goes with the From type.
bool TypesFit(int fromType, int toType) {
  return ToTypeForFromType(fromType) == toType;
}

std::string TypeInWords(const char* side, int type, const std::string& words) {
  return std::string(side) + " type " + std::to_string(type) + " (" + words + ")";
}

// "From type 1 (logger dump, type 1) goes with To type 0 (logger CSV), not
// To type 1 (gauge CSV)": the numbers for the command line, the names the
// panel's rings show.
std::string MismatchInWords(const DispatchRequest& request) {
  const int fitting = ToTypeForFromType(request.fromType);
  return TypeInWords("From", request.fromType, FromTypeInWords(request.fromType)) + " goes with " +
         TypeInWords("To", fitting, ToTypeInWords(fitting)) + ", not " +
         TypeInWords("To", request.toType, ToTypeInWords(request.toType));
}

// The lines of `bytes` that are records the report counts.
int64_t CountedRecordsIn(std::string_view bytes, int toType) {
  const std::string_view start = toType == TypeNumber(ToType::kLoggerCsv) ? "f001," : "D1,C1,";
  int64_t count = 0;
  for (size_t at = 0; at < bytes.size();) {
    if (bytes.substr(at, start.size()) == start)
      ++count;
    const size_t lf = bytes.find('\n', at);
    at = lf == std::string_view::npos ? bytes.size() : lf + 1;
  }
  return count;
}

// What the To file or pipe did not take is no record written: the records
// counted are those that reached it whole, and a torn last one is told.
void CountWhatArrived(const SinkLoss& loss, int toType, ConversionReport* report) {
  report->recordsWritten -= CountedRecordsIn(loss.unaccepted, toType);
  if (report->recordsWritten < 0)
    report->recordsWritten = 0;
  report->tornRecordBytes = loss.tornBytes;
}

void SetOutcomeStatus(DispatchOutcome* outcome, uint8_t status, const std::string& reason) {
  outcome->status = status;
  outcome->result.status = status;
  outcome->result.report.failed = true;
  outcome->result.report.failure.reason = reason;
}

DispatchOutcome DispatchOpen(const DispatchRequest& request);

}  // namespace

DispatchOutcome DispatchConversion(const DispatchRequest& request) {
  if (!request.fromOpen || !request.toOpen) {
    DispatchOutcome outcome;
    outcome.result = UnconvertedResult(request);
    SetOutcomeStatus(&outcome, kStatusFileError, "the From file and the To file must both be open");
    outcome.popupText = kSelectFilesText;
    return outcome;
  }
  // A file the shell believes open but that did not open fails where it is
  // first used: a header error at the first read, a write error at the
  // first write.
  std::optional<DescriptorSource> closedFrom;
  std::optional<DescriptorSink> closedTo;
  DispatchRequest given = request;
  if (given.from == nullptr)
    given.from = &closedFrom.emplace(-1, false);
  if (given.to == nullptr)
    given.to = &closedTo.emplace(-1, false);
  return DispatchOpen(given);
}

namespace {

DispatchOutcome DispatchOpen(const DispatchRequest& request) {
  DispatchOutcome outcome;
  outcome.result = UnconvertedResult(request);
  // Reading a file while appending to it would never reach its end.
  if (SameFile(*request.from, *request.to)) {
    SetOutcomeStatus(&outcome, kStatusFileError, "the From file and the To file are the same file");
    outcome.popupText = kSameFileText;
    return outcome;
  }
  request.from->Rewind();
  request.to->ToEnd();
  if (ToTypeForFromType(request.fromType) < 0)
    return outcome;  // nothing to convert; the status stays "Ready"
  if (!TypesFit(request.fromType, request.toType)) {
    SetOutcomeStatus(&outcome, kStatusToTypeError, MismatchInWords(request));
    return outcome;
  }
  const int64_t acceptedBefore = request.to->Accepted();
  const bool lostBefore = request.to->loss().any;
  outcome.result = RunConversion(request);
  outcome.converterRan = true;
  outcome.cancelled = outcome.result.cancelled;
  outcome.status = outcome.result.status;
  // The operator may open the output while the program stays open: hand its
  // bytes to the operating system before the outcome is shown.
  if (request.to->Flush() < 0) {
    outcome.status = outcome.result.status = kStatusWriteError;
    ConversionReport& report = outcome.result.report;
    if (!report.failed) {
      report.failed = true;
      report.failure = ConversionFailure{0, 0, "the To file could not be written to its end"};
    }
  }
  // What the file or pipe took, not what was formatted: a full disk or a
  // reader that went away leaves less. A cancelled run was cut back.
  if (!outcome.cancelled)
    outcome.result.report.bytesWritten = request.to->Accepted() - acceptedBefore;
  if (!outcome.cancelled && !lostBefore && request.to->loss().any)
    CountWhatArrived(request.to->loss(), request.toType, &outcome.result.report);
  if (outcome.status == kStatusFileError)
    outcome.popupText = kReadFailedText;
  return outcome;
}

}  // namespace
