// File > Export... and View > Wave statistics...: the front end shows its
// windows for them; the shell only says when they were chosen.
#include "app/shell.h"
#include "app/shell_hooks.h"

void ExportLastDump(int /*menuBar*/, int /*menuItem*/, void* /*callbackData*/, int /*panel*/) {
  if (CurrentShellHooks().exportChosen)
    CurrentShellHooks().exportChosen();
}

void WaveStatistics(int /*menuBar*/, int /*menuItem*/, void* /*callbackData*/, int /*panel*/) {
  if (CurrentShellHooks().waveStatisticsChosen)
    CurrentShellHooks().waveStatisticsChosen();
}
