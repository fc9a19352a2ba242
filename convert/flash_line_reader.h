// Reads a flash dump block by block and cuts it into lines.
//
// The first block holds a fixed-position header in its first 63 bytes; the
// first line starts at byte 63 whatever byte 62 holds. A line is the run of
// bytes before an LF; a CR before the LF stays in the line as its last byte.
// Lines that start with a comma are skipped, and with `skipShortLines` also
// lines shorter than 3 bytes. Line N is the line that follows N-1 LFs of the
// file, so the header is line 1 (and LFs in the first 63 bytes count). The
// reader works for one conversion: it reads through that conversion's From
// source, sets its status, counts into its report and calls its progress and
// cancel hooks every kHookSpacing bytes. A line is not zero-terminated: nothing may
// look past its first LineLength() bytes, except the fast scanners that are
// told the line is followed by kLinePadding readable bytes (of no meaning).
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/date_stamp.h"

class ByteSource;

class ConversionContext;

// a + b, held to the 32-bit range.
int AddSaturated(int a, int b);

class FlashLineReader {
 public:
  static constexpr int kBlockSize = 1024;
  static constexpr int kLineSize = 1024;
  static constexpr int kHeaderSize = 63;
  static constexpr int kMinimumFirstBlock = 129;
  static constexpr int kMinimumDateStampLine = 25;
  // Readable bytes after the end of every line, so that word-at-a-time
  // scanning near the end stays inside the reader's buffers.
  static constexpr int kLinePadding = 64;

  // Progress is told, and cancelling asked, after every this many bytes.
  static constexpr int64_t kHookSpacing = 64 * 1024;

  FlashLineReader(ConversionContext& context, bool skipShortLines);
  // Leaves the line counts and the bytes read in the context's report.
  ~FlashLineReader();
  FlashLineReader(const FlashLineReader&) = delete;
  FlashLineReader& operator=(const FlashLineReader&) = delete;

  // Reads the first block of the From file and judges what it looks like.
  // Fails, with status 2 (Header Error), when the block is shorter than 129
  // bytes or does not start with "Y". On success the first line starts at
  // byte 63.
  bool ReadHeaderBlock();

  // Assembles the next line that is not skipped. False at the end of the
  // input, and when the conversion is cancelled; an unfinished last line (no
  // LF) is dropped. A line longer than the line buffer keeps its first 1024
  // bytes; the rest up to its LF is dropped. A failed read ends the input
  // with status 1 (File Error).
  bool NextLine();

  // Decodes the current line as a date-stamp line into `stamp`. A line
  // shorter than 25 bytes sets status 4 and leaves `stamp` as it was. A
  // letter missing from its offset sets 4 too and keeps that field's
  // earlier value; the other fields are still read. No range is checked.
  void DecodeDateStamp(DateStamp* stamp) const;

  // The current line's number and the offset of its first byte in the file.
  int64_t LineNumber() const { return lineNumber_; }
  int64_t LineByte() const {
    return lineStart_ == line_ ? assembledLineByte_ : blockStart_ + (lineStart_ - block_);
  }

  const char* Line() const { return lineStart_; }
  int LineLength() const { return lineLength_; }
  // Integer and decimal readings of the current line from `offset`, bounded
  // by the line's end; an offset at or past the end reads 0.
  int LineInteger(int offset) const;
  double LineDecimal(int offset) const;

  // True when the header holds `letter` at `offset`.
  bool HeaderHasLetter(int offset, char letter) const;
  // Integer reading of the header from `offset`, bounded by the block's end.
  int HeaderInteger(int offset) const;

  bool ReadFailed() const { return readFailed_; }
  // Of the file: the CRs put before LFs are not counted.
  int64_t BytesRead() const { return blockStart_ + blockLength_ - crsAdded_; }

 private:
  long ReadBlock(bool first);
  bool Refill(int64_t line, int64_t byte);
  void MarkLineEnds();
  int LineEndFrom(int from) const;
  bool TakeLine();
  bool AssembleLine();
  void AppendToLine(const char* bytes, size_t count);
  void NoteUnfinishedLine(int64_t bytes) const;

  ConversionContext& context_;
  ByteSource& from_;
  char block_[kBlockSize + kLinePadding] = {};
  int blockLength_ = 0;
  // Bit i of word i / 64 is set when the block's byte i is an LF, so that
  // each line's end is found without scanning its bytes again.
  uint64_t lineEnds_[kBlockSize / 64] = {};
  int position_ = 0;
  // A line that lies within one block is used where it is; one that spans
  // blocks is put together in line_.
  char line_[kLineSize + kLinePadding] = {};
  const char* lineStart_ = line_;
  int lineLength_ = 0;
  bool skipShortLines_;
  bool crBeforeLf_;
  int64_t crsAdded_ = 0;
  bool ended_ = false;
  bool readFailed_ = false;
  // Where the block starts in the file, and the LFs before the next line.
  int64_t blockStart_ = 0;
  int64_t nextLineNumber_ = 1;
  int64_t lineNumber_ = 0;
  int64_t assembledLineByte_ = 0;  // of a line put together in line_
  int64_t nextHookAt_ = kHookSpacing;
  int64_t linesRead_ = 0;
  int64_t commaLinesSkipped_ = 0;
  int64_t shortLinesSkipped_ = 0;
};
