// Niching: fitness sharing and deterministic crowding.
#pragma once

#include "operators/operator.h"

namespace Valdrin {

class QFitnessSharing final : public QNichingOperator {
public:
    double sigma = 1.0;
    double alpha = 1.0;

    ~QFitnessSharing() override;
    // Also takes the niche radius sigma from the record.
    int setParameters(const QEAParameters& params) override;
    // Divides every individual's fitness by its niche count.
    int share(QPopulation& population);
    std::unique_ptr<QNichingOperator> clone() const override;
    int setAlpha(double value) { alpha = value; return 1; }
    double getAlpha() const { return alpha; }
    int setSigma(double value) { sigma = value; return 1; }
    double getSigma() const { return sigma; }

private:
    // Working memory, in proportion to the population and reused between calls.
    std::vector<long long> units_;  // sums of gene values
    std::vector<double> counts_;    // niche counts
};

class QProblem;

// Each child, mutated and evaluated, competes with the more similar parent; the better of the
// two stays in the child's place.
class QDeterministicCrowding final : public QNichingOperator {
public:
    int compete(const ParentPair& parents, const ChildPair& children, QMutationOperator& mutation,
                QProblem& problem) const;
    std::unique_ptr<QNichingOperator> clone() const override;
};

}  // namespace Valdrin
