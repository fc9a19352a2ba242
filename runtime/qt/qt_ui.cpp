#include "runtime/qt/qt_ui.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <utility>

#include "runtime/panel_binding.h"
#include "runtime/qt/qt_controls.h"
#include "runtime/qt/qt_panel_file.h"
#include "runtime/qt/qt_popups.h"

// The icon resource lives in this static library: naming it here keeps the
// linker from dropping it; it is registered once however often Init runs.
// Q_INIT_RESOURCE may not be used inside a namespace.
static void LinkIconResource() {
  static bool registered = false;
  if (!registered) {
    Q_INIT_RESOURCE(zorq_icons);
    registered = true;
  }
}

namespace {

constexpr int kMenuBarOffset = 1000;
constexpr char kPathTooLongTitle[] = "File Select";
constexpr char kStopAndQuitTitle[] = "Converting";
constexpr char kStopAndQuitText[] =
    "Stop the conversion and quit?\n\nThe To file is put back as it was before the conversion.";
constexpr char kStopAndQuitButton[] = "Stop and quit";
constexpr char kKeepConvertingButton[] = "Keep converting";
constexpr char kPathTooLongText[] =
    "The path of the chosen file is longer than 259 characters. Choose a file in a folder with a "
    "shorter path.";

// Hands the window's close box to the panel callback. The window itself stays
// open: the program ends the loop and discards the panel when it means to.
class CloseBoxFilter : public QObject {
 public:
  CloseBoxFilter(QObject* parent, std::function<void()> onClose)
      : QObject(parent), onClose_(std::move(onClose)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Close)
      return QObject::eventFilter(watched, event);
    event->ignore();
    onClose_();
    return true;
  }

 private:
  std::function<void()> onClose_;
};

bool ArgumentsNamePlatform(char* argv[]) {
  for (char** arg = argv; arg != nullptr && *arg != nullptr; ++arg) {
    if (std::strcmp(*arg, "-platform") == 0 || std::strcmp(*arg, "--platform") == 0)
      return true;
  }
  return false;
}

// Qt aborts the process when its platform has no display to connect to;
// saying so and failing the start is kinder.
bool DisplayReachable(char* argv[]) {
#ifdef __linux__
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY") ||
         ArgumentsNamePlatform(argv);
#else
  (void)argv;
  return true;
#endif
}

// The installed icon theme's "zorqconvert" icon, else the copy built into the
// program, so that an uninstalled build shows it too. The desktop file name
// lets a Wayland shell match the window to the desktop entry.
void SetApplicationIcon() {
  LinkIconResource();
  const QIcon builtIn(QStringLiteral(":/zorqconvert/zorqconvert-48.png"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("zorqconvert"), builtIn));
  QGuiApplication::setDesktopFileName(QStringLiteral(ZORQ_APP_ID));
}

bool ApplicationReady() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// The value stored under `key`, or null when there is none.
template <typename Map>
typename Map::mapped_type ValueOrNull(const Map& map, int key) {
  const auto found = map.find(key);
  return found == map.end() ? nullptr : found->second;
}

std::string OrEmpty(const char* text) {
  return text == nullptr ? "" : text;
}

PopupRequest Request(PopupRequest::Kind kind, const char* title, const char* message = nullptr) {
  PopupRequest request;
  request.kind = kind;
  request.title = OrEmpty(title);
  request.message = OrEmpty(message);
  return request;
}

std::string JoinPaths(const std::vector<std::string>& paths) {
  std::string joined;
  for (const std::string& path : paths) {
    if (!joined.empty())
      joined += ", ";
    joined += path;
  }
  return joined;
}

struct LoadedPanel {
  std::unique_ptr<QWidget> window;
  PanelWidgets widgets;
  PanelBindings bindings;
  std::vector<QTimer*> timers;  // children of the window
};

}  // namespace

struct QtUi::Impl {
  // The application keeps references to argc and argv, so both outlive it.
  int argc = 0;
  std::vector<char*> argv;
  std::unique_ptr<QApplication> ownApplication;  // null when one existed already

  bool searchPathSet = false;
  std::vector<std::string> searchPath;
  PopupResponder responder;
  std::vector<PopupRequest> popups;
  std::map<int, std::unique_ptr<LoadedPanel>> panels;
  // Windows discarded from inside a callback, deleted once control is back
  // in the event loop (or with the backend).
  std::vector<QPointer<QWidget>> discarded;
  int nextPanel = 1;
  int callbacksRunning = 0;
  QEventLoop* loop = nullptr;
  // While a long task runs, the panels take no operator action; timer ticks
  // still arrive (the shell keeps them from starting a second dispatch).
  bool taskRunning = false;
  // The close box met a task: the panel closes once it has ended.
  bool closeAfterTask = false;
  int closePanel = 0;
  std::function<void()> stopBusyTask;
  std::vector<QWidget*> disabledWhileBusy;
  // A dropped file's path, answering the next file selection.
  bool dropPending = false;
  std::string droppedPath;
  FileDialogMemory dialogMemory;

  ~Impl() {
    panels.clear();
    for (QPointer<QWidget>& window : discarded)
      delete window.data();
  }

  void KeepArguments(char* given[]) {
    static char programName[] = "zorqconvert";
    for (char** arg = given; arg != nullptr && *arg != nullptr; ++arg)
      argv.push_back(*arg);
    if (argv.empty())
      argv.push_back(programName);
    argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
  }

  LoadedPanel* Find(int panel) const {
    const auto found = panels.find(panel);
    return found == panels.end() ? nullptr : found->second.get();
  }

  // Hands a control's widget and kind, with `args`, to `apply`: 0 when it
  // succeeds, UIE_BAD_CONTROL when it fails or there is no such control,
  // UIE_BAD_HANDLE when there is no such panel.
  template <typename Apply, typename... Args>
  int ApplyToControl(int panel, int control, Apply apply, Args... args) const {
    const LoadedPanel* loaded = Find(panel);
    if (loaded == nullptr)
      return UIE_BAD_HANDLE;
    QWidget* widget = ValueOrNull(loaded->widgets.controls, control);
    if (widget == nullptr)
      return UIE_BAD_CONTROL;
    return apply(widget, loaded->widgets.kinds.at(control), args...) ? 0 : UIE_BAD_CONTROL;
  }

  // Records a popup as asked for.
  PopupRequest Record(PopupRequest request) {
    popups.push_back(request);
    return request;
  }

  // Counts the callbacks on the stack, so that a panel discarded by one of
  // its own callbacks is not deleted under it.
  template <typename Call>
  void RunCallback(Call call) {
    ++callbacksRunning;
    call();
    --callbacksRunning;
  }

  void DeliverControlEvent(int panel, int control, int event) {
    if (taskRunning && event != EVENT_TIMER_TICK)
      return;
    const LoadedPanel* loaded = Find(panel);
    if (loaded == nullptr)
      return;
    if (const CtrlCallbackFn callback = ValueOrNull(loaded->bindings.controls, control))
      RunCallback([&] { callback(panel, control, event, nullptr, 0, 0); });
  }

  void DeliverClose(int panel) {
    if (taskRunning) {
      AskToStopAndQuit(panel);
      return;
    }
    const LoadedPanel* loaded = Find(panel);
    if (loaded == nullptr || loaded->bindings.panel == nullptr)
      return;
    const PanelCallbackFn callback = loaded->bindings.panel;
    RunCallback([&] { callback(panel, EVENT_CLOSE, nullptr, 0, 0); });
  }

  // The close box while a conversion runs: asked, the conversion is
  // cancelled (its To file put back) and the close goes through once it
  // has ended.
  void AskToStopAndQuit(int panel) {
    if (closeAfterTask || !stopBusyTask)
      return;
    const PopupRequest request =
        Record(Request(PopupRequest::Kind::Confirm, kStopAndQuitTitle, kStopAndQuitText));
    const bool yes =
        responder ? responder(request).result != 0
                  : AskWithButtons(DialogParent(), request, QString::fromUtf8(kStopAndQuitButton),
                                   QString::fromUtf8(kKeepConvertingButton));
    if (!yes || !taskRunning)
      return;
    closeAfterTask = true;
    closePanel = panel;
    stopBusyTask();
  }

  void DeliverMenuItem(int panel, int item) {
    if (taskRunning)
      return;
    const LoadedPanel* loaded = Find(panel);
    if (loaded == nullptr)
      return;
    if (const MenuCallbackFn callback = ValueOrNull(loaded->bindings.menuItems, item))
      RunCallback([&] { callback(panel + kMenuBarOffset, item, nullptr, panel); });
  }

  void ConnectControl(int panel, int id, ControlKind kind, QWidget* widget) {
    auto deliver = [this, panel, id](int event) { DeliverControlEvent(panel, id, event); };
    auto commit = [deliver] { deliver(EVENT_COMMIT); };
    switch (kind) {
      case ControlKind::Ring:
        // Only a choice the operator makes: a value the program sets is no event.
        QObject::connect(qobject_cast<QComboBox*>(widget), &QComboBox::activated, widget, commit);
        break;
      case ControlKind::ToggleButton:
      case ControlKind::BinarySwitch:
      case ControlKind::CommandButton:
        QObject::connect(qobject_cast<QAbstractButton*>(widget), &QAbstractButton::clicked, widget,
                         commit);
        break;
      case ControlKind::Numeric:
        QObject::connect(qobject_cast<QDoubleSpinBox*>(widget), &QDoubleSpinBox::editingFinished,
                         widget, commit);
        break;
      case ControlKind::TextDisplay:
      case ControlKind::Timer:
        break;
    }
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(widget, &QWidget::customContextMenuRequested, widget,
                     [deliver] { deliver(EVENT_RIGHT_CLICK); });
  }

  void StartTimer(int panel, int id, QWidget* placeholder, LoadedPanel* loaded) {
    auto* timer = new QTimer(loaded->window.get());
    timer->setInterval(TimerIntervalMs(placeholder));
    QObject::connect(timer, &QTimer::timeout, timer,
                     [this, panel, id] { DeliverControlEvent(panel, id, EVENT_TIMER_TICK); });
    timer->start();
    loaded->timers.push_back(timer);
  }

  // Selects a menu item with the next file selection answered by `path`.
  void SelectMenuItemWithFile(int panel, int item, const std::string& path) {
    const LoadedPanel* loaded = Find(panel);
    if (loaded == nullptr)
      return;
    const QAction* action = ValueOrNull(loaded->widgets.menuItems, item);
    if (action == nullptr || !action->isEnabled())
      return;
    droppedPath = path;
    dropPending = true;
    DeliverMenuItem(panel, item);
    dropPending = false;
  }

  void Connect(int panel, LoadedPanel* loaded) {
    QWidget* window = loaded->window.get();
    window->installEventFilter(new CloseBoxFilter(window, [this, panel] { DeliverClose(panel); }));
    for (const auto& [id, widget] : loaded->widgets.controls) {
      if (loaded->bindings.controls.count(id) == 0)
        continue;
      const ControlKind kind = loaded->widgets.kinds.at(id);
      if (kind == ControlKind::Timer) {
        StartTimer(panel, id, widget, loaded);
      } else {
        ConnectControl(panel, id, kind, widget);
      }
    }
    for (const auto& [id, action] : loaded->widgets.menuItems) {
      QObject::connect(action, &QAction::triggered, window,
                       [this, panel, id] { DeliverMenuItem(panel, id); });
    }
  }

  QWidget* DialogParent() const {
    if (QWidget* modal = QApplication::activeModalWidget())
      return modal;
    if (QWidget* active = QApplication::activeWindow())
      return active;
    for (const auto& [handle, loaded] : panels) {
      if (loaded->window->isVisible())
        return loaded->window.get();
    }
    return nullptr;
  }

  // The path the operator (or the responder) chose; false when cancelled.
  bool AskForPath(const PopupRequest& request, std::string* path) {
    Record(request);
    if (dropPending) {
      dropPending = false;
      *path = droppedPath;
      return true;
    }
    if (!responder)
      return AskForFilePath(DialogParent(), PlanFileDialog(request, dialogMemory), path);
    const PopupAnswer answer = responder(request);
    if (answer.result == VAL_NO_FILE_SELECTED)
      return false;
    *path = answer.path;
    return true;
  }
};

QtUi::QtUi() : impl_(std::make_unique<Impl>()) {}
QtUi::~QtUi() = default;

void QtUi::SetPanelSearchPath(std::vector<std::string> folders) {
  impl_->searchPath = std::move(folders);
  impl_->searchPathSet = true;
}

const std::vector<std::string>& QtUi::PanelSearchPath() const {
  // The executable's folder is known only once the application exists.
  if (!impl_->searchPathSet)
    impl_->searchPath = DefaultPanelSearchPath();
  return impl_->searchPath;
}

void QtUi::SetPopupResponder(PopupResponder responder) {
  impl_->responder = std::move(responder);
}
const std::vector<PopupRequest>& QtUi::Popups() const {
  return impl_->popups;
}
void QtUi::ClearPopups() {
  impl_->popups.clear();
}

bool QtUi::DescribeLoadedPanel(int panel, PanelDescription* description) const {
  const LoadedPanel* loaded = impl_->Find(panel);
  if (loaded == nullptr)
    return false;
  *description = DescribePanel(loaded->window.get(), loaded->widgets);
  return true;
}

QWidget* QtUi::PanelWindow(int panel) const {
  const LoadedPanel* loaded = impl_->Find(panel);
  return loaded == nullptr ? nullptr : loaded->window.get();
}

QWidget* QtUi::ControlWidget(int panel, int control) const {
  const LoadedPanel* loaded = impl_->Find(panel);
  return loaded == nullptr ? nullptr : ValueOrNull(loaded->widgets.controls, control);
}

QAction* QtUi::MenuItemAction(int panel, int item) const {
  const LoadedPanel* loaded = impl_->Find(panel);
  return loaded == nullptr ? nullptr : ValueOrNull(loaded->widgets.menuItems, item);
}

bool QtUi::Running() const {
  return impl_->loop != nullptr;
}

bool QtUi::Busy() const {
  return impl_->taskRunning;
}

void QtUi::SetBusy(bool busy) {
  if (busy == impl_->taskRunning)
    return;
  impl_->taskRunning = busy;
  if (busy) {
    for (const auto& [handle, loaded] : impl_->panels) {
      if (loaded->window->isEnabled()) {
        loaded->window->setEnabled(false);
        impl_->disabledWhileBusy.push_back(loaded->window.get());
      }
    }
    return;
  }
  // A window discarded meanwhile is no longer among the panels.
  for (QWidget* window : impl_->disabledWhileBusy) {
    for (const auto& [handle, loaded] : impl_->panels) {
      if (loaded->window.get() == window)
        window->setEnabled(true);
    }
  }
  impl_->disabledWhileBusy.clear();
  if (std::exchange(impl_->closeAfterTask, false)) {
    // Once the callback that ran the task has shown its outcome.
    const int panel = impl_->closePanel;
    if (QWidget* window = PanelWindow(panel))
      QTimer::singleShot(0, window, [this, panel] { impl_->DeliverClose(panel); });
  }
}

void QtUi::SetStopBusyTask(std::function<void()> stop) {
  impl_->stopBusyTask = std::move(stop);
}

void QtUi::AskToStopAndQuit() {
  for (const auto& [handle, loaded] : impl_->panels) {
    if (loaded->window->isVisible()) {
      impl_->AskToStopAndQuit(handle);
      return;
    }
  }
}

QWidget* QtUi::DialogParent() const {
  return impl_->DialogParent();
}

void QtUi::SelectMenuItemWithFile(int panel, int item, const std::string& path) {
  impl_->SelectMenuItemWithFile(panel, item, path);
}

void QtUi::RememberFromFile(const std::string& path) {
  RememberChosenFile(Request(PopupRequest::Kind::FileSelect, "Open From File"), path,
                     &impl_->dialogMemory);
}

const FileDialogMemory& QtUi::DialogMemory() const {
  return impl_->dialogMemory;
}

int QtUi::Init(char* argv[]) {
  if (QCoreApplication::instance() == nullptr) {
    if (!DisplayReachable(argv)) {
      std::fprintf(stderr,
                   "ZORQConvert: there is no display to show the panel on (DISPLAY and "
                   "WAYLAND_DISPLAY are not set).\n");
      return 0;
    }
    impl_->KeepArguments(argv);
    impl_->ownApplication = std::make_unique<QApplication>(impl_->argc, impl_->argv.data());
  } else if (!ApplicationReady()) {
    std::fprintf(stderr, "ZORQConvert: the running Qt application has no widgets.\n");
    return 0;
  }
  // The program ends through QuitUserInterface only, never because a window closed.
  QApplication::setQuitOnLastWindowClosed(false);
  SetApplicationIcon();
  // Qt puts the user's number format in force; the converters print decimal points.
  std::setlocale(LC_NUMERIC, "C");
  return 1;
}

int QtUi::LoadPanel(int /*parent*/, const char* fileName, int /*resourceId*/) {
  if (!ApplicationReady())
    return UIE_NO_BACKEND;
  const std::string name = OrEmpty(fileName);
  std::vector<std::string> looked;
  const std::string path = FindPanelFile(name, PanelSearchPath(), &looked);
  if (path.empty()) {
    std::fprintf(stderr, "ZORQConvert: the panel file \"%s\" was not found; looked for %s.\n",
                 name.c_str(), JoinPaths(looked).c_str());
    return UIE_PANEL_FILE;
  }
  std::string error;
  auto refuse = [&](int code) {
    std::fprintf(stderr, "ZORQConvert: the panel file \"%s\" cannot be used: %s.\n", path.c_str(),
                 error.c_str());
    return code;
  };
  auto loaded = std::make_unique<LoadedPanel>();
  loaded->window = LoadPanelWindow(path, &error);
  if (loaded->window == nullptr ||
      !PreparePanelWidgets(loaded->window.get(), &loaded->widgets, &error))
    return refuse(UIE_PANEL_FILE);
  const PanelDescription description = DescribePanel(loaded->window.get(), loaded->widgets);
  if (!ResolvePanelBindings(description, &loaded->bindings, &error))
    return refuse(UIE_BAD_BINDING);
  const int panel = impl_->nextPanel++;
  impl_->Connect(panel, loaded.get());
  impl_->panels[panel] = std::move(loaded);
  return panel;
}

int QtUi::DisplayPanel(int panel) {
  LoadedPanel* loaded = impl_->Find(panel);
  if (loaded == nullptr)
    return UIE_BAD_HANDLE;
  loaded->window->show();
  loaded->window->activateWindow();
  return 0;
}

int QtUi::DiscardPanel(int panel) {
  const auto found = impl_->panels.find(panel);
  if (found == impl_->panels.end())
    return UIE_BAD_HANDLE;
  std::unique_ptr<LoadedPanel> loaded = std::move(found->second);
  impl_->panels.erase(found);
  for (QTimer* timer : loaded->timers)
    timer->stop();
  if (impl_->callbacksRunning > 0) {
    QWidget* window = loaded->window.release();
    window->hide();
    window->deleteLater();
    impl_->discarded.emplace_back(window);
  }
  return 0;
}

int QtUi::RunUserInterface() {
  if (!ApplicationReady())
    return UIE_NO_BACKEND;
  QEventLoop loop;
  QEventLoop* outer = std::exchange(impl_->loop, &loop);
  const int code = loop.exec();
  impl_->loop = outer;
  return code;
}

int QtUi::QuitUserInterface(int code) {
  if (impl_->loop != nullptr)
    impl_->loop->exit(code);
  return 0;
}

int QtUi::GetPanelMenuBar(int panel) {
  const LoadedPanel* loaded = impl_->Find(panel);
  if (loaded == nullptr || loaded->widgets.menuItems.empty())
    return UIE_BAD_HANDLE;
  return panel + kMenuBarOffset;
}

// The reads refuse a null `value`, as a control without such a value.
int QtUi::GetCtrlInt(int panel, int control, int* value) {
  return impl_->ApplyToControl(panel, control, ReadControlInt, value);
}

int QtUi::GetCtrlDouble(int panel, int control, double* value) {
  return impl_->ApplyToControl(panel, control, ReadControlDouble, value);
}

int QtUi::SetCtrlInt(int panel, int control, int value) {
  return impl_->ApplyToControl(panel, control, WriteControlInt, value);
}

int QtUi::SetCtrlDouble(int panel, int control, double value) {
  return impl_->ApplyToControl(panel, control, WriteControlDouble, value);
}

int QtUi::SetCtrlText(int panel, int control, const char* text) {
  return impl_->ApplyToControl(panel, control, WriteControlText, text);
}

int QtUi::SetCtrlVisible(int panel, int control, bool visible) {
  return impl_->ApplyToControl(panel, control, [visible](QWidget* widget, ControlKind kind) {
    // A timer has nothing to show; its placeholder stays hidden.
    if (kind != ControlKind::Timer)
      ShowControl(widget, visible);
    return true;
  });
}

int QtUi::SetMenuItemDimmed(int menuBar, int item, bool dimmed) {
  QAction* action = MenuItemAction(menuBar - kMenuBarOffset, item);
  if (action == nullptr)
    return UIE_BAD_CONTROL;
  action->setEnabled(!dimmed);
  return 0;
}

int QtUi::FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec,
                          const char* fileTypeList, const char* title, char* pathBuffer) {
  if (pathBuffer == nullptr)
    return VAL_NO_FILE_SELECTED;
  PopupRequest request = Request(PopupRequest::Kind::FileSelect, title);
  request.defaultDirectory = OrEmpty(defaultDirectory);
  request.defaultFileSpec = OrEmpty(defaultFileSpec);
  request.fileTypeList = OrEmpty(fileTypeList);
  std::string path;
  if (!impl_->AskForPath(request, &path) || path.empty())
    return VAL_NO_FILE_SELECTED;
  // The caller's buffer holds 260 bytes with the terminator.
  if (path.size() > static_cast<size_t>(kMaxPathLength)) {
    MessagePopup(kPathTooLongTitle, kPathTooLongText);
    return VAL_NO_FILE_SELECTED;
  }
  const QFileInfo chosen(QFile::decodeName(path.c_str()));
  if (chosen.exists() && !chosen.isFile())
    return VAL_NO_FILE_SELECTED;
  std::memcpy(pathBuffer, path.c_str(), path.size() + 1);
  RememberChosenFile(impl_->popups.back(), path, &impl_->dialogMemory);
  return chosen.exists() ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
}

int QtUi::ConfirmPopup(const char* title, const char* message) {
  const PopupRequest request = impl_->Record(Request(PopupRequest::Kind::Confirm, title, message));
  if (impl_->responder)
    return impl_->responder(request).result != 0 ? 1 : 0;
  return AskYesNo(impl_->DialogParent(), request) ? 1 : 0;
}

int QtUi::MessagePopup(const char* title, const char* message) {
  const PopupRequest request = impl_->Record(Request(PopupRequest::Kind::Message, title, message));
  if (impl_->responder) {
    impl_->responder(request);
  } else {
    ShowMessage(impl_->DialogParent(), request);
  }
  return 0;
}

void InstallQtUiBackend() {
  InstallUiBackend(std::make_unique<QtUi>());
}
