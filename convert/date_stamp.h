// The calendar fields of a date-stamp line or of a gauge header.
#pragma once

#include <string>

struct DateStamp {
  int year = 0;  // in full (2000 added)
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// "2024-03-12T09:00:00", as the records show a time.
std::string FormatRecordTime(const DateStamp& time);
