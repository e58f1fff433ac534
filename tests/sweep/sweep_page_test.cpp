// The sweep's page: the numbers per combination and the page made of them.
#include "sweep/sweep_page.h"

#include <gtest/gtest.h>

#include <cmath>

#include "report/markup.h"
#include "report/report_page.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

ExperimentOutcome ran(const std::vector<std::vector<std::string>>& runs) {
    ExperimentOutcome outcome;
    outcome.state = ExperimentOutcome::State::Ran;
    outcome.job = JobRecord{1, ":", 0.5, 0, 0};
    outcome.runs.header = {"run", "evaluations", "solved", "evaluations_to_solution", "final_best_fitness"};
    outcome.runs.rows = runs;
    return outcome;
}

ExperimentOutcome failed() {
    ExperimentOutcome outcome;
    outcome.state = ExperimentOutcome::State::Failed;
    outcome.job = JobRecord{1, ":", 0.5, 1, 0};
    outcome.reason = "exit status 1";
    outcome.errorTail = {"valdrin: error: config.xml:7: \"Population size\" is 0 <&>"};
    return outcome;
}

// Two values of one key over two seeds: the first combination's runs all solved or not, the
// second's first experiment failed.
struct Fixture {
    std::vector<SweptKey> keys = {{"Population size", {"0", "20"}}, {"Elite count", {"1"}}};
    std::vector<int> seeds = {1, 2};
    std::vector<Experiment> experiments = expandPlan(keys, seeds);
    std::vector<ExperimentOutcome> outcomes = {
        ran({{"1", "200", "1", "40", "0.001"}, {"2", "200", "0", "", "0.5"}}),
        ran({{"1", "200", "1", "80", "0.002"}, {"2", "200", "0", "", "4"}}),
        failed(),
        ran({{"1", "300", "0", "", "7"}, {"2", "300", "0", "", "9"}}),
    };
    SweepRecord record{keys, experiments, outcomes, "."};
};

TEST(SweepSummaryTest, EachCombinationCountsItsRunsAsTheReportDoes) {
    const Fixture fixture;
    const std::vector<CombinationSummary> combinations = summarizeCombinations(fixture.record);
    ASSERT_EQ(combinations.size(), 2u);
    const CombinationSummary& first = combinations[0];
    EXPECT_EQ(first.values, (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(first.experiments, 2);
    EXPECT_EQ(first.ran, 2);
    EXPECT_EQ(first.runs, 4);
    EXPECT_EQ(first.solved, 2);
    // (40 + 200 + 80 + 200) evaluations over 2 solved runs.
    EXPECT_EQ(first.totalEvaluations, 520);
    EXPECT_DOUBLE_EQ(first.expectedRunningTime, 260.0);
    // Final bests 0.001, 0.5, 0.002, 4: median and quartiles interpolated.
    EXPECT_DOUBLE_EQ(first.medianFinalBest, 0.251);
    EXPECT_DOUBLE_EQ(first.lowerQuartile, 0.00175);
    EXPECT_DOUBLE_EQ(first.upperQuartile, 1.375);
    // Its runs.csv files predate the best-so-far column: the final bests stand in.
    EXPECT_DOUBLE_EQ(first.medianBestSoFar, 0.251);
    EXPECT_EQ(first.finalBestStandIns, 4);

    const CombinationSummary& second = combinations[1];
    EXPECT_EQ(second.experiments, 2);
    EXPECT_EQ(second.ran, 1);
    EXPECT_EQ(second.failed, 1);
    EXPECT_EQ(second.runs, 2);
    EXPECT_TRUE(std::isinf(second.expectedRunningTime));
    EXPECT_DOUBLE_EQ(second.medianFinalBest, 8.0);
}

TEST(SweepPageTest, ThePageIsWellFormedSelfContainedAndHoldsEveryCombinationPlotAndFailure) {
    const Fixture fixture;
    const std::string page = sweepPage({fixture.record, "GA on Sphere", "base.xml", 2, fixture.seeds});
    const testing::MarkupDocument document = testing::parseMarkup(page.substr(page.find("<html")));
    ASSERT_EQ(document.error, "");
    EXPECT_EQ(document.count("script"), 0);
    EXPECT_EQ(document.count("link"), 0);
    EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
    EXPECT_NE(page.find("<h1>Sweep: GA on Sphere</h1>"), std::string::npos);
    // One plot per swept key, and the evaluations to solution per combination (the fixed-budget
    // plot needs the experiments' generations.csv, which this record has not).
    EXPECT_EQ(document.count("svg"), 3);

    const auto rows = testing::tableRows(page, "combinations");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].cells[0], "0");
    EXPECT_EQ(rows[0].data.at("success-rate"), "0.5");
    EXPECT_EQ(rows[0].data.at("ert"), "260");
    EXPECT_EQ(rows[0].data.at("median-final-best"), "0.251");
    EXPECT_EQ(rows[1].data.at("ert"), "inf");
    EXPECT_EQ(rows[1].data.at("failed"), "1");
    EXPECT_EQ(rows[1].cells[4], "0%");

    const auto failures = testing::tableRows(page, "failures");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].data.at("experiment"), "3");
    EXPECT_EQ(failures[0].data.at("status"), "1");
    EXPECT_EQ(failures[0].cells[1], fixture.experiments[2].folder);
    EXPECT_EQ(failures[0].cells[3], "valdrin: error: config.xml:7: \"Population size\" is 0 <&>");
}

// The first value's runs ended worse than the second's but had found better: the ranking, the
// plot and the table go by what the runs found.
TEST(SweepPageTest, CombinationsAreRankedByTheirMedianBestSoFar) {
    const std::vector<SweptKey> keys = {{"Mutation rate", {"0.1", "0.2", "0.3"}}};
    const std::vector<Experiment> experiments = expandPlan(keys, {1});
    const auto withBestSoFar = [](const std::vector<std::vector<std::string>>& runs) {
        ExperimentOutcome outcome = ran(runs);
        outcome.runs.header.push_back("best_so_far_fitness");
        return outcome;
    };
    const std::vector<ExperimentOutcome> outcomes = {withBestSoFar({{"1", "100", "0", "", "5", "2"}, {"2", "100", "0", "", "6", "2.5"}}),
                                                     withBestSoFar({{"1", "100", "0", "", "3", "3"}}), failed()};
    const SweepRecord record{keys, experiments, outcomes, "."};
    const std::string page = sweepPage({record, "GA on Sphere", "base.xml", 2, {1}});
    const auto rows = testing::tableRows(page, "combinations");
    ASSERT_EQ(rows.size(), 3u);
    std::vector<std::string> order;
    for (const auto& row : rows) order.push_back(row.data.at("combination") + ":" + row.data.at("median-best-so-far"));
    EXPECT_EQ(order, (std::vector<std::string>{"1:2.25", "2:3", "3:"}));
    EXPECT_EQ(rows[0].data.at("median-final-best"), "5.5");
    EXPECT_EQ(rows[0].cells[5], "2.25");
    EXPECT_NE(page.find("ranked by the median best fitness so far"), std::string::npos);
    EXPECT_EQ(page.find("final-best-stand-ins"), std::string::npos);

    const Fixture older;
    EXPECT_NE(sweepPage({older.record, "GA on Sphere", "base.xml", 2, older.seeds})
                  .find("6 runs come from a runs.csv without best-so-far columns"),
              std::string::npos);
}

TEST(SweepPageTest, WithoutSweptKeysTheBestSoFarIsPlottedAgainstTheSeed) {
    const std::vector<SweptKey> keys;
    const std::vector<Experiment> experiments = expandPlan(keys, {3, 4});
    const std::vector<ExperimentOutcome> outcomes = {ran({{"1", "10", "0", "", "2"}}), ran({{"1", "10", "0", "", "3"}})};
    const SweepRecord record{keys, experiments, outcomes, "."};
    const std::string page = sweepPage({record, "GA on Sphere", "base.xml", 1, {3, 4}});
    EXPECT_EQ(testing::parseMarkup(page.substr(page.find("<html"))).count("svg"), 1);
    EXPECT_NE(page.find("Best fitness so far against RNG seed"), std::string::npos);
    EXPECT_EQ(page.find("id=\"failures\""), std::string::npos);
}

// Two combinations of eight runs whose best found never overlap: the lower is ranked first and is
// the only one among the best at 5 %, the other has A12 0 against it (large); at a level no
// p-value reaches neither is beaten. On the evaluations, the one that solves (late) is the only
// one among the fastest: unsolved runs rank after every solved one.
TEST(SweepPageTest, WhichIsBetterMarksOnlyTheCombinationsNoOtherSignificantlyBeats) {
    const std::vector<SweptKey> keys = {{"Mutation rate", {"0.1", "0.5"}}};
    const std::vector<int> seeds = {1};
    const std::vector<Experiment> experiments = expandPlan(keys, seeds);
    std::vector<std::vector<std::string>> worse;
    std::vector<std::vector<std::string>> better;
    for (int run = 1; run <= 8; ++run) {
        worse.push_back({std::to_string(run), "50", "0", "", std::to_string(10 + run)});
        better.push_back({std::to_string(run), "900", "1", "800", "0." + std::to_string(run)});
    }
    const std::vector<ExperimentOutcome> outcomes = {ran(worse), ran(better)};
    const SweepRecord record{keys, experiments, outcomes, "."};
    for (const double alpha : {0.05, 1e-9}) {
        const std::string page = sweepPage({record, "GA on Sphere", "base.xml", 8, seeds, alpha});
        ASSERT_EQ(testing::parseMarkup(page.substr(page.find("<html"))).error, "");
        const auto rows = testing::tableRows(page, "ranking");
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].data.at("combination"), "2");
        EXPECT_EQ(rows[0].data.at("among-best"), "1");
        EXPECT_EQ(rows[1].data.at("among-best"), alpha < 0.01 ? "1" : "0") << alpha;
        EXPECT_EQ(rows[1].data.at("a12"), "0");
        EXPECT_EQ(rows[1].cells[9], "large");
        EXPECT_EQ(rows[0].data.at("among-fastest"), "1");
        EXPECT_EQ(rows[1].data.at("among-fastest"), alpha < 0.01 ? "1" : "0");
        // 8 of 8 solved: Wilson's 95 % interval from 67.6 %.
        EXPECT_NE(rows[0].cells[3].find("[67.6%, 100%]"), std::string::npos) << rows[0].cells[3];
    }
}

// Three rates over three problems (the blocks), one run each: the rate 0.1 finds the lowest best
// on every problem, 0.9 the highest, so their mean ranks are 1 and 3 whatever the problems'
// scales; a problem where one rate has no run is left out of the test, and said to be.
TEST(SweepPageTest, AcrossBlocksTheOtherKeysAreRankedWithinEachBlock) {
    const std::vector<SweptKey> keys = {{"Problem", {"Sphere", "Rastrigin", "Ackley", "Griewank"}},
                                        {"Mutation rate", {"0.1", "0.5", "0.9"}}};
    const std::vector<int> seeds = {1};
    const std::vector<Experiment> experiments = expandPlan(keys, seeds);
    const double scales[] = {1e-6, 10.0, 0.5, 3.0};
    std::vector<ExperimentOutcome> outcomes;
    for (const Experiment& experiment : experiments) {
        const int problem = experiment.combination / 3;
        const int rate = experiment.combination % 3;
        if (problem == 3 && rate == 1) {
            outcomes.push_back(failed());
            continue;
        }
        outcomes.push_back(ran({{"1", "100", "0", "", shownNumber(scales[problem] * (1 + rate))}}));
    }
    SweepRecord record{keys, experiments, outcomes, ".", "Problem"};
    const BlockComparison across = compareAcrossBlocks(record, summarizeCombinations(record));
    ASSERT_TRUE(across.tested) << across.reason;
    EXPECT_EQ(across.treatments, (std::vector<std::string>{"0.1", "0.5", "0.9"}));
    EXPECT_EQ(across.blocks, (std::vector<std::string>{"Sphere", "Rastrigin", "Ackley"}));
    EXPECT_EQ(across.leftOut, 1);
    EXPECT_EQ(across.friedman.meanRanks, (std::vector<double>{1, 2, 3}));
    // Perfect agreement of 3 blocks on 3 treatments: chi-square = 12 / (3 * 3 * 4) * (9 + 36 + 81) - 3 * 3 * 4.
    EXPECT_NEAR(across.friedman.chiSquare, 6.0, 1e-12);

    const std::string page = sweepPage({record, "GA", "base.xml", 1, seeds});
    ASSERT_EQ(testing::parseMarkup(page.substr(page.find("<html"))).error, "");
    EXPECT_EQ(testing::tableRows(page, "mean-ranks").size(), 3u);
    EXPECT_NE(page.find("id=\"cd-diagram\""), std::string::npos);
    EXPECT_NE(page.find("1 value is left out"), std::string::npos);
    testing::ScratchDir scratch;
    writeResultsDatabase(record, "results.sqlite");
    EXPECT_EQ(testing::queryRows("results.sqlite", "SELECT measure, block_key, blocks, treatments, chi_square FROM friedman"),
              (std::vector<std::vector<std::string>>{{"best_found", "Problem", "3", "3", "6.0"}}));
    EXPECT_EQ(testing::queryRows("results.sqlite", "SELECT treatment, mean_rank FROM mean_ranks"),
              (std::vector<std::vector<std::string>>{{"0.1", "1.0"}, {"0.5", "2.0"}, {"0.9", "3.0"}}));

    // Blocks whose other keys make one combination: nothing to compare, said so.
    const std::vector<SweptKey> alone = {{"Problem", {"Sphere", "Rastrigin"}}};
    const std::vector<Experiment> two = expandPlan(alone, seeds);
    const std::vector<ExperimentOutcome> both = {ran({{"1", "100", "0", "", "1"}}), ran({{"1", "100", "0", "", "2"}})};
    const SweepRecord single{alone, two, both, ".", "Problem"};
    EXPECT_FALSE(compareAcrossBlocks(single, summarizeCombinations(single)).tested);
    EXPECT_NE(sweepPage({single, "GA", "base.xml", 1, seeds}).find("fewer than two combinations"), std::string::npos);
}

}  // namespace
}  // namespace Valdrin
