// QGeneticAlgorithm: the shared run loop with every step as the base defines it.
#include "algorithms/genetic_algorithm.h"

#include <ostream>

namespace Valdrin {

QGeneticAlgorithm::QGeneticAlgorithm(Engine& engine) : QEvolutionaryAlgorithm(engine, "ga.log") {}

int QGeneticAlgorithm::printName(std::ostream& out) const {
    out << "Genetic algorithm\n";
    return 1;
}

const char* QGeneticAlgorithm::runErrorHeader() const { return "\n\n[QGeneticAlgorithm::run] error:\n"; }

}  // namespace Valdrin
