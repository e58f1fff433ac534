// The processor clock stands still while paused (checkpoints are written with it paused): a run's
// duration counts only the run.
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
        const long atPause = clock.now();  // a millisecond may have passed since before
        burn(80);
        EXPECT_EQ(clock.now(), atPause);
    }
    EXPECT_LT(clock.now() - before, 40);
    burn(60);
    EXPECT_GE(clock.now() - before, 60);
}

}  // namespace
}  // namespace Valdrin
