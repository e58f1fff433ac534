// QGeneticAlgorithm: the run loop of the generational genetic algorithm.
#include "algorithms/genetic_algorithm.h"

#include <iostream>

#include "representation/population.h"

namespace Valdrin {

QGeneticAlgorithm::QGeneticAlgorithm() { log.open("ga.log", std::ios::out | std::ios::trunc); }

QGeneticAlgorithm::~QGeneticAlgorithm() {
    if (log.is_open()) log.close();
}

int QGeneticAlgorithm::setParameters(QEAParameters* params) {
    QEvolutionaryAlgorithm::setParameters(params);
    return 1;
}

int QGeneticAlgorithm::printName(std::ostream& out) const {
    out << "Genetic algorithm\n";
    return 1;
}

int QGeneticAlgorithm::reportStatistics(const std::vector<QRunSummary>& /*runs*/, std::ostream& /*out*/) { return 1; }

int QGeneticAlgorithm::run() {
    if (_params.generationsNumber < 1) {
        std::cerr << "\n\n[QGeneticAlgorithm::run] error:\n"
                  << "\tGenerations number is undefined! (_params.generationsNumber = " << _params.generationsNumber
                  << ")\n\n";
        return 0;
    }
    summary.clear();
    summary.startClock = processorClock();
    reset();
    log << "\nStarting a new run:\n" << "-------------------------------\n";

    for (int generation = 0; generation < _params.generationsNumber; ++generation) {
        const auto slot = static_cast<std::size_t>(summary.generationsDone);
        if (slot >= summary.populationSizes.size()) summary.populationSizes.resize(slot + 1, 0.0);
        summary.populationSizes[slot] = currentPopulation->size();
        evaluate();
        select();
        selectElite();
        recombine();
        mutate();
        replace();
        ++summary.generationsDone;
        if (summary.generationsDone % 10 == 0) std::cout << "." << std::flush;
    }

    summary.endClock = processorClock();
    summary.duration = static_cast<double>(summary.endClock - summary.startClock) / 1000.0;
    std::cout << "\n";
    finish();
    currentPopulation->print(log);
    log << "Run duration: " << summary.duration << " seconds\n";
    return 1;
}

std::unique_ptr<QEvolutionaryAlgorithm> QGeneticAlgorithm::clone() const {
    return std::make_unique<QGeneticAlgorithm>(*this);
}

}  // namespace Valdrin
