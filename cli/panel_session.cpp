#include "cli/panel_session.h"

#include <cstdio>
#include <deque>
#include <memory>

#include "app/shell.h"
#include "convert/panel_ids.h"
#include "convert/shared_state.h"
#include "runtime/delay.h"
#include "runtime/files.h"
#include "runtime/headless_ui.h"

namespace {

// Answers the popups in place of an operator.
class Operator {
 public:
  explicit Operator(const PanelRequest& request) : append_(request.append) {
    fileChoices_.push_back(PopupAnswer{VAL_EXISTING_FILE_SELECTED, request.fromPath});
    fileChoices_.push_back(PopupAnswer{
        request.toIsNew ? VAL_NEW_FILE_SELECTED : VAL_EXISTING_FILE_SELECTED, request.toPath});
  }

  PopupAnswer Answer(const PopupRequest& popup) {
    switch (popup.kind) {
      case PopupRequest::Kind::FileSelect:
        return NextFileChoice();
      case PopupRequest::Kind::Confirm:
        return PopupAnswer{append_ ? 1 : 0, ""};
      case PopupRequest::Kind::Message:
        std::fprintf(stderr, "%s: %s\n", popup.title.c_str(), TrimmedLeft(popup.message));
        return PopupAnswer{};
    }
    return PopupAnswer{};
  }

 private:
  PopupAnswer NextFileChoice() {
    if (fileChoices_.empty())
      return PopupAnswer{};  // cancel
    PopupAnswer answer = fileChoices_.front();
    fileChoices_.pop_front();
    return answer;
  }

  static const char* TrimmedLeft(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? "" : text.c_str() + first;
  }

  bool append_;
  std::deque<PopupAnswer> fileChoices_;
};

std::string NotOpened(const char* which, const std::string& path) {
  return std::string("cannot open the ") + which + " file \"" + path + "\": " + LastFileErrorText();
}

// Sets the controls as the operator would and presses START CONVERT; one tick
// carries the request out. False when the request was not carried out.
bool RequestAndTick(HeadlessUi& ui, const PanelRequest& request) {
  ui.SetValue(kCtrlFromType, request.fromType);
  ui.Commit(kCtrlFromType);
  ui.SetValue(kCtrlToType, request.toType);
  if (request.correction) {
    ui.SetValue(kCtrlCorrection, 1);
    ui.Commit(kCtrlCorrection);
    ui.SetValue(kCtrlGainM, request.gain);
    ui.SetValue(kCtrlOffsetB, request.offset);
  }
  ui.SetValue(kCtrlStartConvert, 1);
  ui.Commit(kCtrlStartConvert);
  ui.Tick();
  // The dispatch always turns START CONVERT off when it has run.
  return ui.IntValue(kCtrlStartConvert) == 0;
}

PanelOutcome OpenAndConvert(HeadlessUi& ui, const PanelRequest& request) {
  PanelOutcome outcome;
  ui.SelectMenuItem(kMenuOpenFrom);
  if (!FileFromOpen || !FileIsOpen(FileFromHandle)) {
    outcome.error = NotOpened("From", request.fromPath);
    outcome.fileProblem = true;
    return outcome;
  }
  ui.SelectMenuItem(kMenuOpenTo);
  if (!FileToOpen || !FileIsOpen(FileToHandle)) {
    outcome.error = FileToOpen ? NotOpened("To", request.toPath)
                               : "the To file \"" + request.toPath + "\" was not opened";
    outcome.fileProblem = true;
    return outcome;
  }
  if (!RequestAndTick(ui, request)) {
    outcome.error = "the conversion request was not carried out";
    return outcome;
  }
  outcome.converted = true;
  outcome.status = ui.Text(kCtrlStatus);
  return outcome;
}

}  // namespace

PanelOutcome ConvertOnHeadlessPanel(const PanelRequest& request) {
  RegisterShellCallbacks();
  auto backend = std::make_unique<HeadlessUi>(ShellPanelDescription());
  HeadlessUi& ui = *backend;
  InstallUiBackend(std::move(backend));
  Operator answers(request);
  ui.SetPopupResponder([&answers](const PopupRequest& popup) { return answers.Answer(popup); });
  // The pauses before files are closed are for the desktop; nobody waits here.
  SetDelayHandler([](double /*seconds*/) {});

  PanelOutcome outcome;
  char programName[] = "zorqconvert-cli";
  char* argv[] = {programName, nullptr};
  if (InitRuntime(0, argv, 0) == 0) {
    outcome.error = "the run-time layer could not be started";
  } else if ((PanelHandle = LoadPanel(0, "ZORQConvert.uir", 1)) < 0) {
    outcome.error = "the panel could not be loaded";
  } else {
    outcome = OpenAndConvert(ui, request);
    ui.SelectMenuItem(kMenuExit);  // closes whatever is open
    DiscardPanel(PanelHandle);
  }
  SetDelayHandler(nullptr);
  InstallUiBackend(nullptr);
  return outcome;
}
