// Tests of the value mutations against their replayed draws, the permutations they keep, and
// the chromosomes they cannot mutate.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/random.h"
#include "operators/mutations.h"
#include "representation/integer.h"
#include "representation/real.h"
#include "representation/string.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

auto stateAfter(unsigned seed, int draws) {
    testing::seedForTest(seed);
    for (int k = 0; k < draws; ++k) uniform();
    return testing::testEngine().random.word();
}

TEST(ValueMutations, EachBitOrGeneTakesOneDrawEvenAtRateZero) {
    QEAParameters params;
    params.chromosomeLength = 3;
    params.geneSize = 5;
    params.arity = 4;
    params.mRate = 0.4;
    QIntegerIndividual bits;
    QStringIndividual text;
    QRCIndividual real;
    for (QIndividual* x : std::initializer_list<QIndividual*>{&bits, &text, &real}) x->setParameters(&params);
    // Gene 3 lies beyond the record: the bit-flip leaves it alone.
    bits.genes = {0x15, 0x0a, 512, 6};
    real.genes = {1.0, -2.0, 0.5};
    QIntegerMutationBitFlip bitFlip;
    testing::bound(bitFlip);
    QStringMutationRandomFlip randomFlip;
    testing::bound(randomFlip);
    QRCMutationGauss gauss;
    testing::bound(gauss);
    bitFlip.setParameters(params);
    randomFlip.setParameters(params);
    gauss.setParameters(params);

    testing::seedForTest(17);
    std::vector<int> flipped = bits.genes, symbols = text.genes, codes = bits.genes;
    std::vector<double> moved = real.genes;
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 5; ++k)
            if (0.4 > uniform()) flipped[i] ^= 1 << k;
    for (int& s : symbols)
        if (0.4 > uniform()) s = uniformInt(4);
    for (double& v : moved)
        if (0.4 > uniform()) v = v + gaussian();
    for (int& c : codes)  // integer genes move in decoded units (precision 0.01, offset -5.12)
        if (0.4 > uniform()) c = static_cast<int>((c * 0.01 - 5.12 + gaussian() + 5.12) / 0.01);

    QIntegerIndividual decoded = bits;
    testing::seedForTest(17);
    EXPECT_EQ(bitFlip.mutate(bits), 1);
    EXPECT_EQ(randomFlip.mutate(text), 1);
    EXPECT_EQ(gauss.mutate(real), 1);
    EXPECT_EQ(gauss.mutate(decoded), 1);
    EXPECT_EQ(bits.genes, flipped);
    EXPECT_EQ(text.genes, symbols);
    EXPECT_EQ(real.genes, moved);
    EXPECT_EQ(decoded.genes, codes);

    params.mRate = 0.0;
    testing::seedForTest(17);
    bitFlip.mutate(bits);
    randomFlip.mutate(text);
    gauss.mutate(real);
    gauss.mutate(text);  // strings are not the gaussian's business: no draw
    EXPECT_EQ(bits.genes, flipped);
    EXPECT_EQ(testing::testEngine().random.word(), stateAfter(17, 3 * 5 + 3 + 3));
}

TEST(ValueMutations, PermutationsStayPermutationsAndKeepTheirOrder) {
    QEAParameters params;
    params.chromosomeLength = 4;
    params.arity = 5;
    params.permutation = true;
    params.encodingOrder = EncodingOrder::Ascending;
    params.mRate = 0.5;
    QStringMutationRandomFlip mutation;
    testing::bound(mutation);
    mutation.setParameters(params);
    QStringIndividual x;
    x.setParameters(&params);

    // A seed where only position 0 mutates: its symbol goes, and the only free symbol, 4, which
    // is larger than all others, ends up last.
    unsigned seed = 1;
    for (;; ++seed) {
        testing::seedForTest(seed);
        if (!(0.5 > uniform())) continue;
        while (uniformInt(5) != 4) {
        }
        if (!(0.5 > uniform()) && !(0.5 > uniform()) && !(0.5 > uniform())) break;
    }
    x.genes = {0, 1, 2, 3};
    testing::seedForTest(seed);
    mutation.mutate(x);
    EXPECT_EQ(x.genes, (std::vector<int>{1, 2, 3, 4}));

    params.arity = 9;
    params.encodingOrder = EncodingOrder::Descending;
    x.genes = {8, 5, 3, 0};
    for (int round = 0; round < 50; ++round) mutation.mutate(x);
    const std::vector<int> symbols = x.genes;
    EXPECT_TRUE(std::is_sorted(symbols.rbegin(), symbols.rend()));
    EXPECT_EQ(std::adjacent_find(symbols.begin(), symbols.end()), symbols.end());
    EXPECT_TRUE(symbols.front() < 9 && symbols.back() >= 0);
}

// The first seed at which, for `symbols` at rate 0.5, only position `target` mutates and its
// new symbol is `wanted`.
unsigned seedMutatingOnly(const std::vector<int>& symbols, std::size_t target, int arity, int wanted) {
    for (unsigned seed = 1;; ++seed) {
        testing::seedForTest(seed);
        bool fits = true, mutated = false;
        for (std::size_t i = 0; i < symbols.size() && fits; ++i) {
            if (!(0.5 > uniform())) continue;
            int s = uniformInt(arity);
            while (std::find(symbols.begin(), symbols.end(), s) != symbols.end()) s = uniformInt(arity);
            fits = i == target && s == wanted;
            mutated = true;
        }
        if (fits && mutated) return seed;
    }
}

TEST(ValueMutations, OrderedRandomFlipRemovesThePositionThenInsertsInOrder) {
    QEAParameters params;
    params.chromosomeLength = 3;
    params.arity = 6;
    params.permutation = true;
    params.mRate = 0.5;
    QStringMutationRandomFlip mutation;
    testing::bound(mutation);
    mutation.setParameters(params);
    QStringIndividual x;
    x.setParameters(&params);
    // A string that is neither sorted nor free of repeats tells the removal of the element at
    // the mutated position from the removal of a symbol equal to it.
    struct Case { int order; std::size_t position; int symbol; std::vector<int> after; };
    for (const Case& c : {Case{1, 2, 4, {3, 1, 4}}, Case{1, 2, 2, {2, 3, 1}}, Case{2, 0, 4, {4, 1, 3}},
                          Case{2, 0, 0, {1, 3, 0}}, Case{0, 2, 5, {3, 1, 5}}}) {
        params.encodingOrder = static_cast<EncodingOrder>(c.order);
        x.genes = {3, 1, 3};
        testing::seedForTest(seedMutatingOnly({3, 1, 3}, c.position, 6, c.symbol));
        mutation.mutate(x);
        EXPECT_EQ(x.genes, c.after) << "order " << c.order << ", new symbol " << c.symbol;
    }
}

TEST(ValueMutations, UnmutableChromosomesEndTheRun) {
    QEAParameters params;
    params.chromosomeLength = 5;
    params.arity = 5;
    params.permutation = true;
    params.mRate = 0.1;
    QStringMutationRandomFlip flip;
    testing::bound(flip);
    EXPECT_FAILURE(flip.setParameters(params),
                "\\[QStringMutationRandomFlip::setParameters\\] error:\n\tA permutation mutation needs more symbols "
                "than genes \\(arity = 5, chromosomeLength = 5\\)");
    params.mRate = 0.0;
    EXPECT_EQ(flip.setParameters(params), 1);

    // A full permutation longer than the record fails once a mutation picks it.
    params.chromosomeLength = 3;
    params.mRate = 1.0;
    flip.setParameters(params);
    QStringIndividual x;
    x.setParameters(&params);
    x.genes = {4, 3, 2, 1, 0};
    EXPECT_FAILURE(flip.mutate(x),
                "\\[QStringMutationRandomFlip::operate\\] error:\n\tNo free symbol left for a permutation of 5 genes "
                "\\(arity = 5\\)");

    QIntegerIndividual shorter;
    shorter.setParameters(&params);
    shorter.initialize(2);
    QIntegerMutationBitFlip bitFlip;
    testing::bound(bitFlip);
    bitFlip.setParameters(params);
    EXPECT_FAILURE(bitFlip.mutate(shorter), "QIntegerIndividual::setGeneValue error:");
}

}  // namespace
}  // namespace Valdrin
