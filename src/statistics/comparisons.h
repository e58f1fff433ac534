// Every pair of several samples of costs compared with the Mann-Whitney U test (p-values
// Holm-adjusted over the pairs) and the Vargha-Delaney A12, and all of them at once with the
// Kruskal-Wallis test.
#pragma once

#include <string>
#include <vector>

namespace Valdrin {

struct PairComparison {
    int a = 0;  // the samples' places (from 0)
    int b = 0;
    int na = 0;
    int nb = 0;
    double u = 0.0;       // of a
    double pValue = 1.0;  // two-sided
    double pHolm = 1.0;   // adjusted over every pair of the set
    double a12 = 0.5;     // of a over b: a's cost lower
};

struct SampleComparisons {
    std::vector<PairComparison> pairs;  // a < b, in the order (0, 1), (0, 2), ..., (1, 2), ...
    bool omnibus = false;               // whether the Kruskal-Wallis test ran (two samples or more)
    double h = 0.0;
    double omnibusP = 1.0;
};

// The comparisons of the samples that are not empty (an empty sample is in no pair). NaN values
// are left out of a sample; infinite ones rank after every finite one.
SampleComparisons compareSamples(const std::vector<std::vector<double>>& samples);

// The comparison of a and b in the set, in that direction (a12 and u turned around when the
// set holds the pair as (b, a)); nothing when the pair is not there.
struct DirectedComparison {
    bool found = false;
    double u = 0.0;
    double pHolm = 1.0;
    double a12 = 0.5;
};
DirectedComparison directed(const SampleComparisons& set, int a, int b);

}  // namespace Valdrin
