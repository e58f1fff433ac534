// The signal handlers and the pending signal.
#include "driver/interruption.h"

#include <csignal>
#include <mutex>

namespace Valdrin {

namespace {

volatile std::sig_atomic_t pending = 0;

// Signal handlers belong to the process: the first guard installs them and the last one restores
// the previous ones, so that experiments running side by side share one pending signal.
using Handler = void (*)(int);
std::mutex guardLock;
int guards = 0;
Handler previousInterrupt = SIG_DFL;
Handler previousTerminate = SIG_DFL;

extern "C" void noteSignal(int signal) {
    if (pending != 0) {
        // A second signal: the user wants out now.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    pending = signal;
}

}  // namespace

InterruptionGuard::InterruptionGuard() {
    const std::lock_guard<std::mutex> lock(guardLock);
    if (guards++ > 0) return;
    pending = 0;
    previousInterrupt = std::signal(SIGINT, noteSignal);
    previousTerminate = std::signal(SIGTERM, noteSignal);
}

InterruptionGuard::~InterruptionGuard() {
    const std::lock_guard<std::mutex> lock(guardLock);
    if (--guards > 0) return;
    std::signal(SIGINT, previousInterrupt == SIG_ERR ? SIG_DFL : previousInterrupt);
    std::signal(SIGTERM, previousTerminate == SIG_ERR ? SIG_DFL : previousTerminate);
}

int pendingInterruption() { return pending; }

int exitStatusFor(int signal) { return 128 + signal; }

const char* signalName(int signal) {
    if (signal == SIGINT) return "SIGINT";
    if (signal == SIGTERM) return "SIGTERM";
    return "a signal";
}

}  // namespace Valdrin
