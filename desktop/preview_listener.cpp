#include "desktop/preview_listener.h"

#include <cmath>
#include <utility>

#include "desktop/chart_ticks.h"

namespace {

// The buckets start 1/64 s wide and widen as the readings reach further.
constexpr int kBuckets = 1 << 16;
constexpr double kFirstBucketWidth = 1.0 / 64.0;

std::string StampLabel(LocalSeconds stamp) {
  std::string text = TimeReadout(static_cast<double>(stamp));
  const size_t millis = text.rfind('.');
  return millis == std::string::npos ? text : text.substr(0, millis);
}

}  // namespace

PreviewListener::PreviewListener(bool gauge, const VariableTests& tests)
    : flagger_(tests, [this](const FlaggedReading& reading) { KeepFlagged(reading); }) {
  series_.title = gauge ? "Gauge values" : "Logger readings";
  series_.xTitle = "time on the dump's clock";
  // Logger readings are metres on the staff scale; a gauge dump does not say.
  series_.yTitle = gauge ? "value (unit as recorded)" : "reading (m)";
  series_.markName = "date stamps";
  series_.envelope = MinMaxEnvelope(kBuckets, kFirstBucketWidth);
  series_.suspect = MinMaxEnvelope(kBuckets, kFirstBucketWidth);
  series_.bad = MinMaxEnvelope(kBuckets, kFirstBucketWidth);
}

void PreviewListener::KeepFlagged(const FlaggedReading& reading) {
  if (reading.aggregate == kFlagSuspect)
    series_.suspect.Add(reading.time, static_cast<float>(reading.value));
  else if (reading.aggregate == kFlagBad)
    series_.bad.Add(reading.time, static_cast<float>(reading.value));
}

void PreviewListener::OnReadings(const ReadingLine& line) {
  if (!line.stamped) {
    series_.unplaced += line.count;
    return;
  }
  if (line.sampleRate > 0)
    series_.pointSpacing = 1.0 / line.sampleRate;
  if (!haveStamp_ || line.stamp != lastStamp_ || line.burst != lastBurst_)
    MarkStamp(line);
  for (int i = 0; i < line.count; ++i)
    series_.envelope.Add(line.LocalTimeOf(i), static_cast<float>(line.values[i]));
  flagger_.OnReadings(line);
}

void PreviewListener::OnFillers(int64_t /*line*/, int64_t /*byte*/, int count) {
  series_.fillers += count;
}

void PreviewListener::MarkStamp(const ReadingLine& line) {
  haveStamp_ = true;
  lastStamp_ = line.stamp;
  lastBurst_ = line.burst;
  const int64_t index = series_.markCount++;
  if (index % markStride_ != 0)
    return;
  KeepMark({line.LocalTimeOf(0), static_cast<float>(line.values[0]), StampLabel(line.stamp)});
}

// Past kMarksKept every other kept mark goes and the stride doubles, so
// the marks kept stay spread over the whole conversion.
void PreviewListener::KeepMark(PreviewMark mark) {
  if (series_.marks.size() >= kMarksKept) {
    size_t kept = 0;
    for (size_t i = 0; i < series_.marks.size(); i += 2)
      series_.marks[kept++] = std::move(series_.marks[i]);
    series_.marks.resize(kept);
    markStride_ *= 2;
    if ((series_.markCount - 1) % markStride_ != 0)
      return;
  }
  series_.marks.push_back(std::move(mark));
}

PreviewSeries PreviewListener::Finish() {
  flagger_.Finish();
  if (series_.envelope.Empty() && series_.error.empty()) {
    series_.error = series_.unplaced > 0 ? "The conversion gave no reading a time to draw it at."
                                         : "The conversion wrote no reading to show.";
  }
  return std::move(series_);
}
