// The NetCDF-4 output: one pass of readings streamed into chunked,
// deflated variables on an unlimited `time` dimension, with CF and ACDD
// metadata written when the conversion ends. Memory stays at a few chunks
// whatever the dump's size.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "convert/readings.h"
#include "netcdf/netcdf_file.h"
#include "qc/reading_qc.h"
#include "runtime/worker.h"
#include "science/metadata.h"
#include "science/reading_tests.h"
#include "science/time_base.h"

class NetcdfWriter final : public ReadingListener {
  struct ReadingChunk;

 public:
  // Readings per chunk of the variables on `time`, at most and at least.
  static constexpr size_t kChunkReadings = 64 * 1024;
  static constexpr size_t kSmallestChunkReadings = 512;
  static constexpr int kDeflateLevel = 1;

  // The chunk for a dump of `dumpBytes` (-1: not known): one chunk holds
  // about the readings of the whole dump, within the bounds above, so that
  // a small dump makes a small file and a big one writes big chunks.
  static size_t ChunkReadingsFor(int64_t dumpBytes);

  // `tests`: the QARTOD tests, run in front of this writer and shared with
  // the other outputs (not owned); nullptr: the writer runs its own.
  explicit NetcdfWriter(ScienceSettings settings, ReadingTests* tests = nullptr);
  ~NetcdfWriter() override;
  NetcdfWriter(const NetcdfWriter&) = delete;
  NetcdfWriter& operator=(const NetcdfWriter&) = delete;

  // Creates the file at `path` (replacing what is there) and defines its
  // variables. False with `error` when it cannot. Messages name the file
  // `shownName` (by default `path`): the name it will have for the user.
  bool Create(const std::string& path, std::string* error) { return Create(path, path, error); }
  bool Create(const std::string& path, const std::string& shownName, std::string* error);
  // Defines the variables in `store` (not owned) and writes into it in
  // place of a file.
  bool CreateIn(NetcdfStore* store, std::string* error);
  // The open file, where other listeners add variables of their own (the
  // wave statistics on a dimension of theirs) before the first reading,
  // and write them until Finish.
  NetcdfStore* file() { return file_; }
  // Called on the writing thread after each chunk of readings went to the
  // library: the file's writeback to disk starts from there, off the
  // converting thread. Set before the first reading.
  void OnChunkWritten(std::function<void()> hook) { chunkWritten_ = std::move(hook); }

  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;

  // A write failed: the rest of the run is not written; `error()` says why.
  // The chunks are written on a thread of the writer's own, so a failure
  // shows a chunk or two after the readings that met it.
  bool failed() const { return file_->failed(); }
  std::string error() const { return file_->error(); }
  const ReadingFacts& facts() const { return facts_; }

  // Writes what is buffered, corrects the times for the clock, writes the
  // attributes and closes the file. False with
  // `error` when any of it failed.
  bool Finish(const RunFacts& run, std::string* error);
  // Closes the file without finishing it (a cancelled or failed run); the
  // caller removes it.
  void Abandon();

 private:
  NetcdfLayout Layout() const;
  void StartWriting();
  void FindVariables();
  void PlaceBurst(const ReadingLine& line, double firstTime);
  // Hand the buffered values to the writing thread.
  void FlushReadings();
  void HoldFullChunk();
  void PostChunk(std::shared_ptr<ReadingChunk> chunk);
  void TakeTestFlags(int from, int count);
  void PassLeftOut(int count);
  void PlaceTestFlags(const ReadingFlags& flags);
  void FlushTemperatures();
  void FlushBursts();
  void FillReadings(const ReadingLine& line, double stampUtc, int from, int count);
  static void FillTimes(const ReadingLine& line, double stampUtc, int from, int count,
                        double* times);
  void FillFlags(const ReadingLine& line, int from, int count, signed char* flags);
  // A chunk to fill: one the writing thread gave back, or a new one.
  std::shared_ptr<ReadingChunk> TakeEmptyChunk();
  // On the writing thread.
  void WriteReadings(size_t start, const ReadingChunk& chunk);
  void WriteTemperatures(size_t start, const std::vector<double>& times,
                         const std::vector<double>& temperatures);
  void WriteBursts(size_t start, const std::vector<double>& starts);
  bool CorrectTimes();
  bool CorrectVariable(NetcdfVariableId variable, size_t length);
  bool WriteAttributes(RunFacts run);

  ScienceSettings settings_;
  NetcdfFile ownFile_;
  NetcdfStore* file_ = &ownFile_;
  bool open_ = false;  // created, and neither finished nor abandoned
  TimeAxis axis_;
  RisingTimes rising_;
  bool stampMoved_ = false;  // the stamp of the line being read
  ReadingFacts facts_;
  std::function<void()> chunkWritten_;
  size_t chunkReadings_ = kChunkReadings;
  size_t chunkTemperatures_ = 0;
  std::unique_ptr<Worker> writer_;

  NetcdfVariableId timeVar_;
  NetcdfVariableId readingVar_;
  NetcdfVariableId flagVar_;
  NetcdfVariableId grossRangeVar_;
  NetcdfVariableId spikeVar_;
  NetcdfVariableId rateOfChangeVar_;
  NetcdfVariableId flatLineVar_;
  NetcdfVariableId burstVar_;
  NetcdfVariableId temperatureTimeVar_;
  NetcdfVariableId temperatureVar_;
  NetcdfVariableId burstStartVar_;

  // Readings waiting for their chunk, how many were handed to the writing
  // thread and how many it wrote (read once it is drained).
  std::shared_ptr<ReadingChunk> filling_;
  // A full chunk whose last reading's flags are not known yet.
  std::shared_ptr<ReadingChunk> waiting_;
  // The tests' flags, and where the reading they hold went (nowhere when
  // it was left out for its time).
  std::unique_ptr<ReadingTests> ownTests_;
  ReadingTests* tests_;
  ReadingChunk* heldChunk_ = nullptr;
  size_t heldIndex_ = 0;
  std::mutex spareMutex_;
  std::vector<std::shared_ptr<ReadingChunk>> spare_;  // written, to be filled again
  size_t readingsHanded_ = 0;
  size_t readingsWritten_ = 0;
  std::vector<double> temperatureTimes_;
  std::vector<double> temperatures_;
  size_t temperaturesHanded_ = 0;
  size_t temperaturesWritten_ = 0;
  std::vector<double> burstStarts_;
  size_t burstsHanded_ = 0;
  size_t burstsWritten_ = 0;
  int64_t nextBurst_ = 0;
};

// An attribute's value as the NetCDF file takes it: a whole number as an
// int where it fits.
NetcdfValue NetcdfValueOf(const AttributeValue& value);
