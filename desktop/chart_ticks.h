// Where a chart's axes put their ticks: values at steps of 1, 2 or 5 times
// a power of ten, and times on the dump's clock at round times (whole
// seconds, minutes, hours, days, months or years), labelled as much as the
// step needs. The labels of values are the caller's, grouped as its locale
// groups numbers.
#pragma once

#include <string>
#include <vector>

// A step of 1, 2 or 5 times a power of ten, so that [lo, hi] holds at most
// `most` of them (and at least one); 1 for an empty or unusable range.
double NiceStep(double lo, double hi, int most);

struct ValueTicks {
  double step = 1.0;
  int decimals = 0;            // the decimals a label needs to tell neighbours apart
  std::vector<double> values;  // the multiples of `step` inside [lo, hi]
};
ValueTicks NiceValueTicks(double lo, double hi, int most);

// Seconds since 1970-01-01T00:00:00 on the dump's own calendar (no zone).
struct TimeTick {
  double at = 0.0;
  std::string label;  // "2019-06-30", "14:05", "14:05:30", "14:05:30.5", "2019-07"
};

struct TimeTicks {
  double step = 1.0;  // seconds between ticks; months and years as 30 and 365 days
  std::vector<TimeTick> ticks;
};

// Round times inside [lo, hi], at most `most` of them. Below a day's step
// the first tick names the date too ("2019-06-30 14:00"), and every tick
// does when [lo, hi] spans more than one day; no two labels are alike.
TimeTicks RoundTimeTicks(double lo, double hi, int most);

// "2019-06-30 14:05:30.250": a time to the millisecond for the crosshair.
std::string TimeReadout(double at);
