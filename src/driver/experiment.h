// One experiment from start to end: reading the configuration, choosing the algorithm and the
// problem by name, the run loop and the teardown.
#pragma once

#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <span>

#include "algorithms/algorithm.h"
#include "config/light_xml.h"
#include "driver/command_line.h"
#include "problems/problem.h"
#include "registry/problem_table.h"
#include "registry/registry.h"
#include "statistics/run_summary.h"

namespace Valdrin {

// Creates the algorithm named by the first child of the first "algorithm" element for the
// engine, after writing its announcement to the engine's output. An unknown name, or no such
// element, ends the experiment.
std::unique_ptr<QEvolutionaryAlgorithm> createAlgorithmByName(const QLightXMLIO& tree,
                                                              std::span<const AlgorithmRow> table, Engine& engine);

// Creates the problem named by the first child of the first "problem" element for the engine.
// An unknown name, or no such element, ends the experiment.
std::unique_ptr<QProblem> createProblemByName(const QLightXMLIO& tree, std::span<const ProblemRow> table,
                                              Engine& engine);
// The same, from a table that may hold a plugin's problem.
std::unique_ptr<QProblem> createProblemByName(const QLightXMLIO& tree, const ProblemTable& table, Engine& engine);

// The whole program: reads the command line (the words after the program's name), checks the
// configuration (its findings on err; errors end the program before anything runs), then runs
// the experiment, its standard output going to out and its messages to err. Returns the exit
// status.
int runProgram(const std::vector<std::string>& arguments, std::ostream& out = std::cout,
               std::ostream& err = std::cerr);

// Runs the experiment of a configuration with an engine of its own, choosing the algorithm and
// the problem from the given tables: writes its standard output to out and its messages to err,
// every file into the command line's output folder, refuses outputs that cannot be written and
// experiments that cannot fit in memory, and ends in order when interrupted. Experiments may run
// one after the other or side by side (on other threads) in one process: each writes what it
// would write as a process of its own. Returns the exit status: 0 when it ran, 1 when it failed,
// 128 + the signal when interrupted.
int runExperiment(const CommandLine& line, std::ostream& out, std::ostream& err,
                  std::span<const AlgorithmRow> algorithms = algorithmRows(),
                  std::span<const ProblemRow> problems = problemRows());

// What a program that embeds Valdrin is shown of the runs the reports cover, once they are
// written: every finished run, its best and solution individuals included (also when the
// experiment ended before all of its runs finished).
using FinishedRunsObserver = std::function<void(const std::vector<QRunSummary>& runs)>;

// The same with a table of problems that may hold problems from outside (a program that embeds
// Valdrin adds its own functions there); a configuration's Problem library is added to it.
// observer, when given, is shown the runs the reports cover.
int runExperiment(const CommandLine& line, std::ostream& out, std::ostream& err, const ProblemTable& problems,
                  std::span<const AlgorithmRow> algorithms = algorithmRows(),
                  const FinishedRunsObserver& observer = {});

}  // namespace Valdrin
