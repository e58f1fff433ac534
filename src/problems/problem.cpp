// The shared population loop of every problem.
#include "problems/problem.h"

namespace Valdrin {

int QProblem::evaluatePopulation(QPopulation& population) {
    for (int i = 0; i < population.size(); ++i) evaluateIndividual(*population.getIndividual(i));
    return 1;
}

}  // namespace Valdrin
