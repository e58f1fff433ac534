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

}  // namespace
}  // namespace Valdrin
