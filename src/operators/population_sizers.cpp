// The four population sizers and the Fibonacci step sequence.
#include "operators/population_sizers.h"

#include <climits>
#include <cmath>

#include "statistics/run_summary.h"

void QFibonacciSequence::reset() {
    beforePrevious = 1;
    previous = 1;
    current = 1;
    advances = 1;
}

void QFibonacciSequence::advance() {
    if (advances < 2) {
        ++advances;
        return;
    }
    ++advances;
    // A long run without a reset would pass the int range; the term then stays at its limit.
    const long long next = static_cast<long long>(previous) + current;
    beforePrevious = previous;
    previous = current;
    current = next > INT_MAX ? INT_MAX : static_cast<int>(next);
}

namespace Valdrin {

namespace {

// The chromosome's bit count as the sizers see it; products below 1 (a chromosome without
// bits) are read as 1, where the logarithm is 0, instead of taking the logarithm of 0.
double bitsAsReal(long long x) { return x < 1 ? 1.0 : static_cast<double>(x); }

long long chromosomeBits(const QEAParameters& params) {
    return static_cast<long long>(params.chromosomeLength) * params.geneSize;
}

// Truncation shared by every sizer: the first target individuals stay.
void truncateTo(QPopulation& population, int target) {
    if (target < 0) target = 0;
    if (population.size() > target) population.deleteIndividuals(target, population.size() - target);
}

// Targets are worked out in 64 bits so that configured sizes and steps near the int limits
// cannot overflow; the bounds then bring the result back (lower bound first).
int boundedTarget(long long target, int lower, int upper) {
    if (target < lower) return lower;
    if (target > upper) return upper;
    return static_cast<int>(target);
}

}  // namespace

int sizingHorizon(long long x) { return static_cast<int>(std::trunc(1.443 * std::log(bitsAsReal(x)))); }

int sizingLowerBound(long long x) {
    const int lower = 4 - 2 * static_cast<int>(std::trunc(-1.443 * std::log(bitsAsReal(x))));
    return lower < 10 ? 10 : lower;
}

// Constant sizer.

int QConstPopulationSizer::resize(QPopulation& offspring) {
    truncateTo(offspring, _params->populationSize);
    return 1;
}

std::unique_ptr<QPopulationSizer> QConstPopulationSizer::clone() const {
    return std::make_unique<QConstPopulationSizer>(*this);
}

bool QConstPopulationSizer::isPopulationFull(const QPopulation& offspring) const { return offspring.size() >= _params->populationSize; }

// Steady sizer.

int QSteadyPopulationSizer::setParameters(const QEAParameters& params) {
    _params = &params;
    step = params.sizingStep;
    direction = params.sizingDirection;
    // Not bounded by the minimum and maximum sizes, only kept within the int range.
    targetSize = boundedTarget(static_cast<long long>(direction) * step + params.populationSize, INT_MIN, INT_MAX);
    return 1;
}

int QSteadyPopulationSizer::resize(QPopulation& offspring) {
    truncateTo(offspring, targetSize);
    targetSize = boundedTarget(targetSize + static_cast<long long>(direction) * step, _params->minPopulationSize,
                               _params->maxPopulationSize);
    return 1;
}

std::unique_ptr<QPopulationSizer> QSteadyPopulationSizer::clone() const {
    return std::make_unique<QSteadyPopulationSizer>(*this);
}

bool QSteadyPopulationSizer::isPopulationFull(const QPopulation& offspring) const { return offspring.size() >= targetSize; }

// Simple sizer.

int QSimplePopulationSizer::setParameters(const QEAParameters& params) {
    _params = &params;
    return reset();
}

int QSimplePopulationSizer::setRunStatistics(const QRunSummary* runRecord) {
    runStatistics = runRecord;
    return 1;
}

int QSimplePopulationSizer::reset() {
    targetSize = _params->populationSize;
    lastBest = 0.0;
    direction = 0;
    lowerBound = sizingLowerBound(chromosomeBits(*_params));
    if (targetSize < lowerBound) targetSize = lowerBound;
    return 1;
}

bool QSimplePopulationSizer::readGeneration(int& generation, double& best) const {
    if (runStatistics == nullptr) return false;
    generation = runStatistics->generationsDone;
    if (generation < 0 || generation >= static_cast<int>(runStatistics->bestFitness.size())) return false;
    best = runStatistics->bestFitness[static_cast<std::size_t>(generation)];
    return true;
}

void QSimplePopulationSizer::truncate(QPopulation& offspring) { truncateTo(offspring, targetSize); }

int QSimplePopulationSizer::resize(QPopulation& offspring) {
    truncate(offspring);
    int generation = 0;
    double best = 0.0;
    const bool known = readGeneration(generation, best);
    if (known && generation > sizingHorizon(chromosomeBits(*_params))) {
        direction = lastBest > best ? -1 : 1;
    } else {
        direction = 1;
    }
    targetSize = boundedTarget(static_cast<long long>(targetSize) + direction, lowerBound, _params->maxPopulationSize);
    if (known) lastBest = best;
    return 1;
}

std::unique_ptr<QPopulationSizer> QSimplePopulationSizer::clone() const {
    return std::make_unique<QSimplePopulationSizer>(*this);
}

bool QSimplePopulationSizer::isPopulationFull(const QPopulation& offspring) const { return offspring.size() >= targetSize; }

// Fibonacci sizer.

int QSimplePopulationSizerFibonacci::reset() {
    QSimplePopulationSizer::reset();
    sequence.reset();
    return 1;
}

int QSimplePopulationSizerFibonacci::resize(QPopulation& offspring) {
    truncate(offspring);
    int generation = 0;
    double best = 0.0;
    const bool known = readGeneration(generation, best);
    if (known && generation > sizingHorizon(chromosomeBits(*_params))) {
        if (lastBest > best) {
            if (direction == 1) sequence.reset();
            direction = -1;
        } else {
            if (direction == -1) sequence.reset();
            direction = 1;
        }
    } else {
        direction = 1;
    }
    const long long term = sequence.current;
    const long long stepSize = targetSize < 3 * term ? targetSize / 3 : term;
    const long long next = targetSize + direction * stepSize;
    const bool bounded = next < lowerBound || next > _params->maxPopulationSize;
    targetSize = boundedTarget(next, lowerBound, _params->maxPopulationSize);
    if (bounded) sequence.reset();
    if (known) lastBest = best;
    sequence.advance();
    return 1;
}

std::unique_ptr<QPopulationSizer> QSimplePopulationSizerFibonacci::clone() const {
    return std::make_unique<QSimplePopulationSizerFibonacci>(*this);
}

}  // namespace Valdrin
