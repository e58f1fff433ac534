// QEAFactory: turns type identifiers into populations and operators, and owns all of them.
#pragma once

#include <memory>
#include <vector>

#include "operators/operator.h"
#include "representation/population.h"

namespace Valdrin {

class QEvolutionaryAlgorithm;

class QEAFactory {
public:
    explicit QEAFactory(QEvolutionaryAlgorithm* ownerAlgorithm);
    ~QEAFactory();
    QEAFactory(const QEAFactory&) = delete;
    QEAFactory& operator=(const QEAFactory&) = delete;

    // Each returns a borrowed pointer; the factory keeps the object until destroyAll or its
    // own destruction. Unknown identifiers end the process with the factory's messages.
    QPopulation* createPopulation(int encoding);
    QInitializer* createInitializer(int encoding);
    QNichingOperator* createNiching(Niching nichingType);  // null for "no niching"
    QSelection* createSelection(Selection selectionType);
    QParentSelector* createParentSelector(ParentSelection parentSelectorType);
    QPopulationSizer* createPopulationSizer(Sizer sizerType);
    QCrossoverOperator* createCrossover(int encoding, Crossover xType);  // null for networks
    QMutationOperator* createMutation(int encoding, Mutation mutationType);

    int destroyAll();
    int destroyLastPopulation();
    int destroyLastMutation();

    QEvolutionaryAlgorithm* owner() const { return owner_; }

private:
    QEvolutionaryAlgorithm* owner_;
    std::vector<std::unique_ptr<QPopulation>> populations_;
    std::vector<std::unique_ptr<QInitializer>> initializers_;
    std::vector<std::unique_ptr<QNichingOperator>> nichingOperators_;
    std::vector<std::unique_ptr<QSelection>> selections_;
    std::vector<std::unique_ptr<QParentSelector>> parentSelectors_;
    std::vector<std::unique_ptr<QPopulationSizer>> populationSizers_;
    std::vector<std::unique_ptr<QCrossoverOperator>> crossovers_;
    std::vector<std::unique_ptr<QMutationOperator>> mutations_;
};

}  // namespace Valdrin
