// The time base of the science outputs and the wave statistics: a
// reading's instant in UTC, from the date stamp in force (the dump's wall
// clock, read in the dump's zone) plus the readings since that stamp over
// the sample rate, then corrected for the instrument clock's offset and
// drift.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/readings.h"
#include "runtime/time_zone.h"

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

// Local wall-clock stamps to UTC, in the zone the dump's clock was set in.
// Remembers the last stamp: a dump holds many readings per stamp.
class UtcStamps {
 public:
  explicit UtcStamps(const Zone& zone = Zone());

  // False when the stamp names no calendar time in 0001..9999.
  bool ToUtc(LocalSeconds stamp, double* utc);
  // The last stamp read fell in a spring-forward gap: no wall clock showed
  // it, and its readings were moved forward with it.
  bool lastMoved() const { return lastMoved_; }

 private:
  ZoneOffsets offsets_;
  bool known_ = false;
  bool lastMoved_ = false;
  LocalSeconds lastStamp_ = 0;
  double lastUtc_ = 0.0;
};

// Every time an output writes comes from here: the dump's clock read in
// its zone, then the instrument clock's error taken out. The error at a
// time depends on the first and last readings (with a drift), which the
// outputs tell it as they place their readings.
class TimeAxis {
 public:
  explicit TimeAxis(const Zone& zone = Zone(), const ClockCorrection& clock = {});

  // The instrument's UTC of a stamp; false when it names no calendar time.
  bool StampUtc(LocalSeconds stamp, double* utc) { return stamps_.ToUtc(stamp, utc); }
  // The stamp in force for `line`; false when its readings have no time:
  // before any date stamp, under a stamp that names no calendar time, or at
  // a sample rate below 1.
  bool LineStampUtc(const ReadingLine& line, double* stampUtc);
  // The stamp of the last LineStampUtc fell in a spring-forward gap.
  bool StampMoved() const { return stamps_.lastMoved(); }
  // `elapsed` seconds after `stamp`, instrument UTC; NaN when `known` is
  // false or the stamp names no calendar time.
  double InstrumentUtc(bool known, LocalSeconds stamp, double elapsed);

  // Tells the axis of a reading's instrument time, in the order of the dump.
  void Place(double instrumentUtc) {
    if (!placed_)
      first_ = instrumentUtc;
    placed_ = true;
    last_ = instrumentUtc;
  }
  // True when the correction is the same at every time (no drift), so a
  // time may be corrected before the last reading is known.
  bool CorrectsAsItGoes() const { return !clock_.driftGiven; }
  // True when the correction changes any time.
  bool Corrects() const { return clock_.Any(); }
  // The true UTC of an instrument time; NaN stays NaN. With a drift, only
  // once the last reading has been placed.
  double Corrected(double instrumentUtc) const;

  const Zone& zone() const { return zone_; }
  const ClockCorrection& clock() const { return clock_; }

 private:
  Zone zone_;
  UtcStamps stamps_;
  ClockCorrection clock_;
  bool placed_ = false;
  double first_ = 0.0;  // the first and last readings placed, instrument UTC
  double last_ = 0.0;
};

// A time coordinate rises strictly: a reading whose time does not come
// after the latest one kept is left out. A line's times rise, so the
// readings it loses are its first ones.
class RisingTimes {
 public:
  // How many of `line`'s first readings are left out; the rest are kept.
  int LeftOut(const ReadingLine& line, double stampUtc);

 private:
  bool kept_ = false;
  double latest_ = 0.0;
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

// The UTC time of reading `i` of `line` (instrument clock, uncorrected).
inline double ReadingTime(const ReadingLine& line, double stampUtc, int i) {
  return stampUtc + static_cast<double>(line.sinceStamp + i) / line.sampleRate;
}
