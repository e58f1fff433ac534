// End-to-end runs with the results options: each writes its files, in the output folder, and
// describes the same runs as the report over runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::fileExists;
using testing::readFile;
using testing::runProgram;
using testing::ScratchDir;
using testing::splitLines;
using testing::writeFile;

TEST(ResultsEndToEnd, EveryResultsOptionWritesItsFilesIntoTheOutputFolder) {
    ScratchDir dir;
    writeFile("config.xml", testing::gaConfiguration("Sphere", {{"Encoding", "real"},
                                                                {"Chromosome length", "3"},
                                                                {"Population size", "12"},
                                                                {"Generations number", "15"},
                                                                {"Selection type", "tournament"},
                                                                {"Crossover type", "SBX"},
                                                                {"Mutation type", "gaussian"},
                                                                {"Mutation rate", "0.3"},
                                                                {"RNG seed", "11"}}));
    const auto result = runProgram({"config.xml", "3", "--out", "out", "--csv", "--ioh", "ioh", "--report", "--plot"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");

    const auto runs = splitLines(readFile("out/runs.csv"));
    ASSERT_EQ(runs.size(), 4u);  // the header and one row per run
    EXPECT_EQ(runs[0].rfind("run,generations,evaluations,", 0), 0u);
    EXPECT_EQ(runs[3].rfind("3,15,", 0), 0u) << runs[3];
    EXPECT_EQ(splitLines(readFile("out/generations.csv")).size(), 1u + 3 * 15);

    EXPECT_TRUE(fileExists("out/ioh/IOHprofiler_f1_Sphere.info"));
    EXPECT_TRUE(fileExists("out/ioh/data_f1_Sphere/IOHprofiler_f1_DIM3.dat"));
    const std::string page = readFile("out/report.html");
    EXPECT_NE(page.find("<svg"), std::string::npos);
    EXPECT_NE(page.find("id=\"runs\""), std::string::npos);
    EXPECT_NE(readFile("out/convergence.svg").find("<svg"), std::string::npos);
    for (const char* absent : {"runs.csv", "report.html", "convergence.svg", "ioh"}) EXPECT_FALSE(fileExists(absent));

    // Without the options none of them is written.
    std::filesystem::remove_all("out");
    ASSERT_EQ(runProgram({"config.xml", "2", "--out", "out"}).status, 0);
    for (const char* absent : {"out/runs.csv", "out/generations.csv", "out/report.html", "out/convergence.svg"}) {
        EXPECT_FALSE(fileExists(absent)) << absent;
    }
}

// --record-every thins generations.csv and the plots, never the logs: summary.log and the run log
// stay those of a run without it.
TEST(ResultsEndToEnd, RecordEveryThinsTheTablesAndPlotsButNotTheLogs) {
    ScratchDir dir;
    writeFile("config.xml", testing::gaConfiguration("Onemax", {{"Encoding", "integer"},
                                                                {"Chromosome length", "20"},
                                                                {"Population size", "10"},
                                                                {"Generations number", "23"},
                                                                {"Selection type", "tournament"}}));
    ASSERT_EQ(runProgram({"config.xml", "2", "--out", "all", "--csv", "--plot"}).status, 0);
    ASSERT_EQ(runProgram({"config.xml", "2", "--out", "thin", "--csv", "--plot", "--record-every", "10"}).status, 0);
    EXPECT_EQ(testing::maskClock(readFile("thin/summary.log")), testing::maskClock(readFile("all/summary.log")));
    EXPECT_EQ(testing::maskClock(readFile("thin/ga.log")), testing::maskClock(readFile("all/ga.log")));

    // Generations 1, 10, 20 and the last (23) of each run, as in the full table.
    const auto all = splitLines(readFile("all/generations.csv"));
    const auto thin = splitLines(readFile("thin/generations.csv"));
    std::vector<std::string> expected{all[0]};
    for (int run = 0; run < 2; ++run) {
        for (int generation : {1, 10, 20, 23}) expected.push_back(all[static_cast<std::size_t>(1 + run * 23 + generation - 1)]);
    }
    EXPECT_EQ(thin, expected);
    EXPECT_LT(readFile("thin/convergence.svg").size(), readFile("all/convergence.svg").size());

    const auto misused = runProgram({"config.xml", "--record-every", "0"});
    EXPECT_EQ(misused.status, 2);
    EXPECT_NE(misused.err.find("--record-every must be a whole number of generations from 1 to"), std::string::npos);
}

}  // namespace
}  // namespace Valdrin
