// Start-up, the panel callback and Exit.
#include <cstdio>
#include <cstring>

#include "app/shared_state.h"
#include "app/shell.h"
#include "app/shell_hooks.h"
#include "runtime/delay.h"
#include "runtime/files.h"
#include "runtime/ui.h"

namespace {
constexpr double kClosePause = 0.6;  // seconds before a file is closed
constexpr char kCheckPanelOption[] = "--check-panel";

bool AskedToCheckPanelOnly(int argc, char* argv[]) {
  for (int index = 1; index < argc; ++index) {
    if (std::strcmp(argv[index], kCheckPanelOption) == 0)
      return true;
  }
  return false;
}

// Shows the loaded panel once and discards it without running the event loop,
// so that an install can be checked on a machine with no operator.
int CheckPanelAndLeave() {
  const int shown = DisplayPanel(PanelHandle);
  DiscardPanel(PanelHandle);
  if (shown < 0) {
    std::fprintf(stderr, "ZORQConvert: the panel cannot be shown.\n");
    return 1;
  }
  std::printf("ZORQConvert: the panel file \"ZORQConvert.uir\" loads and shows.\n");
  return 0;
}
}  // namespace

int ZorqMain(int argc, char* argv[]) {
  const bool checkPanelOnly = AskedToCheckPanelOnly(argc, argv);
  RegisterShellCallbacks();
  if (InitRuntime(0, argv, 0) == 0) {
    std::fprintf(stderr, "ZORQConvert: the user interface could not be started.\n");
    return 1;
  }
  PanelHandle = LoadPanel(0, "ZORQConvert.uir", 1);
  if (PanelHandle < 0) {
    std::fprintf(stderr, "ZORQConvert: cannot load the panel file \"ZORQConvert.uir\".\n");
    return 1;
  }
  if (CurrentShellHooks().panelLoaded)
    CurrentShellHooks().panelLoaded();
  OpenDumpGiven(CurrentShellHooks().filesGiven ? CurrentShellHooks().filesGiven(argc, argv)
                                               : DumpFilesGiven(argc, argv));
  if (checkPanelOnly)
    return CheckPanelAndLeave();
  if (DisplayPanel(PanelHandle) >= 0)
    RunUserInterface();
  if (PanelHandle > 0)
    DiscardPanel(PanelHandle);
  return 0;
}

int panelCB(int /*panel*/, int event, void* /*callbackData*/, int /*eventData1*/,
            int /*eventData2*/) {
  // Leaving through the close box closes no file; the process end releases them.
  if (event == EVENT_CLOSE)
    QuitUserInterface(0);
  return 0;
}

void Exit(int /*menuBar*/, int /*menuItem*/, void* /*callbackData*/, int /*panel*/) {
  if (FileFromOpen) {
    FileFromOpen = 0;
    Delay(kClosePause);
    CloseFile(FileFromHandle);
  }
  if (FileToOpen) {
    FileToOpen = 0;
    Delay(kClosePause);
    CloseFile(FileToHandle);
  }
  QuitUserInterface(0);
}
