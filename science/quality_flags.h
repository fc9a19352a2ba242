// The quality flag of each reading in the science outputs, on the scale of
// the IOOS and IMOS tools: 1 good, 2 not evaluated, 3 suspect, 4 bad,
// 9 missing.
#pragma once

#include <cstdint>

#include "convert/readings.h"

enum QualityFlag : int8_t {
  kFlagGood = 1,
  kFlagNotEvaluated = 2,
  kFlagSuspect = 3,
  kFlagBad = 4,
  kFlagMissing = 9,
};

inline constexpr int8_t kFlagValues[] = {kFlagGood, kFlagNotEvaluated, kFlagSuspect, kFlagBad,
                                         kFlagMissing};
inline constexpr const char* kFlagMeanings = "good not_evaluated suspect bad missing";

// A field that was not one number is bad; a reading under a stamp that
// went back or that a spring-forward gap moved (`stampMoved`), or wider
// than the legacy field, is suspect.
inline QualityFlag FlagOf(const ReadingLine& line, int i, bool stampMoved = false) {
  const ReadingNote note = line.notes != nullptr ? line.notes[i] : ReadingNote::kPlain;
  if (note == ReadingNote::kNotANumber)
    return kFlagBad;
  if (note == ReadingNote::kSaturated || line.stampWentBack || stampMoved)
    return kFlagSuspect;
  return kFlagGood;
}
