// One description of the panel: the panel file the desktop program loads
// holds the controls and menu items the shell's panel description and the
// identifiers of panel_ids.h say, read without Qt; the reader refuses what
// the Qt backend would; and the headless backend keeps doubles that do not
// fit an int inside its range, as the Qt backend does.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <set>
#include <string>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "runtime/ui.h"
#include "tests/test_support.h"
#include "tests/uir_reader.h"

using zorq_test::PanelFromForm;
using zorq_test::ParseXml;

namespace {

const std::string kSourceDir = ZORQ_SOURCE_DIR;

PanelDescription PanelOfTheFile() {
  const std::string text = zorq_test::ReadWholeFile(kSourceDir + "/ui/ZORQConvert.uir");
  EXPECT_FALSE(text.empty());
  pugi::xml_document form;
  std::string error;
  EXPECT_TRUE(ParseXml(text, &form, &error)) << error;
  PanelDescription panel;
  EXPECT_TRUE(PanelFromForm(form, &panel, &error)) << error;
  return panel;
}

// The identifiers panel_ids.h defines, by the prefix of their names.
std::set<int> IdentifiersInPanelIds(const std::string& prefix) {
  const std::string header = zorq_test::ReadWholeFile(kSourceDir + "/app/panel_ids.h");
  const std::regex definition("inline constexpr int " + prefix + "[A-Za-z]+ = ([0-9]+);");
  std::set<int> ids;
  for (auto it = std::sregex_iterator(header.begin(), header.end(), definition);
       it != std::sregex_iterator(); ++it) {
    ids.insert(std::stoi((*it)[1].str()));
  }
  return ids;
}

}  // namespace

TEST(PanelFile, HoldsThePanelTheShellDescribes) {
  zorq_test::ExpectSamePanel(ShellPanelDescription(), PanelOfTheFile());
}

TEST(PanelFile, HoldsEveryIdentifierOfPanelIdsAndNoOther) {
  const PanelDescription panel = PanelOfTheFile();
  std::set<int> controls;
  for (const ControlDescription& control : panel.controls)
    controls.insert(control.id);
  std::set<int> menuItems;
  for (const MenuItemDescription& item : panel.menuItems)
    menuItems.insert(item.id);
  const std::set<int> ctrlIds = IdentifiersInPanelIds("kCtrl");
  const std::set<int> menuIds = IdentifiersInPanelIds("kMenu");
  EXPECT_EQ(ctrlIds.size(), 13u) << "panel_ids.h read wrongly";
  EXPECT_EQ(controls, ctrlIds);
  EXPECT_EQ(menuItems, menuIds);
  // The names the program uses stand for those numbers.
  EXPECT_TRUE(ctrlIds.count(kCtrlStatus) && ctrlIds.count(kCtrlTimer));
  EXPECT_TRUE(menuIds.count(kMenuOpenFrom) && menuIds.count(kMenuExit));
}

// The text and attributes a form's properties are read from: references
// resolved, CDATA kept, comments left out; and a file that is not one
// well-formed form is refused with the byte it failed at.
TEST(PanelFileReader, ReadsTheXmlAFormUses) {
  const std::string form =
      "<?xml version=\"1.0\"?>\n<!-- a form -->\n"
      "<ui><widget class=\"QMainWindow\">\n"
      " <property name=\"windowTitle\"><string>x &amp; &lt;y&gt;&#65;&#x3B1;&quot;</string>"
      "</property>\n"
      " <property name=\"zorqCallback\"><string><![CDATA[<raw> & ]]><!-- not text -->"
      "end</string></property>\n"
      "</widget></ui>\n";
  pugi::xml_document root;
  std::string error;
  ASSERT_TRUE(ParseXml(form, &root, &error)) << error;
  PanelDescription panel;
  ASSERT_TRUE(PanelFromForm(root, &panel, &error)) << error;
  EXPECT_EQ(panel.title, "x & <y>A\xCE\xB1\"");
  EXPECT_EQ(panel.callback, "<raw> & end");

  for (const char* faulty : {
           "",
           "<ui>",
           "<ui></u>",
           "<ui><a></ui>",
           "<ui a=1/>",
           "<ui/><ui/>",
           "<ui><!-- open</ui>",
           "<ui><![CDATA[ open</ui>",
       }) {
    SCOPED_TRACE(faulty);
    EXPECT_FALSE(ParseXml(faulty, &root, &error));
    EXPECT_NE(error.find("at byte"), std::string::npos) << error;
  }
}

TEST(PanelFileReader, RefusesFormsTheQtBackendRefuses) {
  const std::string text = zorq_test::ReadWholeFile(kSourceDir + "/ui/ZORQConvert.uir");
  const struct {
    const char* fault;
    std::string from;
    std::string to;
  } cases[] = {
      {"an unknown kind", "<string>ring</string>", "<string>wheel</string>"},
      {"a ring value short", "<string>3</string>\n          </stringlist>", "</stringlist>"},
      {"a ring value twice", "<string>3</string>\n          </stringlist>",
       "<string>2</string></stringlist>"},
      {"a control id twice", "<number>18</number>", "<number>17</number>"},
      {"an id that is no number", "<number>18</number>", "<number>x</number>"},
      {"a timer without its interval", "<number>100</number>", "<number>0</number>"},
      {"a text display that is a button", "class=\"QLabel\" name=\"status\"",
       "class=\"QPushButton\" name=\"status\""},
      {"a toggle that cannot stay down",
       "<bool>true</bool>\n        </property>\n        <property "
       "name=\"checked\">",
       "<bool>false</bool>\n        </property>\n        <property name=\"checked\">"},
      {"a menu item id twice",
       "<number>9</number>\n   </property>\n   <property "
       "name=\"zorqCallback\" stdset=\"0\">\n    <string>Exit",
       "<number>7</number>\n   </property>\n   <property name=\"zorqCallback\" stdset=\"0\">\n  "
       "  <string>Exit"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    const size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << "the panel file changed: mend the case";
    std::string faulty = text;
    faulty.replace(at, c.from.size(), c.to);
    pugi::xml_document form;
    std::string error;
    ASSERT_TRUE(ParseXml(faulty, &form, &error)) << error;
    PanelDescription panel;
    EXPECT_FALSE(PanelFromForm(form, &panel, &error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(HeadlessBackend, DoublesBeyondTheIntRangeAreHeldAtItsEnds) {
  zorq_test::HeadlessShell shell;
  constexpr int kMax = std::numeric_limits<int>::max();
  constexpr int kMin = std::numeric_limits<int>::min();
  const struct {
    double value;
    int asInt;
  } cases[] = {
      {2.9, 2},         {-2.9, -2},           {1e300, kMax},
      {-1e300, kMin},   {2147483648.0, kMax}, {-2147483649.0, kMin},
      {HUGE_VAL, kMax}, {-HUGE_VAL, kMin},    {std::nan(""), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    // A numeric read as an int, and a double written to a toggle.
    ASSERT_EQ(SetCtrlVal(PanelHandle, kCtrlGainM, c.value), 0);
    int read = -7;
    ASSERT_EQ(GetCtrlVal(PanelHandle, kCtrlGainM, &read), 0);
    EXPECT_EQ(read, c.asInt);
    ASSERT_EQ(SetCtrlVal(PanelHandle, kCtrlStartConvert, c.value), 0);
    read = -7;
    ASSERT_EQ(GetCtrlVal(PanelHandle, kCtrlStartConvert, &read), 0);
    EXPECT_EQ(read, c.asInt);
  }
}
