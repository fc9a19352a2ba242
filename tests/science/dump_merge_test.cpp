// The series a merge of dumps hands on: in time order, each time once, the
// earlier dump's reading where two disagree, and only the overlap held.
#include "science/dump_merge.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/science/science_test_support.h"

namespace {

using science_test::FeedLine;
using science_test::Local;

struct Heard {
  double time = 0.0;
  double value = 0.0;
  ReadingNote note = ReadingNote::kPlain;
  int64_t burst = -1;
};

// Every reading heard, with its time as the writers work it out.
class Recorder final : public ReadingListener {
 public:
  void OnReadings(const ReadingLine& line) override {
    for (int i = 0; i < line.count; ++i) {
      heard.push_back({line.LocalTimeOf(i), line.values[i],
                       line.notes != nullptr ? line.notes[i] : ReadingNote::kPlain, line.burst});
    }
  }
  void OnFillers(int64_t, int64_t, int count) override { fillers += count; }
  std::vector<Heard> heard;
  int fillers = 0;
};

const LocalSeconds kNoon = Local(2019, 6, 30, 12, 0, 0);
constexpr int kRate = 4;

// A burst of `lines` lines of four readings at 4 Hz from `start`; reading k
// of the burst is `base + k`.
std::vector<FeedLine> Burst(LocalSeconds start, int64_t burst, int lines, double base) {
  std::vector<FeedLine> feed;
  for (int line = 0; line < lines; ++line) {
    std::vector<double> values;
    for (int i = 0; i < 4; ++i)
      values.push_back(base + line * 4 + i);
    feed.push_back(FeedLine().At(start, line * 4, kRate).Burst(burst).Values(values));
  }
  return feed;
}

// The dumps, each a list of bursts, merged in the order given.
Recorder Merged(const std::vector<std::vector<std::vector<FeedLine>>>& dumps, MergeCounts* counts,
                std::vector<MergeConflict>* conflicts = nullptr) {
  Recorder recorder;
  DumpMerge merge(Zone(), &recorder);
  for (size_t d = 0; d < dumps.size(); ++d) {
    const double next = d + 1 < dumps.size()
                            ? static_cast<double>(dumps[d + 1].front().front().stamp)
                            : DumpMerge::kNoNextDump;
    merge.StartDump(next);
    for (const std::vector<FeedLine>& burst : dumps[d])
      science_test::Feed(&merge, burst);
  }
  merge.Finish();
  *counts = merge.counts();
  if (conflicts != nullptr)
    *conflicts = merge.conflicts();
  return recorder;
}

void ExpectStrictlyRising(const std::vector<Heard>& heard) {
  for (size_t i = 1; i < heard.size(); ++i)
    ASSERT_LT(heard[i - 1].time, heard[i].time) << "reading " << i;
}

TEST(DumpMerge, ABurstTwoDumpsHoldIsKeptOnce) {
  MergeCounts counts;
  const Recorder merged = Merged({{Burst(kNoon, 0, 3, 0), Burst(kNoon + 3600, 1, 3, 100)},
                                  {Burst(kNoon + 3600, 0, 3, 100), Burst(kNoon + 7200, 1, 3, 200)}},
                                 &counts);
  ASSERT_EQ(merged.heard.size(), 36u);
  ExpectStrictlyRising(merged.heard);
  EXPECT_EQ(counts.duplicates, 12);
  EXPECT_EQ(counts.conflicts, 0);
  // The second dump's bursts continue the first's count.
  EXPECT_EQ(merged.heard[0].burst, 0);
  EXPECT_EQ(merged.heard[12].burst, 1);
  EXPECT_EQ(merged.heard[35].burst, 2);
  EXPECT_DOUBLE_EQ(merged.heard[35].value, 211.0);
}

TEST(DumpMerge, AnotherValueAtOneTimeKeepsTheEarlierDumpsAsAConflict) {
  std::vector<FeedLine> changed = Burst(kNoon + 3600, 0, 3, 100);
  changed[1].values[2] = -5.0;  // reading 6 of the shared burst
  MergeCounts counts;
  std::vector<MergeConflict> conflicts;
  const Recorder merged = Merged(
      {{Burst(kNoon, 0, 3, 0), Burst(kNoon + 3600, 1, 3, 100)}, {changed}}, &counts, &conflicts);
  ASSERT_EQ(merged.heard.size(), 24u);
  EXPECT_EQ(counts.duplicates, 11);
  ASSERT_EQ(counts.conflicts, 1);
  const Heard& kept = merged.heard[12 + 6];
  EXPECT_DOUBLE_EQ(kept.value, 106.0);
  EXPECT_EQ(kept.note, ReadingNote::kMergeConflict);
  EXPECT_EQ(merged.heard[12 + 5].note, ReadingNote::kPlain);
  ASSERT_EQ(conflicts.size(), 1u);
  EXPECT_DOUBLE_EQ(conflicts[0].dropped, -5.0);
  EXPECT_EQ(conflicts[0].keptDump, 0);
  EXPECT_EQ(conflicts[0].droppedDump, 1);
}

// Held readings and the next dump's interleave where their times differ:
// the second dump samples at twice the rate, every other reading at a time
// the first dump lacks.
TEST(DumpMerge, ReadingsTheNextDumpLacksStayInTimeOrder) {
  std::vector<FeedLine> faster;
  for (int line = 0; line < 4; ++line) {
    std::vector<double> values;
    for (int i = 0; i < 4; ++i) {
      const int k = line * 4 + i;
      values.push_back(k % 2 == 0 ? k / 2 : 100 + k);
    }
    faster.push_back(FeedLine().At(kNoon, line * 4, 2 * kRate).Values(values));
  }
  MergeCounts counts;
  const Recorder merged = Merged({{Burst(kNoon, -1, 2, 0)}, {faster}}, &counts);
  ASSERT_EQ(merged.heard.size(), 16u);
  ExpectStrictlyRising(merged.heard);
  EXPECT_EQ(counts.duplicates, 8);
  EXPECT_DOUBLE_EQ(merged.heard[0].value, 0.0);
  EXPECT_DOUBLE_EQ(merged.heard[1].value, 101.0);
  EXPECT_DOUBLE_EQ(merged.heard[2].value, 1.0);
}

// Three dumps that each overlap the next by one line: whatever order they
// came in, merged in the order of their first times they make one series.
TEST(DumpMerge, ThreeDumpsEachOverlappingTheNext) {
  MergeCounts counts;
  const Recorder merged = Merged(
      {{Burst(kNoon, -1, 4, 0)}, {Burst(kNoon + 3, -1, 4, 12)}, {Burst(kNoon + 6, -1, 4, 24)}},
      &counts);
  ASSERT_EQ(merged.heard.size(), 40u);  // readings 0 to 39 at 4 Hz from noon
  ExpectStrictlyRising(merged.heard);
  for (size_t i = 0; i < merged.heard.size(); ++i)
    EXPECT_DOUBLE_EQ(merged.heard[i].value, static_cast<double>(i));
  EXPECT_EQ(counts.duplicates, 8);
  EXPECT_EQ(counts.mostHeld, 4u);
}

// Two dumps of a week each overlapping by a burst: the merge holds the
// burst, not the week.
TEST(DumpMerge, HoldsTheOverlapNotTheDeployment) {
  constexpr int kBursts = 168;  // a week of hourly bursts
  constexpr int kLinesPerBurst = 30;
  std::vector<std::vector<FeedLine>> first;
  std::vector<std::vector<FeedLine>> second;
  for (int b = 0; b < kBursts; ++b)
    first.push_back(Burst(kNoon + 3600 * b, b, kLinesPerBurst, 1000.0 * b));
  for (int b = kBursts - 1; b < 2 * kBursts; ++b)
    second.push_back(Burst(kNoon + 3600 * b, b - kBursts + 1, kLinesPerBurst, 1000.0 * b));
  MergeCounts counts;
  const Recorder merged = Merged({first, second}, &counts);
  EXPECT_EQ(merged.heard.size(), static_cast<size_t>(2 * kBursts * kLinesPerBurst * 4));
  ExpectStrictlyRising(merged.heard);
  EXPECT_EQ(counts.mostHeld, static_cast<size_t>(kLinesPerBurst * 4));
  EXPECT_EQ(merged.heard.back().burst, 2 * kBursts - 1);
}

TEST(DumpMerge, ReadingsWithoutATimeAndFillersPassOn) {
  Recorder recorder;
  DumpMerge merge(Zone(), &recorder);
  merge.StartDump(DumpMerge::kNoNextDump);
  science_test::Feed(&merge, {FeedLine().Unstamped().Values({1, 2})});
  merge.OnFillers(3, 40, 5);
  merge.Finish();
  EXPECT_EQ(recorder.heard.size(), 2u);
  EXPECT_EQ(recorder.fillers, 5);
}

TEST(FirstReadingTime, IsTheFirstStampedReadingsInUtc) {
  FirstReadingTime first(Zone::Named("Europe/Berlin").value());
  science_test::Feed(
      &first, {FeedLine().Unstamped().Values({1}), FeedLine().At(kNoon, 8, kRate).Values({2, 3}),
               FeedLine().At(kNoon + 60).Values({4})});
  ASSERT_TRUE(first.found());
  EXPECT_DOUBLE_EQ(first.time(), static_cast<double>(kNoon - 2 * 3600) + 2.0);
}

}  // namespace
