#include "runtime/caltime.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year))
    return 29;
  return kDays[month - 1];
}

bool IsCalendarTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1 || year > 9999 || month < 1 || month > 12)
    return false;
  if (day < 1 || day > DaysInMonth(year, month))
    return false;
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

// A null `out` is a field the caller does not want.
template <typename T>
void StoreIfWanted(T* out, T value) {
  if (out != nullptr)
    *out = value;
}

}  // namespace

int AbsoluteTimeFromLocalCalendar(int year, int month, int day, int hour, int minute, int second,
                                  double fraction, AbsoluteTime* out) {
  if (out == nullptr || !IsCalendarTime(year, month, day, hour, minute, second))
    return -1;
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  fields.tm_isdst = -1;  // let the time zone rules decide
  errno = 0;
  const std::time_t seconds = std::mktime(&fields);
  if (seconds == static_cast<std::time_t>(-1) && errno != 0)
    return -1;
  out->seconds = static_cast<int64_t>(seconds);
  out->fraction = std::isfinite(fraction) ? fraction : 0.0;
  return 0;
}

int AbsoluteTimeToLocalCalendar(AbsoluteTime time, int* year, int* month, int* day, int* hour,
                                int* minute, int* second, double* fraction, int* weekday) {
  const std::time_t seconds = static_cast<std::time_t>(time.seconds);
  std::tm fields{};
  if (localtime_r(&seconds, &fields) == nullptr)
    return -1;
  StoreIfWanted(year, fields.tm_year + 1900);
  StoreIfWanted(month, fields.tm_mon + 1);
  StoreIfWanted(day, fields.tm_mday);
  StoreIfWanted(hour, fields.tm_hour);
  StoreIfWanted(minute, fields.tm_min);
  StoreIfWanted(second, fields.tm_sec);
  StoreIfWanted(fraction, time.fraction);
  StoreIfWanted(weekday, fields.tm_wday);
  return 0;
}

int TimeIntervalFromSeconds(double seconds, TimeInterval* out) {
  if (out == nullptr || !std::isfinite(seconds) || std::fabs(seconds) > 9.0e15)
    return -1;
  const double whole = std::floor(seconds);
  out->seconds = static_cast<int64_t>(whole);
  out->fraction = seconds - whole;
  return 0;
}

int AddToAbsoluteTime(AbsoluteTime time, TimeInterval interval, AbsoluteTime* out) {
  if (out == nullptr)
    return -1;
  int64_t seconds = time.seconds + interval.seconds;
  double fraction = time.fraction + interval.fraction;
  if (fraction >= 1.0) {
    fraction -= 1.0;
    ++seconds;
  }
  out->seconds = seconds;
  out->fraction = fraction;
  return 0;
}

void PinLocalTimeZone() {
  if (std::getenv("TZ") == nullptr) {
    setenv("TZ", ":/etc/localtime", 0);
    tzset();
  }
}
