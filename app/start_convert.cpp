// START CONVERT, the conversion timer and the panel's conversion request:
// the globals into a DispatchRequest, the outcome back into them.
#include <string>

#include "app/converters.h"
#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "app/shell_hooks.h"
#include "convert/dispatch.h"
#include "convert/dump_types.h"
#include "convert/status.h"
#include "runtime/files.h"
#include "runtime/numbers.h"
#include "runtime/ui.h"

namespace {

// True while a conversion request is being carried out. A modal popup of
// the dispatch runs a nested event loop whose timer ticks must not start the
// same request a second time.
bool gDispatching = false;

}  // namespace

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

void ConvertMenuStart(int /*menuBar*/, int /*menuItem*/, void* /*callbackData*/, int panel) {
  int on = 0;
  GetCtrlVal(panel, kCtrlStartConvert, &on);
  if (on != 0)
    return;  // already pressed: the request waits for the timer
  SetCtrlVal(panel, kCtrlStartConvert, 1);
  StartConvert(panel, kCtrlStartConvert, EVENT_COMMIT, nullptr, 0, 0);
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
  // The shell's handles, handed to the engine as the source and sink they
  // stand for.
  request.from = SourceOfHandle(FileFromHandle);
  request.to = SinkOfHandle(FileToHandle);
  if (request.fromOpen && request.toOpen) {
    GetCtrlVal(PanelHandle, kCtrlFromType, &SelectFromType);
    GetCtrlVal(PanelHandle, kCtrlToType, &SelectToType);
    request.correction = ReadCorrectionControls();
    int lfLineEnds = 0;
    GetCtrlVal(PanelHandle, kCtrlLfLineEnds, &lfLineEnds);
    request.lfLineEnds = lfLineEnds != 0;
  }
  request.fromType = SelectFromType;
  request.zone = DumpClockZone;
  request.toType = SelectToType;
  request.carried = CarriedGaugeValues();
  request.startValues = CurrentHeaderValues();
  return request;
}

// Where the To file ends now; -1 when it is not open.
int64_t ToFileEnd(const DispatchRequest& request) {
  if (!request.fromOpen || !request.toOpen)
    return -1;
  return SetFilePtr(FileToHandle, 0, VAL_END_OF_FILE);
}

DispatchOutcome Dispatch(const DispatchRequest& request) {
  const ShellHooks& hooks = CurrentShellHooks();
  return hooks.dispatch ? hooks.dispatch(request) : DispatchConversion(request);
}

}  // namespace

void DoTheConvert() {
  ConvertState = kStatusReady;
  FileSampleRate = 1;
  StaffScale = 1.0f;
  const DispatchRequest request = PanelRequest();
  const int64_t toBefore = ToFileEnd(request);
  const DispatchOutcome outcome = Dispatch(request);
  const int64_t toAfter = ToFileEnd(request);
  ConvertState = outcome.status;
  LastConversionReport = outcome.result.report;
  if (outcome.converterRan) {
    if (IsGaugeDump(request.fromType)) {
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
  if (CurrentShellHooks().conversionShown)
    CurrentShellHooks().conversionShown(request, outcome, toBefore, toAfter);
}
