// Zero-crossing statistics: waves from one zero up-crossing to the next.
#pragma once

#include <cstddef>
#include <cstdint>

struct ZeroCrossingStatistics {
  int64_t waves = 0;
  double hs = 0.0;   // H1/3: mean height of the highest third (the largest ⌊n/3⌋)
  double ts = 0.0;   // T1/3: mean period of those waves
  double h10 = 0.0;  // H1/10: mean height of the largest ⌊n/10⌋
  double hmax = 0.0;
  double hmean = 0.0;
  double tz = 0.0;  // mean period
};

// The waves of `series` (a mean of zero), sampled at `sampleRate`: a wave
// runs from an up-crossing to the next, each crossing time interpolated
// linearly between its two samples; its height is its highest sample less
// its lowest. Statistics no wave gives are NaN.
ZeroCrossingStatistics ZeroCrossingsOf(const double* series, size_t count, double sampleRate);
