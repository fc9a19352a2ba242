// A new output has the disk write it while it grows, a window at a time.
#include "outputs/safe_output.h"

#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "runtime/byte_streams.h"
#include "tests/system_call_fakes.h"
#include "tests/test_support.h"

namespace {

using zorq_test::FakeSystemCalls;
using zorq_test::SystemCall;

constexpr int64_t kWindow = SafeOutput::kWritebackWindow;

struct WritebackCase {
  const char* name;
  int failingSync;   // the sync_file_range call that fails with EIO, or -1
  size_t writeSize;  // each Write's bytes; 0: a step at once
};

class NewOutputWriteback : public testing::TestWithParam<WritebackCase> {};

// Writes `bytes` more through the conversion's sink, which starts the
// writeback of each buffer it hands on by itself.
void Grow(ByteSink* sink, int64_t bytes, size_t writeSize) {
  const size_t piece = writeSize == 0 ? static_cast<size_t>(bytes) : writeSize;
  const std::string block(piece, 'x');
  for (int64_t done = 0; done < bytes; done += static_cast<int64_t>(piece)) {
    const long count = static_cast<long>(std::min<int64_t>(bytes - done, int64_t(piece)));
    ASSERT_EQ(sink->Write(block.data(), count), count);
  }
  ASSERT_EQ(sink->Flush(), 0);
}

TEST_P(NewOutputWriteback, CoversEachWholeWindowOnceAndNeverTheOneStillFilling) {
  const WritebackCase& c = GetParam();
  zorq_test::TempDir dir;
  const std::string path = dir.Path("out.csv");
  FakeSystemCalls fakes;
  fakes.fault = [&c](const zorq_test::CallSeen& seen) {
    return seen.call == SystemCall::SyncFileRange && seen.indexOfKind == c.failingSync ? EIO : 0;
  };
  SafeOutput output;
  std::string error;
  ASSERT_TRUE(output.Prepare(path, OutputPolicy{}, 0, 0, &error)) << error;
  ByteSink* sink = output.Sink();
  ASSERT_NE(sink, nullptr);
  // Less than a window, then across two boundaries at once, then up to a
  // boundary exactly, then a tail.
  const int64_t steps[] = {kWindow / 2, 2 * kWindow, kWindow / 2, 100};
  int64_t total = 0;
  for (int64_t step : steps) {
    Grow(sink, step, c.writeSize);
    total += step;
  }
  ASSERT_TRUE(output.Commit(&error)) << "a failed writeback only delays the sync: " << error;

  int64_t started = 0;  // where the next started range must begin
  for (const FakeSystemCalls::SyncedRange& range : fakes.syncedRanges) {
    EXPECT_EQ(range.offset % kWindow, 0);
    EXPECT_EQ(range.count % kWindow, 0) << "only whole windows";
    if (range.flags == SYNC_FILE_RANGE_WRITE) {
      EXPECT_EQ(range.offset, started) << "each window started once, in order";
      started = range.offset + range.count;
    } else {
      EXPECT_LT(range.offset + range.count, started) << "waits only for windows before";
    }
  }
  EXPECT_EQ(started, total / kWindow * kWindow);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, total);
}

INSTANTIATE_TEST_SUITE_P(Writeback, NewOutputWriteback,
                         testing::Values(WritebackCase{"AllSucceed", -1, 0},
                                         WritebackCase{"FirstFails", 0, 0},
                                         WritebackCase{"SecondFails", 1, 0},
                                         // Past its first 4 MB, on the sink's own thread.
                                         WritebackCase{"WrittenBehindInRecords", -1, 4099}),
                         [](const testing::TestParamInfo<WritebackCase>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
