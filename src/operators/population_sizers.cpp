// The four population sizers and the Fibonacci step sequence.
#include "operators/population_sizers.h"

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
    const int next = previous + current;
    beforePrevious = previous;
    previous = current;
    current = next;
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

}  // namespace

int sizingHorizon(long long x) { return static_cast<int>(std::trunc(1.443 * std::log(bitsAsReal(x)))); }

int sizingLowerBound(long long x) {
    const int lower = 4 - 2 * static_cast<int>(std::trunc(-1.443 * std::log(bitsAsReal(x))));
    return lower < 10 ? 10 : lower;
}

// Constant sizer.

int QConstPopulationSizer::operate() {
    truncateTo(*population, _params->populationSize);
    return 1;
}

std::unique_ptr<QPopulationSizer> QConstPopulationSizer::clone() const {
    return std::make_unique<QConstPopulationSizer>(*this);
}

bool QConstPopulationSizer::isPopulationFull() const { return population->size() >= _params->populationSize; }

// Steady sizer.

int QSteadyPopulationSizer::setParameters(QEAParameters* params) {
    _params = params;
    step = params->sizingStep;
    direction = params->sizingDirection;
    targetSize = direction * step + params->populationSize;
    return 1;
}

int QSteadyPopulationSizer::operate() {
    truncateTo(*population, targetSize);
    targetSize += direction * step;
    if (targetSize < _params->minPopulationSize) {
        targetSize = _params->minPopulationSize;
    } else if (targetSize > _params->maxPopulationSize) {
        targetSize = _params->maxPopulationSize;
    }
    return 1;
}

std::unique_ptr<QPopulationSizer> QSteadyPopulationSizer::clone() const {
    return std::make_unique<QSteadyPopulationSizer>(*this);
}

bool QSteadyPopulationSizer::isPopulationFull() const { return population->size() >= targetSize; }

// Simple sizer.

int QSimplePopulationSizer::setParameters(QEAParameters* params) {
    _params = params;
    return reset();
}

int QSimplePopulationSizer::setRunStatistics(QRunSummary* runRecord) {
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

void QSimplePopulationSizer::truncate() { truncateTo(*population, targetSize); }

int QSimplePopulationSizer::operate() {
    truncate();
    int generation = 0;
    double best = 0.0;
    const bool known = readGeneration(generation, best);
    if (known && generation > sizingHorizon(chromosomeBits(*_params))) {
        direction = lastBest > best ? -1 : 1;
    } else {
        direction = 1;
    }
    targetSize += direction;
    if (targetSize < lowerBound) {
        targetSize = lowerBound;
    } else if (targetSize > _params->maxPopulationSize) {
        targetSize = _params->maxPopulationSize;
    }
    if (known) lastBest = best;
    return 1;
}

std::unique_ptr<QPopulationSizer> QSimplePopulationSizer::clone() const {
    return std::make_unique<QSimplePopulationSizer>(*this);
}

bool QSimplePopulationSizer::isPopulationFull() const { return population->size() >= targetSize; }

// Fibonacci sizer.

int QSimplePopulationSizerFibonacci::reset() {
    QSimplePopulationSizer::reset();
    sequence.reset();
    return 1;
}

int QSimplePopulationSizerFibonacci::operate() {
    truncate();
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
    const int term = sequence.current;
    const int stepSize = targetSize < 3 * term ? targetSize / 3 : term;
    targetSize += direction * stepSize;
    if (targetSize < lowerBound) {
        targetSize = lowerBound;
        sequence.reset();
    } else if (targetSize > _params->maxPopulationSize) {
        targetSize = _params->maxPopulationSize;
        sequence.reset();
    }
    if (known) lastBest = best;
    sequence.advance();
    return 1;
}

std::unique_ptr<QPopulationSizer> QSimplePopulationSizerFibonacci::clone() const {
    return std::make_unique<QSimplePopulationSizerFibonacci>(*this);
}

}  // namespace Valdrin
