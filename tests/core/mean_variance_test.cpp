// Tests of the mean and unbiased variance shared by the algorithms and the reports.
#include "core/mean_variance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace Valdrin {
namespace {

TEST(MeanAndVariance, UnbiasedVarianceFromOneSumOfSquares) {
    EXPECT_EQ(meanAndVariance(std::vector<double>{1.0, 2.0, 3.0, 4.0}), std::make_pair(2.5, 5.0 / 3.0));

    // Large values with a small spread: the one-pass formula loses digits that a two-pass
    // computation keeps, and reports must repeat the one-pass value to the last digit.
    const std::vector<double> values{100000000.1, 100000000.2, 100000000.4};
    double sum = 0.0, sumOfSquares = 0.0, twoPass = 0.0;
    for (double x : values) {
        sum += x;
        sumOfSquares += x * x;
    }
    const double mean = sum / 3.0;
    for (double x : values) twoPass += (x - mean) * (x - mean) / 2.0;
    const double onePass = ((sumOfSquares / 3.0 - mean * mean) * 3.0) / 2.0;
    ASSERT_NE(onePass, twoPass);
    EXPECT_EQ(meanAndVariance(values), std::make_pair(mean, onePass));
}

TEST(MeanAndVariance, FewValuesGiveNaNAndIntegersDoNotOverflow) {
    const auto [mean, variance] = meanAndVariance(std::vector<int>{12});
    EXPECT_EQ(mean, 12.0);
    EXPECT_TRUE(std::isnan(variance));
    const auto [emptyMean, emptyVariance] = meanAndVariance(std::vector<double>{});
    EXPECT_TRUE(std::isnan(emptyMean) && std::isnan(emptyVariance));

    // 60000 squared does not fit 32 bits.
    EXPECT_EQ(meanAndVariance(std::vector<int>{60000, 60001, 60002, -3}),
              meanAndVariance(std::vector<double>{60000.0, 60001.0, 60002.0, -3.0}));
    EXPECT_NEAR(meanAndVariance(std::vector<int>{60000, 60001, 60002}).second, 1.0, 1e-6);
}

}  // namespace
}  // namespace Valdrin
