// Tests of the report over runs: the three files written for hand-made run records.
#include "statistics/summary_processor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "representation/integer.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::fileExists;
using testing::readFile;
using testing::splitLines;

const std::string kLongRule(52, '-');

std::string dumpOf(const QEAParameters& params) {
    std::ostringstream out;
    dumpParameters(params, "", "", out);
    return out.str();
}

// Individuals are told apart by their fitness; the files show them as print writes them.
std::unique_ptr<QIndividual> individual(double fitness) {
    auto made = std::make_unique<QIntegerIndividual>();
    made->fitness = fitness;
    return made;
}

std::string printed(double fitness) {
    std::ostringstream out;
    individual(fitness)->print(out);
    return out.str();
}

// Series in the order mean, variance, best, worst, population size.
QRunSummary makeRun(int generationsDone, const std::vector<std::vector<double>>& series, double duration,
                    int convergence = 0) {
    QRunSummary run;
    run.generationsDone = generationsDone;
    run.meanFitness = series[0];
    run.fitnessVariance = series[1];
    run.bestFitness = series[2];
    run.worstFitness = series[3];
    run.populationSizes = series[4];
    run.duration = duration;
    run.convergenceGeneration = convergence;
    return run;
}

void solve(QRunSummary& run, double time, int generation, int evaluations) {
    run.timeToSolution = time;
    run.generationOfSolution = generation;
    run.evaluationsToSolution = evaluations;
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class SummaryProcessorTest : public ::testing::Test {
protected:
    testing::ScratchDir scratch;
    QEAParameters params;
    QSummaryProcessor processor{&params, testing::testEngine()};
};

TEST_F(SummaryProcessorTest, WritesEveryLineOfTheThreeFiles) {
    params.generationsNumber = 3;
    QRunSummary first = makeRun(3, {{4, 2, 1}, {1, 0.5, 0.25}, {2, 1, 0.5}, {6, 3, 2}, {10, 10, 10}}, 1.5, 3);
    first.bestIndividual = individual(1);
    // Stopped after two generations: its third entries stay 0 and must not count.
    QRunSummary second = makeRun(2, {{6, 3, 0}, {3, 1.5, 0}, {4, 0.005, 0}, {8, 5, 0}, {20, 30, 0}}, 0.5);
    solve(second, 0.25, 1, 45);
    second.bestIndividual = individual(21);
    second.solutionIndividual = individual(20);
    QRunSummary third = makeRun(3, {{2, 2, 2}, {0, 0, 0}, {2, 2, 2}, {2, 2, 2}, {10, 20, 40}}, 2.5, 1);
    solve(third, 1.0, 2, 75);
    third.bestIndividual = individual(31);
    third.solutionIndividual = individual(30);
    EXPECT_EQ(processor.addSummary(first), 1);
    EXPECT_EQ(processor.addSummary(second), 2);
    EXPECT_EQ(processor.addSummary(third), 3);
    third.clear();  // the processor keeps its own copies

    ASSERT_EQ(processor.operate(), 1);

    const std::string dump = dumpOf(params);
    EXPECT_EQ(readFile("summary.log"),
              dump + "\n#\tMeans\tDeviations\tBests\tWorsts\tDevMean\tDevDev\tDevBests\tDevWorsts:\n" +
                  kLongRule +
                  "\n1:\t4\t1.33333\t2.66667\t5.33333\t2.66667\t1.55556\t0.888889\t6.22222\n"
                  "2:\t2.33333\t0.666667\t1.00167\t3.33333\t0.222222\t0.388889\t0.663339\t1.55556\n"
                  "3:\t1.5\t0.125\t1.25\t2\t0.25\t0.015625\t0.5625\t0\n"
                  "Min averaged best:\t1.00167\n"
                  "\n#\tPopulation size:\n" + kLongRule + "\n1:\t13.3333\n2:\t20\n3:\t25\n"
                  "\nMean:\t19.4444\nDeviation:\t34.2593\n"
                  "\n#\tTimes:\n------------------\n1:\t1.5\n2:\t0.5\n3:\t2.5\n"
                  "\nMean:\t1.5\nDeviation:\t1\n"
                  "\n#\tConvergence times:\n------------------\n1:\t3\n2:\t1\n"
                  "\nMean:\t2\nDeviation:\t1\n"
                  "\nTimes to find a solution:\n\n#\tTime\tGenerations\tFE\n----------------------------\n"
                  "1:\t0\t0\t0\n2:\t0.25\t1\t45\n3:\t1\t2\t75\n"
                  "\nMean time:\t0.625\nTime deviation:\t0.140625\n"
                  "\nMean generation:\t1.5\nGeneration deviation:\t0.25\n"
                  "\nMean FE count:\t60\nFE count deviation:\t225\n\n");
    EXPECT_EQ(readFile("solution.log"), dump + "\nSolutions found:\t2\n\n> Run #2 solution:\n" + printed(20) +
                                            "\n> Run #3 solution:\n" + printed(30));
    EXPECT_EQ(readFile("candidate.log"),
              dump + "\nCandidate-solutions found:\t1\n\n> Run #1 candidate-solution:\n" + printed(1));
}

TEST_F(SummaryProcessorTest, SingleUnsolvedRunWritesNaNDeviationsAndNoSolutionFile) {
    params.generationsNumber = 1;
    processor.addSummary(makeRun(1, {{3}, {0.5}, {2}, {4}, {8}}, 0.75));  // keeps no individual

    ASSERT_EQ(processor.operate(), 1);

    const auto lines = splitLines(readFile("summary.log"));
    // Times and population sizes: one value each, so the unbiased variance divides 0 by 0.
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line == "Deviation:\tnan" ||
                                                                 line == "Deviation:\t-nan"; }),
              2);
    EXPECT_TRUE(hasLine(lines, "1:\t3\t0.5\t2\t4\t0\t0\t0\t0"));
    EXPECT_TRUE(hasLine(lines, "No convergence"));
    EXPECT_TRUE(hasLine(lines, "No solution(s) found"));
    EXPECT_FALSE(fileExists("solution.log"));
    EXPECT_EQ(readFile("candidate.log"),
              dumpOf(params) + "\nCandidate-solutions found:\t1\n"
                               "\n> Run #1 candidate-solution:\n(no individual recorded)\n");
}

TEST_F(SummaryProcessorTest, UnreachedGenerationsAverageOverTheRunsThatReachedThem) {
    params.generationsNumber = 4;
    processor.addSummary(
        makeRun(2, {{5, 4, 0, 0}, {1, 1, 0, 0}, {3, 2, 0, 0}, {7, 6, 0, 0}, {10, 12, 0, 0}}, 1));
    // Series shorter than the generation count read as 0 past their end.
    processor.addSummary(makeRun(1, {{9}, {3}, {5}, {11}, {}}, 1));

    ASSERT_EQ(processor.operate(), 1);

    const auto lines = splitLines(readFile("summary.log"));
    const auto table = std::find(lines.begin(), lines.end(), kLongRule);
    ASSERT_GE(lines.end() - table, 15);
    const std::string unreached = "\t0\t0\t0\t0\t0\t0\t0\t0";
    EXPECT_EQ(std::vector<std::string>(table + 1, table + 15),
              (std::vector<std::string>{"1:\t7\t2\t4\t9\t4\t1\t1\t4", "2:\t4\t1\t2\t6\t0\t0\t0\t0",
                                        "3:" + unreached, "4:" + unreached, "Min averaged best:\t0", "",
                                        "#\tPopulation size:", kLongRule, "1:\t5", "2:\t12", "3:\t0", "4:\t0",
                                        "", "Mean:\t4.25"}));
}

TEST_F(SummaryProcessorTest, LastHundredGenerationsBlockAppearsOnlyAboveHundred) {
    for (int generations : {100, 101}) {
        params.generationsNumber = generations;
        QSummaryProcessor fresh(&params, testing::testEngine());
        // Generation g (0-based) has best g + 1; generation 0 is outside the last hundred of 101.
        const std::vector<std::vector<double>> zeros(5, std::vector<double>(generations));
        QRunSummary run = makeRun(generations, zeros, 1);
        for (int g = 0; g < generations; ++g) {
            run.bestFitness[g] = g + 1;
            run.meanFitness[g] = 2.0 * (g + 1);
        }
        fresh.addSummary(run);
        fresh.addSummary(run);
        ASSERT_EQ(fresh.operate(), 1);

        const auto lines = splitLines(readFile("summary.log"));
        const auto block = std::find(lines.begin(), lines.end(), "Min averaged best:\t1");
        ASSERT_GE(lines.end() - block, 7);
        if (generations == 100) {
            EXPECT_EQ(block[2], "#\tPopulation size:");
            continue;
        }
        EXPECT_EQ(std::vector<std::string>(block + 1, block + 7),
                  (std::vector<std::string>{
                      "", "Average values over last 100 generations:",
                      "Mean\tDeviation\tBest\tWorst\tdevMean\tdevDev\tdevBest\tdevWorst:", kLongRule,
                      "103\t0\t51.5\t0\t0\t0\t0\t0", ""}));
    }
}

TEST_F(SummaryProcessorTest, AllRunsSolvedLeavesCandidateFileUntouched) {
    testing::writeFile("candidate.log", "from an earlier experiment\n");
    params.generationsNumber = 1;
    const std::vector<std::vector<double>> series(5, std::vector<double>{1.0});
    // Solved within the first millisecond: time 0, yet solved by its evaluation count.
    QRunSummary instant = makeRun(1, series, 1);
    solve(instant, 0.0, 0, 1);
    instant.bestIndividual = individual(11);
    instant.solutionIndividual = individual(10);
    // Solved without a kept solving individual: its best individual stands in.
    QRunSummary bestOnly = makeRun(1, series, 1);
    solve(bestOnly, 0.5, 1, 100);
    bestOnly.bestIndividual = individual(21);
    QRunSummary neither = makeRun(1, series, 1);
    solve(neither, 1.0, 2, 3000000);
    processor.addSummary(instant);
    processor.addSummary(bestOnly);
    processor.addSummary(neither);

    ASSERT_EQ(processor.operate(), 1);

    const auto lines = splitLines(readFile("summary.log"));
    EXPECT_TRUE(hasLine(lines, "1:\t0\t0\t1"));
    // 3000000 squared needs 64 bits: (1 + 1e4 + 9e12) / 3 - (3000101 / 3)^2.
    EXPECT_TRUE(hasLine(lines, "Mean FE count:\t1.00003e+06"));
    EXPECT_TRUE(hasLine(lines, "FE count deviation:\t1.99993e+12"));
    EXPECT_EQ(readFile("solution.log"), dumpOf(params) + "\nSolutions found:\t3\n\n> Run #1 solution:\n" +
                                            printed(10) + "\n> Run #2 solution:\n" + printed(21) +
                                            "\n> Run #3 solution:\n(no individual recorded)\n");
    EXPECT_EQ(readFile("candidate.log"), "from an earlier experiment\n");
}

TEST_F(SummaryProcessorTest, NoRecordsReportsTheErrorAndWritesNoFile) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(processor.operate(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "\n\n[QSummaryProcessor::operate] error:\n\tNo data to process! (summaries number = 0)\n\n");
    EXPECT_FALSE(fileExists("summary.log") || fileExists("solution.log") || fileExists("candidate.log"));
}

TEST_F(SummaryProcessorTest, AlgorithmSectionClosesTheSummary) {
    const std::vector<QRunSummary>* shown = nullptr;
    processor.algorithmReport = [&shown](const std::vector<QRunSummary>& runs, std::ostream& out) {
        shown = &runs;
        out << "Section over " << runs.size() << " runs\n";
    };
    processor.algorithmName = "Reporting algorithm\n";
    params.generationsNumber = 1;
    processor.addSummary(makeRun(1, {{1}, {0}, {1}, {1}, {4}}, 0.5));

    ASSERT_EQ(processor.operate(), 1);

    EXPECT_EQ(shown, &processor.runs);
    EXPECT_NE(readFile("summary.log").find("Algorithm's name:\tReporting algorithm\nProblem:\t\n"), std::string::npos);
    const std::string summary = readFile("summary.log");
    const std::string ending = "\nNo solution(s) found\n\nSection over 1 runs\n";
    ASSERT_GE(summary.size(), ending.size());
    EXPECT_EQ(summary.substr(summary.size() - ending.size()), ending);
}

TEST(SummaryProcessorParameters, NamesEveryEncodingAndOperator) {
    struct Case {
        std::vector<int> types;  // encoding, selection, crossover, mutation, sizer
        std::string encoding, selection, crossover, mutation, sizer;
    };
    const std::vector<Case> cases{
        {{1, 1, 1, 1, 1}, "[string]\nArity:\t3\n", "neutral\n", "1-point\n", "bit-flip\n", "Constant\n"},
        {{2, 2, 2, 2, 2},
         "[integer]\nGene size (bits):\t10\nGene offset:\t-5.12\nGene precision:\t0.01\n",
         "tournament\nTournament size:\t4\n", "2-point\n", "random-flip\n", "Simple adaptive\n"},
        {{3, 0, 3, 3, 4}, "[unknown]\n", "[unknown]\n", "uniform\n", "[unknown]\n",
         "Steady\nPopulation sizing step:\t5\nPopulation sizing direction:\t-1\n\n"},
        {{5, 3, 9, 4, 3}, "[unknown]\n", "[unknown]\n", "[unknown]\n", "[unknown]\n", "[unknown]\n"},
    };
    for (const Case& c : cases) {
        QEAParameters params;
        params.arity = 3;
        params.chromosomeLength = 12;
        params.tournamentSize = 4;
        params.sizingStep = 5;
        params.sizingDirection = -1;
        params.encoding = static_cast<Encoding>(c.types[0]);
        // Numbers outside the registry's identifiers stand for records no word can make.
        params.selectionType = static_cast<Selection>(c.types[1]);
        params.xType = static_cast<Crossover>(c.types[2]);
        params.mutationType = static_cast<Mutation>(c.types[3]);
        params.populationSizerType = static_cast<Sizer>(c.types[4]);
        std::ostringstream out;
        EXPECT_EQ(QSummaryProcessor(&params, testing::testEngine()).printParameters(out), 1);
        EXPECT_EQ(out.str(), "EA parameters:\n------------------------------\nEncoding type:\t" + c.encoding +
                                 "Genes number:\t12\nSelection operator:\t" + c.selection +
                                 "Crossover operator:\t" + c.crossover + "Crossover probability:\t0.7\n" +
                                 "Mutation operator:\t" + c.mutation + "Mutation probability:\t0.01\n" +
                                 "Population sizing operator:\t" + c.sizer + "\n");
    }
}

}  // namespace
}  // namespace Valdrin
