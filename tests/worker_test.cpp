#include "runtime/worker.h"

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

TEST(Worker, RunsEveryJobInTheOrderPosted) {
  Worker writer(2);
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
TEST(Worker, PostWaitsWhileTheQueueIsFull) {
  Worker writer(1);
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

TEST(Worker, StopDropsTheWaitingJobsAndLaterPostsRunNothing) {
  std::atomic<int> ran{0};
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  std::promise<void> started;
  Worker writer(4);
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

// No system gives a thread a stack of this much address space, so a thread
// asking for it is never started: what a full process meets.
constexpr size_t kImpossibleStack = size_t{1} << 46;

TEST(SizedThread, RunsItsBodyOnAnotherThreadOrSaysItCouldNot) {
  std::thread::id ranOn;
  SizedThread thread;
  ASSERT_TRUE(thread.Start([&ranOn] { ranOn = std::this_thread::get_id(); }));
  EXPECT_FALSE(thread.Start([] {})) << "a second start while the first runs";
  thread.Join();
  EXPECT_NE(ranOn, std::this_thread::get_id());
  EXPECT_NE(ranOn, std::thread::id());

  bool ran = false;
  SizedThread refused;
  EXPECT_FALSE(refused.Start([&ran] { ran = true; }, kImpossibleStack));
  EXPECT_FALSE(refused.Running());
  refused.Join();
  EXPECT_FALSE(ran);
}

// A kilobyte of stack a frame: deep enough to overrun a stack far smaller
// than the one reserved. Returns the frames it went through.
int Recurse(int depth) {
  volatile char frame[1024] = {};
  frame[sizeof frame - 1] = 1;
  return depth == 0 ? frame[sizeof frame - 1] : Recurse(depth - 1) + frame[sizeof frame - 1];
}

TEST(SizedThread, ItsStackHoldsWhatItsJobsNeed) {
  constexpr int kFramesOfAKilobyte = 256;
  int sum = -1;
  SizedThread thread;
  ASSERT_TRUE(thread.Start([&sum] { sum = Recurse(kFramesOfAKilobyte); }));
  thread.Join();
  EXPECT_EQ(sum, kFramesOfAKilobyte + 1);
}

// Without a thread, nothing is lost: each job runs in Post, in order, on
// the caller's thread, and Stop still ends it.
TEST(Worker, WithoutAThreadRunsEachJobInPost) {
  Worker worker(2, kImpossibleStack);
  EXPECT_FALSE(worker.Threaded());
  std::vector<std::thread::id> ranOn;
  std::vector<int> order;
  for (int i = 0; i < 5; ++i) {
    worker.Post([&, i] {
      ranOn.push_back(std::this_thread::get_id());
      order.push_back(i);
    });
    EXPECT_EQ(order.size(), static_cast<size_t>(i + 1)) << "job " << i << " not run in Post";
  }
  worker.Drain();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(std::count(ranOn.begin(), ranOn.end(), std::this_thread::get_id()), 5);
  worker.Stop();
  worker.Post([&] { order.push_back(99); });
  EXPECT_EQ(order.size(), 5u);
}

}  // namespace
