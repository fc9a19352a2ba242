// Linear wave theory for the pressure correction.
#pragma once

// The wavenumber k (rad/m) of waves of `frequency` Hz in water `depth` m
// deep: the root of ω² = g·k·tanh(k·h). 0 at 0 Hz; NaN for a depth that is
// not positive.
double Wavenumber(double frequency, double depth);

// How much of the surface's swing a pressure sensor `height` m above the bed
// in `depth` m of water sees: cosh(k·z) / cosh(k·h), without overflow for
// short waves in deep water.
double PressureResponse(double wavenumber, double depth, double height);
