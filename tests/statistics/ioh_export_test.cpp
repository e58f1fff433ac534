// Tests of the IOHprofiler files against the rules IOHanalyzer reads them by: file names, the
// three meta-data lines, one block per run opened by the separation line, improvements only,
// and the closing line that gives an unsolved run's budget; and of several experiments in one
// folder, each an algorithm of its own that nothing written later replaces.
#include "statistics/ioh_export.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <set>

#include "algorithms/genetic_algorithm.h"
#include "core/output_file.h"
#include "problems/benchmarks.h"
#include "support/algorithm_fixture.h"

namespace Valdrin {
namespace {

using testing::readFile;
using testing::splitLines;

const std::string kSeparator = "\"function evaluation\" \"best-so-far f(x)\"";

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + separator.size()) {
        parts.push_back(text.substr(start, at - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

struct Record {
    long long evaluation;
    double fitness;
};

// Checks the meta-data file and the data file it names (in folder) and returns the data file's
// blocks. The meta-data: a line of key-value pairs with the mandatory keys, a comment line, the
// data file's path with "run:evaluations|best-so-far" per run. The data: one block per run
// opened by the separation line, the evaluations strictly increasing and the best-so-far values
// strictly decreasing, except in the closing line of a run that did not reach the error level,
// which repeats its last value at its last evaluation; a solved run has no closing line.
std::vector<std::vector<Record>> checkedBlocks(const std::string& folder, const std::string& infoName, double errorLevel) {
    const std::vector<std::string> meta = splitLines(readFile(folder + infoName));
    EXPECT_EQ(meta.size(), 3u);
    if (meta.size() != 3) return {};
    std::vector<std::string> keys;
    for (const std::string& pair : split(meta[0], ", ")) keys.push_back(split(pair, " = ").front());
    for (const char* key : {"funcId", "DIM", "algId"}) EXPECT_NE(std::count(keys.begin(), keys.end(), key), 0) << key;
    EXPECT_EQ(meta[1].front(), '%');
    const std::vector<std::string> entries = split(meta[2], ", ");

    std::vector<std::vector<Record>> blocks;
    for (const std::string& line : splitLines(readFile(folder + entries.front()))) {
        if (line == kSeparator) {
            blocks.emplace_back();
            continue;
        }
        const std::vector<std::string> fields = split(line, " ");
        EXPECT_TRUE(fields.size() == 2 && !blocks.empty()) << line;
        blocks.back().push_back({std::stoll(fields.at(0)), std::strtod(fields.at(1).c_str(), nullptr)});
    }
    EXPECT_EQ(blocks.size() + 1, entries.size());
    for (std::size_t r = 0; r < blocks.size() && r + 1 < entries.size(); ++r) {
        SCOPED_TRACE("run " + std::to_string(r + 1));
        const std::vector<Record>& block = blocks[r];
        EXPECT_FALSE(block.empty());
        if (block.empty()) continue;
        const std::vector<std::string> entry = split(entries[r + 1], ":");
        EXPECT_EQ(entry.front(), std::to_string(r + 1));
        const long long budget = std::stoll(split(entry.back(), "|").front());
        EXPECT_EQ(std::strtod(split(entry.back(), "|").back().c_str(), nullptr), block.back().fitness);
        const bool solved = block.back().fitness < errorLevel;
        const bool closed = block.size() > 1 && block.back().fitness == block[block.size() - 2].fitness;
        EXPECT_FALSE(solved && closed) << "a solved run has no closing line";
        EXPECT_TRUE(solved || block.back().evaluation == budget) << "an unsolved run ends with its budget";
        EXPECT_LE(block.back().evaluation, budget);
        for (std::size_t k = 1; k < block.size(); ++k) {
            EXPECT_LT(block[k - 1].evaluation, block[k].evaluation);
            EXPECT_TRUE(block[k - 1].fitness > block[k].fitness || (closed && k + 1 == block.size())) << k;
        }
    }
    return blocks;
}

QRunSummary handMadeRun(int evaluations, std::vector<FitnessImprovement> improvements, int evaluationsToSolution) {
    QRunSummary run;
    run.evaluationsCount = evaluations;
    run.improvements = std::move(improvements);
    run.evaluationsToSolution = evaluationsToSolution;
    return run;
}

TEST(IohExport, RunsBecomeOneMetaDataEntryAndOneBlockEach) {
    testing::ScratchDir scratch;
    QEAParameters params;
    params.chromosomeLength = 10;
    params.errorLevel = 0.01;
    const std::vector<QRunSummary> runs = {
        handMadeRun(60, {{1, 9.0}, {4, 3.0}, {30, 0.005}, {41, 0.0025}}, 30),  // solved, improved again
        handMadeRun(60, {{1, 7.0}, {12, 2.0}}, 0),                              // unsolved: closed by its budget
        handMadeRun(60, {{1, 5.0}, {60, 1.0}}, 0),                              // its last evaluation improved
    };
    writeIohProfilerData(runs, params, {3, "Sphere", "GA", "one"}, "");
    const std::vector<std::string> meta = splitLines(readFile("IOHprofiler_f3_Sphere.info"));
    ASSERT_EQ(meta.size(), 3u);
    EXPECT_EQ(meta[0], "suite = \"valdrin\", funcId = 3, DIM = 10, algId = \"GA\", funcName = \"Sphere\", maximization = F");
    EXPECT_NE(meta[1].find("errorLevel = 0.01"), std::string::npos) << meta[1];
    EXPECT_TRUE(std::regex_search(meta[1], std::regex(", experiment = [0-9a-f]{16}$"))) << meta[1];
    EXPECT_EQ(meta[2], "data_f3_Sphere/IOHprofiler_f3_DIM10.dat, 1:60|0.0025, 2:60|2, 3:60|1");
    EXPECT_EQ(readFile("data_f3_Sphere/IOHprofiler_f3_DIM10.dat"),
              kSeparator + "\n1 9\n4 3\n30 0.005\n41 0.0025\n" + kSeparator + "\n1 7\n12 2\n60 2\n" + kSeparator +
                  "\n1 5\n60 1\n");
    EXPECT_EQ(checkedBlocks("", "IOHprofiler_f3_Sphere.info", params.errorLevel).size(), 3u);

    // Names are made fit for file names and for quoted values.
    writeIohProfilerData(runs, params, {11, " Double sin\n", "Self-adaptive \"net\",  v2\n", "one"}, "more");
    EXPECT_EQ(splitLines(readFile("more/IOHprofiler_f11_Double-sin.info"))[0],
              "suite = \"valdrin\", funcId = 11, DIM = 10, algId = \"Self-adaptive net v2\", funcName = \"Double sin\", "
              "maximization = F");
    EXPECT_TRUE(testing::fileExists("more/data_f11_Double-sin/IOHprofiler_f11_DIM10.dat"));
    writeIohProfilerData(runs, params, {2, "/", "GA", "one"}, "more");
    EXPECT_TRUE(testing::fileExists("more/IOHprofiler_f2.info"));
    EXPECT_TRUE(testing::fileExists("more/data_f2/IOHprofiler_f2_DIM10.dat"));
}

// Six runs of a small GA on the sphere function: at the end of each generation's evaluation the
// best so far in the data file is the least of the generation bests so far.
TEST(IohExport, GaRunsGiveTheBestSoFarOfTheirGenerations) {
    testing::AlgorithmBench<QGeneticAlgorithm> bench;
    QEAParameters params = testing::sphereRecord();
    bench.useProblem<QSphereFunction>().setParameters(&params);
    QGeneticAlgorithm& ga = bench.setUp(params);
    std::vector<QRunSummary> runs;
    int solved = 0;
    for (int i = 0; i < 6; ++i) {
        bench.runCapturingOutput();
        runs.push_back(ga.runSummary());
        solved += runs.back().evaluationsToSolution != 0 ? 1 : 0;
    }
    ASSERT_TRUE(solved > 0 && solved < 6) << solved;
    writeIohProfilerData(runs, params, {1, "Sphere", "GA", "six runs"}, "ioh");
    const auto blocks = checkedBlocks("ioh/", "IOHprofiler_f1_Sphere.info", params.errorLevel);
    ASSERT_EQ(blocks.size(), runs.size());
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const QRunSummary& run = runs[r];
        EXPECT_EQ(blocks[r].front().evaluation, 1);
        double least = run.bestFitness.at(0);
        for (int g = 0; g < run.generationsDone; ++g) {
            least = std::min(least, run.bestFitness[static_cast<std::size_t>(g)]);
            double bestSoFar = 0.0;
            for (const Record& record : blocks[r]) {
                if (record.evaluation <= run.evaluationsByGeneration.at(static_cast<std::size_t>(g))) bestSoFar = record.fitness;
            }
            EXPECT_EQ(bestSoFar, least) << "run " << r + 1 << ", generation " << g + 1;
        }
        if (run.evaluationsToSolution == 0) continue;
        // The first value below the error level is met at the run's first solution.
        const auto hit = std::find_if(blocks[r].begin(), blocks[r].end(),
                                      [&](const Record& record) { return record.fitness < params.errorLevel; });
        ASSERT_NE(hit, blocks[r].end());
        EXPECT_EQ(hit->evaluation, run.evaluationsToSolution);
    }
}

// Each experiment's block of a meta-data file: its algId and its data file's path.
struct MetaBlock {
    std::string algId;
    std::string dataPath;
};

std::vector<MetaBlock> metaBlocks(const std::string& path) {
    const std::vector<std::string> lines = splitLines(readFile(path));
    EXPECT_EQ(lines.size() % 3, 0u) << path;
    std::vector<MetaBlock> blocks;
    for (std::size_t i = 0; i + 2 < lines.size(); i += 3) {
        const std::size_t at = lines[i].find("algId = \"") + 9;
        blocks.push_back({lines[i].substr(at, lines[i].find('"', at) - at), lines[i + 2].substr(0, lines[i + 2].find(','))});
    }
    return blocks;
}

// IOHanalyzer reads blocks that name one data file as one experiment, and merges experiments of
// one algId and DIM, dropping runs whose numbers it has seen: every experiment added to a folder
// gets a data file and, at its DIM, an algId of its own; what was there stays as written. One
// written again (resumed) takes its own place instead.
TEST(IohExport, ExperimentsInOneFolderAreAlgorithmsOfTheirOwn) {
    testing::ScratchDir scratch;
    QEAParameters params;
    const QRunSummary firstRun = handMadeRun(60, {{1, 9.0}, {30, 2.0}}, 0);
    writeIohProfilerData({firstRun}, params, {1, "Sphere", "GA", "first"}, "");
    const std::string info = "IOHprofiler_f1_Sphere.info";
    const std::string firstInfo = readFile(info);
    const std::string firstData = readFile("data_f1_Sphere/IOHprofiler_f1_DIM10.dat");
    writeIohProfilerData({handMadeRun(80, {{1, 5.0}}, 0)}, params, {1, "Sphere", "GA", "second"}, "");
    QEAParameters longer = params;
    longer.chromosomeLength = 20;
    writeIohProfilerData({firstRun}, longer, {1, "Sphere", "GA", "third"}, "");
    EXPECT_EQ(readFile(info).substr(0, firstInfo.size()), firstInfo);
    EXPECT_EQ(readFile("data_f1_Sphere/IOHprofiler_f1_DIM10.dat"), firstData);
    // Another DIM keeps the label: IOHanalyzer shows one algorithm across dimensions.
    const auto expected = [](std::vector<std::pair<std::string, std::string>> blocks) {
        std::vector<std::pair<std::string, std::string>> paths;
        for (auto& [algId, file] : blocks) paths.emplace_back(algId, "data_f1_Sphere/IOHprofiler_f1_" + file);
        return paths;
    };
    const auto written = [&info] {
        std::vector<std::pair<std::string, std::string>> blocks;
        for (const MetaBlock& block : metaBlocks(info)) blocks.emplace_back(block.algId, block.dataPath);
        return blocks;
    };
    EXPECT_EQ(written(), expected({{"GA", "DIM10.dat"}, {"GA (2)", "DIM10_2.dat"}, {"GA", "DIM20.dat"}}));

    // Resumed, the first experiment writes all its runs over the block of those it had finished.
    writeIohProfilerData({firstRun, handMadeRun(60, {{1, 3.0}}, 0)}, params, {1, "Sphere", "GA", "first"}, "");
    EXPECT_EQ(written(), expected({{"GA", "DIM10.dat"}, {"GA (2)", "DIM10_2.dat"}, {"GA", "DIM20.dat"}}));
    EXPECT_NE(readFile("data_f1_Sphere/IOHprofiler_f1_DIM10.dat"), firstData);
    // The same configuration whose first run came out otherwise (another matrix.txt) is another.
    writeIohProfilerData({handMadeRun(60, {{1, 8.0}}, 0)}, params, {1, "Sphere", "GA", "first"}, "");
    EXPECT_EQ(metaBlocks(info).size(), 4u);
}

// Experiments writing into one folder at once (a shell's background jobs): every block arrives.
TEST(IohExport, ExperimentsWritingAtOnceAddEveryBlock) {
    testing::ScratchDir scratch;
    constexpr int kWriters = 6;
    constexpr int kEach = 8;
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int status = 0;
            try {
                for (int e = 0; e < kEach; ++e) {
                    const std::string name = std::to_string(w) + "-" + std::to_string(e);
                    writeIohProfilerData({handMadeRun(10, {{1, 1.0}}, 0)}, QEAParameters{}, {1, "Sphere", name, name}, "ioh");
                }
            } catch (...) {
                status = 1;
            }
            _exit(status);
        }
        writers.push_back(pid);
    }
    for (const pid_t pid : writers) {
        int raw = 0;
        ASSERT_EQ(waitpid(pid, &raw, 0), pid);
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);
    }
    std::set<std::string> paths;
    for (const MetaBlock& block : metaBlocks("ioh/IOHprofiler_f1_Sphere.info")) {
        if (testing::fileExists("ioh/" + block.dataPath)) paths.insert(block.dataPath);
    }
    EXPECT_EQ(paths.size(), static_cast<std::size_t>(kWriters * kEach));
}

}  // namespace
}  // namespace Valdrin
