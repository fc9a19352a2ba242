#include "science/trimming.h"

#include <cctype>
#include <cstdlib>

namespace {

constexpr int kMonthsPerYear = 12;
constexpr int kLongestMonth = 31;
constexpr int kHoursPerDay = 24;
constexpr int kMinutesPerHour = 60;
constexpr int kSecondsPerMinute = 60;

// The number of `digits` digits at `at`, or -1.
int DigitsAt(const std::string& text, size_t at, size_t digits) {
  if (at + digits > text.size())
    return -1;
  int value = 0;
  for (size_t i = at; i < at + digits; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i])))
      return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool CharAt(const std::string& text, size_t at, char wanted) {
  return at < text.size() && text[at] == wanted;
}

}  // namespace

std::optional<double> ParseIsoUtc(const std::string& text) {
  // YYYY-MM-DDTHH:MM:SS
  const int year = DigitsAt(text, 0, 4);
  const int month = DigitsAt(text, 5, 2);
  const int day = DigitsAt(text, 8, 2);
  const int hour = DigitsAt(text, 11, 2);
  const int minute = DigitsAt(text, 14, 2);
  const int second = DigitsAt(text, 17, 2);
  if (year < 0 || month < 1 || month > kMonthsPerYear || day < 1 || day > kLongestMonth ||
      hour < 0 || hour >= kHoursPerDay || minute < 0 || minute >= kMinutesPerHour || second < 0 ||
      second >= kSecondsPerMinute || !CharAt(text, 4, '-') || !CharAt(text, 7, '-') ||
      !CharAt(text, 10, 'T') || !CharAt(text, 13, ':') || !CharAt(text, 16, ':'))
    return std::nullopt;
  size_t at = 19;
  double fraction = 0.0;
  if (CharAt(text, at, '.')) {
    double scale = 0.1;
    ++at;
    const size_t digits = at;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
      fraction += (text[at] - '0') * scale;
      scale /= 10.0;
    }
    if (at == digits)
      return std::nullopt;
  }
  const std::string zone = text.substr(at);
  if (zone != "Z" && zone != "+00:00")
    return std::nullopt;
  const LocalSeconds seconds = LocalSecondsOf(year, month, day, hour, minute, second);
  // A day past its month's end (April 31) is refused, not carried over.
  if (LocalSecondsOf(year, month + 1, 1, 0, 0, 0) <= LocalSecondsOf(year, month, day, 0, 0, 0))
    return std::nullopt;
  return static_cast<double>(seconds) + fraction;
}

std::string TrimmedText(const ScienceSettings& settings, const TrimmedCounts& counts) {
  std::string text = "left out";
  if (settings.deployed)
    text += " " + std::to_string(counts.before) + " readings before the deployment (" +
            IsoUtcMilliseconds(*settings.deployed) + ")";
  if (settings.deployed && settings.recovered)
    text += " and";
  if (settings.recovered)
    text += " " + std::to_string(counts.after) + " after its recovery (" +
            IsoUtcMilliseconds(*settings.recovered) + ")";
  return text + " from the science outputs; the legacy CSV keeps them";
}

DeploymentTrim::DeploymentTrim(const ScienceSettings& settings, ReadingListener* downstream)
    : axis_(settings.zone, settings.clock),
      deployed_(settings.deployed),
      recovered_(settings.recovered),
      downstream_(downstream) {}

bool DeploymentTrim::Inside(double time) const {
  return !(deployed_ && time < *deployed_) && !(recovered_ && time > *recovered_);
}

// A line's times rise: the readings inside are one run of it.
void DeploymentTrim::OnReadings(const ReadingLine& line) {
  double stampUtc = 0.0;
  if (!axis_.LineStampUtc(line, &stampUtc)) {
    // No time: the outputs leave them out and count them as such.
    downstream_->OnReadings(line);
    lastLinePassed_ = true;
    return;
  }
  int first = 0;
  while (first < line.count && !Inside(ReadingTime(line, stampUtc, first))) {
    (deployed_ && ReadingTime(line, stampUtc, first) < *deployed_ ? counts_.before
                                                                  : counts_.after) += 1;
    ++first;
  }
  int end = first;
  while (end < line.count && Inside(ReadingTime(line, stampUtc, end)))
    ++end;
  counts_.after += line.count - end;
  // Fillers come after the line's last reading: they go where it went.
  lastLinePassed_ = end > first && end == line.count;
  if (end == first)
    return;
  ReadingLine kept = line;
  kept.values = line.values + first;
  kept.notes = line.notes != nullptr ? line.notes + first : nullptr;
  kept.sinceStamp = line.sinceStamp + first;
  kept.count = end - first;
  downstream_->OnReadings(kept);
}

void DeploymentTrim::OnFillers(int64_t line, int64_t byte, int count) {
  if (lastLinePassed_)
    downstream_->OnFillers(line, byte, count);
}
