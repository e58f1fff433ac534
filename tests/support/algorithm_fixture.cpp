// The small records of the algorithm tests.
#include "support/algorithm_fixture.h"

#include <stdexcept>

namespace Valdrin::testing {

QEAParameters smallRecord(int encoding) {
    QEAParameters params;
    params.encoding = encoding;
    params.populationSize = 6;
    params.generationsNumber = 5;
    params.selectionType = Selection::Tournament;
    params.parentSelectorType = ParentSelection::Random;
    params.eliteCount = 1;
    switch (encoding) {
        case kStringEncoding:
            params.chromosomeLength = 6;
            params.arity = 3;
            params.xType = Crossover::OnePoint;
            params.mutationType = Mutation::RandomFlip;
            break;
        case kIntegerEncoding:
            params.chromosomeLength = 4;
            params.geneSize = 1;
            params.xType = Crossover::OnePoint;
            params.mutationType = Mutation::BitFlip;
            break;
        case kRealEncoding:
            params.chromosomeLength = 13;
            params.xType = Crossover::BLX;
            params.mutationType = Mutation::Gaussian;
            break;
        case kNetworkEncoding:
            params.inputsNumber = 2;
            params.outputsNumber = 1;
            params.mutationType = Mutation::NetworkBasic;
            break;
        default:
            throw std::invalid_argument("smallRecord: no small record for encoding " + std::to_string(encoding));
    }
    return params;
}

}  // namespace Valdrin::testing
