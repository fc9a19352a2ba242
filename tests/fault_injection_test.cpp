// Conversions under faults, driven through the panel as an operator would:
// a write that fails at every point of a small gauge and logger conversion,
// reads that fail at the header and mid-file, To and From files that cannot
// be used, and dumps no instrument would write. Every case must end with a
// defined status, keep what the To file held, and not hang.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/shared_state.h"
#include "convert/status.h"
#include "runtime/files.h"
#include "runtime/numbers.h"
#include "tests/test_support.h"

using zorq_test::HeadlessShell;
using zorq_test::ReadWholeFile;
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
  std::vector<long> writes;         // count asked for by each WriteFile on the To file
  int reads = 0;                    // ReadFile calls on the From file
  std::vector<std::string> popups;  // message popups shown
};

struct Faults {
  int failingWrite = -1;                    // index of the To-file write that fails
  std::function<bool(int index)> failRead;  // by index of the From-file read
};

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
    const int fromHandle = FileFromHandle;
    const int toHandle = FileToHandle;
    SetWriteFaultHook([&outcome, &faults, toHandle](int handle, long count) {
      if (handle != toHandle)
        return false;
      outcome.writes.push_back(count);
      return static_cast<int>(outcome.writes.size()) - 1 == faults.failingWrite;
    });
    SetReadFaultHook([&outcome, &faults, fromHandle](int handle, long) {
      if (handle != fromHandle)
        return false;
      const int index = outcome.reads++;
      return faults.failRead && faults.failRead(index);
    });
    shell.ui().ClearPopups();
    outcome.status = shell.Convert(fromType, toType);
    outcome.state = ConvertState;
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
    faults.failRead = [](int) { return true; };  // every read fails
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
    const std::function<bool(int)> failures[] = {
        [](int index) { return index == 1; },
        [](int index) { return index >= 2; },
    };
    int expectedReads = 2;
    for (const auto& failRead : failures) {
      SCOPED_TRACE(std::to_string(c.fromType) + " failing read " + std::to_string(expectedReads));
      Faults faults;
      faults.failRead = failRead;
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
    // Each block is read once, and once more to find the end.
    EXPECT_LE(run.reads, static_cast<int>(c.dump.size() / 1024) + 2);
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
