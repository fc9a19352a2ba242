// Jobs run in the order they are posted, on a thread of their own, so that
// the caller goes on converting while the NetCDF library compresses and
// writes on the other core. At most `capacity` jobs wait: Post blocks until
// one is taken, which keeps memory flat however fast the caller is.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class WriteBehind {
 public:
  using Job = std::function<void()>;

  explicit WriteBehind(size_t capacity);
  // Stop().
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Hands `job` to the thread; waits while `capacity` jobs are waiting.
  // After Stop, runs nothing.
  void Post(Job job);
  // Waits until every job posted so far has run.
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
  std::thread thread_;
};
