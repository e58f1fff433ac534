// Tests of the bit-string crossovers: which parent every bit of each child comes from, the
// draws they make, and the configurations they refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "core/random.h"
#include "operators/crossovers.h"
#include "representation/integer.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

// Whether bit b of gene g of child 0 comes from parent 1 (child 1 then has parent 0's), and
// whether gene g is cut (blended under the geneSize mask) rather than taken whole.
using FromOther = std::function<bool(int g, int b)>;
using Cut = std::function<bool(int g)>;
struct Expected {
    FromOther fromOther;
    Cut cut;
};

// Crosses parents whose low geneSize bits differ everywhere and that also carry bits above
// the gene size, for many seeds; `replay` repeats the crossover's draws and says where each
// bit must come from. A cut gene keeps only its low geneSize bits; a whole gene keeps all.
void expectReplayed(QCrossoverOperator& crossover, int G, int L, const std::function<Expected()>& replay) {
    QEAParameters params;
    params.geneSize = G;
    params.chromosomeLength = L;
    crossover.setParameters(params);
    QIntegerIndividual p0, p1, c0, c1;
    for (QIntegerIndividual* x : {&p0, &p1, &c0, &c1}) x->setParameters(&params);
    const int M = (1 << G) - 1;
    for (int g = 0; g < L; ++g) {
        p0.genes[g] = ((0x2D96B >> g) & M) | ((0x5A + g) << G);
        p1.genes[g] = (~p0.genes[g] & M) | ((0x1C3 - g) << G);
    }
    for (unsigned seed = 1; seed <= 80; ++seed) {
        testing::seedForTest(seed);
        const Expected expected = replay();
        const auto after = testing::testEngine().random.word();
        testing::seedForTest(seed);
        crossover.cross({&p0, &p1}, {&c0, &c1});
        ASSERT_EQ(testing::testEngine().random.word(), after) << "seed " << seed;
        for (int g = 0; g < L; ++g) {
            int expected0 = 0, expected1 = 0;
            if (expected.cut(g)) {
                for (int b = 0; b < G; ++b) {
                    expected0 |= (expected.fromOther(g, b) ? p1 : p0).genes[g] & (1 << b);
                    expected1 |= (expected.fromOther(g, b) ? p0 : p1).genes[g] & (1 << b);
                }
            } else {
                expected0 = (expected.fromOther(g, 0) ? p1 : p0).genes[g];
                expected1 = (expected.fromOther(g, 0) ? p0 : p1).genes[g];
            }
            ASSERT_EQ(c0.genes[g], expected0) << "seed " << seed << " gene " << g;
            ASSERT_EQ(c1.genes[g], expected1) << "seed " << seed << " gene " << g;
        }
    }
}

std::pair<int, int> twoDifferent(int n) {
    const int first = uniformInt(n);
    int second = uniformInt(n);
    while (second == first) second = uniformInt(n);
    return std::minmax(first, second);
}

TEST(IntegerCrossovers, OnePointTakesTheCutGenesLowBitsAndTheTailFromTheOtherParent) {
    QIntegerCrossover1 crossover;
    testing::bound(crossover);
    for (auto [G, L] : {std::pair{4, 3}, std::pair{3, 1}, std::pair{1, 5}}) {
        expectReplayed(crossover, G, L, [G, L] {
            const int t = uniformInt(G * L - 1) + 1;
            return Expected{[G, t](int g, int b) { return g > t / G || (g == t / G && b < t % G); },
                            [G, t](int g) { return g == t / G; }};
        });
    }
}

TEST(IntegerCrossovers, TwoPointExchangesTheBitsBetweenTheCuts) {
    QIntegerCrossover2 crossover;
    testing::bound(crossover);
    for (auto [G, L] : {std::pair{4, 3}, std::pair{8, 2}, std::pair{1, 2}, std::pair{3, 5}}) {
        expectReplayed(crossover, G, L, [G, L] {
            const auto [f, a] = twoDifferent(G * L);
            return Expected{[G, f, a](int g, int b) { return g * G + b >= f && g * G + b < a; },
                            [G, f, a](int g) { return g == f / G || g == a / G; }};
        });
    }
}

TEST(IntegerCrossovers, PerGeneCutsExchangeWithinEveryGene) {
    const Cut everyGene = [](int) { return true; };
    QIntegerCrossoverPGX1 onePoint;
    testing::bound(onePoint);
    expectReplayed(onePoint, 5, 4, [&] {
        std::vector<int> cut;
        for (int g = 0; g < 4; ++g) cut.push_back(uniformInt(5));
        return Expected{[cut](int g, int b) { return b < cut[g]; }, everyGene};
    });
    QIntegerCrossoverPGX2 twoPoint;
    testing::bound(twoPoint);
    for (int G : {2, 5}) {
        expectReplayed(twoPoint, G, 3, [&, G] {
            std::vector<std::pair<int, int>> cuts;
            for (int g = 0; g < 3; ++g) cuts.push_back(twoDifferent(G));
            return Expected{[cuts](int g, int b) { return b >= cuts[g].first && b < cuts[g].second; }, everyGene};
        });
    }
}

// With more bit positions than an int counts, the cuts are drawn over the whole chromosome.
TEST(IntegerCrossovers, CutsReachEveryGeneOfAVeryWideChromosome) {
    QEAParameters params;
    params.geneSize = 1 << 20;
    params.chromosomeLength = 4096;
    const long long positions = static_cast<long long>(params.geneSize) * params.chromosomeLength;
    const auto draw = [](long long n) { return static_cast<long long>(uniform() * static_cast<double>(n)); };
    QIntegerIndividual p0, p1, c0, c1;
    for (QIntegerIndividual* x : {&p0, &p1, &c0, &c1}) x->setParameters(&params);
    for (int g = 0; g < params.chromosomeLength; ++g) {
        p0.genes[g] = 2 * g;
        p1.genes[g] = 2 * g + 1;
    }
    QIntegerCrossover1 onePoint;
    testing::bound(onePoint);
    QIntegerCrossover2 twoPoint;
    testing::bound(twoPoint);
    onePoint.setParameters(params);
    twoPoint.setParameters(params);
    bool beyondInt = false;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        testing::seedForTest(seed);
        const long long cutGene = (draw(positions - 1) + 1) / params.geneSize;
        long long f = draw(positions), a = draw(positions);
        while (a == f) a = draw(positions);
        const long long first = std::min(f, a) / params.geneSize, last = std::max(f, a) / params.geneSize;
        beyondInt = beyondInt || cutGene >= params.chromosomeLength / 2;  // past bit 2^31

        testing::seedForTest(seed);
        onePoint.cross({&p0, &p1}, {&c0, &c1});
        for (int g = 0; g < params.chromosomeLength; ++g) {
            if (g == cutGene) continue;
            ASSERT_EQ(c0.genes[g], g < cutGene ? 2 * g : 2 * g + 1) << "seed " << seed << " gene " << g;
        }
        twoPoint.cross({&p0, &p1}, {&c0, &c1});
        for (int g = 0; g < params.chromosomeLength; ++g) {
            if (g == first || g == last) continue;
            ASSERT_EQ(c1.genes[g], g > first && g < last ? 2 * g : 2 * g + 1) << "seed " << seed << " gene " << g;
        }
    }
    EXPECT_TRUE(beyondInt);
}

TEST(IntegerCrossovers, TooFewCutPositionsOrShortChromosomesEndTheRun) {
    QEAParameters params;
    params.geneSize = 1;
    params.chromosomeLength = 1;
    QIntegerCrossover1 onePoint;
    testing::bound(onePoint);
    QIntegerCrossover2 twoPoint;
    testing::bound(twoPoint);
    QIntegerCrossoverPGX2 perGene;
    testing::bound(perGene);
    EXPECT_FAILURE(onePoint.setParameters(params),
                "\\[QIntegerCrossover1::setParameters\\] error:\n\tThe crossover needs at least two cut positions "
                "\\(geneSize \\* chromosomeLength = 1\\)");
    EXPECT_FAILURE(twoPoint.setParameters(params), "QIntegerCrossover2::setParameters");
    params.chromosomeLength = 6;
    EXPECT_FAILURE(perGene.setParameters(params), "\\(geneSize = 1\\)");

    params.geneSize = 4;
    twoPoint.setParameters(params);
    QIntegerIndividual full, shorter;
    full.setParameters(&params);
    shorter.setParameters(&params);
    shorter.initialize(5);
    EXPECT_FAILURE(twoPoint.cross({&full, &full}, {&full, &shorter}),
                "\\[QIntegerCrossover2::cross\\] error:\n\tChromosome shorter than the crossover needs "
                "\\(genes = 5, needed = 6\\)");
}

}  // namespace
}  // namespace Valdrin
