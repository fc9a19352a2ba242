#include "runtime/caltime.h"

#include <cmath>
#include <limits>

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

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kSecondsPerHour = 3600;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int kThursday = 4;  // 1970-01-01's weekday, Sunday being 0
constexpr int kDaysPerWeek = 7;

// Days since 1970-01-01 of a civil date, the inverse of CivilFromDays.
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t monthFromMarch = month > 2 ? month - 3 : month + 9;
  const int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

struct LocalFields {
  int64_t year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int weekday = 0;
};

// The fields of local seconds. Records follow each other within a day: the
// date is worked out once per day and thread.
LocalFields FieldsOf(int64_t local) {
  struct Date {
    int64_t days = std::numeric_limits<int64_t>::min();
    int64_t year = 0;
    int month = 0;
    int day = 0;
  };
  thread_local Date date;
  const int64_t days = FloorDivide(local, kSecondsPerDay);
  const int64_t inDay = local - days * kSecondsPerDay;
  if (date.days != days) {
    date.days = days;
    CivilFromDays(days, &date.year, &date.month, &date.day);
  }
  LocalFields fields;
  fields.year = date.year;
  fields.month = date.month;
  fields.day = date.day;
  fields.hour = static_cast<int>(inDay / kSecondsPerHour);
  fields.minute = static_cast<int>(inDay / kSecondsPerMinute % kSecondsPerMinute);
  fields.second = static_cast<int>(inDay % kSecondsPerMinute);
  fields.weekday =
      static_cast<int>((days % kDaysPerWeek + kDaysPerWeek + kThursday) % kDaysPerWeek);
  return fields;
}

// A null `out` is a field the caller does not want.
template <typename T>
void StoreIfWanted(T* out, T value) {
  if (out != nullptr)
    *out = value;
}

}  // namespace

int AbsoluteTimeFromLocalCalendar(ZoneOffsets* zone, int year, int month, int day, int hour,
                                  int minute, int second, double fraction, AbsoluteTime* out) {
  if (zone == nullptr || out == nullptr || !IsCalendarTime(year, month, day, hour, minute, second))
    return -1;
  const int64_t local = DaysFromCivil(year, month, day) * kSecondsPerDay + hour * kSecondsPerHour +
                        minute * kSecondsPerMinute + second;
  out->seconds = zone->UtcFromLocal(local);
  out->fraction = std::isfinite(fraction) ? fraction : 0.0;
  return 0;
}

int AbsoluteTimeToLocalCalendar(ZoneOffsets* zone, AbsoluteTime time, int* year, int* month,
                                int* day, int* hour, int* minute, int* second, double* fraction,
                                int* weekday) {
  if (zone == nullptr)
    return -1;
  const LocalFields fields = FieldsOf(zone->LocalFromUtc(time.seconds));
  if (fields.year < std::numeric_limits<int>::min() ||
      fields.year > std::numeric_limits<int>::max())
    return -1;
  StoreIfWanted(year, static_cast<int>(fields.year));
  StoreIfWanted(month, fields.month);
  StoreIfWanted(day, fields.day);
  StoreIfWanted(hour, fields.hour);
  StoreIfWanted(minute, fields.minute);
  StoreIfWanted(second, fields.second);
  StoreIfWanted(fraction, time.fraction);
  StoreIfWanted(weekday, fields.weekday);
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
