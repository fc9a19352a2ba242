// Local calendar time in a zone given as a value: conversions both ways,
// impossible dates refused, the edges of daylight saving as documented, and
// the zone names users give in $TZ.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "runtime/caltime.h"
#include "runtime/time_zone.h"
#include "tests/test_support.h"

namespace {

Zone NamedZone(const char* name) {
  return Zone::Named(name).value();
}

std::string Local(ZoneOffsets* zone, AbsoluteTime time) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  double fraction = 0.0;
  if (AbsoluteTimeToLocalCalendar(zone, time, &y, &mo, &d, &h, &mi, &s, &fraction, nullptr) != 0)
    return "refused";
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
  return text;
}

}  // namespace

TEST(CalendarTime, RoundTripsAndStepsInTheZoneGiven) {
  ZoneOffsets berlin(NamedZone("Europe/Berlin"));
  AbsoluteTime time;
  ASSERT_EQ(AbsoluteTimeFromLocalCalendar(&berlin, 2019, 6, 30, 14, 5, 30, 0.0, &time), 0);
  EXPECT_EQ(time.seconds, 1561896330);  // 12:05:30 UTC, summer time
  EXPECT_EQ(Local(&berlin, time), "2019-06-30T14:05:30");
  // Across the autumn change the wall clock repeats an hour.
  ASSERT_EQ(AbsoluteTimeFromLocalCalendar(&berlin, 2019, 10, 27, 1, 30, 0, 0.0, &time), 0);
  TimeInterval hour;
  ASSERT_EQ(TimeIntervalFromSeconds(3600, &hour), 0);
  AddToAbsoluteTime(time, hour, &time);
  EXPECT_EQ(Local(&berlin, time), "2019-10-27T02:30:00");
  AddToAbsoluteTime(time, hour, &time);
  EXPECT_EQ(Local(&berlin, time), "2019-10-27T02:30:00");
  ZoneOffsets utc{Zone()};
  EXPECT_EQ(Local(&utc, time), "2019-10-27T01:30:00");
}

TEST(CalendarTime, ImpossibleDatesAreRefusedAndLeaveTheTimeAlone) {
  ZoneOffsets utc{Zone()};
  AbsoluteTime time{42, 0.0};
  const int kBad[][6] = {{2019, 13, 1, 0, 0, 0}, {2019, 0, 1, 0, 0, 0},  {2019, 4, 31, 0, 0, 0},
                         {2019, 2, 29, 0, 0, 0}, {2020, 2, 30, 0, 0, 0}, {2019, 1, 1, 24, 0, 0},
                         {2019, 1, 1, 0, 60, 0}, {2019, 1, 1, 0, 0, 60}, {2019, 1, 1, -1, 0, 0},
                         {10000, 1, 1, 0, 0, 0}, {0, 1, 1, 0, 0, 0}};
  for (const auto& f : kBad) {
    EXPECT_LT(AbsoluteTimeFromLocalCalendar(&utc, f[0], f[1], f[2], f[3], f[4], f[5], 0.0, &time),
              0)
        << f[0] << "-" << f[1] << "-" << f[2] << " " << f[3] << ":" << f[4] << ":" << f[5];
    EXPECT_EQ(time.seconds, 42);
  }
  EXPECT_EQ(AbsoluteTimeFromLocalCalendar(&utc, 2020, 2, 29, 23, 59, 59, 0.0, &time), 0);
  EXPECT_EQ(AbsoluteTimeFromLocalCalendar(&utc, 1, 1, 1, 0, 0, 0, 0.0, &time), 0);
  EXPECT_EQ(time.seconds, -62135596800);
  EXPECT_EQ(Local(&utc, time), "0001-01-01T00:00:00");
}

// A local stamp at the edges of daylight saving in Berlin: one in the
// spring gap moves forward (its offset is the one before the gap), one in
// the repeated autumn hour is its first, summer-time instant. Each is read
// by a fresh zone and by zones whose last span lay either side of it.
struct EdgeRow {
  const char* what;
  int fields[6];
  int64_t utc;
  const char* readBack;
};

class DaylightSavingEdges : public testing::TestWithParam<EdgeRow> {};

TEST_P(DaylightSavingEdges, FollowTheDocumentedChoice) {
  const EdgeRow& row = GetParam();
  const int* f = row.fields;
  constexpr int64_t kDay = 86400;
  ZoneOffsets fresh(NamedZone("Europe/Berlin"));
  ZoneOffsets keptBefore(NamedZone("Europe/Berlin"));  // last used a day before the change
  ZoneOffsets keptAfter(NamedZone("Europe/Berlin"));   // and a day after it
  keptBefore.LocalFromUtc(row.utc - kDay);
  keptAfter.LocalFromUtc(row.utc + kDay);
  for (ZoneOffsets* zone : {&fresh, &keptBefore, &keptAfter}) {
    AbsoluteTime time;
    ASSERT_EQ(AbsoluteTimeFromLocalCalendar(zone, f[0], f[1], f[2], f[3], f[4], f[5], 0.0, &time),
              0);
    EXPECT_EQ(time.seconds, row.utc);
    EXPECT_EQ(Local(zone, time), row.readBack);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Berlin, DaylightSavingEdges,
    testing::Values(
        EdgeRow{"last second before the gap",
                {2024, 3, 31, 1, 59, 59},
                1711846799,
                "2024-03-31T01:59:59"},
        EdgeRow{
            "first second of the gap", {2024, 3, 31, 2, 0, 0}, 1711846800, "2024-03-31T03:00:00"},
        EdgeRow{"middle of the gap", {2024, 3, 31, 2, 30, 0}, 1711848600, "2024-03-31T03:30:00"},
        EdgeRow{
            "last second of the gap", {2024, 3, 31, 2, 59, 59}, 1711850399, "2024-03-31T03:59:59"},
        EdgeRow{"first second after the gap",
                {2024, 3, 31, 3, 0, 0},
                1711846800,
                "2024-03-31T03:00:00"},
        EdgeRow{"before the repeated hour",
                {2024, 10, 27, 1, 59, 59},
                1729987199,
                "2024-10-27T01:59:59"},
        EdgeRow{"start of the repeated hour",
                {2024, 10, 27, 2, 0, 0},
                1729987200,
                "2024-10-27T02:00:00"},
        EdgeRow{"middle of the repeated hour",
                {2024, 10, 27, 2, 30, 0},
                1729989000,
                "2024-10-27T02:30:00"},
        EdgeRow{"end of the repeated hour",
                {2024, 10, 27, 2, 59, 59},
                1729990799,
                "2024-10-27T02:59:59"},
        EdgeRow{
            "after the repeated hour", {2024, 10, 27, 3, 0, 0}, 1729994400, "2024-10-27T03:00:00"}),
    [](const testing::TestParamInfo<EdgeRow>& row) {
      std::string name = row.param.what;
      for (char& c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

// The fields come from the zone's offset where it holds; they must be those
// localtime_r gives, across changes of offset, in zones that change by half
// an hour or sit half an hour off.
TEST(CalendarTime, FieldsAreLocaltimesAcrossChangesOfOffset) {
  const struct {
    const char* zone;
    int64_t around;  // a change of offset, seconds since 1970
  } cases[] = {
      {"Europe/Berlin", 1572138000},        // 2019-10-27 01:00 UTC, back
      {"Europe/Berlin", 1553994000},        // 2019-03-31 01:00 UTC, forward
      {"Australia/Lord_Howe", 1554561000},  // half-hour change
      {"America/St_Johns", 1573356600},     // -3:30, back
      {"UTC", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.zone);
    const zorq_test::CLibraryZone library(c.zone);
    ZoneOffsets zone(NamedZone(c.zone));
    // 7 s steps, a logger record's, over four hours around the change.
    for (int64_t t = c.around - 7200; t <= c.around + 7200; t += 7) {
      int y, mo, d, h, mi, s, wd;
      double fraction;
      ASSERT_EQ(AbsoluteTimeToLocalCalendar(&zone, AbsoluteTime{t, 0.0}, &y, &mo, &d, &h, &mi, &s,
                                            &fraction, &wd),
                0);
      const std::time_t time = static_cast<std::time_t>(t);
      std::tm want{};
      ASSERT_NE(localtime_r(&time, &want), nullptr);
      ASSERT_EQ(std::vector<int>({y, mo, d, h, mi, s, wd}),
                std::vector<int>({want.tm_year + 1900, want.tm_mon + 1, want.tm_mday, want.tm_hour,
                                  want.tm_min, want.tm_sec, want.tm_wday}))
          << "at " << t;
    }
  }
}

// Past 2037 the database lists no changes; the zone's rule goes on, as the
// C library applies it: noon of every day and every sixth hour of far years.
TEST(CalendarTime, FarYearsFollowTheZonesRuleAsTheCLibraryDoes) {
  for (const char* name : {"Europe/Berlin", "America/New_York", "Australia/Sydney"}) {
    const zorq_test::CLibraryZone library(name);
    ZoneOffsets zone(NamedZone(name));
    for (const int year : {2037, 2038, 2050, 2099, 2100, 2400, 9999}) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(year));
      AbsoluteTime day;
      ASSERT_EQ(AbsoluteTimeFromLocalCalendar(&zone, year, 1, 1, 12, 0, 0, 0.0, &day), 0);
      for (int i = 0; i < 365; ++i) {
        const std::time_t noon = static_cast<std::time_t>(day.seconds + i * 86400);
        std::tm fields{};
        ASSERT_NE(localtime_r(&noon, &fields), nullptr);
        fields.tm_hour = 12;
        fields.tm_isdst = -1;
        AbsoluteTime got;
        ASSERT_EQ(AbsoluteTimeFromLocalCalendar(&zone, fields.tm_year + 1900, fields.tm_mon + 1,
                                                fields.tm_mday, 12, 0, 0, 0.0, &got),
                  0);
        ASSERT_EQ(got.seconds, static_cast<int64_t>(std::mktime(&fields))) << "day " << i;
        for (int64_t hour = 0; hour < 24; hour += 6) {
          const std::time_t t = static_cast<std::time_t>(day.seconds + i * 86400 + hour * 3600);
          std::tm want{};
          ASSERT_NE(localtime_r(&t, &want), nullptr);
          ASSERT_EQ(zone.LocalFromUtc(t) - t, want.tm_gmtoff) << "at " << t;
        }
      }
    }
  }
}

// What users give in $TZ or --tz: which values name a zone, and which one.
struct TzValueRow {
  const char* value;
  const char* zone;  // the name it reads as; null when refused
  int64_t offsetInJuly;
};

class TzValues : public testing::TestWithParam<TzValueRow> {};

TEST_P(TzValues, NameTheZoneOrAreRefused) {
  const TzValueRow& row = GetParam();
  const std::optional<Zone> zone = Zone::FromTzValue(row.value);
  if (row.zone == nullptr) {
    EXPECT_FALSE(zone.has_value()) << zone->name();
    return;
  }
  ASSERT_TRUE(zone.has_value());
  EXPECT_EQ(zone->name(), row.zone);
  ZoneOffsets offsets(*zone);
  const int64_t julyNoonUtc = 1720958400;  // 2024-07-14 12:00 UTC
  EXPECT_EQ(offsets.LocalFromUtc(julyNoonUtc) - julyNoonUtc, row.offsetInJuly);
}

INSTANTIATE_TEST_SUITE_P(
    Values, TzValues,
    testing::Values(TzValueRow{"", "UTC", 0}, TzValueRow{"UTC", "UTC", 0},
                    TzValueRow{"Europe/Berlin", "Europe/Berlin", 7200},
                    TzValueRow{":Europe/Berlin", "Europe/Berlin", 7200},
                    TzValueRow{":/usr/share/zoneinfo/Asia/Tokyo", "Asia/Tokyo", 32400},
                    TzValueRow{"UTC0", "UTC0", 0}, TzValueRow{"<+03>-3", "<+03>-3", 10800},
                    TzValueRow{"EST5", "EST5", -18000},
                    TzValueRow{"<-0330>3:30", "<-0330>3:30", -12600},
                    TzValueRow{"Europe/Berln", nullptr, 0}, TzValueRow{":", nullptr, 0},
                    TzValueRow{":UTC0", nullptr, 0}, TzValueRow{"../etc/passwd", nullptr, 0},
                    TzValueRow{":/etc/passwd", nullptr, 0},
                    TzValueRow{"CET-1CEST,M3.5.0,M10.5.0/3", nullptr, 0},
                    TzValueRow{"UTC0x", nullptr, 0}, TzValueRow{"U0", nullptr, 0}));

// ":/etc/localtime", the name the C library gives the system's zone, is
// the system's zone.
TEST(TzValues, TheLocaltimeFileIsTheSystemZone) {
  const std::optional<Zone> zone = Zone::FromTzValue(":/etc/localtime");
  ASSERT_TRUE(zone.has_value());
  EXPECT_EQ(zone->name(), Zone::System().name());
}
