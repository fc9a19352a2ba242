#include "waves/background_listener.h"

#include <algorithm>
#include <utility>

#include "convert/copy_few.h"

void BackgroundListener::Block::Clear() {
  events.clear();
  valueCount = 0;
  notes.clear();
}

void BackgroundListener::Block::Grow(size_t least) {
  const size_t room = std::max(2 * valueRoom, least);
  std::unique_ptr<double[]> larger(new double[room]);
  std::copy_n(values.get(), valueCount, larger.get());
  values = std::move(larger);
  valueRoom = room;
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

void BackgroundListener::HandOverFull() {
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
  const size_t count = static_cast<size_t>(line.count);
  const size_t first = block.valueCount;
  CopyFew(line.values, count, block.MakeRoom(count));
  Event& event = block.events.emplace_back();
  event.line = line.line;
  event.byte = line.byte;
  event.stamp = line.stamp;
  event.sinceStamp = line.sinceStamp;
  event.burst = line.burst;
  event.temperature = line.temperature;
  event.sampleRate = line.sampleRate;
  event.count = line.count;
  event.flags = static_cast<uint8_t>(
      (line.stamped ? kStamped : 0) | (line.stampWentBack ? kStampWentBack : 0) |
      (line.hasTemperature ? kHasTemperature : 0) | (line.notes != nullptr ? kNoted : 0));
  if (line.notes != nullptr) {
    block.notes.resize(first);  // notes sit at the same places as their values
    block.notes.insert(block.notes.end(), line.notes, line.notes + count);
  }
}

void BackgroundListener::OnFillers(int64_t line, int64_t byte, int count) {
  Room();
  Event& event = filling_->events.emplace_back();
  event.line = line;
  event.byte = byte;
  event.fillers = count;
}

void BackgroundListener::Replay(Block* block) {
  size_t first = 0;  // of the line's values
  for (const Event& event : block->events) {
    if (event.count == 0) {
      target_->OnFillers(event.line, event.byte, event.fillers);
      continue;
    }
    ReadingLine line;
    line.line = event.line;
    line.byte = event.byte;
    line.values = block->values.get() + first;
    line.notes = (event.flags & kNoted) != 0 ? block->notes.data() + first : nullptr;
    line.count = event.count;
    line.stamped = (event.flags & kStamped) != 0;
    line.stamp = event.stamp;
    line.sinceStamp = event.sinceStamp;
    line.sampleRate = event.sampleRate;
    line.stampWentBack = (event.flags & kStampWentBack) != 0;
    line.burst = event.burst;
    line.hasTemperature = (event.flags & kHasTemperature) != 0;
    line.temperature = event.temperature;
    target_->OnReadings(line);
    first += static_cast<size_t>(event.count);
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
