// The desktop program: the shell on the Qt backend, with the desktop's
// additions around its panel.
#include "app/shared_state.h"
#include "app/shell.h"
#include "desktop/qt_additions.h"

int main(int argc, char* argv[]) {
  DumpClockZone = ZoneAtStart();
  InstallDesktopOnQt();
  const int result = ZorqMain(argc, argv);
  // The panel and the application go while the process is still whole.
  UninstallDesktopOnQt();
  return result;
}
