// The panel file: the real form holds the panel the program expects, the
// look-up finds it, and a missing or faulty file is refused with a message.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <string>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "runtime/qt/qt_panel_file.h"
#include "runtime/qt/qt_popups.h"
#include "runtime/ui.h"
#include "tests/qt/qt_test_access.h"
#include "tests/qt/qt_test_support.h"
#include "tests/test_support.h"

using zorq_qt_test::QtShell;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

namespace {

// A one-panel form whose layout holds `items`, bound to the shell's panelCB.
std::string Form(const std::string& items) {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><class>P</class><widget class="QWidget" name="P">
<property name="zorqCallback" stdset="0"><string>panelCB</string></property>
<layout class="QVBoxLayout" name="layout">)" +
         items + "</layout></widget></ui>\n";
}

std::string Tagged(const std::string& widgetClass, const std::string& name, int id,
                   const std::string& kind, const std::string& callback,
                   const std::string& extra = "") {
  return "<item><widget class=\"" + widgetClass + "\" name=\"" + name + "\">" +
         "<property name=\"zorqId\" stdset=\"0\"><number>" + std::to_string(id) +
         "</number></property>" + "<property name=\"zorqKind\" stdset=\"0\"><string>" + kind +
         "</string></property>" + "<property name=\"zorqCallback\" stdset=\"0\"><string>" +
         callback + "</string></property>" + extra + "</widget></item>";
}

std::string Ring(const std::string& values, int items) {
  std::string extra =
      "<property name=\"zorqValues\" stdset=\"0\"><string>" + values + "</string></property>";
  for (int i = 0; i < items; ++i) {
    extra += "<item><property name=\"text\"><string>item " + std::to_string(i) +
             "</string></property></item>";
  }
  return Tagged("QComboBox", "ring", 3, "ring", "FromSelect", extra);
}

const std::string kStatus = Tagged("QLabel", "status", 7, "text", "");

}  // namespace

TEST(QtPanelFile, HoldsEveryControlAndMenuItemTheProgramExpects) {
  QtShell shell;
  ASSERT_GT(shell.Load(), 0);
  PanelDescription loaded;
  ASSERT_TRUE(QtTestAccess::DescribeLoadedPanel(shell.ui(), PanelHandle, &loaded));
  zorq_test::ExpectSamePanel(ShellPanelDescription(), loaded);
}

TEST(QtPanelFile, BareNameIsLookedUpBesideTheProgramThenInTheDataFolder) {
  QtShell shell;
  QtTestAccess::SetPanelSearchPath(shell.ui(), {});
  std::vector<std::string> looked;
  EXPECT_EQ(FindPanelFile("ZORQConvert.uir", {}, &looked), "");

  // Beside the program first, then the data folders of an install.
  const std::vector<std::string> defaults = DefaultPanelSearchPath();
  ASSERT_GE(defaults.size(), 2u);
  EXPECT_EQ(defaults[0], QCoreApplication::applicationDirPath().toStdString());
  for (size_t i = 1; i < defaults.size(); ++i) {
    EXPECT_EQ(QDir(QString::fromStdString(defaults[i])).dirName().toStdString(), "zorqconvert");
  }
  EXPECT_EQ(QDir::cleanPath(QString::fromStdString(defaults[1])).toStdString(),
            QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/zorqconvert")
                .toStdString());

  // The tests run from the build's program folder, which holds the panel.
  TempDir empty;
  looked.clear();
  const std::string found =
      FindPanelFile("ZORQConvert.uir", {empty.path(), defaults[0], defaults[1]}, &looked);
  EXPECT_EQ(found, defaults[0] + "/ZORQConvert.uir");
  EXPECT_EQ(looked, std::vector<std::string>{empty.Path("ZORQConvert.uir")});
}

TEST(QtPanelFile, MissingFileEndsMainWithAMessageNamingItAndEveryPlaceLooked) {
  QtShell shell;
  TempDir first;
  TempDir second;
  QtTestAccess::SetPanelSearchPath(shell.ui(), {first.path(), second.path()});
  char* argv[] = {nullptr};
  testing::internal::CaptureStderr();
  const int result = ZorqMain(0, argv);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(result, 0);
  EXPECT_LT(PanelHandle, 0);
  EXPECT_NE(err.find("ZORQConvert.uir"), std::string::npos) << err;
  EXPECT_NE(err.find(first.Path("ZORQConvert.uir")), std::string::npos) << err;
  EXPECT_NE(err.find(second.Path("ZORQConvert.uir")), std::string::npos) << err;
}

TEST(QtPanelFile, FaultyFileIsRefusedWithAMessageSayingWhy) {
  struct Case {
    const char* what;
    std::string contents;
    const char* says;
  };
  const Case cases[] = {
      {"not a form", "this is not XML\n", "holds no panel form"},
      {"unknown callback",
       Form(kStatus + Tagged("QCheckBox", "sw", 18, "switch", "NoSuchCB",
                             "<property name=\"checkable\"><bool>true</bool>"
                             "</property>")),
       "NoSuchCB"},
      {"unknown kind", Form(Tagged("QSlider", "slider", 5, "slider", "")), "zorqKind"},
      {"kind that does not fit the widget", Form(Tagged("QLabel", "label", 3, "ring", "")),
       "QLabel"},
      {"button that cannot stay pressed", Form(Tagged("QPushButton", "go", 4, "toggle", "")),
       "toggle"},
      {"identifier used twice", Form(kStatus + Tagged("QLabel", "other", 7, "text", "")),
       "identifier 7"},
      {"identifier not a number",
       Form(R"(<item><widget class="QLabel" name="bad"><property name="zorqId" stdset="0">)"
            R"(<string>seven</string></property></widget></item>)"),
       "not a positive number"},
      {"fewer ring values than items", Form(Ring("1,2", 3)), "3 items but 2 values"},
      {"ring value not a number", Form(Ring("1,two,3", 3)), "two"},
      {"ring value listed twice", Form(Ring("1,2,2", 3)), "listed twice"},
      {"timer without interval", Form(Tagged("QWidget", "tick", 19, "timer", "ConvertTimer")),
       "zorqInterval"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QtShell shell;
    TempDir folder;
    WriteWholeFile(folder.Path("ZORQConvert.uir"), c.contents);
    QtTestAccess::SetPanelSearchPath(shell.ui(), {folder.path()});
    testing::internal::CaptureStderr();
    const int panel = shell.Load();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_LT(panel, 0);
    EXPECT_NE(err.find(folder.Path("ZORQConvert.uir")), std::string::npos) << err;
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
  }
}

TEST(QtPanelFile, SmallestSoundFormLoadsAndBindsItsCallbacks) {
  QtShell shell;
  TempDir folder;
  WriteWholeFile(folder.Path("ZORQConvert.uir"),
                 Form(kStatus + Ring(" 1, 2 ,3", 3) +
                      Tagged("QWidget", "tick", 19, "timer", "ConvertTimer",
                             "<property name=\"zorqInterval\" stdset=\"0\"><number>50</number>"
                             "</property>")));
  QtTestAccess::SetPanelSearchPath(shell.ui(), {folder.path()});
  ASSERT_GT(shell.Load(), 0);
  int value = 0;
  EXPECT_EQ(SetCtrlVal(PanelHandle, kCtrlFromType, 2), 0);
  EXPECT_EQ(GetCtrlVal(PanelHandle, kCtrlFromType, &value), 0);
  EXPECT_EQ(value, 2);
  // No menu bar in this form.
  EXPECT_LT(GetPanelMenuBar(PanelHandle), 0);
}

TEST(QtPopups, FileDialogOffersTheDefaultSpecThenEachListedPattern) {
  struct Case {
    const char* pattern;
    const char* list;
    QStringList filters;
  };
  const Case cases[] = {
      {"*.csv", "*.txt;*.*", {"*.csv", "*.txt", "All files (*)"}},
      {"*.txt", "*.txt;*.*", {"*.txt", "All files (*)"}},
      {"*.csv", " *.dat ; ;*", {"*.csv", "*.dat", "All files (*)"}},
      {"", "", {"All files (*)"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileDialogFilters(c.pattern, c.list), c.filters) << c.pattern << " | " << c.list;
  }
}
