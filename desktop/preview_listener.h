// Builds the preview of a conversion from the readings the engine hands out
// while it converts (convert/readings.h): every reading at its own time on
// the dump's clock, into the fixed number of min/max buckets of a
// PreviewSeries, and the date stamps marked where they start their readings.
// The readings the quality tests flag suspect or bad (outputs/' flagger,
// as the science outputs flag them) go into envelopes of their own.
// Nothing reads the dump again or the CSV back, and memory stays the same
// whatever the number of readings.
#pragma once

#include <cstdint>

#include "convert/readings.h"
#include "desktop/preview_series.h"
#include "outputs/reading_flags.h"

class PreviewListener final : public ReadingListener {
 public:
  // `tests`: those of the deployment's `qc` section; none runs the
  // conversion's own flags and the sensor-limit rule alone.
  explicit PreviewListener(bool gauge, const VariableTests& tests = {});
  PreviewListener(const PreviewListener&) = delete;
  PreviewListener& operator=(const PreviewListener&) = delete;

  void OnReadings(const ReadingLine& line) override;
  void OnFillers(int64_t line, int64_t byte, int count) override;

  // The series gathered so far; call once, after the conversion.
  PreviewSeries Finish();

 private:
  void MarkStamp(const ReadingLine& line);
  void KeepMark(PreviewMark mark);
  void KeepFlagged(const FlaggedReading& reading);

  PreviewSeries series_;
  bool haveStamp_ = false;
  LocalSeconds lastStamp_ = 0;
  int64_t lastBurst_ = -1;
  int64_t markStride_ = 1;  // every markStride_-th date stamp is kept
  ReadingFlagger flagger_;
};
