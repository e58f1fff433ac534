// Tests of the generic gene access of the value encodings (copies out, assignment in, foreign
// genes), of what their shared individual and population classes do (the chromosome hash
// included), and of the plain storage behind them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

template <class IndividualClass, class GeneClass>
struct ValueEncoding final {
    using Individual = IndividualClass;
    using Gene = GeneClass;
    using Value = typename GeneClass::Value;
};

template <class E>
class ValueGeneAccess : public ::testing::Test {
protected:
    using Individual = typename E::Individual;
    using Gene = typename E::Gene;
    using Value = typename E::Value;

    // Distinct values for every encoding; the reals are not whole numbers.
    static Value sample(int k) {
        if constexpr (std::is_floating_point_v<Value>) return 0.25 + 1.5 * k;
        else return static_cast<Value>(7 * k - 3);
    }

    static Value valueOf(const QGene& gene) { return static_cast<const Gene&>(gene).value; }

    // The index message of the method; whole: the message and nothing else.
    static std::string indexMessage(const char* method, bool whole = false) {
        const char* name = std::is_same_v<Individual, QIntegerIndividual> ? "QIntegerIndividual"
                           : std::is_same_v<Individual, QStringIndividual> ? "QStringIndividual"
                                                                            : "QRCIndividual";
        std::string pattern = whole ? "^\n\n\\[" : "\n\n\\[";
        pattern += name;
        pattern += "::";
        pattern += method;
        pattern += "\\] error:\n\tIndex is out of genes array bounds";
        if (whole) pattern += "\n\n$";
        return pattern;
    }

    Individual individual;

    void SetUp() override { individual.genes = {sample(0), sample(1), sample(2)}; }
};

using ValueEncodings = ::testing::Types<ValueEncoding<QIntegerIndividual, QIntegerGene>,
                                        ValueEncoding<QStringIndividual, QStringGene>, ValueEncoding<QRCIndividual, QRCGene>>;
TYPED_TEST_SUITE(ValueGeneAccess, ValueEncodings);

TYPED_TEST(ValueGeneAccess, GetGeneHandsOutAnIndependentCopy) {
    std::unique_ptr<QGene> gene = this->individual.getGene(1);
    ASSERT_NE(gene, nullptr);
    EXPECT_EQ(gene->getEncoding(), this->individual.getEncoding());
    EXPECT_EQ(this->valueOf(*gene), this->sample(1));
    EXPECT_TRUE(gene->equalsTo(typename TestFixture::Gene(this->sample(1))));

    // Changing the copy leaves the chromosome alone, and the copy outlives the chromosome's genes.
    static_cast<typename TestFixture::Gene&>(*gene).value = this->sample(5);
    EXPECT_EQ(this->individual.genes[1], this->sample(1));
    this->individual.deleteGenes();
    this->individual.genes.shrink_to_fit();
    EXPECT_EQ(this->valueOf(*gene), this->sample(5));
}

TYPED_TEST(ValueGeneAccess, SetGeneAndAddGeneStoreTheGenesValue) {
    using Gene = typename TestFixture::Gene;
    EXPECT_EQ(this->individual.setGene(2, Gene(this->sample(4))), 1);
    EXPECT_EQ(this->individual.addGene(Gene(this->sample(6))), 4);
    const std::vector<typename TestFixture::Value> expected{this->sample(0), this->sample(1), this->sample(4),
                                                            this->sample(6)};
    EXPECT_EQ(this->individual.genes, expected);
    EXPECT_EQ(this->valueOf(*this->individual.getGene(3)), this->sample(6));
}

TYPED_TEST(ValueGeneAccess, IndexesOutsideTheChromosomeEndTheRun) {
    using Gene = typename TestFixture::Gene;
    EXPECT_FAILURE(this->individual.getGene(3), this->indexMessage("getGene", true));
    EXPECT_FAILURE(this->individual.getGene(-1), this->indexMessage("getGene", true));
    EXPECT_FAILURE(this->individual.setGene(3, Gene()), this->indexMessage("setGene"));
    EXPECT_FAILURE(this->individual.deleteGene(-1), this->indexMessage("deleteGene"));
}

TYPED_TEST(ValueGeneAccess, ClonesAreOfTheEncodingsOwnClassesAndIndependent) {
    using Individual = typename TestFixture::Individual;
    using Gene = typename TestFixture::Gene;
    QEAParameters params;
    this->individual._params = &params;
    this->individual.fitness = 1.5;
    this->individual.nicheNumber = 3;
    this->individual.fitnessComponents = {0.5, 2.0};

    std::unique_ptr<QIndividual> clone = this->individual.clone();
    const auto* typed = dynamic_cast<const Individual*>(clone.get());
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typed->genes, this->individual.genes);
    EXPECT_EQ(typed->fitness, 1.5);
    EXPECT_EQ(typed->nicheNumber, 3);
    EXPECT_EQ(typed->fitnessComponents, (std::vector<double>{0.5, 2.0}));
    EXPECT_EQ(typed->_params, &params);
    this->individual.genes[0] = this->sample(7);
    EXPECT_EQ(typed->genes[0], this->sample(0));

    const Gene gene(this->sample(2));
    std::unique_ptr<QGene> geneClone = gene.clone();
    ASSERT_NE(dynamic_cast<const Gene*>(geneClone.get()), nullptr);
    EXPECT_EQ(this->valueOf(*geneClone), this->sample(2));
}

TYPED_TEST(ValueGeneAccess, ResizingAndDeletionKeepTheOtherValuesInOrder) {
    using Value = typename TestFixture::Value;
    EXPECT_EQ(this->individual.deleteGene(1), 2);
    EXPECT_EQ(this->individual.genes, (std::vector<Value>{this->sample(0), this->sample(2)}));
    EXPECT_EQ(this->individual.initialize(4), 1);
    EXPECT_EQ(this->individual.genes, (std::vector<Value>{this->sample(0), this->sample(2), Value(), Value()}));
    EXPECT_EQ(this->individual.initialize(1), 1);
    EXPECT_EQ(this->individual.genes, std::vector<Value>{this->sample(0)});
    EXPECT_EQ(this->individual.initialize(-2), 1);
    EXPECT_EQ(this->individual.getGenesNumber(), 0);
}

TYPED_TEST(ValueGeneAccess, PopulationsMakeAndCloneIndividualsOfTheirEncoding) {
    using Individual = typename TestFixture::Individual;
    QValuePopulation<Individual> population;
    EXPECT_EQ(population.getEncoding(), this->individual.getEncoding());
    population.createIndividuals(2);
    population.appendIndividual(this->individual);
    std::unique_ptr<QPopulation> clone = population.clone();
    ASSERT_NE(dynamic_cast<const QValuePopulation<Individual>*>(clone.get()), nullptr);
    ASSERT_EQ(clone->size(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_NE(dynamic_cast<const Individual*>(clone->getIndividual(i)), nullptr);
    EXPECT_TRUE(clone->getIndividual(2)->equalsTo(this->individual));
}

// Symbol strings and bit strings store the same kind of number, yet neither equals nor copies
// the other's genes.
TYPED_TEST(ValueGeneAccess, EqualChromosomesHashAlikeAndEveryGeneCounts) {
    using Individual = typename TestFixture::Individual;
    // Lengths up to 9 reach each of the hash's lanes, the words left after them and a last 32-bit
    // gene without a partner: a gene the hash skipped would leave chromosomes that differ there
    // in one bucket.
    for (int length = 1; length <= 9; ++length) {
        Individual a;
        for (int k = 0; k < length; ++k) a.genes.push_back(this->sample(k));
        const Individual copy = a;
        EXPECT_EQ(copy.chromosomeHash(), a.chromosomeHash());
        for (int k = 0; k < length; ++k) {
            Individual changed = a;
            changed.genes[static_cast<std::size_t>(k)] = this->sample(k + 20);
            EXPECT_NE(changed.chromosomeHash(), a.chromosomeHash()) << "length " << length << ", gene " << k;
        }
        Individual longer = a;
        longer.genes.push_back(typename TestFixture::Value());
        EXPECT_NE(longer.chromosomeHash(), a.chromosomeHash()) << "length " << length;
    }
}

TEST(SameStoredType, SymbolAndBitStringsStayApart) {
    QIntegerIndividual bits;
    bits.genes = {1, 2};
    QStringIndividual symbols;
    symbols.genes = {1, 2};
    EXPECT_FALSE(bits.equalsTo(symbols));
    EXPECT_FALSE(symbols.equalsTo(bits));
    EXPECT_FALSE(QIntegerGene(1).equalsTo(QStringGene(1)));

    QIntegerIndividual otherBits;
    otherBits.genes = {1, 2};
    EXPECT_TRUE(bits.equalsTo(otherBits));

    bits.genes = {7};
    bits.fitness = 4;
    symbols.copy(bits);
    EXPECT_EQ(symbols.fitness, 4);
    EXPECT_EQ(symbols.genes, (std::vector<std::int32_t>{1, 2}));
    symbols.fitness = 6;
    bits.copy(symbols);
    EXPECT_EQ(bits.fitness, 6);
    EXPECT_EQ(bits.genes, std::vector<std::int32_t>{7});
}

TEST(ForeignGenes, LeaveTheStoredValueAloneAndOnlySymbolStringsRefuseThem) {
    QIntegerIndividual bits;
    bits.genes = {5, 6};
    QRCIndividual reals;
    reals.genes = {0.5};
    QStringIndividual symbols;
    symbols.genes = {3};

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(bits.setGene(0, QRCGene(2.5)), 1);
    EXPECT_EQ(reals.setGene(0, QIntegerGene(9)), 1);
    // addGene appends the default value a refused assignment leaves.
    EXPECT_EQ(bits.addGene(QStringGene(4)), 3);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(bits.genes, (std::vector<std::int32_t>{5, 6, 0}));
    EXPECT_EQ(reals.genes, std::vector<double>{0.5});

    // A symbol string takes no gene of another encoding: that is a fault of the caller.
    EXPECT_FAILURE(symbols.setGene(0, QIntegerGene(8)), "Encoding mismatch! \\(encoding ID: 2\\)");
    EXPECT_EQ(symbols.genes, (std::vector<std::int32_t>{3}));

    QRNIndividual network;
    network.genes.resize(1);
    network.genes[0].bias = 0.75;
    EXPECT_EQ(network.setGene(0, QRCGene(1.0)), 1);
    EXPECT_EQ(network.addGene(QIntegerGene(1)), 1);
    EXPECT_EQ(network.genes[0].bias, 0.75);
}

TEST(NetworkGeneAccess, GetGeneCopiesTheWholeNode) {
    QRNIndividual network;
    network.genes.resize(2);
    network.genes[1].addInput({1, 0.0}, 0.5);
    network.genes[1].bias = -0.25;
    std::unique_ptr<QGene> copy = network.getGene(1);
    ASSERT_EQ(copy->getEncoding(), Encoding::Network);
    EXPECT_TRUE(copy->equalsTo(network.genes[1]));
    network.genes[1].inputWeights[0] = 2.0;
    network.deleteGenes();
    const auto& node = static_cast<const QRNGene&>(*copy);
    EXPECT_EQ(node.inputWeights, std::vector<double>{0.5});
    EXPECT_EQ(node.bias, -0.25);
}

// The value encodings keep their chromosomes as arrays of plain numbers: no gene object, no
// table pointer per gene.
static_assert(std::is_same_v<decltype(QIntegerIndividual::genes), std::vector<std::int32_t>>);
static_assert(std::is_same_v<decltype(QStringIndividual::genes), std::vector<std::int32_t>>);
static_assert(std::is_same_v<decltype(QRCIndividual::genes), std::vector<double>>);

TEST(GeneStorage, BitGenesTakeFourBytesEachInOneBlock) {
    constexpr int kGenes = 1000;
    QEAParameters params;
    params.chromosomeLength = kGenes;
    QIntegerIndividual bits;
    bits.setParameters(&params);
    ASSERT_EQ(bits.genes.size(), static_cast<std::size_t>(kGenes));
    EXPECT_EQ(sizeof(bits.genes[0]), 4u);
    const auto* first = reinterpret_cast<const unsigned char*>(&bits.genes.front());
    const auto* last = reinterpret_cast<const unsigned char*>(&bits.genes.back());
    EXPECT_EQ(last - first, 4 * (kGenes - 1));

    // Each gene is the code itself: writing the storage is what every reading sees.
    bits.genes[kGenes - 1] = -1;
    params.genePrecision = 1.0;
    params.geneOffset = 0.0;
    std::vector<int> decoded;
    ASSERT_EQ(bits.decode(decoded), 1);
    EXPECT_EQ(decoded.back(), -1);
    EXPECT_EQ(bits.getGeneValue(kGenes - 1), -1);
    EXPECT_TRUE(bits.getGene(kGenes - 1)->equalsTo(QIntegerGene(-1)));
}

}  // namespace
}  // namespace Valdrin
