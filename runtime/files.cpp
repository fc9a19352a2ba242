#include "runtime/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace {

struct FileSlot {
  int fd = -1;
};

constexpr int kMaxFiles = 64;
std::array<FileSlot, kMaxFiles> gSlots;
std::string gLastError;
WriteFaultHook gWriteFault;
ReadFaultHook gReadFault;

// Handles are slot index + 1, so 0 (the value of a cleared global) is never
// a valid handle.
FileSlot* SlotOf(int handle) {
  if (handle < 1 || handle > kMaxFiles)
    return nullptr;
  FileSlot* slot = &gSlots[static_cast<size_t>(handle - 1)];
  return slot->fd >= 0 ? slot : nullptr;
}

int FreeHandle() {
  for (int i = 0; i < kMaxFiles; ++i) {
    if (gSlots[static_cast<size_t>(i)].fd < 0)
      return i + 1;
  }
  return -1;
}

int OpenFlags(int access, int action) {
  int flags = O_CLOEXEC;
  flags |= access == VAL_WRITE_ONLY ? O_WRONLY : O_RDONLY;
  if (access == VAL_WRITE_ONLY) {
    flags |= O_CREAT;
    if (action == VAL_TRUNCATE)
      flags |= O_TRUNC;
  }
  return flags;
}

}  // namespace

int OpenFile(const char* path, int access, int action, int /*fileType*/) {
  if (path == nullptr || path[0] == '\0') {
    gLastError = "no file name given";
    return -1;
  }
  const int handle = FreeHandle();
  if (handle < 0) {
    gLastError = "too many open files";
    return -1;
  }
  int fd;
  do {
    fd = ::open(path, OpenFlags(access, action), 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    gLastError = std::strerror(errno);
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    gLastError = "is a directory";
    return -1;
  }
  gSlots[static_cast<size_t>(handle - 1)].fd = fd;
  return handle;
}

long ReadFile(int handle, char* buffer, long count) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr || buffer == nullptr || count < 0)
    return -1;
  if (gReadFault && gReadFault(handle, count))
    return -1;
  // Keep reading until the count is reached or the file ends, so that a
  // short count means the end of the file even on pipes.
  long total = 0;
  while (total < count) {
    const ssize_t got = ::read(slot->fd, buffer + total, static_cast<size_t>(count - total));
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return -1;
    }
    if (got == 0)
      break;
    total += got;
  }
  return total;
}

long WriteFile(int handle, const char* buffer, long count) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr || buffer == nullptr || count < 0)
    return -1;
  if (gWriteFault && gWriteFault(handle, count))
    return -1;
  long total = 0;
  while (total < count) {
    const ssize_t put = ::write(slot->fd, buffer + total, static_cast<size_t>(count - total));
    if (put < 0) {
      if (errno == EINTR)
        continue;
      return total > 0 ? total : -1;
    }
    if (put == 0)
      break;
    total += put;
  }
  return total;
}

long long SetFilePtr(int handle, long long offset, int origin) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr)
    return -1;
  const int whence = origin == VAL_END_OF_FILE ? SEEK_END : SEEK_SET;
  return static_cast<long long>(::lseek(slot->fd, static_cast<off_t>(offset), whence));
}

int FlushFile(int handle) {
  return SlotOf(handle) != nullptr ? 0 : -1;
}

int CloseFile(int handle) {
  FileSlot* slot = SlotOf(handle);
  if (slot == nullptr)
    return -1;
  const int flushed = FlushFile(handle);
  const int closed = ::close(slot->fd);
  slot->fd = -1;
  return (flushed < 0 || closed < 0) ? -1 : 0;
}

bool FilesAreSame(int handleA, int handleB) {
  FileSlot* a = SlotOf(handleA);
  FileSlot* b = SlotOf(handleB);
  if (a == nullptr || b == nullptr)
    return false;
  struct stat infoA {};
  struct stat infoB {};
  if (::fstat(a->fd, &infoA) != 0 || ::fstat(b->fd, &infoB) != 0)
    return false;
  return infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
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
void SetReadFaultHook(ReadFaultHook hook) {
  gReadFault = std::move(hook);
}
