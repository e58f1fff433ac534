// Tests of the comma-separated tables: read back as a spreadsheet or a data-frame library reads
// them, they must give the numbers "summary.log" prints for the same runs, and every run's and
// generation's row must say what its run did.
#include "statistics/csv_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::readFile;
using testing::splitLines;

// --- An RFC 4180 reader: quoted fields may hold commas, doubled quotes and line breaks; records
// end with CRLF or LF. ---
std::vector<std::vector<std::string>> readCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
        } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            if (c == '\r') ++i;
            record.push_back(std::move(field));
            field.clear();
            records.push_back(std::move(record));
            record.clear();
        } else {
            field += c;
        }
    }
    if (!field.empty() || !record.empty()) {
        record.push_back(std::move(field));
        records.push_back(std::move(record));
    }
    return records;
}

TEST(CsvReader, ReadsQuotedFieldsAndBothLineEnds) {
    const auto records = readCsv("a,\"b,\"\"c\"\"\",\r\n\"x\ny\",2\n");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], (std::vector<std::string>{"a", "b,\"c\"", ""}));
    EXPECT_EQ(records[1], (std::vector<std::string>{"x\ny", "2"}));
}

// A table read back, its cells found by column name.
class Table {
public:
    explicit Table(const std::string& text) : records_(readCsv(text)) {
        if (records_.empty()) return;
        header = records_.front();
        for (std::size_t k = 0; k < header.size(); ++k) columns_[header[k]] = k;
        rows.assign(records_.begin() + 1, records_.end());
    }

    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;

    bool hasColumn(const std::string& name) const { return columns_.count(name) != 0; }
    const std::string& cell(std::size_t row, const std::string& name) const { return rows.at(row).at(columns_.at(name)); }
    // The cell as pandas or R would read it ("nan", "inf" and "-inf" included).
    double number(std::size_t row, const std::string& name) const {
        const std::string& text = cell(row, name);
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        EXPECT_TRUE(!text.empty() && *end == '\0') << name << " in row " << row + 1 << " is not a number: " << text;
        return value;
    }
    int integer(std::size_t row, const std::string& name) const { return static_cast<int>(number(row, name)); }

private:
    std::vector<std::vector<std::string>> records_;
    std::map<std::string, std::size_t> columns_;
};

std::string shortest(double value) {
    std::ostringstream out;
    writeShortestNumber(out, value);
    return out.str();
}

// A number as the reports print it (six significant digits).
std::string printed(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

// The fields of the line of text that starts with prefix, after the prefix, split at tabs.
std::vector<std::string> fieldsAfter(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) != 0) continue;
        std::vector<std::string> fields;
        std::istringstream rest(line.substr(prefix.size()));
        for (std::string field; std::getline(rest, field, '\t');) {
            if (!field.empty()) fields.push_back(field);
        }
        return fields;
    }
    ADD_FAILURE() << "no line starts with " << prefix;
    return {};
}

TEST(CsvNumbers, ShortestTextReadsBackToTheSameDouble) {
    EXPECT_EQ(shortest(0.1), "0.1");
    EXPECT_EQ(shortest(50.0), "50");
    EXPECT_EQ(shortest(1e-5), "1e-05");
    EXPECT_EQ(shortest(-0.0), "-0");
    EXPECT_EQ(shortest(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(shortest(-std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(shortest(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(shortest(-std::numeric_limits<double>::infinity()), "-inf");
    for (const double value : {1.0 / 3.0, 2.0 / 3.0, 0.1 + 0.2, 1e300 / 3.0, -2.5e-310, 4.9e-324,
                               std::numeric_limits<double>::max(), 123456789012345678.0, 0.000291146}) {
        const std::string text = shortest(value);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
        EXPECT_LE(text.size(), 24u) << text;
    }
}

// --- Runs of a small GA on the sphere function, the report over them as the program writes it,
// and the tables of the same runs. ---
class GaTablesTest : public ::testing::Test {
protected:
    testing::AlgorithmBench<QGeneticAlgorithm> bench;  // works in a scratch folder
    QEAParameters params = testing::smallRecord(Encoding::Real);
    std::vector<QRunSummary> runs;
    std::vector<std::string> outputs;  // each run's standard output

    GaTablesTest() {
        OutputFile::setFolder("");
        params.chromosomeLength = 3;
        params.populationSize = 12;
        params.generationsNumber = 30;
        params.tournamentSize = 3;
        params.xType = Crossover::SBX;
        params.xAlpha = 1.0;
        params.xRate = 0.9;
        params.mRate = 0.3;
        params.errorLevel = 130.0;  // reached by some runs of this length, not by all
        params.rngSeed = 5;
        bench.useProblem<QSphereFunction>().setParameters(&params);
    }

    void runAndReport(int count) {
        QGeneticAlgorithm& ga = bench.setUp(params);
        QSummaryProcessor processor(&params);
        for (int i = 0; i < count; ++i) {
            outputs.push_back(bench.runCapturingOutput());
            runs.push_back(ga.runSummary());
            processor.addSummary(ga.runSummary());
        }
        ASSERT_EQ(processor.operate(), 1);
        writeCsvFiles(runs, params);
    }
};

TEST_F(GaTablesTest, TablesGiveBackTheSummaryOverRuns) {
    runAndReport(6);
    const Table generations(readFile("generations.csv"));
    const Table perRun(readFile("runs.csv"));
    const std::vector<std::string> summary = splitLines(readFile("summary.log"));
    ASSERT_EQ(perRun.rows.size(), 6u);

    // The per-generation table: means over the runs that completed the generation, and their
    // population variances, in the order mean, variance, best, worst.
    const std::vector<std::string> series = {"mean_fitness", "fitness_variance", "best_fitness", "worst_fitness"};
    for (int g = 1; g <= params.generationsNumber; ++g) {
        std::vector<double> sums(4, 0.0);
        std::vector<double> squares(4, 0.0);
        int reached = 0;
        for (std::size_t row = 0; row < generations.rows.size(); ++row) {
            const int run = generations.integer(row, "run");
            if (generations.integer(row, "generation") != g || g > perRun.integer(run - 1, "generations")) continue;
            ++reached;
            for (std::size_t k = 0; k < 4; ++k) {
                const double value = generations.number(row, series[k]);
                sums[k] += value;
                squares[k] += value * value;
            }
        }
        ASSERT_GT(reached, 0);
        std::vector<std::string> recomputed;
        for (std::size_t k = 0; k < 4; ++k) recomputed.push_back(printed(sums[k] / reached));
        for (std::size_t k = 0; k < 4; ++k) {
            const double mean = sums[k] / reached;
            recomputed.push_back(printed(squares[k] / reached - mean * mean));
        }
        EXPECT_EQ(recomputed, fieldsAfter(summary, std::to_string(g) + ":\t")) << "generation " << g;
    }

    // The times to the first solution, over the solved runs.
    double time = 0.0;
    double generation = 0.0;
    double evaluations = 0.0;
    int solved = 0;
    for (std::size_t row = 0; row < perRun.rows.size(); ++row) {
        if (perRun.integer(row, "solved") == 0) continue;
        ++solved;
        time += perRun.number(row, "time_to_solution_s");
        generation += perRun.number(row, "generations_to_solution");
        evaluations += perRun.number(row, "evaluations_to_solution");
    }
    ASSERT_GT(solved, 0) << "the runs should solve the problem now and then";
    ASSERT_LT(solved, 6) << "the runs should miss the solution now and then";
    EXPECT_EQ(fieldsAfter(summary, "Mean time:\t"), std::vector<std::string>{printed(time / solved)});
    EXPECT_EQ(fieldsAfter(summary, "Mean generation:\t"), std::vector<std::string>{printed(generation / solved)});
    EXPECT_EQ(fieldsAfter(summary, "Mean FE count:\t"), std::vector<std::string>{printed(evaluations / solved)});
}

TEST_F(GaTablesTest, RowsSayWhatEachRunAndGenerationDid) {
    runAndReport(4);
    const std::string generationsText = readFile("generations.csv");
    const std::string runsText = readFile("runs.csv");
    EXPECT_EQ(generationsText.find('\r'), std::string::npos);
    EXPECT_EQ(runsText.find('\r'), std::string::npos);
    const Table generations(generationsText);
    const Table perRun(runsText);
    EXPECT_EQ(generations.header,
              (std::vector<std::string>{"run", "generation", "evaluations", "best_fitness", "mean_fitness", "worst_fitness",
                                        "fitness_variance", "population_size", "solved"}));
    EXPECT_EQ(perRun.header,
              (std::vector<std::string>{"run", "generations", "evaluations", "duration_s", "solved", "time_to_solution_s",
                                        "generations_to_solution", "evaluations_to_solution", "convergence_generation",
                                        "final_best_fitness", "final_worst_fitness"}));
    for (const auto& row : generations.rows) ASSERT_EQ(row.size(), generations.header.size());
    for (const auto& row : perRun.rows) ASSERT_EQ(row.size(), perRun.header.size());
    ASSERT_EQ(generations.rows.size(), static_cast<std::size_t>(4 * params.generationsNumber));

    std::size_t row = 0;
    for (int run = 1; run <= 4; ++run) {
        const auto r = static_cast<std::size_t>(run - 1);
        EXPECT_EQ(perRun.integer(r, "run"), run);
        EXPECT_EQ(perRun.integer(r, "generations"), params.generationsNumber);
        const bool solved = perRun.integer(r, "solved") == 1;
        EXPECT_EQ(perRun.cell(r, "time_to_solution_s").empty(), !solved);
        EXPECT_EQ(perRun.cell(r, "evaluations_to_solution").empty(), !solved);
        const int firstSolved = solved ? perRun.integer(r, "generations_to_solution") + 1 : params.generationsNumber + 1;

        // Every individual of a generation's population is evaluated once in that generation.
        double evaluated = 0.0;
        double lastBest = 0.0;
        double lastWorst = 0.0;
        for (int g = 1; g <= params.generationsNumber; ++g, ++row) {
            ASSERT_EQ(generations.integer(row, "run"), run);
            ASSERT_EQ(generations.integer(row, "generation"), g);
            evaluated += generations.number(row, "population_size");
            EXPECT_EQ(generations.number(row, "evaluations"), evaluated) << "run " << run << ", generation " << g;
            EXPECT_EQ(generations.integer(row, "solved"), g >= firstSolved ? 1 : 0) << "run " << run << ", generation " << g;
            EXPECT_LE(generations.number(row, "best_fitness"), generations.number(row, "worst_fitness"));
            lastBest = generations.number(row, "best_fitness");
            lastWorst = generations.number(row, "worst_fitness");
        }
        EXPECT_GT(perRun.number(r, "evaluations"), evaluated);  // the final population is evaluated too
        if (solved) {
            EXPECT_LE(perRun.number(r, "evaluations_to_solution"), perRun.number(r, "evaluations"));
        }

        // The final values are those the run's final lines print, from its last generation.
        EXPECT_EQ(perRun.number(r, "final_best_fitness"), lastBest);
        EXPECT_EQ(perRun.number(r, "final_worst_fitness"), lastWorst);
        const std::vector<std::string> lines = splitLines(outputs[r]);
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Final best fitness = " + printed(lastBest)), lines.end());
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Final worst fitness = " + printed(lastWorst)), lines.end());
    }
}

// --- Indirect evolution of networks for the XOR task, stopping at the first solution. ---
TEST(Sarn2Tables, StoppedRunsShowTheGenerationThatSolvedAndTheNetworkSize) {
    testing::AlgorithmBench<QSARN2> bench;
    OutputFile::setFolder("");
    QEAParameters params = testing::smallRecord(Encoding::Real);
    params.populationSize = 6;
    params.generationsNumber = 12;
    params.mRate = 1.0;
    params.untilFirstHit = true;
    params.errorLevel = 0.3;
    params.rngSeed = 11;
    QANNProblemXOR& xor_ = bench.useProblem<QANNProblemXOR>();
    xor_.adjustParameters(&params);
    xor_.setParameters(&params);
    QSARN2& sarn2 = bench.setUp(params);
    std::vector<QRunSummary> runs;
    for (int i = 0; i < 5; ++i) {
        bench.runCapturingOutput();
        runs.push_back(sarn2.runSummary());
    }
    writeCsvFiles(runs, params);
    const Table generations(readFile("generations.csv"));
    const Table perRun(readFile("runs.csv"));
    ASSERT_TRUE(perRun.hasColumn("network_nodes"));

    int stopped = 0;
    std::size_t row = 0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const int done = perRun.integer(r, "generations");
        const bool solved = perRun.integer(r, "solved") == 1;
        // The run stops in the generation that solves the problem, whose row follows those of
        // the generations done (a solution in the final population, after the last generation,
        // has no row).
        if (solved) {
            EXPECT_EQ(perRun.integer(r, "generations_to_solution"), done);
        }
        const bool stoppedEarly = solved && done < params.generationsNumber;
        const int rows = stoppedEarly ? done + 1 : done;
        stopped += stoppedEarly ? 1 : 0;
        double evaluated = 0.0;
        for (int g = 1; g <= rows; ++g, ++row) {
            ASSERT_LT(row, generations.rows.size());
            ASSERT_EQ(generations.integer(row, "run"), static_cast<int>(r) + 1);
            ASSERT_EQ(generations.integer(row, "generation"), g);
            evaluated += generations.number(row, "population_size");
            EXPECT_EQ(generations.number(row, "evaluations"), evaluated);
            EXPECT_EQ(generations.integer(row, "solved"), stoppedEarly && g == rows ? 1 : 0);
        }
        if (stoppedEarly) {
            EXPECT_LT(generations.number(row - 1, "best_fitness"), params.errorLevel);
            EXPECT_LE(perRun.number(r, "evaluations_to_solution"), evaluated);
        }
        const QIndividual* examined = solved ? runs[r].solutionIndividual.get() : runs[r].bestIndividual.get();
        ASSERT_NE(examined, nullptr);
        EXPECT_EQ(perRun.integer(r, "network_nodes"), examined->getGenesNumber());
    }
    EXPECT_EQ(row, generations.rows.size());
    EXPECT_GT(stopped, 0) << "some run should stop at its solution";
    EXPECT_LT(stopped, 5) << "some run should go to its last generation";
}

// --- Hand-made records. ---
std::unique_ptr<QIndividual> network(int nodes) {
    auto made = std::make_unique<QRNIndividual>();
    made->genes.resize(static_cast<std::size_t>(nodes));
    return made;
}

QRunSummary handMadeRun(int done, std::vector<double> bests, std::vector<int> evaluations) {
    QRunSummary run;
    run.generationsDone = done;
    run.evaluationsCount = evaluations.empty() ? 0 : evaluations.back() + 10;
    run.meanFitness = bests;
    run.fitnessVariance.assign(bests.size(), 0.5);
    run.worstFitness = bests;
    for (double& worst : run.worstFitness) worst += 4.0;
    run.bestFitness = std::move(bests);
    run.populationSizes.assign(run.bestFitness.size(), 10.0);
    run.evaluationsByGeneration = std::move(evaluations);
    run.duration = 1.5;
    return run;
}

class HandMadeTablesTest : public ::testing::Test {
protected:
    testing::ScratchDir scratch;
    QEAParameters params;
    HandMadeTablesTest() { OutputFile::setFolder(""); }
};

TEST_F(HandMadeTablesTest, EmptyCellsStandForWhatARunDidNotReach) {
    params.encoding = Encoding::Network;
    std::vector<QRunSummary> runs;
    // Stopped in its third generation, which solved the problem: three rows, final values from
    // the second.
    runs.push_back(handMadeRun(2, {3.0, 2.0, 0.001}, {10, 20, 30}));
    runs[0].timeToSolution = 0.25;
    runs[0].generationOfSolution = 2;
    runs[0].evaluationsToSolution = 27;
    runs[0].bestIndividual = network(5);
    runs[0].solutionIndividual = network(3);
    // Unsolved, converged in its second generation.
    runs.push_back(handMadeRun(2, {1.0, 0.5}, {10, 20}));
    runs[1].convergenceGeneration = 2;
    runs[1].bestIndividual = network(4);
    // Its individual is no network; its fitness went beyond the numbers.
    runs.push_back(handMadeRun(1, {std::numeric_limits<double>::infinity()}, {10}));
    runs[2].meanFitness[0] = std::numeric_limits<double>::quiet_NaN();
    runs[2].bestIndividual = std::make_unique<QIntegerIndividual>();
    writeCsvFiles(runs, params);

    EXPECT_EQ(splitLines(readFile("runs.csv")),
              (std::vector<std::string>{
                  "run,generations,evaluations,duration_s,solved,time_to_solution_s,generations_to_solution,"
                  "evaluations_to_solution,convergence_generation,final_best_fitness,final_worst_fitness,network_nodes",
                  "1,2,40,1.5,1,0.25,2,27,,2,6,3",
                  "2,2,30,1.5,0,,,,2,0.5,4.5,4",
                  "3,1,20,1.5,0,,,,,inf,inf,",
              }));
    EXPECT_EQ(splitLines(readFile("generations.csv")),
              (std::vector<std::string>{
                  "run,generation,evaluations,best_fitness,mean_fitness,worst_fitness,fitness_variance,population_size,solved",
                  "1,1,10,3,3,7,0.5,10,0",
                  "1,2,20,2,2,6,0.5,10,0",
                  "1,3,30,0.001,0.001,4.001,0.5,10,1",
                  "2,1,10,1,1,5,0.5,10,0",
                  "2,2,20,0.5,0.5,4.5,0.5,10,0",
                  "3,1,10,inf,nan,inf,0.5,10,0",
              }));
}

TEST_F(HandMadeTablesTest, NetworkColumnAppearsWhenTheRunsHoldNetworks) {
    params.encoding = Encoding::Real;  // indirect evolution: real vectors, networks examined
    std::vector<QRunSummary> runs;
    runs.push_back(handMadeRun(1, {1.0}, {10}));
    runs.push_back(handMadeRun(1, {1.0}, {10}));
    runs[1].bestIndividual = network(2);
    writeCsvFiles(runs, params);
    Table perRun(readFile("runs.csv"));
    ASSERT_TRUE(perRun.hasColumn("network_nodes"));
    EXPECT_EQ(perRun.cell(0, "network_nodes"), "");
    EXPECT_EQ(perRun.cell(1, "network_nodes"), "2");

    runs[1].bestIndividual = std::make_unique<QIntegerIndividual>();
    writeCsvFiles(runs, params);
    perRun = Table(readFile("runs.csv"));
    EXPECT_FALSE(perRun.hasColumn("network_nodes"));
    EXPECT_EQ(perRun.header.size(), perRun.rows[1].size());
}

TEST_F(HandMadeTablesTest, FilesGoIntoTheirFolderAndAFailedFileEndsTheExperiment) {
    const std::vector<QRunSummary> runs = {handMadeRun(1, {1.0}, {10})};
    writeCsvFiles(runs, params, "results/csv");
    EXPECT_TRUE(testing::fileExists("results/csv/generations.csv"));
    EXPECT_TRUE(testing::fileExists("results/csv/runs.csv"));

    // With an output folder, the tables' folder is placed in it.
    std::filesystem::create_directory("out");
    OutputFile::setFolder("out");
    writeCsvFiles(runs, params, "tables");
    OutputFile::setFolder("");
    EXPECT_TRUE(testing::fileExists("out/tables/runs.csv"));

    // The account the user reads of the failure that ends the experiment ("" when none).
    const auto failureOf = [&](const std::string& folder) {
        try {
            writeCsvFiles(runs, params, folder);
        } catch (const Failure& failure) {
            return failure.plain();
        }
        return std::string();
    };
    std::filesystem::create_directories("blocked/runs.csv");
    EXPECT_EQ(failureOf("blocked"), "cannot write blocked/runs.csv: Is a directory");
    testing::writeFile("plain", "");
    EXPECT_EQ(failureOf("plain").rfind("cannot write plain: ", 0), 0u) << failureOf("plain");
}

}  // namespace
}  // namespace Valdrin
