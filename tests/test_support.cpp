#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "runtime/delay.h"
#include "runtime/files.h"

namespace zorq_test {

CLibraryZone::CLibraryZone(const char* zone) {
  if (const char* now = std::getenv("TZ"))
    before_ = now;
  ::setenv("TZ", zone, 1);
  ::tzset();
}

CLibraryZone::~CLibraryZone() {
  if (before_)
    ::setenv("TZ", before_->c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

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

namespace {

void ExpectSameControl(const ControlDescription& want, const ControlDescription& got) {
  EXPECT_STREQ(ControlKindName(got.kind), ControlKindName(want.kind));
  EXPECT_EQ(got.callback, want.callback);
  ASSERT_EQ(got.items.size(), want.items.size());
  for (size_t i = 0; i < want.items.size(); ++i) {
    EXPECT_EQ(got.items[i].value, want.items[i].value) << "item " << i;
    EXPECT_EQ(got.items[i].label, want.items[i].label) << "item " << i;
  }
  switch (want.kind) {
    case ControlKind::Ring:
    case ControlKind::ToggleButton:
    case ControlKind::BinarySwitch:
      EXPECT_EQ(got.intValue, want.intValue);
      break;
    case ControlKind::Numeric:
      EXPECT_DOUBLE_EQ(got.doubleValue, want.doubleValue);
      break;
    case ControlKind::TextDisplay:
      EXPECT_EQ(got.text, want.text);
      break;
    case ControlKind::CommandButton:
      break;
    case ControlKind::Timer:
      // Ticks must keep coming, and often enough that a request waits little.
      EXPECT_GT(got.interval, 0.0);
      EXPECT_LE(got.interval, 1.0);
      return;  // a timer has nothing to show
  }
  EXPECT_EQ(got.visible, want.visible);
}

}  // namespace

void ExpectSamePanel(const PanelDescription& want, const PanelDescription& got) {
  EXPECT_EQ(got.title, want.title);
  EXPECT_EQ(got.callback, want.callback);
  EXPECT_EQ(got.controls.size(), want.controls.size());
  for (const ControlDescription& wanted : want.controls) {
    SCOPED_TRACE("control " + std::to_string(wanted.id));
    const ControlDescription* found = got.FindControl(wanted.id);
    ASSERT_NE(found, nullptr);
    ExpectSameControl(wanted, *found);
  }
  EXPECT_EQ(got.menuItems.size(), want.menuItems.size());
  for (const MenuItemDescription& wanted : want.menuItems) {
    SCOPED_TRACE("menu item " + std::to_string(wanted.id));
    const MenuItemDescription* found = got.FindMenuItem(wanted.id);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->callback, wanted.callback);
    EXPECT_EQ(found->dimmed, wanted.dimmed);
    EXPECT_EQ(found->label, wanted.label);
  }
}

namespace {

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i)
    out += text;
  return out;
}

}  // namespace

std::string WorkedLoggerDump() {
  // 63 header bytes: a date-stamp layout up to byte 23, F04 at 24, "A8," at
  // 41, C100 at 44, blanks up to the CR LF at 61 and 62.
  const std::string header = "Y19,M06,D30,H14,M05,S30,F04" + std::string(14, ' ') + "A8,C100" +
                             std::string(13, ' ') + "\r\n";
  return header + "Y19,M06,D30,H14,M05,S30,\r\n" +
         "2048,2050,2047,2049,2051,2046,2048,2052,2045,2048,2049,2047,360\r\n" +
         "0,4095,1000,3000," + Repeated("2048,", 8) + "361\r\n" + Repeated("2048,", 12) +
         "362\r\n" + Repeated("2048,", 12) + "363\r\n" + Repeated("2048,", 12) + "365\r\n" +
         "1024,3072,4095,\r\n";
}

std::string RepeatedWorkedLoggerDump(int times) {
  const std::string worked = WorkedLoggerDump();
  const size_t dataStart = worked.find("2048,2050");
  const std::string lines = worked.substr(dataStart, worked.find("1024,3072") - dataStart);
  return worked.substr(0, dataStart) + Repeated(lines, times);
}

std::string WorkedLoggerCsv() {
  return "f001,S04,B0,2019-06-30T14:05:30"
         ",02.0005,02.0024,01.9995,02.0015,02.0034,01.9985,02.0005,02.0044,01.9976,02.0005,"
         "02.0015,01.9995"
         ",00.0000,04.0000,00.9768,02.9304" +
         Repeated(",02.0005", 8 + 36) + "\r\n" + "C001,D4,22.7\r\n" +
         "f001,S04,B0,2019-06-30T14:05:45,01.0002,03.0007,04.0000" + Repeated(",-101.00", 57) +
         "\r\n" + "C001,D4,22.8\r\n";
}

std::string WorkedGaugeDump() {
  return "Y19,M06,D30,H12,M00,S00,F04,L10,I60,N00,00000X03,T10,,,,,,,,,\r\n"
         "Y19,M06,D30,H12,M00,S00,\r\n"
         "1.25,,1.5,2,2.25,-0.5,0,3.125,10,1.75,1.5,1.25,1,372,\r\n"
         ",,,,\r\n"
         "0.5,0.75,\r\n";
}

std::string WorkedGaugeOutputHeader() {
  return " Wave Gauge Converted File\r\n"
         " Part #ZORQ-207-118K-3\r\n"
         " Date & Time,2019-06-30T12:00:00\r\n"
         " Sample rate,04,Hz\r\n"
         " Burst Length,10 min.\r\n"
         " Burst Interval,60 min.\r\n"
         " New File Interval, Continuous\r\n"
         "\r\n";
}

std::string WorkedGaugeCsv() {
  std::string out = WorkedGaugeOutputHeader() +
                    "D1,C8,2019-06-30\r\n"
                    "D1,C9,12:00:00\r\n";
  for (const char* value :
       {"1.250000", "1.500000", "2.000000", "2.250000", "-0.500000", "0.000000", "3.125000",
        "10.000000", "1.750000", "1.500000", "1.250000", "1.000000"}) {
    out += std::string("D1,C1,") + value + "\r\nD1,C0,04\r\n";
  }
  for (const char* value : {"0.500000", "0.750000"}) {
    out += std::string("D1,C1,") + value + "\r\nD1,C4,23.250000\r\nD1,C0,04\r\n";
  }
  return out;
}

void CloseSharedFiles() {
  if (FileFromOpen)
    CloseFile(FileFromHandle);
  if (FileToOpen)
    CloseFile(FileToHandle);
  FileFromOpen = 0;
  FileToOpen = 0;
}

HeadlessShell::HeadlessShell() {
  CloseSharedFiles();
  ResetSharedState();
  SetWriteFaultHook(nullptr);
  RegisterShellCallbacks();
  auto backend = std::make_unique<HeadlessUi>(ShellPanelDescription());
  ui_ = backend.get();
  InstallUiBackend(std::move(backend));
  auto additions = std::make_unique<HeadlessAdditions>();
  additions_ = additions.get();
  InstallPanelAdditions(std::move(additions));
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
  CloseSharedFiles();
  SetWriteFaultHook(nullptr);
  SetDelayHandler(nullptr);
  InstallPanelAdditions(nullptr);
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
