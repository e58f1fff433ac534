// Tests of the generation steps shared by the algorithms: set-up, evaluation and its records,
// selection under crowding, elite selection, recombination, mutation, replacement, the final
// report and the clean-up.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "algorithms/algorithm.h"
#include "core/random.h"
#include "operators/niching.h"
#include "operators/selection.h"
#include "representation/integer.h"
#include "support/algorithm_fixture.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::AlgorithmBench;
using testing::GeneSumProblem;
using testing::RecordingPartsMaker;
using testing::seedForTest;
using testing::smallRecord;

// Every step as the base defines it (as the genetic algorithm takes them), with the run record
// and the algorithm's copy of the parameter record open to the test, so that a step can be
// tried in any generation and under any setting.
class OpenAlgorithm final : public QEvolutionaryAlgorithm {
public:
    explicit OpenAlgorithm(Engine& engine) : QEvolutionaryAlgorithm(engine, "steps.log") {}
    QRunSummary& summary() { return summary_; }
    QEAParameters& settings() { return params_; }
    int printName(std::ostream& out) const override {
        out << "open algorithm\n";
        return 1;
    }

protected:
    const char* runErrorHeader() const override { return "\n\n[OpenAlgorithm::run] error:\n"; }
};

// Makes what the registry makes except the crossover, as for an encoding without one.
class MakerWithoutCrossover final : public PartsMaker {
public:
    AlgorithmParts make(const QEAParameters& params) const override {
        AlgorithmParts parts = RegistryPartsMaker{}.make(params);
        parts.crossover.reset();
        return parts;
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
    for (const auto gene : static_cast<const QIntegerIndividual&>(individual).genes) values.push_back(gene);
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

struct AlgorithmTest : ::testing::Test {
    QEAParameters params = smallRecord(Encoding::Integer);  // 6 individuals of 4 one-bit genes, 5 generations
    AlgorithmBench<OpenAlgorithm> bench;
    GeneSumProblem& problem = bench.useProblem<GeneSumProblem>();

    AlgorithmTest() {
        params.rngSeed = 4242;
        params.selectionType = Selection::Neutral;
        params.eliteCount = 2;
    }

    OpenAlgorithm& setUp() { return bench.setUp(params); }
};

// ---------------------------------------------------------------------------------------------
// Set-up and clean-up

TEST_F(AlgorithmTest, SetUpInitialisesThePopulationsInOrder) {
    params.parentSelectorType = ParentSelection::Unspecified;
    OpenAlgorithm& a = setUp();
    EXPECT_EQ(a.currentPopulation().size(), 6);
    EXPECT_EQ(a.matingPool().size(), 6);
    EXPECT_EQ(a.offspringPopulation().size(), 0);
    // The parent selector is always the random one: parentSelectorType is not consulted.
    EXPECT_NE(dynamic_cast<const QRandomParentSelector*>(a.parts().parentSelector.get()), nullptr);
    // Per-generation records grow as generations happen: none before the first.
    EXPECT_TRUE(a.runSummary().populationSizes.empty());

    // One draw per bit: current population, then mating pool, then offspring population.
    seedForTest(params.rngSeed);
    for (QPopulation* population : {&a.currentPopulation(), &a.matingPool()}) {
        for (int i = 0; i < 6; ++i) {
            std::vector<int> expected;
            for (int k = 0; k < 4; ++k) expected.push_back(0.5 > uniform() ? 1 : 0);
            EXPECT_EQ(genesOf(*population->getIndividual(i)), expected);
        }
    }
    for (int k = 0; k < 24; ++k) uniform();
    const double next = uniform();
    setUp();
    EXPECT_EQ(uniform(), next);
}

TEST_F(AlgorithmTest, SetUpRejectsPairingsThatCanMakeNoChildren) {
    params.parentsNumber = 3;
    EXPECT_FAILURE(setUp(),
                   "^\n\n\\[QEvolutionaryAlgorithm::setParameters\\] error:\n\tCrossover needs exactly 2 parents "
                   "\\(_params.parentsNumber = 3\\)\n\n$");
    params.parentsNumber = 2;
    params.childrenNumber = 1;
    EXPECT_FAILURE(setUp(),
                   "^\n\n\\[QEvolutionaryAlgorithm::setParameters\\] error:\n\tCrossover needs at least 2 children "
                   "\\(_params.childrenNumber = 1\\)\n\n$");
    params.childrenNumber = 3;
    EXPECT_NE(setUp().parts().crossover, nullptr);

    // Without a crossover there is no pairing to refuse.
    params.parentsNumber = 3;
    params.childrenNumber = 1;
    const OpenAlgorithm& asexual = bench.setUp(params, MakerWithoutCrossover{});
    EXPECT_EQ(asexual.parts().crossover, nullptr);
    EXPECT_EQ(asexual.parameters().parentsNumber, 3);
}

TEST_F(AlgorithmTest, SetUpMakesThePartsThroughTheGivenMakerFromItsOwnCopy) {
    RecordingPartsMaker maker;
    OpenAlgorithm& a = bench.setUp(params, maker);
    EXPECT_EQ(maker.calls, 1);
    EXPECT_EQ(maker.lastRecord.rngSeed, 4242u);
    EXPECT_EQ(maker.lastRecord.encoding, Encoding::Integer);

    // Changing the caller's record afterwards changes nothing the algorithm works with.
    params.populationSize = 99;
    params.mRate = 0.75;
    EXPECT_EQ(a.parameters().populationSize, 6);
    EXPECT_EQ(a.parameters().mRate, smallRecord(Encoding::Integer).mRate);

    // Populations, individuals and operators are all bound to the algorithm's own copy.
    const QEAParameters* own = &a.parameters();
    for (const QPopulation* population : {&a.currentPopulation(), &a.matingPool(), &a.offspringPopulation()}) {
        EXPECT_EQ(population->_params, own);
    }
    for (const auto& individual : a.currentPopulation().individuals) EXPECT_EQ(individual->_params, own);
    const AlgorithmParts& parts = a.parts();
    EXPECT_EQ(parts.initializer->parameters(), own);
    EXPECT_EQ(parts.selection->parameters(), own);
    EXPECT_EQ(parts.parentSelector->parameters(), own);
    EXPECT_EQ(parts.sizer->parameters(), own);
    EXPECT_EQ(parts.crossover->parameters(), own);
    EXPECT_EQ(parts.mutation->parameters(), own);
    EXPECT_EQ(parts.niching, nullptr);  // no niching asked for
}

TEST_F(AlgorithmTest, CleanupLetsGoOfThePartsAndASecondSetUpStartsAfresh) {
    OpenAlgorithm& a = setUp();
    bench.runCapturingOutput();
    const std::vector<double> firstRun = a.runSummary().meanFitness;
    ASSERT_GT(a.runSummary().evaluationsCount, 0);

    EXPECT_EQ(a.cleanup(), 1);
    const AlgorithmParts& parts = a.parts();
    EXPECT_EQ(parts.currentPopulation, nullptr);
    EXPECT_EQ(parts.matingPool, nullptr);
    EXPECT_EQ(parts.offspringPopulation, nullptr);
    EXPECT_EQ(parts.initializer, nullptr);
    EXPECT_EQ(parts.niching, nullptr);
    EXPECT_EQ(parts.selection, nullptr);
    EXPECT_EQ(parts.parentSelector, nullptr);
    EXPECT_EQ(parts.sizer, nullptr);
    EXPECT_EQ(parts.crossover, nullptr);
    EXPECT_EQ(parts.mutation, nullptr);
    EXPECT_EQ(a.runSummary().evaluationsCount, 0);
    EXPECT_EQ(a.runSummary().bestIndividual, nullptr);

    // The same object set up again from the same seed repeats the run exactly.
    seedForTest(params.rngSeed);
    a.setUp(params, RegistryPartsMaker{}, problem);
    EXPECT_EQ(a.currentPopulation().size(), 6);
    bench.runCapturingOutput();
    EXPECT_EQ(a.runSummary().meanFitness, firstRun);
}

// ---------------------------------------------------------------------------------------------
// Evaluation

TEST_F(AlgorithmTest, EvaluateRecordsStatisticsFirstHitAndConvergence) {
    params.errorLevel = 1.0;
    OpenAlgorithm& a = setUp();
    QPopulation& current = a.currentPopulation();
    const QRunSummary& record = a.runSummary();
    const std::vector<std::vector<int>> chromosomes = {{1, 1, 0, 0}, {0, 0, 0, 1}, {1, 1, 1, 1},
                                                       {1, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 0, 1}};
    for (int i = 0; i < 6; ++i) setGenes(current, i, chromosomes[static_cast<std::size_t>(i)]);

    EXPECT_EQ(a.evaluate(), 1);
    EXPECT_EQ(record.evaluationsCount, 6);
    EXPECT_EQ(problem.evaluations, 6);
    EXPECT_DOUBLE_EQ(record.meanFitness[0], 11.0 / 6.0);
    EXPECT_DOUBLE_EQ(record.fitnessVariance[0], ((31.0 / 6.0 - (11.0 / 6.0) * (11.0 / 6.0)) * 6.0) / 5.0);
    EXPECT_EQ(record.bestFitness[0], 0.0);
    EXPECT_EQ(record.worstFitness[0], 4.0);
    // Fitness 1 equals the error level and is no hit; the empty chromosome is the first hit.
    EXPECT_EQ(record.evaluationsToSolution, 5);
    EXPECT_EQ(record.generationOfSolution, 0);
    ASSERT_NE(record.solutionIndividual, nullptr);
    EXPECT_EQ(genesOf(*record.solutionIndividual), (std::vector<int>{0, 0, 0, 0}));
    ASSERT_NE(record.bestIndividual, nullptr);
    EXPECT_NE(record.bestIndividual.get(), current.getIndividual(4));  // a copy
    EXPECT_EQ(record.convergenceGeneration, 0);

    // A uniform population converges at g + 1, once.
    for (int i = 0; i < 6; ++i) setGenes(current, i, {0, 1, 1, 0});
    a.evaluate();  // g = 0: too early to count
    EXPECT_EQ(record.convergenceGeneration, 0);
    a.summary().generationsDone = 2;
    a.evaluate();
    EXPECT_EQ(record.convergenceGeneration, 3);
    EXPECT_EQ(record.evaluationsToSolution, 5);  // the first hit stays
    a.summary().generationsDone = 3;
    a.evaluate();
    EXPECT_EQ(record.convergenceGeneration, 3);
    EXPECT_EQ(record.evaluationsCount, 24);
}

TEST_F(AlgorithmTest, EvaluateAsksToStopAfterTheFirstHitOnlyWhenToldTo) {
    params.errorLevel = 1.0;
    params.untilFirstHit = true;
    OpenAlgorithm& a = setUp();
    for (int i = 0; i < 6; ++i) setGenes(a.currentPopulation(), i, {1, 0, 0, 0});
    EXPECT_EQ(a.evaluate(), 1);
    setGenes(a.currentPopulation(), 3, {0, 0, 0, 0});
    a.summary().generationsDone = 1;
    EXPECT_EQ(a.evaluate(), 0);
    EXPECT_EQ(a.runSummary().evaluationsToSolution, 10);
    EXPECT_EQ(a.runSummary().generationOfSolution, 1);
    setGenes(a.currentPopulation(), 3, {1, 1, 0, 0});
    a.summary().generationsDone = 2;
    EXPECT_EQ(a.evaluate(), 0);

    // Without untilFirstHit the same hit does not ask to stop.
    params.untilFirstHit = false;
    OpenAlgorithm& patient = setUp();
    setGenes(patient.currentPopulation(), 3, {0, 0, 0, 0});
    EXPECT_EQ(patient.evaluate(), 1);
    EXPECT_NE(patient.runSummary().evaluationsToSolution, 0);
}

TEST_F(AlgorithmTest, EvaluateWithoutABestIndividualWarnsAndLogs) {
    problem.offset = 1e9;
    OpenAlgorithm& a = setUp();
    ::testing::internal::CaptureStdout();
    a.evaluate();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "?");
    EXPECT_EQ(a.runSummary().bestIndividual, nullptr);
    const std::string log = bench.log("steps.log");
    EXPECT_EQ(log.rfind("strange results:\n\nPrinting population (6 individuals):\n", 0), 0u);
    EXPECT_EQ(log.substr(log.size() - 2), "\n\n");
}

TEST_F(AlgorithmTest, SharingRescalesAfterTheRawStatisticsAreTaken) {
    params.nichingType = Niching::Sharing;
    params.sharingSigma = 1.5;
    OpenAlgorithm& a = setUp();
    const auto* sharing = dynamic_cast<const QFitnessSharing*>(a.parts().niching.get());
    ASSERT_NE(sharing, nullptr);
    EXPECT_EQ(sharing->getSigma(), 1.5);
    for (int i = 0; i < 6; ++i) setGenes(a.currentPopulation(), i, {1, 1, 1, 1});
    a.evaluate();
    EXPECT_EQ(a.runSummary().bestFitness[0], 4.0);
    EXPECT_EQ(a.runSummary().meanFitness[0], 4.0);
    EXPECT_EQ(a.runSummary().bestIndividual->fitness, 4.0);
    // The current population is shared: six equal individuals in one niche.
    EXPECT_EQ(fitnessOf(a.currentPopulation()), std::vector<double>(6, 4.0 / 6.0));
}

// ---------------------------------------------------------------------------------------------
// Elite selection

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

TEST_F(AlgorithmTest, EliteAreTheBestOfThePoolBestFirst) {
    OpenAlgorithm& a = setUp();
    QPopulation& pool = a.matingPool();
    QPopulation& offspring = a.offspringPopulation();
    setFitness(pool, {3.0, 1.0, 2.0, 1.0, 5.0, 0.5});
    for (int i = 0; i < 6; ++i) bits(pool, i).genes[0] = i;

    for (int count : {0, -4}) {
        a.settings().eliteCount = count;
        a.selectElite();
        EXPECT_EQ(offspring.size(), 0);
    }

    a.settings().eliteCount = 6;
    a.selectElite();
    EXPECT_EQ(fitnessOf(offspring), (std::vector<double>{0.5, 1.0, 1.0, 2.0, 3.0, 5.0}));
    std::vector<int> origin;
    for (const auto& elite : offspring.individuals) origin.push_back(genesOf(*elite)[0]);
    EXPECT_EQ(origin, (std::vector<int>{5, 1, 3, 2, 0, 4}));  // ties: the earlier individual first
    EXPECT_EQ(fitnessOf(pool), (std::vector<double>{3.0, 1.0, 2.0, 1.0, 5.0, 0.5}));
    EXPECT_NE(offspring.getIndividual(0), pool.getIndividual(5));

    // Values at or below 0 stop the running minimum early, as in getBestIndex.
    seedForTest(17);
    const double choices[] = {3.0, 1.0, 0.0, -1.0, -5.0, 2.0, 1e9 - 1.0};
    for (int trial = 0; trial < 200; ++trial) {
        for (auto& individual : pool.individuals) individual->fitness = choices[uniformInt(7)];
        const int count = 1 + uniformInt(6);
        offspring.clear();
        a.settings().eliteCount = count;
        a.selectElite();
        EXPECT_EQ(fitnessOf(offspring), eliteByScratchCopy(pool, count)) << "trial " << trial;
    }
}

TEST_F(AlgorithmTest, EliteSelectionErrorsEndTheExperiment) {
    OpenAlgorithm& a = setUp();
    a.settings().eliteCount = 7;
    EXPECT_FAILURE(a.selectElite(),
                   "^\n\n\\[QEvolutionaryAlgorithm::selectElite\\] error:\n\tNumber of elite individuals exceeds "
                   "total number of individuals\n\n$");

    a.settings().eliteCount = 2;
    setFitness(a.matingPool(), {1e9, 1.0, 2e9, 1e9, 1e10, 3e9});
    EXPECT_FAILURE(a.selectElite(),
                   "^\n\n\\[QEvolutionaryAlgorithm::selectElite\\] error:\n\tUnable to perform elite selection\n\n$");
    const std::string log = bench.log("steps.log");
    EXPECT_EQ(log.rfind("\n\n[QEvolutionaryAlgorithm::selectElite] error:\n\tUnable to perform elite selection\n\n"
                        "\nPrinting population (6 individuals):\n",
                        0),
              0u);
}

// ---------------------------------------------------------------------------------------------
// Deterministic crowding

TEST_F(AlgorithmTest, CrowdingArrangesThePoolByCoinFlipsAndLeavesMutationToTheCrowding) {
    params.nichingType = Niching::DeterministicCrowding;
    OpenAlgorithm& a = setUp();
    ASSERT_NE(dynamic_cast<const QDeterministicCrowding*>(a.parts().niching.get()), nullptr);
    for (int i = 0; i < 6; ++i) bits(a.currentPopulation(), i).genes[0] = 10 + i;
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
    for (const auto& individual : a.matingPool().individuals) arranged.push_back(genesOf(*individual)[0]);
    EXPECT_EQ(arranged, expected);

    a.offspringPopulation().appendIndividual(*a.currentPopulation().getIndividual(0));
    const std::vector<int> before = genesOf(*a.offspringPopulation().getIndividual(0));
    a.settings().mRate = 1.0;
    const double next = uniform();
    seedForTest(8);
    for (int i = 0; i < 6; ++i) coinFlip();
    a.mutate();
    EXPECT_EQ(uniform(), next);  // no draw
    EXPECT_EQ(genesOf(*a.offspringPopulation().getIndividual(0)), before);
}

TEST_F(AlgorithmTest, CrowdingEvaluatesOnlyTheFirstGenerationButCountsEveryOne) {
    params.nichingType = Niching::DeterministicCrowding;
    params.errorLevel = 0.5;
    OpenAlgorithm& a = setUp();
    const QRunSummary& record = a.runSummary();
    for (int i = 0; i < 6; ++i) setGenes(a.currentPopulation(), i, {1, 0, 0, 0});
    problem.evaluations = 0;
    EXPECT_EQ(a.evaluate(), 1);
    EXPECT_EQ(problem.evaluations, 6);
    a.summary().generationsDone = 1;
    a.currentPopulation().getIndividual(2)->fitness = 0.0;  // as the crowding step left it
    EXPECT_EQ(a.evaluate(), 1);
    EXPECT_EQ(problem.evaluations, 6);
    EXPECT_EQ(record.evaluationsCount, 12);
    EXPECT_EQ(record.evaluationsToSolution, 9);
    EXPECT_EQ(record.solutionIndividual, nullptr);  // no copy under crowding
    EXPECT_EQ(record.bestFitness[1], 0.0);

    ::testing::internal::CaptureStdout();
    a.finish();  // after the first generation nothing is evaluated again, nothing is printed
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(problem.evaluations, 6);
    EXPECT_EQ(record.evaluationsCount, 18);
    EXPECT_EQ(record.bestIndividual->fitness, 0.0);
}

// ---------------------------------------------------------------------------------------------
// Recombination, replacement and the final report

TEST_F(AlgorithmTest, RecombineFillsToTheTargetAndSkipsAMissingCrossover) {
    OpenAlgorithm& a = setUp();
    a.selectElite();
    a.recombine();
    EXPECT_EQ(a.offspringPopulation().size(), 6);

    // Already full: no pairing and no draw, only the truncation.
    a.offspringPopulation().copy(a.matingPool());
    a.offspringPopulation().appendIndividual(*a.matingPool().getIndividual(0));
    seedForTest(1);
    const double first = uniform();
    seedForTest(1);
    a.recombine();
    EXPECT_EQ(uniform(), first);
    EXPECT_EQ(a.offspringPopulation().size(), 6);

    // Without a crossover nothing is paired.
    OpenAlgorithm& asexual = bench.setUp(params, MakerWithoutCrossover{});
    asexual.recombine();
    EXPECT_EQ(asexual.offspringPopulation().size(), 0);
}

TEST_F(AlgorithmTest, RecombineGivesUpWhenCloneRemovalRejectsEveryChild) {
    params.removeClones = true;
    params.unitsRatio = 0.0;  // every chromosome all zeros: every child is a clone of the elite
    OpenAlgorithm& a = setUp();
    a.selectElite();
    EXPECT_FAILURE(a.recombine(),
                   "\\[QEvolutionaryAlgorithm::recombine\\] error:\n\tNo child could be added to the offspring "
                   "population in 50000 crossover steps in a row \\(clone removal rejected every child\\)");
}

TEST_F(AlgorithmTest, FinishReportsTheLastRecordedGenerationAndConvergenceAtTheEnd) {
    OpenAlgorithm& a = setUp();
    QRunSummary& record = a.summary();
    for (int i = 0; i < 6; ++i) setGenes(a.currentPopulation(), i, {1, 0, 0, i % 2});
    a.evaluate();
    ::testing::internal::CaptureStdout();
    a.finish();  // no generation completed: generation 0's values
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Final best fitness = 1\nFinal worst fitness = 2\nConvergence generation = 0\n");
    EXPECT_EQ(record.evaluationsCount, 12);

    // A completed run whose last generation is uniform converges at its end.
    record.generationsDone = 5;
    record.reserveGeneration(4, 6);
    record.bestFitness[4] = record.worstFitness[4] = 0.25;
    ::testing::internal::CaptureStdout();
    a.finish();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Final best fitness = 0.25\nFinal worst fitness = 0.25\nConvergence generation = 0\n");
    EXPECT_EQ(record.convergenceGeneration, 5);

    // A run stopped early tests the generation it stopped in.
    record.convergenceGeneration = 0;
    record.generationsDone = 2;
    record.bestFitness[2] = 3.0;
    record.worstFitness[2] = 3.0;
    ::testing::internal::CaptureStdout();
    a.finish();
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(record.convergenceGeneration, 3);

    // A first hit met only by the final evaluation is counted but keeps no solution copy.
    a.settings().errorLevel = 1.5;
    ::testing::internal::CaptureStdout();
    a.finish();
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(record.evaluationsToSolution, 25);
    EXPECT_EQ(record.generationOfSolution, 2);
    EXPECT_EQ(record.solutionIndividual, nullptr);
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

TEST_F(AlgorithmTest, ReplaceLeavesTheOffspringAsTheCurrentPopulation) {
    OpenAlgorithm& a = setUp();
    QPopulation& offspring = a.offspringPopulation();
    for (int size : {6, 4}) {
        offspring.clear();
        for (int i = 0; i < size; ++i) {
            offspring.addNewIndividual();
            QIndividual& child = *offspring.getIndividual(i);
            setGenes(offspring, i, {i % 2, 1, i / 2, 0});
            child.fitness = 0.5 * i;
            child.nicheNumber = 3 + i;
            child.fitnessComponents = {1.0 * i, -2.0};
        }
        const std::vector<Snapshot> expected = snapshot(offspring);
        EXPECT_EQ(expected[0].params, &a.parameters());
        a.replace();
        EXPECT_EQ(snapshot(a.currentPopulation()), expected) << size << " offspring";
        EXPECT_EQ(a.currentPopulation()._params, &a.parameters());
        EXPECT_EQ(offspring.size(), 0);
    }
}

}  // namespace
}  // namespace Valdrin
