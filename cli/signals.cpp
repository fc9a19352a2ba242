#include "cli/signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "runtime/byte_streams.h"

namespace {

std::atomic<int> gStopSignal{0};
int gWakeRead = -1;
int gWakeWrite = -1;

extern "C" void NoteStopSignal(int signal) {
  int expected = 0;
  const bool first = gStopSignal.compare_exchange_strong(expected, signal);
  if (gWakeWrite >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(gWakeWrite, &byte, 1);
  }
  // A write to a pipe whose reader has stopped reading would wait for it
  // however long: the signal is passed on to it. Once, since the writers
  // take it here too.
  if (first)
    InterruptStreamWrites(signal);
}

}  // namespace

void InstallStopSignals() {
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) == 0) {
    gWakeRead = wake[0];
    gWakeWrite = wake[1];
  }
  struct sigaction action {};
  action.sa_handler = NoteStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  for (int signal : {SIGINT, SIGTERM, SIGHUP})
    ::sigaction(signal, &action, nullptr);
}

void RequestStop(int signal) {
  NoteStopSignal(signal);
}

int StopSignal() {
  return gStopSignal.load(std::memory_order_relaxed);
}

int ExitStatusForSignal(int signal) {
  return 128 + signal;
}

int StopSignalFd() {
  return gWakeRead;
}
