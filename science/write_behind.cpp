#include "science/write_behind.h"

#include <utility>

WriteBehind::WriteBehind(size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {
  thread_ = std::thread([this] { Run(); });
}

WriteBehind::~WriteBehind() {
  Stop();
}

void WriteBehind::Post(Job job) {
  std::unique_lock<std::mutex> lock(mutex_);
  taken_.wait(lock, [this] { return stopping_ || waiting_.size() < capacity_; });
  if (stopping_)
    return;
  waiting_.push_back(std::move(job));
  posted_.notify_one();
}

void WriteBehind::Drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  taken_.wait(lock, [this] { return stopping_ || (waiting_.empty() && !busy_); });
}

void WriteBehind::Stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    waiting_.clear();
  }
  posted_.notify_all();
  taken_.notify_all();
  if (thread_.joinable())
    thread_.join();
}

void WriteBehind::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    posted_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (stopping_)
      return;
    Job job = std::move(waiting_.front());
    waiting_.pop_front();
    busy_ = true;
    taken_.notify_all();
    lock.unlock();
    job();
    job = nullptr;  // what it held goes before the caller hears it ran
    lock.lock();
    busy_ = false;
    taken_.notify_all();
  }
}
