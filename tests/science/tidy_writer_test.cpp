#include "science/tidy_writer.h"

#include <gtest/gtest.h>

#include "runtime/files.h"
#include "tests/science/science_test_support.h"

namespace {

using science_test::FeedLine;
using science_test::Local;
using science_test::Scratch;

const LocalSeconds kNoon = Local(2024, 3, 1, 12, 0, 0);

class TidyWriterTest : public testing::Test {
 protected:
  // The file's text after writing `lines`; empty when the writer failed.
  std::string Write(const ClockCorrection& clock, const std::vector<FeedLine>& lines,
                    std::string* error, const VariableTests& tests = {}) {
    ScienceSettings settings;
    settings.clock = clock;
    settings.qc.reading = tests;
    const int handle = OpenFile(path_.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
    EXPECT_GT(handle, 0);
    bool ok = false;
    {
      TidyWriter writer(settings, SinkOfHandle(handle));
      ok = writer.Start(error);
      if (ok) {
        science_test::Feed(&writer, lines);
        ok = writer.Finish(error);
      }
    }
    CloseFile(handle);
    return ok ? science_test::ReadWhole(path_) : "";
  }

  Scratch scratch_;
  std::string path_ = scratch_.Path("out.tidy.csv");
};

TEST_F(TidyWriterTest, OneRowPerReadingWithItsLinesTemperature) {
  const FeedLine early = FeedLine().Unstamped().Values({9.0});
  const FeedLine first = FeedLine()
                             .At(kNoon, 0, 8)
                             .Values({1.25, 0.1})
                             .Notes({ReadingNote::kPlain, ReadingNote::kNotANumber})
                             .Temperature(21.5);
  const FeedLine second = FeedLine().At(kNoon, 2, 8).Values({-0.5});
  std::string error;
  EXPECT_EQ(Write({}, {early, first, second}, &error),
            "time,reading,temperature,flag\n"
            "2024-03-01T12:00:00.000Z,1.25,21.5,1\n"
            "2024-03-01T12:00:00.125Z,0.1,21.5,4\n"
            "2024-03-01T12:00:00.250Z,-0.5,,1\n")
      << error;
}

struct ClockRow {
  const char* name;
  ClockCorrection clock;
  const char* rows;
};

class TidyClockRows : public TidyWriterTest, public testing::WithParamInterface<ClockRow> {};

// Readings at 0 s and 1000 s: the drift is known only at the last one.
TEST_P(TidyClockRows, TimesTakeTheCorrection) {
  const FeedLine first = FeedLine().At(kNoon).Values({1.0});
  const FeedLine last = FeedLine().At(kNoon + 1000).Values({2.0});
  std::string error;
  EXPECT_EQ(Write(GetParam().clock, {first, last}, &error),
            std::string("time,reading,temperature,flag\n") + GetParam().rows)
      << error;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TidyClockRows,
    testing::Values(ClockRow{"Offset",
                             {1.5, false, 0.0},
                             "2024-03-01T11:59:58.500Z,1,,1\n2024-03-01T12:16:38.500Z,2,,1\n"},
                    ClockRow{"Drift",
                             {1.5, true, -10.0},
                             "2024-03-01T11:59:58.500Z,1,,1\n2024-03-01T12:16:50.000Z,2,,1\n"}),
    [](const testing::TestParamInfo<ClockRow>& row) { return std::string(row.param.name); });

class TidyQcFlags : public TidyWriterTest, public testing::WithParamInterface<ClockRow> {};

// 5, 5, 7, 5, 5, 13 at one a second: spikes off the neighbours' mean by
// 1 (suspect), 2, 1, 4 (bad), and the last beyond the fail span; the
// same whether the rows go out at once or wait for the drift.
TEST_P(TidyQcFlags, FlagIsTheAggregate) {
  VariableTests tests;
  tests.grossRange = GrossRangeThresholds{{-1.0, 12.0}, {0.0, 10.0}};
  tests.spike = SpikeThresholds{0.5, 1.0};
  std::string error;
  const std::string text =
      Write(GetParam().clock, {FeedLine().At(kNoon).Values({5, 5, 7, 5, 5, 13})}, &error, tests);
  std::vector<char> flags;
  for (size_t end = text.find('\n', 0); end != std::string::npos && end > 0;
       end = text.find('\n', end + 1))
    flags.push_back(text[end - 1]);
  EXPECT_EQ(std::string(flags.begin() + 1, flags.end()), "134344") << text << error;
}

INSTANTIATE_TEST_SUITE_P(AtOnceAndSpooled, TidyQcFlags,
                         testing::Values(ClockRow{"AtOnce", {}, ""},
                                         ClockRow{"Spooled", {1.5, true, -10.0}, ""}),
                         [](const testing::TestParamInfo<ClockRow>& row) {
                           return std::string(row.param.name);
                         });

TEST_F(TidyWriterTest, AFailedWriteFailsTheOutput) {
  SetWriteFaultHook([](long) { return true; });
  std::vector<FeedLine> lines(2000, FeedLine().At(kNoon).Values(std::vector<double>(60)));
  std::string error;
  EXPECT_EQ(Write({}, lines, &error), "");
  SetWriteFaultHook(nullptr);
  EXPECT_NE(error.find("cannot write the tidy CSV"), std::string::npos) << error;
}

}  // namespace
