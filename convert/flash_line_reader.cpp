#include "convert/flash_line_reader.h"

#include <bit>
#include <climits>
#include <cstring>

#include <string>
#include <string_view>

#include "convert/byte_scan.h"
#include "convert/conversion_context.h"
#include "convert/engine.h"
#include "convert/status.h"
#include "runtime/byte_streams.h"
#include "runtime/fast_numbers.h"
#include "runtime/numbers.h"

int AddSaturated(int a, int b) {
  const long long sum = static_cast<long long>(a) + b;
  if (sum > INT_MAX)
    return INT_MAX;
  if (sum < INT_MIN)
    return INT_MIN;
  return static_cast<int>(sum);
}

FlashLineReader::FlashLineReader(ConversionContext& context, bool skipShortLines)
    : context_(context),
      from_(*context.request.from),
      skipShortLines_(skipShortLines),
      crBeforeLf_(context.request.lfLineEnds) {}

FlashLineReader::~FlashLineReader() {
  ConversionReport& report = context_.report;
  report.linesRead = linesRead_;
  report.commaLinesSkipped = commaLinesSkipped_;
  report.shortLinesSkipped = shortLinesSkipped_;
  // Every line handed out is either a date-stamp line or a data line.
  report.dataLines = linesRead_ - commaLinesSkipped_ - shortLinesSkipped_ - report.dateStampLines;
  report.bytesRead = BytesRead();
}

// Reads the next block of the dump. With crBeforeLf_ each LF of the file
// comes as CR LF, from at most half a block of the file, so that a dump
// whose CRs were taken out reads as the instrument wrote it; a dump whose
// first block has CR LF line ends is read as it is.
long FlashLineReader::ReadBlock(bool first) {
  if (!crBeforeLf_)
    return from_.Read(block_, kBlockSize);
  char raw[kBlockSize / 2];
  const long count = from_.Read(raw, sizeof raw);
  if (count <= 0)
    return count;
  if (first && !LineEndsAreLfAlone(std::string_view(raw, static_cast<size_t>(count)))) {
    crBeforeLf_ = false;
    std::memcpy(block_, raw, static_cast<size_t>(count));
    return count;
  }
  int length = 0;
  for (long i = 0; i < count; ++i) {
    if (raw[i] == '\n') {
      block_[length++] = '\r';
      ++crsAdded_;
    }
    block_[length++] = raw[i];
  }
  return length;
}

bool FlashLineReader::ReadHeaderBlock() {
  const long count = ReadBlock(true);
  blockLength_ = count > 0 ? static_cast<int>(count) : 0;
  context_.report.look = LookAtHeader(block_, blockLength_);
  // Judged on the block as read: the file's own lines end in LF alone.
  context_.report.look.lfLineEnds = context_.report.look.lfLineEnds || crsAdded_ > 0;
  if (count < kMinimumFirstBlock || block_[0] != 'Y') {
    const std::string reason =
        count < kMinimumFirstBlock
            ? "the dump's first block holds " + std::to_string(blockLength_) +
                  " bytes; a header needs at least " + std::to_string(kMinimumFirstBlock)
            : "the header does not start with Y";
    context_.Fail(kStatusHeaderError, 1, 0, reason);
    // No line may come from a refused header block.
    position_ = blockLength_;
    ended_ = true;
    return false;
  }
  position_ = kHeaderSize;
  MarkLineEnds();
  // The first line starts at byte 63 whatever byte 62 holds.
  nextLineNumber_ = 1 + std::popcount(lineEnds_[0] & ((uint64_t{1} << kHeaderSize) - 1));
  return true;
}

// `line` and `byte` say which line the read is for, should it fail.
bool FlashLineReader::Refill(int64_t line, int64_t byte) {
  if (ended_)
    return false;
  blockStart_ += blockLength_;
  const long count = ReadBlock(false);
  position_ = 0;
  if (count <= 0) {
    blockLength_ = 0;
    ended_ = true;
    if (count < 0) {
      // The dump could not be read to its end: say so rather than finish.
      readFailed_ = true;
      context_.Fail(kStatusFileError, line, byte,
                    "the From file could not be read after byte " + std::to_string(blockStart_));
    }
    return false;
  }
  blockLength_ = static_cast<int>(count);
  if (BytesRead() >= nextHookAt_) {
    nextHookAt_ += kHookSpacing;
    if (!context_.ReportProgress(BytesRead())) {
      // Cancelled: the block counts as read, and no line comes from it.
      position_ = blockLength_;
      ended_ = true;
      return false;
    }
  }
  MarkLineEnds();
  return true;
}

void FlashLineReader::MarkLineEnds() {
  for (int word = 0; word * 64 < kBlockSize; ++word) {
    const int inBlock = blockLength_ - word * 64;
    uint64_t bits = inBlock > 0 ? ByteBitsOf64(block_ + word * 64, '\n') : 0;
    if (inBlock < 64)
      bits &= inBlock > 0 ? (uint64_t{1} << inBlock) - 1 : 0;
    lineEnds_[word] = bits;
  }
}

// The first LF of the block at or after `from`, or -1.
int FlashLineReader::LineEndFrom(int from) const {
  if (from >= blockLength_)
    return -1;
  int word = from / 64;
  uint64_t bits = lineEnds_[word] & (~uint64_t{0} << (from % 64));
  while (bits == 0) {
    if (++word * 64 >= blockLength_)
      return -1;
    bits = lineEnds_[word];
  }
  return word * 64 + std::countr_zero(bits);
}

void FlashLineReader::AppendToLine(const char* bytes, size_t count) {
  const size_t room = static_cast<size_t>(kLineSize - lineLength_);
  const size_t taken = count < room ? count : room;
  std::memcpy(line_ + lineLength_, bytes, taken);
  lineLength_ += static_cast<int>(taken);
}

bool FlashLineReader::NextLine() {
  for (;;) {
    if (!TakeLine())
      return false;
    ++linesRead_;
    if (lineStart_[0] == ',') {
      ++commaLinesSkipped_;
    } else if (skipShortLines_ && lineLength_ < 3) {
      ++shortLinesSkipped_;
    } else {
      return true;
    }
  }
}

void FlashLineReader::NoteUnfinishedLine(int64_t bytes) const {
  context_.Note(AnomalyKind::UnfinishedLastLine, lineNumber_, LineByte(),
                [bytes] { return std::to_string(bytes) + " bytes after the last LF, dropped"; });
}

bool FlashLineReader::TakeLine() {
  lineLength_ = 0;
  if (position_ >= blockLength_ && !Refill(nextLineNumber_, BytesRead()))
    return false;
  // The first byte of a line is taken without being looked at, so the
  // second of two LFs in a row starts the next line.
  const int start = position_;
  lineNumber_ = nextLineNumber_;
  // Every line ends at an LF, and a line may start with one.
  nextLineNumber_ += 1 + (block_[start] == '\n');
  const int end = LineEndFrom(start + 1);
  if (end < 0)
    return AssembleLine();
  lineStart_ = block_ + start;
  lineLength_ = end - start;  // shorter than a block, so shorter than line_
  position_ = end + 1;
  return true;
}

// The slow way, for a line that runs past the end of its block: copied piece
// by piece into line_.
bool FlashLineReader::AssembleLine() {
  lineStart_ = line_;
  assembledLineByte_ = blockStart_ + position_;
  AppendToLine(block_ + position_, 1);
  ++position_;
  int64_t wholeLength = 1;
  for (;;) {
    // The end of the input inside a line drops the unfinished line.
    if (position_ >= blockLength_ && !Refill(lineNumber_, LineByte())) {
      if (!readFailed_ && !context_.cancelled)
        NoteUnfinishedLine(wholeLength);
      return false;
    }
    const char* start = block_ + position_;
    const size_t available = static_cast<size_t>(blockLength_ - position_);
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', available));
    const size_t piece = lf == nullptr ? available : static_cast<size_t>(lf - start);
    AppendToLine(start, piece);
    wholeLength += static_cast<int64_t>(piece);
    if (lf == nullptr) {
      position_ = blockLength_;
      continue;
    }
    position_ = static_cast<int>(lf - block_) + 1;
    if (wholeLength > kLineSize) {
      context_.Note(AnomalyKind::LongLineCut, lineNumber_, LineByte(), [wholeLength] {
        return std::to_string(wholeLength) + " bytes, the first " + std::to_string(kLineSize) +
               " kept";
      });
    }
    return true;
  }
}

int FlashLineReader::LineInteger(int offset) const {
  if (offset < 0 || offset >= lineLength_)
    return 0;
  return ReadInteger(lineStart_ + offset, lineStart_ + lineLength_);
}

double FlashLineReader::LineDecimal(int offset) const {
  if (offset < 0 || offset >= lineLength_)
    return 0.0;
  return ReadDecimalFast(lineStart_ + offset, lineStart_ + lineLength_);
}

bool FlashLineReader::HeaderHasLetter(int offset, char letter) const {
  return offset >= 0 && offset < blockLength_ && block_[offset] == letter;
}

int FlashLineReader::HeaderInteger(int offset) const {
  if (offset < 0 || offset >= blockLength_)
    return 0;
  return ReadInteger(block_ + offset, block_ + blockLength_);
}

void FlashLineReader::DecodeDateStamp(DateStamp* stamp) const {
  if (lineLength_ < kMinimumDateStampLine) {
    context_.Fail(kStatusDateTimeError, lineNumber_, LineByte(),
                  "the date-stamp line is " + std::to_string(lineLength_) +
                      " bytes long; a date stamp needs at least " +
                      std::to_string(kMinimumDateStampLine));
    return;
  }
  stamp->year = AddSaturated(LineInteger(1), 2000);
  struct Field {
    int offset;
    char letter;
    int DateStamp::*value;
    const char* name;
  };
  static constexpr Field kFields[] = {
      {4, 'M', &DateStamp::month, "month"},    {8, 'D', &DateStamp::day, "day"},
      {12, 'H', &DateStamp::hour, "hour"},     {16, 'M', &DateStamp::minute, "minute"},
      {20, 'S', &DateStamp::second, "second"},
  };
  for (const Field& field : kFields) {
    if (lineStart_[field.offset] == field.letter) {
      stamp->*field.value = LineInteger(field.offset + 1);
    } else {
      context_.Fail(kStatusDateTimeError, lineNumber_, LineByte(),
                    std::string("no ") + field.letter + " at byte " + std::to_string(field.offset) +
                        " of the date-stamp line: the " + field.name + " is missing");
    }
  }
}
