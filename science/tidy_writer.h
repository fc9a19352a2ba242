// The tidy CSV: one row per reading with a time, for spreadsheets and
// pandas. Header "time,reading,temperature,flag"; times in ISO 8601 UTC
// with milliseconds and "Z"; the temperature of the reading's own line, or
// empty; the flag is the aggregate of the conversion's and the QARTOD
// tests'. Written through the file layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "convert/readings.h"
#include "qc/reading_qc.h"
#include "science/metadata.h"
#include "science/reading_tests.h"
#include "science/time_base.h"

class ByteSink;
class RecordWriter;
class RowSpool;

class TidyWriter final : public ReadingListener {
 public:
  // `sink`: where the rows go, at its end. Not owned.
  // `shown`: the file's name in messages, quoted as the caller quotes names.
  // `tests`: the QARTOD tests run in front of the writers (not owned);
  // nullptr: the writer runs its own.
  TidyWriter(ScienceSettings settings, ByteSink* sink, std::string shown = "",
             ReadingTests* tests = nullptr);
  ~TidyWriter() override;
  TidyWriter(const TidyWriter&) = delete;
  TidyWriter& operator=(const TidyWriter&) = delete;

  // Writes the header row. A drift correction needs the last reading's
  // time before any row can be written: the rows wait in a spool file
  // then. False with `error` when either fails.
  bool Start(std::string* error);

  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;

  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }
  const ReadingFacts& facts() const { return facts_; }

  // Writes the spooled rows, if any, and hands every byte to the sink.
  bool Finish(std::string* error);

 private:
  struct Row {
    double time = 0.0;
    double reading = 0.0;
    double temperature = 0.0;
    bool hasTemperature = false;
    int8_t flag = 0;
  };

  void Emit(const Row& row);
  void PassHeld(const ReadingFlags& flags);
  void Fail(const std::string& why);

  ScienceSettings settings_;
  ByteSink* sink_;
  std::string shown_;
  // "cannot write the tidy CSV NAME: why", with the sink's errno.
  std::string WriteFailure() const;
  std::unique_ptr<RecordWriter> writer_;
  std::unique_ptr<RowSpool> spool_;
  TimeAxis axis_;
  RisingTimes rising_;
  ReadingFacts facts_;
  // The tests hand back a reading's flags when the next one comes: its row
  // waits in one of the two, the next is filled in the other.
  std::unique_ptr<ReadingTests> ownTests_;
  ReadingTests* tests_;
  Row rows_[2];
  int held_ = 0;
  std::string error_;
  // The text of the last whole second formatted, "2024-03-01T12:00:00.".
  int64_t cachedSecond_ = INT64_MIN;
  char cachedPrefix_[32] = {};
  size_t cachedLength_ = 0;
};
