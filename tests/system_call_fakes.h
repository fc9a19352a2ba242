// A table of system calls for the file layer that passes every call to the
// real one unless the test says it fails, is interrupted or moves fewer
// bytes; and that records the calls made.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <limits>
#include <mutex>
#include <vector>

#include <sys/types.h>

namespace zorq_test {

enum class SystemCall { Open, Read, Write, Lseek, Ftruncate, Fstat, Close, SyncFileRange };

const char* SystemCallName(SystemCall call);

struct CallSeen {
  SystemCall call;
  int index;                  // among all calls since the fakes were put in
  int indexOfKind;            // among the calls of this kind
  size_t bytesWrittenBefore;  // by the write(2) calls before this one
};

// Put in the file layer's place while it lives (one at a time).
class FakeSystemCalls {
 public:
  FakeSystemCalls();
  ~FakeSystemCalls();
  FakeSystemCalls(const FakeSystemCalls&) = delete;
  FakeSystemCalls& operator=(const FakeSystemCalls&) = delete;

  // The errno the call fails with, or 0 to make it. EINTR fails it as an
  // interrupted call.
  std::function<int(const CallSeen&)> fault;
  // The most one read(2) hands back and one write(2) takes.
  size_t readLimit = std::numeric_limits<size_t>::max();
  size_t writeLimit = std::numeric_limits<size_t>::max();

  const std::vector<SystemCall>& calls() const { return calls_; }
  // The ranges whose writeback was asked for, in order, failed ones too.
  struct SyncedRange {
    off_t offset;
    off_t count;
    unsigned flags;
  };
  std::vector<SyncedRange> syncedRanges;
  int Count(SystemCall call) const;
  // Faults handed out, by the call that met them.
  const std::vector<CallSeen>& faultsMet() const { return faultsMet_; }

  // Used by the table's functions: records the call and returns the errno
  // it fails with (0: none).
  int Next(SystemCall call);
  void AddWritten(ssize_t written) {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (written > 0)
      bytesWritten_ += static_cast<size_t>(written);
  }

 private:
  std::mutex mutex_;  // a sink that writes behind calls from a thread of its own
  std::vector<SystemCall> calls_;
  std::array<int, 8> counts_{};  // by SystemCall
  size_t bytesWritten_ = 0;
  std::vector<CallSeen> faultsMet_;
};

// Fault deciders.
// Fails the `n`-th call of all (from 0) with `error`.
std::function<int(const CallSeen&)> FailCall(int n, int error);
// Fails the `n`-th call of `kind` (from 0) with `error`, and with `forGood`
// every one of that kind after it too.
std::function<int(const CallSeen&)> FailCallOfKind(SystemCall kind, int n, int error,
                                                   bool forGood = false);

}  // namespace zorq_test
