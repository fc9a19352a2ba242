// The QARTOD flags of the science outputs, on the scale of the IOOS and
// IMOS tools: 1 good, 2 not evaluated, 3 suspect, 4 bad, 9 missing.
#pragma once

#include <cstdint>

enum QualityFlag : int8_t {
  kFlagGood = 1,
  kFlagNotEvaluated = 2,
  kFlagSuspect = 3,
  kFlagBad = 4,
  kFlagMissing = 9,
};

// How much a flag says against a reading when several are combined: bad,
// then suspect, then good, then not evaluated, then missing. A table, not
// branches: the aggregate takes it for every reading.
// Indexed by the flag's low four bits, which tell every flag apart.
inline constexpr int8_t kFlagStrength[16] = {0, 2, 1, 3, 4};
constexpr int StrengthOf(QualityFlag flag) {
  constexpr uint8_t kLowBits = 0x0F;
  return kFlagStrength[static_cast<uint8_t>(flag) & kLowBits];
}

// Each flag's place in a count of flags, in the order 1, 2, 3, 4, 9; by the
// same low four bits.
inline constexpr int kFlagKinds = 5;
inline constexpr int8_t kFlagPlace[16] = {0, 0, 1, 2, 3, 0, 0, 0, 0, 4};
constexpr int PlaceOf(QualityFlag flag) {
  constexpr uint8_t kLowBits = 0x0F;
  return kFlagPlace[static_cast<uint8_t>(flag) & kLowBits];
}

// The stronger of two flags, as the aggregate takes them.
constexpr QualityFlag Strongest(QualityFlag a, QualityFlag b) {
  return StrengthOf(b) > StrengthOf(a) ? b : a;
}

// The flag attributes of the IOOS Metadata Profile for QARTOD variables.
inline constexpr int8_t kQartodFlagValues[] = {kFlagGood, kFlagNotEvaluated, kFlagSuspect, kFlagBad,
                                               kFlagMissing};
inline constexpr const char* kQartodFlagMeanings = "PASS NOT_EVALUATED SUSPECT FAIL MISSING";
inline constexpr const char* kQartodReference =
    "U.S. Integrated Ocean Observing System, 2019. Manual for Real-Time Quality Control of In-situ "
    "Surface Wave Data Version 2.1: A Guide to Quality Control and Quality Assurance of In-situ "
    "Surface Wave Observations (QARTOD), and the QARTOD manual for water level data; "
    "https://ioos.noaa.gov/project/qartod/";

// The standard names, which the variables are named after.
inline constexpr const char* kGrossRangeFlagName = "gross_range_test_quality_flag";
inline constexpr const char* kSpikeFlagName = "spike_test_quality_flag";
inline constexpr const char* kRateOfChangeFlagName = "rate_of_change_test_quality_flag";
inline constexpr const char* kFlatLineFlagName = "flat_line_test_quality_flag";
inline constexpr const char* kAggregateFlagName = "aggregate_quality_flag";
