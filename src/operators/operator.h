// QOperator and the seven operator family bases: mutation, crossover, initializer, niching,
// parent selector, population sizer and selection. An operator reads the parameter record it is
// bound to, draws from the generator of the experiment's engine it is bound to, and works on what
// it is handed: it keeps no pointer to populations, individuals or the algorithm that uses it.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "core/engine.h"
#include "core/parameters.h"
#include "representation/population.h"

namespace Valdrin {

class QRunSummary;
class StateReader;
class StateWriter;

class QOperator {
public:
    virtual ~QOperator() = default;
    // Binds the record the operator reads (it must outlive the operator's work) and refuses
    // records the operator cannot work with.
    virtual int setParameters(const QEAParameters& params) {
        _params = &params;
        return 1;
    }
    const QEAParameters* parameters() const { return _params; }
    // Binds the engine whose generator the operator draws from and whose streams its messages
    // go to (it must outlive the operator's work). A clone is bound to the same engine.
    void useEngine(Engine& engine) { engine_ = &engine; }

protected:
    QOperator() = default;
    QOperator(const QOperator&) = default;
    QOperator& operator=(const QOperator&) = default;

    Engine& engine() const { return *engine_; }
    Random& random() const { return engine_->random; }

    const QEAParameters* _params = nullptr;  // not owned
    Engine* engine_ = nullptr;               // not owned
};

class QMutationOperator : public QOperator {
public:
    // Mutates the individual in place.
    virtual int mutate(QIndividual& individual) = 0;
    virtual Encoding getEncoding() const = 0;
    virtual std::unique_ptr<QMutationOperator> clone() const = 0;
};

class QParentSelector : public QOperator {
public:
    // One individual of the parent population (not a copy).
    virtual QIndividual* selectParent(const QPopulation& parents) = 0;
    virtual std::unique_ptr<QParentSelector> clone() const = 0;
};

using ParentPair = std::array<QIndividual*, 2>;
using ChildPair = std::array<QIndividual*, 2>;

class QCrossoverOperator : public QOperator {
public:
    // Also refuses a record with fewer than two children per pairing.
    int setParameters(const QEAParameters& params) override;
    // Writes the children's genes from the parents' genes.
    virtual int cross(const ParentPair& parents, const ChildPair& children) = 0;
    virtual Encoding getEncoding() const = 0;
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
    // Gives every individual of the population its first genes, by the record's initialization
    // type.
    virtual int initialize(QPopulation& population) = 0;
    virtual int initRandom(QPopulation& population) = 0;
    virtual int initUnmixed(QPopulation& population) = 0;
    virtual std::unique_ptr<QInitializer> clone() const = 0;
    virtual Encoding getEncoding() const = 0;
};

class QNichingOperator : public QOperator {
public:
    // Numbers every individual whose nicheNumber is 0: 1, 2, 3, ... in population order.
    static int assignNiches(QPopulation& population);
    // n x n distances between the population's individuals (0.0 on the diagonal).
    static int computeDistanceMatrix(const QPopulation& population, std::vector<std::vector<double>>& matrix);
    virtual std::unique_ptr<QNichingOperator> clone() const = 0;
};

class QPopulationSizer : public QOperator {
public:
    // Whether the offspring population being filled has reached the generation's size.
    virtual bool isPopulationFull(const QPopulation& offspring) const = 0;
    // Brings the full offspring population to the generation's size and sets the next target.
    virtual int resize(QPopulation& offspring) = 0;
    virtual std::unique_ptr<QPopulationSizer> clone() const = 0;
    // Used by the adaptive sizers only; the others accept and ignore them.
    virtual int setRunStatistics(const QRunSummary* /*runRecord*/) { return 1; }
    virtual int reset() { return 1; }
    // What the sizer carries from one generation to the next, for checkpoints
    // (operators/sizer_state.cpp); nothing by default.
    virtual void saveState(StateWriter& /*out*/) const {}
    virtual void restoreState(StateReader& /*in*/) {}
};

class QSelection : public QOperator {
public:
    // Fills the destination with copies of individuals chosen from the source.
    virtual int select(const QPopulation& source, QPopulation& destination) = 0;
    virtual std::unique_ptr<QSelection> clone() const = 0;
};

}  // namespace Valdrin
