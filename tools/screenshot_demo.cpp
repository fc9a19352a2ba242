// The README's pictures of the desktop program: the shell on the Qt backend,
// driven as an operator would.
//
//   zorqconvert-screenshots SAMPLES_DIR OUT_DIR
//
// It opens the sample logger dump, converts it into OUT_DIR, saves
// pictures of the main window, the details, the preview, File > Export and
// View > Wave statistics as
// OUT_DIR/screenshot-{main,details,preview,export,waves}.png and ends
// (result 0 when all five were written); OUT_DIR/screenshot-minimum.png
// shows the window at its minimum size with the correction on.
#include <QAbstractButton>
#include <QApplication>
#include <QCategoryAxis>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTimer>
#include <QValueAxis>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "desktop/qt_additions.h"
#include "desktop/qt_panel_extras.h"
#include "desktop/qt_preview.h"
#include "runtime/qt/qt_ui.h"
#include "runtime/ui.h"

namespace {

constexpr int kDemoStepMs = 50;
constexpr int kDemoPatienceMs = 20000;
constexpr int kPictures = 5;
// Time for a window just shown to be laid out and painted.
constexpr int kSettleMs = 300;

// Waits (with the loop running) until `done`, then runs `next`; gives up
// with a message after kDemoPatienceMs.
void When(std::function<bool()> done, std::function<void()> next, int waited = 0) {
  if (done()) {
    next();
    return;
  }
  if (waited > kDemoPatienceMs) {
    std::fprintf(stderr, "zorqconvert-screenshots: the demo waited in vain\n");
    QuitUserInterface(1);
    return;
  }
  QTimer::singleShot(kDemoStepMs, [=] { When(done, next, waited + kDemoStepMs); });
}

bool Save(QWidget* widget, const QString& path) {
  const bool saved = widget != nullptr && widget->grab().save(path, "PNG");
  std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

class ScreenshotDemo {
 public:
  ScreenshotDemo(QString samples, QString out)
      : samples_(std::move(samples)), out_(std::move(out)) {}

  void Start() {
    ui_ = static_cast<QtUi*>(CurrentUiBackend());
    additions_ = static_cast<QtAdditions*>(CurrentPanelAdditions());
    const QString dump = samples_ + QStringLiteral("/logger_type2_dump.txt");
    const QString csv = out_ + QStringLiteral("/logger_type2_dump.csv");
    QFile::remove(csv);
    std::vector<std::string> answers = {QFile::encodeName(dump).toStdString(),
                                        QFile::encodeName(csv).toStdString()};
    ui_->SetPopupResponder([answers, next = size_t{0}](const PopupRequest& request) mutable {
      if (request.kind != PopupRequest::Kind::FileSelect || next >= answers.size())
        return PopupAnswer{};
      return PopupAnswer{VAL_EXISTING_FILE_SELECTED, answers[next++]};
    });
    ui_->MenuItemAction(PanelHandle, kMenuOpenFrom)->trigger();
    ui_->MenuItemAction(PanelHandle, kMenuOpenTo)->trigger();
    auto* fromType = qobject_cast<QComboBox*>(ui_->ControlWidget(PanelHandle, kCtrlFromType));
    fromType->setCurrentIndex(fromType->findData(2));
    emit fromType->activated(fromType->currentIndex());
    qobject_cast<QAbstractButton*>(ui_->ControlWidget(PanelHandle, kCtrlStartConvert))->click();
    PanelExtras* extras = additions_->Extras(PanelHandle);
    When([extras] { return extras->PreviewReady(); }, [this] { TakePictures(); });
  }

  bool AllSaved() const { return saved_ == kPictures; }

 private:
  void TakePictures() {
    PanelExtras* extras = additions_->Extras(PanelHandle);
    QWidget* window = ui_->PanelWindow(PanelHandle);
    saved_ += Save(window, out_ + QStringLiteral("/screenshot-main.png"));
    extras->OpenDetails();
    QTimer::singleShot(kSettleMs, [this, extras] {
      QWidget* details = TopLevel("detailsDialog");
      saved_ += Save(details, out_ + QStringLiteral("/screenshot-details.png"));
      if (details != nullptr)
        details->hide();
      extras->OpenPreview();
      auto* preview = dynamic_cast<PreviewWindow*>(TopLevel("previewWindow"));
      if (preview == nullptr) {
        QuitUserInterface(1);
        return;
      }
      // Zoomed into the first burst of the sample, where the wave shows.
      QCategoryAxis* time = preview->AxisX();
      time->setRange(time->min(), time->min() + 40.0);
      QTimer::singleShot(500, [this, preview] {
        saved_ += Save(preview, out_ + QStringLiteral("/screenshot-preview.png"));
        preview->hide();
        ShowExport();
      });
    });
  }

  QWidget* TopLevel(const char* name) const {
    return ui_->PanelWindow(PanelHandle)->findChild<QWidget*>(QString::fromLatin1(name));
  }

  void ShowExport() {
    ui_->MenuItemAction(PanelHandle, kMenuExport)->trigger();
    QTimer::singleShot(kSettleMs, [this] {
      QWidget* exportWindow = TopLevel("exportWindow");
      saved_ += Save(exportWindow, out_ + QStringLiteral("/screenshot-export.png"));
      if (exportWindow != nullptr)
        exportWindow->hide();
      ShowWaves();
    });
  }

  // The statistics of the sample, worked out while it converted.
  void ShowWaves() {
    ui_->MenuItemAction(PanelHandle, kMenuWaveStatistics)->trigger();
    QWidget* waves = TopLevel("waveWindow");
    When(
        [waves] {
          const auto* table = waves != nullptr
                                  ? waves->findChild<QTableWidget*>(QStringLiteral("waveTable"))
                                  : nullptr;
          return table == nullptr || table->rowCount() > 0;
        },
        [this, waves] {
          QTimer::singleShot(kSettleMs, [this, waves] {
            saved_ += Save(waves, out_ + QStringLiteral("/screenshot-waves.png"));
            if (waves != nullptr)
              waves->hide();
            ShowSmallest();
          });
        });
  }

  // The window as small as it goes with the correction on, to check that
  // nothing is cut off (not counted among the three pictures).
  void ShowSmallest() {
    QWidget* window = ui_->PanelWindow(PanelHandle);
    qobject_cast<QAbstractButton*>(ui_->ControlWidget(PanelHandle, kCtrlCorrection))->click();
    window->resize(1, 1);
    QTimer::singleShot(300, [this, window] {
      Save(window, out_ + QStringLiteral("/screenshot-minimum.png"));
      QuitUserInterface(0);
    });
  }

  QString samples_;
  QString out_;
  QtUi* ui_ = nullptr;
  QtAdditions* additions_ = nullptr;
  int saved_ = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zorqconvert-screenshots SAMPLES_DIR OUT_DIR\n");
    return 2;
  }
  DumpClockZone = ZoneAtStart();
  InstallDesktopOnQt();
  // The application exists before the shell starts, so the demo can be
  // scheduled on its loop; the shell then uses it as it is.
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  ScreenshotDemo demo(QString::fromLocal8Bit(argv[1]),
                      QDir(QString::fromLocal8Bit(argv[2])).absolutePath());
  QTimer::singleShot(0, [&demo] { demo.Start(); });
  char* shellArgv[] = {argv[0], nullptr};
  ZorqMain(1, shellArgv);
  UninstallDesktopOnQt();
  return demo.AllSaved() ? 0 : 1;
}
