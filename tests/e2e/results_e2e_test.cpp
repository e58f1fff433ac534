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

// A budget of 50 evaluations ends every run after its fifth generation (12 evaluations each, 60
// at its end); every results file describes those runs alike, the final population's evaluation
// included.
TEST(ResultsEndToEnd, RunsEndedByTheirBudgetAreDescribedAlikeInEveryFile) {
    ScratchDir dir;
    writeFile("config.xml", testing::gaConfiguration("Sphere", {{"Encoding", "real"},
                                                                {"Chromosome length", "3"},
                                                                {"Population size", "12"},
                                                                {"Generations number", "15"},
                                                                {"Selection type", "tournament"},
                                                                {"Crossover type", "SBX"},
                                                                {"Mutation type", "gaussian"},
                                                                {"Mutation rate", "0.3"},
                                                                {"RNG seed", "11"},
                                                                {"Evaluations budget", "50"}}));
    const auto result = runProgram({"config.xml", "2", "--csv", "--ioh", "ioh"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Run # 1\n\nFinal best fitness = "), std::string::npos) << "no dot: 5 generations";

    const auto runs = splitLines(readFile("runs.csv"));
    ASSERT_EQ(runs.size(), 3u);
    for (const std::string& row : {runs[1], runs[2]}) EXPECT_EQ(row.substr(1, 6), ",5,72,") << row;
    const auto generations = splitLines(readFile("generations.csv"));
    ASSERT_EQ(generations.size(), 1u + 2 * 5);
    EXPECT_EQ(generations[5].rfind("1,5,60,", 0), 0u) << generations[5];
    // The IOHprofiler data end each run at its 72nd evaluation, as the meta-data says.
    const std::string data = readFile("ioh/data_f1_Sphere/IOHprofiler_f1_DIM3.dat");
    EXPECT_NE(data.find("\n72 "), std::string::npos);
    EXPECT_NE(readFile("ioh/IOHprofiler_f1_Sphere.info").find(", 1:72|"), std::string::npos);
    const std::string summary = readFile("summary.log");
    EXPECT_NE(summary.find("\n5:\t"), std::string::npos);
    EXPECT_NE(summary.find("\n6:\t0\t0\t0\t0\t0\t0\t0\t0\n"), std::string::npos) << "a generation no run reached";
}

}  // namespace
}  // namespace Valdrin
