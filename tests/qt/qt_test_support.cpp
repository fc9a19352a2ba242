#include "tests/qt/qt_test_support.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <filesystem>
#include <memory>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "desktop/feedback.h"
#include "runtime/delay.h"
#include "runtime/files.h"
#include "runtime/ui.h"
#include "tests/qt/qt_test_access.h"
#include "tests/test_support.h"

namespace zorq_qt_test {

std::string BuiltPanelFolder() {
  return std::filesystem::path(ZORQ_PANEL_FILE).parent_path().string();
}

QtShell::QtShell() {
  zorq_test::CloseSharedFiles();
  ResetSharedState();
  RegisterShellCallbacks();
  auto backend = std::make_unique<QtUi>();
  ui_ = backend.get();
  InstallUiBackend(std::move(backend));
  auto additions = std::make_unique<QtAdditions>(*ui_);
  additions_ = additions.get();
  InstallPanelAdditions(std::move(additions));
  QtTestAccess::SetPanelSearchPath(*ui_, {BuiltPanelFolder()});
  char* argv[] = {nullptr};
  InitRuntime(0, argv, 0);
  SetDelayHandler([this](double seconds) { pauses_.push_back(seconds); });
  ui_->SetPopupResponder([this](const PopupRequest& request) {
    if (request.kind == PopupRequest::Kind::Message || answers_.empty())
      return PopupAnswer{};
    PopupAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
  });
}

QtShell::~QtShell() {
  zorq_test::CloseSharedFiles();
  SetDelayHandler(nullptr);
  InstallPanelAdditions(nullptr);
  InstallUiBackend(nullptr);
  PanelHandle = 0;
}

int QtShell::Load() {
  PanelHandle = LoadPanel(0, "ZORQConvert.uir", 1);
  return PanelHandle;
}

int QtShell::LoadAndShow() {
  if (Load() <= 0)
    return PanelHandle;
  return DisplayPanel(PanelHandle) < 0 ? -1 : PanelHandle;
}

void QtShell::AnswerFileSelect(int result, const std::string& path) {
  answers_.push_back(PopupAnswer{result, path});
}
void QtShell::AnswerConfirm(bool yes) {
  answers_.push_back(PopupAnswer{yes ? 1 : 0, ""});
}
void QtShell::UseRealDialogs() {
  ui_->SetPopupResponder(nullptr);
}

QWidget* QtShell::Control(int control) const {
  return ui_->ControlWidget(PanelHandle, control);
}

std::string QtShell::Text(int control) const {
  QWidget* widget = Control(control);
  if (auto* label = qobject_cast<QLabel*>(widget))
    return label->text().toStdString();
  if (auto* line = qobject_cast<QLineEdit*>(widget))
    return line->text().toStdString();
  return "<not a text display>";
}

int QtShell::Count(PopupRequest::Kind kind, const std::string& title) const {
  int count = 0;
  for (const PopupRequest& request : QtTestAccess::Popups(*ui_)) {
    if (request.kind == kind && request.title == title)
      ++count;
  }
  return count;
}

Panel::Panel() {
  EXPECT_GT(shell.LoadAndShow(), 0);
  PrepareShellAdditions();
  extras = shell.additions().Extras(PanelHandle);
}

QWidget* Panel::Window() {
  return shell.ui().PanelWindow(PanelHandle);
}

QAction* Panel::Item(int id) {
  return shell.ui().MenuItemAction(PanelHandle, id);
}

QComboBox* Panel::Ring(int control) {
  return qobject_cast<QComboBox*>(shell.Control(control));
}

int Panel::RingValue(int control) {
  return Ring(control)->currentData().toInt();
}

void Panel::Choose(int control, int value) {
  QComboBox* ring = Ring(control);
  ring->setCurrentIndex(ring->findData(value));
  emit ring->activated(ring->currentIndex());
}

void Panel::OpenFrom(const std::string& path) {
  shell.AnswerFileSelect(1, path);
  Item(kMenuOpenFrom)->trigger();
}

void Panel::OpenTo(const std::string& path) {
  shell.AnswerFileSelect(1, path);
  if (zorq_test::FileExists(path))
    shell.AnswerConfirm(true);
  Item(kMenuOpenTo)->trigger();
}

std::string Panel::WaitForOutcome() {
  EXPECT_TRUE(QTest::qWaitFor(
      [] {
        int on = 1;
        GetCtrlVal(PanelHandle, kCtrlStartConvert, &on);
        return on == 0;
      },
      kPatienceMs));
  return shell.Text(kCtrlStatus);
}

std::string Panel::Convert() {
  QTest::mouseClick(shell.Control(kCtrlStartConvert), Qt::LeftButton);
  return WaitForOutcome();
}

}  // namespace zorq_qt_test
