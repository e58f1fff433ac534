// Tests of the parts maker: the classes the registry's rows make for a record, the order in which
// unmakeable choices are refused, and the refusal messages.
#include "registry/parts_maker.h"

#include <gtest/gtest.h>

#include <sstream>

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
bool is(const std::unique_ptr<Base>& object) {
    return dynamic_cast<const Expected*>(object.get()) != nullptr;
}

QEAParameters record(Encoding encoding, Crossover crossover, Mutation mutation) {
    QEAParameters params;
    params.encoding = encoding;
    params.selectionType = Selection::Tournament;
    params.xType = crossover;
    params.mutationType = mutation;
    return params;
}

AlgorithmParts partsFor(const QEAParameters& params) { return RegistryPartsMaker{}.make(params); }

TEST(PartsMaker, MakesTheClassesEachEncodingAndChoiceName) {
    const AlgorithmParts strings = partsFor(record(Encoding::String, Crossover::Order, Mutation::RandomFlip));
    EXPECT_TRUE(is<QStringPopulation>(strings.currentPopulation) && is<QStringPopulation>(strings.matingPool) &&
                is<QStringPopulation>(strings.offspringPopulation));
    EXPECT_TRUE(is<QStringInitializer>(strings.initializer));
    EXPECT_TRUE(is<QStringCrossoverOrder>(strings.crossover));
    EXPECT_TRUE(is<QStringMutationRandomFlip>(strings.mutation));
    EXPECT_TRUE(is<QTournamentSelection>(strings.selection));
    EXPECT_TRUE(is<QRandomParentSelector>(strings.parentSelector));
    EXPECT_TRUE(is<QConstPopulationSizer>(strings.sizer));
    EXPECT_EQ(strings.niching, nullptr);

    // Bit strings have no uniform crossover of their own, and take the gaussian mutation as reals.
    QEAParameters bits = record(Encoding::Integer, Crossover::Uniform, Mutation::Gaussian);
    bits.nichingType = Niching::DeterministicCrowding;
    bits.populationSizerType = Sizer::SimpleFibonacci;
    bits.selectionType = Selection::Neutral;
    const AlgorithmParts integers = partsFor(bits);
    EXPECT_TRUE(is<QIntegerPopulation>(integers.currentPopulation));
    EXPECT_TRUE(is<QIntegerCrossover2>(integers.crossover));
    EXPECT_TRUE(is<QRCMutationGauss>(integers.mutation));
    EXPECT_TRUE(is<QDeterministicCrowding>(integers.niching));
    EXPECT_TRUE(is<QSimplePopulationSizerFibonacci>(integers.sizer));
    EXPECT_TRUE(is<QNeutralSelection>(integers.selection));

    QEAParameters reals = record(Encoding::Real, Crossover::SBX, Mutation::Gaussian);
    reals.nichingType = Niching::Sharing;
    reals.populationSizerType = Sizer::Steady;
    const AlgorithmParts realParts = partsFor(reals);
    EXPECT_TRUE(is<QRCPopulation>(realParts.currentPopulation));
    EXPECT_TRUE(is<QRCInitializer>(realParts.initializer));
    EXPECT_TRUE(is<QRCCrossoverSBX>(realParts.crossover));
    EXPECT_TRUE(is<QFitnessSharing>(realParts.niching));
    EXPECT_TRUE(is<QSteadyPopulationSizer>(realParts.sizer));

    // Networks recombine without crossover, whatever crossover the record names.
    const AlgorithmParts networks = partsFor(record(Encoding::Network, Crossover::BLX, Mutation::NetworkBasic));
    EXPECT_TRUE(is<QRNPopulation>(networks.currentPopulation));
    EXPECT_TRUE(is<QRNInitializer>(networks.initializer));
    EXPECT_EQ(networks.crossover, nullptr);
    EXPECT_TRUE(is<QRNMutationBasic>(networks.mutation));
}

std::string typeMessage(const char* operation, const char* object, const char* argument, int type) {
    std::ostringstream text;
    text << "^\n\nQEAFactory::" << operation << " error:\n\tA trial to create undefined \\(or unspecified\\) type of "
         << object << " object \\(" << argument << " = " << type << "\\)\n\n$";
    return text.str();
}

TEST(PartsMaker, RefusesWhatCannotBeMadeWithTheFactoryMessages) {
    EXPECT_FAILURE(partsFor(record(Encoding::Unspecified, Crossover::TwoPoint, Mutation::BitFlip)),
                   "^\n\nQEAFactory::createPopulation error:\n\tA trial to create QPopulation object for undefined "
                   "\\(or unspecified\\) type of encoding\n\n$");
    EXPECT_FAILURE(partsFor(record(static_cast<Encoding>(4), Crossover::TwoPoint, Mutation::BitFlip)), "createPopulation error");
    QEAParameters unselected = record(Encoding::Integer, Crossover::TwoPoint, Mutation::BitFlip);
    unselected.selectionType = Selection::Unspecified;
    EXPECT_FAILURE(partsFor(unselected),
                   "^\n\nQEAFactory::createSelection error:\n\tA trial to create undefined \\(or unspecified\\) type "
                   "of QSelection object\n\n$");
    QEAParameters badSizer = record(Encoding::Integer, Crossover::TwoPoint, Mutation::BitFlip);
    badSizer.populationSizerType = static_cast<Sizer>(5);  // no word makes it; a record built in code can
    EXPECT_FAILURE(partsFor(badSizer),
                   "^\n\nQEAFactory::createPopulationSizer error:\n\tA trial to create undefined \\(or "
                   "unspecified\\) type of QPopulationSizer object\n\n$");

    EXPECT_FAILURE(partsFor(record(Encoding::Real, Crossover::OnePoint, Mutation::Gaussian)),
                   typeMessage("createRCCrossover", "QCrossoverOperator", "argXType", 1));
    EXPECT_FAILURE(partsFor(record(Encoding::Integer, Crossover::Order, Mutation::BitFlip)),
                   typeMessage("createIntegerCrossover", "QCrossoverOperator", "argXType", 9));
    EXPECT_FAILURE(partsFor(record(Encoding::String, Crossover::OnePointPGX, Mutation::RandomFlip)),
                   typeMessage("createStringCrossover", "QCrossoverOperator", "argXType", 4));
    EXPECT_FAILURE(partsFor(record(Encoding::Integer, Crossover::TwoPoint, Mutation::RandomFlip)),
                   typeMessage("createIntegerMutation", "QMutationOperator", "argMType", 2));
    EXPECT_FAILURE(partsFor(record(Encoding::String, Crossover::TwoPoint, Mutation::BitFlip)),
                   typeMessage("createStringMutation", "QMutationOperator", "argMType", 1));
    EXPECT_FAILURE(partsFor(record(Encoding::Real, Crossover::SBX, Mutation::BitFlip)),
                   typeMessage("createRCMutation", "QMutationOperator", "argMType", 1));
    EXPECT_FAILURE(partsFor(record(Encoding::Network, Crossover::SBX, Mutation::Gaussian)),
                   typeMessage("createRNMutation", "QMutationOperator", "argMType", 3));
}

TEST(PartsMaker, RefusesInTheOrderThePartsAreMade) {
    // Selection before the sizer, the sizer before crossover, crossover before mutation.
    QEAParameters params = record(Encoding::Real, Crossover::OnePoint, Mutation::BitFlip);
    params.selectionType = Selection::Unspecified;
    params.populationSizerType = static_cast<Sizer>(9);
    EXPECT_FAILURE(partsFor(params), "createSelection error");
    params.selectionType = Selection::Neutral;
    EXPECT_FAILURE(partsFor(params), "createPopulationSizer error");
    params.populationSizerType = Sizer::Constant;
    EXPECT_FAILURE(partsFor(params), "createRCCrossover error");
    params.xType = Crossover::BLX;
    EXPECT_FAILURE(partsFor(params), "createRCMutation error");
}

}  // namespace
}  // namespace Valdrin
