// Tests of the self-adaptive network algorithm: the run loop and its early stop, asexual
// reproduction, and the networks' report over runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "algorithms/sarn.h"
#include "core/random.h"
#include "representation/network.h"
#include "representation/real.h"
#include "support/algorithm_fixture.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::AlgorithmBench;
using testing::FixedProblem;
using testing::seedForTest;
using testing::smallRecord;

struct SarnTest : ::testing::Test {
    QEAParameters params = smallRecord(Encoding::Network);  // 6 networks of 2 inputs and 1 output
    AlgorithmBench<QSARN> bench;
    FixedProblem& problem = bench.useProblem<FixedProblem>();

    SarnTest() {
        params.rngSeed = 5;
        params.generationsNumber = 9;
        params.mRate = 5.0;
    }

    QSARN& setUp() { return bench.setUp(params); }
};

TEST_F(SarnTest, RunStopsAtTheFirstHitWhenAsked) {
    problem.value = 0.0;
    params.untilFirstHit = true;
    QSARN& sarn = setUp();
    EXPECT_EQ(sarn.parts().crossover, nullptr);  // networks reproduce without crossover
    EXPECT_EQ(bench.runCapturingOutput(),
              "\nFinishing the run...done\n"
              "Final best fitness = 0\nFinal worst fitness = 0\nConvergence generation = 0\n");
    const QRunSummary& record = sarn.runSummary();
    EXPECT_EQ(record.generationsDone, 0);
    EXPECT_EQ(record.evaluationsToSolution, 1);
    EXPECT_EQ(record.evaluationsCount, 12);  // the first generation and the final evaluation
    // Only the generation evaluated before the stop holds records.
    EXPECT_EQ(record.bestFitness.size(), 1u);
    EXPECT_EQ(record.meanFitness.size(), 1u);
    ASSERT_TRUE(record.solutionIndividual);
    EXPECT_EQ(problem.tests, 1);
    EXPECT_EQ(problem.tested, record.solutionIndividual.get());  // the solution, not the best
    EXPECT_EQ(problem.testedEncoding, Encoding::Network);

    // The population is written to the log before the first generation and after the last.
    const std::string log = bench.log("sarn.log");
    EXPECT_EQ(log.rfind("\nStarting a new run:\n-------------------------------\n"
                        "\nPrinting population (6 individuals):\n",
                        0),
              0u);
    const std::size_t first = log.find("Printing population");
    EXPECT_NE(log.find("Printing population", first + 1), std::string::npos);
    EXPECT_NE(log.find("Run duration: "), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 9), " seconds\n");

    params.generationsNumber = 0;
    bench.setUpAgain(params);
    EXPECT_EQ(bench.refusedRunMessage(),
              "\n\n[QGeneticAlgorithm::run] error:\n\tGenerations number is undefined! "
              "(_params.generationsNumber = 0)\n\n");
    EXPECT_EQ(sarn.runSummary().evaluationsCount, 12);  // the record is left as it was
    EXPECT_EQ(problem.tests, 1);
}

TEST_F(SarnTest, ProgressMarksAndTheUnsolvedRunsTest) {
    QSARN& sarn = setUp();
    EXPECT_EQ(bench.runCapturingOutput().rfind("\nFinishing the run...done\n", 0), 0u);  // 9 generations
    EXPECT_EQ(sarn.runSummary().generationsDone, 9);
    EXPECT_FALSE(sarn.runSummary().solutionIndividual);
    EXPECT_EQ(problem.tested, sarn.runSummary().bestIndividual.get());

    params.generationsNumber = 10;
    QSARN& longer = setUp();
    EXPECT_EQ(bench.runCapturingOutput().rfind(".\nFinishing the run...done\n", 0), 0u);
    EXPECT_EQ(longer.runSummary().generationsDone, 10);
    EXPECT_EQ(problem.tests, 2);
}

TEST_F(SarnTest, RunWithoutABestIndividualTestsNothing) {
    problem.value = 2e9;  // beyond the best-individual search
    params.eliteCount = 0;
    params.generationsNumber = 2;
    QSARN& sarn = setUp();
    EXPECT_EQ(bench.runCapturingOutput().rfind("??\nFinishing the run...done\n", 0), 0u);
    EXPECT_FALSE(sarn.runSummary().bestIndividual);
    EXPECT_EQ(problem.tests, 0);
}

TEST_F(SarnTest, ParentAndChildrenNumbersDoNotMatterWithoutCrossover) {
    params.parentsNumber = 3;
    params.childrenNumber = 1;
    QSARN& sarn = setUp();
    EXPECT_EQ(sarn.parameters().parentsNumber, 3);
    bench.runCapturingOutput();
    EXPECT_EQ(sarn.runSummary().generationsDone, 9);
}

QRNIndividual labelled(double fitness, int nodes) {
    QRNIndividual network;
    network.genes.resize(static_cast<std::size_t>(nodes));
    network.fitness = fitness;
    return network;
}

TEST_F(SarnTest, RecombineClonesFromTheMatingPool) {
    params.populationSize = 4;
    QSARN& sarn = setUp();
    sarn.matingPool().clear();
    sarn.matingPool().appendIndividual(labelled(42.0, 3));
    sarn.recombine();
    ASSERT_EQ(sarn.offspringPopulation().size(), 4);
    for (const auto& child : sarn.offspringPopulation().individuals) {
        EXPECT_EQ(child->fitness, 42.0);
        EXPECT_EQ(child->getGenesNumber(), 3);
    }

    // The pool is copied, then clones are drawn with trunc(m u).
    params.populationSize = 7;
    QSARN& larger = setUp();
    QPopulation& pool = larger.matingPool();
    QPopulation& offspring = larger.offspringPopulation();
    pool.clear();
    for (int i = 0; i < 3; ++i) pool.appendIndividual(labelled(i, 1));
    seedForTest(77);
    std::vector<double> drawn;
    for (int i = 0; i < 4; ++i) drawn.push_back(static_cast<int>(uniform() * 3));
    seedForTest(77);
    larger.recombine();
    ASSERT_EQ(offspring.size(), 7);
    for (int i = 0; i < 7; ++i) {
        const double expected = i < 3 ? i : drawn[static_cast<std::size_t>(i - 3)];
        EXPECT_EQ(offspring.individuals[static_cast<std::size_t>(i)]->fitness, expected) << i;
    }

    // An empty pool has nothing to clone from: the offspring stay empty.
    pool.clear();
    larger.recombine();
    EXPECT_EQ(offspring.size(), 0);
}

// Every network the three populations hold, as members or as spares kept for reuse.
int networksHeld(QSARN& sarn) {
    int held = 0;
    for (QPopulation* population : {&sarn.currentPopulation(), &sarn.matingPool(), &sarn.offspringPopulation()}) {
        held += population->size() + population->sparesCount();
    }
    return held;
}

// The offspring are rebuilt from the mating pool every generation; the networks that make way
// for them must be reused, not left to pile up until the run ends.
TEST_F(SarnTest, NetworksHeldStayBoundedAcrossGenerations) {
    params.generationsNumber = 40;
    QSARN& sarn = setUp();
    std::vector<int> held;
    sarn.setGenerationObserver([&](const QRunSummary&) { held.push_back(networksHeld(sarn)); });
    bench.runCapturingOutput();
    ASSERT_EQ(held.size(), 40u);
    // A population's worth in each of the three populations, and the elite copies.
    const int bound = 3 * params.populationSize + params.eliteCount;
    EXPECT_LE(*std::max_element(held.begin(), held.end()), bound);
    EXPECT_EQ(held.back(), held[1]);
}

// ---------------------------------------------------------------------------------------------
// The networks' report over runs

QRNGene wire(std::vector<int> reads, std::vector<int> writes) {
    QRNGene gene;
    for (int s : reads) gene.addInput({s, 0.0}, 1.0);
    for (int s : writes) gene.addOutput({s, 0.0}, 0.0);
    return gene;
}

std::unique_ptr<QRNIndividual> reportNetwork(std::vector<QRNGene> nodes, double parameter, int counter) {
    auto network = std::make_unique<QRNIndividual>();
    network->inputsNumber = 1;
    network->outputsNumber = 1;
    network->genes = std::move(nodes);
    network->mutationParameters.assign(kMutationKinds, parameter);
    network->historyCounters.assign(kMutationKinds, counter);
    return network;
}

QRunSummary solvedRun(std::unique_ptr<QRNIndividual> solution, std::unique_ptr<QRNIndividual> best) {
    QRunSummary run;
    run.evaluationsToSolution = 5;
    run.solutionIndividual = std::move(solution);
    run.bestIndividual = std::move(best);
    return run;
}

QRunSummary unsolvedRun(std::unique_ptr<QIndividual> best) {
    QRunSummary run;
    run.bestIndividual = std::move(best);
    return run;
}

std::string repeated(const std::string& item) {
    std::string text;
    for (int i = 0; i < kMutationKinds; ++i) text += item;
    return text;
}

std::string report(const std::vector<QRunSummary>& runs) {
    std::ostringstream out;
    EXPECT_EQ(reportNetworkStatistics(runs, out), 1);
    return out.str();
}

TEST(NetworkReportTest, SolvedAndUnsolvedRuns) {
    std::vector<QRunSummary> runs;
    // Solved without a kept solution: judged by its best network (two nodes of degree 2).
    runs.push_back(solvedRun(nullptr, reportNetwork({wire({1}, {2}), wire({1}, {2})}, 0.1, 1)));
    // Solved: its solution (degrees 3, 2, 3) counts, not its best.
    runs.push_back(solvedRun(reportNetwork({wire({1}, {3}), wire({3}, {2}), wire({1, 3}, {2})}, 0.3, 2),
                             reportNetwork({wire({1}, {2})}, 9.0, 9)));
    runs.push_back(unsolvedRun(reportNetwork({wire({1}, {2})}, 1.0, 5)));
    runs.push_back(unsolvedRun(reportNetwork({wire({1}, {2})}, 1.0, 5)));

    EXPECT_EQ(report(runs),
              "> Solutions summary (2):\nAverage number of nodes:\t2.5\nDeviation of the number of nodes:\t0.5\n"
              "> Candidate-solutions summary (2):\nAverage number of nodes:\t1\nDeviation of the number of nodes:\t0\n"
              "> Distribution of nodes degrees over the population of solutions:\t 0 0 3 2\n"
              "\tMean nodes degree:\t2.33333\n\tAveraged deviation of the nodes degree:\t0.166667\n"
              "> Averaged vector of mutation parameters for the solutions:\t" + repeated("0.2 ") + "\n"
              "> Averaged vector of mutation parameters for the candidates:\t" + repeated("1 ") + "\n"
              "> Cumulative history events counters for the solutions:\t" + repeated("3 ") + "\n"
              "> Cumulative history events counters for the candidates:\t" + repeated("10 ") + "\n");

    // All solved: no candidate sections.
    runs.pop_back();
    runs.pop_back();
    const std::string allSolved = report(runs);
    EXPECT_EQ(allSolved.find("andidate"), std::string::npos);
    EXPECT_NE(allSolved.find("> Cumulative history events counters for the solutions:\t" + repeated("3 ")),
              std::string::npos);
}

TEST(NetworkReportTest, NoRunSolvedAndRunsWithoutNetworks) {
    std::vector<QRunSummary> runs;
    runs.push_back(unsolvedRun(reportNetwork({wire({1}, {2})}, 0.5, 1)));
    runs.push_back(unsolvedRun(reportNetwork({wire({1}, {2}), wire({1}, {2}), wire({1}, {2})}, 0.5, 1)));
    const std::string text = report(runs);
    // Without solutions the solutions' size values are undefined (0 / 0) and their degree and
    // parameter lines are absent.
    const auto candidates = text.find("> Candidate-solutions summary (2):\n");
    ASSERT_NE(candidates, std::string::npos);
    EXPECT_EQ(text.rfind("> Solutions summary (0):\nAverage number of nodes:\t", 0), 0u);
    EXPECT_NE(text.substr(0, candidates).find("nan\nDeviation of the number of nodes:\t"), std::string::npos);
    EXPECT_EQ(text.substr(candidates + 35),
              "Average number of nodes:\t2\nDeviation of the number of nodes:\t2\n"
              "> Averaged vector of mutation parameters for the candidates:\t" + repeated("0.5 ") + "\n"
              "> Cumulative history events counters for the solutions:\t" + repeated("0 ") + "\n"
              "> Cumulative history events counters for the candidates:\t" + repeated("2 ") + "\n");

    // Runs of another encoding, or with no individual at all, have nothing to report.
    std::vector<QRunSummary> others;
    others.push_back(unsolvedRun(std::make_unique<QRCIndividual>()));
    others.push_back(QRunSummary());
    EXPECT_EQ(report(others), "");
    // Mixed with network runs they are left out.
    others.push_back(unsolvedRun(reportNetwork({wire({1}, {2})}, 0.5, 1)));
    others.push_back(unsolvedRun(reportNetwork({wire({1}, {2})}, 0.5, 1)));
    EXPECT_NE(report(others).find("> Candidate-solutions summary (2):\nAverage number of nodes:\t1\n"),
              std::string::npos);
}

}  // namespace
}  // namespace Valdrin
