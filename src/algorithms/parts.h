// AlgorithmParts: the populations and operators an algorithm owns, and PartsMaker, the
// interface through which the layer above (the registry) makes them from a parameter record.
#pragma once

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
    for (QOperator* part : {static_cast<QOperator*>(parts.initializer.get()), static_cast<QOperator*>(parts.niching.get()),
                            static_cast<QOperator*>(parts.selection.get()),
                            static_cast<QOperator*>(parts.parentSelector.get()), static_cast<QOperator*>(parts.sizer.get()),
                            static_cast<QOperator*>(parts.crossover.get()), static_cast<QOperator*>(parts.mutation.get())}) {
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
