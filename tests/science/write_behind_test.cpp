#include "science/write_behind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// What the jobs did, in order, from whichever thread.
class Log {
 public:
  void Add(std::string entry) {
    const std::lock_guard<std::mutex> hold(mutex_);
    entries_.push_back(std::move(entry));
  }
  std::vector<std::string> Entries() {
    const std::lock_guard<std::mutex> hold(mutex_);
    return entries_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> entries_;
};

TEST(WriteBehind, RunsEveryJobInTheOrderPosted) {
  WriteBehind writer(2);
  Log log;
  std::vector<std::string> expected;
  for (int i = 0; i < 50; ++i) {
    writer.Post([&log, i] { log.Add(std::to_string(i)); });
    expected.push_back(std::to_string(i));
  }
  writer.Drain();
  EXPECT_EQ(log.Entries(), expected);
}

// Memory stays flat: with `capacity` jobs waiting behind a slow one, the
// next Post returns only once one of them is taken.
TEST(WriteBehind, PostWaitsWhileTheQueueIsFull) {
  WriteBehind writer(1);
  Log log;
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  writer.Post([&log, opened] {
    opened.wait();
    log.Add("slow job done");
  });
  writer.Post([&log] { log.Add("second job"); });
  std::thread poster([&] {
    writer.Post([&log] { log.Add("third job"); });
    log.Add("third posted");
  });
  // Long enough for an unblocked Post to have returned.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  log.Add("gate opened");
  gate.set_value();
  poster.join();
  writer.Drain();
  const std::vector<std::string> entries = log.Entries();
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries.front(), "gate opened") << "the third Post returned while the queue was full";
  EXPECT_EQ(entries[1], "slow job done");
  // The worker may run the third job before its poster logs: only the jobs'
  // own order is fixed.
  const auto at = [&entries](const char* entry) {
    return std::find(entries.begin(), entries.end(), entry) - entries.begin();
  };
  EXPECT_LT(at("second job"), at("third job"));
}

TEST(WriteBehind, StopDropsTheWaitingJobsAndLaterPostsRunNothing) {
  std::atomic<int> ran{0};
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  std::promise<void> started;
  WriteBehind writer(4);
  writer.Post([&, opened] {
    started.set_value();
    opened.wait();
    ++ran;
  });
  started.get_future().wait();  // the first job is running: the next ones wait
  writer.Post([&] { ++ran; });
  writer.Post([&] { ++ran; });
  std::thread stopper([&] { writer.Stop(); });
  // Stop drops the waiting jobs before it waits for the running one.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  gate.set_value();
  stopper.join();
  EXPECT_EQ(ran.load(), 1);
  writer.Post([&] { ++ran; });
  writer.Drain();
  EXPECT_EQ(ran.load(), 1);
}

}  // namespace
