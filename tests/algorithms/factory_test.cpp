// Tests of the object factory: the identifier tables, their error messages and ownership.
#include <gtest/gtest.h>

#include <sstream>

#include "algorithms/factory.h"
#include "algorithms/genetic_algorithm.h"
#include "operators/crossovers.h"
#include "operators/initializers.h"
#include "operators/mutations.h"
#include "operators/niching.h"
#include "operators/population_sizers.h"
#include "operators/selection.h"
#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

template <typename Expected, typename Base>
bool is(const Base* object) {
    return dynamic_cast<const Expected*>(object) != nullptr;
}

TEST(Factory, BuildsEachKindByIdentifierAndHandsOperatorsTheOwner) {
    testing::ScratchDir scratch;
    QGeneticAlgorithm algorithm;
    QEAFactory& factory = *algorithm.factory;
    EXPECT_TRUE(is<QStringPopulation>(factory.createPopulation(1)));
    EXPECT_TRUE(is<QIntegerPopulation>(factory.createPopulation(2)));
    EXPECT_TRUE(is<QRCPopulation>(factory.createPopulation(3)));
    EXPECT_TRUE(is<QRNPopulation>(factory.createPopulation(5)));
    EXPECT_TRUE(is<QStringInitializer>(factory.createInitializer(1)));
    EXPECT_TRUE(is<QIntegerInitializer>(factory.createInitializer(2)));
    EXPECT_TRUE(is<QRCInitializer>(factory.createInitializer(3)));
    EXPECT_TRUE(is<QRNInitializer>(factory.createInitializer(5)));

    EXPECT_EQ(factory.createNiching(0), nullptr);
    EXPECT_EQ(factory.createNiching(7), nullptr);
    auto* sharing = factory.createNiching(1);
    ASSERT_TRUE(is<QFitnessSharing>(sharing));
    EXPECT_EQ(sharing->owner, &algorithm);
    EXPECT_EQ(sharing->_params, nullptr);
    EXPECT_TRUE(is<QDeterministicCrowding>(factory.createNiching(2)));
    EXPECT_TRUE(is<QNeutralSelection>(factory.createSelection(1)));
    EXPECT_TRUE(is<QTournamentSelection>(factory.createSelection(2)));
    EXPECT_TRUE(is<QRandomParentSelector>(factory.createParentSelector(1)));
    EXPECT_TRUE(is<QConstPopulationSizer>(factory.createPopulationSizer(1)));
    auto* simple = factory.createPopulationSizer(2);
    EXPECT_TRUE(is<QSimplePopulationSizer>(simple) && !is<QSimplePopulationSizerFibonacci>(simple));
    EXPECT_TRUE(is<QSimplePopulationSizerFibonacci>(factory.createPopulationSizer(3)));
    EXPECT_TRUE(is<QSteadyPopulationSizer>(factory.createPopulationSizer(4)));
}

TEST(Factory, CrossoverAndMutationTablesByEncoding) {
    QEAFactory factory(nullptr);
    EXPECT_TRUE(is<QStringCrossover1>(factory.createCrossover(1, 1)));
    EXPECT_TRUE(is<QStringCrossover2>(factory.createCrossover(1, 2)));
    EXPECT_TRUE(is<QStringCrossoverUniform>(factory.createCrossover(1, 3)));
    EXPECT_TRUE(is<QStringCrossoverOrder>(factory.createCrossover(1, 9)));
    EXPECT_TRUE(is<QIntegerCrossover1>(factory.createCrossover(2, 1)));
    EXPECT_TRUE(is<QIntegerCrossover2>(factory.createCrossover(2, 2)));
    EXPECT_TRUE(is<QIntegerCrossover2>(factory.createCrossover(2, 3)));  // no uniform for bit strings
    EXPECT_TRUE(is<QIntegerCrossoverPGX1>(factory.createCrossover(2, 4)));
    EXPECT_TRUE(is<QIntegerCrossoverPGX2>(factory.createCrossover(2, 5)));
    auto* blx = factory.createCrossover(3, 6);
    ASSERT_TRUE(is<QRCCrossoverBLX>(blx));
    EXPECT_EQ(static_cast<QRCCrossover*>(blx)->alpha, 0.0);
    EXPECT_EQ(blx->parentSelector, nullptr);
    EXPECT_TRUE(is<QRCCrossoverSBX>(factory.createCrossover(3, 7)));
    EXPECT_TRUE(is<QRCCrossoverArithmetic>(factory.createCrossover(3, 8)));
    EXPECT_EQ(factory.createCrossover(5, 2), nullptr);  // networks are not crossed
    EXPECT_EQ(factory.createCrossover(5, 77), nullptr);

    EXPECT_TRUE(is<QStringMutationRandomFlip>(factory.createMutation(1, 2)));
    EXPECT_TRUE(is<QIntegerMutationBitFlip>(factory.createMutation(2, 1)));
    EXPECT_TRUE(is<QRCMutationGauss>(factory.createMutation(2, 3)));  // integer genes read as reals
    EXPECT_TRUE(is<QRCMutationGauss>(factory.createMutation(3, 3)));
    EXPECT_TRUE(is<QRNMutationBasic>(factory.createMutation(5, 4)));
}

std::string typeMessage(const char* operation, const char* object, const char* argument, int type) {
    std::ostringstream text;
    text << "^\n\nQEAFactory::" << operation << " error:\n\tA trial to create undefined \\(or unspecified\\) type of "
         << object << " object \\(" << argument << " = " << type << "\\)\n\n$";
    return text.str();
}

TEST(Factory, UnknownIdentifiersEndTheProcessWithTheFactoryMessages) {
    QEAFactory factory(nullptr);
    EXPECT_FAILURE(factory.createPopulation(0),
                "^\n\nQEAFactory::createPopulation error:\n\tA trial to create QPopulation object for undefined "
                "\\(or unspecified\\) type of encoding\n\n$");
    EXPECT_FAILURE(factory.createInitializer(4),
                "^\n\nQEAFactory::createInitializer error:\n\tA trial to create QInitializer object for undefined "
                "\\(or unspecified\\) type of encoding\n\n$");
    EXPECT_FAILURE(factory.createSelection(0),
                "^\n\nQEAFactory::createSelection error:\n\tA trial to create undefined \\(or unspecified\\) type "
                "of QSelection object\n\n$");
    EXPECT_FAILURE(factory.createParentSelector(0),
                "^\n\nQEAFactory::createParentSelector error:\n\tA trial to create undefined \\(or unspecified\\) "
                "type of QParentSelector object\n\n$");
    EXPECT_FAILURE(factory.createPopulationSizer(5),
                "^\n\nQEAFactory::createPopulationSizer error:\n\tA trial to create undefined \\(or "
                "unspecified\\) type of QPopulationSizer object\n\n$");
    EXPECT_FAILURE(factory.createCrossover(4, 2),
                "^\n\nQEAFactory::createCrossover error:\n\tA trial to create undefined \\(or unspecified\\) type "
                "of QCrossoverOperator object\n\n$");
    EXPECT_FAILURE(factory.createMutation(0, 1),
                "^\n\nQEAFactory::createMutation error:\n\tA trial to create undefined \\(or unspecified\\) type "
                "of QMutationOperator object\n\n$");

    EXPECT_FAILURE(factory.createCrossover(3, 1),
                typeMessage("createRCCrossover", "QCrossoverOperator", "argXType", 1));
    EXPECT_FAILURE(factory.createCrossover(2, 9),
                typeMessage("createIntegerCrossover", "QCrossoverOperator", "argXType", 9));
    EXPECT_FAILURE(factory.createCrossover(1, 4),
                typeMessage("createStringCrossover", "QCrossoverOperator", "argXType", 4));
    EXPECT_FAILURE(factory.createMutation(2, 2),
                typeMessage("createIntegerMutation", "QMutationOperator", "argMType", 2));
    EXPECT_FAILURE(factory.createMutation(1, 1),
                typeMessage("createStringMutation", "QMutationOperator", "argMType", 1));
    EXPECT_FAILURE(factory.createMutation(3, 1),
                typeMessage("createRCMutation", "QMutationOperator", "argMType", 1));
    EXPECT_FAILURE(factory.createMutation(5, -3),
                typeMessage("createRNMutation", "QMutationOperator", "argMType", -3));
}

TEST(Factory, DestroyingLeavesNothingToDeleteTwice) {
    auto factory = std::make_unique<QEAFactory>(nullptr);
    for (int encoding : {1, 2, 3, 5}) {
        factory->createPopulation(encoding);
        factory->createInitializer(encoding);
    }
    factory->createNiching(0);
    factory->createNiching(1);
    factory->createSelection(2);
    factory->createParentSelector(1);
    factory->createPopulationSizer(3);
    factory->createCrossover(5, 0);
    factory->createCrossover(2, 1);
    factory->createMutation(2, 1);
    factory->createMutation(3, 3);

    EXPECT_EQ(factory->destroyLastMutation(), 1);
    EXPECT_EQ(factory->destroyLastPopulation(), 1);
    EXPECT_EQ(factory->destroyAll(), 1);
    EXPECT_EQ(factory->destroyLastPopulation(), 0);  // nothing left
    EXPECT_EQ(factory->destroyLastMutation(), 0);
    EXPECT_EQ(factory->destroyAll(), 1);
    factory->createPopulation(2);
    factory.reset();  // deletes the one population made after destroyAll, and nothing else
}

}  // namespace
}  // namespace Valdrin
