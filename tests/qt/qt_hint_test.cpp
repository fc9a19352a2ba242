// The desktop program around the From file's hint, on the real panel
// offscreen: hints that say what is wrong and what to do, the one-click
// choice of the fitting types, dumps whose lines end in LF alone, a To file
// of another kind, details of named files that go stale, drops of several
// files or a folder, Ctrl+Return, and closing while a conversion runs.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <chrono>
#include <string>
#include <thread>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "desktop/feedback.h"
#include "desktop/qt_panel_extras.h"
#include "desktop/qt_progress.h"
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

std::string Hint(Panel& panel) {
  return QtTestAccess::KindLabel(*panel.extras)->text().toStdString();
}
bool HintWarns(Panel& panel) {
  return !QtTestAccess::KindLabel(*panel.extras)->styleSheet().isEmpty();
}
std::string StartToolTip(Panel& panel) {
  return panel.shell.Control(kCtrlStartConvert)->toolTip().toStdString();
}

std::string WithoutCrs(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\r')
      out += c;
  }
  return out;
}

std::string WithGaugeType(int typeCode) {
  std::string dump = zorq_test::WorkedGaugeDump();
  const std::string code = std::to_string(typeCode);
  dump.replace(50, code.size(), code);
  return dump;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// --- Hints that say what is wrong and what to do ---

struct BrokenFile {
  const char* name;
  std::string bytes;
  const char* saying;
};

class QtBrokenHint : public testing::TestWithParam<BrokenFile> {};

TEST_P(QtBrokenHint, SaysWhatIsWrongInTheWarningColourAndStartConvertTellsWhy) {
  Panel panel;
  const BrokenFile& file = GetParam();
  WriteWholeFile(panel.dir.Path(file.name), file.bytes);
  panel.OpenFrom(panel.dir.Path(file.name));
  EXPECT_TRUE(Has(Hint(panel), file.saying)) << Hint(panel);
  EXPECT_TRUE(HintWarns(panel));
  EXPECT_TRUE(Has(StartToolTip(panel), file.saying)) << StartToolTip(panel);
  // Room is kept for the whole hint: nothing of it is cut off.
  QLabel* hint = QtTestAccess::KindLabel(*panel.extras);
  panel.Window()->layout()->activate();
  QApplication::processEvents();
  EXPECT_LE(hint->heightForWidth(hint->width()), hint->height()) << Hint(panel);
  // Only told, never refused: START CONVERT stays usable.
  EXPECT_TRUE(panel.shell.Control(kCtrlStartConvert)->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Files, QtBrokenHint,
    testing::Values(BrokenFile{"empty.txt", "", "it is empty"},
                    BrokenFile{"binary.bin",
                               std::string("\x7f"
                                           "ELF\0\0",
                                           6),
                               "not text"},
                    BrokenFile{"notes.txt", std::string(200, 'a'), "starts with 'a'"},
                    BrokenFile{"codes.txt",
                               [] {
                                 std::string dump = zorq_test::WorkedLoggerDump();
                                 dump.replace(42, 1, "9");  // range code 9: in neither table
                                 return dump;
                               }(),
                               "\"Staff Length Error\""},
                    BrokenFile{"t11.txt", WithGaugeType(11), "type code 11"},
                    BrokenFile{"lf.txt", WithoutCrs(zorq_test::WorkedGaugeDump()), "LF alone"}),
    [](const testing::TestParamInfo<BrokenFile>& param) {
      std::string name = param.param.name;
      return name.substr(0, name.find('.'));
    });

TEST(QtHint, StartConvertSaysWhyWithNoFilesOpenAndDetailsClaimNoKind) {
  Panel panel;
  EXPECT_TRUE(Has(StartToolTip(panel), "\"File Error\"")) << StartToolTip(panel);
  EXPECT_EQ(Hint(panel), "");
  QTest::mouseClick(panel.shell.Control(kCtrlStartConvert), Qt::LeftButton);
  EXPECT_EQ(panel.WaitForOutcome(), "File Error");
  const std::string details = QtTestAccess::DetailsText(*panel.extras).toStdString();
  EXPECT_FALSE(Has(details, "not a dump this program knows")) << details;
  EXPECT_TRUE(Has(details, "From file: (none open)")) << details;
}

// --- The type follows the dump, with one click ---

TEST(QtHint, UseSetsTheFittingTypesAsTheOperatorWouldAndTheHintNeverMovesTheRings) {
  Panel panel;
  WriteWholeFile(panel.dir.Path("gauge.txt"), zorq_test::WorkedGaugeDump());
  WriteWholeFile(panel.dir.Path("logger.txt"), zorq_test::WorkedLoggerDump());
  QWidget* toRing = panel.Ring(kCtrlToType);
  const auto settle = [&] {
    for (int i = 0; i < 3; ++i) {
      panel.Window()->layout()->activate();
      QApplication::processEvents();
    }
  };
  settle();
  const int toRingY = toRing->mapTo(panel.Window(), QPoint(0, 0)).y();
  const int hintHeight = QtTestAccess::KindLabel(*panel.extras)->height();

  panel.OpenFrom(panel.dir.Path("gauge.txt"));
  // Never changed by the program itself.
  EXPECT_EQ(panel.RingValue(kCtrlFromType), 1);
  EXPECT_EQ(panel.RingValue(kCtrlToType), 0);
  QPushButton* use = QtTestAccess::UseButton(*panel.extras);
  ASSERT_NE(use, nullptr);
  EXPECT_TRUE(use->isVisible());
  EXPECT_EQ(use->text().toStdString(), "Use \u201cGauge dump\u201d");
  settle();
  // A hint of two or three lines keeps the rings where they were.
  EXPECT_EQ(toRing->mapTo(panel.Window(), QPoint(0, 0)).y(), toRingY);
  EXPECT_EQ(QtTestAccess::KindLabel(*panel.extras)->height(), hintHeight);
  EXPECT_GE(QtTestAccess::KindLabel(*panel.extras)
                ->heightForWidth(QtTestAccess::KindLabel(*panel.extras)->width()),
            0);
  EXPECT_LE(QtTestAccess::KindLabel(*panel.extras)
                ->heightForWidth(QtTestAccess::KindLabel(*panel.extras)->width()),
            QtTestAccess::KindLabel(*panel.extras)->height());

  use->click();
  EXPECT_EQ(panel.RingValue(kCtrlFromType), 3);
  EXPECT_EQ(panel.RingValue(kCtrlToType), 1);
  // FromSelect ran: the correction is for logger dumps only.
  EXPECT_EQ(SelectFromType, 3);
  EXPECT_FALSE(use->isVisible());
  EXPECT_FALSE(HintWarns(panel));
  EXPECT_EQ(Hint(panel), "gauge dump");
  settle();
  EXPECT_EQ(toRing->mapTo(panel.Window(), QPoint(0, 0)).y(), toRingY);

  // The From type right, the To type not: offered again, told by name.
  panel.Choose(kCtrlToType, 0);
  EXPECT_TRUE(Has(Hint(panel), "\"Convert To File Type Error\"")) << Hint(panel);
  EXPECT_TRUE(use->isVisible());
  panel.OpenTo(panel.dir.Path("out.csv"));
  EXPECT_EQ(panel.Convert(), "Convert To File Type Error");
  const std::string details = QtTestAccess::DetailsText(*panel.extras).toStdString();
  EXPECT_TRUE(Has(details, "(gauge dump) goes with To type 1 (gauge CSV)")) << details;
}

// --- Dumps whose lines end in LF alone ---

TEST(QtHint, ADumpWithLfAloneIsOfferedToBeReadAsCrLfAndThenConvertsAsWritten) {
  Panel panel;
  WriteWholeFile(panel.dir.Path("lf.txt"), WithoutCrs(zorq_test::WorkedLoggerDump()));
  QWidget* lfSwitch = panel.shell.Control(kCtrlLfLineEnds);
  ASSERT_NE(lfSwitch, nullptr);
  EXPECT_FALSE(lfSwitch->isVisible());
  panel.OpenFrom(panel.dir.Path("lf.txt"));
  EXPECT_TRUE(lfSwitch->isVisible());
  panel.Choose(kCtrlFromType, 2);
  panel.OpenTo(panel.dir.Path("plain.csv"));
  // Read as it is, the dump's lines lose their first bytes.
  panel.Convert();
  EXPECT_NE(ReadWholeFile(panel.dir.Path("plain.csv")), zorq_test::WorkedLoggerCsv());
  EXPECT_TRUE(Has(Hint(panel), "LF alone")) << Hint(panel);

  panel.shell.ui().MenuItemAction(PanelHandle, kMenuCloseTo)->trigger();
  panel.OpenTo(panel.dir.Path("adapted.csv"));
  qobject_cast<QAbstractButton*>(lfSwitch)->click();
  EXPECT_EQ(panel.Convert(), "Finished All");
  EXPECT_EQ(ReadWholeFile(panel.dir.Path("adapted.csv")), zorq_test::WorkedLoggerCsv());

  // A dump with CR LF hides the choice again, switched off.
  WriteWholeFile(panel.dir.Path("crlf.txt"), zorq_test::WorkedLoggerDump());
  panel.OpenFrom(panel.dir.Path("crlf.txt"));
  EXPECT_FALSE(lfSwitch->isVisible());
  int on = 1;
  GetCtrlVal(PanelHandle, kCtrlLfLineEnds, &on);
  EXPECT_EQ(on, 0);
}

// --- A To file of another kind; details of named files that go stale ---

TEST(QtHint, AToFileOfAnotherKindIsToldAndDetailsNameTheFilesAndGoStale) {
  Panel panel;
  WriteWholeFile(panel.dir.Path("gauge.txt"), zorq_test::WorkedGaugeDump());
  WriteWholeFile(panel.dir.Path("logger.csv"), zorq_test::WorkedLoggerCsv());
  panel.OpenFrom(panel.dir.Path("gauge.txt"));
  QtTestAccess::UseButton(*panel.extras)->click();
  EXPECT_FALSE(HintWarns(panel));
  panel.OpenTo(panel.dir.Path("logger.csv"));
  EXPECT_TRUE(HintWarns(panel));
  EXPECT_TRUE(Has(Hint(panel), "already holds logger CSV records")) << Hint(panel);
  EXPECT_TRUE(Has(StartToolTip(panel), "already holds logger CSV records"));

  panel.shell.ui().MenuItemAction(PanelHandle, kMenuCloseTo)->trigger();
  panel.OpenTo(panel.dir.Path("gauge.csv"));
  EXPECT_FALSE(HintWarns(panel)) << Hint(panel);
  EXPECT_EQ(panel.Convert(), "Finished All");
  const std::string details = QtTestAccess::DetailsText(*panel.extras).toStdString();
  EXPECT_TRUE(Has(details, "From file: " + panel.dir.Path("gauge.txt"))) << details;
  EXPECT_TRUE(Has(details, "To file: " + panel.dir.Path("gauge.csv"))) << details;
  EXPECT_TRUE(Has(details, "Converted: ")) << details;
  EXPECT_TRUE(QtTestAccess::PreviewButton(*panel.extras)->isEnabled());

  // Another dump: the outcome shown is of the files before.
  WriteWholeFile(panel.dir.Path("other.txt"), zorq_test::WorkedGaugeDump());
  panel.OpenFrom(panel.dir.Path("other.txt"));
  EXPECT_TRUE(QtTestAccess::DetailsText(*panel.extras).startsWith("(Of an earlier conversion"));
  EXPECT_FALSE(QtTestAccess::PreviewButton(*panel.extras)->isEnabled());
}

// --- Drops, Browse… and Ctrl+Return ---

bool DropUrls(QWidget* window, const QList<QUrl>& urls) {
  QMimeData mime;
  mime.setUrls(urls);
  const QPoint at = window->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &enter);
  QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &drop);
  return enter.isAccepted() && drop.isAccepted();
}

QString DropNote(QWidget* window) {
  auto* note = window->findChild<QMessageBox*>(QStringLiteral("dropNote"));
  if (note == nullptr)
    return QString();
  const QString text = note->text();
  delete note;
  return text;
}

TEST(QtHint, DropsOfSeveralFilesOrAFolderSayWhatWasTakenAndWhy) {
  Panel panel;
  WriteWholeFile(panel.dir.Path("a.txt"), zorq_test::WorkedGaugeDump());
  WriteWholeFile(panel.dir.Path("b.txt"), zorq_test::WorkedLoggerDump());
  const auto url = [&](const char* name) {
    return QUrl::fromLocalFile(QString::fromStdString(panel.dir.Path(name)));
  };
  EXPECT_TRUE(
      DropUrls(panel.Window(), {QUrl::fromLocalFile(QString::fromStdString(panel.dir.path()))}));
  EXPECT_EQ(FileFromOpen, 0);
  EXPECT_TRUE(DropNote(panel.Window()).contains("is a folder"));

  EXPECT_TRUE(DropUrls(panel.Window(), {url("a.txt"), url("b.txt")}));
  EXPECT_EQ(panel.shell.Text(kCtrlFromName), panel.dir.Path("a.txt"));
  const QString note = DropNote(panel.Window());
  EXPECT_TRUE(note.contains("Only the first")) << note.toStdString();
  EXPECT_TRUE(note.contains("a.txt"));
}

TEST(QtHint, BrowseButtonsRunTheMenuItemsAndCtrlReturnStartsTheConversion) {
  Panel panel;
  WriteWholeFile(panel.dir.Path("gauge.txt"), zorq_test::WorkedGaugeDump());
  auto* browseFrom = panel.Window()->findChild<QToolButton*>(QStringLiteral("browseFrom"));
  auto* browseTo = panel.Window()->findChild<QToolButton*>(QStringLiteral("browseTo"));
  ASSERT_NE(browseFrom, nullptr);
  ASSERT_NE(browseTo, nullptr);
  panel.shell.AnswerFileSelect(1, panel.dir.Path("gauge.txt"));
  browseFrom->click();
  EXPECT_EQ(panel.shell.Text(kCtrlFromName), panel.dir.Path("gauge.txt"));
  panel.shell.AnswerFileSelect(2, panel.dir.Path("out.csv"));
  browseTo->click();
  EXPECT_EQ(panel.shell.Text(kCtrlToName), panel.dir.Path("out.csv"));
  // Dimmed with Open To File.
  EXPECT_FALSE(browseTo->isEnabled());
  QtTestAccess::UseButton(*panel.extras)->click();

  auto* start = panel.Window()->findChild<QAction*>(QStringLiteral("actionStartConvert"));
  ASSERT_NE(start, nullptr);
  EXPECT_TRUE(start->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Return)));
  start->trigger();
  EXPECT_EQ(panel.WaitForOutcome(), "Finished All");
  EXPECT_EQ(ReadWholeFile(panel.dir.Path("out.csv")), zorq_test::WorkedGaugeCsv());
}

// --- Closing while converting; the percent of the text and of the bar ---

TEST(QtHint, ClosingWhileConvertingAsksThenCancelsAndLeavesTheToFileAsItWas) {
  Panel panel;
  WriteWholeFile(panel.dir.Path("long.txt"), zorq_test::RepeatedWorkedLoggerDump(20000));
  WriteWholeFile(panel.dir.Path("out.csv"), "kept\r\n");
  panel.OpenFrom(panel.dir.Path("long.txt"));
  panel.Choose(kCtrlFromType, 2);
  panel.OpenTo(panel.dir.Path("out.csv"));
  // Slow the conversion down so that the close box meets it running.
  QtTestAccess::SetProgressObserver(panel.shell.additions(), [](int64_t, int64_t) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  });
  panel.shell.AnswerConfirm(true);
  QTimer::singleShot(200, panel.Window(), [&] { panel.Window()->close(); });
  QTest::mouseClick(panel.shell.Control(kCtrlStartConvert), Qt::LeftButton);
  EXPECT_EQ(panel.WaitForOutcome(), "Cancelled");
  EXPECT_EQ(panel.shell.Count(PopupRequest::Kind::Confirm, "Converting"), 1);
  EXPECT_EQ(ReadWholeFile(panel.dir.Path("out.csv")), "kept\r\n");
}

TEST(QtHint, TheTextAndTheBarShowTheSamePercent) {
  struct Case {
    int64_t done;
    int64_t total;
    int percent;
  };
  for (const Case& c : {Case{0, 1000, 0}, Case{66, 1000, 6}, Case{999, 1000, 99},
                        Case{1000, 1000, 100}, Case{1200, 1000, 100}, Case{5, 0, 0}}) {
    EXPECT_EQ(WholePercent(c.done, c.total), c.percent) << c.done << " of " << c.total;
    if (c.total > 0) {
      EXPECT_TRUE(
          Has(DescribeProgress(c.done, c.total, 0.0), ", " + std::to_string(c.percent) + " %"));
    }
  }
}

}  // namespace

// START asks before it appends one CSV kind after the other's; No leaves
// the To file as it was, Yes appends and the mark and Details say so.
TEST(QtHint, AppendingTheOtherKindIsAskedAndToldAfter) {
  Panel panel;
  WriteWholeFile(panel.dir.Path("gauge.txt"), zorq_test::WorkedGaugeDump());
  WriteWholeFile(panel.dir.Path("logger.csv"), zorq_test::WorkedLoggerCsv());
  panel.OpenFrom(panel.dir.Path("gauge.txt"));
  QtTestAccess::UseButton(*panel.extras)->click();
  panel.OpenTo(panel.dir.Path("logger.csv"));

  panel.shell.AnswerConfirm(false);
  panel.Convert();
  EXPECT_EQ(zorq_test::ReadWholeFile(panel.dir.Path("logger.csv")), zorq_test::WorkedLoggerCsv());
  auto* mark = panel.Window()->findChild<QLabel*>(QStringLiteral("outcomeMarkText"));
  ASSERT_NE(mark, nullptr);
  EXPECT_TRUE(Has(mark->text().toStdString(), "cancelled")) << mark->text().toStdString();

  panel.shell.AnswerConfirm(true);
  EXPECT_EQ(panel.Convert(), "Finished All");
  EXPECT_EQ(zorq_test::ReadWholeFile(panel.dir.Path("logger.csv")),
            zorq_test::WorkedLoggerCsv() + zorq_test::WorkedGaugeCsv());
  EXPECT_TRUE(Has(mark->text().toStdString(), "kinds mixed")) << mark->text().toStdString();
  const std::string details = QtTestAccess::DetailsText(*panel.extras).toStdString();
  EXPECT_TRUE(Has(details, "Mixed kinds: the To file held logger CSV records")) << details;
}
