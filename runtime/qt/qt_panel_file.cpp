#include "runtime/qt/qt_panel_file.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUiLoader>
#include <QWidget>
#include <set>

#include "runtime/qt/qt_controls.h"

#if !defined(ZORQ_DATA_DIR) || !defined(ZORQ_DATA_DIR_FROM_BIN)
#error "ZORQ_DATA_DIR and ZORQ_DATA_DIR_FROM_BIN must name the installed data folder"
#endif

namespace {

constexpr char kIdProperty[] = "zorqId";
constexpr char kKindProperty[] = "zorqKind";
constexpr char kCallbackProperty[] = "zorqCallback";
constexpr char kValuesProperty[] = "zorqValues";
constexpr char kVisibleProperty[] = "zorqVisible";
constexpr char kIntervalProperty[] = "zorqInterval";

constexpr ControlKind kAllKinds[] = {ControlKind::Ring,         ControlKind::ToggleButton,
                                     ControlKind::TextDisplay,  ControlKind::Numeric,
                                     ControlKind::BinarySwitch, ControlKind::Timer,
                                     ControlKind::CommandButton};

bool KindFromName(const QString& name, ControlKind* kind) {
  for (ControlKind candidate : kAllKinds) {
    if (name == QLatin1String(ControlKindName(candidate))) {
      *kind = candidate;
      return true;
    }
  }
  return false;
}

std::string CallbackOf(const QObject* object) {
  return object->property(kCallbackProperty).toString().toStdString();
}

std::string Describe(const QObject* object) {
  return "\"" + object->objectName().toStdString() + "\"";
}

// The identifier an object is tagged with: 0 when untagged, -1 when the tag
// is not a positive integer (`error` then names the object as `what`).
int IdOf(const QObject* object, const char* what, std::string* error) {
  const QVariant tag = object->property(kIdProperty);
  if (!tag.isValid())
    return 0;
  bool ok = false;
  const int id = tag.toInt(&ok);
  if (ok && id > 0)
    return id;
  *error = std::string(what) + " " + Describe(object) +
           " has an identifier that is not a positive number";
  return -1;
}

// A ring's zorqValues: a string list, or one string of comma-separated values.
bool RingValues(const QComboBox* ring, std::vector<int>* values, std::string* error) {
  const QVariant tag = ring->property(kValuesProperty);
  const QStringList texts = tag.typeId() == QMetaType::QStringList
                                ? tag.toStringList()
                                : tag.toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
  if (texts.size() != ring->count()) {
    *error = "ring " + Describe(ring) + " has " + std::to_string(ring->count()) + " items but " +
             std::to_string(texts.size()) + " values in " + kValuesProperty;
    return false;
  }
  std::set<int> seen;
  for (const QString& text : texts) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || !seen.insert(value).second) {
      *error = "ring " + Describe(ring) + " has the value \"" + text.toStdString() +
               "\", which is not a whole number or is listed twice";
      return false;
    }
    values->push_back(value);
  }
  return true;
}

bool PrepareRing(QComboBox* ring, std::string* error) {
  std::vector<int> values;
  if (!RingValues(ring, &values, error))
    return false;
  for (int index = 0; index < ring->count(); ++index)
    ring->setItemData(index, values[static_cast<size_t>(index)]);
  return true;
}

bool PrepareTimer(QWidget* timer, std::string* error) {
  bool ok = false;
  const int interval = timer->property(kIntervalProperty).toInt(&ok);
  if (!ok || interval <= 0) {
    *error =
        "timer " + Describe(timer) + " needs a positive " + kIntervalProperty + " in milliseconds";
    return false;
  }
  timer->hide();
  return true;
}

bool PrepareControl(QWidget* widget, int id, PanelWidgets* widgets, std::string* error) {
  ControlKind kind = ControlKind::TextDisplay;
  if (!KindFromName(widget->property(kKindProperty).toString(), &kind)) {
    *error = "control " + Describe(widget) + " has no known " + kKindProperty +
             " (ring, toggle, text, numeric, switch or timer)";
    return false;
  }
  if (!WidgetFitsKind(widget, kind)) {
    *error = "control " + Describe(widget) + " cannot be a " + ControlKindName(kind) +
             " control; it is a " + widget->metaObject()->className();
    return false;
  }
  if (widgets->controls.count(id) != 0) {
    *error = "control " + Describe(widget) + " has the identifier " + std::to_string(id) +
             ", which another control already has";
    return false;
  }
  if (kind == ControlKind::Ring && !PrepareRing(qobject_cast<QComboBox*>(widget), error))
    return false;
  if (kind == ControlKind::Timer && !PrepareTimer(widget, error))
    return false;
  const QVariant visible = widget->property(kVisibleProperty);
  if (visible.isValid() && !visible.toBool())
    ShowControl(widget, false);
  widgets->controls[id] = widget;
  widgets->kinds[id] = kind;
  return true;
}

bool PrepareMenuItem(QAction* action, int id, PanelWidgets* widgets, std::string* error) {
  if (widgets->menuItems.count(id) != 0) {
    *error = "menu item " + Describe(action) + " has the identifier " + std::to_string(id) +
             ", which another menu item already has";
    return false;
  }
  widgets->menuItems[id] = action;
  return true;
}

ControlDescription DescribeControl(int id, ControlKind kind, const QWidget* widget) {
  ControlDescription control;
  control.id = id;
  control.kind = kind;
  control.callback = CallbackOf(widget);
  control.label = ControlLabel(widget);
  control.visible = !widget->isHidden();
  ReadControlInt(widget, kind, &control.intValue);
  ReadControlDouble(widget, kind, &control.doubleValue);
  ReadControlText(widget, kind, &control.text);
  if (const auto* ring = qobject_cast<const QComboBox*>(widget)) {
    for (int index = 0; index < ring->count(); ++index) {
      control.items.push_back(
          RingItem{ring->itemText(index).toStdString(), ring->itemData(index).toInt()});
    }
  }
  if (kind == ControlKind::Timer)
    control.interval = TimerIntervalMs(widget) / 1000.0;
  return control;
}

}  // namespace

std::vector<std::string> DefaultPanelSearchPath() {
  const QString programFolder = QCoreApplication::applicationDirPath();
  const QString besideInstall =
      QDir::cleanPath(QDir(programFolder).filePath(QStringLiteral(ZORQ_DATA_DIR_FROM_BIN)));
  std::vector<std::string> folders = {programFolder.toStdString(), besideInstall.toStdString()};
  if (besideInstall != QDir::cleanPath(QStringLiteral(ZORQ_DATA_DIR)))
    folders.push_back(ZORQ_DATA_DIR);
  return folders;
}

std::string FindPanelFile(const std::string& fileName, const std::vector<std::string>& folders,
                          std::vector<std::string>* looked) {
  const QString name = QString::fromStdString(fileName);
  QStringList candidates;
  if (name.contains(QLatin1Char('/'))) {
    candidates << name;
  } else {
    for (const std::string& folder : folders)
      candidates << QDir(QString::fromStdString(folder)).filePath(name);
  }
  for (const QString& candidate : candidates) {
    if (QFileInfo(candidate).isFile())
      return candidate.toStdString();
    looked->push_back(candidate.toStdString());
  }
  return std::string();
}

std::unique_ptr<QWidget> LoadPanelWindow(const std::string& path, std::string* error) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    *error = "it cannot be read (" + file.errorString().toStdString() + ")";
    return nullptr;
  }
  QUiLoader loader;
  std::unique_ptr<QWidget> window(loader.load(&file));
  if (window == nullptr) {
    const std::string why = loader.errorString().toStdString();
    *error = "it holds no panel form" + (why.empty() ? std::string() : " (" + why + ")");
  }
  return window;
}

bool PreparePanelWidgets(QWidget* window, PanelWidgets* widgets, std::string* error) {
  PanelWidgets result;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    const int id = IdOf(widget, "control", error);
    if (id < 0 || (id > 0 && !PrepareControl(widget, id, &result, error)))
      return false;
  }
  for (QAction* action : window->findChildren<QAction*>()) {
    const int id = IdOf(action, "menu item", error);
    if (id < 0 || (id > 0 && !PrepareMenuItem(action, id, &result, error)))
      return false;
  }
  *widgets = std::move(result);
  return true;
}

PanelDescription DescribePanel(const QWidget* window, const PanelWidgets& widgets) {
  PanelDescription panel;
  panel.title = window->windowTitle().toStdString();
  panel.callback = CallbackOf(window);
  for (const auto& [id, widget] : widgets.controls)
    panel.controls.push_back(DescribeControl(id, widgets.kinds.at(id), widget));
  for (const auto& [id, action] : widgets.menuItems) {
    panel.menuItems.push_back(MenuItemDescription{id, TextWithoutMnemonics(action->text()),
                                                  CallbackOf(action), !action->isEnabled()});
  }
  return panel;
}

int TimerIntervalMs(const QWidget* timer) {
  return timer->property(kIntervalProperty).toInt();
}
