// QGeneticAlgorithm: the plain generational genetic algorithm ("GA"), logging to "ga.log".
#pragma once

#include "algorithms/algorithm.h"

namespace Valdrin {

class QGeneticAlgorithm final : public QEvolutionaryAlgorithm {
public:
    QGeneticAlgorithm();
    // Same parameters and factory; fresh summary; the log is not opened.
    QGeneticAlgorithm(const QGeneticAlgorithm& other) = default;
    ~QGeneticAlgorithm() override;

    int setParameters(QEAParameters* params) override;
    int printName(std::ostream& out) const override;
    int reportStatistics(const std::vector<QRunSummary>& runs, std::ostream& out) override;
    // One complete run; 0 when the number of generations is not positive.
    int run() override;
    std::unique_ptr<QEvolutionaryAlgorithm> clone() const override;
};

}  // namespace Valdrin
