// The readings of one data line on their way to a conversion's listener,
// with the date stamp in force for their times. The converters use it only
// where a listener is set, so a conversion without one pays nothing.
#pragma once

#include <algorithm>
#include <cstdint>

#include "convert/copy_few.h"
#include "convert/date_stamp.h"
#include "convert/readings.h"

class ReadingRelay {
 public:
  // Both converters take at most twelve readings from a line.
  static constexpr int kMostPerLine = 12;

  // `countsBursts`: every stamp opens the next burst (gauge dumps).
  ReadingRelay(ReadingListener* listener, int sampleRate, bool countsBursts)
      : listener_(listener), sampleRate_(sampleRate), countsBursts_(countsBursts) {}

  // A date stamp now in force for the readings after it.
  void Stamp(const DateStamp& stamp) {
    const LocalSeconds seconds =
        LocalSecondsOf(stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second);
    wentBack_ = stamped_ && seconds < stamp_ + WholeSecondsReached();
    stamp_ = seconds;
    stamped_ = true;
    since_ = 0;
    if (countsBursts_)
      ++burst_;
  }

  void Add(double value, ReadingNote note) {
    if (count_ == kMostPerLine)
      return;
    if (note != ReadingNote::kPlain && !noted_)
      NoteFromHere();
    values_[count_] = value;
    notes_[count_++] = note;
  }

  // Plain readings, as many Add calls would give them; their notes are
  // written only once a reading of the line was noted.
  void AddPlain(const double* values, int count) {
    const int taken = std::min(count, kMostPerLine - count_);
    CopyFew(values, static_cast<size_t>(taken), values_ + count_);
    if (noted_)
      std::fill_n(notes_ + count_, taken, ReadingNote::kPlain);
    count_ += taken;
  }

  void SetTemperature(double temperature) {
    hasTemperature_ = true;
    temperature_ = temperature;
  }
  void AddFillers(int count) { fillers_ += count; }

  // Hands the line's readings, then its fillers, to the listener, and
  // starts the next line.
  void EndLine(int64_t line, int64_t byte) {
    if (count_ > 0) {
      ReadingLine heard;
      heard.line = line;
      heard.byte = byte;
      heard.values = values_;
      heard.notes = noted_ ? notes_ : nullptr;
      heard.count = count_;
      heard.stamped = stamped_;
      heard.stamp = stamp_;
      heard.sinceStamp = since_;
      heard.sampleRate = sampleRate_;
      heard.stampWentBack = wentBack_;
      heard.burst = burst_;
      heard.hasTemperature = hasTemperature_;
      heard.temperature = temperature_;
      listener_->OnReadings(heard);
      since_ += count_;
    }
    if (fillers_ > 0)
      listener_->OnFillers(line, byte, fillers_);
    count_ = 0;
    noted_ = false;
    hasTemperature_ = false;
    fillers_ = 0;
  }

 private:
  // The first noted reading of a line: those before it are plain.
  void NoteFromHere() {
    std::fill_n(notes_, count_, ReadingNote::kPlain);
    noted_ = true;
  }

  // The time the readings since the stamp had reached, in whole seconds
  // rounded up: a stamp earlier than that moves the times back.
  int64_t WholeSecondsReached() const {
    if (sampleRate_ <= 0)
      return 0;
    return since_ / sampleRate_ + (since_ % sampleRate_ != 0);
  }

  ReadingListener* listener_;
  int sampleRate_;
  bool countsBursts_;
  bool stamped_ = false;
  bool wentBack_ = false;
  LocalSeconds stamp_ = 0;
  int64_t since_ = 0;
  int64_t burst_ = -1;
  double values_[kMostPerLine] = {};
  ReadingNote notes_[kMostPerLine] = {};
  int count_ = 0;
  bool noted_ = false;
  bool hasTemperature_ = false;
  double temperature_ = 0.0;
  int fillers_ = 0;
};
