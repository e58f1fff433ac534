// QRunSummary: copying with owned individuals and clearing between runs.
#include "statistics/run_summary.h"

#include <algorithm>
#include <cmath>

namespace Valdrin {

namespace {
std::unique_ptr<QIndividual> cloneOrNone(const std::unique_ptr<QIndividual>& individual) {
    return individual ? individual->clone() : nullptr;
}
}  // namespace

QRunSummary::QRunSummary(const QRunSummary& other)
    : generationsDone(other.generationsDone),
      evaluationsCount(other.evaluationsCount),
      meanFitness(other.meanFitness),
      fitnessVariance(other.fitnessVariance),
      bestFitness(other.bestFitness),
      worstFitness(other.worstFitness),
      populationSizes(other.populationSizes),
      evaluationsByGeneration(other.evaluationsByGeneration),
      improvements(other.improvements),
      startClock(other.startClock),
      endClock(other.endClock),
      hitClock(other.hitClock),
      duration(other.duration),
      timeToSolution(other.timeToSolution),
      evaluationsToSolution(other.evaluationsToSolution),
      generationOfSolution(other.generationOfSolution),
      convergenceGeneration(other.convergenceGeneration),
      bestIndividual(cloneOrNone(other.bestIndividual)),
      solutionIndividual(cloneOrNone(other.solutionIndividual)) {}

QRunSummary& QRunSummary::operator=(const QRunSummary& other) {
    // Destroying the target's individuals first would destroy the source on self-assignment.
    if (this == &other) return *this;
    bestIndividual.reset();
    solutionIndividual.reset();
    generationsDone = other.generationsDone;
    evaluationsCount = other.evaluationsCount;
    meanFitness = other.meanFitness;
    fitnessVariance = other.fitnessVariance;
    bestFitness = other.bestFitness;
    worstFitness = other.worstFitness;
    populationSizes = other.populationSizes;
    evaluationsByGeneration = other.evaluationsByGeneration;
    improvements = other.improvements;
    startClock = other.startClock;
    endClock = other.endClock;
    hitClock = other.hitClock;
    duration = other.duration;
    timeToSolution = other.timeToSolution;
    evaluationsToSolution = other.evaluationsToSolution;
    generationOfSolution = other.generationOfSolution;
    convergenceGeneration = other.convergenceGeneration;
    bestIndividual = cloneOrNone(other.bestIndividual);
    solutionIndividual = cloneOrNone(other.solutionIndividual);
    return *this;
}

int QRunSummary::clear() {
    generationsDone = 0;
    evaluationsCount = 0;
    startClock = 0;
    endClock = 0;
    hitClock = 0;
    duration = 0.0;
    timeToSolution = 0.0;
    evaluationsToSolution = 0;
    generationOfSolution = 0;
    convergenceGeneration = 0;
    meanFitness.clear();
    fitnessVariance.clear();
    bestFitness.clear();
    worstFitness.clear();
    populationSizes.clear();
    evaluationsByGeneration.clear();
    improvements.clear();
    bestIndividual.reset();
    solutionIndividual.reset();
    return 1;
}

void QRunSummary::noteEvaluatedFitness(double fitness) {
    if (std::isnan(fitness)) return;
    if (improvements.empty() || fitness < improvements.back().fitness) {
        improvements.push_back({evaluationsCount, fitness});
    }
}

void QRunSummary::reserveGeneration(int g, int populationSize) {
    const auto needed = static_cast<std::size_t>(g) + 1;
    for (std::vector<double>* values : {&meanFitness, &fitnessVariance, &bestFitness, &worstFitness}) {
        if (values->size() < needed) values->resize(needed, 0.0);
    }
    if (populationSizes.size() < needed) populationSizes.resize(needed, populationSize);
    if (evaluationsByGeneration.size() < needed) evaluationsByGeneration.resize(needed, 0);
}

BestSoFar bestSoFar(const QRunSummary& run) {
    BestSoFar best;
    if (run.improvements.empty()) return best;
    best.fitness = run.improvements.back().fitness;
    best.evaluation = run.improvements.back().evaluation;
    // The first generation whose evaluation step had counted that many evaluations; after the
    // last one (the final population), the last one.
    const std::vector<int>& counts = run.evaluationsByGeneration;
    if (counts.empty()) return best;
    const auto found = std::lower_bound(counts.begin(), counts.end(), best.evaluation);
    best.generation = static_cast<int>(std::min(found, counts.end() - 1) - counts.begin()) + 1;
    return best;
}

std::string runsCovered(int finished, int asked) {
    std::string text = std::to_string(finished);
    if (asked > finished) text += " of " + std::to_string(asked);
    text += finished == 1 && asked <= finished ? " run" : " runs";
    if (asked > finished) text += " (interrupted)";
    return text;
}

int generationsReached(const QRunSummary& run) {
    const int done = run.generationsDone > 0 ? run.generationsDone : 0;
    return static_cast<std::size_t>(done) < run.evaluationsByGeneration.size() ? done + 1 : done;
}

double finalBest(const QRunSummary& run) { return recordedValue(run.bestFitness, std::max(generationsReached(run) - 1, 0)); }

double finalWorst(const QRunSummary& run) { return recordedValue(run.worstFitness, std::max(generationsReached(run) - 1, 0)); }

}  // namespace Valdrin
