#include "waves/background_listener.h"

#include <utility>

void BackgroundListener::Block::Clear() {
  events.clear();
  values.clear();
  notes.clear();
}

BackgroundListener::BackgroundListener(ReadingListener* target, std::function<void()> atEnd)
    : BackgroundListener(target, std::move(atEnd), Limits{}) {}

BackgroundListener::BackgroundListener(ReadingListener* target, std::function<void()> atEnd,
                                       Limits limits)
    : target_(target), atEnd_(std::move(atEnd)), limits_(limits) {
  if (limits_.blocks < 2)
    limits_.blocks = 2;  // one to fill while the thread works on another
  if (limits_.eventsPerBlock < 1)
    limits_.eventsPerBlock = 1;
  filling_ = std::make_unique<Block>();
  filling_->events.reserve(limits_.eventsPerBlock);
  for (size_t i = 1; i < limits_.blocks; ++i) {
    free_.push_back(std::make_unique<Block>());
    free_.back()->events.reserve(limits_.eventsPerBlock);
  }
  thread_ = std::thread([this] { Run(); });
}

BackgroundListener::~BackgroundListener() {
  Stop();
}

// Makes room for one more event in the block being filled.
void BackgroundListener::Room() {
  if (filling_->events.size() < limits_.eventsPerBlock)
    return;
  std::unique_lock<std::mutex> lock(mutex_);
  HandOver(&lock);
}

// Queues the block being filled and takes a free one, waiting while the
// thread is behind. When the thread has failed or stopped, what it would
// have heard is dropped.
void BackgroundListener::HandOver(std::unique_lock<std::mutex>* lock) {
  if (threadFailed_ || stopping_) {
    filling_->Clear();
    return;
  }
  ready_.push_back(std::move(filling_));
  readyChanged_.notify_one();
  freeChanged_.wait(*lock, [this] { return !free_.empty() || threadFailed_ || stopping_; });
  if (!free_.empty()) {
    filling_ = std::move(free_.back());
    free_.pop_back();
  } else {
    filling_ = std::make_unique<Block>();  // the thread is gone; its blocks may be too
  }
}

void BackgroundListener::OnReadings(const ReadingLine& line) {
  if (line.count <= 0)
    return;
  Room();
  Block& block = *filling_;
  Event event;
  event.line = line;
  event.line.values = nullptr;
  event.line.notes = nullptr;
  event.first = block.values.size();
  event.noted = line.notes != nullptr;
  const size_t count = static_cast<size_t>(line.count);
  block.values.insert(block.values.end(), line.values, line.values + count);
  if (event.noted) {
    block.notes.resize(event.first);  // notes sit at the same places as their values
    block.notes.insert(block.notes.end(), line.notes, line.notes + count);
  }
  block.events.push_back(event);
}

void BackgroundListener::OnFillers(int64_t line, int64_t byte, int count) {
  Room();
  Event event;
  event.line.line = line;
  event.line.byte = byte;
  event.line.count = 0;
  event.fillers = count;
  filling_->events.push_back(event);
}

void BackgroundListener::Replay(Block* block) {
  for (Event& event : block->events) {
    if (event.line.count == 0) {
      target_->OnFillers(event.line.line, event.line.byte, event.fillers);
      continue;
    }
    event.line.values = block->values.data() + event.first;
    event.line.notes = event.noted ? block->notes.data() + event.first : nullptr;
    target_->OnReadings(event.line);
  }
}

void BackgroundListener::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  try {
    for (;;) {
      readyChanged_.wait(lock, [this] { return !ready_.empty() || finishing_ || stopping_; });
      if (stopping_)
        return;
      if (ready_.empty()) {  // finishing, and all heard
        lock.unlock();
        if (atEnd_)
          atEnd_();
        return;
      }
      std::unique_ptr<Block> block = std::move(ready_.front());
      ready_.pop_front();
      lock.unlock();
      Replay(block.get());
      block->Clear();
      lock.lock();
      free_.push_back(std::move(block));
      freeChanged_.notify_one();
    }
  } catch (...) {
    if (!lock.owns_lock())
      lock.lock();
    failure_ = std::current_exception();
    threadFailed_ = true;
    ready_.clear();
    freeChanged_.notify_all();
  }
}

void BackgroundListener::Finish() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!filling_->events.empty() && !threadFailed_ && !stopping_) {
      ready_.push_back(std::move(filling_));
      filling_ = std::make_unique<Block>();
    }
    finishing_ = true;
    readyChanged_.notify_one();
  }
  if (thread_.joinable())
    thread_.join();
  if (failure_)
    std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BackgroundListener::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    ready_.clear();
    readyChanged_.notify_one();
    freeChanged_.notify_all();
  }
  if (thread_.joinable())
    thread_.join();
}
