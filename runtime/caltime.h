// Calendar time of the run-time layer: absolute times and intervals, with
// conversion to and from local calendar time in a given zone.
#pragma once

#include <cstdint>

#include "runtime/time_zone.h"

struct AbsoluteTime {
  int64_t seconds = 0;  // seconds since 1970-01-01T00:00:00 UTC
  double fraction = 0.0;
};

struct TimeInterval {
  int64_t seconds = 0;
  double fraction = 0.0;
};

// Local calendar date and time, in the zone of `zone`, to an absolute time.
// Returns 0 on success and
// a negative number when the values do not name a real calendar time (month
// outside 1..12, day past the month's end, hour above 23, minute or second
// above 59, year outside 1..9999); `out` is left unchanged then. A local time
// that falls into a daylight-saving gap is moved forward as mktime does; one
// in a repeated hour is read as the first, summer-time one.
int AbsoluteTimeFromLocalCalendar(ZoneOffsets* zone, int year, int month, int day, int hour,
                                  int minute, int second, double fraction, AbsoluteTime* out);

// Absolute time to local calendar fields in the zone of `zone`. `weekday`
// may be null. Returns 0 on success, negative when the time cannot be
// broken down (fields untouched).
int AbsoluteTimeToLocalCalendar(ZoneOffsets* zone, AbsoluteTime time, int* year, int* month,
                                int* day, int* hour, int* minute, int* second, double* fraction,
                                int* weekday);

int TimeIntervalFromSeconds(double seconds, TimeInterval* out);
int AddToAbsoluteTime(AbsoluteTime time, TimeInterval interval, AbsoluteTime* out);

// The civil date of a count of days since 1970-01-01, in the proleptic
// Gregorian calendar (H. Hinnant's days-to-civil).
void CivilFromDays(int64_t days, int64_t* year, int* month, int* day);

// value / by rounded towards minus infinity.
int64_t FloorDivide(int64_t value, int64_t by);
