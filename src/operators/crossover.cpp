// The checks every crossover shares: children per pairing, chromosome lengths and cut positions.
#include <string>

#include "core/failure.h"
#include "operators/operator.h"

namespace Valdrin {

int QCrossoverOperator::setParameters(const QEAParameters& params) {
    _params = &params;
    // cross() writes two children and the clone check looks at the last two individuals.
    if (params.childrenNumber < 2) {
        fail("\n\n[QCrossoverOperator::setParameters] error:\n"
              "\tA crossover needs at least two children per pairing (childrenNumber = " +
              std::to_string(params.childrenNumber) + ")\n\n");
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

}  // namespace Valdrin
