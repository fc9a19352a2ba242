// Several dumps of one deployment as one series of readings. The dumps come
// in the order of their first times; where one overlaps the next, a reading
// both gave (the same time and the same value) goes on once, and the same
// time with two values keeps the earlier dump's reading, noted as a
// conflict. Only the readings of a dump at or after the next dump's first
// time are held, so memory follows the overlap, not the deployment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

#include "convert/readings.h"
#include "science/time_base.h"

// Two dumps gave one time different values.
struct MergeConflict {
  double time = 0.0;     // instrument UTC
  double kept = 0.0;     // the earlier dump's value, kept
  double dropped = 0.0;  // the later dump's
  int keptDump = 0;      // the dumps' places in time order, from 0
  int droppedDump = 0;
};

struct MergeCounts {
  int64_t duplicates = 0;  // readings a later dump gave again, left out
  int64_t conflicts = 0;   // times given two values, the earlier kept
  size_t mostHeld = 0;     // the most readings held at once
};

class DumpMerge final : public ReadingListener {
 public:
  // Times closer than this are one reading's.
  static constexpr double kSameTimeSeconds = 1e-3;
  // The conflicts kept for the report; all are counted.
  static constexpr size_t kConflictsKept = 100;
  static constexpr double kNoNextDump = std::numeric_limits<double>::infinity();

  // `merged` (not owned) hears the one series.
  DumpMerge(const Zone& zone, ReadingListener* merged);

  // Before each dump's readings: the first time of the dump after it
  // (instrument UTC), or kNoNextDump for the last.
  void StartDump(double nextDumpStart);
  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;
  // After the last dump: what is held goes on.
  void Finish();

  const MergeCounts& counts() const { return counts_; }
  const std::vector<MergeConflict>& conflicts() const { return conflicts_; }

 private:
  // One reading of a line, kept with what its line said of it.
  struct Held {
    double time = 0.0;
    double stampUtc = 0.0;
    double value = 0.0;
    ReadingNote note = ReadingNote::kPlain;
    int dump = 0;
    ReadingLine line;  // count 1; values and notes point into this Held when sent
  };

  void EndDump();
  void TakeOneByOne(const ReadingLine& line, double stampUtc, int from);
  void Take(Held reading);
  void KeepEarlier(Held kept, const Held& later);
  void Route(Held reading);
  void SendHeld(Held& reading);
  void Send(int dump, ReadingLine line, double stampUtc);
  int64_t MergedBurst(int dump, int64_t burst, double stampUtc);

  TimeAxis axis_;
  ReadingListener* merged_;
  double nextStart_ = kNoNextDump;
  int dump_ = -1;
  // Readings of earlier dumps waiting for this dump's, in time order.
  std::deque<Held> earlier_;
  // Readings of this dump and earlier ones at or after the next dump's
  // first time, in time order.
  std::deque<Held> held_;
  MergeCounts counts_;
  std::vector<MergeConflict> conflicts_;
  // The bursts of the series, counted across the dumps.
  bool burstSent_ = false;
  int sentBurstDump_ = 0;
  int64_t sentBurst_ = 0;
  double sentBurstStamp_ = 0.0;
  int64_t mergedBurst_ = 0;
};

// Hears a dump's readings until the first that has a time.
class FirstReadingTime final : public ReadingListener {
 public:
  explicit FirstReadingTime(const Zone& zone) : axis_(zone) {}
  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t, int64_t, int) override {}
  bool found() const { return found_; }
  double time() const { return time_; }  // instrument UTC, once found

 private:
  TimeAxis axis_;
  bool found_ = false;
  double time_ = 0.0;
};
