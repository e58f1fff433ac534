// Niching: fitness sharing and deterministic crowding.
#pragma once

#include "operators/operator.h"

namespace Valdrin {

class QFitnessSharing final : public QNichingOperator {
public:
    double sigma = 1.0;
    double alpha = 1.0;

    using QNichingOperator::QNichingOperator;
    ~QFitnessSharing() override;
    int operate() override;
    std::unique_ptr<QNichingOperator> clone() const override;
    int setAlpha(double value) { alpha = value; return 1; }
    double getAlpha() const { return alpha; }
    int setSigma(double value) { sigma = value; return 1; }
    double getSigma() const { return sigma; }

private:
    std::vector<long long> units_;   // sums of gene values, reused between calls
    std::vector<double> distances_;  // n x n, row i at i * n, reused between calls
};

// Each child competes with the more similar parent; the better of the two stays in the
// child's place. The crossover pairing step fills the four pointers before operate().
class QDeterministicCrowding final : public QNichingOperator {
public:
    QIndividual* parent0 = nullptr;
    QIndividual* parent1 = nullptr;
    QIndividual* child0 = nullptr;
    QIndividual* child1 = nullptr;

    using QNichingOperator::QNichingOperator;
    int operate() override;
    std::unique_ptr<QNichingOperator> clone() const override;
};

}  // namespace Valdrin
