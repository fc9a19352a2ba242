// The one dispatch of a conversion request, shared by the panel's
// DoTheConvert and the command line: the file checks, the choice of
// converter, statuses 1 and 6, the engine run and the final flush. It reads
// and writes no global; the caller says which files are open and gets back
// everything that happened.
#pragma once

#include <cstdint>
#include <functional>

#include "convert/engine.h"

// The texts of the "CONVERT ERROR" popup that a status 1 comes with.
inline constexpr const char* kConvertErrorTitle = "CONVERT ERROR";
inline constexpr const char* kSelectFilesText = " Select File then Open From File and To File.";
inline constexpr const char* kSameFileText =
    " The From File and the To File are the same file. Open another To File.";
inline constexpr const char* kReadFailedText =
    " The From File could not be read to its end. Check the file, then convert again.";

// A conversion request, and whether the shell has its files open.
struct DispatchRequest : ConversionRequest {
  bool fromOpen = false;  // the From file is open (FileFromOpen)
  bool toOpen = false;    // the To file is open (FileToOpen)
};

struct DispatchOutcome {
  uint8_t status = 0;  // what the status line shows, 0 to 8
  bool cancelled = false;
  bool converterRan = false;
  // With status 1: the text of the "CONVERT ERROR" popup (one of the
  // kSelectFilesText, kSameFileText, kReadFailedText above).
  const char* popupText = nullptr;
  ConversionResult result;  // the engine's results when a converter ran
};

// In this order: both files open (else status 1, nothing touched), not the
// same file (else status 1), the From file to its start and the To file to
// its end, the converter that fits the types (else status 6, or 0 for a From
// type outside 1 to 3), then the To file flushed (a failed flush is status 5).
DispatchOutcome DispatchConversion(const DispatchRequest& request);
