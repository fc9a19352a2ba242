// The flags the QARTOD stage gives each reading, worked out from the
// engine's readings as the science outputs work them out (the conversion's
// own flag, the sensor-limit rule, then the tests of qc/ in series), for
// the desktop program's preview and for the counts of an export. It
// listens to a conversion's one pass: nothing reads the dump again. Times
// are on the dump's own clock; the tests only look at their differences.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/readings.h"
#include "qc/reading_qc.h"

// How many readings one test gave each flag.
struct FlagTally {
  std::string test;  // "gross range", "spike", "rate of change", "flat line", "aggregate"
  int64_t good = 0;
  int64_t notEvaluated = 0;
  int64_t suspect = 0;
  int64_t bad = 0;
  int64_t missing = 0;

  void Count(QualityFlag flag);
  int64_t Total() const { return good + notEvaluated + suspect + bad + missing; }
  bool operator==(const FlagTally&) const = default;
};

// The tests of the `qc` section of a deployment file; false with `error`
// when the file cannot be read or is refused.
bool ReadQcTests(const std::string& deploymentFile, VariableTests* tests, std::string* error);

// The counts a conversion's science outputs made, as tallies: the gross
// range test's (its variable is always written), each other test of
// `tests`, and the aggregate last.
std::vector<FlagTally> TalliesOf(const VariableTests& tests, const ReadingFlagCounts& counts);

// One line per test: "gross range: 1,030 good (1), 2 suspect (3)".
std::string TalliesInWords(const std::vector<FlagTally>& tallies);

struct FlaggedReading {
  double time = 0.0;  // on the dump's clock
  double value = 0.0;
  QualityFlag aggregate = kFlagGood;
};

class ReadingFlagger final : public ReadingListener {
 public:
  using FlaggedSink = std::function<void(const FlaggedReading&)>;
  // `flagged` hears every reading with a time once its flags are known (a
  // reading late: the spike test looks one ahead); it may be empty.
  explicit ReadingFlagger(const VariableTests& tests, FlaggedSink flagged = {});

  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;
  // The readings ended: the last one's flags.
  void Finish();

  // The tests that ran, in the order of the NetCDF file's variables, and
  // the aggregate last.
  std::vector<FlagTally> Tallies() const;

 private:
  void Pass(const ReadingFlags& flags);

  VariableTests tests_;
  ReadingQc qc_;
  FlaggedSink flagged_;
  FlaggedReading held_;
  FlagTally grossRange_{"gross range"};
  FlagTally spike_{"spike"};
  FlagTally rateOfChange_{"rate of change"};
  FlagTally flatLine_{"flat line"};
  FlagTally aggregate_{"aggregate"};
};
