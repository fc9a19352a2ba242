#include "waves/dispersion.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "waves/wave_settings.h"

namespace {

constexpr int kNewtonSteps = 60;
constexpr double kTolerance = 1e-14;

// x·tanh(x) = y for x, by Newton's method from Fenton and McKee's
// explicit approximation, which is within 2 % everywhere.
double DimensionlessRoot(double y) {
  double x = y / std::pow(std::tanh(std::pow(y, 0.75)), 2.0 / 3.0);
  for (int step = 0; step < kNewtonSteps; ++step) {
    const double t = std::tanh(x);
    const double slope = t + x * (1.0 - t * t);
    const double change = (x * t - y) / slope;
    x -= change;
    if (std::abs(change) <= kTolerance * x)
      break;
  }
  return x;
}

}  // namespace

double Wavenumber(double frequency, double depth) {
  if (!(depth > 0.0))
    return std::numeric_limits<double>::quiet_NaN();
  if (frequency == 0.0)
    return 0.0;
  const double omega = 2.0 * std::numbers::pi * std::abs(frequency);
  return DimensionlessRoot(omega * omega * depth / kGravity) / depth;
}

double PressureResponse(double wavenumber, double depth, double height) {
  // cosh(a)/cosh(b) = e^(a−b) (1 + e^(−2a)) / (1 + e^(−2b)) for a, b ≥ 0.
  const double a = std::abs(wavenumber * height);
  const double b = std::abs(wavenumber * depth);
  return std::exp(a - b) * (1.0 + std::exp(-2.0 * a)) / (1.0 + std::exp(-2.0 * b));
}
