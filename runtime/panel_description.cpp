#include "runtime/panel_description.h"

const char* ControlKindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Ring:
      return "ring";
    case ControlKind::ToggleButton:
      return "toggle";
    case ControlKind::TextDisplay:
      return "text";
    case ControlKind::Numeric:
      return "numeric";
    case ControlKind::BinarySwitch:
      return "switch";
    case ControlKind::Timer:
      return "timer";
    case ControlKind::CommandButton:
      return "command";
  }
  return "unknown";
}

const ControlDescription* PanelDescription::FindControl(int id) const {
  for (const ControlDescription& control : controls) {
    if (control.id == id)
      return &control;
  }
  return nullptr;
}

const MenuItemDescription* PanelDescription::FindMenuItem(int id) const {
  for (const MenuItemDescription& item : menuItems) {
    if (item.id == id)
      return &item;
  }
  return nullptr;
}
