// The two converters as the engine runs them, each on one conversion's
// context (its request, status and report). See engine.h for the entries.
#pragma once

class ConversionContext;

// Logger dump (From types 1 and 2) to the logger CSV (To type 0).
void RunLoggerConverter(ConversionContext& context);

// Gauge dump (From type 3) to the gauge CSV (To type 1).
void RunGaugeConverter(ConversionContext& context);
