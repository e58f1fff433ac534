// Tests of neutral and tournament selection and of the random parent selector.
#include <gtest/gtest.h>

#include "core/random.h"
#include "operators/selection.h"
#include "representation/integer.h"
#include "representation/real.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::seedForTest;

// Individual i carries gene value i, so copies can be traced back to their source.
std::unique_ptr<QIntegerPopulation> tagged(QEAParameters& params, std::initializer_list<double> fitness) {
    auto population = std::make_unique<QIntegerPopulation>();
    params.populationSize = static_cast<int>(fitness.size());
    params.chromosomeLength = 1;
    population->setParameters(&params);
    int i = 0;
    for (double f : fitness) {
        auto& individual = static_cast<QIntegerIndividual&>(*population->getIndividual(i));
        individual.genes[0] = i;
        individual.fitness = f;
        individual.fitnessComponents = {f};
        ++i;
    }
    return population;
}

int tagOf(const QPopulation& population, int index) {
    return static_cast<const QIntegerIndividual&>(*population.getIndividual(index)).genes[0];
}

TEST(TournamentSelection, WinnerIsTheFittestContestantAndTheFirstDrawnOnTies) {
    QEAParameters params;
    params.tournamentSize = 3;
    auto source = tagged(params, {5.0, 1.0, 5.0, 1.0, 3.0, 1.0});
    QIntegerPopulation destination;
    QTournamentSelection selection;
    testing::bound(selection);
    selection.setParameters(params);

    seedForTest(321);
    selection.select(*source, destination);

    seedForTest(321);
    ASSERT_EQ(destination.size(), source->size());
    for (int k = 0; k < source->size(); ++k) {
        int winner = uniformInt(6);
        for (int c = 1; c < 3; ++c) {
            const int contestant = uniformInt(6);
            const double best = source->getIndividual(winner)->fitness;
            if (best > source->getIndividual(contestant)->fitness) winner = contestant;
        }
        EXPECT_EQ(tagOf(destination, k), winner) << "tournament " << k;
        EXPECT_EQ(destination.getIndividual(k)->fitness, source->getIndividual(winner)->fitness);
        EXPECT_NE(destination.getIndividual(k), source->getIndividual(winner));  // a copy
    }
}

TEST(TournamentSelection, EqualFitnessAlwaysPicksTheFirstContestant) {
    QEAParameters params;
    params.tournamentSize = 4;
    auto source = tagged(params, {2.0, 2.0, 2.0, 2.0, 2.0});
    QIntegerPopulation destination;
    QTournamentSelection selection;
    testing::bound(selection);
    selection.setParameters(params);
    seedForTest(77);
    selection.select(*source, destination);
    seedForTest(77);
    for (int k = 0; k < 5; ++k) {
        const int first = uniformInt(5);
        for (int c = 1; c < 4; ++c) uniformInt(5);
        EXPECT_EQ(tagOf(destination, k), first);
    }
}

TEST(TournamentSelection, SizeOneOrLessIsOneUniformDrawPerSlot) {
    for (int size : {1, 0, -2}) {
        QEAParameters params;
        params.tournamentSize = size;
        auto source = tagged(params, {4.0, 3.0, 2.0, 1.0});
        QIntegerPopulation destination;
        QTournamentSelection selection;
        testing::bound(selection);
        selection.setParameters(params);
        seedForTest(5);
        selection.select(*source, destination);
        seedForTest(5);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(tagOf(destination, k), uniformInt(4));
        const double next = uniform();
        seedForTest(5);
        for (int k = 0; k < 4; ++k) uniform();
        EXPECT_EQ(uniform(), next) << "exactly one draw per slot";
    }
}

TEST(TournamentSelection, AnyDestinationEndsAsAnEmptyOneWould) {
    QEAParameters params;
    params.tournamentSize = 2;
    auto source = tagged(params, {6.0, 2.0, 4.0, 1.0, 3.0});
    QTournamentSelection selection;
    testing::bound(selection);
    selection.setParameters(params);
    QIntegerPopulation fresh;
    seedForTest(42);
    selection.select(*source, fresh);
    ASSERT_EQ(fresh.size(), 5);

    // A destination of another class, larger, and one of the same class, smaller, with longer
    // chromosomes and stale fitness: the selected copies replace whatever was there.
    QEAParameters other = params;
    other.populationSize = 8;
    other.chromosomeLength = 3;
    QRCPopulation reals;
    reals.setParameters(&other);
    other.populationSize = 2;
    QIntegerPopulation shorter;
    shorter.setParameters(&other);
    for (auto& individual : shorter.individuals) individual->fitness = -1.0;
    for (QPopulation* destination : {static_cast<QPopulation*>(&reals), static_cast<QPopulation*>(&shorter)}) {
        seedForTest(42);
        selection.select(*source, *destination);
        ASSERT_EQ(destination->size(), 5);
        for (int k = 0; k < 5; ++k) {
            const QIndividual& copy = *destination->getIndividual(k);
            ASSERT_EQ(copy.getEncoding(), Encoding::Integer) << "slot " << k;
            EXPECT_TRUE(copy.equalsTo(*fresh.getIndividual(k))) << "slot " << k;
            EXPECT_EQ(copy.fitness, fresh.getIndividual(k)->fitness) << "slot " << k;
            EXPECT_EQ(copy._params, &params) << "slot " << k;
        }
    }
}

TEST(NeutralSelection, FillsTheDestinationWithUniformCopiesWhateverItHeldBefore) {
    QEAParameters params;
    auto source = tagged(params, {9.0, 8.0, 7.0, 6.0, 5.0});
    QNeutralSelection selection;
    testing::bound(selection);
    selection.setParameters(params);
    // Destinations that start empty, smaller or larger, with longer chromosomes, all end the same.
    for (int start : {0, 2, 5, 9}) {
        QEAParameters other = params;
        other.populationSize = start;
        other.chromosomeLength = 3;
        QIntegerPopulation destination;
        destination.setParameters(&other);
        seedForTest(1234);
        selection.select(*source, destination);
        seedForTest(1234);
        ASSERT_EQ(destination.size(), 5);
        for (int k = 0; k < 5; ++k) {
            const int idx = uniformInt(5);
            const auto& copy = static_cast<const QIntegerIndividual&>(*destination.getIndividual(k));
            EXPECT_EQ(copy.genes.size(), 1u);
            EXPECT_EQ(copy.genes[0], idx);
            EXPECT_EQ(copy.fitness, source->getIndividual(idx)->fitness);
            EXPECT_EQ(copy.fitnessComponents, source->getIndividual(idx)->fitnessComponents);
            EXPECT_EQ(copy._params, &params);
        }
    }
}

TEST(RandomParentSelector, ReturnsTheDrawnIndividualItself) {
    QEAParameters params;
    auto parents = tagged(params, {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0});
    QRandomParentSelector selector;
    testing::bound(selector);
    selector.setParameters(params);
    seedForTest(99);
    std::vector<QIndividual*> chosen;
    for (int k = 0; k < 20; ++k) chosen.push_back(selector.selectParent(*parents));
    seedForTest(99);
    for (QIndividual* parent : chosen) EXPECT_EQ(parent, parents->getIndividual(uniformInt(7)));
}

}  // namespace
}  // namespace Valdrin
