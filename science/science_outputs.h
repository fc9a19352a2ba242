// The science outputs of one conversion, fed from the same pass as the
// legacy CSV: the writers behind one reading listener.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/engine.h"
#include "science/metadata.h"
#include "science/netcdf_writer.h"
#include "science/reading_tests.h"
#include "science/source_digest.h"
#include "science/tidy_writer.h"

// The NetCDF and tidy writers of one run, behind one listener.
class ScienceOutputs {
 public:
  explicit ScienceOutputs(ScienceSettings settings);
  ~ScienceOutputs();
  ScienceOutputs(const ScienceOutputs&) = delete;
  ScienceOutputs& operator=(const ScienceOutputs&) = delete;

  bool OpenNetcdf(const std::string& path, std::string* error) {
    return OpenNetcdf(path, path, error);
  }
  // `shownName`: the name messages give the file (its final one, where
  // `path` is a temporary).
  bool OpenNetcdf(const std::string& path, const std::string& shownName, std::string* error);
  // The NetCDF output written into `store` (not owned) in place of a file.
  bool OpenNetcdfIn(NetcdfStore* store, std::string* error);
  // `sink`: where the tidy CSV goes. Not owned. `shown`: its name in
  // messages.
  bool OpenTidy(ByteSink* sink, const std::string& shown, std::string* error);

  // The NetCDF writer, whose file other outputs add to; nullptr when none
  // was opened.
  NetcdfWriter* netcdf() { return netcdf_.get(); }
  // Tests every reading once and hands it to the open writers; set it as
  // the request's `readings`.
  ReadingListener* listener() { return &tests_; }
  // Fed with the dump's bytes as the conversion reads them, for `source`.
  SourceDigest& digest() { return digest_; }
  void TakeDigest(bool taken) { digestTaken_ = taken; }
  // A merge's next dump, `name`: the bytes heard from here on are its own,
  // and `source` names every dump with its digest.
  void BeginSource(const std::string& name);
  // A merge's dumps' digests, in order, once the run's facts were taken.
  const std::vector<std::string>& SourceDigests() const { return sourceDigests_; }

  // A writer failed during the run; the conversion may as well stop.
  bool failed() const;
  std::string error() const;

  const ScienceSettings& settings() const { return settings_; }
  // What the conversion reported, as the outputs' attributes tell it; the
  // same creation date and digest each time it is asked.
  RunFacts RunFactsOf(const ConversionResult& result);

  // Finishes every output with the conversion's results. False with `error`
  // when one could not be finished.
  bool Finish(const ConversionResult& result, std::string* error);
  // The readings trimming left out, told before Finish.
  void TakeTrimmed(const TrimmedCounts& counts) { trimmed_ = counts; }
  // Closes the outputs unfinished (a cancelled or failed run).
  void Abandon();

  // What the operator should hear: readings with no time, a gauge dump's
  // units not given. Known after Finish.
  std::vector<std::string> Warnings() const;
  // Readings the NetCDF output left out for their time; none without one.
  std::optional<int64_t> NetcdfReadingsOutOfOrder() const;
  // The tests' flags of every reading with a time (those the NetCDF output
  // left out for their time too), per test configured and for the
  // aggregate. After Finish.
  const ReadingFlagCounts& QcCounts() const { return tests_.counts(); }

 private:
  const ReadingFacts* Facts() const;

  ScienceSettings settings_;
  std::unique_ptr<NetcdfWriter> netcdf_;
  std::unique_ptr<TidyWriter> tidy_;
  ReadingFanOut fanOut_;
  ReadingTests tests_;  // in front of fanOut_
  SourceDigest digest_;
  bool digestTaken_ = false;
  TrimmedCounts trimmed_;
  std::string sourceSha256_;  // once taken: taking it ends the digest
  // A merge: the dumps begun, and the digests of those that ended.
  std::vector<std::string> sourceNames_;
  std::vector<std::string> sourceDigests_;
  std::string dateCreated_;
};

// "2026-12-08T01:30:00Z", now.
std::string UtcNowText();
