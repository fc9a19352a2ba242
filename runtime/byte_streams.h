// What the engine reads a dump from and writes its output to: a source of
// bytes and a sink of bytes, over a file descriptor or over memory. Each is
// used by one thread at a time and shares nothing with another, so
// conversions in several threads need no lock. Every system call goes
// through the one table of runtime/system_calls.h.
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct BytesMoved;

// Where a file lives, so that two open files can be told to be one.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// Told of every byte of an input once, in order, as the reader takes it:
// a digest of an input taken while it is converted, without reading it a
// second time. A file read ahead tells its buffers whole, on the thread
// that reads them, never two calls at once; the tap is set before reading.
using ReadTap = std::function<void(const char* bytes, size_t count)>;

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Reads up to `count` bytes. Returns the count read (fewer only at the end),
  // 0 once nothing is left, or a negative number on a failed read. A failure
  // is reported by the call that reaches it, after the bytes read before it.
  virtual long Read(char* buffer, long count) = 0;
  // Back to the first byte. False when that cannot be (a pipe read past its
  // first buffer).
  virtual bool Rewind() = 0;
  // The input's size; -1 when it is not known (a pipe).
  virtual int64_t Size() const = 0;
  virtual std::optional<FileIdentity> Identity() const { return std::nullopt; }
  // The first `count` bytes (at most kHeadLimit; fewer when the input is
  // shorter or a read fails), read ahead: Read still starts at the first
  // byte. Only before the first Read.
  virtual std::string_view Head(size_t count) = 0;
  static constexpr size_t kHeadLimit = 64 * 1024;

  // The errno of the failed read, 0 when none failed.
  int error() const { return error_; }

  // Sets (or with an empty tap clears) the tap.
  void SetTap(ReadTap tap) { tap_ = std::move(tap); }

 protected:
  // The reader took `count` bytes at `offset`: the tap hears those it has
  // not heard yet.
  void Taken(int64_t offset, const char* bytes, size_t count) {
    if (tap_ && offset + static_cast<int64_t>(count) > tapped_)
      TellTap(offset, bytes, count);
  }
  // For a reader that tells the tap on a thread of its own: the tap, the
  // offset up to which it has heard, and that it has heard up to `offset`.
  // TellPast tells `tap` the bytes at `offset` past `heard`.
  static void TellPast(const ReadTap& tap, int64_t heard, int64_t offset, const char* bytes,
                       size_t count);
  const ReadTap& tap() const { return tap_; }
  int64_t tapped() const { return tapped_; }
  void HeardUpTo(int64_t offset) { tapped_ = std::max(tapped_, offset); }
  int error_ = 0;

 private:
  void TellTap(int64_t offset, const char* bytes, size_t count);
  ReadTap tap_;
  int64_t tapped_ = 0;
};

// What a sink took but could not hand on: the bytes from the start of the
// first record (line) that did not reach the output whole, and how many
// bytes of that record did.
struct SinkLoss {
  std::string unaccepted;  // up to kLossKept bytes of them, starting at a line
  int64_t tornBytes = 0;   // bytes of a torn line that reached the output
  bool any = false;
  static constexpr size_t kLossKept = 1 << 20;
};

class RecordWriter;

// Buffered: writes reach the output when the buffer fills, at Flush, or at
// the sink's end. The hot path (Write into the buffer, RecordWriter) makes no
// virtual call.
class ByteSink {
 public:
  static constexpr size_t kBufferSize = 256 * 1024;

  virtual ~ByteSink();
  ByteSink(const ByteSink&) = delete;
  ByteSink& operator=(const ByteSink&) = delete;

  // Writes `count` bytes. Returns `count` on success, -1 when the write did
  // not complete (the bytes waiting before it are then dropped, once).
  long Write(const char* bytes, long count);
  // Hands the waiting bytes on. 0 on success, -1 when some were not taken.
  int Flush();
  // The bytes the output took since the sink was made: what the file, pipe
  // or device accepted, not what waits in the buffer.
  int64_t Accepted() const { return accepted_; }
  // The errno of the first failed write, 0 when none failed.
  int error() const { return error_; }
  const SinkLoss& loss() const { return loss_; }
  // Forgets the bytes waiting in the buffer (an output taken back), once the
  // buffer being written behind has reached the output.
  void DropWaiting() {
    Settle();
    waiting_ = 0;
  }

  // Once the output has taken `bytes`, each full buffer is handed on by a
  // thread of the sink's own while the next one fills, so that formatting
  // and the copy into the file's pages run on two cores. A failed write is
  // then told by the next call that hands bytes on (Write, Flush), a buffer
  // later, with the loss and the counts as they would be without. Only for
  // a sink whose Put may run on another thread, and that settles in its
  // destructor (a descriptor's).
  void WriteBehindFrom(int64_t bytes) { behindFrom_ = bytes; }
  // Called after each buffer the output took whole, on the thread that
  // handed it on (the sink's own when it writes behind): for work that
  // follows the output's growth, such as starting its writeback. Set before
  // the first write.
  void OnHandedOn(std::function<void()> hook) { handedOn_ = std::move(hook); }

  // A regular file's length with the waiting bytes; -1 for anything else.
  virtual int64_t Length() { return -1; }
  // Cuts a regular file back to `length` (waiting bytes are dropped) and
  // writes on from its new end. False when it could not be.
  virtual bool CutBack(int64_t /*length*/) { return false; }
  // Writes on from the end of a file (flushing first).
  virtual bool ToEnd() { return Flush() == 0; }
  virtual std::optional<FileIdentity> Identity() const { return std::nullopt; }

 protected:
  ByteSink();
  // Hands `count` bytes on; returns how many were taken before a failure,
  // with `*error` its errno (0 when all were taken).
  virtual size_t Put(const char* bytes, size_t count, int* error) = 0;
  size_t waiting() const { return waiting_; }
  // Waits for the buffer being written behind, and counts what the output
  // took of it; a failure is kept for the next call that hands bytes on.
  void Settle();

 private:
  friend class RecordWriter;
  class Behind;

  bool PutAll(const char* bytes, size_t count);
  bool FlushBuffer();
  // Settle, then false once for a failure not told yet.
  bool Settled();
  bool HandBehind(size_t count);
  void NoteLoss(const char* bytes, size_t count, size_t taken);

  std::unique_ptr<char[]> buffer_;
  size_t waiting_ = 0;
  int64_t accepted_ = 0;
  int error_ = 0;
  SinkLoss loss_;
  int64_t behindFrom_ = -1;  // never
  bool behindFailed_ = false;
  std::unique_ptr<Behind> behind_;
  std::function<void()> handedOn_;
};

// --- Over a file descriptor ---

class DescriptorSource final : public ByteSource {
 public:
  // Reads `fd`, closing it at the end when `owned`. For a descriptor that is
  // not a regular file, each wait for bytes also watches `stopFd` (when not
  // -1): once it is readable, the read fails with ECANCELED.
  explicit DescriptorSource(int fd, bool owned = true, int stopFd = -1);
  ~DescriptorSource() override;
  DescriptorSource(const DescriptorSource&) = delete;
  DescriptorSource& operator=(const DescriptorSource&) = delete;

  long Read(char* buffer, long count) override;
  bool Rewind() override;
  int64_t Size() const override;
  std::optional<FileIdentity> Identity() const override;
  std::string_view Head(size_t count) override;
  // Moves to `offset` from the start (SEEK_SET) or the end (SEEK_END).
  // The new position, or -1.
  int64_t Seek(int64_t offset, int whence);
  int fd() const { return fd_; }
  // Closes an owned descriptor. 0, or -1 when close(2) failed.
  int Close();

 private:
  class Ahead;
  // Bytes of a regular file read before its next buffer is read ahead.
  static constexpr int64_t kReadAheadFrom = 1 << 20;

  ssize_t ReadOnce(char* into, size_t count);
  bool WaitForBytes();
  // Reads a whole buffer into `into` (less only at the end or a failure).
  BytesMoved Fill(char* into);
  void NextBuffer();
  void StopReadingAhead();

  int fd_;
  bool owned_;
  int stopFd_;
  bool stream_ = false;  // not a regular file: reads wait in poll
  std::unique_ptr<char[]> buffer_;
  size_t start_ = 0;      // next unread byte of buffer_
  size_t end_ = 0;        // end of its valid bytes
  int64_t bufferAt_ = 0;  // the input's offset of buffer_[0]
  bool failed_ = false;   // a failed read is reported at the next call
  // A read found the end: none is made again until the position moves, so
  // that each read(2) stands for new bytes.
  bool atEnd_ = false;
  std::unique_ptr<Ahead> ahead_;
};

class DescriptorSink final : public ByteSink {
 public:
  // Writes to `fd`, closing it at the end when `owned` (the waiting bytes
  // are flushed first). With `stopFd` (not -1), for a pipe whose reader may
  // stop reading: once `stopFd` is readable, a write fails with ECANCELED
  // instead of waiting for room, and InterruptStreamWrites wakes one that
  // waits already.
  explicit DescriptorSink(int fd, bool owned = true, int stopFd = -1);
  ~DescriptorSink() override;

  int64_t Length() override;
  bool CutBack(int64_t length) override;
  bool ToEnd() override;
  std::optional<FileIdentity> Identity() const override;
  int fd() const { return fd_; }
  // Flushes and closes an owned descriptor. 0, or -1 when either failed.
  int Close();

 protected:
  size_t Put(const char* bytes, size_t count, int* error) override;

 private:
  BytesMoved WriteWatchingStop(const char* bytes, size_t count);
  bool StopRequested() const;

  int fd_;
  bool owned_;
  int stopFd_;
};

// Sends `signal` to every thread that waits in a write of a sink with a
// stop descriptor, so that the write returns and the sink sees the stop.
// For a handler installed without SA_RESTART; async-signal-safe.
void InterruptStreamWrites(int signal);

// --- Over memory, for tests and fuzzers ---

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  long Read(char* buffer, long count) override;
  bool Rewind() override;
  int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
  std::string_view Head(size_t count) override;

 private:
  std::string bytes_;
  size_t next_ = 0;
};

// Keeps what it is given; with a capacity, takes that many bytes and then
// fails as a full disk does (ENOSPC).
class MemorySink final : public ByteSink {
 public:
  MemorySink() = default;
  explicit MemorySink(size_t capacity) : capacity_(capacity) {}
  // What reached it (after Flush).
  const std::string& bytes() const { return bytes_; }
  int64_t Length() override { return static_cast<int64_t>(bytes_.size() + waiting()); }
  bool CutBack(int64_t length) override;

 protected:
  size_t Put(const char* bytes, size_t count, int* error) override;

 private:
  std::string bytes_;
  size_t capacity_ = static_cast<size_t>(-1);
};

// Counts what it is given and keeps none of it (a conversion only checked).
class DiscardSink final : public ByteSink {
 protected:
  size_t Put(const char* /*bytes*/, size_t count, int* /*error*/) override { return count; }
};

// Faults of the operating system are injected below the sinks, at their
// system calls (runtime/system_calls.h). This hook is for what those cannot
// reach: a failure of one given record, since records meet write(2) only in
// buffers of many. When set, every sink Write and every RecordWriter commit
// first asks the hook, passing the count asked for; true makes that write
// fail without writing anything.
using WriteFaultHook = std::function<bool(long count)>;
void SetWriteFaultHook(WriteFaultHook hook);

// Writes records to a sink by formatting them in place in the sink's buffer,
// without a copy and without a call per record. Every Commit has the result
// the sink's Write would have for the same bytes, and the bytes reach the
// output in the same order. While a writer lives, the sink is used only
// through it; the destructor hands the written bytes back to the sink.
// With a write fault hook set when the writer is made, or with no sink,
// every Commit is an ordinary Write (which fails without a sink).
class RecordWriter {
 public:
  // The most a Space call may ask for.
  static constexpr size_t kMaxSpace = 4096;

  explicit RecordWriter(ByteSink* sink);
  ~RecordWriter();
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // Where to put the next record: room for `size` bytes (at most kMaxSpace).
  // Bytes put past the record's length are not written. Several records may
  // be placed one after the other in one Space and committed in order.
  char* Space(size_t size) {
    if (static_cast<size_t>(end_ - next_) >= size) {
      return next_;
    }
    return MakeSpace(size);
  }

  // Writes the next `count` bytes placed since the last Space. Returns
  // `count`, or -1 when the write (or a flush it needed) failed.
  long Commit(size_t count) {
    if (direct_) {
      next_ += count;
      return static_cast<long>(count);
    }
    return CommitThroughWrite(count);
  }

  // Space, copy and Commit in one; a record longer than kMaxSpace is written
  // as the sink's Write writes it.
  long Write(const char* bytes, size_t count);

 private:
  char* MakeSpace(size_t size);
  long CommitThroughWrite(size_t count);
  long WriteToSink(const char* bytes, size_t count);
  void UseStaging();
  void HandBack();
  void TakeUp();

  ByteSink* sink_;
  char* next_ = nullptr;
  char* end_ = nullptr;
  bool direct_ = false;
  bool flushFailed_ = false;  // reported by the next Commit
  std::unique_ptr<char[]> staging_;
};
