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
    if (figures.empty()) return {kNaN, kNaN};
    std::sort(figures.begin(), figures.end());
    // The lower end's place rounded down, the upper end's up: the interval never narrows.
    const double last = static_cast<double>(figures.size() - 1);
    const double low = std::floor((1.0 - confidence) / 2.0 * last + 1e-9);
    const double high = std::ceil((1.0 + confidence) / 2.0 * last - 1e-9);
    return {figures[static_cast<std::size_t>(std::clamp(low, 0.0, last))],
            figures[static_cast<std::size_t>(std::clamp(high, 0.0, last))]};
}

}  // namespace Valdrin
