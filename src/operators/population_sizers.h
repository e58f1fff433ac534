// Population sizers: when the offspring population is complete, and the next generation's size.
#pragma once

#include "operators/operator.h"

// Fibonacci steps 1, 1, 2, 3, 5, ... for the Fibonacci sizer; restarts with reset().
class QFibonacciSequence {
public:
    int beforePrevious = 1;
    int previous = 1;
    int current = 1;
    int advances = 1;

    virtual ~QFibonacciSequence() = default;
    void reset();
    // The first advance after a reset keeps the current term, so the sequence repeats its 1.
    void advance();
};

namespace Valdrin {

// trunc(1.443 * ln x): the number of generations during which the simple sizers only grow.
int sizingHorizon(long long x);
// 4 - 2 * trunc(-1.443 * ln x), raised to 10: the simple sizers' smallest population.
int sizingLowerBound(long long x);

class QConstPopulationSizer final : public QPopulationSizer {
public:
    int resize(QPopulation& offspring) override;
    std::unique_ptr<QPopulationSizer> clone() const override;
    bool isPopulationFull(const QPopulation& offspring) const override;
};

// Moves the target by a fixed step every generation, within the configured bounds.
class QSteadyPopulationSizer final : public QPopulationSizer {
public:
    int targetSize = 0;
    int direction = 0;
    int step = 1;

    int resize(QPopulation& offspring) override;
    int setParameters(const QEAParameters& params) override;
    std::unique_ptr<QPopulationSizer> clone() const override;
    bool isPopulationFull(const QPopulation& offspring) const override;
    void saveState(StateWriter& out) const override;
    void restoreState(StateReader& in) override;
};

// Grows by one while the search does not improve (and during the first generations of a run),
// shrinks by one while it improves.
class QSimplePopulationSizer : public QPopulationSizer {
public:
    int targetSize = 0;
    int direction = 0;
    int lowerBound = 10;
    double lastBest = 0.0;
    const QRunSummary* runStatistics = nullptr;  // not owned

    int resize(QPopulation& offspring) override;
    int setParameters(const QEAParameters& params) override;
    std::unique_ptr<QPopulationSizer> clone() const override;
    bool isPopulationFull(const QPopulation& offspring) const override;
    int setRunStatistics(const QRunSummary* runRecord) override;
    int reset() override;
    void saveState(StateWriter& out) const override;
    void restoreState(StateReader& in) override;

protected:
    // The current generation and its best fitness from the run record; false when no record
    // is bound or it holds no value for the generation (the sizer then only grows).
    bool readGeneration(int& generation, double& best) const;
    void truncate(QPopulation& offspring);
};

// As the simple sizer, with Fibonacci steps that restart on every change of direction.
class QSimplePopulationSizerFibonacci final : public QSimplePopulationSizer {
public:
    QFibonacciSequence sequence;

    int resize(QPopulation& offspring) override;
    std::unique_ptr<QPopulationSizer> clone() const override;
    int reset() override;
    void saveState(StateWriter& out) const override;
    void restoreState(StateReader& in) override;
};

}  // namespace Valdrin
