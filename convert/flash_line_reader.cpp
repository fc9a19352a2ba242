#include "convert/flash_line_reader.h"

#include <bit>
#include <climits>
#include <cstring>

#include "convert/byte_scan.h"
#include "convert/shared_state.h"
#include "convert/status.h"
#include "runtime/fast_numbers.h"
#include "runtime/files.h"
#include "runtime/numbers.h"

int AddSaturated(int a, int b) {
  const long long sum = static_cast<long long>(a) + b;
  if (sum > INT_MAX)
    return INT_MAX;
  if (sum < INT_MIN)
    return INT_MIN;
  return static_cast<int>(sum);
}

bool FlashLineReader::ReadHeaderBlock() {
  const long count = ReadFile(FileFromHandle, block_, kBlockSize);
  blockLength_ = count > 0 ? static_cast<int>(count) : 0;
  if (count < kMinimumFirstBlock || block_[0] != 'Y') {
    ConvertState = kStatusHeaderError;
    // No line may come from a refused header block.
    position_ = blockLength_;
    ended_ = true;
    return false;
  }
  position_ = kHeaderSize;
  MarkLineEnds();
  return true;
}

bool FlashLineReader::Refill() {
  if (ended_)
    return false;
  const long count = ReadFile(FileFromHandle, block_, kBlockSize);
  position_ = 0;
  if (count <= 0) {
    blockLength_ = 0;
    ended_ = true;
    if (count < 0) {
      // The dump could not be read to its end: say so rather than finish.
      readFailed_ = true;
      ConvertState = kStatusFileError;
    }
    return false;
  }
  blockLength_ = static_cast<int>(count);
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
    const bool skipped = lineStart_[0] == ',' || (skipShortLines_ && lineLength_ < 3);
    if (!skipped)
      return true;
  }
}

bool FlashLineReader::TakeLine() {
  lineLength_ = 0;
  if (position_ >= blockLength_ && !Refill())
    return false;
  // The first byte of a line is taken without being looked at, so the
  // second of two LFs in a row starts the next line.
  const int start = position_;
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
  AppendToLine(block_ + position_, 1);
  ++position_;
  for (;;) {
    // The end of the input inside a line drops the unfinished line.
    if (position_ >= blockLength_ && !Refill())
      return false;
    const char* start = block_ + position_;
    const size_t available = static_cast<size_t>(blockLength_ - position_);
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', available));
    if (lf == nullptr) {
      AppendToLine(start, available);
      position_ = blockLength_;
      continue;
    }
    AppendToLine(start, static_cast<size_t>(lf - start));
    position_ = static_cast<int>(lf - block_) + 1;
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
    ConvertState = kStatusDateTimeError;
    return;
  }
  stamp->year = AddSaturated(LineInteger(1), 2000);
  struct Field {
    int offset;
    char letter;
    int DateStamp::*value;
  };
  static constexpr Field kFields[] = {
      {4, 'M', &DateStamp::month},   {8, 'D', &DateStamp::day},     {12, 'H', &DateStamp::hour},
      {16, 'M', &DateStamp::minute}, {20, 'S', &DateStamp::second},
  };
  for (const Field& field : kFields) {
    if (lineStart_[field.offset] == field.letter) {
      stamp->*field.value = LineInteger(field.offset + 1);
    } else {
      ConvertState = kStatusDateTimeError;
    }
  }
}
