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

long ProcessorClock::now() const { return ownProcessorClock() + offset_; }

void ProcessorClock::continueFrom(long reading) { offset_ = reading - ownProcessorClock(); }

}  // namespace Valdrin
