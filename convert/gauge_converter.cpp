// Gauge dump (From type 3) to the gauge CSV (To type 1).
//
// The dump's header is checked at fixed offsets of its first block, a
// readable seven-line header is written, and then every line of the dump is
// rewritten: a date-stamp line becomes a date record and a time record, a
// data line one value record per value (up to twelve), each followed by the
// pending C4 record once one exists and by a sample-rate record. The
// thirteenth field of a line with twelve values prepares the C4 record that
// goes with the values of the lines after it.
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>

#include "convert/byte_scan.h"
#include "convert/comma_positions.h"
#include "convert/conversion_context.h"
#include "convert/converter_runs.h"
#include "convert/field_grammar.h"
#include "convert/flash_line_reader.h"
#include "convert/reading_relay.h"
#include "convert/status.h"
#include "runtime/byte_streams.h"
#include "runtime/fast_numbers.h"
#include "runtime/numbers.h"

namespace {

// Big enough for any of the texts below with any int or double in it (a
// double printed with "%f" takes at most 317 characters), so a text is never
// cut and the buffer never overrun.
constexpr int kTextSize = 512;

// A data line carries up to twelve values; the field after the twelfth is
// the C4 reading.
constexpr int kValuesPerLine = 12;

// A field is taken only when it begins before the line's last two bytes.
constexpr int kFieldTail = 2;

// Every C4 text is longer than this, so a longer pending text means one has
// been prepared in this conversion.
constexpr int kNoC4TextLength = 10;

// The C4 reading is the thirteenth field in sixteenths.
constexpr float kC4Scale = 0.0625f;

constexpr int kRequiredLoggerType = 10;

struct Text {
  char bytes[kTextSize] = {};
  int length = 0;
};

// Texts up to this long are copied with one fixed-size copy.
constexpr int kShortText = 32;
// Room for the records that follow every value, copied in one piece.
constexpr int kTailRoom = 64;

// Room for a value record placed straight in the To file's buffer: its
// prefix, the number (with the bytes its printer may write past it) and the
// line end.
constexpr size_t kValueRecordRoom = 6 + kPlainDecimalReach;
static_assert(FlashLineReader::kLinePadding >= kPlainDecimalReach,
              "the plain-decimal printer may read that far past a line");
static_assert(FlashLineReader::kLinePadding >= CommaPositions::kReach,
              "the comma scan reads that far past a line");

// Keeps a length from FormatText inside the buffer (only a formatting error
// or an impossible overflow could make it leave it).
int FittedLength(int length) {
  if (length < 0) {
    return 0;
  }
  return length < kTextSize ? length : kTextSize - 1;
}

// Formats into `text` with the C library's printf rules.
template <typename... Values>
void Format(Text* text, const char* format, Values... values) {
  text->length = FittedLength(FormatText(text->bytes, sizeof text->bytes, format, values...));
}

// The To file of one conversion. A failed write is only marked here; the
// status and its place are set after the header or the line (see
// TellWriteFailure), when the remaining records have been attempted.
struct GaugeOutput {
  explicit GaugeOutput(ByteSink* sink) : out(sink) {}
  RecordWriter out;
  bool failed = false;
  int64_t valueRecordsRefused = 0;  // counted with their line, yet not written
};

inline bool Written(GaugeOutput& output, long written, int length) {
  if (written == length) [[likely]] {
    return true;
  }
  output.failed = true;
  return false;
}

// A value record's write: one refused is not counted as written.
inline void ValueWritten(GaugeOutput& output, long written, int length) {
  if (!Written(output, written, length)) [[unlikely]] {
    ++output.valueRecordsRefused;
  }
}

// Status 5 for a failed write of the output header (`line` 0) or of the
// records of the current line.
void TellWriteFailure(GaugeOutput& output, ConversionContext& context,
                      const FlashLineReader* line) {
  if (!output.failed) {
    return;
  }
  output.failed = false;
  if (line == nullptr) {
    context.Fail(kStatusWriteError, 1, 0, "the To file did not take the output header");
  } else {
    context.Fail(kStatusWriteError, line->LineNumber(), line->LineByte(),
                 "the To file did not take the records of this line");
  }
}

// Writes a formatted text to the To file.
bool WriteText(GaugeOutput& output, const Text& text) {
  RecordWriter& out = output.out;
  if (text.length <= kShortText) {
    std::memcpy(out.Space(kShortText), text.bytes, kShortText);
    return Written(output, out.Commit(static_cast<size_t>(text.length)), text.length);
  }
  return Written(output, out.Write(text.bytes, static_cast<size_t>(text.length)), text.length);
}

// Formats "<prefix>%0<width>.6f\r\n" with the exact fast fixed-point
// formatting: the same text as printf gives.
template <size_t N>
void FormatRecord(Text* text, const char (&prefix)[N], double value, int width) {
  constexpr int kPrefixLength = static_cast<int>(N - 1);
  std::memcpy(text->bytes, prefix, kPrefixLength);
  const int number = FormatFixed(text->bytes + kPrefixLength,
                                 sizeof text->bytes - kPrefixLength - 2, value, width, 6);
  // A double prints in at most 317 characters, so the number is never cut;
  // the bound only keeps the line end inside the buffer.
  constexpr int kRoom = kTextSize - kPrefixLength - 3;
  text->length = kPrefixLength + (number < 0 ? 0 : number < kRoom ? number : kRoom);
  text->bytes[text->length] = '\r';
  text->bytes[text->length + 1] = '\n';
  text->length += 2;
}

// --- Header ---

// One header field: its letter at its offset, the status a missing letter
// gives, where its integer reading goes and what it is called.
struct HeaderField {
  int offset;
  char letter;
  uint8_t missingStatus;
  int* value;
  const char* name;
};

// Checks and reads the gauge header into the context's gauge values (which
// start with the carried ones). Returns false, with the status set, when the
// conversion must not go on; nothing has been written then.
bool ReadGaugeHeader(const FlashLineReader& reader, ConversionContext& context, DateStamp* stamp) {
  GaugeHeaderValues& header = context.result.gauge;
  GaugeCarry& values = header.values;
  stamp->year = AddSaturated(reader.HeaderInteger(1), 2000);
  // In this order: a later missing letter's status replaces an earlier one.
  const HeaderField fields[] = {
      {4, 'M', kStatusDateTimeError, &stamp->month, "month"},
      {8, 'D', kStatusDateTimeError, &stamp->day, "day"},
      {12, 'H', kStatusDateTimeError, &stamp->hour, "hour"},
      {16, 'M', kStatusDateTimeError, &stamp->minute, "minute"},
      {20, 'S', kStatusDateTimeError, &stamp->second, "second"},
      {24, 'F', kStatusHeaderError, &header.sampleRate, "sample rate"},
      {28, 'L', kStatusHeaderError, &values.burstLength, "burst length"},
      {32, 'I', kStatusHeaderError, &values.burstInterval, "burst interval"},
      {36, 'N', kStatusHeaderError, &values.newFileInterval, "new-file interval"},
      {45, 'X', kStatusHeaderError, &values.partVariant, "part variant"},
      {49, 'T', kStatusHeaderError, &values.loggerTypeCode, "type code"},
  };
  bool typeGiven = true;
  for (const HeaderField& field : fields) {
    if (reader.HeaderHasLetter(field.offset, field.letter)) {
      *field.value = reader.HeaderInteger(field.offset + 1);
    } else {
      typeGiven = field.letter != 'T';
      context.Fail(field.missingStatus, 1, 0,
                   std::string("no ") + field.letter + " at byte " + std::to_string(field.offset) +
                       " of the header: the " + field.name + " is missing");
    }
  }
  header.date = *stamp;
  // A missing "T" leaves the type of an earlier gauge conversion in place.
  if (values.loggerTypeCode != kRequiredLoggerType) {
    const std::string type = std::to_string(values.loggerTypeCode);
    context.Fail(kStatusFromTypeError, 1, 0,
                 typeGiven ? "the header gives type code " + type + "; gauge dumps are type 10"
                           : "no T at byte 49 of the header, and the type code kept from the last "
                             "gauge conversion is " +
                                 type + "; gauge dumps are type 10");
    return false;
  }
  return context.status == kStatusReady;
}

const char* PartNumberLine(int partVariant) {
  switch (partVariant) {
    case 3:
      return " Part #ZORQ-207-118K-3\r\n";
    case 1:
      return " Part #ZORQ-207-118K-1\r\n";
    default:
      return " Part #ZORQ-207-118K-10\r\n";
  }
}

// Formats and writes header line `number` (1 to 7).
void WriteHeaderLine(GaugeOutput& output, int number, const DateStamp& stamp,
                     const GaugeHeaderValues& header) {
  const GaugeCarry& values = header.values;
  Text text;
  switch (number) {
    case 1:
      Format(&text, "%s", " Wave Gauge Converted File\r\n");
      break;
    case 2:
      Format(&text, "%s", PartNumberLine(values.partVariant));
      break;
    case 3:
      Format(&text, " Date & Time,%04i-%02i-%02iT%02i:%02i:%02i\r\n", stamp.year, stamp.month,
             stamp.day, stamp.hour, stamp.minute, stamp.second);
      break;
    case 4:
      Format(&text, " Sample rate,%02i,Hz\r\n", header.sampleRate);
      break;
    case 5:
      if (values.burstLength == 0) {
        Format(&text, "%s", " Burst Length, Continuous\r\n");
      } else {
        Format(&text, " Burst Length,%02i min.\r\n", values.burstLength);
      }
      break;
    case 6:
      Format(&text, " Burst Interval,%02i min.\r\n", values.burstInterval);
      break;
    default:
      if (values.newFileInterval == 0) {
        Format(&text, "%s", " New File Interval, Continuous\r\n\r\n");
      } else {
        Format(&text, " New File Interval,%02i day.\r\n\r\n", values.newFileInterval);
      }
      break;
  }
  WriteText(output, text);
}

// All seven lines are attempted even after a failed write, so that the
// outcome is the same whichever line failed. False when one failed.
bool WriteOutputHeader(GaugeOutput& output, ConversionContext& context, const DateStamp& stamp,
                       const GaugeHeaderValues& header) {
  constexpr int kHeaderLines = 7;
  for (int number = 1; number <= kHeaderLines; ++number) {
    WriteHeaderLine(output, number, stamp, header);
  }
  TellWriteFailure(output, context, nullptr);
  return context.status == kStatusReady;
}

// --- Lines ---

struct GaugeState {
  GaugeState(GaugeOutput& output, ConversionContext& context)
      : written(output),
        out(output.out),
        conversion(context),
        relay(context.request.readings, context.result.gauge.sampleRate, true) {}
  GaugeOutput& written;
  RecordWriter& out;
  ConversionContext& conversion;
  DateStamp stamp;
  Text pendingC4;         // length 0 until the first C4 text is prepared
  Text sampleRateRecord;  // the same for the whole conversion
  // The records that follow every value, side by side: the pending C4
  // record (when there is one) and the sample-rate record.
  char tail[kTailRoom] = {};
  int tailC4Length = 0;  // 0 while no C4 record is to be written
  bool tailFits = false;
  bool fastPaths = false;
  // Value records written (counted by the line; after a failed write, which
  // ends the conversion, the records of that line count all the same), and
  // how many of them the date stamp in force had when it came: records'
  // times are the stamp in force.
  int64_t records = 0;
  int64_t recordsBeforeStamp = 0;
  DateStamp firstRecordTime;
  DateStamp lastRecordTime;
  // Only with a listener.
  ReadingRelay relay;
};

// Lays out the records that follow every value after a change of either.
void MakeTail(GaugeState* state) {
  const int c4 = state->pendingC4.length > kNoC4TextLength ? state->pendingC4.length : 0;
  const int rate = state->sampleRateRecord.length;
  state->tailFits = c4 + rate <= kTailRoom;
  state->tailC4Length = c4;
  if (state->tailFits) {
    std::memcpy(state->tail, state->pendingC4.bytes, static_cast<size_t>(c4));
    std::memcpy(state->tail + c4, state->sampleRateRecord.bytes, static_cast<size_t>(rate));
  }
}

// The pending C4 record and the sample-rate record, each written on its own.
// Inlined into the value loop of both ways of running it (with a listener
// and without), which GCC would otherwise not do for both.
[[gnu::always_inline]] inline void WriteTail(GaugeState& state) {
  if (!state.tailFits) {
    if (state.tailC4Length > 0) {
      WriteText(state.written, state.pendingC4);
    }
    WriteText(state.written, state.sampleRateRecord);
    return;
  }
  std::memcpy(state.out.Space(kTailRoom), state.tail, kTailRoom);
  if (state.tailC4Length > 0) {
    Written(state.written, state.out.Commit(static_cast<size_t>(state.tailC4Length)),
            state.tailC4Length);
  }
  const int rate = state.sampleRateRecord.length;
  Written(state.written, state.out.Commit(static_cast<size_t>(rate)), rate);
}

bool IsEarlier(const DateStamp& a, const DateStamp& b) {
  return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second) <
         std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second);
}

// The records written under the stamp in force take its time.
void CloseStampPeriod(GaugeState* state) {
  if (state->records == state->recordsBeforeStamp) {
    return;
  }
  if (state->recordsBeforeStamp == 0) {
    state->firstRecordTime = state->stamp;
  }
  state->lastRecordTime = state->stamp;
  state->recordsBeforeStamp = state->records;
}

// Out of line, like the other rare ways below, so that the value loop keeps
// its registers.
[[gnu::noinline]] void HandleDateStampLine(const FlashLineReader& reader, GaugeState* state,
                                           bool listening) {
  ConversionContext& context = state->conversion;
  ++context.report.dateStampLines;
  CloseStampPeriod(state);
  const DateStamp before = state->stamp;
  reader.DecodeDateStamp(&state->stamp);
  // A line too short to hold a date stamp stops the conversion before
  // anything is written for it.
  if (reader.LineLength() < FlashLineReader::kMinimumDateStampLine) {
    return;
  }
  if (IsEarlier(state->stamp, before)) {
    const DateStamp given = state->stamp;
    context.Note(AnomalyKind::TimeGoesBackwards, reader.LineNumber(), reader.LineByte(),
                 [&] { return FormatRecordTime(given) + " after " + FormatRecordTime(before); });
  }
  if (listening)
    state->relay.Stamp(state->stamp);
  // Written even when a letter was missing (status 4): the earlier value
  // stands in for the unreadable one, and the loop stops after this line.
  const DateStamp& s = state->stamp;
  Text text;
  Format(&text, "D1,C8,%04i-%02i-%02i\r\nD1,C9,%02i:%02i:%02i\r\n", s.year, s.month, s.day, s.hour,
         s.minute, s.second);
  WriteText(state->written, text);
}

void NoteNotANumber(const FlashLineReader& reader, int index, int end, GaugeState& state) {
  state.conversion.Note(AnomalyKind::NotANumber, reader.LineNumber(), reader.LineByte(),
                        [&] { return FieldReadAs(reader, index, end); });
}

// A value that is not a plain decimal: read, then printed by the general
// fixed-point formatting. Returns the value.
[[gnu::noinline]] double WriteValueTheGeneralWay(const FlashLineReader& reader, int index,
                                                 const FieldForm& field, GaugeState& state) {
  if (field.kind == FieldKind::kNotANumber) {
    NoteNotANumber(reader, index, index + field.length, state);
  }
  const double value = reader.LineDecimal(index);
  Text text;
  FormatRecord(&text, "D1,C1,", value, 8);
  if (!WriteText(state.written, text))
    ++state.written.valueRecordsRefused;
  return value;
}

// Value record, pending C4 record, sample-rate record. Each write is tested
// on its own; a failed one does not stop the others.
template <bool kListen>
void WriteValueGroup(const FlashLineReader& reader, int index, int fieldEnd, GaugeState& state) {
  const char* line = reader.Line();
  // The line's CR is no part of its last field.
  const bool lastField = fieldEnd == reader.LineLength();
  const int end = fieldEnd - (lastField && line[fieldEnd - 1] == '\r');
  const FieldForm field = ClassifyValueField(line + index, end - index);
  if (state.fastPaths && field.kind == FieldKind::kPlainDecimal) {
    // Printed from its digits, in place, which gives the same text as
    // reading and printing it.
    static constexpr char kPrefix[] = "D1,C1,";
    constexpr int kPrefixLength = sizeof kPrefix - 1;
    char* record = state.out.Space(kValueRecordRoom);
    std::memcpy(record, kPrefix, kPrefixLength);
    PrintPlainDecimal(line + index, field.length, field.plainLength, record + kPrefixLength);
    const int length = kPrefixLength + field.plainLength + 2;
    record[length - 2] = '\r';
    record[length - 1] = '\n';
    ValueWritten(state.written, state.out.Commit(static_cast<size_t>(length)), length);
    if constexpr (kListen)
      state.relay.Add(PlainDecimalValue(line + index, field.length), ReadingNote::kPlain);
  } else {
    const double value = WriteValueTheGeneralWay(reader, index, field, state);
    if constexpr (kListen) {
      state.relay.Add(value, field.kind == FieldKind::kNotANumber ? ReadingNote::kNotANumber
                                                                  : ReadingNote::kPlain);
    }
  }
  WriteTail(state);
}

template <bool kListen>
void PrepareC4Text(const FlashLineReader& reader, int index, GaugeState* state) {
  const char* line = reader.Line();
  const FieldForm field = ClassifyCountField(line + index, line + reader.LineLength());
  if (state->fastPaths && field.kind == FieldKind::kWholeCount) {
    // A whole C4 field is a whole number of sixteenths, printed from the
    // number itself.
    Text& text = state->pendingC4;
    std::memcpy(text.bytes, "D1,C4,", 6);
    text.length = 6 + FormatSixteenths(text.bytes + 6, sizeof text.bytes - 8, field.count, 9, 6);
    std::memcpy(text.bytes + text.length, "\r\n", 2);
    text.length += 2;
    if constexpr (kListen)
      state->relay.SetTemperature(static_cast<double>(field.count) * kC4Scale);
  } else {
    if (field.kind == FieldKind::kNotANumber) {
      NoteNotANumber(reader, index, index + field.length, *state);
    }
    const double temperature = reader.LineDecimal(index) * kC4Scale;
    FormatRecord(&state->pendingC4, "D1,C4,", temperature, 9);
    if constexpr (kListen)
      state->relay.SetTemperature(temperature);
  }
  MakeTail(state);
}

// Fields start at the line's first byte and after each comma; a field that
// begins in the line's last two bytes is not taken. A field that is not
// empty is a value, up to twelve; the field after the twelfth value is the
// C4 reading, and the rest of the line is ignored.
template <bool kListen>
void HandleDataLine(const FlashLineReader& reader, GaugeState* state) {
  const char* line = reader.Line();
  const int length = reader.LineLength();
  CommaPositions commas(line, length);
  int values = 0;
  for (int start = 0; start + kFieldTail < length;) {
    const int comma = commas.Next();
    if (line[start] != ',') {
      // The field ends at its comma; a reading stops there too.
      WriteValueGroup<kListen>(reader, start, comma < 0 ? length : comma, *state);
      if (++values == kValuesPerLine) {
        state->records += values;
        const int c4 = comma + 1;
        if (comma >= 0 && c4 + kFieldTail < length && line[c4] != ',') {
          PrepareC4Text<kListen>(reader, c4, state);
        }
        return;
      }
    }
    if (comma < 0) {
      state->records += values;
      return;
    }
    start = comma + 1;
  }
  state->records += values;
}

// The line's values, then its readings to the listener.
[[gnu::noinline]] void HandleDataLineHeard(const FlashLineReader& reader, GaugeState* state) {
  HandleDataLine<true>(reader, state);
  state->relay.EndLine(reader.LineNumber(), reader.LineByte());
}

}  // namespace

void RunGaugeConverter(ConversionContext& context) {
  FlashLineReader reader(context, /*skipShortLines=*/false);
  if (!reader.ReadHeaderBlock()) {
    return;
  }
  GaugeOutput output(context.request.to);
  GaugeState state(output, context);
  state.fastPaths = FastNumberPathsEnabled();
  if (!ReadGaugeHeader(reader, context, &state.stamp)) {
    return;
  }
  context.report.headerRead = true;
  if (!WriteOutputHeader(output, context, state.stamp, context.result.gauge)) {
    return;
  }
  Format(&state.sampleRateRecord, "D1,C0,%02i\r\n", context.result.gauge.sampleRate);
  MakeTail(&state);

  // The header's date opens the first burst.
  const bool listening = context.request.readings != nullptr;
  if (listening) {
    state.relay = ReadingRelay(context.request.readings, context.result.gauge.sampleRate, true);
    state.relay.Stamp(state.stamp);
  }
  while (reader.NextLine()) {
    if (reader.Line()[0] == 'Y') {
      HandleDateStampLine(reader, &state, listening);
    } else if (listening) {
      HandleDataLineHeard(reader, &state);
    } else {
      HandleDataLine<false>(reader, &state);
    }
    TellWriteFailure(output, context, &reader);
    if (context.status != kStatusReady) {
      break;
    }
  }
  CloseStampPeriod(&state);
  context.report.recordsWritten = state.records - output.valueRecordsRefused;
  if (state.records > 0) {
    context.report.firstRecordTime = FormatRecordTime(state.firstRecordTime);
    context.report.lastRecordTime = FormatRecordTime(state.lastRecordTime);
  }
  // A read that failed mid-file has left its own status.
  if (context.status == kStatusReady && !context.cancelled) {
    context.status = kStatusFinished;
  }
}
