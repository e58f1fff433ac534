// Interruption by SIGINT or SIGTERM: the handlers only note the signal; the experiment looks at
// it between generations and ends in order. A second signal ends the process at once.
#pragma once

namespace Valdrin {

// Installs the handlers for the object's lifetime and restores the previous ones afterwards. Guards
// may overlap (experiments running side by side in one process): the handlers are installed while
// any guard lives, and a signal asks every running experiment to stop.
class InterruptionGuard {
public:
    InterruptionGuard();
    ~InterruptionGuard();
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;
};

// The signal that asked the experiment to stop, or 0.
int pendingInterruption();

// Thrown between generations when a signal asked the experiment to stop.
struct Interrupted {
    int signal;
};

// The conventional exit status of a process ended by the signal: 128 + its number.
int exitStatusFor(int signal);

// "SIGINT", "SIGTERM" or "signal N".
const char* signalName(int signal);

}  // namespace Valdrin
