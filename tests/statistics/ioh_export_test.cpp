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
#include "core/failure.h"
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

// The blocks of a meta-data file: each experiment's three lines.
struct MetaBlock {
    std::string header;
    std::string comment;
    std::string data;

    std::string algId() const {
        const std::size_t at = header.find("algId = \"") + 9;
        return header.substr(at, header.find('"', at) - at);
    }
    std::string dataPath() const { return data.substr(0, data.find(',')); }
};

std::vector<MetaBlock> metaBlocks(const std::string& path) {
    const std::vector<std::string> lines = splitLines(readFile(path));
    EXPECT_EQ(lines.size() % 3, 0u) << path;
    std::vector<MetaBlock> blocks;
    for (std::size_t i = 0; i + 2 < lines.size(); i += 3) blocks.push_back({lines[i], lines[i + 1], lines[i + 2]});
    return blocks;
}

int separatorsIn(const std::string& text) {
    int count = 0;
    for (const std::string& line : splitLines(text)) count += line == kSeparator ? 1 : 0;
    return count;
}

// IOHanalyzer reads blocks that name one data file as one experiment, and merges experiments of
// one algId and DIM, dropping the runs whose numbers it has seen: a second experiment in the
// folder gets a data file and, at the same DIM, an algId of its own, and the first stays as it
// was written.
TEST(IohExport, ExperimentsInOneFolderAreAlgorithmsOfTheirOwn) {
    testing::ScratchDir scratch;
    QEAParameters params;
    params.chromosomeLength = 10;
    const std::vector<QRunSummary> first = {handMadeRun(60, {{1, 9.0}, {30, 2.0}}, 0)};
    const std::vector<QRunSummary> second = {handMadeRun(80, {{1, 5.0}}, 0), handMadeRun(80, {{2, 4.0}}, 0)};
    writeIohProfilerData(first, params, {1, "Sphere", "GA 2-point bit-flip", "first"}, "ioh");
    const std::string info = "ioh/IOHprofiler_f1_Sphere.info";
    const std::string firstInfo = readFile(info);
    const std::string firstData = readFile("ioh/data_f1_Sphere/IOHprofiler_f1_DIM10.dat");

    writeIohProfilerData(second, params, {1, "Sphere", "GA 2-point bit-flip", "second"}, "ioh");
    writeIohProfilerData(second, params, {1, "Sphere", "GA 2-point bit-flip", "third"}, "ioh");
    QEAParameters longer = params;
    longer.chromosomeLength = 20;
    writeIohProfilerData(first, longer, {1, "Sphere", "GA 2-point bit-flip", "fourth"}, "ioh");
    writeIohProfilerData(first, params, {1, "Sphere", "SARN basic", "fifth"}, "ioh");

    EXPECT_EQ(readFile(info).substr(0, firstInfo.size()), firstInfo) << "the first experiment's block changed";
    EXPECT_EQ(readFile("ioh/data_f1_Sphere/IOHprofiler_f1_DIM10.dat"), firstData);
    const std::vector<MetaBlock> blocks = metaBlocks(info);
    ASSERT_EQ(blocks.size(), 5u);
    std::vector<std::string> algIds;
    std::set<std::string> dataPaths;
    for (const MetaBlock& block : blocks) {
        algIds.push_back(block.algId());
        dataPaths.insert(block.dataPath());
    }
    // Another DIM keeps the label: IOHanalyzer shows one algorithm across dimensions.
    EXPECT_EQ(algIds, (std::vector<std::string>{"GA 2-point bit-flip", "GA 2-point bit-flip (2)", "GA 2-point bit-flip (3)",
                                                "GA 2-point bit-flip", "SARN basic"}));
    EXPECT_EQ(dataPaths.size(), blocks.size());
    EXPECT_EQ(blocks[1].dataPath(), "data_f1_Sphere/IOHprofiler_f1_DIM10_2.dat");
    EXPECT_EQ(blocks[3].dataPath(), "data_f1_Sphere/IOHprofiler_f1_DIM20.dat");
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        EXPECT_EQ(separatorsIn(readFile("ioh/" + blocks[b].dataPath())), b == 1 || b == 2 ? 2 : 1) << blocks[b].dataPath();
    }
}

// A resumed experiment writes its files again, first over the runs that had finished when it was
// interrupted, then over all: it keeps one block, in its place, and the others stay.
TEST(IohExport, AnExperimentWrittenAgainTakesItsOwnPlace) {
    testing::ScratchDir scratch;
    QEAParameters params;
    const QRunSummary firstRun = handMadeRun(60, {{1, 9.0}, {30, 2.0}}, 0);
    const std::vector<QRunSummary> other = {handMadeRun(60, {{1, 1.0}}, 0)};
    writeIohProfilerData({firstRun}, params, {1, "Sphere", "GA", "resumed"}, "");
    writeIohProfilerData(other, params, {1, "Sphere", "GA", "other"}, "");
    const std::vector<MetaBlock> before = metaBlocks("IOHprofiler_f1_Sphere.info");
    writeIohProfilerData({firstRun, handMadeRun(60, {{1, 3.0}}, 0), handMadeRun(60, {{1, 4.0}}, 0)}, params,
                         {1, "Sphere", "GA", "resumed"}, "");
    const std::vector<MetaBlock> after = metaBlocks("IOHprofiler_f1_Sphere.info");
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].algId(), "GA");
    EXPECT_EQ(after[0].comment, before[0].comment);
    EXPECT_EQ(after[0].dataPath(), before[0].dataPath());
    EXPECT_EQ(separatorsIn(readFile(after[0].dataPath())), 3);
    EXPECT_EQ(after[1].header + after[1].comment + after[1].data, before[1].header + before[1].comment + before[1].data);

    // The same configuration whose first run came out otherwise (another matrix.txt, say) is
    // another experiment.
    writeIohProfilerData({handMadeRun(60, {{1, 8.0}}, 0)}, params, {1, "Sphere", "GA", "resumed"}, "");
    EXPECT_EQ(metaBlocks("IOHprofiler_f1_Sphere.info").size(), 3u);
}

TEST(IohExport, MetaDataNotInBlocksOfThreeLinesIsLeftAsItIs) {
    testing::ScratchDir scratch;
    testing::writeFile("IOHprofiler_f1_Sphere.info", "suite = \"other\", funcId = 1\n% cut short\n");
    try {
        writeIohProfilerData({handMadeRun(10, {{1, 1.0}}, 0)}, QEAParameters{}, {1, "Sphere", "GA", "x"}, "");
        ADD_FAILURE() << "the experiment went on";
    } catch (const Failure& failure) {
        EXPECT_NE(failure.plain().find("cannot add the runs to IOHprofiler_f1_Sphere.info: it does not hold IOHprofiler "
                                       "meta-data in blocks of three lines"),
                  std::string::npos)
            << failure.plain();
    }
    EXPECT_EQ(readFile("IOHprofiler_f1_Sphere.info"), "suite = \"other\", funcId = 1\n% cut short\n");
    EXPECT_FALSE(testing::fileExists("data_f1_Sphere"));
}

// Experiments of a sweep or of a shell's background jobs may write into one folder at once: every
// block arrives.
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
    const std::vector<MetaBlock> blocks = metaBlocks("ioh/IOHprofiler_f1_Sphere.info");
    std::set<std::string> labels;
    for (const MetaBlock& block : blocks) {
        labels.insert(block.algId());
        EXPECT_TRUE(testing::fileExists("ioh/" + block.dataPath())) << block.dataPath();
    }
    EXPECT_EQ(blocks.size(), static_cast<std::size_t>(kWriters * kEach));
    EXPECT_EQ(labels.size(), blocks.size());
}

TEST(IohExport, TheDefaultLabelNamesTheOperatorsThatRun) {
    const auto word = [](std::string_view key) -> std::string {
        if (key == "Crossover type") return "SBX";
        if (key == "Mutation type") return "gaussian";
        if (key == "Niching type") return "sharing";
        return "?";
    };
    QEAParameters params;
    params.encoding = Encoding::Real;
    EXPECT_EQ(defaultIohLabel("GA", params, word), "GA SBX gaussian");
    params.nichingType = Niching::Sharing;
    EXPECT_EQ(defaultIohLabel("SARN2", params, word), "SARN2 SBX gaussian sharing");
    // Networks are not recombined: no crossover to name.
    params.encoding = Encoding::Network;
    params.nichingType = Niching::None;
    EXPECT_EQ(defaultIohLabel("SARN", params, word), "SARN gaussian");
}

}  // namespace
}  // namespace Valdrin
