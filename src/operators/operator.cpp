// The operator family bases' own behaviour: binding a crossover's populations, and the
// niching helpers (niche numbers and the distance matrix).
#include "operators/operator.h"

#include "core/failure.h"
#include "representation/distance.h"

namespace Valdrin {

int QCrossoverOperator::setPopulations(QPopulation* parents, QPopulation* offspring) {
    if (parentSelector == nullptr) {
        fail("\nQCrossoverOperator::setPopulations error:\n\tQParentSelector object is NULL!\n\n");
    }
    parentSelector->setPopulation(parents);
    offspringPopulation = offspring;
    return 1;
}

int QNichingOperator::assignNiches() {
    int next = 1;
    for (auto& individual : population->individuals) {
        if (individual->nicheNumber == 0) individual->nicheNumber = next++;
    }
    return 1;
}

int QNichingOperator::computeDistanceMatrix(std::vector<std::vector<double>>& matrix) {
    const std::size_t n = population->individuals.size();
    matrix.assign(n, std::vector<double>(n, 0.0));
    const QDistance distance;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            const double d = distance.measure(*population->individuals[i], *population->individuals[j]);
            matrix[i][j] = d;
            matrix[j][i] = d;
        }
    }
    return 1;
}

}  // namespace Valdrin
