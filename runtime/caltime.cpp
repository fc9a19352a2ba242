#include "runtime/caltime.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <string_view>

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

// localtime_r takes the C library's time-zone lock at every call, so two
// conversions on two threads would wait on each other record by record.
// Where the zone's offset from UTC is known to hold, the fields follow from
// it by arithmetic: a span starts at a time whose offset localtime_r gave and
// reaches kSpanAhead on when the offset there is the same, since no zone
// changes its offset and back within half an hour. Each thread keeps its own
// span, for the zone TZ named when it was found.
struct OffsetSpan {
  bool known = false;
  std::string zone;
  int64_t from = 0;
  int64_t to = 0;
  long offset = 0;  // seconds east of UTC
};
constexpr int64_t kSpanAhead = 1800;
thread_local OffsetSpan tSpan;

bool LocalFields(int64_t seconds, std::tm* fields) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  return localtime_r(&time, fields) != nullptr;
}

// getenv("TZ"), without its walk through the whole environment at every
// record: the entry found is kept with its place, and sought again only
// when the environment no longer holds that entry there. setenv and
// unsetenv replace, move or append entries; with no TZ, the list's end is
// kept and its last entry, which an append after a removal replaces.
const char* ZoneVariable() {
  struct Seen {
    char** list = nullptr;
    size_t at = 0;  // TZ's place, or the list's length when there is none
    const char* entry = nullptr;
    const char* last = nullptr;  // with no TZ: the list's last entry
  };
  thread_local Seen seen;
  if (environ != nullptr && environ == seen.list && environ[seen.at] == seen.entry &&
      (seen.entry != nullptr || seen.at == 0 || environ[seen.at - 1] == seen.last))
    return seen.entry != nullptr ? seen.entry + 3 : nullptr;
  seen = Seen{environ, 0, nullptr, nullptr};
  if (environ == nullptr)
    return nullptr;
  for (; environ[seen.at] != nullptr; ++seen.at) {
    if (std::strncmp(environ[seen.at], "TZ=", 3) == 0) {
      seen.entry = environ[seen.at];
      return seen.entry + 3;
    }
  }
  seen.last = seen.at > 0 ? environ[seen.at - 1] : nullptr;
  return nullptr;
}

// The span of `seconds`, found afresh when it is not the one kept. False
// when the offset there cannot be told.
bool SpanOf(int64_t seconds, const OffsetSpan** span) {
  const char* zone = ZoneVariable();
  const std::string_view zoneNow = zone != nullptr ? zone : "";
  OffsetSpan& kept = tSpan;
  if (kept.known && kept.zone == zoneNow && seconds >= kept.from && seconds <= kept.to) {
    *span = &kept;
    return true;
  }
  std::tm here{};
  std::tm ahead{};
  kept.known = false;
  if (!LocalFields(seconds, &here) || !LocalFields(seconds + kSpanAhead, &ahead) ||
      here.tm_gmtoff != ahead.tm_gmtoff)
    return false;
  kept = OffsetSpan{true, std::string(zoneNow), seconds, seconds + kSpanAhead, here.tm_gmtoff};
  *span = &kept;
  return true;
}

// The local fields of `seconds` from the offset of the span it lies in, or
// from localtime_r near a change of offset.
bool BrokenDown(int64_t seconds, std::tm* fields) {
  const OffsetSpan* span = nullptr;
  if (!SpanOf(seconds, &span))
    return LocalFields(seconds, fields);
  constexpr int64_t kDay = 86400;
  const int64_t local = seconds + span->offset;
  const int64_t days = FloorDivide(local, kDay);
  const int64_t inDay = local - days * kDay;
  // Records follow each other within a day: its date is worked out once.
  struct Date {
    int64_t days = std::numeric_limits<int64_t>::min();
    int64_t year = 0;
    int month = 0;
    int day = 0;
  };
  thread_local Date date;
  if (date.days != days) {
    date.days = days;
    CivilFromDays(days, &date.year, &date.month, &date.day);
  }
  fields->tm_year = static_cast<int>(date.year - 1900);
  fields->tm_mon = date.month - 1;
  fields->tm_mday = date.day;
  fields->tm_hour = static_cast<int>(inDay / 3600);
  fields->tm_min = static_cast<int>(inDay / 60 % 60);
  fields->tm_sec = static_cast<int>(inDay % 60);
  fields->tm_wday = static_cast<int>((days % 7 + 11) % 7);  // 1970-01-01 was a Thursday
  return true;
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
  std::tm fields{};
  if (!BrokenDown(time.seconds, &fields))
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

void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // from March
  *day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  *month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  *year = yearOfEra + era * 400 + (*month <= 2 ? 1 : 0);
}

int64_t FloorDivide(int64_t value, int64_t by) {
  const int64_t quotient = value / by;
  return (value % by != 0 && (value < 0) != (by < 0)) ? quotient - 1 : quotient;
}
