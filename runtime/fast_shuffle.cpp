// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/fast_shuffle.h"

#include <H5Ipublic.h>  // before H5Zpublic.h, which takes its hid_t
#include <H5Zpublic.h>
#include <H5public.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fast_shuffle {
namespace {

// What Install takes from the library, set once before any file is written.
struct Library {
  Filter shuffle = nullptr;
  void* (*allocate)(size_t, hbool_t) = nullptr;  // the library's own heap: it frees what a
  herr_t (*release)(void*) = nullptr;            // filter hands back, and hands it ours
};
Library library;

// byte b of value i goes to place b * count + i: the values from `from` on.
template <size_t kSize>
void SpreadOneByOne(const uint8_t* values, size_t count, size_t from, uint8_t* spread) {
  for (size_t i = from; i < count; ++i)
    for (size_t b = 0; b < kSize; ++b)
      spread[b * count + i] = values[i * kSize + b];
}

#if defined(__SSE2__)
constexpr size_t kValuesPerRound = 16;

// Interleaves the two halves of a register byte by byte: for two 8-byte
// values, 16-bit word b holds byte b of each; for four 4-byte values, a
// second pass makes 32-bit word b hold byte b of each.
__m128i InterleaveHalves(__m128i bytes) {
  return _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 8));
}

void Spread8(const uint8_t* values, size_t count, uint8_t* spread) {
  size_t i = 0;
  for (; i + kValuesPerRound <= count; i += kValuesPerRound) {
    __m128i w[8];
    for (size_t r = 0; r < 8; ++r)
      w[r] = InterleaveHalves(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + (i + 2 * r) * 8)));
    // An 8 x 8 transpose of the 16-bit words: row b ends up holding byte b
    // of all sixteen values, in order.
    __m128i t[8];
    __m128i u[8];
    for (size_t r = 0; r < 8; r += 2) {
      t[r] = _mm_unpacklo_epi16(w[r], w[r + 1]);
      t[r + 1] = _mm_unpackhi_epi16(w[r], w[r + 1]);
    }
    for (size_t r = 0; r < 8; r += 4) {
      u[r] = _mm_unpacklo_epi32(t[r], t[r + 2]);
      u[r + 1] = _mm_unpackhi_epi32(t[r], t[r + 2]);
      u[r + 2] = _mm_unpacklo_epi32(t[r + 1], t[r + 3]);
      u[r + 3] = _mm_unpackhi_epi32(t[r + 1], t[r + 3]);
    }
    for (size_t b = 0; b < 4; ++b) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(spread + 2 * b * count + i),
                       _mm_unpacklo_epi64(u[b], u[b + 4]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(spread + (2 * b + 1) * count + i),
                       _mm_unpackhi_epi64(u[b], u[b + 4]));
    }
  }
  SpreadOneByOne<8>(values, count, i, spread);
}

void Spread4(const uint8_t* values, size_t count, uint8_t* spread) {
  size_t i = 0;
  for (; i + kValuesPerRound <= count; i += kValuesPerRound) {
    __m128i w[4];
    for (size_t r = 0; r < 4; ++r)
      w[r] = InterleaveHalves(InterleaveHalves(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + (i + 4 * r) * 4))));
    const __m128i low01 = _mm_unpacklo_epi32(w[0], w[1]);
    const __m128i high01 = _mm_unpackhi_epi32(w[0], w[1]);
    const __m128i low23 = _mm_unpacklo_epi32(w[2], w[3]);
    const __m128i high23 = _mm_unpackhi_epi32(w[2], w[3]);
    const __m128i rows[4] = {_mm_unpacklo_epi64(low01, low23), _mm_unpackhi_epi64(low01, low23),
                             _mm_unpacklo_epi64(high01, high23),
                             _mm_unpackhi_epi64(high01, high23)};
    for (size_t b = 0; b < 4; ++b)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(spread + b * count + i), rows[b]);
  }
  SpreadOneByOne<4>(values, count, i, spread);
}
constexpr bool kVectors = true;
#else
void Spread8(const uint8_t* values, size_t count, uint8_t* spread) {
  SpreadOneByOne<8>(values, count, 0, spread);
}
void Spread4(const uint8_t* values, size_t count, uint8_t* spread) {
  SpreadOneByOne<4>(values, count, 0, spread);
}
constexpr bool kVectors = false;
#endif

// The shuffle's one parameter, which the library sets for each variable.
unsigned ValueSize(size_t parameterCount, const unsigned parameters[]) {
  return parameterCount == H5Z_SHUFFLE_TOTAL_NPARMS ? parameters[0] : 0;
}

}  // namespace

size_t Shuffle(unsigned flags, size_t parameterCount, const unsigned parameters[], size_t bytes,
               size_t* bufferBytes, void** buffer) {
  if (library.shuffle == nullptr)
    return 0;  // a failed filter: the library reports the write as failed
  const unsigned size = ValueSize(parameterCount, parameters);
  if ((flags & H5Z_FLAG_REVERSE) != 0 || (size != 4 && size != 8) || !kVectors)
    return library.shuffle(flags, parameterCount, parameters, bytes, bufferBytes, buffer);
  const size_t count = bytes / size;
  if (count <= 1)
    return bytes;  // nothing to move, as the library leaves it
  auto* spread = static_cast<uint8_t*>(library.allocate(bytes, false));
  if (spread == nullptr)
    return 0;
  const auto* values = static_cast<const uint8_t*>(*buffer);
  if (size == 8)
    Spread8(values, count, spread);
  else
    Spread4(values, count, spread);
  // Bytes past the last whole value stay at the end, as the library keeps them.
  const size_t whole = count * size;
  std::memcpy(spread + whole, values + whole, bytes - whole);
  library.release(*buffer);
  *buffer = spread;
  *bufferBytes = bytes;
  return bytes;
}

Filter LibraryShuffle() {
  return library.shuffle;
}

void* LibraryBuffer(size_t bytes) {
  return library.allocate != nullptr ? library.allocate(bytes, false) : nullptr;
}

void ReleaseLibraryBuffer(void* buffer) {
  if (library.release != nullptr)
    library.release(buffer);
}

bool Install(void* hdf5) {
  const auto* own = static_cast<const H5Z_class2_t*>(::dlsym(hdf5, "H5Z_SHUFFLE"));
  // Not part of HDF5's API, which refuses to replace a filter it defines;
  // the library's own registration does, keeping the filter's other
  // callbacks, and so the parameters it stores in the file.
  const auto registerFilter =
      reinterpret_cast<herr_t (*)(const H5Z_class2_t*)>(::dlsym(hdf5, "H5Z_register"));
  const auto available =
      reinterpret_cast<htri_t (*)(H5Z_filter_t)>(::dlsym(hdf5, "H5Zfilter_avail"));
  const auto allocate =
      reinterpret_cast<void* (*)(size_t, hbool_t)>(::dlsym(hdf5, "H5allocate_memory"));
  const auto release = reinterpret_cast<herr_t (*)(void*)>(::dlsym(hdf5, "H5free_memory"));
  if (own == nullptr || registerFilter == nullptr || available == nullptr || allocate == nullptr ||
      release == nullptr || own->version != H5Z_CLASS_T_VERS || own->id != H5Z_FILTER_SHUFFLE ||
      own->filter == nullptr)
    return false;
  // The library registers its filters when first asked about them: ours
  // comes after, or the library would put its own back.
  if (available(H5Z_FILTER_SHUFFLE) <= 0)
    return false;
  library = {own->filter, allocate, release};
  static H5Z_class2_t ours;
  ours = *own;
  ours.filter = &Shuffle;
  if (registerFilter(&ours) < 0) {
    library = {};
    return false;
  }
  return true;
}

}  // namespace fast_shuffle
