#include "desktop/outcome_mark.h"

#include <numeric>

#include "convert/status.h"

OutcomeMark MarkOfOutcome(const DispatchOutcome& outcome) {
  OutcomeMark mark;
  const ConversionReport& report = outcome.result.report;
  mark.anomalies =
      std::accumulate(report.anomalyCounts.begin(), report.anomalyCounts.end(), int64_t{0});
  if (outcome.cancelled) {
    mark.kind = OutcomeKind::Cancelled;
  } else if (outcome.status == kStatusFinished) {
    mark.kind = mark.anomalies > 0 ? OutcomeKind::Anomalies : OutcomeKind::Clean;
  } else if (outcome.status != kStatusReady) {
    mark.kind = OutcomeKind::Failed;
    mark.failedLine = report.failed ? report.failure.line : 0;
    mark.recordsKept = outcome.converterRan ? report.recordsWritten : 0;
  }
  return mark;
}
