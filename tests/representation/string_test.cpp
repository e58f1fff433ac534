// Tests of the string encoding: unsigned readings, printing and its own error messages.
#include <gtest/gtest.h>

#include <sstream>

#include "representation/integer.h"
#include "representation/string.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

QStringIndividual individualOf(std::initializer_list<int> values) {
    QStringIndividual individual;
    individual.genes.assign(values.begin(), values.end());
    return individual;
}

TEST(StringReadings, SymbolsReadUnsignedAsRealsAndSignedAsIntegers) {
    QStringIndividual individual = individualOf({3, -1});
    std::vector<double> reals;
    std::vector<int> ints;
    individual.decode(reals);
    EXPECT_EQ(individual.decode(ints), 1);
    EXPECT_EQ(reals, (std::vector<double>{3.0, 4294967295.0}));
    EXPECT_EQ(ints, (std::vector<int>{3, -1}));

    individual.fitness = 1;
    std::ostringstream out;
    out << std::hex;
    individual.print(out);
    out << 255;
    EXPECT_EQ(out.str(), "(1)\t3 4294967295 ff");
}

TEST(StringGene, EncodingMismatchesEndTheExperiment) {
    QStringGene gene(5);
    EXPECT_FAILURE(gene.assign(QIntegerGene(8)),
                   "^\n\n\\[QStringGene::assign\\] error:\n\tEncoding mismatch! \\(encoding ID: 2\\)\n\n$");
    EXPECT_FAILURE(gene.equalsTo(QIntegerGene(5)),
                   "^\n\n\\[QStringGene::equalsTo\\] error:\n\tCan't compare genes with different encodings\n\n$");
    EXPECT_EQ(gene.value, 5);
}

TEST(String, IndexErrorsEndTheProcess) {
    QStringIndividual individual = individualOf({1, 2});
    EXPECT_FAILURE(individual.setGene(5, QStringGene(1)),
                "^\n\n\\[QStringIndividual::setGene\\] error:\n"
                "\tIndex is out of genes array bounds \\(index = 5\\)\n\n$");
    EXPECT_FAILURE(individual.setGeneValue(-1, 0),
                "^\n\nQStringIndividual::setGeneValue error:\n\tIndex is out of genes array bounds\n\n$");
    EXPECT_FAILURE(individual.deleteGene(2), "\\[QStringIndividual::deleteGene\\]");
}

}  // namespace
}  // namespace Valdrin
