// The wave statistics as CSV: one row per segment, times in UTC.
#pragma once

#include <string>
#include <string_view>

#include "waves/segmenter.h"

// The method in words, without commas: the detrending, the Welch settings,
// the moments and, with pressure, the correction and its cut-off.
std::string WaveMethodText(const WaveSettings& settings);

// The method in a few words, the CSV's `method` column.
std::string WaveMethodTag(const WaveSettings& settings);

class WaveCsvWriter {
 public:
  explicit WaveCsvWriter(const WaveSettings& settings);

  // The header line: start,end,samples,mean,hm0,tp,fp,tm01,tm02,te,hs,ts,
  // h10,hmax,hmean,tz,waves,temperature,flag, then the method's columns.
  static std::string Header();
  // The segment's line with its first and last readings' times as given
  // (ISO 8601 UTC; empty when unknown). A statistic with no value is an
  // empty field.
  std::string Row(const WaveSegment& segment, std::string_view start, std::string_view end) const;
  // The same line added to `out`.
  void AddRow(std::string* out, const WaveSegment& segment, std::string_view start,
              std::string_view end) const;

 private:
  WaveSettings settings_;
  std::string method_;
};
