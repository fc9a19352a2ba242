// The conversion's own quality flag of each reading in the science outputs,
// on the QARTOD scale of qc/flags.h.
#pragma once

#include <cstdint>

#include "convert/readings.h"
#include "qc/flags.h"

inline constexpr int8_t kFlagValues[] = {kFlagGood, kFlagNotEvaluated, kFlagSuspect, kFlagBad,
                                         kFlagMissing};
inline constexpr const char* kFlagMeanings = "good not_evaluated suspect bad missing";

// A field that was not one number, or a pressure left without its air
// pressure taken off, is bad; a reading under a stamp that went back or
// that a spring-forward gap moved (`stampMoved`), wider than the legacy
// field, or that another dump gave another value, is suspect.
inline QualityFlag FlagOf(const ReadingLine& line, int i, bool stampMoved = false) {
  const ReadingNote note = line.notes != nullptr ? line.notes[i] : ReadingNote::kPlain;
  if (note == ReadingNote::kNotANumber || note == ReadingNote::kNoAirPressure)
    return kFlagBad;
  if (note == ReadingNote::kSaturated || note == ReadingNote::kMergeConflict ||
      line.stampWentBack || stampMoved)
    return kFlagSuspect;
  return kFlagGood;
}
