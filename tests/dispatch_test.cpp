// START CONVERT, the conversion timer and the dispatch, end to end on the
// headless panel: files opened through the menu, rings chosen, the request
// committed and carried out by a tick.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "convert/dispatch.h"
#include "runtime/files.h"
#include "tests/system_call_fakes.h"
#include "tests/test_support.h"

using zorq_test::CallSeen;
using zorq_test::FakeSystemCalls;
using zorq_test::HeadlessShell;
using zorq_test::ReadWholeFile;
using zorq_test::SystemCall;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

namespace {

constexpr const char* kFinished = "Finished All";
constexpr const char* kFileError = "File Error";
constexpr const char* kToTypeError = "Convert To File Type Error";

std::vector<PopupRequest> MessagePopups(HeadlessUi& ui) {
  std::vector<PopupRequest> messages;
  for (const PopupRequest& popup : ui.Popups()) {
    if (popup.kind == PopupRequest::Kind::Message)
      messages.push_back(popup);
  }
  return messages;
}

// The two worked examples, each with the rings that convert it.
struct WorkedCase {
  const char* name;
  std::string dump;
  int fromType;
  int toType;
  std::string csv;
};

std::vector<WorkedCase> WorkedCases() {
  return {
      {"logger", zorq_test::WorkedLoggerDump(), 2, 0, zorq_test::WorkedLoggerCsv()},
      {"gauge", zorq_test::WorkedGaugeDump(), 3, 1, zorq_test::WorkedGaugeCsv()},
  };
}

// Chooses the rings as the operator does (the From ring committed) and
// presses START CONVERT, without a tick.
void ChooseAndRequest(HeadlessUi& ui, int fromType, int toType) {
  ui.SetValue(kCtrlFromType, fromType);
  ui.Commit(kCtrlFromType);
  ui.SetValue(kCtrlToType, toType);
  ui.SetValue(kCtrlStartConvert, 1);
  ui.Commit(kCtrlStartConvert);
}

// A From file holding `dump` and a new, empty To file, both open.
struct OpenPair {
  OpenPair(HeadlessShell& shell, const std::string& dump) {
    WriteWholeFile(from, dump);
    shell.OpenFrom(from);
    shell.OpenToNew(to);
  }
  TempDir dir;
  std::string from = dir.Path("dump.txt");
  std::string to = dir.Path("out.csv");
};

// What one message popup saw of the panel while it was open.
struct SeenAtPopup {
  std::string title;
  std::string text;
  std::string statusLine;
  int convertState = -1;
  int sampleRate = -1;
  float staffScale = -1.0f;
};

// Takes over the popup responder (file popups are then cancelled) and
// records what each message popup saw of the panel while it was open.
// `whileOpen` runs inside the popup, as events arriving during it would.
class PopupWatcher {
 public:
  explicit PopupWatcher(HeadlessUi& ui, std::function<void()> whileOpen = nullptr)
      : whileOpen_(std::move(whileOpen)) {
    ui.SetPopupResponder([this, &ui](const PopupRequest& popup) {
      if (popup.kind == PopupRequest::Kind::Message) {
        seen_.push_back({popup.title, popup.message, ui.Text(kCtrlStatus), ConvertState,
                         FileSampleRate, StaffScale});
        if (whileOpen_)
          whileOpen_();
      }
      return PopupAnswer{};
    });
  }
  const std::vector<SeenAtPopup>& seen() const { return seen_; }

 private:
  std::function<void()> whileOpen_;
  std::vector<SeenAtPopup> seen_;
};

TEST(DispatchWorkedExamples, EachDumpConvertsToItsExactBytesAndTheRequestIsCarriedOutOnce) {
  for (const WorkedCase& c : WorkedCases()) {
    SCOPED_TRACE(c.name);
    HeadlessShell shell;
    OpenPair files(shell, c.dump);
    ASSERT_EQ(shell.ui().Text(kCtrlStatus), "Ready");
    ChooseAndRequest(shell.ui(), c.fromType, c.toType);
    EXPECT_EQ(ReadWholeFile(files.to), "") << "converted before the tick";
    shell.ui().Tick();
    EXPECT_EQ(shell.ui().Text(kCtrlStatus), kFinished);
    EXPECT_EQ(shell.ui().IntValue(kCtrlStartConvert), 0);
    EXPECT_EQ(ConvertState, 8);
    EXPECT_EQ(ReadWholeFile(files.to), c.csv);
    EXPECT_EQ(ReadWholeFile(files.from), c.dump);
    EXPECT_TRUE(MessagePopups(shell.ui()).empty());
    // Later ticks find no request; the files stay open.
    shell.ui().Tick();
    shell.ui().Tick();
    EXPECT_EQ(ReadWholeFile(files.to), c.csv);
    EXPECT_EQ(FileFromOpen, 1);
    EXPECT_EQ(FileToOpen, 1);
  }
}

TEST(DispatchWorkedExamples, MismatchedTypesShowTheTypeErrorAndChangeNeitherFile) {
  struct Case {
    int fromType;
    int toType;
    std::string dump;
  };
  const Case cases[] = {
      {1, 1, zorq_test::WorkedLoggerDump()},
      {2, 1, zorq_test::WorkedLoggerDump()},
      {3, 0, zorq_test::WorkedGaugeDump()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fromType << " to " << c.toType);
    HeadlessShell shell;
    TempDir dir;
    WriteWholeFile(dir.Path("dump.txt"), c.dump);
    WriteWholeFile(dir.Path("out.csv"), "earlier output\r\n");
    shell.OpenFrom(dir.Path("dump.txt"));
    shell.OpenToAppend(dir.Path("out.csv"));
    EXPECT_EQ(shell.Convert(c.fromType, c.toType), kToTypeError);
    EXPECT_EQ(ConvertState, 6);
    EXPECT_EQ(shell.ui().IntValue(kCtrlStartConvert), 0);
    EXPECT_EQ(ReadWholeFile(dir.Path("dump.txt")), c.dump);
    EXPECT_EQ(ReadWholeFile(dir.Path("out.csv")), "earlier output\r\n");
    EXPECT_TRUE(MessagePopups(shell.ui()).empty());
  }
}

TEST(DispatchWorkedExamples, SecondConversionIntoTheSameOpenFileFollowsTheFirst) {
  for (const WorkedCase& c : WorkedCases()) {
    SCOPED_TRACE(c.name);
    HeadlessShell shell;
    TempDir dir;
    WriteWholeFile(dir.Path("dump.txt"), c.dump);
    WriteWholeFile(dir.Path("out.csv"), "kept\r\n");
    shell.OpenFrom(dir.Path("dump.txt"));
    shell.OpenToAppend(dir.Path("out.csv"));
    EXPECT_EQ(shell.Convert(c.fromType, c.toType), kFinished);
    // Moving the To file pointer back must not make the next output overwrite.
    SetFilePtr(FileToHandle, 0, VAL_START_OF_FILE);
    EXPECT_EQ(shell.Convert(c.fromType, c.toType), kFinished);
    EXPECT_EQ(ReadWholeFile(dir.Path("out.csv")), "kept\r\n" + c.csv + c.csv);
  }
}

TEST(DispatchRequest, RingsAreReadAtTheConversionNotAtTheirLastCommit) {
  HeadlessShell shell;
  OpenPair files(shell, zorq_test::WorkedGaugeDump());
  shell.ui().SetValue(kCtrlFromType, 1);
  shell.ui().Commit(kCtrlFromType);
  EXPECT_EQ(SelectFromType, 1);
  // Changed without a commit: the dispatch reads the rings itself.
  shell.ui().SetValue(kCtrlFromType, 3);
  shell.ui().SetValue(kCtrlToType, 1);
  shell.ui().SetValue(kCtrlStartConvert, 1);
  shell.ui().Commit(kCtrlStartConvert);
  shell.ui().Tick();
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), kFinished);
  EXPECT_EQ(SelectFromType, 3);
  EXPECT_EQ(SelectToType, 1);
  EXPECT_EQ(ReadWholeFile(files.to), zorq_test::WorkedGaugeCsv());
}

TEST(DispatchRequest, FromTypeOutsideOneToThreeConvertsNothingAndSaysReady) {
  for (int fromType : {0, 4, -1, 99}) {
    SCOPED_TRACE(fromType);
    HeadlessShell shell;
    OpenPair files(shell, zorq_test::WorkedGaugeDump());
    EXPECT_EQ(shell.Convert(3, 0), kToTypeError);  // leaves another text to replace
    EXPECT_EQ(shell.Convert(fromType, 1), "Ready");
    EXPECT_EQ(ConvertState, 0);
    EXPECT_EQ(shell.ui().IntValue(kCtrlStartConvert), 0);
    EXPECT_EQ(ReadWholeFile(files.to), "");
    EXPECT_TRUE(MessagePopups(shell.ui()).empty());
  }
}

TEST(DispatchRequest, WithdrawnRequestConvertsNothingAndLeavesTheStatus) {
  HeadlessShell shell;
  OpenPair files(shell, zorq_test::WorkedGaugeDump());
  EXPECT_EQ(shell.Convert(3, 0), kToTypeError);
  shell.ui().SetValue(kCtrlToType, 1);
  shell.ui().SetValue(kCtrlStartConvert, 1);
  shell.ui().Commit(kCtrlStartConvert);
  EXPECT_EQ(OKToConvert, 1);
  shell.ui().SetValue(kCtrlStartConvert, 0);
  shell.ui().Commit(kCtrlStartConvert);
  EXPECT_EQ(OKToConvert, 0);
  shell.ui().Tick();
  shell.ui().Tick();
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), kToTypeError);
  EXPECT_EQ(ReadWholeFile(files.to), "");
  EXPECT_TRUE(MessagePopups(shell.ui()).empty());
}

TEST(DispatchRequest, EventsOtherThanCommitRightClickAndTickDoNothing) {
  HeadlessShell shell;
  OpenPair files(shell, zorq_test::WorkedGaugeDump());
  shell.ui().SetValue(kCtrlFromType, 3);
  shell.ui().SetValue(kCtrlToType, 1);
  shell.ui().SetValue(kCtrlStartConvert, 1);
  for (int event : {0, 2, 3, 11, 15})
    StartConvert(PanelHandle, kCtrlStartConvert, event, nullptr, 0, 0);
  EXPECT_EQ(OKToConvert, 0);
  shell.ui().Commit(kCtrlStartConvert);
  for (int event : {0, 1, 5, 11})
    ConvertTimer(PanelHandle, kCtrlTimer, event, nullptr, 0, 0);
  EXPECT_EQ(OKToConvert, 1);
  EXPECT_EQ(ReadWholeFile(files.to), "");
  EXPECT_EQ(shell.ui().Popups().size(), 2u);  // the two file popups only
}

TEST(DispatchRequest, RightClickShowsOnlyTheHelpAndLeavesAPendingRequestPending) {
  HeadlessShell shell;
  OpenPair files(shell, zorq_test::WorkedGaugeDump());
  shell.ui().RightClick(kCtrlStartConvert);
  EXPECT_EQ(OKToConvert, 0);
  ChooseAndRequest(shell.ui(), 3, 1);
  shell.ui().ClearPopups();
  shell.ui().RightClick(kCtrlStartConvert);
  ASSERT_EQ(shell.ui().Popups().size(), 1u);
  const PopupRequest& help = shell.ui().Popups()[0];
  EXPECT_EQ(help.kind, PopupRequest::Kind::Message);
  EXPECT_EQ(help.title, "START CONVERT");
  EXPECT_EQ(help.message,
            " Sample Rate and Staff Length are extracted from the From File Header./n");
  EXPECT_EQ(OKToConvert, 1);
  EXPECT_EQ(shell.ui().IntValue(kCtrlStartConvert), 1);
  EXPECT_EQ(ReadWholeFile(files.to), "");
  shell.ui().Tick();
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), kFinished);
  EXPECT_EQ(ReadWholeFile(files.to), zorq_test::WorkedGaugeCsv());
}

TEST(DispatchFileError, MissingFileShowsThePopupBeforeTheStatusAndResetsTheStartingValues) {
  enum Open { kNone, kFromOnly, kToOnly };
  for (Open open : {kNone, kFromOnly, kToOnly}) {
    SCOPED_TRACE(open);
    HeadlessShell shell;
    TempDir dir;
    WriteWholeFile(dir.Path("dump.txt"), zorq_test::WorkedGaugeDump());
    if (open == kFromOnly)
      shell.OpenFrom(dir.Path("dump.txt"));
    if (open == kToOnly)
      shell.OpenToNew(dir.Path("out.csv"));
    SetCtrlAttribute(PanelHandle, kCtrlStatus, ATTR_CTRL_VAL, "earlier");
    PopupWatcher watcher(shell.ui());
    const std::vector<SeenAtPopup>& seen = watcher.seen();
    // Left over from an earlier conversion.
    ConvertState = 8;
    FileSampleRate = 50;
    StaffScale = 7.5f;
    ChooseAndRequest(shell.ui(), 3, 1);
    shell.ui().Tick();
    ASSERT_EQ(seen.size(), 1u);
    const SeenAtPopup& popup = seen[0];
    EXPECT_EQ(popup.title, "CONVERT ERROR");
    EXPECT_EQ(popup.text, " Select File then Open From File and To File.");
    EXPECT_EQ(popup.statusLine, "earlier") << "status written before the popup was dismissed";
    EXPECT_EQ(popup.convertState, 1);
    EXPECT_EQ(popup.sampleRate, 1);
    EXPECT_EQ(popup.staffScale, 1.0f);
    EXPECT_EQ(shell.ui().Text(kCtrlStatus), kFileError);
    EXPECT_EQ(shell.ui().IntValue(kCtrlStartConvert), 0);
    EXPECT_EQ(OKToConvert, 0);
    if (open == kToOnly) {
      EXPECT_EQ(ReadWholeFile(dir.Path("out.csv")), "");
    }
  }
}

TEST(DispatchFileError, SameFileAsFromAndToIsRefusedBeforeAnythingIsReadOrWritten) {
  enum Route { kSamePath, kHardLink, kSymlink };
  for (Route route : {kSamePath, kHardLink, kSymlink}) {
    SCOPED_TRACE(route);
    HeadlessShell shell;
    TempDir dir;
    const std::string dump = zorq_test::WorkedGaugeDump();
    const std::string from = dir.Path("dump.txt");
    WriteWholeFile(from, dump);
    std::string to = from;
    if (route == kHardLink) {
      to = dir.Path("hard.txt");
      ASSERT_EQ(::link(from.c_str(), to.c_str()), 0);
    } else if (route == kSymlink) {
      to = dir.Path("soft.txt");
      ASSERT_EQ(::symlink(from.c_str(), to.c_str()), 0);
    }
    shell.OpenFrom(from);
    shell.OpenToAppend(to);
    int writes = 0;
    // Reading a file while appending to it never ends: cut such a run short.
    constexpr int kRunaway = 100;
    FakeSystemCalls fakes;
    fakes.fault = [](const CallSeen& seen) {
      return seen.call == SystemCall::Read && seen.indexOfKind >= kRunaway ? EIO : 0;
    };
    SetWriteFaultHook([&writes](long) { return ++writes > kRunaway; });
    PopupWatcher watcher(shell.ui());
    const std::vector<SeenAtPopup>& seen = watcher.seen();
    ChooseAndRequest(shell.ui(), 3, 1);
    shell.ui().Tick();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, "CONVERT ERROR");
    EXPECT_EQ(seen[0].text, kSameFileText);
    EXPECT_EQ(shell.ui().Text(kCtrlStatus), kFileError);
    EXPECT_EQ(shell.ui().IntValue(kCtrlStartConvert), 0);
    EXPECT_EQ(fakes.Count(SystemCall::Read), 0);
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(ReadWholeFile(from), dump);
    // Both files stay open, as after every outcome.
    EXPECT_EQ(FileFromOpen, 1);
    EXPECT_EQ(FileToOpen, 1);
  }
}

TEST(DispatchFileError, TicksWhileTheErrorPopupIsOpenDoNotDispatchAgain) {
  HeadlessShell shell;
  int ticksDelivered = 0;
  int popups = 0;
  PopupWatcher watcher(shell.ui(), [&] {
    // Only the first popup ticks, so a second dispatch would show up as a
    // second popup rather than as endless recursion.
    if (++popups != 1)
      return;
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(OKToConvert, 1) << "cleared before the dispatch returned";
      shell.ui().Tick();
      ++ticksDelivered;
    }
  });
  const std::vector<SeenAtPopup>& seen = watcher.seen();
  ChooseAndRequest(shell.ui(), 3, 1);
  shell.ui().Tick();
  EXPECT_EQ(ticksDelivered, 3);
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(OKToConvert, 0);
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), kFileError);
  shell.ui().Tick();
  EXPECT_EQ(seen.size(), 1u);
}

TEST(DispatchFileError, FailedReadMidFileEndsWithFileErrorAndItsOwnPopup) {
  for (const WorkedCase& c : WorkedCases()) {
    SCOPED_TRACE(c.name);
    HeadlessShell shell;
    OpenPair files(shell, c.dump);
    // One read(2) per 1024-byte block: the header block reads; the next
    // read fails.
    FakeSystemCalls fakes;
    fakes.readLimit = 1024;
    fakes.fault = zorq_test::FailCallOfKind(SystemCall::Read, 1, EIO);
    PopupWatcher watcher(shell.ui());
    const std::vector<SeenAtPopup>& seen = watcher.seen();
    ChooseAndRequest(shell.ui(), c.fromType, c.toType);
    shell.ui().Tick();
    EXPECT_EQ(fakes.Count(SystemCall::Read), 2);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, "CONVERT ERROR");
    EXPECT_EQ(seen[0].text, kReadFailedText);
    EXPECT_EQ(shell.ui().Text(kCtrlStatus), kFileError);
    EXPECT_EQ(shell.ui().IntValue(kCtrlStartConvert), 0);
  }
}

TEST(DispatchConversion, EveryConversionStartsFromTheResetValuesWithFilesRepositioned) {
  for (const WorkedCase& c : WorkedCases()) {
    SCOPED_TRACE(c.name);
    HeadlessShell shell;
    OpenPair files(shell, c.dump);
    EXPECT_EQ(shell.Convert(c.fromType, c.toType), kFinished);
    const std::string firstOutput = ReadWholeFile(files.to);
    // Leave the From file at its end and stale values behind.
    char scratch[64];
    while (ReadFile(FileFromHandle, scratch, sizeof scratch) > 0) {
    }
    ConvertState = 3;
    FileSampleRate = 77;
    StaffScale = 9.0f;
    struct Seen {
      int state = -1;
      int rate = -1;
      float scale = -1.0f;
      bool seen = false;
    } atFirstRead;
    FakeSystemCalls fakes;  // only the From file is read
    fakes.fault = [&atFirstRead](const CallSeen& seen) {
      if (seen.call == SystemCall::Read && !atFirstRead.seen) {
        atFirstRead = {ConvertState, FileSampleRate, StaffScale, true};
      }
      return 0;
    };
    EXPECT_EQ(shell.Convert(c.fromType, c.toType), kFinished);
    ASSERT_TRUE(atFirstRead.seen);
    EXPECT_EQ(atFirstRead.state, 0);
    EXPECT_EQ(atFirstRead.rate, 1);
    EXPECT_EQ(atFirstRead.scale, 1.0f);
    EXPECT_EQ(ReadWholeFile(files.to), firstOutput + firstOutput);
  }
}

TEST(DispatchConversion, ToFileThatTakesNoBytesEndsWithWriteError) {
  if (!zorq_test::FileExists("/dev/full"))
    GTEST_SKIP() << "no /dev/full here";
  for (const WorkedCase& c : WorkedCases()) {
    SCOPED_TRACE(c.name);
    HeadlessShell shell;
    TempDir dir;
    WriteWholeFile(dir.Path("dump.txt"), c.dump);
    shell.OpenFrom(dir.Path("dump.txt"));
    shell.OpenToAppend("/dev/full");
    EXPECT_EQ(shell.Convert(c.fromType, c.toType), "Write to File Error");
    EXPECT_EQ(shell.ui().IntValue(kCtrlStartConvert), 0);
    EXPECT_TRUE(MessagePopups(shell.ui()).empty());
  }
}

}  // namespace
