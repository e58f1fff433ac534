// Collecting the experiments' outcomes and the results files made from them.
#include "sweep/sweep_results.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "statistics/rank_tests.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::queryRows;
using testing::readFile;
using testing::splitLines;
using testing::writeFile;
using Rows = std::vector<std::vector<std::string>>;

const char* kRuns =
    "run,generations,evaluations,duration_s,solved,time_to_solution_s,generations_to_solution,evaluations_to_solution,"
    "convergence_generation,final_best_fitness,final_worst_fitness\n"
    "1,10,220,0.01,1,0.005,4,100,,0.001,2.5\n"
    "2,10,220,0.02,0,,,,7,nan,inf\n";
const char* kGenerations =
    "run,generation,evaluations,best_fitness,mean_fitness,worst_fitness,fitness_variance,population_size,solved\n"
    "1,1,20,3.5,4,5,0.25,20,0\n"
    "2,1,20,1e-05,2,3,0.5,20,0\n";

// Four experiments of one swept key over two seeds: the first ran, the second failed, the third
// says it succeeded but its results are missing, the fourth did not run.
class SweepResultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const Experiment& experiment : experiments) fs::create_directories(experiment.folder);
        writeFile(experiments[0].folder + "/runs.csv", kRuns);
        writeFile(experiments[0].folder + "/generations.csv", kGenerations);
        std::string errors;
        for (int line = 1; line <= 8; ++line) errors += "line " + std::to_string(line) + "\n\n";
        writeFile(experiments[1].folder + "/stderr.txt", errors);
        writeFile("joblog",
                  "Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand\n"
                  "1\t:\t1.0\t0.5\t0\t0\t0\t0\tc\n"
                  "2\tssh h2\t1.0\t0.25\t0\t0\t1\t0\tc\n"
                  "3\t:\t1.0\t0.125\t0\t0\t0\t0\tc\n");
        outcomes = collectOutcomes(".", experiments, readJobLog("joblog"));
    }

    testing::ScratchDir scratch;
    std::vector<SweptKey> keys = {{"Crossover type", {"SBX", "BLX, wide"}}};
    std::vector<Experiment> experiments = expandPlan(keys, {1, 2});
    std::vector<ExperimentOutcome> outcomes;
};

TEST_F(SweepResultsTest, OutcomesComeFromTheJobLogAndTheFolders) {
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_EQ(outcomes[0].state, ExperimentOutcome::State::Ran);
    EXPECT_EQ(outcomes[0].runs.rows.size(), 2u);
    EXPECT_EQ(outcomes[0].runs.column("final_best_fitness"), 9);
    EXPECT_EQ(outcomes[1].state, ExperimentOutcome::State::Failed);
    EXPECT_EQ(outcomes[1].reason, "exit status 1");
    EXPECT_EQ(outcomes[1].errorTail, (std::vector<std::string>{"line 4", "line 5", "line 6", "line 7", "line 8"}));
    EXPECT_EQ(outcomes[2].state, ExperimentOutcome::State::Failed);
    EXPECT_NE(outcomes[2].reason.find("not in its folder"), std::string::npos);
    EXPECT_EQ(outcomes[3].state, ExperimentOutcome::State::NotRun);
    EXPECT_FALSE(outcomes[3].job);
}

TEST_F(SweepResultsTest, TheDatabaseHoldsEveryExperimentAndTheRunsAndGenerationsOfThoseThatRan) {
    const SweepRecord record{keys, experiments, outcomes, "."};
    writeResultsDatabase(record, "results.sqlite");
    EXPECT_FALSE(testing::fileExists("results.sqlite.part"));
    EXPECT_EQ(queryRows("results.sqlite", "SELECT id, folder, crossover_type, seed, exit_status, host, duration_s "
                                          "FROM experiments ORDER BY id"),
              (Rows{{"1", experiments[0].folder, "SBX", "1", "0", "local", "0.5"},
                    {"2", experiments[1].folder, "SBX", "2", "1", "ssh h2", "0.25"},
                    {"3", experiments[2].folder, "BLX, wide", "1", "0", "local", "0.125"},
                    {"4", experiments[3].folder, "BLX, wide", "2", "NULL", "NULL", "NULL"}}));
    EXPECT_EQ(queryRows("results.sqlite", "SELECT * FROM swept_keys"), (Rows{{"1", "Crossover type", "crossover_type"}}));
    // Empty cells and nan are NULL, inf stays infinite, counts are integers.
    EXPECT_EQ(queryRows("results.sqlite", "SELECT experiment_id, run, typeof(evaluations), final_best_fitness, "
                                          "final_worst_fitness > 1e308, convergence_generation FROM runs ORDER BY run"),
              (Rows{{"1", "1", "integer", "0.001", "0", "NULL"}, {"1", "2", "integer", "NULL", "1", "7"}}));
    EXPECT_EQ(queryRows("results.sqlite", "SELECT experiment_id, run, best_fitness FROM generations ORDER BY run"),
              (Rows{{"1", "1", "3.5"}, {"1", "2", "1.0e-05"}}));

    // Built afresh every time.
    writeResultsDatabase(record, "results.sqlite");
    EXPECT_EQ(queryRows("results.sqlite", "SELECT count(*) FROM runs"), (Rows{{"2"}}));
}

// A sweep resumed with a newer program: experiments that ran before keep their runs.csv without
// the later columns, the new ones have them; the database is made over whatever was there.
TEST_F(SweepResultsTest, RunsOfAnEarlierVersionLeaveTheLaterColumnsNull) {
    writeFile(experiments[2].folder + "/runs.csv",
              "run,generations,evaluations,duration_s,solved,time_to_solution_s,generations_to_solution,"
              "evaluations_to_solution,convergence_generation,final_best_fitness,final_worst_fitness,"
              "best_so_far_fitness,best_so_far_generation,best_so_far_evaluations,runs_asked\n"
              "1,4,100,0.01,0,,,,,0.5,3,0.125,2,47,1\n");
    writeFile(experiments[2].folder + "/generations.csv", kGenerations);
    outcomes = collectOutcomes(".", experiments, readJobLog("joblog"));
    writeFile("results.sqlite", "an older database, or anything else\n");
    writeResultsDatabase({keys, experiments, outcomes, "."}, "results.sqlite");
    EXPECT_EQ(queryRows("results.sqlite", "SELECT experiment_id, run, final_best_fitness, best_so_far_fitness, "
                                          "typeof(best_so_far_generation), best_so_far_evaluations, runs_asked "
                                          "FROM runs ORDER BY experiment_id, run"),
              (Rows{{"1", "1", "0.001", "NULL", "null", "NULL", "NULL"},
                    {"1", "2", "NULL", "NULL", "null", "NULL", "NULL"},
                    {"3", "1", "0.5", "0.125", "integer", "47", "1"}}));
}

TEST_F(SweepResultsTest, SweepCsvHasARowPerExperimentAndRunWithTheValuesAsGiven) {
    const SweepRecord record{keys, experiments, outcomes, "."};
    writeSweepCsv(record, "sweep.csv");
    const auto lines = splitLines(readFile("sweep.csv"));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].rfind("experiment,crossover_type,seed,exit_status,run,generations,", 0), 0u);
    EXPECT_NE(lines[0].find(",final_worst_fitness,combination,combination_runs,combination_success_rate,"
                            "combination_success_rate_low,combination_success_rate_high,combination_ert,"),
              std::string::npos);
    // Each row ends with its combination's figures: 1 of 2 runs solved (Wilson's 95 % interval of
    // 1/2 is 0.0945 to 0.9055), ERT 320 (a resample without the solved run has none: infinite),
    // the median best found 0.001 (the other run found none).
    const std::string first = ",1,2,0.5,0.09453120573423074,0.9054687942657693,320,100,inf,0.001,0.001,0.001";
    EXPECT_EQ(lines[1], "1,SBX,1,0,1,10,220,0.01,1,0.005,4,100,,0.001,2.5" + first);
    EXPECT_EQ(lines[2], "1,SBX,1,0,2,10,220,0.02,0,,,,7,nan,inf" + first);
    EXPECT_EQ(lines[3], "2,SBX,2,1,,,,,,,,,,," + first);
    EXPECT_EQ(lines[4], "3,\"BLX, wide\",1,0,,,,,,,,,,,,2,0,,,,,,,,,");
    EXPECT_EQ(lines[5], "4,\"BLX, wide\",2,,,,,,,,,,,,,2,0,,,,,,,,,");
}

// Two combinations that both ran: the first solves every run late, the second none early. On
// the evaluations to solution the first wins every pair (an unsolved run ranks after every solved
// one, whatever its count); on the best found the second wins. The figures are the rank tests'
// over the runs of each combination, in both tables.
TEST_F(SweepResultsTest, CombinationsAndTheirComparisonsAreTablesOfTheDatabase) {
    writeFile(experiments[0].folder + "/runs.csv",
              "run,evaluations,solved,evaluations_to_solution,final_best_fitness,best_so_far_fitness\n"
              "1,900,1,800,0.5,0.5\n2,900,1,850,0.75,0.5\n3,900,1,870,0.6,0.25\n");
    writeFile(experiments[2].folder + "/runs.csv",
              "run,evaluations,solved,evaluations_to_solution,final_best_fitness,best_so_far_fitness\n"
              "1,100,0,,0.1,0.1\n2,100,0,,0.2,0.125\n");
    writeFile(experiments[2].folder + "/generations.csv", kGenerations);
    outcomes = collectOutcomes(".", experiments, readJobLog("joblog"));
    writeResultsDatabase({keys, experiments, outcomes, "."}, "results.sqlite");
    EXPECT_EQ(queryRows("results.sqlite", "SELECT id, crossover_type, experiments, experiments_ran, runs, solved, "
                                          "success_rate, ert, median_best_found FROM combinations ORDER BY id"),
              (Rows{{"1", "SBX", "2", "1", "3", "3", "1.0", "840.0", "0.5"},
                    {"2", "BLX, wide", "2", "1", "2", "0", "0.0", "Inf", "0.1125"}}));
    // Every interval holds its figure.
    EXPECT_EQ(queryRows("results.sqlite", "SELECT count(*) FROM combinations WHERE success_rate BETWEEN success_rate_low "
                                          "AND success_rate_high AND ert BETWEEN ert_low AND ert_high AND "
                                          "median_best_found BETWEEN median_best_found_low AND median_best_found_high"),
              (Rows{{"2"}}));
    const MannWhitneyResult found = mannWhitney({0.5, 0.5, 0.25}, {0.1, 0.125});
    EXPECT_EQ(queryRows("results.sqlite", "SELECT measure, combination_a, combination_b, n_a, n_b, u, a12, "
                                          "abs(p_value - " + std::to_string(found.pValue) + ") < 1e-6, p_holm = p_value "
                                          "FROM comparisons ORDER BY measure"),
              (Rows{{"best_found", "1", "2", "3", "2", "6.0", "0.0", "1", "1"},
                    {"evaluations_to_solution", "1", "2", "3", "2", "0.0", "1.0", "1", "1"}}));
    EXPECT_EQ(queryRows("results.sqlite", "SELECT measure, h > 0, p_value < 1 FROM omnibus ORDER BY measure"),
              (Rows{{"best_found", "1", "1"}, {"evaluations_to_solution", "1", "1"}}));
}

TEST(CsvTableTest, ShortRowsArePaddedAndAMissingFileReadsAsNothing) {
    testing::ScratchDir scratch;
    writeFile("t.csv", "a,b,c\n1,2\n\n4,5,6\n");
    const auto table = readCsv("t.csv");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->rows, (Rows{{"1", "2", ""}, {"4", "5", "6"}}));
    EXPECT_EQ(table->column("c"), 2);
    EXPECT_EQ(table->column("d"), -1);
    EXPECT_FALSE(readCsv("missing.csv"));
}

}  // namespace
}  // namespace Valdrin
