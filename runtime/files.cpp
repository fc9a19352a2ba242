#include "runtime/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "runtime/system_calls.h"

namespace {

const FileSystemCalls kRealCalls = {
    [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
    [](int fd, void* buffer, size_t count) { return ::read(fd, buffer, count); },
    [](int fd, const void* buffer, size_t count) { return ::write(fd, buffer, count); },
    [](int fd, off_t offset, int whence) { return ::lseek(fd, offset, whence); },
    [](int fd, off_t length) { return ::ftruncate(fd, length); },
    [](int fd, struct stat* info) { return ::fstat(fd, info); },
    [](int fd) { return ::close(fd); },
    [](int fd, off_t offset, off_t count, unsigned flags) {
      return ::sync_file_range(fd, offset, count, flags);
    },
};
std::atomic<const FileSystemCalls*> gCalls{&kRealCalls};

// Callers read in 1024-byte blocks and write one record at a time; the
// buffers turn that into a few large system calls. Written bytes reach the
// operating system at FlushFile, SetFilePtr, CloseFile, or when the buffer
// fills.
constexpr size_t kBufferSize = 256 * 1024;

struct FileSlot {
  int fd = -1;
  std::unique_ptr<char[]> readBuffer;
  size_t readStart = 0;     // next unread byte of readBuffer
  size_t readEnd = 0;       // end of the valid bytes of readBuffer
  bool readFailed = false;  // a failed read is reported at the next call
  // A read(2) found the end of the file: none is made again until the file
  // pointer is moved, so that each read(2) stands for new bytes.
  bool readAtEnd = false;
  std::unique_ptr<char[]> writeBuffer;
  size_t writeLength = 0;  // bytes waiting in writeBuffer
  ReadTap readTap;         // told of every byte read(2) brings in
  int64_t accepted = 0;    // bytes write(2) took, since the open
};

constexpr int kMaxFiles = 64;
std::array<FileSlot, kMaxFiles> gSlots;
// Guards the choice and release of slots, so that files may be opened and
// closed in several threads; each slot is then used by one thread at a time.
std::mutex gSlotsMutex;
thread_local std::string gLastError;
WriteFaultHook gWriteFault;

// Handles are slot index + 1, so 0 (the value of a cleared global) is never
// a valid handle.
FileSlot* SlotOf(int handle) {
  if (handle < 1 || handle > kMaxFiles) {
    return nullptr;
  }
  FileSlot* slot = &gSlots[static_cast<size_t>(handle - 1)];
  return slot->fd >= 0 ? slot : nullptr;
}

int FreeHandle() {
  for (int i = 0; i < kMaxFiles; ++i) {
    if (gSlots[static_cast<size_t>(i)].fd < 0) {
      return i + 1;
    }
  }
  return -1;
}

int OpenFlags(int access) {
  int flags = O_CLOEXEC;
  flags |= access == VAL_WRITE_ONLY ? O_WRONLY : O_RDONLY;
  if (access == VAL_WRITE_ONLY) {
    flags |= O_CREAT;  // truncation, when asked for, follows the open
  }
  return flags;
}

bool TruncateTo(int fd, off_t length) {
  return RetryInterrupted([=] { return FileSystem().ftruncate(fd, length); }) == 0;
}

// Empties a regular file that has something in it. An empty file is left
// alone: truncating it changes nothing, yet makes ext4 push all the file's
// new data to the disk at close, a stall of about a second per GB written.
bool TruncateIfNotEmpty(int fd, const struct stat& info) {
  if (!S_ISREG(info.st_mode) || info.st_size == 0) {
    return true;
  }
  return TruncateTo(fd, 0);
}

off_t MoveFilePosition(int fd, off_t offset, int whence) {
  return RetryInterrupted([=] { return FileSystem().lseek(fd, offset, whence); });
}

int FileStatus(int fd, struct stat* info) {
  return RetryInterrupted([fd, info] { return FileSystem().fstat(fd, info); });
}

// Linux releases the descriptor even when close(2) is interrupted, so it is
// never made twice: a second close could close a descriptor opened since.
int CloseDescriptor(int fd) {
  const int closed = FileSystem().close(fd);
  return closed < 0 && errno == EINTR ? 0 : closed;
}

// write(2) until all `count` bytes are out. False when some could not be.
bool WriteFully(FileSlot* slot, const char* buffer, size_t count) {
  const size_t moved = MoveAll(FileSystem().write, slot->fd, buffer, count).count;
  slot->accepted += static_cast<int64_t>(moved);
  return moved == count;
}

// Writes out the waiting bytes. On failure they are dropped: the caller
// learns of it once, and a later write does not repeat a half-written run.
bool FlushSlot(FileSlot* slot) {
  if (slot->writeLength == 0) {
    return true;
  }
  const bool written = WriteFully(slot, slot->writeBuffer.get(), slot->writeLength);
  slot->writeLength = 0;
  return written;
}

// Gives `fd` the first free slot, with the buffer its access needs. Slots
// are taken under the lock, so that conversions in several threads never
// share one. -1 when all are in use (the descriptor is the caller's then).
int TakeSlot(int fd, int access) {
  const std::lock_guard<std::mutex> lock(gSlotsMutex);
  const int handle = FreeHandle();
  if (handle < 0) {
    gLastError = "too many open files";
    return -1;
  }
  FileSlot& slot = gSlots[static_cast<size_t>(handle - 1)];
  slot = FileSlot{};
  slot.fd = fd;
  if (access == VAL_WRITE_ONLY) {
    slot.writeBuffer.reset(new char[kBufferSize]);  // no need to clear it
  } else {
    slot.readBuffer.reset(new char[kBufferSize]);
  }
  return handle;
}

}  // namespace

int OpenFile(const char* path, int access, int action, int /*fileType*/) {
  if (path == nullptr || path[0] == '\0') {
    gLastError = "no file name given";
    return -1;
  }
  const int fd = RetryInterrupted([&] { return FileSystem().open(path, OpenFlags(access), 0666); });
  if (fd < 0) {
    gLastError = std::strerror(errno);
    return -1;
  }
  struct stat info {};
  if (FileStatus(fd, &info) != 0) {
    gLastError = std::strerror(errno);
    CloseDescriptor(fd);
    return -1;
  }
  if (S_ISDIR(info.st_mode)) {
    CloseDescriptor(fd);
    gLastError = "is a directory";
    return -1;
  }
  if (access == VAL_WRITE_ONLY && action == VAL_TRUNCATE && !TruncateIfNotEmpty(fd, info)) {
    gLastError = std::strerror(errno);
    CloseDescriptor(fd);
    return -1;
  }
  const int handle = TakeSlot(fd, access);
  if (handle < 0)
    CloseDescriptor(fd);
  return handle;
}

long ReadFile(int handle, char* buffer, long count) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr || buffer == nullptr || count < 0 || !slot->readBuffer) {
    return -1;
  }
  // Keep going until the count is reached or the file ends, so that a short
  // count means the end of the file even on pipes.
  size_t total = 0;
  const size_t wanted = static_cast<size_t>(count);
  while (total < wanted) {
    if (slot->readStart == slot->readEnd) {
      // A failed read(2) is reported once, by the call that reaches it:
      // the bytes read before it are handed over first.
      if (slot->readFailed) {
        if (total > 0) {
          break;
        }
        slot->readFailed = false;
        return -1;
      }
      if (slot->readAtEnd) {
        break;
      }
      const BytesMoved got =
          MoveAll(FileSystem().read, slot->fd, slot->readBuffer.get(), kBufferSize);
      if (slot->readTap && got.count > 0)
        slot->readTap(slot->readBuffer.get(), got.count);
      slot->readStart = 0;
      slot->readEnd = got.count;
      slot->readFailed = got.failed;
      slot->readAtEnd = !got.failed && got.count < kBufferSize;
      continue;
    }
    const size_t available = slot->readEnd - slot->readStart;
    const size_t taken = available < wanted - total ? available : wanted - total;
    std::memcpy(buffer + total, slot->readBuffer.get() + slot->readStart, taken);
    slot->readStart += taken;
    total += taken;
  }
  return static_cast<long>(total);
}

bool SetReadTap(int handle, ReadTap tap) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr || !slot->readBuffer)
    return false;
  slot->readTap = std::move(tap);
  return true;
}

long WriteFile(int handle, const char* buffer, long count) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr || buffer == nullptr || count < 0 || !slot->writeBuffer) {
    return -1;
  }
  if (gWriteFault && gWriteFault(handle, count)) {
    return -1;
  }
  const size_t size = static_cast<size_t>(count);
  if (slot->writeLength + size > kBufferSize && !FlushSlot(slot)) {
    return -1;
  }
  if (size >= kBufferSize) {
    return WriteFully(slot, buffer, size) ? count : -1;
  }
  std::memcpy(slot->writeBuffer.get() + slot->writeLength, buffer, size);
  slot->writeLength += size;
  return count;
}

long long SetFilePtr(int handle, long long offset, int origin) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr) {
    return -1;
  }
  const bool flushed = FlushSlot(slot);
  slot->readStart = slot->readEnd = 0;
  slot->readFailed = false;
  slot->readAtEnd = false;
  const int whence = origin == VAL_END_OF_FILE ? SEEK_END : SEEK_SET;
  const off_t position = MoveFilePosition(slot->fd, static_cast<off_t>(offset), whence);
  return flushed ? static_cast<long long>(position) : -1;
}

int FlushFile(int handle) {
  FileSlot* slot = SlotOf(handle);
  return slot != nullptr && FlushSlot(slot) ? 0 : -1;
}

int CloseFile(int handle) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr) {
    return -1;
  }
  const bool flushed = FlushSlot(slot);
  const int closed = CloseDescriptor(slot->fd);
  const std::lock_guard<std::mutex> lock(gSlotsMutex);
  *slot = FileSlot{};
  return (!flushed || closed < 0) ? -1 : 0;
}

long long FileLength(int handle) {
  FileSlot* slot = SlotOf(handle);
  struct stat info {};
  if (slot == nullptr || FileStatus(slot->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    return -1;
  }
  long long length = static_cast<long long>(info.st_size);
  if (slot->writeLength > 0) {
    const off_t position = MoveFilePosition(slot->fd, 0, SEEK_CUR);
    const long long buffered =
        static_cast<long long>(position) + static_cast<long long>(slot->writeLength);
    if (position >= 0 && buffered > length) {
      length = buffered;
    }
  }
  return length;
}

int CutFileBack(int handle, long long length) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr || length < 0) {
    return -1;
  }
  slot->writeLength = 0;  // bytes past the cut are not wanted
  const bool cut = TruncateTo(slot->fd, static_cast<off_t>(length));
  const off_t end = MoveFilePosition(slot->fd, 0, SEEK_END);
  return cut && end >= 0 ? 0 : -1;
}

bool FilesAreSame(int handleA, int handleB) {
  FileSlot* a = SlotOf(handleA);
  FileSlot* b = SlotOf(handleB);
  if (a == nullptr || b == nullptr) {
    return false;
  }
  struct stat infoA {};
  struct stat infoB {};
  if (FileStatus(a->fd, &infoA) != 0 || FileStatus(b->fd, &infoB) != 0) {
    return false;
  }
  return infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
}

long long BytesAccepted(int handle) {
  FileSlot* slot = SlotOf(handle);
  return slot != nullptr ? static_cast<long long>(slot->accepted) : -1;
}

bool FileIsOpen(int handle) {
  return SlotOf(handle) != nullptr;
}

const char* LastFileErrorText() {
  return gLastError.c_str();
}

void SetWriteFaultHook(WriteFaultHook hook) {
  gWriteFault = std::move(hook);
}

const FileSystemCalls& RealFileSystemCalls() {
  return kRealCalls;
}

void SetFileSystemCallsForTesting(const FileSystemCalls* calls) {
  gCalls.store(calls != nullptr ? calls : &kRealCalls, std::memory_order_release);
}

const FileSystemCalls& FileSystem() {
  return *gCalls.load(std::memory_order_acquire);
}

// --- RecordWriter ---

RecordWriter::RecordWriter(int handle) : handle_(handle) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr || !slot->writeBuffer || gWriteFault) {
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
  if (!staging_) {
    staging_.reset(new char[kMaxSpace]);
  }
  next_ = staging_.get();
  end_ = next_ + kMaxSpace;
}

// The handle's buffer learns how much of it the writer has filled.
void RecordWriter::HandBack() {
  if (!direct_) {
    return;
  }
  if (FileSlot* slot = SlotOf(handle_)) {
    slot->writeLength = static_cast<size_t>(next_ - slot->writeBuffer.get());
  }
}

// Takes up the handle's buffer where it stands.
void RecordWriter::TakeUp() {
  FileSlot* slot = SlotOf(handle_);
  direct_ = true;
  next_ = slot->writeBuffer.get() + slot->writeLength;
  end_ = slot->writeBuffer.get() + kBufferSize;
}

char* RecordWriter::MakeSpace(size_t size) {
  if (size > kMaxSpace) {
    return nullptr;
  }
  if (!direct_) {
    next_ = staging_.get();  // everything placed there has been committed
    return next_;
  }
  HandBack();
  FileSlot* slot = SlotOf(handle_);
  if (!FlushSlot(slot)) {
    // As WriteFile does: the waiting bytes are dropped and the write that
    // needed the room fails. A file that failed once is not worth the fast
    // way: from here on every record is an ordinary WriteFile.
    flushFailed_ = true;
    UseStaging();
    return next_;
  }
  next_ = slot->writeBuffer.get();
  return next_;
}

long RecordWriter::CommitThroughWriteFile(size_t count) {
  const char* record = next_;
  next_ += count;
  if (flushFailed_) {
    flushFailed_ = false;
    return -1;
  }
  const long wanted = static_cast<long>(count);
  return WriteFile(handle_, record, wanted) == wanted ? wanted : -1;
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
    const long wanted = static_cast<long>(count);
    const long written = WriteFile(handle_, bytes, wanted);
    if (wasDirect) {
      TakeUp();
    }
    return written == wanted ? wanted : -1;
  }
  char* out = Space(count);
  if (out == nullptr) {
    return -1;
  }
  std::memcpy(out, bytes, count);
  return Commit(count);
}

// --- Descriptors opened elsewhere ---

int AdoptFileDescriptor(int fd, int access) {
  struct stat info {};
  if (fd < 0 || FileStatus(fd, &info) != 0) {
    gLastError = "no open file was handed over";
    return -1;
  }
  return TakeSlot(fd, access);
}
