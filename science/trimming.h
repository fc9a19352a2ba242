// Trimming to the time in water: the readings before the deployment file's
// `deployed` and after its `recovered`, and those of a pressure dump
// shallower than the trimming depth before it first went deeper and after
// it last was, are left out of the science outputs and the statistics, by
// listeners in front of theirs. The legacy CSV is the instrument's own
// record and stays whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "convert/readings.h"
#include "science/metadata.h"
#include "science/time_base.h"

// UTC seconds of "2026-03-01T12:00:00Z" (a fraction of a second and a
// zone of "+00:00" may be given); none for any other text.
std::optional<double> ParseIsoUtc(const std::string& text);

// "left out 120 readings before the deployment (2026-03-01T12:00:00Z) and
// 45 after its recovery (...)", and with a trimming depth "12 readings
// shallower than 2 m at the start and 30 at the end", for standard error
// and the JSON report.
std::string TrimmedText(const ScienceSettings& settings, const TrimmedCounts& counts);

// What trimming left out, as the JSON and Python reports show it: a count
// of readings, or the depth trimmed to in metres.
struct TrimmedEntry {
  const char* key;
  std::variant<int64_t, double> value;
};
// The entries of the trimming a run was asked for, in the reports' order:
// before_deployment, after_recovery, then trim_depth, shallower_at_start
// and shallower_at_end.
std::vector<TrimmedEntry> TrimmedEntries(bool deployed, bool recovered,
                                         std::optional<double> trimDepth,
                                         const TrimmedCounts& counts);

class DeploymentTrim final : public ReadingListener {
 public:
  // `downstream`: where the readings inside the deployment go. Not owned.
  DeploymentTrim(const ScienceSettings& settings, ReadingListener* downstream);

  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;

  const TrimmedCounts& counts() const { return counts_; }

 private:
  bool Inside(double time) const;

  TimeAxis axis_;
  std::optional<double> deployed_;
  std::optional<double> recovered_;
  ReadingListener* downstream_;
  TrimmedCounts counts_;
  bool lastLinePassed_ = true;  // the last line's last reading went on
};

// Metres of water over a pressure sensor, as the wave statistics take a
// pressure reading: (reading - atmospheric) x Pa per unit / (density x g).
struct PressureDepth {
  double atmospheric = 0.0;    // in the readings' units
  double metresPerUnit = 0.0;  // of the readings' units
  double Of(double reading) const { return (reading - atmospheric) * metresPerUnit; }
};

// Leaves out the leading readings shallower than `trimDepth` metres, and
// the trailing ones: a shallow reading after a deeper one is held until a
// deeper one comes (then it goes on, a dip while in the water) or the dump
// ends (then it is left out). What is held is the time since the sensor
// was last deeper: in the water a wave's trough at most, after recovery
// the time on deck, so memory is bounded by that, not by the dump.
class DepthTrim final : public ReadingListener {
 public:
  // `downstream`: where the readings kept go. Not owned.
  DepthTrim(double trimDepth, const PressureDepth& depth, ReadingListener* downstream);

  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;
  // The dump ended: what is still held trails the deployment, left out.
  void Finish();

  const TrimmedCounts& counts() const { return counts_; }

 private:
  // A line's readings, or its fillers, held back in the order they came.
  struct Held {
    ReadingLine line;    // its values and notes are in the pools below
    size_t first = 0;    // its first value's place in the pools
    bool noted = false;  // it has notes
    int fillers = 0;     // > 0: fillers, told at `line.line`, `line.byte`
  };
  enum class Went { kDropped, kPassed, kHeld };

  bool Deep(double reading) const { return depth_.Of(reading) >= trimDepth_; }
  void Pass(const ReadingLine& line, int from, int end);
  void Hold(const ReadingLine& line, int from, int end);
  void Release();

  double trimDepth_;
  PressureDepth depth_;
  ReadingListener* downstream_;
  TrimmedCounts counts_;
  bool inWater_ = false;            // a reading at or below the trimming depth came
  Went lastWent_ = Went::kDropped;  // the last line's last reading
  std::vector<Held> held_;
  std::vector<double> heldValues_;
  std::vector<ReadingNote> heldNotes_;
  int64_t heldReadings_ = 0;
};
