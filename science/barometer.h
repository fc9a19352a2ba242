// Air pressure from a barometer record: a pressure gauge reads the water
// and the air above it, and the air's share is taken off each reading,
// interpolated linearly to its time. The record is a CSV of `time` and
// `air_pressure`, or a NetCDF file with a `time` coordinate and a variable
// whose standard name is air_pressure; it is read whole before the
// conversion (months at one-minute spacing fit in memory easily).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/readings.h"
#include "science/metadata.h"
#include "science/time_base.h"

// Between two records further apart than this, the air pressure is not
// known well enough to interpolate.
inline constexpr double kLongestBarometerGapSeconds = 3.0 * 3600.0;

// The CF name of the readings once the air's share is taken off.
inline constexpr const char* kSeaPressureStandardName = "sea_water_pressure_due_to_sea_water";

struct AirPressureRecord {
  std::string name;             // the file's name, without its folders
  std::string sha256;           // of the file's bytes, 64 lower-case hexadecimal digits
  std::vector<double> times;    // UTC seconds, rising
  std::vector<double> pascals;  // one per time

  // The air pressure at `utc` in Pa, interpolated linearly; none before the
  // first or after the last time, or inside a gap longer than
  // kLongestBarometerGapSeconds.
  std::optional<double> At(double utc) const;
};

// Reads the record at `path`: NetCDF when the file begins as NetCDF does,
// else a CSV whose pressures are in `csvUnits`. False with `error` naming
// the file, the line or variable, and what to do.
bool ReadAirPressureRecord(const std::string& path, const std::string& csvUnits,
                           AirPressureRecord* record, std::string* error);
// The same for a CSV already read; `shown` names it in errors.
bool ReadAirPressureCsv(const std::string& text, const std::string& shown, const std::string& units,
                        AirPressureRecord* record, std::string* error);

// UTC seconds of an ISO 8601 time with its zone: "2026-03-01T12:00:00Z",
// "2026-03-01T13:00:00.5+01:00", "...-0330"; none without a zone.
std::optional<double> ParseIsoWithZone(const std::string& text);

// The readings' units as a factor: readings per Pa ("dbar": 1e-4). False
// with `error` when the units are not a pressure.
bool ReadingsPerPascal(const std::string& units, double* perPascal, std::string* error);

// The attributes of the readings' variable that tell the correction.
std::vector<Attribute> BarometerAttributes(const AirPressureRecord& record,
                                           const std::string& readingUnits);

struct BarometerCounts {
  int64_t corrected = 0;
  int64_t uncorrected = 0;  // outside the record or in a gap: flagged 4
};

// "took the air pressure of \"baro.csv\" off 1200 readings; 30 ...", for
// standard error and the JSON report.
std::string BarometerText(const AirPressureRecord& record, const BarometerCounts& counts);

// In front of the science outputs and the statistics (never the legacy
// CSV): each reading less the air pressure at its time, in the readings'
// units; one it cannot correct goes on as read, noted kNoAirPressure.
class BarometerCorrection final : public ReadingListener {
 public:
  // `settings.barometer` is the record; `downstream` is not owned.
  BarometerCorrection(const ScienceSettings& settings, double readingsPerPascal,
                      ReadingListener* downstream);

  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;

  const BarometerCounts& counts() const { return counts_; }

 private:
  TimeAxis axis_;
  // Without a drift the clock's error is known at every reading; with one
  // it is known only at the end, and the offset stands for it (seconds
  // against a record of minutes).
  double clockOffset_;
  std::shared_ptr<const AirPressureRecord> record_;
  double perPascal_;
  ReadingListener* downstream_;
  std::vector<double> values_;
  std::vector<ReadingNote> notes_;
  BarometerCounts counts_;
};
