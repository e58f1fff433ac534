// Tests of the legacy generator's warnings: runs that outgrow its cycle, rates below its smallest
// draw, and the seeds above 15 bits; none of them under pcg64.
#include "registry/draw_estimate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/configuration_scan.h"
#include "registry/configuration_check.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using Parameters = std::vector<std::pair<std::string, std::string>>;

// A GA on OneMax over bit strings (lines 5 and 6), then the parameters from line 7 on.
std::string oneMax(const Parameters& parameters) {
    Parameters all{{"Encoding", "integer"}, {"Selection type", "tournament"}};
    all.insert(all.end(), parameters.begin(), parameters.end());
    return testing::gaConfiguration("Onemax", all);
}

std::vector<std::string> oneMaxFindings(const Parameters& parameters, long long runs) {
    std::vector<std::string> lines;
    for (const Finding& finding : checkConfiguration(scanConfiguration(oneMax(parameters)), runs)) {
        lines.push_back(formatFinding(finding));
    }
    return lines;
}

// 100 individuals of 1000 bits for 200 generations: over 2*10^7 draws a run, so the cycle of
// 2^30 draws is used up by the 54th run.
const Parameters kLargeOneMax{{"Chromosome length", "1000"}, {"Population size", "100"}, {"Generations number", "200"}};

TEST(LegacyGeneratorWarnings, RunsBeyondTheCycleAreCountedAndNamed) {
    EXPECT_GT(leastDrawsPerRun(effectiveParameters(scanConfiguration(oneMax(kLargeOneMax)))),
              20000000U);
    EXPECT_TRUE(oneMaxFindings(kLargeOneMax, 50).empty());
    const std::vector<std::string> many = oneMaxFindings(kLargeOneMax, 100);
    ASSERT_EQ(many.size(), 1U);
    EXPECT_NE(many[0].find("warning: "), std::string::npos);
    EXPECT_NE(many[0].find("from run 53 of 100 on they repeat draws of earlier runs"), std::string::npos) << many[0];

    Parameters endless = kLargeOneMax;
    endless.emplace_back("Generations number", "100000");
    const std::vector<std::string> one = oneMaxFindings(endless, 1);
    ASSERT_EQ(one.size(), 2U);  // the key given twice, and the cycle
    EXPECT_NE(one[1].find("every run repeats its own stream"), std::string::npos) << one[1];

    Parameters independent = endless;
    independent.emplace_back("Random generator", "pcg64");
    EXPECT_EQ(oneMaxFindings(independent, 100).size(), 1U);  // only the key given twice
}

TEST(LegacyGeneratorWarnings, RatesBelowTheSmallestDrawActAsZero) {
    EXPECT_EQ(oneMaxFindings({{"Mutation rate", "0.0000001"}}, 1),
              std::vector<std::string>{"line 7: warning: \"Mutation rate\" is 1e-07, not above the legacy generator's "
                                       "smallest draw 4.76837e-07: it acts as 0; set \"Random generator\" to pcg64 "
                                       "for independent runs"});
    EXPECT_TRUE(oneMaxFindings({{"Mutation rate", "0.0000005"}}, 1).empty());
    EXPECT_TRUE(oneMaxFindings({{"Mutation rate", "0"}}, 1).empty());
    EXPECT_TRUE(oneMaxFindings({{"Mutation rate", "0.0000001"}, {"Random generator", "pcg64"}}, 1).empty());

    // pcg64 reads every bit of the seed: a large seed is no smaller seed in disguise.
    EXPECT_EQ(oneMaxFindings({{"RNG seed", "40000"}}, 1).size(), 1U);
    EXPECT_TRUE(oneMaxFindings({{"RNG seed", "40000"}, {"Random generator", "pcg64"}}, 1).empty());
}

}  // namespace
}  // namespace Valdrin
