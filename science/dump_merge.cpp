#include "science/dump_merge.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

bool SameValue(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

DumpMerge::DumpMerge(const Zone& zone, ReadingListener* merged) : axis_(zone), merged_(merged) {}

void DumpMerge::StartDump(double nextDumpStart) {
  EndDump();
  nextStart_ = nextDumpStart;
  ++dump_;
}

// What earlier dumps left is later than anything the dump that ended gave,
// so it goes after what that dump held.
void DumpMerge::EndDump() {
  std::deque<Held> left;
  left.swap(earlier_);
  for (Held& reading : left)
    Route(std::move(reading));
  earlier_.swap(held_);
}

void DumpMerge::Finish() {
  EndDump();
  nextStart_ = kNoNextDump;
  for (Held& reading : earlier_)
    SendHeld(reading);
  earlier_.clear();
}

void DumpMerge::OnReadings(const ReadingLine& line) {
  double stampUtc = 0.0;
  if (!axis_.LineStampUtc(line, &stampUtc)) {
    merged_->OnReadings(line);  // no time to merge by; the writers leave it out
    return;
  }
  // The readings before the next dump's first time, with nothing of an
  // earlier dump waiting, go on as they came.
  int direct = 0;
  if (earlier_.empty()) {
    const double holdFrom = nextStart_ - kSameTimeSeconds;
    if (ReadingTime(line, stampUtc, line.count - 1) < holdFrom)
      direct = line.count;
    while (direct < line.count && ReadingTime(line, stampUtc, direct) < holdFrom)
      ++direct;
  }
  if (direct > 0) {
    ReadingLine part = line;
    part.count = direct;
    Send(dump_, part, stampUtc);
  }
  if (direct < line.count)
    TakeOneByOne(line, stampUtc, direct);
}

void DumpMerge::OnFillers(int64_t line, int64_t byte, int count) {
  merged_->OnFillers(line, byte, count);
}

void DumpMerge::TakeOneByOne(const ReadingLine& line, double stampUtc, int from) {
  for (int i = from; i < line.count; ++i) {
    Held reading;
    reading.time = ReadingTime(line, stampUtc, i);
    reading.stampUtc = stampUtc;
    reading.value = line.values[i];
    reading.note = line.notes != nullptr ? line.notes[i] : ReadingNote::kPlain;
    reading.dump = dump_;
    reading.line = line;
    reading.line.count = 1;
    reading.line.sinceStamp = line.sinceStamp + i;
    reading.line.hasTemperature = line.hasTemperature && i == 0;
    Take(std::move(reading));
  }
}

// Earlier dumps' readings before this one go first; one at the same time
// is the reading kept.
void DumpMerge::Take(Held reading) {
  while (!earlier_.empty() && earlier_.front().time < reading.time - kSameTimeSeconds) {
    Route(std::move(earlier_.front()));
    earlier_.pop_front();
  }
  if (!earlier_.empty() && earlier_.front().time <= reading.time + kSameTimeSeconds) {
    Held kept = std::move(earlier_.front());
    earlier_.pop_front();
    KeepEarlier(std::move(kept), reading);
    return;
  }
  Route(std::move(reading));
}

void DumpMerge::KeepEarlier(Held kept, const Held& later) {
  if (SameValue(kept.value, later.value)) {
    ++counts_.duplicates;
  } else {
    ++counts_.conflicts;
    if (conflicts_.size() < kConflictsKept)
      conflicts_.push_back({kept.time, kept.value, later.value, kept.dump, later.dump});
    // A field that was no number stays bad; anything else becomes suspect.
    if (kept.note != ReadingNote::kNotANumber)
      kept.note = ReadingNote::kMergeConflict;
  }
  Route(std::move(kept));
}

// A reading the next dump may give again waits for it.
void DumpMerge::Route(Held reading) {
  if (reading.time < nextStart_ - kSameTimeSeconds) {
    SendHeld(reading);
    return;
  }
  held_.push_back(std::move(reading));
  counts_.mostHeld = std::max(counts_.mostHeld, held_.size() + earlier_.size());
}

void DumpMerge::SendHeld(Held& reading) {
  ReadingLine line = reading.line;
  line.values = &reading.value;
  line.notes = &reading.note;
  Send(reading.dump, line, reading.stampUtc);
}

void DumpMerge::Send(int dump, ReadingLine line, double stampUtc) {
  line.burst = MergedBurst(dump, line.burst, stampUtc);
  merged_->OnReadings(line);
}

// Each dump counts its bursts afresh; the series counts them on from the
// first dump's first. A burst both dumps hold has one stamp, and stays one.
int64_t DumpMerge::MergedBurst(int dump, int64_t burst, double stampUtc) {
  if (burst < 0)
    return burst;
  const bool sameDump = burstSent_ && dump == sentBurstDump_;
  if (!burstSent_)
    mergedBurst_ = burst;
  else if (sameDump ? burst != sentBurst_ : stampUtc != sentBurstStamp_)
    ++mergedBurst_;
  burstSent_ = true;
  sentBurstDump_ = dump;
  sentBurst_ = burst;
  sentBurstStamp_ = stampUtc;
  return mergedBurst_;
}

void FirstReadingTime::OnReadings(const ReadingLine& line) {
  double stampUtc = 0.0;
  if (found_ || !axis_.LineStampUtc(line, &stampUtc))
    return;
  time_ = ReadingTime(line, stampUtc, 0);
  found_ = true;
}
