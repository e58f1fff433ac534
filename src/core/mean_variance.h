// Mean and unbiased variance (no square root) of a list of numbers.
#pragma once

#include <utility>
#include <vector>

namespace Valdrin {

// mean = sum / n; variance = ((sumOfSquares / n - mean * mean) * n) / (n - 1).
// One value gives 0 / 0, a NaN; no values give NaN for both.
std::pair<double, double> meanAndVariance(const std::vector<double>& values);
std::pair<double, double> meanAndVariance(const std::vector<int>& values);

}  // namespace Valdrin
