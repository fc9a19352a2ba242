#include "science/reading_tests.h"

#include "science/quality_flags.h"

ReadingTests::ReadingTests(const ScienceSettings& settings, ReadingListener* downstream)
    : tests_(settings.qc.reading),
      axis_(settings.zone, settings.clock),
      qc_(settings.qc.reading),
      downstream_(downstream) {}

void ReadingTests::OnReadings(const ReadingLine& line) {
  double stampUtc = 0.0;
  if (axis_.LineStampUtc(line, &stampUtc)) {
    const bool moved = axis_.StampMoved();
    const int leftOut = rising_.LeftOut(line, stampUtc);
    // Grows to the longest line once: no allocation per reading.
    if (completed_.size() < static_cast<size_t>(line.count))
      completed_.resize(static_cast<size_t>(line.count));
    QcReading reading;
    reading.interval = 1.0 / line.sampleRate;
    reading.burst = line.burst;
    for (int i = 0; i < line.count; ++i) {
      reading.time = ReadingTime(line, stampUtc, i);
      reading.value = line.values[i];
      reading.atSensorLimit = line.notes != nullptr && line.notes[i] == ReadingNote::kAtSensorLimit;
      reading.conversion = i < leftOut ? kFlagBad : FlagOf(line, i, moved);
      ReadingFlags& completed = completed_[static_cast<size_t>(i)];
      const bool completes = qc_.Add(reading, &completed);
      if (completes)
        counts_.Add(completed);
      if (i == 0)
        firstCompletes_ = completes;
    }
  }
  if (downstream_ != nullptr)
    downstream_->OnReadings(line);
}

void ReadingTests::OnFillers(int64_t line, int64_t byte, int count) {
  if (downstream_ != nullptr)
    downstream_->OnFillers(line, byte, count);
}

bool ReadingTests::Last(ReadingFlags* flags) {
  if (!ended_) {
    ended_ = true;
    lastHeld_ = qc_.Flush(&last_);
    if (lastHeld_)
      counts_.Add(last_);
  }
  if (lastHeld_)
    *flags = last_;
  return lastHeld_;
}
