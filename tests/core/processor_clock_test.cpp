// The processor clock stands still while paused (checkpoints are written with it paused), and a
// resumed experiment's reading taken while paused is where it goes on from.
#include <gtest/gtest.h>

#include <ctime>

#include "core/processor_clock.h"

namespace Valdrin {
namespace {

// Spends at least that much processor time.
void burn(long milliseconds) {
    const std::clock_t start = std::clock();
    volatile double sink = 0;
    while ((std::clock() - start) * 1000 / CLOCKS_PER_SEC < milliseconds) sink = sink + 1.0;
}

TEST(ProcessorClock, TimeSpentPausedIsNotCounted) {
    ProcessorClock clock;
    const long before = clock.now();
    {
        const ClockPause pause(clock);
        burn(80);
        EXPECT_EQ(clock.now(), before);
        {
            const ClockPause inner(clock);  // nested: the outer pause still holds after it
        }
        burn(30);
        EXPECT_EQ(clock.now(), before);
    }
    EXPECT_LT(clock.now() - before, 60);
    burn(70);
    EXPECT_GE(clock.now() - before, 70);

    // Restored while paused: the clock goes on from that reading once the pause ends.
    {
        const ClockPause pause(clock);
        clock.continueFrom(100000);
        burn(30);
    }
    EXPECT_GE(clock.now(), 100000);
    EXPECT_LT(clock.now(), 100025);
}

}  // namespace
}  // namespace Valdrin
