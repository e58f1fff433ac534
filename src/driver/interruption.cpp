// The signal handlers and the pending signal.
#include "driver/interruption.h"

#include <csignal>

namespace Valdrin {

namespace {

volatile std::sig_atomic_t pending = 0;

using Handler = void (*)(int);
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
    pending = 0;
    previousInterrupt = std::signal(SIGINT, noteSignal);
    previousTerminate = std::signal(SIGTERM, noteSignal);
}

InterruptionGuard::~InterruptionGuard() {
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
