// Tests of the initializers: the units ratio, fully connected networks and their draw order,
// random, permutation and unmixed strings, and the refused configurations.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/failure.h"
#include "core/random.h"
#include "operators/initializers.h"
#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

const std::vector<QStringGene::Value>& symbolsOf(const QPopulation& population, int index) {
    return static_cast<const QStringIndividual&>(*population.getIndividual(index)).genes;
}

TEST(Initializers, BitsFollowTheUnitsRatioOneDrawPerBit) {
    QEAParameters params;
    params.populationSize = 3;
    params.chromosomeLength = 4;
    params.geneSize = 6;
    QIntegerPopulation population;
    population.setParameters(&params);
    QIntegerInitializer initializer;
    testing::bound(initializer);
    const auto bitsOf = [&population] {
        std::vector<int> bits;
        for (const auto& x : population.individuals)
            for (const auto& gene : static_cast<const QIntegerIndividual&>(*x).genes) bits.push_back(gene);
        return bits;
    };
    std::vector<int> expected(12, 0);
    for (double ratio : {0.0, 1.0, 0.4}) {
        params.unitsRatio = ratio;
        initializer.setParameters(params);
        testing::seedForTest(12);
        std::fill(expected.begin(), expected.end(), 0);
        for (int& value : expected)
            for (int k = 0; k < 6; ++k)
                if (ratio > uniform()) value |= 1 << k;
        testing::seedForTest(12);
        EXPECT_EQ(initializer.initialize(population), 1);
        EXPECT_EQ(bitsOf(), expected) << "ratio " << ratio;
    }
    // The unmixed type is for strings only: reported, then random initialisation.
    params.initializationType = Initialization::Unmixed;
    for (auto& x : population.individuals) {
        auto& genes = static_cast<QIntegerIndividual&>(*x).genes;
        std::fill(genes.begin(), genes.end(), 0);
    }
    testing::seedForTest(12);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(initializer.initialize(population), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "\n\n[QIntegerInitializer::operate] error:\n\tUnknown initialization type encountered! Using random "
              "initialization!\n(initialization type ID = 2)\n\n");
    EXPECT_EQ(bitsOf(), expected);
}

TEST(Initializers, NetworksAreFullyConnectedInTheStatedDrawOrder) {
    QEAParameters params;
    params.populationSize = 2;
    params.inputsNumber = 2;
    params.outputsNumber = 3;
    QRNPopulation population;
    population.setParameters(&params);
    QRNInitializer initializer;
    testing::bound(initializer);
    initializer.setParameters(params);
    testing::seedForTest(30);
    initializer.initialize(population);

    testing::seedForTest(30);
    for (const auto& member : population.individuals) {
        const auto& network = static_cast<const QRNIndividual&>(*member);
        ASSERT_EQ(network.getGenesNumber(), 3);
        for (const QRNGene& node : network.genes) {
            ASSERT_EQ(node.inputs.size(), 2U);
            ASSERT_EQ(node.outputs.size(), 3U);
            for (int i = 0; i < 2; ++i) {
                EXPECT_EQ(node.inputs[i].ID, i + 1);
                EXPECT_EQ(node.inputWeights[i], uniform() * 0.2 - 0.1);
            }
            for (int o = 0; o < 3; ++o) EXPECT_TRUE(node.outputs[o].ID == 3 + o && node.outputOffsets[o] == 1.0);
            EXPECT_EQ(node.bias, uniform() * 0.2 - 0.1);
            EXPECT_EQ(node.A, 10 * gaussian());
        }
        for (double r : network.mutationParameters) EXPECT_EQ(r, uniform() * 0.2 - 0.1);
    }
}

TEST(Initializers, StringsRandomUnmixedAndPermuted) {
    QEAParameters params;
    params.populationSize = 10;
    params.chromosomeLength = 4;
    params.arity = 3;
    QStringPopulation population;
    population.setParameters(&params);
    QStringInitializer initializer;
    testing::bound(initializer);
    initializer.setParameters(params);

    testing::seedForTest(2);
    std::vector<int> expected;
    for (int g = 0; g < 4; ++g) expected.push_back(uniformInt(3));
    testing::seedForTest(2);
    EXPECT_EQ(initializer.initialize(population), 1);
    EXPECT_EQ(symbolsOf(population, 0), expected);

    params.initializationType = Initialization::Unmixed;
    EXPECT_EQ(initializer.initialize(population), 1);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(symbolsOf(population, i), std::vector<int>(4, i < 3 ? 0 : i < 6 ? 1 : 2));
    params.arity = 20;  // more symbols than individuals: all take the last one
    initializer.initialize(population);
    EXPECT_EQ(symbolsOf(population, 0), std::vector<int>(4, 19));

    params.initializationType = Initialization::Random;
    params.permutation = true;
    params.encodingOrder = EncodingOrder::Ascending;
    initializer.setParameters(params);
    initializer.initialize(population);
    for (int i = 0; i < 10; ++i) {
        const auto symbols = symbolsOf(population, i);
        EXPECT_TRUE(std::is_sorted(symbols.begin(), symbols.end()));
        EXPECT_EQ(std::adjacent_find(symbols.begin(), symbols.end()), symbols.end());
    }

    // Permutations over small and huge alphabets keep their symbols in drawing order.
    params.encodingOrder = EncodingOrder::None;
    for (int arity : {5, 1 << 30}) {
        params.arity = arity;
        testing::seedForTest(4);
        std::vector<std::vector<int>> drawn(10);
        for (auto& symbols : drawn) {
            while (symbols.size() < 4) {
                const int s = uniformInt(arity);
                if (std::find(symbols.begin(), symbols.end(), s) == symbols.end()) symbols.push_back(s);
            }
        }
        testing::seedForTest(4);
        initializer.initialize(population);
        for (int i = 0; i < 10; ++i) EXPECT_EQ(symbolsOf(population, i), drawn[i]) << "arity " << arity;
    }
}

TEST(Initializers, RealGenesStartAtTenPlusOneGaussianDraw) {
    QEAParameters params;
    params.populationSize = 2;
    params.chromosomeLength = 3;
    QRCPopulation population;
    population.setParameters(&params);
    QRCInitializer initializer;
    testing::bound(initializer);
    initializer.setParameters(params);
    testing::seedForTest(8);
    EXPECT_EQ(initializer.initialize(population), 1);
    testing::seedForTest(8);
    for (const auto& member : population.individuals)
        for (const auto& gene : static_cast<const QRCIndividual&>(*member).genes) EXPECT_EQ(gene, 10.0 + gaussian());
}

TEST(Initializers, ImpossiblePopulationsEndTheRun) {
    QEAParameters params;
    params.populationSize = 2;
    params.chromosomeLength = 4;
    QStringPopulation strings;
    strings.setParameters(&params);
    QIntegerInitializer wrong;
    testing::bound(wrong);
    wrong.setParameters(params);
    EXPECT_FAILURE(wrong.initialize(strings),
                "^\n\n\\[QIntegerInitializer::operate\\] error:\n\tEncoding mismatch! "
                "\\(population encoding ID = 1\\)\n\n$");

    QStringInitializer initializer;

    testing::bound(initializer);
    params.arity = 0;
    initializer.setParameters(params);
    EXPECT_FAILURE(initializer.initialize(strings),
                "\\[QStringInitializer::operate\\] error:\n\tCan't create strings with non-positive arity "
                "\\(_params->arity = 0\\)\n\n$");
    params.arity = 3;
    params.permutation = true;
    EXPECT_FAILURE(initializer.setParameters(params),
                "\\[QStringInitializer::setParameters\\] error:\n\tCan't create permutations of 4 genes from fewer "
                "symbols \\(_params->arity = 3\\)");
    params.initializationType = Initialization::Unmixed;  // unmixed strings need no distinct symbols
    EXPECT_EQ(initializer.setParameters(params), 1);
    params.initializationType = Initialization::Random;
    params.chromosomeLength = 3;
    initializer.setParameters(params);  // the record fits, the individuals do not
    EXPECT_FAILURE(initializer.initialize(strings), "Can't create permutations of 4 genes");

    QRNPopulation networks;
    params.outputsNumber = 1;
    networks.setParameters(&params);
    QRNInitializer network;
    testing::bound(network);
    network.setParameters(params);
    EXPECT_FAILURE(network.initialize(networks),
                "^\\[QRNInitializer::operate\\] critical error:\n\tNumber of inputs and outputs should be >= 0!\n$");
    try {
        network.initialize(networks);
        ADD_FAILURE() << "no failure the second time";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.stream(), MessageStream::Output) << "the report is meant for standard output";
    }
}

}  // namespace
}  // namespace Valdrin
