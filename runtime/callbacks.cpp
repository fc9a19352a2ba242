#include "runtime/callbacks.h"

#include <map>

namespace {

template <typename Fn>
std::map<std::string, Fn, std::less<>>& Table() {
  static std::map<std::string, Fn, std::less<>> table;
  return table;
}

template <typename Fn>
Fn Find(std::string_view name) {
  auto& table = Table<Fn>();
  const auto found = table.find(name);
  return found == table.end() ? nullptr : found->second;
}

}  // namespace

void RegisterPanelCallback(std::string_view name, PanelCallbackFn fn) {
  Table<PanelCallbackFn>()[std::string(name)] = fn;
}
void RegisterCtrlCallback(std::string_view name, CtrlCallbackFn fn) {
  Table<CtrlCallbackFn>()[std::string(name)] = fn;
}
void RegisterMenuCallback(std::string_view name, MenuCallbackFn fn) {
  Table<MenuCallbackFn>()[std::string(name)] = fn;
}

PanelCallbackFn FindPanelCallback(std::string_view name) {
  return Find<PanelCallbackFn>(name);
}
CtrlCallbackFn FindCtrlCallback(std::string_view name) {
  return Find<CtrlCallbackFn>(name);
}
MenuCallbackFn FindMenuCallback(std::string_view name) {
  return Find<MenuCallbackFn>(name);
}
