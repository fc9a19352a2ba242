// Readings for the wave statistics tests: closed-form series and a feeder
// that hands them to a listener as a conversion would, line by line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "convert/readings.h"

namespace zorq_test {

// a·sin(2π t / period) at `rate` readings per second, plus a·sin of a
// second period when given.
std::vector<double> Sine(double amplitude, double period, int rate, size_t count);

// Hands `values` to `listener` in lines of twelve readings (the last one
// shorter), all under one date stamp, as readings `since` onwards of it.
struct FeedPlace {
  LocalSeconds stamp = 0;
  bool stamped = true;
  int64_t since = 0;
  int rate = 4;
  int64_t burst = -1;
  bool stampWentBack = false;
  double temperature = 20.0;
};
void Feed(ReadingListener* listener, const std::vector<double>& values, const FeedPlace& place,
          const std::vector<ReadingNote>& notes = {});

}  // namespace zorq_test
