// QIndividual: the behaviour shared by every chromosome.
#include "representation/individual.h"

namespace Valdrin {

int QIndividual::setParameters(const QEAParameters* params) {
    _params = params;
    return initialize(params->chromosomeLength);
}

}  // namespace Valdrin
