// A segment's flag: the aggregate of its own reasons (each suspect) and the
// QARTOD gross range tests of its Hm0 and Tp.
#pragma once

#include <optional>

#include "qc/flags.h"
#include "qc/settings.h"
#include "waves/segmenter.h"
#include "waves/wave_settings.h"

// The gross range flag of one statistic: 9 where it has no value (NaN).
QualityFlag StatisticRangeFlag(const GrossRangeThresholds& thresholds, double value);

// Sets the segment's range flags, adds the words of those that are not 1
// to its reasons, and sets its flag from them all.
void FlagSegment(const WaveSettings& settings, WaveSegment* segment);
