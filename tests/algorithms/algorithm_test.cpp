// Tests of the generation steps shared by the algorithms: set-up, evaluation and its records,
// selection under crowding, elite selection, recombination, mutation and the final report.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "algorithms/factory.h"
#include "algorithms/genetic_algorithm.h"
#include "core/random.h"
#include "operators/niching.h"
#include "operators/selection.h"
#include "problems/problem.h"
#include "representation/integer.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::readFile;
using testing::seedForTest;

// Fitness = offset + the sum of the gene values (the number of ones of one-bit genes).
class GeneSumProblem final : public QProblem {
public:
    double offset = 0.0;
    int evaluations = 0;
    int adjustParameters(QEAParameters*) override { return 1; }
    int evaluateIndividual(QIndividual& individual) override {
        ++evaluations;
        double sum = offset;
        for (const auto& gene : static_cast<QIntegerIndividual&>(individual).genes) sum += gene;
        individual.fitness = sum;
        return 1;
    }
    int printName(std::ostream& out) const override {
        out << "gene sum\n";
        return 1;
    }
};

QIntegerIndividual& bits(QPopulation& population, int index) {
    return static_cast<QIntegerIndividual&>(*population.getIndividual(index));
}

void setGenes(QPopulation& population, int index, std::vector<int> values) {
    auto& individual = bits(population, index);
    for (std::size_t k = 0; k < values.size(); ++k) individual.genes[k] = values[k];
}

std::vector<int> genesOf(const QIndividual& individual) {
    std::vector<int> values;
    for (const auto& gene : static_cast<const QIntegerIndividual&>(individual).genes) values.push_back(gene);
    return values;
}

void setFitness(QPopulation& population, const std::vector<double>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) population.individuals[i]->fitness = values[i];
}

std::vector<double> fitnessOf(const QPopulation& population) {
    std::vector<double> values;
    for (const auto& individual : population.individuals) values.push_back(individual->fitness);
    return values;
}

struct AlgorithmFixture : ::testing::Test {
    testing::ScratchDir scratch;
    QEAParameters params;
    GeneSumProblem problem;
    std::unique_ptr<QGeneticAlgorithm> algorithm;

    AlgorithmFixture() {
        params.rngSeed = 4242;
        params.encoding = kIntegerEncoding;
        params.chromosomeLength = 4;
        params.geneSize = 1;
        params.populationSize = 6;
        params.generationsNumber = 5;
        params.selectionType = Selection::Neutral;
        params.xType = Crossover::OnePoint;
        params.mutationType = Mutation::BitFlip;
        params.eliteCount = 2;
        params.problem = &problem;
    }

    QEvolutionaryAlgorithm& build() {
        seedForTest(params.rngSeed);
        algorithm = std::make_unique<QGeneticAlgorithm>();
        algorithm->setParameters(&params);
        return *algorithm;
    }
};

TEST_F(AlgorithmFixture, SetUpInitialisesThePopulationsInOrder) {
    QEvolutionaryAlgorithm& a = build();
    EXPECT_EQ(a.offspringPopulation->size(), 0);
    // The parent selector is always the random one: parentSelectorType (0 here) is not consulted.
    EXPECT_NE(dynamic_cast<QRandomParentSelector*>(a.crossover->parentSelector), nullptr);
    EXPECT_EQ(a.crossover->parentSelector->population, a.matingPool);
    EXPECT_EQ(a.summary.populationSizes, std::vector<double>(5, 6.0));

    // One draw per bit: current population, then mating pool, then offspring population.
    seedForTest(params.rngSeed);
    for (QPopulation* population : {a.currentPopulation, a.matingPool}) {
        for (int i = 0; i < 6; ++i) {
            std::vector<int> expected;
            for (int k = 0; k < 4; ++k) expected.push_back(0.5 > uniform() ? 1 : 0);
            EXPECT_EQ(genesOf(*population->getIndividual(i)), expected);
        }
    }
    for (int k = 0; k < 24; ++k) uniform();
    const double next = uniform();
    build();
    EXPECT_EQ(uniform(), next);
}

TEST_F(AlgorithmFixture, SetUpRejectsPairingsThatCanMakeNoChildren) {
    params.parentsNumber = 3;
    EXPECT_FAILURE(build(),
                "\\[QEvolutionaryAlgorithm::setParameters\\] error:\n\tCrossover needs exactly 2 parents "
                "\\(_params.parentsNumber = 3\\)");
    params.parentsNumber = 2;
    params.childrenNumber = 1;
    EXPECT_FAILURE(build(),
                "\\[QEvolutionaryAlgorithm::setParameters\\] error:\n\tCrossover needs at least 2 children "
                "\\(_params.childrenNumber = 1\\)");
    params.childrenNumber = 3;
    build();
    EXPECT_NE(algorithm->crossover, nullptr);
}

TEST_F(AlgorithmFixture, EvaluateRecordsStatisticsFirstHitAndConvergence) {
    params.errorLevel = 1.0;
    QEvolutionaryAlgorithm& a = build();
    QPopulation& current = *a.currentPopulation;
    const std::vector<std::vector<int>> chromosomes = {{1, 1, 0, 0}, {0, 0, 0, 1}, {1, 1, 1, 1},
                                                       {1, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 0, 1}};
    for (int i = 0; i < 6; ++i) setGenes(current, i, chromosomes[static_cast<std::size_t>(i)]);

    EXPECT_EQ(a.evaluate(), 1);
    EXPECT_EQ(a.summary.evaluationsCount, 6);
    EXPECT_DOUBLE_EQ(a.summary.meanFitness[0], 11.0 / 6.0);
    EXPECT_DOUBLE_EQ(a.summary.fitnessVariance[0], ((31.0 / 6.0 - (11.0 / 6.0) * (11.0 / 6.0)) * 6.0) / 5.0);
    EXPECT_EQ(a.summary.bestFitness[0], 0.0);
    EXPECT_EQ(a.summary.worstFitness[0], 4.0);
    // Fitness 1 equals the error level and is no hit; the empty chromosome is the first hit.
    EXPECT_EQ(a.summary.evaluationsToSolution, 5);
    EXPECT_EQ(a.summary.generationOfSolution, 0);
    ASSERT_NE(a.summary.solutionIndividual, nullptr);
    EXPECT_EQ(genesOf(*a.summary.solutionIndividual), (std::vector<int>{0, 0, 0, 0}));
    ASSERT_NE(a.summary.bestIndividual, nullptr);
    EXPECT_NE(a.summary.bestIndividual.get(), current.getIndividual(4));
    EXPECT_EQ(a.summary.convergenceGeneration, 0);

    // A uniform population converges at g + 1, once.
    for (int i = 0; i < 6; ++i) setGenes(current, i, {0, 1, 1, 0});
    a.evaluate();  // g = 0: too early to count
    EXPECT_EQ(a.summary.convergenceGeneration, 0);
    a.summary.generationsDone = 2;
    a.evaluate();
    EXPECT_EQ(a.summary.convergenceGeneration, 3);
    EXPECT_EQ(a.summary.evaluationsToSolution, 5);  // the first hit stays
    a.summary.generationsDone = 3;
    a.evaluate();
    EXPECT_EQ(a.summary.convergenceGeneration, 3);
    EXPECT_EQ(a.summary.evaluationsCount, 24);
}

TEST_F(AlgorithmFixture, EvaluateAsksToStopAfterTheFirstHitOnlyWhenToldTo) {
    params.errorLevel = 1.0;
    params.untilFirstHit = true;
    QEvolutionaryAlgorithm& a = build();
    for (int i = 0; i < 6; ++i) setGenes(*a.currentPopulation, i, {1, 0, 0, 0});
    EXPECT_EQ(a.evaluate(), 1);
    setGenes(*a.currentPopulation, 3, {0, 0, 0, 0});
    a.summary.generationsDone = 1;
    EXPECT_EQ(a.evaluate(), 0);
    EXPECT_EQ(a.summary.evaluationsToSolution, 10);
    EXPECT_EQ(a.summary.generationOfSolution, 1);
    setGenes(*a.currentPopulation, 3, {1, 1, 0, 0});
    a.summary.generationsDone = 2;
    EXPECT_EQ(a.evaluate(), 0);
}

TEST_F(AlgorithmFixture, EvaluateWithoutABestIndividualWarnsAndLogs) {
    problem.offset = 1e9;
    QEvolutionaryAlgorithm& a = build();
    ::testing::internal::CaptureStdout();
    a.evaluate();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "?");
    EXPECT_EQ(a.summary.bestIndividual, nullptr);
    a.log.flush();
    const std::string log = readFile("ga.log");
    EXPECT_EQ(log.rfind("strange results:\n\nPrinting population (6 individuals):\n", 0), 0u);
    EXPECT_EQ(log.substr(log.size() - 2), "\n\n");
}

TEST_F(AlgorithmFixture, SharingRescalesAfterTheRawStatisticsAreTaken) {
    params.nichingType = Niching::Sharing;
    params.sharingSigma = 1.5;
    QEvolutionaryAlgorithm& a = build();
    ASSERT_NE(a.niching, nullptr);
    EXPECT_EQ(static_cast<QFitnessSharing*>(a.niching)->getSigma(), 1.5);
    EXPECT_EQ(a.niching->population, a.currentPopulation);
    for (int i = 0; i < 6; ++i) setGenes(*a.currentPopulation, i, {1, 1, 1, 1});
    a.evaluate();
    EXPECT_EQ(a.summary.bestFitness[0], 4.0);
    EXPECT_EQ(a.summary.meanFitness[0], 4.0);
    EXPECT_EQ(a.summary.bestIndividual->fitness, 4.0);
    EXPECT_EQ(fitnessOf(*a.currentPopulation), std::vector<double>(6, 4.0 / 6.0));
}

// The same choice made literally: a scratch copy of the pool, repeatedly asked for its best
// individual, which is then removed.
std::vector<double> eliteByScratchCopy(const QPopulation& pool, int count) {
    auto scratch = pool.clone();
    std::vector<double> chosen;
    for (int e = 0; e < count; ++e) {
        const int best = scratch->getBestIndex(0.0);
        if (best < 0) break;
        chosen.push_back(scratch->getIndividual(best)->fitness);
        scratch->deleteIndividual(best);
    }
    return chosen;
}

TEST_F(AlgorithmFixture, EliteAreTheBestOfThePoolBestFirst) {
    QEvolutionaryAlgorithm& a = build();
    QPopulation& pool = *a.matingPool;
    setFitness(pool, {3.0, 1.0, 2.0, 1.0, 5.0, 0.5});
    for (int i = 0; i < 6; ++i) bits(pool, i).genes[0] = i;

    for (int count : {0, -4}) {
        a._params.eliteCount = count;
        a.selectElite();
        EXPECT_EQ(a.offspringPopulation->size(), 0);
    }

    a._params.eliteCount = 6;
    a.selectElite();
    EXPECT_EQ(fitnessOf(*a.offspringPopulation), (std::vector<double>{0.5, 1.0, 1.0, 2.0, 3.0, 5.0}));
    std::vector<int> origin;
    for (const auto& elite : a.offspringPopulation->individuals) origin.push_back(genesOf(*elite)[0]);
    EXPECT_EQ(origin, (std::vector<int>{5, 1, 3, 2, 0, 4}));  // ties: the earlier individual first
    EXPECT_EQ(fitnessOf(pool), (std::vector<double>{3.0, 1.0, 2.0, 1.0, 5.0, 0.5}));
    EXPECT_NE(a.offspringPopulation->getIndividual(0), pool.getIndividual(5));

    // Values at or below 0 stop the running minimum early, as in getBestIndex.
    seedForTest(17);
    const double choices[] = {3.0, 1.0, 0.0, -1.0, -5.0, 2.0, 1e9 - 1.0};
    for (int trial = 0; trial < 200; ++trial) {
        for (auto& individual : pool.individuals) individual->fitness = choices[uniformInt(7)];
        const int count = 1 + uniformInt(6);
        a.offspringPopulation->clear();
        a._params.eliteCount = count;
        a.selectElite();
        EXPECT_EQ(fitnessOf(*a.offspringPopulation), eliteByScratchCopy(pool, count)) << "trial " << trial;
    }
}

TEST_F(AlgorithmFixture, EliteSelectionErrorsEndTheProcess) {
    QEvolutionaryAlgorithm& a = build();
    a._params.eliteCount = 7;
    EXPECT_FAILURE(a.selectElite(),
                "^\n\n\\[QEvolutionaryAlgorithm::selectElite\\] error:\n\tNumber of elite individuals exceeds total "
                "number of individuals\n\n$");

    a._params.eliteCount = 2;
    setFitness(*a.matingPool, {1e9, 1.0, 2e9, 1e9, 1e10, 3e9});
    EXPECT_FAILURE(a.selectElite(),
                "^\n\n\\[QEvolutionaryAlgorithm::selectElite\\] error:\n\tUnable to perform elite selection\n\n$");
    a.log.flush();
    const std::string log = readFile("ga.log");
    EXPECT_EQ(log.rfind("\n\n[QEvolutionaryAlgorithm::selectElite] error:\n\tUnable to perform elite selection\n\n"
                        "\nPrinting population (6 individuals):\n",
                        0),
              0u);
}

TEST_F(AlgorithmFixture, CrowdingArrangesThePoolByCoinFlipsAndLeavesMutationToTheCrowding) {
    params.nichingType = Niching::DeterministicCrowding;
    QEvolutionaryAlgorithm& a = build();
    ASSERT_NE(dynamic_cast<QDeterministicCrowding*>(a.niching), nullptr);
    for (int i = 0; i < 6; ++i) bits(*a.currentPopulation, i).genes[0] = 10 + i;
    seedForTest(8);
    a.select();
    seedForTest(8);
    std::vector<int> expected;
    for (int i = 0; i < 6; ++i) {
        if (coinFlip()) {
            expected.push_back(10 + i);
        } else {
            expected.insert(expected.begin(), 10 + i);
        }
    }
    std::vector<int> arranged;
    for (const auto& individual : a.matingPool->individuals) arranged.push_back(genesOf(*individual)[0]);
    EXPECT_EQ(arranged, expected);

    a.offspringPopulation->appendIndividual(*a.currentPopulation->getIndividual(0));
    const std::vector<int> before = genesOf(*a.offspringPopulation->getIndividual(0));
    a._params.mRate = 1.0;
    const double next = uniform();
    seedForTest(8);
    for (int i = 0; i < 6; ++i) coinFlip();
    a.mutate();
    EXPECT_EQ(uniform(), next);  // no draw
    EXPECT_EQ(genesOf(*a.offspringPopulation->getIndividual(0)), before);
}

TEST_F(AlgorithmFixture, CrowdingEvaluatesOnlyTheFirstGenerationButCountsEveryOne) {
    params.nichingType = Niching::DeterministicCrowding;
    params.errorLevel = 0.5;
    QEvolutionaryAlgorithm& a = build();
    for (int i = 0; i < 6; ++i) setGenes(*a.currentPopulation, i, {1, 0, 0, 0});
    problem.evaluations = 0;
    EXPECT_EQ(a.evaluate(), 1);
    EXPECT_EQ(problem.evaluations, 6);
    a.summary.generationsDone = 1;
    a.currentPopulation->getIndividual(2)->fitness = 0.0;  // as the crowding step left it
    EXPECT_EQ(a.evaluate(), 1);
    EXPECT_EQ(problem.evaluations, 6);
    EXPECT_EQ(a.summary.evaluationsCount, 12);
    EXPECT_EQ(a.summary.evaluationsToSolution, 9);
    EXPECT_EQ(a.summary.solutionIndividual, nullptr);  // no copy under crowding
    EXPECT_EQ(a.summary.bestFitness[1], 0.0);

    ::testing::internal::CaptureStdout();
    a.finish();  // after the first generation nothing is evaluated again, nothing is printed
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(problem.evaluations, 6);
    EXPECT_EQ(a.summary.evaluationsCount, 18);
    EXPECT_EQ(a.summary.bestIndividual->fitness, 0.0);
}

TEST_F(AlgorithmFixture, RecombineFillsToTheTargetAndSkipsAMissingCrossover) {
    QEvolutionaryAlgorithm& a = build();
    a.selectElite();
    a.recombine();
    EXPECT_EQ(a.offspringPopulation->size(), 6);

    // Already full: no pairing and no draw, only the truncation.
    a.offspringPopulation->copy(*a.matingPool);
    a.offspringPopulation->appendIndividual(*a.matingPool->getIndividual(0));
    seedForTest(1);
    const double first = uniform();
    seedForTest(1);
    a.recombine();
    EXPECT_EQ(uniform(), first);
    EXPECT_EQ(a.offspringPopulation->size(), 6);

    a.offspringPopulation->clear();
    a.crossover = nullptr;
    a.recombine();
    EXPECT_EQ(a.offspringPopulation->size(), 0);
}

TEST_F(AlgorithmFixture, RecombineGivesUpWhenCloneRemovalRejectsEveryChild) {
    params.removeClones = true;
    params.unitsRatio = 0.0;  // every chromosome all zeros: every child is a clone of the elite
    QEvolutionaryAlgorithm& a = build();
    a.selectElite();
    EXPECT_FAILURE(a.recombine(),
                "\\[QEvolutionaryAlgorithm::recombine\\] error:\n\tNo child could be added to the offspring "
                "population in 50000 crossover steps in a row \\(clone removal rejected every child\\)");
}

TEST_F(AlgorithmFixture, FinishReportsTheLastRecordedGenerationAndConvergenceAtTheEnd) {
    QEvolutionaryAlgorithm& a = build();
    for (int i = 0; i < 6; ++i) setGenes(*a.currentPopulation, i, {1, 0, 0, i % 2});
    a.evaluate();
    ::testing::internal::CaptureStdout();
    a.finish();  // no generation completed: generation 0's values
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Final best fitness = 1\nFinal worst fitness = 2\nConvergence generation = 0\n");
    EXPECT_EQ(a.summary.evaluationsCount, 12);

    // A completed run whose last generation is uniform converges at its end.
    a.summary.generationsDone = 5;
    a.summary.bestFitness[4] = a.summary.worstFitness[4] = 0.25;
    ::testing::internal::CaptureStdout();
    a.finish();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Final best fitness = 0.25\nFinal worst fitness = 0.25\nConvergence generation = 0\n");
    EXPECT_EQ(a.summary.convergenceGeneration, 5);

    // A run stopped early tests the generation it stopped in.
    a.summary.convergenceGeneration = 0;
    a.summary.generationsDone = 2;
    a.summary.bestFitness[2] = 3.0;
    a.summary.worstFitness[2] = 3.0;
    ::testing::internal::CaptureStdout();
    a.finish();
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(a.summary.convergenceGeneration, 3);

    // A first hit met only by the final evaluation is counted but keeps no solution copy.
    a._params.errorLevel = 1.5;
    ::testing::internal::CaptureStdout();
    a.finish();
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(a.summary.evaluationsToSolution, 25);
    EXPECT_EQ(a.summary.generationOfSolution, 2);
    EXPECT_EQ(a.summary.solutionIndividual, nullptr);
}

struct Snapshot {
    std::vector<int> genes;
    double fitness;
    int niche;
    std::vector<double> components;
    const QEAParameters* params;
    bool operator==(const Snapshot&) const = default;
};

std::vector<Snapshot> snapshot(const QPopulation& population) {
    std::vector<Snapshot> result;
    for (const auto& individual : population.individuals) {
        result.push_back({genesOf(*individual), individual->fitness, individual->nicheNumber,
                          individual->fitnessComponents, individual->_params});
    }
    return result;
}

TEST_F(AlgorithmFixture, ReplaceLeavesTheOffspringAsTheCurrentPopulation) {
    QEvolutionaryAlgorithm& a = build();
    for (int size : {6, 4}) {
        a.offspringPopulation->clear();
        for (int i = 0; i < size; ++i) {
            a.offspringPopulation->addNewIndividual();
            QIndividual& child = *a.offspringPopulation->getIndividual(i);
            setGenes(*a.offspringPopulation, i, {i % 2, 1, i / 2, 0});
            child.fitness = 0.5 * i;
            child.nicheNumber = 3 + i;
            child.fitnessComponents = {1.0 * i, -2.0};
        }
        const std::vector<Snapshot> expected = snapshot(*a.offspringPopulation);
        EXPECT_EQ(expected[0].params, &a._params);
        a.replace();
        EXPECT_EQ(snapshot(*a.currentPopulation), expected) << size << " offspring";
        EXPECT_EQ(a.currentPopulation->_params, &a._params);
        EXPECT_EQ(a.offspringPopulation->size(), 0);
    }
}

TEST_F(AlgorithmFixture, ACloneSharesTheFactoryAndStartsFresh) {
    QEvolutionaryAlgorithm& a = build();
    a.evaluate();
    auto copy = a.clone();
    ASSERT_NE(dynamic_cast<QGeneticAlgorithm*>(copy.get()), nullptr);
    EXPECT_EQ(copy->factory, a.factory);
    EXPECT_EQ(copy->_params.populationSize, 6);
    EXPECT_EQ(copy->summary.evaluationsCount, 0);
    EXPECT_FALSE(copy->log.is_open());
    EXPECT_EQ(copy->currentPopulation, nullptr);
    EXPECT_EQ(a.factory.use_count(), 2);
    algorithm.reset();  // the clone keeps the factory alive
    EXPECT_EQ(copy->factory.use_count(), 1);
}

}  // namespace
}  // namespace Valdrin
