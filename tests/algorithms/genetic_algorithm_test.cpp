// Tests of the genetic algorithm's run loop, progress output and refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <tuple>

#include "algorithms/genetic_algorithm.h"
#include "support/algorithm_fixture.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::AlgorithmBench;
using testing::FixedProblem;
using testing::GeneSumProblem;
using testing::smallRecord;

std::string formatted(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

struct GeneticAlgorithmTest : ::testing::Test {
    QEAParameters params = smallRecord(Encoding::Integer);
    AlgorithmBench<QGeneticAlgorithm> bench;
    GeneSumProblem& problem = bench.useProblem<GeneSumProblem>();  // the number of ones

    GeneticAlgorithmTest() {
        params.rngSeed = 99;
        params.chromosomeLength = 12;
        params.populationSize = 8;
        params.generationsNumber = 10;
        params.xType = Crossover::TwoPoint;
        params.mRate = 0.05;
        params.errorLevel = 0.5;
    }
};

TEST_F(GeneticAlgorithmTest, ARunWritesOneDotPerTenGenerationsAndTheFinalLines) {
    for (int generations : {1, 10, 25}) {
        params.generationsNumber = generations;
        const QGeneticAlgorithm& ga = bench.setUp(params);
        const std::string out = bench.runCapturingOutput();
        const QRunSummary& record = ga.runSummary();
        EXPECT_EQ(record.generationsDone, generations);
        EXPECT_EQ(record.evaluationsCount, 8 * (generations + 1));
        EXPECT_EQ(record.populationSizes, std::vector<double>(static_cast<std::size_t>(generations), 8.0));
        const auto last = static_cast<std::size_t>(generations - 1);
        EXPECT_EQ(out, std::string(static_cast<std::size_t>(generations / 10), '.') + "\nFinal best fitness = " +
                           formatted(record.bestFitness[last]) + "\nFinal worst fitness = " +
                           formatted(record.worstFitness[last]) + "\nConvergence generation = " +
                           std::to_string(record.convergenceGeneration) + "\n")
            << generations << " generations";
        EXPECT_GT(record.bestFitness[0], 0.0);
        ASSERT_NE(record.bestIndividual, nullptr);
    }
}

TEST_F(GeneticAlgorithmTest, ARunWritesItsLog) {
    bench.setUp(params);
    bench.runCapturingOutput();
    const std::string log = bench.log("ga.log");
    // The run's heading, the last population, then the run's duration.
    EXPECT_EQ(log.rfind("\nStarting a new run:\n-------------------------------\n"
                        "\nPrinting population (8 individuals):\n",
                        0),
              0u);
    EXPECT_NE(log.find("\nRun duration: "), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 9), " seconds\n");
}

TEST_F(GeneticAlgorithmTest, ARunRepeatsExactlyFromTheSameSeed) {
    params.generationsNumber = 30;
    bench.setUp(params);
    bench.runCapturingOutput();
    const QRunSummary first = bench.algorithm().runSummary();
    bench.setUp(params);
    bench.runCapturingOutput();
    const QRunSummary& second = bench.algorithm().runSummary();
    EXPECT_EQ(first.meanFitness, second.meanFitness);
    EXPECT_EQ(first.bestFitness, second.bestFitness);
    EXPECT_EQ(first.worstFitness, second.worstFitness);
    EXPECT_EQ(first.evaluationsToSolution, second.evaluationsToSolution);
    // The search makes progress on this easy problem.
    EXPECT_LT(first.bestFitness[29], first.bestFitness[0]);
}

TEST_F(GeneticAlgorithmTest, UntilFirstHitDoesNotShortenTheRun) {
    params.untilFirstHit = true;
    params.unitsRatio = 0.0;  // all zeros: a hit in the first evaluation
    params.generationsNumber = 12;
    const QGeneticAlgorithm& ga = bench.setUp(params);
    bench.runCapturingOutput();
    EXPECT_EQ(ga.runSummary().generationsDone, 12);
    EXPECT_EQ(ga.runSummary().evaluationsToSolution, 1);
    EXPECT_EQ(ga.runSummary().generationOfSolution, 0);
}

TEST_F(GeneticAlgorithmTest, ANonPositiveGenerationCountRefusesToRun) {
    params.generationsNumber = 3;
    QGeneticAlgorithm& ga = bench.setUp(params);
    bench.runCapturingOutput();
    for (int generations : {0, -2}) {
        params.generationsNumber = generations;
        bench.setUpAgain(params);
        const int evaluations = ga.runSummary().evaluationsCount;
        const int done = ga.runSummary().generationsDone;
        EXPECT_EQ(bench.refusedRunMessage(),
                  "\n\n[QGeneticAlgorithm::run] error:\n\tGenerations number is undefined! "
                  "(_params.generationsNumber = " +
                      std::to_string(generations) + ")\n\n");
        // The run record is left as it was.
        EXPECT_EQ(ga.runSummary().evaluationsCount, evaluations);
        EXPECT_EQ(ga.runSummary().generationsDone, done);
    }
}

// 8 evaluations a generation: a budget reached exactly at a generation's end, one short of it,
// one past it, one below the first generation's evaluations, and one never reached. The run
// ended by it is the run configured with as many generations, final evaluation included.
TEST_F(GeneticAlgorithmTest, ABudgetEndsTheRunAfterTheGenerationThatReachesIt) {
    for (const auto& [budget, generations] :
         std::vector<std::pair<int, int>>{{16, 2}, {15, 2}, {17, 3}, {5, 1}, {8 * 10, 10}}) {
        SCOPED_TRACE("budget " + std::to_string(budget));
        params.evaluationsBudget = budget;
        params.generationsNumber = 10;
        const std::string budgetedOutput = (bench.setUp(params), bench.runCapturingOutput());
        const QRunSummary a = bench.algorithm().runSummary();
        EXPECT_EQ(a.generationsDone, generations);
        EXPECT_EQ(a.evaluationsCount, 8 * (generations + 1));
        params.evaluationsBudget = 0;
        params.generationsNumber = generations;
        EXPECT_EQ((bench.setUp(params), bench.runCapturingOutput()), budgetedOutput);
        const QRunSummary& b = bench.algorithm().runSummary();
        EXPECT_EQ(std::tie(a.bestFitness, a.improvements, a.convergenceGeneration),
                  std::tie(b.bestFitness, b.improvements, b.convergenceGeneration));
    }
    params.evaluationsBudget = -1;
    bench.setUp(params);
    EXPECT_EQ(bench.refusedRunMessage(),
              "\n\n[QGeneticAlgorithm::run] error:\n\tEvaluations budget is negative! "
              "(_params.evaluationsBudget = -1; 0 sets no budget)\n\n");
}

TEST_F(GeneticAlgorithmTest, RunsOnTheSmallRecordOfEveryValueEncoding) {
    FixedProblem& fixed = bench.useProblem<FixedProblem>();
    for (Encoding encoding : {Encoding::String, Encoding::Integer, Encoding::Real}) {
        fixed.evaluations = 0;
        const QGeneticAlgorithm& ga = bench.setUp(smallRecord(encoding));
        EXPECT_EQ(ga.parts().currentPopulation->getEncoding(), encoding);
        ASSERT_NE(ga.parts().crossover, nullptr) << "encoding " << number(encoding);
        EXPECT_EQ(ga.parts().crossover->getEncoding(), encoding);
        EXPECT_EQ(ga.parts().mutation->getEncoding(), encoding);
        bench.runCapturingOutput();
        EXPECT_EQ(ga.runSummary().generationsDone, 5) << "encoding " << encoding;
        EXPECT_EQ(ga.runSummary().evaluationsCount, 6 * 6);
        EXPECT_EQ(fixed.evaluations, 6 * 6);
        ASSERT_NE(ga.runSummary().bestIndividual, nullptr);
        EXPECT_EQ(ga.runSummary().bestIndividual->getEncoding(), encoding);
    }
}

}  // namespace
}  // namespace Valdrin

namespace Valdrin {
namespace {

// The populations reuse the individuals they let go: over a run, the individuals held by the
// three populations (members and spares) stay within three populations' worth and the pairing's
// children, however many generations pass, for every encoding and for clone removal and
// crowding, which delete and rebuild individuals.
TEST(GeneticAlgorithmMemory, IndividualsHeldStayBoundedOverARun) {
    for (Encoding encoding : {Encoding::Integer, Encoding::Real, Encoding::String}) {
        for (Niching niching : {Niching::None, Niching::DeterministicCrowding}) {
            QEAParameters params = testing::smallRecord(encoding);
            params.populationSize = 10;
            params.generationsNumber = 60;
            // Clone removal needs children that can differ: a long enough chromosome and a
            // mutation rate that keeps the population from converging.
            params.removeClones = niching == Niching::None;
            params.chromosomeLength = std::max(params.chromosomeLength, 12);
            params.mRate = 0.3;
            params.nichingType = niching;
            testing::AlgorithmBench<QGeneticAlgorithm> bench;
            bench.useProblem<testing::FixedProblem>();
            QGeneticAlgorithm& algorithm = bench.setUp(params);
            ::testing::internal::CaptureStdout();
            try {
                algorithm.run();
            } catch (const Failure& failure) {
                ADD_FAILURE() << failure.message();
            }
            ::testing::internal::GetCapturedStdout();
            int held = 0;
            for (QPopulation* population :
                 {&algorithm.currentPopulation(), &algorithm.matingPool(), &algorithm.offspringPopulation()}) {
                held += population->size() + population->sparesCount();
            }
            EXPECT_LE(held, 3 * params.populationSize + params.childrenNumber)
                << "encoding " << encoding << ", niching " << static_cast<int>(niching);
            EXPECT_EQ(algorithm.runSummary().generationsDone, params.generationsNumber) << encoding << " " << static_cast<int>(niching);
        }
    }
}

}  // namespace
}  // namespace Valdrin
