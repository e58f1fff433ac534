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

    EXPECT_EQ(factory.createNiching(static_cast<Niching>(0)), nullptr);
    EXPECT_EQ(factory.createNiching(static_cast<Niching>(7)), nullptr);
    auto* sharing = factory.createNiching(static_cast<Niching>(1));
    ASSERT_TRUE(is<QFitnessSharing>(sharing));
    EXPECT_EQ(sharing->owner, &algorithm);
    EXPECT_EQ(sharing->_params, nullptr);
    EXPECT_TRUE(is<QDeterministicCrowding>(factory.createNiching(static_cast<Niching>(2))));
    EXPECT_TRUE(is<QNeutralSelection>(factory.createSelection(static_cast<Selection>(1))));
    EXPECT_TRUE(is<QTournamentSelection>(factory.createSelection(static_cast<Selection>(2))));
    EXPECT_TRUE(is<QRandomParentSelector>(factory.createParentSelector(static_cast<ParentSelection>(1))));
    EXPECT_TRUE(is<QConstPopulationSizer>(factory.createPopulationSizer(static_cast<Sizer>(1))));
    auto* simple = factory.createPopulationSizer(static_cast<Sizer>(2));
    EXPECT_TRUE(is<QSimplePopulationSizer>(simple) && !is<QSimplePopulationSizerFibonacci>(simple));
    EXPECT_TRUE(is<QSimplePopulationSizerFibonacci>(factory.createPopulationSizer(static_cast<Sizer>(3))));
    EXPECT_TRUE(is<QSteadyPopulationSizer>(factory.createPopulationSizer(static_cast<Sizer>(4))));
}

TEST(Factory, CrossoverAndMutationTablesByEncoding) {
    QEAFactory factory(nullptr);
    EXPECT_TRUE(is<QStringCrossover1>(factory.createCrossover(1, static_cast<Crossover>(1))));
    EXPECT_TRUE(is<QStringCrossover2>(factory.createCrossover(1, static_cast<Crossover>(2))));
    EXPECT_TRUE(is<QStringCrossoverUniform>(factory.createCrossover(1, static_cast<Crossover>(3))));
    EXPECT_TRUE(is<QStringCrossoverOrder>(factory.createCrossover(1, static_cast<Crossover>(9))));
    EXPECT_TRUE(is<QIntegerCrossover1>(factory.createCrossover(2, static_cast<Crossover>(1))));
    EXPECT_TRUE(is<QIntegerCrossover2>(factory.createCrossover(2, static_cast<Crossover>(2))));
    EXPECT_TRUE(is<QIntegerCrossover2>(factory.createCrossover(2, static_cast<Crossover>(3))));  // no uniform for bit strings
    EXPECT_TRUE(is<QIntegerCrossoverPGX1>(factory.createCrossover(2, static_cast<Crossover>(4))));
    EXPECT_TRUE(is<QIntegerCrossoverPGX2>(factory.createCrossover(2, static_cast<Crossover>(5))));
    auto* blx = factory.createCrossover(3, static_cast<Crossover>(6));
    ASSERT_TRUE(is<QRCCrossoverBLX>(blx));
    EXPECT_EQ(static_cast<QRCCrossover*>(blx)->alpha, 0.0);
    EXPECT_EQ(blx->parentSelector, nullptr);
    EXPECT_TRUE(is<QRCCrossoverSBX>(factory.createCrossover(3, static_cast<Crossover>(7))));
    EXPECT_TRUE(is<QRCCrossoverArithmetic>(factory.createCrossover(3, static_cast<Crossover>(8))));
    EXPECT_EQ(factory.createCrossover(5, static_cast<Crossover>(2)), nullptr);  // networks are not crossed
    EXPECT_EQ(factory.createCrossover(5, static_cast<Crossover>(77)), nullptr);

    EXPECT_TRUE(is<QStringMutationRandomFlip>(factory.createMutation(1, static_cast<Mutation>(2))));
    EXPECT_TRUE(is<QIntegerMutationBitFlip>(factory.createMutation(2, static_cast<Mutation>(1))));
    EXPECT_TRUE(is<QRCMutationGauss>(factory.createMutation(2, static_cast<Mutation>(3))));  // integer genes read as reals
    EXPECT_TRUE(is<QRCMutationGauss>(factory.createMutation(3, static_cast<Mutation>(3))));
    EXPECT_TRUE(is<QRNMutationBasic>(factory.createMutation(5, static_cast<Mutation>(4))));
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
    EXPECT_FAILURE(factory.createSelection(static_cast<Selection>(0)),
                "^\n\nQEAFactory::createSelection error:\n\tA trial to create undefined \\(or unspecified\\) type "
                "of QSelection object\n\n$");
    EXPECT_FAILURE(factory.createParentSelector(static_cast<ParentSelection>(0)),
                "^\n\nQEAFactory::createParentSelector error:\n\tA trial to create undefined \\(or unspecified\\) "
                "type of QParentSelector object\n\n$");
    EXPECT_FAILURE(factory.createPopulationSizer(static_cast<Sizer>(5)),
                "^\n\nQEAFactory::createPopulationSizer error:\n\tA trial to create undefined \\(or "
                "unspecified\\) type of QPopulationSizer object\n\n$");
    EXPECT_FAILURE(factory.createCrossover(4, static_cast<Crossover>(2)),
                "^\n\nQEAFactory::createCrossover error:\n\tA trial to create undefined \\(or unspecified\\) type "
                "of QCrossoverOperator object\n\n$");
    EXPECT_FAILURE(factory.createMutation(0, static_cast<Mutation>(1)),
                "^\n\nQEAFactory::createMutation error:\n\tA trial to create undefined \\(or unspecified\\) type "
                "of QMutationOperator object\n\n$");

    EXPECT_FAILURE(factory.createCrossover(3, static_cast<Crossover>(1)),
                typeMessage("createRCCrossover", "QCrossoverOperator", "argXType", 1));
    EXPECT_FAILURE(factory.createCrossover(2, static_cast<Crossover>(9)),
                typeMessage("createIntegerCrossover", "QCrossoverOperator", "argXType", 9));
    EXPECT_FAILURE(factory.createCrossover(1, static_cast<Crossover>(4)),
                typeMessage("createStringCrossover", "QCrossoverOperator", "argXType", 4));
    EXPECT_FAILURE(factory.createMutation(2, static_cast<Mutation>(2)),
                typeMessage("createIntegerMutation", "QMutationOperator", "argMType", 2));
    EXPECT_FAILURE(factory.createMutation(1, static_cast<Mutation>(1)),
                typeMessage("createStringMutation", "QMutationOperator", "argMType", 1));
    EXPECT_FAILURE(factory.createMutation(3, static_cast<Mutation>(1)),
                typeMessage("createRCMutation", "QMutationOperator", "argMType", 1));
    EXPECT_FAILURE(factory.createMutation(5, static_cast<Mutation>(-3)),
                typeMessage("createRNMutation", "QMutationOperator", "argMType", -3));
}

TEST(Factory, DestroyingLeavesNothingToDeleteTwice) {
    auto factory = std::make_unique<QEAFactory>(nullptr);
    for (int encoding : {1, 2, 3, 5}) {
        factory->createPopulation(encoding);
        factory->createInitializer(encoding);
    }
    factory->createNiching(static_cast<Niching>(0));
    factory->createNiching(static_cast<Niching>(1));
    factory->createSelection(static_cast<Selection>(2));
    factory->createParentSelector(static_cast<ParentSelection>(1));
    factory->createPopulationSizer(static_cast<Sizer>(3));
    factory->createCrossover(5, static_cast<Crossover>(0));
    factory->createCrossover(2, static_cast<Crossover>(1));
    factory->createMutation(2, static_cast<Mutation>(1));
    factory->createMutation(3, static_cast<Mutation>(3));

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
