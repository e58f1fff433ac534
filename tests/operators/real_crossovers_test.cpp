// Tests of the real-coded crossovers against their replayed draws, SBX's treatment of a draw
// of 1, and the refused distribution index.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/random.h"
#include "operators/crossovers.h"
#include "representation/real.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

const std::vector<double> kA = {1.0, -2.0, 3.5, 0.0};
const std::vector<double> kB = {4.0, -2.0, -1.5, 0.25};

// Crosses kA and kB (or their first genes) with the given xAlpha after seeding with `seed`.
struct Crossing {
    QEAParameters params;
    QRCIndividual p0, p1, c0, c1;
    Crossing(QCrossoverOperator& crossover, double xAlpha, std::size_t genes = kA.size()) {
        params.chromosomeLength = static_cast<int>(genes);
        params.xAlpha = xAlpha;
        for (QRCIndividual* x : {&p0, &p1, &c0, &c1}) x->setParameters(&params);
        for (std::size_t i = 0; i < genes; ++i) {
            p0.genes[i] = kA[i];
            p1.genes[i] = kB[i];
        }
        crossover.setParameters(params);
    }
    void run(QCrossoverOperator& crossover) { crossover.cross({&p0, &p1}, {&c0, &c1}); }
};

TEST(RealCrossovers, EachGeneFollowsItsDraws) {
    QRCCrossoverArithmetic arithmetic;
    testing::bound(arithmetic);
    QRCCrossoverSBX sbx;
    testing::bound(sbx);
    QRCCrossoverBLX blx;
    testing::bound(blx);
    Crossing a(arithmetic, 0.5), s(sbx, 2.0), b(blx, 0.5);
    testing::seedForTest(9);
    a.run(arithmetic);
    s.run(sbx);
    b.run(blx);
    EXPECT_EQ(sbx.alpha, 2.0);
    testing::seedForTest(9);
    for (std::size_t i = 0; i < kA.size(); ++i) {
        const double d = uniform();
        EXPECT_DOUBLE_EQ(a.c0.genes[i], d * kA[i] + (1 - d) * kB[i]);
        EXPECT_DOUBLE_EQ(a.c1.genes[i], d * kB[i] + (1 - d) * kA[i]);
    }
    for (std::size_t i = 0; i < kA.size(); ++i) {
        const double u = uniform();
        const double beta = u <= 0.5 ? std::pow(2 * u, 1 / 3.0) : std::pow(1 / (2 * (1 - u)), 1 / 3.0);
        EXPECT_DOUBLE_EQ(s.c0.genes[i], 0.5 * ((1 - beta) * kA[i] + (1 + beta) * kB[i]));
        EXPECT_NEAR(s.c0.genes[i] + s.c1.genes[i], kA[i] + kB[i], 1e-12);  // the mean is kept
    }
    for (std::size_t i = 0; i < kA.size(); ++i) {
        const double lo = std::min(kA[i], kB[i]), width = 2 * (std::max(kA[i], kB[i]) - lo);
        const double u1 = uniform(), u2 = uniform();
        EXPECT_DOUBLE_EQ(b.c0.genes[i], lo - width / 4 + u1 * width);
        EXPECT_DOUBLE_EQ(b.c1.genes[i], lo - width / 4 + u2 * width);
    }
}

TEST(RealCrossovers, SbxKeepsChildrenFiniteForADrawOfOne) {
    QRCCrossoverSBX sbx;
    testing::bound(sbx);
    Crossing one(sbx, 0.5, 1);
    // Sets the generator so that its next value is 2^31 - 1, the draw 1.0.
    std::uint64_t inverse = rng::multiplier;
    for (int k = 0; k < 6; ++k) inverse *= 2 - rng::multiplier * inverse;
    testing::testEngine().random.restore((std::uint64_t{0x7fffffff} << 22) * inverse, true);
    const auto before = testing::testEngine().random.word();
    ASSERT_EQ(uniform(), 1.0);
    testing::testEngine().random.restore(before, true);
    one.run(sbx);
    EXPECT_TRUE(std::isfinite(one.c0.genes[0]) && std::isfinite(one.c1.genes[0]));
    EXPECT_GT(std::fabs(one.c0.genes[0] - one.c1.genes[0]), 1e3);
}

TEST(RealCrossovers, SbxRefusesMinusOneAsDistributionIndex) {
    QRCCrossoverSBX sbx;
    testing::bound(sbx);
    EXPECT_FAILURE(Crossing(sbx, -1.0),
                "\\[QRCCrossoverSBX::setParameters\\] error:\n\tThe distribution index xAlpha must not be -1");
}

}  // namespace
}  // namespace Valdrin
