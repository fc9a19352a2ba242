#include "science/time_base.h"

#include <cmath>
#include <cstdio>

#include "runtime/caltime.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMillisecondsPerSecond = 1000;

// Days since 1970-01-01 to a civil date (H. Hinnant's algorithm).
void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthPrime = (5 * dayOfYear + 2) / 153;
  *day = static_cast<int>(dayOfYear - (153 * monthPrime + 2) / 5 + 1);
  *month = static_cast<int>(monthPrime < 10 ? monthPrime + 3 : monthPrime - 9);
  *year = yearOfEra + era * 400 + (*month <= 2 ? 1 : 0);
}

int64_t FloorDivide(int64_t value, int64_t by) {
  const int64_t quotient = value / by;
  return (value % by != 0 && (value < 0) != (by < 0)) ? quotient - 1 : quotient;
}

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
