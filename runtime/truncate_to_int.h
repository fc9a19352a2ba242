// Doubles to ints for the UI backends' controls.
#pragma once

#include <cmath>
#include <limits>

// A double as a C cast would give it, held inside the int range (a cast of
// an out-of-range value, or of NaN, is undefined). NaN gives 0.
inline int TruncateToInt(double value) {
  if (std::isnan(value))
    return 0;
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(value);
}
