// SIGINT, SIGTERM and SIGHUP stop the conversions: the handler only notes the
// signal; the engine's cancel hook and the output steps look at the note.
#pragma once

// Installs the handler for the three signals (without SA_RESTART, so that a
// read waiting on a pipe returns).
void InstallStopSignals();

// Stops the conversions as `signal` would (SIGPIPE when the reader of
// standard output went away).
void RequestStop(int signal);

// The signal that asked to stop, or 0.
int StopSignal();

// 128 + the signal: 130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP.
int ExitStatusForSignal(int signal);

// A descriptor that becomes readable when a stop signal arrives, for a
// thread that waits in poll(2) on a pipe.
int StopSignalFd();
