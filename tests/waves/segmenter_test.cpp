// Segments cut from the reading listener's feed, their flags, and the CSV.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/waves/waves_test_support.h"
#include "waves/segmenter.h"
#include "waves/wave_csv.h"

namespace {

using zorq_test::Feed;
using zorq_test::FeedPlace;
using zorq_test::Sine;

constexpr LocalSeconds kStamp = 1561896000;  // 2019-06-30T12:00:00 on the dump's clock

// The segments a conversion's readings make, as the desktop program keeps
// them.
struct Collected {
  explicit Collected(const WaveSettings& settings = {})
      : collector(settings), segmenter(collector) {}
  WaveCollector collector;
  WaveCollector& segmenter;
  std::vector<WaveSegment> segments;
  // Finishes the collector and takes its segments.
  void Finish() {
    collector.Finish();
    segments = collector.segments();
  }
};

FeedPlace At(LocalSeconds stamp, int64_t since = 0, int64_t burst = -1) {
  FeedPlace place;
  place.stamp = stamp;
  place.since = since;
  place.burst = burst;
  return place;
}

TEST(WaveSegments, GaugeBurstsSplitAtTheirDateStamps) {
  Collected run;
  const std::vector<double> wave = Sine(0.5, 8.0, 4, 1000);
  // Burst 0 is cut by a date stamp after 600 readings: its second part is
  // burst 1, though the time runs on.
  Feed(&run.segmenter, {wave.begin(), wave.begin() + 600}, At(kStamp, 0, 0));
  Feed(&run.segmenter, {wave.begin() + 600, wave.end()}, At(kStamp + 150, 0, 1));
  run.Finish();
  ASSERT_EQ(run.segments.size(), 2u);
  const WaveSegment& first = run.segments[0];
  const WaveSegment& second = run.segments[1];
  EXPECT_EQ(first.burst, 0);
  EXPECT_EQ(first.readings, 600);
  EXPECT_EQ(first.start.stamp, kStamp);
  EXPECT_DOUBLE_EQ(first.end.elapsed, 599.0 / 4.0);
  EXPECT_EQ(second.index, 1);
  EXPECT_EQ(second.burst, 1);
  EXPECT_EQ(second.readings, 400);
  EXPECT_EQ(second.start.stamp, kStamp + 150);
  EXPECT_DOUBLE_EQ(second.start.elapsed, 0.0);
  EXPECT_EQ(second.flag, SegmentFlag::Good);
  EXPECT_EQ(second.analysis.samples, 400u);
}

struct GapCase {
  const char* name;
  double secondStampAfter;  // s after the first stamp
  bool newSegment;
};

class LoggerTimeJump : public testing::TestWithParam<GapCase> {};

TEST_P(LoggerTimeJump, StartsANewSegmentOnlyBeyondOneSampleInterval) {
  Collected run;
  const std::vector<double> wave = Sine(0.5, 8.0, 4, 960);
  Feed(&run.segmenter, {wave.begin(), wave.begin() + 480}, At(kStamp));
  // The readings had reached 120 s; the next date stamp says otherwise.
  Feed(&run.segmenter, {wave.begin() + 480, wave.end()},
       At(kStamp + static_cast<LocalSeconds>(GetParam().secondStampAfter)));
  run.Finish();
  ASSERT_EQ(run.segments.size(), GetParam().newSegment ? 2u : 1u);
  EXPECT_EQ(run.segments[0].readings, GetParam().newSegment ? 480 : 960);
}

INSTANTIATE_TEST_SUITE_P(Rows, LoggerTimeJump,
                         testing::Values(GapCase{"ontime", 120, false},
                                         GapCase{"gap10s", 130, true}, GapCase{"back45s", 75, true},
                                         GapCase{"gap1s", 121, true},
                                         GapCase{"sameStampAgain", 0, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(WaveSegments, OneSampleIntervalOfDriftKeepsTheSegment) {
  const std::vector<double> wave = Sine(0.5, 8.0, 1, 240);
  // At 1 Hz the readings reached 120 s; a stamp at 121 s is one interval off.
  FeedPlace first = At(kStamp);
  first.rate = 1;
  FeedPlace late = At(kStamp + 121);
  late.rate = 1;
  Collected run;
  Feed(&run.segmenter, {wave.begin(), wave.begin() + 120}, first);
  Feed(&run.segmenter, {wave.begin() + 120, wave.end()}, late);
  run.Finish();
  EXPECT_EQ(run.segments.size(), 1u);
}

TEST(WaveSegments, LoggerSeriesIsCutEverySegmentLength) {
  WaveSettings settings;
  settings.segmentSeconds = 100;  // 400 readings at 4 Hz
  Collected run(settings);
  Feed(&run.segmenter, Sine(0.5, 8.0, 4, 1000), At(kStamp));
  run.Finish();
  ASSERT_EQ(run.segments.size(), 3u);
  EXPECT_EQ(run.segments[0].readings, 400);
  EXPECT_EQ(run.segments[1].readings, 400);
  EXPECT_EQ(run.segments[2].readings, 200);
  // A cut inside a line of twelve: the times follow the readings.
  EXPECT_DOUBLE_EQ(run.segments[0].end.elapsed, 399.0 / 4.0);
  EXPECT_DOUBLE_EQ(run.segments[1].start.elapsed, 100.0);
  EXPECT_DOUBLE_EQ(run.segments[2].start.elapsed, 200.0);
  EXPECT_DOUBLE_EQ(run.segments[2].end.elapsed, 999.0 / 4.0);
  // Each line's extra value counts in every segment its readings reach.
  EXPECT_DOUBLE_EQ(run.segments[1].temperature, 20.0);
}

struct FlagCase {
  const char* name;
  size_t readings;
  size_t notANumberEvery;  // 0: none
  int fillers;
  bool wentBack;
  const char* reason;
};

class SegmentFlags : public testing::TestWithParam<FlagCase> {};

TEST_P(SegmentFlags, SuspectWhenShortOrFewReadingsAreGood) {
  const FlagCase c = GetParam();
  Collected run;
  const std::vector<double> wave = Sine(0.5, 8.0, 4, c.readings);
  std::vector<ReadingNote> notes(c.readings, ReadingNote::kPlain);
  for (size_t i = 0; c.notANumberEvery > 0 && i < notes.size(); i += c.notANumberEvery)
    notes[i] =
        (i / c.notANumberEvery) % 2 == 0 ? ReadingNote::kNotANumber : ReadingNote::kSaturated;
  FeedPlace place = At(kStamp);
  place.stampWentBack = c.wentBack;
  const size_t half = c.readings / 2 / 12 * 12;
  Feed(&run.segmenter, {wave.begin(), wave.begin() + static_cast<long>(half)}, place,
       {notes.begin(), notes.begin() + static_cast<long>(half)});
  if (c.fillers > 0)
    run.segmenter.OnFillers(99, 0, c.fillers);
  place.since = static_cast<int64_t>(half);
  Feed(&run.segmenter, {wave.begin() + static_cast<long>(half), wave.end()}, place,
       {notes.begin() + static_cast<long>(half), notes.end()});
  run.Finish();
  ASSERT_EQ(run.segments.size(), 1u);
  const WaveSegment& segment = run.segments[0];
  EXPECT_EQ(segment.reason, c.reason);
  EXPECT_EQ(segment.flag, *c.reason == '\0' ? SegmentFlag::Good : SegmentFlag::Suspect);
  EXPECT_EQ(segment.missing, c.fillers);
  EXPECT_EQ(segment.readings, static_cast<int64_t>(c.readings));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SegmentFlags,
    testing::Values(FlagCase{"good", 600, 0, 0, false, ""},
                    FlagCase{"short", 63, 0, 0, false, "short"},
                    FlagCase{"exactly64", 64, 0, 0, false, ""},
                    FlagCase{"oneInTenNotANumber", 600, 10, 0, false, ""},  // 90 % good
                    FlagCase{"oneInFiveNotANumber", 600, 5, 0, false, "few-good-readings"},
                    FlagCase{"fillersAreMissing", 600, 0, 80, false, "few-good-readings"},
                    FlagCase{"fewFillers", 600, 0, 20, false, ""},
                    FlagCase{"afterAStampThatWentBack", 600, 0, 0, true, "few-good-readings"},
                    FlagCase{"shortAndBad", 40, 2, 0, false, "short;few-good-readings"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(WaveSegments, FillersWithTheTimeGoingOnAreAGapInsideTheSegment) {
  Collected run;
  const std::vector<double> wave = Sine(0.5, 8.0, 4, 960);
  Feed(&run.segmenter, {wave.begin(), wave.begin() + 480}, At(kStamp));
  // A line broke off: 6 fillers, and the next readings come 6 samples on.
  run.segmenter.OnFillers(50, 0, 6);
  Feed(&run.segmenter, {wave.begin() + 486, wave.end()}, At(kStamp, 486));
  run.Finish();
  ASSERT_EQ(run.segments.size(), 1u);
  EXPECT_EQ(run.segments[0].readings, 954);
  EXPECT_EQ(run.segments[0].missing, 6);
  EXPECT_EQ(run.segments[0].analysis.samples, 960u);  // the gap drawn straight
  EXPECT_DOUBLE_EQ(run.segments[0].end.elapsed, 959.0 / 4.0);
}

TEST(WaveSegments, ReadingsBeforeAnyTimeAreTheirOwnSuspectSegment) {
  Collected run;
  const std::vector<double> wave = Sine(0.5, 8.0, 4, 960);
  FeedPlace unstamped;
  unstamped.stamped = false;
  Feed(&run.segmenter, {wave.begin(), wave.begin() + 240}, unstamped);
  Feed(&run.segmenter, {wave.begin() + 240, wave.end()}, At(kStamp));
  run.Finish();
  ASSERT_EQ(run.segments.size(), 2u);
  EXPECT_FALSE(run.segments[0].start.known);
  EXPECT_EQ(run.segments[0].reason, "no-time");
  EXPECT_TRUE(run.segments[1].start.known);
  EXPECT_EQ(run.segments[1].flag, SegmentFlag::Good);
}

TEST(WaveSegments, PressureWithoutDepthIsSuspect) {
  WaveSettings settings;
  settings.pressure = PressureSettings{};
  settings.pressure->atmospheric = 50.0;  // far more than the readings: negative depth
  Collected run(settings);
  Feed(&run.segmenter, Sine(0.5, 8.0, 4, 600), At(kStamp, 0, 0));
  run.Finish();
  ASSERT_EQ(run.segments.size(), 1u);
  EXPECT_EQ(run.segments[0].reason, "no-depth");
  EXPECT_TRUE(std::isnan(run.segments[0].analysis.spectral.hm0));
}

// --- CSV ---

constexpr size_t kStatisticColumns = 19;

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == ',')
      fields.emplace_back();
    else if (c != '\n')
      fields.back() += c;
  }
  return fields;
}

TEST(WaveCsv, HeaderBeginsWithTheAgreedColumns) {
  const std::string header = WaveCsvWriter::Header();
  EXPECT_EQ(
      header.rfind("start,end,samples,mean,hm0,tp,fp,tm01,tm02,te,hs,ts,h10,hmax,hmean,tz,waves,"
                   "temperature,flag,",
                   0),
      0u);
  EXPECT_EQ(header.back(), '\n');
}

TEST(WaveCsv, RowsHoldEveryColumnOfTheHeader) {
  Collected run;
  Feed(&run.segmenter, Sine(0.5, 8.0, 4, 4801), At(kStamp, 2, 0));
  run.Finish();
  ASSERT_EQ(run.segments.size(), 1u);
  const WaveCsvWriter writer{WaveSettings{}};
  const std::string row = writer.Row(run.segments[0], "S", "E");
  EXPECT_EQ(row.rfind("S,E,4801,", 0), 0u) << row;
  EXPECT_EQ(row.back(), '\n');
  // As many fields as the header names, and no empty statistic for a sine.
  const std::vector<std::string> fields = Fields(row);
  ASSERT_EQ(fields.size(), Fields(WaveCsvWriter::Header()).size());
  for (size_t i = 0; i < kStatisticColumns; ++i)
    EXPECT_FALSE(fields[i].empty()) << i;
  EXPECT_EQ(fields[4].substr(0, 5), "1.414");  // hm0 of a = 0.5
  EXPECT_EQ(fields[5], "8");                   // tp
  EXPECT_EQ(fields[17], "20");                 // temperature
  EXPECT_EQ(fields[18], "1");                  // flag: good
  EXPECT_EQ(fields[20], "0");                  // burst
  EXPECT_EQ(fields[22], "4801");               // good readings
}

}  // namespace
