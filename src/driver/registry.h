// The names under which the configuration chooses an algorithm and a problem, with the
// classes they create. New algorithms and problems only add an entry here.
#pragma once

#include <memory>
#include <vector>

#include "algorithms/algorithm.h"
#include "problems/problem.h"

namespace Valdrin {

struct AlgorithmEntry {
    const char* name;          // compared exactly with the configuration's text
    const char* announcement;  // written to standard output before the object is constructed
    std::unique_ptr<QEvolutionaryAlgorithm> (*create)();
};

struct ProblemEntry {
    const char* name;
    std::unique_ptr<QProblem> (*create)();
};

// In the order in which names are compared.
const std::vector<AlgorithmEntry>& algorithmTable();
const std::vector<ProblemEntry>& problemTable();

}  // namespace Valdrin
