// Mean and unbiased variance, in the evaluation order the reports rely on.
#include "core/mean_variance.h"

#include <cstdint>

namespace Valdrin {

namespace {
template <typename Value>
std::pair<double, double> meanAndVarianceOf(const std::vector<Value>& values, std::size_t count) {
    double sum = 0.0;
    double sumOfSquares = 0.0;
    for (Value x : values) {
        const double v = static_cast<double>(x);
        sum += v;
        sumOfSquares += v * v;
    }
    const double n = static_cast<double>(count);
    const double mean = sum / n;
    const double variance = ((sumOfSquares / n - mean * mean) * n) / (n - 1);
    return {mean, variance};
}
}  // namespace

std::pair<double, double> meanAndVariance(const std::vector<double>& values) {
    return meanAndVarianceOf(values, values.size());
}

std::pair<double, double> meanAndVariance(const std::vector<int>& values) {
    return meanAndVarianceOf(values, values.size());
}

std::pair<double, double> meanAndVariance(const std::vector<double>& values, std::size_t count) {
    return meanAndVarianceOf(values, count);
}

}  // namespace Valdrin
