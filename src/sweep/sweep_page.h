// sweep.html: one self-contained page in the manner of the report page: what was swept, the
// outcome of every combination of values (success rate, expected running time, median best so
// far and median final best with their quartiles), ranked by the median best so far; "Which is
// better" (the combinations with their intervals, ranked and compared by rank tests, with the
// plots of their evaluations to solution and of their best so far against the evaluations);
// with blocks, the comparison across them; a plot of the best so far against each swept key, and
// the failures.
#pragma once

#include <string>
#include <vector>

#include "statistics/comparisons.h"
#include "statistics/intervals.h"
#include "statistics/rank_tests.h"
#include "sweep/sweep_results.h"

namespace Valdrin {

// The outcome over every run of every experiment of one combination of values that ran.
struct CombinationSummary {
    std::vector<std::string> values;  // one per swept key
    int experiments = 0;              // planned (one per seed)
    int ran = 0;
    int failed = 0;
    int runs = 0;
    int solved = 0;
    // As the report page counts it: evaluations to solution for a solved run, all evaluations
    // for an unsolved one, over the solved runs; infinite when none solved.
    long long totalEvaluations = 0;
    double expectedRunningTime = 0.0;
    // Quantiles of the runs' final best fitness (interpolated as the report's plots do); NaN when
    // no run is there.
    double medianFinalBest = 0.0;
    double lowerQuartile = 0.0;
    double upperQuartile = 0.0;
    std::vector<double> finalBests;  // every run's, in experiment and run order
    // The same of the runs' best fitness so far (runs.csv's best_so_far_fitness). A runs.csv
    // without that column (written before it existed) gives its runs' final best instead, and
    // those runs are counted in finalBestStandIns.
    double medianBestSoFar = 0.0;
    double lowerQuartileBestSoFar = 0.0;
    double upperQuartileBestSoFar = 0.0;
    std::vector<double> bestsSoFar;
    int finalBestStandIns = 0;
    // Every run's figures (its best found is its best so far, as above), in the same order, and
    // the 95 % intervals: Wilson's of the success rate, the bootstrap's (resampling the runs, with
    // the fixed seed) of the ERT and of the median best found. NaN ends when there is no run.
    std::vector<RunFigures> runFigures;
    Interval successInterval{0.0, 1.0};
    Interval ertInterval;
    Interval bestFoundInterval;
};

std::vector<CombinationSummary> summarizeCombinations(const SweepRecord& record);

// The two measures the combinations are compared on, each a cost: the best fitness a run found
// (at a fixed budget) and its evaluations to the solution (to a fixed target; infinite for an
// unsolved run, which ranks after every solved one).
struct CombinationComparisons {
    SampleComparisons bestFound;
    SampleComparisons evaluationsToSolution;
};
// The combination's runs on each measure.
std::vector<double> bestFoundSample(const CombinationSummary& combination);
std::vector<double> evaluationsToSolutionSample(const CombinationSummary& combination);
CombinationComparisons compareCombinations(const std::vector<CombinationSummary>& combinations);

// The combinations of the keys other than the record's blocks key (the treatments) compared
// across that key's values (the blocks) on their median best found: Friedman's test and the mean
// ranks. A block where some treatment has no run is left out. Not tested (tested false, with the
// reason) when there is no blocks key, fewer than two treatments or no complete block.
struct BlockComparison {
    bool tested = false;
    std::string reason;
    std::vector<std::string> treatments;  // the other keys' values, joined by ", "
    std::vector<std::string> blocks;      // the blocks used
    int leftOut = 0;                      // blocks left out
    FriedmanResult friedman;
};
BlockComparison compareAcrossBlocks(const SweepRecord& record, const std::vector<CombinationSummary>& combinations);

struct SweepPageInputs {
    const SweepRecord& record;
    std::string title;      // what ran: "GA on Sphere"
    std::string baseName;   // the base configuration as given
    int runs = 1;           // per experiment
    std::vector<int> seeds;
    double alpha = 0.05;    // the level at which a difference counts as significant (Holm-adjusted)
    // For valdrin-compare's page: each compared entry's label and the folders its runs come from.
    // When given, the page is a comparison's: its title, its plan (these instead of what was
    // swept) and its footer say so.
    std::vector<std::pair<std::string, std::string>> comparedFolders{};
    // The record's combinations as summarizeCombinations gives them, when the caller has them
    // already; null: the page summarizes them itself.
    const std::vector<CombinationSummary>* combinations = nullptr;
};

std::string sweepPage(const SweepPageInputs& inputs);

// Writes the page at path; it appears only once complete.
void writeSweepPage(const SweepPageInputs& inputs, const std::string& path);

}  // namespace Valdrin
