// QOperator and the seven operator family bases: mutation, crossover, initializer, niching,
// parent selector, population sizer and selection. Operators borrow everything they bind.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "core/parameters.h"
#include "representation/population.h"

namespace Valdrin {

class QEvolutionaryAlgorithm;
class QRunSummary;

class QOperator {
public:
    QEAParameters* _params = nullptr;        // not owned
    QEvolutionaryAlgorithm* owner = nullptr; // not owned

    explicit QOperator(QEvolutionaryAlgorithm* ownerAlgorithm = nullptr) : owner(ownerAlgorithm) {}
    virtual ~QOperator() = default;
    virtual int operate() = 0;
    virtual int setParameters(QEAParameters* params) {
        _params = params;
        return 1;
    }

protected:
    QOperator(const QOperator&) = default;
    QOperator& operator=(const QOperator&) = default;
};

class QMutationOperator : public QOperator {
public:
    QIndividual* individual = nullptr;  // the individual the next operate() mutates

    using QOperator::QOperator;
    virtual int setIndividual(QIndividual* target) {
        individual = target;
        return 1;
    }
    virtual int getEncoding() const = 0;
    virtual std::unique_ptr<QMutationOperator> clone() const = 0;
};

class QParentSelector : public QOperator {
public:
    QPopulation* population = nullptr;  // the parent population

    using QOperator::QOperator;
    int operate() override { return 0; }
    virtual int setPopulation(QPopulation* parents) {
        population = parents;
        return 1;
    }
    // One individual of the parent population (not a copy).
    virtual QIndividual* selectParent() = 0;
    virtual std::unique_ptr<QParentSelector> clone() const = 0;
};

using ParentPair = std::array<QIndividual*, 2>;
using ChildPair = std::array<QIndividual*, 2>;

class QCrossoverOperator : public QOperator {
public:
    QParentSelector* parentSelector = nullptr;
    QPopulation* offspringPopulation = nullptr;

    using QOperator::QOperator;
    // Also refuses a record with fewer than two children per pairing.
    int setParameters(QEAParameters* params) override;
    // The shared pairing step: one pair of children appended to the offspring population.
    int operate() override;
    // Writes the children's genes from the parents' genes.
    virtual int cross(const ParentPair& parents, const ChildPair& children) = 0;
    virtual int setParentSelector(QParentSelector* selector) {
        parentSelector = selector;
        return 1;
    }
    virtual int setPopulations(QPopulation* parents, QPopulation* offspring);
    virtual int getEncoding() const = 0;
    virtual std::unique_ptr<QCrossoverOperator> clone() const = 0;

protected:
    // Ends the run (as operation where) when a chromosome holds fewer genes than the crossover
    // visits, or when fewer than two cut positions leave nothing to redraw to.
    static void requireGenes(const char* where, int genes, int needed);
    static void requireGenes(const char* where, const ParentPair& parents, const ChildPair& children, int needed);
    static void requireCuts(const char* where, long long positions, const char* counted);
};

class QInitializer : public QOperator {
public:
    QPopulation* population = nullptr;

    using QOperator::QOperator;
    virtual int initRandom() = 0;
    virtual int initUnmixed() = 0;
    virtual std::unique_ptr<QInitializer> clone() const = 0;
    virtual int getEncoding() const = 0;
    virtual int setPopulation(QPopulation* target) {
        population = target;
        return 1;
    }
};

class QNichingOperator : public QOperator {
public:
    QPopulation* population = nullptr;

    using QOperator::QOperator;
    // Numbers every individual whose nicheNumber is 0: 1, 2, 3, ... in population order.
    virtual int assignNiches();
    // n x n distances between the bound population's individuals (0.0 on the diagonal).
    virtual int computeDistanceMatrix(std::vector<std::vector<double>>& matrix);
    virtual int setPopulation(QPopulation* target) {
        population = target;
        return 1;
    }
    virtual std::unique_ptr<QNichingOperator> clone() const = 0;
};

class QPopulationSizer : public QOperator {
public:
    QPopulation* population = nullptr;

    using QOperator::QOperator;
    virtual int setPopulation(QPopulation* target) {
        population = target;
        return 1;
    }
    virtual std::unique_ptr<QPopulationSizer> clone() const = 0;
    virtual bool isPopulationFull() const = 0;
    // Used by the simple sizers only; the others accept and ignore them.
    virtual int setRunStatistics(QRunSummary* /*runRecord*/) { return 1; }
    virtual int reset() { return 1; }
};

class QSelection : public QOperator {
public:
    QPopulation* source = nullptr;
    QPopulation* destination = nullptr;

    using QOperator::QOperator;
    virtual std::unique_ptr<QSelection> clone() const = 0;
    virtual int setPopulations(QPopulation* from, QPopulation* to) {
        source = from;
        destination = to;
        return 1;
    }
};

}  // namespace Valdrin
