// What a front end adds around the shell's callbacks beyond the panel's
// controls, status line and popups: the desktop program shows the From
// file's kind, the conversion's progress, details and preview (desktop/).
// The shell says when; with no hooks set it shows nothing more, and a
// conversion request is dispatched where it is asked for.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/dispatch.h"

struct ShellHooks {
  // Once the panel is loaded, before it shows.
  std::function<void()> panelLoaded;
  // The From file was opened or closed.
  std::function<void()> fromFileChanged;
  // Carries out one request; DispatchConversion when unset.
  std::function<DispatchOutcome(const DispatchRequest&)> dispatch;
  // The outcome of one request is on the status line; the To file held
  // bytes [toBefore, toAfter) of it (-1 when it was not open).
  std::function<void(const DispatchRequest&, const DispatchOutcome&, int64_t toBefore,
                     int64_t toAfter)>
      conversionShown;
  // The dump files the program's arguments name, as the front end reads
  // them once its user interface has started; when unset, every argument
  // after the program's name that is no option (DumpFilesGiven).
  std::function<std::vector<std::string>(int argc, char* argv[])> filesGiven;
  // The dump the program's arguments named is open as the From file. No
  // type has been chosen for it yet, so the front end may choose those its
  // header fits.
  std::function<void()> givenDumpOpened;
  // File > Export... and View > Wave statistics... were chosen.
  std::function<void()> exportChosen;
  std::function<void()> waveStatisticsChosen;
};

// Replaces the hooks (empty ones to remove them).
void SetShellHooks(ShellHooks hooks);
const ShellHooks& CurrentShellHooks();
