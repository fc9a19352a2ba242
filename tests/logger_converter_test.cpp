// Logger dump to logger CSV, run end to end through the headless shell.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "app/panel_ids.h"
#include "app/shared_state.h"
#include "runtime/files.h"
#include "tests/system_call_fakes.h"
#include "tests/test_support.h"

using zorq_test::HeadlessShell;
using zorq_test::ReadWholeFile;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

namespace {

constexpr size_t kRecordSize = 513;
const std::string kFiller = ",-101.00";

// Sets the zone the panel's conversions read their stamps in, for one test,
// and puts the previous one back afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) : previous_(DumpClockZone) {
    DumpClockZone = Zone::Named(zone).value();
  }
  ~ScopedTimeZone() { DumpClockZone = previous_; }

 private:
  Zone previous_;
};

void Put(std::string& header, size_t offset, const std::string& text) {
  header.replace(offset, text.size(), text);
}

// The 63-byte logger header: "Y" at 0, the rate after "F" at 24, the range
// code after "A" at 41 with a comma after it, the staff code after "C" at 44,
// CR LF at 61 and 62, spaces elsewhere.
std::string LoggerHeader(const std::string& rate = "04", const std::string& range = "8",
                         const std::string& staff = "100") {
  std::string header(63, ' ');
  header[0] = 'Y';
  Put(header, 24, "F" + rate);
  Put(header, 41, "A" + range + ",");
  Put(header, 44, "C" + staff);
  Put(header, 61, "\r\n");
  return header;
}

std::string Line(const std::string& text) {
  return text + "\r\n";
}

// A line the reader skips (it starts with a comma); it brings short dumps up
// to the 129 bytes a first block must hold.
const std::string kPaddingLine = Line(",padding" + std::string(60, ' '));

std::string Stamp(int year, int month, int day, int hour, int minute, int second) {
  char text[64];
  std::snprintf(text, sizeof text, "Y%02d,M%02d,D%02d,H%02d,M%02d,S%02d,", year, month, day, hour,
                minute, second);
  return Line(text);
}

// Twelve counts and then the extra-value field.
std::string FullLine(const std::string& count, const std::string& extra) {
  std::string text;
  for (int i = 0; i < 12; ++i)
    text += count + ",";
  return Line(text + extra);
}

std::string Repeat(const std::string& text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i)
    result += text;
  return result;
}

// An f001 record: the prefix, the given fields, fillers up to 60, CR LF.
std::string Record(const std::string& rateAndTime, const std::string& fields) {
  std::string record = "f001,S" + rateAndTime + fields;
  while (record.size() < kRecordSize - 2)
    record += kFiller;
  return record + "\r\n";
}

std::string Prefix(const std::string& rate, const std::string& time) {
  return rate + ",B0," + time;
}

// Field i (0 to 59) of the f001 record that starts at `offset`.
std::string FieldAt(const std::string& output, int i, size_t offset = 0) {
  return output.substr(offset + 31 + 8 * static_cast<size_t>(i), 8);
}

// One logger conversion through the shell's menus, rings and timer.
class LoggerConversionTest : public testing::Test {
 protected:
  std::string Convert(const std::string& dump, int fromType = 2) {
    WriteWholeFile(dir_.Path("dump.txt"), dump);
    shell_.OpenFrom(dir_.Path("dump.txt"));
    if (!FileToOpen)
      shell_.OpenToNew(outPath_);
    return shell_.Convert(fromType, 0);
  }
  // Closes the To file and opens a new, empty one for the next conversion.
  void NewOutput() {
    if (FileToOpen)
      shell_.ui().SelectMenuItem(kMenuCloseTo);
    outPath_ = dir_.Path("out" + std::to_string(++outputs_) + ".csv");
    shell_.OpenToNew(outPath_);
  }
  void SetCorrection(int on, double gain, double offset) {
    shell_.ui().SetValue(kCtrlCorrection, on);
    shell_.ui().SetValue(kCtrlGainM, gain);
    shell_.ui().SetValue(kCtrlOffsetB, offset);
  }
  std::string Output() { return ReadWholeFile(outPath_); }

  ScopedTimeZone zone_{"UTC"};
  TempDir dir_;
  HeadlessShell shell_;
  std::string outPath_ = dir_.Path("out.csv");
  int outputs_ = 0;
};

// The dump of the worked example: one date stamp, five full lines, then a
// line broken off after three counts.
std::string WorkedExampleDump() {
  return LoggerHeader() + Stamp(19, 6, 30, 14, 5, 30) +
         Line("2048,2050,2047,2049,2051,2046,2048,2052,2045,2048,2049,2047,360") +
         Line("0,4095,1000,3000," + Repeat("2048,", 8) + "361") + FullLine("2048", "362") +
         FullLine("2048", "363") + FullLine("2048", "365") + Line("1024,3072,4095,");
}

const std::string kWorkedFirstRecord =
    Record(Prefix("04", "2019-06-30T14:05:30"),
           ",02.0005,02.0024,01.9995,02.0015,02.0034,01.9985,02.0005,02.0044,01.9976,02.0005,"
           "02.0015,01.9995,00.0000,04.0000,00.9768,02.9304" +
               Repeat(",02.0005", 44));

}  // namespace

TEST_F(LoggerConversionTest, WorkedExampleIsWrittenByteForByte) {
  const std::string dump = WorkedExampleDump();
  ASSERT_EQ(LoggerHeader().size(), 63u);
  EXPECT_EQ(Convert(dump), "Finished All");
  const std::string expected = kWorkedFirstRecord + "C001,D4,22.7\r\n" +
                               Record(Prefix("04", "2019-06-30T14:05:45"),
                                      ",01.0002,03.0007,04.0000" + Repeat(kFiller, 57)) +
                               "C001,D4,22.8\r\n";
  ASSERT_EQ(expected.size(), 1054u);
  EXPECT_EQ(Output(), expected);
}

TEST_F(LoggerConversionTest, WorkedExampleWithCorrectionOnCorrectsReadingsButNotFillers) {
  SetCorrection(1, 2.0, 0.5);
  EXPECT_EQ(Convert(WorkedExampleDump()), "Finished All");
  const std::string out = Output();
  ASSERT_EQ(out.size(), 1054u);
  EXPECT_EQ(FieldAt(out, 12), ",00.5000");  // count 0
  EXPECT_EQ(FieldAt(out, 13), ",08.5000");  // count 4095
  EXPECT_EQ(FieldAt(out, 59), ",04.5010");  // count 2048: 2.000488 * 2 + 0.5
  const size_t second = kRecordSize + 14;
  EXPECT_EQ(FieldAt(out, 2, second), ",08.5000");
  for (int i = 3; i < 60; ++i)
    EXPECT_EQ(FieldAt(out, i, second), kFiller) << i;
  EXPECT_EQ(out.substr(kRecordSize, 14), "C001,D4,22.7\r\n");  // extra values are not corrected
}

TEST_F(LoggerConversionTest, SwitchValuesOtherThanOneLeaveReadingsUncorrected) {
  for (int on : {0, 2, -1}) {
    SetCorrection(on, 2.0, 0.5);
    // The ring hides M and B for a switch that is not 1 but keeps their values.
    EXPECT_EQ(Convert(WorkedExampleDump()), "Finished All");
    EXPECT_DOUBLE_EQ(shell_.ui().DoubleValue(kCtrlGainM), 2.0);
  }
  const std::string out = Output();
  ASSERT_EQ(out.size(), 3 * 1054u);
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(out.substr(i * 1054, kRecordSize), kWorkedFirstRecord);
}

TEST_F(LoggerConversionTest, RecordsCloseOnlyAfterSixtyReadingsOrABrokenOffLine) {
  // Four full lines: no record reaches 60 readings.
  EXPECT_EQ(Convert(LoggerHeader() + Stamp(19, 6, 30, 14, 5, 30) + Repeat(FullLine("0", "360"), 4)),
            "Finished All");
  EXPECT_EQ(Output(), "");

  // Three counts ending in a comma after two full lines: 27 readings, 33 fillers.
  EXPECT_EQ(Convert(LoggerHeader() + Stamp(19, 6, 30, 14, 5, 30) + FullLine("4095", "360") +
                    FullLine("4095", "16") + Line("0,0,0,")),
            "Finished All");
  EXPECT_EQ(Output(), Record(Prefix("04", "2019-06-30T14:05:30"),
                             Repeat(",04.0000", 24) + Repeat(",00.0000", 3)) +
                          "C001,D4,01.0\r\n");
}

TEST_F(LoggerConversionTest, AnEmptyFieldClosesTheRecordAndMayLeaveAnExtraValueOfZero) {
  const std::string stamp = Stamp(19, 6, 30, 14, 5, 30);
  const std::string fiveReadings =
      Record(Prefix("04", "2019-06-30T14:05:30"), ",00.0010,00.0020,00.0029,00.0039,00.0049");
  const std::string next = Record(Prefix("04", "2019-06-30T14:05:45"), ",04.0000");
  struct Case {
    std::string brokenLine;
    std::string expected;
  };
  const Case kCases[] = {
      // Three bytes from the empty field's comma on: extra value 0.0.
      {"1,2,3,4,5,,7,8", fiveReadings + next + "C001,D4,00.0\r\n"},
      {"1,2,3,4,5,,7", fiveReadings + next + "C001,D4,00.0\r\n"},
      // Two bytes (comma and CR): no extra value.
      {"1,2,3,4,5,", fiveReadings + next},
      {"1,2,3,4,5,,", fiveReadings + next},
  };
  for (const Case& c : kCases) {
    NewOutput();
    EXPECT_EQ(Convert(LoggerHeader() + kPaddingLine + stamp + Line(c.brokenLine) + Line("4095,")),
              "Finished All");
    EXPECT_EQ(Output(), c.expected) << c.brokenLine;
  }
}

TEST_F(LoggerConversionTest, ExtraValueNeedsThreeBytesAndTheLastLineBeforeTheRecordWins) {
  const std::string stamp = Stamp(19, 6, 30, 14, 5, 30);
  // "5" and CR is not read; "25" and CR is (1.5625). Later fields are ignored.
  EXPECT_EQ(Convert(LoggerHeader() + stamp + Repeat(FullLine("0", "5"), 5) + FullLine("0", "25") +
                    Line("0,")),
            "Finished All");
  const std::string first = Record(Prefix("04", "2019-06-30T14:05:30"), Repeat(",00.0000", 60));
  const std::string second = Record(Prefix("04", "2019-06-30T14:05:45"), Repeat(",00.0000", 13));
  EXPECT_EQ(Output(), first + second + "C001,D4,01.6\r\n");

  struct Case {
    std::string extra;
    std::string record;
  };
  const Case kCases[] = {
      {"360,999,888", "C001,D4,22.5\r\n"},
      {"-200", "C001,D4,-12.5\r\n"},
      {"99999", "C001,D4,6249.9\r\n"},
      {"x9", "C001,D4,00.0\r\n"},
      {"1e400", "C001,D4, inf\r\n"},
      // 0.15 in double prints 00.1; rounded to single precision first it is 00.2.
      {" 2.4", "C001,D4,00.2\r\n"},
  };
  for (const Case& c : kCases) {
    NewOutput();
    EXPECT_EQ(Convert(LoggerHeader() + kPaddingLine + stamp + FullLine("0", c.extra) + Line("0,")),
              "Finished All");
    const std::string out = Output();
    ASSERT_EQ(out.size(), kRecordSize + c.record.size()) << c.extra;
    EXPECT_EQ(out.substr(kRecordSize), c.record) << c.extra;
  }
}

TEST_F(LoggerConversionTest, ADateStampInsideARecordDatesOnlyTheNextRecords) {
  // The readings and the pending extra value carry across the date stamp.
  EXPECT_EQ(Convert(LoggerHeader() + Stamp(19, 6, 30, 14, 5, 30) + FullLine("4095", "") +
                    FullLine("4095", "104") + Stamp(20, 1, 2, 3, 4, 5) +
                    Repeat(FullLine("4095", ""), 13)),
            "Finished All");
  const std::string out = Output();
  const size_t second = kRecordSize + 14;
  ASSERT_EQ(out.size(), second + 2 * kRecordSize);
  EXPECT_EQ(
      out.substr(0, second),
      Record(Prefix("04", "2019-06-30T14:05:30"), Repeat(",04.0000", 60)) + "C001,D4,06.5\r\n");
  EXPECT_EQ(out.substr(second, 31), "f001,S04,B0,2020-01-02T03:04:05");
  EXPECT_EQ(out.substr(second + kRecordSize, 31), "f001,S04,B0,2020-01-02T03:04:20");
}

TEST_F(LoggerConversionTest, EachRecordStepsTheTimeBySixtyOverTheRateInWholeSeconds) {
  struct Case {
    std::string rate;
    std::vector<std::string> times;
  };
  const Case kCases[] = {
      {"1", {"2019-12-31T23:58:30", "2019-12-31T23:59:30", "2020-01-01T00:00:30"}},
      {"04", {"2019-12-31T23:58:30", "2019-12-31T23:58:45", "2019-12-31T23:59:00"}},
      {"8", {"2019-12-31T23:58:30", "2019-12-31T23:58:37", "2019-12-31T23:58:44"}},
      {"61", {"2019-12-31T23:58:30", "2019-12-31T23:58:30", "2019-12-31T23:58:30"}},
      {"99", {"2019-12-31T23:58:30", "2019-12-31T23:58:30", "2019-12-31T23:58:30"}},
  };
  for (const Case& c : kCases) {
    NewOutput();
    EXPECT_EQ(Convert(LoggerHeader(c.rate) + Stamp(19, 12, 31, 23, 58, 30) +
                      Repeat(FullLine("0", ""), 15)),
              "Finished All");
    const std::string out = Output();
    ASSERT_EQ(out.size(), 3 * kRecordSize) << c.rate;
    const std::string rate = c.rate.size() == 1 ? "0" + c.rate : c.rate;
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(out.substr(i * kRecordSize, 31), "f001,S" + Prefix(rate, c.times[i])) << c.rate;
    }
  }
}

TEST_F(LoggerConversionTest, RecordTimesAreLocalAcrossADaylightSavingChange) {
  ScopedTimeZone berlin("Europe/Berlin");
  // Rate 1: one minute per record. Clocks go from 02:00 CET to 03:00 CEST on
  // 2019-03-31 and from 03:00 CEST back to 02:00 CET on 2019-10-27.
  EXPECT_EQ(
      Convert(LoggerHeader("1") + Stamp(19, 3, 31, 1, 59, 30) + Repeat(FullLine("0", ""), 2 * 5) +
              Stamp(19, 10, 27, 1, 59, 30) + Repeat(FullLine("0", ""), 62 * 5)),
      "Finished All");
  const std::string out = Output();
  ASSERT_EQ(out.size(), 64 * kRecordSize);
  const std::pair<size_t, const char*> kTimes[] = {
      {0, "2019-03-31T01:59:30"}, {1, "2019-03-31T03:00:30"},  {2, "2019-10-27T01:59:30"},
      {3, "2019-10-27T02:00:30"}, {62, "2019-10-27T02:59:30"}, {63, "2019-10-27T02:00:30"},
  };
  for (const auto& [record, time] : kTimes) {
    EXPECT_EQ(out.substr(record * kRecordSize + 12, 19), time) << record;
  }
}

TEST_F(LoggerConversionTest, ReadingsPrintInSevenCharactersCutOrHeldWhenTooWide) {
  struct Case {
    std::string count;
    int on;
    double gain;
    double offset;
    std::string field;
  };
  const Case kCases[] = {
      {"0", 1, 1.0, 123.45678, ",123.456"},
      {"0", 1, 1.0, -1.5, ",-1.5000"},
      {"4095", 1, -0.375, 0.0, ",-1.5000"},
      {"2047.5", 0, 1.0, 0.0, ",02.0000"},
      {"abc", 1, 1.0, 0.25, ",00.2500"},  // no number reads as 0
      {"-4095", 0, 1.0, 0.0, ",-4.0000"},
      {"0", 1, 1.0, 1234567.89, ",1234567"},
      {"0", 1, 1.0, 9999999.4, ",9999999"},
      {"0", 1, 1.0, -999999.4, ",-999999"},
      // The integer part alone is wider than seven characters.
      {"0", 1, 1.0, 10000000.0, ",9999999"},
      {"0", 1, 1.0, 9999999.99999, ",9999999"},
      {"0", 1, 1.0, 1e300, ",9999999"},
      {"0", 1, 1.0, -1000000.0, ",-999999"},
      {"0", 1, 1.0, -999999.99999, ",-999999"},
      {"4095e200", 0, 1.0, 0.0, ",9999999"},
      {"1e400", 0, 1.0, 0.0, ",    inf"},
      {"-1e400", 0, 1.0, 0.0, ",   -inf"},
  };
  for (const Case& c : kCases) {
    NewOutput();
    SetCorrection(c.on, c.gain, c.offset);
    EXPECT_EQ(
        Convert(LoggerHeader() + kPaddingLine + Stamp(19, 6, 30, 14, 5, 30) + Line(c.count + ",")),
        "Finished All");
    const std::string out = Output();
    ASSERT_EQ(out.size(), kRecordSize) << c.count << " " << c.offset;
    EXPECT_EQ(FieldAt(out, 0), c.field) << c.count << " " << c.offset;
    // Fillers are never corrected.
    for (int i = 1; i < 60; ++i)
      EXPECT_EQ(FieldAt(out, i), kFiller);
  }
}

TEST_F(LoggerConversionTest, AFailedRecordWriteStillWritesItsC001ThenStops) {
  std::vector<long> asked;
  // The first f001 write fails: the C001 after it is still written.
  SetWriteFaultHook([&](long count) {
    asked.push_back(count);
    return count == static_cast<long>(kRecordSize);
  });
  EXPECT_EQ(Convert(WorkedExampleDump()), "Write to File Error");
  EXPECT_EQ(asked, (std::vector<long>{513, 14}));
  EXPECT_EQ(Output(), "C001,D4,22.7\r\n");

  // The first C001 write fails: the record stays, nothing follows.
  NewOutput();
  asked.clear();
  SetWriteFaultHook([&](long count) {
    asked.push_back(count);
    return count == 14;
  });
  EXPECT_EQ(Convert(WorkedExampleDump()), "Write to File Error");
  EXPECT_EQ(asked, (std::vector<long>{513, 14}));
  EXPECT_EQ(Output(), kWorkedFirstRecord);
}

TEST_F(LoggerConversionTest, AFailedReadKeepsTheRecordsOfTheFirstBlockAndEndsWithFileError) {
  // Header, stamp and fourteen 65-byte lines fill most of the first block.
  const std::string dump =
      LoggerHeader() + Stamp(19, 6, 30, 14, 5, 30) + Repeat(FullLine("2048", "360"), 30);
  // One read(2) per 1024-byte block; the second fails.
  zorq_test::FakeSystemCalls fakes;
  fakes.readLimit = 1024;
  fakes.fault = zorq_test::FailCallOfKind(zorq_test::SystemCall::Read, 1, EIO);
  EXPECT_EQ(Convert(dump), "File Error");
  EXPECT_EQ(Output().size(), 2 * (kRecordSize + 14));
}

TEST_F(LoggerConversionTest, RecordsAreAppendedAfterWhatTheToFileHeld) {
  WriteWholeFile(dir_.Path("out.csv"), "earlier output\r\n");
  shell_.OpenToAppend(dir_.Path("out.csv"));
  EXPECT_EQ(Convert(WorkedExampleDump()), "Finished All");
  EXPECT_EQ(Convert(WorkedExampleDump()), "Finished All");
  const std::string out = Output();
  ASSERT_EQ(out.size(), 16 + 2 * 1054u);
  EXPECT_EQ(out.substr(0, 16), "earlier output\r\n");
  EXPECT_EQ(out.substr(16, kRecordSize), kWorkedFirstRecord);
  EXPECT_EQ(out.substr(16 + 1054, 1054), out.substr(16, 1054));
}

TEST_F(LoggerConversionTest, ReadingsBeforeTheFirstDateStampAreKeptWithAZeroTime) {
  EXPECT_EQ(Convert(LoggerHeader() + Repeat(FullLine("4095", ""), 5) + Line("4095,") +
                    Stamp(19, 6, 30, 14, 5, 30) + Repeat(FullLine("0", ""), 10)),
            "Finished All");
  const std::string out = Output();
  ASSERT_EQ(out.size(), 4 * kRecordSize);
  EXPECT_EQ(out.substr(0, kRecordSize),
            Record(Prefix("04", "0000-00-00T00:00:00"), Repeat(",04.0000", 60)));
  EXPECT_EQ(out.substr(kRecordSize, kRecordSize),
            Record(Prefix("04", "0000-00-00T00:00:00"), ",04.0000"));
  // No time was advanced before the date stamp gave one.
  EXPECT_EQ(out.substr(2 * kRecordSize, 31), "f001,S04,B0,2019-06-30T14:05:30");
  EXPECT_EQ(out.substr(3 * kRecordSize, 31), "f001,S04,B0,2019-06-30T14:05:45");
}

TEST_F(LoggerConversionTest, UnusableDateStampsStopWithStatus4KeepingEarlierRecords) {
  // One record written, a second one begun with an extra value pending.
  const std::string before = LoggerHeader() + Stamp(19, 6, 30, 14, 5, 30) +
                             Repeat(FullLine("0", ""), 5) + Repeat(FullLine("0", "361"), 2);
  const std::string after = Repeat(FullLine("0", "362"), 5) + Line("0,");
  const std::string kBadStamps[] = {
      Stamp(19, 13, 1, 0, 0, 0),         // month 13
      Stamp(19, 6, 30, 25, 0, 0),        // hour 25
      Stamp(19, 4, 31, 12, 0, 0),        // 31 April
      Stamp(19, 2, 29, 12, 0, 0),        // not a leap year
      Stamp(19, 6, 30, 14, 60, 0),       // minute 60
      Line("Y19,M06,D30,H14,M05,S30"),   // 24 bytes with its CR
      Line("Y19,M06,X30,H14,M05,S30,"),  // misplaced letter
  };
  const std::string firstRecord =
      Record(Prefix("04", "2019-06-30T14:05:30"), Repeat(",00.0000", 60));
  for (const std::string& bad : kBadStamps) {
    NewOutput();
    EXPECT_EQ(Convert(before + bad + after), "Date & Time Error") << bad;
    EXPECT_EQ(Output(), firstRecord) << bad;
  }
  // A leap day is fine.
  NewOutput();
  EXPECT_EQ(Convert(before + Stamp(20, 2, 29, 12, 0, 0) + after), "Finished All");
  EXPECT_EQ(Output().substr(2 * kRecordSize + 14, 31), "f001,S04,B0,2020-02-29T12:00:00");
}

TEST_F(LoggerConversionTest, HeaderFaultsStopBeforeAnythingIsWritten) {
  struct Case {
    std::string header;
    std::string status;
    int rate, range, staff;  // the shared values afterwards
  };
  auto without = [](size_t offset, char letter) {
    std::string header = LoggerHeader("05", "1", "50");
    header[offset] = letter;
    return header;
  };
  const std::string body = Stamp(19, 6, 30, 14, 5, 30) + Repeat(FullLine("0", "360"), 5);
  // Values left by an earlier conversion show which fields were stored.
  const Case kCases[] = {
      {without(24, 'G'), "Header Error", 1, 1, 50},
      {without(41, 'B'), "Header Error", 5, 7, 50},
      {without(44, ' '), "Header Error", 5, 1, 77},
      {without(24, 'f'), "Header Error", 1, 1, 50},
      {LoggerHeader("00", "1", "50"), "Header Error", 0, 1, 50},
      {LoggerHeader("100", "1", "50"), "Header Error", 100, 1, 50},
      {LoggerHeader("-4", "1", "50"), "Header Error", -4, 1, 50},
      {LoggerHeader("99", "8", "37"), "Staff Length Error", 99, 8, 37},
      {LoggerHeader("99", "3", "50"), "Staff Length Error", 99, 3, 50},
  };
  for (const Case& c : kCases) {
    NewOutput();
    RangeCode = 7;
    QMAll = 77;
    EXPECT_EQ(Convert(c.header + body), c.status) << c.header;
    EXPECT_EQ(FileSampleRate, c.rate) << c.header;
    EXPECT_EQ(RangeCode, c.range) << c.header;
    EXPECT_EQ(QMAll, c.staff) << c.header;
    EXPECT_EQ(Output(), "") << c.header;
  }
  // Missing letters together.
  std::string none = LoggerHeader();
  none[24] = none[41] = none[44] = 'x';
  EXPECT_EQ(Convert(none + body), "Header Error");
  // The header must start with "Y" and the first block hold 129 bytes.
  EXPECT_EQ(Convert("X" + LoggerHeader().substr(1) + body), "Header Error");
  EXPECT_EQ(Convert((LoggerHeader() + body).substr(0, 128)), "Header Error");
  EXPECT_EQ(Output(), "");
}

TEST_F(LoggerConversionTest, TheFromTypePicksTheScaleTable) {
  // Staff code 223 under range code 8: 4.0 for From type 1, a miss for type 2.
  const std::string dump = LoggerHeader("04", "8", "223") + kPaddingLine +
                           Stamp(19, 6, 30, 14, 5, 30) + Line("4095,2047.5,");
  EXPECT_EQ(Convert(dump, 1), "Finished All");
  EXPECT_EQ(Output().substr(31, 16), ",04.0000,02.0000");
  EXPECT_EQ(Convert(dump, 2), "Staff Length Error");
  EXPECT_EQ(Output().size(), kRecordSize);
}
