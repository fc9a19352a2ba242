// Hands the readings of a conversion to another listener on a thread of its
// own, so that slow work on them (the wave statistics) runs beside the
// conversion instead of inside it.
//
// The readings are copied into a few blocks that are used over and over:
// the conversion fills one while the thread works through the others, and
// waits for a free one when the thread falls behind. Memory stays the same
// whatever the length of the dump, and the listener hears every reading in
// the order the conversion handed it out, exactly as it would have on the
// converting thread. When no thread can be started, the target hears each
// block on the converting thread as it fills.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "convert/readings.h"
#include "runtime/worker.h"

class BackgroundListener final : public ReadingListener {
 public:
  struct Limits {
    size_t blocks = 3;  // held at once, the one being filled included
    // Lines and runs of fillers: about 200 bytes each with their readings.
    // Each block handed over wakes a thread, so blocks are large.
    size_t eventsPerBlock = 4096;
  };

  // `target` hears every reading on the thread; `atEnd` runs there after
  // the last one, when Finish is called.
  BackgroundListener(ReadingListener* target, std::function<void()> atEnd);
  BackgroundListener(ReadingListener* target, std::function<void()> atEnd, Limits limits);
  ~BackgroundListener() override;
  BackgroundListener(const BackgroundListener&) = delete;
  BackgroundListener& operator=(const BackgroundListener&) = delete;

  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;

  // Waits until the target has heard everything and `atEnd` has run. What
  // the target or `atEnd` threw is thrown here. Call once.
  void Finish();
  // Drops what the target has not heard yet and waits for the thread to
  // end; `atEnd` does not run. Safe after Finish, and more than once.
  void Stop();

 private:
  // One line's readings (their values and notes follow those of the lines
  // before in the block's arrays), or a run of fillers when `count` is 0.
  // Packed: the conversion copies one per line.
  struct Event {
    int64_t line = 0;
    int64_t byte = 0;
    LocalSeconds stamp = 0;
    int64_t sinceStamp = 0;
    int64_t burst = -1;
    double temperature = 0.0;
    int32_t sampleRate = 0;
    int32_t count = 0;
    int32_t fillers = 0;
    uint8_t flags = 0;  // kStamped | kStampWentBack | kHasTemperature | kNoted
  };
  struct Block {
    std::vector<Event> events;
    // Held without std::vector's insert, which calls memmove for a dozen
    // values; grown by doubling.
    std::unique_ptr<double[]> values;
    size_t valueCount = 0;
    size_t valueRoom = 0;
    std::vector<ReadingNote> notes;
    void Clear();
    // Where `count` more values go.
    double* MakeRoom(size_t count) {
      if (valueCount + count > valueRoom)
        Grow(valueCount + count);
      double* place = values.get() + valueCount;
      valueCount += count;
      return place;
    }
    void Grow(size_t least);
  };
  static constexpr uint8_t kStamped = 1;
  static constexpr uint8_t kStampWentBack = 2;
  static constexpr uint8_t kHasTemperature = 4;
  static constexpr uint8_t kNoted = 8;

  // Hands the block being filled over when it holds no more events; the
  // test is inline, the hand-over is not.
  void HandOverIfFull() {
    if (filling_->events.size() >= limits_.eventsPerBlock) [[unlikely]]
      HandOver();
  }
  // Queues the block being filled for the thread and takes a free one.
  void HandOver();
  Block* TakeFree();
  // On the thread: the target hears `block`, which is free again after.
  void Hear(Block* block);
  void HearEnd();
  void Replay(Block* block);

  ReadingListener* target_;
  std::function<void()> atEnd_;
  Limits limits_;

  std::vector<std::unique_ptr<Block>> blocks_;  // every block made
  Block* filling_ = nullptr;                    // the conversion's; no lock needed

  std::mutex freeMutex_;
  std::vector<Block*> free_;
  // Once set, what the target has not heard is dropped.
  std::atomic<bool> failed_{false};
  std::atomic<bool> stopped_{false};
  std::exception_ptr failure_;  // the thread's until Finish has drained it

  Worker worker_;  // last: started once the rest is ready
};
