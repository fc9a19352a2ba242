#include "desktop/chart_ticks.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

constexpr double kMinute = 60.0;
constexpr double kHour = 3600.0;
constexpr double kDay = 86400.0;
constexpr int64_t kMillisPerDay = 86'400'000;
constexpr int kMonthsPerYear = 12;

// Steps that fall on round times of the clock, finest first.
constexpr std::array<double, 28> kClockSteps = {
    0.001, 0.002, 0.005, 0.01,   0.02,   0.05,    0.1,   0.2,     0.5,   1.0,
    2.0,   5.0,   10.0,  15.0,   30.0,   kMinute, 120.0, 300.0,   600.0, 900.0,
    1800., kHour, 7200., 10800., 21600., 43200.,  kDay,  2 * kDay};
// Calendar steps in months, once days are too fine.
constexpr std::array<int, 10> kMonthSteps = {1, 2, 3, 6, 12, 24, 60, 120, 240, 600};

bool Usable(double lo, double hi) {
  return std::isfinite(lo) && std::isfinite(hi) && hi > lo;
}

// Years 0 to 9999, where the date arithmetic below holds.
bool OnCalendar(double at) {
  constexpr double kYear0 = -62167219200.0;
  constexpr double kYear10000 = 253402300800.0;
  return std::isfinite(at) && at >= kYear0 && at < kYear10000;
}

int DecimalsFor(double step) {
  return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
}

struct Civil {
  int year = 1970;
  unsigned month = 1;
  unsigned day = 1;
  int64_t millisOfDay = 0;
};

Civil CivilOf(int64_t millis) {
  int64_t days = millis / kMillisPerDay;
  int64_t rest = millis % kMillisPerDay;
  if (rest < 0) {
    rest += kMillisPerDay;
    --days;
  }
  const std::chrono::year_month_day date{
      std::chrono::sys_days{std::chrono::days{static_cast<int>(days)}}};
  return {static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
          static_cast<unsigned>(date.day()), rest};
}

int64_t MillisOf(double at) {
  return std::llround(at * 1000.0);
}

double SecondsOfMonth(int64_t monthIndex) {
  const int64_t year = monthIndex >= 0 ? monthIndex / kMonthsPerYear
                                       : (monthIndex - (kMonthsPerYear - 1)) / kMonthsPerYear;
  const auto month = static_cast<unsigned>(monthIndex - year * kMonthsPerYear + 1);
  const std::chrono::sys_days days{std::chrono::year{static_cast<int>(year)} /
                                   std::chrono::month{month} / std::chrono::day{1}};
  return static_cast<double>(days.time_since_epoch().count()) * kDay;
}

int64_t MonthIndexOf(double at) {
  const Civil civil = CivilOf(MillisOf(at));
  return static_cast<int64_t>(civil.year) * kMonthsPerYear + civil.month - 1;
}

std::string DateText(const Civil& c) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", c.year, c.month, c.day);
  return text;
}

// "14:05", "14:05:30" or "14:05:30.25" as the step needs.
std::string ClockText(const Civil& c, double step) {
  const int64_t seconds = c.millisOfDay / 1000;
  char text[32];
  const auto hours = static_cast<int>(seconds / 3600);
  const auto minutes = static_cast<int>(seconds / 60 % 60);
  if (step >= kMinute) {
    std::snprintf(text, sizeof text, "%02d:%02d", hours, minutes);
    return text;
  }
  const auto secs = static_cast<int>(seconds % 60);
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", hours, minutes, secs);
  std::string result = text;
  const int decimals = std::min(3, DecimalsFor(step));
  if (decimals > 0) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, "%03d", static_cast<int>(c.millisOfDay % 1000));
    result += '.';
    result.append(fraction, static_cast<size_t>(decimals));
  }
  return result;
}

std::string MonthText(const Civil& c, int months) {
  char text[16];
  if (months % kMonthsPerYear == 0) {
    std::snprintf(text, sizeof text, "%04d", c.year);
  } else {
    std::snprintf(text, sizeof text, "%04d-%02u", c.year, c.month);
  }
  return text;
}

int64_t DayOf(double at) {
  const int64_t millis = MillisOf(at);
  return millis / kMillisPerDay - (millis % kMillisPerDay < 0 ? 1 : 0);
}

// Ticks at whole multiples of `step` seconds (days count from 1970-01-01).
// The first tick names its date; so does every tick when the ticks span
// more than one day, as the same time of day would come twice.
TimeTicks ClockTicks(double lo, double hi, double step) {
  TimeTicks result;
  result.step = step;
  // The first multiple of the step at or after lo, whatever the rounding
  // of lo / step did.
  double first = std::floor(lo / step);
  while (first * step < lo)
    first += 1.0;
  const bool severalDays = DayOf(lo) != DayOf(hi);
  bool dated = false;
  for (double k = first; k * step <= hi + step * 1e-9; k += 1.0) {
    const double at = k * step;
    const Civil civil = CivilOf(MillisOf(at));
    std::string label;
    if (step >= kDay) {
      label = DateText(civil);
    } else if (!dated || severalDays) {
      label = DateText(civil) + " " + ClockText(civil, step);
    } else {
      label = ClockText(civil, step);
    }
    dated = true;
    result.ticks.push_back({at, std::move(label)});
  }
  return result;
}

TimeTicks MonthTicks(double lo, double hi, int months) {
  TimeTicks result;
  result.step = months * 30.0 * kDay;
  int64_t index = MonthIndexOf(lo);
  index -= ((index % months) + months) % months;
  for (;; index += months) {
    const double at = SecondsOfMonth(index);
    if (at > hi)
      break;
    if (at >= lo)
      result.ticks.push_back({at, MonthText(CivilOf(MillisOf(at)), months)});
  }
  return result;
}

}  // namespace

double NiceStep(double lo, double hi, int most) {
  if (!Usable(lo, hi))
    return 1.0;
  const double raw = (hi - lo) / std::max(1, most - 1);
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double multiple : {1.0, 2.0, 5.0}) {
    if (multiple * magnitude >= raw * (1.0 - 1e-12))
      return multiple * magnitude;
  }
  return 10.0 * magnitude;
}

ValueTicks NiceValueTicks(double lo, double hi, int most) {
  ValueTicks result;
  if (!Usable(lo, hi))
    return result;
  result.step = NiceStep(lo, hi, most);
  result.decimals = DecimalsFor(result.step);
  const double first = std::ceil(lo / result.step - 1e-9);
  for (double k = first; k * result.step <= hi + result.step * 1e-9; k += 1.0) {
    const double value = k * result.step;
    result.values.push_back(value == 0.0 ? 0.0 : value);  // no "-0"
  }
  return result;
}

TimeTicks RoundTimeTicks(double lo, double hi, int most) {
  if (!Usable(lo, hi) || !OnCalendar(lo) || !OnCalendar(hi))
    return {};
  const int room = std::max(1, most - 1);
  const double span = hi - lo;
  for (const double step : kClockSteps) {
    if (span / step <= room)
      return ClockTicks(lo, hi, step);
  }
  for (const int months : kMonthSteps) {
    // A month is at least 28 days: no more ticks than this can come.
    if (span / (months * 28.0 * kDay) <= room)
      return MonthTicks(lo, hi, months);
  }
  const double widest = kMonthSteps.back() * 28.0 * kDay;
  return MonthTicks(lo, hi, kMonthSteps.back() * static_cast<int>(std::ceil(span / room / widest)));
}

std::string TimeReadout(double at) {
  if (!OnCalendar(at))
    return {};
  const Civil civil = CivilOf(MillisOf(at));
  return DateText(civil) + " " + ClockText(civil, 0.001);
}
