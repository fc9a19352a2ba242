#include "desktop/wave_run.h"

namespace {

WaveSettings& Chosen() {
  static WaveSettings settings;
  return settings;
}

}  // namespace

void ChooseWaveSettings(const WaveSettings& settings) {
  Chosen() = settings;
}

WaveSettings ChosenWaveSettings() {
  return Chosen();
}
