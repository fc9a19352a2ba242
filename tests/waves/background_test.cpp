// The wave statistics on a thread beside the conversion: the listener
// behind it hears what it would have heard on the converting thread, in the
// same order, and the segments come out the same.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/waves/waves_test_support.h"
#include "waves/background_listener.h"
#include "waves/segmenter.h"
#include "waves/wave_csv.h"

namespace {

using zorq_test::Feed;
using zorq_test::FeedPlace;
using zorq_test::Sine;

constexpr LocalSeconds kStamp = 1561896000;

// Every call as text, values and notes included.
class Recorder final : public ReadingListener {
 public:
  void OnReadings(const ReadingLine& line) override {
    std::string call = "L" + std::to_string(line.line) + "@" + std::to_string(line.byte) + " s" +
                       std::to_string(line.stamp) + "+" + std::to_string(line.sinceStamp) + " b" +
                       std::to_string(line.burst) + (line.stampWentBack ? " back" : "") +
                       (line.stamped ? "" : " unstamped") + " r" + std::to_string(line.sampleRate) +
                       " t" + (line.hasTemperature ? std::to_string(line.temperature) : "-") + ":";
    for (int i = 0; i < line.count; ++i) {
      call += " " + std::to_string(line.values[i]);
      if (line.notes != nullptr)
        call += "/" + std::to_string(static_cast<int>(line.notes[i]));
    }
    calls.push_back(call);
  }
  void OnFillers(int64_t line, int64_t byte, int count) override {
    calls.push_back("F" + std::to_string(line) + "@" + std::to_string(byte) + " x" +
                    std::to_string(count));
  }
  std::vector<std::string> calls;
};

// Two gauge bursts, then a logger's series with its time jumps; some
// readings noted, fillers between lines, a stamp that went back.
void Play(ReadingListener* listener) {
  const std::vector<double> wave = Sine(0.4, 6.0, 4, 2000);
  for (int64_t burst = 0; burst < 6; ++burst) {
    FeedPlace place;
    place.stamp = kStamp + burst * 600;
    place.burst = burst < 2 ? burst : -1;
    place.stampWentBack = burst == 3;
    place.temperature = 18.0 + static_cast<double>(burst);
    place.stamped = burst != 4;
    place.rate = burst == 5 ? 8 : 4;
    const size_t count = 200 + static_cast<size_t>(burst) * 331;
    std::vector<ReadingNote> notes;
    if (burst % 2 == 1) {
      notes.assign(count, ReadingNote::kPlain);
      for (size_t i = 0; i < count; i += 17)
        notes[i] = ReadingNote::kNotANumber;
    }
    Feed(listener, {wave.begin(), wave.begin() + static_cast<long>(count)}, place, notes);
    listener->OnFillers(1000 + burst, 50000 + burst, static_cast<int>(burst) + 1);
  }
}

struct LimitsCase {
  const char* name;
  BackgroundListener::Limits limits;
};

class BackgroundReadings : public testing::TestWithParam<LimitsCase> {};

TEST_P(BackgroundReadings, AreHeardInTheirOrderAsOnTheConvertingThread) {
  Recorder direct;
  Play(&direct);
  Recorder behind;
  bool ended = false;
  BackgroundListener background(
      &behind, [&] { ended = true; }, GetParam().limits);
  Play(&background);
  background.Finish();
  EXPECT_TRUE(ended);
  EXPECT_EQ(behind.calls, direct.calls);
}

TEST_P(BackgroundReadings, GiveTheSameSegmentsAsTheConvertingThread) {
  WaveSettings settings;
  settings.segmentSeconds = 100;
  WaveCollector direct(settings);
  Play(&direct);
  direct.Finish();
  WaveCollector behind(settings);
  BackgroundListener background(
      &behind, [&] { behind.Finish(); }, GetParam().limits);
  Play(&background);
  background.Finish();
  const WaveCsvWriter csv(settings);
  ASSERT_EQ(behind.segments().size(), direct.segments().size());
  ASSERT_GT(direct.segments().size(), 6u);
  for (size_t i = 0; i < direct.segments().size(); ++i) {
    const WaveSegment& want = direct.segments()[i];
    const WaveSegment& got = behind.segments()[i];
    EXPECT_EQ(csv.Row(got, "", ""), csv.Row(want, "", "")) << i;
    EXPECT_EQ(got.analysis.spectrum.density, want.analysis.spectrum.density) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Limits, BackgroundReadings,
                         testing::Values(LimitsCase{"twoBlocksOfOneLine", {2, 1}},
                                         LimitsCase{"threeBlocksOfFiveLines", {3, 5}},
                                         LimitsCase{"defaultBlocks", BackgroundListener::Limits{}}),
                         [](const auto& row) { return std::string(row.param.name); });

// A listener that fails part-way: the conversion is not held up waiting for
// it, and Finish says what went wrong.
class FailsAtLine final : public ReadingListener {
 public:
  explicit FailsAtLine(int64_t line) : line_(line) {}
  void OnReadings(const ReadingLine& line) override {
    if (line.line == line_)
      throw std::runtime_error("no room for the segment");
  }
  void OnFillers(int64_t, int64_t, int) override {}

 private:
  int64_t line_;
};

TEST(BackgroundReadingsFail, TheConversionGoesOnAndFinishThrowsWhatWentWrong) {
  FailsAtLine target(5);
  bool ended = false;
  BackgroundListener background(&target, [&] { ended = true; }, {2, 1});
  Play(&background);  // would wait for ever if a failed thread held its blocks
  EXPECT_THROW(background.Finish(), std::runtime_error);
  EXPECT_FALSE(ended);
}

// A slow listener stopped part-way (a conversion cancelled): Stop returns
// without hearing the rest, and nothing runs after it.
class Slow final : public ReadingListener {
 public:
  void OnReadings(const ReadingLine&) override {
    heard.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  void OnFillers(int64_t, int64_t, int) override {}
  std::atomic<int> heard{0};
};

TEST(BackgroundReadingsStop, DropsWhatIsNotHeardAndSkipsTheEnd) {
  Slow target;
  bool ended = false;
  BackgroundListener background(&target, [&] { ended = true; }, {2, 4});
  Play(&background);  // back-pressure: the conversion keeps at most two blocks ahead
  background.Stop();
  const int heard = target.heard.load();
  Recorder all;
  Play(&all);
  EXPECT_LT(heard, static_cast<int>(all.calls.size()));
  EXPECT_FALSE(ended);
  background.Stop();  // again: nothing left to wait for
  EXPECT_EQ(target.heard.load(), heard);
}

}  // namespace
