// The processor clock read through std::clock.
#include "core/processor_clock.h"

#include <ctime>

namespace Valdrin {

namespace {

long ownProcessorClock() {
    // Widened first: clock ticks times 1000 may not fit the tick type on every platform.
    return static_cast<long>(static_cast<long long>(std::clock()) * 1000LL / static_cast<long long>(CLOCKS_PER_SEC));
}

}  // namespace

long ProcessorClock::now() const { return pauses_ > 0 ? pausedAt_ : ownProcessorClock() + offset_; }

void ProcessorClock::continueFrom(long reading) {
    if (pauses_ > 0) {
        pausedAt_ = reading;
    } else {
        offset_ = reading - ownProcessorClock();
    }
}

void ProcessorClock::pause() {
    if (pauses_++ == 0) pausedAt_ = ownProcessorClock() + offset_;
}

void ProcessorClock::resume() {
    if (pauses_ == 0) return;
    if (--pauses_ == 0) offset_ = pausedAt_ - ownProcessorClock();
}

}  // namespace Valdrin
