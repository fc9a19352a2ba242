#include "runtime/ui.h"

#include <utility>

namespace {
std::unique_ptr<UiBackend>& Backend() {
  static std::unique_ptr<UiBackend> backend;
  return backend;
}
}  // namespace

void InstallUiBackend(std::unique_ptr<UiBackend> backend) {
  Backend() = std::move(backend);
}
UiBackend* CurrentUiBackend() {
  return Backend().get();
}

#define ZORQ_FORWARD(call)                   \
  do {                                       \
    UiBackend* backend = CurrentUiBackend(); \
    if (backend == nullptr)                  \
      return UIE_NO_BACKEND;                 \
    return backend->call;                    \
  } while (0)

int InitRuntime(int /*instance*/, char* argv[], int /*reserved*/) {
  UiBackend* backend = CurrentUiBackend();
  return backend == nullptr ? 0 : backend->Init(argv);
}
int LoadPanel(int parent, const char* fileName, int resourceId) {
  ZORQ_FORWARD(LoadPanel(parent, fileName, resourceId));
}
int DisplayPanel(int panel) {
  ZORQ_FORWARD(DisplayPanel(panel));
}
int DiscardPanel(int panel) {
  ZORQ_FORWARD(DiscardPanel(panel));
}
int RunUserInterface() {
  ZORQ_FORWARD(RunUserInterface());
}
int QuitUserInterface(int code) {
  ZORQ_FORWARD(QuitUserInterface(code));
}
int GetPanelMenuBar(int panel) {
  ZORQ_FORWARD(GetPanelMenuBar(panel));
}
int GetCtrlVal(int panel, int control, int* value) {
  ZORQ_FORWARD(GetCtrlInt(panel, control, value));
}
int GetCtrlVal(int panel, int control, double* value) {
  ZORQ_FORWARD(GetCtrlDouble(panel, control, value));
}
int SetCtrlVal(int panel, int control, int value) {
  ZORQ_FORWARD(SetCtrlInt(panel, control, value));
}
int SetCtrlVal(int panel, int control, double value) {
  ZORQ_FORWARD(SetCtrlDouble(panel, control, value));
}
int SetCtrlAttribute(int panel, int control, int attribute, const char* text) {
  if (attribute != ATTR_CTRL_VAL)
    return UIE_BAD_CONTROL;
  ZORQ_FORWARD(SetCtrlText(panel, control, text == nullptr ? "" : text));
}
int SetCtrlAttribute(int panel, int control, int attribute, int value) {
  if (attribute == ATTR_VISIBLE)
    ZORQ_FORWARD(SetCtrlVisible(panel, control, value != 0));
  if (attribute == ATTR_CTRL_VAL)
    ZORQ_FORWARD(SetCtrlInt(panel, control, value));
  return UIE_BAD_CONTROL;
}
int SetMenuBarAttribute(int menuBar, int item, int attribute, int value) {
  if (attribute != ATTR_DIMMED)
    return UIE_BAD_CONTROL;
  ZORQ_FORWARD(SetMenuItemDimmed(menuBar, item, value != 0));
}
int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec,
                    const char* fileTypeList, const char* title, int /*buttonLabel*/,
                    int /*restrictDirectory*/, int /*restrictExtension*/, int /*allowCancel*/,
                    int /*allowMakeDirectory*/, char* pathBuffer) {
  ZORQ_FORWARD(FileSelectPopup(defaultDirectory, defaultFileSpec, fileTypeList, title, pathBuffer));
}
int ConfirmPopup(const char* title, const char* message) {
  ZORQ_FORWARD(ConfirmPopup(title, message));
}
int MessagePopup(const char* title, const char* message) {
  ZORQ_FORWARD(MessagePopup(title, message));
}
