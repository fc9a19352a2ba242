// Cuts the readings of one conversion into segments and works out the
// statistics of each as soon as it is complete, keeping only the readings
// of the segment in hand.
//
// Gauge dumps: a segment is a burst, the run of readings after one date
// stamp. Logger dumps: the series is cut every `segmentSeconds`, and a new
// segment starts wherever the time jumps: where a date stamp moves the time
// more than one sample interval away from where the readings had reached.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "convert/readings.h"
#include "qc/flags.h"
#include "waves/segment_analysis.h"
#include "waves/wave_settings.h"

// A time on the dump's clock: the date stamp in force and the seconds its
// readings had run since it.
struct DumpTime {
  bool known = false;  // false before the dump gave any time
  LocalSeconds stamp = 0;
  double elapsed = 0.0;
};

// As the science outputs flag a reading: the aggregate of the segment's
// own reasons and the statistics' range tests.
enum class SegmentFlag : uint8_t { Good = 1, Suspect = 3, Bad = 4 };

struct WaveSegment {
  int64_t index = 0;   // 0 for the first segment of the conversion
  int64_t burst = -1;  // gauge dumps: the burst; -1 for logger dumps
  int sampleRate = 0;
  DumpTime start;            // the first reading
  DumpTime end;              // the last reading
  int64_t readings = 0;      // readings taken from the dump
  int64_t good = 0;          // plain numbers, not after a stamp that went back
  int64_t missing = 0;       // fillers inside the segment
  double temperature = 0.0;  // mean of its lines' extra values; NaN when none
  SegmentFlag flag = SegmentFlag::Good;
  // Why it is suspect or bad, words joined by ';' ("short",
  // "few-good-readings", "no-time", "no-rate", "no-depth", and from the
  // range tests "hm0-range-suspect", "tp-range-bad", ...); empty when good.
  std::string reason;
  // The gross range tests of Hm0 and Tp; 2 where not configured, 9 where
  // the statistic has no value.
  QualityFlag hm0Range = kFlagNotEvaluated;
  QualityFlag tpRange = kFlagNotEvaluated;
  SegmentAnalysis analysis;

  // Good readings over readings and missing ones.
  double GoodShare() const;
};

// A gauge burst longer than this many readings (about 12 hours at 99 Hz)
// goes on in a new segment, so that memory stays bounded.
inline constexpr int64_t kLongestSegmentReadings = int64_t{1} << 22;

class WaveSegmenter final : public ReadingListener {
 public:
  using Sink = std::function<void(WaveSegment&&)>;

  // `sink` is handed each segment when it is complete, in order.
  WaveSegmenter(const WaveSettings& settings, Sink sink);

  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;
  // Hands over the last segment. Call once, after the conversion.
  void Finish();

 private:
  // A reading's place, kept per line instead of its time: the time is
  // worked out only where it is needed.
  struct ReadingPlace {
    bool stamped = false;
    LocalSeconds stamp = 0;
    int64_t sinceStamp = 0;  // readings since the stamp before it
    int sampleRate = 0;

    static ReadingPlace Of(const ReadingLine& line, int i) {
      return {line.stamped, line.stamp, line.sinceStamp + i, line.sampleRate};
    }
    // As `*this = Of(line, i)`, field by field: a whole copy would be read
    // back from the stack before its fields' stores reached the cache.
    void Take(const ReadingLine& line, int i) {
      stamped = line.stamped;
      stamp = line.stamp;
      sinceStamp = line.sinceStamp + i;
      sampleRate = line.sampleRate;
    }
    DumpTime Time() const;
    double LocalTime() const;  // as ReadingLine::LocalTimeOf
  };

  bool Continues(const ReadingLine& line) const;
  double SamplesLate(const ReadingLine& line) const;
  bool FillersExplain(double late) const;
  bool BreaksHere(const ReadingLine& line) const;
  void FillGap(const ReadingLine& line, double late);
  void Open(const ReadingLine& line, int first);
  // Completes the segment in hand, whose last reading is at `end`.
  void Close(const ReadingPlace& end);
  int64_t Room() const;
  double* MoreSamples(size_t count);
  std::string SuspectReasons() const;

  WaveSettings settings_;
  Sink sink_;
  SegmentAnalyser analyser_;

  bool open_ = false;
  WaveSegment segment_;  // the one in hand, without its analysis
  // The segment's readings, kept from segment to segment and grown by
  // doubling: a line's are copied without vector::insert's memmove.
  std::unique_ptr<double[]> samples_;
  size_t sampleCount_ = 0;
  size_t sampleRoom_ = 0;
  int64_t limit_ = 0;  // readings at which the segment is cut for length
  double temperatureSum_ = 0.0;
  int64_t temperatures_ = 0;
  int64_t nextIndex_ = 0;
  ReadingPlace lastTimed_;  // of the last reading at a sample rate above 0
  ReadingPlace last_;       // of the last reading
  double lastValue_ = 0.0;
  int64_t fillersSince_ = 0;  // fillers since the last reading
};

// Every segment of a conversion with its spectrum, for a program that shows
// them all (a table, a chart of Hm0 and Tp, a segment's spectrum): set it as
// the conversion's reading listener, then call Finish.
class WaveCollector final : public ReadingListener {
 public:
  explicit WaveCollector(const WaveSettings& settings);

  void OnReadings(const ReadingLine& line) override { segmenter_.OnReadings(line); }
  void OnFillers(int64_t line, int64_t byte, int count) override {
    segmenter_.OnFillers(line, byte, count);
  }
  // Hands over the last segment. Call once, after the conversion.
  void Finish() { segmenter_.Finish(); }

  const std::vector<WaveSegment>& segments() const { return segments_; }

 private:
  std::vector<WaveSegment> segments_;
  WaveSegmenter segmenter_;
};
