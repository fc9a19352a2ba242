// Looking at a line several bytes at a time.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Bit i is set when bytes[i] is `wanted`, for the 64 bytes at `bytes`.
inline uint64_t ByteBitsOf64(const char* bytes, char wanted) {
#if defined(__SSE2__)
  const __m128i pattern = _mm_set1_epi8(wanted);
  uint64_t bits = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * i));
    const auto mask = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, pattern)));
    bits |= static_cast<uint64_t>(mask) << (16 * i);
  }
  return bits;
#else
  uint64_t bits = 0;
  for (int i = 0; i < 64; ++i) {
    bits |= static_cast<uint64_t>(bytes[i] == wanted) << i;
  }
  return bits;
#endif
}

// The four bytes at `bytes` (the first in the lowest byte, on any machine:
// the digit arithmetic below counts on that order).
inline uint32_t LoadWord(const char* bytes) {
  static_assert(
      std::endian::native == std::endian::little || std::endian::native == std::endian::big,
      "bytes of a word in neither order");
  uint32_t word;
  std::memcpy(&word, bytes, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap32(word);
  }
  return word;
}

// How many of the four bytes of `word` are decimal digits before the first
// byte that is not. A byte is a digit when it reads 0x3? both as it is and
// with 6 added; a carry out of a byte can only disturb bytes after a
// non-digit, which are not counted.
inline int DigitRunOfFour(uint32_t word) {
  const uint32_t high = word & 0xF0F0F0F0u;
  const uint32_t shifted = (word + 0x06060606u) & 0xF0F0F0F0u;
  const uint32_t nonDigit = (high ^ 0x30303030u) | (shifted ^ 0x30303030u);
  // A stop bit past the fourth byte makes four digits count as four
  // without a branch, which would be guessed wrong for mixed widths.
  return std::countr_zero(uint64_t{nonDigit} | (uint64_t{1} << 32)) / 8;
}

// The value of the first `digits` (1 to 4) bytes of `word`, all digits.
inline unsigned DigitsValue(uint32_t word, int digits) {
  // Shift the digits up so that the missing ones read as leading zeros;
  // then fold pairs and the two pairs.
  uint32_t folded = (word - 0x30303030u) << (8 * (4 - digits));
  folded = ((folded & 0x0F0F0F0Fu) * 2561u) >> 8;
  folded = ((folded & 0x00FF00FFu) * 6553601u) >> 16;
  return folded & 0xFFFFu;
}
