#include "waves/segmenter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "convert/copy_few.h"
#include "waves/segment_quality.h"

namespace {

// Times are sums of a whole stamp and a fraction: allow their rounding.
constexpr double kSlack = 1e-6;  // sample intervals

bool Timed(const ReadingLine& line) {
  return line.stamped && line.sampleRate > 0;
}

// How many of readings [first, end) of the line are plain numbers under a
// stamp that did not go back.
int64_t GoodAmong(const ReadingLine& line, int first, int end) {
  if (line.stampWentBack)
    return 0;
  if (line.notes == nullptr)
    return end - first;
  return std::count(line.notes + first, line.notes + end, ReadingNote::kPlain);
}

void AddReason(std::string* reasons, const char* reason) {
  if (!reasons->empty())
    *reasons += ';';
  *reasons += reason;
}

}  // namespace

DumpTime WaveSegmenter::ReadingPlace::Time() const {
  DumpTime time;
  time.known = stamped && sampleRate > 0;
  time.stamp = stamp;
  if (sampleRate > 0)
    time.elapsed = static_cast<double>(sinceStamp) / sampleRate;
  return time;
}

double WaveSegmenter::ReadingPlace::LocalTime() const {
  const double stampSeconds = static_cast<double>(stamp);
  if (sampleRate <= 0)
    return stampSeconds;
  return stampSeconds + static_cast<double>(sinceStamp) / sampleRate;
}

double WaveSegment::GoodShare() const {
  const int64_t total = readings + missing;
  return total > 0 ? static_cast<double>(good) / static_cast<double>(total) : 0.0;
}

WaveSegmenter::WaveSegmenter(const WaveSettings& settings, Sink sink)
    : settings_(settings), sink_(std::move(sink)), analyser_(settings) {}

// How many sample intervals the line's first reading comes after the one
// that would have followed the last reading (negative: before it).
double WaveSegmenter::SamplesLate(const ReadingLine& line) const {
  return (line.LocalTimeOf(0) - lastTimed_.LocalTime()) * line.sampleRate - 1.0;
}

// The line goes on from the last one's readings under the same stamp and
// rate: no break and no gap, which the times would show only after some
// arithmetic per line. (A stamp, also one naming the same time, starts its
// readings again from 0; so does a gauge burst.)
bool WaveSegmenter::Continues(const ReadingLine& line) const {
  return open_ && line.stamped == last_.stamped && line.stamp == last_.stamp &&
         line.sinceStamp == last_.sinceStamp + 1 && line.sampleRate == last_.sampleRate;
}

// A line that broke off left fillers, and the time went on by about as many
// readings: a gap inside the segment.
bool WaveSegmenter::FillersExplain(double late) const {
  return fillersSince_ > 0 && late > 0.0 && late <= static_cast<double>(fillersSince_) + 1.0;
}

bool WaveSegmenter::BreaksHere(const ReadingLine& line) const {
  if (line.sampleRate != segment_.sampleRate || line.burst != segment_.burst ||
      Timed(line) != segment_.start.known) {
    return true;
  }
  if (!Timed(line))
    return false;
  const double late = SamplesLate(line);
  return std::abs(late) > 1.0 + kSlack && !FillersExplain(late);
}

// The readings a gap lost, drawn straight between its two neighbours so that
// the series keeps its spacing; they are counted missing, not read.
void WaveSegmenter::FillGap(const ReadingLine& line, double late) {
  const int64_t lost = std::llround(late);
  const double step = (line.values[0] - lastValue_) / static_cast<double>(lost + 1);
  double* filled = MoreSamples(static_cast<size_t>(lost));
  for (int64_t j = 1; j <= lost; ++j)
    filled[j - 1] = lastValue_ + step * static_cast<double>(j);
}

// Readings the segment in hand still takes before it is cut for length.
int64_t WaveSegmenter::Room() const {
  return limit_ - static_cast<int64_t>(sampleCount_);
}

// Where `count` more readings of the segment go.
double* WaveSegmenter::MoreSamples(size_t count) {
  if (sampleCount_ + count > sampleRoom_) {
    const size_t room = std::max(2 * sampleRoom_, sampleCount_ + count);
    std::unique_ptr<double[]> larger(new double[room]);
    std::copy_n(samples_.get(), sampleCount_, larger.get());
    samples_ = std::move(larger);
    sampleRoom_ = room;
  }
  double* place = samples_.get() + sampleCount_;
  sampleCount_ += count;
  return place;
}

void WaveSegmenter::Open(const ReadingLine& line, int first) {
  segment_ = WaveSegment{};
  segment_.index = nextIndex_++;
  segment_.burst = line.burst;
  segment_.sampleRate = line.sampleRate;
  segment_.start = ReadingPlace::Of(line, first).Time();
  limit_ = kLongestSegmentReadings;
  if (line.burst < 0 && line.sampleRate > 0) {
    const int64_t length = std::llround(settings_.segmentSeconds * line.sampleRate);
    limit_ = std::clamp<int64_t>(length, 1, kLongestSegmentReadings);
  }
  sampleCount_ = 0;
  temperatureSum_ = 0.0;
  temperatures_ = 0;
  open_ = true;
}

std::string WaveSegmenter::SuspectReasons() const {
  std::string reasons;
  if (segment_.readings < kMinimumSegmentReadings)
    AddReason(&reasons, "short");
  if (segment_.GoodShare() < kMinimumGoodShare)
    AddReason(&reasons, "few-good-readings");
  if (!segment_.start.known && segment_.sampleRate > 0)
    AddReason(&reasons, "no-time");
  if (segment_.sampleRate <= 0)
    AddReason(&reasons, "no-rate");
  if (settings_.pressure && !(segment_.analysis.mean > 0.0))
    AddReason(&reasons, "no-depth");
  return reasons;
}

void WaveSegmenter::Close(const ReadingPlace& end) {
  open_ = false;
  segment_.end = end.Time();
  segment_.temperature = temperatures_ > 0 ? temperatureSum_ / static_cast<double>(temperatures_)
                                           : std::numeric_limits<double>::quiet_NaN();
  segment_.analysis =
      analyser_.Analyse(std::span(samples_.get(), sampleCount_), segment_.sampleRate);
  segment_.reason = SuspectReasons();
  FlagSegment(settings_, &segment_);
  sampleCount_ = 0;  // the room stays for the next segment
  sink_(std::move(segment_));
}

void WaveSegmenter::OnReadings(const ReadingLine& line) {
  if (line.count <= 0)
    return;
  if (!Continues(line)) {
    if (open_ && BreaksHere(line))
      Close(last_);
    if (open_ && Timed(line)) {
      const double late = SamplesLate(line);
      if (late > 1.0 + kSlack && FillersExplain(late))
        FillGap(line, late);
    }
  }
  fillersSince_ = 0;
  int i = 0;
  while (i < line.count) {
    if (open_ && Room() <= 0) {
      Close(i > 0 ? ReadingPlace::Of(line, i - 1) : last_);
    }
    if (!open_)
      Open(line, i);
    // The line's extra value counts once in each segment its readings reach.
    if (line.hasTemperature) {
      temperatureSum_ += line.temperature;
      ++temperatures_;
    }
    const int first = i;
    const int end = static_cast<int>(std::min<int64_t>(line.count, i + Room()));
    CopyFew(line.values + first, static_cast<size_t>(end - first),
            MoreSamples(static_cast<size_t>(end - first)));
    segment_.good += GoodAmong(line, first, end);
    segment_.readings += end - first;
    i = end;
  }
  last_.Take(line, line.count - 1);
  if (line.sampleRate > 0)
    lastTimed_.Take(line, line.count - 1);
  lastValue_ = line.values[line.count - 1];
}

void WaveSegmenter::OnFillers(int64_t /*line*/, int64_t /*byte*/, int count) {
  if (count <= 0)
    return;
  fillersSince_ += count;
  if (open_)
    segment_.missing += count;
}

void WaveSegmenter::Finish() {
  if (open_)
    Close(last_);
}

WaveCollector::WaveCollector(const WaveSettings& settings)
    : segmenter_(settings,
                 [this](WaveSegment&& segment) { segments_.push_back(std::move(segment)); }) {}
