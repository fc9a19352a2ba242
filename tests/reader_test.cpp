// The flash text reader on real files: header rule, block boundaries, line
// and skip rules, long lines, failing reads and date-stamp decoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include <memory>

#include "app/shared_state.h"
#include "convert/conversion_context.h"
#include "convert/flash_line_reader.h"
#include "convert/status.h"
#include "runtime/files.h"
#include "tests/system_call_fakes.h"
#include "tests/test_support.h"

using zorq_test::FailCallOfKind;
using zorq_test::FakeSystemCalls;
using zorq_test::SystemCall;
using zorq_test::TempDir;
using zorq_test::WriteWholeFile;

namespace {

constexpr int kFirstLine = 63;

// A 63-byte header: 61 characters and CR LF, so the first line follows it.
std::string Header() {
  return "Y19,M06,D30,H12,M00,S00,F04,L10,I60,N00,00000X03,T10,,,,,,,,,\r\n";
}

// A skipped filler line of exactly `size` bytes, LF included (size >= 2).
std::string CommaLine(size_t size) {
  return std::string(size - 2, ',') + "\r\n";
}

// Lines as the reader must hand them over, worked out on the whole file at
// once: from byte 63, each line runs from its first byte (taken whatever it
// is) to the next LF; an unfinished last line is dropped.
std::vector<std::string> ExpectedLines(const std::string& file, bool skipShortLines) {
  std::vector<std::string> lines;
  size_t position = kFirstLine;
  while (position < file.size()) {
    const size_t lf = file.find('\n', position + 1);
    if (lf == std::string::npos)
      break;
    std::string line = file.substr(position, lf - position);
    position = lf + 1;
    if (line.size() > static_cast<size_t>(FlashLineReader::kLineSize)) {
      line.resize(FlashLineReader::kLineSize);
    }
    if (line[0] == ',' || (skipShortLines && line.size() < 3))
      continue;
    lines.push_back(line);
  }
  return lines;
}

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSharedState(); }
  void TearDown() override {
    if (FileFromHandle > 0)
      CloseFile(FileFromHandle);
    FileFromHandle = 0;
  }

  void OpenDump(const std::string& bytes) {
    if (FileFromHandle > 0)
      CloseFile(FileFromHandle);
    const std::string path = dir_.Path("dump.txt");
    WriteWholeFile(path, bytes);
    FileFromHandle = OpenFile(path.c_str(), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    ASSERT_GT(FileFromHandle, 0);
    // A fresh conversion over the dump: its status starts at 0.
    request_.from = SourceOfHandle(FileFromHandle);
    result_ = ConversionResult{};
    context_ = std::make_unique<ConversionContext>(request_, &result_);
  }

  ConversionContext& Context() { return *context_; }
  uint8_t Status() const { return result_.status; }

  // Every line the reader hands over, after a successful header read.
  static std::vector<std::string> AllLines(FlashLineReader& reader) {
    std::vector<std::string> lines;
    // Bounded so that a reader that never ends fails instead of hanging.
    for (int guard = 0; guard < 100000 && reader.NextLine(); ++guard) {
      lines.emplace_back(reader.Line(), static_cast<size_t>(reader.LineLength()));
    }
    return lines;
  }

  std::vector<std::string> ReadDump(const std::string& bytes, bool skipShortLines) {
    OpenDump(bytes);
    FlashLineReader reader(Context(), skipShortLines);
    if (!reader.ReadHeaderBlock()) {
      ADD_FAILURE() << "header refused";
      return {};
    }
    return AllLines(reader);
  }

  TempDir dir_;
  ConversionRequest request_;
  ConversionResult result_;
  std::unique_ptr<ConversionContext> context_;
};

// --- Header block ---

TEST_F(ReaderTest, HeaderNeedsAtLeast129BytesAndAYFirst) {
  struct Case {
    const char* name;
    std::string bytes;
    bool accepted;
  };
  const std::string body129 = Header() + std::string(129 - 63 - 2, 'A') + "\r\n";
  const Case cases[] = {
      {"129 bytes", body129, true},
      {"128 bytes", body129.substr(0, 128), false},
      {"empty file", "", false},
      {"first byte not Y", "y" + body129.substr(1), false},
      {"2000 bytes without Y", "X" + std::string(1999, 'Y'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenDump(c.bytes);
    FlashLineReader reader(Context(), false);
    EXPECT_EQ(reader.ReadHeaderBlock(), c.accepted);
    EXPECT_EQ(Status(), c.accepted ? kStatusReady : kStatusHeaderError);
    if (!c.accepted) {
      EXPECT_FALSE(reader.NextLine()) << "no line after a refused header";
    }
  }
}

TEST_F(ReaderTest, FirstLineStartsAtByte63WhateverByte62Holds) {
  // No LF anywhere in the header: the first line is still cut at byte 63.
  std::string header(kFirstLine, 'H');
  header[0] = 'Y';
  const std::string file = header + "12,34\r\n" + std::string(60, '7') + "\r\n";
  EXPECT_EQ(ReadDump(file, false),
            (std::vector<std::string>{"12,34\r", std::string(60, '7') + "\r"}));
  // An LF at byte 62 itself is part of the header, not an empty line.
  header[62] = '\n';
  EXPECT_EQ(ReadDump(header + "5,6\r\n" + CommaLine(70), true), std::vector<std::string>{"5,6\r"});
}

TEST_F(ReaderTest, SmallFileIsScannedFromByte63ToItsEnd) {
  // 129 bytes in all: one block shorter than 1024, then the end.
  const std::string file = Header() + "1" + std::string(64, '9') + "\n";
  ASSERT_EQ(file.size(), 129u);
  EXPECT_EQ(ReadDump(file, false), std::vector<std::string>{"1" + std::string(64, '9')});
}

// --- Block boundaries ---

TEST_F(ReaderTest, LinesAcrossBlockBoundariesArriveWhole) {
  // Lines that start at 1020 (crossing 1023/1024) and at 2040 (crossing
  // 2047/2048).
  const std::string first = "ABCDEFGHIJ\r";
  const std::string second = "KLMNOPQRSTUV\r";
  std::string file = Header() + CommaLine(1020 - 63) + first + "\n";
  file += CommaLine(2040 - file.size()) + second + "\n";
  ASSERT_EQ(file.find(first), 1020u);
  ASSERT_EQ(file.find(second), 2040u);
  EXPECT_EQ(ReadDump(file, false), (std::vector<std::string>{first, second}));
}

TEST_F(ReaderTest, LineAfterSkippedLineEndingAtBlockEndStartsTheNextBlock) {
  // The skipped line's LF is byte 1023; the next line is byte 1024 onward.
  const std::string file = Header() + CommaLine(1024 - 63) + "Z123\r\n" + CommaLine(10);
  ASSERT_EQ(file[1023], '\n');
  EXPECT_EQ(ReadDump(file, false), std::vector<std::string>{"Z123\r"});
  // The same with a line ending exactly at the block end that is handed over.
  const std::string kept = Header() + std::string(1024 - 63 - 2, '4') + "\r\n" + "Z9\r\n";
  EXPECT_EQ(ReadDump(kept, false),
            (std::vector<std::string>{std::string(1024 - 63 - 2, '4') + "\r", "Z9\r"}));
}

TEST_F(ReaderTest, LfAsFirstByteOfABlockAndAsLastByteOfAFile) {
  // The byte at 1024 is the LF that ends a line started in the first block.
  std::string file = Header() + CommaLine(1024 - 63 - 4) + "1234";
  file += "\n56\r\n";
  ASSERT_EQ(file[1024], '\n');
  EXPECT_EQ(ReadDump(file, false), (std::vector<std::string>{"1234", "56\r"}));
}

TEST_F(ReaderTest, RandomLayoutsMatchTheWholeFileCut) {
  // Many files of random short lines, so that every kind of line meets the
  // block boundaries at many offsets; the reader must agree with a cut of the
  // whole file made at once.
  std::mt19937 random(20190630);
  const std::string alphabet = "0123456789,,,\r\r\n.-Y";
  for (int round = 0; round < 60; ++round) {
    std::string file = Header();
    const size_t size = 900 + random() % 2400;
    while (file.size() < size)
      file += alphabet[random() % alphabet.size()];
    for (const bool skipShort : {false, true}) {
      SCOPED_TRACE(testing::Message() << "round " << round << " skipShort " << skipShort);
      const auto expected = ExpectedLines(file, skipShort);
      ASSERT_EQ(ReadDump(file, skipShort), expected);
    }
  }
}

// --- Line and skip rules ---

TEST_F(ReaderTest, SkipRulesDifferBetweenLoggerAndGauge) {
  const std::string file = Header() +
                           "\r\n"        // CR alone
                           "5\r\n"       // two bytes
                           ",1,2,3\r\n"  // begins with a comma
                           "ab\r\n"      // three bytes
                           "\n\n"        // double LF: the second LF starts a line
                           "77\r\n" +
                           CommaLine(80) +  // the header rule wants 129 bytes at least
                           "last, no LF";   // unfinished: dropped
  EXPECT_EQ(ReadDump(file, /*skipShortLines=*/false),
            (std::vector<std::string>{"\r", "5\r", "ab\r", "\n", "77\r"}));
  EXPECT_EQ(ReadDump(file, /*skipShortLines=*/true), (std::vector<std::string>{"ab\r", "77\r"}));
}

TEST_F(ReaderTest, LongLineKeepsItsFirst1024Bytes) {
  std::string longLine;
  for (int i = 0; i < 3000; ++i)
    longLine += static_cast<char>('a' + i % 26);
  const std::string file = Header() + longLine + "\r\n" + "next\r\n";
  const auto lines = ReadDump(file, false);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], longLine.substr(0, FlashLineReader::kLineSize));
  EXPECT_EQ(lines[1], "next\r");
}

TEST_F(ReaderTest, ReadingIsBoundedByTheLineEvenWhenTheBufferHoldsMore) {
  // The line buffer is not cleared between lines: a short line must not
  // read the digits left behind by a longer one.
  OpenDump(Header() + "1234567,\r\n" + "99\n" + CommaLine(70));
  FlashLineReader reader(Context(), false);
  ASSERT_TRUE(reader.ReadHeaderBlock());
  ASSERT_TRUE(reader.NextLine());
  EXPECT_EQ(reader.LineInteger(0), 1234567);
  ASSERT_TRUE(reader.NextLine());
  ASSERT_EQ(reader.LineLength(), 2);
  EXPECT_EQ(reader.LineInteger(0), 99);
  EXPECT_DOUBLE_EQ(reader.LineDecimal(0), 99.0);
  EXPECT_EQ(reader.LineInteger(2), 0) << "an offset at the end reads 0";
  EXPECT_DOUBLE_EQ(reader.LineDecimal(5), 0.0);
}

// --- Failing reads ---

TEST_F(ReaderTest, FailedReadOfTheHeaderIsAHeaderError) {
  OpenDump(Header() + CommaLine(200));
  FakeSystemCalls fakes;
  fakes.fault = FailCallOfKind(SystemCall::Read, 0, EIO, true);
  FlashLineReader reader(Context(), false);
  EXPECT_FALSE(reader.ReadHeaderBlock());
  EXPECT_EQ(Status(), kStatusHeaderError);
}

TEST_F(ReaderTest, FailedReadMidFileEndsTheInputWithAFileError) {
  const std::string file = Header() + CommaLine(1024 - 63) + "12\r\n" + "34\r\n";
  OpenDump(file);
  // One read(2) per 1024-byte block; from the second on they fail.
  FakeSystemCalls fakes;
  fakes.readLimit = 1024;
  fakes.fault = FailCallOfKind(SystemCall::Read, 1, EIO, true);
  FlashLineReader reader(Context(), false);
  ASSERT_TRUE(reader.ReadHeaderBlock());
  EXPECT_FALSE(reader.NextLine());
  EXPECT_TRUE(reader.ReadFailed());
  EXPECT_EQ(Status(), kStatusFileError);
  // Ended for good: no further read is tried.
  const int readsAtEnd = fakes.Count(SystemCall::Read);
  EXPECT_FALSE(reader.NextLine());
  EXPECT_EQ(fakes.Count(SystemCall::Read), readsAtEnd);
}

// --- Date stamps ---

class DateStampTest : public ReaderTest {
 protected:
  // Decodes `line` (its LF added) over `start`.
  DateStamp Decode(const std::string& line, DateStamp start = {}) {
    OpenDump(Header() + line + "\n" + CommaLine(80));
    FlashLineReader reader(Context(), false);
    EXPECT_TRUE(reader.ReadHeaderBlock());
    EXPECT_TRUE(reader.NextLine());
    reader.DecodeDateStamp(&start);
    return start;
  }
};

bool SameStamp(const DateStamp& a, const DateStamp& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second;
}

TEST_F(DateStampTest, DecodesTheFieldsAtTheirOffsets) {
  struct Case {
    std::string line;
    DateStamp expected;
    uint8_t status;
  };
  const DateStamp earlier{1999, 1, 2, 3, 4, 5};
  const Case cases[] = {
      {"Y19,M06,D30,H14,M05,S30,\r", {2019, 6, 30, 14, 5, 30}, kStatusReady},
      // Year 05 is 2005; nothing is range-checked.
      {"Y05,M13,D32,H25,M61,S75,\r", {2005, 13, 32, 25, 61, 75}, kStatusReady},
      // Bytes between a value and the next letter are not looked at.
      {"Y20QM1 QD 9QH-1QM+2QS3QQ\r", {2020, 1, 9, -1, 2, 3}, kStatusReady},
      // Another capital in place of the D: the other fields are still read.
      {"Y19,M06,X30,H14,M05,S30,\r", {2019, 6, 2, 14, 5, 30}, kStatusDateTimeError},
      // Every letter missing: only the year is read.
      {"Y21,Q06,Q30,Q14,Q05,Q30,\r", {2021, 1, 2, 3, 4, 5}, kStatusDateTimeError},
      // 24 bytes: too short, nothing is read.
      {"Y19,M06,D30,H14,M05,S30\r", earlier, kStatusDateTimeError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const DateStamp got = Decode(c.line, earlier);
    EXPECT_TRUE(SameStamp(got, c.expected)) << got.year << "-" << got.month << "-" << got.day << " "
                                            << got.hour << ":" << got.minute << ":" << got.second;
    EXPECT_EQ(Status(), c.status);
  }
}

TEST_F(DateStampTest, TwentyFiveBytesAreEnoughEvenWithoutACr) {
  const DateStamp got = Decode("Y19,M06,D30,H14,M05,S30,9");
  EXPECT_EQ(Status(), kStatusReady);
  EXPECT_EQ(got.second, 30);
}

TEST_F(DateStampTest, HugeYearSaturatesInsteadOfOverflowing) {
  const DateStamp got = Decode("Y2147483647M06,D30,H14,M05,S30,\r");
  // The month letter is not at offset 4 any more.
  EXPECT_EQ(got.year, 2147483647);
  EXPECT_EQ(Status(), kStatusDateTimeError);
}

}  // namespace
