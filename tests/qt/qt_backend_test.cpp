// The Qt backend on the real panel: values through the engine functions,
// operator actions reaching the shell's callbacks, the event loop, popups
// and one whole conversion.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <cstring>
#include <string>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "convert/dispatch.h"
#include "runtime/ui.h"
#include "tests/qt/qt_test_access.h"
#include "tests/qt/qt_test_support.h"
#include "tests/test_support.h"

using zorq_qt_test::kPatienceMs;
using zorq_qt_test::QtShell;
using zorq_test::ReadWholeFile;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

namespace {

int IntOf(int control) {
  int value = -12345;
  EXPECT_EQ(GetCtrlVal(PanelHandle, control, &value), 0) << "control " << control;
  return value;
}

double DoubleOf(int control) {
  double value = -12345.0;
  EXPECT_EQ(GetCtrlVal(PanelHandle, control, &value), 0) << "control " << control;
  return value;
}

bool Shown(QtShell& shell, int control) {
  return !shell.Control(control)->isHidden();
}

QLabel* BuddyOf(QWidget* control) {
  for (QLabel* label : control->window()->findChildren<QLabel*>()) {
    if (label->buddy() == control)
      return label;
  }
  return nullptr;
}

void RightClick(QWidget* widget) {
  QContextMenuEvent event(QContextMenuEvent::Mouse, widget->rect().center(),
                          widget->mapToGlobal(widget->rect().center()));
  QApplication::sendEvent(widget, &event);
}

// Ends a RunUserInterface that a test failed to end, so the suite goes on.
class LoopGuard {
 public:
  LoopGuard() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      fired_ = true;
      QuitUserInterface(0);
    });
    timer_.start(kPatienceMs);
  }
  bool Fired() const { return fired_; }

 private:
  QTimer timer_;
  bool fired_ = false;
};

}  // namespace

TEST(QtEngine, RingsTogglesSwitchesAndNumericsKeepTheValuesSetThroughTheEngine) {
  QtShell shell;
  ASSERT_GT(shell.Load(), 0);
  EXPECT_EQ(IntOf(kCtrlFromType), 1);
  EXPECT_EQ(IntOf(kCtrlToType), 0);

  struct IntCase {
    int control;
    int set;
    int expected;
  };
  const IntCase ints[] = {
      {kCtrlFromType, 3, 3},   {kCtrlFromType, 2, 2},     {kCtrlToType, 1, 1},
      {kCtrlToType, 0, 0},     {kCtrlStartConvert, 1, 1}, {kCtrlStartConvert, 0, 0},
      {kCtrlCorrection, 5, 1}, {kCtrlCorrection, 0, 0},   {kCtrlGainM, 7, 7},
      {kCtrlOffsetB, -3, -3},
  };
  for (const IntCase& c : ints) {
    EXPECT_EQ(SetCtrlVal(PanelHandle, c.control, c.set), 0) << c.control;
    EXPECT_EQ(IntOf(c.control), c.expected) << c.control << " set to " << c.set;
  }
  // A ring shows the item of its value, not of an index.
  SetCtrlVal(PanelHandle, kCtrlFromType, 3);
  EXPECT_EQ(qobject_cast<QComboBox*>(shell.Control(kCtrlFromType))->currentText(), "Gauge dump");
  // A value the ring does not hold is refused and changes nothing.
  EXPECT_LT(SetCtrlVal(PanelHandle, kCtrlFromType, 0), 0);
  EXPECT_LT(SetCtrlVal(PanelHandle, kCtrlToType, 2), 0);
  EXPECT_EQ(IntOf(kCtrlFromType), 3);
  EXPECT_TRUE(qobject_cast<QAbstractButton*>(shell.Control(kCtrlStartConvert))->isCheckable());

  struct DoubleCase {
    int control;
    double set;
    double expected;
    int truncated;
  };
  const DoubleCase doubles[] = {
      {kCtrlGainM, 1.0, 1.0, 1},           {kCtrlGainM, -12345.678901, -12345.678901, -12345},
      {kCtrlOffsetB, 0.0625, 0.0625, 0},   {kCtrlOffsetB, 250000000.5, 250000000.5, 250000000},
      {kCtrlOffsetB, -0.0001, -0.0001, 0},
  };
  for (const DoubleCase& c : doubles) {
    EXPECT_EQ(SetCtrlVal(PanelHandle, c.control, c.set), 0);
    EXPECT_NEAR(DoubleOf(c.control), c.expected, 1e-9) << c.control << " set to " << c.set;
    EXPECT_EQ(IntOf(c.control), c.truncated) << c.control << " set to " << c.set;
  }
  // A double into an integer control keeps its whole part.
  EXPECT_EQ(SetCtrlVal(PanelHandle, kCtrlFromType, 2.9), 0);
  EXPECT_EQ(IntOf(kCtrlFromType), 2);
}

TEST(QtEngine, TextsVisibilityAndDimmingFollowTheAttributes) {
  QtShell shell;
  ASSERT_GT(shell.Load(), 0);
  EXPECT_EQ(SetCtrlAttribute(PanelHandle, kCtrlStatus, ATTR_CTRL_VAL, "Finished All"), 0);
  EXPECT_EQ(shell.Text(kCtrlStatus), "Finished All");
  EXPECT_EQ(SetCtrlAttribute(PanelHandle, kCtrlFromName, ATTR_CTRL_VAL, "/data/dump 1.txt"), 0);
  EXPECT_EQ(shell.Text(kCtrlFromName), "/data/dump 1.txt");
  EXPECT_EQ(SetCtrlAttribute(PanelHandle, kCtrlToName, ATTR_CTRL_VAL, ""), 0);
  EXPECT_EQ(shell.Text(kCtrlToName), "");

  for (int control : {kCtrlGainM, kCtrlOffsetB, kCtrlCorrection}) {
    SCOPED_TRACE(control);
    QLabel* label = BuddyOf(shell.Control(control));
    EXPECT_EQ(SetCtrlAttribute(PanelHandle, control, ATTR_VISIBLE, 1), 0);
    EXPECT_TRUE(Shown(shell, control));
    EXPECT_TRUE(label == nullptr || !label->isHidden());
    EXPECT_EQ(SetCtrlAttribute(PanelHandle, control, ATTR_VISIBLE, 0), 0);
    EXPECT_FALSE(Shown(shell, control));
    EXPECT_TRUE(label == nullptr || label->isHidden());
  }
  ASSERT_NE(BuddyOf(shell.Control(kCtrlGainM)), nullptr);

  const int menuBar = GetPanelMenuBar(PanelHandle);
  ASSERT_GT(menuBar, 0);
  for (int item : {kMenuOpenFrom, kMenuCloseFrom, kMenuOpenTo, kMenuCloseTo, kMenuExit}) {
    SCOPED_TRACE(item);
    QAction* action = shell.ui().MenuItemAction(PanelHandle, item);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(SetMenuBarAttribute(menuBar, item, ATTR_DIMMED, 1), 0);
    EXPECT_FALSE(action->isEnabled());
    EXPECT_EQ(SetMenuBarAttribute(menuBar, item, ATTR_DIMMED, 0), 0);
    EXPECT_TRUE(action->isEnabled());
  }
}

TEST(QtEngine, UnknownHandlesControlsAndMismatchedValuesAreRefused) {
  QtShell shell;
  ASSERT_GT(shell.Load(), 0);
  int value = 0;
  double real = 0.0;
  EXPECT_EQ(GetCtrlVal(PanelHandle + 1, kCtrlFromType, &value), UIE_BAD_HANDLE);
  EXPECT_EQ(GetCtrlVal(PanelHandle, 99, &value), UIE_BAD_CONTROL);
  EXPECT_EQ(SetCtrlVal(PanelHandle, 99, 1), UIE_BAD_CONTROL);
  EXPECT_LT(GetCtrlVal(PanelHandle, kCtrlStatus, &value), 0);
  EXPECT_LT(GetCtrlVal(PanelHandle, kCtrlStatus, &real), 0);
  EXPECT_LT(SetCtrlVal(PanelHandle, kCtrlStatus, 1), 0);
  EXPECT_LT(SetCtrlAttribute(PanelHandle, kCtrlFromType, ATTR_CTRL_VAL, "text"), 0);
  EXPECT_LT(SetMenuBarAttribute(GetPanelMenuBar(PanelHandle), 99, ATTR_DIMMED, 1), 0);
  EXPECT_LT(GetPanelMenuBar(PanelHandle + 1), 0);
  EXPECT_EQ(DiscardPanel(PanelHandle), 0);
  EXPECT_EQ(shell.ui().PanelWindow(PanelHandle), nullptr);
  EXPECT_EQ(GetCtrlVal(PanelHandle, kCtrlFromType, &value), UIE_BAD_HANDLE);
  EXPECT_EQ(DiscardPanel(PanelHandle), UIE_BAD_HANDLE);
}

TEST(QtEngine, IntAndDoubleValuesCrossEveryKindOfControl) {
  QtShell shell;
  ASSERT_GT(shell.Load(), 0);
  int value = 0;
  double real = 0.0;
  // A numeric control keeps the fraction; read as an int it is cut off.
  EXPECT_EQ(SetCtrlVal(PanelHandle, kCtrlGainM, -2.75), 0);
  EXPECT_EQ(GetCtrlVal(PanelHandle, kCtrlGainM, &value), 0);
  EXPECT_EQ(value, -2);
  EXPECT_EQ(GetCtrlVal(PanelHandle, kCtrlGainM, &real), 0);
  EXPECT_EQ(real, -2.75);
  EXPECT_LT(SetCtrlVal(PanelHandle, kCtrlGainM, std::nan("")), 0);
  // A ring and a switch take a double cut to a whole number and read back
  // as whole doubles; a ring refuses a value it does not list.
  EXPECT_EQ(SetCtrlVal(PanelHandle, kCtrlFromType, 3.9), 0);
  EXPECT_EQ(GetCtrlVal(PanelHandle, kCtrlFromType, &real), 0);
  EXPECT_EQ(real, 3.0);
  EXPECT_LT(SetCtrlVal(PanelHandle, kCtrlFromType, 42), 0);
  EXPECT_EQ(GetCtrlVal(PanelHandle, kCtrlFromType, &value), 0);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(SetCtrlVal(PanelHandle, kCtrlCorrection, 0.5), 0);
  EXPECT_EQ(GetCtrlVal(PanelHandle, kCtrlCorrection, &value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(SetCtrlVal(PanelHandle, kCtrlCorrection, 1), 0);
  EXPECT_EQ(GetCtrlVal(PanelHandle, kCtrlCorrection, &real), 0);
  EXPECT_EQ(real, 1.0);
  // Nowhere to put the value: refused, and a panel that is not there first.
  EXPECT_EQ(GetCtrlVal(PanelHandle, kCtrlGainM, static_cast<int*>(nullptr)), UIE_BAD_CONTROL);
  EXPECT_EQ(GetCtrlVal(PanelHandle, kCtrlFromType, static_cast<double*>(nullptr)), UIE_BAD_CONTROL);
  EXPECT_EQ(GetCtrlVal(PanelHandle + 1, kCtrlGainM, static_cast<int*>(nullptr)), UIE_BAD_HANDLE);
}

TEST(QtEvents, OperatorActionsOnControlsReachTheShellCallbacks) {
  QtShell shell;
  ASSERT_GT(shell.LoadAndShow(), 0);
  auto* correction = qobject_cast<QAbstractButton*>(shell.Control(kCtrlCorrection));
  auto* fromType = qobject_cast<QComboBox*>(shell.Control(kCtrlFromType));
  ASSERT_NE(correction, nullptr);
  ASSERT_NE(fromType, nullptr);

  // The switch: on shows M and B.
  QTest::mouseClick(correction, Qt::LeftButton);
  EXPECT_EQ(IntOf(kCtrlCorrection), 1);
  EXPECT_TRUE(Shown(shell, kCtrlGainM));
  EXPECT_TRUE(Shown(shell, kCtrlOffsetB));
  SetCtrlVal(PanelHandle, kCtrlGainM, 2.5);

  // The From ring, chosen from the keyboard: the gauge dump hides the
  // correction and puts M back to 1.
  fromType->setFocus();
  QTest::keyClick(fromType, Qt::Key_Down);
  EXPECT_EQ(SelectFromType, 2);
  QTest::keyClick(fromType, Qt::Key_Down);
  EXPECT_EQ(SelectFromType, 3);
  EXPECT_FALSE(Shown(shell, kCtrlCorrection));
  EXPECT_FALSE(Shown(shell, kCtrlGainM));
  EXPECT_DOUBLE_EQ(DoubleOf(kCtrlGainM), 1.0);

  // A value the program sets is no operator's choice: no callback runs.
  SetCtrlVal(PanelHandle, kCtrlFromType, 1);
  EXPECT_EQ(SelectFromType, 3);
  EXPECT_FALSE(Shown(shell, kCtrlCorrection));

  // A right click on START CONVERT asks for the help popup only.
  RightClick(shell.Control(kCtrlStartConvert));
  ASSERT_FALSE(QtTestAccess::Popups(shell.ui()).empty());
  EXPECT_EQ(QtTestAccess::Popups(shell.ui()).back().title, kStartConvertHelpTitle);
  EXPECT_EQ(QtTestAccess::Popups(shell.ui()).back().message, kStartConvertHelpText);
  EXPECT_EQ(OKToConvert, 0);
}

TEST(QtEvents, StartConvertIsCarriedOutAtATimerTick) {
  QtShell shell;
  ASSERT_GT(shell.LoadAndShow(), 0);
  auto* start = qobject_cast<QAbstractButton*>(shell.Control(kCtrlStartConvert));
  QTest::mouseClick(start, Qt::LeftButton);
  EXPECT_TRUE(start->isChecked());
  // No file is open: the dispatch reports it at the next tick.
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return shell.Text(kCtrlStatus) == "File Error"; }, kPatienceMs));
  EXPECT_FALSE(start->isChecked());
  EXPECT_EQ(OKToConvert, 0);
  EXPECT_EQ(shell.Count(PopupRequest::Kind::Message, kConvertErrorTitle), 1);
}

TEST(QtEvents, OneRequestShowsOneErrorBoxHoweverLongItStaysOpen) {
  QtShell shell;
  shell.UseRealDialogs();
  ASSERT_GT(shell.LoadAndShow(), 0);
  QSet<QMessageBox*> boxesSeen;
  int roundsOpen = 0;
  // Keeps every error box open for 40 rounds of the watcher, several timer
  // intervals, then presses its OK.
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(top);
      if (box == nullptr || !box->isVisible())
        continue;
      boxesSeen.insert(box);
      if (++roundsOpen >= 40)
        box->accept();
    }
  });
  watcher.start(10);
  SetCtrlVal(PanelHandle, kCtrlStartConvert, 1);
  OKToConvert = 1;
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return shell.Text(kCtrlStatus) == "File Error"; }, kPatienceMs));
  watcher.stop();
  EXPECT_EQ(boxesSeen.size(), 1);
  EXPECT_EQ(OKToConvert, 0);
  EXPECT_EQ(IntOf(kCtrlStartConvert), 0);
}

TEST(QtLook, WindowShowsTheThemeIconOrTheCopyBuiltIntoTheProgram) {
  QtShell shell;
  ASSERT_GT(shell.LoadAndShow(), 0);
  const QImage builtIn(QStringLiteral(":/zorqconvert/zorqconvert-48.png"));
  EXPECT_EQ(builtIn.size(), QSize(48, 48));
  const QIcon icon = shell.ui().PanelWindow(PanelHandle)->windowIcon();
  ASSERT_FALSE(icon.isNull());
  if (!QIcon::hasThemeIcon(QStringLiteral("zorqconvert"))) {
    EXPECT_TRUE(icon.availableSizes().contains(QSize(48, 48)));
  }
  EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral(ZORQ_APP_ID));
}

TEST(QtLoop, CheckPanelShowsTheRealPanelAndLeavesWithoutTheLoop) {
  QtShell shell;
  LoopGuard guard;
  char program[] = "zorqconvert";
  char check[] = "--check-panel";
  char* argv[] = {program, check, nullptr};
  testing::internal::CaptureStdout();
  EXPECT_EQ(ZorqMain(2, argv), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("loads and shows"), std::string::npos);
  EXPECT_FALSE(guard.Fired());
  EXPECT_FALSE(shell.ui().Running());
  EXPECT_EQ(shell.ui().PanelWindow(PanelHandle), nullptr);
}

TEST(QtLoop, CloseBoxEndsTheLoopAndMainDiscardsThePanel) {
  QtShell shell;
  LoopGuard guard;
  bool closeAccepted = true;
  bool visibleAfterClose = false;
  int panelSeen = 0;
  QTimer::singleShot(0, [&] {
    panelSeen = PanelHandle;
    QWidget* window = shell.ui().PanelWindow(PanelHandle);
    ASSERT_NE(window, nullptr);
    closeAccepted = window->close();
    visibleAfterClose = window->isVisible();
  });
  char* argv[] = {nullptr};
  EXPECT_EQ(ZorqMain(0, argv), 0);
  EXPECT_FALSE(guard.Fired());
  // The window refuses to close by itself; the program ends the loop.
  EXPECT_FALSE(closeAccepted);
  EXPECT_TRUE(visibleAfterClose);
  ASSERT_GT(panelSeen, 0);
  EXPECT_EQ(shell.ui().PanelWindow(panelSeen), nullptr);
  EXPECT_FALSE(shell.ui().Running());
}

TEST(QtLoop, ExitMenuItemClosesTheFilesAndEndsTheLoop) {
  QtShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("in.txt"), "dump");
  LoopGuard guard;
  QTimer::singleShot(0, [&] {
    shell.AnswerFileSelect(1, dir.Path("in.txt"));
    shell.AnswerFileSelect(1, dir.Path("out.csv"));
    shell.ui().MenuItemAction(PanelHandle, kMenuOpenFrom)->trigger();
    shell.ui().MenuItemAction(PanelHandle, kMenuOpenTo)->trigger();
    EXPECT_EQ(FileFromOpen, 1);
    EXPECT_EQ(FileToOpen, 1);
    shell.ui().MenuItemAction(PanelHandle, kMenuExit)->trigger();
  });
  char* argv[] = {nullptr};
  EXPECT_EQ(ZorqMain(0, argv), 0);
  EXPECT_FALSE(guard.Fired());
  EXPECT_EQ(FileFromOpen, 0);
  EXPECT_EQ(FileToOpen, 0);
  EXPECT_EQ(shell.Pauses(), (std::vector<double>{0.6, 0.6}));
}

TEST(QtMenu, OpenToFileAsksThroughThePopupAndDimsTheMenu) {
  QtShell shell;
  ASSERT_GT(shell.LoadAndShow(), 0);
  TempDir dir;
  const std::string path = dir.Path("new output.csv");
  QAction* openTo = shell.ui().MenuItemAction(PanelHandle, kMenuOpenTo);
  QAction* closeTo = shell.ui().MenuItemAction(PanelHandle, kMenuCloseTo);
  QAction* closeFrom = shell.ui().MenuItemAction(PanelHandle, kMenuCloseFrom);

  // A dimmed item cannot be chosen.
  closeTo->trigger();
  closeFrom->trigger();
  EXPECT_EQ(shell.Text(kCtrlStatus), "Not Ready");

  shell.AnswerFileSelect(1, path);
  openTo->trigger();
  ASSERT_EQ(QtTestAccess::Popups(shell.ui()).size(), 1u);
  const PopupRequest& asked = QtTestAccess::Popups(shell.ui())[0];
  EXPECT_EQ(asked.kind, PopupRequest::Kind::FileSelect);
  EXPECT_EQ(asked.title, "Open To File");
  EXPECT_EQ(asked.defaultDirectory, "");
  EXPECT_EQ(asked.defaultFileSpec, "*.csv");
  EXPECT_EQ(asked.fileTypeList, "*.txt;*.*");
  // A name that does not exist is a new file: created, no append question.
  EXPECT_TRUE(zorq_test::FileExists(path));
  EXPECT_EQ(FileToOpen, 1);
  EXPECT_EQ(shell.Text(kCtrlToName), path);
  EXPECT_FALSE(openTo->isEnabled());
  EXPECT_TRUE(closeTo->isEnabled());

  openTo->trigger();
  EXPECT_EQ(QtTestAccess::Popups(shell.ui()).size(), 1u);
  closeTo->trigger();
  EXPECT_EQ(FileToOpen, 0);
  EXPECT_EQ(shell.Text(kCtrlToName), "");
  EXPECT_TRUE(openTo->isEnabled());
  EXPECT_FALSE(closeTo->isEnabled());
}

TEST(QtPopups, FileSelectionIsJudgedByWhatThePathNames) {
  QtShell shell;
  ASSERT_GT(shell.Load(), 0);
  TempDir dir;
  WriteWholeFile(dir.Path("there.csv"), "x");
  // The buffer takes 259 characters and the terminator.
  const std::string longest = dir.path() + "/" + std::string(258 - dir.path().size(), 'a');
  ASSERT_EQ(longest.size(), 259u);
  struct Case {
    const char* what;
    int answer;
    std::string path;
    int expected;
  };
  const Case cases[] = {
      {"existing file", 1, dir.Path("there.csv"), VAL_EXISTING_FILE_SELECTED},
      {"existing file answered as new", 2, dir.Path("there.csv"), VAL_EXISTING_FILE_SELECTED},
      {"new name", 1, dir.Path("new.csv"), VAL_NEW_FILE_SELECTED},
      {"longest path", 1, longest, VAL_NEW_FILE_SELECTED},
      {"cancelled", 0, dir.Path("there.csv"), VAL_NO_FILE_SELECTED},
      {"empty path", 1, "", VAL_NO_FILE_SELECTED},
      {"a folder", 1, dir.path(), VAL_NO_FILE_SELECTED},
      {"path too long", 1, longest + "b", VAL_NO_FILE_SELECTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QtTestAccess::ClearPopups(shell.ui());
    shell.AnswerFileSelect(c.answer, c.path);
    char buffer[260];
    std::memset(buffer, '#', sizeof buffer);
    buffer[259] = '\0';
    const int result =
        FileSelectPopup("", "*.csv", "*.txt;*.*", "Open From File", 0, 0, 0, 1, 0, buffer);
    EXPECT_EQ(result, c.expected);
    if (c.expected != VAL_NO_FILE_SELECTED) {
      EXPECT_EQ(std::string(buffer), c.path);
    } else {
      EXPECT_EQ(std::string(buffer), std::string(259, '#'));  // untouched
    }
  }
  // Only the path that is too long is explained to the operator.
  EXPECT_EQ(QtTestAccess::Popups(shell.ui()).size(), 2u);
  EXPECT_EQ(QtTestAccess::Popups(shell.ui()).back().kind, PopupRequest::Kind::Message);

  shell.AnswerConfirm(true);
  EXPECT_EQ(ConfirmPopup("Confirm Save File", "append?"), 1);
  shell.AnswerConfirm(false);
  EXPECT_EQ(ConfirmPopup("Confirm Save File", "append?"), 0);
  EXPECT_EQ(shell.Count(PopupRequest::Kind::Confirm, "Confirm Save File"), 2);
}

// Runs `act` on each visible dialog of type Dialog while `popup` runs, again
// at each round until the dialog closes. False when no such dialog opened.
template <typename Dialog, typename Act, typename Popup>
bool AnswerRealDialog(Act act, Popup popup) {
  bool answered = false;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<Dialog*>(top);
      if (dialog == nullptr || !dialog->isVisible())
        continue;
      answered = true;
      act(dialog);
    }
  });
  watcher.start(10);
  popup();
  return answered;
}

TEST(QtPopups, RealDialogsOfferAnyNameAndTheListedPatternsAndAnswerYesOrNo) {
  QtShell shell;
  shell.UseRealDialogs();
  ASSERT_GT(shell.LoadAndShow(), 0);
  TempDir dir;
  WriteWholeFile(dir.Path("there.csv"), "x");
  struct Case {
    const char* what;
    std::string path;  // empty: cancel
    int expected;
    std::string handedBack;
  };
  const Case cases[] = {
      {"existing file", dir.Path("there.csv"), VAL_EXISTING_FILE_SELECTED, dir.Path("there.csv")},
      {"new name typed", dir.Path("new.csv"), VAL_NEW_FILE_SELECTED, dir.Path("new.csv")},
      {"name typed without an extension", dir.Path("plain"), VAL_NEW_FILE_SELECTED,
       dir.Path("plain.csv")},
      {"cancelled", "", VAL_NO_FILE_SELECTED, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    char buffer[260] = "";
    int result = -1;
    const bool opened = AnswerRealDialog<QFileDialog>(
        [&](QFileDialog* dialog) {
          EXPECT_EQ(dialog->windowTitle(), "Open To File");
          EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
          EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
          EXPECT_EQ(dialog->nameFilters(), (QStringList{"CSV files (*.csv)", "All files (*)"}));
          if (c.path.empty()) {
            dialog->reject();
            return;
          }
          // Typed into the name field, as the operator does.
          auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
          ASSERT_NE(name, nullptr);
          name->setText(QString::fromStdString(c.path));
          QMetaObject::invokeMethod(dialog, "accept");  // as the Open button does
        },
        [&] {
          result = FileSelectPopup("", "*.csv", "*.txt;*.*", "Open To File", 0, 0, 0, 1, 0, buffer);
        });
    EXPECT_TRUE(opened);
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(std::string(buffer), c.handedBack);
  }
  for (const bool yes : {true, false}) {
    int result = -1;
    const bool opened = AnswerRealDialog<QMessageBox>(
        [&](QMessageBox* box) {
          EXPECT_EQ(box->windowTitle(), "Confirm Save File");
          box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        },
        [&] { result = ConfirmPopup("Confirm Save File", "append?"); });
    EXPECT_TRUE(opened);
    EXPECT_EQ(result, yes ? 1 : 0);
  }
}

TEST(QtConversion, GaugeDumpConvertsEndToEndOnTheRealPanel) {
  QtShell shell;
  ASSERT_GT(shell.LoadAndShow(), 0);
  TempDir dir;
  const std::string dump = zorq_test::WorkedGaugeDump();
  ASSERT_EQ(dump.size(), 161u);
  WriteWholeFile(dir.Path("gauge.txt"), dump);

  shell.AnswerFileSelect(1, dir.Path("gauge.txt"));
  shell.ui().MenuItemAction(PanelHandle, kMenuOpenFrom)->trigger();
  shell.AnswerFileSelect(1, dir.Path("gauge.csv"));
  shell.ui().MenuItemAction(PanelHandle, kMenuOpenTo)->trigger();
  EXPECT_EQ(shell.Text(kCtrlStatus), "Ready");

  auto* fromType = qobject_cast<QComboBox*>(shell.Control(kCtrlFromType));
  auto* toType = qobject_cast<QComboBox*>(shell.Control(kCtrlToType));
  fromType->setCurrentIndex(fromType->findData(3));
  emit fromType->activated(fromType->currentIndex());
  toType->setCurrentIndex(toType->findData(1));
  emit toType->activated(toType->currentIndex());
  EXPECT_FALSE(Shown(shell, kCtrlCorrection));

  QTest::mouseClick(shell.Control(kCtrlStartConvert), Qt::LeftButton);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return shell.Text(kCtrlStatus) == "Finished All"; }, kPatienceMs))
      << shell.Text(kCtrlStatus);
  EXPECT_EQ(IntOf(kCtrlStartConvert), 0);
  // The output is handed to the system when the conversion ends.
  EXPECT_EQ(ReadWholeFile(dir.Path("gauge.csv")), zorq_test::WorkedGaugeCsv());
  EXPECT_EQ(QtTestAccess::Popups(shell.ui()).size(), 2u);  // the two file selections only
}

// A dump given at start-up starts as the kind its header shows, with the To
// type that goes with it: nobody chose another yet.
TEST(QtStartUp, ADumpGivenStartsAsTheKindItsHeaderShows) {
  QtShell shell;
  zorq_test::TempDir dir;
  const std::string gauge = dir.Path("gauge.txt");
  zorq_test::WriteWholeFile(gauge, zorq_test::WorkedGaugeDump());
  ASSERT_GT(shell.LoadAndShow(), 0);
  OpenDumpGiven({gauge});
  ASSERT_EQ(FileFromOpen, 1);
  EXPECT_EQ(SelectFromType, 3);
  auto* toType = qobject_cast<QComboBox*>(shell.Control(kCtrlToType));
  ASSERT_NE(toType, nullptr);
  EXPECT_EQ(toType->currentData().toInt(), 1) << toType->currentText().toStdString();
}
