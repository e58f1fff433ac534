// Confidence intervals.
#include "statistics/intervals.h"

#include <boost/math/distributions/normal.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace Valdrin {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A uniform index below count from the generator, the same on every platform (the standard's
// distributions are not): the draws at or above the largest multiple of count are drawn again.
std::size_t drawIndex(std::mt19937_64& generator, std::uint64_t count) {
    const std::uint64_t limit = std::numeric_limits<std::uint64_t>::max() - std::numeric_limits<std::uint64_t>::max() % count;
    for (;;) {
        const std::uint64_t draw = generator();
        if (draw < limit) return static_cast<std::size_t>(draw % count);
    }
}

// The interval between the quantiles of the sorted figures (NaN ones left out before).
Interval percentileInterval(std::vector<double>& figures, double confidence) {
    if (figures.empty()) return {kNaN, kNaN};
    std::sort(figures.begin(), figures.end());
    // The lower end's place rounded down, the upper end's up: the interval never narrows.
    const double last = static_cast<double>(figures.size() - 1);
    const double low = std::floor((1.0 - confidence) / 2.0 * last + 1e-9);
    const double high = std::ceil((1.0 + confidence) / 2.0 * last - 1e-9);
    return {figures[static_cast<std::size_t>(std::clamp(low, 0.0, last))],
            figures[static_cast<std::size_t>(std::clamp(high, 0.0, last))]};
}

}  // namespace

Interval wilsonInterval(int successes, int trials, double confidence) {
    if (trials <= 0) return {0.0, 1.0};
    const double z = boost::math::quantile(boost::math::normal(), (1.0 + confidence) / 2.0);
    const double n = static_cast<double>(trials);
    const double p = static_cast<double>(successes) / n;
    const double centre = (p + z * z / (2.0 * n)) / (1.0 + z * z / n);
    const double half = z / (1.0 + z * z / n) * std::sqrt(p * (1.0 - p) / n + z * z / (4.0 * n * n));
    return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

double expectedRunningTime(const std::vector<RunFigures>& runs) {
    if (runs.empty()) return kNaN;
    double evaluations = 0.0;
    int solved = 0;
    for (const RunFigures& run : runs) {
        evaluations += run.evaluations;
        solved += run.solved ? 1 : 0;
    }
    return solved > 0 ? evaluations / solved : std::numeric_limits<double>::infinity();
}

double medianOf(std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }), values.end());
    if (values.empty()) return kNaN;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

Interval bootstrapInterval(const std::vector<RunFigures>& runs,
                           const std::function<double(const std::vector<RunFigures>&)>& figure, double confidence,
                           int resamples, std::uint64_t seed) {
    if (runs.empty() || resamples <= 0) return {kNaN, kNaN};
    std::mt19937_64 generator(seed);
    std::vector<RunFigures> resample(runs.size());
    std::vector<double> figures;
    figures.reserve(static_cast<std::size_t>(resamples));
    for (int r = 0; r < resamples; ++r) {
        for (RunFigures& drawn : resample) drawn = runs[drawIndex(generator, runs.size())];
        const double value = figure(resample);
        if (!std::isnan(value)) figures.push_back(value);
    }
    return percentileInterval(figures, confidence);
}

Interval bootstrapMedianInterval(const std::vector<double>& values, double confidence, int resamples,
                                 std::uint64_t seed) {
    if (values.empty() || resamples <= 0) return {kNaN, kNaN};
    const std::size_t n = values.size();
    // The values in order, NaN ones last, and each value's place in that order.
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&values](std::size_t a, std::size_t b) {
        if (std::isnan(values[b])) return !std::isnan(values[a]);
        return !std::isnan(values[a]) && values[a] < values[b];
    });
    std::vector<std::size_t> placeOf(n);
    std::size_t numbers = 0;  // the places before the NaN ones
    for (std::size_t p = 0; p < n; ++p) {
        placeOf[order[p]] = p;
        if (!std::isnan(values[order[p]])) numbers = p + 1;
    }
    std::mt19937_64 generator(seed);
    std::vector<int> counts(n);
    std::vector<double> figures;
    figures.reserve(static_cast<std::size_t>(resamples));
    for (int r = 0; r < resamples; ++r) {
        std::fill(counts.begin(), counts.end(), 0);
        std::size_t drawn = 0;  // values that are not NaN
        for (std::size_t d = 0; d < n; ++d) {
            const std::size_t place = placeOf[drawIndex(generator, n)];
            ++counts[place];
            drawn += place < numbers ? 1 : 0;
        }
        if (drawn == 0) continue;
        // The value at rank `at` (from 0) of the resample in order.
        const auto valueAt = [&](std::size_t at) {
            std::size_t below = 0;
            for (std::size_t p = 0; p < numbers; ++p) {
                below += static_cast<std::size_t>(counts[p]);
                if (at < below) return values[order[p]];
            }
            return kNaN;
        };
        figures.push_back(drawn % 2 == 1 ? valueAt(drawn / 2) : (valueAt(drawn / 2 - 1) + valueAt(drawn / 2)) / 2.0);
    }
    return percentileInterval(figures, confidence);
}

}  // namespace Valdrin
