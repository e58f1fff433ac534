// Tests of the comma-separated tables: read back as a data-frame library reads them, they must
// give the numbers "summary.log" prints for the same runs, and each row must say what its run did.
#include "statistics/csv_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <sstream>
#include <utility>

#include "algorithms/genetic_algorithm.h"
#include "algorithms/sarn2.h"
#include "core/failure.h"
#include "core/output_file.h"
#include "problems/benchmarks.h"
#include "problems/network_problems.h"
#include "representation/integer.h"
#include "representation/network.h"
#include "statistics/summary_processor.h"
#include "support/algorithm_fixture.h"

namespace Valdrin {
namespace {

using testing::readFile;
using testing::splitLines;
using Records = std::vector<std::vector<std::string>>;

// RFC 4180: quoted fields may hold commas, doubled quotes and line breaks; CRLF or LF ends a record.
Records readCsv(const std::string& text) {
    Records records(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            field += text[i++];
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ',' || c == '\n' || text.compare(i, 2, "\r\n") == 0)) {
            records.back().push_back(std::exchange(field, {}));
            if (c == '\r') ++i;
            if (c != ',') records.emplace_back();
        } else {
            field += c;
        }
    }
    if (field.empty() && records.back().empty()) {
        records.pop_back();  // nothing after the last line end
    } else {
        records.back().push_back(field);
    }
    return records;
}

// The cell of a record in the named column, as pandas or R reads it.
double cell(const Records& table, std::size_t row, const std::string& column) {
    const auto& header = table.front();
    const auto at = static_cast<std::size_t>(std::find(header.begin(), header.end(), column) - header.begin());
    const std::string& text = table.at(row).at(at);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    EXPECT_TRUE(!text.empty() && *end == '\0') << column << " of record " << row << ": \"" << text << "\"";
    return value;
}

std::string printed(double value) {  // as the reports print numbers: six significant digits
    std::ostringstream out;
    out << value;
    return out.str();
}

// The tab-separated fields after the prefix on the first line that starts with it.
std::vector<std::string> fieldsAfter(const std::string& text, const std::string& prefix) {
    std::vector<std::string> fields;
    for (const std::string& line : splitLines(text)) {
        if (line.rfind(prefix, 0) != 0) continue;
        std::istringstream rest(line.substr(prefix.size()));
        for (std::string field; std::getline(rest, field, '\t');) fields.push_back(field);
        break;
    }
    return fields;
}

TEST(CsvExport, ReaderAndNumbersFollowTheRules) {
    EXPECT_EQ(readCsv("a,\"b,\"\"c\"\"\",\r\n\"x\ny\",2\n"), (Records{{"a", "b,\"c\"", ""}, {"x\ny", "2"}}));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::ostringstream out;
    for (double value : {0.1, 50.0, 1e-5, 1.0 / 3.0, 4.9e-324, -inf, nan, inf}) {
        writeShortestNumber(out, value);
        out << ' ';
    }
    EXPECT_EQ(out.str(), "0.1 50 1e-05 0.3333333333333333 5e-324 -inf nan inf ");
}

// Six runs of a small GA on the sphere function, reported as the program reports them.
TEST(CsvExport, TablesOfGaRunsGiveBackTheSummaryOverRuns) {
    testing::AlgorithmBench<QGeneticAlgorithm> bench;  // works in a scratch folder
    QEAParameters params = testing::sphereRecord();
    bench.useProblem<QSphereFunction>().setParameters(&params);
    QGeneticAlgorithm& ga = bench.setUp(params);
    QSummaryProcessor processor(&params, testing::testEngine());
    std::vector<QRunSummary> runs;
    for (int i = 0; i < 6; ++i) {
        bench.runCapturingOutput();
        runs.push_back(ga.runSummary());
        processor.addSummary(ga.runSummary());
    }
    ASSERT_EQ(processor.operate(), 1);
    writeCsvFiles(runs, params, 6);
    const std::string summary = readFile("summary.log");
    const std::string generationsText = readFile("generations.csv");
    EXPECT_EQ(generationsText.find('\r'), std::string::npos);  // LF line ends
    const Records generations = readCsv(generationsText);
    const Records perRun = readCsv(readFile("runs.csv"));
    ASSERT_EQ(generations.size(), 1u + 6 * 30);
    ASSERT_EQ(perRun.size(), 7u);

    // The means over runs and their spreads, generation by generation.
    const std::vector<std::string> series = {"mean_fitness", "fitness_variance", "best_fitness", "worst_fitness"};
    for (int g = 1; g <= 30; ++g) {
        std::vector<double> sums(4, 0.0);
        std::vector<double> squares(4, 0.0);
        for (std::size_t run = 0; run < 6; ++run) {
            const std::size_t row = 1 + run * 30 + static_cast<std::size_t>(g - 1);
            ASSERT_EQ(cell(generations, row, "generation"), g);
            ASSERT_EQ(cell(generations, row, "evaluations"), g * 12);  // each individual once per generation
            const bool solved = cell(perRun, run + 1, "solved") == 1;
            EXPECT_EQ(cell(generations, row, "solved"), solved && g > cell(perRun, run + 1, "generations_to_solution"));
            for (std::size_t k = 0; k < 4; ++k) {
                const double value = cell(generations, row, series[k]);
                sums[k] += value;
                squares[k] += value * value;
            }
        }
        std::vector<std::string> recomputed;
        for (std::size_t k = 0; k < 8; ++k) {
            const double mean = sums[k % 4] / 6;
            recomputed.push_back(printed(k < 4 ? mean : squares[k % 4] / 6 - mean * mean));
        }
        EXPECT_EQ(fieldsAfter(summary, std::to_string(g) + ":\t"), recomputed) << "generation " << g;
    }

    // The times to the first solution over the solved runs.
    std::vector<double> sums(3, 0.0);
    int solved = 0;
    for (std::size_t row = 1; row < perRun.size(); ++row) {
        if (cell(perRun, row, "solved") == 0) continue;
        ++solved;
        sums[0] += cell(perRun, row, "time_to_solution_s");
        sums[1] += cell(perRun, row, "generations_to_solution");
        sums[2] += cell(perRun, row, "evaluations_to_solution");
    }
    ASSERT_TRUE(solved > 0 && solved < 6) << solved;
    EXPECT_EQ(fieldsAfter(summary, "Mean time:\t"), std::vector<std::string>{printed(sums[0] / solved)});
    EXPECT_EQ(fieldsAfter(summary, "Mean generation:\t"), std::vector<std::string>{printed(sums[1] / solved)});
    EXPECT_EQ(fieldsAfter(summary, "Mean FE count:\t"), std::vector<std::string>{printed(sums[2] / solved)});
}

// Indirect evolution counts the evaluations of its networks generation by generation, the one
// that stopped a run at its first solution included.
TEST(CsvExport, Sarn2RecordsTheEvaluationsOfEveryGenerationReached) {
    testing::AlgorithmBench<QSARN2> bench;
    QEAParameters params = testing::smallRecord(Encoding::Real);
    params.generationsNumber = 12;
    params.mRate = 1.0;
    params.untilFirstHit = true;
    params.errorLevel = 0.3;
    params.rngSeed = 11;
    bench.useProblem<QANNProblemXOR>().adjustParameters(&params);
    bench.problem().setParameters(&params);
    QSARN2& sarn2 = bench.setUp(params);
    int stopped = 0;
    for (int i = 0; i < 5; ++i) {
        bench.runCapturingOutput();
        const QRunSummary& run = sarn2.runSummary();
        const bool early = run.generationsDone < params.generationsNumber;
        stopped += early ? 1 : 0;
        std::vector<int> expected;
        for (int g = 1; g <= run.generationsDone + (early ? 1 : 0); ++g) expected.push_back(g * params.populationSize);
        EXPECT_EQ(run.evaluationsByGeneration, expected) << "run " << i + 1;
    }
    EXPECT_TRUE(stopped > 0 && stopped < 5) << stopped;
}

std::unique_ptr<QIndividual> network(int nodes) {
    auto made = std::make_unique<QRNIndividual>();
    made->genes.resize(static_cast<std::size_t>(nodes));
    return made;
}

QRunSummary handMadeRun(int done, std::vector<double> bests) {
    QRunSummary run;
    run.generationsDone = done;
    run.evaluationsCount = 10 * static_cast<int>(bests.size()) + 10;
    for (std::size_t g = 0; g < bests.size(); ++g) run.evaluationsByGeneration.push_back(10 * static_cast<int>(g + 1));
    run.meanFitness = bests;
    run.fitnessVariance.assign(bests.size(), 0.5);
    run.populationSizes.assign(bests.size(), 10.0);
    run.worstFitness = bests;
    for (double& worst : run.worstFitness) worst += 4.0;
    run.bestFitness = std::move(bests);
    run.duration = 1.5;
    return run;
}

TEST(CsvExport, EmptyCellsStandForWhatARunDidNotReach) {
    testing::ScratchDir scratch;
    QEAParameters params;
    params.encoding = Encoding::Real;  // indirect evolution: real vectors, networks examined
    std::vector<QRunSummary> runs;
    // Stopped in its third generation, which solved the problem: its final values are that
    // generation's, and the network judged (network_nodes, network_fitness) is the solution.
    runs.push_back(handMadeRun(2, {3.0, 2.0, 0.001}));
    runs[0].timeToSolution = 0.25;
    runs[0].generationOfSolution = 2;
    runs[0].evaluationsToSolution = 27;
    runs[0].bestIndividual = network(5);
    runs[0].solutionIndividual = network(3);
    runs[0].solutionIndividual->fitness = 0.004;
    runs.push_back(handMadeRun(2, {1.0, 0.5}));  // unsolved, converged, its best a network
    runs[1].convergenceGeneration = 2;
    runs[1].bestIndividual = network(4);
    runs.push_back(handMadeRun(1, {std::numeric_limits<double>::infinity()}));  // no network
    runs[2].meanFitness[0] = std::numeric_limits<double>::quiet_NaN();
    runs[2].bestIndividual = std::make_unique<QIntegerIndividual>();
    // The first run's best came in its third generation; the second's in its final population,
    // better than its last generation's best; the third's evaluations gave no fitness.
    runs[0].improvements = {{1, 3.0}, {27, 0.001}};
    runs[1].improvements = {{1, 1.0}, {18, 0.5}, {29, 0.25}};
    writeCsvFiles(runs, params, 5, "tables/csv");
    EXPECT_EQ(readFile("tables/csv/runs.csv"),
              "run,generations,evaluations,duration_s,solved,time_to_solution_s,generations_to_solution,"
              "evaluations_to_solution,convergence_generation,final_best_fitness,final_worst_fitness,network_nodes,"
              "best_so_far_fitness,best_so_far_generation,best_so_far_evaluations,runs_asked,network_fitness\n"
              "1,2,40,1.5,1,0.25,2,27,,0.001,4.001,3,0.001,3,27,5,0.004\n"
              "2,2,30,1.5,0,,,,2,0.5,4.5,4,0.25,2,29,5,0\n"
              "3,1,20,1.5,0,,,,,inf,inf,,nan,,,5,\n");
    EXPECT_EQ(readFile("tables/csv/generations.csv"),
              "run,generation,evaluations,best_fitness,mean_fitness,worst_fitness,fitness_variance,population_size,"
              "solved\n"
              "1,1,10,3,3,7,0.5,10,0\n1,2,20,2,2,6,0.5,10,0\n1,3,30,0.001,0.001,4.001,0.5,10,1\n"
              "2,1,10,1,1,5,0.5,10,0\n2,2,20,0.5,0.5,4.5,0.5,10,0\n"
              "3,1,10,inf,nan,inf,0.5,10,0\n");

    // Without networks there is no node column; a table that cannot be written ends the experiment.
    runs.resize(1);
    runs[0].bestIndividual.reset();
    runs[0].solutionIndividual.reset();
    std::filesystem::create_directories("blocked/runs.csv");
    try {
        writeCsvFiles(runs, params, 1, "blocked");
        ADD_FAILURE() << "a folder named runs.csv was written over";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.plain(), "cannot write blocked/runs.csv: Is a directory");
    }
    EXPECT_EQ(splitLines(readFile("blocked/generations.csv")).size(), 4u);
    writeCsvFiles(runs, params, 1);
    const Records withoutNetworks = readCsv(readFile("runs.csv"));
    EXPECT_EQ(withoutNetworks[0][10], "final_worst_fitness");
    EXPECT_EQ(withoutNetworks[0][11], "best_so_far_fitness");
}

}  // namespace
}  // namespace Valdrin
