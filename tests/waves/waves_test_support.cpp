#include "tests/waves/waves_test_support.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zorq_test {

namespace {
constexpr int kReadingsPerLine = 12;
}

std::vector<double> Sine(double amplitude, double period, int rate, size_t count) {
  std::vector<double> values(count);
  for (size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / rate;
    values[i] = amplitude * std::sin(2.0 * std::numbers::pi * t / period);
  }
  return values;
}

void Feed(ReadingListener* listener, const std::vector<double>& values, const FeedPlace& place,
          const std::vector<ReadingNote>& notes) {
  int64_t line = 2;
  for (size_t first = 0; first < values.size(); first += kReadingsPerLine) {
    ReadingLine readings;
    readings.line = line++;
    readings.values = values.data() + first;
    readings.notes = notes.empty() ? nullptr : notes.data() + first;
    readings.count = static_cast<int>(std::min<size_t>(kReadingsPerLine, values.size() - first));
    readings.stamped = place.stamped;
    readings.stamp = place.stamped ? place.stamp : 0;
    readings.sinceStamp = place.since + static_cast<int64_t>(first);
    readings.sampleRate = place.rate;
    readings.stampWentBack = place.stampWentBack;
    readings.burst = place.burst;
    readings.hasTemperature = true;
    readings.temperature = place.temperature;
    listener->OnReadings(readings);
  }
}

}  // namespace zorq_test
