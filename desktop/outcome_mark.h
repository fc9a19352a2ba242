// What the last conversion came to, counted for the mark beside the status
// line: the status line keeps its fixed words, the mark says how many
// anomalies a finished conversion met, where a failed one stopped and how
// many records it left in the To file, or that it was cancelled.
#pragma once

#include <cstdint>

#include "convert/dispatch.h"

enum class OutcomeKind {
  None,       // nothing to mark: no conversion, or its files have changed since
  Clean,      // "Finished All" with nothing unusual
  Anomalies,  // "Finished All", with anomalies in Details
  Failed,     // any other status
  Cancelled,
};

struct OutcomeMark {
  OutcomeKind kind = OutcomeKind::None;
  int64_t anomalies = 0;  // all counted, not only the ones Details lists
  // The line the failure was found on; 0 when it names none (a file that
  // was not open, types that do not fit, a To file that could not be written).
  int64_t failedLine = 0;
  // Records written before the failure: real data, left in the To file.
  int64_t recordsKept = 0;
  // Records of one CSV kind were appended after the other kind's.
  bool mixedKinds = false;

  bool operator==(const OutcomeMark&) const = default;
};

OutcomeMark MarkOfOutcome(const DispatchOutcome& outcome);
