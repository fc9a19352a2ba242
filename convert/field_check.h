// Telling a field that is one number from one that only starts with one,
// for the general number paths of the converters (the fast paths take only
// fields that are one number).
#pragma once

#include <string>

#include "convert/flash_line_reader.h"
#include "runtime/numbers.h"

// The end of the field that starts at `p`: its comma, a CR, or the line end.
inline int FieldEnd(const char* line, int p, int length) {
  int end = p;
  while (end < length && line[end] != ',' && line[end] != '\r')
    ++end;
  return end;
}

// True when the decimal reading takes the whole of [begin, end).
inline bool IsOneNumber(const char* begin, const char* end) {
  return DecimalExtent(begin, end) == static_cast<size_t>(end - begin);
}

// "\"22x1\" read as 22 (byte 5 of the line)" for the current line's field
// [p, end).
inline std::string FieldReadAs(const FlashLineReader& reader, int p, int end) {
  char value[64];
  FormatText(value, sizeof value, "%.10g", reader.LineDecimal(p));
  // Appended piece by piece: GCC 12 warns wrongly about "text" + string.
  std::string text(1, '"');
  text.append(reader.Line() + p, static_cast<size_t>(end - p));
  text.append("\" read as ").append(value).append(" (byte ").append(std::to_string(p));
  text.append(" of the line)");
  return text;
}
