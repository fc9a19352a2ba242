// What the shell hands the panel around its callbacks, on the headless
// backend: the progress and cancel of a conversion, the report in words,
// the kind of the From file, a dropped file and the preview offered.
#include "desktop/feedback.h"

#include <gtest/gtest.h>

#include <atomic>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "app/shell.h"
#include "tests/test_support.h"

using zorq_test::HeadlessShell;
using zorq_test::ReadWholeFile;
using zorq_test::TempDir;
using zorq_test::WorkedGaugeDump;
using zorq_test::WorkedLoggerCsv;
using zorq_test::WorkedLoggerDump;
using zorq_test::WriteWholeFile;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST(ShellFeedback, ACancelledConversionLeavesTheToFileAsItWasAndReadsCancelled) {
  HeadlessShell shell;
  PrepareShellAdditions();
  TempDir dir;
  const std::string dump = zorq_test::RepeatedWorkedLoggerDump(20000);  // about 5 MB
  WriteWholeFile(dir.Path("dump.txt"), dump);
  WriteWholeFile(dir.Path("out.csv"), "what was there\r\n");
  shell.OpenFrom(dir.Path("dump.txt"));
  shell.OpenToAppend(dir.Path("out.csv"));
  shell.additions().CancelWhen([](int64_t done) { return done >= 1 << 20; });
  EXPECT_EQ(shell.Convert(2, 0), kCancelledText);
  EXPECT_EQ(ReadWholeFile(dir.Path("out.csv")), "what was there\r\n");
  ASSERT_EQ(shell.additions().ProgressRuns().size(), 1u);
  const auto& run = shell.additions().ProgressRuns()[0];
  EXPECT_EQ(run.title, kConvertingTitle);
  EXPECT_GT(run.reports, 1);
  EXPECT_EQ(run.lastTotal, static_cast<int64_t>(dump.size()));
  EXPECT_LT(run.lastDone, static_cast<int64_t>(dump.size()));
  EXPECT_TRUE(Contains(shell.additions().ConversionDetails(), "Outcome: Cancelled"))
      << shell.additions().ConversionDetails();
  EXPECT_FALSE(shell.additions().OfferedPreview());

  // The same request once more, not cancelled: one dispatch, progress to the end.
  shell.additions().CancelWhen(nullptr);
  EXPECT_EQ(shell.Convert(2, 0), "Finished All");
  ASSERT_EQ(shell.additions().ProgressRuns().size(), 2u);
  EXPECT_EQ(shell.additions().ProgressRuns()[1].lastDone, static_cast<int64_t>(dump.size()));
  EXPECT_GT(ReadWholeFile(dir.Path("out.csv")).size(), dump.size());
  // No file open: no progress to show, the status and popup as ever.
  shell.ui().SelectMenuItem(kMenuCloseTo);
  EXPECT_EQ(shell.Convert(2, 0), "File Error");
  EXPECT_EQ(shell.additions().ProgressRuns().size(), 2u);
}

TEST(ShellFeedback, TheDetailsNameTheAnomaliesAndTheFailureWithTheirLines) {
  HeadlessShell shell;
  TempDir dir;
  std::string odd = WorkedLoggerDump();
  odd.replace(odd.find("2050"), 4, "22x1");  // line 3
  WriteWholeFile(dir.Path("odd.txt"), odd);
  shell.OpenFrom(dir.Path("odd.txt"));
  shell.OpenToNew(dir.Path("odd.csv"));
  EXPECT_EQ(shell.Convert(2, 0), "Finished All");
  const std::string details = shell.additions().ConversionDetails();
  EXPECT_TRUE(Contains(details, "Outcome: Finished All")) << details;
  EXPECT_TRUE(Contains(details, "Records written: 2, 2019-06-30T14:05:30 to 2019-06-30T14:05:45"))
      << details;
  EXPECT_TRUE(Contains(details, "Bytes: ")) << details;
  EXPECT_TRUE(Contains(details, "line 3 (byte 89): not-a-number")) << details;
  EXPECT_FALSE(Contains(details, "Stopped at")) << details;

  // A date stamp cut short on line 2: the status as ever, the sentence and
  // the line in the details.
  const std::string worked = WorkedLoggerDump();
  std::string cut = worked.substr(0, 63) + "Y19,M06,D30,H14\r\n" + worked.substr(63 + 26);
  WriteWholeFile(dir.Path("cut.txt"), cut);
  shell.OpenFrom(dir.Path("cut.txt"));
  const std::string status = shell.Convert(2, 0);
  EXPECT_NE(status, "Finished All");
  const std::string failed = shell.additions().ConversionDetails();
  EXPECT_TRUE(Contains(failed, "Outcome: " + status)) << failed;
  EXPECT_TRUE(Contains(failed, "Stopped at line 2 (byte 63): ")) << failed;
}

TEST(ShellFeedback, OpeningOrDroppingAFromFileSaysWhatItsHeaderLooksLike) {
  HeadlessShell shell;
  PrepareShellAdditions();
  TempDir dir;
  WriteWholeFile(dir.Path("logger.txt"), WorkedLoggerDump());
  WriteWholeFile(dir.Path("gauge.txt"), WorkedGaugeDump());
  WriteWholeFile(dir.Path("notes.txt"), "shopping list\r\n");
  struct Case {
    const char* file;
    const char* kind;
    int fits;
  };
  for (const Case& c :
       {Case{"logger.txt", "logger dump, type 2", 2}, Case{"gauge.txt", "gauge dump", 3},
        Case{"notes.txt", "not a dump this program knows", 0}}) {
    SCOPED_TRACE(c.file);
    shell.OpenFrom(dir.Path(c.file));
    EXPECT_EQ(shell.additions().FromFilePath(), dir.Path(c.file));
    EXPECT_EQ(shell.additions().FromFileKind(), c.kind);
    EXPECT_EQ(shell.additions().FittingFromType(), c.fits);
  }
  // The ring is never changed by the look.
  EXPECT_EQ(shell.ui().IntValue(kCtrlFromType), 1);

  // A drop goes through Open From File: the same popup, the same steps.
  shell.OpenToNew(dir.Path("out.csv"));
  shell.ui().ClearPopups();
  EXPECT_TRUE(shell.additions().DropFile(dir.Path("gauge.txt")));
  ASSERT_EQ(shell.ui().Popups().size(), 1u);
  EXPECT_EQ(shell.ui().Popups()[0].title, "Open From File");
  EXPECT_EQ(FileFromOpen, 1);
  EXPECT_EQ(shell.ui().Text(kCtrlFromName), dir.Path("gauge.txt"));
  EXPECT_EQ(shell.ui().Text(kCtrlStatus), "Ready");
  EXPECT_EQ(shell.additions().FromFileKind(), "gauge dump");
  EXPECT_EQ(shell.Pauses().size(), 3u);  // the open From file closed first, as ever
  // A dropped name that is no file changes nothing, as a typed one would.
  EXPECT_TRUE(shell.additions().DropFile(dir.Path("missing.txt")));
  EXPECT_EQ(shell.ui().Text(kCtrlFromName), dir.Path("gauge.txt"));

  shell.ui().SelectMenuItem(kMenuCloseFrom);
  EXPECT_EQ(shell.additions().FromFilePath(), "");
  EXPECT_EQ(shell.additions().FromFileKind(), "");
}

TEST(ShellFeedback, ThePreviewOfferedReadsOnlyWhatTheLastConversionWrote) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("dump.txt"), WorkedLoggerDump());
  shell.OpenFrom(dir.Path("dump.txt"));
  shell.OpenToNew(dir.Path("out.csv"));
  std::atomic<bool> stop{false};
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(shell.Convert(2, 0), "Finished All");
    ASSERT_TRUE(shell.additions().OfferedPreview());
    EXPECT_EQ(shell.additions().PreviewTitle(), "Logger readings");
    const PreviewSeries series = shell.additions().OfferedPreview()(stop);
    EXPECT_EQ(series.envelope.Points(), 63);  // this conversion's records only
    EXPECT_FLOAT_EQ(series.envelope.MaxY(), 4.0f);
  }
  EXPECT_EQ(ReadWholeFile(dir.Path("out.csv")), WorkedLoggerCsv() + WorkedLoggerCsv());
  // A refused request and a conversion that wrote nothing withdraw the offer.
  EXPECT_EQ(shell.Convert(2, 1), "Convert To File Type Error");
  EXPECT_FALSE(shell.additions().OfferedPreview());
  EXPECT_EQ(shell.Convert(2, 0), "Finished All");
  EXPECT_TRUE(shell.additions().OfferedPreview());
  EXPECT_EQ(shell.Convert(3, 1), "Convert From File Type Error");
  EXPECT_FALSE(shell.additions().OfferedPreview());
}
