// The configuration check: examines a configuration before anything runs and reports every
// problem it finds, each with its line, as a warning (the program would still run as it does
// today, only not as written) or an error (the run would fail or mean nothing).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "config/configuration_scan.h"
#include "core/parameters.h"
#include "registry/problem_table.h"

namespace Valdrin {

// Every finding for the scanned configuration: the scan's own findings (text that is not
// well-formed, names and values that do not pair) and those about its content (keys, words,
// numbers, the algorithm and the problem, and values that cannot make a meaningful run).
// Findings come in line order; those about the file as a whole (line 0) come last. runs is the
// number of runs the experiment will make (the legacy generator's cycle is shared by them).
// folder is the configuration's folder, which a problem library's relative path starts from;
// problems are the problems it may name besides a library's (the built-in ones by default);
// dataFolder is where the run will read the submatrix task's matrix.txt ("" not to read it: the
// fields the task sets from it are then not judged).
std::vector<Finding> checkConfiguration(const ConfigurationScan& scan, long long runs = 1,
                                        const std::string& folder = ".", const ProblemTable& problems = ProblemTable(),
                                        const std::string& dataFolder = "");

// Scans the file and checks it.
std::vector<Finding> checkConfigurationFile(const std::string& path, long long runs = 1);

// The findings with every warning made an error, for a check that accepts no warning.
std::vector<Finding> warningsAsErrors(std::vector<Finding> findings);

bool hasErrors(std::span<const Finding> findings);

// The record a run of the configuration would use: defaults, then every parameter read as the
// parameter reader reads it, then the fields the chosen problem sets for itself (those the
// submatrix task reads from its data file stay as given). A seed of 0 stays 0 here; the run
// takes the calendar time for it.
QEAParameters effectiveParameters(const ConfigurationScan& scan, const std::string& folder = ".",
                                  const ProblemTable& problems = ProblemTable(), const std::string& dataFolder = "");

// One line "key = value" per configuration key, in the registry's order, the values as the
// configuration would write them; seed 0 shows as "0 (the calendar time)".
std::string parametersText(const QEAParameters& params);

}  // namespace Valdrin
