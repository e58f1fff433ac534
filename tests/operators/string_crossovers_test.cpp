// Tests of the symbol-string crossovers: 1-point, 2-point and uniform by replayed draws, and
// the order crossover that keeps permutations whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "core/random.h"
#include "operators/crossovers.h"
#include "representation/string.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using FromOther = std::function<bool(int position)>;

// Parents 0, 1, 2, ... and 100, 101, ...; `replay` repeats the draws and says, per position,
// whether child 0 takes parent 1's symbol.
void expectReplayed(QCrossoverOperator& crossover, int L, const std::function<FromOther()>& replay) {
    QEAParameters params;
    params.chromosomeLength = L;
    crossover.setParameters(params);
    QStringIndividual p0, p1, c0, c1;
    for (QStringIndividual* x : {&p0, &p1, &c0, &c1}) x->setParameters(&params);
    for (int j = 0; j < L; ++j) p1.genes[j] = 100 + (p0.genes[j] = j);
    for (unsigned seed = 1; seed <= 40; ++seed) {
        testing::seedForTest(seed);
        const FromOther fromOther = replay();
        const auto after = testing::testEngine().random.word();
        testing::seedForTest(seed);
        crossover.cross({&p0, &p1}, {&c0, &c1});
        ASSERT_EQ(testing::testEngine().random.word(), after);
        for (int j = 0; j < L; ++j) {
            ASSERT_EQ(c0.genes[j], (fromOther(j) ? 100 : 0) + j) << "seed " << seed << " position " << j;
            ASSERT_EQ(c1.genes[j], (fromOther(j) ? 0 : 100) + j) << "seed " << seed << " position " << j;
        }
    }
}

TEST(StringCrossovers, CutAndUniformCrossoversFollowTheirDraws) {
    QStringCrossover1 onePoint;
    testing::bound(onePoint);
    for (int L : {2, 7}) {
        expectReplayed(onePoint, L, [L] {
            const int t = uniformInt(L - 1) + 1;
            return FromOther([t](int j) { return j >= t; });
        });
    }
    QStringCrossover2 twoPoint;
    testing::bound(twoPoint);
    expectReplayed(twoPoint, 6, [] {
        const int j = uniformInt(6);
        int i = uniformInt(6);
        while (i == j) i = uniformInt(6);
        return FromOther([lo = std::min(i, j), hi = std::max(i, j)](int k) { return k >= lo && k < hi; });
    });
    QStringCrossoverUniform uniformCrossover;
    testing::bound(uniformCrossover);
    expectReplayed(uniformCrossover, 9, [] {
        std::vector<bool> swap;
        for (int j = 0; j < 9; ++j) swap.push_back(!coinFlip());
        return FromOther([swap](int j) { return swap[j]; });
    });
}

TEST(StringCrossovers, OrderCrossoverKeepsTheHeadOfParentZeroAndTheOrderOfParentOne) {
    QEAParameters params;
    params.chromosomeLength = 5;
    QStringCrossoverOrder crossover;
    testing::bound(crossover);
    crossover.setParameters(params);
    QStringIndividual p0, p1, c0, c1;
    for (QStringIndividual* x : {&p0, &p1, &c0, &c1}) x->setParameters(&params);
    p0.genes = {0, 1, 2, 3, 4};
    p1.genes = {4, 3, 2, 1, 0};
    for (unsigned seed = 1; seed <= 20; ++seed) {
        testing::seedForTest(seed);
        const int head0 = uniformInt(5), head1 = uniformInt(5);
        testing::seedForTest(seed);
        crossover.cross({&p0, &p1}, {&c0, &c1});
        for (auto [child, head] : {std::pair{&c0, head0}, std::pair{&c1, head1}}) {
            std::vector<int> expected;
            for (int j = 0; j < head; ++j) expected.push_back(j);
            for (int s = 4; s >= head; --s) expected.push_back(s);
            EXPECT_EQ(child->genes, expected) << "seed " << seed;
        }
    }
    crossover.cross({&p1, &p1}, {&c0, &c1});
    EXPECT_EQ(c1.genes, p1.genes);
    params.encodingOrder = EncodingOrder::Ascending;
    crossover.cross({&p1, &p1}, {&c0, &c1});
    EXPECT_EQ(c0.genes, p0.genes);
}

TEST(StringCrossovers, ImpossibleCrossingsEndTheRun) {
    QEAParameters params;
    params.chromosomeLength = 1;
    QStringCrossover2 twoPoint;
    testing::bound(twoPoint);
    EXPECT_FAILURE(twoPoint.setParameters(params),
                "\\[QStringCrossover2::setParameters\\] error:\n\tThe crossover needs at least two cut positions "
                "\\(chromosomeLength = 1\\)");

    // Parents that are no permutations of the same symbols leave the child's list short.
    params.chromosomeLength = 3;
    QStringCrossoverOrder order;
    testing::bound(order);
    order.setParameters(params);
    QStringIndividual same, c0, c1;
    for (QStringIndividual* x : {&same, &c0, &c1}) x->setParameters(&params);
    same.genes = {1, 1, 1};
    EXPECT_FAILURE(order.cross({&same, &same}, {&c0, &c1}),
                "^eh\\? [12]\n\n\n\\[QStringCrossoverOrder::cross\\] error:\n\tThe parents are not permutations of the "
                "same symbols: the child got [12] of 3 symbols\n\n$");
}

}  // namespace
}  // namespace Valdrin
