// The preview's axes and its data from the reading listener.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "desktop/chart_ticks.h"
#include "desktop/preview_listener.h"
#include "desktop/preview_series.h"

namespace {

// Seconds of a date and time on a calendar with no zone.
double At(int year, unsigned month, unsigned day, int hour = 0, int minute = 0,
          double second = 0.0) {
  const std::chrono::sys_days date{std::chrono::year{year} / std::chrono::month{month} /
                                   std::chrono::day{day}};
  return static_cast<double>(date.time_since_epoch().count()) * 86400.0 + hour * 3600.0 +
         minute * 60.0 + second;
}

std::vector<std::string> Labels(const TimeTicks& ticks) {
  std::vector<std::string> labels;
  for (const TimeTick& tick : ticks.ticks)
    labels.push_back(tick.label);
  return labels;
}

struct TimeCase {
  const char* name;
  double lo;
  double hi;
  int most;
  std::vector<std::string> labels;
};

class RoundTimes : public testing::TestWithParam<TimeCase> {};

TEST_P(RoundTimes, FallOnRoundTimesWithTheDateWhereItChanges) {
  const TimeCase& c = GetParam();
  EXPECT_EQ(Labels(RoundTimeTicks(c.lo, c.hi, c.most)), c.labels);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RoundTimes,
    testing::Values(
        TimeCase{"HalfMinutes",
                 At(2019, 6, 30, 12, 0, 7),
                 At(2019, 6, 30, 12, 1, 47),
                 6,
                 {"2019-06-30 12:00:30", "12:01:00", "12:01:30"}},
        TimeCase{"HoursAcrossMidnight",
                 At(2019, 6, 30, 22),
                 At(2019, 7, 1, 4),
                 4,
                 {"2019-06-30 22:00", "2019-07-01 00:00", "2019-07-01 02:00", "2019-07-01 04:00"}},
        TimeCase{"HalfSeconds",
                 At(2019, 6, 30, 12, 0, 0.1),
                 At(2019, 6, 30, 12, 0, 2.4),
                 6,
                 {"2019-06-30 12:00:00.5", "12:00:01.0", "12:00:01.5", "12:00:02.0"}},
        TimeCase{"Milliseconds",
                 At(2019, 6, 30, 12, 0, 0.0004),
                 At(2019, 6, 30, 12, 0, 0.0036),
                 5,
                 {"2019-06-30 12:00:00.001", "12:00:00.002", "12:00:00.003"}},
        TimeCase{"Days",
                 At(2019, 6, 29, 6),
                 At(2019, 7, 3, 18),
                 6,
                 {"2019-06-30", "2019-07-01", "2019-07-02", "2019-07-03"}},
        TimeCase{
            "Quarters", At(2019, 1, 15), At(2019, 12, 20), 6, {"2019-04", "2019-07", "2019-10"}},
        TimeCase{"Years", At(2010, 3, 1), At(2019, 3, 1), 6, {"2012", "2014", "2016", "2018"}},
        TimeCase{"BeforeNineteenSeventy",
                 At(1969, 12, 31, 23, 59, 10),
                 At(1970, 1, 1, 0, 0, 50),
                 6,
                 {"1969-12-31 23:59:30", "1970-01-01 00:00:00", "1970-01-01 00:00:30"}},
        // Far from 1970, lo / step rounds: the tick on lo still counts once.
        TimeCase{"StartsOnATick",
                 At(2019, 6, 30, 9),
                 At(2019, 6, 30, 9, 0, 30),
                 5,
                 {"2019-06-30 09:00:00", "09:00:10", "09:00:20", "09:00:30"}},
        TimeCase{"WithinOneDay",
                 At(2019, 6, 30, 1),
                 At(2019, 6, 30, 23),
                 5,
                 {"2019-06-30 06:00", "12:00", "18:00"}}),
    [](const testing::TestParamInfo<TimeCase>& row) { return row.param.name; });

// Over spans from a millisecond to decades: never more ticks than asked
// for, inside the range, in order, and labels a category axis can hold
// (no two alike).
class TimeTickLimits : public testing::TestWithParam<double> {};

TEST_P(TimeTickLimits, FewEnoughInOrderAndDistinct) {
  const double lo = At(2019, 6, 30, 13, 17, 23.123);
  for (const int most : {2, 3, 5, 8, 12}) {
    const TimeTicks ticks = RoundTimeTicks(lo, lo + GetParam(), most);
    EXPECT_LE(static_cast<int>(ticks.ticks.size()), most) << GetParam() << " s, " << most;
    std::set<std::string> seen;
    double previous = lo - 1.0;
    for (const TimeTick& tick : ticks.ticks) {
      EXPECT_GE(tick.at, lo);
      EXPECT_LE(tick.at, lo + GetParam());
      EXPECT_GT(tick.at, previous);
      previous = tick.at;
      EXPECT_TRUE(seen.insert(tick.label).second) << tick.label;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Spans, TimeTickLimits,
                         testing::Values(0.001, 0.0137, 0.9, 7.3, 59.0, 61.0, 3599.0, 7300.0,
                                         86399.0, 200000.0, 2419169.8, 3.2e7, 9.5e8));

TEST(RoundTimes, NothingForRangesOffTheCalendar) {
  EXPECT_TRUE(RoundTimeTicks(10.0, 10.0, 5).ticks.empty());
  EXPECT_TRUE(RoundTimeTicks(0.0, 1e300, 5).ticks.empty());
  EXPECT_TRUE(RoundTimeTicks(0.0, std::nan(""), 5).ticks.empty());
  EXPECT_EQ(TimeReadout(1e300), "");
}

TEST(RoundTimes, ReadoutToTheMillisecond) {
  EXPECT_EQ(TimeReadout(At(2019, 6, 30, 14, 5, 30.25)), "2019-06-30 14:05:30.250");
  EXPECT_EQ(TimeReadout(At(2019, 6, 30, 23, 59, 59.9996)), "2019-07-01 00:00:00.000");
}

struct ValueCase {
  const char* name;
  double lo;
  double hi;
  int most;
  std::vector<double> values;
  int decimals;
};

class NiceValues : public testing::TestWithParam<ValueCase> {};

TEST_P(NiceValues, StepOfOneTwoOrFiveTimesAPowerOfTen) {
  const ValueCase& c = GetParam();
  const ValueTicks ticks = NiceValueTicks(c.lo, c.hi, c.most);
  ASSERT_EQ(ticks.values.size(), c.values.size());
  for (size_t i = 0; i < c.values.size(); ++i)
    EXPECT_NEAR(ticks.values[i], c.values[i], 1e-9 * (1.0 + std::abs(c.values[i])));
  EXPECT_EQ(ticks.decimals, c.decimals);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, NiceValues,
    testing::Values(ValueCase{"Twos", 0.0, 10.0, 6, {0, 2, 4, 6, 8, 10}, 0},
                    ValueCase{"Halves", -0.2, 2.0, 6, {0, 0.5, 1.0, 1.5, 2.0}, 1},
                    ValueCase{"AcrossZero", -1.0, 1.0, 5, {-1, -0.5, 0, 0.5, 1}, 1},
                    ValueCase{"Large", 1234.5, 1240.2, 5, {1236, 1238, 1240}, 0},
                    ValueCase{"Thousandths", 0.0005, 0.0045, 5, {0.001, 0.002, 0.003, 0.004}, 3},
                    ValueCase{"Millions", 0.0, 2.4e6, 6, {0, 5e5, 1e6, 1.5e6, 2e6}, 0}),
    [](const testing::TestParamInfo<ValueCase>& row) { return row.param.name; });

TEST(NiceValues, NoMinusZeroAndNothingForAnEmptyRange) {
  const ValueTicks ticks = NiceValueTicks(-1.0, 1.0, 3);
  for (const double value : ticks.values)
    EXPECT_FALSE(value == 0.0 && std::signbit(value));
  EXPECT_TRUE(NiceValueTicks(3.0, 3.0, 5).values.empty());
}

// A line of readings as the engine hands it out.
struct Line {
  std::vector<double> values;
  ReadingLine reading;
};

Line Readings(std::vector<double> values, double stamp, int64_t since, int rate, int64_t burst = -1,
              bool stamped = true) {
  Line line{std::move(values), {}};
  line.reading.values = line.values.data();
  line.reading.count = static_cast<int>(line.values.size());
  line.reading.stamped = stamped;
  line.reading.stamp = static_cast<LocalSeconds>(stamp);
  line.reading.sinceStamp = since;
  line.reading.sampleRate = rate;
  line.reading.burst = burst;
  return line;
}

TEST(PreviewListener, PlacesEveryReadingAtItsOwnTime) {
  const double stamp = At(2019, 6, 30, 12);
  PreviewListener listener(false);
  const Line first = Readings({1.0, 2.0, 3.0, 4.0}, stamp, 0, 4);
  const Line second = Readings({5.0, -6.0}, stamp, 4, 4);
  listener.OnReadings(first.reading);
  listener.OnFillers(3, 100, 2);
  listener.OnReadings(second.reading);
  const PreviewSeries series = listener.Finish();
  EXPECT_EQ(series.envelope.Points(), 6);
  EXPECT_DOUBLE_EQ(series.envelope.FirstX(), stamp);
  EXPECT_DOUBLE_EQ(series.envelope.LastX(), stamp + 5 * 0.25);
  EXPECT_FLOAT_EQ(series.envelope.MinY(), -6.0f);
  EXPECT_FLOAT_EQ(series.envelope.MaxY(), 5.0f);
  EXPECT_DOUBLE_EQ(series.pointSpacing, 0.25);
  EXPECT_EQ(series.fillers, 2);
  ASSERT_EQ(series.marks.size(), 1u);  // one date stamp
  EXPECT_EQ(series.marks[0].label, "2019-06-30 12:00:00");
  EXPECT_DOUBLE_EQ(series.marks[0].x, stamp);
  EXPECT_TRUE(series.error.empty());
}

TEST(PreviewListener, GaugeBurstsAreMarkedAtTheirRealTimesEvenUnderOneStamp) {
  const double stamp = At(2019, 6, 30, 12);
  PreviewListener listener(true);
  const Line burst0 = Readings({0.5, 0.7}, stamp, 0, 2, 0);
  const Line burst1 = Readings({0.9}, stamp, 0, 2, 1);  // same stamp, a new burst
  const Line burst2 = Readings({1.1}, stamp + 3600, 0, 2, 2);
  for (const Line* line : {&burst0, &burst1, &burst2})
    listener.OnReadings(line->reading);
  const PreviewSeries series = listener.Finish();
  EXPECT_EQ(series.title, "Gauge values");
  EXPECT_EQ(series.markCount, 3);
  EXPECT_DOUBLE_EQ(series.envelope.LastX(), stamp + 3600);
}

TEST(PreviewListener, ReadingsBeforeAnyStampAreCountedNotDrawn) {
  PreviewListener listener(false);
  const Line early = Readings({1.0, 2.0}, 0, 0, 1, -1, false);
  listener.OnReadings(early.reading);
  PreviewSeries series = listener.Finish();
  EXPECT_EQ(series.unplaced, 2);
  EXPECT_TRUE(series.envelope.Empty());
  EXPECT_EQ(series.error, "The conversion gave no reading a time to draw it at.");
}

// Many date stamps: a bounded number of marks, spread from the first to
// near the last, and every stamp counted; the buckets stay as many.
TEST(PreviewListener, MarksStayBoundedAndSpreadOverTheWholeConversion) {
  const double start = At(2019, 6, 1);
  constexpr int kStamps = 9000;
  PreviewListener listener(false);
  for (int i = 0; i < kStamps; ++i) {
    const Line line = Readings({static_cast<double>(i % 7)}, start + 60.0 * i, 0, 1);
    listener.OnReadings(line.reading);
  }
  const PreviewSeries series = listener.Finish();
  EXPECT_EQ(series.markCount, kStamps);
  EXPECT_LE(series.marks.size(), kMarksKept);
  EXPECT_GE(series.marks.size(), kMarksKept / 2);
  EXPECT_DOUBLE_EQ(series.marks.front().x, start);
  EXPECT_GT(series.marks.back().x, start + 60.0 * kStamps * 0.99);
  for (size_t i = 1; i < series.marks.size(); ++i)
    EXPECT_GT(series.marks[i].x, series.marks[i - 1].x);
  EXPECT_EQ(series.envelope.Buckets().size(), size_t{1} << 16);
}

// --- A long line drawn as its envelope per pixel column ---

// A wave-like line of `n` points one segment (1800 s) apart, with one spike
// up and one down that an envelope must keep.
std::vector<LinePoint> SegmentLine(size_t n, size_t spikeUp, size_t spikeDown) {
  std::vector<LinePoint> line(n);
  for (size_t i = 0; i < n; ++i) {
    const double x = 1.7e9 + 1800.0 * static_cast<double>(i);
    line[i] = {x, 1.0 + 0.5 * std::sin(static_cast<double>(i) * 0.01)};
  }
  line[spikeUp].y = 40.0;
  line[spikeDown].y = -3.0;
  return line;
}

struct EnvelopeCase {
  const char* name;
  size_t points;
  double fromShare;  // the range drawn, as shares of the line's x span
  double toShare;
  int columns;
  bool thinned;  // whether fewer points than the range holds are drawn
};

class LineEnvelopes : public testing::TestWithParam<EnvelopeCase> {};

TEST_P(LineEnvelopes, StayBoundedAndKeepEveryColumnsExtremes) {
  const EnvelopeCase& c = GetParam();
  const size_t up = c.points / 3;
  const size_t down = c.points * 2 / 3;
  const std::vector<LinePoint> line = SegmentLine(c.points, up, down);
  const double span = line.back().x - line.front().x;
  const double from = line.front().x + c.fromShare * span;
  const double to = line.front().x + c.toShare * span;
  const std::vector<LinePoint> drawn = LineEnvelope(line, from, to, c.columns);

  size_t inside = 0;
  for (const LinePoint& p : line)
    inside += (p.x >= from && p.x <= to) ? 1 : 0;
  // Two per column at most, and the neighbour outside each end.
  if (c.thinned)
    EXPECT_LE(drawn.size(), 2 * static_cast<size_t>(c.columns) + 2);
  else
    EXPECT_GE(drawn.size(), inside);
  for (size_t i = 1; i < drawn.size(); ++i)
    ASSERT_LT(drawn[i - 1].x, drawn[i].x) << "point " << i;
  // Each column's lowest and highest point is among those drawn.
  const double columnWidth = (to - from) / c.columns;
  std::vector<double> low(static_cast<size_t>(c.columns), 1e300);
  std::vector<double> high(static_cast<size_t>(c.columns), -1e300);
  for (const LinePoint& p : line) {
    if (p.x < from || p.x > to)
      continue;
    const auto column = static_cast<size_t>(
        std::clamp(static_cast<int>((p.x - from) / columnWidth), 0, c.columns - 1));
    low[column] = std::min(low[column], p.y);
    high[column] = std::max(high[column], p.y);
  }
  std::set<double> drawnY;
  for (const LinePoint& p : drawn)
    drawnY.insert(p.y);
  for (size_t column = 0; column < low.size(); ++column) {
    if (low[column] > high[column])
      continue;
    EXPECT_TRUE(drawnY.count(low[column])) << "column " << column << " low " << low[column];
    EXPECT_TRUE(drawnY.count(high[column])) << "column " << column << " high " << high[column];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineEnvelopes,
    testing::Values(EnvelopeCase{"MonthsOfSegmentsWhole", 155000, 0.0, 1.0, 900, true},
                    EnvelopeCase{"ZoomedIntoTheMiddle", 155000, 0.30, 0.35, 700, true},
                    EnvelopeCase{"ZoomedUntilFewAreLeft", 155000, 0.330, 0.335, 700, false},
                    EnvelopeCase{"ShortLineDrawnWhole", 1500, 0.0, 1.0, 900, false},
                    EnvelopeCase{"MoreColumnsThanPointsShown", 5000, 0.0, 1.0, 4000, false}),
    [](const testing::TestParamInfo<EnvelopeCase>& row) { return row.param.name; });

// The line runs on past both edges of a zoomed range, and an empty range
// outside the line still draws its nearest point.
TEST(LineEnvelope, KeepsTheNearestPointBeyondEachEdge) {
  const std::vector<LinePoint> line = SegmentLine(10000, 10, 20);
  const std::vector<LinePoint> drawn = LineEnvelope(line, line[4000].x + 1.0, line[6000].x, 300);
  ASSERT_FALSE(drawn.empty());
  EXPECT_DOUBLE_EQ(drawn.front().x, line[4000].x);
  EXPECT_DOUBLE_EQ(drawn.back().x, line[6001].x);
  const std::vector<LinePoint> beyond =
      LineEnvelope(line, line.back().x + 10.0, line.back().x + 20.0, 300);
  ASSERT_EQ(beyond.size(), 1u);
  EXPECT_DOUBLE_EQ(beyond.front().x, line.back().x);
}

}  // namespace
