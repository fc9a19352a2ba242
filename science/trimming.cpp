#include "science/trimming.h"

#include <cctype>
#include <charconv>
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

namespace {

// "2", "0.5": the shortest text that reads back as `value`.
std::string ShortNumber(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

}  // namespace

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
  if (settings.trimDepth)
    text += std::string(settings.deployed || settings.recovered ? "," : "") + " " +
            std::to_string(counts.shallowBefore) + " readings shallower than " +
            ShortNumber(*settings.trimDepth) + " m at the start and " +
            std::to_string(counts.shallowAfter) + " at the end";
  return text + " from the science outputs; the legacy CSV keeps them";
}

std::vector<TrimmedEntry> TrimmedEntries(bool deployed, bool recovered,
                                         std::optional<double> trimDepth,
                                         const TrimmedCounts& counts) {
  std::vector<TrimmedEntry> entries;
  if (deployed)
    entries.push_back({"before_deployment", counts.before});
  if (recovered)
    entries.push_back({"after_recovery", counts.after});
  if (trimDepth) {
    entries.push_back({"trim_depth", *trimDepth});
    entries.push_back({"shallower_at_start", counts.shallowBefore});
    entries.push_back({"shallower_at_end", counts.shallowAfter});
  }
  return entries;
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

DepthTrim::DepthTrim(double trimDepth, const PressureDepth& depth, ReadingListener* downstream)
    : trimDepth_(trimDepth), depth_(depth), downstream_(downstream) {}

void DepthTrim::OnReadings(const ReadingLine& line) {
  int from = 0;
  if (!inWater_) {
    while (from < line.count && !Deep(line.values[from]))
      ++from;
    counts_.shallowBefore += from;
    inWater_ = from < line.count;
    if (!inWater_) {
      lastWent_ = Went::kDropped;
      return;
    }
  }
  int lastDeep = line.count - 1;
  while (lastDeep >= from && !Deep(line.values[lastDeep]))
    --lastDeep;
  if (lastDeep >= from) {
    Release();
    Pass(line, from, lastDeep + 1);
    from = lastDeep + 1;
    lastWent_ = Went::kPassed;
  }
  if (from < line.count) {
    Hold(line, from, line.count);
    lastWent_ = Went::kHeld;
  }
}

// Fillers come after their line's readings: they go where its last went.
void DepthTrim::OnFillers(int64_t line, int64_t byte, int count) {
  if (lastWent_ == Went::kPassed) {
    downstream_->OnFillers(line, byte, count);
  } else if (lastWent_ == Went::kHeld) {
    Held fillers;
    fillers.line.line = line;
    fillers.line.byte = byte;
    fillers.fillers = count;
    held_.push_back(fillers);
  }
}

void DepthTrim::Finish() {
  counts_.shallowAfter += heldReadings_;
  held_.clear();
  heldValues_.clear();
  heldNotes_.clear();
  heldReadings_ = 0;
}

void DepthTrim::Pass(const ReadingLine& line, int from, int end) {
  ReadingLine kept = line;
  kept.values = line.values + from;
  kept.notes = line.notes != nullptr ? line.notes + from : nullptr;
  kept.sinceStamp = line.sinceStamp + from;
  kept.count = end - from;
  downstream_->OnReadings(kept);
}

void DepthTrim::Hold(const ReadingLine& line, int from, int end) {
  Held held;
  held.line = line;
  held.line.sinceStamp = line.sinceStamp + from;
  held.line.count = end - from;
  held.first = heldValues_.size();
  held.noted = line.notes != nullptr;
  heldValues_.insert(heldValues_.end(), line.values + from, line.values + end);
  if (held.noted)
    heldNotes_.insert(heldNotes_.end(), line.notes + from, line.notes + end);
  else
    heldNotes_.resize(heldValues_.size(), ReadingNote::kPlain);
  heldReadings_ += held.line.count;
  held_.push_back(held);
}

// A deeper reading came: what was held was a dip in the water, in order.
void DepthTrim::Release() {
  for (Held& held : held_) {
    if (held.fillers > 0) {
      downstream_->OnFillers(held.line.line, held.line.byte, held.fillers);
      continue;
    }
    held.line.values = heldValues_.data() + held.first;
    held.line.notes = held.noted ? heldNotes_.data() + held.first : nullptr;
    downstream_->OnReadings(held.line);
  }
  held_.clear();
  heldValues_.clear();
  heldNotes_.clear();
  heldReadings_ = 0;
}
