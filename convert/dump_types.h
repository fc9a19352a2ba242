// The From types (the kind of dump a conversion reads) and the To types (the
// CSV it writes), numbered as the panel's rings and the command line number
// them. Requests carry the numbers; code that asks what a number means asks
// these.
#pragma once

enum class FromType : int { kNone = 0, kLoggerType1 = 1, kLoggerType2 = 2, kGauge = 3 };
enum class ToType : int { kLoggerCsv = 0, kGaugeCsv = 1 };

constexpr int TypeNumber(FromType type) {
  return static_cast<int>(type);
}
constexpr int TypeNumber(ToType type) {
  return static_cast<int>(type);
}
constexpr bool IsGaugeDump(int fromType) {
  return fromType == TypeNumber(FromType::kGauge);
}
constexpr bool IsLoggerDump(int fromType) {
  return fromType == TypeNumber(FromType::kLoggerType1) ||
         fromType == TypeNumber(FromType::kLoggerType2);
}
