// What a field of a dump is, told once for both ways a converter has of
// writing it: the fast way, from the form the field was found to have, and
// the general way, which reads the field's number and formats it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "convert/byte_scan.h"
#include "convert/flash_line_reader.h"
#include "runtime/fast_numbers.h"
#include "runtime/numbers.h"

enum class FieldKind : uint8_t {
  kWholeCount,    // one to four digits
  kPlainDecimal,  // see PlainDecimalLength
  kOther,         // the decimal reading takes the whole field (an empty one too)
  kNotANumber,    // the reading takes only its start, or nothing
};

struct FieldForm {
  FieldKind kind = FieldKind::kOther;
  int length = 0;        // up to the field's end
  int count = -1;        // a whole count's value
  int plainLength = -1;  // a plain decimal's printed length
};

// A field of `length` bytes that is one to four digits is a whole count:
// returns it, or -1. Four bytes from `field` are read whatever the length.
inline int WholeCount(const char* field, int length) {
  const uint32_t word = LoadWord(field);
  if (length < 1 || length > 4 || DigitRunOfFour(word) < length)
    return -1;
  return static_cast<int>(DigitsValue(word, length));
}

// The length of the field at `field`, which ends at its comma, a CR or
// `end`. A field that starts with its digits is measured four bytes at once.
inline int FieldLength(const char* field, const char* end) {
  const char* p = field + std::min(DigitRunOfFour(LoadWord(field)), static_cast<int>(end - field));
  while (p < end && *p != ',' && *p != '\r')
    ++p;
  return static_cast<int>(p - field);
}

// The kind of a field that is not of the form a fast way takes.
inline FieldKind KindOfOther(const char* field, int length) {
  return DecimalExtent(field, field + length) == static_cast<size_t>(length)
             ? FieldKind::kOther
             : FieldKind::kNotANumber;
}

// A field that the fast way takes when it is a whole count: the logger's
// counts and extra values and the gauge's C4 field. It ends at its comma, a
// CR or `end`.
inline FieldForm ClassifyCountField(const char* field, const char* end) {
  FieldForm form;
  form.length = FieldLength(field, end);
  form.count = WholeCount(field, form.length);
  form.kind = form.count >= 0 ? FieldKind::kWholeCount : KindOfOther(field, form.length);
  return form;
}

// A field that the fast way takes when it is a plain decimal: the gauge's
// values. It is the `length` bytes at `field`.
inline FieldForm ClassifyValueField(const char* field, int length) {
  FieldForm form;
  form.length = length;
  form.plainLength = PlainDecimalLength(field, length);
  form.kind = form.plainLength >= 0 ? FieldKind::kPlainDecimal : KindOfOther(field, length);
  return form;
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
