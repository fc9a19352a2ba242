// SPDX-License-Identifier: GPL-3.0-or-later
// The NetCDF files' shuffle: once the library is loaded, ours is the one
// HDF5 runs, and it leaves every chunk exactly as the library's own would.
#include "runtime/fast_shuffle.h"

#include <netcdf.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr unsigned kReverse = 0x0100;  // the filter's flag for reading

struct ShuffleRow {
  const char* name;
  unsigned valueSize;
  size_t values;
  size_t extraBytes;  // past the last whole value
};

// What a filter did to a chunk: the size it answered and the bytes it left.
struct Filtered {
  size_t answered = 0;
  std::vector<uint8_t> bytes;
};

Filtered Apply(fast_shuffle::Filter filter, unsigned flags, unsigned valueSize,
               const std::vector<uint8_t>& chunk) {
  size_t bufferBytes = chunk.size();
  void* buffer = fast_shuffle::LibraryBuffer(bufferBytes);
  if (buffer == nullptr)
    return {};
  std::memcpy(buffer, chunk.data(), chunk.size());
  const unsigned parameters[] = {valueSize};
  Filtered result;
  result.answered = filter(flags, 1, parameters, chunk.size(), &bufferBytes, &buffer);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  result.bytes.assign(bytes, bytes + result.answered);
  fast_shuffle::ReleaseLibraryBuffer(buffer);
  return result;
}

class FastShuffle : public testing::TestWithParam<ShuffleRow> {
 protected:
  void SetUp() override {
    nc_strerror(NC_NOERR);  // loads the library, which installs the shuffle
    library_ = fast_shuffle::LibraryShuffle();
    ASSERT_NE(library_, nullptr) << "the library's shuffle was not replaced";
  }
  fast_shuffle::Filter library_ = nullptr;
};

TEST_P(FastShuffle, LeavesTheLibrarysBytesAndUndoesToTheChunk) {
  const ShuffleRow& row = GetParam();
  std::vector<uint8_t> chunk(row.valueSize * row.values + row.extraBytes);
  std::mt19937 random(row.valueSize * 1000u + static_cast<unsigned>(row.values));
  for (uint8_t& byte : chunk)
    byte = static_cast<uint8_t>(random());

  const Filtered theirs = Apply(library_, 0, row.valueSize, chunk);
  const Filtered ours = Apply(&fast_shuffle::Shuffle, 0, row.valueSize, chunk);
  ASSERT_EQ(ours.answered, chunk.size());
  EXPECT_EQ(ours.answered, theirs.answered);
  EXPECT_EQ(ours.bytes, theirs.bytes);

  const Filtered back = Apply(&fast_shuffle::Shuffle, kReverse, row.valueSize, ours.bytes);
  EXPECT_EQ(back.bytes, chunk);
}

INSTANTIATE_TEST_SUITE_P(Rows, FastShuffle,
                         testing::Values(ShuffleRow{"TimesInWholeRounds", 8, 4096, 0},
                                         ShuffleRow{"TimesWithARoundBrokenOff", 8, 16 * 9 + 5, 0},
                                         ShuffleRow{"TimesWithBytesPastTheLast", 8, 33, 7},
                                         ShuffleRow{"FewerTimesThanARound", 8, 15, 3},
                                         ShuffleRow{"OneTimeIsLeftAlone", 8, 1, 5},
                                         ShuffleRow{"BurstIndices", 4, 16 * 7 + 3, 2},
                                         ShuffleRow{"OtherSizesGoToTheLibrary", 2, 301, 1},
                                         ShuffleRow{"Flags", 1, 100, 0}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
