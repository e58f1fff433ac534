// AlgorithmParts: the populations and operators an algorithm owns, and PartsMaker, the
// interface through which the layer above (the registry) makes them from a parameter record.
#pragma once

#include <initializer_list>
#include <memory>

#include "core/parameters.h"
#include "operators/operator.h"
#include "representation/population.h"

namespace Valdrin {

struct AlgorithmParts {
    std::unique_ptr<QPopulation> currentPopulation;
    std::unique_ptr<QPopulation> matingPool;
    std::unique_ptr<QPopulation> offspringPopulation;
    std::unique_ptr<QInitializer> initializer;
    std::unique_ptr<QNichingOperator> niching;  // null without niching
    std::unique_ptr<QSelection> selection;
    std::unique_ptr<QParentSelector> parentSelector;
    std::unique_ptr<QPopulationSizer> sizer;
    std::unique_ptr<QCrossoverOperator> crossover;  // null where the encoding has no crossover
    std::unique_ptr<QMutationOperator> mutation;
};

// Binds every operator among the parts to the engine (QOperator::useEngine).
inline void useEngine(AlgorithmParts& parts, Engine& engine) {
    const std::initializer_list<QOperator*> operators = {parts.initializer.get(),    parts.niching.get(),
                                                         parts.selection.get(),      parts.parentSelector.get(),
                                                         parts.sizer.get(),          parts.crossover.get(),
                                                         parts.mutation.get()};
    for (QOperator* part : operators) {
        if (part != nullptr) part->useEngine(engine);
    }
}

class PartsMaker {
public:
    virtual ~PartsMaker() = default;
    // Makes the parts the record names, in this order: the three populations, the initializer,
    // niching, selection, the population sizer, crossover, mutation, then the parent selector.
    // A record that names something that cannot be made ends the experiment.
    virtual AlgorithmParts make(const QEAParameters& params) const = 0;
};

}  // namespace Valdrin
