// The sweep's plan: --set and --seeds as the command line gives them, and the experiments they
// expand into.
#include "sweep/sweep_plan.h"

#include <gtest/gtest.h>

#include <set>

namespace Valdrin {
namespace {

using Strings = std::vector<std::string>;

// The UsageError's text, or "" when the statement throws none.
template <class Statement>
std::string usageError(Statement statement) {
    try {
        statement();
    } catch (const UsageError& error) {
        return error.what();
    }
    return "";
}

TEST(SweepSettingTest, KeyAndValuesAreTrimmedAndKeepTheirOrder) {
    const SweptKey swept = parseSetting("  Population size = 100, 20 ,50");
    EXPECT_EQ(swept.key, "Population size");
    EXPECT_EQ(swept.values, (Strings{"100", "20", "50"}));
    // Words with blanks inside stay whole; only the first "=" separates.
    EXPECT_EQ(parseSetting("Crossover type=2-point PGX,1-point").values, (Strings{"2-point PGX", "1-point"}));
    EXPECT_EQ(parseSetting("Odd=a=b").values, (Strings{"a=b"}));
}

TEST(SweepSettingTest, MalformedSettingsAreUsageErrorsThatSayWhy) {
    EXPECT_NE(usageError([] { parseSetting("Population size"); }).find("KEY=VALUE"), std::string::npos);
    EXPECT_NE(usageError([] { parseSetting("=20,50"); }).find("names no key"), std::string::npos);
    EXPECT_NE(usageError([] { parseSetting("Population size=20,,50"); }).find("empty value"), std::string::npos);
    EXPECT_NE(usageError([] { parseSetting("Population size="); }).find("empty value"), std::string::npos);
    EXPECT_NE(usageError([] { parseSetting("Population size=20,20"); }).find("\"20\" twice"), std::string::npos);
    EXPECT_NE(usageError([] { parseSetting("Encoding=</value><value>real"); }).find("<, > or &"), std::string::npos);

    EXPECT_NE(usageError([] { checkSweptKeys({{"RNG seed", {"1"}}}); }).find("--seeds"), std::string::npos);
    EXPECT_NE(usageError([] { checkSweptKeys({{"Elite count", {"1"}}, {"Elite count", {"2"}}}); }).find("twice"),
              std::string::npos);
    EXPECT_EQ(usageError([] { checkSweptKeys({{"Elite count", {"1"}}, {"Mutation rate", {"2"}}}); }), "");
}

TEST(SweepSeedsTest, ListsAndRangesKeepTheOrderGiven) {
    EXPECT_EQ(parseSeeds("1-5"), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(parseSeeds("9, 3-4,1"), (std::vector<int>{9, 3, 4, 1}));
    EXPECT_EQ(parseSeeds("007"), (std::vector<int>{7}));
    EXPECT_EQ(parseSeeds("32767"), (std::vector<int>{32767}));
}

TEST(SweepSeedsTest, SeedsThatCannotRepeatARunAreRefused) {
    // Above 32767 a seed gives the run of a smaller one; 0 takes the calendar time.
    EXPECT_NE(usageError([] { parseSeeds("1,32768"); }).find("above 32767"), std::string::npos);
    EXPECT_NE(usageError([] { parseSeeds("40000-40001"); }).find("above 32767"), std::string::npos);
    EXPECT_NE(usageError([] { parseSeeds("99999999999999999999"); }).find("above 32767"), std::string::npos);
    EXPECT_NE(usageError([] { parseSeeds("0-3"); }).find("calendar time"), std::string::npos);
    EXPECT_NE(usageError([] { parseSeeds("5-1"); }).find("backwards"), std::string::npos);
    EXPECT_NE(usageError([] { parseSeeds("1-3,2"); }).find("seed 2 is given twice"), std::string::npos);
    for (const char* text : {"", "a", "-3", "1-", "1;2", "1.5", "+2"}) {
        EXPECT_NE(usageError([text] { parseSeeds(text); }), "") << text;
    }
}

TEST(SweepPlanTest, EveryCombinationRunsWithEverySeedTheLastKeyChangingFastest) {
    const std::vector<SweptKey> keys = {{"Population size", {"20", "50"}}, {"Crossover type", {"BLX", "2-point PGX", "SBX"}}};
    const std::vector<Experiment> experiments = expandPlan(keys, {7, 3});
    ASSERT_EQ(experiments.size(), 12u);
    EXPECT_EQ(combinationCount(keys), 6);
    std::set<std::string> folders;
    for (std::size_t i = 0; i < experiments.size(); ++i) {
        const Experiment& experiment = experiments[i];
        EXPECT_EQ(experiment.id, static_cast<int>(i) + 1);
        EXPECT_EQ(experiment.combination, static_cast<int>(i / 2));
        EXPECT_EQ(experiment.seed, i % 2 == 0 ? 7 : 3);
        EXPECT_EQ(experiment.values, combinationValues(keys, experiment.combination));
        folders.insert(experiment.folder);
    }
    EXPECT_EQ(folders.size(), experiments.size());
    EXPECT_EQ(experiments[0].values, (Strings{"20", "BLX"}));
    EXPECT_EQ(experiments[2].values, (Strings{"20", "2-point PGX"}));
    EXPECT_EQ(experiments[6].values, (Strings{"50", "BLX"}));
    // Numbered to a common width; values made safe for a file name.
    EXPECT_EQ(experiments[0].folder, "experiments/01_20_BLX_seed7");
    EXPECT_EQ(experiments[3].folder, "experiments/04_20_2-point-PGX_seed3");
}

TEST(SweepPlanTest, OnlySeedsMakeOneExperimentPerSeed) {
    const std::vector<Experiment> experiments = expandPlan({}, {4, 5, 6});
    ASSERT_EQ(experiments.size(), 3u);
    EXPECT_EQ(experiments[2].folder, "experiments/3_seed6");
    EXPECT_TRUE(experiments[2].values.empty());
}

TEST(SweepPlanTest, ATooLargeGridIsRefusedBeforeItIsExpanded) {
    const std::vector<SweptKey> keys(10, SweptKey{"k", Strings(10, "v")});
    EXPECT_NE(usageError([&keys] { checkPlanSize(keys, {1}); }).find("more than"), std::string::npos);
    EXPECT_EQ(usageError([] { checkPlanSize({{"k", Strings(1000, "v")}}, std::vector<int>(1000, 1)); }), "");
}

TEST(SweepPlanTest, ColumnNamesAreLowerCaseWordsJoinedByUnderscores) {
    EXPECT_EQ(columnName("Population size"), "population_size");
    EXPECT_EQ(columnName("xAlpha"), "xalpha");
    EXPECT_EQ(columnName("  Until first hit!"), "until_first_hit");
    EXPECT_EQ(columnName("--"), "key");
}

}  // namespace
}  // namespace Valdrin
