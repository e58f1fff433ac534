// QRunSummary: the result record of one run, filled by the algorithm and copied out by the
// driver after every run.
#pragma once

#include <memory>
#include <vector>

#include "representation/individual.h"

namespace Valdrin {

// Processor time used by the process, in milliseconds.
long processorClock();

// Entry g of a per-generation series, or 0 where nothing was recorded (as for generations a run
// did not reach).
inline double recordedValue(const std::vector<double>& values, int g) {
    return g >= 0 && static_cast<std::size_t>(g) < values.size() ? values[static_cast<std::size_t>(g)] : 0.0;
}

class QRunSummary {
public:
    int generationsDone = 0;
    int evaluationsCount = 0;
    std::vector<double> meanFitness;
    std::vector<double> fitnessVariance;
    std::vector<double> bestFitness;
    std::vector<double> worstFitness;
    std::vector<double> populationSizes;
    long startClock = 0;
    long endClock = 0;
    long hitClock = 0;
    double duration = 0.0;
    double timeToSolution = 0.0;
    int evaluationsToSolution = 0;  // 0: no solution met in the run
    int generationOfSolution = 0;
    int convergenceGeneration = 0;  // 1-based; 0: no convergence
    std::unique_ptr<QIndividual> bestIndividual;      // owned copy, may be absent
    std::unique_ptr<QIndividual> solutionIndividual;  // owned copy, may be absent

    QRunSummary() = default;
    QRunSummary(const QRunSummary& other);
    QRunSummary& operator=(const QRunSummary& other);
    QRunSummary(QRunSummary&&) noexcept = default;
    QRunSummary& operator=(QRunSummary&&) noexcept = default;
    ~QRunSummary() = default;

    // Zeroes counters and scalars, empties the vectors, destroys both individuals.
    int clear();
    // Grows the per-generation series so that generation g has an entry (new entries 0, and
    // populationSize for the population sizes). The series are grown generation by generation
    // as a run reaches them, never sized for the configured count up front: a run that stops
    // early holds no storage for the generations it did not reach.
    void reserveGeneration(int g, int populationSize);
};

}  // namespace Valdrin
