// Open From File, Close From File, Open To File and Close To File.
#include <cstring>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "app/shell_hooks.h"
#include "runtime/delay.h"
#include "runtime/files.h"
#include "runtime/ui.h"

namespace {

constexpr double kClosePause = 0.6;  // seconds before the From file is closed

// Tells the front end that the From file was opened or closed.
void FromFileChanged() {
  if (CurrentShellHooks().fromFileChanged)
    CurrentShellHooks().fromFileChanged();
}

int ChooseFile(const char* title, char* pathBuffer) {
  return FileSelectPopup("", "*.csv", "*.txt;*.*", title, 0, 0, 0, 1, 0, pathBuffer);
}

void ShowStatus(const char* text) {
  SetCtrlAttribute(PanelHandle, kCtrlStatus, ATTR_CTRL_VAL, text);
}

}  // namespace

void OpenFromFile(int menuBar, int /*menuItem*/, void* /*callbackData*/, int /*panel*/) {
  // Only an existing file will do: a cancel or a new name changes nothing,
  // not even the name kept for the file that stays open.
  char chosen[260] = {};
  if (ChooseFile("Open From File", chosen) != VAL_EXISTING_FILE_SELECTED)
    return;
  OpenFromPath(menuBar, chosen);
}

void OpenFromPath(int menuBar, const char* path) {
  std::memset(FileFromName, 0, sizeof FileFromName);
  std::strncpy(FileFromName, path, sizeof FileFromName - 1);
  if (FileFromOpen) {
    FileFromOpen = 0;
    Delay(kClosePause);
    CloseFile(FileFromHandle);
  }
  SetMenuBarAttribute(menuBar, kMenuCloseFrom, ATTR_DIMMED, 0);
  FileFromHandle = OpenFile(FileFromName, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  SetCtrlAttribute(PanelHandle, kCtrlFromName, ATTR_CTRL_VAL, FileFromName);
  FileFromOpen = 1;
  SetFilePtr(FileFromHandle, 0, VAL_START_OF_FILE);
  if (FileToOpen)
    ShowStatus("Ready");
  FromFileChanged();
}

void CloseFromFile(int menuBar, int /*menuItem*/, void* /*callbackData*/, int /*panel*/) {
  if (!FileFromOpen)
    return;
  FileFromOpen = 0;
  Delay(kClosePause);
  CloseFile(FileFromHandle);
  SetMenuBarAttribute(menuBar, kMenuCloseFrom, ATTR_DIMMED, 1);
  SetCtrlAttribute(PanelHandle, kCtrlFromName, ATTR_CTRL_VAL, "");
  ShowStatus("Not Ready");
  FromFileChanged();
}

void OpenToFile(int menuBar, int /*menuItem*/, void* /*callbackData*/, int /*panel*/) {
  char chosen[260] = {};
  const int choice = ChooseFile("Open To File", chosen);
  int action;
  int origin;
  if (choice == VAL_NEW_FILE_SELECTED) {
    action = VAL_TRUNCATE;
    origin = VAL_START_OF_FILE;
  } else if (choice == VAL_EXISTING_FILE_SELECTED) {
    if (!ConfirmPopup("Confirm Save File",
                      "The file already exist\n Do you want to append to it?")) {
      return;
    }
    action = VAL_OPEN_AS_IS;
    origin = VAL_END_OF_FILE;
  } else {
    return;
  }
  std::memcpy(FileToName, chosen, sizeof FileToName);
  SetMenuBarAttribute(menuBar, kMenuOpenTo, ATTR_DIMMED, 1);
  SetMenuBarAttribute(menuBar, kMenuCloseTo, ATTR_DIMMED, 0);
  FileToHandle = OpenFile(FileToName, VAL_WRITE_ONLY, action, VAL_BINARY);
  SetCtrlAttribute(PanelHandle, kCtrlToName, ATTR_CTRL_VAL, FileToName);
  FileToOpen = 1;
  // The start of a new file, the end of an existing one: output goes after
  // what the file already holds.
  SetFilePtr(FileToHandle, 0, origin);
  if (FileFromOpen)
    ShowStatus("Ready");
}

void CloseToFile(int menuBar, int /*menuItem*/, void* /*callbackData*/, int /*panel*/) {
  SetMenuBarAttribute(menuBar, kMenuOpenTo, ATTR_DIMMED, 0);
  SetMenuBarAttribute(menuBar, kMenuCloseTo, ATTR_DIMMED, 1);
  if (FileToOpen)
    CloseFile(FileToHandle);
  FileToOpen = 0;
  SetCtrlAttribute(PanelHandle, kCtrlToName, ATTR_CTRL_VAL, "");
  ShowStatus("Not Ready");
}

int BrowseFromFile(int panel, int /*control*/, int event, void* /*callbackData*/,
                   int /*eventData1*/, int /*eventData2*/) {
  if (event == EVENT_COMMIT)
    OpenFromFile(GetPanelMenuBar(panel), kMenuOpenFrom, nullptr, panel);
  return 0;
}

int BrowseToFile(int panel, int /*control*/, int event, void* /*callbackData*/, int /*eventData1*/,
                 int /*eventData2*/) {
  if (event == EVENT_COMMIT && !FileToOpen)
    OpenToFile(GetPanelMenuBar(panel), kMenuOpenTo, nullptr, panel);
  return 0;
}
