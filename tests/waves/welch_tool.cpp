// Prints the spectrum our wave statistics take of a series, for the check
// against scipy.signal.welch:
//   welch_tool RATE [WELCH_LENGTH] < series
// reads one number a line, takes the least-squares line off and prints
// "frequency density" lines.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "waves/real_fft.h"
#include "waves/spectrum.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: welch_tool RATE [WELCH_LENGTH] < series\n");
    return 64;
  }
  const double rate = std::atof(argv[1]);
  std::vector<double> series;
  double value = 0.0;
  while (std::scanf("%lf", &value) == 1)
    series.push_back(value);
  const int asked = argc > 2 ? std::atoi(argv[2]) : DefaultWelchLength(series.size());
  if (series.empty() || asked <= 0 || static_cast<size_t>(asked) > series.size()) {
    std::fprintf(stderr, "welch_tool: too few readings\n");
    return 1;
  }
  RemoveLeastSquaresLine(series);
  RealFft fft(static_cast<size_t>(asked));
  const Spectrum spectrum = WelchDensity(series, rate, &fft);
  for (size_t bin = 0; bin < spectrum.density.size(); ++bin)
    std::printf("%.17g %.17g\n", spectrum.frequency[bin], spectrum.density[bin]);
  return 0;
}
