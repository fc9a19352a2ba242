// The system calls the file layer makes, gathered in one table so that tests
// can put their own in its place and meet faults where production meets
// them, and the one retry loop every call goes through.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>

struct stat;
struct pollfd;

struct FileSystemCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buffer, size_t count);
  ssize_t (*write)(int fd, const void* buffer, size_t count);
  off_t (*lseek)(int fd, off_t offset, int whence);
  int (*ftruncate)(int fd, off_t length);
  int (*fstat)(int fd, struct stat* info);
  int (*close)(int fd);
  // sync_file_range(2): starts the writeback of a range without waiting.
  int (*syncFileRange)(int fd, off_t offset, off_t count, unsigned flags);
  // poll(2): a stream's reads wait here, where a stop can wake them.
  int (*poll)(struct pollfd* fds, unsigned long count, int timeout);
};

// The operating system's own calls.
const FileSystemCalls& RealFileSystemCalls();

// The table the file layer uses from now on; nullptr puts the real one back.
// Set it while no file operation runs.
void SetFileSystemCallsForTesting(const FileSystemCalls* calls);

// The table in use.
const FileSystemCalls& FileSystem();

// Makes `call` again for as long as it fails with EINTR: a signal that
// arrived during the call is no reason to give up on it.
template <typename Call>
auto RetryInterrupted(Call&& call) {
  for (;;) {
    const auto result = call();
    if (!(result < 0 && errno == EINTR)) {
      return result;
    }
  }
}

// What one MoveAll moved.
struct BytesMoved {
  size_t count = 0;     // bytes moved before it stopped
  bool failed = false;  // a call failed (errno says why)
};

// The one loop around read(2) and write(2) (`move`): goes on after a short
// count and after EINTR until `count` bytes have moved, a call fails or one
// moves nothing (the end of the file for a read; for a write, no progress).
template <typename Byte, typename Move>
BytesMoved MoveAll(Move move, int fd, Byte* buffer, size_t count) {
  BytesMoved moved;
  while (moved.count < count) {
    const ssize_t n =
        RetryInterrupted([&] { return move(fd, buffer + moved.count, count - moved.count); });
    if (n < 0) {
      moved.failed = true;
      break;
    }
    if (n == 0) {
      break;
    }
    moved.count += static_cast<size_t>(n);
  }
  return moved;
}
