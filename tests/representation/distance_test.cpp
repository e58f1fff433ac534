// Tests of the chromosome distance used by niching.
#include <gtest/gtest.h>

#include "representation/distance.h"
#include <cmath>

#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

QIntegerIndividual integers(QEAParameters& params, std::initializer_list<int> values) {
    QIntegerIndividual individual;
    individual._params = &params;
    individual.genes.assign(values.begin(), values.end());
    return individual;
}

QStringIndividual symbols(std::initializer_list<int> values) {
    QStringIndividual individual;
    individual.genes.assign(values.begin(), values.end());
    return individual;
}

TEST(Distance, HammingCountsBitsOfIntegerGenes) {
    QEAParameters params;
    params.geneSize = 3;
    QDistance distance;
    EXPECT_EQ(distance.measure(integers(params, {5}), integers(params, {6})), 2.0);

    // The XOR is sign-extended: bits above 31 copy bit 31.
    params.geneSize = 40;
    EXPECT_EQ(distance.measure(integers(params, {-1}), integers(params, {0})), 40.0);
    EXPECT_EQ(distance.measure(integers(params, {INT32_MIN}), integers(params, {0})), 9.0);
    params.geneSize = 64;
    EXPECT_EQ(distance.measure(integers(params, {0x7fffffff}), integers(params, {0})), 31.0);
}

TEST(Distance, StringsCountDifferingSymbolsAndRealsMeasureZero) {
    QDistance distance;
    EXPECT_EQ(distance.measure(symbols({3, 0, 2, 1}), symbols({3, 1, 2, 0})), 2.0);

    QRCIndividual a;
    QRCIndividual b;
    a.genes = {1.0};
    b.genes = {2.0};
    EXPECT_EQ(distance.measure(a, b), 0.0);
    EXPECT_EQ(distance.measureHamming(a, b), 1.0);
}

TEST(Distance, HammingOverRealsAndNetworksCountsUnequalGenes) {
    QDistance distance;
    QRCIndividual a;
    QRCIndividual b;
    a.genes = {1.0, std::nan(""), 3.0, 0.0};
    b.genes = {1.0, std::nan(""), 4.0, -0.0, 9.0};
    // Not-a-number equals nothing; the zeros of either sign are equal; b's extra gene is not read.
    EXPECT_EQ(distance.measureHamming(a, b), 2.0);
    EXPECT_EQ(distance.measureHamming(a, a), 1.0);

    QRNIndividual x;
    x.genes.resize(3);
    QRNIndividual y = x;
    y.genes[1].addInput({1, 0.0}, 0.5);
    EXPECT_EQ(distance.measureHamming(x, y), 1.0);
    EXPECT_EQ(distance.measure(x, y), -1.0);
}

TEST(Distance, MismatchedChromosomesEndTheProcess) {
    QEAParameters params;
    QDistance distance;
    EXPECT_FAILURE(distance.measure(symbols({1}), integers(params, {1})),
                "^\n\n\\[QDistance::measure\\] error:\n"
                "\tDifferent encodings for compared chromosomes! \\(1 : 2\\)\n\n$");
    EXPECT_FAILURE(distance.measure(symbols({}), symbols({1})),
                "^\n\n\\[QDistance::measureHamming\\] error:\n\tIncorrect chromosome size! \\(0 : 1\\)\n\n$");
    EXPECT_FAILURE(distance.measure(symbols({1, 2, 3}), symbols({1, 2})),
                "\\[QDistance::measureHamming\\] error:\n\tIncorrect chromosome size! \\(3 : 2\\)");
    EXPECT_FAILURE(distance.measureHamming(integers(params, {1}), symbols({1})),
                "\\[QDistance::measureHamming\\] error:\n\tDifferent encodings for compared chromosomes! \\(2 : 1\\)");
}

}  // namespace
}  // namespace Valdrin
