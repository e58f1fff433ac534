// Tests of the real-coded encoding: printing, readings, exact gene equality and its hash.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "representation/integer.h"
#include "representation/real.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

QRCIndividual individualOf(std::initializer_list<double> values) {
    QRCIndividual individual;
    individual.genes.assign(values.begin(), values.end());
    return individual;
}

TEST(RealIndividual, PrintsAndReadsOnlyAsReals) {
    QRCIndividual individual = individualOf({1.5, -2});
    individual.fitness = 0.25;
    std::ostringstream out;
    individual.print(out);
    EXPECT_EQ(out.str(), "(0.25)\t1.5 -2 ");
    std::vector<int> ints{7};
    EXPECT_EQ(individual.decode(ints), 0);
    EXPECT_EQ(ints, std::vector<int>{7});
}

TEST(RealIndividual, EqualityIsExact) {
    QRCIndividual a = individualOf({0.1 + 0.2, 1});
    QRCIndividual b = individualOf({0.3, 1});
    EXPECT_FALSE(a.equalsTo(b));
    b.setGeneValue(0, 0.1 + 0.2);
    EXPECT_TRUE(a.equalsTo(b));
    a.setGeneValue(1, std::nan(""));
    EXPECT_FALSE(a.equalsTo(a));

    // Zeros of either sign are equal, so they must hash alike (clone removal finds equal
    // chromosomes by hash).
    QRCIndividual zeros = individualOf({0.0, -0.0, 2});
    QRCIndividual signedZeros = individualOf({-0.0, 0.0, 2});
    EXPECT_TRUE(zeros.equalsTo(signedZeros));
    EXPECT_EQ(zeros.chromosomeHash(), signedZeros.chromosomeHash());

    QRCGene gene(2.5);
    EXPECT_EQ(gene.assign(QIntegerGene(1)), 0);
    EXPECT_EQ(gene.value, 2.5);
}

TEST(Real, IndexErrorsEndTheProcess) {
    QRCIndividual individual = individualOf({1});
    EXPECT_FAILURE(individual.setGeneValue(1, 0),
                "^\n\nQRCIndividual::setGeneValue error:\n\tIndex is out of genes array bounds\n\n$");
    EXPECT_FAILURE(individual.setGene(-1, QRCGene(1)),
                "\\[QRCIndividual::setGene\\] error:\n\tIndex is out of genes array bounds");
}

}  // namespace
}  // namespace Valdrin
