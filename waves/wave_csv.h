// The wave statistics as CSV: one row per segment, times in UTC.
#pragma once

#include <functional>
#include <string>

#include "convert/readings.h"
#include "waves/segmenter.h"

// The UTC time (seconds since 1970-01-01T00:00:00Z) of a date stamp read on
// the dump's clock.
using StampToUtc = std::function<double(LocalSeconds stamp)>;

// A stamp read as a local time of the process's zone (TZ); NaN when it names
// no calendar time.
double StampInProcessZone(LocalSeconds stamp);

// "2019-06-30T12:00:00.250Z", to the millisecond; empty for NaN.
std::string IsoUtc(double seconds);

// The method in words, without commas: the detrending, the Welch settings,
// the moments and, with pressure, the correction and its cut-off.
std::string WaveMethodText(const WaveSettings& settings);

class WaveCsvWriter {
 public:
  WaveCsvWriter(const WaveSettings& settings, StampToUtc stampToUtc);

  // The header line: start,end,samples,mean,hm0,tp,fp,tm01,tm02,te,hs,ts,
  // h10,hmax,hmean,tz,waves,temperature,flag, then the method's columns.
  static std::string Header();
  // The segment's line. A statistic with no value is an empty field.
  std::string Row(const WaveSegment& segment);

  // The UTC time of a time on the dump's clock: its stamp's UTC time plus the
  // time its readings ran since; NaN when unknown.
  double UtcOf(const DumpTime& time);

 private:
  WaveSettings settings_;
  std::string method_;
  StampToUtc stampToUtc_;
  LocalSeconds cachedStamp_ = 0;
  double cachedUtc_ = 0.0;
  bool cached_ = false;
};
