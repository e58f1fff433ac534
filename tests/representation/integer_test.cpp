// Tests of the integer encoding: readings, printing, gene compatibility and bound checks.
#include <gtest/gtest.h>

#include <sstream>

#include "representation/integer.h"
#include "representation/string.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

QIntegerIndividual individualOf(QEAParameters& params, std::initializer_list<int> values) {
    QIntegerIndividual individual;
    individual._params = &params;
    individual.genes.assign(values.begin(), values.end());
    return individual;
}

TEST(IntegerDecode, RealAndIntegerReadings) {
    QEAParameters params;
    std::vector<double> reals;
    individualOf(params, {3}).decode(reals);
    EXPECT_EQ(reals, std::vector<double>{3 * 0.01 - 5.12});

    params.genePrecision = 1.0;
    params.geneOffset = -3.0;
    QIntegerIndividual individual = individualOf(params, {0, 5, 1});
    std::vector<int> ints;
    ASSERT_EQ(individual.decode(ints), 1);
    EXPECT_EQ(ints, (std::vector<int>{-3, 2, -2}));

    std::vector<int> refused{42};
    for (double offset : {-2.5, 0.5}) {
        params.geneOffset = offset;
        EXPECT_EQ(individual.decode(refused), 0);
    }
    EXPECT_EQ(refused, std::vector<int>{42});
}

TEST(IntegerPrint, HexadecimalGenesThenDecimal) {
    QEAParameters params;
    QIntegerIndividual individual = individualOf(params, {10, 255, -1});
    individual.fitness = 0.5;
    std::ostringstream out;
    out << std::oct << std::showpoint;
    individual.print(out);
    // The base returns to decimal even from octal; the other flags stay as they were.
    out << 8 << " " << 1.5;
    EXPECT_EQ(out.str(), "(0.500000)\ta ff ffffffff 8 1.50000");
}

TEST(IntegerGenes, OtherEncodingsNeitherEqualNorAssignAndCopyKeepsBaseOnly) {
    QIntegerGene gene(4);
    EXPECT_FALSE(gene.equalsTo(QStringGene(4)));
    EXPECT_EQ(gene.assign(QStringGene(7)), 0);
    EXPECT_EQ(gene.value, 4);

    QEAParameters params;
    QIntegerIndividual individual = individualOf(params, {1, 2});
    EXPECT_EQ(individual.setGene(1, QStringGene(9)), 1);
    EXPECT_EQ(individual.getGeneValue(1), 2);

    individual.fitness = 2.5;
    individual.nicheNumber = 4;
    QIntegerIndividual typed;
    typed.copy(individual);
    EXPECT_TRUE(typed.equalsTo(individual));
    EXPECT_EQ(typed.nicheNumber, 4);
    EXPECT_EQ(typed._params, &params);

    QStringIndividual other;
    other.fitness = 7;
    other.genes.assign(5, 1);
    typed.copy(other);
    EXPECT_EQ(typed.fitness, 7);
    EXPECT_EQ(typed._params, nullptr);
    EXPECT_EQ(typed.getGenesNumber(), 2);
}

TEST(Integer, IndexErrorsEndTheProcess) {
    QEAParameters params;
    QIntegerIndividual individual = individualOf(params, {1, 2});
    EXPECT_FAILURE(individual.setGeneValue(2, 0),
                "^\n\nQIntegerIndividual::setGeneValue error:\n\tIndex is out of genes array bounds\n\n$");
    EXPECT_FAILURE(individual.getGene(-1),
                "^\n\n\\[QIntegerIndividual::getGene\\] error:\n\tIndex is out of genes array bounds\n\n$");
    EXPECT_FAILURE(individual.setGene(2, QIntegerGene(1)),
                "\\[QIntegerIndividual::setGene\\] error:\n\tIndex is out of genes array bounds\n\n$");
}

}  // namespace
}  // namespace Valdrin
