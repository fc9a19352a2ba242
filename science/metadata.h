// What the science outputs say about themselves: the settings a run is
// given, the facts it gathers, and the global attributes made of both.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "convert/engine.h"
#include "qc/settings.h"
#include "science/time_base.h"

struct AirPressureRecord;

// uint64_t holds the whole numbers above int64_t's range; every other whole
// number is an int64_t.
using AttributeValue = std::variant<std::string, double, int64_t, uint64_t>;

struct Attribute {
  std::string name;
  AttributeValue value;
};

// Sets `name` to `value` in `list`, replacing an earlier one of that name
// where it stood, else adding it at the end.
void SetAttribute(std::vector<Attribute>* list, const std::string& name, AttributeValue value);

// True for a name a NetCDF attribute or variable may have: a letter or
// underscore, then letters, digits, underscores, dots, hyphens or "@".
bool IsNetcdfName(const std::string& name);

// What keeps `name` from naming a global attribute we write: empty, not
// beginning with a letter (names beginning with "_" are the NetCDF and
// HDF5 libraries' own, such as _NCProperties and _FillValue), a character
// beyond letters, digits, "_", ".", "-" and "@", or longer than NetCDF's
// NC_MAX_NAME. Empty when it may.
std::string AttributeNameProblem(const std::string& name);

// True for the global attributes the converter works out itself (history,
// source, time_coverage_start, conversion_status, ...), which a deployment
// file may not replace; title and summary are not among them.
bool IsComputedAttribute(const std::string& name);

// Where the instrument stood, from the deployment file.
struct Position {
  double latitude = 0.0;   // degrees north
  double longitude = 0.0;  // degrees east
};

// Everything a science output needs before the first reading.
struct ScienceSettings {
  bool gauge = false;  // a gauge dump (From type 3), else a logger dump
  int fromType = 0;
  std::string units;         // empty: "m" for logger dumps, "1" for gauge dumps
  std::string standardName;  // empty: none
  ClockCorrection clock;
  Correction correction;
  std::string sourceName;  // the dump's file name
  int64_t dumpBytes = -1;  // the dump's size, -1 when not known (a pipe): sizes the chunks
  Zone zone;               // the zone the dump's clock was set in
  std::string invocation;  // what made the file, for `history` ("zorqconvert-cli -f netcdf ...")
  std::optional<Position> position;
  // From the deployment file, then --attr, in order; a later one of the
  // same name wins. They are written last, over the attributes of our own.
  std::vector<Attribute> attributes;
  // The deployment file's `qc` section: the tests run on the readings (and
  // the statistics' ranges, which the wave statistics take from here).
  QcSettings qc;
  // The deployment file's `deployed` and `recovered`, UTC seconds: the
  // readings outside are left out of the science outputs.
  std::optional<double> deployed;
  std::optional<double> recovered;
  // Pressure dumps: the leading and trailing readings shallower than this
  // many metres are left out too (--trim-depth).
  std::optional<double> trimDepth;
  // The air pressure record the pressure readings are corrected with
  // (--barometer, or the deployment file's `barometer`); empty: none. Its
  // units when it is a CSV, checked with udunits2.
  std::string barometerPath;
  std::string barometerUnits = "hPa";
  // The record read from it (science/barometer.h), once for every input;
  // none until it is read. With one the readings are sea pressure.
  std::shared_ptr<const AirPressureRecord> barometer;
};

// "m" for logger dumps unless given; "1" for gauge dumps unless given.
std::string ReadingUnits(const ScienceSettings& settings);
// The readings' standard name: the one given when the readings' units
// convert to its canonical units, else empty (none is written).
std::string ReadingStandardName(const ScienceSettings& settings);
// The warning when the standard name given is left out for the readings'
// units; empty else.
std::string StandardNameWarning(const ScienceSettings& settings);
// The warning for a NetCDF output without a position; empty with one.
std::string PositionWarning(const ScienceSettings& settings);
// The warning to show when a gauge dump's units were not given; empty else.
std::string UnitsWarning(const ScienceSettings& settings);

// What a run learnt of its readings, in instrument UTC before correction.
struct ReadingFacts {
  int64_t placed = 0;    // readings with a UTC time
  int64_t unplaced = 0;  // readings before any date stamp: left out
  // Readings under a stamp that names no calendar time, or at a sample rate
  // below 1, which gives them no spacing: left out too.
  int64_t untimed = 0;
  int64_t fillers = 0;  // gaps the legacy CSV filled
  // Readings whose time does not come after the latest before them: left
  // out of the NetCDF output, flagged bad in the tidy CSV.
  int64_t notRising = 0;
  int64_t notANumber = 0;
  int64_t suspect = 0;
  double first = 0.0;  // the first and last placed readings
  double last = 0.0;
  double earliest = 0.0;  // the extremes, when the clock went back
  double latest = 0.0;

  void Leave(const ReadingLine& line) { (line.stamped ? untimed : unplaced) += line.count; }

  void Place(double t) {
    if (placed == 0)
      first = earliest = latest = t;
    last = t;
    earliest = t < earliest ? t : earliest;
    latest = t > latest ? t : latest;
    ++placed;
  }
  // `count` readings at times that rise from `from` to `to`.
  void PlaceRising(double from, double to, int64_t count) {
    Place(from);
    if (count > 1) {
      Place(to);
      placed += count - 2;
    }
  }
};

// The readings trimming left out.
struct TrimmedCounts {
  int64_t before = 0;  // readings before `deployed`
  int64_t after = 0;   // readings after `recovered`
  // Readings shallower than the trimming depth before the first deeper
  // one and after the last.
  int64_t shallowBefore = 0;
  int64_t shallowAfter = 0;
  bool Any() const { return before + after + shallowBefore + shallowAfter > 0; }
};

// What the conversion itself reported, known at its end.
struct RunFacts {
  TrimmedCounts trimmed;
  const ConversionResult* result = nullptr;
  std::string sourceSha256;  // empty when not taken
  // The dumps of a merge, in time order, each with its SHA-256 (empty when
  // not taken); empty for one dump.
  struct Source {
    std::string name;
    std::string sha256;
  };
  std::vector<Source> sources;
  std::string dateCreated;  // ISO 8601 UTC, "2026-12-08T01:30:00Z"
  // The earliest and latest readings' times, in UTC corrected for the clock
  // by the run's time axis (the one place a correction is made).
  double coverageStart = 0.0;
  double coverageEnd = 0.0;
};

// The global attributes of a NetCDF output, in the order written.
std::vector<Attribute> GlobalAttributes(const ScienceSettings& settings, const ReadingFacts& facts,
                                        const RunFacts& run);

// The comment of the time variable: the rule and the correction applied.
std::string TimeComment(const ScienceSettings& settings);

// The comment of the quality-control variable: what sets each flag and the
// lines of the report's anomalies.
std::string QualityComment(const ConversionReport& report);

// The warning for readings left out of the NetCDF output because their
// time does not come after the one before; empty when there were none.
std::string NotRisingWarning(const ReadingFacts& facts);

// The warning for readings left out because they have no time (no date
// stamp before them, or no sample rate); empty when there were none.
std::string UnplacedWarning(const ReadingFacts& facts);
