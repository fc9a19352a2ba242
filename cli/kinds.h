// The kinds of one input: the From type (given, or the one its header
// shows) and the To type, or why the input is not converted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/options.h"
#include "convert/engine.h"

struct KindChoice {
  int fromType = 0;  // 0 when no type could be settled
  int toType = -1;
  // When the input is not converted: why, in the user's words (naming the
  // input), the status to tell and the exit status. Empty when it is.
  std::string problem;
  uint8_t status = 0;
  int exitStatus = 0;
};

// `head` is the input's first block, `look` what its header looks like,
// `name` the input as messages show it. Refused: a header of no known kind
// (status 2), a logger header whose codes both tables hold (exit 64, nothing
// to tell the types apart), one neither holds (status 3), a correction for
// a gauge dump (exit 64), a To type that does not fit (status 6), a --band
// that starts at or above the header's Nyquist frequency (exit 64).
KindChoice ChooseKinds(const CliOptions& options, const DumpLook& look, std::string_view head,
                       const std::string& name);
