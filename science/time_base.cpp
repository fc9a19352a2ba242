#include "science/time_base.h"

#include <cmath>
#include <cstdio>

#include "runtime/caltime.h"

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
  AbsoluteTime absolute;
  if (AbsoluteTimeFromLocalCalendar(static_cast<int>(civil.year), civil.month, civil.day,
                                    civil.hour, civil.minute, civil.second, 0.0, &absolute) != 0)
    return false;
  known_ = true;
  lastStamp_ = stamp;
  lastUtc_ = static_cast<double>(absolute.seconds);
  *utc = lastUtc_;
  return true;
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
  const int64_t milliseconds = std::llround(utc * static_cast<double>(kMillisecondsPerSecond));
  const int64_t seconds = FloorDivide(milliseconds, kMillisecondsPerSecond);
  const CivilTime civil = CivilFromSeconds(seconds);
  char text[48];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d.%03dZ",
                static_cast<long long>(civil.year), civil.month, civil.day, civil.hour,
                civil.minute, civil.second,
                static_cast<int>(milliseconds - seconds * kMillisecondsPerSecond));
  return text;
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
