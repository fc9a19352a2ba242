// Finding and loading the panel file (a Qt Designer form), checking the
// controls and menu items it tags with identifiers, and reading back what
// the loaded panel holds.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/panel_description.h"

class QAction;
class QWidget;

// Where a bare panel file name is looked up, in order: the executable's own
// folder, the data folder of an install that holds the executable, then the
// data folder of the configured install.
std::vector<std::string> DefaultPanelSearchPath();

// The path of `fileName` in the first of `folders` that holds it. A name with
// a folder part is taken as it is. Empty when there is no such file;
// `looked` then lists every path tried.
std::string FindPanelFile(const std::string& fileName, const std::vector<std::string>& folders,
                          std::vector<std::string>* looked);

// The tagged widgets of one loaded panel, by identifier.
struct PanelWidgets {
  std::map<int, QWidget*> controls;
  std::map<int, ControlKind> kinds;
  std::map<int, QAction*> menuItems;
};

// Builds the panel's window from the form at `path`; null, with `error`
// set, when the file cannot be read or holds no form.
std::unique_ptr<QWidget> LoadPanelWindow(const std::string& path, std::string* error);

// Collects and checks the tagged controls and menu items (known kind that
// fits the widget, unique identifiers, one integer value per ring item, a
// positive timer interval), stores each ring item's value in its item data,
// hides timers and the controls that start hidden.
bool PreparePanelWidgets(QWidget* window, PanelWidgets* widgets, std::string* error);

// What the prepared panel holds now: identifiers, kinds, callback names,
// values, visibility and dimmed state.
PanelDescription DescribePanel(const QWidget* window, const PanelWidgets& widgets);

// Milliseconds between ticks of a prepared timer control.
int TimerIntervalMs(const QWidget* timer);
