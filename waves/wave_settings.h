// How the wave statistics are worked out: segment length, Welch window,
// frequency band and, for pressure readings, the correction to the surface.
#pragma once

#include <optional>
#include <string>

#include "qc/settings.h"

inline constexpr double kGravity = 9.81;  // m/s²

enum class PressureUnit { Pa, kPa, dbar, bar, mH2O };

// The readings of a gauge dump taken as gauge pressure in `unit`.
struct PressureSettings {
  PressureUnit unit = PressureUnit::dbar;
  double atmospheric = 0.0;   // in `unit`, taken off every reading
  double density = 1025.0;    // kg/m³
  double sensorHeight = 0.0;  // m above the bed
  double kpMin = 0.1;         // bins whose pressure response is weaker are left out
};

struct WaveSettings {
  double segmentSeconds = 1200.0;  // logger dumps; gauge dumps go by burst
  int welchLength = 0;             // readings per Welch window; 0 for the default
  double bandLow = 0.04;           // Hz
  double bandHigh = 1.0;           // Hz, clipped to the Nyquist frequency
  // Gauge dumps: the header's burst length in readings, the nominal
  // segment; 0 when not known.
  double burstReadings = 0.0;
  std::optional<PressureSettings> pressure;
  // The QARTOD gross range tests of the statistics (the deployment file's
  // qc.hm0 and qc.tp); none: not run.
  std::optional<GrossRangeThresholds> hm0Range;
  std::optional<GrossRangeThresholds> tpRange;
};

// "Pa", "kPa", "dbar", "bar", "mH2O".
const char* PressureUnitName(PressureUnit unit);
// The unit of that name; none for any other text.
std::optional<PressureUnit> PressureUnitNamed(const std::string& name);
// Pascals in one `unit` (1 mH2O is the conventional 9806.65 Pa).
double PascalsPer(PressureUnit unit);

// The smallest segment whose statistics are not suspect, and the share of
// good readings below which they are.
inline constexpr int kMinimumSegmentReadings = 64;
inline constexpr double kMinimumGoodShare = 0.9;
