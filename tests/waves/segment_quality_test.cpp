// A segment's flag as the aggregate of its own reasons and the range tests
// of Hm0 and Tp, and the reasons that say which.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "waves/segment_quality.h"

namespace {

constexpr GrossRangeThresholds kHm0Range{{0, 20}, {0.05, 15}};
constexpr GrossRangeThresholds kTpRange{{1, 30}, {2, 25}};
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

struct SegmentRow {
  const char* name;
  bool configured;
  const char* reasonBefore;
  double hm0;
  double tp;
  SegmentFlag flag;
  const char* reason;
  int hm0Range;
  int tpRange;
};

class SegmentQuality : public testing::TestWithParam<SegmentRow> {};

TEST_P(SegmentQuality, AggregatesReasonsAndRangeTests) {
  const SegmentRow& row = GetParam();
  WaveSettings settings;
  if (row.configured) {
    settings.hm0Range = kHm0Range;
    settings.tpRange = kTpRange;
  }
  WaveSegment segment;
  segment.reason = row.reasonBefore;
  segment.analysis.spectral.hm0 = row.hm0;
  segment.analysis.spectral.tp = row.tp;
  FlagSegment(settings, &segment);
  EXPECT_EQ(segment.flag, row.flag);
  EXPECT_EQ(segment.reason, row.reason);
  EXPECT_EQ(segment.hm0Range, row.hm0Range);
  EXPECT_EQ(segment.tpRange, row.tpRange);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SegmentQuality,
    testing::Values(
        SegmentRow{"NotConfigured", false, "", 30.0, 0.5, SegmentFlag::Good, "", 2, 2},
        SegmentRow{"NotConfiguredWithReason", false, "short", 1.0, 8.0, SegmentFlag::Suspect,
                   "short", 2, 2},
        // Equal to a span's end is inside it.
        SegmentRow{"OnTheSuspectSpan", true, "", 15.0, 2.0, SegmentFlag::Good, "", 1, 1},
        SegmentRow{"OnTheFailSpan", true, "", 20.0, 30.0, SegmentFlag::Suspect,
                   "hm0-range-suspect;tp-range-suspect", 3, 3},
        SegmentRow{"Hm0Bad", true, "", 20.5, 8.0, SegmentFlag::Bad, "hm0-range-bad", 4, 1},
        SegmentRow{"TpBelowSuspect", true, "", 1.0, 1.5, SegmentFlag::Suspect, "tp-range-suspect",
                   1, 3},
        // The 90 % rule's reason and a bad range: the bad one wins.
        SegmentRow{"FewGoodAndTpBad", true, "few-good-readings", 1.0, 0.5, SegmentFlag::Bad,
                   "few-good-readings;tp-range-bad", 1, 4},
        SegmentRow{"FewGoodAlone", true, "few-good-readings", 1.0, 8.0, SegmentFlag::Suspect,
                   "few-good-readings", 1, 1},
        // No statistics: missing, which never outweighs the reasons.
        SegmentRow{"NoStatistics", true, "short", kNone, kNone, SegmentFlag::Suspect, "short", 9,
                   9}),
    [](const testing::TestParamInfo<SegmentRow>& row) { return std::string(row.param.name); });

}  // namespace
