// The readings a conversion takes from a dump, handed to a listener in the
// order they are read, with their exact times. The legacy CSV is written from
// the same pass; science outputs and statistics listen instead of reading
// the CSV back.
//
// Every reading of every data line is handed out, also where the legacy CSV
// has no place for it: the readings of a logger dump's last record that
// never reached 60 are dropped from the CSV but are real readings, so the
// listener hears them. The listener is called on the converting thread,
// after the line's records were formatted and before the next line is read.
#pragma once

#include <cstdint>
#include <vector>

// Why a reading is less than a plain number, one value per reading.
enum class ReadingNote : uint8_t {
  kPlain = 0,
  kNotANumber = 1,     // its field was not one number: read as its leading number, or 0
  kSaturated = 2,      // wider than the legacy field: the CSV holds the widest value that fits
  kAtSensorLimit = 3,  // a logger count of 0 or 4095: the sensor may have clipped it
  // Set in front of the science outputs, never by the converters: no air
  // pressure was known at its time, so it is left as read.
  kNoAirPressure = 4,
  kMergeConflict = 5,  // two dumps of one deployment gave its time another value; this one kept
};
// A reading that is more than one is noted by the first of kNotANumber,
// kSaturated and kAtSensorLimit. Saturation is a logger CSV matter: gauge
// values are written whole.

// Seconds since 1970-01-01T00:00:00 on the dump's own calendar: the wall
// clock of wherever the instrument was set, with no zone applied.
using LocalSeconds = int64_t;

// The calendar fields as LocalSeconds. Fields out of their range carry over
// as a calendar would (month 13 is January of the next year).
constexpr LocalSeconds LocalSecondsOf(int64_t year, int64_t month, int64_t day, int64_t hour,
                                      int64_t minute, int64_t second) {
  constexpr int64_t kMonthsPerYear = 12;
  year += (month - 1 >= 0 ? month - 1 : month - kMonthsPerYear) / kMonthsPerYear;
  month = ((month - 1) % kMonthsPerYear + kMonthsPerYear) % kMonthsPerYear + 1;
  // Days from 1970-01-01 to the first of the month, counting years from March
  // so that the leap day is the last of its year.
  const int64_t y = month <= 2 ? year - 1 : year;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yearOfEra = y - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  constexpr int64_t kDaysFrom0000To1970 = 719468;
  const int64_t days = era * 146097 + dayOfEra - kDaysFrom0000To1970 + day - 1;
  return ((days * 24 + hour) * 60 + minute) * 60 + second;
}

// The readings taken from one line of the dump.
struct ReadingLine {
  int64_t line = 0;  // the line number, as in the report (the header is line 1)
  int64_t byte = 0;  // offset of the line's first byte in the dump

  const double* values = nullptr;      // scaled and corrected, as the legacy CSV writes them
  const ReadingNote* notes = nullptr;  // one per value; nullptr when every one is kPlain
  int count = 0;

  // The date stamp in force and how many readings it had before this line's
  // first. Reading i was taken at
  //   stamp + (sinceStamp + i) / sampleRate
  // seconds. `stamped` is false before the dump gave any time; `stamp` is 0
  // then and the times mean nothing.
  bool stamped = false;
  LocalSeconds stamp = 0;
  int64_t sinceStamp = 0;
  int sampleRate = 1;
  // The stamp in force is earlier than the time the readings had reached.
  bool stampWentBack = false;

  // Gauge dumps: the index of the burst, the run of readings after one date
  // stamp (the header's date opens burst 0). -1 for logger dumps.
  int64_t burst = -1;

  // The line's extra value times 0.0625: the temperature in degrees Celsius.
  // Logger lines: given when the line holds its twelve counts and an extra
  // value (a line that broke off has none, though the legacy C001 record
  // reads one from the rest of it). Gauge lines: the thirteenth field that
  // prepares a C4 record.
  bool hasTemperature = false;
  double temperature = 0.0;

  // The time of reading i of this line on the dump's own calendar; the stamp
  // itself when the sample rate is not positive (a gauge header may say 0).
  double LocalTimeOf(int i) const {
    const double stampSeconds = static_cast<double>(stamp);
    if (sampleRate <= 0)
      return stampSeconds;
    return stampSeconds + static_cast<double>(sinceStamp + i) / sampleRate;
  }
};

class ReadingListener {
 public:
  virtual ~ReadingListener() = default;
  // Readings of one line, at least one.
  virtual void OnReadings(const ReadingLine& line) = 0;
  // The legacy output put `count` fillers where a line broke off: a gap in
  // the series, not readings. Told after that line's readings; fillers do
  // not count in `sinceStamp`.
  virtual void OnFillers(int64_t line, int64_t byte, int count) = 0;
};

// Hands every reading to each of several listeners, in the order added.
class ReadingFanOut final : public ReadingListener {
 public:
  void Add(ReadingListener* listener) { listeners_.push_back(listener); }
  bool Empty() const { return listeners_.empty(); }
  void OnReadings(const ReadingLine& line) override {
    for (ReadingListener* listener : listeners_)
      listener->OnReadings(line);
  }
  void OnFillers(int64_t line, int64_t byte, int count) override {
    for (ReadingListener* listener : listeners_)
      listener->OnFillers(line, byte, count);
  }

 private:
  std::vector<ReadingListener*> listeners_;
};
