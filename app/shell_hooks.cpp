#include "app/shell_hooks.h"

#include <utility>

namespace {

ShellHooks& Hooks() {
  static ShellHooks hooks;
  return hooks;
}

}  // namespace

void SetShellHooks(ShellHooks hooks) {
  Hooks() = std::move(hooks);
}

const ShellHooks& CurrentShellHooks() {
  return Hooks();
}
