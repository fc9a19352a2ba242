// Blocking pauses of the run-time layer.
#pragma once

#include <functional>

// Blocks the calling thread for `seconds` (through the handler, if one is set).
void Delay(double seconds);

// Replaces how Delay waits: tests record the pauses instead of sleeping, and
// the command-line front end, which has no operator to wait for, skips them.
// An empty handler restores real sleeping.
using DelayHandler = std::function<void(double seconds)>;
void SetDelayHandler(DelayHandler handler);
