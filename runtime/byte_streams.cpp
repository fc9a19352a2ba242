#include "runtime/byte_streams.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

#include "runtime/system_calls.h"
#include "runtime/worker.h"

namespace {

WriteFaultHook gWriteFault;

// Linux releases the descriptor even when close(2) is interrupted, so it is
// never made twice: a second close could close a descriptor opened since.
int CloseDescriptor(int fd) {
  const int closed = FileSystem().close(fd);
  return closed < 0 && errno == EINTR ? 0 : closed;
}

bool StatusOf(int fd, struct stat* info) {
  return RetryInterrupted([fd, info] { return FileSystem().fstat(fd, info); }) == 0;
}

std::optional<FileIdentity> IdentityOf(int fd) {
  struct stat info {};
  if (fd < 0 || !StatusOf(fd, &info))
    return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino};
}

off_t MovePosition(int fd, off_t offset, int whence) {
  return RetryInterrupted([=] { return FileSystem().lseek(fd, offset, whence); });
}

// The threads in a write that watches a stop, for InterruptStreamWrites, by
// their kernel ids: a signal for one that has just left goes nowhere, or to
// another thread of ours, which takes it as any stop signal. A thread that
// finds no free place is not woken, and waits for its reader.
constexpr int kWatchedWriters = 64;
std::atomic<pid_t> gWatchedWriters[kWatchedWriters];
static_assert(std::atomic<pid_t>::is_always_lock_free, "read in a signal handler");

// Holds a place among them while it lives.
class WriterOnWatch {
 public:
  WriterOnWatch() {
    const pid_t self = ::gettid();
    for (std::atomic<pid_t>& place : gWatchedWriters) {
      pid_t none = 0;
      if (place.compare_exchange_strong(none, self)) {
        place_ = &place;
        return;
      }
    }
  }
  ~WriterOnWatch() {
    if (place_ != nullptr)
      place_->store(0);
  }
  WriterOnWatch(const WriterOnWatch&) = delete;
  WriterOnWatch& operator=(const WriterOnWatch&) = delete;

 private:
  std::atomic<pid_t>* place_ = nullptr;
};

}  // namespace

void InterruptStreamWrites(int signal) {
  const pid_t process = ::getpid();
  for (const std::atomic<pid_t>& place : gWatchedWriters) {
    const pid_t writer = place.load();
    if (writer != 0)
      ::syscall(SYS_tgkill, process, writer, signal);
  }
}

void SetWriteFaultHook(WriteFaultHook hook) {
  gWriteFault = std::move(hook);
}

// --- ByteSource ---

void ByteSource::TellPast(const ReadTap& tap, int64_t heard, int64_t offset, const char* bytes,
                          size_t count) {
  const int64_t skip = heard > offset ? heard - offset : 0;
  if (skip < static_cast<int64_t>(count))
    tap(bytes + skip, count - static_cast<size_t>(skip));
}

void ByteSource::TellTap(int64_t offset, const char* bytes, size_t count) {
  TellPast(tap_, tapped_, offset, bytes, count);
  tapped_ = offset + static_cast<int64_t>(count);
}

// --- ByteSink ---

// One buffer at a time, handed on by a thread while the sink fills the
// other: the sink waits for it before it hands on the next.
class ByteSink::Behind {
 public:
  struct Done {
    size_t count = 0;
    size_t taken = 0;
    int error = 0;
  };

  explicit Behind(ByteSink* sink) : buffer(new char[kBufferSize]), sink_(sink) {}
  // A buffer handed on still reaches the output.
  ~Behind() { worker_.Drain(); }
  Behind(const Behind&) = delete;
  Behind& operator=(const Behind&) = delete;

  // Hands on the first `count` bytes of `buffer`, on the thread.
  void Start(size_t count) {
    worker_.Post([this, count] {
      Done done{count, 0, 0};
      done.taken = sink_->Put(buffer.get(), count, &done.error);
      if (done.taken == count && sink_->handedOn_)
        sink_->handedOn_();
      done_ = done;
    });
  }
  // Waits for the buffer in flight; what its Put did, if one was started
  // since the last call.
  std::optional<Done> Wait() {
    worker_.Drain();
    return std::exchange(done_, std::nullopt);
  }

  std::unique_ptr<char[]> buffer;  // the sink's while no Put is in flight

 private:
  ByteSink* sink_;
  std::optional<Done> done_;
  Worker worker_{1};  // last: gone before what its job uses
};

ByteSink::ByteSink() : buffer_(new char[kBufferSize]) {}

ByteSink::~ByteSink() = default;

long ByteSink::Write(const char* bytes, long count) {
  if (bytes == nullptr || count < 0)
    return -1;
  if (gWriteFault && gWriteFault(count))
    return -1;
  const size_t size = static_cast<size_t>(count);
  if (waiting_ + size > kBufferSize && !FlushBuffer())
    return -1;
  if (size >= kBufferSize)
    return Settled() && PutAll(bytes, size) ? count : -1;
  std::memcpy(buffer_.get() + waiting_, bytes, size);
  waiting_ += size;
  return count;
}

int ByteSink::Flush() {
  const bool handedOn = FlushBuffer();
  // A buffer handed to the thread has not arrived yet: wait for it.
  const bool arrived = Settled();
  return handedOn && arrived ? 0 : -1;
}

bool ByteSink::PutAll(const char* bytes, size_t count) {
  int error = 0;
  const size_t taken = Put(bytes, count, &error);
  accepted_ += static_cast<int64_t>(taken);
  if (taken == count) {
    if (handedOn_)
      handedOn_();
    return true;
  }
  if (error_ == 0)
    error_ = error != 0 ? error : EIO;
  return false;
}

// Hands the waiting bytes on. On failure they are dropped: the caller learns
// of it once, and a later write does not repeat a half-written run.
bool ByteSink::FlushBuffer() {
  const bool earlierArrived = Settled();
  if (waiting_ == 0)
    return earlierArrived;
  const int64_t before = accepted_;
  const size_t count = waiting_;
  waiting_ = 0;
  if (!earlierArrived) {
    // Formatted after the write that failed: lost with it, as a sink that
    // does not write behind would have stopped before them.
    NoteLoss(buffer_.get(), count, 0);
    return false;
  }
  if (behindFrom_ >= 0 && accepted_ >= behindFrom_)
    return HandBehind(count);
  if (PutAll(buffer_.get(), count))
    return true;
  NoteLoss(buffer_.get(), count, static_cast<size_t>(accepted_ - before));
  return false;
}

bool ByteSink::HandBehind(size_t count) {
  if (!behind_)
    behind_ = std::make_unique<Behind>(this);
  std::swap(buffer_, behind_->buffer);
  behind_->Start(count);
  return true;
}

void ByteSink::Settle() {
  if (!behind_)
    return;
  const std::optional<Behind::Done> done = behind_->Wait();
  if (!done)
    return;
  accepted_ += static_cast<int64_t>(done->taken);
  if (done->taken == done->count)
    return;
  if (error_ == 0)
    error_ = done->error != 0 ? done->error : EIO;
  NoteLoss(behind_->buffer.get(), done->count, done->taken);
  behindFailed_ = true;
}

bool ByteSink::Settled() {
  Settle();
  return !std::exchange(behindFailed_, false);
}

// Buffers are handed on at record ends, so a line that starts before the
// point where the output stopped taking bytes starts within these bytes.
void ByteSink::NoteLoss(const char* bytes, size_t count, size_t taken) {
  size_t lineStart = taken;
  while (lineStart > 0 && bytes[lineStart - 1] != '\n')
    --lineStart;
  if (!loss_.any)
    loss_.tornBytes = static_cast<int64_t>(taken - lineStart);
  loss_.any = true;
  const size_t room = SinkLoss::kLossKept - std::min(SinkLoss::kLossKept, loss_.unaccepted.size());
  loss_.unaccepted.append(bytes + lineStart, std::min(room, count - lineStart));
}

// --- DescriptorSource ---

// The file's next buffer, read by a thread while the reader works through
// the current one, so that the copy out of the page cache runs on another
// core.
class DescriptorSource::Ahead {
 public:
  explicit Ahead(DescriptorSource* source)
      : buffer(new char[ByteSink::kBufferSize]), source_(source) {}
  ~Ahead() { worker_.Drain(); }
  Ahead(const Ahead&) = delete;
  Ahead& operator=(const Ahead&) = delete;

  // Reads the buffer at `at`; a tap that has heard up to `heard` hears the
  // bytes past it there, so that the converting thread never copies them.
  void Start(int64_t at, int64_t heard) {
    inFlight_ = true;
    at_ = at;
    worker_.Post([this, heard] {
      filled_ = source_->Fill(buffer.get());
      errno_ = errno;
      if (const ReadTap& tap = source_->tap())
        TellPast(tap, heard, at_, buffer.get(), filled_.count);
    });
  }
  bool InFlight() const { return inFlight_; }
  // Waits for the read in flight; what it read into `buffer`, with the
  // errno of a failure in `*error`.
  BytesMoved Finish(int* error) {
    worker_.Drain();
    inFlight_ = false;
    *error = errno_;
    source_->HeardUpTo(at_ + static_cast<int64_t>(filled_.count));
    return filled_;
  }

  std::unique_ptr<char[]> buffer;  // the thread's while a read is in flight

 private:
  DescriptorSource* source_;
  bool inFlight_ = false;
  int64_t at_ = 0;
  BytesMoved filled_;
  int errno_ = 0;
  Worker worker_{1};  // last: gone before what its job uses
};

DescriptorSource::DescriptorSource(int fd, bool owned, int stopFd)
    : fd_(fd), owned_(owned), stopFd_(stopFd), buffer_(new char[ByteSink::kBufferSize]) {
  struct stat info {};
  stream_ = fd >= 0 && StatusOf(fd, &info) && !S_ISREG(info.st_mode);
}

DescriptorSource::~DescriptorSource() {
  Close();
}

int DescriptorSource::Close() {
  StopReadingAhead();
  if (!owned_ || fd_ < 0)
    return 0;
  const int closed = CloseDescriptor(fd_);
  fd_ = -1;
  return closed;
}

// The descriptor is the reader's again: a read in flight is waited for and
// its bytes forgotten (the position is set again after this).
void DescriptorSource::StopReadingAhead() {
  if (ahead_ && ahead_->InFlight()) {
    int error = 0;
    ahead_->Finish(&error);
  }
}

// Waits until the stream has bytes (or its end); false when the stop
// descriptor woke it first, or poll failed.
bool DescriptorSource::WaitForBytes() {
  for (;;) {
    pollfd polls[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};  // -1 is skipped
    const int ready = RetryInterrupted([&] { return FileSystem().poll(polls, 2, -1); });
    if (ready < 0)
      return false;
    if (polls[1].revents != 0) {
      errno = ECANCELED;
      return false;
    }
    if (polls[0].revents != 0)
      return true;
  }
}

ssize_t DescriptorSource::ReadOnce(char* into, size_t count) {
  for (;;) {
    if (stream_ && !WaitForBytes())
      return -1;
    const ssize_t got = FileSystem().read(fd_, into, count);
    // A stream opened without waiting for its writer may have nothing yet.
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
      continue;
    return got;
  }
}

BytesMoved DescriptorSource::Fill(char* into) {
  return MoveAll([this](int, char* to, size_t n) { return ReadOnce(to, n); }, fd_, into,
                 ByteSink::kBufferSize);
}

// Moves on to the input's next buffer: the one read ahead when there is
// one, else read now. Once a file has shown itself long enough to be worth
// a thread, the buffer after it is started too.
void DescriptorSource::NextBuffer() {
  bufferAt_ += static_cast<int64_t>(end_);
  BytesMoved got;
  int error = 0;
  if (ahead_ && ahead_->InFlight()) {
    got = ahead_->Finish(&error);
    std::swap(buffer_, ahead_->buffer);
  } else {
    got = Fill(buffer_.get());
    error = errno;
  }
  start_ = 0;
  end_ = got.count;
  failed_ = got.failed;
  if (got.failed)
    error_ = error;
  atEnd_ = !got.failed && got.count < ByteSink::kBufferSize;
  if (failed_ || atEnd_ || stream_ || bufferAt_ + static_cast<int64_t>(end_) < kReadAheadFrom)
    return;
  if (!ahead_)
    ahead_ = std::make_unique<Ahead>(this);
  // The tap hears this buffer whole now, before the next one read ahead.
  Taken(bufferAt_, buffer_.get(), end_);
  ahead_->Start(bufferAt_ + static_cast<int64_t>(end_), tapped());
}

long DescriptorSource::Read(char* buffer, long count) {
  if (buffer == nullptr || count < 0 || fd_ < 0)
    return -1;
  // Keep going until the count is reached or the input ends, so that a short
  // count means the end even on pipes.
  size_t total = 0;
  const size_t wanted = static_cast<size_t>(count);
  while (total < wanted) {
    if (start_ == end_) {
      if (failed_) {
        if (total > 0)
          break;
        failed_ = false;
        return -1;
      }
      if (atEnd_)
        break;
      NextBuffer();
      continue;
    }
    const size_t taken = std::min(end_ - start_, wanted - total);
    std::memcpy(buffer + total, buffer_.get() + start_, taken);
    Taken(bufferAt_ + static_cast<int64_t>(start_), buffer_.get() + start_, taken);
    start_ += taken;
    total += taken;
  }
  return static_cast<long>(total);
}

std::string_view DescriptorSource::Head(size_t count) {
  count = std::min(count, kHeadLimit);
  while (bufferAt_ == 0 && end_ < count && !atEnd_ && !failed_) {
    const ssize_t got = ReadOnce(buffer_.get() + end_, ByteSink::kBufferSize - end_);
    if (got < 0) {
      failed_ = true;
      error_ = errno;
    } else if (got == 0) {
      atEnd_ = true;
    } else {
      end_ += static_cast<size_t>(got);
    }
  }
  if (bufferAt_ != 0)
    return {};
  return {buffer_.get(), std::min(count, end_)};
}

bool DescriptorSource::Rewind() {
  // A pipe's first buffer is still here: it is read from its start too. A
  // file is read again, since it may have changed meanwhile.
  if (stream_ && bufferAt_ == 0 && !failed_) {
    start_ = 0;
    return true;
  }
  return Seek(0, SEEK_SET) == 0;
}

int64_t DescriptorSource::Seek(int64_t offset, int whence) {
  StopReadingAhead();
  const off_t position = MovePosition(fd_, static_cast<off_t>(offset), whence);
  start_ = end_ = 0;
  failed_ = atEnd_ = false;
  bufferAt_ = position >= 0 ? static_cast<int64_t>(position) : 0;
  return static_cast<int64_t>(position);
}

int64_t DescriptorSource::Size() const {
  struct stat info {};
  if (fd_ < 0 || !StatusOf(fd_, &info) || !S_ISREG(info.st_mode))
    return -1;
  return static_cast<int64_t>(info.st_size);
}

std::optional<FileIdentity> DescriptorSource::Identity() const {
  return IdentityOf(fd_);
}

// --- DescriptorSink ---

DescriptorSink::DescriptorSink(int fd, bool owned, int stopFd)
    : fd_(fd), owned_(owned), stopFd_(stopFd) {}

DescriptorSink::~DescriptorSink() {
  Close();
}

int DescriptorSink::Close() {
  const bool flushed = Flush() == 0;
  if (!owned_ || fd_ < 0)
    return flushed ? 0 : -1;
  const int closed = CloseDescriptor(fd_);
  fd_ = -1;
  return flushed && closed == 0 ? 0 : -1;
}

size_t DescriptorSink::Put(const char* bytes, size_t count, int* error) {
  if (fd_ < 0) {
    *error = EBADF;
    return 0;
  }
  const BytesMoved moved = stopFd_ >= 0 ? WriteWatchingStop(bytes, count)
                                        : MoveAll(FileSystem().write, fd_, bytes, count);
  if (moved.count < count)
    *error = moved.failed ? errno : ENOSPC;  // a write that took nothing: no room
  return moved.count;
}

bool DescriptorSink::StopRequested() const {
  pollfd stop = {stopFd_, POLLIN, 0};
  return FileSystem().poll(&stop, 1, 0) > 0 && stop.revents != 0;
}

// As MoveAll writes, but each write, and each retry after a signal, goes
// ahead only while no stop is asked for (ECANCELED once one is).
BytesMoved DescriptorSink::WriteWatchingStop(const char* bytes, size_t count) {
  const WriterOnWatch watched;
  const auto writeUnlessStopped = [this](int fd, const char* from, size_t n) -> ssize_t {
    if (StopRequested()) {
      errno = ECANCELED;
      return -1;
    }
    return FileSystem().write(fd, from, n);
  };
  return MoveAll(writeUnlessStopped, fd_, bytes, count);
}

int64_t DescriptorSink::Length() {
  Settle();
  struct stat info {};
  if (fd_ < 0 || !StatusOf(fd_, &info) || !S_ISREG(info.st_mode))
    return -1;
  int64_t length = static_cast<int64_t>(info.st_size);
  if (waiting() > 0) {
    const off_t position = MovePosition(fd_, 0, SEEK_CUR);
    const int64_t buffered = static_cast<int64_t>(position) + static_cast<int64_t>(waiting());
    if (position >= 0 && buffered > length)
      length = buffered;
  }
  return length;
}

bool DescriptorSink::CutBack(int64_t length) {
  if (fd_ < 0 || length < 0)
    return false;
  DropWaiting();  // bytes past the cut are not wanted
  const bool cut = RetryInterrupted([&] {
                     return FileSystem().ftruncate(fd_, static_cast<off_t>(length));
                   }) == 0;
  return cut && MovePosition(fd_, 0, SEEK_END) >= 0;
}

bool DescriptorSink::ToEnd() {
  const bool flushed = Flush() == 0;
  return MovePosition(fd_, 0, SEEK_END) >= 0 && flushed;
}

std::optional<FileIdentity> DescriptorSink::Identity() const {
  return IdentityOf(fd_);
}

// --- Memory ---

long MemorySource::Read(char* buffer, long count) {
  if (buffer == nullptr || count < 0)
    return -1;
  const size_t taken = std::min(static_cast<size_t>(count), bytes_.size() - next_);
  std::memcpy(buffer, bytes_.data() + next_, taken);
  Taken(static_cast<int64_t>(next_), bytes_.data() + next_, taken);
  next_ += taken;
  return static_cast<long>(taken);
}

bool MemorySource::Rewind() {
  next_ = 0;
  return true;
}

std::string_view MemorySource::Head(size_t count) {
  return std::string_view(bytes_).substr(0, std::min(count, kHeadLimit));
}

bool MemorySink::CutBack(int64_t length) {
  DropWaiting();
  if (length < 0 || static_cast<size_t>(length) > bytes_.size())
    return false;
  bytes_.resize(static_cast<size_t>(length));
  return true;
}

size_t MemorySink::Put(const char* bytes, size_t count, int* error) {
  const size_t room = capacity_ - std::min(capacity_, bytes_.size());
  const size_t taken = std::min(room, count);
  bytes_.append(bytes, taken);
  if (taken < count)
    *error = ENOSPC;
  return taken;
}

// --- RecordWriter ---

RecordWriter::RecordWriter(ByteSink* sink) : sink_(sink) {
  if (sink == nullptr || gWriteFault) {
    UseStaging();
    return;
  }
  TakeUp();
}

RecordWriter::~RecordWriter() {
  HandBack();
}

void RecordWriter::UseStaging() {
  direct_ = false;
  if (!staging_)
    staging_.reset(new char[kMaxSpace]);
  next_ = staging_.get();
  end_ = next_ + kMaxSpace;
}

// The sink's buffer learns how much of it the writer has filled.
void RecordWriter::HandBack() {
  if (direct_)
    sink_->waiting_ = static_cast<size_t>(next_ - sink_->buffer_.get());
}

// Takes up the sink's buffer where it stands.
void RecordWriter::TakeUp() {
  direct_ = true;
  next_ = sink_->buffer_.get() + sink_->waiting_;
  end_ = sink_->buffer_.get() + ByteSink::kBufferSize;
}

char* RecordWriter::MakeSpace(size_t size) {
  if (size > kMaxSpace)
    return nullptr;
  if (!direct_) {
    next_ = staging_.get();  // everything placed there has been committed
    return next_;
  }
  HandBack();
  if (!sink_->FlushBuffer()) {
    // As Write does: the waiting bytes are dropped and the write that
    // needed the room fails. An output that failed once is not worth the
    // fast way: from here on every record is an ordinary Write.
    flushFailed_ = true;
    UseStaging();
    return next_;
  }
  TakeUp();  // a sink that writes behind hands out its other buffer
  return next_;
}

long RecordWriter::WriteToSink(const char* bytes, size_t count) {
  const long wanted = static_cast<long>(count);
  return sink_ != nullptr && sink_->Write(bytes, wanted) == wanted ? wanted : -1;
}

long RecordWriter::CommitThroughWrite(size_t count) {
  const char* record = next_;
  next_ += count;
  if (flushFailed_) {
    flushFailed_ = false;
    return -1;
  }
  return WriteToSink(record, count);
}

long RecordWriter::Write(const char* bytes, size_t count) {
  if (count > kMaxSpace) {
    if (flushFailed_) {
      flushFailed_ = false;
      return -1;
    }
    // Too long to place: an ordinary write, with the buffer handed back
    // first so that the bytes stay in order.
    const bool wasDirect = direct_;
    HandBack();
    const long written = WriteToSink(bytes, count);
    if (wasDirect)
      TakeUp();
    return written;
  }
  char* out = Space(count);
  if (out == nullptr)
    return -1;
  std::memcpy(out, bytes, count);
  return Commit(count);
}
