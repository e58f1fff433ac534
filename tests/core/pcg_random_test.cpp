// Tests of the pcg64 generator behind the same draws: independent seeds, the rate test's agreement
// with the draw it stands for, and its saved state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <vector>

#include "core/random.h"
#include "core/state_io.h"

namespace Valdrin {
namespace {

Random seeded(std::uint32_t seed, GeneratorKind kind) {
    Random random;
    std::ostringstream nowhere;
    random.seed(seed, kind, nowhere);
    return random;
}

// The mean number of ones of a starting population of 20 bit strings of 100 bits, as the
// initializer draws them (one draw per bit against the units ratio).
double populationMean(Random& random) {
    int ones = 0;
    for (int bit = 0; bit < 20 * 100; ++bit) ones += random.flip(0.5) ? 1 : 0;
    return ones / 20.0;
}

// Standard deviation of the population means of seeds 1..100, against that of independent
// populations (each individual's count of ones has variance 25, a mean of 20 has 1.25).
double spreadOverSeeds(GeneratorKind kind) {
    std::vector<double> means;
    for (std::uint32_t seed = 1; seed <= 100; ++seed) {
        Random random = seeded(seed, kind);
        means.push_back(populationMean(random));
    }
    double mean = 0.0;
    for (double m : means) mean += m;
    mean /= static_cast<double>(means.size());
    double sum = 0.0;
    for (double m : means) sum += (m - mean) * (m - mean);
    return std::sqrt(sum / static_cast<double>(means.size() - 1)) / std::sqrt(1.25);
}

// Near-copies of one stream have far less spread than independent samples; independent streams
// fall within chi-square bounds (99 degrees of freedom: 0.75 to 1.3 is far outside 0.1% tails).
TEST(Pcg64, SeedsGiveIndependentStartingPopulations) {
    const double pcg = spreadOverSeeds(GeneratorKind::Pcg64);
    EXPECT_GT(pcg, 0.75);
    EXPECT_LT(pcg, 1.3);
    EXPECT_LT(spreadOverSeeds(GeneratorKind::Legacy), 0.75) << "the contrast the pcg64 generator exists for";

    // Every bit of the seed matters, and seed s + 1 is no shift of seed s's stream.
    Random low = seeded(1, GeneratorKind::Pcg64);
    Random high = seeded(1 + 32768, GeneratorKind::Pcg64);
    Random next = seeded(2, GeneratorKind::Pcg64);
    std::vector<std::uint64_t> first;
    for (int i = 0; i < 1000; ++i) first.push_back(low.next64());
    EXPECT_NE(high.next64(), first[0]);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(std::count(first.begin(), first.end(), next.next64()), 0);
}

// RateTest decides "rate > uniform()" without computing the double; under pcg64 its limit must
// agree with the comparison for every kind of rate, one draw at a time and in batches.
TEST(Pcg64, RateTestAgreesWithTheComparisonItStandsFor) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double rate : {-1.0, 0.0, 1e-300, 0x1.0p-53, 0x1.8p-53, 1e-9, 0.015, 0.5, 1.0 - 0x1.0p-53, 1.0, 1.5, nan}) {
        const RateTest test(rate);
        Random byTest = seeded(99, GeneratorKind::Pcg64);
        Random byBatch = byTest;
        Random byDouble = byTest;
        std::vector<std::int64_t> passed;
        test.drawMany(byBatch, 5000, [&passed](std::int64_t j) { passed.push_back(j); });
        std::vector<std::int64_t> expected;
        for (std::int64_t j = 0; j < 5000; ++j) {
            const bool one = test(byTest);
            const bool reference = rate > byDouble.uniform();
            ASSERT_EQ(one, reference) << "rate " << rate << ", draw " << j;
            if (reference) expected.push_back(j);
        }
        EXPECT_EQ(passed, expected) << "rate " << rate;
        EXPECT_EQ(byBatch.next64(), byDouble.next64()) << "both took one draw each";
    }
}

// The draws keep their ranges: uniform() in [0, 1) at 53 bits, indexes below n.
TEST(Pcg64, DrawsKeepTheirRanges) {
    Random random = seeded(5, GeneratorKind::Pcg64);
    for (int i = 0; i < 100000; ++i) {
        const double u = random.uniform();
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
        ASSERT_EQ(u, std::ldexp(std::floor(std::ldexp(u, 53)), -53));
        const int k = random.uniformInt(7);
        ASSERT_GE(k, 0);
        ASSERT_LT(k, 7);
    }
}

// A saved state goes on with the same draws; a damaged one is refused.
TEST(Pcg64, SavedStateGoesOnWithTheSameDraws) {
    for (GeneratorKind kind : {GeneratorKind::Legacy, GeneratorKind::Pcg64}) {
        Random random = seeded(1234, kind);
        for (int i = 0; i < 37; ++i) random.uniform();
        StateWriter out;
        random.saveState(out);
        Random restored;
        StateReader in(out.bytes());
        restored.restoreState(in);
        in.expectEnd();
        EXPECT_EQ(restored.kind(), kind);
        EXPECT_TRUE(restored.seeded());
        for (int i = 0; i < 100; ++i) ASSERT_EQ(restored.uniform(), random.uniform());
    }
    Random random = seeded(1, GeneratorKind::Pcg64);
    StateWriter out;
    random.saveState(out);
    std::string even = out.bytes();
    char& lowest = even[even.size() - 8];  // the increment's lowest byte (little-endian)
    lowest = static_cast<char>(lowest & ~1);
    StateReader in(even);
    Random restored;
    EXPECT_THROW(restored.restoreState(in), StateError);
}

}  // namespace
}  // namespace Valdrin
