#include "cli/progress.h"

#include "convert/report_text.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

}  // namespace

bool ProgressWanted(bool quiet) {
  return !quiet && ::isatty(2) == 1;
}

bool ColourWanted() {
  return std::getenv("NO_COLOR") == nullptr;
}

ProgressLine::ProgressLine(bool enabled, bool colour, size_t inputs)
    : enabled_(enabled), colour_(colour), inputs_(inputs) {}

void ProgressLine::Update(const std::string& name, int64_t bytesRead, int64_t size) {
  if (!enabled_)
    return;
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - lastDraw_ < kRedrawEvery)
    return;
  lastDraw_ = now;
  std::string amount = Megabytes(bytesRead);
  if (size > 0) {
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(bytesRead * 100 / size));
    amount = std::string(colour_ ? "\033[36m" : "") + percent + (colour_ ? "\033[0m" : "") +
             " of " + Megabytes(size);
  }
  std::string line = "\r\033[K";
  if (inputs_ > 1)
    line += "[" + std::to_string(done_) + "/" + std::to_string(inputs_) + " done] ";
  line += name + " " + amount;
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressLine::InputDone() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++done_;
}

void ProgressLine::Clear() {
  if (drawn_) {
    std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }
}

void ProgressLine::Print(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  Clear();
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

void ProgressLine::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  Clear();
  std::fflush(stderr);
}
