// Logger dump (From types 1 and 2) to the logger CSV: 513-byte f001 records
// of 60 scaled readings stamped with the time of their first sample, each
// followed by a C001 record with the latest extra value when one is pending.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <string>
#include <vector>

#include "convert/byte_scan.h"
#include "convert/comma_positions.h"
#include "convert/conversion_context.h"
#include "convert/converter_runs.h"
#include "convert/dump_types.h"
#include "convert/field_grammar.h"
#include "convert/flash_line_reader.h"
#include "convert/reading_relay.h"
#include "convert/staff_scale.h"
#include "convert/status.h"
#include "runtime/byte_streams.h"
#include "runtime/caltime.h"
#include "runtime/fast_numbers.h"
#include "runtime/numbers.h"

namespace {

// Header field offsets in the first block.
constexpr int kRateOffset = 24;   // "F": samples per second
constexpr int kRangeOffset = 41;  // "A": range code
constexpr int kStaffOffset = 44;  // "C": staff code
// The prefix holds the rate in two digits.
constexpr int kLowestRate = 1;
constexpr int kHighestRate = 99;

constexpr int kReadingsPerRecord = 60;
constexpr int kCountsPerLine = 12;
constexpr int kPrefixSize = 31;
constexpr int kFieldSize = 8;
constexpr int kRecordSize = kPrefixSize + kReadingsPerRecord * kFieldSize + 2;
constexpr int kCountFieldEntries = 4096;
constexpr char kFiller[] = ",-101.00";
constexpr double kFullScaleCount = 4095.0;
constexpr unsigned kFullScaleWholeCount = 4095;
constexpr double kExtraValueFactor = 0.0625;
// An extra value is read only when this many bytes (CR included) remain.
constexpr int kMinimumExtraValueBytes = 3;
// Longest integer part (sign included) that fits the seven characters.
constexpr int kLongestIntegerPart = 7;
// Characters of "%.4f" after the integer part: the point and four digits.
constexpr int kFractionPart = 5;

// The counts at the ends of the sensor's range, where its readings clip.
constexpr bool AtSensorLimit(double count) {
  return count == 0.0 || count == kFullScaleCount;
}
constexpr ReadingNote NoteOfWholeCount(unsigned count) {
  return count == 0 || count == kFullScaleWholeCount ? ReadingNote::kAtSensorLimit
                                                     : ReadingNote::kPlain;
}

// Stores the header's F, A and C values. Any missing letter is a Header
// Error; the letters that are present still store their values. A rate the
// records cannot step by or show in two digits is a Header Error too.
bool ParseLoggerHeader(const FlashLineReader& reader, ConversionContext& context) {
  struct Field {
    int offset;
    char letter;
    int LoggerHeaderValues::*value;
    const char* name;
  };
  static constexpr Field kFields[] = {
      {kRateOffset, 'F', &LoggerHeaderValues::sampleRate, "sample rate"},
      {kRangeOffset, 'A', &LoggerHeaderValues::rangeCode, "range code"},
      {kStaffOffset, 'C', &LoggerHeaderValues::staffCode, "staff code"},
  };
  LoggerHeaderValues& header = context.result.logger;
  bool complete = true;
  for (const Field& field : kFields) {
    if (reader.HeaderHasLetter(field.offset, field.letter)) {
      header.*field.value = reader.HeaderInteger(field.offset + 1);
    } else {
      complete = false;
      context.Fail(kStatusHeaderError, 1, 0,
                   std::string("no ") + field.letter + " at byte " + std::to_string(field.offset) +
                       " of the header: the " + field.name + " is missing");
    }
  }
  if (complete && (header.sampleRate < kLowestRate || header.sampleRate > kHighestRate)) {
    complete = false;
    context.Fail(kStatusHeaderError, 1, 0,
                 "the header gives sample rate " + std::to_string(header.sampleRate) +
                     "; it must be " + std::to_string(kLowestRate) + " to " +
                     std::to_string(kHighestRate));
  }
  return complete;
}

// Sets the scale from the table of the From type, or fails with status 3.
bool LookUpScale(ConversionContext& context) {
  LoggerHeaderValues& header = context.result.logger;
  const int fromType = context.request.fromType;
  if (LookUpStaffScale(fromType, header.rangeCode, header.staffCode, &header.staffScale))
    return true;
  const std::string reason =
      IsLoggerDump(fromType) ? "range code " + std::to_string(header.rangeCode) +
                                   " with staff code " + std::to_string(header.staffCode) +
                                   " is not in the table of logger type " + std::to_string(fromType)
                             : "From type " + std::to_string(fromType) +
                                   " has no scale table; logger dumps are From type 1 or 2";
  context.Fail(kStatusStaffLengthError, 1, 0, reason);
  return false;
}

// Writes the 8-byte field of `reading` at `field`: the comma and the first
// seven characters of ",%07.4f". A reading whose integer part alone needs
// more than seven characters would lose its leading digits, so it is held at
// the widest value that fits instead: returns true then.
bool FormatReadingField(double reading, char* field) {
  char text[80];
  text[0] = ',';
  const int length = 1 + FormatFixed(text + 1, sizeof text - 1, reading, 7, 4);
  const int integerPart = length - 1 - kFractionPart;
  if (std::isfinite(reading) && integerPart > kLongestIntegerPart) {
    std::memcpy(field, reading < 0 ? ",-999999" : ",9999999", kFieldSize);
    return true;
  }
  std::memcpy(field, text, kFieldSize);
  return false;
}

// Writes the prefix "f001,S%02i,B0,%04i-%02i-%02iT%02i:%02i:%02i" with the
// sample rate and `time` into the kPrefixSize bytes at `out`, cut there as
// a field wider than its digits would be. With `fast`, fields that fill
// their widths exactly (the usual case) are written straight in place; any
// other prefix is pieced together from the exact integer formatting.
void PutPrefix(int sampleRate, const DateStamp& time, bool fast, char* out) {
  struct Piece {
    const char* before;
    int at;  // where the value's digits start when every field fills its width
    int width;
    int value;
  };
  const Piece pieces[] = {{"f001,S", 6, 2, sampleRate}, {",B0,", 12, 4, time.year},
                          {"-", 17, 2, time.month},     {"-", 20, 2, time.day},
                          {"T", 23, 2, time.hour},      {":", 26, 2, time.minute},
                          {":", 29, 2, time.second}};
  constexpr int kPowers[] = {1, 10, 100, 1000, 10000};
  fast = fast && std::all_of(std::begin(pieces), std::end(pieces), [&](const Piece& piece) {
           return piece.value >= 0 && piece.value < kPowers[piece.width];
         });
  if (fast) {
    std::memcpy(out, "f001,S00,B0,0000-00-00T00:00:00", kPrefixSize);
    // Unrolled, every width is a constant.
#pragma GCC unroll 7
    for (const Piece& piece : pieces) {
      int value = piece.value;
#pragma GCC unroll 4
      for (int i = piece.width - 1; i >= 0; --i, value /= 10)
        out[piece.at + i] = static_cast<char>('0' + value % 10);
    }
    return;
  }
  char prefix[160];  // seven pieces of at most 24 bytes each
  char* p = prefix;
  for (const Piece& piece : pieces) {
    const size_t length = std::strlen(piece.before);
    std::memcpy(p, piece.before, length);
    p += length;
    p += FormatZeroPaddedInt(p, 24, piece.value, piece.width);
  }
  std::memcpy(out, prefix, kPrefixSize);
}

// The time of a record as its prefix shows it: the 19 bytes after
// "f001,Sdd,B0," (a field wider than its digits is cut with the prefix).
std::string RecordTimeAsWritten(int sampleRate, const DateStamp& time) {
  char prefix[kPrefixSize];
  PutPrefix(sampleRate, time, false, prefix);
  constexpr int kTimeStart = 12;
  return std::string(prefix + kTimeStart, kPrefixSize - kTimeStart);
}

static_assert(FlashLineReader::kLinePadding >= 64, "counts are scanned 64 bytes at a time");

class LoggerConversion {
 public:
  explicit LoggerConversion(ConversionContext& context)
      : context_(context), out_(context.request.to), reader_(context, true) {}
  void Run();

 private:
  void HandleDataLineHeard();
  void HandleDateStampLine();
  bool ExtremeCountsSaturate();
  void NoteTimeGoingBack(const AbsoluteTime& stamp);
  void NoteNotANumber(int p, int end) const;
  void CountRecordWritten();
  [[gnu::noinline, gnu::cold]] void RecordWriteFailed(const char* reason);
  template <bool kListen>
  void HandleDataLine();
  void StartRecord();
  DateStamp RecordTime();
  double ReadingOf(double count) const;
  bool PlaceReading(double count);
  const char* CountField(unsigned count);
  void CompleteCountFields();
  void MakeCountReadings();
  template <bool kFieldsComplete, bool kListen>
  int PlaceCommaEndedCountsFrom(int p, int most);
  void AddCountsAtLimit(const double* heard, int count, uint32_t atLimit);
  template <bool kListen>
  [[gnu::noinline]] int PlaceOneField(int p);
  template <bool kListen>
  int PlaceCommaEndedCounts(int p, int most);
  double ExtraValueAt(int p) const;
  void FillRestOfRecord();
  void WriteRecord();
  void WriteExtraValueRecord();
  char* Field(int index) { return record_ + kPrefixSize + index * kFieldSize; }

  ConversionContext& context_;
  uint8_t& status_ = context_.status;
  RecordWriter out_;
  FlashLineReader reader_;
  // Only with a listener.
  ReadingRelay relay_{context_.request.readings, 1, false};
  Correction correction_;
  int sampleRate_ = 1;
  double staffScale_ = 1.0;
  DateStamp stamp_;  // keeps a field's value when a later line lacks its letter
  ZoneOffsets zone_{context_.request.zone};
  AbsoluteTime currentTime_;
  bool haveTime_ = false;
  TimeInterval recordStep_;  // 60 / rate whole seconds
  // The record being filled: its time and the line it starts on.
  DateStamp recordTime_;
  AbsoluteTime recordStart_;
  bool recordHasTime_ = false;
  int64_t recordLine_ = 0;
  int64_t recordByte_ = 0;
  // The last record written since a time was known, for stamps that go back.
  AbsoluteTime lastTimedRecord_;
  bool haveTimedRecord_ = false;
  int64_t records_ = 0;
  DateStamp firstRecordTime_;
  DateStamp lastRecordTime_;
  // The record being filled, in place in the To file's buffer.
  char* record_ = nullptr;
  int readingCount_ = 0;
  bool extraPending_ = false;
  float extraValue_ = 0.0f;
  // With the fast number paths: the field of every whole count 0 to 4095,
  // made the first time the count is met by the same arithmetic as
  // PlaceReading, so that a dump's counts need no number reading or
  // formatting of their own after that. A field not made yet starts with 0
  // (a made one with its comma). Once the dump has shown itself long enough
  // to be worth it, the rest are made at once and no longer checked for.
  bool fastPaths_ = false;
  // The table is used only while no count can make a reading too wide for
  // its field; otherwise every count takes the general path, which tells.
  bool countTable_ = false;
  bool countFieldsComplete_ = false;
  int recordsWritten_ = 0;
  char countFields_[kCountFieldEntries * kFieldSize];
  // With a listener and the table: the reading of every count in it.
  std::vector<double> countReadings_;
};

// Records after which the count fields not made yet are made all at once:
// about 600 KB of dump, which takes longer to convert than the making.
constexpr int kRecordsBeforeAllCountFields = 2000;

void LoggerConversion::Run() {
  if (!reader_.ReadHeaderBlock())
    return;
  if (!ParseLoggerHeader(reader_, context_))
    return;
  if (!LookUpScale(context_))
    return;
  context_.report.headerRead = true;
  correction_ = context_.request.correction;
  sampleRate_ = context_.result.logger.sampleRate;
  staffScale_ = static_cast<double>(context_.result.logger.staffScale);
  TimeIntervalFromSeconds(static_cast<double>(60 / sampleRate_), &recordStep_);
  fastPaths_ = FastNumberPathsEnabled();
  countTable_ = fastPaths_ && !ExtremeCountsSaturate();
  if (countTable_)
    std::memset(countFields_, 0, sizeof countFields_);
  const bool listening = context_.request.readings != nullptr;
  if (listening) {
    relay_ = ReadingRelay(context_.request.readings, sampleRate_, false);
    if (countTable_)
      MakeCountReadings();
  }
  while (reader_.NextLine()) {
    if (reader_.Line()[0] == 'Y') {
      HandleDateStampLine();
    } else if (listening) {
      HandleDataLineHeard();
    } else {
      HandleDataLine<false>();
    }
    if (status_ != kStatusReady)
      break;
  }
  ConversionReport& report = context_.report;
  report.recordsWritten = records_;
  if (records_ > 0) {
    report.firstRecordTime = RecordTimeAsWritten(sampleRate_, firstRecordTime_);
    report.lastRecordTime = RecordTimeAsWritten(sampleRate_, lastRecordTime_);
  }
  if (status_ != kStatusReady || context_.cancelled)
    return;
  // A record still short of 60 readings, and its pending extra value, are
  // dropped with the end of the input.
  if (readingCount_ > 0) {
    const int readings = readingCount_;
    context_.Note(AnomalyKind::PartialRecordDropped, recordLine_, recordByte_,
                  [readings] { return std::to_string(readings) + " readings"; });
  }
  status_ = kStatusFinished;
}

// Kept out of the loop, so that the way without a listener is laid out as
// if this one did not exist.
[[gnu::noinline]] void LoggerConversion::HandleDataLineHeard() {
  HandleDataLine<true>();
}

// The reading is linear in the count, so the counts 0 and 4095 bound every
// reading the table would hold.
bool LoggerConversion::ExtremeCountsSaturate() {
  char field[kFieldSize];
  const bool low = FormatReadingField(ReadingOf(0.0), field);
  const bool high = FormatReadingField(ReadingOf(kFullScaleCount), field);
  return low || high;
}

void LoggerConversion::HandleDateStampLine() {
  ++context_.report.dateStampLines;
  reader_.DecodeDateStamp(&stamp_);
  // A line too short to hold a date stops the conversion before it is used.
  if (reader_.LineLength() < FlashLineReader::kMinimumDateStampLine)
    return;
  // Only the next record's prefix shows the new time; a line with a missing
  // letter still sets it before the conversion stops.
  AbsoluteTime stamped;
  if (AbsoluteTimeFromLocalCalendar(&zone_, stamp_.year, stamp_.month, stamp_.day, stamp_.hour,
                                    stamp_.minute, stamp_.second, 0.0, &stamped) < 0) {
    context_.Fail(kStatusDateTimeError, reader_.LineNumber(), reader_.LineByte(),
                  "the date stamp " + FormatRecordTime(stamp_) + " is not a calendar time");
    return;
  }
  NoteTimeGoingBack(stamped);
  currentTime_ = stamped;
  haveTime_ = true;
  if (context_.request.readings != nullptr)
    relay_.Stamp(stamp_);
}

void LoggerConversion::NoteTimeGoingBack(const AbsoluteTime& stamp) {
  if (!haveTimedRecord_ || stamp.seconds >= lastTimedRecord_.seconds)
    return;
  const DateStamp reached = lastRecordTime_;
  const DateStamp given = stamp_;
  context_.Note(AnomalyKind::TimeGoesBackwards, reader_.LineNumber(), reader_.LineByte(), [&] {
    return FormatRecordTime(given) + " after a record at " + FormatRecordTime(reached);
  });
}

void LoggerConversion::NoteNotANumber(int p, int end) const {
  context_.Note(AnomalyKind::NotANumber, reader_.LineNumber(), reader_.LineByte(),
                [&] { return FieldReadAs(reader_, p, end); });
}

template <bool kListen>
void LoggerConversion::HandleDataLine() {
  const char* line = reader_.Line();
  const int length = reader_.LineLength();
  int p = 0;
  int placed = 0;
  for (;;) {
    if (readingCount_ == 0)
      StartRecord();
    // The bulk of a line goes the short way: counts that are followed by
    // more data. A count the line's data ends after, or any other field,
    // takes the way below, one at a time.
    bool dataEnded = false;
    const int before = readingCount_;
    if (countTable_) {
      const int most = std::min(kCountsPerLine - placed, kReadingsPerRecord - readingCount_);
      p = PlaceCommaEndedCounts<kListen>(p, most);
    }
    if (readingCount_ == before) {
      p = PlaceOneField<kListen>(p);
      ++readingCount_;
      dataEnded = p >= length || line[p] == '\r' || line[p] == ',';
    }
    placed += readingCount_ - before;
    if (readingCount_ == kReadingsPerRecord) {
      WriteRecord();
      break;
    }
    if (dataEnded) {
      // A line that breaks off closes its record early.
      if (placed < kCountsPerLine) {
        const int readings = readingCount_;
        context_.Note(AnomalyKind::BrokenOffLine, reader_.LineNumber(), reader_.LineByte(), [=] {
          return std::to_string(placed) + " counts; the record closed with " +
                 std::to_string(readings) + " readings and fillers";
        });
        if constexpr (kListen)
          relay_.AddFillers(kReadingsPerRecord - readingCount_);
        FillRestOfRecord();
        WriteRecord();
      }
      break;
    }
    if (placed == kCountsPerLine)
      break;
  }
  // The extra value waits for the next record; a later line replaces it.
  if (length - p >= kMinimumExtraValueBytes) {
    const double extra = ExtraValueAt(p);
    extraValue_ = static_cast<float>(extra * kExtraValueFactor);
    extraPending_ = true;
    if constexpr (kListen) {
      if (placed == kCountsPerLine)
        relay_.SetTemperature(extra * kExtraValueFactor);
    }
  }
  if constexpr (kListen)
    relay_.EndLine(reader_.LineNumber(), reader_.LineByte());
}

// Places the field at `p` as the next reading and returns where the field
// after it starts (the line's end when no comma follows). A whole count
// whose field is in the table is copied from it; anything else (signs,
// blanks, points, exponents, counts above 4095) is read and formatted.
template <bool kListen>
int LoggerConversion::PlaceOneField(int p) {
  const char* line = reader_.Line();
  const int length = reader_.LineLength();
  const FieldForm field = ClassifyCountField(line + p, line + length);
  if (countTable_ && field.kind == FieldKind::kWholeCount && field.count < kCountFieldEntries) {
    std::memcpy(Field(readingCount_), CountField(static_cast<unsigned>(field.count)), kFieldSize);
    if constexpr (kListen)
      relay_.Add(ReadingOf(field.count), NoteOfWholeCount(static_cast<unsigned>(field.count)));
  } else {
    const double count = reader_.LineDecimal(p);
    const bool saturated = PlaceReading(count);
    const bool notANumber = field.kind == FieldKind::kNotANumber;
    if (notANumber)
      NoteNotANumber(p, p + field.length);
    if constexpr (kListen) {
      relay_.Add(ReadingOf(count), notANumber             ? ReadingNote::kNotANumber
                                   : saturated            ? ReadingNote::kSaturated
                                   : AtSensorLimit(count) ? ReadingNote::kAtSensorLimit
                                                          : ReadingNote::kPlain);
    }
  }
  // The field holds no comma: one that ends it is the next one.
  const int end = p + field.length;
  if (end < length && line[end] == ',')
    return end + 1;
  const void* comma = std::memchr(line + end, ',', static_cast<size_t>(length - end));
  return comma == nullptr ? length : static_cast<int>(static_cast<const char*>(comma) - line) + 1;
}

// The reading of the extra value at `p`: a whole count is its own value;
// anything else is read in full.
[[gnu::always_inline]] inline double LoggerConversion::ExtraValueAt(int p) const {
  const char* line = reader_.Line();
  const FieldForm field = ClassifyCountField(line + p, line + reader_.LineLength());
  if (fastPaths_ && field.kind == FieldKind::kWholeCount)
    return static_cast<double>(field.count);
  if (field.kind == FieldKind::kNotANumber)
    NoteNotANumber(p, p + field.length);
  return reader_.LineDecimal(p);
}

// Formats the new record's prefix, then steps the current time on to the
// next record's first sample. The rate has two digits and a stamp's year at
// most three (2000 added), so the prefix is always 31 bytes.
[[gnu::always_inline]] inline void LoggerConversion::StartRecord() {
  recordLine_ = reader_.LineNumber();
  recordByte_ = reader_.LineByte();
  const DateStamp time = RecordTime();
  recordTime_ = time;
  record_ = out_.Space(kRecordSize);
  PutPrefix(sampleRate_, time, fastPaths_, record_);
  recordHasTime_ = haveTime_;
  if (haveTime_) {
    recordStart_ = currentTime_;
    AddToAbsoluteTime(currentTime_, recordStep_, &currentTime_);
  }
}

// The current time in local calendar terms; all zeros before the dump has
// given a time.
[[gnu::always_inline]] inline DateStamp LoggerConversion::RecordTime() {
  DateStamp time;
  if (!haveTime_) {
    context_.Note(AnomalyKind::BeforeFirstDateStamp, recordLine_, recordByte_,
                  [] { return std::string("a record stamped 0000-00-00T00:00:00"); });
    return time;
  }
  double fraction = 0.0;
  AbsoluteTimeToLocalCalendar(&zone_, currentTime_, &time.year, &time.month, &time.day, &time.hour,
                              &time.minute, &time.second, &fraction, nullptr);
  return time;
}

// count / 4095 * the scale in double precision, in that order, then the
// linear correction when it is switched on. The filler never comes here.
double LoggerConversion::ReadingOf(double count) const {
  const double reading = count / kFullScaleCount * staffScale_;
  return correction_.on ? reading * correction_.gain + correction_.offset : reading;
}

// True when the reading was too wide for its field.
bool LoggerConversion::PlaceReading(double count) {
  const double reading = ReadingOf(count);
  if (!FormatReadingField(reading, Field(readingCount_)))
    return false;
  const int index = readingCount_;
  context_.Note(AnomalyKind::ReadingSaturated, reader_.LineNumber(), reader_.LineByte(), [=] {
    char text[64];
    FormatText(text, sizeof text, "%g", reading);
    return "reading " + std::to_string(index + 1) + " of its record, " + text +
           ", held at the widest field";
  });
  return true;
}

// The table's field of `count` (below 4096), made now if it is not yet.
const char* LoggerConversion::CountField(unsigned count) {
  char* field = countFields_ + count * kFieldSize;
  if (field[0] == 0)
    FormatReadingField(ReadingOf(count), field);
  return field;
}

void LoggerConversion::MakeCountReadings() {
  countReadings_.resize(kCountFieldEntries);
  for (unsigned count = 0; count < kCountFieldEntries; ++count)
    countReadings_[count] = ReadingOf(count);
}

void LoggerConversion::CompleteCountFields() {
  for (unsigned count = 0; count < kCountFieldEntries; ++count)
    CountField(count);
  countFieldsComplete_ = true;
}

// Places up to `most` counts from `p` on, for as long as each is one to four
// digits ended by a comma that is followed by more data (no CR, comma or
// line end). Returns where the next field starts.
template <bool kListen>
int LoggerConversion::PlaceCommaEndedCounts(int p, int most) {
  return countFieldsComplete_ ? PlaceCommaEndedCountsFrom<true, kListen>(p, most)
                              : PlaceCommaEndedCountsFrom<false, kListen>(p, most);
}

template <bool kFieldsComplete, bool kListen>
int LoggerConversion::PlaceCommaEndedCountsFrom(int p, int most) {
  const char* line = reader_.Line();
  const int length = reader_.LineLength();
  const char* base = line + p;
  // The commas of the next 64 bytes, found at once, so that each field's
  // start does not wait for the digits of the one before it.
  uint64_t commas = CommaBitsOf64(base);
  if (length - p < 64)
    commas &= (uint64_t{1} << (length - p)) - 1;
  char* field = Field(readingCount_);
  int start = 0;  // of the field, from base
  int placed = 0;
  // The readings go to the relay together: one at a time, each would wait
  // for the field copies before it, which may overlap the relay.
  double heard[kCountsPerLine];
  uint32_t heardAtLimit = 0;  // one bit per reading
  const double* countReadings = countReadings_.data();
  while (placed < most && commas != 0) {
    const int comma = std::countr_zero(commas);
    commas &= commas - 1;
    const int count = WholeCount(base + start, comma - start);  // the line is padded
    const char next = base[comma + 1];
    // A whole count in the table, and a comma followed by more of the line.
    if (count < 0 || count >= kCountFieldEntries || p + comma + 1 >= length || next == ',' ||
        next == '\r')
      break;
    const unsigned index = static_cast<unsigned>(count);
    const char* made = kFieldsComplete ? countFields_ + index * kFieldSize : CountField(index);
    std::memcpy(field, made, kFieldSize);
    if constexpr (kListen) {
      heard[placed] = countReadings[index];
      heardAtLimit |= static_cast<uint32_t>(NoteOfWholeCount(index) != ReadingNote::kPlain)
                      << placed;
    }
    field += kFieldSize;
    start = comma + 1;
    ++placed;
  }
  if constexpr (kListen) {
    if (heardAtLimit != 0)
      AddCountsAtLimit(heard, placed, heardAtLimit);
    else
      relay_.AddPlain(heard, placed);
  }
  readingCount_ += placed;
  return p + start;
}

// Readings of which those with their bit set in `atLimit` came from a
// count at the sensor's limit.
void LoggerConversion::AddCountsAtLimit(const double* heard, int count, uint32_t atLimit) {
  for (int i = 0; i < count; ++i)
    relay_.Add(heard[i],
               ((atLimit >> i) & 1u) != 0 ? ReadingNote::kAtSensorLimit : ReadingNote::kPlain);
}

void LoggerConversion::FillRestOfRecord() {
  for (; readingCount_ < kReadingsPerRecord; ++readingCount_) {
    std::memcpy(Field(readingCount_), kFiller, kFieldSize);
  }
}

void LoggerConversion::WriteRecord() {
  record_[kRecordSize - 2] = '\r';
  record_[kRecordSize - 1] = '\n';
  if (out_.Commit(kRecordSize) != kRecordSize) [[unlikely]] {
    RecordWriteFailed("the To file did not take the f001 record that this line completes");
  } else {
    CountRecordWritten();
  }
  // Attempted even after a failed f001 write.
  if (extraPending_)
    WriteExtraValueRecord();
  extraPending_ = false;
  readingCount_ = 0;
  if (countTable_ && !countFieldsComplete_ && ++recordsWritten_ == kRecordsBeforeAllCountFields)
    CompleteCountFields();
}

void LoggerConversion::RecordWriteFailed(const char* reason) {
  context_.Fail(kStatusWriteError, reader_.LineNumber(), reader_.LineByte(), reason);
}

void LoggerConversion::CountRecordWritten() {
  if (records_++ == 0)
    firstRecordTime_ = recordTime_;
  lastRecordTime_ = recordTime_;
  if (recordHasTime_) {
    lastTimedRecord_ = recordStart_;
    haveTimedRecord_ = true;
  }
}

void LoggerConversion::WriteExtraValueRecord() {
  // Wide enough for any float, written whole.
  char text[80];
  static constexpr char kPrefix[] = "C001,D4,";
  constexpr int kPrefixLength = sizeof kPrefix - 1;
  std::memcpy(text, kPrefix, kPrefixLength);
  // A whole reading times 0.0625 is an exact number of sixteenths.
  const float sixteenths = extraValue_ * 16.0f;  // exact: a power of two
  int length;
  if (!std::signbit(extraValue_) && sixteenths <= 9999.0f && sixteenths == std::floor(sixteenths)) {
    length = kPrefixLength + FormatSixteenths(text + kPrefixLength, sizeof text - kPrefixLength - 2,
                                              static_cast<int>(sixteenths), 4, 1);
  } else {
    length = kPrefixLength + FormatFixed(text + kPrefixLength, sizeof text - kPrefixLength - 2,
                                         static_cast<double>(extraValue_), 4, 1);
  }
  if (length + 2 < static_cast<int>(sizeof text)) {
    text[length++] = '\r';
    text[length++] = '\n';
  }
  if (length < 0 || length >= static_cast<int>(sizeof text) ||
      out_.Write(text, static_cast<size_t>(length)) != length) {
    RecordWriteFailed(
        "the To file did not take the C001 record that follows this line's f001 record");
  }
}

}  // namespace

void RunLoggerConverter(ConversionContext& context) {
  LoggerConversion conversion(context);
  conversion.Run();
}
