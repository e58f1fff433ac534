// Tests of the chromosome distance used by niching.
#include <gtest/gtest.h>

#include "representation/distance.h"
#include "representation/integer.h"
#include "representation/real.h"
#include "representation/string.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

QIntegerIndividual integers(QEAParameters& params, std::initializer_list<int> values) {
    QIntegerIndividual individual;
    individual._params = &params;
    for (int v : values) individual.addGene(QIntegerGene(v));
    return individual;
}

QStringIndividual symbols(std::initializer_list<int> values) {
    QStringIndividual individual;
    for (int v : values) individual.addGene(QStringGene(v));
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
    a.addGene(QRCGene(1.0));
    b.addGene(QRCGene(2.0));
    EXPECT_EQ(distance.measure(a, b), 0.0);
    EXPECT_EQ(distance.measureHamming(a, b), 1.0);
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
