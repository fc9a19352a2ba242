#include "runtime/headless_ui.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "runtime/truncate_to_int.h"

HeadlessUi::HeadlessUi(PanelDescription description) : description_(std::move(description)) {}

int HeadlessUi::Init(char* /*argv*/[]) {
  return failInit_ ? 0 : 1;
}

int HeadlessUi::LoadPanel(int /*parent*/, const char* /*fileName*/, int /*resourceId*/) {
  if (failLoad_)
    return UIE_PANEL_FILE;
  std::string error;
  if (!ResolvePanelBindings(description_, &bindings_, &error)) {
    std::fprintf(stderr, "ZORQConvert: %s\n", error.c_str());
    return UIE_BAD_BINDING;
  }
  controls_.clear();
  for (const ControlDescription& control : description_.controls) {
    controls_[control.id] = ControlState{control.kind, control.intValue, control.doubleValue,
                                         control.text, control.visible};
  }
  menuDimmed_.clear();
  for (const MenuItemDescription& item : description_.menuItems)
    menuDimmed_[item.id] = item.dimmed;
  panel_ = nextPanel_++;
  quitRequested_ = false;
  return panel_;
}

int HeadlessUi::DisplayPanel(int panel) {
  if (!IsLoaded(panel) || failDisplay_)
    return UIE_BAD_HANDLE;
  displayed_ = true;
  return 0;
}

int HeadlessUi::DiscardPanel(int panel) {
  if (!IsLoaded(panel))
    return UIE_BAD_HANDLE;
  ++discards_;
  panel_ = 0;
  displayed_ = false;
  return 0;
}

int HeadlessUi::RunUserInterface() {
  quitRequested_ = false;
  while (!quitRequested_ && !actions_.empty()) {
    std::function<void()> action = std::move(actions_.front());
    actions_.pop_front();
    action();
  }
  return 0;
}

int HeadlessUi::QuitUserInterface(int /*code*/) {
  quitRequested_ = true;
  return 0;
}

int HeadlessUi::GetPanelMenuBar(int panel) {
  if (!IsLoaded(panel))
    return UIE_BAD_HANDLE;
  return panel_ + kMenuBarOffset;
}

HeadlessUi::ControlState* HeadlessUi::Control(int panel, int control) {
  if (!IsLoaded(panel))
    return nullptr;
  const auto found = controls_.find(control);
  return found == controls_.end() ? nullptr : &found->second;
}

const HeadlessUi::ControlState* HeadlessUi::Control(int control) const {
  const auto found = controls_.find(control);
  return found == controls_.end() ? nullptr : &found->second;
}

// Hands the control to `use`; UIE_BAD_CONTROL when the panel has no such control.
template <typename Use>
int HeadlessUi::WithControl(int panel, int control, Use use) {
  ControlState* state = Control(panel, control);
  if (state == nullptr)
    return UIE_BAD_CONTROL;
  use(*state);
  return 0;
}

int HeadlessUi::GetCtrlInt(int panel, int control, int* value) {
  if (value == nullptr)
    return UIE_BAD_CONTROL;
  return WithControl(panel, control, [value](const ControlState& state) {
    *value = state.kind == ControlKind::Numeric ? TruncateToInt(state.doubleValue) : state.intValue;
  });
}

int HeadlessUi::GetCtrlDouble(int panel, int control, double* value) {
  if (value == nullptr)
    return UIE_BAD_CONTROL;
  return WithControl(panel, control, [value](const ControlState& state) {
    *value = state.kind == ControlKind::Numeric ? state.doubleValue : state.intValue;
  });
}

int HeadlessUi::SetCtrlInt(int panel, int control, int value) {
  return WithControl(panel, control, [value](ControlState& state) {
    if (state.kind == ControlKind::Numeric)
      state.doubleValue = value;
    else
      state.intValue = value;
  });
}

int HeadlessUi::SetCtrlDouble(int panel, int control, double value) {
  return WithControl(panel, control, [value](ControlState& state) {
    if (state.kind == ControlKind::Numeric)
      state.doubleValue = value;
    else
      state.intValue = TruncateToInt(value);
  });
}

int HeadlessUi::SetCtrlText(int panel, int control, const char* text) {
  return WithControl(panel, control, [text](ControlState& state) { state.text = text; });
}

int HeadlessUi::SetCtrlVisible(int panel, int control, bool visible) {
  return WithControl(panel, control, [visible](ControlState& state) { state.visible = visible; });
}

int HeadlessUi::SetMenuItemDimmed(int menuBar, int item, bool dimmed) {
  if (panel_ <= 0 || menuBar != panel_ + kMenuBarOffset)
    return UIE_BAD_HANDLE;
  const auto found = menuDimmed_.find(item);
  if (found == menuDimmed_.end())
    return UIE_BAD_CONTROL;
  found->second = dimmed;
  return 0;
}

// A dropped file answers as the file dialog would for that path.
PopupAnswer HeadlessUi::AnswerWithDroppedPath(PopupRequest request) {
  popups_.push_back(std::move(request));
  dropPending_ = false;
  std::error_code error;
  const bool exists = std::filesystem::is_regular_file(droppedPath_, error);
  return PopupAnswer{exists ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED, droppedPath_};
}

PopupAnswer HeadlessUi::Ask(PopupRequest request) {
  popups_.push_back(request);
  if (responder_)
    return responder_(popups_.back());
  return PopupAnswer{};
}

int HeadlessUi::FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec,
                                const char* fileTypeList, const char* title, char* pathBuffer) {
  PopupRequest request;
  request.kind = PopupRequest::Kind::FileSelect;
  request.title = title;
  request.defaultDirectory = defaultDirectory;
  request.defaultFileSpec = defaultFileSpec;
  request.fileTypeList = fileTypeList;
  const PopupAnswer answer =
      dropPending_ ? AnswerWithDroppedPath(std::move(request)) : Ask(std::move(request));
  if (answer.result != VAL_EXISTING_FILE_SELECTED && answer.result != VAL_NEW_FILE_SELECTED) {
    return VAL_NO_FILE_SELECTED;
  }
  // A path that does not fit the 260-byte buffer cannot be handed back.
  if (answer.path.empty() || answer.path.size() > static_cast<size_t>(kMaxPathLength)) {
    return VAL_NO_FILE_SELECTED;
  }
  std::memcpy(pathBuffer, answer.path.c_str(), answer.path.size() + 1);
  return answer.result;
}

int HeadlessUi::ConfirmPopup(const char* title, const char* message) {
  PopupRequest request;
  request.kind = PopupRequest::Kind::Confirm;
  request.title = title;
  request.message = message;
  return Ask(std::move(request)).result != 0 ? 1 : 0;
}

int HeadlessUi::MessagePopup(const char* title, const char* message) {
  PopupRequest request;
  request.kind = PopupRequest::Kind::Message;
  request.title = title;
  request.message = message;
  Ask(std::move(request));
  return 0;
}

void HeadlessUi::DeliverControlEvent(int control, int event) {
  if (panel_ <= 0)
    return;
  const auto found = bindings_.controls.find(control);
  if (found == bindings_.controls.end())
    return;
  found->second(panel_, control, event, nullptr, 0, 0);
}

void HeadlessUi::Tick() {
  if (panel_ <= 0)
    return;
  for (const ControlDescription& control : description_.controls) {
    if (control.kind == ControlKind::Timer)
      DeliverControlEvent(control.id, EVENT_TIMER_TICK);
  }
}

void HeadlessUi::ClosePanel() {
  if (panel_ <= 0 || bindings_.panel == nullptr)
    return;
  bindings_.panel(panel_, EVENT_CLOSE, nullptr, 0, 0);
}

bool HeadlessUi::SelectMenuItem(int item) {
  if (panel_ <= 0)
    return false;
  const auto dimmed = menuDimmed_.find(item);
  if (dimmed == menuDimmed_.end() || dimmed->second)
    return false;
  const auto found = bindings_.menuItems.find(item);
  if (found == bindings_.menuItems.end())
    return false;
  found->second(panel_ + kMenuBarOffset, item, nullptr, panel_);
  return true;
}

void HeadlessUi::SetValue(int control, int value) {
  SetCtrlInt(panel_, control, value);
}
void HeadlessUi::SetValue(int control, double value) {
  SetCtrlDouble(panel_, control, value);
}

std::string HeadlessUi::Text(int control) const {
  const ControlState* state = Control(control);
  return state == nullptr ? std::string() : state->text;
}
int HeadlessUi::IntValue(int control) const {
  const ControlState* state = Control(control);
  return state == nullptr ? 0 : state->intValue;
}
double HeadlessUi::DoubleValue(int control) const {
  const ControlState* state = Control(control);
  return state == nullptr ? 0.0 : state->doubleValue;
}
bool HeadlessUi::Visible(int control) const {
  const ControlState* state = Control(control);
  return state != nullptr && state->visible;
}
bool HeadlessUi::Dimmed(int item) const {
  const auto found = menuDimmed_.find(item);
  return found != menuDimmed_.end() && found->second;
}

bool HeadlessUi::SelectMenuItemWithFile(int item, const std::string& path) {
  droppedPath_ = path;
  dropPending_ = true;
  const bool selected = SelectMenuItem(item);
  dropPending_ = false;
  return selected;
}
