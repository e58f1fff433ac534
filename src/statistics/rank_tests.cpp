// The rank tests and the effect size.
#include "statistics/rank_tests.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/normal.hpp>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace Valdrin {

namespace {

std::vector<double> joined(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> both(a);
    both.insert(both.end(), b.begin(), b.end());
    return both;
}

double rankSum(const std::vector<double>& ranks, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) sum += ranks[i];
    return sum;
}

// The counts of the arrangements of m + n ranks (no ties) by their U, for U from 0 to m n: the
// coefficients of the Gaussian binomial [m + n, m], built one value of the smaller sample at a time.
std::vector<double> arrangementsByU(int m, int n) {
    if (m > n) std::swap(m, n);
    // counts[j][k]: arrangements of i values of one sample and j of the other with U = k.
    std::vector<std::vector<double>> counts(static_cast<std::size_t>(n) + 1);
    for (auto& row : counts) row.assign(1, 1.0);  // i = 0: one arrangement, U = 0
    for (int i = 1; i <= m; ++i) {
        std::vector<std::vector<double>> next(static_cast<std::size_t>(n) + 1);
        next[0].assign(1, 1.0);
        for (int j = 1; j <= n; ++j) {
            // The largest of the i + j values is from the first sample (it is above all j of the
            // second: U grows by j) or from the second (U unchanged).
            const std::vector<double>& withFirst = counts[static_cast<std::size_t>(j)];
            const std::vector<double>& withSecond = next[static_cast<std::size_t>(j) - 1];
            std::vector<double>& row = next[static_cast<std::size_t>(j)];
            row.assign(static_cast<std::size_t>(i) * static_cast<std::size_t>(j) + 1, 0.0);
            for (std::size_t k = 0; k < withSecond.size(); ++k) row[k] += withSecond[k];
            for (std::size_t k = 0; k < withFirst.size(); ++k) row[k + static_cast<std::size_t>(j)] += withFirst[k];
        }
        counts = std::move(next);
    }
    return counts[static_cast<std::size_t>(n)];
}

}  // namespace

std::vector<double> averageRanks(const std::vector<double>& values) {
    std::vector<std::size_t> order(values.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&values](std::size_t a, std::size_t b) { return values[a] < values[b]; });
    std::vector<double> ranks(values.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i + 1;
        while (j < order.size() && values[order[j]] == values[order[i]]) ++j;
        const double shared = (static_cast<double>(i + 1) + static_cast<double>(j)) / 2.0;
        for (std::size_t t = i; t < j; ++t) ranks[order[t]] = shared;
        i = j;
    }
    return ranks;
}

double tieTerm(const std::vector<double>& values) {
    std::vector<double> sorted(values);
    std::sort(sorted.begin(), sorted.end());
    double term = 0.0;
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i + 1;
        while (j < sorted.size() && sorted[j] == sorted[i]) ++j;
        const double t = static_cast<double>(j - i);
        term += t * t * t - t;
        i = j;
    }
    return term;
}

double mannWhitneyLowerTail(int m, int n, long long k) {
    if (k < 0) return 0.0;
    const std::vector<double> counts = arrangementsByU(m, n);
    double within = 0.0;
    double total = 0.0;
    for (std::size_t u = 0; u < counts.size(); ++u) {
        if (static_cast<long long>(u) <= k) within += counts[u];
        total += counts[u];
    }
    return within / total;
}

MannWhitneyResult mannWhitney(const std::vector<double>& a, const std::vector<double>& b) {
    const std::vector<double> both = joined(a, b);
    const std::vector<double> ranks = averageRanks(both);
    const double na = static_cast<double>(a.size());
    const double nb = static_cast<double>(b.size());
    MannWhitneyResult result;
    result.u = rankSum(ranks, 0, a.size()) - na * (na + 1.0) / 2.0;
    const double larger = std::max(result.u, na * nb - result.u);
    const double ties = tieTerm(both);
    result.exact = (a.size() <= 8 || b.size() <= 8) && ties == 0.0;
    double p = 0.0;
    if (result.exact) {
        // P(U >= larger) by symmetry is P(U <= m n - larger).
        const long long k = static_cast<long long>(std::llround(na * nb - larger));
        p = 2.0 * mannWhitneyLowerTail(static_cast<int>(a.size()), static_cast<int>(b.size()), k);
    } else {
        const double n = na + nb;
        const double spread = std::sqrt(na * nb / 12.0 * ((n + 1.0) - ties / (n * (n - 1.0))));
        const double numerator = larger - na * nb / 2.0 - 0.5;
        if (spread > 0.0 && std::isfinite(spread)) {
            const double z = numerator / spread;
            p = 2.0 * boost::math::cdf(boost::math::complement(boost::math::normal(), z));
        } else {
            // No spread: every value tied (the continuity correction leaves the numerator negative).
            p = numerator > 0.0 ? 0.0 : 2.0;
        }
    }
    result.pValue = std::clamp(p, 0.0, 1.0);
    return result;
}

KruskalWallisResult kruskalWallis(const std::vector<std::vector<double>>& groups) {
    std::vector<double> every;
    for (const std::vector<double>& group : groups) every.insert(every.end(), group.begin(), group.end());
    const std::vector<double> ranks = averageRanks(every);
    const double n = static_cast<double>(every.size());
    const double correction = 1.0 - tieTerm(every) / (n * n * n - n);
    KruskalWallisResult result;
    if (groups.size() < 2 || !(correction > 0.0)) return result;
    double weighted = 0.0;
    std::size_t from = 0;
    for (const std::vector<double>& group : groups) {
        const double sum = rankSum(ranks, from, from + group.size());
        weighted += sum * sum / static_cast<double>(group.size());
        from += group.size();
    }
    result.h = (12.0 / (n * (n + 1.0)) * weighted - 3.0 * (n + 1.0)) / correction;
    const boost::math::chi_squared distribution(static_cast<double>(groups.size() - 1));
    result.pValue = result.h <= 0.0 ? 1.0 : boost::math::cdf(boost::math::complement(distribution, result.h));
    return result;
}

std::vector<double> holmAdjusted(const std::vector<double>& pValues) {
    std::vector<std::size_t> order(pValues.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&pValues](std::size_t a, std::size_t b) { return pValues[a] < pValues[b]; });
    std::vector<double> adjusted(pValues.size());
    double floor = 0.0;
    const double m = static_cast<double>(pValues.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        floor = std::max(floor, std::min(1.0, (m - static_cast<double>(i)) * pValues[order[i]]));
        adjusted[order[i]] = floor;
    }
    return adjusted;
}

double varghaDelaneyA12(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.empty() || b.empty()) return 0.5;
    const std::vector<double> ranks = averageRanks(joined(a, b));
    const double na = static_cast<double>(a.size());
    const double nb = static_cast<double>(b.size());
    const double u = rankSum(ranks, 0, a.size()) - na * (na + 1.0) / 2.0;  // a above b, ties half
    return 1.0 - u / (na * nb);
}

std::string a12Magnitude(double a12) {
    const double distance = std::max(a12, 1.0 - a12);
    if (distance < 0.56) return "negligible";
    if (distance < 0.64) return "small";
    if (distance < 0.71) return "medium";
    return "large";
}

FriedmanResult friedman(const std::vector<std::vector<double>>& blocks) {
    FriedmanResult result;
    if (blocks.empty() || blocks.front().size() < 2) return result;
    const std::size_t k = blocks.front().size();
    const double n = static_cast<double>(blocks.size());
    const double treatments = static_cast<double>(k);
    std::vector<double> rankSums(k, 0.0);
    double ties = 0.0;
    for (const std::vector<double>& block : blocks) {
        const std::vector<double> ranks = averageRanks(block);
        for (std::size_t j = 0; j < k; ++j) rankSums[j] += ranks[j];
        ties += tieTerm(block);
    }
    for (double sum : rankSums) result.meanRanks.push_back(sum / n);
    double squares = 0.0;
    for (double sum : rankSums) squares += sum * sum;
    const double correction = 1.0 - ties / (treatments * (treatments * treatments - 1.0) * n);
    if (!(correction > 0.0)) return result;
    result.chiSquare =
        (12.0 / (treatments * n * (treatments + 1.0)) * squares - 3.0 * n * (treatments + 1.0)) / correction;
    const boost::math::chi_squared distribution(treatments - 1.0);
    result.pValue = result.chiSquare <= 0.0 ? 1.0 : boost::math::cdf(boost::math::complement(distribution, result.chiSquare));
    return result;
}

double studentizedRangeCdf(double q, int k) {
    if (!(q > 0.0) || k < 2) return 0.0;
    // k times the integral over z of phi(z) (Phi(z) - Phi(z - q))^(k - 1): the lowest of the k
    // values at z, the others within q above it. Simpson's rule over [-9, 9 + q].
    const auto normalCdf = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
    const auto integrand = [&](double z) {
        const double density = std::exp(-0.5 * z * z) / std::sqrt(2.0 * std::numbers::pi);
        return density * std::pow(normalCdf(z + q) - normalCdf(z), k - 1);
    };
    const int intervals = 4000;
    const double from = -9.0;
    const double to = 9.0;
    const double step = (to - from) / intervals;
    double sum = integrand(from) + integrand(to);
    for (int i = 1; i < intervals; ++i) sum += (i % 2 == 1 ? 4.0 : 2.0) * integrand(from + i * step);
    return std::min(1.0, static_cast<double>(k) * sum * step / 3.0);
}

double studentizedRangeQuantile(double p, int k) {
    double low = 0.0;
    double high = 20.0;
    for (int i = 0; i < 60; ++i) {
        const double middle = (low + high) / 2.0;
        (studentizedRangeCdf(middle, k) < p ? low : high) = middle;
    }
    return (low + high) / 2.0;
}

double nemenyiCriticalDifference(int k, int blocks, double alpha) {
    const double q = studentizedRangeQuantile(1.0 - alpha, k) / std::sqrt(2.0);
    return q * std::sqrt(static_cast<double>(k) * (k + 1) / (6.0 * blocks));
}

}  // namespace Valdrin
