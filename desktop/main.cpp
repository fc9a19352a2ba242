// The desktop program: the shell on the Qt backend.
#include "app/shell.h"
#include "runtime/caltime.h"
#include "runtime/qt/qt_ui.h"
#include "runtime/ui.h"

int main(int argc, char* argv[]) {
  PinLocalTimeZone();
  InstallQtUiBackend();
  const int result = ZorqMain(argc, argv);
  // The panel and the application go while the process is still whole.
  InstallUiBackend(nullptr);
  return result;
}
