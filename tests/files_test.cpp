// The file layer: buffered reads and writes with the counts callers rely
// on, failures reported where they happen, and the handle rules.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "runtime/files.h"
#include "tests/system_call_fakes.h"
#include "tests/test_support.h"

using zorq_test::FailCall;
using zorq_test::FakeSystemCalls;
using zorq_test::ReadWholeFile;
using zorq_test::SystemCall;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

namespace {

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>('A' + (i * 7 + i / 1000) % 26);
  return bytes;
}

}  // namespace

TEST(Files, BlockReadsAcrossTheBufferReturnEveryByteThenAShortCountThenZero) {
  TempDir dir;
  const std::string bytes = Pattern(700 * 1024 + 300);  // not a multiple of 1024
  WriteWholeFile(dir.Path("in"), bytes);
  const int handle = OpenFile(dir.Path("in").c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  ASSERT_GT(handle, 0);
  std::string read;
  char block[1024];
  long count;
  while ((count = ReadFile(handle, block, sizeof block)) == 1024)
    read.append(block, 1024);
  EXPECT_EQ(count, 300);
  read.append(block, static_cast<size_t>(count));
  EXPECT_EQ(read, bytes);
  EXPECT_EQ(ReadFile(handle, block, sizeof block), 0);
  // Back to the start: the buffered bytes are not served again out of place.
  EXPECT_EQ(SetFilePtr(handle, 0, VAL_START_OF_FILE), 0);
  EXPECT_EQ(ReadFile(handle, block, 10), 10);
  EXPECT_EQ(std::string(block, 10), bytes.substr(0, 10));
  EXPECT_EQ(CloseFile(handle), 0);
}

TEST(Files, WritesReachTheFileAtFlushSeekCloseAndWhenTheBufferFills) {
  TempDir dir;
  const std::string path = dir.Path("out");
  const int handle = OpenFile(path.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(WriteFile(handle, "abc", 3), 3);
  EXPECT_EQ(FlushFile(handle), 0);
  EXPECT_EQ(ReadWholeFile(path), "abc");
  EXPECT_EQ(WriteFile(handle, "def", 3), 3);
  // The end of the file includes what was waiting in the buffer.
  EXPECT_EQ(SetFilePtr(handle, 0, VAL_END_OF_FILE), 6);
  EXPECT_EQ(ReadWholeFile(path), "abcdef");
  // Many records: more than the buffer holds, in order, nothing lost.
  const std::string record = Pattern(513);
  std::string expected = "abcdef";
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(WriteFile(handle, record.data(), 513), 513);
    expected += record;
  }
  const std::string large = Pattern(600 * 1024);  // larger than the buffer: written through
  EXPECT_EQ(WriteFile(handle, large.data(), static_cast<long>(large.size())),
            static_cast<long>(large.size()));
  expected += large;
  EXPECT_EQ(CloseFile(handle), 0);
  EXPECT_EQ(ReadWholeFile(path), expected);
}

TEST(Files, AFullDeviceFailsAtTheFlushOrWhenTheBufferFills) {
  if (access("/dev/full", W_OK) != 0)
    GTEST_SKIP() << "/dev/full is absent";
  int handle = OpenFile("/dev/full", VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(WriteFile(handle, "abc", 3), 3);  // waiting in the buffer
  EXPECT_LT(FlushFile(handle), 0);
  EXPECT_EQ(FlushFile(handle), 0);  // the failed bytes are not tried again
  const std::string record = Pattern(513);
  bool failed = false;
  for (int i = 0; i < 2000 && !failed; ++i)
    failed = WriteFile(handle, record.data(), 513) != 513;
  EXPECT_TRUE(failed);
  EXPECT_EQ(WriteFile(handle, "x", 1), 1);
  EXPECT_LT(CloseFile(handle), 0);
  EXPECT_FALSE(FileIsOpen(handle));
}

TEST(Files, EachSystemCallOfAWriteFailingOrInterruptedInTurn) {
  // Opening a file that holds something to truncate it, then writing,
  // repositioning, flushing and closing: open, fstat, ftruncate, write,
  // lseek, write, close.
  TempDir dir;
  const std::string path = dir.Path("out");
  const auto writeOnce = [&path] {
    const int handle = OpenFile(path.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
    if (handle < 0)
      return std::string("open failed: ") + LastFileErrorText();
    std::string failures;
    if (WriteFile(handle, "first ", 6) != 6 || SetFilePtr(handle, 0, VAL_END_OF_FILE) < 0)
      failures += "write before the seek failed; ";
    if (WriteFile(handle, "second", 6) != 6 || FlushFile(handle) < 0)
      failures += "write failed; ";
    if (CloseFile(handle) < 0)
      failures += "close failed; ";
    return failures;
  };
  for (int n = 0;; ++n) {
    SCOPED_TRACE("call " + std::to_string(n));
    WriteWholeFile(path, "earlier");
    FakeSystemCalls interrupted;
    interrupted.fault = FailCall(n, EINTR);
    interrupted.writeLimit = 4;  // and every write short
    EXPECT_EQ(writeOnce(), "");
    EXPECT_EQ(ReadWholeFile(path), "first second");
    if (interrupted.faultsMet().empty())
      break;
    ASSERT_LT(n, 20);
  }
  const std::vector<std::pair<SystemCall, std::string>> expected = {
      {SystemCall::Open, "open failed: Input/output error"},
      {SystemCall::Fstat, "open failed: Input/output error"},
      {SystemCall::Ftruncate, "open failed: Input/output error"},
      {SystemCall::Lseek, "write before the seek failed; "},  // the first bytes are written
      {SystemCall::Write, "write failed; "},                  // the second are lost
      {SystemCall::Close, "close failed; "},
  };
  for (const auto& [call, failures] : expected) {
    SCOPED_TRACE(zorq_test::SystemCallName(call));
    WriteWholeFile(path, "earlier");
    FakeSystemCalls failing;
    failing.fault = zorq_test::FailCallOfKind(call, call == SystemCall::Write ? 1 : 0, EIO);
    EXPECT_EQ(writeOnce(), failures);
    ASSERT_EQ(failing.faultsMet().size(), 1u);
    // Every descriptor opened is closed, whatever failed.
    EXPECT_EQ(failing.Count(SystemCall::Close),
              failing.Count(SystemCall::Open) - (call == SystemCall::Open ? 1 : 0));
  }
}

TEST(Files, LengthAndCutBackGoThroughTheSystemCallTable) {
  TempDir dir;
  const std::string path = dir.Path("out");
  WriteWholeFile(path, "0123456789");
  const int handle = OpenFile(path.c_str(), VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  ASSERT_GT(handle, 0);
  ASSERT_EQ(SetFilePtr(handle, 0, VAL_END_OF_FILE), 10);
  ASSERT_EQ(WriteFile(handle, "abc", 3), 3);  // waiting in the buffer
  {
    FakeSystemCalls interrupted;  // every call interrupted once
    interrupted.fault = [](const zorq_test::CallSeen& seen) {
      return seen.index % 2 == 0 ? EINTR : 0;
    };
    EXPECT_EQ(FileLength(handle), 13);
    EXPECT_EQ(CutFileBack(handle, 4), 0);
    EXPECT_EQ(FileLength(handle), 4);
    EXPECT_GE(interrupted.Count(SystemCall::Ftruncate), 2);
  }
  {
    FakeSystemCalls failing;
    failing.fault = zorq_test::FailCallOfKind(SystemCall::Fstat, 0, EIO);
    EXPECT_EQ(FileLength(handle), -1);
    failing.fault = zorq_test::FailCallOfKind(SystemCall::Ftruncate, 0, EIO);
    EXPECT_LT(CutFileBack(handle, 2), 0);
  }
  EXPECT_EQ(CloseFile(handle), 0);
  EXPECT_EQ(ReadWholeFile(path), "0123");
}

TEST(Files, TheEndOfTheFileIsReadOnceUntilThePointerMoves) {
  TempDir dir;
  WriteWholeFile(dir.Path("in"), Pattern(1500));
  const int handle = OpenFile(dir.Path("in").c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  ASSERT_GT(handle, 0);
  char block[1024];
  {
    FakeSystemCalls fakes;
    EXPECT_EQ(ReadFile(handle, block, 1024), 1024);
    EXPECT_EQ(ReadFile(handle, block, 1024), 476);
    EXPECT_EQ(ReadFile(handle, block, 1024), 0);
    EXPECT_EQ(ReadFile(handle, block, 1024), 0);
    EXPECT_EQ(fakes.Count(SystemCall::Read), 2);  // the bytes, then the end
    EXPECT_EQ(SetFilePtr(handle, 1000, VAL_START_OF_FILE), 1000);
    EXPECT_EQ(ReadFile(handle, block, 1024), 500);
    EXPECT_EQ(fakes.Count(SystemCall::Read), 4);
  }
  EXPECT_EQ(CloseFile(handle), 0);
}

TEST(Files, HandlesThatAreNotOpenFailEveryOperation) {
  TempDir dir;
  char buffer[16];
  for (int handle : {-1, 0, 1, 63, 64, 65, 1000}) {
    if (FileIsOpen(handle))
      continue;
    EXPECT_LT(ReadFile(handle, buffer, 16), 0);
    EXPECT_NE(WriteFile(handle, "ab", 2), 2);
    EXPECT_LT(SetFilePtr(handle, 0, VAL_START_OF_FILE), 0);
    EXPECT_LT(FlushFile(handle), 0);
    EXPECT_LT(CloseFile(handle), 0);
  }
  EXPECT_EQ(OpenFile(dir.Path("missing/x").c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, 0), -1);
  EXPECT_STRNE(LastFileErrorText(), "");
  EXPECT_EQ(OpenFile(dir.path().c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, 0), -1);  // a folder
  EXPECT_EQ(OpenFile("", VAL_READ_ONLY, VAL_OPEN_AS_IS, 0), -1);
}

TEST(Files, AReadOnlyHandleRefusesWritesAndAWriteOnlyHandleRefusesReads) {
  TempDir dir;
  WriteWholeFile(dir.Path("f"), "xyz");
  const int reader = OpenFile(dir.Path("f").c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, 0);
  const int writer = OpenFile(dir.Path("g").c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, 0);
  char buffer[4];
  EXPECT_NE(WriteFile(reader, "ab", 2), 2);
  EXPECT_LT(ReadFile(writer, buffer, 4), 0);
  EXPECT_EQ(ReadWholeFile(dir.Path("f")), "xyz");
  CloseFile(reader);
  CloseFile(writer);
}

TEST(Files, SameFileIsRecognisedThroughAnotherPath) {
  TempDir dir;
  WriteWholeFile(dir.Path("a"), "data");
  ASSERT_EQ(link(dir.Path("a").c_str(), dir.Path("b").c_str()), 0);
  WriteWholeFile(dir.Path("c"), "data");
  const int a = OpenFile(dir.Path("a").c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, 0);
  const int b = OpenFile(dir.Path("b").c_str(), VAL_WRITE_ONLY, VAL_OPEN_AS_IS, 0);
  const int c = OpenFile(dir.Path("c").c_str(), VAL_WRITE_ONLY, VAL_OPEN_AS_IS, 0);
  EXPECT_TRUE(FilesAreSame(a, b));
  EXPECT_FALSE(FilesAreSame(a, c));
  EXPECT_FALSE(FilesAreSame(a, -1));
  CloseFile(a);
  CloseFile(b);
  CloseFile(c);
}

namespace {

// Writes `records` through a RecordWriter on `handle`, each placed with
// some bytes of slack after it; returns how many commits failed.
int WriteThroughWriter(int handle, const std::vector<std::string>& records) {
  RecordWriter writer(SinkOfHandle(handle));
  int failed = 0;
  for (const std::string& record : records) {
    char* out = writer.Space(record.size() + 16);
    EXPECT_NE(out, nullptr);
    std::memcpy(out, record.data(), record.size());
    std::memset(out + record.size(), '#', 16);  // slack: never reaches the file
    if (writer.Commit(record.size()) != static_cast<long>(record.size()))
      ++failed;
  }
  return failed;
}

std::vector<std::string> VariedRecords(int count) {
  std::vector<std::string> records;
  for (int i = 0; i < count; ++i)
    records.push_back(Pattern(static_cast<size_t>(1 + (i * 37) % 600)));
  return records;
}

}  // namespace

TEST(RecordWriterTest, PlacedRecordsReachTheFileInOrderAfterWhatWasWaiting) {
  TempDir dir;
  const std::string path = dir.Path("out");
  const int handle = OpenFile(path.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
  ASSERT_GT(handle, 0);
  ASSERT_EQ(WriteFile(handle, "head|", 5), 5);                   // waiting in the buffer
  const std::vector<std::string> records = VariedRecords(3000);  // about three buffers
  EXPECT_EQ(WriteThroughWriter(handle, records), 0);
  std::string expected = "head|";
  for (const std::string& record : records)
    expected += record;
  // The writer is gone: the handle's own calls see everything it wrote.
  EXPECT_EQ(SetFilePtr(handle, 0, VAL_END_OF_FILE), static_cast<long long>(expected.size()));
  {
    RecordWriter writer(SinkOfHandle(handle));
    EXPECT_EQ(writer.Write("tail|", 5), 5);
    const std::string large = Pattern(RecordWriter::kMaxSpace + 100);  // written through
    EXPECT_EQ(writer.Write(large.data(), large.size()), static_cast<long>(large.size()));
    EXPECT_EQ(writer.Write("end", 3), 3);
    expected += "tail|" + large + "end";
  }
  EXPECT_EQ(CloseFile(handle), 0);
  EXPECT_EQ(ReadWholeFile(path), expected);
}

TEST(RecordWriterTest, AFullDeviceFailsTheCommitThatNeededTheFlushAndThenGoesOn) {
  if (access("/dev/full", W_OK) != 0)
    GTEST_SKIP() << "/dev/full is absent";
  const int handle = OpenFile("/dev/full", VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  ASSERT_GT(handle, 0);
  {
    RecordWriter writer(SinkOfHandle(handle));
    const std::string record = Pattern(513);
    int failed = 0;
    int firstFailure = -1;
    for (int i = 0; i < 2000; ++i) {
      if (writer.Write(record.data(), record.size()) != 513) {
        ++failed;
        if (firstFailure < 0)
          firstFailure = i;
      }
    }
    // 2000 records fill the buffer several times: one failure per flush.
    EXPECT_GE(failed, 3);
    EXPECT_LT(failed, 10);
    EXPECT_GT(firstFailure, 100);  // nothing fails before the buffer is full
  }
  EXPECT_LT(FlushFile(handle), 0);  // what the writer left waiting fails too
  EXPECT_EQ(CloseFile(handle), 0);
}

TEST(RecordWriterTest, WithAFaultHookEveryCommitIsAnOrdinaryWrite) {
  TempDir dir;
  const std::string path = dir.Path("out");
  const int handle = OpenFile(path.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
  ASSERT_GT(handle, 0);
  std::vector<long> asked;
  SetWriteFaultHook([&asked](long count) {
    asked.push_back(count);
    return asked.size() == 2;  // the second write fails
  });
  const int failed = WriteThroughWriter(handle, {"one,", "two,", "three"});
  SetWriteFaultHook(nullptr);
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(asked, (std::vector<long>{4, 4, 5}));
  EXPECT_EQ(CloseFile(handle), 0);
  EXPECT_EQ(ReadWholeFile(path), "one,three");
}

TEST(RecordWriterTest, AHandleThatCannotBeWrittenFailsEveryCommit) {
  TempDir dir;
  WriteWholeFile(dir.Path("f"), "xyz");
  const int reader = OpenFile(dir.Path("f").c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, 0);
  EXPECT_EQ(WriteThroughWriter(reader, {"a", "bc"}), 2);
  EXPECT_EQ(WriteThroughWriter(-1, {"a"}), 1);
  CloseFile(reader);
  EXPECT_EQ(ReadWholeFile(dir.Path("f")), "xyz");
}

TEST(Files, TruncatingEmptiesAFileWithContentAndLeavesOthersAsTheyAre) {
  TempDir dir;
  WriteWholeFile(dir.Path("full"), "old content");
  int handle = OpenFile(dir.Path("full").c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(ReadWholeFile(dir.Path("full")), "");  // emptied at the open, before any write
  EXPECT_EQ(WriteFile(handle, "new", 3), 3);
  EXPECT_EQ(CloseFile(handle), 0);
  EXPECT_EQ(ReadWholeFile(dir.Path("full")), "new");
  // A new file and an empty one are simply opened.
  for (const char* name : {"new", "empty"}) {
    if (std::string(name) == "empty")
      WriteWholeFile(dir.Path(name), "");
    handle = OpenFile(dir.Path(name).c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
    ASSERT_GT(handle, 0) << name;
    EXPECT_EQ(WriteFile(handle, "x", 1), 1);
    EXPECT_EQ(CloseFile(handle), 0);
    EXPECT_EQ(ReadWholeFile(dir.Path(name)), "x") << name;
  }
  // Opening as it is keeps the content.
  handle = OpenFile(dir.Path("full").c_str(), VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(CloseFile(handle), 0);
  EXPECT_EQ(ReadWholeFile(dir.Path("full")), "new");
}

TEST(RecordWriterTest, RecordsPlacedTogetherAreCommittedOneByOneInEveryMode) {
  TempDir dir;
  // Direct, through a fault hook that lets every write pass, and on a full
  // device after the buffer has filled.
  for (const char* mode : {"direct", "hooked"}) {
    const std::string path = dir.Path(mode);
    const int handle = OpenFile(path.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
    ASSERT_GT(handle, 0);
    std::vector<long> asked;
    if (std::string(mode) == "hooked") {
      SetWriteFaultHook([&asked](long count) {
        asked.push_back(count);
        return false;
      });
    }
    std::string expected;
    {
      RecordWriter writer(SinkOfHandle(handle));
      for (int group = 0; group < 20000; ++group) {
        char* out = writer.Space(64);
        std::memcpy(out, "value|c4 record|rate|", 21);
        EXPECT_EQ(writer.Commit(6), 6);
        EXPECT_EQ(writer.Commit(10), 10);
        EXPECT_EQ(writer.Commit(5), 5);
        expected += "value|c4 record|rate|";
      }
    }
    SetWriteFaultHook(nullptr);
    EXPECT_EQ(CloseFile(handle), 0);
    EXPECT_EQ(ReadWholeFile(path), expected) << mode;
    if (std::string(mode) == "hooked") {
      ASSERT_EQ(asked.size(), 60000u);
      EXPECT_EQ(asked[0], 6);
      EXPECT_EQ(asked[1], 10);
      EXPECT_EQ(asked[2], 5);
    }
  }
  if (access("/dev/full", W_OK) != 0)
    return;
  const int full = OpenFile("/dev/full", VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  ASSERT_GT(full, 0);
  {
    RecordWriter writer(SinkOfHandle(full));
    int failed = 0;
    for (int group = 0; group < 30000; ++group) {
      char* out = writer.Space(64);
      std::memcpy(out, "value|c4 record|rate|", 21);
      failed += writer.Commit(6) != 6;
      failed += writer.Commit(10) != 10;
      failed += writer.Commit(5) != 5;
    }
    // 630,000 bytes fill the buffer twice: each failed flush fails exactly
    // the one record that needed the room.
    EXPECT_GE(failed, 2);
    EXPECT_LE(failed, 3);
  }
  EXPECT_EQ(CloseFile(full), -1);
}

// Conversions in several threads open and adopt their files at the same
// time: every descriptor must get a handle of its own.
TEST(FileThreads, HandlesOpenedAndAdoptedAtOnceAreNeverShared) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 6;
  std::vector<std::vector<int>> handles(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &handles] {
      for (int i = 0; i < kPerThread; ++i) {
        handles[static_cast<size_t>(t)].push_back(
            i % 2 == 0 ? OpenFile("/dev/null", VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY)
                       : AdoptFileDescriptor(::dup(STDERR_FILENO), VAL_WRITE_ONLY));
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  std::set<int> distinct;
  for (const std::vector<int>& ofThread : handles) {
    for (int handle : ofThread) {
      EXPECT_GT(handle, 0);
      distinct.insert(handle);
    }
  }
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kPerThread));
  for (int handle : distinct)
    EXPECT_EQ(CloseFile(handle), 0);
}
