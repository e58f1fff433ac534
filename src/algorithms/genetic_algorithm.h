// QGeneticAlgorithm: the plain generational genetic algorithm ("GA"), logging to "ga.log".
#pragma once

#include "algorithms/algorithm.h"

namespace Valdrin {

class QGeneticAlgorithm final : public QEvolutionaryAlgorithm {
public:
    explicit QGeneticAlgorithm(Engine& engine);
    int printName(std::ostream& out) const override;

protected:
    const char* runErrorHeader() const override;
};

}  // namespace Valdrin
