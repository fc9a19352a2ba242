#include "runtime/delay.h"

#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

namespace {
DelayHandler gDelayHandler;
}

void Delay(double seconds) {
  if (gDelayHandler) {
    gDelayHandler(seconds);
    return;
  }
  if (!(seconds > 0.0) || !std::isfinite(seconds))
    return;
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void SetDelayHandler(DelayHandler handler) {
  gDelayHandler = std::move(handler);
}
