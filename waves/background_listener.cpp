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
    : target_(target),
      atEnd_(std::move(atEnd)),
      limits_(limits),
      // One block is filled and one heard: the rest wait.
      worker_(limits.blocks > 2 ? limits.blocks - 2 : 1) {
  if (limits_.blocks < 2)
    limits_.blocks = 2;  // one to fill while the thread works on another
  if (limits_.eventsPerBlock < 1)
    limits_.eventsPerBlock = 1;
  for (size_t i = 0; i < limits_.blocks; ++i) {
    blocks_.push_back(std::make_unique<Block>());
    blocks_.back()->events.reserve(limits_.eventsPerBlock);
    free_.push_back(blocks_.back().get());
  }
  filling_ = TakeFree();
}

BackgroundListener::~BackgroundListener() {
  Stop();
}

// Post waits while the thread is behind, so a free block is there once it
// returns; one is made when the thread is gone and its blocks with it.
// After a failure or Stop, what the target would have heard is dropped.
void BackgroundListener::HandOver() {
  if (failed_ || stopped_) {
    filling_->Clear();
    return;
  }
  Block* full = filling_;
  worker_.Post([this, full] { Hear(full); });
  filling_ = TakeFree();
}

BackgroundListener::Block* BackgroundListener::TakeFree() {
  {
    const std::lock_guard<std::mutex> hold(freeMutex_);
    if (!free_.empty()) {
      Block* block = free_.back();
      free_.pop_back();
      return block;
    }
  }
  blocks_.push_back(std::make_unique<Block>());
  return blocks_.back().get();
}

void BackgroundListener::Hear(Block* block) {
  if (!failed_) {
    try {
      Replay(block);
    } catch (...) {
      failure_ = std::current_exception();
      failed_ = true;
    }
  }
  block->Clear();
  const std::lock_guard<std::mutex> hold(freeMutex_);
  free_.push_back(block);
}

void BackgroundListener::HearEnd() {
  if (failed_ || !atEnd_)
    return;
  try {
    atEnd_();
  } catch (...) {
    failure_ = std::current_exception();
    failed_ = true;
  }
}

void BackgroundListener::OnReadings(const ReadingLine& line) {
  if (line.count <= 0)
    return;
  HandOverIfFull();
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
  HandOverIfFull();
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

void BackgroundListener::Finish() {
  if (!filling_->events.empty())
    HandOver();
  if (!failed_ && !stopped_)
    worker_.Post([this] { HearEnd(); });
  worker_.Drain();
  worker_.Stop();
  if (failure_)
    std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BackgroundListener::Stop() {
  stopped_ = true;
  worker_.Stop();
}
