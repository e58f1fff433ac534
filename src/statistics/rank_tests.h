// Rank-based comparisons of samples of costs (lower is better): the Mann-Whitney U test, the
// Kruskal-Wallis H test, Holm's adjustment of p-values for multiple comparisons, and the
// Vargha-Delaney effect size. The formulas are stated in docs/statistics.md.
#pragma once

#include <string>
#include <vector>

namespace Valdrin {

// The ranks of the values (1 for the smallest), tied values sharing the mean of their places.
// Infinite values rank after every finite one (and tie among themselves); the values must not be
// NaN.
std::vector<double> averageRanks(const std::vector<double>& values);

// The sum over the groups of tied values of t^3 - t (t the group's size): the tie term of the
// rank tests' variances; 0 when no two values are equal.
double tieTerm(const std::vector<double>& values);

struct MannWhitneyResult {
    double u = 0.0;        // U of the first sample: its rank sum less n_a (n_a + 1) / 2
    double pValue = 1.0;   // two-sided
    bool exact = false;    // from the exact distribution of U rather than the normal approximation
};

// The two-sided Mann-Whitney U test of a against b (each at least one value, none NaN). The p-value
// is exact (the null distribution of U counted) when the samples have no tie and one of them has
// at most 8 values; otherwise it is the normal approximation with the tie correction of the
// variance and a continuity correction of one half. Equal samples, or all values tied, give 1.
MannWhitneyResult mannWhitney(const std::vector<double>& a, const std::vector<double>& b);

// The probability that U of samples of sizes m and n without ties is at most k under the null
// hypothesis (every arrangement of the m + n ranks equally likely), counted exactly.
double mannWhitneyLowerTail(int m, int n, long long k);

struct KruskalWallisResult {
    double h = 0.0;       // tie-corrected
    double pValue = 1.0;  // upper tail of the chi-square distribution with groups - 1 degrees of freedom
};

// The Kruskal-Wallis H test over the groups (at least two, each with at least one value, none
// NaN). When every value is the same there is nothing to rank: h is 0 and the p-value 1.
KruskalWallisResult kruskalWallis(const std::vector<std::vector<double>>& groups);

// Holm's step-down adjustment: the i-th smallest p-value times (m - i + 1), never below the one
// before it, at most 1; in the order given.
std::vector<double> holmAdjusted(const std::vector<double>& pValues);

// The Vargha-Delaney A12 of a over b for costs: the probability that a value drawn from a is lower
// than one drawn from b, ties counting half. 0.5 when either is empty.
double varghaDelaneyA12(const std::vector<double>& a, const std::vector<double>& b);

// The magnitude of an A12 by its distance from one half: "negligible" below 0.56 (or above 0.44),
// "small" below 0.64, "medium" below 0.71, "large" beyond.
std::string a12Magnitude(double a12);

struct FriedmanResult {
    double chiSquare = 0.0;         // tie-corrected
    double pValue = 1.0;            // upper tail of the chi-square distribution with k - 1 degrees of freedom
    std::vector<double> meanRanks;  // per treatment: its rank within each block (1 the lowest), averaged
};

// The Friedman test of k treatments over blocks: blocks[i][j] is treatment j's value in block i
// (every block has a value for every treatment, at least one block and two treatments, no NaN).
// When every block's values are all the same, the statistic is 0 and the p-value 1.
FriedmanResult friedman(const std::vector<std::vector<double>>& blocks);

// The distribution of the range of k independent standard normal values (the studentized range
// with infinite degrees of freedom): P(range <= q), and its p-quantile.
double studentizedRangeCdf(double q, int k);
double studentizedRangeQuantile(double p, int k);

// Nemenyi's critical difference of mean ranks between k treatments over n blocks at level alpha:
// q / sqrt(2) * sqrt(k (k + 1) / (6 n)), q the studentized range's (1 - alpha)-quantile for k.
double nemenyiCriticalDifference(int k, int blocks, double alpha);

}  // namespace Valdrin
