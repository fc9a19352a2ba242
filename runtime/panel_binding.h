// Resolves the callback names of a panel description to the program's
// functions, so that both backends bind and report bad names the same way.
#pragma once

#include <map>
#include <string>

#include "runtime/callbacks.h"
#include "runtime/panel_description.h"

struct PanelBindings {
  PanelCallbackFn panel = nullptr;
  std::map<int, CtrlCallbackFn> controls;   // control id -> callback
  std::map<int, MenuCallbackFn> menuItems;  // menu item id -> callback
};

// Fills `bindings`. Returns false, with a message naming the control or menu
// item and the callback name, when a name is bound that the program does not
// have.
bool ResolvePanelBindings(const PanelDescription& description, PanelBindings* bindings,
                          std::string* error);
