// Conversions under faults, driven through the panel as an operator would:
// a record write that fails at every point of a small gauge and logger
// conversion; on the production write path, every system call of a
// conversion failing, interrupted or moving fewer bytes in turn; reads that
// fail at the header and mid-file; To and From files that cannot be used;
// and dumps no instrument would write. Every case must end with a defined
// status, keep what the To file held, and not hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/shared_state.h"
#include "convert/status.h"
#include "runtime/files.h"
#include "runtime/numbers.h"
#include "tests/system_call_fakes.h"
#include "tests/test_support.h"

using zorq_test::CallSeen;
using zorq_test::FailCall;
using zorq_test::FailCallOfKind;
using zorq_test::FakeSystemCalls;
using zorq_test::HeadlessShell;
using zorq_test::ReadWholeFile;
using zorq_test::SystemCall;
using zorq_test::SystemCallName;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

namespace {

// What the To file holds before every conversion here; it must stay in
// front, byte for byte.
const std::string kPrior = "earlier output\r\nlast line without its end";

constexpr int kGauge = 3;
constexpr int kGaugeCsv = 1;
constexpr int kLogger = 2;
constexpr int kLoggerCsv = 0;

struct Outcome {
  int state = -1;
  std::string status;               // the status line
  std::string output;               // what follows kPrior in the To file
  std::vector<long> writes;         // count asked for by each record write on the To file
  int reads = 0;                    // read(2) calls, one per 1024-byte block of the From file
  int writeCalls = 0;               // write(2) calls
  std::vector<std::string> popups;  // message popups shown
  std::vector<CallSeen> faultsMet;  // system calls that failed
  int64_t bytesWritten = -1;        // as the report says
};

struct Faults {
  // Records each write of a record (WriteFile or RecordWriter commit) and
  // fails the one of this index. The file layer then takes every record
  // through WriteFile.
  bool watchRecordWrites = true;
  int failingWrite = -1;
  // Faults of the system calls the conversion makes, and the most one
  // read(2) or write(2) moves.
  std::function<int(const CallSeen&)> systemFault;
  size_t readLimit = 1024;
  size_t writeLimit = std::numeric_limits<size_t>::max();
};

bool IsOneOf(int state, std::initializer_list<int> states);

// The production write path: nothing watches the records.
Faults AtTheSystemCalls(std::function<int(const CallSeen&)> fault) {
  Faults faults;
  faults.watchRecordWrites = false;
  faults.systemFault = std::move(fault);
  return faults;
}

// Where the two files come from; the default is a dump file and a To file
// holding kPrior, both opened through the menu.
struct Files {
  std::string fromPath;  // empty: a fresh file holding the dump
  std::string toPath;    // empty: a fresh file holding kPrior
};

Outcome Convert(const std::string& dump, int fromType, int toType, const Faults& faults = {},
                const Files& files = {}) {
  TempDir dir;
  const std::string from = files.fromPath.empty() ? dir.Path("dump.txt") : files.fromPath;
  const std::string to = files.toPath.empty() ? dir.Path("out.csv") : files.toPath;
  if (files.fromPath.empty())
    WriteWholeFile(from, dump);
  if (files.toPath.empty())
    WriteWholeFile(to, kPrior);
  Outcome outcome;
  {
    HeadlessShell shell;
    shell.OpenFrom(from);
    if (files.toPath.empty()) {
      shell.OpenToAppend(to);
    } else {
      shell.OpenToNew(to);
    }
    if (faults.watchRecordWrites) {
      // Only the To file is written while the shell converts.
      SetWriteFaultHook([&outcome, &faults](long count) {
        outcome.writes.push_back(count);
        return static_cast<int>(outcome.writes.size()) - 1 == faults.failingWrite;
      });
    }
    shell.ui().ClearPopups();
    {
      FakeSystemCalls fakes;
      fakes.fault = faults.systemFault;
      fakes.readLimit = faults.readLimit;
      fakes.writeLimit = faults.writeLimit;
      outcome.status = shell.Convert(fromType, toType);
      outcome.reads = fakes.Count(SystemCall::Read);
      outcome.writeCalls = fakes.Count(SystemCall::Write);
      outcome.faultsMet = fakes.faultsMet();
    }
    SetWriteFaultHook(nullptr);
    outcome.state = ConvertState;
    outcome.bytesWritten = LastConversionReport.bytesWritten;
    for (const PopupRequest& popup : shell.ui().Popups()) {
      if (popup.kind == PopupRequest::Kind::Message)
        outcome.popups.push_back(popup.message);
    }
  }  // the shell closes both files
  if (files.toPath.empty()) {
    const std::string written = ReadWholeFile(to);
    EXPECT_EQ(written.substr(0, kPrior.size()), kPrior) << "the To file lost its earlier bytes";
    if (written.size() >= kPrior.size())
      outcome.output = written.substr(kPrior.size());
  }
  return outcome;
}

// The texts of a fault-free conversion's writes, cut from its output.
std::vector<std::string> WriteTexts(const Outcome& clean) {
  std::vector<std::string> texts;
  size_t at = 0;
  for (long count : clean.writes) {
    texts.push_back(clean.output.substr(at, static_cast<size_t>(count)));
    at += static_cast<size_t>(count);
  }
  EXPECT_EQ(at, clean.output.size());
  return texts;
}

// The writes a converter finishes once one of them failed: the header's
// seven, a date stamp's one, a data line's value groups, a logger record
// with its C001. [begin, end) of write indices.
struct Unit {
  int begin;
  int end;
};

// Fails each write in turn. The status is 5; the writes of the failed
// write's unit are all attempted and none after it; the To file holds the
// fault-free output up to the end of that unit, less the failed write.
void FailEveryWrite(const std::string& dump, int fromType, int toType,
                    const std::vector<Unit>& units) {
  const Outcome clean = Convert(dump, fromType, toType);
  ASSERT_EQ(clean.state, kStatusFinished);
  ASSERT_EQ(static_cast<int>(clean.writes.size()), units.back().end);
  const std::vector<std::string> texts = WriteTexts(clean);
  for (const Unit& unit : units) {
    for (int failing = unit.begin; failing < unit.end; ++failing) {
      SCOPED_TRACE("failing write " + std::to_string(failing));
      Faults faults;
      faults.failingWrite = failing;
      const Outcome run = Convert(dump, fromType, toType, faults);
      EXPECT_EQ(run.state, kStatusWriteError);
      EXPECT_EQ(run.status, StatusMessage(kStatusWriteError));
      const std::vector<long> attempted(clean.writes.begin(), clean.writes.begin() + unit.end);
      EXPECT_EQ(run.writes, attempted);
      std::string expected;
      for (int i = 0; i < unit.end; ++i) {
        if (i != failing)
          expected += texts[static_cast<size_t>(i)];
      }
      EXPECT_EQ(run.output, expected);
    }
  }
}

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i)
    out += text;
  return out;
}

// The gauge worked example's header and date stamp, then `lines` data lines
// of twelve values and a C4 field.
std::string GaugeDump(int lines) {
  const std::string dump = zorq_test::WorkedGaugeDump();
  const size_t afterStamp = dump.find("\r\n", 63) + 2;
  return dump.substr(0, afterStamp) + Repeated("1.5,2.5,3,4,5,6,7,8,9,10,11,12,100\r\n", lines);
}

// The logger worked example's header and date stamp, then `lines` full data
// lines (twelve counts and an extra value), then a line that breaks off.
std::string LoggerDump(int lines) {
  const std::string dump = zorq_test::WorkedLoggerDump();
  const size_t afterStamp = dump.find("\r\n", 63) + 2;
  std::string body;
  for (int i = 0; i < lines; ++i)
    body += Repeated("2048,", 12) + std::to_string(300 + i) + "\r\n";
  return dump.substr(0, afterStamp) + body + "1024,3072,4095,\r\n";
}

// The logger worked example's header with a body of its own.
std::string LoggerHeaderWith(const std::string& body) {
  return zorq_test::WorkedLoggerDump().substr(0, 63) + body;
}

std::string GaugeHeaderWith(const std::string& body) {
  return zorq_test::WorkedGaugeDump().substr(0, 63) + body;
}

TEST(WriteFaults, GaugeConversionFailingAtEveryWrite) {
  // Worked example: the seven header lines, the date stamp, a line of
  // twelve values (24 writes), a line of two values with the C4 (6 writes).
  FailEveryWrite(zorq_test::WorkedGaugeDump(), kGauge, kGaugeCsv,
                 {{0, 7}, {7, 8}, {8, 32}, {32, 38}});
}

TEST(WriteFaults, LoggerConversionFailingAtEveryWrite) {
  // Worked example: two records, each with its C001.
  FailEveryWrite(zorq_test::WorkedLoggerDump(), kLogger, kLoggerCsv, {{0, 2}, {2, 4}});
  // Fifteen full lines and one that breaks off: four records with C001s.
  FailEveryWrite(LoggerDump(15), kLogger, kLoggerCsv, {{0, 2}, {2, 4}, {4, 6}, {6, 8}});
}

TEST(ReadFaults, FailedHeaderReadIsAHeaderErrorWithNothingWritten) {
  const struct {
    std::string dump;
    int fromType;
    int toType;
  } cases[] = {
      {zorq_test::WorkedGaugeDump(), kGauge, kGaugeCsv},
      {zorq_test::WorkedLoggerDump(), kLogger, kLoggerCsv},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fromType);
    Faults faults;
    faults.systemFault = FailCallOfKind(SystemCall::Read, 0, EIO, true);  // every read fails
    const Outcome run = Convert(c.dump, c.fromType, c.toType, faults);
    EXPECT_EQ(run.state, kStatusHeaderError);
    EXPECT_EQ(run.status, StatusMessage(kStatusHeaderError));
    EXPECT_EQ(run.reads, 1);
    EXPECT_TRUE(run.writes.empty());
    EXPECT_EQ(run.output, "");
  }
}

TEST(ReadFaults, FailedReadMidFileIsAFileErrorAfterTheLinesAlreadyRead) {
  const struct {
    std::string dump;
    int fromType;
    int toType;
  } cases[] = {
      {GaugeDump(60), kGauge, kGaugeCsv},     // about 2.2 kB
      {LoggerDump(60), kLogger, kLoggerCsv},  // about 3.8 kB
  };
  for (const auto& c : cases) {
    ASSERT_GT(c.dump.size(), 2048u);
    const Outcome clean = Convert(c.dump, c.fromType, c.toType);
    ASSERT_EQ(clean.state, kStatusFinished);
    // Once at the second block, once at the third and from then on for good.
    const std::function<int(const CallSeen&)> failures[] = {
        FailCallOfKind(SystemCall::Read, 1, EIO),
        FailCallOfKind(SystemCall::Read, 2, EIO, true),
    };
    int expectedReads = 2;
    for (const auto& failRead : failures) {
      SCOPED_TRACE(std::to_string(c.fromType) + " failing read " + std::to_string(expectedReads));
      Faults faults;
      faults.systemFault = failRead;
      const Outcome run = Convert(c.dump, c.fromType, c.toType, faults);
      EXPECT_EQ(run.state, kStatusFileError);
      EXPECT_EQ(run.status, StatusMessage(kStatusFileError));
      EXPECT_EQ(run.reads, expectedReads) << "the reader retried a failed read";
      EXPECT_EQ(run.popups.size(), 1u);
      // What the lines before the failure produced stays; nothing else.
      EXPECT_LT(run.output.size(), clean.output.size());
      EXPECT_EQ(run.output, clean.output.substr(0, run.output.size()));
      ++expectedReads;
    }
  }
}

// --- Faults at the system calls, on the production write path ---
// Nothing watches the records here, so the converters place them straight
// in the file layer's write buffer, as they do in production. Buffers of
// 256 KiB meet write(2) rarely: the larger dumps make the converters flush
// in the middle of a conversion, the smaller ones only at its end.

struct Conversion {
  const char* name;
  std::string dump;
  int fromType;
  int toType;
};

std::vector<Conversion> SmallConversions() {
  return {
      {"worked gauge example", zorq_test::WorkedGaugeDump(), kGauge, kGaugeCsv},
      {"worked logger example", zorq_test::WorkedLoggerDump(), kLogger, kLoggerCsv},
      {"gauge, 2 kB", GaugeDump(60), kGauge, kGaugeCsv},
      {"logger, 4 kB", LoggerDump(60), kLogger, kLoggerCsv},
      // About 650 kB and 330 kB of output: flushes mid-conversion.
      {"gauge, 70 kB", GaugeDump(2000), kGauge, kGaugeCsv},
      {"logger, 200 kB", LoggerDump(3000), kLogger, kLoggerCsv},
  };
}

// Outputs of a megabyte would make unreadable messages: say where they part.
::testing::AssertionResult SameOutput(const Outcome& run, const Outcome& clean) {
  if (run.output == clean.output)
    return ::testing::AssertionSuccess();
  const auto parted =
      std::mismatch(run.output.begin(), run.output.end(), clean.output.begin(), clean.output.end());
  return ::testing::AssertionFailure()
         << "output of " << run.output.size() << " bytes, " << clean.output.size()
         << " without faults; they part at byte " << (parted.first - run.output.begin());
}

Outcome ConvertClean(const Conversion& c) {
  Outcome clean = Convert(c.dump, c.fromType, c.toType, AtTheSystemCalls(nullptr));
  EXPECT_EQ(clean.state, kStatusFinished);
  EXPECT_TRUE(clean.writes.empty()) << "records were watched";
  return clean;
}

// What a conversion whose system call failed (EIO) must have done, by the
// kind of the call.
void ExpectOutcomeOfFailedCall(const Outcome& run, const Outcome& clean) {
  ASSERT_EQ(run.faultsMet.size(), 1u);
  const CallSeen& failed = run.faultsMet[0];
  SCOPED_TRACE(std::string("failed ") + SystemCallName(failed.call) + " " +
               std::to_string(failed.indexOfKind));
  // What the file took, whichever call failed; never what was formatted.
  EXPECT_EQ(run.bytesWritten, static_cast<int64_t>(run.output.size()));
  switch (failed.call) {
    case SystemCall::Write: {
      EXPECT_EQ(run.state, kStatusWriteError);
      EXPECT_EQ(run.status, StatusMessage(kStatusWriteError));
      // What reached the file before stays; the waiting bytes are lost and
      // the converter stops within the record or line it was writing.
      const size_t before = failed.bytesWrittenBefore;
      ASSERT_LE(before, run.output.size());
      EXPECT_EQ(run.output.compare(0, before, clean.output, 0, before), 0);
      EXPECT_LT(run.output.size(), clean.output.size());
      EXPECT_LE(run.output.size() - before, 1024u);
      break;
    }
    case SystemCall::Read:
      if (failed.indexOfKind == 0) {
        EXPECT_EQ(run.state, kStatusHeaderError);
        EXPECT_EQ(run.output, "");
      } else {
        EXPECT_EQ(run.state, kStatusFileError);
        EXPECT_EQ(run.popups.size(), 1u);
        // Whole when only the read that finds the end failed.
        EXPECT_LE(run.output.size(), clean.output.size());
        EXPECT_EQ(clean.output.compare(0, run.output.size(), run.output), 0);
      }
      break;
    case SystemCall::Fstat:  // the same-file check: not the same; the report's lengths
    case SystemCall::Lseek:  // the files stand where they are moved to; the report's lengths
      EXPECT_EQ(run.state, kStatusFinished);
      EXPECT_TRUE(SameOutput(run, clean));
      break;
    default:
      ADD_FAILURE() << "a conversion made this call";
  }
}

TEST(SystemCallFaults, EachCallOfAConversionFailingInTurn) {
  for (const Conversion& c : SmallConversions()) {
    SCOPED_TRACE(c.name);
    const Outcome clean = ConvertClean(c);
    std::vector<int> kindsFailed(7, 0);
    for (int n = 0;; ++n) {
      SCOPED_TRACE("call " + std::to_string(n));
      const Outcome run = Convert(c.dump, c.fromType, c.toType, AtTheSystemCalls(FailCall(n, EIO)));
      if (run.faultsMet.empty()) {  // the conversion makes fewer calls
        EXPECT_EQ(run.state, kStatusFinished);
        EXPECT_TRUE(SameOutput(run, clean));
        break;
      }
      ++kindsFailed[static_cast<size_t>(run.faultsMet[0].call)];
      ExpectOutcomeOfFailedCall(run, clean);
      ASSERT_LT(n, 10000) << "runaway";
      if (::testing::Test::HasFailure())
        break;  // one report of a fault is enough
    }
    EXPECT_GE(kindsFailed[static_cast<size_t>(SystemCall::Write)], 1);
    EXPECT_GE(kindsFailed[static_cast<size_t>(SystemCall::Read)], 1);
    // The same-file check and the repositioning at least; the report's
    // lengths add more.
    EXPECT_GE(kindsFailed[static_cast<size_t>(SystemCall::Fstat)], 2);
    EXPECT_GE(kindsFailed[static_cast<size_t>(SystemCall::Lseek)], 2);
  }
}

TEST(SystemCallFaults, LargerConversionsFlushAndFailMidWay) {
  // The sweep above only means something for the mid-conversion flushes of
  // RecordWriter if these make more than one write(2).
  for (const Conversion& c : SmallConversions()) {
    if (c.dump.size() < 50000)
      continue;
    SCOPED_TRACE(c.name);
    EXPECT_GE(ConvertClean(c).writeCalls, 2);
    const Outcome run = Convert(c.dump, c.fromType, c.toType,
                                AtTheSystemCalls(FailCallOfKind(SystemCall::Write, 0, EIO)));
    ASSERT_EQ(run.faultsMet.size(), 1u);
    EXPECT_EQ(run.state, kStatusWriteError);
    // The first 256 KiB are lost with the failed write; the converter stops
    // within the record or line it was at, and the rest is not converted.
    EXPECT_LE(run.output.size(), 1024u);
  }
}

TEST(SystemCallFaults, InterruptedCallsAreMadeAgain) {
  for (const Conversion& c : SmallConversions()) {
    SCOPED_TRACE(c.name);
    const Outcome clean = ConvertClean(c);
    for (int n = 0;; ++n) {
      SCOPED_TRACE("call " + std::to_string(n));
      const Outcome run =
          Convert(c.dump, c.fromType, c.toType, AtTheSystemCalls(FailCall(n, EINTR)));
      EXPECT_EQ(run.state, kStatusFinished);
      EXPECT_TRUE(SameOutput(run, clean));
      if (run.faultsMet.empty())
        break;
      ASSERT_LT(n, 10000) << "runaway";
      if (::testing::Test::HasFailure())
        break;  // one report of a fault is enough
    }
    // Every call interrupted once before it is made.
    const Outcome everyOther = Convert(
        c.dump, c.fromType, c.toType,
        AtTheSystemCalls([](const CallSeen& seen) { return seen.index % 2 == 0 ? EINTR : 0; }));
    EXPECT_EQ(everyOther.state, kStatusFinished);
    EXPECT_TRUE(SameOutput(everyOther, clean));
  }
}

TEST(SystemCallFaults, EveryOtherCallFailingEndsTheConversion) {
  for (const Conversion& c : SmallConversions()) {
    SCOPED_TRACE(c.name);
    for (int first = 0; first < 2; ++first) {
      const Outcome run =
          Convert(c.dump, c.fromType, c.toType, AtTheSystemCalls([first](const CallSeen& seen) {
                    return seen.index % 2 == first ? EIO : 0;
                  }));
      EXPECT_TRUE(IsOneOf(run.state, {kStatusHeaderError, kStatusFileError, kStatusWriteError}))
          << run.state;
      EXPECT_LT(run.reads, 1000);
    }
  }
}

TEST(SystemCallFaults, ShortReadsAndWritesGiveTheSameOutput) {
  for (const Conversion& c : SmallConversions()) {
    SCOPED_TRACE(c.name);
    const Outcome clean = ConvertClean(c);
    for (const size_t limit : {size_t{3}, size_t{509}, size_t{4099}}) {
      SCOPED_TRACE("at most " + std::to_string(limit) + " bytes a call");
      Faults faults = AtTheSystemCalls(nullptr);
      faults.writeLimit = limit;
      faults.readLimit = limit;
      Outcome run = Convert(c.dump, c.fromType, c.toType, faults);
      EXPECT_EQ(run.state, kStatusFinished);
      EXPECT_TRUE(SameOutput(run, clean));
      // Short and interrupted together.
      faults.systemFault = [](const CallSeen& seen) { return seen.index % 3 == 1 ? EINTR : 0; };
      run = Convert(c.dump, c.fromType, c.toType, faults);
      EXPECT_EQ(run.state, kStatusFinished);
      EXPECT_TRUE(SameOutput(run, clean));
    }
  }
}

TEST(UnusableFiles, ToFileThatTakesNoBytesGivesAWriteError) {
  if (!zorq_test::FileExists("/dev/full"))
    GTEST_SKIP() << "no /dev/full here";
  Files files;
  files.toPath = "/dev/full";
  for (const auto& [dump, fromType, toType] :
       {std::tuple{zorq_test::WorkedGaugeDump(), kGauge, kGaugeCsv},
        std::tuple{zorq_test::WorkedLoggerDump(), kLogger, kLoggerCsv}}) {
    SCOPED_TRACE(fromType);
    const Outcome run = Convert(dump, fromType, toType, {}, files);
    EXPECT_EQ(run.state, kStatusWriteError);
    EXPECT_EQ(run.status, StatusMessage(kStatusWriteError));
  }
}

TEST(UnusableFiles, FromFileThatDidNotOpenIsAHeaderErrorAtTheFirstRead) {
  TempDir dir;
  const std::string vanished = dir.Path("vanished.txt");  // never created
  for (const std::string& path : {dir.path(), vanished}) {
    for (const auto& [fromType, toType] :
         {std::pair{kGauge, kGaugeCsv}, std::pair{kLogger, kLoggerCsv}}) {
      SCOPED_TRACE(path + " as type " + std::to_string(fromType));
      Files files;
      files.fromPath = path;
      const Outcome run = Convert("", fromType, toType, {}, files);
      EXPECT_EQ(run.state, kStatusHeaderError);
      EXPECT_EQ(run.status, StatusMessage(kStatusHeaderError));
      EXPECT_TRUE(run.writes.empty());
      EXPECT_EQ(run.output, "");
    }
  }
}

TEST(UnusableFiles, ToFileThatDidNotOpenIsAWriteError) {
  TempDir dir;
  const std::string inMissingFolder = dir.Path("no-such-folder/out.csv");
  for (const std::string& path : {dir.path(), inMissingFolder}) {
    for (const auto& [dump, fromType, toType] :
         {std::tuple{zorq_test::WorkedGaugeDump(), kGauge, kGaugeCsv},
          std::tuple{zorq_test::WorkedLoggerDump(), kLogger, kLoggerCsv}}) {
      SCOPED_TRACE(path + " as type " + std::to_string(fromType));
      Files files;
      files.toPath = path;
      const Outcome run = Convert(dump, fromType, toType, {}, files);
      EXPECT_EQ(run.state, kStatusWriteError);
      EXPECT_EQ(run.status, StatusMessage(kStatusWriteError));
    }
  }
  EXPECT_FALSE(zorq_test::FileExists(inMissingFolder));
}

// Deterministic noise: the same bytes on every run.
std::string Noise(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// Numbers far outside what a gauge or logger writes: 400-digit integers
// (beyond the double range), 1e308 and 1e-400, on one line of twelve values
// and a thirteenth field, short enough to stay whole (under 1024 bytes).
std::string HugeNumbers() {
  const std::string digits(400, '9');
  return "1e308,-1e308,1e-400," + digits + ",0.5,-" + digits + ",2,3,4,5,6,7,1e308\r\n";
}

bool IsOneOf(int state, std::initializer_list<int> states) {
  for (int s : states) {
    if (state == s)
      return true;
  }
  return false;
}

// Gauge output is CR LF lines; logger output 513-byte f001 records, each
// maybe followed by a C001 record.
void ExpectWellFormedOutput(const std::string& output, int fromType) {
  size_t at = 0;
  while (at < output.size()) {
    const size_t end = output.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << "output ends without CR LF at byte " << at;
    const std::string line = output.substr(at, end - at);
    ASSERT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray line end at byte " << at;
    if (fromType != kGauge) {
      if (line.rfind("f001,", 0) == 0) {
        ASSERT_EQ(line.size(), 511u) << "record at byte " << at;
      } else {
        ASSERT_EQ(line.rfind("C001,D4,", 0), 0u) << "not a record at byte " << at;
      }
    }
    at = end + 2;
  }
}

TEST(PathologicalDumps, EndWithADefinedStatusAndWellFormedOutput) {
  const std::string tenMegabytes(10 * 1024 * 1024, '7');
  std::string ones;
  for (int i = 0; i < 5 * 1024 * 1024; ++i)
    ones += "1,";
  const std::string commas(10000, ',');
  const std::string stamp = "Y19,M06,D30,H14,M05,S30,\r\n";
  const struct {
    const char* name;
    std::string dump;
    int fromType;
    std::initializer_list<int> states;
  } cases[] = {
      {"noise", "\x01" + Noise(65536, 1), kGauge, {kStatusHeaderError}},
      {"noise", "\x01" + Noise(65536, 1), kLogger, {kStatusHeaderError}},
      // No "T" in the noise: the type left by start-up (0) is not a gauge's.
      {"noise after a Y", "Y" + Noise(65536, 2), kGauge, {kStatusFromTypeError}},
      {"noise after a Y", "Y" + Noise(65536, 2), kLogger, {kStatusHeaderError}},
      {"noise after a header",
       GaugeHeaderWith(Noise(65536, 3)),
       kGauge,
       {kStatusDateTimeError, kStatusFinished}},
      {"noise after a header",
       LoggerHeaderWith(Noise(65536, 4)),
       kLogger,
       {kStatusDateTimeError, kStatusFinished}},
      {"zero bytes", std::string(4096, '\0'), kGauge, {kStatusHeaderError}},
      {"zero bytes", std::string(4096, '\0'), kLogger, {kStatusHeaderError}},
      {"zero-byte lines",
       GaugeHeaderWith(Repeated(std::string(40, '\0') + "\r\n", 100)),
       kGauge,
       {kStatusFinished}},
      {"zero-byte lines",
       LoggerHeaderWith(Repeated(std::string(40, '\0') + "\r\n", 100)),
       kLogger,
       {kStatusFinished}},
      {"10 MB line without LF", GaugeHeaderWith(tenMegabytes), kGauge, {kStatusFinished}},
      {"10 MB line without LF", LoggerHeaderWith(tenMegabytes), kLogger, {kStatusFinished}},
      {"10 MB line", GaugeHeaderWith(ones + "\r\n"), kGauge, {kStatusFinished}},
      {"10 MB line", LoggerHeaderWith(stamp + ones + "\r\n"), kLogger, {kStatusFinished}},
      {"10,000 commas",
       GaugeHeaderWith("1" + commas + "\r\n" + commas + "\r\n"),
       kGauge,
       {kStatusFinished}},
      {"10,000 commas",
       LoggerHeaderWith(stamp + "1" + commas + "\r\n" + commas + "\r\n"),
       kLogger,
       {kStatusFinished}},
      {"huge and tiny numbers",
       GaugeHeaderWith(Repeated(HugeNumbers(), 6)),
       kGauge,
       {kStatusFinished}},
      {"huge and tiny numbers",
       LoggerHeaderWith(stamp + Repeated(HugeNumbers(), 6)),
       kLogger,
       {kStatusFinished}},
      {"a header of 129 Y", std::string(129, 'Y'), kGauge, {kStatusFromTypeError}},
      {"a header of 129 Y", std::string(129, 'Y'), kLogger, {kStatusHeaderError}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " as type " + std::to_string(c.fromType));
    const Outcome run = Convert(c.dump, c.fromType, c.fromType == kGauge ? kGaugeCsv : kLoggerCsv);
    EXPECT_TRUE(IsOneOf(run.state, c.states)) << "status " << run.state;
    // Each block is read once (one read(2) each here), and once more to
    // find the end.
    EXPECT_LE(run.reads, static_cast<int>((c.dump.size() + 1023) / 1024) + 1);
    ExpectWellFormedOutput(run.output, c.fromType);
    if (run.state != kStatusFinished && run.state != kStatusDateTimeError) {
      EXPECT_EQ(run.output, "");
    }
  }
}

TEST(PathologicalDumps, HugeNumbersAreWrittenWholeAndTinyOnesAsZero) {
  const Outcome gauge = Convert(GaugeHeaderWith(HugeNumbers() + "1,2\r\n"), kGauge, kGaugeCsv);
  ASSERT_EQ(gauge.state, kStatusFinished);
  char expected[512];
  FormatText(expected, sizeof expected, "D1,C1,%08.6f\r\n", 1e308);
  EXPECT_NE(gauge.output.find(expected), std::string::npos);
  FormatText(expected, sizeof expected, "D1,C1,%08.6f\r\n", -1e308);
  EXPECT_NE(gauge.output.find(expected), std::string::npos);
  EXPECT_NE(gauge.output.find("D1,C1,0.000000\r\n"), std::string::npos);  // 1e-400
  // The C4 text of a thirteenth field of 1e308, whole.
  FormatText(expected, sizeof expected, "D1,C4,%09.6f\r\n", 1e308 * 0.0625f);
  EXPECT_NE(gauge.output.find(expected), std::string::npos);

  // Five lines fill one logger record; every field stays eight bytes wide.
  const Outcome logger =
      Convert(LoggerHeaderWith("Y19,M06,D30,H14,M05,S30,\r\n" + Repeated(HugeNumbers(), 5)),
              kLogger, kLoggerCsv);
  ASSERT_EQ(logger.state, kStatusFinished);
  ASSERT_GE(logger.output.size(), 513u);
  EXPECT_EQ(logger.output.compare(0, 31, "f001,S04,B0,2019-06-30T14:05:30"), 0);
  for (int field = 0; field < 60; ++field)
    EXPECT_EQ(logger.output[31 + 8 * static_cast<size_t>(field)], ',') << "field " << field;
  EXPECT_EQ(logger.output.compare(511, 2, "\r\n"), 0);
}

}  // namespace
