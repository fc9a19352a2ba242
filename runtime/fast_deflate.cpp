// SPDX-License-Identifier: GPL-3.0-or-later
// zlib's compress2 at level 1, the level of the NetCDF files' deflate, done
// by ISA-L's igzip.
//
// HDF5 deflates each chunk of a NetCDF file through compress2, and on a
// file's time axis zlib took more CPU time than converting the dump. igzip
// writes the same zlib streams (header, deflate data, Adler-32 trailer)
// several times faster, and no larger, so every reader decodes them as
// before. The programs export this definition (see CMakeLists.txt), so the
// HDF5 that libnetcdf brings with it binds to it; every other level, and
// any caller that asks for one, is deflated by zlib as its compress2 does.
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

constexpr int kIgzipLevel = 1;

// What zlib's compress2 does, through its stream interface: the name
// compress2 is this file's.
int ZlibCompress(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen, int level) {
  constexpr uLong kMostPerCall = std::numeric_limits<uInt>::max();
  uLong outLeft = *destLen;
  *destLen = 0;
  z_stream stream{};
  int status = deflateInit(&stream, level);
  if (status != Z_OK)
    return status;
  stream.next_out = dest;
  stream.next_in = const_cast<Bytef*>(source);  // zlib does not write to it
  uLong inLeft = sourceLen;
  do {
    if (stream.avail_out == 0) {
      stream.avail_out = static_cast<uInt>(std::min(outLeft, kMostPerCall));
      outLeft -= stream.avail_out;
    }
    if (stream.avail_in == 0) {
      stream.avail_in = static_cast<uInt>(std::min(inLeft, kMostPerCall));
      inLeft -= stream.avail_in;
    }
    status = deflate(&stream, inLeft != 0 ? Z_NO_FLUSH : Z_FINISH);
  } while (status == Z_OK);
  *destLen = stream.total_out;
  deflateEnd(&stream);
  return status == Z_STREAM_END ? Z_OK : status;
}

int IgzipCompress(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen) {
  thread_local std::vector<uint8_t> levelBuffer(ISAL_DEF_LVL1_DEFAULT);
  isal_zstream stream;
  isal_deflate_stateless_init(&stream);
  stream.level = kIgzipLevel;
  stream.level_buf = levelBuffer.data();
  stream.level_buf_size = static_cast<uint32_t>(levelBuffer.size());
  stream.gzip_flag = IGZIP_ZLIB;
  stream.end_of_stream = 1;
  stream.next_in = const_cast<Bytef*>(source);  // igzip does not write to it
  stream.avail_in = static_cast<uint32_t>(sourceLen);
  stream.next_out = dest;
  stream.avail_out = static_cast<uint32_t>(*destLen);
  const int status = isal_deflate_stateless(&stream);
  if (status == STATELESS_OVERFLOW)
    return Z_BUF_ERROR;  // as zlib says it: the output did not fit
  if (status != COMP_OK)
    return Z_STREAM_ERROR;
  *destLen = stream.total_out;
  return Z_OK;
}

}  // namespace

int compress2(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen, int level) {
  constexpr uLong kIgzipMost = std::numeric_limits<uint32_t>::max();
  if (level != kIgzipLevel || sourceLen > kIgzipMost || *destLen > kIgzipMost)
    return ZlibCompress(dest, destLen, source, sourceLen, level);
  return IgzipCompress(dest, destLen, source, sourceLen);
}
