// Copies of a line's dozen readings.
#pragma once

#include <cstddef>

// `count` values copied two at a time, inline: a call to memmove costs more
// than the copy of a dozen.
inline void CopyFew(const double* from, size_t count, double* to) {
  size_t i = 0;
  for (; i + 2 <= count; i += 2)
    __builtin_memcpy(to + i, from + i, 2 * sizeof(double));
  if (i < count)
    to[i] = from[i];
}
