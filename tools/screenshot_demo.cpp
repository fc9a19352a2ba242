// The README's pictures of the desktop program: the shell on the Qt backend,
// driven as an operator would.
//
//   zorqconvert-screenshots SAMPLES_DIR OUT_DIR [LONG_GAUGE_DUMP]
//
// It opens the sample logger dump, converts it into OUT_DIR, saves
// pictures of the main window, the details, the preview, File > Export
// (its time-zone field showing the zone the times are read in) and View >
// Wave statistics as
// OUT_DIR/screenshot-{main,details,preview,export,waves}.png. With a long
// gauge dump it converts that too, with the Wave statistics window open,
// and saves OUT_DIR/screenshot-waves-long.png: thousands of segments drawn
// as their envelope. It ends with result 0 when every picture was written;
// OUT_DIR/screenshot-minimum.png shows the window at its minimum size with
// the correction on.
#include <QAbstractButton>
#include <QApplication>
#include <QCategoryAxis>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>
#include <QValueAxis>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
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
// A long dump converts for a while on a loaded machine.
constexpr int kDemoPatienceMs = 60000;
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
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->isVisible()) {
        std::fprintf(stderr, "  shown: %s \"%s\"\n", qPrintable(window->objectName()),
                     qPrintable(window->windowTitle()));
        window->grab().save(QDir::temp().filePath(window->objectName() + ".png"), "PNG");
      }
    if (QWidget* modal = QApplication::activeModalWidget())
      std::fprintf(stderr, "  waiting on: %s\n", qPrintable(modal->windowTitle()));
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
  ScreenshotDemo(QString samples, QString out, QString longDump)
      : samples_(std::move(samples)), out_(std::move(out)), longDump_(std::move(longDump)) {}

  void Start() {
    ui_ = static_cast<QtUi*>(CurrentUiBackend());
    additions_ = static_cast<QtAdditions*>(CurrentPanelAdditions());
    const QString dump = samples_ + QStringLiteral("/logger_type2_dump.txt");
    const QString csv = out_ + QStringLiteral("/logger_type2_dump.csv");
    QFile::remove(csv);
    std::vector<std::string> answers = {QFile::encodeName(dump).toStdString(),
                                        QFile::encodeName(csv).toStdString()};
    Convert(answers, 2, [this] { TakePictures(); });
  }

  bool AllSaved() const { return saved_ == kPictures + (longDump_.isEmpty() ? 0 : 1); }

 private:
  // Opens the From and To files named in `answers` through the menus,
  // converts as the From type `fromType`, and runs `next` once the
  // preview is drawn.
  void Convert(std::vector<std::string> answers, int fromType, std::function<void()> next) {
    ui_->SetPopupResponder([answers, at = size_t{0}](const PopupRequest& request) mutable {
      if (request.kind != PopupRequest::Kind::FileSelect || at >= answers.size())
        return PopupAnswer{};
      return PopupAnswer{VAL_EXISTING_FILE_SELECTED, answers[at++]};
    });
    ui_->MenuItemAction(PanelHandle, kMenuOpenFrom)->trigger();
    // Open To File is dimmed while a To file is open.
    ui_->MenuItemAction(PanelHandle, kMenuCloseTo)->trigger();
    ui_->MenuItemAction(PanelHandle, kMenuOpenTo)->trigger();
    auto* from = qobject_cast<QComboBox*>(ui_->ControlWidget(PanelHandle, kCtrlFromType));
    from->setCurrentIndex(from->findData(fromType));
    emit from->activated(from->currentIndex());
    // The To type that goes with it, as "Use …" chooses it.
    additions_->Extras(PanelHandle)->UseFittingTypes();
    qobject_cast<QAbstractButton*>(ui_->ControlWidget(PanelHandle, kCtrlStartConvert))->click();
    PanelExtras* extras = additions_->Extras(PanelHandle);
    When([extras] { return extras->PreviewReady(); }, std::move(next));
  }

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
    // The zone field shows the zone the conversion read the clock in; one
    // named here shows what the field takes.
    if (auto* zone = TopLevel("exportWindow")->findChild<QLineEdit*>(QStringLiteral("exportZone")))
      zone->setText(QStringLiteral("Europe/Berlin"));
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
            if (longDump_.isEmpty()) {
              if (waves != nullptr)
                waves->hide();
              ShowSmallest();
              return;
            }
            ShowLongWaves(waves);
          });
        });
  }

  // The long gauge dump converted with the window open: it follows, and
  // draws its thousands of segments as their envelope.
  void ShowLongWaves(QWidget* waves) {
    const QString csv = out_ + QStringLiteral("/long_gauge.csv");
    QFile::remove(csv);
    Convert({QFile::encodeName(longDump_).toStdString(), QFile::encodeName(csv).toStdString()}, 3,
            [this, waves] {
              QTimer::singleShot(kSettleMs, [this, waves] {
                saved_ += Save(waves, out_ + QStringLiteral("/screenshot-waves-long.png"));
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
  QString longDump_;
  QtUi* ui_ = nullptr;
  QtAdditions* additions_ = nullptr;
  int saved_ = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: zorqconvert-screenshots SAMPLES_DIR OUT_DIR [LONG_GAUGE_DUMP]\n");
    return 2;
  }
  DumpClockZone = ZoneAtStart();
  InstallDesktopOnQt();
  // The application exists before the shell starts, so the demo can be
  // scheduled on its loop; the shell then uses it as it is.
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  ScreenshotDemo demo(QString::fromLocal8Bit(argv[1]),
                      QDir(QString::fromLocal8Bit(argv[2])).absolutePath(),
                      argc == 4 ? QString::fromLocal8Bit(argv[3]) : QString());
  QTimer::singleShot(0, [&demo] { demo.Start(); });
  char* shellArgv[] = {argv[0], nullptr};
  ZorqMain(1, shellArgv);
  UninstallDesktopOnQt();
  return demo.AllSaved() ? 0 : 1;
}
