// The gauge dump to gauge CSV conversion on real files: the worked example,
// header checks and their status order, the output header's variants, date
// and data lines, the C4 rule, failing writes and number formatting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/converters.h"
#include "app/shared_state.h"
#include "convert/status.h"
#include "runtime/files.h"
#include "tests/system_call_fakes.h"
#include "tests/test_support.h"

using zorq_test::FailCallOfKind;
using zorq_test::FakeSystemCalls;
using zorq_test::FileExists;
using zorq_test::HeadlessShell;
using zorq_test::ReadWholeFile;
using zorq_test::SystemCall;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

namespace {

// The worked example's header: 61 characters and CR LF, so that the first
// line starts at byte 63.
const std::string kHeader = "Y19,M06,D30,H12,M00,S00,F04,L10,I60,N00,00000X03,T10,,,,,,,,,\r\n";

// Its output header: part -3, 4 Hz, bursts of 10 every 60 minutes.
const std::string kOutputHeader = zorq_test::WorkedGaugeOutputHeader();

// The header with the two characters at `offset` replaced by `text`.
std::string HeaderWith(size_t offset, const std::string& text) {
  std::string header = kHeader;
  header.replace(offset, text.size(), text);
  return header;
}

// A dump of `header` and `body`, padded to the 129 bytes the header rule
// asks for with a skipped comma line between the two (so that the body's
// last line stays last).
std::string Dump(const std::string& header, const std::string& body) {
  const size_t size = header.size() + body.size();
  if (size >= 129)
    return header + body;
  const size_t padding = std::max<size_t>(129 - size, 2);
  return header + std::string(padding - 2, ',') + "\r\n" + body;
}

// The records one value produces at 4 Hz, with the pending C4 text if any.
std::string Group(const std::string& value, const std::string& c4 = "") {
  std::string records = "D1,C1," + value + "\r\n";
  if (!c4.empty())
    records += "D1,C4," + c4 + "\r\n";
  return records + "D1,C0,04\r\n";
}

std::string DateRecords(const std::string& date, const std::string& time) {
  return "D1,C8," + date + "\r\nD1,C9," + time + "\r\n";
}

// Twelve values 1 to 12 followed by `tail` (the thirteenth field onward).
std::string TwelveValues(const std::string& tail) {
  return "1,2,3,4,5,6,7,8,9,10,11,12" + tail;
}

std::string TwelveGroups(const std::string& c4 = "") {
  std::string records;
  for (int i = 1; i <= 12; ++i)
    records += Group(std::to_string(i) + ".000000", c4);
  return records;
}

class GaugeConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSharedState();
    SetWriteFaultHook(nullptr);
  }
  void TearDown() override {
    SetWriteFaultHook(nullptr);
    CloseBoth();
  }

  void CloseBoth() {
    if (FileFromHandle > 0)
      CloseFile(FileFromHandle);
    if (FileToHandle > 0)
      CloseFile(FileToHandle);
    FileFromHandle = 0;
    FileToHandle = 0;
  }

  // Runs one conversion of `dump` into `toPath` (opened as is, at its end),
  // as the dispatch would, and returns the To file's whole content.
  std::string ConvertInto(const std::string& dump, const std::string& toPath) {
    const std::string fromPath = dir_.Path("dump.txt");
    WriteWholeFile(fromPath, dump);
    FileFromHandle = OpenFile(fromPath.c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    FileToHandle = OpenFile(toPath.c_str(), VAL_WRITE_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    EXPECT_GT(FileFromHandle, 0);
    EXPECT_GT(FileToHandle, 0);
    SetFilePtr(FileToHandle, 0, VAL_END_OF_FILE);
    ConvertState = kStatusReady;
    FileSampleRate = 1;
    ConvertJXFlashToJXBCSV();
    CloseBoth();
    return ReadWholeFile(toPath);
  }

  // Converts into a fresh, empty To file.
  std::string Convert(const std::string& dump) {
    const std::string toPath = dir_.Path("out.csv");
    WriteWholeFile(toPath, "");
    return ConvertInto(dump, toPath);
  }

  // Converts a dump with the worked example's header and returns what
  // follows the output header (or the whole output when it is missing).
  std::string ConvertBody(const std::string& body) {
    const std::string out = Convert(Dump(kHeader, body));
    if (out.compare(0, kOutputHeader.size(), kOutputHeader) != 0) {
      ADD_FAILURE() << "output header missing: " << out;
      return out;
    }
    return out.substr(kOutputHeader.size());
  }

  TempDir dir_;
};

// --- The worked example ---

const std::string kExampleDump = kHeader +
                                 "Y19,M06,D30,H12,M00,S00,\r\n"
                                 "1.25,,1.5,2,2.25,-0.5,0,3.125,10,1.75,1.5,1.25,1,372,\r\n"
                                 ",,,,\r\n"
                                 "0.5,0.75,\r\n";

const std::string kExampleOutput = kOutputHeader +
                                   "D1,C8,2019-06-30\r\n"
                                   "D1,C9,12:00:00\r\n"
                                   "D1,C1,1.250000\r\nD1,C0,04\r\n"
                                   "D1,C1,1.500000\r\nD1,C0,04\r\n"
                                   "D1,C1,2.000000\r\nD1,C0,04\r\n"
                                   "D1,C1,2.250000\r\nD1,C0,04\r\n"
                                   "D1,C1,-0.500000\r\nD1,C0,04\r\n"
                                   "D1,C1,0.000000\r\nD1,C0,04\r\n"
                                   "D1,C1,3.125000\r\nD1,C0,04\r\n"
                                   "D1,C1,10.000000\r\nD1,C0,04\r\n"
                                   "D1,C1,1.750000\r\nD1,C0,04\r\n"
                                   "D1,C1,1.500000\r\nD1,C0,04\r\n"
                                   "D1,C1,1.250000\r\nD1,C0,04\r\n"
                                   "D1,C1,1.000000\r\nD1,C0,04\r\n"
                                   "D1,C1,0.500000\r\nD1,C4,23.250000\r\nD1,C0,04\r\n"
                                   "D1,C1,0.750000\r\nD1,C4,23.250000\r\nD1,C0,04\r\n";

TEST_F(GaugeConversionTest, WorkedExampleByteForByte) {
  ASSERT_EQ(kExampleDump.size(), 161u);
  EXPECT_EQ(Convert(kExampleDump), kExampleOutput);
  EXPECT_EQ(ConvertState, kStatusFinished);
  EXPECT_EQ(FileSampleRate, 4);
  EXPECT_EQ(BurstLength, 10);
  EXPECT_EQ(BurstInterval, 60);
  EXPECT_EQ(NewFileInterval, 0);
  EXPECT_EQ(PartVariant, 3);
  EXPECT_EQ(LoggerTypeCode, 10);
}

TEST(GaugeThroughShell, WorkedExampleFromThePanelAppendsAndStartsEachRunWithoutC4) {
  HeadlessShell shell;
  TempDir dir;
  WriteWholeFile(dir.Path("dump.txt"), kExampleDump);
  shell.OpenFrom(dir.Path("dump.txt"));
  shell.OpenToNew(dir.Path("out.csv"));
  EXPECT_EQ(shell.Convert(3, 1), "Finished All");
  // A second run appends the same bytes: the C4 text of the first run does
  // not carry over to the first values of the second.
  EXPECT_EQ(shell.Convert(3, 1), "Finished All");
  EXPECT_EQ(ConvertState, kStatusFinished);
  EXPECT_EQ(ReadWholeFile(dir.Path("out.csv")), kExampleOutput + kExampleOutput);
}

TEST_F(GaugeConversionTest, OutputIsAppendedAfterWhatTheToFileHolds) {
  const std::string toPath = dir_.Path("kept.csv");
  WriteWholeFile(toPath, "earlier\r\n");
  EXPECT_EQ(ConvertInto(kExampleDump, toPath), "earlier\r\n" + kExampleOutput);
}

// --- Header checks ---

TEST_F(GaugeConversionTest, HeaderChecksAndTheirStatusOrder) {
  struct Case {
    const char* name;
    std::string header;
    uint8_t status;
  };
  const Case cases[] = {
      {"type 09", HeaderWith(50, "09"), kStatusFromTypeError},
      {"missing month letter and type 11", HeaderWith(4, "Q").replace(50, 2, "11"),
       kStatusFromTypeError},
      {"missing month letter", HeaderWith(4, "Q"), kStatusDateTimeError},
      {"missing second letter", HeaderWith(20, "s"), kStatusDateTimeError},
      {"missing month and F letters", HeaderWith(4, "Q").replace(24, 1, "Q"), kStatusHeaderError},
      {"missing F then a missing date letter earlier", HeaderWith(24, "f").replace(8, 1, "d"),
       kStatusHeaderError},
      {"missing L", HeaderWith(28, "Q"), kStatusHeaderError},
      {"missing I", HeaderWith(32, "Q"), kStatusHeaderError},
      {"missing N", HeaderWith(36, "Q"), kStatusHeaderError},
      {"missing X", HeaderWith(45, "0"), kStatusHeaderError},
      {"missing T, type 0 at start-up", HeaderWith(49, ","), kStatusFromTypeError},
      {"missing X and type 09", HeaderWith(45, "0").replace(50, 2, "09"), kStatusFromTypeError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetSharedState();
    const std::string toPath = dir_.Path("untouched.csv");
    WriteWholeFile(toPath, "before");
    EXPECT_EQ(ConvertInto(Dump(c.header, "1,2,3\r\n"), toPath), "before");
    EXPECT_EQ(ConvertState, c.status);
  }
}

TEST_F(GaugeConversionTest, MissingTypeLetterTestsTheTypeOfTheLastGaugeConversion) {
  const std::string noType = Dump(HeaderWith(49, "Q"), "");
  Convert(noType);
  EXPECT_EQ(ConvertState, kStatusFromTypeError) << "type 0 at start-up";
  Convert(Dump(kHeader, ""));
  ASSERT_EQ(ConvertState, kStatusFinished);
  EXPECT_EQ(Convert(noType), "");
  EXPECT_EQ(ConvertState, kStatusHeaderError) << "type 10 left by the earlier conversion";
  Convert(Dump(HeaderWith(50, "11"), ""));
  EXPECT_EQ(ConvertState, kStatusFromTypeError);
  Convert(noType);
  EXPECT_EQ(ConvertState, kStatusFromTypeError) << "type 11 left by the earlier conversion";
}

TEST_F(GaugeConversionTest, HeaderValueWithoutItsLetterKeepsTheEarlierValue) {
  Convert(Dump(HeaderWith(28, "L05"), ""));
  ASSERT_EQ(BurstLength, 5);
  Convert(Dump(HeaderWith(28, "Q07").replace(32, 3, "I08"), ""));
  EXPECT_EQ(ConvertState, kStatusHeaderError);
  EXPECT_EQ(BurstLength, 5);
  EXPECT_EQ(BurstInterval, 8) << "the fields after a missing letter are still read";
}

TEST_F(GaugeConversionTest, ShortOrForeignDumpIsAHeaderErrorWithTheToFileUntouched) {
  const std::string exact129 = kHeader + "7" + std::string(129 - 63 - 3, ',') + "\r\n";
  const struct {
    const char* name;
    std::string dump;
    uint8_t status;
  } cases[] = {
      {"129 bytes", exact129, kStatusFinished},
      {"128 bytes", exact129.substr(0, 128), kStatusHeaderError},
      {"first byte not Y", "Z" + exact129.substr(1), kStatusHeaderError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string toPath = dir_.Path("to.csv");
    WriteWholeFile(toPath, "kept");
    const std::string out = ConvertInto(c.dump, toPath);
    EXPECT_EQ(ConvertState, c.status);
    if (c.status == kStatusHeaderError) {
      EXPECT_EQ(out, "kept");
    } else {
      EXPECT_EQ(out, "kept" + kOutputHeader + Group("7.000000"));
    }
  }
}

TEST_F(GaugeConversionTest, FailedReadOfTheHeaderIsAHeaderError) {
  FakeSystemCalls fakes;
  fakes.fault = FailCallOfKind(SystemCall::Read, 0, EIO, true);
  EXPECT_EQ(Convert(kExampleDump), "");
  EXPECT_EQ(ConvertState, kStatusHeaderError);
}

TEST_F(GaugeConversionTest, FailedReadMidFileKeepsTheFileErrorAndWhatWasWritten) {
  // The data line crosses into the second block, whose read fails.
  const std::string dump = kHeader + std::string(1024 - 63 - 2, ',') + "\r\n" + "5,6,7\r\n";
  // One read(2) per 1024-byte block; the second fails.
  FakeSystemCalls fakes;
  fakes.readLimit = 1024;
  fakes.fault = FailCallOfKind(SystemCall::Read, 1, EIO);
  EXPECT_EQ(Convert(dump), kOutputHeader);
  EXPECT_EQ(ConvertState, kStatusFileError);
  EXPECT_EQ(fakes.Count(SystemCall::Read), 2) << "no read after the failed one";
}

// --- Output header variants ---

TEST_F(GaugeConversionTest, OutputHeaderVariants) {
  struct Case {
    const char* name;
    std::string header;
    std::string partLine;
    std::string burstLine;
    std::string newFileLine;
  };
  const std::string part3 = " Part #ZORQ-207-118K-3\r\n";
  const std::string part1 = " Part #ZORQ-207-118K-1\r\n";
  const std::string part10 = " Part #ZORQ-207-118K-10\r\n";
  const std::string burst10 = " Burst Length,10 min.\r\n";
  const std::string continuous = " New File Interval, Continuous\r\n\r\n";
  const Case cases[] = {
      {"example", kHeader, part3, burst10, continuous},
      {"part 0", HeaderWith(46, "00"), part10, burst10, continuous},
      {"part 1", HeaderWith(46, "01"), part1, burst10, continuous},
      {"part 2", HeaderWith(46, "02"), part10, burst10, continuous},
      {"part 10", HeaderWith(46, "10"), part10, burst10, continuous},
      {"part -3", HeaderWith(46, "-3"), part10, burst10, continuous},
      {"continuous bursts", HeaderWith(29, "00"), part3, " Burst Length, Continuous\r\n",
       continuous},
      {"burst length 5", HeaderWith(29, "05"), part3, " Burst Length,05 min.\r\n", continuous},
      {"new file every 7 days", HeaderWith(37, "07"), part3, burst10,
       " New File Interval,07 day.\r\n\r\n"},
      {"new file interval -1", HeaderWith(37, "-1"), part3, burst10,
       " New File Interval,-1 day.\r\n\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string expected = " Wave Gauge Converted File\r\n" + c.partLine +
                                 " Date & Time,2019-06-30T12:00:00\r\n"
                                 " Sample rate,04,Hz\r\n" +
                                 c.burstLine + " Burst Interval,60 min.\r\n" + c.newFileLine;
    EXPECT_EQ(Convert(Dump(c.header, "")), expected);
    EXPECT_EQ(ConvertState, kStatusFinished);
  }
}

TEST_F(GaugeConversionTest, HeaderNumbersAreZeroFilledOrWrittenInFull) {
  // Year 05, one-digit, negative and eight-digit values.
  std::string header = kHeader;
  header.replace(1, 2, "05");
  header.replace(5, 2, " 1");
  header.replace(25, 2, "-1");
  header.replace(33, 3, "9,,");
  header.replace(36, 9, "N99999999");  // over bytes 40 to 44, which nothing reads
  const std::string out = Convert(Dump(header, "7,\r\n"));
  EXPECT_EQ(ConvertState, kStatusFinished);
  EXPECT_EQ(out,
            " Wave Gauge Converted File\r\n"
            " Part #ZORQ-207-118K-3\r\n"
            " Date & Time,2005-01-30T12:00:00\r\n"
            " Sample rate,-1,Hz\r\n"
            " Burst Length,10 min.\r\n"
            " Burst Interval,09 min.\r\n"
            " New File Interval,99999999 day.\r\n\r\n"
            "D1,C1,7.000000\r\nD1,C0,-1\r\n");
}

// --- Date-stamp lines ---

TEST_F(GaugeConversionTest, DateStampLines) {
  struct Case {
    const char* name;
    std::string body;
    std::string records;
    uint8_t status;
  };
  const Case cases[] = {
      {"25 bytes", "Y19,M06,D30,H14,M05,S30,\r\n", DateRecords("2019-06-30", "14:05:30"),
       kStatusFinished},
      {"24 bytes: nothing written, nothing after it",
       "Y19,M06,D30,H14,M05,S30\r\n"
       "5,\r\n",
       "", kStatusDateTimeError},
      {"X at offset 12: header hour, then stop",
       "Y19,M07,D01,X09,M05,S30,\r\n"
       "5,\r\n",
       DateRecords("2019-07-01", "12:05:30"), kStatusDateTimeError},
      {"X at offset 12 after another stamp: its hour",
       "Y19,M06,D30,H14,M05,S30,\r\n"
       "Y19,M07,D01,X09,M06,S31,\r\n",
       DateRecords("2019-06-30", "14:05:30") + DateRecords("2019-07-01", "14:06:31"),
       kStatusDateTimeError},
      {"year 05, no range checks", "Y05,M13,D32,H25,M61,S75,\r\n",
       DateRecords("2005-13-32", "25:61:75"), kStatusFinished},
      {"negative and wide values", "Y-1,M-2,D123H123M999S-12,\r\n",
       DateRecords("1999--2-123", "123:999:-12"), kStatusFinished},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ConvertBody(c.body), c.records);
    EXPECT_EQ(ConvertState, c.status);
  }
}

// --- Data lines ---

TEST_F(GaugeConversionTest, DataLineFields) {
  struct Case {
    const char* name;
    std::string body;
    std::string records;
  };
  const Case cases[] = {
      {"value in the last two bytes is not taken", "1.5,2\r\n", Group("1.500000")},
      {"two-character last value is taken", "1.5,22\r\n", Group("1.500000") + Group("22.000000")},
      {"empty fields are passed over", "1,,,2,\r\n", Group("1.000000") + Group("2.000000")},
      {"CR alone writes nothing", "\r\n", ""},
      {"two bytes write nothing", "5\r\n", ""},
      {"no CR: three bytes are enough", "555\n", Group("555.000000")},
      {"not a number reads 0", "abc,-,.\r\n", Group("0.000000") + Group("0.000000")},
      {"leading space, exponent, garbage", " 1.5e2x,+.25\r\n",
       Group("150.000000") + Group("0.250000")},
      {"reading stops at the line end", "1234567,\r\n999\n",
       Group("1234567.000000") + Group("999.000000")},
      {"a date stamp between lines", "1,\r\nY19,M06,D30,H14,M05,S30,\r\n2,\r\n",
       Group("1.000000") + DateRecords("2019-06-30", "14:05:30") + Group("2.000000")},
      {"unfinished last line is dropped", "1,\r\n2,3,4", Group("1.000000")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ConvertBody(c.body), c.records);
    EXPECT_EQ(ConvertState, kStatusFinished);
  }
}

TEST_F(GaugeConversionTest, ThirteenthFieldPreparesTheC4Record) {
  struct Case {
    const char* name;
    std::string tail;  // after the twelfth value
    std::string c4;    // the C4 text of the next line's values; "" for none
  };
  const Case cases[] = {
      {"field in the last two bytes", ",5\r", ""},
      {"one digit and a comma", ",5,\r", "00.312500"},
      {"two digits", ",55\r", "03.437500"},
      {"hundred", ",100,\r", "06.250000"},
      {"negative", ",-8,\r", "-0.500000"},
      {"fifteen values", ",16,14,15\r", "01.000000"},
      {"empty thirteenth field", ",,16,\r", ""},
      {"tie rounds to even", ",0.125,\r", "00.007812"},
      {"sixteenths of a large reading", ",1600,\r", "100.000000"},
      {"no CR, field at the very end", ",5", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string body = TwelveValues(c.tail) + "\n7,\r\n";
    EXPECT_EQ(ConvertBody(body), TwelveGroups() + Group("7.000000", c.c4));
    EXPECT_EQ(ConvertState, kStatusFinished);
  }
}

TEST_F(GaugeConversionTest, C4TextStaysUntilALaterLineReplacesIt) {
  const std::string body = TwelveValues(",5,\r\n") +                // prepares 00.312500
                           "7,8\r\n" +                              // fewer than twelve: kept
                           "Y19,M06,D30,H14,M05,S30,\r\n" +         // kept across a date stamp
                           TwelveValues(",,32,\r\n") +              // empty 13th: kept
                           TwelveValues(",3\r\n") +                 // 13th too late: kept
                           "1,,2,3,4,5,6,7,8,9,10,11,12,32,\r\n" +  // replaced by 02.000000
                           "9,\r\n";
  const std::string c4 = "00.312500";
  const std::string expected = TwelveGroups() + Group("7.000000", c4) +
                               DateRecords("2019-06-30", "14:05:30") + TwelveGroups(c4) +
                               TwelveGroups(c4) + TwelveGroups(c4) + Group("9.000000", "02.000000");
  EXPECT_EQ(ConvertBody(body), expected);
  EXPECT_EQ(ConvertState, kStatusFinished);
}

TEST_F(GaugeConversionTest, ValueFormattingIsByteExact) {
  struct Case {
    const char* input;
    const char* value;
  };
  const Case cases[] = {
      {"-1.5", "-1.500000"},         {"-0.0000001", "-0.000000"},
      {"100", "100.000000"},         {"12345.678901", "12345.678901"},
      {"0.0000005", "0.000000"},     {"2.5e-7", "0.000000"},
      {"1.0000005", "1.000001"},     {"0.0000015", "0.000002"},
      {"0.0078125", "0.007812"},     {"0.0234375", "0.023438"},
      {"123.4567895", "123.456789"}, {"-0", "-0.000000"},
      {"007", "7.000000"},           {"1e1", "10.000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(ConvertBody(std::string(c.input) + ",\r\n"), Group(c.value));
  }
}

TEST_F(GaugeConversionTest, HugeNumbersAreWrittenWhole) {
  // Texts far longer than 49 characters are written whole, never cut.
  const char* inputs[] = {"1e300", "-1.7976931348623157e308"};
  for (const char* input : inputs) {
    SCOPED_TRACE(input);
    char expected[400];
    std::snprintf(expected, sizeof expected, "%.6f", std::strtod(input, nullptr));
    const std::string body =
        std::string(input) + ",\r\n" + TwelveValues(",") + input + ",\r\n" + "1,\r\n";
    char c4[400];
    std::snprintf(c4, sizeof c4, "%09.6f", std::strtod(input, nullptr) * 0.0625);
    const std::string out = ConvertBody(body);
    EXPECT_EQ(out, Group(expected) + TwelveGroups() + Group("1.000000", c4));
    EXPECT_GT(std::string(expected).size(), 300u);
  }
}

// --- Failing writes ---

TEST_F(GaugeConversionTest, ToFileThatTakesNoBytesGetsAllSevenHeaderWritesAndNoMore) {
  const std::string fromPath = dir_.Path("dump.txt");
  const std::string toPath = dir_.Path("out.csv");
  WriteWholeFile(fromPath, kExampleDump);
  FileFromHandle = OpenFile(fromPath.c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
  FileToHandle = OpenFile(toPath.c_str(), VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
  ASSERT_GT(FileToHandle, 0);
  std::vector<long> counts;
  SetWriteFaultHook([&counts](long count) {
    counts.push_back(count);
    return true;  // every write is refused
  });
  ConvertState = kStatusReady;
  FileSampleRate = 1;
  ConvertJXFlashToJXBCSV();
  SetWriteFaultHook(nullptr);
  EXPECT_EQ(ConvertState, kStatusWriteError);
  // The seven header lines, each with its full length, and nothing else.
  const std::vector<long> expected = {28, 24, 34, 20, 23, 25, 34};
  EXPECT_EQ(counts, expected);
  EXPECT_EQ(FlushFile(FileToHandle), 0);
  EXPECT_EQ(ReadWholeFile(toPath), "");
}

TEST_F(GaugeConversionTest, FailedWriteAtEachPlace) {
  struct Case {
    const char* name;
    int failingWrite;  // 1 to 7 header lines, 8 the date stamp, then records
    std::string expected;
  };
  const std::string header = kOutputHeader;
  const std::string dates = DateRecords("2019-06-30", "14:05:30");
  const std::string c4 = "D1,C4,00.312500\r\n";
  const std::string rate = "D1,C0,04\r\n";
  std::string headerWithoutLine3 = header;
  headerWithoutLine3.erase(headerWithoutLine3.find(" Date & Time"), 34);
  const Case cases[] = {
      {"third header line: the others still written", 3, headerWithoutLine3},
      {"seventh header line", 7, header.substr(0, header.find(" New File"))},
      {"date stamp: stop at once", 8, header},
      // Writes 9 to 32: the twelve-value line; from 33: the line 1,2,3 with C4.
      {"first value record: the line is finished, no later line", 9,
       header + dates + TwelveGroups().substr(std::string("D1,C1,1.000000\r\n").size())},
      {"a C4 record: the line is finished", 8 + 24 + 5,
       header + dates + TwelveGroups() + Group("1.000000", "00.312500") + "D1,C1,2.000000\r\n" +
           rate + Group("3.000000", "00.312500")},
      {"a sample-rate record", 8 + 24 + 3,
       header + dates + TwelveGroups() + "D1,C1,1.000000\r\n" + c4 +
           Group("2.000000", "00.312500") + Group("3.000000", "00.312500")},
  };
  const std::string body =
      "Y19,M06,D30,H14,M05,S30,\r\n" + TwelveValues(",5,\r\n") + "1,2,3,\r\n" + "4,\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int writes = 0;
    SetWriteFaultHook([&writes, &c](long) { return ++writes == c.failingWrite; });
    EXPECT_EQ(Convert(Dump(kHeader, body)), c.expected);
    EXPECT_EQ(ConvertState, kStatusWriteError);
    SetWriteFaultHook(nullptr);
  }
}

}  // namespace
