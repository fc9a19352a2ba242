// Finding one byte value in 64 bytes at once.
#pragma once

#include <cstdint>

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
