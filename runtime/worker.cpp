#include "runtime/worker.h"

#include <utility>

// --- SizedThread ---

SizedThread::~SizedThread() {
  Join();
}

bool SizedThread::Start(std::function<void()> body, size_t stackBytes) {
  if (Running())
    return false;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0)
    return false;
  body_ = std::make_unique<std::function<void()>>(std::move(body));
  const bool started = pthread_attr_setstacksize(&attributes, stackBytes) == 0 &&
                       pthread_create(&thread_, &attributes, &SizedThread::Enter, this) == 0;
  pthread_attr_destroy(&attributes);
  if (!started)
    body_.reset();
  return started;
}

void SizedThread::Join() {
  if (!Running())
    return;
  pthread_join(thread_, nullptr);
  body_.reset();
}

void* SizedThread::Enter(void* self) {
  (*static_cast<SizedThread*>(self)->body_)();
  return nullptr;
}

// --- Worker ---

Worker::Worker(size_t capacity, size_t stackBytes) : capacity_(capacity < 1 ? 1 : capacity) {
  threaded_ = thread_.Start([this] { Run(); }, stackBytes);
}

Worker::~Worker() {
  Stop();
}

void Worker::Post(Job job) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!Threaded()) {
    if (stopping_)
      return;
    lock.unlock();
    job();
    return;
  }
  taken_.wait(lock, [this] { return stopping_ || waiting_.size() < capacity_; });
  if (stopping_)
    return;
  waiting_.push_back(std::move(job));
  posted_.notify_one();
}

void Worker::Drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  taken_.wait(lock, [this] { return stopping_ || (waiting_.empty() && !busy_); });
}

void Worker::Stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    waiting_.clear();
  }
  posted_.notify_all();
  taken_.notify_all();
  thread_.Join();
}

void Worker::Run() {
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
