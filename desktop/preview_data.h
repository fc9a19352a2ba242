// The data of the preview, read from the part of a To file that one
// conversion wrote. Logger CSV: every reading of every f001 record at its
// sample time (the record's time plus i / rate), fillers left out; the
// readings are taken as written, so a correction is already in them. Gauge
// CSV: the D1,C1 values in order, the date stamps (D1,C8 and D1,C9) marked
// at the value that follows them. The fields are parsed where they lie in a
// fixed read buffer, into a fixed number of min/max buckets, so memory stays
// small whatever the size of the output.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "desktop/preview_series.h"

enum class PreviewKind { LoggerCsv, GaugeCsv };

// Reads bytes [begin, end) of the file at `path`; stops early (with what it
// has) when `stop` turns true. `error` says why when nothing could be read.
// A large part is read in `parts` pieces at once, one thread each (0: as
// many as the machine has cores for, up to 4, for parts of 64 MB or more).
PreviewSeries ReadPreview(PreviewKind kind, const std::string& path, int64_t begin, int64_t end,
                          const std::atomic<bool>& stop, int parts = 0);

// The same from bytes in memory (the tests and the benchmark use it).
PreviewSeries PreviewFromText(PreviewKind kind, const std::string& text);
