#include "desktop/qt_additions.h"

#include <QApplication>
#include <QWidget>
#include <memory>
#include <string>
#include <utility>

#include "app/shell_hooks.h"
#include "desktop/qt_command_line.h"
#include "desktop/qt_progress.h"
#include "runtime/ui.h"

namespace {

bool ApplicationReady() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// Shows every report to an observer before passing it on.
class ObservedProgress : public ProgressReporter {
 public:
  ObservedProgress(ProgressReporter& inner, const std::function<void(int64_t, int64_t)>& observer)
      : inner_(inner), observer_(observer) {}
  void Report(int64_t done, int64_t total) override {
    observer_(done, total);
    inner_.Report(done, total);
  }
  bool CancelRequested() const override { return inner_.CancelRequested(); }

 private:
  ProgressReporter& inner_;
  const std::function<void(int64_t, int64_t)>& observer_;
};

// A task run where it is asked for: nothing to show, nothing to cancel.
class InlineProgress : public ProgressReporter {
 public:
  void Report(int64_t, int64_t) override {}
  bool CancelRequested() const override { return false; }
};

}  // namespace

PanelExtras* QtAdditions::Extras(int panel) {
  QWidget* window = ui_.PanelWindow(panel);
  if (window == nullptr)
    return nullptr;
  PanelParts& parts = panels_[panel];
  if (parts.extras == nullptr || parts.extras->parent() != window) {
    parts.dropMenuItem = 0;
    parts.extras = new PanelExtras(
        window,
        [this, panel](const std::string& path) {
          // Opens a dropped file through the menu item the shell named, so
          // that the same steps run as for a file chosen in the dialog.
          const int item = panels_[panel].dropMenuItem;
          if (item != 0)
            ui_.SelectMenuItemWithFile(panel, item, path);
        },
        [this] { return ui_.Busy(); });
  }
  return parts.extras;
}

int QtAdditions::RunWithProgress(const char* title, const ProgressTask& task) {
  ++tasksRun_;
  ProgressTask run = task;
  if (progressObserver_) {
    run = [&task, observer = progressObserver_](ProgressReporter& reporter) {
      ObservedProgress observed(reporter, observer);
      task(observed);
    };
  }
  if (!ApplicationReady() || ui_.Busy()) {
    // No window to keep alive: the task runs where it is asked for.
    InlineProgress reporter;
    run(reporter);
    return 0;
  }
  // The close box meanwhile asks, then cancels as the progress's Cancel does.
  ui_.SetStopBusyTask([] { CancelRunningTask(); });
  ui_.SetBusy(true);
  RunTaskWithProgress(
      ui_.DialogParent(), title, run,
      [this](bool shown) { progressDialogsShown_ += shown ? 1 : 0; },
      [this] { ui_.AskToStopAndQuit(); });
  ui_.SetBusy(false);
  ui_.SetStopBusyTask(nullptr);
  return 0;
}

int QtAdditions::ShowFromFileKind(int panel, int fromTypeRing, const char* path,
                                  const char* kindText, const char* problemText, int fittingValue,
                                  int fittingToValue) {
  PanelExtras* extras = Extras(panel);
  if (extras == nullptr)
    return UIE_BAD_HANDLE;
  QWidget* ring = ui_.ControlWidget(panel, fromTypeRing);
  if (ring == nullptr)
    return UIE_BAD_CONTROL;
  extras->ShowFromFileKind(ring, path, kindText, problemText, fittingValue, fittingToValue);
  // However the From file came (dialog, drop, command line), the To dialog
  // starts beside it.
  if (*path != '\0')
    ui_.RememberFromFile(path);
  return 0;
}

int QtAdditions::ShowConversionDetails(int panel, int statusControl, const char* details,
                                       const OutcomeMark& mark) {
  PanelExtras* extras = Extras(panel);
  if (extras == nullptr)
    return UIE_BAD_HANDLE;
  QWidget* status = ui_.ControlWidget(panel, statusControl);
  if (status == nullptr)
    return UIE_BAD_CONTROL;
  extras->ShowDetails(status, details, mark);
  return 0;
}

int QtAdditions::OfferPreview(int panel, const char* title, PreviewLoader loader) {
  PanelExtras* extras = Extras(panel);
  if (extras == nullptr)
    return UIE_BAD_HANDLE;
  // The buttons sit beside the status, placed with the details.
  extras->OfferPreview(nullptr, title, std::move(loader));
  return 0;
}

int QtAdditions::AcceptDroppedFiles(int panel, int menuItem) {
  PanelExtras* extras = Extras(panel);
  if (extras == nullptr)
    return UIE_BAD_HANDLE;
  if (menuItem != 0 && ui_.MenuItemAction(panel, menuItem) == nullptr)
    return UIE_BAD_CONTROL;
  panels_[panel].dropMenuItem = menuItem;
  extras->AcceptDrops(menuItem != 0);
  return 0;
}

int QtAdditions::UseFittingTypes(int panel) {
  PanelExtras* extras = Extras(panel);
  if (extras == nullptr)
    return UIE_BAD_HANDLE;
  extras->UseFittingTypes();
  return 0;
}

int QtAdditions::OpenExport(int panel, const ExportSource& source) {
  PanelExtras* extras = Extras(panel);
  if (extras == nullptr)
    return UIE_BAD_HANDLE;
  extras->OpenExport(source);
  return 0;
}

int QtAdditions::OpenWaveStatistics(int panel, const WaveResults& results) {
  PanelExtras* extras = Extras(panel);
  if (extras == nullptr)
    return UIE_BAD_HANDLE;
  extras->OpenWaveStatistics(results);
  return 0;
}

int QtAdditions::FollowWaveStatistics(int panel, const WaveResults& results) {
  PanelExtras* extras = Extras(panel);
  if (extras == nullptr)
    return UIE_BAD_HANDLE;
  extras->FollowWaveStatistics(results);
  return 0;
}

void InstallDesktopOnQt() {
  auto backend = std::make_unique<QtUi>();
  QtUi& ui = *backend;
  InstallUiBackend(std::move(backend));
  InstallPanelAdditions(std::make_unique<QtAdditions>(ui));
  // The files among the arguments, once the application has taken its own.
  ShellHooks hooks = CurrentShellHooks();
  hooks.filesGiven = DumpFilesGivenToQt;
  SetShellHooks(std::move(hooks));
}

void UninstallDesktopOnQt() {
  InstallPanelAdditions(nullptr);
  InstallUiBackend(nullptr);
}
