// One experiment from start to end: reading the configuration, choosing the algorithm and the
// problem by name, the run loop and the teardown.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <span>

#include "algorithms/algorithm.h"
#include "config/light_xml.h"
#include "driver/command_line.h"
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

// The whole program: reads the command line (the words after the program's name), checks the
// configuration (its findings on standard error; errors end the program before anything runs),
// then runs the experiment. Returns the exit status.
int runProgram(const std::vector<std::string>& arguments);

// Runs the experiment of a configuration, choosing the algorithm and the problem from the given
// tables: writes every file into the command line's output folder, refuses outputs that cannot
// be written and experiments that cannot fit in memory, and ends in order when interrupted.
// Returns the exit status: 0 when it ran, 1 when it failed, 128 + the signal when interrupted.
int runExperiment(const CommandLine& line, std::span<const AlgorithmRow> algorithms = algorithmRows(),
                  std::span<const ProblemRow> problems = problemRows());

}  // namespace Valdrin
