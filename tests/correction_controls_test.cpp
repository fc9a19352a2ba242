// The correction switch, gain M and offset B, driven through the From-type
// ring and the switch on the headless panel.
#include <gtest/gtest.h>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "runtime/callbacks.h"
#include "tests/test_support.h"

using zorq_test::HeadlessShell;

namespace {

struct Controls {
  bool switchVisible;
  int switchValue;
  bool gainVisible;
  bool offsetVisible;
  double gain;
  double offset;
};

Controls Read(HeadlessUi& ui) {
  return {ui.Visible(kCtrlCorrection), ui.IntValue(kCtrlCorrection), ui.Visible(kCtrlGainM),
          ui.Visible(kCtrlOffsetB),    ui.DoubleValue(kCtrlGainM),   ui.DoubleValue(kCtrlOffsetB)};
}

void ExpectControls(HeadlessUi& ui, const Controls& expected, const char* when) {
  const Controls actual = Read(ui);
  EXPECT_EQ(actual.switchVisible, expected.switchVisible) << when;
  EXPECT_EQ(actual.switchValue, expected.switchValue) << when;
  EXPECT_EQ(actual.gainVisible, expected.gainVisible) << when;
  EXPECT_EQ(actual.offsetVisible, expected.offsetVisible) << when;
  EXPECT_EQ(actual.gain, expected.gain) << when;
  EXPECT_EQ(actual.offset, expected.offset) << when;
}

void ChooseFromType(HeadlessUi& ui, int fromType) {
  ui.SetValue(kCtrlFromType, fromType);
  ui.Commit(kCtrlFromType);
}

void SetSwitch(HeadlessUi& ui, int value) {
  ui.SetValue(kCtrlCorrection, value);
  ui.Commit(kCtrlCorrection);
}

void TypeGainAndOffset(HeadlessUi& ui, double gain, double offset) {
  ui.SetValue(kCtrlGainM, gain);
  ui.SetValue(kCtrlOffsetB, offset);
}

}  // namespace

TEST(CorrectionControls, GaugeTypeHidesAllAndResetsThenLoggerTypeBringsTheSwitchBackOn) {
  HeadlessShell shell;
  HeadlessUi& ui = shell.ui();
  SetSwitch(ui, 1);
  ExpectControls(ui, {true, 1, true, true, 1.0, 0.0}, "switch turned on");
  TypeGainAndOffset(ui, 2.5, -0.75);

  ChooseFromType(ui, 3);
  EXPECT_EQ(SelectFromType, 3);
  ExpectControls(ui, {false, 1, false, false, 1.0, 0.0}, "gauge type chosen");

  ChooseFromType(ui, 1);
  EXPECT_EQ(SelectFromType, 1);
  ExpectControls(ui, {true, 1, true, true, 1.0, 0.0}, "logger type chosen again");

  // Any From type but 1 and 2 offers no correction.
  for (int fromType : {0, 4, -1}) {
    TypeGainAndOffset(ui, 3.0, 4.0);
    ChooseFromType(ui, fromType);
    EXPECT_EQ(SelectFromType, fromType);
    ExpectControls(ui, {false, 1, false, false, 1.0, 0.0}, "other From type");
  }
}

TEST(CorrectionControls, SwitchOffResetsAtOnceAndOnAgainShowsTheIdentity) {
  HeadlessShell shell;
  HeadlessUi& ui = shell.ui();
  ChooseFromType(ui, 2);
  SetSwitch(ui, 1);
  TypeGainAndOffset(ui, 2.0, 0.5);
  ExpectControls(ui, {true, 1, true, true, 2.0, 0.5}, "typed");

  SetSwitch(ui, 0);
  ExpectControls(ui, {true, 0, false, false, 1.0, 0.0}, "switch off");

  SetSwitch(ui, 1);
  ExpectControls(ui, {true, 1, true, true, 1.0, 0.0}, "switch on again");

  // Only exactly 1 counts as on.
  TypeGainAndOffset(ui, 2.0, 0.5);
  SetSwitch(ui, 2);
  ExpectControls(ui, {true, 2, false, false, 1.0, 0.0}, "switch value 2");
}

TEST(CorrectionControls, LoggerTypeWithTheSwitchOffHidesGainAndOffsetKeepingTheirValues) {
  HeadlessShell shell;
  HeadlessUi& ui = shell.ui();
  // M and B hidden but holding values the callbacks did not put there.
  TypeGainAndOffset(ui, 3.0, 4.0);
  ui.SetValue(kCtrlCorrection, 0);
  for (int fromType : {1, 2}) {
    ui.SetValue(kCtrlGainM, 3.0 + fromType);
    ChooseFromType(ui, fromType);
    EXPECT_EQ(SelectFromType, fromType);
    ExpectControls(ui, {true, 0, false, false, 3.0 + fromType, 4.0}, "logger type, switch off");
  }
  // Shown M and B are hidden by the ring when the switch is off.
  ui.SetValue(kCtrlCorrection, 1);
  ChooseFromType(ui, 1);
  ExpectControls(ui, {true, 1, true, true, 5.0, 4.0}, "logger type, switch on");
  ui.SetValue(kCtrlCorrection, 7);
  ChooseFromType(ui, 2);
  ExpectControls(ui, {true, 7, false, false, 5.0, 4.0}, "logger type, switch 7");
}

TEST(CorrectionControls, EventsOtherThanCommitChangeNothing) {
  HeadlessShell shell;
  HeadlessUi& ui = shell.ui();
  SetSwitch(ui, 1);
  TypeGainAndOffset(ui, 2.0, 0.5);
  const int selectedBefore = SelectFromType;
  const Controls before = Read(ui);

  ui.SetValue(kCtrlFromType, 3);
  ui.SetValue(kCtrlCorrection, 0);
  const Controls edited = {before.switchVisible, 0,           before.gainVisible,
                           before.offsetVisible, before.gain, before.offset};
  for (int event : {0, 2, 3, EVENT_RIGHT_CLICK, 7, EVENT_CLOSE, EVENT_TIMER_TICK, 20}) {
    SCOPED_TRACE(event);
    ui.DeliverControlEvent(kCtrlFromType, event);
    ui.DeliverControlEvent(kCtrlCorrection, event);
    EXPECT_EQ(SelectFromType, selectedBefore);
    ExpectControls(ui, edited, "non-commit event");
  }
}
