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
// then suspect, then good, then not evaluated, then missing.
constexpr int StrengthOf(QualityFlag flag) {
  switch (flag) {
    case kFlagBad:
      return 4;
    case kFlagSuspect:
      return 3;
    case kFlagGood:
      return 2;
    case kFlagNotEvaluated:
      return 1;
    case kFlagMissing:
      return 0;
  }
  return 0;
}

// The stronger of two flags, as the aggregate takes them.
constexpr QualityFlag Strongest(QualityFlag a, QualityFlag b) {
  return StrengthOf(b) > StrengthOf(a) ? b : a;
}
