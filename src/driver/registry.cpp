// The name tables of every algorithm and problem the program offers.
#include "driver/registry.h"

#include "algorithms/genetic_algorithm.h"
#include "algorithms/sarn.h"
#include "algorithms/sarn2.h"
#include "problems/benchmarks.h"
#include "problems/network_problems.h"
#include "problems/submatrix.h"

namespace Valdrin {

namespace {
template <class Concrete, class Base>
std::unique_ptr<Base> create() {
    return std::make_unique<Concrete>();
}
}  // namespace

const std::vector<AlgorithmEntry>& algorithmTable() {
    static const std::vector<AlgorithmEntry> table = {
        {"GA", "Creating GA\n", &create<QGeneticAlgorithm, QEvolutionaryAlgorithm>},
        {"SARN", "Creating QSARN\n", &create<QSARN, QEvolutionaryAlgorithm>},
        {"SARN2", "Creating QSARN2 (indirect evolution)\n", &create<QSARN2, QEvolutionaryAlgorithm>},
    };
    return table;
}

const std::vector<ProblemEntry>& problemTable() {
    static const std::vector<ProblemEntry> table = {
        {"Sphere", &create<QSphereFunction, QProblem>},
        {"Rastrigin", &create<QRastriginFunction, QProblem>},
        {"Schwefel", &create<QSchwefelFunction, QProblem>},
        {"Rosenbrock", &create<QRosenbrockFunction, QProblem>},
        {"Deceptive", &create<QDeceptiveProblem, QProblem>},
        {"Mixing-time", &create<QMixingTimeResearch, QProblem>},
        {"Onemax", &create<QOneMaxProblem, QProblem>},
        {"Pointless", &create<QPointlessProblem, QProblem>},
        {"Submatrix", &create<QSubmatrixTask, QProblem>},
        {"XOR", &create<QANNProblemXOR, QProblem>},
        {"Double sin", &create<QANNProblemSinDouble, QProblem>},
    };
    return table;
}

}  // namespace Valdrin
