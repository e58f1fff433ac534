// Tests of the run record: owned individuals through copies and clearing, and the clock unit.
#include "statistics/run_summary.h"

#include <gtest/gtest.h>

#include <ctime>
#include <limits>
#include <tuple>

#include "core/processor_clock.h"
#include "representation/integer.h"

namespace Valdrin {
namespace {

std::unique_ptr<QIndividual> individualWithFitness(double fitness) {
    auto individual = std::make_unique<QIntegerIndividual>();
    individual->fitness = fitness;
    return individual;
}

QRunSummary filledRecord() {
    QRunSummary record;
    record.generationsDone = 3;
    record.evaluationsCount = 150;
    record.meanFitness = {3.0, 2.0, 1.0};
    record.fitnessVariance = {0.5, 0.25, 0.125};
    record.bestFitness = {1.0, 0.5, 0.001};
    record.worstFitness = {9.0, 8.0, 7.0};
    record.populationSizes = {50.0, 50.0, 60.0};
    record.evaluationsByGeneration = {50, 100, 160};
    record.improvements = {{1, 9.0}, {12, 2.5}, {140, 0.001}};
    record.startClock = 1000;
    record.endClock = 4500;
    record.hitClock = 4000;
    record.duration = 3.5;
    record.timeToSolution = 3.0;
    record.evaluationsToSolution = 140;
    record.generationOfSolution = 2;
    record.convergenceGeneration = 3;
    record.bestIndividual = individualWithFitness(0.001);
    record.solutionIndividual = individualWithFitness(0.002);
    return record;
}

auto valuesOf(const QRunSummary& r) {
    return std::tie(r.generationsDone, r.evaluationsCount, r.meanFitness, r.fitnessVariance,
                    r.bestFitness, r.worstFitness, r.populationSizes, r.evaluationsByGeneration, r.improvements,
                    r.startClock, r.endClock, r.hitClock,
                    r.duration, r.timeToSolution, r.evaluationsToSolution, r.generationOfSolution,
                    r.convergenceGeneration);
}

void expectSameValues(const QRunSummary& a, const QRunSummary& b) { EXPECT_EQ(valuesOf(a), valuesOf(b)); }

void expectClonedIndividuals(const QRunSummary& copy, const QRunSummary& original) {
    ASSERT_TRUE(copy.bestIndividual && copy.solutionIndividual);
    EXPECT_NE(copy.bestIndividual.get(), original.bestIndividual.get());
    EXPECT_NE(copy.solutionIndividual.get(), original.solutionIndividual.get());
    EXPECT_EQ(copy.bestIndividual->fitness, 0.001);
    EXPECT_EQ(copy.solutionIndividual->fitness, 0.002);
}

TEST(RunSummary, CopiesCloneTheIndividualsTheSourceHolds) {
    const QRunSummary original = filledRecord();
    const QRunSummary constructed(original);
    expectSameValues(constructed, original);
    expectClonedIndividuals(constructed, original);

    QRunSummary assigned;
    assigned.bestIndividual = individualWithFitness(7.0);
    assigned.meanFitness = {42.0};
    assigned = original;
    expectSameValues(assigned, original);
    expectClonedIndividuals(assigned, original);

    QRunSummary& alias = assigned;
    assigned = alias;
    expectClonedIndividuals(assigned, original);

    // A source without individuals leaves the target without them.
    assigned = QRunSummary();
    EXPECT_FALSE(assigned.bestIndividual || assigned.solutionIndividual);
    QRunSummary unsolved = filledRecord();
    unsolved.solutionIndividual.reset();
    const QRunSummary unsolvedCopy(unsolved);
    EXPECT_TRUE(unsolvedCopy.bestIndividual && !unsolvedCopy.solutionIndividual);
}

TEST(RunSummary, ClearResetsEverythingAndDestroysTheIndividuals) {
    QRunSummary record = filledRecord();
    EXPECT_EQ(record.clear(), 1);
    expectSameValues(record, QRunSummary());
    EXPECT_FALSE(record.bestIndividual || record.solutionIndividual);
}

// A run reserves one generation at a time, as evaluate does: the series hold the generations
// recorded and nothing for those to come.
TEST(RunSummary, SeriesGrowWithTheGenerationsReserved) {
    QRunSummary record;
    for (int g = 0; g < 1000; ++g) {
        record.reserveGeneration(g, 7);
        record.bestFitness[static_cast<std::size_t>(g)] = g;
        for (const auto* series : {&record.meanFitness, &record.fitnessVariance, &record.bestFitness,
                                   &record.worstFitness, &record.populationSizes}) {
            ASSERT_EQ(series->size(), static_cast<std::size_t>(g) + 1);
            ASSERT_LE(series->capacity(), 2 * series->size());
        }
        ASSERT_EQ(record.evaluationsByGeneration.size(), static_cast<std::size_t>(g) + 1);
        ASSERT_EQ(record.evaluationsByGeneration.back(), 0);
    }
    EXPECT_EQ(recordedValue(record.bestFitness, 999), 999.0);
    EXPECT_EQ(recordedValue(record.bestFitness, 1000), 0.0);  // past the end
    // An earlier generation changes nothing; skipping ahead fills the gap.
    record.reserveGeneration(3, 50);
    record.reserveGeneration(1001, 50);
    EXPECT_EQ(record.worstFitness, std::vector<double>(1002, 0.0));
    EXPECT_EQ(record.populationSizes[999], 7.0);
    EXPECT_EQ(record.populationSizes[1000], 50.0);
}

// Fitness values noted after each counted evaluation, as the algorithm notes them.
std::vector<FitnessImprovement> improvementsOf(const std::vector<double>& fitnessValues) {
    QRunSummary record;
    for (double fitness : fitnessValues) {
        ++record.evaluationsCount;
        record.noteEvaluatedFitness(fitness);
    }
    return record.improvements;
}

TEST(RunSummary, OnlyStrictImprovementsOfTheBestSoFarAreNoted) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // The first evaluation counts whatever its value; ties and worse values do not.
    EXPECT_EQ(improvementsOf({5.0, 5.0, 7.0, 4.0, 4.5, 4.0, -1.0}),
              (std::vector<FitnessImprovement>{{1, 5.0}, {4, 4.0}, {7, -1.0}}));
    EXPECT_EQ(improvementsOf({inf, 3.0, -inf, -inf}),
              (std::vector<FitnessImprovement>{{1, inf}, {2, 3.0}, {3, -inf}}));
    // A NaN is neither a first value nor an improvement: the first number after it starts the list.
    EXPECT_EQ(improvementsOf({nan, nan, 8.0, nan, 2.0}), (std::vector<FitnessImprovement>{{3, 8.0}, {5, 2.0}}));
    EXPECT_TRUE(improvementsOf({nan}).empty());
}

// The generation is the one whose evaluation step counted the evaluation: the boundaries
// between generations are where an off-by-one would put it in the next or the previous one.
TEST(RunSummary, BestSoFarIsTheLastImprovementInTheGenerationThatCountedIt) {
    QRunSummary record;
    record.evaluationsByGeneration = {50, 100, 160};
    const auto bestAt = [&record](int evaluation) {
        record.improvements = {{1, 9.0}, {evaluation, 0.5}};
        const BestSoFar best = bestSoFar(record);
        EXPECT_EQ(best.fitness, 0.5);
        EXPECT_EQ(best.evaluation, evaluation);
        return best.generation;
    };
    EXPECT_EQ(bestAt(50), 1);   // the last evaluation of the first generation
    EXPECT_EQ(bestAt(51), 2);   // the first of the second
    EXPECT_EQ(bestAt(160), 3);  // the last generation's last
    EXPECT_EQ(bestAt(161), 3);  // the final population, evaluated after the last generation
}

TEST(ProcessorClock, IsInMilliseconds) {
    const auto milliseconds = [](std::clock_t ticks) {
        return static_cast<long>(static_cast<long long>(ticks) * 1000 / CLOCKS_PER_SEC);
    };
    const std::clock_t before = std::clock();
    const long reading = ProcessorClock{}.now();
    const std::clock_t after = std::clock();
    EXPECT_LE(milliseconds(before), reading);
    EXPECT_LE(reading, milliseconds(after));
}

}  // namespace
}  // namespace Valdrin
