// What the Qt tests look at inside the desktop backend and its additions,
// beyond what the program itself uses: the parts around the panel, the
// popups asked for, the tasks run. The classes name this one their friend.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "desktop/qt_additions.h"
#include "desktop/qt_panel_extras.h"
#include "runtime/qt/qt_ui.h"

class QtTestAccess {
 public:
  // QtUi
  static void SetPanelSearchPath(QtUi& ui, std::vector<std::string> folders) {
    ui.SetPanelSearchPath(std::move(folders));
  }
  static const std::vector<PopupRequest>& Popups(const QtUi& ui) { return ui.Popups(); }
  static void ClearPopups(QtUi& ui) { ui.ClearPopups(); }
  static bool DescribeLoadedPanel(const QtUi& ui, int panel, PanelDescription* description) {
    return ui.DescribeLoadedPanel(panel, description);
  }
  static const FileDialogMemory& DialogMemory(const QtUi& ui) { return ui.DialogMemory(); }

  // QtAdditions
  // How many times a long task's progress dialog has appeared.
  static int ProgressDialogsShown(const QtAdditions& additions) {
    return additions.progressDialogsShown_;
  }
  // True while RunWithProgress runs its task.
  static bool TaskRunning(const QtAdditions& additions) { return additions.ui_.Busy(); }
  // How many tasks RunWithProgress has run.
  static int TasksRun(const QtAdditions& additions) { return additions.tasksRun_; }
  // Called on the task's thread at every progress report (to slow a task).
  static void SetProgressObserver(QtAdditions& additions,
                                  std::function<void(int64_t, int64_t)> observer) {
    additions.SetProgressObserver(std::move(observer));
  }

  // PanelExtras
  static QLabel* KindLabel(const PanelExtras& extras) { return extras.kindLabel_; }
  // "Use “Gauge dump”": chooses the fitting types as the operator would.
  static QPushButton* UseButton(const PanelExtras& extras) { return extras.useButton_; }
  static QPushButton* DetailsButton(const PanelExtras& extras) { return extras.detailsButton_; }
  static QPushButton* PreviewButton(const PanelExtras& extras) { return extras.previewButton_; }
  static QDialog* DetailsDialog(const PanelExtras& extras) { return extras.detailsDialog_; }
  static PreviewWindow* Preview(const PanelExtras& extras) { return extras.previewWindow_; }
  static ExportWindow* Export(const PanelExtras& extras) { return extras.exportWindow_; }
  static WaveWindow* Waves(const PanelExtras& extras) { return extras.waveWindow_; }
  static const QString& DetailsText(const PanelExtras& extras) { return extras.details_; }
};
