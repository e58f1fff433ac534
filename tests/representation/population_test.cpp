// Tests of the shared population behaviour, exercised through the integer population.
#include <gtest/gtest.h>

#include <sstream>

#include "representation/integer.h"
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

TEST(PopulationCopy, SameSizeKeepsObjectsOtherSizeReplacesThem) {
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

}  // namespace
}  // namespace Valdrin
