// Progress on standard error while conversions run: one line, redrawn at
// most ten times a second, only when standard error is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

class ProgressLine {
 public:
  // Draws nothing unless `enabled`; no colour when `colour` is false.
  ProgressLine(bool enabled, bool colour, size_t inputs);

  // From a conversion thread: `name` has read `bytesRead` of `size` bytes
  // (size -1 when unknown).
  void Update(const std::string& name, int64_t bytesRead, int64_t size);
  void InputDone();
  // Writes `text` to standard error, the progress line cleared first.
  void Print(const std::string& text);
  // Clears the line for good.
  void Finish();

 private:
  void Clear();

  bool enabled_;
  bool colour_;
  size_t inputs_;
  size_t done_ = 0;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
  std::mutex mutex_;
};

// True when progress is to be drawn: standard error is a terminal and
// --quiet was not given.
bool ProgressWanted(bool quiet);
// False when NO_COLOR is set (to anything).
bool ColourWanted();
