// The panel the shell expects, and the registration of its callbacks.
#include "app/panel_ids.h"
#include "app/shell.h"
#include "runtime/callbacks.h"

void RegisterShellCallbacks() {
  RegisterPanelCallback("panelCB", panelCB);
  RegisterMenuCallback("OpenFromFile", OpenFromFile);
  RegisterMenuCallback("CloseFromFile", CloseFromFile);
  RegisterMenuCallback("OpenToFile", OpenToFile);
  RegisterMenuCallback("CloseToFile", CloseToFile);
  RegisterMenuCallback("Exit", Exit);
  RegisterMenuCallback("ExportLastDump", ExportLastDump);
  RegisterMenuCallback("WaveStatistics", WaveStatistics);
  RegisterCtrlCallback("StartConvert", StartConvert);
  RegisterCtrlCallback("FromSelect", FromSelect);
  RegisterCtrlCallback("MXBEnable", MXBEnable);
  RegisterCtrlCallback("ConvertTimer", ConvertTimer);
  RegisterCtrlCallback("BrowseFromFile", BrowseFromFile);
  RegisterCtrlCallback("BrowseToFile", BrowseToFile);
  RegisterMenuCallback("ConvertMenuStart", ConvertMenuStart);
}

PanelDescription ShellPanelDescription() {
  PanelDescription panel;
  panel.title = "ZORQConvert";
  panel.callback = "panelCB";

  auto add = [&panel](int id, ControlKind kind, const char* label, const char* callback) {
    ControlDescription control;
    control.id = id;
    control.kind = kind;
    control.label = label;
    control.callback = callback;
    panel.controls.push_back(control);
    return &panel.controls.back();
  };
  ControlDescription* toType = add(kCtrlToType, ControlKind::Ring, "To File Type", "");
  toType->items = {{"Logger CSV (f001 records)", 0}, {"Gauge CSV (D1 records)", 1}};
  ControlDescription* fromType =
      add(kCtrlFromType, ControlKind::Ring, "From File Type", "FromSelect");
  fromType->items = {{"Logger dump, type 1", 1}, {"Logger dump, type 2", 2}, {"Gauge dump", 3}};
  fromType->intValue = 1;
  add(kCtrlStartConvert, ControlKind::ToggleButton, "START CONVERT", "StartConvert");
  add(kCtrlStatus, ControlKind::TextDisplay, "Status", "")->text = "Not Ready";
  add(kCtrlToName, ControlKind::TextDisplay, "To File", "");
  add(kCtrlFromName, ControlKind::TextDisplay, "From File", "");
  ControlDescription* offset = add(kCtrlOffsetB, ControlKind::Numeric, "Offset B", "");
  offset->doubleValue = 0.0;
  offset->visible = false;
  ControlDescription* gain = add(kCtrlGainM, ControlKind::Numeric, "Gain M", "");
  gain->doubleValue = 1.0;
  gain->visible = false;
  add(kCtrlCorrection, ControlKind::BinarySwitch, "Linear correction (M\u00b7x + B)", "MXBEnable");
  ControlDescription* lfLineEnds =
      add(kCtrlLfLineEnds, ControlKind::BinarySwitch, "Read each LF as CR LF", "");
  lfLineEnds->visible = false;
  add(kCtrlBrowseFrom, ControlKind::CommandButton, "Browse\u2026", "BrowseFromFile");
  add(kCtrlBrowseTo, ControlKind::CommandButton, "Browse\u2026", "BrowseToFile");
  add(kCtrlTimer, ControlKind::Timer, "Conversion timer", "ConvertTimer")->interval = 0.1;

  panel.menuItems = {
      {kMenuOpenFrom, "Open From File...", "OpenFromFile", false},
      {kMenuCloseFrom, "Close From File", "CloseFromFile", true},
      {kMenuOpenTo, "Open To File...", "OpenToFile", false},
      {kMenuCloseTo, "Close To File", "CloseToFile", true},
      {kMenuExport, "Export...", "ExportLastDump", true},
      {kMenuWaveStatistics, "Wave Statistics...", "WaveStatistics", true},
      {kMenuStartConvert, "START CONVERT", "ConvertMenuStart", false},
      {kMenuExit, "Exit", "Exit", false},
  };
  return panel;
}
