// The confidence intervals: Wilson's against published values, the bootstrap's reproducibility,
// and the median's counting shortcut against resampling the runs themselves.
#include "statistics/intervals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace Valdrin {
namespace {

TEST(IntervalsTest, WilsonIntervalMatchesPublishedValues) {
    const Interval half = wilsonInterval(1, 2);
    EXPECT_NEAR(half.low, 0.094531, 1e-6);
    EXPECT_NEAR(half.high, 0.905469, 1e-6);
    // 0 of 10: from 0 to 0.2775; 10 of 10 the mirror image.
    EXPECT_EQ(wilsonInterval(0, 10).low, 0.0);
    EXPECT_NEAR(wilsonInterval(0, 10).high, 0.277533, 1e-6);
    EXPECT_NEAR(wilsonInterval(10, 10).low, 1.0 - 0.277533, 1e-6);
    const Interval none = wilsonInterval(0, 0);
    EXPECT_EQ(none.low, 0.0);
    EXPECT_EQ(none.high, 1.0);
}

// The counted median gives exactly the interval of the medians of the resampled runs (the same
// draws), for odd and even counts, ties, NaN values (left out of each median) and one run.
TEST(IntervalsTest, CountedMedianEqualsTheMedianOfEachResample) {
    std::mt19937_64 generator(3);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int n : {1, 2, 5, 8, 31}) {
        for (bool withNaN : {false, true}) {
            std::vector<RunFigures> runs;
            std::vector<double> values;
            for (int i = 0; i < n; ++i) {
                double value = static_cast<double>(generator() % 7);
                if (withNaN && i % 3 == 1) value = nan;
                values.push_back(value);
                runs.push_back({100.0, false, value});
            }
            const Interval resampled = bootstrapInterval(runs, [](const std::vector<RunFigures>& drawn) {
                std::vector<double> found;
                for (const RunFigures& run : drawn) found.push_back(run.bestFound);
                return medianOf(found);
            }, 0.95, 300);
            const Interval counted = bootstrapMedianInterval(values, 0.95, 300);
            EXPECT_EQ(counted.low, resampled.low) << n << withNaN;
            EXPECT_EQ(counted.high, resampled.high) << n << withNaN;
        }
    }
}

// The same runs give the same interval on every call (a fixed seed); it holds the figure of the
// runs themselves, and the ERT's upper end is infinite when a resample can miss every solution.
TEST(IntervalsTest, BootstrapIsReproducibleAndHoldsTheFigure) {
    std::vector<RunFigures> runs;
    for (int i = 0; i < 12; ++i) runs.push_back({100.0 + 10.0 * i, i % 4 == 0, static_cast<double>(i)});
    const Interval first = bootstrapInterval(runs, expectedRunningTime);
    const Interval again = bootstrapInterval(runs, expectedRunningTime);
    EXPECT_EQ(first.low, again.low);
    EXPECT_EQ(first.high, again.high);
    const double ert = expectedRunningTime(runs);
    EXPECT_LE(first.low, ert);
    EXPECT_GE(first.high, ert);
    EXPECT_TRUE(std::isinf(first.high));
    EXPECT_TRUE(std::isnan(bootstrapInterval({}, expectedRunningTime).low));
    EXPECT_TRUE(std::isnan(bootstrapMedianInterval({std::numeric_limits<double>::quiet_NaN()}).high));
}

}  // namespace
}  // namespace Valdrin
