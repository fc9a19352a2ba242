// A UI backend with no display: the panel's controls, menu items and
// visibility are held in memory, popups are answered by a responder that
// the caller supplies, and the caller delivers events and timer ticks.
// The command-line front end and the tests drive the program through it.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "runtime/panel_binding.h"
#include "runtime/panel_description.h"
#include "runtime/popups.h"
#include "runtime/ui.h"

class HeadlessUi : public UiBackend {
 public:
  explicit HeadlessUi(PanelDescription description);

  // --- Driving the panel, as an operator would ---
  // Popups are answered by the responder; without one, file selection is
  // cancelled, confirmations answered No and messages dismissed.
  void SetPopupResponder(PopupResponder responder) { responder_ = std::move(responder); }
  const std::vector<PopupRequest>& Popups() const { return popups_; }
  void ClearPopups() { popups_.clear(); }

  // Deliver an event to a control's callback (through the loaded panel).
  void DeliverControlEvent(int control, int event);
  void Commit(int control) { DeliverControlEvent(control, EVENT_COMMIT); }
  void RightClick(int control) { DeliverControlEvent(control, EVENT_RIGHT_CLICK); }
  // One timer tick to every timer control's callback.
  void Tick();
  // The panel's close box.
  void ClosePanel();
  // Selecting a menu item; a dimmed item cannot be selected (returns false).
  bool SelectMenuItem(int item);
  // The same with the next file selection answered by `path`, as the file
  // dialog would answer for it (a file dropped on the panel).
  bool SelectMenuItemWithFile(int item, const std::string& path);
  // Operator edits a value without an event (like typing into a numeric).
  void SetValue(int control, int value);
  void SetValue(int control, double value);

  // --- Looking at the panel ---
  int Panel() const { return panel_; }
  bool Displayed() const { return displayed_; }
  bool QuitRequested() const { return quitRequested_; }
  std::string Text(int control) const;
  int IntValue(int control) const;
  double DoubleValue(int control) const;
  bool Visible(int control) const;
  bool Dimmed(int item) const;

  // RunUserInterface runs these in order until a quit is requested, then
  // returns; with nothing left to run it returns too, so it never blocks.
  void QueueAction(std::function<void()> action) { actions_.push_back(std::move(action)); }
  // Makes the next LoadPanel / Init / DisplayPanel fail, for start-up tests.
  void FailLoad(bool fail) { failLoad_ = fail; }
  void FailInit(bool fail) { failInit_ = fail; }
  void FailDisplay(bool fail) { failDisplay_ = fail; }
  int DiscardCount() const { return discards_; }

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
  struct ControlState {
    ControlKind kind = ControlKind::TextDisplay;
    int intValue = 0;
    double doubleValue = 0.0;
    std::string text;
    bool visible = true;
  };

  bool IsLoaded(int panel) const { return panel_ > 0 && panel == panel_; }
  ControlState* Control(int panel, int control);
  template <typename Use>
  int WithControl(int panel, int control, Use use);
  const ControlState* Control(int control) const;
  PopupAnswer Ask(PopupRequest request);
  PopupAnswer AnswerWithDroppedPath(PopupRequest request);

  static constexpr int kMenuBarOffset = 1000;

  PanelDescription description_;
  PanelBindings bindings_;
  std::map<int, ControlState> controls_;
  std::map<int, bool> menuDimmed_;
  int panel_ = 0;
  bool displayed_ = false;
  bool quitRequested_ = false;
  bool failLoad_ = false;
  bool failInit_ = false;
  bool failDisplay_ = false;
  int discards_ = 0;
  int nextPanel_ = 1;
  PopupResponder responder_;
  std::vector<PopupRequest> popups_;
  std::deque<std::function<void()>> actions_;
  bool dropPending_ = false;
  std::string droppedPath_;
};
