#include "runtime/panel_binding.h"

bool ResolvePanelBindings(const PanelDescription& description, PanelBindings* bindings,
                          std::string* error) {
  PanelBindings result;
  auto fail = [error](const std::string& what, const std::string& name) {
    if (error != nullptr) {
      *error =
          what + " is bound to the callback \"" + name + "\", which this program does not have";
    }
    return false;
  };
  if (!description.callback.empty()) {
    result.panel = FindPanelCallback(description.callback);
    if (result.panel == nullptr)
      return fail("the panel", description.callback);
  }
  for (const ControlDescription& control : description.controls) {
    if (control.callback.empty())
      continue;
    CtrlCallbackFn fn = FindCtrlCallback(control.callback);
    if (fn == nullptr)
      return fail("control " + std::to_string(control.id), control.callback);
    result.controls[control.id] = fn;
  }
  for (const MenuItemDescription& item : description.menuItems) {
    if (item.callback.empty())
      continue;
    MenuCallbackFn fn = FindMenuCallback(item.callback);
    if (fn == nullptr)
      return fail("menu item " + std::to_string(item.id), item.callback);
    result.menuItems[item.id] = fn;
  }
  *bindings = std::move(result);
  return true;
}
