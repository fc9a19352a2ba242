// The one dispatch of a conversion request to a converter.
#include "convert/dispatch.h"

#include <string>

#include "convert/status.h"
#include "runtime/files.h"

namespace {

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

void SetOutcomeStatus(DispatchOutcome* outcome, uint8_t status, const std::string& reason) {
  outcome->status = status;
  outcome->result.status = status;
  outcome->result.report.failed = true;
  outcome->result.report.failure.reason = reason;
}

}  // namespace

DispatchOutcome DispatchConversion(const DispatchRequest& request) {
  DispatchOutcome outcome;
  outcome.result = UnconvertedResult(request);
  if (!request.fromOpen || !request.toOpen) {
    SetOutcomeStatus(&outcome, kStatusFileError, "the From file and the To file must both be open");
    outcome.popupText = kSelectFilesText;
    return outcome;
  }
  // Reading a file while appending to it would never reach its end.
  if (FilesAreSame(request.fromHandle, request.toHandle)) {
    SetOutcomeStatus(&outcome, kStatusFileError, "the From file and the To file are the same file");
    outcome.popupText = kSameFileText;
    return outcome;
  }
  SetFilePtr(request.fromHandle, 0, VAL_START_OF_FILE);
  SetFilePtr(request.toHandle, 0, VAL_END_OF_FILE);
  if (ToTypeForFromType(request.fromType) < 0)
    return outcome;  // nothing to convert; the status stays "Ready"
  if (!TypesFit(request.fromType, request.toType)) {
    SetOutcomeStatus(&outcome, kStatusToTypeError, MismatchInWords(request));
    return outcome;
  }
  const long long acceptedBefore = BytesAccepted(request.toHandle);
  outcome.result = RunConversion(request);
  outcome.converterRan = true;
  outcome.cancelled = outcome.result.cancelled;
  outcome.status = outcome.result.status;
  // The operator may open the output while the program stays open: hand its
  // bytes to the operating system before the outcome is shown.
  if (FileIsOpen(request.toHandle) && FlushFile(request.toHandle) < 0) {
    outcome.status = outcome.result.status = kStatusWriteError;
    ConversionReport& report = outcome.result.report;
    if (!report.failed) {
      report.failed = true;
      report.failure = ConversionFailure{0, 0, "the To file could not be written to its end"};
    }
  }
  // What the file or pipe took, not what was formatted: a full disk or a
  // reader that went away leaves less. A cancelled run was cut back.
  const long long acceptedAfter = BytesAccepted(request.toHandle);
  if (!outcome.cancelled && acceptedBefore >= 0 && acceptedAfter >= acceptedBefore)
    outcome.result.report.bytesWritten = acceptedAfter - acceptedBefore;
  if (outcome.status == kStatusFileError)
    outcome.popupText = kReadFailedText;
  return outcome;
}
