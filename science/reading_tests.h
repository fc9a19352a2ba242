// The QARTOD tests of the science outputs, run once for all of them: the
// stage in front of the NetCDF and tidy writers tests each line's readings
// and keeps what each reading completed, and every writer reads the same
// answers. The spike test looks a reading ahead, so reading i of a line
// completes the flags of the reading tested before it, as ReadingQc hands
// them back.
//
// The series tested is every reading with a time, in the order of the
// dump: a reading whose time does not rise is tested as bad by the
// conversion and breaks its series. The tidy CSV writes it; the NetCDF
// file leaves it out and takes the others' flags as they are.
#pragma once

#include <cstdint>
#include <vector>

#include "convert/readings.h"
#include "qc/reading_qc.h"
#include "science/metadata.h"
#include "science/time_base.h"

class ReadingTests final : public ReadingListener {
 public:
  // `downstream` hears each line once it is tested; nullptr when a writer
  // runs the tests for itself.
  ReadingTests(const ScienceSettings& settings, ReadingListener* downstream);

  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;

  // For reading `i` of the line last tested (one with a time): true, with
  // `flags`, when the reading tested before it is complete now.
  bool CompletedBy(int i, ReadingFlags* flags) const {
    if (i == 0 && !firstCompletes_)
      return false;
    *flags = completed_[static_cast<size_t>(i)];
    return true;
  }
  // The flags that readings `i` (above 0) and on of the line completed,
  // one for each.
  const ReadingFlags* CompletedFrom(int i) const { return completed_.data() + i; }
  // The stream ended: true, with `flags`, for the last reading tested.
  // The same answer each time it is asked.
  bool Last(ReadingFlags* flags);

  const VariableTests& tests() const { return tests_; }
  // Every reading tested, its flags counted once the stream ended (Last).
  const ReadingFlagCounts& counts() const { return counts_; }

 private:
  VariableTests tests_;
  TimeAxis axis_;
  RisingTimes rising_;
  ReadingQc qc_;
  ReadingListener* downstream_;
  std::vector<ReadingFlags> completed_;  // by each reading of the line
  bool firstCompletes_ = false;
  bool ended_ = false;
  bool lastHeld_ = false;
  ReadingFlags last_;
  ReadingFlagCounts counts_;
};
