// End-to-end runs of the genetic algorithm: the built program on small configurations, with its
// standard output, "ga.log" and the three report files read back line by line.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/random.h"
#include "core/mean_variance.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::fileExists;
using testing::maskClock;
using testing::ProgramResult;
using testing::readFile;
using testing::runProgram;
using testing::ScratchDir;
using testing::seedForTest;
using testing::splitLines;
using testing::writeFile;

using Parameters = std::vector<std::pair<std::string, std::string>>;

std::string formatted(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The lines that follow the first line equal to header, up to the next empty line.
std::vector<std::string> sectionAfter(const std::vector<std::string>& lines, const std::string& header) {
    std::vector<std::string> section;
    auto it = std::find(lines.begin(), lines.end(), header);
    if (it == lines.end()) return section;
    for (++it; it != lines.end() && !it->empty(); ++it) section.push_back(*it);
    return section;
}

ProgramResult runIn(const std::string& problem, const Parameters& parameters, const std::string& runs = "1") {
    writeFile("config.xml", testing::gaConfiguration(problem, parameters));
    return runProgram({"config.xml", runs});
}

// One generation of two one-bit-per-gene individuals that all become elite: the result
// follows from the initializer's draws and the neutral selection's two draws alone.
TEST(GeneticAlgorithmEndToEnd, ATinyRunFollowsFromTheDrawsByHand) {
    ScratchDir dir;
    constexpr unsigned seed = 7;
    const ProgramResult result = runIn("Onemax", {{"Encoding", "integer"},
                                                  {"Chromosome length", "4"},
                                                  {"Population size", "2"},
                                                  {"Generations number", "1"},
                                                  {"Selection type", "neutral"},
                                                  {"Crossover type", "1-point"},
                                                  {"Mutation type", "bit-flip"},
                                                  {"Mutation rate", "0"},
                                                  {"Elite count", "2"},
                                                  {"Error level", "0.5"},
                                                  {"RNG seed", std::to_string(seed)}});
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");

    // The set-up initialises the three populations (24 draws) and the run's own preparation
    // does it again: one draw per bit, a bit is set when 0.5 > u, the current population first,
    // then 16 draws for the mating pool and the offspring population. Then neutral selection
    // draws twice.
    seedForTest(seed);
    for (int k = 0; k < 24; ++k) uniform();
    std::vector<std::vector<int>> current(2, std::vector<int>(4));
    std::vector<double> fitness(2);
    for (int i = 0; i < 2; ++i) {
        int ones = 0;
        for (int k = 0; k < 4; ++k) ones += current[i][k] = 0.5 > uniform() ? 1 : 0;
        fitness[i] = 4 - ones;
    }
    for (int k = 0; k < 16; ++k) uniform();
    const int picked[2] = {uniformInt(2), uniformInt(2)};
    // The elite: both selected copies, the better first (the earlier on a tie).
    int first = picked[0];
    int second = picked[1];
    if (fitness[static_cast<std::size_t>(second)] < fitness[static_cast<std::size_t>(first)]) std::swap(first, second);
    const double best = std::min(fitness[0], fitness[1]);
    const double worst = std::max(fitness[0], fitness[1]);
    // The seed is chosen so that this run neither solves nor converges.
    ASSERT_GT(best, 0.0);
    ASSERT_NE(best, worst);

    EXPECT_EQ(result.out, "Creating GA\nOnemax problem\nInitialization of random numbers generator\nRun # 0\n"
                          "\nFinal best fitness = " + formatted(best) + "\nFinal worst fitness = " + formatted(worst) +
                              "\nConvergence generation = 0\n");

    auto printed = [&](int i) {
        std::string text = "(";
        text += formatted(fitness[static_cast<std::size_t>(i)]) + ")\t";
        for (int bit : current[static_cast<std::size_t>(i)]) text += std::to_string(bit) + " ";
        return text;
    };
    EXPECT_EQ(splitLines(maskClock(readFile("ga.log"))),
              (std::vector<std::string>{"", "Starting a new run:", "-------------------------------", "",
                                        "Printing population (2 individuals):", "-------------------------",
                                        "Individual 1:\t" + printed(first), "Individual 2:\t" + printed(second),
                                        "Run duration: T seconds"}));

    const auto summary = splitLines(maskClock(readFile("summary.log")));
    ASSERT_FALSE(summary.empty());
    EXPECT_EQ(summary[0], "EA parameters:");
    EXPECT_TRUE(contains(summary, "Algorithm's name:\tGenetic algorithm"));
    EXPECT_TRUE(contains(summary, "Problem:\tOnemax problem"));
    const auto [mean, variance] = meanAndVariance(fitness);
    EXPECT_EQ(sectionAfter(summary, "----------------------------------------------------"),
              (std::vector<std::string>{"1:\t" + formatted(mean) + "\t" + formatted(variance) + "\t" + formatted(best) +
                                            "\t" + formatted(worst) + "\t0\t0\t0\t0",
                                        "Min averaged best:\t" + formatted(best)}));
    EXPECT_EQ(sectionAfter(summary, "#\tPopulation size:"),
              (std::vector<std::string>{"----------------------------------------------------", "1:\t2"}));
    EXPECT_EQ(sectionAfter(summary, "#\tTimes:"), (std::vector<std::string>{"------------------", "1:\tT"}));
    EXPECT_TRUE(contains(summary, "No convergence"));
    EXPECT_TRUE(contains(summary, "No solution(s) found"));

    EXPECT_FALSE(fileExists("solution.log"));
    const auto candidates = splitLines(readFile("candidate.log"));
    EXPECT_EQ(candidates[0], "EA parameters:");
    ASSERT_GE(candidates.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(candidates.end() - 4, candidates.end()),
              (std::vector<std::string>{"Candidate-solutions found:\t1", "", "> Run #1 candidate-solution:",
                                        printed(first)}));
}

const Parameters kSmallSphere = {{"Encoding", "real"},
                                 {"Chromosome length", "3"},
                                 {"Population size", "10"},
                                 {"Generations number", "12"},
                                 {"Selection type", "tournament"},
                                 {"Crossover type", "BLX"},
                                 {"Mutation type", "gaussian"},
                                 {"Mutation rate", "0.3"},
                                 {"RNG seed", "321"}};

TEST(GeneticAlgorithmEndToEnd, RunsFollowOneAnotherAndRepeatExactly) {
    std::string firstOut, firstLog, firstSummary, firstCandidates;
    for (int attempt = 0; attempt < 2; ++attempt) {
        ScratchDir dir;
        const ProgramResult result = runIn("Sphere", kSmallSphere, "2");
        ASSERT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        const auto out = splitLines(result.out);
        ASSERT_EQ(out.size(), 13u);
        EXPECT_EQ(std::vector<std::string>(out.begin(), out.begin() + 4),
                  (std::vector<std::string>{"Creating GA", "Sphere function",
                                            "Initialization of random numbers generator", "Run # 0"}));
        for (std::size_t run = 0; run < 2; ++run) {
            const std::size_t at = 3 + run * 5;
            EXPECT_EQ(out[at], "Run # " + std::to_string(run));
            EXPECT_EQ(out[at + 1], ".");  // 12 generations: one dot
            EXPECT_EQ(out[at + 2].rfind("Final best fitness = ", 0), 0u);
            EXPECT_EQ(out[at + 3].rfind("Final worst fitness = ", 0), 0u);
            EXPECT_EQ(out[at + 4].rfind("Convergence generation = ", 0), 0u);
        }
        // The two runs continue one random sequence: they differ.
        EXPECT_NE(out[5], out[10]);

        const std::string log = maskClock(readFile("ga.log"));
        const auto lines = splitLines(log);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Starting a new run:"), 2);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Printing population (10 individuals):"), 2);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Run duration: T seconds"), 2);
        EXPECT_EQ(lines.size(), 2u * (3 + 3 + 10 + 1));

        const auto summary = splitLines(readFile("summary.log"));
        EXPECT_EQ(sectionAfter(summary, "----------------------------------------------------").size(), 13u);
        if (attempt == 0) {
            firstOut = result.out;
            firstLog = log;
            firstSummary = maskClock(readFile("summary.log"));
            firstCandidates = readFile("candidate.log");
        } else {
            EXPECT_EQ(result.out, firstOut);
            EXPECT_EQ(log, firstLog);
            EXPECT_EQ(maskClock(readFile("summary.log")), firstSummary);
            EXPECT_EQ(readFile("candidate.log"), firstCandidates);
        }
    }
}

TEST(GeneticAlgorithmEndToEnd, ASolvedRunIsReportedInTheSolutionLog) {
    ScratchDir dir;
    // All-one initial chromosomes: the first individual evaluated is a hit.
    const ProgramResult result = runIn("Onemax", {{"Encoding", "integer"},
                                                  {"Chromosome length", "6"},
                                                  {"Population size", "4"},
                                                  {"Generations number", "2"},
                                                  {"Units ratio", "1"},
                                                  {"Selection type", "tournament"},
                                                  {"Crossover type", "2-point"},
                                                  {"Mutation type", "bit-flip"},
                                                  {"Mutation rate", "0"},
                                                  {"Error level", "0.5"},
                                                  {"Until first hit", "yes"},
                                                  {"RNG seed", "3"}});
    ASSERT_EQ(result.status, 0);
    // The GA goes on through its generations after the hit, and the check says so.
    EXPECT_EQ(result.err, "valdrin: warning: config.xml:15: \"Until first hit\" does not stop GA runs: every run goes "
                          "through all its generations (its first solution is still recorded)\n");
    EXPECT_NE(result.out.find("\n\nFinal best fitness = 0\nFinal worst fitness = 0\nConvergence generation = 2\n"),
              std::string::npos);
    const auto summary = splitLines(maskClock(readFile("summary.log")));
    EXPECT_EQ(sectionAfter(summary, "#\tConvergence times:"),
              (std::vector<std::string>{"------------------", "1:\t2"}));
    EXPECT_EQ(sectionAfter(summary, "#\tTime\tGenerations\tFE"),
              (std::vector<std::string>{"----------------------------", "1:\tT\t0\t1"}));
    const auto solutions = splitLines(readFile("solution.log"));
    ASSERT_GE(solutions.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(solutions.end() - 4, solutions.end()),
              (std::vector<std::string>{"Solutions found:\t1", "", "> Run #1 solution:", "(0)\t1 1 1 1 1 1 "}));
    EXPECT_FALSE(fileExists("candidate.log"));
}

// Three equal individuals at (5.11, 5.11): Rosenbrock's terms are 100 times the square of t, so
// the three fitness values are the same double and their variance is exactly 0.
TEST(GeneticAlgorithmEndToEnd, EqualRosenbrockIndividualsHaveNoSpread) {
    ScratchDir dir;
    const ProgramResult result = runIn("Rosenbrock", {{"Encoding", "integer"},
                                                      {"Chromosome length", "2"},
                                                      {"Gene size", "10"},
                                                      {"Population size", "3"},
                                                      {"Units ratio", "1"},
                                                      {"Generations number", "1"},
                                                      {"Selection type", "tournament"},
                                                      {"RNG seed", "12915"}});
    ASSERT_EQ(result.status, 0);
    const auto summary = splitLines(readFile("summary.log"));
    ASSERT_GE(summary.size(), 42u);
    EXPECT_EQ(summary[41], "1:\t44125.7\t0\t44125.7\t44125.7\t0\t0\t0\t0");
}

TEST(GeneticAlgorithmEndToEnd, NichingAndVariableSizesRunThrough) {
    const Parameters bits = {{"Encoding", "integer"},      {"Chromosome length", "16"}, {"Population size", "12"},
                             {"Generations number", "10"}, {"Selection type", "neutral"}, {"Crossover type", "1-point"},
                             {"Mutation type", "bit-flip"}, {"Mutation rate", "0.05"},   {"RNG seed", "5"}};
    {
        ScratchDir dir;
        Parameters crowding = bits;
        crowding.push_back({"Niching type", "deterministic crowding"});
        const ProgramResult result = runIn("Onemax", crowding);
        EXPECT_EQ(result.err, "");
        // Under crowding the run reports no final lines.
        EXPECT_EQ(result.out, "Creating GA\nOnemax problem\nInitialization of random numbers generator\nRun # 0\n.\n");
        EXPECT_NE(readFile("ga.log").find("Printing population (12 individuals):"), std::string::npos);
    }
    {
        ScratchDir dir;
        Parameters sharing = bits;
        sharing.push_back({"Niching type", "sharing"});
        sharing.push_back({"Sharing sigma", "4"});
        const ProgramResult result = runIn("Onemax", sharing);
        EXPECT_EQ(result.err, "");
        EXPECT_NE(result.out.find("Final best fitness = "), std::string::npos);
    }
    {
        ScratchDir dir;
        Parameters growing = bits;
        growing.push_back({"Population sizer type", "simple"});
        const ProgramResult result = runIn("Onemax", growing);
        EXPECT_EQ(result.err, "");
        const auto sizes = sectionAfter(splitLines(readFile("summary.log")), "#\tPopulation size:");
        ASSERT_EQ(sizes.size(), 11u);
        EXPECT_EQ(sizes[1], "1:\t12");
        EXPECT_EQ(sizes[2], "2:\t12");
        EXPECT_EQ(sizes[3], "3:\t13");  // 16 bits: the first four generations grow
    }
}

TEST(GeneticAlgorithmEndToEnd, ConfigurationErrorsEndTheRunWithTheirMessages) {
    const Parameters base = {{"Encoding", "real"},          {"Population size", "4"},    {"Generations number", "3"},
                             {"Selection type", "neutral"}, {"Crossover type", "SBX"},   {"Mutation type", "gaussian"},
                             {"RNG seed", "1"}};
    auto without = [&](const std::string& key) {
        Parameters left;
        for (const auto& entry : base)
            if (entry.first != key) left.push_back(entry);
        return left;
    };
    auto with = [&](const std::string& key, const std::string& value) {
        Parameters changed = without(key);
        changed.push_back({key, value});
        return changed;
    };
    // The configuration check refuses each before anything runs: status 1, nothing on standard
    // output, no file written, and a line naming the mistake and its line in the file.
    struct Case {
        Parameters parameters;
        std::string finding;
    };
    const std::vector<Case> cases = {
        {without("Encoding"), "no \"Encoding\" is given"},
        {without("Selection type"), "Selection type"},
        {with("Crossover type", "1-point"), "1-point"},
        {with("Elite count", "5"), "Elite count"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        const ProgramResult result = runIn("Sphere", c.parameters);
        EXPECT_EQ(result.status, 1) << c.finding;
        EXPECT_EQ(result.out, "") << c.finding;
        EXPECT_EQ(result.err.rfind("valdrin: error: config.xml", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(c.finding), std::string::npos) << result.err;
        EXPECT_FALSE(fileExists("ga.log") || fileExists("summary.log")) << c.finding;
    }
}

}  // namespace
}  // namespace Valdrin
