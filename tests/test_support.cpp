#include "tests/test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "app/shell.h"
#include "convert/panel_ids.h"
#include "convert/shared_state.h"
#include "runtime/delay.h"
#include "runtime/files.h"

namespace zorq_test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zorq-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

HeadlessShell::HeadlessShell() {
  if (FileFromOpen)
    CloseFile(FileFromHandle);
  if (FileToOpen)
    CloseFile(FileToHandle);
  ResetSharedState();
  SetWriteFaultHook(nullptr);
  SetReadFaultHook(nullptr);
  RegisterShellCallbacks();
  auto backend = std::make_unique<HeadlessUi>(ShellPanelDescription());
  ui_ = backend.get();
  InstallUiBackend(std::move(backend));
  SetDelayHandler([this](double seconds) { pauses_.push_back(seconds); });
  ui_->SetPopupResponder([this](const PopupRequest& request) {
    if (request.kind == PopupRequest::Kind::Message || answers_.empty())
      return PopupAnswer{};
    PopupAnswer answer = answers_.front();
    answers_.erase(answers_.begin());
    return answer;
  });
  PanelHandle = LoadPanel(0, "ZORQConvert.uir", 1);
  if (PanelHandle <= 0)
    throw std::runtime_error("headless panel did not load");
}

HeadlessShell::~HeadlessShell() {
  if (FileFromOpen)
    CloseFile(FileFromHandle);
  if (FileToOpen)
    CloseFile(FileToHandle);
  FileFromOpen = 0;
  FileToOpen = 0;
  SetWriteFaultHook(nullptr);
  SetReadFaultHook(nullptr);
  SetDelayHandler(nullptr);
  InstallUiBackend(nullptr);
}

void HeadlessShell::AnswerFileSelect(int result, const std::string& path) {
  answers_.push_back(PopupAnswer{result, path});
}

void HeadlessShell::AnswerConfirm(bool yes) {
  answers_.push_back(PopupAnswer{yes ? 1 : 0, ""});
}

void HeadlessShell::OpenFrom(const std::string& path) {
  AnswerFileSelect(VAL_EXISTING_FILE_SELECTED, path);
  ui_->SelectMenuItem(kMenuOpenFrom);
}

void HeadlessShell::OpenToNew(const std::string& path) {
  AnswerFileSelect(VAL_NEW_FILE_SELECTED, path);
  ui_->SelectMenuItem(kMenuOpenTo);
}

void HeadlessShell::OpenToAppend(const std::string& path) {
  AnswerFileSelect(VAL_EXISTING_FILE_SELECTED, path);
  AnswerConfirm(true);
  ui_->SelectMenuItem(kMenuOpenTo);
}

std::string HeadlessShell::Convert(int fromType, int toType) {
  ui_->SetValue(kCtrlFromType, fromType);
  ui_->Commit(kCtrlFromType);
  ui_->SetValue(kCtrlToType, toType);
  ui_->SetValue(kCtrlStartConvert, 1);
  ui_->Commit(kCtrlStartConvert);
  ui_->Tick();
  return ui_->Text(kCtrlStatus);
}

}  // namespace zorq_test
