// QCrossoverOperator's pairing step, shared by every crossover: parents, children, the
// crossover-rate test, deterministic crowding and the removal of clones.
#include <iostream>
#include <string>

#include "algorithms/algorithm.h"
#include "core/failure.h"
#include "core/random.h"
#include "operators/niching.h"
#include "operators/operator.h"

namespace Valdrin {

int QCrossoverOperator::setParameters(QEAParameters* params) {
    _params = params;
    // cross() writes two children and the clone check looks at the last two individuals.
    if (params->childrenNumber < 2) {
        fail("\n\n[QCrossoverOperator::setParameters] error:\n"
              "\tA crossover needs at least two children per pairing (childrenNumber = " +
              std::to_string(params->childrenNumber) + ")\n\n");
    }
    return 1;
}

void QCrossoverOperator::requireGenes(const char* where, int genes, int needed) {
    if (genes < needed) {
        fail(std::string("\n\n[") + where + "] error:\n\tChromosome shorter than the crossover needs (genes = " +
              std::to_string(genes) + ", needed = " + std::to_string(needed) + ")\n\n");
    }
}

void QCrossoverOperator::requireGenes(const char* where, const ParentPair& parents, const ChildPair& children,
                                      int needed) {
    for (const QIndividual* x : {parents[0], parents[1], children[0], children[1]}) {
        requireGenes(where, x->getGenesNumber(), needed);
    }
}

void QCrossoverOperator::requireCuts(const char* where, long long positions, const char* counted) {
    if (positions < 2) {
        fail(std::string("\n\n[") + where + "] error:\n\tThe crossover needs at least two cut positions (" + counted +
              " = " + std::to_string(positions) + ")\n\n");
    }
}

int QCrossoverOperator::operate() {
    const QEAParameters& params = *_params;
    if (params.parentsNumber != 2) {
        // The text names the 2-point integer crossover whatever the class.
        std::cerr << "!!! QIntegerCrossover2::operate warning:\t"
                  << "Parents number is unequal to 2. No crossing is performed !!!\n";
        return 1;
    }

    const bool crowding = params.nichingType == Niching::DeterministicCrowding;
    ParentPair parents{};
    if (crowding) {
        // The elite already sit in the offspring population, so successive calls walk the
        // current population in consecutive pairs.
        const int first = offspringPopulation->size() - params.eliteCount;
        parents[0] = owner->currentPopulation->getIndividual(first);
        parents[1] = owner->currentPopulation->getIndividual(first + 1);
    } else {
        parents[0] = parentSelector->selectParent();
        parents[1] = parentSelector->selectParent();
    }

    ChildPair children{};
    for (int k = 0; k < params.childrenNumber; ++k) {
        const int size = offspringPopulation->addNewIndividual();
        if (k < 2) children[static_cast<std::size_t>(k)] = offspringPopulation->getIndividual(size - 1);
    }

    if (crowding) {
        cross(parents, children);
        auto* crowd = static_cast<QDeterministicCrowding*>(owner->niching);
        crowd->parent0 = parents[0];
        crowd->parent1 = parents[1];
        crowd->child0 = children[0];
        crowd->child1 = children[1];
        owner->niching->operate();
    } else if (params.xRate >= uniform()) {
        cross(parents, children);
    } else {
        children[0]->copy(*parents[0]);
        children[1]->copy(*parents[1]);
    }

    if (params.removeClones) {
        // Only the individuals up to index size - 3 are compared, also with more than two
        // children: that is the rule runs are reproduced by.
        const int last = offspringPopulation->size() - 3;
        bool clone0 = false;
        bool clone1 = false;
        for (int i = 0; i <= last && !(clone0 && clone1); ++i) {
            const QIndividual& earlier = *offspringPopulation->individuals[static_cast<std::size_t>(i)];
            if (!clone0 && children[0]->equalsTo(earlier)) clone0 = true;
            if (!clone1 && children[1]->equalsTo(earlier)) clone1 = true;
        }
        if (clone0) offspringPopulation->deleteIndividual(offspringPopulation->size() - 2);
        if (clone1) offspringPopulation->deleteIndividual(offspringPopulation->size() - 1);
    }
    return 1;
}

}  // namespace Valdrin
