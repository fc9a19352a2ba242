// Start-up, exit and the From/To file menu, driven on the headless panel.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "runtime/delay.h"
#include "runtime/files.h"
#include "tests/test_support.h"

using zorq_test::HeadlessShell;
using zorq_test::ReadWholeFile;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

namespace {

const PopupRequest* LastPopup(HeadlessUi& ui) {
  return ui.Popups().empty() ? nullptr : &ui.Popups().back();
}

}  // namespace

TEST(StartUp, PanelStartsWithTheMenuAndControlsTheCallbacksExpect) {
  HeadlessShell shell;
  HeadlessUi& ui = shell.ui();
  EXPECT_FALSE(ui.Dimmed(kMenuOpenFrom));
  EXPECT_TRUE(ui.Dimmed(kMenuCloseFrom));
  EXPECT_FALSE(ui.Dimmed(kMenuOpenTo));
  EXPECT_TRUE(ui.Dimmed(kMenuCloseTo));
  EXPECT_FALSE(ui.Dimmed(kMenuExit));
  EXPECT_TRUE(ui.Visible(kCtrlCorrection));
  EXPECT_FALSE(ui.Visible(kCtrlGainM));
  EXPECT_FALSE(ui.Visible(kCtrlOffsetB));
  EXPECT_DOUBLE_EQ(ui.DoubleValue(kCtrlGainM), 1.0);
  EXPECT_DOUBLE_EQ(ui.DoubleValue(kCtrlOffsetB), 0.0);
}

TEST(StartUp, MainRunsTheLoopUntilTheCloseBoxThenDiscardsThePanel) {
  HeadlessShell shell;
  ResetSharedState();
  auto backend = std::make_unique<HeadlessUi>(ShellPanelDescription());
  HeadlessUi* ui = backend.get();
  InstallUiBackend(std::move(backend));
  bool displayedInLoop = false;
  ui->QueueAction([&] {
    displayedInLoop = ui->Displayed();
    ui->ClosePanel();
  });
  ui->QueueAction([] { FAIL() << "the loop went on after the close box"; });
  char* argv[] = {nullptr};
  EXPECT_EQ(ZorqMain(0, argv), 0);
  EXPECT_TRUE(displayedInLoop);
  EXPECT_EQ(ui->DiscardCount(), 1);
}

TEST(StartUp, MissingPanelFileOrEngineEndsWithANonZeroResultAndAMessage) {
  HeadlessShell shell;
  char* argv[] = {nullptr};
  for (int which = 0; which < 2; ++which) {
    auto backend = std::make_unique<HeadlessUi>(ShellPanelDescription());
    if (which == 0)
      backend->FailLoad(true);
    if (which == 1)
      backend->FailInit(true);
    HeadlessUi* ui = backend.get();
    InstallUiBackend(std::move(backend));
    testing::internal::CaptureStderr();
    EXPECT_EQ(ZorqMain(0, argv), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(err.empty());
    if (which == 0) {
      EXPECT_NE(err.find("ZORQConvert.uir"), std::string::npos) << err;
    }
    EXPECT_EQ(ui->DiscardCount(), 0);
  }
}

TEST(StartUp, FailedDisplaySkipsTheLoopButDiscardsThePanel) {
  HeadlessShell shell;
  auto backend = std::make_unique<HeadlessUi>(ShellPanelDescription());
  backend->FailDisplay(true);
  HeadlessUi* ui = backend.get();
  bool ran = false;
  ui->QueueAction([&] { ran = true; });
  InstallUiBackend(std::move(backend));
  char* argv[] = {nullptr};
  EXPECT_EQ(ZorqMain(0, argv), 0);
  EXPECT_FALSE(ran);
  EXPECT_EQ(ui->DiscardCount(), 1);
}

TEST(StartUp, CheckPanelLoadsAndShowsThePanelThenLeavesWithoutTheLoop) {
  HeadlessShell shell;
  char program[] = "zorqconvert";
  char check[] = "--check-panel";
  char* argv[] = {program, check, nullptr};
  for (const bool failDisplay : {false, true}) {
    auto backend = std::make_unique<HeadlessUi>(ShellPanelDescription());
    backend->FailDisplay(failDisplay);
    HeadlessUi* ui = backend.get();
    bool ran = false;
    ui->QueueAction([&] { ran = true; });
    InstallUiBackend(std::move(backend));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int result = ZorqMain(2, argv);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, failDisplay ? 1 : 0);
    EXPECT_FALSE(ran) << "the event loop ran";
    EXPECT_EQ(ui->DiscardCount(), 1);
    EXPECT_EQ(out.find("loads and shows") != std::string::npos, !failDisplay) << out;
    EXPECT_EQ(err.empty(), !failDisplay) << err;
  }
}

// With no front end to read them, the file names are the arguments that
// are no options (the desktop program's parser is tested with Qt).
TEST(StartUp, FileNamesAmongTheArgumentsAreThoseThatAreNoOptions) {
  char program[] = "zorqconvert", check[] = "--check-panel", first[] = "a dump.txt",
       reverse[] = "-reverse", second[] = "b.txt";
  char* argv[] = {program, check, first, reverse, second, nullptr};
  EXPECT_EQ(DumpFilesGiven(5, argv), (std::vector<std::string>{"a dump.txt", "b.txt"}));
  EXPECT_TRUE(DumpFilesGiven(1, argv).empty());
}

TEST(StartUp, DumpGivenOnTheCommandLineIsOpenedAsTheFromFileBeforeThePanelShows) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("in.txt"), "dump");
  WriteWholeFile(dir.Path("other.txt"), "dump");
  std::string given = dir.Path("in.txt"), other = dir.Path("other.txt");
  char program[] = "zorqconvert";
  char* argv[] = {program, given.data(), other.data(), nullptr};
  auto backend = std::make_unique<HeadlessUi>(ShellPanelDescription());
  HeadlessUi* ui = backend.get();
  InstallUiBackend(std::move(backend));
  bool openWhenShown = false;
  ui->QueueAction([&] {
    openWhenShown = FileFromOpen == 1;
    ui->ClosePanel();
  });
  testing::internal::CaptureStderr();
  EXPECT_EQ(ZorqMain(3, argv), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(openWhenShown);
  EXPECT_STREQ(FileFromName, given.c_str());
  EXPECT_EQ(ui->Text(kCtrlFromName), given);
  EXPECT_FALSE(ui->Dimmed(kMenuCloseFrom));
  EXPECT_NE(err.find("one dump at a time"), std::string::npos) << err;
}

TEST(StartUp, DumpGivenThatCannotBeUsedLeavesTheFromFileClosedWithAMessage) {
  TempDir dir;
  // A file that exists but whose full path is longer than the panel keeps.
  const std::string longFolder = dir.Path(std::string(200, 'a'));
  std::filesystem::create_directories(longFolder);
  const std::string longPath = longFolder + "/" + std::string(100, 'b') + ".txt";
  WriteWholeFile(longPath, "dump");
  const struct {
    std::string given;
    const char* why;
  } cases[] = {
      {dir.Path("missing.txt"), "no file that can be opened"},
      {dir.path(), "no file that can be opened"},
      {longPath, "longer than 259 characters"},
  };
  for (const auto& [given, why] : cases) {
    HeadlessShell shell;
    std::string arg = given;
    char program[] = "zorqconvert";
    char* argv[] = {program, arg.data(), nullptr};
    auto backend = std::make_unique<HeadlessUi>(ShellPanelDescription());
    HeadlessUi* ui = backend.get();
    InstallUiBackend(std::move(backend));
    ui->QueueAction([&] { ui->ClosePanel(); });
    testing::internal::CaptureStderr();
    EXPECT_EQ(ZorqMain(2, argv), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(FileFromOpen, 0) << given;
    EXPECT_EQ(ui->Text(kCtrlFromName), "") << given;
    EXPECT_NE(err.find(why), std::string::npos) << err;
    EXPECT_NE(err.find("open the From file from the File menu"), std::string::npos) << err;
  }
}

TEST(StartUp, BindingToANameTheProgramLacksIsReported) {
  HeadlessShell shell;
  PanelDescription description = ShellPanelDescription();
  description.controls[0].callback = "NoSuchCallback";
  auto backend = std::make_unique<HeadlessUi>(description);
  InstallUiBackend(std::move(backend));
  testing::internal::CaptureStderr();
  EXPECT_LT(LoadPanel(0, "ZORQConvert.uir", 1), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("NoSuchCallback"), std::string::npos) << err;
}

TEST(PanelCallback, OnlyTheCloseEventQuitsAndNoFileIsClosed) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("in.txt"), "Y");
  shell.OpenFrom(dir.Path("in.txt"));
  for (int event : {0, 1, 2, 5, 10, 12, 15}) {
    panelCB(PanelHandle, event, nullptr, 0, 0);
    EXPECT_FALSE(shell.ui().QuitRequested()) << event;
  }
  shell.ui().ClosePanel();
  EXPECT_TRUE(shell.ui().QuitRequested());
  EXPECT_EQ(FileFromOpen, 1);
  EXPECT_TRUE(FileIsOpen(FileFromHandle));
  EXPECT_TRUE(shell.Pauses().empty());
}

TEST(ExitMenu, ClosesFromThenToWithAPauseEachAfterClearingTheFlag) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("in.txt"), "Y");
  shell.OpenFrom(dir.Path("in.txt"));
  shell.OpenToNew(dir.Path("out.csv"));
  const int from = FileFromHandle;
  const int to = FileToHandle;
  std::vector<std::string> events;
  SetDelayHandler([&](double seconds) {
    EXPECT_DOUBLE_EQ(seconds, 0.6);
    events.push_back("pause from=" + std::to_string(FileFromOpen) + " fromOpen=" +
                     std::to_string(FileIsOpen(from)) + " to=" + std::to_string(FileToOpen) +
                     " toOpen=" + std::to_string(FileIsOpen(to)));
  });
  EXPECT_TRUE(shell.ui().SelectMenuItem(kMenuExit));
  ASSERT_EQ(events.size(), 2u);
  // First pause: From flag cleared, From still open. Second: From closed, To flag cleared.
  EXPECT_EQ(events[0], "pause from=0 fromOpen=1 to=1 toOpen=1");
  EXPECT_EQ(events[1], "pause from=0 fromOpen=0 to=0 toOpen=1");
  EXPECT_FALSE(FileIsOpen(to));
  EXPECT_TRUE(shell.ui().QuitRequested());
  // Exit changes no menu item and no text.
  EXPECT_TRUE(shell.ui().Dimmed(kMenuOpenTo));
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), "Ready");
}

TEST(ExitMenu, WithNoFileOpenQuitsAtOnce) {
  HeadlessShell shell;
  EXPECT_TRUE(shell.ui().SelectMenuItem(kMenuExit));
  EXPECT_TRUE(shell.Pauses().empty());
  EXPECT_TRUE(shell.ui().QuitRequested());
}

TEST(ExitMenu, RealPauseTakesAboutSixTenthsOfASecond) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("in.txt"), "Y");
  shell.OpenFrom(dir.Path("in.txt"));
  SetDelayHandler(nullptr);
  const auto start = std::chrono::steady_clock::now();
  shell.ui().SelectMenuItem(kMenuExit);
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(elapsed, 0.55);
}

TEST(FromFileMenu, OpenShowsThePathUndimsCloseAndAsksWithTheSpecifiedArguments) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("dump.txt"), "Y123");
  shell.OpenFrom(dir.Path("dump.txt"));
  const PopupRequest* popup = LastPopup(shell.ui());
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->kind, PopupRequest::Kind::FileSelect);
  EXPECT_EQ(popup->title, "Open From File");
  EXPECT_EQ(popup->defaultDirectory, "");
  EXPECT_EQ(popup->defaultFileSpec, "*.csv");
  EXPECT_EQ(popup->fileTypeList, "*.txt;*.*");
  EXPECT_EQ(FileFromOpen, 1);
  EXPECT_FALSE(shell.ui().Dimmed(kMenuCloseFrom));
  EXPECT_EQ(shell.ui().Text(kCtrlFromName), dir.Path("dump.txt"));
  EXPECT_STREQ(FileFromName, dir.Path("dump.txt").c_str());
  // No To file yet: the status is left as it was.
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), "Not Ready");
  EXPECT_TRUE(shell.Pauses().empty());
  char byte = 0;
  EXPECT_EQ(ReadFile(FileFromHandle, &byte, 1), 1);
  EXPECT_EQ(byte, 'Y');
}

TEST(FromFileMenu, CancelOrANewNameChangesNothing) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("a.txt"), "A");
  shell.OpenFrom(dir.Path("a.txt"));
  const int handle = FileFromHandle;
  shell.AnswerFileSelect(VAL_NO_FILE_SELECTED, "");
  shell.ui().SelectMenuItem(kMenuOpenFrom);
  shell.AnswerFileSelect(VAL_NEW_FILE_SELECTED, dir.Path("missing.txt"));
  shell.ui().SelectMenuItem(kMenuOpenFrom);
  EXPECT_EQ(FileFromHandle, handle);
  EXPECT_TRUE(FileIsOpen(handle));
  EXPECT_EQ(shell.ui().Text(kCtrlFromName), dir.Path("a.txt"));
  EXPECT_STREQ(FileFromName, dir.Path("a.txt").c_str());
  EXPECT_TRUE(shell.Pauses().empty());
  EXPECT_FALSE(zorq_test::FileExists(dir.Path("missing.txt")));
}

TEST(FromFileMenu, ReplacingAnOpenFileClosesTheOldOneAfterAPauseAndSaysReady) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("a.txt"), "A");
  WriteWholeFile(dir.Path("b.txt"), "B");
  shell.OpenToNew(dir.Path("out.csv"));
  shell.OpenFrom(dir.Path("a.txt"));
  SetCtrlAttribute(PanelHandle, kCtrlStatus, ATTR_CTRL_VAL, "Finished All");
  shell.OpenFrom(dir.Path("b.txt"));
  ASSERT_EQ(shell.Pauses().size(), 1u);
  char byte = 0;
  EXPECT_EQ(ReadFile(FileFromHandle, &byte, 1), 1);
  EXPECT_EQ(byte, 'B');
  EXPECT_EQ(shell.ui().Text(kCtrlFromName), dir.Path("b.txt"));
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), "Ready");
  EXPECT_FALSE(shell.ui().Dimmed(kMenuCloseFrom));
}

TEST(FromFileMenu, CloseClearsNameDimsItemAndSaysNotReadyOnlyWhenOpen) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("a.txt"), "A");
  SetCtrlAttribute(PanelHandle, kCtrlStatus, ATTR_CTRL_VAL, "Finished All");
  CloseFromFile(GetPanelMenuBar(PanelHandle), kMenuCloseFrom, nullptr, PanelHandle);
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), "Finished All");
  EXPECT_TRUE(shell.Pauses().empty());

  shell.OpenFrom(dir.Path("a.txt"));
  const int handle = FileFromHandle;
  shell.ui().SelectMenuItem(kMenuCloseFrom);
  EXPECT_EQ(FileFromOpen, 0);
  EXPECT_FALSE(FileIsOpen(handle));
  EXPECT_EQ(shell.Pauses().size(), 1u);
  EXPECT_TRUE(shell.ui().Dimmed(kMenuCloseFrom));
  EXPECT_EQ(shell.ui().Text(kCtrlFromName), "");
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), "Not Ready");
}

TEST(ToFileMenu, NewNameCreatesAnEmptyFileAndDimsOpenTo) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("a.txt"), "A");
  shell.OpenFrom(dir.Path("a.txt"));
  WriteWholeFile(dir.Path("out.csv"), "old contents");  // a "new" name that exists is truncated
  shell.OpenToNew(dir.Path("out.csv"));
  EXPECT_EQ(LastPopup(shell.ui())->title, "Open To File");
  EXPECT_EQ(ReadWholeFile(dir.Path("out.csv")), "");
  EXPECT_EQ(FileToOpen, 1);
  EXPECT_TRUE(shell.ui().Dimmed(kMenuOpenTo));
  EXPECT_FALSE(shell.ui().Dimmed(kMenuCloseTo));
  EXPECT_EQ(shell.ui().Text(kCtrlToName), dir.Path("out.csv"));
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), "Ready");
  EXPECT_EQ(WriteFile(FileToHandle, "xy", 2), 2);
  EXPECT_EQ(FlushFile(FileToHandle), 0);
  EXPECT_EQ(ReadWholeFile(dir.Path("out.csv")), "xy");
}

TEST(ToFileMenu, ExistingFileIsAppendedToOnYesAndUntouchedOnNo) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("out.csv"), "kept\r\n");

  shell.AnswerFileSelect(VAL_EXISTING_FILE_SELECTED, dir.Path("out.csv"));
  shell.AnswerConfirm(false);
  shell.ui().SelectMenuItem(kMenuOpenTo);
  const PopupRequest* confirm = LastPopup(shell.ui());
  ASSERT_NE(confirm, nullptr);
  EXPECT_EQ(confirm->kind, PopupRequest::Kind::Confirm);
  EXPECT_EQ(confirm->title, "Confirm Save File");
  EXPECT_EQ(confirm->message, "The file already exist\n Do you want to append to it?");
  EXPECT_EQ(FileToOpen, 0);
  EXPECT_FALSE(shell.ui().Dimmed(kMenuOpenTo));
  EXPECT_EQ(shell.ui().Text(kCtrlToName), "");
  EXPECT_STREQ(FileToName, "");

  shell.OpenToAppend(dir.Path("out.csv"));
  EXPECT_EQ(FileToOpen, 1);
  EXPECT_EQ(WriteFile(FileToHandle, "new", 3), 3);
  EXPECT_EQ(FlushFile(FileToHandle), 0);
  EXPECT_EQ(ReadWholeFile(dir.Path("out.csv")), "kept\r\nnew");
  // From not open: no "Ready".
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), "Not Ready");
}

TEST(ToFileMenu, CancelChangesNothing) {
  HeadlessShell shell;
  shell.AnswerFileSelect(VAL_NO_FILE_SELECTED, "");
  shell.ui().SelectMenuItem(kMenuOpenTo);
  EXPECT_EQ(FileToOpen, 0);
  EXPECT_FALSE(shell.ui().Dimmed(kMenuOpenTo));
  EXPECT_TRUE(shell.ui().Dimmed(kMenuCloseTo));
}

TEST(ToFileMenu, CloseAlwaysResetsTheMenuAndTextWithoutAPause) {
  HeadlessShell shell;
  TempDir dir;
  // With nothing open, every step but the close still runs.
  CloseToFile(GetPanelMenuBar(PanelHandle), kMenuCloseTo, nullptr, PanelHandle);
  EXPECT_FALSE(shell.ui().Dimmed(kMenuOpenTo));
  EXPECT_TRUE(shell.ui().Dimmed(kMenuCloseTo));
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), "Not Ready");

  shell.OpenToNew(dir.Path("out.csv"));
  const int handle = FileToHandle;
  shell.ui().SelectMenuItem(kMenuCloseTo);
  EXPECT_FALSE(FileIsOpen(handle));
  EXPECT_EQ(FileToOpen, 0);
  EXPECT_TRUE(shell.Pauses().empty());
  EXPECT_EQ(shell.ui().Text(kCtrlToName), "");
  EXPECT_FALSE(shell.ui().Dimmed(kMenuOpenTo));
  EXPECT_TRUE(shell.ui().Dimmed(kMenuCloseTo));
  // Open To File is selectable again.
  shell.OpenToNew(dir.Path("out2.csv"));
  EXPECT_EQ(FileToOpen, 1);
}

TEST(ToFileMenu, DimmedOpenToCannotOpenASecondFile) {
  HeadlessShell shell;
  TempDir dir;
  shell.OpenToNew(dir.Path("one.csv"));
  shell.AnswerFileSelect(VAL_NEW_FILE_SELECTED, dir.Path("two.csv"));
  EXPECT_FALSE(shell.ui().SelectMenuItem(kMenuOpenTo));
  EXPECT_FALSE(zorq_test::FileExists(dir.Path("two.csv")));
}

TEST(FileMenus, AFileThatCannotBeOpenedStillShowsAsOpenAsTheShellExpects) {
  HeadlessShell shell;
  TempDir dir;
  shell.OpenToNew(dir.Path("no-such-folder/out.csv"));
  EXPECT_EQ(FileToOpen, 1);
  EXPECT_FALSE(FileIsOpen(FileToHandle));
  EXPECT_LT(WriteFile(FileToHandle, "abc", 3), 3);
  char buffer[4];
  EXPECT_LT(ReadFile(FileToHandle, buffer, 4), 0);
}

// The Browse… buttons are their menu items (the To one only while that
// item is not dimmed); Convert > START CONVERT presses the button once.
TEST(ShellCommands, BrowseButtonsAndTheConvertMenuDoWhatTheirCounterpartsDo) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("in.txt"), zorq_test::WorkedLoggerDump());
  shell.AnswerFileSelect(VAL_EXISTING_FILE_SELECTED, dir.Path("in.txt"));
  shell.ui().Commit(kCtrlBrowseFrom);
  EXPECT_EQ(shell.ui().Text(kCtrlFromName), dir.Path("in.txt"));
  shell.AnswerFileSelect(VAL_NEW_FILE_SELECTED, dir.Path("out.csv"));
  shell.ui().Commit(kCtrlBrowseTo);
  EXPECT_EQ(shell.ui().Text(kCtrlToName), dir.Path("out.csv"));
  EXPECT_TRUE(shell.ui().Dimmed(kMenuOpenTo));
  shell.AnswerFileSelect(VAL_NEW_FILE_SELECTED, dir.Path("second.csv"));
  shell.ui().Commit(kCtrlBrowseTo);
  EXPECT_FALSE(zorq_test::FileExists(dir.Path("second.csv")));
  EXPECT_EQ(shell.ui().Text(kCtrlToName), dir.Path("out.csv"));

  shell.ui().SetValue(kCtrlFromType, 2);
  shell.ui().Commit(kCtrlFromType);
  ASSERT_TRUE(shell.ui().SelectMenuItem(kMenuStartConvert));
  EXPECT_EQ(shell.ui().IntValue(kCtrlStartConvert), 1);
  EXPECT_EQ(OKToConvert, 1);
  shell.ui().Tick();
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), "Finished All");
  EXPECT_EQ(ReadWholeFile(dir.Path("out.csv")), zorq_test::WorkedLoggerCsv());
  // Chosen again while the button is still down, it asks for nothing more.
  SetCtrlVal(PanelHandle, kCtrlStartConvert, 1);
  OKToConvert = 0;
  ASSERT_TRUE(shell.ui().SelectMenuItem(kMenuStartConvert));
  EXPECT_EQ(OKToConvert, 0);
}
