// The commas of a line, handed out in order, found 64 bytes at a time.
//
// Walking a line field by field makes each field's start wait for the end
// of the field before it; with the commas found beforehand the fields are
// independent of each other and their work can overlap.
#pragma once

#include <bit>
#include <cstdint>

#include "convert/byte_scan.h"

// Bit i is set when bytes[i] is a comma, for the 64 bytes at `bytes`.
inline uint64_t CommaBitsOf64(const char* bytes) {
  return ByteBitsOf64(bytes, ',');
}

class CommaPositions {
 public:
  // Bytes past the end of the line that are read (and ignored).
  static constexpr int kReach = 64;

  // `line` must be followed by kReach readable bytes.
  CommaPositions(const char* line, int length) : line_(line), length_(length) {}

  // The next comma of the line, in order from the first; -1 after the last.
  int Next() {
    while (bits_ == 0) {
      if (chunkStart_ + 64 >= length_) {
        return -1;  // no bytes of the line are left
      }
      LoadChunk();
    }
    const int position = chunkStart_ + std::countr_zero(bits_);
    bits_ &= bits_ - 1;
    return position;
  }

 private:
  // Moves to the next 64 bytes and finds their commas, leaving out any past
  // the end of the line.
  void LoadChunk() {
    chunkStart_ += 64;
    bits_ = CommaBitsOf64(line_ + chunkStart_);
    const int inLine = length_ - chunkStart_;
    if (inLine < 64) {
      bits_ &= (uint64_t{1} << inLine) - 1;
    }
  }

  const char* line_;
  int length_;
  int chunkStart_ = -64;  // the first LoadChunk moves to 0
  uint64_t bits_ = 0;
};
