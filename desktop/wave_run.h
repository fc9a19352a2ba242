// View > Wave statistics: the table of the last conversion's dump
// (outputs/wave_capture.h). The settings are those chosen in the window's
// form when the conversion started; new ones apply from the next
// conversion.
#pragma once

#include <memory>

#include "outputs/export_run.h"
#include "outputs/wave_capture.h"
#include "waves/wave_settings.h"

// The last conversion's dump and its statistics (none before one ran).
struct WaveResults {
  ExportSource source;
  std::shared_ptr<const WaveTable> table;
};

// The settings the window's form holds, for the conversions that start
// after. Called on the thread that starts conversions.
void ChooseWaveSettings(const WaveSettings& settings);
WaveSettings ChosenWaveSettings();
