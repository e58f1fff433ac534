// Tests of the generator: streams per seed, draw forms and their edge values.
#include "core/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::seedForTest;

std::vector<double> draws(unsigned seed, int count) {
    seedForTest(seed);
    std::vector<double> values;
    for (int i = 0; i < count; ++i) values.push_back(uniform());
    return values;
}

// Puts the generator in the state whose next step yields the given value of bits 22 to 53.
void prepareNextBits(std::uint32_t bits) {
    std::uint64_t inverse = rng::multiplier;  // Newton's iteration for the inverse modulo 2^64
    for (int i = 0; i < 6; ++i) inverse *= 2 - rng::multiplier * inverse;
    testing::testEngine().random.restore((static_cast<std::uint64_t>(bits) << 22) * inverse, true);
}

TEST(RandomGenerator, SeedSelectsOneOf32768Streams) {
    seedForTest(32768);
    EXPECT_EQ(uniform(), 0.10018587117092026);
    EXPECT_EQ(draws(0, 20), draws(32768, 20));
    EXPECT_EQ(draws(1, 50), draws(32769, 50));
    EXPECT_NE(draws(1, 50), draws(2, 50));
}

TEST(RandomGenerator, OnlyTheFirstSeedingCountsAndIsAnnounced) {
    testing::testEngine().random.restore(0, false);
    ::testing::internal::CaptureStdout();
    testing::testEngine().random.seed(3, std::cout);
    const double first = uniform();
    testing::testEngine().random.seed(3, std::cout);
    testing::testEngine().random.seed(9, std::cout);
    const double second = uniform();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Initialization of random numbers generator\n");
    const std::vector<double> expected = draws(3, 2);
    EXPECT_EQ(first, expected[0]);
    EXPECT_EQ(second, expected[1]);
}

TEST(RandomGenerator, DrawsBeforeSeedingStayAtZero) {
    testing::testEngine().random.restore(0, false);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(uniform(), 0.0);
        EXPECT_FALSE(coinFlip());
        EXPECT_EQ(uniformInt(10), 0);
    }
    EXPECT_EQ(gaussian(), -1.0);
}

TEST(RandomGenerator, EachFormConsumesItsFixedNumberOfSteps) {
    const std::vector<double> reference = draws(77, 20);
    seedForTest(77);
    uniformInt(5);
    flip(0.5);
    coinFlip();
    rouletteIndex(std::vector<int>{1, 2});
    rouletteIndex(std::vector<double>{0.5});
    EXPECT_EQ(uniform(), reference[5]);

    seedForTest(77);
    double sum = 0.0;
    for (int i = 0; i < 12; ++i) sum += reference[i];
    EXPECT_EQ(gaussian(), (sum - 6.0) / 6.0);
    EXPECT_EQ(uniform(), reference[12]);
}

TEST(RandomGenerator, ExtremeDrawsStayUsableAsIndexes) {
    prepareNextBits(0x7fffffffU);
    EXPECT_EQ(uniform(), 1.0);
    prepareNextBits(0x7fffffffU);
    EXPECT_EQ(uniformInt(7), 6);

    prepareNextBits(0x80000000U);  // the one value whose magnitude exceeds 2^31 - 1
    EXPECT_GT(uniform(), 1.0);
    prepareNextBits(0x80000000U);
    EXPECT_EQ(uniformInt(7), 6);
    prepareNextBits(0x80000000U);
    EXPECT_TRUE(coinFlip());
    prepareNextBits(0x7fffffffU);
    EXPECT_FALSE(coinFlip());

    seedForTest(11);
    for (int i = 0; i < 20000; ++i) {
        const int k = uniformInt(3);
        ASSERT_GE(k, 0);
        ASSERT_LT(k, 3);
    }
}

TEST(RandomGenerator, GaussianStaysWithinItsRange) {
    seedForTest(5);
    double sum = 0.0;
    const int count = 20000;
    for (int i = 0; i < count; ++i) {
        const double g = gaussian();
        ASSERT_GE(g, -1.0);
        ASSERT_LE(g, 1.0 + 1e-9);
        sum += g;
    }
    EXPECT_NEAR(sum / count, 0.0, 0.01);
}

TEST(RandomGenerator, RouletteGivesEveryItemItsWeightPlusOne) {
    // Integer weights round the draw: with {0, 0} the first item takes the values 0 and 1.
    const std::vector<double> reference = draws(21, 4000);
    seedForTest(21);
    int firstCount = 0;
    for (double u : reference) {
        const int rounded = static_cast<int>(u * 2 + 0.5);
        const int index = rouletteIndex(std::vector<int>{0, 0});
        ASSERT_EQ(index, rounded <= 1 ? 0 : 1);
        if (index == 0) ++firstCount;
    }
    EXPECT_NEAR(firstCount, 3000, 150);

    seedForTest(21);
    for (double u : reference) {
        const double r = u * 10.0;  // weights 2, 0, 5 span 3, 1 and 6
        const int expected = r <= 3.0 ? 0 : (r <= 4.0 ? 1 : 2);
        ASSERT_EQ(rouletteIndex(std::vector<double>{2.0, 0.0, 5.0}), expected);
    }

    EXPECT_EQ(rouletteIndex(std::vector<int>{}), 0);
    EXPECT_EQ(rouletteIndex(std::vector<double>{}), 0);
}

}  // namespace
}  // namespace Valdrin

namespace Valdrin {
namespace {

// The rate test decided on the draw's integer must agree with "rate > uniform()" draw for draw,
// at rates that fall between, on and next to the values uniform() can take.
TEST(RateTestMatchesTheDoubleComparison, ForEveryKindOfRate) {
    const double oneStep = 1.0 / 2147483647.0;
    const std::vector<double> rates = {0.0, -0.5, 1e-12, oneStep, 2 * oneStep, std::nextafter(oneStep, 1.0),
                                       0.001, 0.01, 0.3, 0.5, 0.7, 0.999999, 1.0, 1.0 + oneStep,
                                       2.0, std::nan(""), 12345 * oneStep, std::nextafter(12345 * oneStep, 0.0)};
    for (double rate : rates) {
        testing::seedForTest(4242);
        std::vector<bool> expected;
        for (int i = 0; i < 20000; ++i) expected.push_back(rate > uniform());
        testing::seedForTest(4242);
        const RateTest test(rate);
        for (int i = 0; i < 20000; ++i) ASSERT_EQ(test(testing::testEngine().random), expected[static_cast<std::size_t>(i)]) << "rate " << rate << " draw " << i;
    }
    // The extreme draws: |v| = 2^31 - 1 gives exactly 1 and v = -2^31 slightly more. The state is
    // set so that the next step lands on them (the multiplier is odd, hence invertible).
    std::uint64_t inverse = rng::multiplier;
    for (int i = 0; i < 6; ++i) inverse *= 2 - rng::multiplier * inverse;
    for (std::uint64_t next : {std::uint64_t{0x7fffffffULL} << 22, std::uint64_t{0x80000000ULL} << 22}) {
        for (double rate : {1.0, std::nextafter(1.0, 2.0), 1.0 + 2 * oneStep}) {
            testing::testEngine().random.restore(next * inverse, true);
            const double u = uniform();
            ASSERT_EQ(testing::testEngine().random.word(), next);
            testing::testEngine().random.restore(next * inverse, true);
            EXPECT_EQ(RateTest(rate)(testing::testEngine().random), rate > u) << "rate " << rate << " draw " << u;
        }
    }
}

// Batched draws: the same outcomes, in the same order, and the same final state as one call per
// draw, for counts that fill whole rounds of four, leave a remainder, or are empty.
TEST(RateTestMatchesTheDoubleComparison, InBatchesAndThroughTheCache) {
    for (double rate : {0.0, 0.001, 0.3, 1.0, 2.0}) {
        for (std::int64_t count : {0, 1, 3, 4, 5, 1000, 1003}) {
            testing::seedForTest(777);
            const RateTest test(rate);
            std::vector<std::int64_t> expected;
            for (std::int64_t j = 0; j < count; ++j) {
                if (test(testing::testEngine().random)) expected.push_back(j);
            }
            const std::uint64_t endState = testing::testEngine().random.word();
            testing::seedForTest(777);
            std::vector<std::int64_t> passed;
            test.drawMany(testing::testEngine().random, count, [&passed](std::int64_t j) { passed.push_back(j); });
            EXPECT_EQ(passed, expected) << "rate " << rate << ", " << count << " draws";
            EXPECT_EQ(testing::testEngine().random.word(), endState) << "rate " << rate << ", " << count << " draws";
        }
    }
    // The cache makes the test again when the rate changes, and a rate that is not a number never
    // passes.
    CachedRateTest cached;
    testing::seedForTest(5);
    EXPECT_TRUE(cached(2.0)(testing::testEngine().random));
    EXPECT_FALSE(cached(0.0)(testing::testEngine().random));
    EXPECT_FALSE(cached(std::nan(""))(testing::testEngine().random));
    EXPECT_TRUE(cached(1.5)(testing::testEngine().random));
}

}  // namespace
}  // namespace Valdrin
