#include "outputs/reading_flags.h"

#include <utility>

#include "convert/report_text.h"
#include "science/deployment.h"
#include "science/quality_flags.h"

bool ReadQcTests(const std::string& deploymentFile, VariableTests* tests, std::string* error) {
  ScienceSettings settings;
  if (!ReadDeploymentFile(deploymentFile, &settings, error))
    return false;
  *tests = settings.qc.reading;
  return true;
}

void FlagTally::Count(QualityFlag flag) {
  switch (flag) {
    case kFlagGood:
      ++good;
      break;
    case kFlagNotEvaluated:
      ++notEvaluated;
      break;
    case kFlagSuspect:
      ++suspect;
      break;
    case kFlagBad:
      ++bad;
      break;
    case kFlagMissing:
      ++missing;
      break;
  }
}

std::string TalliesInWords(const std::vector<FlagTally>& tallies) {
  std::string text;
  for (const FlagTally& tally : tallies) {
    const std::pair<int64_t, const char*> counts[] = {{tally.good, "good (1)"},
                                                      {tally.notEvaluated, "not evaluated (2)"},
                                                      {tally.suspect, "suspect (3)"},
                                                      {tally.bad, "bad (4)"},
                                                      {tally.missing, "missing (9)"}};
    std::string line;
    for (const auto& [count, name] : counts) {
      if (count == 0)
        continue;
      line += (line.empty() ? "" : ", ") + GroupedCount(count) + " " + name;
    }
    text += tally.test + ": " + (line.empty() ? "no readings" : line) + "\n";
  }
  return text;
}

ReadingFlagger::ReadingFlagger(const VariableTests& tests, FlaggedSink flagged)
    : tests_(tests), qc_(tests), flagged_(std::move(flagged)) {}

void ReadingFlagger::OnReadings(const ReadingLine& line) {
  // The science outputs give no reading before the first stamp a time.
  if (!line.stamped)
    return;
  QcReading reading;
  reading.interval = line.sampleRate > 0 ? 1.0 / line.sampleRate : 1.0;
  reading.burst = line.burst;
  ReadingFlags finished;
  for (int i = 0; i < line.count; ++i) {
    reading.time = line.LocalTimeOf(i);
    reading.value = line.values[i];
    reading.atSensorLimit = line.notes != nullptr && line.notes[i] == ReadingNote::kAtSensorLimit;
    reading.conversion = FlagOf(line, i);
    const bool passes = qc_.Add(reading, &finished);
    if (passes)
      Pass(finished);
    held_ = {reading.time, reading.value, kFlagGood};
  }
}

void ReadingFlagger::OnFillers(int64_t, int64_t, int) {}

void ReadingFlagger::Finish() {
  ReadingFlags finished;
  if (qc_.Flush(&finished))
    Pass(finished);
}

void ReadingFlagger::Pass(const ReadingFlags& flags) {
  grossRange_.Count(flags.grossRange);
  spike_.Count(flags.spike);
  rateOfChange_.Count(flags.rateOfChange);
  flatLine_.Count(flags.flatLine);
  aggregate_.Count(flags.aggregate);
  if (flagged_) {
    held_.aggregate = flags.aggregate;
    flagged_(held_);
  }
}

std::vector<FlagTally> TalliesOf(const VariableTests& tests, const ReadingFlagCounts& counts) {
  const auto tally = [](const char* test, const FlagCount& count) {
    const auto of = [&](QualityFlag flag) {
      return count.readings[static_cast<size_t>(PlaceOf(flag))];
    };
    return FlagTally{test,         of(kFlagGood),   of(kFlagNotEvaluated), of(kFlagSuspect),
                     of(kFlagBad), of(kFlagMissing)};
  };
  std::vector<FlagTally> tallies = {tally("gross range", counts.grossRange)};
  if (tests.spike)
    tallies.push_back(tally("spike", counts.spike));
  if (tests.rateOfChange)
    tallies.push_back(tally("rate of change", counts.rateOfChange));
  if (tests.flatLine)
    tallies.push_back(tally("flat line", counts.flatLine));
  tallies.push_back(tally("aggregate", counts.aggregate));
  return tallies;
}

std::vector<FlagTally> ReadingFlagger::Tallies() const {
  std::vector<FlagTally> tallies;
  if (tests_.grossRange)
    tallies.push_back(grossRange_);
  if (tests_.spike)
    tallies.push_back(spike_);
  if (tests_.rateOfChange)
    tallies.push_back(rateOfChange_);
  if (tests_.flatLine)
    tallies.push_back(flatLine_);
  tallies.push_back(aggregate_);
  return tallies;
}
