// What the report says was written, when the To file stops taking bytes
// part of the way (a full disk): records and bytes that arrived, and a
// torn last record.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "convert/dispatch.h"
#include "convert/status.h"
#include "runtime/byte_streams.h"
#include "tests/system_call_fakes.h"
#include "tests/test_support.h"

namespace {

using zorq_test::CallSeen;
using zorq_test::FakeSystemCalls;
using zorq_test::ReadWholeFile;
using zorq_test::SystemCall;
using zorq_test::TempDir;

std::string BigGaugeDump() {
  std::string dump = zorq_test::WorkedGaugeDump();
  for (int i = 0; i < 4000; ++i)
    dump += "1.25,,1.5,2,2.25,-0.5,0,3.125,10,1.75,1.5,1.25,1,372,\r\n";
  return dump;
}

// The records of `output` that end within it: lines starting as the
// report's records do (f001 for the logger, D1,C1 values for the gauge).
int64_t WholeRecords(std::string_view output, bool gauge) {
  const std::string_view start = gauge ? "D1,C1," : "f001,";
  int64_t count = 0;
  for (size_t at = 0, lf; (lf = output.find('\n', at)) != std::string_view::npos; at = lf + 1)
    count += output.substr(at, start.size()) == start;
  return count;
}

DispatchRequest RequestFor(bool gauge, ByteSource* from, ByteSink* to) {
  DispatchRequest request;
  request.fromOpen = request.toOpen = true;
  request.from = from;
  request.to = to;
  request.fromType = gauge ? 3 : 2;
  request.toType = gauge ? 1 : 0;
  return request;
}

struct FullDiskRow {
  const char* name;
  bool gauge;
  size_t room;        // no write(2) is taken once this many bytes are
  size_t writeLimit;  // the most one write(2) takes
};

class FullDisk : public testing::TestWithParam<FullDiskRow> {};

TEST_P(FullDisk, RecordsAndBytesWrittenCountWhatTheFileTook) {
  const FullDiskRow& row = GetParam();
  const std::string dump = row.gauge ? BigGaugeDump() : zorq_test::RepeatedWorkedLoggerDump(3000);
  MemorySource wholeFrom(dump);
  MemorySink whole;
  const DispatchOutcome full = DispatchConversion(RequestFor(row.gauge, &wholeFrom, &whole));
  ASSERT_EQ(full.status, kStatusFinished);
  ASSERT_GT(whole.bytes().size(), row.room + 1000);

  TempDir dir;
  const std::string path = dir.Path("out.csv");
  DispatchOutcome outcome;
  {
    FakeSystemCalls fakes;
    fakes.writeLimit = row.writeLimit;
    fakes.fault = [&row](const CallSeen& seen) {
      return seen.call == SystemCall::Write && seen.bytesWrittenBefore >= row.room ? ENOSPC : 0;
    };
    MemorySource from(dump);
    DescriptorSink to(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    outcome = DispatchConversion(RequestFor(row.gauge, &from, &to));
    to.Close();
  }
  const std::string file = ReadWholeFile(path);
  // The write that meets the full disk may have taken a little past `room`.
  ASSERT_GE(file.size(), row.room);
  ASSERT_LT(file.size(), row.room + row.writeLimit);
  ASSERT_TRUE(file == whole.bytes().substr(0, file.size()));
  const ConversionReport& report = outcome.result.report;
  EXPECT_EQ(outcome.status, kStatusWriteError);
  EXPECT_EQ(report.bytesWritten, static_cast<int64_t>(file.size()));
  EXPECT_EQ(report.recordsWritten, WholeRecords(file, row.gauge));
  const size_t lastLf = file.rfind('\n');
  EXPECT_EQ(report.tornRecordBytes,
            static_cast<int64_t>(file.size() - (lastLf == std::string::npos ? 0 : lastLf + 1)));
}

INSTANTIATE_TEST_SUITE_P(Rows, FullDisk,
                         testing::Values(FullDiskRow{"LoggerInTheFirstBuffer", false, 2000, 1000},
                                         FullDiskRow{"LoggerInALaterBuffer", false, 300000, 1000},
                                         FullDiskRow{"LoggerNothingTaken", false, 0, 1000},
                                         FullDiskRow{"LoggerShortWrites", false, 300021, 7},
                                         FullDiskRow{"GaugeInTheHeader", true, 100, 100},
                                         FullDiskRow{"GaugeInALaterBuffer", true, 300000, 4096}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
