#pragma once
// Stop signals, and a run on a thread of its own that they can stop.

#include "cli/Commands.h"
#include "cli/Progress.h"

#include <atomic>
#include <functional>

namespace quillmar::cli {

// Blocks SIGINT, SIGTERM and SIGHUP in this and every later thread and
// returns a descriptor that becomes readable when one arrives, so that a run
// can stop cleanly instead of dying half-way. A write to a closed pipe is
// reported as an error, not by a signal. Call before any thread starts.
int WatchStopSignals();

// The signal waiting on stopFd, taken off it.
int TakeStopSignal(int stopFd);

// The exit status of a run that signal stopped.
inline int StopStatus(int signal) {
    return 128 + signal;
}

// Runs work on its own thread while this one shows progress and watches for
// a stop signal. With nothing on disk to put right (output on standard
// output only), a signal ends the program at once; otherwise work is asked to
// stop through its flag and finishes cleaning up first. Returns the signal, or 0.
int Supervise(const std::function<void(const std::atomic<bool>&)>& work, const Environment& env,
              bool cleansUp, const ProgressSource* progress);

} // namespace quillmar::cli
