#include "science/time_base.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "runtime/caltime.h"
#include "runtime/fast_numbers.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMillisecondsPerSecond = 1000;

std::string FormatSeconds(double seconds) {
  char text[64] = "0";
  double back = 0.0;
  // The shortest text that reads back as the same value.
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, seconds);
    if (std::sscanf(text, "%lf", &back) == 1 && back == seconds)
      break;
  }
  return text;
}

constexpr int kLargestFourDigitYear = 9999;

}  // namespace

double ClockCorrection::ErrorAt(double t, double first, double last) const {
  if (!driftGiven)
    return offset;
  const double span = last - first;
  if (!(span > 0.0))
    return offset;
  return offset + (drift - offset) * (t - first) / span;
}

std::string ClockCorrection::Describe() const {
  if (!Any())
    return "none";
  std::string text = "clock offset " + FormatSeconds(offset) + " s at the first reading";
  if (!driftGiven)
    return text + ", subtracted from every time";
  return text + ", " + FormatSeconds(drift) +
         " s at the last, subtracted linearly over elapsed time";
}

bool UtcStamps::ToUtc(LocalSeconds stamp, double* utc) {
  if (known_ && stamp == lastStamp_) {
    *utc = lastUtc_;
    return true;
  }
  const CivilTime civil = CivilFromSeconds(stamp);
  if (civil.year < 1 || civil.year > 9999)
    return false;
  int64_t seconds = stamp - spanOffset_;
  if (!spanKnown_ || stamp < spanFrom_ || stamp > spanTo_) {
    AbsoluteTime absolute;
    if (AbsoluteTimeFromLocalCalendar(static_cast<int>(civil.year), civil.month, civil.day,
                                      civil.hour, civil.minute, civil.second, 0.0, &absolute) != 0)
      return false;
    seconds = absolute.seconds;
    FindOffsetSpan(stamp, seconds);
  }
  known_ = true;
  lastStamp_ = stamp;
  lastUtc_ = static_cast<double>(seconds);
  *utc = lastUtc_;
  return true;
}

// The local stamps within kSpanReach of `stamp` (whose UTC time mktime gave)
// share its offset when the zone has that offset at twice the reach either
// side of it: no zone changes its offset and back within that. Each such
// stamp then names one instant, one whose offset is that, since no zone's
// offset leaps by more than the reach.
void UtcStamps::FindOffsetSpan(LocalSeconds stamp, int64_t utc) {
  constexpr int64_t kSpanReach = 3 * 3600;
  const int64_t offset = stamp - utc;
  spanKnown_ = false;
  for (const int64_t at : {utc - 2 * kSpanReach, utc, utc + 2 * kSpanReach}) {
    const std::time_t time = static_cast<std::time_t>(at);
    std::tm fields{};
    if (localtime_r(&time, &fields) == nullptr || fields.tm_gmtoff != offset)
      return;
  }
  spanKnown_ = true;
  spanFrom_ = stamp - kSpanReach;
  spanTo_ = stamp + kSpanReach;
  spanOffset_ = offset;
}

CivilTime CivilFromSeconds(int64_t seconds) {
  CivilTime civil;
  const int64_t days = FloorDivide(seconds, kSecondsPerDay);
  const int64_t ofDay = seconds - days * kSecondsPerDay;
  CivilFromDays(days, &civil.year, &civil.month, &civil.day);
  civil.hour = static_cast<int>(ofDay / 3600);
  civil.minute = static_cast<int>(ofDay / 60 % 60);
  civil.second = static_cast<int>(ofDay % 60);
  return civil;
}

std::string IsoUtcMilliseconds(double utc) {
  char text[kIsoUtcMillisecondsSize];
  return std::string(text, FormatIsoUtcMilliseconds(utc, text));
}

size_t FormatIsoUtcMilliseconds(double utc, char* out) {
  const int64_t milliseconds = std::llround(utc * static_cast<double>(kMillisecondsPerSecond));
  const int64_t seconds = FloorDivide(milliseconds, kMillisecondsPerSecond);
  const CivilTime civil = CivilFromSeconds(seconds);
  const int fraction = static_cast<int>(milliseconds - seconds * kMillisecondsPerSecond);
  if (civil.year < 0 || civil.year > kLargestFourDigitYear) {
    const int length =
        std::snprintf(out, kIsoUtcMillisecondsSize, "%04lld-%02d-%02dT%02d:%02d:%02d.%03dZ",
                      static_cast<long long>(civil.year), civil.month, civil.day, civil.hour,
                      civil.minute, civil.second, fraction);
    return std::min(static_cast<size_t>(std::max(length, 0)), kIsoUtcMillisecondsSize - 1);
  }
  char* p = out;
  p = PutFixedDigits(p, static_cast<uint64_t>(civil.year), 4);
  *p++ = '-';
  p = PutFixedDigits(p, static_cast<uint64_t>(civil.month), 2);
  *p++ = '-';
  p = PutFixedDigits(p, static_cast<uint64_t>(civil.day), 2);
  *p++ = 'T';
  p = PutFixedDigits(p, static_cast<uint64_t>(civil.hour), 2);
  *p++ = ':';
  p = PutFixedDigits(p, static_cast<uint64_t>(civil.minute), 2);
  *p++ = ':';
  p = PutFixedDigits(p, static_cast<uint64_t>(civil.second), 2);
  *p++ = '.';
  p = PutFixedDigits(p, static_cast<uint64_t>(fraction), 3);
  *p++ = 'Z';
  return static_cast<size_t>(p - out);
}

std::string IsoUtcSeconds(double utc) {
  const CivilTime civil = CivilFromSeconds(static_cast<int64_t>(std::floor(utc)));
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02dZ",
                static_cast<long long>(civil.year), civil.month, civil.day, civil.hour,
                civil.minute, civil.second);
  return text;
}

std::string IsoDurationSeconds(double seconds) {
  return "PT" + FormatSeconds(seconds) + "S";
}

bool StampOfLine(const ReadingLine& line, UtcStamps* stamps, double* stampUtc) {
  return line.stamped && line.sampleRate >= 1 && stamps->ToUtc(line.stamp, stampUtc);
}
