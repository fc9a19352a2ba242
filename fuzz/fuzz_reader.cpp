// The flash text reader on arbitrary bytes, with both skip rules. Every line
// it hands over is compared with a straightforward cut of the whole input
// into lines, so no byte is lost, doubled or taken from past the end. A third
// pass makes one read(2) fail (which one follows from the input's size): the
// lines completed before it must arrive, then the input ends with status 1.
// Every line's number and byte are those of its first byte in the input.
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "convert/conversion_context.h"
#include "convert/flash_line_reader.h"
#include "convert/status.h"
#include "fuzz/fuzz_support.h"
#include "runtime/files.h"
#include "runtime/system_calls.h"

namespace {

// The file layer's read(2) hands back one block at a time here, so that
// read number n (from 0) is the reader's block n; that one fails.
int gReads = 0;
int gFailingRead = -1;

ssize_t ReadOneBlockFailingOne(int fd, void* buffer, size_t count) {
  if (gReads++ == gFailingRead) {
    errno = EIO;
    return -1;
  }
  const size_t block = static_cast<size_t>(FlashLineReader::kBlockSize);
  return RealFileSystemCalls().read(fd, buffer, std::min(count, block));
}

using zorq_fuzz::MemoryFile;

struct ExpectedLine {
  std::string bytes;
  size_t lf;       // offset of its LF in the dump
  size_t start;    // offset of its first byte
  int64_t number;  // 1 + the LFs before its first byte
};

struct ExpectedDump {
  bool headerOk = false;
  std::vector<ExpectedLine> lines;
};

// The dump cut into lines the plain way: the header occupies the first 63
// bytes, a line runs to the next LF (its first byte is taken unseen), a line
// without an LF at the end is dropped, a long line keeps its first 1024
// bytes, and skipped lines are left out.
ExpectedDump CutIntoLines(const uint8_t* data, size_t size, bool skipShortLines) {
  ExpectedDump expected;
  const size_t firstBlock = size < 1024 ? size : 1024;
  expected.headerOk = firstBlock >= 129 && data[0] == 'Y';
  if (!expected.headerOk)
    return expected;
  // The LFs before a byte, counted as the cut moves on.
  size_t counted = 0;
  int64_t lineFeeds = 0;
  const auto lineFeedsBefore = [&](size_t at) {
    for (; counted < at; ++counted)
      lineFeeds += data[counted] == '\n';
    return lineFeeds;
  };
  size_t pos = 63;
  while (pos < size) {
    const size_t start = pos++;
    const int64_t number = 1 + lineFeedsBefore(start);
    while (pos < size && data[pos] != '\n')
      ++pos;
    if (pos >= size)
      break;  // no LF: the unfinished line is dropped
    const size_t length = pos - start;
    std::string line(reinterpret_cast<const char*>(data + start), length < 1024 ? length : 1024);
    const bool skipped = line[0] == ',' || (skipShortLines && line.size() < 3);
    if (!skipped)
      expected.lines.push_back({std::move(line), pos, start, number});
    ++pos;
  }
  return expected;
}

// A date-stamp line fails exactly when it is short or a letter is misplaced.
void CheckDateStamp(const FlashLineReader& reader, uint8_t& status) {
  const char* line = reader.Line();
  const int length = reader.LineLength();
  const DateStamp before{1, 2, 3, 4, 5, 6};
  DateStamp stamp = before;
  status = kStatusReady;
  reader.DecodeDateStamp(&stamp);
  bool broken = length < 25;
  if (!broken) {
    broken =
        line[4] != 'M' || line[8] != 'D' || line[12] != 'H' || line[16] != 'M' || line[20] != 'S';
  }
  ZORQ_FUZZ_CHECK((status == kStatusDateTimeError) == broken,
                  "date stamp of %d bytes gave status %d", length, status);
  if (length < 25) {
    ZORQ_FUZZ_CHECK(std::memcmp(&stamp, &before, sizeof stamp) == 0,
                    "a short date stamp changed the values");
  }
  if (length >= 25 && line[4] != 'M') {
    ZORQ_FUZZ_CHECK(stamp.month == before.month, "a missing month letter changed the month");
  }
  status = kStatusReady;
}

// Reads the dump to its end. With `failingRead` k >= 0 the k-th read of the
// From file fails: at the header that is a header error; later, the lines
// whose LF lies in the blocks before it arrive and the input then ends with
// status 1. The k-th read happens only when block k - 1 was not empty.
void ReadAll(const MemoryFile& dump, const uint8_t* data, size_t size, bool skipShortLines,
             int failingRead = -1) {
  ExpectedDump expected = CutIntoLines(data, size, skipShortLines);
  const size_t kBlock = FlashLineReader::kBlockSize;
  const bool failureReached =
      failingRead == 0 || (failingRead > 0 && expected.headerOk &&
                           size > static_cast<size_t>(failingRead - 1) * kBlock);
  if (failingRead == 0)
    expected = ExpectedDump{};
  if (failureReached && failingRead > 0) {
    const size_t readable = static_cast<size_t>(failingRead) * kBlock;
    while (!expected.lines.empty() && expected.lines.back().lf >= readable)
      expected.lines.pop_back();
  }
  ConversionRequest request;
  const int from = OpenFile(dump.Path().c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  ZORQ_FUZZ_CHECK(from > 0, "the dump did not open");
  request.from = SourceOfHandle(from);
  ConversionResult result;
  ConversionContext context(request, &result);
  uint8_t& status = result.status;
  gReads = 0;
  gFailingRead = failingRead;
  FileSystemCalls calls = RealFileSystemCalls();
  calls.read = ReadOneBlockFailingOne;
  SetFileSystemCallsForTesting(&calls);

  FlashLineReader reader(context, skipShortLines);
  const bool headerOk = reader.ReadHeaderBlock();
  ZORQ_FUZZ_CHECK(headerOk == expected.headerOk, "header accepted: %d, expected %d", headerOk,
                  expected.headerOk);
  if (!headerOk) {
    ZORQ_FUZZ_CHECK(status == kStatusHeaderError, "failed header gave status %d", status);
    ZORQ_FUZZ_CHECK(!reader.NextLine(), "a line after a refused header block");
  } else {
    size_t index = 0;
    while (reader.NextLine()) {
      const int length = reader.LineLength();
      ZORQ_FUZZ_CHECK(length >= 1 && length <= 1024, "line length %d", length);
      ZORQ_FUZZ_CHECK(reader.Line()[0] != ',', "a line starting with a comma was handed over");
      ZORQ_FUZZ_CHECK(!skipShortLines || length >= 3, "a short line was handed over");
      ZORQ_FUZZ_CHECK(index < expected.lines.size(), "more lines than the dump holds");
      const std::string& want = expected.lines[index].bytes;
      ZORQ_FUZZ_CHECK(static_cast<size_t>(length) == want.size() &&
                          std::memcmp(reader.Line(), want.data(), want.size()) == 0,
                      "line %zu differs from the dump", index);
      ZORQ_FUZZ_CHECK(reader.LineByte() == static_cast<int64_t>(expected.lines[index].start) &&
                          reader.LineNumber() == expected.lines[index].number,
                      "line %zu at byte %lld is numbered %lld, expected byte %zu line %lld", index,
                      static_cast<long long>(reader.LineByte()),
                      static_cast<long long>(reader.LineNumber()), expected.lines[index].start,
                      static_cast<long long>(expected.lines[index].number));
      if (reader.Line()[0] == 'Y')
        CheckDateStamp(reader, status);
      ++index;
    }
    ZORQ_FUZZ_CHECK(index == expected.lines.size(), "%zu lines handed over, the dump holds %zu",
                    index, expected.lines.size());
    if (failureReached) {
      ZORQ_FUZZ_CHECK(reader.ReadFailed() && status == kStatusFileError,
                      "a failed read %d gave status %d", failingRead, status);
    } else {
      ZORQ_FUZZ_CHECK(!reader.ReadFailed() && status == kStatusReady,
                      "the end of the input set status %d", status);
    }
    ZORQ_FUZZ_CHECK(!reader.NextLine(), "a line after the end of the input");
    ZORQ_FUZZ_CHECK(!failureReached || gReads == failingRead + 1, "%d reads with read %d failing",
                    gReads, failingRead);
  }
  SetFileSystemCallsForTesting(nullptr);
  CloseFile(from);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  zorq_fuzz::InitEnvironment();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const MemoryFile dump("dump", data, size);
  ReadAll(dump, data, size, true);
  ReadAll(dump, data, size, false);
  ReadAll(dump, data, size, size % 2 == 0, static_cast<int>(size % 5));
  return 0;
}
