// Local calendar time: conversions honour TZ, refuse impossible dates, and
// the zone can be pinned without changing which zone is used.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

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

// The fields come from the zone's offset where it holds; they must be those
// localtime_r gives, across changes of offset, in zones that change by half
// an hour or sit half an hour off, and after TZ names another zone.
TEST_F(CalendarTime, FieldsAreLocaltimesAcrossChangesOfOffset) {
  const struct {
    const char* zone;
    int64_t around;  // a change of offset, seconds since 1970
  } cases[] = {
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1572138000},            // 2019-10-27 01:00 UTC, back
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1553994000},            // 2019-03-31 01:00 UTC, forward
      {"<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", 1554561000},  // half-hour change
      {"NST3:30NDT,M3.2.0,M11.1.0", 1573356600},             // -3:30, back
      {"UTC", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.zone);
    UseZone(c.zone);
    // 7 s steps, a logger record's, over four hours around the change.
    for (int64_t t = c.around - 7200; t <= c.around + 7200; t += 7) {
      int y, mo, d, h, mi, s, wd;
      double fraction;
      ASSERT_EQ(AbsoluteTimeToLocalCalendar(AbsoluteTime{t, 0.0}, &y, &mo, &d, &h, &mi, &s,
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

// The zone of TZ is found again whatever else the environment went through
// between two calls: a variable added or removed before TZ is set, moved or
// taken away.
TEST_F(CalendarTime, FieldsFollowTzThroughChangesOfTheEnvironment) {
  const AbsoluteTime time{1561903530, 0.0};  // 2019-06-30 14:05:30 UTC
  const auto localtimeOf = [&time] {
    const std::time_t seconds = static_cast<std::time_t>(time.seconds);
    std::tm fields{};
    localtime_r(&seconds, &fields);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &fields);
    return std::string(text);
  };
  const std::vector<std::vector<std::string>> steps = {
      // Each step: the environment edits, then a call; "-NAME" removes NAME.
      {"TZ=UTC"},
      {"ZORQ_TEST_A=1", "-TZ"},
      {"-ZORQ_TEST_A", "TZ=Asia/Tokyo"},
      {"ZORQ_TEST_B=1", "TZ=America/St_Johns"},
      {"-ZORQ_TEST_B"},
      {"-TZ", "ZORQ_TEST_C=1", "-ZORQ_TEST_C", "TZ=Asia/Kolkata"},
  };
  for (const std::vector<std::string>& step : steps) {
    std::string trace;
    for (const std::string& edit : step) {
      trace += edit + " ";
      if (edit[0] == '-') {
        unsetenv(edit.c_str() + 1);
      } else {
        const size_t equals = edit.find('=');
        setenv(edit.substr(0, equals).c_str(), edit.c_str() + equals + 1, 1);
      }
    }
    tzset();
    SCOPED_TRACE(trace);
    EXPECT_EQ(Local(time), localtimeOf());
  }
  unsetenv("ZORQ_TEST_A");
  unsetenv("ZORQ_TEST_B");
  unsetenv("ZORQ_TEST_C");
}
