// Tests of an algorithm's saved state: a run saved between two generations and restored into a
// freshly set-up algorithm goes on exactly as the saved run went on (its record, final population,
// standard output and log), for the genetic algorithm with an adaptive sizer, SARN and SARN2.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "algorithms/genetic_algorithm.h"
#include "algorithms/sarn.h"
#include "algorithms/sarn2.h"
#include "core/random.h"
#include "core/state_io.h"
#include "problems/benchmarks.h"
#include "problems/network_problems.h"
#include "support/algorithm_fixture.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::AlgorithmBench;
using testing::smallRecord;

std::string withoutDurations(const std::string& log) {
    return std::regex_replace(log, std::regex("Run duration: [^\n]*"), "Run duration: T");
}

// The run as a whole, saved after generation savedAfter; then a fresh algorithm restored from
// that state runs the rest.
template <class Algorithm, class Problem>
void expectRestoredRunGoesOnAlike(QEAParameters params, const std::string& logName, int savedAfter) {
    AlgorithmBench<Algorithm> whole;
    Problem& problem = whole.template useProblem<Problem>();
    problem.adjustParameters(&params);
    problem.setParameters(&params);
    Algorithm& first = whole.setUp(params);
    std::string state;
    std::uint64_t randomState = 0;
    std::size_t logLength = 0;
    first.setGenerationObserver([&](const QRunSummary& summary) {
        if (summary.generationsDone != savedAfter) return;
        StateWriter out;
        first.saveState(out);
        state = out.bytes();
        randomState = testing::testEngine().random.word();
        logLength = whole.log(logName).size();
    });
    const std::string wholeOutput = whole.runCapturingOutput();
    ASSERT_FALSE(state.empty()) << "the run ended before generation " << savedAfter;
    const std::string wholeLog = whole.log(logName);
    const std::uint64_t wholeEnd = testing::testEngine().random.word();

    AlgorithmBench<Algorithm> rest;
    Problem& restProblem = rest.template useProblem<Problem>();
    restProblem.setParameters(&params);
    Algorithm& second = rest.setUp(params);
    StateReader in(state);
    second.restoreState(in);
    in.expectEnd();
    testing::testEngine().random.restore(randomState, true);
    second.continueRestoredRun();
    const std::string restOutput = rest.runCapturingOutput();

    EXPECT_EQ(testing::testEngine().random.word(), wholeEnd) << "the rest of the run drew other numbers";
    EXPECT_TRUE(wholeOutput.ends_with(restOutput)) << restOutput;
    EXPECT_EQ(withoutDurations(rest.log(logName)), withoutDurations(wholeLog.substr(logLength)));
    const QRunSummary& a = first.runSummary();
    const QRunSummary& b = second.runSummary();
    EXPECT_EQ(b.generationsDone, a.generationsDone);
    EXPECT_EQ(b.evaluationsCount, a.evaluationsCount);
    EXPECT_EQ(b.bestFitness, a.bestFitness);
    EXPECT_EQ(b.populationSizes, a.populationSizes);
    EXPECT_EQ(b.improvements, a.improvements);
    EXPECT_EQ(b.evaluationsToSolution, a.evaluationsToSolution);
    ASSERT_TRUE(a.bestIndividual && b.bestIndividual);
    EXPECT_TRUE(b.bestIndividual->equalsTo(*a.bestIndividual));
    ASSERT_EQ(second.currentPopulation().size(), first.currentPopulation().size());
    for (int i = 0; i < first.currentPopulation().size(); ++i) {
        EXPECT_TRUE(second.currentPopulation().getIndividual(i)->equalsTo(*first.currentPopulation().getIndividual(i)));
    }
}

TEST(AlgorithmState, AGeneticAlgorithmWithAnAdaptiveSizerGoesOnFromItsSavedState) {
    QEAParameters params = smallRecord(Encoding::Integer);
    params.chromosomeLength = 40;
    params.generationsNumber = 30;
    params.populationSizerType = Sizer::SimpleFibonacci;
    params.maxPopulationSize = 40;
    params.rngSeed = 9;
    expectRestoredRunGoesOnAlike<QGeneticAlgorithm, QOneMaxProblem>(params, "ga.log", 17);
}

// Saved after the generation that spent its budget (as an interruption there saves it), the run
// ends there once restored instead of going on with another generation.
TEST(AlgorithmState, ARunSavedAsItSpentItsBudgetEndsThereWhenRestored) {
    QEAParameters params = smallRecord(Encoding::Integer);  // 6 evaluations a generation
    params.chromosomeLength = 40;
    params.generationsNumber = 30;
    params.evaluationsBudget = 4 * 6 - 1;
    params.rngSeed = 9;
    expectRestoredRunGoesOnAlike<QGeneticAlgorithm, QOneMaxProblem>(params, "ga.log", 4);
}

TEST(AlgorithmState, SarnGoesOnFromItsSavedState) {
    QEAParameters params = smallRecord(Encoding::Network);
    params.generationsNumber = 12;
    params.mRate = 5.0;
    params.rngSeed = 21;
    expectRestoredRunGoesOnAlike<QSARN, QANNProblemXOR>(params, "sarn.log", 5);
}

TEST(AlgorithmState, Sarn2GoesOnWithItsTemplateNetwork) {
    QEAParameters params = smallRecord(Encoding::Real);
    params.generationsNumber = 12;
    params.mRate = 1.0;
    params.rngSeed = 33;
    expectRestoredRunGoesOnAlike<QSARN2, QANNProblemXOR>(params, "sarn2.log", 6);
}

}  // namespace
}  // namespace Valdrin
