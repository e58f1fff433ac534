// One experiment from start to end: reading the configuration, choosing the algorithm and the
// problem by name, the run loop and the teardown.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <span>

#include "algorithms/algorithm.h"
#include "config/light_xml.h"
#include "problems/problem.h"
#include "registry/registry.h"

namespace Valdrin {

// Creates the algorithm named by the first child of the first "algorithm" element, after
// writing its announcement. An unknown name, or no such element, ends the process.
std::unique_ptr<QEvolutionaryAlgorithm> createAlgorithmByName(const QLightXMLIO& tree,
                                                              std::span<const AlgorithmRow> table);

// Creates the problem named by the first child of the first "problem" element. An unknown
// name, or no such element, ends the process.
std::unique_ptr<QProblem> createProblemByName(const QLightXMLIO& tree, std::span<const ProblemRow> table);

// Runs the experiment. arguments are the command-line words after the program's name: the
// configuration file (default "config.xml") and the number of runs (default 1). Returns the
// exit status, 0.
int runExperiment(const std::vector<std::string>& arguments,
                  std::span<const AlgorithmRow> algorithms = algorithmRows(),
                  std::span<const ProblemRow> problems = problemRows());

}  // namespace Valdrin
