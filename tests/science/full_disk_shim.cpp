// Test only, loaded with LD_PRELOAD into a child zorqconvert-cli: the
// disk fills up under the NetCDF output. A full disk refuses the writes
// that need new room (past the file's end) and takes those over bytes the
// file already has. From the growing write or pwrite numbered
// ZORQ_TEST_FULL_DISK_AT (counting those to files whose name holds ".nc")
// on, each one fails with ENOSPC, as on a disk that stays full; the library
// writes through these itself, past the program's own table of system
// calls. With ZORQ_TEST_COUNT_WRITES_TO set, the count of those writes is
// left in that file at exit, for a test to place its failures.
// ZORQ_TEST_FULL_DISK_MARK names another part of the names whose writes
// count (".csv": the CSV outputs). ZORQ_TEST_READ_FAIL_AT fails the read
// numbered so, and every one after, of a file whose name holds ".txt" (the
// dumps) with EIO, as a failing disk does.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kLinkBytes = 4096;
constexpr const char* kNetcdfMark = ".nc";
constexpr const char* kDumpMark = ".txt";

std::atomic<long> netcdfWrites{0};

long FullFrom() {
  static const long from = [] {
    const char* text = std::getenv("ZORQ_TEST_FULL_DISK_AT");
    return text != nullptr ? std::atol(text) : 0L;
  }();
  return from;
}

long NumberFrom(const char* variable) {
  const char* text = std::getenv(variable);
  return text != nullptr ? std::atol(text) : 0L;
}

const char* CountedMark() {
  static const char* mark = [] {
    const char* given = std::getenv("ZORQ_TEST_FULL_DISK_MARK");
    return given != nullptr && *given != '\0' ? given : kNetcdfMark;
  }();
  return mark;
}

bool NameHolds(int fd, const char* mark) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[kLinkBytes];
  const ssize_t length = ::readlink(link, target, sizeof target - 1);
  if (length <= 0)
    return false;
  target[length] = '\0';
  return std::strstr(target, mark) != nullptr;
}

std::atomic<long> dumpReads{0};

// Counts the read when it reads a dump; true when it must fail.
bool ReadFails(int fd) {
  static const long from = NumberFrom("ZORQ_TEST_READ_FAIL_AT");
  if (from <= 0 || !NameHolds(fd, kDumpMark))
    return false;
  return ++dumpReads >= from;
}

bool Grows(int fd, off_t offset, size_t count) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && offset + static_cast<off_t>(count) > status.st_size;
}

// Counts the write when it grows a NetCDF file; true when it must fail.
bool DiskIsFull(int fd, off_t offset, size_t count) {
  if (!NameHolds(fd, CountedMark()) || !Grows(fd, offset, count))
    return false;
  const long number = ++netcdfWrites;
  return FullFrom() > 0 && number >= FullFrom();
}

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

__attribute__((destructor)) void LeaveCount() {
  const char* path = std::getenv("ZORQ_TEST_COUNT_WRITES_TO");
  if (path == nullptr)
    return;
  if (FILE* file = std::fopen(path, "w")) {
    std::fprintf(file, "%ld\n", netcdfWrites.load());
    std::fclose(file);
  }
}

}  // namespace

extern "C" ssize_t write(int fd, const void* bytes, size_t count) {
  static const auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
  if (DiskIsFull(fd, ::lseek(fd, 0, SEEK_CUR), count)) {
    errno = ENOSPC;
    return -1;
  }
  return real(fd, bytes, count);
}

extern "C" ssize_t pwrite(int fd, const void* bytes, size_t count, off_t offset) {
  static const auto real = Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
  if (DiskIsFull(fd, offset, count)) {
    errno = ENOSPC;
    return -1;
  }
  return real(fd, bytes, count, offset);
}

extern "C" ssize_t pwrite64(int fd, const void* bytes, size_t count, off64_t offset) {
  static const auto real = Next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
  if (DiskIsFull(fd, static_cast<off_t>(offset), count)) {
    errno = ENOSPC;
    return -1;
  }
  return real(fd, bytes, count, offset);
}

extern "C" ssize_t read(int fd, void* bytes, size_t count) {
  static const auto real = Next<ssize_t (*)(int, void*, size_t)>("read");
  if (ReadFails(fd)) {
    errno = EIO;
    return -1;
  }
  return real(fd, bytes, count);
}
