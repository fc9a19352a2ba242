// A Qt backend with the shell's callbacks, for the offscreen tests.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "desktop/qt_additions.h"
#include "runtime/qt/qt_ui.h"
#include "tests/test_support.h"

class QAction;
class QComboBox;
class QWidget;
class PanelExtras;

namespace zorq_qt_test {

// Long enough for any tick or event to arrive on a loaded machine; a test
// that passes never waits this long.
inline constexpr int kPatienceMs = 20000;

// The folder of the panel file as the build places it beside the programs.
std::string BuiltPanelFolder();

// Installs a fresh Qt backend with the desktop's additions, clears every shared value, records
// Delay calls instead of sleeping and answers popups from queued answers (file selections and
// confirmations in order; messages are dismissed). The panel is looked up in the build's folder
// unless a test points it elsewhere.
class QtShell {
 public:
  QtShell();
  ~QtShell();
  QtShell(const QtShell&) = delete;
  QtShell& operator=(const QtShell&) = delete;

  QtUi& ui() { return *ui_; }
  QtAdditions& additions() { return *additions_; }
  const std::vector<double>& Pauses() const { return pauses_; }

  // Loads the panel into PanelHandle; the handle, or a negative error.
  int Load();
  // Loads and shows it.
  int LoadAndShow();

  void AnswerFileSelect(int result, const std::string& path);
  void AnswerConfirm(bool yes);
  // Stops answering: popups become real dialogs.
  void UseRealDialogs();

  QWidget* Control(int control) const;
  // Text of a text-display control.
  std::string Text(int control) const;
  int Count(PopupRequest::Kind kind, const std::string& title) const;

 private:
  QtUi* ui_;
  QtAdditions* additions_;
  std::vector<double> pauses_;
  std::deque<PopupAnswer> answers_;
};

// A shell on the real panel, shown, with the additions readied as start-up
// readies them, and a folder for the files a test makes.
struct Panel {
  QtShell shell;
  zorq_test::TempDir dir;
  PanelExtras* extras = nullptr;

  Panel();
  QWidget* Window();
  QAction* Item(int id);
  QComboBox* Ring(int control);
  int RingValue(int control);
  // Chooses `value` on a ring as the operator would: its callback runs.
  void Choose(int control, int value);
  // Opens the file through the menu item, answering its dialog (and, for an
  // existing To file, the question whether to append).
  void OpenFrom(const std::string& path);
  void OpenTo(const std::string& path);
  // Presses START CONVERT, or waits for a conversion already started, until
  // the button is up again; the status line then.
  std::string Convert();
  std::string WaitForOutcome();
};

}  // namespace zorq_qt_test
