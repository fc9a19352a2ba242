#include "science/time_base.h"

#include <gtest/gtest.h>

#include "tests/science/science_test_support.h"

namespace {

using science_test::Local;

struct ClockRow {
  const char* name;
  ClockCorrection clock;
  double t;
  double want;  // corrected
};

// A series from 1000 s to 2000 s (instrument time).
class ClockCorrectionRows : public testing::TestWithParam<ClockRow> {};

TEST_P(ClockCorrectionRows, SubtractsTheErrorOverElapsedTime) {
  const ClockRow& row = GetParam();
  EXPECT_DOUBLE_EQ(row.clock.Corrected(row.t, 1000.0, 2000.0), row.want);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ClockCorrectionRows,
    testing::Values(ClockRow{"None", {}, 1500.0, 1500.0},
                    ClockRow{"OffsetAlone", {2.0, false, 0.0}, 1999.0, 1997.0},
                    ClockRow{"DriftAtFirst", {2.0, true, 12.0}, 1000.0, 998.0},
                    ClockRow{"DriftHalfway", {2.0, true, 12.0}, 1500.0, 1493.0},
                    ClockRow{"DriftAtLast", {2.0, true, 12.0}, 2000.0, 1988.0},
                    ClockRow{"SlowClock", {0.0, true, -4.0}, 1750.0, 1753.0}),
    [](const testing::TestParamInfo<ClockRow>& row) { return std::string(row.param.name); });

TEST(ClockCorrection, ASeriesOfOneInstantTakesTheOffset) {
  const ClockCorrection clock{3.0, true, 9.0};
  EXPECT_DOUBLE_EQ(clock.Corrected(500.0, 500.0, 500.0), 497.0);
}

struct IsoRow {
  double utc;
  const char* milliseconds;
};

class IsoTextRows : public testing::TestWithParam<IsoRow> {};

TEST_P(IsoTextRows, PrintsUtcWithMilliseconds) {
  EXPECT_EQ(IsoUtcMilliseconds(GetParam().utc), GetParam().milliseconds);
}

INSTANTIATE_TEST_SUITE_P(Rows, IsoTextRows,
                         testing::Values(IsoRow{0.0, "1970-01-01T00:00:00.000Z"},
                                         IsoRow{1709294400.125, "2024-03-01T12:00:00.125Z"},
                                         IsoRow{1709294399.9996,
                                                "2024-03-01T12:00:00.000Z"},  // rounds up a second
                                         IsoRow{951782400.0 - 0.5, "2000-02-28T23:59:59.500Z"},
                                         IsoRow{-0.25, "1969-12-31T23:59:59.750Z"},
                                         // Beyond four-digit years printf takes over.
                                         IsoRow{253402300799.5, "9999-12-31T23:59:59.500Z"},
                                         IsoRow{253402300800.0, "10000-01-01T00:00:00.000Z"},
                                         IsoRow{-62167219200.0, "0000-01-01T00:00:00.000Z"},
                                         IsoRow{-62167219201.0, "-001-12-31T23:59:59.000Z"}));

TEST(CivilFromSeconds, LeapDayAndCenturies) {
  const CivilTime leap = CivilFromSeconds(Local(2024, 2, 29, 23, 59, 58));
  EXPECT_EQ(leap.year, 2024);
  EXPECT_EQ(leap.month, 2);
  EXPECT_EQ(leap.day, 29);
  EXPECT_EQ(leap.second, 58);
  const CivilTime far = CivilFromSeconds(Local(2100, 3, 1, 0, 0, 0));
  EXPECT_EQ(far.year, 2100);
  EXPECT_EQ(far.month, 3);
  EXPECT_EQ(far.day, 1);
}

struct ZoneRow {
  const char* zone;
  LocalSeconds stamp;
  double utc;
};

class UtcStampRows : public testing::TestWithParam<ZoneRow> {};

TEST_P(UtcStampRows, ReadsTheStampInTheZone) {
  UtcStamps stamps(Zone::Named(GetParam().zone).value());
  double utc = 0.0;
  ASSERT_TRUE(stamps.ToUtc(GetParam().stamp, &utc));
  EXPECT_DOUBLE_EQ(utc, GetParam().utc);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UtcStampRows,
    testing::Values(
        ZoneRow{"UTC", Local(2024, 3, 1, 12, 0, 0), double(Local(2024, 3, 1, 12, 0, 0))},
        // Winter and summer in Berlin: one and two hours ahead of UTC.
        ZoneRow{"Europe/Berlin", Local(2024, 1, 15, 12, 0, 0),
                double(Local(2024, 1, 15, 11, 0, 0))},
        ZoneRow{"Europe/Berlin", Local(2024, 7, 15, 12, 0, 0),
                double(Local(2024, 7, 15, 10, 0, 0))},
        // The last second before the spring gap and the first after it.
        ZoneRow{"Europe/Berlin", Local(2024, 3, 31, 1, 59, 59),
                double(Local(2024, 3, 31, 0, 59, 59))},
        ZoneRow{"Europe/Berlin", Local(2024, 3, 31, 3, 0, 0), double(Local(2024, 3, 31, 1, 0, 0))},
        ZoneRow{"America/New_York", Local(2024, 11, 3, 12, 0, 0),
                double(Local(2024, 11, 3, 17, 0, 0))}));

// One converter's stamps come near each other and take the offset of the
// span the last one fell in; across the changes of offset they must still
// name what a fresh reading of each gives (the gap moved forward, the
// repeated hour as its first, summer-time instant).
TEST(UtcStamps, NearbyStampsAgreeWithAFreshReadingAcrossOffsetChanges) {
  for (const char* name : {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe"}) {
    const Zone zone = Zone::Named(name).value();
    UtcStamps kept(zone);
    for (const LocalSeconds from : {Local(2024, 3, 30, 12, 0, 0), Local(2024, 10, 26, 12, 0, 0),
                                    Local(2024, 4, 6, 12, 0, 0), Local(2024, 11, 2, 12, 0, 0)}) {
      for (LocalSeconds stamp = from; stamp < from + 2 * 86400; stamp += 7 * 60 + 13) {
        UtcStamps fresh(zone);
        double want = 0.0;
        double got = 0.0;
        ASSERT_TRUE(fresh.ToUtc(stamp, &want));
        ASSERT_TRUE(kept.ToUtc(stamp, &got));
        ASSERT_EQ(got, want) << name << " " << stamp;
      }
    }
  }
}

TEST(UtcStamps, RefusesYearsNoCalendarHolds) {
  UtcStamps stamps;
  double utc = 0.0;
  EXPECT_FALSE(stamps.ToUtc(Local(10000, 1, 1, 0, 0, 0), &utc));
}

TEST(TimeAxis, NoTimeBeforeAStampOrAtRateZero) {
  TimeAxis axis;
  double utc = 0.0;
  science_test::FeedLine line;
  line.values = {1.0};
  line.stamp = Local(2024, 3, 1, 0, 0, 0);
  line.stamped = false;
  EXPECT_FALSE(axis.LineStampUtc(line.View(), &utc));
  line.stamped = true;
  line.sampleRate = 0;
  EXPECT_FALSE(axis.LineStampUtc(line.View(), &utc));
  line.sampleRate = 8;
  EXPECT_TRUE(axis.LineStampUtc(line.View(), &utc));
}

// ISO 8601 durations take no exponent, whatever the length.
TEST(IsoDuration, WritesEveryLengthWithoutAnExponent) {
  const std::pair<double, const char*> rows[] = {{0.25, "PT0.25S"},
                                                 {5.25, "PT5.25S"},
                                                 {1200.0, "PT1200S"},
                                                 {3600.0, "PT3600S"},
                                                 {86400.5, "PT86400.5S"}};
  for (const auto& [seconds, text] : rows)
    EXPECT_EQ(IsoDurationSeconds(seconds), text) << seconds;
}

}  // namespace
