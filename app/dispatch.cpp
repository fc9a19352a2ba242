// START CONVERT, the conversion timer and the dispatch to a converter.
#include "app/dispatch.h"

#include <string>

#include "app/converters.h"
#include "app/feedback.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "convert/panel_ids.h"
#include "convert/status.h"
#include "runtime/files.h"
#include "runtime/numbers.h"
#include "runtime/ui.h"

namespace {

// True while a conversion request is being carried out. A modal popup of
// the dispatch runs a nested event loop whose timer ticks must not start the
// same request a second time.
bool gDispatching = false;

// The To type that goes with a From type of 1 to 3 (0 or 1); -1 for a From
// type that converts nothing.
bool TypesFit(int fromType, int toType) {
  return ToTypeForFromType(fromType) == toType;
}

ConversionRequest ConversionRequestOf(const DispatchRequest& request) {
  ConversionRequest conversion;
  conversion.fromType = request.fromType;
  conversion.toType = request.toType;
  conversion.correction = request.correction;
  conversion.fromHandle = request.fromHandle;
  conversion.toHandle = request.toHandle;
  conversion.carried = request.carried;
  conversion.startValues = request.startValues;
  conversion.progress = request.progress;
  conversion.cancelRequested = request.cancelRequested;
  conversion.readings = request.readings;
  return conversion;
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
  outcome.result.logger = request.startValues;
  outcome.result.gauge.sampleRate = request.startValues.sampleRate;
  outcome.result.gauge.values = request.carried;
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
    SetOutcomeStatus(&outcome, kStatusToTypeError,
                     "From type " + std::to_string(request.fromType) + " goes with To type " +
                         std::to_string(ToTypeForFromType(request.fromType)) + ", not " +
                         std::to_string(request.toType));
    return outcome;
  }
  outcome.result = RunConversion(ConversionRequestOf(request));
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
  if (outcome.status == kStatusFileError)
    outcome.popupText = kReadFailedText;
  return outcome;
}

int StartConvert(int /*panel*/, int /*control*/, int event, void* /*callbackData*/,
                 int /*eventData1*/, int /*eventData2*/) {
  if (event == EVENT_COMMIT) {
    int on = 0;
    GetCtrlVal(PanelHandle, kCtrlStartConvert, &on);
    OKToConvert = on != 0 ? 1 : 0;
  } else if (event == EVENT_RIGHT_CLICK) {
    MessagePopup(kStartConvertHelpTitle, kStartConvertHelpText);
  }
  return 0;
}

int ConvertTimer(int /*panel*/, int /*control*/, int event, void* /*callbackData*/,
                 int /*eventData1*/, int /*eventData2*/) {
  if (event != EVENT_TIMER_TICK || gDispatching)
    return 0;
  if (OKToConvert) {
    gDispatching = true;
    DoTheConvert();
    gDispatching = false;
  }
  OKToConvert = 0;
  return 0;
}

namespace {

// The request the panel and the globals make; the rings and the correction
// are read only when both files are open.
DispatchRequest PanelRequest() {
  DispatchRequest request;
  request.fromOpen = FileFromOpen != 0;
  request.toOpen = FileToOpen != 0;
  request.fromHandle = FileFromHandle;
  request.toHandle = FileToHandle;
  if (request.fromOpen && request.toOpen) {
    GetCtrlVal(PanelHandle, kCtrlFromType, &SelectFromType);
    GetCtrlVal(PanelHandle, kCtrlToType, &SelectToType);
    request.correction = ReadCorrectionControls();
  }
  request.fromType = SelectFromType;
  request.toType = SelectToType;
  request.carried = CarriedGaugeValues();
  request.startValues = CurrentHeaderValues();
  return request;
}

// Where the To file ends now; -1 when it is not open.
int64_t ToFileEnd(const DispatchRequest& request) {
  if (!request.fromOpen || !request.toOpen)
    return -1;
  return SetFilePtr(request.toHandle, 0, VAL_END_OF_FILE);
}

// The engine's run, on whatever thread the UI layer gives it; it touches no
// control and no popup.
DispatchOutcome DispatchWithProgress(DispatchRequest request) {
  if (!request.fromOpen || !request.toOpen)
    return DispatchConversion(request);
  DispatchOutcome outcome;
  RunWithProgress(kConvertingTitle, [&](ProgressReporter& progress) {
    request.progress = [&progress](int64_t done, int64_t total) { progress.Report(done, total); };
    request.cancelRequested = [&progress] { return progress.CancelRequested(); };
    outcome = DispatchConversion(request);
  });
  return outcome;
}

}  // namespace

void DoTheConvert() {
  ConvertState = kStatusReady;
  FileSampleRate = 1;
  StaffScale = 1.0f;
  const DispatchRequest request = PanelRequest();
  const int64_t toBefore = ToFileEnd(request);
  const DispatchOutcome outcome = DispatchWithProgress(request);
  const int64_t toAfter = ToFileEnd(request);
  ConvertState = outcome.status;
  LastConversionReport = outcome.result.report;
  if (outcome.converterRan) {
    if (request.fromType == 3) {
      KeepGaugeValues(outcome.result.gauge);
    } else {
      KeepLoggerValues(outcome.result.logger);
    }
  }
  char message[64];
  FormatText(message, sizeof message, "%s",
             outcome.cancelled ? kCancelledText : StatusMessage(ConvertState));
  if (ConvertState == kStatusFileError && outcome.popupText != nullptr) {
    MessagePopup(kConvertErrorTitle, outcome.popupText);
  }
  SetCtrlAttribute(PanelHandle, kCtrlStatus, ATTR_CTRL_VAL, message);
  SetCtrlVal(PanelHandle, kCtrlStartConvert, 0);
  ShowConversionOutcome(request, outcome, toBefore, toAfter);
}
