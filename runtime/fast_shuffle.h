// SPDX-License-Identifier: GPL-3.0-or-later
// HDF5's byte shuffle, run ahead of each chunk's deflate, done sixteen
// values at a time.
//
// The shuffle stores byte 0 of every value of a chunk, then byte 1, and so
// on, so that the slowly changing high bytes of a time axis deflate to
// almost nothing. HDF5 moves the bytes one by one, which cost the NetCDF
// writer more time than the deflate. The bytes written are the same: every
// reader unshuffles them with its own library.
#pragma once

#include <cstddef>

namespace fast_shuffle {

// A filter function as HDF5's filter classes hold it.
using Filter = size_t (*)(unsigned flags, size_t parameterCount, const unsigned parameters[],
                          size_t bytes, size_t* bufferBytes, void** buffer);

// Puts the shuffle below in the place of `hdf5`'s own (a dlopen handle that
// reaches the library). False, leaving the library's, when the library is
// not laid out as expected.
bool Install(void* hdf5);

// The shuffle below: 4- and 8-byte values forward; any other work goes to
// the library's own filter, as does everything before Install.
size_t Shuffle(unsigned flags, size_t parameterCount, const unsigned parameters[], size_t bytes,
               size_t* bufferBytes, void** buffer);

// The library's own shuffle; nullptr until Install succeeded.
Filter LibraryShuffle();
// A buffer from the library's heap, as the filters take and hand back;
// nullptr until Install succeeded. Given back with ReleaseLibraryBuffer.
void* LibraryBuffer(size_t bytes);
void ReleaseLibraryBuffer(void* buffer);

}  // namespace fast_shuffle
