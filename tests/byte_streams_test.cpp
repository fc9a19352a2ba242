#include "runtime/byte_streams.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/system_call_fakes.h"
#include "tests/test_support.h"

namespace {

using zorq_test::FakeSystemCalls;
using zorq_test::ReadWholeFile;
using zorq_test::SystemCall;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

std::string Numbered(size_t size) {
  std::string bytes;
  for (size_t i = 0; bytes.size() < size; ++i)
    bytes += std::to_string(i) + ",";
  bytes.resize(size);
  return bytes;
}

std::string ReadAll(ByteSource& source, long chunk) {
  std::string all;
  std::string block(static_cast<size_t>(chunk), '\0');
  long got;
  while ((got = source.Read(block.data(), chunk)) > 0)
    all.append(block.data(), static_cast<size_t>(got));
  return all;
}

enum class SourceKind { File, Pipe, Memory };

struct SourceRow {
  const char* name;
  SourceKind kind;
  size_t size;
};

class SourceKinds : public testing::TestWithParam<SourceRow> {
 protected:
  std::unique_ptr<ByteSource> Make(const std::string& bytes) {
    switch (GetParam().kind) {
      case SourceKind::Memory:
        return std::make_unique<MemorySource>(bytes);
      case SourceKind::File: {
        const std::string path = dir_.Path("dump");
        WriteWholeFile(path, bytes);
        return std::make_unique<DescriptorSource>(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
      }
      case SourceKind::Pipe:
        break;
    }
    int ends[2];
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    writer_ = std::thread([bytes, end = ends[1]] {
      size_t done = 0;
      while (done < bytes.size()) {
        const ssize_t put = ::write(end, bytes.data() + done, bytes.size() - done);
        if (put <= 0)
          break;
        done += static_cast<size_t>(put);
      }
      ::close(end);
    });
    return std::make_unique<DescriptorSource>(ends[0]);
  }
  void TearDown() override {
    if (writer_.joinable())
      writer_.join();
  }

  TempDir dir_;
  std::thread writer_;
};

// The header is looked at before the conversion reads from the first byte,
// and the digest's tap hears every byte once whatever was read ahead.
TEST_P(SourceKinds, HeadThenRewindReadsFromTheFirstByteAndTapsEachByteOnce) {
  const std::string bytes = Numbered(GetParam().size);
  std::unique_ptr<ByteSource> source = Make(bytes);
  const std::string_view head = source->Head(1024);
  EXPECT_EQ(head, bytes.substr(0, 1024));
  std::string tapped;
  source->SetTap([&tapped](const char* at, size_t count) { tapped.append(at, count); });
  ASSERT_TRUE(source->Rewind());
  EXPECT_EQ(ReadAll(*source, 1000), bytes);
  EXPECT_EQ(tapped, bytes);
  EXPECT_EQ(source->Read(tapped.data(), 10), 0);
  EXPECT_EQ(source->error(), 0);
  EXPECT_EQ(source->Size(), GetParam().kind == SourceKind::Pipe ? -1 : int64_t(bytes.size()));
}

INSTANTIATE_TEST_SUITE_P(Rows, SourceKinds,
                         testing::Values(SourceRow{"File", SourceKind::File, 700 * 1024},
                                         SourceRow{"SmallFile", SourceKind::File, 300},
                                         SourceRow{"Pipe", SourceKind::Pipe, 700 * 1024},
                                         SourceRow{"SmallPipe", SourceKind::Pipe, 300},
                                         SourceRow{"Memory", SourceKind::Memory, 5000}),
                         [](const auto& row) { return std::string(row.param.name); });

// A file long enough to be read ahead hands out the same bytes, and a read
// that fails hands out every byte before it first, whichever thread made it;
// the tap hears what was handed out, each byte once.
struct ReadAheadRow {
  const char* name;
  int failingRead;       // the read(2) call that fails with EIO, or -1
  size_t seekBackAfter;  // bytes read before a Seek to the start, or 0
};

class ReadAhead : public testing::TestWithParam<ReadAheadRow> {};

TEST_P(ReadAhead, HandsOutTheFileAndAFailureAfterTheBytesBeforeIt) {
  ReadAheadRow row = GetParam();
  TempDir dir;
  const std::string path = dir.Path("dump");
  const std::string bytes = Numbered(12 * ByteSink::kBufferSize + 1000);
  WriteWholeFile(path, bytes);
  FakeSystemCalls fakes;
  fakes.fault = [&row](const zorq_test::CallSeen& seen) {
    return seen.call == SystemCall::Read && seen.indexOfKind == row.failingRead ? EIO : 0;
  };
  DescriptorSource source(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  std::string tapped;
  source.SetTap([&tapped](const char* at, size_t count) { tapped.append(at, count); });
  std::string got;
  std::string block(3000, '\0');
  long count;
  while ((count = source.Read(block.data(), long(block.size()))) > 0) {
    got.append(block.data(), size_t(count));
    if (row.seekBackAfter != 0 && got.size() >= row.seekBackAfter) {
      ASSERT_EQ(source.Seek(0, SEEK_SET), 0);
      got.clear();
      row.seekBackAfter = 0;
    }
  }
  if (row.failingRead < 0) {
    EXPECT_EQ(count, 0);
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(tapped, bytes) << "each byte once, in order, wherever it was read";
    return;
  }
  EXPECT_EQ(count, -1);
  EXPECT_EQ(source.error(), EIO);
  const size_t before = std::min(bytes.size(), size_t(row.failingRead) * ByteSink::kBufferSize);
  EXPECT_EQ(got.size(), before);
  EXPECT_EQ(got, bytes.substr(0, before));
  EXPECT_EQ(tapped, got);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadAhead,
    // Buffers are read ahead from the fifth on; the thirteenth read takes
    // the last 1,000 bytes and the fourteenth finds the end.
    testing::Values(ReadAheadRow{"AllRead", -1, 0}, ReadAheadRow{"FailsBeforeReadingAhead", 2, 0},
                    ReadAheadRow{"FailsInABufferReadAhead", 7, 0},
                    ReadAheadRow{"FailsAtTheEnd", 13, 0},
                    ReadAheadRow{"SeekBackWhileABufferIsInFlight", -1, 1536 * 1024}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(DescriptorSourceTest, AStopWakesAReadThatWaitsForAWriter) {
  int data[2];
  int stop[2];
  ASSERT_EQ(::pipe2(data, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(stop, O_CLOEXEC), 0);
  DescriptorSource source(data[0], true, stop[0]);
  std::thread stopper([end = stop[1]] {
    const char byte = 1;
    EXPECT_EQ(::write(end, &byte, 1), 1);
  });
  char block[16];
  EXPECT_LT(source.Read(block, sizeof block), 0);
  EXPECT_EQ(source.error(), ECANCELED);
  stopper.join();
  for (int fd : {data[1], stop[0], stop[1]})
    ::close(fd);
}

// A full disk (or a reader that went away) takes part of a buffer: the sink
// says how much reached the output and keeps the lines that did not arrive
// whole, from the torn one's start.
struct LossRow {
  const char* name;
  size_t capacity;
  int64_t tornBytes;
  const char* unacceptedStart;
};

class SinkLosses : public testing::TestWithParam<LossRow> {};

TEST_P(SinkLosses, AcceptedCountsWhatArrivedAndTheLossStartsAtALine) {
  const LossRow& row = GetParam();
  MemorySink sink(row.capacity);
  for (const char* line : {"first,1\r\n", "second,2\r\n", "third,3\r\n"})
    ASSERT_EQ(sink.Write(line, long(std::char_traits<char>::length(line))),
              long(std::char_traits<char>::length(line)));
  EXPECT_EQ(sink.Flush(), -1);
  EXPECT_EQ(sink.Accepted(), int64_t(row.capacity));
  EXPECT_EQ(sink.bytes().size(), row.capacity);
  EXPECT_EQ(sink.error(), ENOSPC);
  EXPECT_TRUE(sink.loss().any);
  EXPECT_EQ(sink.loss().tornBytes, row.tornBytes);
  EXPECT_EQ(sink.loss().unaccepted.substr(0, 6), row.unacceptedStart);
  // The lost bytes are dropped once: the next flush has nothing to hand on.
  EXPECT_EQ(sink.Flush(), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, SinkLosses,
                         testing::Values(LossRow{"Nothing", 0, 0, "first,"},
                                         LossRow{"AtALineEnd", 9, 0, "second"},
                                         LossRow{"MidLine", 13, 4, "second"},
                                         LossRow{"InTheLastLine", 27, 8, "third,"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(DescriptorSinkTest, ShortWritesAndAFullDiskAreCountedAsTheFileTookThem) {
  TempDir dir;
  const std::string path = dir.Path("out");
  const std::string bytes = Numbered(300 * 1024);
  {
    FakeSystemCalls fakes;
    fakes.writeLimit = 1000;  // every write(2) takes 1000 bytes at most
    fakes.fault = [](const zorq_test::CallSeen& seen) {
      return seen.call == SystemCall::Write && seen.bytesWrittenBefore >= 5000 ? ENOSPC : 0;
    };
    DescriptorSink sink(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    EXPECT_EQ(sink.Write(bytes.data(), long(bytes.size())), -1);
    EXPECT_EQ(sink.Accepted(), 5000);
    EXPECT_EQ(sink.error(), ENOSPC);
  }
  EXPECT_EQ(ReadWholeFile(path), bytes.substr(0, 5000));
}

// A sink that writes behind hands on the same bytes, counts the same and
// loses the same on a full disk as one that does not; only the call that
// tells of the failure may come a buffer later.
struct BehindRow {
  const char* name;
  size_t roomOnDisk;  // bytes write(2) takes before ENOSPC
};

class WriteBehind : public testing::TestWithParam<BehindRow> {};

struct SinkRun {
  std::string file;
  int64_t accepted = 0;
  int error = 0;
  SinkLoss loss;
  int64_t recordsArrived = 0;  // formatted, less those the loss holds
};

// Records of several lengths through a RecordWriter, and one longer than
// the buffer through Write, up to the first failure, where a conversion
// stops.
SinkRun WriteRecords(const std::string& path, size_t roomOnDisk, bool behind) {
  SinkRun run;
  FakeSystemCalls fakes;
  fakes.writeLimit = 4000;  // short writes, so a buffer can be torn anywhere
  fakes.fault = [roomOnDisk](const zorq_test::CallSeen& seen) {
    return seen.call == SystemCall::Write && seen.bytesWrittenBefore >= roomOnDisk ? ENOSPC : 0;
  };
  DescriptorSink sink(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (behind)
    sink.WriteBehindFrom(0);
  int64_t formatted = 0;
  bool failed = false;
  for (int i = 0; i < 60000 && !failed; ++i) {
    const std::string record =
        i == 30000 ? Numbered(ByteSink::kBufferSize + 123) + "\r\n"
                   : "r" + std::to_string(i) + std::string(size_t(i % 37), 'x') + "\r\n";
    ++formatted;
    if (record.size() > RecordWriter::kMaxSpace) {
      failed = sink.Write(record.data(), long(record.size())) < 0;
      continue;
    }
    RecordWriter writer(&sink);
    char* space = writer.Space(record.size());
    if (space == nullptr) {
      ADD_FAILURE() << "no space for record " << i;
      return run;
    }
    std::memcpy(space, record.data(), record.size());
    failed = writer.Commit(record.size()) < 0;
  }
  if (!failed)
    failed = sink.Flush() < 0;
  EXPECT_EQ(failed, roomOnDisk != size_t(-1));
  run.accepted = sink.Accepted();
  run.error = sink.error();
  run.loss = sink.loss();
  run.recordsArrived =
      formatted - std::count(run.loss.unaccepted.begin(), run.loss.unaccepted.end(), '\n');
  sink.Close();
  run.file = ReadWholeFile(path);
  return run;
}

TEST_P(WriteBehind, HandsOnCountsAndLosesWhatAPlainSinkDoes) {
  TempDir dir;
  const size_t room = GetParam().roomOnDisk;
  const SinkRun plain = WriteRecords(dir.Path("plain"), room, false);
  const SinkRun behind = WriteRecords(dir.Path("behind"), room, true);
  EXPECT_EQ(behind.file, plain.file);
  EXPECT_EQ(behind.accepted, int64_t(behind.file.size()));
  EXPECT_EQ(behind.accepted, plain.accepted);
  EXPECT_EQ(behind.error, plain.error);
  EXPECT_EQ(behind.loss.any, plain.loss.any);
  EXPECT_EQ(behind.loss.tornBytes, plain.loss.tornBytes);
  // The lost bytes start at the torn record's start, and the records told
  // as written are those that arrived whole, however late the failure was
  // learnt.
  EXPECT_EQ(behind.loss.unaccepted.substr(0, 64), plain.loss.unaccepted.substr(0, 64));
  EXPECT_EQ(behind.recordsArrived, plain.recordsArrived);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WriteBehind,
    // The records come to about 1.8 MB; the long one spans 768,785 to 1,031,054.
    testing::Values(BehindRow{"AllArrive", size_t(-1)}, BehindRow{"FullAtOnce", 0},
                    BehindRow{"FullInTheFirstBuffer", 100000},
                    BehindRow{"FullAfterSeveralBuffers", 600000},
                    BehindRow{"FullWithinTheLongRecord", 900000},
                    BehindRow{"FullNearTheEnd", 1700000}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
