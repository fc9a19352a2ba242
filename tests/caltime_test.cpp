// Local calendar time: conversions honour TZ, refuse impossible dates, and
// the zone can be pinned without changing which zone is used.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "runtime/caltime.h"

namespace {

class CalendarTime : public testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    hadTz_ = tz != nullptr;
    if (hadTz_)
      saved_ = tz;
  }
  void TearDown() override {
    if (hadTz_) {
      setenv("TZ", saved_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  static void UseZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

 private:
  bool hadTz_ = false;
  std::string saved_;
};

std::string Local(AbsoluteTime time) {
  int y, mo, d, h, mi, s;
  double fraction;
  AbsoluteTimeToLocalCalendar(time, &y, &mo, &d, &h, &mi, &s, &fraction, nullptr);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
  return text;
}

}  // namespace

TEST_F(CalendarTime, RoundTripsAndStepsInTheZoneOfTZ) {
  UseZone("CET-1CEST,M3.5.0,M10.5.0/3");
  AbsoluteTime time;
  ASSERT_EQ(AbsoluteTimeFromLocalCalendar(2019, 6, 30, 14, 5, 30, 0.0, &time), 0);
  EXPECT_EQ(time.seconds, 1561896330);  // 12:05:30 UTC, summer time
  EXPECT_EQ(Local(time), "2019-06-30T14:05:30");
  // Across the autumn change the wall clock repeats an hour.
  ASSERT_EQ(AbsoluteTimeFromLocalCalendar(2019, 10, 27, 1, 30, 0, 0.0, &time), 0);
  TimeInterval hour;
  ASSERT_EQ(TimeIntervalFromSeconds(3600, &hour), 0);
  AddToAbsoluteTime(time, hour, &time);
  EXPECT_EQ(Local(time), "2019-10-27T02:30:00");
  AddToAbsoluteTime(time, hour, &time);
  EXPECT_EQ(Local(time), "2019-10-27T02:30:00");
  UseZone("UTC");
  EXPECT_EQ(Local(time), "2019-10-27T01:30:00");
}

TEST_F(CalendarTime, ImpossibleDatesAreRefusedAndLeaveTheTimeAlone) {
  UseZone("UTC");
  AbsoluteTime time{42, 0.0};
  const int kBad[][6] = {{2019, 13, 1, 0, 0, 0}, {2019, 0, 1, 0, 0, 0},  {2019, 4, 31, 0, 0, 0},
                         {2019, 2, 29, 0, 0, 0}, {2020, 2, 30, 0, 0, 0}, {2019, 1, 1, 24, 0, 0},
                         {2019, 1, 1, 0, 60, 0}, {2019, 1, 1, 0, 0, 60}, {2019, 1, 1, -1, 0, 0},
                         {10000, 1, 1, 0, 0, 0}, {0, 1, 1, 0, 0, 0}};
  for (const auto& f : kBad) {
    EXPECT_LT(AbsoluteTimeFromLocalCalendar(f[0], f[1], f[2], f[3], f[4], f[5], 0.0, &time), 0)
        << f[0] << "-" << f[1] << "-" << f[2] << " " << f[3] << ":" << f[4] << ":" << f[5];
    EXPECT_EQ(time.seconds, 42);
  }
  EXPECT_EQ(AbsoluteTimeFromLocalCalendar(2020, 2, 29, 23, 59, 59, 0.0, &time), 0);
}

TEST_F(CalendarTime, PinningFillsOnlyAnUnsetZone) {
  unsetenv("TZ");
  tzset();
  AbsoluteTime before;
  ASSERT_EQ(AbsoluteTimeFromLocalCalendar(2019, 6, 30, 14, 5, 30, 0.0, &before), 0);
  PinLocalTimeZone();
  ASSERT_NE(std::getenv("TZ"), nullptr);
  EXPECT_STREQ(std::getenv("TZ"), ":/etc/localtime");
  AbsoluteTime after;
  ASSERT_EQ(AbsoluteTimeFromLocalCalendar(2019, 6, 30, 14, 5, 30, 0.0, &after), 0);
  EXPECT_EQ(before.seconds, after.seconds);  // the same zone as before
  UseZone("Asia/Tokyo");
  PinLocalTimeZone();
  EXPECT_STREQ(std::getenv("TZ"), "Asia/Tokyo");
}
