// The wave statistics in a NetCDF file: one value per segment on a
// `segment` dimension, and each segment's spectrum S(segment, frequency),
// with CF standard names and the method, band and cut-off as attributes.
#pragma once

#include <string>
#include <vector>

#include "waves/segmenter.h"
#include "waves/wave_settings.h"

// A segment as the file keeps it: its statistics and spectrum (the
// readings and the per-bin band and response are dropped), and its first
// and last readings' times in UTC seconds (NaN when unknown).
struct KeptSegment {
  WaveSegment segment;
  double start = 0.0;
  double end = 0.0;
};

// Drops what the file does not keep, to save memory while a run goes on.
KeptSegment KeepForNetcdf(WaveSegment&& segment, double start, double end);

// Defines and writes the statistics into `ncid`, open in define mode (it
// is left in data mode). `units`: the readings' units ("m" with pressure).
// False with `error` when the library refuses.
bool WriteWaveStatistics(int ncid, const std::vector<KeptSegment>& segments,
                         const WaveSettings& settings, const std::string& units,
                         std::string* error);
