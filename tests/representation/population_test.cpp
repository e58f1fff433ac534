// Tests of the shared population behaviour, exercised through the integer population.
#include <gtest/gtest.h>

#include <sstream>

#include "representation/integer.h"
#include "representation/real.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

std::unique_ptr<QIntegerPopulation> withFitness(std::initializer_list<double> values) {
    auto population = std::make_unique<QIntegerPopulation>();
    population->createIndividuals(static_cast<int>(values.size()));
    int i = 0;
    for (double f : values) population->getIndividual(i++)->fitness = f;
    return population;
}

TEST(PopulationBest, RunningMinimumStopsOnceAtOrBelowThreshold) {
    EXPECT_EQ(withFitness({3, 0.5, 0.2})->getBestIndex(0.0), 2);
    EXPECT_EQ(withFitness({3, -1, -5})->getBestIndex(0.0), 1);
    EXPECT_EQ(withFitness({2, 1, 1})->getBestIndex(0.0), 1);
    auto none = withFitness({1e9, 2e9});
    EXPECT_EQ(none->getBestIndex(0.0), -1);
    EXPECT_EQ(none->getBestIndividual(0.0), nullptr);
}

TEST(PopulationEditing, DeletionAndInsertionKeepOrderAndOwnership) {
    auto population = withFitness({0, 1, 2, 3, 4});
    QIndividual* second = population->getIndividual(1);
    EXPECT_EQ(population->deleteIndividuals(2, 100), 2);
    EXPECT_EQ(population->deleteIndividuals(1, -3), 2);  // a negative count deletes nothing
    EXPECT_EQ(population->deleteIndividual(0), 1);
    EXPECT_EQ(population->getIndividual(0), second);

    EXPECT_EQ(population->insertIndividual(*second), 2);
    EXPECT_NE(population->getIndividual(0), second);
    EXPECT_EQ(population->getIndividual(1), second);
}

TEST(PopulationCopy, SameSizeKeepsObjectsOtherSizeMatchesTheSource) {
    QEAParameters params;
    auto source = withFitness({1, 2, 3});
    source->_params = &params;
    source->getIndividual(2)->_params = &params;
    static_cast<QIntegerIndividual*>(source->getIndividual(2))->genes.assign(2, 9);

    auto same = withFitness({0, 0, 0});
    QIndividual* kept = same->getIndividual(2);
    same->copy(*source);
    EXPECT_EQ(same->getIndividual(2), kept);
    EXPECT_TRUE(kept->equalsTo(*source->getIndividual(2)));
    EXPECT_EQ(kept->_params, &params);
    EXPECT_EQ(same->_params, nullptr);

    auto other = withFitness({0, 0, 0, 0});
    other->copy(*source);
    ASSERT_EQ(other->size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(other->getIndividual(i), source->getIndividual(i));
        EXPECT_EQ(other->getIndividual(i)->fitness, i + 1);
    }
    EXPECT_EQ(source->clone()->_params, nullptr);
}

// A population copied from one of another size makes its copies in the storage it already has:
// its own individuals, then its spares; those it no longer needs become spares. What it holds
// equals the source whatever that storage held before.
TEST(PopulationCopy, OtherSizeReusesOwnIndividualsAndSpares) {
    QEAParameters params;
    auto source = withFitness({1, 2, 3, 4, 5});
    for (int i = 0; i < 5; ++i) {
        auto& individual = static_cast<QIntegerIndividual&>(*source->getIndividual(i));
        individual.genes.assign(static_cast<std::size_t>(i), i);
        individual.nicheNumber = i;
        individual._params = &params;
    }
    auto population = withFitness({9, 9, 9});
    static_cast<QIntegerIndividual&>(*population->getIndividual(0)).genes.assign(8, 1);
    population->clear();
    population->addNewIndividual();  // one member, two spares
    population->copy(*source);
    ASSERT_EQ(population->size(), 5);
    EXPECT_EQ(population->sparesCount(), 0);
    for (int i = 0; i < 5; ++i) {
        const auto& copy = static_cast<const QIntegerIndividual&>(*population->getIndividual(i));
        const auto& original = static_cast<const QIntegerIndividual&>(*source->getIndividual(i));
        EXPECT_NE(&copy, &original);
        EXPECT_EQ(copy.genes, original.genes);
        EXPECT_EQ(copy.fitness, original.fitness);
        EXPECT_EQ(copy.nicheNumber, i);
        EXPECT_EQ(copy._params, &params);
    }

    // Back to fewer: the members beyond the source's size wait as spares for the next copy.
    auto pair = withFitness({6, 8});
    const QIndividual* fifth = population->getIndividual(4);
    population->copy(*pair);
    EXPECT_EQ(population->size(), 2);
    EXPECT_EQ(population->sparesCount(), 3);
    EXPECT_EQ(population->getIndividual(1)->fitness, 8);
    EXPECT_TRUE(population->getIndividual(1)->equalsTo(*pair->getIndividual(1)));
    population->copy(*source);
    EXPECT_EQ(population->sparesCount(), 0);
    EXPECT_TRUE(population->getIndividual(4)->equalsTo(*source->getIndividual(4)));
    bool reused = false;
    for (int i = 2; i < 5; ++i) reused = reused || population->getIndividual(i) == fifth;
    EXPECT_TRUE(reused);
}

// An individual of another class cannot take a copy in full (only the shared fields would
// pass): it gives way to a copy of the source's class.
TEST(PopulationCopy, OtherSizeReplacesIndividualsOfAnotherClass) {
    auto source = withFitness({1, 2});
    static_cast<QIntegerIndividual&>(*source->getIndividual(0)).genes = {3, 4};
    auto population = withFitness({0, 0, 0});
    population->individuals[0] = std::make_unique<QRCIndividual>();
    population->copy(*source);
    ASSERT_EQ(population->size(), 2);
    EXPECT_EQ(population->getIndividual(0)->getEncoding(), source->getIndividual(0)->getEncoding());
    EXPECT_TRUE(population->getIndividual(0)->equalsTo(*source->getIndividual(0)));
    EXPECT_EQ(population->getIndividual(0)->fitness, 1);
}

TEST(PopulationSetup, ParametersCreateBoundIndividualsAndUniformityFollows) {
    QEAParameters params;
    params.populationSize = 3;
    params.chromosomeLength = 2;
    QIntegerPopulation population;
    population.setParameters(&params);
    ASSERT_EQ(population.size(), 3);
    EXPECT_EQ(population.getIndividual(2)->_params, &params);
    EXPECT_EQ(population.getIndividual(2)->getGenesNumber(), 2);
    EXPECT_EQ(population.checkUniformity(), 2);
    static_cast<QIntegerIndividual*>(population.getIndividual(2))->setGeneValue(1, 1);
    EXPECT_EQ(population.checkUniformity(), 1);
    population.clear();
    EXPECT_EQ(population.checkUniformity(), 2);  // empty counts as uniform
}

TEST(PopulationPrint, WritesHeaderAndNumberedIndividuals) {
    auto population = withFitness({0.5, 2});
    static_cast<QIntegerIndividual*>(population->getIndividual(0))->genes.assign(1, 10);
    std::ostringstream out;
    population->print(out);
    EXPECT_EQ(out.str(),
              "\nPrinting population (2 individuals):\n-------------------------\n"
              "Individual 1:\t(0.5)\ta \nIndividual 2:\t(2)\t\n");
}

TEST(Population, IndexErrorsEndTheProcess) {
    auto population = withFitness({1, 2});
    EXPECT_FAILURE(population->getIndividual(2),
                "^\n\n\\[QPopulation::getIndividual\\] error:\n\tIndex is out of population bounds \\(i = 2\\)\n\n$");
    EXPECT_FAILURE(population->deleteIndividual(-1),
                "\\[QPopulation::deleteIndividual\\] error:\n\tIndex \\(-1\\) is out of population bounds");
    EXPECT_FAILURE(population->deleteIndividuals(2, 1),
                "\\[QPopulation::deleteIndividuals\\] error:\n\tIndex \\(2\\) is out of population bounds");
}

// Individuals let go are reused, and a reused individual is indistinguishable from the new one
// or the copy it stands for, whatever it held before.
TEST(PopulationReuse, SparesComeBackAsNewIndividualsOrExactCopies) {
    QEAParameters params;
    params.populationSize = 2;
    params.chromosomeLength = 3;
    QIntegerPopulation population;
    population.setParameters(&params);
    for (auto& member : population.individuals) {
        auto& individual = static_cast<QIntegerIndividual&>(*member);
        individual.genes = {7, 8, 9, 10};  // longer than the record, and not default
        individual.fitness = 4.5;
        individual.nicheNumber = 3;
        individual.fitnessComponents = {1.0};
    }
    const QIndividual* first = population.getIndividual(0);
    const QIndividual* second = population.getIndividual(1);
    population.clear();
    EXPECT_EQ(population.sparesCount(), 2);

    // A new individual: default genes, base fields as new, bound to the record.
    population.addNewIndividual();
    const auto& fresh = static_cast<const QIntegerIndividual&>(*population.getIndividual(0));
    EXPECT_TRUE(&fresh == first || &fresh == second);  // storage reused
    EXPECT_EQ(fresh.genes, (std::vector<QIntegerGene::Value>{0, 0, 0}));
    EXPECT_EQ(fresh.fitness, 0.0);
    EXPECT_EQ(fresh.nicheNumber, 0);
    EXPECT_TRUE(fresh.fitnessComponents.empty());
    EXPECT_EQ(fresh._params, &params);

    // A child to overwrite: the record's gene count, base fields as new.
    population.addIndividualToOverwrite();
    const QIndividual& child = *population.getIndividual(1);
    EXPECT_EQ(child.getGenesNumber(), 3);
    EXPECT_EQ(child.fitness, 0.0);
    EXPECT_EQ(child.nicheNumber, 0);
    EXPECT_TRUE(child.fitnessComponents.empty());
    EXPECT_EQ(population.sparesCount(), 0);

    // Deleted individuals become spares, and copies made from them equal the original.
    QIntegerIndividual original;
    original.genes = {5, 6};
    original.fitness = 2.0;
    original.nicheNumber = 1;
    original.fitnessComponents = {0.5, 0.25};
    population.deleteIndividuals(0, 2);
    EXPECT_EQ(population.sparesCount(), 2);
    population.appendIndividual(original);
    population.insertIndividual(original);
    for (const QIndividual* copy : {population.getIndividual(0), population.getIndividual(1)}) {
        EXPECT_TRUE(copy->equalsTo(original));
        EXPECT_EQ(copy->fitness, 2.0);
        EXPECT_EQ(copy->nicheNumber, 1);
        EXPECT_EQ(copy->fitnessComponents, original.fitnessComponents);
        EXPECT_EQ(copy->_params, nullptr);
    }
    EXPECT_EQ(population.sparesCount(), 0);

    // Setting the population up again replaces everything, spares included.
    population.clear();
    population.setParameters(&params);
    EXPECT_EQ(population.sparesCount(), 0);
    EXPECT_EQ(population.size(), 2);
}

}  // namespace
}  // namespace Valdrin
