// The linear correction controls: switch 18, gain M (17) and offset B (16)
// are shown only where they mean something, and M and B go back to the
// identity correction whenever they are hidden by the switch.
#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "convert/dump_types.h"
#include "runtime/ui.h"

namespace {

void ShowGainAndOffset(int visible) {
  SetCtrlAttribute(PanelHandle, kCtrlGainM, ATTR_VISIBLE, visible);
  SetCtrlAttribute(PanelHandle, kCtrlOffsetB, ATTR_VISIBLE, visible);
}

void ResetGainAndOffset() {
  SetCtrlVal(PanelHandle, kCtrlGainM, 1.0);
  SetCtrlVal(PanelHandle, kCtrlOffsetB, 0.0);
}

bool CorrectionSwitchOn() {
  int on = 0;
  GetCtrlVal(PanelHandle, kCtrlCorrection, &on);
  return on == 1;
}

}  // namespace

int FromSelect(int /*panel*/, int /*control*/, int event, void* /*callbackData*/,
               int /*eventData1*/, int /*eventData2*/) {
  if (event != EVENT_COMMIT)
    return 0;
  GetCtrlVal(PanelHandle, kCtrlFromType, &SelectFromType);
  if (IsLoggerDump(SelectFromType)) {
    SetCtrlAttribute(PanelHandle, kCtrlCorrection, ATTR_VISIBLE, 1);
    // With the switch off, M and B are hidden but keep their values.
    ShowGainAndOffset(CorrectionSwitchOn() ? 1 : 0);
  } else {
    // No correction for this dump kind; the switch keeps its value.
    SetCtrlAttribute(PanelHandle, kCtrlCorrection, ATTR_VISIBLE, 0);
    ShowGainAndOffset(0);
    ResetGainAndOffset();
  }
  return 0;
}

int MXBEnable(int /*panel*/, int /*control*/, int event, void* /*callbackData*/, int /*eventData1*/,
              int /*eventData2*/) {
  if (event != EVENT_COMMIT)
    return 0;
  if (CorrectionSwitchOn()) {
    ShowGainAndOffset(1);
  } else {
    ShowGainAndOffset(0);
    ResetGainAndOffset();
  }
  return 0;
}
