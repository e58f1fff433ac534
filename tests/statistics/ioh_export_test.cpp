// Tests of the IOHprofiler files against the rules IOHanalyzer reads them by: the file names, the
// three meta-data lines, one block per run opened by the separation line, improvements only,
// and the closing line that gives an unsolved run's budget.
#include "statistics/ioh_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "algorithms/genetic_algorithm.h"
#include "core/output_file.h"
#include "problems/benchmarks.h"
#include "statistics/csv_export.h"
#include "support/algorithm_fixture.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::fileExists;
using testing::readFile;
using testing::splitLines;

const std::string kSeparator = "\"function evaluation\" \"best-so-far f(x)\"";

double numberText(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    EXPECT_TRUE(!text.empty() && *end == '\0') << "not a number: \"" << text << "\"";
    return value;
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + separator.size()) {
        parts.push_back(text.substr(start, at - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

// --- The meta-data file. ---
struct RunEntry {
    int run = 0;
    long long evaluations = 0;
    double best = 0.0;
};

struct MetaData {
    std::vector<std::pair<std::string, std::string>> keys;  // in the order written
    std::string comment;
    std::string dataPath;
    std::vector<RunEntry> runs;

    std::string value(const std::string& key) const {
        for (const auto& [name, value] : keys) {
            if (name == key) return value;
        }
        ADD_FAILURE() << "no key " << key;
        return {};
    }
};

MetaData readMetaData(const std::string& text) {
    MetaData meta;
    const std::vector<std::string> lines = splitLines(text);
    EXPECT_EQ(lines.size(), 3u) << text;
    if (lines.size() != 3) return meta;
    for (const std::string& pair : split(lines[0], ", ")) {
        const std::vector<std::string> sides = split(pair, " = ");
        EXPECT_EQ(sides.size(), 2u) << "not a key-value pair: " << pair;
        if (sides.size() == 2) meta.keys.emplace_back(sides[0], sides[1]);
    }
    meta.comment = lines[1];
    const std::vector<std::string> parts = split(lines[2], ", ");
    meta.dataPath = parts[0];
    for (std::size_t k = 1; k < parts.size(); ++k) {
        const std::size_t colon = parts[k].find(':');
        const std::size_t bar = parts[k].find('|');
        EXPECT_TRUE(colon != std::string::npos && bar != std::string::npos && colon < bar) << parts[k];
        if (colon == std::string::npos || bar == std::string::npos) continue;
        meta.runs.push_back({std::stoi(parts[k].substr(0, colon)), std::stoll(parts[k].substr(colon + 1, bar - colon - 1)),
                             numberText(parts[k].substr(bar + 1))});
    }
    return meta;
}

// --- The data file. ---
struct Record {
    long long evaluation = 0;
    double fitness = 0.0;
    bool operator==(const Record&) const = default;
};
using Block = std::vector<Record>;

// The blocks of the data file, each opened by the separation line; every other line holds an
// evaluation count and a value separated by one space.
std::vector<Block> readBlocks(const std::string& text) {
    std::vector<Block> blocks;
    const std::vector<std::string> lines = splitLines(text);
    EXPECT_TRUE(!lines.empty() && lines.front() == kSeparator) << "the data must open with the separation line";
    for (const std::string& line : lines) {
        if (line == kSeparator) {
            blocks.emplace_back();
            continue;
        }
        const std::vector<std::string> fields = split(line, " ");
        EXPECT_EQ(fields.size(), 2u) << "not a record: " << line;
        if (fields.size() != 2 || blocks.empty()) continue;
        EXPECT_EQ(fields[0].find_first_not_of("0123456789"), std::string::npos) << "not an evaluation count: " << line;
        blocks.back().push_back({std::stoll(fields[0]), numberText(fields[1])});
    }
    return blocks;
}

// The rules every run's block must follow. Evaluations strictly increase; values strictly
// decrease, except in the closing line of a run that did not reach the error level, which
// repeats the best-so-far value at the run's last evaluation. A solved run's block ends with
// the improvement that was last, an unsolved one's with its budget. The meta-data line gives
// each run's budget and final best-so-far value.
void expectFollowsTheRules(const std::vector<Block>& blocks, const MetaData& meta, double errorLevel) {
    ASSERT_EQ(blocks.size(), meta.runs.size());
    for (std::size_t r = 0; r < blocks.size(); ++r) {
        SCOPED_TRACE("run " + std::to_string(r + 1));
        const Block& block = blocks[r];
        const RunEntry& entry = meta.runs[r];
        EXPECT_EQ(entry.run, static_cast<int>(r) + 1);
        ASSERT_FALSE(block.empty());
        const bool solved = block.back().fitness < errorLevel;
        const bool closed = block.size() > 1 && block.back().fitness == block[block.size() - 2].fitness;
        const std::size_t improvements = closed ? block.size() - 1 : block.size();
        for (std::size_t k = 1; k < block.size(); ++k) {
            EXPECT_LT(block[k - 1].evaluation, block[k].evaluation) << "line " << k + 1;
            if (k < improvements) {
                EXPECT_GT(block[k - 1].fitness, block[k].fitness) << "line " << k + 1;
            }
        }
        EXPECT_GE(block.front().evaluation, 1);
        EXPECT_EQ(block.back().fitness, entry.best);
        if (solved) {
            EXPECT_FALSE(closed) << "a solved run has no closing line";
            EXPECT_LE(block.back().evaluation, entry.evaluations);
        } else {
            EXPECT_EQ(block.back().evaluation, entry.evaluations) << "an unsolved run ends with its budget";
        }
    }
}

QRunSummary handMadeRun(int evaluations, std::vector<FitnessImprovement> improvements, int evaluationsToSolution) {
    QRunSummary run;
    run.evaluationsCount = evaluations;
    run.improvements = std::move(improvements);
    run.evaluationsToSolution = evaluationsToSolution;
    return run;
}

class IohExportTest : public ::testing::Test {
protected:
    testing::ScratchDir scratch;
    QEAParameters params;

    IohExportTest() {
        OutputFile::setFolder("");
        params.chromosomeLength = 10;
        params.errorLevel = 0.01;
    }
};

TEST_F(IohExportTest, RunsBecomeOneMetaDataLineAndOneBlockEach) {
    const std::vector<QRunSummary> runs = {
        // Solved at its 30th evaluation and improved once more; it spent 60.
        handMadeRun(60, {{1, 9.0}, {4, 3.0}, {30, 0.005}, {41, 0.0025}}, 30),
        // Not solved: its block closes with its budget.
        handMadeRun(60, {{1, 7.0}, {12, 2.0}}, 0),
        // Not solved, and its last evaluation was its last improvement: nothing to close.
        handMadeRun(60, {{1, 5.0}, {60, 1.0}}, 0),
    };
    writeIohProfilerData(runs, params, 3, "GA", "Sphere", "");

    ASSERT_TRUE(fileExists("IOHprofiler_f3_Sphere.info"));
    const MetaData meta = readMetaData(readFile("IOHprofiler_f3_Sphere.info"));
    EXPECT_EQ(meta.keys, (std::vector<std::pair<std::string, std::string>>{{"suite", "\"valdrin\""},
                                                                          {"funcId", "3"},
                                                                          {"DIM", "10"},
                                                                          {"algId", "\"GA\""},
                                                                          {"funcName", "\"Sphere\""},
                                                                          {"maximization", "F"}}));
    EXPECT_EQ(meta.comment.rfind("% ", 0), 0u) << meta.comment;
    EXPECT_NE(meta.comment.find("errorLevel = 0.01"), std::string::npos) << meta.comment;
    EXPECT_EQ(meta.dataPath, "data_f3_Sphere/IOHprofiler_f3_DIM10.dat");
    ASSERT_TRUE(fileExists(meta.dataPath));  // relative to the meta-data's folder
    EXPECT_EQ(splitLines(readFile("IOHprofiler_f3_Sphere.info"))[2],
              "data_f3_Sphere/IOHprofiler_f3_DIM10.dat, 1:60|0.0025, 2:60|2, 3:60|1");

    const std::string data = readFile(meta.dataPath);
    EXPECT_EQ(data, kSeparator + "\n1 9\n4 3\n30 0.005\n41 0.0025\n" +  //
                        kSeparator + "\n1 7\n12 2\n60 2\n" +               //
                        kSeparator + "\n1 5\n60 1\n");
    expectFollowsTheRules(readBlocks(data), meta, params.errorLevel);
}

TEST_F(IohExportTest, NamesAreMadeSafeForFileNamesAndQuotedValues) {
    params.chromosomeLength = 13;
    const std::vector<QRunSummary> runs = {handMadeRun(5, {{1, 0.5}}, 0)};
    writeIohProfilerData(runs, params, 11, "Self-adaptive \"net\",  v2\n", " Double sin\n", "results");
    const MetaData meta = readMetaData(readFile("results/IOHprofiler_f11_Double-sin.info"));
    EXPECT_EQ(meta.value("algId"), "\"Self-adaptive net v2\"");
    EXPECT_EQ(meta.value("funcName"), "\"Double sin\"");
    EXPECT_EQ(meta.keys.size(), 6u);
    EXPECT_EQ(meta.dataPath, "data_f11_Double-sin/IOHprofiler_f11_DIM13.dat");
    EXPECT_TRUE(fileExists("results/" + meta.dataPath));

    // Without a usable problem name the files carry the function's number alone.
    writeIohProfilerData(runs, params, 2, "GA", " /", "");
    EXPECT_EQ(readMetaData(readFile("IOHprofiler_f2.info")).dataPath, "data_f2/IOHprofiler_f2_DIM13.dat");
    EXPECT_TRUE(fileExists("data_f2/IOHprofiler_f2_DIM13.dat"));
}

// --- Runs of a small GA on the sphere function: the best-so-far values of the data file must be
// those of the generation table of the same runs. ---
std::vector<std::vector<std::string>> readTable(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : splitLines(readFile(path))) rows.push_back(split(line, ","));  // numbers only
    return rows;
}

TEST(IohGaRuns, BestSoFarValuesMatchTheGenerationTable) {
    testing::AlgorithmBench<QGeneticAlgorithm> bench;
    OutputFile::setFolder("");
    QEAParameters params = testing::smallRecord(Encoding::Real);
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
    QGeneticAlgorithm& ga = bench.setUp(params);
    std::vector<QRunSummary> runs;
    for (int i = 0; i < 6; ++i) {
        bench.runCapturingOutput();
        runs.push_back(ga.runSummary());
    }
    writeIohProfilerData(runs, params, 1, "GA", "Sphere", "ioh");
    writeCsvFiles(runs, params, "ioh");

    const MetaData meta = readMetaData(readFile("ioh/IOHprofiler_f1_Sphere.info"));
    const std::vector<Block> blocks = readBlocks(readFile("ioh/" + meta.dataPath));
    expectFollowsTheRules(blocks, meta, params.errorLevel);
    ASSERT_EQ(blocks.size(), 6u);

    // runs.csv: run, generations, evaluations, duration, solved, time, generations and
    // evaluations to the solution, ...; generations.csv: run, generation, evaluations, best, ...
    const auto perRun = readTable("ioh/runs.csv");
    const auto generations = readTable("ioh/generations.csv");
    int solved = 0;
    for (std::size_t r = 0; r < blocks.size(); ++r) {
        SCOPED_TRACE("run " + std::to_string(r + 1));
        const Block& block = blocks[r];
        EXPECT_EQ(block.front().evaluation, 1);  // the first evaluation is the first best so far
        EXPECT_EQ(meta.runs[r].evaluations, std::stoll(perRun[r + 1][2]));
        if (perRun[r + 1][4] == "1") {
            ++solved;
            // The first value below the error level is met at the run's first solution.
            std::size_t k = 0;
            while (k < block.size() && !(block[k].fitness < params.errorLevel)) ++k;
            ASSERT_LT(k, block.size());
            EXPECT_EQ(block[k].evaluation, std::stoll(perRun[r + 1][7]));
        }
        // At the end of each generation's evaluation, the best so far is the least of the
        // generation bests so far.
        double leastBest = 0.0;
        for (std::size_t row = 1; row < generations.size(); ++row) {
            if (std::stoul(generations[row][0]) != r + 1) continue;
            const long long evaluated = std::stoll(generations[row][2]);
            const double best = numberText(generations[row][3]);
            leastBest = generations[row][1] == "1" ? best : std::min(leastBest, best);
            double bestSoFar = 0.0;
            for (const Record& record : block) {
                if (record.evaluation <= evaluated) bestSoFar = record.fitness;
            }
            EXPECT_EQ(bestSoFar, leastBest) << "generation " << generations[row][1];
        }
    }
    EXPECT_GT(solved, 0);
    EXPECT_LT(solved, 6);
}

}  // namespace
}  // namespace Valdrin
