#include "science/tidy_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/files.h"
#include "runtime/system_calls.h"

namespace {

constexpr char kHeaderRow[] = "time,reading,temperature,flag\n";
constexpr size_t kLongestRow = 128;
constexpr int64_t kMillisecondsPerSecond = 1000;

}  // namespace

// Rows kept aside in an unnamed temporary file until the last reading's
// time is known, as plain bytes through the file layer's system calls.
class RowSpool {
 public:
  static constexpr size_t kRowBytes = 3 * sizeof(double) + 2;
  static constexpr size_t kBufferRows = 4096;

  ~RowSpool() {
    if (fd_ >= 0)
      RetryInterrupted([&] { return FileSystem().close(fd_); });
  }

  bool Open(std::string* error) {
    const char* folder = std::getenv("TMPDIR");
    if (folder == nullptr || *folder == '\0')
      folder = "/tmp";
    fd_ = RetryInterrupted(
        [&] { return FileSystem().open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600); });
    if (fd_ < 0) {
      *error = std::string("cannot make a temporary file in ") + folder +
               " for the tidy rows: " + std::strerror(errno);
      return false;
    }
    buffer_.reserve(kRowBytes * kBufferRows);
    return true;
  }

  template <typename Row>
  bool Put(const Row& row) {
    char bytes[kRowBytes];
    std::memcpy(bytes, &row.time, sizeof(double));
    std::memcpy(bytes + sizeof(double), &row.reading, sizeof(double));
    std::memcpy(bytes + 2 * sizeof(double), &row.temperature, sizeof(double));
    bytes[3 * sizeof(double)] = static_cast<char>(row.hasTemperature ? 1 : 0);
    bytes[3 * sizeof(double) + 1] = static_cast<char>(row.flag);
    buffer_.insert(buffer_.end(), bytes, bytes + kRowBytes);
    return buffer_.size() < kRowBytes * kBufferRows || Drain();
  }

  // Hands each spooled row to `take`, in order.
  template <typename Row, typename Take>
  bool Replay(Take&& take) {
    if (!Drain() || RetryInterrupted([&] { return FileSystem().lseek(fd_, 0, SEEK_SET); }) != 0)
      return false;
    buffer_.resize(kRowBytes * kBufferRows);
    for (;;) {
      const BytesMoved got = MoveAll(FileSystem().read, fd_, buffer_.data(), buffer_.size());
      if (got.failed || got.count % kRowBytes != 0)
        return false;
      for (size_t at = 0; at < got.count; at += kRowBytes) {
        Row row;
        const char* bytes = buffer_.data() + at;
        std::memcpy(&row.time, bytes, sizeof(double));
        std::memcpy(&row.reading, bytes + sizeof(double), sizeof(double));
        std::memcpy(&row.temperature, bytes + 2 * sizeof(double), sizeof(double));
        row.hasTemperature = bytes[3 * sizeof(double)] != 0;
        row.flag = static_cast<int8_t>(bytes[3 * sizeof(double) + 1]);
        take(row);
      }
      if (got.count < buffer_.size())
        return true;
    }
  }

 private:
  bool Drain() {
    const BytesMoved moved = MoveAll(FileSystem().write, fd_, buffer_.data(), buffer_.size());
    const bool whole = !moved.failed && moved.count == buffer_.size();
    buffer_.clear();
    return whole;
  }

  int fd_ = -1;
  std::vector<char> buffer_;
};

TidyWriter::TidyWriter(ScienceSettings settings, ByteSink* sink, std::string shown,
                       ReadingTests* tests)
    : settings_(std::move(settings)),
      sink_(sink),
      shown_(std::move(shown)),
      axis_(settings_.zone, settings_.clock),
      ownTests_(tests == nullptr ? std::make_unique<ReadingTests>(settings_, nullptr) : nullptr),
      tests_(tests == nullptr ? ownTests_.get() : tests) {}

std::string TidyWriter::WriteFailure() const {
  const int why = sink_ != nullptr && sink_->error() != 0 ? sink_->error() : EIO;
  return "cannot write the tidy CSV" + (shown_.empty() ? "" : " " + shown_) + ": " +
         std::strerror(why);
}

TidyWriter::~TidyWriter() = default;

void TidyWriter::Fail(const std::string& why) {
  if (error_.empty())
    error_ = why;
}

bool TidyWriter::Start(std::string* error) {
  writer_ = std::make_unique<RecordWriter>(sink_);
  if (writer_->Write(kHeaderRow, sizeof kHeaderRow - 1) < 0)
    Fail(WriteFailure());
  if (!failed() && !axis_.CorrectsAsItGoes()) {
    spool_ = std::make_unique<RowSpool>();
    std::string why;
    if (!spool_->Open(&why))
      Fail(why);
  }
  if (failed())
    *error = error_;
  return !failed();
}

void TidyWriter::OnReadings(const ReadingLine& line) {
  if (ownTests_)
    ownTests_->OnReadings(line);
  double stampUtc = 0.0;
  if (failed() || !axis_.LineStampUtc(line, &stampUtc)) {
    facts_.Leave(line);
    return;
  }
  // Those the NetCDF output leaves out for their time stay here, bad (the
  // tests take the conversion's flag 4 into their aggregate).
  const int leftOut = rising_.LeftOut(line, stampUtc);
  facts_.notRising += leftOut;
  ReadingFlags completed;
  for (int i = 0; i < line.count && !failed(); ++i) {
    Row& row = rows_[1 - held_];
    row.hasTemperature = line.hasTemperature;
    row.temperature = line.temperature;
    row.time = ReadingTime(line, stampUtc, i);
    row.reading = line.values[i];
    facts_.Place(row.time);
    axis_.Place(row.time);
    if (tests_->CompletedBy(i, &completed))
      PassHeld(completed);
    held_ = 1 - held_;
  }
}

// The held row, with its aggregate flag now known, to the file or the spool.
void TidyWriter::PassHeld(const ReadingFlags& flags) {
  Row& row = rows_[held_];
  row.flag = flags.aggregate;
  if (!spool_) {
    row.time = axis_.Corrected(row.time);
    Emit(row);
  } else if (!spool_->Put(row)) {
    Fail(std::string("cannot keep the tidy rows aside: ") + std::strerror(errno));
  }
}

void TidyWriter::OnFillers(int64_t, int64_t, int count) {
  facts_.fillers += count;
}

void TidyWriter::Emit(const Row& row) {
  char* const start = writer_->Space(kLongestRow);
  char* const end = start + kLongestRow;
  const int64_t milliseconds = std::llround(row.time * static_cast<double>(kMillisecondsPerSecond));
  int64_t second = milliseconds / kMillisecondsPerSecond;
  int64_t fraction = milliseconds % kMillisecondsPerSecond;
  if (fraction < 0) {
    fraction += kMillisecondsPerSecond;
    --second;
  }
  if (second != cachedSecond_) {
    const CivilTime civil = CivilFromSeconds(second);
    const int length =
        std::snprintf(cachedPrefix_, sizeof cachedPrefix_, "%04lld-%02d-%02dT%02d:%02d:%02d.",
                      static_cast<long long>(civil.year), civil.month, civil.day, civil.hour,
                      civil.minute, civil.second);
    cachedLength_ = static_cast<size_t>(length);
    cachedSecond_ = second;
  }
  char* at = start;
  std::memcpy(at, cachedPrefix_, cachedLength_);
  at += cachedLength_;
  *at++ = static_cast<char>('0' + fraction / 100);
  *at++ = static_cast<char>('0' + fraction / 10 % 10);
  *at++ = static_cast<char>('0' + fraction % 10);
  *at++ = 'Z';
  *at++ = ',';
  at = std::to_chars(at, end, row.reading).ptr;
  *at++ = ',';
  if (row.hasTemperature)
    at = std::to_chars(at, end, row.temperature).ptr;
  *at++ = ',';
  *at++ = static_cast<char>('0' + row.flag);
  *at++ = '\n';
  if (writer_->Commit(static_cast<size_t>(at - start)) < 0)
    Fail(WriteFailure());
}

bool TidyWriter::Finish(std::string* error) {
  ReadingFlags last;
  if (tests_->Last(&last) && !failed())
    PassHeld(last);
  if (!failed() && spool_) {
    const bool replayed = spool_->Replay<Row>([&](Row row) {
      if (failed())
        return;
      row.time = axis_.Corrected(row.time);
      Emit(row);
    });
    if (!replayed)
      Fail(std::string("cannot read back the tidy rows kept aside: ") + std::strerror(errno));
  }
  spool_.reset();
  writer_.reset();  // hands the bytes back to the sink
  if (!failed() && (sink_ == nullptr || sink_->Flush() < 0))
    Fail(WriteFailure());
  if (failed())
    *error = error_;
  return !failed();
}
