// Mean and unbiased variance (no square root) of a list of numbers.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace Valdrin {

// mean = sum / n; variance = ((sumOfSquares / n - mean * mean) * n) / (n - 1).
// One value gives 0 / 0, a NaN; no values give NaN for both.
std::pair<double, double> meanAndVariance(const std::vector<double>& values);
std::pair<double, double> meanAndVariance(const std::vector<int>& values);
// The same over count values: the given ones followed by zeros (count >= values.size()).
std::pair<double, double> meanAndVariance(const std::vector<double>& values, std::size_t count);

}  // namespace Valdrin
