// What a panel holds, independent of how it is shown: the controls and menu
// items with their identifiers, kinds and the callback names they bind.
// The Qt backend reads it from the panel file; the headless backend is
// handed one.
#pragma once

#include <string>
#include <vector>

// A command button is pressed and holds no value.
enum class ControlKind {
  Ring,
  ToggleButton,
  TextDisplay,
  Numeric,
  BinarySwitch,
  Timer,
  CommandButton
};

const char* ControlKindName(ControlKind kind);

struct RingItem {
  std::string label;
  int value = 0;
};

struct ControlDescription {
  int id = 0;
  ControlKind kind = ControlKind::TextDisplay;
  std::string callback;  // empty: no callback
  std::string label;
  int intValue = 0;          // rings, buttons, switches
  double doubleValue = 0.0;  // numerics
  std::string text;          // text displays
  bool visible = true;
  std::vector<RingItem> items;  // rings only
  double interval = 0.0;        // timers only, seconds
};

struct MenuItemDescription {
  int id = 0;
  std::string label;
  std::string callback;
  bool dimmed = false;
};

struct PanelDescription {
  std::string title;
  std::string callback;  // the panel's own callback
  std::vector<ControlDescription> controls;
  std::vector<MenuItemDescription> menuItems;

  const ControlDescription* FindControl(int id) const;
  const MenuItemDescription* FindMenuItem(int id) const;
};
