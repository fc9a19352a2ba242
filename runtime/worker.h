// Threads of the program's own: each reserves a stack of a chosen size
// instead of the C library's 8 MiB default, so that a batch of many jobs,
// each with a few threads, stays within a limit on address space.
//
// Worker runs jobs in the order they are posted, on a thread of its own, so
// that the caller goes on with its work while the job runs on the other
// core: the writing behind and reading ahead of the byte streams, the NetCDF
// chunks, the wave statistics. At most `capacity` jobs wait: Post blocks
// until one is taken, which keeps memory flat however fast the caller is.
// When no thread can be started (no memory, no room for a stack, the
// process's thread limit), each job runs in Post on the caller's thread:
// slower, but nothing is lost and nothing aborts.
#pragma once

#include <pthread.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// The stack reserved for each thread of the program's own. The deepest
// need measured, a conversion of 20 MB dumps to NetCDF with wave statistics
// (inside HDF5's and FFTW's calls), runs in 160 KiB and not in 128 KiB,
// the C library's thread-local storage included: this is three times that.
// A sanitizer's frames are several times larger, and its runtime keeps
// data of its own on the stack.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr size_t kThreadStackBytes = size_t{4} << 20;
#else
inline constexpr size_t kThreadStackBytes = size_t{512} << 10;
#endif

// One joinable thread with a stack of `stackBytes`. Unlike std::thread, a
// thread that cannot be started is a false return, not an exception.
class SizedThread {
 public:
  SizedThread() = default;
  // Joins a thread still running.
  ~SizedThread();
  SizedThread(const SizedThread&) = delete;
  SizedThread& operator=(const SizedThread&) = delete;

  // Starts `body` on a new thread. False (and `body` not run) when the
  // thread could not be made, or one was started already.
  bool Start(std::function<void()> body, size_t stackBytes = kThreadStackBytes);
  bool Running() const { return body_ != nullptr; }
  // Waits for the thread to end; nothing when none was started.
  void Join();

 private:
  static void* Enter(void* self);

  pthread_t thread_{};
  std::unique_ptr<std::function<void()>> body_;
};

class Worker {
 public:
  using Job = std::function<void()>;

  // A job must not throw: one that fails says so through what it captured.
  explicit Worker(size_t capacity, size_t stackBytes = kThreadStackBytes);
  // Stop().
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // False when the thread could not be started: jobs run in Post.
  bool Threaded() const { return threaded_; }

  // Hands `job` to the thread; waits while `capacity` jobs are waiting.
  // After Stop, runs nothing.
  void Post(Job job);
  // Waits until every job posted so far has run; what they wrote is then
  // seen by the caller.
  void Drain();
  // Drops the jobs still waiting, waits for the one running and ends the
  // thread.
  void Stop();

 private:
  void Run();

  const size_t capacity_;
  std::mutex mutex_;
  std::condition_variable posted_;  // a job came, or the end
  std::condition_variable taken_;   // a job was taken or finished
  std::deque<Job> waiting_;
  bool busy_ = false;
  bool stopping_ = false;
  bool threaded_ = false;
  SizedThread thread_;  // last: started once the rest is ready
};
