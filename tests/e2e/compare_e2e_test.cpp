// valdrin-compare end to end: experiments' folders and a sweep's combinations compared, labelled
// by what differs between them, and the folders it refuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "report/markup.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::queryRows;
using testing::readFile;
using testing::runCommand;
using testing::runProgram;
using testing::runSweepProgram;
using testing::ScratchDir;
using testing::writeFile;
using Rows = std::vector<std::vector<std::string>>;

testing::ProgramResult runCompareProgram(const std::vector<std::string>& arguments) {
    return runCommand(VALDRIN_COMPARE_EXECUTABLE, arguments);
}

std::string sphere(const std::string& mutationRate) {
    return testing::gaConfiguration("Sphere", {{"Encoding", "real"},
                                               {"Chromosome length", "3"},
                                               {"Population size", "30"},
                                               {"Generations number", "30"},
                                               {"Selection type", "tournament"},
                                               {"Tournament size", "3"},
                                               {"Crossover type", "SBX"},
                                               {"xAlpha", "1"},
                                               {"Mutation type", "gaussian"},
                                               {"Mutation rate", mutationRate},
                                               {"RNG seed", "7"}});
}

// Two single experiments that differ in their mutation rate and a sweep of two combinations: four
// entries, labelled by the rate and by the sweep's values, every pair compared on both measures,
// and the page ranks them all.
TEST(CompareEndToEnd, FoldersAndASweepsCombinationsAreComparedAsOneSweep) {
    ScratchDir scratch;
    writeFile("low.xml", sphere("0.05"));
    writeFile("high.xml", sphere("0.5"));
    ASSERT_EQ(runProgram({"low.xml", "4", "--out", "low", "--csv"}).status, 0);
    ASSERT_EQ(runProgram({"high.xml", "4", "--out", "high", "--csv"}).status, 0);
    const auto swept = runSweepProgram({"low.xml", "--set", "Population size=10,40", "--seeds", "1-2", "--runs", "2",
                                        "--out", "grid"});
    ASSERT_EQ(swept.status, 0) << swept.err;

    const auto compared = runCompareProgram({"low", "high", "grid", "--out", "cmp"});
    ASSERT_EQ(compared.status, 0) << compared.err;
    EXPECT_EQ(queryRows("cmp/results.sqlite", "SELECT id, compared, experiments, runs FROM combinations ORDER BY id"),
              (Rows{{"1", "mRate=0.05", "1", "4"},
                    {"2", "mRate=0.5", "1", "4"},
                    {"3", "grid: 10", "2", "4"},
                    {"4", "grid: 40", "2", "4"}}));
    EXPECT_EQ(queryRows("cmp/results.sqlite", "SELECT measure, count(*) FROM comparisons GROUP BY measure ORDER BY measure"),
              (Rows{{"best_found", "6"}, {"evaluations_to_solution", "6"}}));
    EXPECT_EQ(queryRows("cmp/results.sqlite", "SELECT count(*) FROM omnibus"), (Rows{{"2"}}));
    EXPECT_EQ(testing::splitLines(readFile("cmp/comparison.csv")).size(), 1u + 4 + 4 + 8);
    const std::string page = readFile("cmp/comparison.html");
    EXPECT_NE(page.find("<h1>Comparison: 4 experiments</h1>"), std::string::npos);
    EXPECT_EQ(testing::tableRows(page, "ranking").size(), 4u);
    EXPECT_NE(page.find("Written by valdrin-compare."), std::string::npos);
}

// The same configuration in two folders: nothing differs, the folders are the labels. A folder
// without results, a lone experiment and a level outside (0, 1) are misuses, said as such.
TEST(CompareEndToEnd, IdenticalConfigurationsAreLabelledByFolderAndMisusesAreRefused) {
    ScratchDir scratch;
    writeFile("base.xml", sphere("0.2"));
    ASSERT_EQ(runProgram({"base.xml", "2", "--out", "a", "--csv"}).status, 0);
    ASSERT_EQ(runProgram({"base.xml", "2", "--out", "b", "--csv"}).status, 0);
    ASSERT_EQ(runCompareProgram({"a", "b"}).status, 0);
    EXPECT_EQ(queryRows("comparison/results.sqlite", "SELECT compared FROM combinations ORDER BY id"),
              (Rows{{"a"}, {"b"}}));

    fs::create_directories("empty");
    const auto empty = runCompareProgram({"a", "empty"});
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.err.find("empty holds neither runs.csv"), std::string::npos) << empty.err;
    const auto lone = runCompareProgram({"a"});
    EXPECT_EQ(lone.status, 2);
    EXPECT_NE(lone.err.find("only one experiment"), std::string::npos) << lone.err;
    EXPECT_EQ(runCompareProgram({"a", "b", "--alpha", "1"}).status, 2);
}

}  // namespace
}  // namespace Valdrin
