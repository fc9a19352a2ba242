// The additions of the desktop program on the Qt backend: per loaded panel
// the kind line, the Details… and Preview buttons, the Help and View menus
// and files dropped on the window (PanelExtras); long tasks on a worker
// thread with the progress dialog.
#pragma once

#include <QPointer>
#include <cstdint>
#include <functional>
#include <map>

#include "desktop/additions.h"
#include "desktop/qt_panel_extras.h"
#include "runtime/qt/qt_ui.h"

class QtAdditions : public PanelAdditions {
 public:
  explicit QtAdditions(QtUi& ui) : ui_(ui) {}

  // What is added around a loaded panel (made on first use; null for an
  // unknown handle).
  PanelExtras* Extras(int panel);

  // PanelAdditions
  int RunWithProgress(const char* title, const ProgressTask& task) override;
  int ShowFromFileKind(int panel, int fromTypeRing, const char* path, const char* kindText,
                       const char* problemText, int fittingValue, int fittingToValue) override;
  int ShowConversionDetails(int panel, int statusControl, const char* details,
                            const OutcomeMark& mark) override;
  int OfferPreview(int panel, const char* title, PreviewLoader loader) override;
  int AcceptDroppedFiles(int panel, int menuItem) override;
  int OpenExport(int panel, const ExportSource& source) override;
  int UseFittingTypes(int panel) override;
  int OpenWaveStatistics(int panel, const WaveResults& results) override;
  int FollowWaveStatistics(int panel, const WaveResults& results) override;

 private:
  // The tests count the tasks and dialogs and slow a task down.
  friend class QtTestAccess;
  // Called on the task's thread at every progress report, before it is
  // passed on.
  void SetProgressObserver(std::function<void(int64_t done, int64_t total)> observer) {
    progressObserver_ = std::move(observer);
  }

  struct PanelParts {
    QPointer<PanelExtras> extras;  // a child of the panel's window
    int dropMenuItem = 0;
  };

  QtUi& ui_;
  std::map<int, PanelParts> panels_;
  int progressDialogsShown_ = 0;
  int tasksRun_ = 0;
  std::function<void(int64_t, int64_t)> progressObserver_;
};

// Makes a new Qt backend the one the run-time layer's UI functions use, with
// the desktop program's additions on it.
void InstallDesktopOnQt();
// Uninstalls both, the additions first.
void UninstallDesktopOnQt();
