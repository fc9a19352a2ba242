// What the desktop backend adds around the panel, on the real panel
// offscreen: progress and cancel, the From file's kind and the window title,
// the details, a dropped file, the file dialogs' plans, the preview, the
// Help menu and the minimum size.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCategoryAxis>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScatterSeries>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QUrl>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "desktop/feedback.h"
#include "desktop/qt_panel_extras.h"
#include "desktop/qt_preview.h"
#include "runtime/qt/qt_popups.h"
#include "runtime/ui.h"
#include "tests/qt/qt_test_access.h"
#include "tests/qt/qt_test_support.h"
#include "tests/test_support.h"

using zorq_qt_test::kPatienceMs;
using zorq_qt_test::Panel;
using zorq_qt_test::QtShell;
using zorq_test::ReadWholeFile;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

namespace {

QMimeData* FileDrag(const std::string& path) {
  auto* mime = new QMimeData;
  mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
  return mime;
}

// Drags `mime` over the window and drops it; true when the drop was accepted.
bool Drop(QWidget* window, QMimeData* mime) {
  const QPoint at = window->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &enter);
  QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &drop);
  const bool accepted = enter.isAccepted() && drop.isAccepted();
  delete mime;
  return accepted;
}

}  // namespace

TEST(QtProgress, ALongConversionShowsItsProgressAndCancelLeavesTheToFileAsItWas) {
  Panel panel;
  const std::string dump =
      zorq_test::RepeatedWorkedLoggerDump(20000);  // about 5 MB, some 80 reports
  WriteWholeFile(panel.dir.Path("long.txt"), dump);
  WriteWholeFile(panel.dir.Path("out.csv"), "kept\r\n");
  panel.OpenFrom(panel.dir.Path("long.txt"));
  panel.OpenTo(panel.dir.Path("out.csv"));
  panel.Choose(kCtrlFromType, 2);
  // Each report takes 10 ms: the conversion lasts about a second.
  QtTestAccess::SetProgressObserver(panel.shell.additions(), [](int64_t, int64_t) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });

  bool panelUsableWhileShown = true;
  bool cancelUsable = false;
  int roundsWhileRunning = 0;
  std::string textSeen;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (!QtTestAccess::TaskRunning(panel.shell.additions()))
      return;
    ++roundsWhileRunning;  // the loop runs: the window repaints
    QWidget* dialog = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->objectName() == "progressDialog" && window->isVisible())
        dialog = window;
    }
    if (dialog == nullptr)
      return;
    panelUsableWhileShown = panelUsableWhileShown && panel.Window()->isEnabled();
    const std::string text = dialog->findChild<QLabel*>("progressText")->text().toStdString();
    if (text.find('%') != std::string::npos && textSeen.empty()) {
      textSeen = text;
      auto* cancel = dialog->findChild<QPushButton*>("progressCancel");
      cancelUsable = cancel->isEnabled();
      cancel->click();
    }
  });
  watcher.start(20);
  EXPECT_EQ(panel.Convert(), kCancelledText);
  watcher.stop();
  // Beside the status line's own words, the mark says it was cancelled.
  auto* mark = panel.Window()->findChild<QLabel*>("outcomeMarkText");
  ASSERT_NE(mark, nullptr);
  EXPECT_TRUE(mark->isVisible());
  EXPECT_EQ(mark->text(), "cancelled\n\u2014 To file as it was");
  EXPECT_EQ(QtTestAccess::ProgressDialogsShown(panel.shell.additions()), 1);
  EXPECT_FALSE(panelUsableWhileShown);
  EXPECT_TRUE(cancelUsable);
  EXPECT_GT(roundsWhileRunning, 10);
  char size[32];
  std::snprintf(size, sizeof size, " MB of %.1f MB, ", static_cast<double>(dump.size()) / 1e6);
  EXPECT_NE(textSeen.find(size), std::string::npos) << textSeen;
  EXPECT_NE(textSeen.find(" s left"), std::string::npos) << textSeen;
  EXPECT_EQ(ReadWholeFile(panel.dir.Path("out.csv")), "kept\r\n");
  // Ticks kept coming while it ran; the request was carried out once.
  EXPECT_EQ(QtTestAccess::TasksRun(panel.shell.additions()), 1);
  EXPECT_EQ(OKToConvert, 0);
  EXPECT_TRUE(panel.Window()->isEnabled());
  EXPECT_TRUE(QtTestAccess::DetailsButton(*panel.extras)->isEnabled());
  EXPECT_FALSE(QtTestAccess::PreviewButton(*panel.extras)->isEnabled());

  // A short conversion shows no dialog.
  QtTestAccess::SetProgressObserver(panel.shell.additions(), nullptr);
  WriteWholeFile(panel.dir.Path("short.txt"), zorq_test::WorkedLoggerDump());
  panel.OpenFrom(panel.dir.Path("short.txt"));
  EXPECT_EQ(panel.Convert(), "Finished All");
  EXPECT_EQ(QtTestAccess::ProgressDialogsShown(panel.shell.additions()), 1);
  EXPECT_EQ(QtTestAccess::TasksRun(panel.shell.additions()), 2);
  EXPECT_EQ(ReadWholeFile(panel.dir.Path("out.csv")), "kept\r\n" + zorq_test::WorkedLoggerCsv());
}

TEST(QtPanelAdditions, TheKindOfTheFromFileIsShownAndADisagreeingRingMarked) {
  Panel panel;
  WriteWholeFile(panel.dir.Path("gauge_t10_dump.txt"), zorq_test::WorkedGaugeDump());
  WriteWholeFile(panel.dir.Path("logger.txt"), zorq_test::WorkedLoggerDump());
  QComboBox* ring = panel.Ring(kCtrlFromType);
  QLabel* kind = QtTestAccess::KindLabel(*panel.extras);
  ASSERT_NE(kind, nullptr);
  EXPECT_EQ(panel.Window()->windowTitle(), "ZORQConvert");

  panel.OpenFrom(panel.dir.Path("gauge_t10_dump.txt"));
  EXPECT_EQ(panel.Window()->windowTitle(), "gauge_t10_dump.txt \u2014 ZORQConvert");
  EXPECT_TRUE(kind->text().contains("gauge dump")) << kind->text().toStdString();
  // The ring still reads logger type 1: marked, not changed.
  EXPECT_EQ(ring->currentData().toInt(), 1);
  EXPECT_TRUE(ring->property("zorqDisagrees").toBool());
  EXPECT_TRUE(kind->text().contains("Gauge dump"));
  panel.Choose(kCtrlFromType, 3);
  panel.Choose(kCtrlToType, 1);
  EXPECT_FALSE(ring->property("zorqDisagrees").toBool());
  EXPECT_EQ(kind->text(), "gauge dump");

  panel.OpenFrom(panel.dir.Path("logger.txt"));
  EXPECT_EQ(panel.Window()->windowTitle(), "logger.txt \u2014 ZORQConvert");
  EXPECT_TRUE(kind->text().startsWith("\u26a0 logger dump, type 2"));
  EXPECT_TRUE(ring->property("zorqDisagrees").toBool());
  EXPECT_EQ(ring->currentData().toInt(), 3);
  // A value the program sets is judged too.
  SetCtrlVal(PanelHandle, kCtrlFromType, 2);
  EXPECT_FALSE(ring->property("zorqDisagrees").toBool());

  panel.shell.ui().MenuItemAction(PanelHandle, kMenuCloseFrom)->trigger();
  EXPECT_EQ(panel.Window()->windowTitle(), "ZORQConvert");
  EXPECT_EQ(kind->text(), "");
  EXPECT_FALSE(ring->property("zorqDisagrees").toBool());
}

TEST(QtPanelAdditions, DetailsShowTheReportInWordsAndADroppedDumpOpensAsTheFromFile) {
  Panel panel;
  QPushButton* details = QtTestAccess::DetailsButton(*panel.extras);
  ASSERT_NE(details, nullptr);
  EXPECT_FALSE(details->isEnabled());
  const std::string dump = panel.dir.Path("gauge.txt");
  WriteWholeFile(dump, zorq_test::WorkedGaugeDump());
  panel.OpenTo(panel.dir.Path("gauge.csv"));

  // Dropped on the window: Open From File runs with the dropped path.
  QtTestAccess::ClearPopups(panel.shell.ui());
  EXPECT_TRUE(Drop(panel.Window(), FileDrag(dump)));
  EXPECT_EQ(FileFromOpen, 1);
  EXPECT_EQ(panel.shell.Text(kCtrlFromName), dump);
  EXPECT_EQ(panel.shell.Text(kCtrlStatus), "Ready");
  EXPECT_EQ(panel.shell.Count(PopupRequest::Kind::FileSelect, "Open From File"), 1);
  EXPECT_TRUE(QtTestAccess::KindLabel(*panel.extras)->text().contains("gauge dump"));
  // The To dialog would start beside the dropped dump.
  EXPECT_EQ(QtTestAccess::DialogMemory(panel.shell.ui()).lastFromPath,
            QString::fromStdString(dump));
  // What is no file is refused, and changes nothing.
  auto* text = new QMimeData;
  text->setText("just words");
  EXPECT_FALSE(Drop(panel.Window(), text));
  EXPECT_EQ(panel.shell.Count(PopupRequest::Kind::FileSelect, "Open From File"), 1);

  panel.Choose(kCtrlFromType, 3);
  panel.Choose(kCtrlToType, 1);
  EXPECT_EQ(panel.Convert(), "Finished All");
  ASSERT_TRUE(details->isEnabled());
  details->click();
  ASSERT_NE(QtTestAccess::DetailsDialog(*panel.extras), nullptr);
  EXPECT_TRUE(QtTestAccess::DetailsDialog(*panel.extras)->isVisible());
  const std::string words = QtTestAccess::DetailsDialog(*panel.extras)
                                ->findChild<QPlainTextEdit*>()
                                ->toPlainText()
                                .toStdString();
  EXPECT_NE(words.find("Outcome: Finished All"), std::string::npos) << words;
  EXPECT_NE(words.find("Records written: 14"), std::string::npos) << words;
  EXPECT_NE(words.find("The dump looks like: gauge dump"), std::string::npos) << words;

  // A failure: the status line keeps its message, the details say where.
  panel.Choose(kCtrlFromType, 1);
  panel.Choose(kCtrlToType, 0);
  const std::string status = panel.Convert();
  EXPECT_EQ(status, "Header Error");
  const std::string failed = QtTestAccess::DetailsText(*panel.extras).toStdString();
  EXPECT_NE(failed.find("Outcome: Header Error"), std::string::npos) << failed;
  EXPECT_NE(failed.find("Stopped at line 1"), std::string::npos) << failed;
}

TEST(QtDialogs, OpenFromListsDumpsAndOpenToStartsBesideTheDump) {
  TempDir dir;
  const std::string dump = dir.Path("wave_03.txt");
  WriteWholeFile(dump, "Y");
  PopupRequest from;
  from.kind = PopupRequest::Kind::FileSelect;
  from.title = "Open From File";
  from.defaultFileSpec = "*.csv";
  from.fileTypeList = "*.txt;*.*";
  PopupRequest to = from;
  to.title = "Open To File";

  FileDialogMemory memory;
  FileDialogPlan plan = PlanFileDialog(from, memory);
  EXPECT_EQ(plan.filters, (QStringList{"Dumps (*.txt *.csv)", "All files (*)"}));
  EXPECT_TRUE(plan.existingOnly);
  EXPECT_EQ(plan.directory, QDir::homePath());  // never the program's folder
  plan = PlanFileDialog(to, memory);
  EXPECT_FALSE(plan.existingOnly);
  EXPECT_EQ(plan.defaultSuffix, "csv");
  EXPECT_EQ(plan.proposedName, "");

  RememberChosenFile(from, dump, &memory);
  plan = PlanFileDialog(from, memory);
  EXPECT_EQ(plan.directory, QString::fromStdString(dir.path()));
  plan = PlanFileDialog(to, memory);
  EXPECT_EQ(plan.directory, QString::fromStdString(dir.path()));
  EXPECT_EQ(plan.proposedName, "wave_03.csv");
  EXPECT_EQ(plan.filters, (QStringList{"CSV files (*.csv)", "All files (*)"}));
  // A name chosen in another folder moves the From dialog there, not the To one.
  const std::string elsewhere = dir.Path("sub");
  std::filesystem::create_directory(elsewhere);
  RememberChosenFile(to, elsewhere + "/out.csv", &memory);
  EXPECT_EQ(PlanFileDialog(from, memory).directory, QString::fromStdString(elsewhere));
  EXPECT_EQ(PlanFileDialog(to, memory).directory, QString::fromStdString(dir.path()));
  // Other titles keep what the request asks for.
  PopupRequest other = from;
  other.title = "Pick";
  EXPECT_EQ(PlanFileDialog(other, memory).filters,
            (QStringList{"*.csv", "*.txt", "All files (*)"}));

  EXPECT_FALSE(RefusalOf(QString::fromStdString(dir.Path("nowhere/out.csv"))).isEmpty());
  EXPECT_TRUE(RefusalOf(QString::fromStdString(dir.Path("out.csv"))).isEmpty());

  // The real Open From dialog, as shown.
  QtShell shell;
  shell.UseRealDialogs();
  ASSERT_GT(shell.LoadAndShow(), 0);
  bool seen = false;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QFileDialog*>(top);
      if (dialog == nullptr || !dialog->isVisible())
        continue;
      seen = true;
      EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
      EXPECT_EQ(dialog->nameFilters(), (QStringList{"Dumps (*.txt *.csv)", "All files (*)"}));
      EXPECT_EQ(dialog->directory().absolutePath(), QDir::homePath());
      dialog->reject();
    }
  });
  watcher.start(10);
  char buffer[260] = "";
  EXPECT_EQ(FileSelectPopup("", "*.csv", "*.txt;*.*", "Open From File", 0, 0, 0, 1, 0, buffer),
            VAL_NO_FILE_SELECTED);
  EXPECT_TRUE(seen);
}

TEST(QtPreview, ThePreviewDrawsTheConvertedReadingsZoomsAndSaves) {
  Panel panel;
  WriteWholeFile(panel.dir.Path("logger.txt"), zorq_test::WorkedLoggerDump());
  panel.OpenFrom(panel.dir.Path("logger.txt"));
  panel.OpenTo(panel.dir.Path("logger.csv"));
  panel.Choose(kCtrlFromType, 2);
  EXPECT_FALSE(QtTestAccess::PreviewButton(*panel.extras)->isEnabled());
  EXPECT_EQ(panel.Convert(), "Finished All");
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel.extras->PreviewReady(); }, kPatienceMs));
  QtTestAccess::PreviewButton(*panel.extras)->click();
  PreviewWindow* preview = QtTestAccess::Preview(*panel.extras);
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(preview->isVisible());
  QApplication::processEvents();

  // Two records, the second where the first ends: one run, the lowest 0
  // and the highest 4.
  float highest = -1e9f;
  float lowest = 1e9f;
  for (int run = 0; run < preview->Runs(); ++run) {
    for (const QPointF& point : preview->UpperSeries(run)->points())
      highest = std::max(highest, static_cast<float>(point.y()));
    for (const QPointF& point : preview->LowerSeries(run)->points())
      lowest = std::min(lowest, static_cast<float>(point.y()));
  }
  EXPECT_EQ(preview->Runs(), 1);
  EXPECT_FLOAT_EQ(highest, 4.0f);
  EXPECT_FLOAT_EQ(lowest, 0.0f);
  // Against the readings' own times on the dump's clock.
  const double start = preview->FirstTime();
  EXPECT_GT(start, 9e8);
  EXPECT_DOUBLE_EQ(preview->AxisX()->max() - start, 15.5);
  // A little room before the first reading, for the label of its time.
  EXPECT_LT(preview->AxisX()->min(), start);
  EXPECT_GT(preview->AxisX()->min(), start - 15.5 * 0.25 - 1e-9);
  EXPECT_EQ(preview->Note()->text().toStdString(),
            "63 readings, 1 date stamp, 57 fillers left out");

  // Zoomed into the second record: redrawn for that range only.
  preview->AxisX()->setRange(start + 14.9, start + 15.3);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return preview->UpperSeries(0)->points().first().x() >= start + 14.9; }, kPatienceMs));
  for (const QPointF& point : preview->UpperSeries(0)->points())
    EXPECT_LE(point.y(), 3.0007 + 1e-4);  // the second record's readings only
  preview->ResetZoom();
  EXPECT_DOUBLE_EQ(preview->AxisX()->max(), start + 15.5);
  EXPECT_LT(preview->AxisX()->min(), start);
  EXPECT_EQ(preview->Runs(), 1);

  // The wheel zooms in, a drag with the right button pans.
  QWidget* surface = preview->ChartView()->viewport();
  const QPointF middle = QPointF(surface->rect().center());
  QWheelEvent wheel(middle, surface->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(surface, &wheel);
  const double zoomedWidth = preview->AxisX()->max() - preview->AxisX()->min();
  EXPECT_LT(zoomedWidth, 15.5 * 0.9);
  const double before = preview->AxisX()->min();
  QTest::mousePress(surface, Qt::RightButton, Qt::NoModifier, middle.toPoint());
  QTest::mouseMove(surface, middle.toPoint() + QPoint(60, 0));
  QTest::mouseRelease(surface, Qt::RightButton, Qt::NoModifier, middle.toPoint() + QPoint(60, 0));
  EXPECT_LT(preview->AxisX()->min(), before);  // dragged right: earlier times come in
  EXPECT_NEAR(preview->AxisX()->max() - preview->AxisX()->min(), zoomedWidth, 1e-9);
  preview->ResetZoom();

  const QString png = QString::fromStdString(panel.dir.Path("preview.png"));
  EXPECT_TRUE(preview->SaveAsPng(png));
  EXPECT_TRUE(QImage(png).width() > 100);

  // The sample dump's three bursts, half an hour apart, are three runs.
  panel.OpenFrom(ZORQ_SOURCE_DIR "/samples/logger_type2_dump.txt");
  EXPECT_EQ(panel.Convert(), "Finished All");
  ASSERT_TRUE(QTest::qWaitFor([&] { return preview->HasSeries(); }, kPatienceMs));
  EXPECT_EQ(preview->Runs(), 3);

  // The gauge preview marks its date stamp at the first value.
  WriteWholeFile(panel.dir.Path("gauge.txt"), zorq_test::WorkedGaugeDump());
  panel.OpenFrom(panel.dir.Path("gauge.txt"));
  panel.shell.ui().MenuItemAction(PanelHandle, kMenuCloseTo)->trigger();
  panel.OpenTo(panel.dir.Path("gauge.csv"));
  panel.Choose(kCtrlFromType, 3);
  panel.Choose(kCtrlToType, 1);
  EXPECT_EQ(panel.Convert(), "Finished All");
  ASSERT_TRUE(QTest::qWaitFor([&] { return preview->HasSeries(); }, kPatienceMs));
  ASSERT_GE(preview->MarkSeries()->count(), 1);
  EXPECT_EQ(preview->MarkSeries()->at(0), QPointF(preview->FirstTime(), 1.25));
}

// How-to names every menu item and switch an operator needs, as the panel
// itself labels them, so that no feature goes untold.
class QtHowToNames : public testing::TestWithParam<int> {};

QString WithoutMnemonic(QString text) {
  text.remove(QLatin1Char('&'));
  if (text.endsWith(QStringLiteral("...")))
    text.chop(3);
  return text.trimmed();
}

TEST_P(QtHowToNames, TheMenuItemsAndSwitchesAsThePanelLabelsThem) {
  Panel panel;
  QString label;
  if (QAction* item = panel.Item(GetParam())) {
    label = WithoutMnemonic(item->text());
  } else if (auto* button = qobject_cast<QAbstractButton*>(panel.shell.Control(GetParam()))) {
    label = WithoutMnemonic(button->text());
  }
  ASSERT_FALSE(label.isEmpty()) << "no item or switch " << GetParam();
  const QString page = QTextDocumentFragment::fromHtml(HowToConvertText()).toPlainText();
  EXPECT_TRUE(page.contains(label, Qt::CaseInsensitive)) << label.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Panel, QtHowToNames,
                         testing::Values(kMenuOpenFrom, kMenuOpenTo, kMenuExport,
                                         kMenuWaveStatistics, kMenuStartConvert, kCtrlLfLineEnds,
                                         kCtrlCorrection, kCtrlBrowseFrom));

TEST(QtPanelAdditions, HelpMenuShortcutsAndAMinimumSizeThatCutsNothingOff) {
  Panel panel;
  QWidget* window = panel.Window();
  struct Item {
    const char* name;
    const char* shortcut;
  };
  for (const Item& item : {Item{"actionHowTo", "F1"}, Item{"actionAbout", ""},
                           Item{"actionDetails", "Ctrl+D"}, Item{"actionPreview", "Ctrl+P"}}) {
    SCOPED_TRACE(item.name);
    auto* action = window->findChild<QAction*>(item.name);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->shortcut().toString(), item.shortcut);
  }
  EXPECT_EQ(panel.shell.ui().MenuItemAction(PanelHandle, kMenuOpenFrom)->shortcut().toString(),
            "Ctrl+O");
  EXPECT_EQ(panel.shell.ui().MenuItemAction(PanelHandle, kMenuOpenTo)->shortcut().toString(),
            "Ctrl+T");
  EXPECT_EQ(panel.shell.ui().MenuItemAction(PanelHandle, kMenuExit)->shortcut().toString(),
            "Ctrl+Q");
  EXPECT_TRUE(AboutText().contains("GPL-3.0-or-later"));
  EXPECT_TRUE(AboutText().contains("Qt Charts"));
  EXPECT_TRUE(HowToConvertText().contains("START CONVERT"));

  // The correction on, the window as small as it goes: every control whole.
  QTest::mouseClick(panel.shell.Control(kCtrlCorrection), Qt::LeftButton);
  window->resize(1, 1);
  QApplication::processEvents();
  EXPECT_EQ(window->size(), window->minimumSize());
  for (int control : {kCtrlCorrection, kCtrlGainM, kCtrlOffsetB, kCtrlStatus, kCtrlStartConvert,
                      kCtrlFromName, kCtrlFromType, kCtrlToType}) {
    SCOPED_TRACE(control);
    QWidget* widget = panel.shell.Control(control);
    ASSERT_TRUE(widget->isVisible());
    EXPECT_GE(widget->width(), widget->minimumSizeHint().width());
    const QRect inWindow(widget->mapTo(window, QPoint(0, 0)), widget->size());
    EXPECT_TRUE(window->rect().contains(inWindow));
  }
  // The longest status message fits as well.
  SetCtrlAttribute(PanelHandle, kCtrlStatus, ATTR_CTRL_VAL, "Convert From File Type Error");
  QApplication::processEvents();
  EXPECT_EQ(window->size(), window->minimumSize());
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->isVisible() && !label->wordWrap()) {
      EXPECT_GE(label->width(), label->minimumSizeHint().width()) << label->text().toStdString();
    }
  }
}
