// The small records of the algorithm tests.
#include "support/algorithm_fixture.h"

#include <stdexcept>

namespace Valdrin::testing {

QEAParameters smallRecord(Encoding encoding) {
    QEAParameters params;
    params.encoding = encoding;
    params.populationSize = 6;
    params.generationsNumber = 5;
    params.selectionType = Selection::Tournament;
    params.parentSelectorType = ParentSelection::Random;
    params.eliteCount = 1;
    switch (encoding) {
        case Encoding::String:
            params.chromosomeLength = 6;
            params.arity = 3;
            params.xType = Crossover::OnePoint;
            params.mutationType = Mutation::RandomFlip;
            break;
        case Encoding::Integer:
            params.chromosomeLength = 4;
            params.geneSize = 1;
            params.xType = Crossover::OnePoint;
            params.mutationType = Mutation::BitFlip;
            break;
        case Encoding::Real:
            params.chromosomeLength = 13;
            params.xType = Crossover::BLX;
            params.mutationType = Mutation::Gaussian;
            break;
        case Encoding::Network:
            params.inputsNumber = 2;
            params.outputsNumber = 1;
            params.mutationType = Mutation::NetworkBasic;
            break;
        default:
            throw std::invalid_argument("smallRecord: no small record for encoding " + std::to_string(number(encoding)));
    }
    return params;
}

QEAParameters sphereRecord() {
    QEAParameters params = smallRecord(Encoding::Real);
    params.chromosomeLength = 3;
    params.populationSize = 12;
    params.generationsNumber = 30;
    params.tournamentSize = 3;
    params.xType = Crossover::SBX;
    params.xAlpha = 1.0;
    params.xRate = 0.9;
    params.mRate = 0.3;
    params.errorLevel = 130.0;
    params.rngSeed = 5;
    return params;
}

}  // namespace Valdrin::testing
