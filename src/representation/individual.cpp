// QIndividual: the behaviour shared by every chromosome.
#include "representation/individual.h"

namespace Valdrin {

int QIndividual::setParameters(const QEAParameters* params) {
    _params = params;
    return initialize(params->chromosomeLength);
}

void QIndividual::renew(const QEAParameters* params, bool keepValues) {
    nicheNumber = 0;
    fitness = 0.0;
    fitnessComponents.clear();
    _params = params;
    if (!keepValues) deleteGenes();
    initialize(params != nullptr ? params->chromosomeLength : 0);
}

}  // namespace Valdrin
