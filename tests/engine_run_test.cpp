// Running conversions: progress, cancel (the To file cut back), two at once
// in two threads, and the one dispatch the panel and the command line share.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/shell.h"
#include "convert/dispatch.h"
#include "convert/engine.h"
#include "convert/status.h"
#include "runtime/caltime.h"
#include "runtime/files.h"
#include "tests/engine_support.h"

namespace {

using namespace zorq_test;

ConversionRequest RequestFor(int fromType) {
  ConversionRequest request;
  request.fromType = fromType;
  request.toType = fromType == 3 ? 1 : 0;
  return request;
}

const std::string& LoggerDump() {
  static const std::string dump = LongLoggerDump(3 << 20);
  return dump;
}
const std::string& GaugeDump() {
  static const std::string dump = LongGaugeDump(3 << 20);
  return dump;
}

// --- Progress ---

TEST(EngineProgress, ToldEvery64KiBInOrderAndOnceAtTheEndWithTheSize) {
  for (const int fromType : {2, 3}) {
    SCOPED_TRACE(fromType);
    const std::string& dump = fromType == 3 ? GaugeDump() : LoggerDump();
    std::vector<std::pair<int64_t, int64_t>> calls;
    ConversionRequest request = RequestFor(fromType);
    request.progress = [&calls](int64_t read, int64_t size) { calls.emplace_back(read, size); };
    const EngineRun run = RunEngine(dump, request);
    EXPECT_EQ(run.result.status, kStatusFinished);
    const int64_t size = static_cast<int64_t>(dump.size());
    ASSERT_GE(calls.size(), static_cast<size_t>(size / (4 << 20)) + 1);
    EXPECT_GE(calls.size(), static_cast<size_t>(size / (64 << 10)));
    for (size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i].second, size);
      const int64_t before = i == 0 ? 0 : calls[i - 1].first;
      const int64_t step = calls[i].first - before;
      EXPECT_LE(step, 4 << 20);
      // Only the last call may follow the one before by less than 64 KiB.
      if (i + 1 < calls.size())
        EXPECT_GE(step, 64 << 10) << "call " << i;
      else
        EXPECT_GE(step, 0);
    }
    EXPECT_EQ(calls.back().first, size);
  }
}

// --- Cancel ---

TEST(EngineCancel, ACancelledConversionLeavesTheToFileAsItWas) {
  for (const int fromType : {2, 3}) {
    for (const std::string& prior : {std::string(), std::string("kept\r\nand more\r\n")}) {
      for (const int stopAt : {1, 3, 20, 40}) {
        SCOPED_TRACE(std::to_string(fromType) + (prior.empty() ? " new" : " appended") +
                     ", cancelled at call " + std::to_string(stopAt));
        int asked = 0;
        ConversionRequest request = RequestFor(fromType);
        request.cancelRequested = [&asked, stopAt] { return ++asked == stopAt; };
        const EngineRun run = RunEngine(fromType == 3 ? GaugeDump() : LoggerDump(), request, prior);
        EXPECT_TRUE(run.result.cancelled);
        EXPECT_EQ(run.result.status, kStatusReady);  // not one of the status codes
        EXPECT_FALSE(run.result.report.failed);
        EXPECT_EQ(asked, stopAt);
        EXPECT_EQ(run.toFile, prior);
        EXPECT_EQ(run.result.report.bytesWritten, 0);
        EXPECT_EQ(run.result.report.bytesRead, int64_t{64 << 10} * stopAt);
        // Nothing is told about the end of a dump it never reached.
        EXPECT_EQ(
            run.result.report.anomalyCounts[static_cast<size_t>(AnomalyKind::PartialRecordDropped)],
            0);
      }
    }
  }
}

TEST(EngineCancel, ACancelThatNeverComesChangesNothing) {
  ConversionRequest request = RequestFor(2);
  int asked = 0;
  request.cancelRequested = [&asked] {
    ++asked;
    return false;
  };
  const EngineRun asking = RunEngine(LoggerDump(), request);
  const EngineRun plain = RunEngine(LoggerDump(), RequestFor(2));
  EXPECT_FALSE(asking.result.cancelled);
  EXPECT_EQ(asking.result.status, kStatusFinished);
  EXPECT_EQ(asking.output, plain.output);
  EXPECT_EQ(asked, static_cast<int>(LoggerDump().size() / (64 << 10)));
}

// --- Two at once ---

bool SameReport(const ConversionReport& a, const ConversionReport& b) {
  return a.anomalies == b.anomalies && a.linesRead == b.linesRead &&
         a.commaLinesSkipped == b.commaLinesSkipped && a.shortLinesSkipped == b.shortLinesSkipped &&
         a.dateStampLines == b.dateStampLines && a.dataLines == b.dataLines &&
         a.recordsWritten == b.recordsWritten && a.bytesRead == b.bytesRead &&
         a.bytesWritten == b.bytesWritten && a.firstRecordTime == b.firstRecordTime &&
         a.lastRecordTime == b.lastRecordTime && a.failed == b.failed &&
         a.failure.line == b.failure.line && a.failure.reason == b.failure.reason &&
         a.anomalyCounts == b.anomalyCounts;
}

// Dumps with anomalies of several kinds, so that the reports have something
// to differ in.
std::string WithFaults(std::string dump) {
  const size_t at = dump.find("\r\n", dump.size() / 2) + 2;
  dump.insert(at, "1,2,x,\r\n");
  return dump + "1,2";
}

TEST(EngineThreads, TwoConversionsAtOnceGiveWhatTheyGiveOneAfterTheOther) {
  const std::string logger = WithFaults(LoggerDump());
  const std::string gauge = WithFaults(GaugeDump());
  std::string type1 = logger;
  type1.replace(41, 7, "A3,C0  ");  // a type 1 header
  struct Job {
    const std::string* dump;
    int fromType;
    Correction correction;
  };
  const Job logger2{&logger, 2, {}};
  const Job logger1{&type1, 1, Correction{true, 2.0, -0.5}};
  const Job gauge3{&gauge, 3, {}};
  const std::pair<Job, Job> pairs[] = {{logger2, gauge3}, {logger2, logger1}, {gauge3, gauge3}};
  const auto run = [](const Job& job) {
    ConversionRequest request = RequestFor(job.fromType);
    request.correction = job.correction;
    // A zone with changes of offset: each conversion keeps its own spans.
    request.zone = Zone::Named("Europe/Berlin").value();
    return RunEngine(*job.dump, request);
  };
  for (const auto& [first, second] : pairs) {
    SCOPED_TRACE(std::to_string(first.fromType) + " with " + std::to_string(second.fromType));
    const EngineRun alone1 = run(first);
    const EngineRun alone2 = run(second);
    EngineRun together1;
    EngineRun together2;
    std::thread other([&] { together2 = run(second); });
    together1 = run(first);
    other.join();
    EXPECT_EQ(alone1.result.status, kStatusFinished);
    EXPECT_EQ(alone2.result.status, kStatusFinished);
    EXPECT_EQ(together1.result.status, alone1.result.status);
    EXPECT_EQ(together2.result.status, alone2.result.status);
    EXPECT_TRUE(together1.output == alone1.output);
    EXPECT_TRUE(together2.output == alone2.output);
    EXPECT_TRUE(SameReport(together1.result.report, alone1.result.report));
    EXPECT_TRUE(SameReport(together2.result.report, alone2.result.report));
    EXPECT_GT(alone1.result.report.anomalies.size(), 0u);
  }
}

// --- The dispatch ---

class EngineDispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteWholeFile(dir_.Path("dump.txt"), WorkedGaugeDump());
    WriteWholeFile(dir_.Path("out.csv"), "kept\r\n");
    from_ = OpenFile(dir_.Path("dump.txt").c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    to_ = OpenFile(dir_.Path("out.csv").c_str(), VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  }
  void TearDown() override {
    CloseFile(from_);
    CloseFile(to_);
  }
  DispatchRequest Request(int fromType, int toType) const {
    DispatchRequest request;
    request.fromOpen = request.toOpen = true;
    request.from = SourceOfHandle(from_);
    request.to = SinkOfHandle(to_);
    request.fromType = fromType;
    request.toType = toType;
    return request;
  }
  std::string Output() { return ReadWholeFile(dir_.Path("out.csv")); }

  TempDir dir_;
  int from_ = 0;
  int to_ = 0;
};

TEST_F(EngineDispatch, ChecksChoosesConvertsAndFlushes) {
  DispatchRequest closed = Request(3, 1);
  closed.toOpen = false;
  const DispatchOutcome notOpen = DispatchConversion(closed);
  EXPECT_EQ(notOpen.status, kStatusFileError);
  EXPECT_STREQ(notOpen.popupText, kSelectFilesText);
  EXPECT_FALSE(notOpen.converterRan);

  DispatchRequest same = Request(3, 1);
  const int sameHandle = OpenFile(dir_.Path("dump.txt").c_str(), VAL_WRITE_ONLY, VAL_OPEN_AS_IS, 0);
  same.to = SinkOfHandle(sameHandle);
  const DispatchOutcome sameFile = DispatchConversion(same);
  CloseFile(sameHandle);
  EXPECT_EQ(sameFile.status, kStatusFileError);
  EXPECT_STREQ(sameFile.popupText, kSameFileText);

  const DispatchOutcome wrongTo = DispatchConversion(Request(3, 0));
  EXPECT_EQ(wrongTo.status, kStatusToTypeError);
  EXPECT_EQ(wrongTo.result.report.failure.reason,
            "From type 3 (gauge dump) goes with To type 1 (gauge CSV), not To type 0 (logger CSV)");
  EXPECT_EQ(DispatchConversion(Request(4, 1)).status, kStatusReady);
  EXPECT_EQ(Output(), "kept\r\n");

  const DispatchOutcome done = DispatchConversion(Request(3, 1));
  EXPECT_TRUE(done.converterRan);
  EXPECT_EQ(done.status, kStatusFinished);
  EXPECT_EQ(done.popupText, nullptr);
  // Flushed by the dispatch, with the file still open.
  EXPECT_EQ(Output(), "kept\r\n" + WorkedGaugeCsv());
}

TEST_F(EngineDispatch, ACancelledDispatchSaysSoAndKeepsTheToFile) {
  WriteWholeFile(dir_.Path("big.txt"), GaugeDump());
  DispatchRequest request = Request(3, 1);
  CloseFile(from_);
  from_ = OpenFile(dir_.Path("big.txt").c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  request.from = SourceOfHandle(from_);
  request.cancelRequested = [] { return true; };
  const DispatchOutcome outcome = DispatchConversion(request);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_TRUE(outcome.converterRan);
  EXPECT_EQ(outcome.status, kStatusReady);
  EXPECT_EQ(outcome.popupText, nullptr);
  EXPECT_EQ(Output(), "kept\r\n");
  // The next conversion into the same open file goes after what it held.
  request.cancelRequested = nullptr;
  const int again = OpenFile(dir_.Path("dump.txt").c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, 0);
  request.from = SourceOfHandle(again);
  EXPECT_EQ(DispatchConversion(request).status, kStatusFinished);
  CloseFile(again);
  EXPECT_EQ(Output(), "kept\r\n" + WorkedGaugeCsv());
}

}  // namespace
