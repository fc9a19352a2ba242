#include "tests/system_call_fakes.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "runtime/system_calls.h"

namespace zorq_test {
namespace {

FakeSystemCalls* gFakes = nullptr;

// Records the call; true when it is to go on to the real one.
bool Passes(SystemCall call) {
  const int error = gFakes->Next(call);
  if (error == 0)
    return true;
  errno = error;
  return false;
}

const FileSystemCalls kFakeTable = {
    [](const char* path, int flags, mode_t mode) {
      return Passes(SystemCall::Open) ? RealFileSystemCalls().open(path, flags, mode) : -1;
    },
    [](int fd, void* buffer, size_t count) -> ssize_t {
      if (!Passes(SystemCall::Read))
        return -1;
      return RealFileSystemCalls().read(fd, buffer, std::min(count, gFakes->readLimit));
    },
    [](int fd, const void* buffer, size_t count) -> ssize_t {
      if (!Passes(SystemCall::Write))
        return -1;
      const ssize_t written =
          RealFileSystemCalls().write(fd, buffer, std::min(count, gFakes->writeLimit));
      gFakes->AddWritten(written);
      return written;
    },
    [](int fd, off_t offset, int whence) -> off_t {
      return Passes(SystemCall::Lseek) ? RealFileSystemCalls().lseek(fd, offset, whence) : -1;
    },
    [](int fd, off_t length) {
      return Passes(SystemCall::Ftruncate) ? RealFileSystemCalls().ftruncate(fd, length) : -1;
    },
    [](int fd, struct stat* info) {
      return Passes(SystemCall::Fstat) ? RealFileSystemCalls().fstat(fd, info) : -1;
    },
    [](int fd) {
      if (Passes(SystemCall::Close))
        return RealFileSystemCalls().close(fd);
      // Linux releases the descriptor whatever close(2) reports.
      RealFileSystemCalls().close(fd);
      return -1;
    },
    [](int fd, off_t offset, off_t count, unsigned flags) {
      gFakes->syncedRanges.push_back({offset, count, flags});
      if (!Passes(SystemCall::SyncFileRange))
        return -1;
      return RealFileSystemCalls().syncFileRange(fd, offset, count, flags);
    },
    [](struct pollfd* fds, unsigned long count, int timeout) {
      return RealFileSystemCalls().poll(fds, count, timeout);
    },
};

}  // namespace

const char* SystemCallName(SystemCall call) {
  switch (call) {
    case SystemCall::Open:
      return "open";
    case SystemCall::Read:
      return "read";
    case SystemCall::Write:
      return "write";
    case SystemCall::Lseek:
      return "lseek";
    case SystemCall::Ftruncate:
      return "ftruncate";
    case SystemCall::Fstat:
      return "fstat";
    case SystemCall::Close:
      return "close";
    case SystemCall::SyncFileRange:
      return "sync_file_range";
  }
  return "?";
}

FakeSystemCalls::FakeSystemCalls() {
  if (gFakes != nullptr)
    throw std::logic_error("one FakeSystemCalls at a time");
  gFakes = this;
  SetFileSystemCallsForTesting(&kFakeTable);
}

FakeSystemCalls::~FakeSystemCalls() {
  SetFileSystemCallsForTesting(nullptr);
  gFakes = nullptr;
}

int FakeSystemCalls::Count(SystemCall call) const {
  return counts_[static_cast<size_t>(call)];
}

int FakeSystemCalls::Next(SystemCall call) {
  const std::lock_guard<std::mutex> hold(mutex_);
  const CallSeen seen{call, static_cast<int>(calls_.size()), Count(call), bytesWritten_};
  calls_.push_back(call);
  ++counts_[static_cast<size_t>(call)];
  const int error = fault ? fault(seen) : 0;
  if (error != 0)
    faultsMet_.push_back(seen);
  return error;
}

std::function<int(const CallSeen&)> FailCall(int n, int error) {
  return [n, error](const CallSeen& seen) { return seen.index == n ? error : 0; };
}

std::function<int(const CallSeen&)> FailCallOfKind(SystemCall kind, int n, int error,
                                                   bool forGood) {
  return [=](const CallSeen& seen) {
    if (seen.call != kind)
      return 0;
    return seen.indexOfKind == n || (forGood && seen.indexOfKind > n) ? error : 0;
  };
}

}  // namespace zorq_test
