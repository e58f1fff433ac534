// QRunSummary: the result record of one run, filled by the algorithm and copied out by the
// driver after every run.
#pragma once

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "representation/individual.h"

namespace Valdrin {

// Entry g of a per-generation series, or 0 where nothing was recorded (as for generations a run
// did not reach).
inline double recordedValue(const std::vector<double>& values, int g) {
    return g >= 0 && static_cast<std::size_t>(g) < values.size() ? values[static_cast<std::size_t>(g)] : 0.0;
}

// Whether the outputs that keep every N-th generation keep generation g (0-based) of a run that
// reached `reached` generations: the first, every N-th counted from 1, and the last. every <= 1
// keeps them all.
inline bool keptGeneration(int g, int reached, int every) {
    return every <= 1 || g == 0 || (g + 1) % every == 0 || g + 1 == reached;
}

// One lowering of a run's best-so-far fitness: the evaluation that reached it (counted from 1 in
// the run, as evaluationsCount counts) and the fitness reached.
struct FitnessImprovement {
    int evaluation = 0;
    double fitness = 0.0;

    bool operator==(const FitnessImprovement&) const = default;
};

class QRunSummary {
public:
    int generationsDone = 0;
    int evaluationsCount = 0;
    std::vector<double> meanFitness;
    std::vector<double> fitnessVariance;
    std::vector<double> bestFitness;
    std::vector<double> worstFitness;
    std::vector<double> populationSizes;
    // Evaluations counted in the run up to the end of each generation's evaluation step.
    std::vector<int> evaluationsByGeneration;
    // Every evaluation that lowered the run's best-so-far fitness, in evaluation order: the
    // evaluations strictly increase and the fitness values strictly decrease. Grows only on an
    // improvement.
    std::vector<FitnessImprovement> improvements;
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
    // Notes the fitness of the evaluation just counted in evaluationsCount: an improvement when it
    // is strictly below the best so far, or the run's first fitness. A NaN is no fitness to
    // compare and never counts.
    void noteEvaluatedFitness(double fitness);
    // Grows the per-generation series so that generation g has an entry (new entries 0, and
    // populationSize for the population sizes). The series are grown generation by generation
    // as a run reaches them, never sized for the configured count up front: a run that stops
    // early holds no storage for the generations it did not reach.
    void reserveGeneration(int g, int populationSize);
};

// The best fitness a run found over all its evaluations (its last improvement), which the last
// generation's best may be far worse than.
struct BestSoFar {
    double fitness = std::numeric_limits<double>::quiet_NaN();  // NaN: no evaluation gave a fitness
    // The generation whose evaluation step counted it, numbered from 1 as generations.csv numbers
    // them; 0 with no fitness. The final population that a run evaluates once its generations are
    // over (the last generation's offspring) counts in the last generation the run recorded.
    int generation = 0;
    int evaluation = 0;  // the evaluation that found it, counted from 1 in the run; 0 with no fitness
};

// Read from the run's improvements and its evaluations by generation.
BestSoFar bestSoFar(const QRunSummary& run);

// The generations a run evaluated and recorded: those it completed and, for a run that stopped at
// its first solution, the one whose evaluation found it (recorded but not completed).
int generationsReached(const QRunSummary& run);

// The best (worst) fitness of the last generation a run evaluated and recorded, the generation
// whose row ends the run in generations.csv: for a run that stopped at its first solution, the
// generation that found it. 0 when the run recorded none.
double finalBest(const QRunSummary& run);
double finalWorst(const QRunSummary& run);

// How many runs a report covers: "1 run", "5 runs", or for an experiment interrupted before all
// the runs asked for finished (asked greater than finished), "3 of 8 runs (interrupted)".
std::string runsCovered(int finished, int asked);

}  // namespace Valdrin
