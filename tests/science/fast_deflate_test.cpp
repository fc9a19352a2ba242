// SPDX-License-Identifier: GPL-3.0-or-later
// compress2 at the NetCDF files' level goes through igzip: what it writes
// must be a zlib stream that zlib itself reads back, and the program must
// export it for the HDF5 that libnetcdf brings to bind to.
#include <dlfcn.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

enum class Bytes { None, Zeros, TimeAxis, Noise };

struct DeflateRow {
  const char* name;
  Bytes bytes;
  size_t size;
  int level;
  size_t room;  // for the output; 0: zlib's bound
  int status;   // compress2's answer
};

class FastDeflate : public testing::TestWithParam<DeflateRow> {};

// A chunk of a time axis at 8 Hz, byte-shuffled as HDF5 hands it over.
std::vector<uint8_t> ShuffledTimes(size_t size) {
  const size_t count = size / sizeof(double);
  std::vector<uint8_t> shuffled(size);
  for (size_t i = 0; i < count; ++i) {
    const double time = 1.7e9 + static_cast<double>(i) / 8.0;
    uint8_t bytes[sizeof time];
    std::memcpy(bytes, &time, sizeof time);
    for (size_t b = 0; b < sizeof time; ++b)
      shuffled[b * count + i] = bytes[b];
  }
  return shuffled;
}

std::vector<uint8_t> Make(Bytes kind, size_t size) {
  switch (kind) {
    case Bytes::TimeAxis:
      return ShuffledTimes(size);
    case Bytes::Noise: {
      std::vector<uint8_t> noise(size);
      std::mt19937 random(7);
      for (uint8_t& byte : noise)
        byte = static_cast<uint8_t>(random());
      return noise;
    }
    case Bytes::None:
    case Bytes::Zeros:
      break;
  }
  return std::vector<uint8_t>(size, 0);
}

TEST_P(FastDeflate, WritesAStreamZlibReadsBack) {
  const DeflateRow& row = GetParam();
  const std::vector<uint8_t> input = Make(row.bytes, row.size);
  uLongf written = row.room != 0 ? row.room : compressBound(input.size());
  std::vector<Bytef> stream(written);
  ASSERT_EQ(compress2(stream.data(), &written, input.data(), input.size(), row.level), row.status);
  if (row.status != Z_OK)
    return;
  std::vector<Bytef> back(input.size() + 1);
  uLongf backSize = back.size();
  ASSERT_EQ(uncompress(back.data(), &backSize, stream.data(), written), Z_OK);
  back.resize(backSize);
  EXPECT_EQ(back, std::vector<Bytef>(input.begin(), input.end()));
  if (row.bytes == Bytes::Zeros || row.bytes == Bytes::TimeAxis) {
    EXPECT_LT(written, input.size() / 20) << "it deflates";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FastDeflate,
    testing::Values(DeflateRow{"Empty", Bytes::None, 0, 1, 0, Z_OK},
                    DeflateRow{"Zeros", Bytes::Zeros, 1 << 20, 1, 0, Z_OK},
                    DeflateRow{"TimeAxisChunk", Bytes::TimeAxis, 512 * 1024, 1, 0, Z_OK},
                    DeflateRow{"NoiseStoredWhole", Bytes::Noise, 300000, 1, 0, Z_OK},
                    DeflateRow{"NoRoomForNoise", Bytes::Noise, 300000, 1, 1000, Z_BUF_ERROR},
                    DeflateRow{"OtherLevelsThroughZlib", Bytes::TimeAxis, 512 * 1024, 6, 0, Z_OK},
                    DeflateRow{"NoRoomThroughZlib", Bytes::Noise, 300000, 6, 1000, Z_BUF_ERROR}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FastDeflateExport, ALibraryOpenedLaterBindsToTheProgramsCompress2) {
  EXPECT_EQ(::dlsym(RTLD_DEFAULT, "compress2"), reinterpret_cast<void*>(&compress2));
}

}  // namespace
