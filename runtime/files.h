// File operations of the run-time layer: small integer handles over POSIX
// descriptors, with the results the shell and the converters rely on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// Access modes and open actions.
inline constexpr int VAL_READ_ONLY = 1;
inline constexpr int VAL_WRITE_ONLY = 2;
inline constexpr int VAL_TRUNCATE = 0;
inline constexpr int VAL_OPEN_AS_IS = 2;
inline constexpr int VAL_BINARY = 0;
// Origins for SetFilePtr.
inline constexpr int VAL_START_OF_FILE = 0;
inline constexpr int VAL_END_OF_FILE = 2;

// Opens `path`. Returns a handle of 1 or more, or -1 when the file cannot be
// opened; LastFileErrorText() then says why. Reads on -1 fail and writes on
// it report a short count, so a failed open shows up at the first use.
int OpenFile(const char* path, int access, int action, int fileType);

// Reads up to `count` bytes. Returns the count read (fewer only at the end of
// the file), 0 once nothing is left, or a negative number on a failed read.
// The file is read ahead; a read(2) that fails is reported by the call that
// reaches it, after the bytes read before it.
long ReadFile(int handle, char* buffer, long count);

// Told of every run of bytes that read(2) brings into a handle, in the
// order they come: a digest of an input taken while it is converted,
// without reading it a second time.
using ReadTap = std::function<void(const char* bytes, size_t count)>;
// Sets (or, with an empty tap, clears) the tap of a handle open for
// reading; false for any other handle.
bool SetReadTap(int handle, ReadTap tap);

// Writes `count` bytes. Returns `count` on success; any other value means the
// write did not complete. Never throws.
long WriteFile(int handle, const char* buffer, long count);

// Moves the file pointer to `offset` from the start or the end. Returns the
// new position, or a negative number on failure.
long long SetFilePtr(int handle, long long offset, int origin);

// Hands everything written so far to the operating system. 0 on success,
// negative when some of it could not be written.
int FlushFile(int handle);

// Closes the handle (flushing first). 0 on success, negative on failure.
int CloseFile(int handle);

// The length of a regular file with the bytes still waiting in the handle's
// write buffer; -1 for a handle that is not open or not a regular file (a
// pipe, say).
long long FileLength(int handle);

// Cuts the file back to `length` bytes: the bytes waiting in the write buffer
// are dropped, the file is truncated and the file pointer set to its new end.
// 0 on success, negative on failure.
int CutFileBack(int handle, long long length);

// True when both handles are open on the same file (same device and inode).
bool FilesAreSame(int handleA, int handleB);

// The bytes that write(2) has taken on `handle` since it was opened: what
// the file, pipe or device accepted, not what waits in the write buffer.
// -1 for a handle that is not open.
long long BytesAccepted(int handle);

// True when `handle` is a handle this layer has open.
bool FileIsOpen(int handle);

// Text of the error of the last failed OpenFile in this thread.
const char* LastFileErrorText();

// Faults of the operating system are injected below this layer, at its
// system calls (runtime/system_calls.h). This hook is for what those cannot
// reach: a failure of one given record, since records meet write(2) only
// in buffers of many. When set, every WriteFile and every RecordWriter
// commit first asks the hook; a hook that returns true makes that write
// fail without writing anything. It is passed the handle and the count
// asked for.
using WriteFaultHook = std::function<bool(int handle, long count)>;
void SetWriteFaultHook(WriteFaultHook hook);

// Writes records to one handle by formatting them in place in the handle's
// write buffer, without a copy and without a call per record. Every Commit
// has the result WriteFile would have for the same bytes, and the bytes reach
// the file in the same order. While a writer lives, the handle is used only
// through it; the destructor hands the written bytes back to the handle's
// buffer (FlushFile, SetFilePtr and CloseFile after that see them). With a
// write fault hook set when the writer is made, or on a handle that cannot be
// written, every Commit is an ordinary WriteFile.
class RecordWriter {
 public:
  // The most a Space call may ask for.
  static constexpr size_t kMaxSpace = 4096;

  explicit RecordWriter(int handle);
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
    return CommitThroughWriteFile(count);
  }

  // Space, copy and Commit in one; a record longer than kMaxSpace is written
  // as WriteFile writes it.
  long Write(const char* bytes, size_t count);

 private:
  char* MakeSpace(size_t size);
  long CommitThroughWriteFile(size_t count);
  void UseStaging();
  void HandBack();
  void TakeUp();

  int handle_;
  char* next_ = nullptr;
  char* end_ = nullptr;
  bool direct_ = false;
  bool flushFailed_ = false;  // reported by the next Commit
  std::unique_ptr<char[]> staging_;
};

// --- Descriptors opened elsewhere (the command line's safe outputs, pipes) ---

// Takes over `fd`, already open for `access` (VAL_READ_ONLY or
// VAL_WRITE_ONLY), as a handle of this layer; CloseFile closes it. Returns
// the handle, or -1 (the descriptor is then left open) when no handle is free
// or `fd` is not open.
int AdoptFileDescriptor(int fd, int access);
