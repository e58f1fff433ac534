// Tests of the population sizers: targets, truncation and the growth schedules.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "operators/population_sizers.h"
#include "support/test_support.h"
#include "representation/integer.h"
#include "statistics/run_summary.h"

namespace Valdrin {
namespace {

// A population of count individuals tagged 0, 1, 2, ... in their fitness.
void fill(QIntegerPopulation& population, QEAParameters& params, int count) {
    population.clear();
    population._params = &params;
    for (int i = 0; i < count; ++i) {
        population.addNewIndividual();
        population.getIndividual(i)->fitness = i;
    }
}

TEST(ConstPopulationSizer, FullAtPopulationSizeAndTruncatesToIt) {
    QEAParameters params;
    params.populationSize = 4;
    QIntegerPopulation population;
    QConstPopulationSizer sizer;
    testing::bound(sizer);
    sizer.setParameters(params);
    fill(population, params, 3);
    EXPECT_FALSE(sizer.isPopulationFull(population));
    fill(population, params, 6);
    EXPECT_TRUE(sizer.isPopulationFull(population));
    sizer.resize(population);
    ASSERT_EQ(population.size(), 4);
    EXPECT_EQ(population.getIndividual(3)->fitness, 3.0);  // the first four stay

    params.populationSize = 0;
    fill(population, params, 0);
    EXPECT_TRUE(sizer.isPopulationFull(population));
}

TEST(SteadyPopulationSizer, StepsFromTheStartingTargetWithinTheBounds) {
    QEAParameters params;
    params.populationSize = 50;
    params.sizingStep = 5;
    params.sizingDirection = 1;
    params.maxPopulationSize = 68;
    QIntegerPopulation population;
    QSteadyPopulationSizer sizer;
    testing::bound(sizer);
    sizer.setParameters(params);
    EXPECT_EQ(sizer.targetSize, 55);
    std::vector<int> targets;
    for (int g = 0; g < 5; ++g) {
        fill(population, params, 70);
        sizer.resize(population);
        EXPECT_EQ(population.size(), targets.empty() ? 55 : targets.back());
        targets.push_back(sizer.targetSize);
    }
    EXPECT_EQ(targets, (std::vector<int>{60, 65, 68, 68, 68}));

    params.sizingDirection = 0;
    sizer.setParameters(params);
    for (int g = 0; g < 3; ++g) sizer.resize(population);
    EXPECT_EQ(sizer.targetSize, 50);

    params.sizingDirection = -1;
    params.sizingStep = 20;
    params.minPopulationSize = 12;
    sizer.setParameters(params);
    EXPECT_EQ(sizer.targetSize, 30);
    sizer.resize(population);
    EXPECT_EQ(sizer.targetSize, 12);
}

TEST(SteadyPopulationSizer, ANegativeStartingTargetEmptiesThePopulation) {
    QEAParameters params;
    params.populationSize = 5;
    params.sizingStep = 10;
    params.sizingDirection = -1;
    QIntegerPopulation population;
    QSteadyPopulationSizer sizer;
    testing::bound(sizer);
    sizer.setParameters(params);
    fill(population, params, 3);
    EXPECT_TRUE(sizer.isPopulationFull(population));
    sizer.resize(population);
    EXPECT_EQ(population.size(), 0);
    EXPECT_EQ(sizer.targetSize, params.minPopulationSize);
}

TEST(SizingSchedule, HorizonAndLowerBoundFollowTheLogarithmOfTheBitCount) {
    EXPECT_EQ(sizingHorizon(100), 6);  // trunc(1.443 * 4.605)
    EXPECT_EQ(sizingLowerBound(100), 16);
    EXPECT_EQ(sizingHorizon(1000), static_cast<int>(1.443 * std::log(1000.0)));
    EXPECT_EQ(sizingLowerBound(1000), 4 + 2 * static_cast<int>(1.443 * std::log(1000.0)));
    // Few bits: the bound is raised to 10.
    EXPECT_EQ(sizingLowerBound(10), 10);
    EXPECT_EQ(sizingHorizon(1), 0);
    EXPECT_EQ(sizingLowerBound(1), 10);
    // A chromosome without bits is treated like a single bit.
    EXPECT_EQ(sizingHorizon(0), 0);
    EXPECT_EQ(sizingLowerBound(-5), 10);
}

struct SimpleSizerFixture : ::testing::Test {
    QEAParameters params;
    QRunSummary record;
    QIntegerPopulation population;

    void SetUp() override {
        params.chromosomeLength = 10;
        params.geneSize = 10;  // 100 bits: horizon 6, lower bound 16
        params.populationSize = 40;
        params.maxPopulationSize = 45;
        record.bestFitness.assign(50, 0.0);
    }

    // Runs one generation g with the given best fitness; returns the new target.
    template <typename Sizer>
    int step(Sizer& sizer, int g, double best) {
        record.generationsDone = g;
        record.bestFitness[static_cast<std::size_t>(g)] = best;
        sizer.resize(population);
        return sizer.targetSize;
    }
};

TEST_F(SimpleSizerFixture, StartsAtTheLowerBoundAtLeast) {
    params.populationSize = 5;
    params.chromosomeLength = 2;
    params.geneSize = 2;
    QSimplePopulationSizer sizer;
    testing::bound(sizer);
    sizer.setParameters(params);
    EXPECT_EQ(sizer.targetSize, 10);
    EXPECT_EQ(sizer.lowerBound, 10);
    params.chromosomeLength = 10;
    params.geneSize = 10;
    sizer.reset();
    EXPECT_EQ(sizer.targetSize, 16);
}

TEST_F(SimpleSizerFixture, BothAreFullAtTheTargetAndKeepTheFirstIndividuals) {
    QSimplePopulationSizer simple;
    testing::bound(simple);
    QSimplePopulationSizerFibonacci fibonacci;
    testing::bound(fibonacci);
    for (QSimplePopulationSizer* sizer : {&simple, static_cast<QSimplePopulationSizer*>(&fibonacci)}) {
        sizer->setParameters(params);
        sizer->setRunStatistics(&record);
        ASSERT_EQ(sizer->targetSize, 40);
        fill(population, params, 39);
        EXPECT_FALSE(sizer->isPopulationFull(population));
        fill(population, params, 44);
        EXPECT_TRUE(sizer->isPopulationFull(population));
        sizer->resize(population);
        ASSERT_EQ(population.size(), 40);  // truncated to the target it had, not the next one
        EXPECT_EQ(population.getIndividual(39)->fitness, 39.0);
        EXPECT_GT(sizer->targetSize, 40);
    }
}

TEST_F(SimpleSizerFixture, GrowsDuringTheHorizonThenFollowsImprovement) {
    QSimplePopulationSizer sizer;
    testing::bound(sizer);
    sizer.setParameters(params);
    sizer.setRunStatistics(&record);
    sizer.reset();
    // Steadily improving from the start: growth regardless for generations 0..6.
    std::vector<int> targets;
    for (int g = 0; g <= 6; ++g) targets.push_back(step(sizer, g, 100.0 - g));
    EXPECT_EQ(targets, (std::vector<int>{41, 42, 43, 44, 45, 45, 45}));
    EXPECT_EQ(step(sizer, 7, 50.0), 44);  // improved: shrink
    EXPECT_EQ(sizer.direction, -1);
    EXPECT_EQ(step(sizer, 8, 50.0), 45);  // unchanged: grow
    EXPECT_EQ(step(sizer, 9, 60.0), 45);  // worse: grow, capped
    EXPECT_EQ(sizer.lastBest, 60.0);

    // Shrinking stops at the lower bound.
    for (int g = 10; g < 50; ++g) step(sizer, g, -g);
    EXPECT_EQ(sizer.targetSize, 16);
}

TEST_F(SimpleSizerFixture, WithoutARunRecordItOnlyGrows) {
    QSimplePopulationSizer sizer;
    testing::bound(sizer);
    sizer.setParameters(params);
    for (int g = 0; g < 3; ++g) sizer.resize(population);
    EXPECT_EQ(sizer.targetSize, 43);
    EXPECT_EQ(sizer.lastBest, 0.0);
}

TEST_F(SimpleSizerFixture, FibonacciShrinksByGrowingStepsLimitedToAThird) {
    params.chromosomeLength = 1;
    params.geneSize = 1;  // horizon 0, lower bound 10
    params.populationSize = 100;
    params.maxPopulationSize = 200;
    QSimplePopulationSizerFibonacci sizer;
    testing::bound(sizer);
    sizer.setParameters(params);
    sizer.setRunStatistics(&record);
    sizer.reset();
    std::vector<int> targets;
    for (int g = 1; g <= 13; ++g) targets.push_back(step(sizer, g, -g));  // always improving
    EXPECT_EQ(targets, (std::vector<int>{99, 98, 96, 93, 88, 80, 67, 46, 31, 21, 14, 10, 10}));
    // A change of direction restarts the steps.
    EXPECT_EQ(step(sizer, 14, 0.0), 11);
    EXPECT_EQ(step(sizer, 15, 0.0), 12);
    EXPECT_EQ(step(sizer, 16, 0.0), 14);
    EXPECT_EQ(step(sizer, 17, -100.0), 13);
}

TEST_F(SimpleSizerFixture, FibonacciGrowsDuringTheHorizonAndRestartsAtTheUpperBound) {
    params.maxPopulationSize = 50;
    QSimplePopulationSizerFibonacci sizer;
    testing::bound(sizer);
    sizer.setParameters(params);
    sizer.setRunStatistics(&record);
    sizer.reset();
    std::vector<int> targets;
    for (int g = 0; g <= 6; ++g) targets.push_back(step(sizer, g, -g));  // improving, but g <= 6
    EXPECT_EQ(targets, (std::vector<int>{41, 42, 44, 47, 50, 50, 50}));
    EXPECT_EQ(sizer.sequence.current, 1);
}

TEST(PopulationSizerLimits, TargetsNearTheIntLimitsStayInRange) {
    QEAParameters params;
    QIntegerPopulation population;

    // Steady: a huge step saturates the starting target, then the bounds apply.
    params.populationSize = 50;
    params.sizingStep = INT_MAX;
    params.sizingDirection = 1;
    QSteadyPopulationSizer steady;
    testing::bound(steady);
    steady.setParameters(params);
    EXPECT_EQ(steady.targetSize, INT_MAX);
    steady.resize(population);
    EXPECT_EQ(steady.targetSize, params.maxPopulationSize);
    params.sizingDirection = -1;
    steady.setParameters(params);
    EXPECT_EQ(steady.targetSize, 50 - INT_MAX);
    steady.resize(population);
    EXPECT_EQ(steady.targetSize, params.minPopulationSize);

    // Simple: growth at the largest allowed size stays there.
    params.populationSize = INT_MAX;
    params.maxPopulationSize = INT_MAX;
    QSimplePopulationSizer simple;
    testing::bound(simple);
    simple.setParameters(params);
    simple.resize(population);
    EXPECT_EQ(simple.targetSize, INT_MAX);

    // Fibonacci: growing without a bound in sight, each step is at most a third of the target
    // and the target only rises until it rests at the largest allowed size.
    params.populationSize = 10;
    QSimplePopulationSizerFibonacci fibonacci;
    testing::bound(fibonacci);
    fibonacci.setParameters(params);
    int previous = fibonacci.targetSize;
    for (int g = 0; g < 120; ++g) {
        fibonacci.resize(population);
        const int target = fibonacci.targetSize;
        if (previous < INT_MAX) {
            EXPECT_GT(target, previous) << "generation " << g;
            if (target < INT_MAX) {
                EXPECT_LE(target - previous, previous / 3) << "generation " << g;
            }
        } else {
            EXPECT_EQ(target, INT_MAX);
        }
        EXPECT_GE(fibonacci.sequence.current, 1);
        previous = target;
    }
    EXPECT_EQ(previous, INT_MAX);
}

}  // namespace
}  // namespace Valdrin
