// Pairwise and omnibus comparisons.
#include "statistics/comparisons.h"

#include <cmath>

#include "statistics/rank_tests.h"

namespace Valdrin {

SampleComparisons compareSamples(const std::vector<std::vector<double>>& samples) {
    std::vector<std::vector<double>> clean(samples.size());
    for (std::size_t s = 0; s < samples.size(); ++s) {
        for (double value : samples[s]) {
            if (!std::isnan(value)) clean[s].push_back(value);
        }
    }
    SampleComparisons set;
    std::vector<double> pValues;
    std::vector<std::vector<double>> present;
    for (std::size_t a = 0; a < clean.size(); ++a) {
        if (clean[a].empty()) continue;
        present.push_back(clean[a]);
        for (std::size_t b = a + 1; b < clean.size(); ++b) {
            if (clean[b].empty()) continue;
            const MannWhitneyResult test = mannWhitney(clean[a], clean[b]);
            PairComparison pair;
            pair.a = static_cast<int>(a);
            pair.b = static_cast<int>(b);
            pair.na = static_cast<int>(clean[a].size());
            pair.nb = static_cast<int>(clean[b].size());
            pair.u = test.u;
            pair.pValue = test.pValue;
            pair.a12 = varghaDelaneyA12(clean[a], clean[b]);
            set.pairs.push_back(pair);
            pValues.push_back(test.pValue);
        }
    }
    const std::vector<double> adjusted = holmAdjusted(pValues);
    for (std::size_t i = 0; i < set.pairs.size(); ++i) set.pairs[i].pHolm = adjusted[i];
    if (present.size() >= 2) {
        const KruskalWallisResult omnibus = kruskalWallis(present);
        set.omnibus = true;
        set.h = omnibus.h;
        set.omnibusP = omnibus.pValue;
    }
    return set;
}

DirectedComparison directed(const SampleComparisons& set, int a, int b) {
    for (const PairComparison& pair : set.pairs) {
        if (pair.a == a && pair.b == b) return {true, pair.u, pair.pHolm, pair.a12};
        if (pair.a == b && pair.b == a) {
            return {true, static_cast<double>(pair.na) * pair.nb - pair.u, pair.pHolm, 1.0 - pair.a12};
        }
    }
    return {};
}

}  // namespace Valdrin
