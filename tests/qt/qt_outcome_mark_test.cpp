// The mark beside the status line, on the real panel offscreen: what each
// outcome reads as, that the status line keeps its words, that the mark
// opens Details and that it goes when either file changes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <ostream>
#include <string>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "desktop/additions.h"
#include "desktop/outcome_mark.h"
#include "desktop/qt_panel_extras.h"
#include "tests/qt/qt_test_access.h"
#include "tests/qt/qt_test_support.h"
#include "tests/test_support.h"
using zorq_qt_test::kPatienceMs;
using zorq_qt_test::Panel;
using zorq_test::WorkedGaugeDump;
using zorq_test::WorkedLoggerDump;
using zorq_test::WriteWholeFile;

namespace {

// --- The words, in two locales ---

struct WordsCase {
  const char* name;
  OutcomeMark mark;
  const char* english;
  const char* german;
};

void PrintTo(const WordsCase& row, std::ostream* out) {
  *out << row.name;
}

class QtOutcomeMarkWords : public testing::TestWithParam<WordsCase> {};

TEST_P(QtOutcomeMarkWords, CountsAreGroupedAsTheLocaleGroupsThemAndAgreeInNumber) {
  const WordsCase& c = GetParam();
  EXPECT_EQ(OutcomeMarkText(c.mark, QLocale(QLocale::English, QLocale::UnitedStates)),
            QString::fromUtf8(c.english));
  EXPECT_EQ(OutcomeMarkText(c.mark, QLocale(QLocale::German, QLocale::Germany)),
            QString::fromUtf8(c.german));
  EXPECT_EQ(OutcomeMarkToolTip(c.mark, QLocale()).isEmpty(), c.mark.kind == OutcomeKind::None);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, QtOutcomeMarkWords,
    testing::Values(WordsCase{"NoConversion", {}, "", ""},
                    WordsCase{"Clean", {OutcomeKind::Clean, 0, 0, 0}, "\u2713", "\u2713"},
                    WordsCase{
                        "OneAnomaly", {OutcomeKind::Anomalies, 1, 0, 0}, "1 warning", "1 warning"},
                    WordsCase{"ManyAnomalies",
                              {OutcomeKind::Anomalies, 146000, 0, 0},
                              "146,000 warnings",
                              "146.000 warnings"},
                    WordsCase{"FailedBeforeAnyRecord",
                              {OutcomeKind::Failed, 0, 12, 0},
                              "failed at line 12 \u2014 no records written",
                              "failed at line 12 \u2014 no records written"},
                    WordsCase{"FailedAfterOneRecord",
                              {OutcomeKind::Failed, 3, 1234567, 1},
                              "failed at line 1,234,567 \u2014 1 record kept",
                              "failed at line 1.234.567 \u2014 1 record kept"},
                    WordsCase{"FailedAfterRecordsOnNoLine",
                              {OutcomeKind::Failed, 0, 0, 2500},
                              "failed \u2014 2,500 records kept",
                              "failed \u2014 2.500 records kept"},
                    WordsCase{"Cancelled",
                              {OutcomeKind::Cancelled, 7, 0, 0},
                              "cancelled \u2014 To file as it was",
                              "cancelled \u2014 To file as it was"}),
    [](const testing::TestParamInfo<WordsCase>& row) { return std::string(row.param.name); });

// --- Real conversions on the panel ---

QLabel* MarkText(Panel& panel) {
  return panel.Window()->findChild<QLabel*>(QStringLiteral("outcomeMarkText"));
}
QWidget* Mark(Panel& panel) {
  return panel.Window()->findChild<QWidget*>(QStringLiteral("outcomeMark"));
}

// The worked logger dump with one reading that is not a number.
std::string OneOddReading() {
  std::string dump = WorkedLoggerDump();
  dump.replace(dump.find("2050"), 4, "22x1");
  return dump;
}

// The worked logger dump cut short in its first date stamp (line 2).
std::string CutFirstDateStamp() {
  const std::string worked = WorkedLoggerDump();
  return worked.substr(0, 63) + "Y19,M06,D30,H14\r\n" + worked.substr(63 + 26);
}

// The worked logger dump, then a date stamp cut short (line 9) after its
// two records.
std::string CutLaterDateStamp() {
  return WorkedLoggerDump() + "Y19,M06,D30,H14\r\n" + "2048,2048,2048,360\r\n";
}

struct ConversionCase {
  const char* name;
  std::string dump;
  int fromType;
  int toType;
  const char* status;  // the status line, word for word
  const char* mark;    // in the locale the test sets
  std::string toFileAfter;
};

void PrintTo(const ConversionCase& row, std::ostream* out) {
  *out << row.name;
}

class QtOutcomeMark : public testing::TestWithParam<ConversionCase> {
 protected:
  void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
  void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

TEST_P(QtOutcomeMark, SaysWhatTheConversionCameToAndOpensDetails) {
  const ConversionCase& c = GetParam();
  Panel panel;
  ASSERT_NE(Mark(panel), nullptr);
  EXPECT_FALSE(Mark(panel)->isVisible());
  const std::string dump = panel.dir.Path("dump.txt");
  const std::string csv = panel.dir.Path("dump.csv");
  WriteWholeFile(dump, c.dump);
  panel.OpenFrom(dump);
  panel.OpenTo(csv);
  panel.Choose(kCtrlFromType, c.fromType);
  panel.Choose(kCtrlToType, c.toType);

  EXPECT_EQ(panel.Convert(), c.status);
  EXPECT_TRUE(Mark(panel)->isVisible());
  EXPECT_EQ(Mark(panel)->accessibleName().toStdString(), c.mark);
  // Two lines at most, split where the words say what was left.
  QString shown = MarkText(panel)->text();
  EXPECT_LE(shown.count(QLatin1Char('\n')), 1);
  EXPECT_EQ(shown.replace(QStringLiteral("\n"), QStringLiteral(" ")).toStdString(), c.mark);
  EXPECT_FALSE(Mark(panel)->toolTip().isEmpty());
  if (!c.toFileAfter.empty()) {
    EXPECT_EQ(zorq_test::ReadWholeFile(csv).substr(0, c.toFileAfter.size()), c.toFileAfter);
  }

  QTest::mouseClick(Mark(panel), Qt::LeftButton);
  ASSERT_NE(QtTestAccess::DetailsDialog(*panel.extras), nullptr);
  EXPECT_TRUE(QtTestAccess::DetailsDialog(*panel.extras)->isVisible());
  QtTestAccess::DetailsDialog(*panel.extras)->hide();
  // Tabbed to, it shows a focus ring, as buttons do.
  panel.Window()->activateWindow();
  const QImage unfocused = Mark(panel)->grab().toImage();
  Mark(panel)->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Mark(panel)->hasFocus(); }, kPatienceMs));
  EXPECT_NE(Mark(panel)->grab().toImage(), unfocused);
  QTest::keyClick(Mark(panel), Qt::Key_Space);
  EXPECT_TRUE(QtTestAccess::DetailsDialog(*panel.extras)->isVisible());

  // Another dump: the mark was of the files before.
  WriteWholeFile(panel.dir.Path("other.txt"), c.dump);
  panel.OpenFrom(panel.dir.Path("other.txt"));
  EXPECT_FALSE(Mark(panel)->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, QtOutcomeMark,
    testing::Values(
        ConversionCase{"Clean", WorkedGaugeDump(), 3, 1, "Finished All", "\u2713", ""},
        // The worked dump ends in a line broken off; one more reading is no number.
        ConversionCase{"OneAnomaly", WorkedLoggerDump(), 2, 0, "Finished All", "1 warning",
                       zorq_test::WorkedLoggerCsv()},
        ConversionCase{"Anomalies", OneOddReading(), 2, 0, "Finished All", "2 warnings", "f001,"},
        ConversionCase{"FailureBeforeAnyRecord", CutFirstDateStamp(), 2, 0, "Date & Time Error",
                       "failed at line 2 \u2014 no records written", ""},
        ConversionCase{"FailureAfterRecords", CutLaterDateStamp(), 2, 0, "Date & Time Error",
                       "failed at line 9 \u2014 2 records kept", zorq_test::WorkedLoggerCsv()},
        ConversionCase{"TypesThatDoNotFit", WorkedGaugeDump(), 3, 0, "Convert To File Type Error",
                       "failed \u2014 no records written", ""}),
    [](const testing::TestParamInfo<ConversionCase>& row) { return std::string(row.param.name); });

// --- The longest words, in their place beside the status line ---

struct FitCase {
  const char* name;
  OutcomeMark mark;
};

void PrintTo(const FitCase& row, std::ostream* out) {
  *out << row.name;
}

class QtOutcomeMarkFits : public testing::TestWithParam<FitCase> {};

// Two lines at most, every letter shown, and the mark wholly inside the
// window without reaching the buttons beside it.
TEST_P(QtOutcomeMarkFits, OnTwoLinesAtMostWithinItsColumn) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  Panel panel;
  ShowConversionDetails(PanelHandle, kCtrlStatus, "Outcome: Date & Time Error", GetParam().mark);
  QApplication::processEvents();
  QLabel* words = MarkText(panel);
  ASSERT_NE(words, nullptr);
  EXPECT_LE(words->text().count(QLatin1Char('\n')), 1) << words->text().toStdString();
  EXPECT_GE(words->width(), words->sizeHint().width())
      << words->text().toStdString() << " in a window " << panel.Window()->width() << " wide, "
      << panel.Window()->minimumWidth() << " at least, on "
      << panel.Window()->screen()->availableGeometry().width();
  QWidget* window = panel.Window();
  const QRect mark(Mark(panel)->mapTo(window, QPoint(0, 0)), Mark(panel)->size());
  EXPECT_TRUE(window->rect().contains(mark))
      << mark.right() << " in a window " << window->width() << " wide";
  const QRect label(words->mapTo(window, QPoint(0, 0)), words->size());
  QWidget* details = QtTestAccess::DetailsButton(*panel.extras);
  ASSERT_NE(details, nullptr);
  EXPECT_LT(label.right(), details->mapTo(window, QPoint(0, 0)).x())
      << "mark " << mark.x() << "+" << mark.width() << " (at least "
      << Mark(panel)->minimumSizeHint().width() << "), window " << window->width() << " of "
      << window->minimumSizeHint().width();
  QLocale::setDefault(QLocale::system());
}

INSTANTIATE_TEST_SUITE_P(
    Longest, QtOutcomeMarkFits,
    testing::Values(
        FitCase{"FailedFarIn", {OutcomeKind::Failed, 0, 123456789, 0}},
        FitCase{"FailedFarInWithRecordsKept", {OutcomeKind::Failed, 0, 123456789, 1234567}},
        FitCase{"ManyWarningsAndKindsMixed", {OutcomeKind::Anomalies, 123456789, 0, 0, true}},
        FitCase{"Cancelled", {OutcomeKind::Cancelled, 0, 0, 0}}),
    [](const testing::TestParamInfo<FitCase>& row) { return std::string(row.param.name); });

}  // namespace
