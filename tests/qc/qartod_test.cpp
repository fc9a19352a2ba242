// Each QARTOD test on hand-built series, with every expected flag written
// out. Values and times are sums of halves and quarters, exact in doubles,
// so that "equal to a threshold" is equal.
#include <gtest/gtest.h>

#include <vector>

#include "qc/qartod.h"
#include "qc/reading_qc.h"

namespace {

using Flags = std::vector<int>;

constexpr GrossRangeThresholds kGrossRange{{-1.0, 12.0}, {0.0, 10.0}};
constexpr SpikeThresholds kSpike{0.5, 1.0};
constexpr RateOfChangeThresholds kRateOfChange{0.75};
constexpr FlatLineThresholds kFlatLine{0.25, 2.0, 4.0};

// Readings at one second from t = 0, a logger's run.
std::vector<QcReading> RunOf(const std::vector<double>& values) {
  std::vector<QcReading> readings;
  for (size_t i = 0; i < values.size(); ++i)
    readings.push_back({static_cast<double>(i), values[i], 1.0, -1, false, kFlagGood});
  return readings;
}

// Every reading's flags, in order, from one stream.
std::vector<ReadingFlags> RunTests(const VariableTests& tests,
                                   const std::vector<QcReading>& readings) {
  ReadingQc qc(tests);
  std::vector<ReadingFlags> out;
  ReadingFlags finished;
  for (const QcReading& reading : readings) {
    if (qc.Add(reading, &finished))
      out.push_back(finished);
  }
  if (qc.Flush(&finished))
    out.push_back(finished);
  return out;
}

template <typename Pick>
Flags Column(const std::vector<ReadingFlags>& flags, Pick pick) {
  Flags column;
  for (const ReadingFlags& f : flags)
    column.push_back(pick(f));
  return column;
}

Flags SpikeColumn(const std::vector<ReadingFlags>& f) {
  return Column(f, [](const ReadingFlags& r) { return r.spike; });
}
Flags RateColumn(const std::vector<ReadingFlags>& f) {
  return Column(f, [](const ReadingFlags& r) { return r.rateOfChange; });
}
Flags FlatColumn(const std::vector<ReadingFlags>& f) {
  return Column(f, [](const ReadingFlags& r) { return r.flatLine; });
}
Flags AggregateColumn(const std::vector<ReadingFlags>& f) {
  return Column(f, [](const ReadingFlags& r) { return r.aggregate; });
}

struct GrossRangeRow {
  double value;
  bool atSensorLimit;
  bool configured;
  int flag;
};

class GrossRangeTable : public testing::TestWithParam<GrossRangeRow> {};

TEST_P(GrossRangeTable, FlagsTheValue) {
  const GrossRangeRow& row = GetParam();
  const std::optional<GrossRangeThresholds> thresholds =
      row.configured ? std::optional(kGrossRange) : std::nullopt;
  EXPECT_EQ(GrossRangeFlag(thresholds, row.value, row.atSensorLimit), row.flag);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, GrossRangeTable,
    testing::Values(GrossRangeRow{-1.5, false, true, 4}, GrossRangeRow{-1.0, false, true, 3},
                    GrossRangeRow{-0.5, false, true, 3}, GrossRangeRow{0.0, false, true, 1},
                    GrossRangeRow{10.0, false, true, 1}, GrossRangeRow{10.5, false, true, 3},
                    GrossRangeRow{12.0, false, true, 3}, GrossRangeRow{12.5, false, true, 4},
                    // A count at the sensor's limit.
                    GrossRangeRow{5.0, true, true, 3}, GrossRangeRow{12.5, true, true, 4},
                    GrossRangeRow{5.0, true, false, 3}, GrossRangeRow{5.0, false, false, 2}));

struct SeriesRow {
  const char* name;
  std::vector<QcReading> readings;
  Flags expected;
};

std::string RowName(const testing::TestParamInfo<SeriesRow>& info) {
  return info.param.name;
}

// Three readings, a gap of 8 s, three more.
std::vector<QcReading> SplitByGap(const std::vector<double>& values) {
  std::vector<QcReading> readings = RunOf(values);
  for (size_t i = 3; i < readings.size(); ++i)
    readings[i].time += 8.0;
  return readings;
}

// Readings at one second whose times follow `times`.
std::vector<QcReading> AtTimes(const std::vector<double>& times,
                               const std::vector<double>& values) {
  std::vector<QcReading> readings = RunOf(values);
  for (size_t i = 0; i < readings.size(); ++i)
    readings[i].time = times[i];
  return readings;
}

class SpikeTable : public testing::TestWithParam<SeriesRow> {};

TEST_P(SpikeTable, FlagsEachReading) {
  VariableTests tests;
  tests.spike = kSpike;
  EXPECT_EQ(SpikeColumn(RunTests(tests, GetParam().readings)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Series, SpikeTable,
    testing::Values(
        // Off the neighbours' mean by 0.5 (not beyond suspect), 1.0 (not
        // beyond fail) and 1.5; their neighbours by 0.25, 0.5 and 0.75.
        SeriesRow{"Boundaries",
                  RunOf({0, 0, 0.5, 0, 0, 1.0, 0, 0, 1.5, 0, 0}),
                  {2, 1, 1, 1, 1, 3, 1, 3, 4, 3, 2}},
        SeriesRow{"OneReading", RunOf({7}), {2}}, SeriesRow{"TwoReadings", RunOf({0, 9}), {2, 2}},
        // The jump across the gap is no spike: each side ends its series.
        SeriesRow{"SplitByGap", SplitByGap({0, 0, 0, 9, 9, 9}), {2, 1, 2, 2, 1, 2}},
        SeriesRow{"SplitByBurst",
                  [] {
                    std::vector<QcReading> r = RunOf({0, 0, 0, 9, 9, 9});
                    for (size_t i = 0; i < r.size(); ++i)
                      r[i].burst = i < 3 ? 0 : 1;
                    return r;
                  }(),
                  {2, 1, 2, 2, 1, 2}},
        // A step of two intervals (a stamp one interval late) keeps the
        // series; two and a half breaks it; a time that went back breaks it.
        SeriesRow{"StampOneIntervalLate", AtTimes({0, 1, 3, 4}, {0, 0, 1.5, 0}), {2, 3, 4, 2}},
        SeriesRow{"StampLater", AtTimes({0, 1, 3.5, 4.5}, {0, 0, 1.5, 0}), {2, 2, 2, 2}},
        SeriesRow{"StampBack", AtTimes({0, 1, 0.5, 1.5}, {0, 0, 1.5, 0}), {2, 2, 2, 2}}),
    RowName);

class RateOfChangeTable : public testing::TestWithParam<SeriesRow> {};

TEST_P(RateOfChangeTable, FlagsEachReading) {
  VariableTests tests;
  tests.rateOfChange = kRateOfChange;
  EXPECT_EQ(RateColumn(RunTests(tests, GetParam().readings)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Series, RateOfChangeTable,
    testing::Values(
        // Changes of 0.75 (the threshold, either way), 1.0 and -1.0 a second.
        SeriesRow{"Boundaries", RunOf({0, 0.75, 1.75, 1.75, 1.0, 0}), {1, 1, 3, 1, 1, 3}},
        // Per second, not per reading: 0.5 in half a second is 1.0/s.
        SeriesRow{"HalfSecondSpacing",
                  [] {
                    std::vector<QcReading> r = AtTimes({0, 0.5, 1.0}, {0, 0.375, 0.875});
                    for (QcReading& reading : r)
                      reading.interval = 0.5;
                    return r;
                  }(),
                  {1, 1, 3}},
        SeriesRow{"FirstReadingOfEachSeries", SplitByGap({0, 0, 0, 9, 9, 9}), {1, 1, 1, 1, 1, 1}}),
    RowName);

class FlatLineTable : public testing::TestWithParam<SeriesRow> {};

TEST_P(FlatLineTable, FlagsEachReading) {
  VariableTests tests;
  tests.flatLine = kFlatLine;
  EXPECT_EQ(FlatColumn(RunTests(tests, GetParam().readings)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Series, FlatLineTable,
    testing::Values(
        // Suspect once the series has lasted 2 s, bad at 4 s; a move of
        // 0.25 (the tolerance) is not flat, and ends the flat line until
        // the window has passed it.
        SeriesRow{"Boundaries",
                  RunOf({5, 5, 5, 5, 5, 5, 5.25, 5.25, 5.25, 5.25, 5.25}),
                  {1, 1, 3, 3, 4, 4, 1, 1, 3, 3, 4}},
        // The window holds the reading exactly its span back.
        SeriesRow{"WindowIncludesItsStart", RunOf({0, 1, 1, 1}), {1, 1, 1, 3}},
        SeriesRow{"BelowTolerance", RunOf({5, 5.125, 5, 5.125, 5}), {1, 1, 3, 3, 4}},
        // The series lasts from its own first reading.
        SeriesRow{"SplitByGap", SplitByGap({5, 5, 5, 5, 5, 5}), {1, 1, 3, 1, 1, 3}}),
    RowName);

struct AggregateRow {
  std::vector<QualityFlag> flags;
  int strongest;
};

class AggregateOrder : public testing::TestWithParam<AggregateRow> {};

TEST_P(AggregateOrder, TakesTheStrongest) {
  const std::vector<QualityFlag>& flags = GetParam().flags;
  QualityFlag forward = flags.front();
  QualityFlag backward = flags.back();
  for (size_t i = 0; i < flags.size(); ++i) {
    forward = Strongest(forward, flags[i]);
    backward = Strongest(backward, flags[flags.size() - 1 - i]);
  }
  EXPECT_EQ(forward, GetParam().strongest);
  EXPECT_EQ(backward, GetParam().strongest);
}

INSTANTIATE_TEST_SUITE_P(
    FourThreeOneTwoNine, AggregateOrder,
    testing::Values(
        AggregateRow{{kFlagGood, kFlagBad, kFlagSuspect, kFlagNotEvaluated, kFlagMissing}, 4},
        AggregateRow{{kFlagMissing, kFlagSuspect, kFlagGood, kFlagNotEvaluated}, 3},
        AggregateRow{{kFlagNotEvaluated, kFlagMissing, kFlagGood}, 1},
        AggregateRow{{kFlagMissing, kFlagNotEvaluated}, 2},
        AggregateRow{{kFlagNotEvaluated, kFlagNotEvaluated}, 2}, AggregateRow{{kFlagMissing}, 9}));

struct StreamAggregateRow {
  const char* name;
  bool spike;
  bool flatLine;
  QualityFlag conversion;
  Flags expected;
};

class StreamAggregate : public testing::TestWithParam<StreamAggregateRow> {};

// 0, 0, 3, 0 at one second, the second from a count at the sensor's limit
// (gross range 3): spikes of 1.5 and 3 (bad), changes of 3/s (suspect).
TEST_P(StreamAggregate, CombinesTheConfiguredTests) {
  const StreamAggregateRow& row = GetParam();
  VariableTests tests;
  tests.grossRange = kGrossRange;
  tests.rateOfChange = kRateOfChange;
  if (row.spike)
    tests.spike = kSpike;
  if (row.flatLine)
    tests.flatLine = kFlatLine;
  std::vector<QcReading> readings = RunOf({0, 0, 3, 0});
  for (QcReading& reading : readings)
    reading.conversion = row.conversion;
  readings[1].atSensorLimit = true;
  EXPECT_EQ(AggregateColumn(RunTests(tests, readings)), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, StreamAggregate,
    testing::Values(
        // The spike test's 2 at the ends gives way to the others' 1 and 3.
        StreamAggregateRow{"AllTests", true, true, kFlagGood, {1, 4, 4, 3}},
        StreamAggregateRow{"NoSpikeTest", false, true, kFlagGood, {1, 3, 3, 3}},
        StreamAggregateRow{"ConversionSuspect", false, false, kFlagSuspect, {3, 3, 3, 3}},
        StreamAggregateRow{"ConversionBad", true, false, kFlagBad, {4, 4, 4, 4}}),
    [](const testing::TestParamInfo<StreamAggregateRow>& row) { return row.param.name; });

TEST(StreamAggregate, NoTestConfiguredKeepsTheConversionsFlag) {
  std::vector<QcReading> readings = RunOf({0, 50, 0});
  readings[2].conversion = kFlagSuspect;
  const std::vector<ReadingFlags> flags = RunTests(VariableTests{}, readings);
  EXPECT_EQ(AggregateColumn(flags), (Flags{1, 1, 3}));
  EXPECT_EQ(SpikeColumn(flags), (Flags{2, 2, 2}));
  EXPECT_EQ(Column(flags, [](const ReadingFlags& r) { return r.grossRange; }), (Flags{2, 2, 2}));
}

// Long flat stretches with a window of thousands of readings: the windows'
// rings grow and wrap many times and the flags stay those of the rule.
TEST(FlatLine, LongSeriesAtHighRate) {
  constexpr int kReadings = 20000;
  constexpr double kRate = 16.0;
  FlatLineTest test(FlatLineThresholds{0.25, 60.0, 180.0});
  int wrong = 0;
  for (int i = 0; i < kReadings; ++i) {
    const double time = i / kRate;
    // A step every 200 s: flat for 200 s at a time.
    const double value = static_cast<double>(i / 3200);
    const double sinceStep = static_cast<double>(i % 3200) / kRate;
    const int expected = sinceStep >= 180.0 ? 4 : sinceStep >= 60.0 ? 3 : 1;
    wrong += test.Add(time, value) == expected ? 0 : 1;
  }
  EXPECT_EQ(wrong, 0);
}

struct ProblemRow {
  const char* name;
  std::string problem;
  bool expectProblem;
};

class ThresholdProblems : public testing::TestWithParam<ProblemRow> {};

TEST_P(ThresholdProblems, RefusesWhatCannotBeTested) {
  EXPECT_EQ(!GetParam().problem.empty(), GetParam().expectProblem) << GetParam().problem;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ThresholdProblems,
    testing::Values(
        ProblemRow{"GrossRangeUsable", ThresholdProblem(kGrossRange), false},
        ProblemRow{"FailSpanReversed", ThresholdProblem(GrossRangeThresholds{{12, -1}, {0, 10}}),
                   true},
        ProblemRow{"SuspectOutsideFail", ThresholdProblem(GrossRangeThresholds{{0, 10}, {-1, 10}}),
                   true},
        ProblemRow{"SuspectEqualsFail", ThresholdProblem(GrossRangeThresholds{{0, 10}, {0, 10}}),
                   false},
        ProblemRow{"SpikeUsable", ThresholdProblem(kSpike), false},
        ProblemRow{"SpikeFailBelowSuspect", ThresholdProblem(SpikeThresholds{1.0, 0.5}), true},
        ProblemRow{"RateNegative", ThresholdProblem(RateOfChangeThresholds{-0.5}), true},
        ProblemRow{"FlatLineUsable", ThresholdProblem(kFlatLine), false},
        ProblemRow{"FlatLineNoTolerance", ThresholdProblem(FlatLineThresholds{0, 60, 180}), true},
        ProblemRow{"FlatLineFailBeforeSuspect", ThresholdProblem(FlatLineThresholds{0.1, 180, 60}),
                   true}),
    [](const testing::TestParamInfo<ProblemRow>& row) { return row.param.name; });

}  // namespace
