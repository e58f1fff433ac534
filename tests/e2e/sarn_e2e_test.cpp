// End-to-end runs of the network examples with both network algorithms: standard output, the
// algorithm's log, the summary with the networks' statistics, the solution and candidate files
// and the series report, each compared with a second invocation (clock values masked).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::readFile;
using testing::splitLines;

struct Outcome {
    testing::ProgramResult result;
    std::map<std::string, std::string> files;
};

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Runs an example's configuration (three runs, one invocation) in a fresh folder; keeps every
// file written.
Outcome runExample([[maybe_unused]] const std::string& example) {
    testing::ScratchDir scratch;
#ifdef VALDRIN_SOURCE_DIR
    testing::writeFile("config.xml", readFile(std::string(VALDRIN_SOURCE_DIR) + "/examples/" + example + "/config.xml"));
#endif
    Outcome outcome;
    outcome.result = testing::runProgram({"config.xml", "3"});
    for (const char* name : {"sarn.log", "sarn2.log", "summary.log", "solution.log", "candidate.log", "qannsin.log"}) {
        if (testing::fileExists(name)) outcome.files[name] = readFile(name);
    }
    return outcome;
}

void checkExample(const std::string& folder, const std::string& creation, const std::string& problem,
                  const std::string& log, bool seriesTask) {
#ifndef VALDRIN_SOURCE_DIR
    GTEST_SKIP() << "the program is not built in this configuration";
#endif
    const Outcome first = runExample(folder);
    const std::string& out = first.result.out;
    // SARN2's runs carry its template network on: the check says so for every experiment of
    // several runs.
    const bool sarn2 = creation.find("QSARN2") != std::string::npos;
    EXPECT_EQ(first.result.err, sarn2 ? "valdrin: warning: config.xml:3: SARN2's runs share one template network, "
                                        "which goes on growing from run to run: the 3 runs are not independent and "
                                        "later ones take longer; for independent runs, run separate experiments (or "
                                        "a sweep over seeds)\n"
                                      : "");
    EXPECT_TRUE(startsWith(out, creation + "\n" + problem + "\nInitialization of random numbers generator\nRun # 0\n"));
    EXPECT_EQ(count(out, "Finishing the run...done\nFinal best fitness = "), 3);
    EXPECT_EQ(count(out, "\nMean error = ") + count(out, "Incorrect network structure: The output is unreachable\n"), 3);

    ASSERT_TRUE(first.files.count(log) && first.files.count("summary.log"));
    EXPECT_EQ(count(first.files.at(log), "\nStarting a new run:\n-------------------------------\n"), 3);
    EXPECT_EQ(count(first.files.at(log), "\nRun duration: "), 3);

    // The networks' report agrees with the solution and candidate files.
    const std::string& summary = first.files.at("summary.log");
    const auto at = summary.find("> Solutions summary (");
    ASSERT_NE(at, std::string::npos);
    const int solved = std::stoi(summary.substr(at + 21));
    EXPECT_NE(summary.find("> Cumulative history events counters for the solutions:\t"), std::string::npos);
    EXPECT_EQ(first.files.count("solution.log") == 1, solved > 0);
    EXPECT_EQ(first.files.count("candidate.log") == 1, solved < 3);
    if (solved > 0) {
        EXPECT_EQ(count(first.files.at("solution.log"), "History events counters:\t"), solved);
    }
    if (solved < 3) {
        EXPECT_NE(summary.find("> Candidate-solutions summary (" + std::to_string(3 - solved) + "):\n"), std::string::npos);
        EXPECT_EQ(count(first.files.at("candidate.log"), "History events counters:\t"), 3 - solved);
    }

    EXPECT_EQ(first.files.count("qannsin.log") == 1, seriesTask);
    if (seriesTask) {
        // The report file holds the last run's test, whose error standard output shows too.
        const std::string& series = first.files.at("qannsin.log");
        const std::string error = series.substr(series.rfind("\nError:\t") + 8);
        EXPECT_TRUE(startsWith(series, "Network output, testing:\n"));
        EXPECT_TRUE(error == "0\n" || out.substr(out.rfind("Mean error = ") + 13, error.size()) == error);
    }

    const Outcome second = runExample(folder);
    EXPECT_EQ(second.result.out, out);
    ASSERT_EQ(second.files.size(), first.files.size());
    for (const auto& [name, text] : first.files) {
        ASSERT_TRUE(second.files.count(name)) << name;
        EXPECT_EQ(testing::maskClock(second.files.at(name)), testing::maskClock(text)) << name;
    }
}

// A column of runs.csv by its header's name, one value per run.
std::vector<std::string> column(const std::string& csv, const std::string& name) {
    const std::vector<std::string> lines = splitLines(csv);
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : lines) {
        std::vector<std::string> cells(1);
        for (char c : line) {
            if (c == ',') {
                cells.emplace_back();
            } else {
                cells.back().push_back(c);
            }
        }
        rows.push_back(cells);
    }
    std::vector<std::string> values;
    for (std::size_t k = 0; k < rows.at(0).size(); ++k) {
        if (rows[0][k] != name) continue;
        for (std::size_t r = 1; r < rows.size(); ++r) values.push_back(rows[r].at(k));
    }
    return values;
}

// Every figure of a network run that stops at its first solution, as each output gives it: the
// final best is that of the generation that found the solution (below the error level), equal to
// the last generations.csv row and the best so far, which the IOHprofiler data end with; the
// network judged (solution.log or candidate.log) has the nodes and fitness runs.csv gives it.
TEST(SarnEndToEnd, EveryFigureOfANetworkRunAgreesAcrossTheOutputs) {
#ifndef VALDRIN_SOURCE_DIR
    GTEST_SKIP() << "the program is not built in this configuration";
#else
    for (const char* example : {"xor-sarn", "xor-sarn2"}) {
        SCOPED_TRACE(example);
        testing::ScratchDir scratch;
        std::string configuration = readFile(std::string(VALDRIN_SOURCE_DIR) + "/examples/" + example + "/config.xml");
        // SARN's runs go on until most of them are solved; SARN2's template grows from run to
        // run, so its runs stay short (and unsolved).
        const auto generations = configuration.find("<value>200</value>");
        ASSERT_NE(generations, std::string::npos);
        if (std::string(example) == "xor-sarn") configuration.replace(generations, 18, "<value>1500</value>");
        testing::writeFile("config.xml", configuration);
        ASSERT_EQ(testing::runProgram({"config.xml", "4", "--csv", "--ioh", "ioh", "--quiet"}).status, 0);
        const std::string runs = readFile("runs.csv");
        const std::vector<std::string> solved = column(runs, "solved");
        const std::vector<std::string> finalBest = column(runs, "final_best_fitness");
        const std::vector<std::string> bestSoFar = column(runs, "best_so_far_fitness");
        const std::vector<std::string> nodes = column(runs, "network_nodes");
        const std::vector<std::string> networkFitness = column(runs, "network_fitness");
        ASSERT_EQ(networkFitness.size(), 4u);

        // The last row of each run in generations.csv, and the last value of each run's block in
        // the IOHprofiler data.
        std::vector<std::string> lastRowBest(4);
        const std::string table = readFile("generations.csv");
        const std::vector<std::string> run = column(table, "run");
        const std::vector<std::string> best = column(table, "best_fitness");
        for (std::size_t i = 0; i < run.size(); ++i) lastRowBest.at(std::stoul(run[i]) - 1) = best[i];
        std::vector<std::string> iohLast;
        for (const auto& entry : std::filesystem::recursive_directory_iterator("ioh")) {
            if (entry.path().extension() != ".dat") continue;
            for (const std::string& line : splitLines(readFile(entry.path().string()))) {
                if (line.empty() || line[0] == '"') {
                    iohLast.emplace_back();
                } else {
                    iohLast.back() = line.substr(line.find(' ') + 1);
                }
            }
        }
        ASSERT_EQ(iohLast.size(), 4u);

        // The networks as solution.log and candidate.log print them, in run order.
        std::map<int, std::pair<double, int>> printed;
        for (const char* name : {"solution.log", "candidate.log"}) {
            if (!testing::fileExists(name)) continue;
            const std::vector<std::string> lines = splitLines(readFile(name));
            for (std::size_t i = 0; i + 2 < lines.size(); ++i) {
                if (!startsWith(lines[i], "> Run #")) continue;
                printed[std::stoi(lines[i].substr(7))] = {std::stod(lines[i + 1].substr(1)),
                                                         std::stoi(lines[i + 2].substr(lines[i + 2].find('\t') + 1))};
            }
        }
        ASSERT_EQ(printed.size(), 4u);

        int solvedRuns = 0;
        for (std::size_t r = 0; r < 4; ++r) {
            SCOPED_TRACE("run " + std::to_string(r + 1));
            EXPECT_EQ(finalBest[r], lastRowBest[r]);
            EXPECT_EQ(bestSoFar[r], iohLast[r]);
            EXPECT_EQ(printed.at(static_cast<int>(r) + 1).second, std::stoi(nodes[r]));
            EXPECT_NEAR(printed.at(static_cast<int>(r) + 1).first, std::stod(networkFitness[r]),
                        1e-5 * std::fabs(std::stod(networkFitness[r])));
            if (solved[r] != "1") continue;
            ++solvedRuns;
            EXPECT_LT(std::stod(finalBest[r]), 0.01);
            EXPECT_EQ(finalBest[r], bestSoFar[r]);
            EXPECT_LT(std::stod(networkFitness[r]), 0.01);
        }
        if (std::string(example) == "xor-sarn") {
            EXPECT_GE(solvedRuns, 1);
        }
    }
#endif
}

TEST(SarnEndToEnd, XorWithSarn) {
    checkExample("xor-sarn", "Creating QSARN", "Neural network XOR problem", "sarn.log", false);
}

TEST(SarnEndToEnd, DoubleSinWithSarn) {
    checkExample("double-sin-sarn", "Creating QSARN", "Neural network double sin prediction problem", "sarn.log", true);
}

TEST(SarnEndToEnd, XorWithSarn2) {
    checkExample("xor-sarn2", "Creating QSARN2 (indirect evolution)", "Neural network XOR problem", "sarn2.log", false);
}

TEST(SarnEndToEnd, DoubleSinWithSarn2) {
    checkExample("double-sin-sarn2", "Creating QSARN2 (indirect evolution)",
                 "Neural network double sin prediction problem", "sarn2.log", true);
}

}  // namespace
}  // namespace Valdrin
