// Confidence intervals for the figures of a set of runs: Wilson's interval for a success rate
// and percentile bootstrap intervals (resampling the runs) for any figure of them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace Valdrin {

struct Interval {
    double low = 0.0;
    double high = 0.0;
};

// Wilson's score interval of the proportion successes / trials at the given confidence (0.95 for
// 95 %); 0 to 1 when there is no trial.
Interval wilsonInterval(int successes, int trials, double confidence = 0.95);

// The seed of the bootstrap: fixed, so that the same runs give the same intervals on every
// machine.
constexpr std::uint64_t kBootstrapSeed = 20240229;
constexpr int kBootstrapResamples = 2000;

// A run's part in the bootstrap's figures.
struct RunFigures {
    double evaluations = 0.0;   // to the solution for a solved run, all of them for an unsolved one
    bool solved = false;
    double bestFound = 0.0;     // NaN when the run recorded none
};

// The expected running time: the evaluations of all runs over the solved ones; infinite when none
// solved, NaN when there is no run.
double expectedRunningTime(const std::vector<RunFigures>& runs);

// The median of the values that are not NaN (the mean of the two middle ones for an even count);
// NaN when none is left.
double medianOf(std::vector<double> values);

// The percentile bootstrap interval at the given confidence of figure(runs): `resamples` times,
// as many runs drawn with replacement as there are (each index drawn uniformly from a generator
// seeded with `seed`), the figure of the resample; the interval runs between the quantiles
// (1 - confidence) / 2 and (1 + confidence) / 2 of those figures (the order statistics at or
// outside them, infinite figures ordered last, NaN ones left out). Both ends are NaN when there is
// no run or every resample's figure is NaN.
Interval bootstrapInterval(const std::vector<RunFigures>& runs,
                           const std::function<double(const std::vector<RunFigures>&)>& figure,
                           double confidence = 0.95, int resamples = kBootstrapResamples,
                           std::uint64_t seed = kBootstrapSeed);

// The same interval of the median of the values (NaN ones left out of each resample's median), the
// same draws made, without sorting each resample: the draws are counted per place of the values in
// order, and the median read from the counts.
Interval bootstrapMedianInterval(const std::vector<double>& values, double confidence = 0.95,
                                 int resamples = kBootstrapResamples, std::uint64_t seed = kBootstrapSeed);

}  // namespace Valdrin
