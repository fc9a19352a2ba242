// The time base of the science outputs: a reading's instant in UTC, from
// the date stamp in force (the dump's wall clock, read in the process's
// time zone) plus the readings since that stamp over the sample rate, then
// corrected for the instrument clock's offset and drift.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/readings.h"

// How far the instrument clock was from true time. Both are "instrument
// minus true" in seconds: `offset` at the first reading, `drift` at the
// last. Between them the error grows linearly with elapsed time, so gaps
// between bursts do not bend it. Without a drift the offset holds
// throughout.
struct ClockCorrection {
  double offset = 0.0;
  bool driftGiven = false;
  double drift = 0.0;

  bool Any() const { return offset != 0.0 || (driftGiven && drift != 0.0); }
  // The instrument's error at instrument time `t`, for a series whose first
  // and last readings were at `first` and `last` (instrument times).
  double ErrorAt(double t, double first, double last) const;
  double Corrected(double t, double first, double last) const {
    return t - ErrorAt(t, first, last);
  }
  // "none", or for example "clock offset 2 s at the first reading, -3.5 s
  // at the last, subtracted linearly over elapsed time".
  std::string Describe() const;
};

// Local wall-clock stamps to UTC, in the zone the process runs in (the
// command line's --tz). Remembers the last stamp: a dump holds many
// readings per stamp. Remembers too a span of local time over which the
// zone's offset holds, so that stamps near each other take the offset by
// arithmetic: the C library reads the zone afresh at every mktime.
class UtcStamps {
 public:
  // False when the stamp names no calendar time in 0001..9999.
  bool ToUtc(LocalSeconds stamp, double* utc);

 private:
  void FindOffsetSpan(LocalSeconds stamp, int64_t utc);

  bool known_ = false;
  LocalSeconds lastStamp_ = 0;
  double lastUtc_ = 0.0;
  bool spanKnown_ = false;
  LocalSeconds spanFrom_ = 0;
  LocalSeconds spanTo_ = 0;
  int64_t spanOffset_ = 0;  // local minus UTC, in seconds
};

// The calendar fields of seconds counted from 1970-01-01T00:00:00 on a
// calendar with no zone (proleptic Gregorian).
struct CivilTime {
  int64_t year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};
CivilTime CivilFromSeconds(int64_t seconds);

// "2024-03-01T12:00:00.250Z": UTC seconds at millisecond precision.
std::string IsoUtcMilliseconds(double utc);
// The same text into `out`, which holds kIsoUtcMillisecondsSize bytes;
// returns its length. Without printf for the years 0 to 9999: a dump may
// have many thousands of wave segments, each with two times.
inline constexpr size_t kIsoUtcMillisecondsSize = 48;
size_t FormatIsoUtcMilliseconds(double utc, char* out);
// "2024-03-01T12:00:00Z", the whole seconds only.
std::string IsoUtcSeconds(double utc);
// An ISO 8601 duration in seconds, "PT3600S" or "PT12.5S".
std::string IsoDurationSeconds(double seconds);

// The UTC time of the stamp in force for `line`; false when its readings
// have no time: before any date stamp, under a stamp that names no
// calendar time, or at a sample rate below 1.
bool StampOfLine(const ReadingLine& line, UtcStamps* stamps, double* stampUtc);

// The UTC time of reading `i` of `line` (instrument clock, uncorrected).
inline double ReadingTime(const ReadingLine& line, double stampUtc, int i) {
  return stampUtc + static_cast<double>(line.sinceStamp + i) / line.sampleRate;
}
