// The operator family bases' own behaviour: the niching helpers (niche numbers and the distance
// matrix).
#include "operators/operator.h"

#include "representation/distance.h"

namespace Valdrin {

int QNichingOperator::assignNiches(QPopulation& population) {
    int next = 1;
    for (auto& individual : population.individuals) {
        if (individual->nicheNumber == 0) individual->nicheNumber = next++;
    }
    return 1;
}

int QNichingOperator::computeDistanceMatrix(const QPopulation& population, std::vector<std::vector<double>>& matrix) {
    const std::size_t n = population.individuals.size();
    matrix.assign(n, std::vector<double>(n, 0.0));
    const QDistance distance;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            const double d = distance.measure(*population.individuals[i], *population.individuals[j]);
            matrix[i][j] = d;
            matrix[j][i] = d;
        }
    }
    return 1;
}

}  // namespace Valdrin
