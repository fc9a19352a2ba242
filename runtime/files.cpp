#include "runtime/files.h"

#include <fcntl.h>
#include <poll.h>
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
    [](struct pollfd* fds, nfds_t count, int timeout) { return ::poll(fds, count, timeout); },
};
std::atomic<const FileSystemCalls*> gCalls{&kRealCalls};

// A handle is a source or a sink over its descriptor, with the buffers that
// turn reads of 1024 bytes and writes of one record into a few large system
// calls.
struct FileSlot {
  std::unique_ptr<DescriptorSource> source;
  std::unique_ptr<DescriptorSink> sink;
  bool open() const { return source || sink; }
  int fd() const { return source ? source->fd() : sink->fd(); }
};

constexpr int kMaxFiles = 64;
std::array<FileSlot, kMaxFiles> gSlots;
// Guards the choice and release of slots, so that files may be opened and
// closed in several threads; each slot is then used by one thread at a time.
std::mutex gSlotsMutex;
thread_local std::string gLastError;

// Handles are slot index + 1, so 0 (the value of a cleared global) is never
// a valid handle.
FileSlot* SlotOf(int handle) {
  if (handle < 1 || handle > kMaxFiles) {
    return nullptr;
  }
  FileSlot* slot = &gSlots[static_cast<size_t>(handle - 1)];
  return slot->open() ? slot : nullptr;
}

int FreeHandle() {
  for (int i = 0; i < kMaxFiles; ++i) {
    if (!gSlots[static_cast<size_t>(i)].open()) {
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

int FileStatus(int fd, struct stat* info) {
  return RetryInterrupted([fd, info] { return FileSystem().fstat(fd, info); });
}

// Linux releases the descriptor even when close(2) is interrupted, so it is
// never made twice: a second close could close a descriptor opened since.
int CloseDescriptor(int fd) {
  const int closed = FileSystem().close(fd);
  return closed < 0 && errno == EINTR ? 0 : closed;
}

// Gives `fd` the first free slot, as a source or a sink. Slots are taken
// under the lock, so that conversions in several threads never share one.
// -1 when all are in use (the descriptor is the caller's then).
int TakeSlot(int fd, int access) {
  const std::lock_guard<std::mutex> lock(gSlotsMutex);
  const int handle = FreeHandle();
  if (handle < 0) {
    gLastError = "too many open files";
    return -1;
  }
  FileSlot& slot = gSlots[static_cast<size_t>(handle - 1)];
  if (access == VAL_WRITE_ONLY) {
    slot.sink = std::make_unique<DescriptorSink>(fd);
  } else {
    slot.source = std::make_unique<DescriptorSource>(fd);
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

ByteSource* SourceOfHandle(int handle) {
  FileSlot* slot = SlotOf(handle);
  return slot != nullptr ? slot->source.get() : nullptr;
}

ByteSink* SinkOfHandle(int handle) {
  FileSlot* slot = SlotOf(handle);
  return slot != nullptr ? slot->sink.get() : nullptr;
}

long ReadFile(int handle, char* buffer, long count) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr || !slot->source) {
    return -1;
  }
  return slot->source->Read(buffer, count);
}

bool SetReadTap(int handle, ReadTap tap) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr || !slot->source)
    return false;
  slot->source->SetTap(std::move(tap));
  return true;
}

long WriteFile(int handle, const char* buffer, long count) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr || !slot->sink) {
    return -1;
  }
  return slot->sink->Write(buffer, count);
}

long long SetFilePtr(int handle, long long offset, int origin) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr) {
    return -1;
  }
  const int whence = origin == VAL_END_OF_FILE ? SEEK_END : SEEK_SET;
  if (slot->source) {
    return slot->source->Seek(offset, whence);
  }
  const bool flushed = slot->sink->Flush() == 0;
  const off_t position = RetryInterrupted(
      [&] { return FileSystem().lseek(slot->sink->fd(), static_cast<off_t>(offset), whence); });
  return flushed ? static_cast<long long>(position) : -1;
}

int FlushFile(int handle) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr) {
    return -1;
  }
  return slot->sink ? slot->sink->Flush() : 0;
}

int CloseFile(int handle) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr) {
    return -1;
  }
  const int closed = slot->sink ? slot->sink->Close() : slot->source->Close();
  const std::lock_guard<std::mutex> lock(gSlotsMutex);
  *slot = FileSlot{};
  return closed < 0 ? -1 : 0;
}

long long FileLength(int handle) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr) {
    return -1;
  }
  return slot->sink ? slot->sink->Length() : slot->source->Size();
}

int CutFileBack(int handle, long long length) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr || !slot->sink) {
    return -1;
  }
  return slot->sink->CutBack(length) ? 0 : -1;
}

bool FilesAreSame(int handleA, int handleB) {
  FileSlot* a = SlotOf(handleA);
  FileSlot* b = SlotOf(handleB);
  if (a == nullptr || b == nullptr) {
    return false;
  }
  struct stat infoA {};
  struct stat infoB {};
  if (FileStatus(a->fd(), &infoA) != 0 || FileStatus(b->fd(), &infoB) != 0) {
    return false;
  }
  return infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
}

long long BytesAccepted(int handle) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr) {
    return -1;
  }
  return slot->sink ? slot->sink->Accepted() : 0;
}

bool FileIsOpen(int handle) {
  return SlotOf(handle) != nullptr;
}

const char* LastFileErrorText() {
  return gLastError.c_str();
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

// --- Descriptors opened elsewhere ---

int AdoptFileDescriptor(int fd, int access) {
  struct stat info {};
  if (fd < 0 || FileStatus(fd, &info) != 0) {
    gLastError = "no open file was handed over";
    return -1;
  }
  return TakeSlot(fd, access);
}
