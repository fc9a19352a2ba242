// The desktop backend of the run-time layer: the panel is a Qt Designer form
// loaded with QUiLoader, events and timer ticks come from the Qt event loop,
// popups are Qt dialogs. Popups can be answered in the operator's place
// (a demo does); the tests reach what else they look at through their own
// access class.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/panel_description.h"
#include "runtime/popups.h"
#include "runtime/qt/qt_popups.h"
#include "runtime/ui.h"

class QAction;
class QWidget;

class QtUi : public UiBackend {
 public:
  QtUi();
  ~QtUi() override;
  QtUi(const QtUi&) = delete;
  QtUi& operator=(const QtUi&) = delete;

  // Folders where a bare panel file name is looked up, in order: the
  // executable's folder, then the installed data folder (tests set others).
  const std::vector<std::string>& PanelSearchPath() const;

  // With a responder, popups are answered by it instead of by dialogs. A
  // file-selection answer with a non-zero result hands back its path, which
  // is then judged as a path chosen in the dialog is: an existing file gives
  // 1, a new name 2, a path that is too long 0 after a message. Every popup
  // asked for is recorded, answered by a responder or not.
  void SetPopupResponder(PopupResponder responder);

  // A loaded panel's parts; null for an unknown handle.
  QWidget* PanelWindow(int panel) const;
  QWidget* ControlWidget(int panel, int control) const;
  QAction* MenuItemAction(int panel, int item) const;
  // True while RunUserInterface runs.
  bool Running() const;
  // While busy (a long task runs), the panels are disabled and take no
  // operator action; timer ticks still arrive.
  bool Busy() const;
  void SetBusy(bool busy);
  // How to stop the task that keeps the panels busy. With it, the close box
  // asks "Stop the conversion and quit?" meanwhile, stops the task on Yes
  // and closes the panel once the task has ended.
  void SetStopBusyTask(std::function<void()> stop);
  // The close box of a window that belongs to the busy task (its progress
  // dialog): the same question, closing the first panel shown.
  void AskToStopAndQuit();
  // The window a dialog belongs to: the modal one, the active one or the
  // first panel shown.
  QWidget* DialogParent() const;
  // Selects a menu item as the operator would, with the next file selection
  // answered by `path` (a file dropped on the panel); nothing when the item
  // is unknown or dimmed.
  void SelectMenuItemWithFile(int panel, int item, const std::string& path);
  // The file dialogs start beside this From file, however it came.
  void RememberFromFile(const std::string& path);

  // UiBackend
  int Init(char* argv[]) override;
  int LoadPanel(int parent, const char* fileName, int resourceId) override;
  int DisplayPanel(int panel) override;
  int DiscardPanel(int panel) override;
  int RunUserInterface() override;
  int QuitUserInterface(int code) override;
  int GetPanelMenuBar(int panel) override;
  int GetCtrlInt(int panel, int control, int* value) override;
  int GetCtrlDouble(int panel, int control, double* value) override;
  int SetCtrlInt(int panel, int control, int value) override;
  int SetCtrlDouble(int panel, int control, double value) override;
  int SetCtrlText(int panel, int control, const char* text) override;
  int SetCtrlVisible(int panel, int control, bool visible) override;
  int SetMenuItemDimmed(int menuBar, int item, bool dimmed) override;
  int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec,
                      const char* fileTypeList, const char* title, char* pathBuffer) override;
  int ConfirmPopup(const char* title, const char* message) override;
  int MessagePopup(const char* title, const char* message) override;

 private:
  friend class QtTestAccess;
  void SetPanelSearchPath(std::vector<std::string> folders);
  const std::vector<PopupRequest>& Popups() const;
  void ClearPopups();
  // A loaded panel as it stands; false for an unknown handle.
  bool DescribeLoadedPanel(int panel, PanelDescription* description) const;
  // What the file dialogs remember (the last folder, the From file).
  const FileDialogMemory& DialogMemory() const;

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Makes a new Qt backend the one the run-time layer's UI functions use.
void InstallQtUiBackend();
