// One dump through the engine and one conversion job, for the Python
// module: its NetCDF output into a memory store, its wave statistics
// beside it, or its legacy CSV into a file. The same dispatch, job and
// writers as the command line; only where the outputs go differs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/engine.h"
#include "outputs/conversion_job.h"
#include "python/memory_store.h"

// The dump: a file by its name, or bytes already in memory.
struct DumpInput {
  std::string path;  // shown in messages and the report; "<bytes>" for bytes
  bool inMemory = false;
  std::string bytes;  // inMemory: the dump
};

struct DumpRunSettings {
  OutputSettings outputs;  // the science and wave settings, the correction
  int fromType = 0;        // 0: the header tells
  int toType = -1;         // -1: the one that goes with the From type
  bool lfLineEnds = false;
  std::string legacyPath;  // the legacy CSV, when one is written
  bool netcdf = false;     // the NetCDF output into `store`
  bool waves = false;      // the wave statistics too (into the store)
};

// What came of a run, with the engine's report.
struct DumpRunResult {
  // The run never started: the kind cannot be told, or an argument is
  // wrong. `problem` says why; the caller raises ValueError.
  bool refused = false;
  bool cancelled = false;
  int fromType = 0;
  int toType = 0;
  int status = 0;
  std::string message;  // the status in words
  std::string problem;  // a file or output that failed, empty when none
  DumpLook look;
  ConversionResult result;
  JobOutcome outcome;
  std::string timeZone;
  bool finished() const { return !refused && !cancelled && status == 8 && problem.empty(); }
};

// Converts `input`; `cancel` set from another thread stops the engine.
// With `settings.netcdf`, `store` (not owned) takes the NetCDF output.
DumpRunResult RunDump(const DumpInput& input, const DumpRunSettings& settings, MemoryStore* store,
                      const std::atomic<bool>& cancel);

// The time zone of `name`; empty: $TZ, else the system's. Nothing when it
// names no zone.
std::optional<Zone> ZoneNamed(const std::string& name);
