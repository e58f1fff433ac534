// The rank tests, the effect size and Holm's adjustment: their figures agree with SciPy's on
// generated samples (ties, infinite values, sizes from 1 to 50, equal samples), and the
// adjustment and the effect size keep their contracts.
#include "statistics/rank_tests.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>

#include "statistics/comparisons.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::runCommand;
using testing::writeFile;

// A sample of n values: distinct reals, or whole numbers from a few levels (many ties), with some
// values infinite (unsolved runs) when asked.
std::vector<double> sample(std::mt19937_64& generator, int n, int levels, bool withInfinite, double shift) {
    std::vector<double> values;
    for (int i = 0; i < n; ++i) {
        const std::uint64_t draw = generator();
        double value = levels > 0 ? static_cast<double>(draw % static_cast<std::uint64_t>(levels))
                                  : static_cast<double>(draw >> 11) * 0x1.0p-53 * 10.0;
        if (withInfinite && draw % 5 == 0) value = std::numeric_limits<double>::infinity();
        values.push_back(value + shift);
    }
    return values;
}

std::string listText(const std::vector<double>& values) {
    std::ostringstream text;
    text.precision(17);
    for (std::size_t i = 0; i < values.size(); ++i) text << (i > 0 ? " " : "") << values[i];
    return text.str();
}

// Every case with our figures, checked by SciPy in one run of /usr/bin/python3; the script prints
// each disagreement and exits with status 1 when there is one.
const char* kCheck = R"(
import sys, math
from scipy import stats
bad = 0
for line in open(sys.argv[1]):
    kind, *fields = line.rstrip("\n").split(";")
    numbers = lambda text: [float(x) for x in text.split()]
    if kind == "mw":
        a, b, u, p = numbers(fields[0]), numbers(fields[1]), float(fields[2]), float(fields[3])
        r = stats.mannwhitneyu(a, b, alternative="two-sided", method="auto")
        if abs(r.statistic - u) > 1e-9 or abs(r.pvalue - p) > 1e-9:
            bad += 1; print("mannwhitneyu", a, b, "scipy", r.statistic, r.pvalue, "ours", u, p)
    elif kind == "fr":
        blocks, c, p = [numbers(g) for g in fields[:-2]], float(fields[-2]), float(fields[-1])
        r = stats.friedmanchisquare(*[list(column) for column in zip(*blocks)])
        if abs(r.statistic - c) > 1e-9 or abs(r.pvalue - p) > 1e-9:
            bad += 1; print("friedman", blocks, "scipy", r.statistic, r.pvalue, "ours", c, p)
    else:
        groups, h, p = [numbers(g) for g in fields[:-2]], float(fields[-2]), float(fields[-1])
        r = stats.kruskal(*groups)
        if abs(r.statistic - h) > 1e-9 or abs(r.pvalue - p) > 1e-9:
            bad += 1; print("kruskal", groups, "scipy", r.statistic, r.pvalue, "ours", h, p)
sys.exit(1 if bad else 0)
)";

TEST(RankTestsTest, AgreeWithSciPyOnGeneratedSamples) {
    if (runCommand("/usr/bin/python3", {"-c", "import scipy.stats"}).status != 0) {
        GTEST_SKIP() << "/usr/bin/python3 has no SciPy (Debian's python3-scipy)";
    }
    testing::ScratchDir scratch;
    std::mt19937_64 generator(7);
    std::ostringstream cases;
    cases.precision(17);
    int exact = 0;
    int approximate = 0;
    const std::vector<std::pair<int, int>> sizes = {{1, 1}, {1, 6},  {2, 2},  {2, 50}, {3, 7},   {4, 4},  {5, 8},
                                                    {8, 8}, {8, 30}, {9, 9},  {7, 12}, {12, 20}, {30, 9}, {50, 50}};
    for (const auto& [na, nb] : sizes) {
        for (int levels : {0, 3, 12}) {
            for (double shift : {0.0, 2.0}) {
                const bool withInfinite = levels == 12;
                const std::vector<double> a = sample(generator, na, levels, withInfinite, shift);
                const std::vector<double> b = sample(generator, nb, levels, withInfinite, 0.0);
                const MannWhitneyResult ours = mannWhitney(a, b);
                (ours.exact ? exact : approximate) += 1;
                cases << "mw;" << listText(a) << ";" << listText(b) << ";" << ours.u << ";" << ours.pValue << "\n";
            }
        }
        // Equal samples, and every value the same.
        const std::vector<double> same = sample(generator, na, 0, false, 0.0);
        cases << "mw;" << listText(same) << ";" << listText(same) << ";" << mannWhitney(same, same).u << ";"
              << mannWhitney(same, same).pValue << "\n";
        const std::vector<double> flatA(static_cast<std::size_t>(na), 4.0);
        const std::vector<double> flatB(static_cast<std::size_t>(nb), 4.0);
        cases << "mw;" << listText(flatA) << ";" << listText(flatB) << ";" << mannWhitney(flatA, flatB).u << ";"
              << mannWhitney(flatA, flatB).pValue << "\n";
    }
    EXPECT_GT(exact, 10);
    EXPECT_GT(approximate, 10);
    for (int groups = 2; groups <= 6; ++groups) {
        for (int levels : {0, 4}) {
            std::vector<std::vector<double>> samples;
            std::string text = "kw";
            for (int g = 0; g < groups; ++g) {
                samples.push_back(sample(generator, 2 + 9 * g % 40, levels, false, 0.3 * g));
                text.append(";").append(listText(samples.back()));
            }
            const KruskalWallisResult ours = kruskalWallis(samples);
            cases << text << ";" << ours.h << ";" << ours.pValue << "\n";
        }
    }
    for (int treatments = 3; treatments <= 7; treatments += 2) {
        for (int levels : {0, 3}) {
            std::vector<std::vector<double>> blocks;
            std::string text = "fr";
            for (int block = 0; block < 2 + 3 * treatments; ++block) {
                blocks.push_back(sample(generator, treatments, levels, false, 0.0));
                for (int t = 0; t < treatments; ++t) blocks.back()[static_cast<std::size_t>(t)] += 0.4 * t;
                text.append(";").append(listText(blocks.back()));
            }
            const FriedmanResult ours = friedman(blocks);
            cases << text << ";" << ours.chiSquare << ";" << ours.pValue << "\n";
        }
    }
    writeFile("cases.txt", cases.str());
    const auto checked = runCommand("/usr/bin/python3", {"-c", kCheck, "cases.txt"});
    EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
}

// The smallest exact p-values: the most extreme arrangement of m + n ranks has probability
// 1 / C(m + n, m), twice that two-sided.
TEST(RankTestsTest, TheExactDistributionCountsEveryArrangement) {
    EXPECT_DOUBLE_EQ(mannWhitney({1, 2, 3}, {4, 5, 6, 7}).pValue, 2.0 / 35.0);
    EXPECT_DOUBLE_EQ(mannWhitneyLowerTail(4, 4, 16), 1.0);
    EXPECT_DOUBLE_EQ(mannWhitneyLowerTail(2, 3, 1), 2.0 / 10.0);  // U = 0 and U = 1: one way each
    // The distribution is symmetric about m n / 2.
    EXPECT_NEAR(mannWhitneyLowerTail(5, 7, 17) + mannWhitneyLowerTail(5, 7, 35 - 18), 1.0, 1e-15);
}

// The studentized range (infinite degrees of freedom) against the published table of Nemenyi's
// test's critical values q_alpha (the quantile over sqrt(2)) for 2 to 10 treatments, and the
// critical difference it gives.
TEST(RankTestsTest, StudentizedRangeMatchesThePublishedCriticalValues) {
    const double at05[] = {1.960, 2.343, 2.569, 2.728, 2.850, 2.949, 3.031, 3.102, 3.164};
    const double at10[] = {1.645, 2.052, 2.291, 2.459, 2.589, 2.693, 2.780, 2.855, 2.920};
    for (int k = 2; k <= 10; ++k) {
        EXPECT_NEAR(studentizedRangeQuantile(0.95, k) / std::sqrt(2.0), at05[k - 2], 1e-3) << k;
        EXPECT_NEAR(studentizedRangeQuantile(0.90, k) / std::sqrt(2.0), at10[k - 2], 1e-3) << k;
    }
    // Four treatments over 14 blocks: 2.569 * sqrt(4 * 5 / 84).
    EXPECT_NEAR(nemenyiCriticalDifference(4, 14, 0.05), 1.2536, 1e-3);
    // Every block ranks the treatments the same way: mean ranks 1, 2, 3.
    const FriedmanResult ordered = friedman({{1, 2, 3}, {10, 20, 30}, {0.1, 0.2, 0.3}});
    EXPECT_EQ(ordered.meanRanks, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(friedman({{5, 5}, {2, 2}}).pValue, 1.0);
}

// Holm's step-down: sorted p-values times m, m - 1, ..., made monotone and capped at 1, returned in
// the order given.
TEST(RankTestsTest, HolmAdjustmentStepsDownAndStaysMonotone) {
    const std::vector<double> adjusted = holmAdjusted({0.04, 0.01, 0.03, 0.02, 0.5});
    const std::vector<double> expected = {0.09, 0.05, 0.09, 0.08, 0.5};
    ASSERT_EQ(adjusted.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(adjusted[i], expected[i], 1e-15) << i;
    EXPECT_EQ(holmAdjusted({0.9, 0.6}), (std::vector<double>{1.0, 1.0}));
    EXPECT_TRUE(holmAdjusted({}).empty());
}

// A12 is about costs: the lower sample has the higher A12, ties count half, and the magnitude
// follows the distance from one half on either side.
TEST(RankTestsTest, EffectSizeFavoursTheLowerCost) {
    EXPECT_DOUBLE_EQ(varghaDelaneyA12({1, 2}, {3, 4}), 1.0);
    EXPECT_DOUBLE_EQ(varghaDelaneyA12({3, 4}, {1, 2}), 0.0);
    EXPECT_DOUBLE_EQ(varghaDelaneyA12({1, 3}, {3}), 0.75);  // one lower, one tie
    EXPECT_DOUBLE_EQ(varghaDelaneyA12({1, 2, 3}, {1, 2, 3}), 0.5);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_DOUBLE_EQ(varghaDelaneyA12({100, inf}, {inf, inf}), 0.75);  // solved beats unsolved
    EXPECT_EQ(a12Magnitude(0.5), "negligible");
    EXPECT_EQ(a12Magnitude(0.45), "negligible");
    EXPECT_EQ(a12Magnitude(0.6), "small");
    EXPECT_EQ(a12Magnitude(0.36), "medium");
    EXPECT_EQ(a12Magnitude(0.71), "large");
    EXPECT_EQ(a12Magnitude(0.0), "large");
}

// The set of comparisons leaves empty samples and NaN values out, turns a pair around on request,
// and runs the omnibus test only over two samples or more.
TEST(RankTestsTest, ComparisonsSkipEmptySamplesAndTurnPairsAround) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const SampleComparisons set = compareSamples({{1, 2, 3, nan}, {}, {4, 5, 6}});
    ASSERT_EQ(set.pairs.size(), 1u);
    EXPECT_EQ(set.pairs[0].a, 0);
    EXPECT_EQ(set.pairs[0].b, 2);
    EXPECT_EQ(set.pairs[0].na, 3);
    EXPECT_TRUE(set.omnibus);
    const DirectedComparison forward = directed(set, 0, 2);
    const DirectedComparison backward = directed(set, 2, 0);
    ASSERT_TRUE(forward.found && backward.found);
    EXPECT_DOUBLE_EQ(forward.a12, 1.0);
    EXPECT_DOUBLE_EQ(backward.a12, 0.0);
    EXPECT_DOUBLE_EQ(forward.u + backward.u, 9.0);
    EXPECT_FALSE(directed(set, 0, 1).found);
    EXPECT_FALSE(compareSamples({{1, 2}, {}}).omnibus);
    // Every value the same: nothing to rank, no evidence of a difference.
    const KruskalWallisResult flat = kruskalWallis({{2, 2}, {2, 2, 2}});
    EXPECT_EQ(flat.h, 0.0);
    EXPECT_EQ(flat.pValue, 1.0);
}

}  // namespace
}  // namespace Valdrin
