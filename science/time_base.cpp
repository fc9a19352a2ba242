#include "science/time_base.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "runtime/caltime.h"
#include "runtime/fast_numbers.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMillisecondsPerSecond = 1000;

std::string FormatSeconds(double seconds) {
  char text[64] = "0";
  double back = 0.0;
  // The shortest text that reads back as the same value, without an
  // exponent where one can do without (ISO 8601 durations take none).
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, seconds);
    if (std::sscanf(text, "%lf", &back) == 1 && back == seconds &&
        std::strchr(text, 'e') == nullptr)
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

UtcStamps::UtcStamps(const Zone& zone) : offsets_(zone) {}

bool UtcStamps::ToUtc(LocalSeconds stamp, double* utc) {
  if (known_ && stamp == lastStamp_) {
    *utc = lastUtc_;
    return true;
  }
  const CivilTime civil = CivilFromSeconds(stamp);
  if (civil.year < 1 || civil.year > kLargestFourDigitYear)
    return false;
  known_ = true;
  lastStamp_ = stamp;
  const int64_t utcSeconds = offsets_.UtcFromLocal(stamp);
  lastMoved_ = offsets_.LocalFromUtc(utcSeconds) != stamp;
  lastUtc_ = static_cast<double>(utcSeconds);
  *utc = lastUtc_;
  return true;
}

int RisingTimes::LeftOut(const ReadingLine& line, double stampUtc) {
  if (line.count <= 0)
    return 0;
  int left = 0;
  if (kept_) {
    while (left < line.count && !(ReadingTime(line, stampUtc, left) > latest_))
      ++left;
  }
  if (left < line.count) {
    latest_ = ReadingTime(line, stampUtc, line.count - 1);
    kept_ = true;
  }
  return left;
}

TimeAxis::TimeAxis(const Zone& zone, const ClockCorrection& clock)
    : zone_(zone), stamps_(zone), clock_(clock) {}

bool TimeAxis::LineStampUtc(const ReadingLine& line, double* stampUtc) {
  return line.stamped && line.sampleRate >= 1 && stamps_.ToUtc(line.stamp, stampUtc);
}

double TimeAxis::InstrumentUtc(bool known, LocalSeconds stamp, double elapsed) {
  double stampUtc = 0.0;
  if (!known || !stamps_.ToUtc(stamp, &stampUtc))
    return std::numeric_limits<double>::quiet_NaN();
  return stampUtc + elapsed;
}

double TimeAxis::Corrected(double instrumentUtc) const {
  if (std::isnan(instrumentUtc))
    return instrumentUtc;
  return clock_.Corrected(instrumentUtc, first_, last_);
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
