// The processor clock read through std::clock.
#include "core/processor_clock.h"

#include <ctime>

namespace Valdrin {

namespace {

// The process's processor time in microseconds. Widened first: clock ticks times a million may not
// fit the tick type on every platform.
long long ownMicroseconds() {
    return static_cast<long long>(std::clock()) * 1000000LL / static_cast<long long>(CLOCKS_PER_SEC);
}

}  // namespace

// Paused time is left out in microseconds, so that many short pauses add no rounding.
long ProcessorClock::readingAt(long long microseconds) const {
    return static_cast<long>((microseconds - pausedMicroseconds_) / 1000) + offset_;
}

long ProcessorClock::now() const { return pauses_ > 0 ? pausedAt_ : readingAt(ownMicroseconds()); }

void ProcessorClock::continueFrom(long reading) {
    if (pauses_ > 0) {
        pausedAt_ = reading;
        return;
    }
    offset_ = 0;
    offset_ = reading - readingAt(ownMicroseconds());
}

void ProcessorClock::pause() {
    if (pauses_++ > 0) return;
    pauseStart_ = ownMicroseconds();
    pausedAt_ = readingAt(pauseStart_);
}

void ProcessorClock::resume() {
    if (pauses_ == 0 || --pauses_ > 0) return;
    const long long end = ownMicroseconds();
    pausedMicroseconds_ += end - pauseStart_;
    // Unchanged unless a reading was restored while paused: the clock goes on from pausedAt_.
    offset_ = 0;
    offset_ = pausedAt_ - readingAt(end);
}

}  // namespace Valdrin
