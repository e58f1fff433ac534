// Comma-separated tables of an experiment's runs, for analysis in other tools:
// "generations.csv" (one row per run and generation reached) and "runs.csv" (one row per run).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "core/parameters.h"
#include "statistics/run_summary.h"

namespace Valdrin {

// Writes the shortest text that reads back to the same double ("nan", "inf" and "-inf" for the
// values that are not finite).
void writeShortestNumber(std::ostream& out, double value);

// The path of a results file in folder ("" for the working folder).
std::string resultsFile(const std::string& folder, const std::string& name);
// Creates folder with its parents when it is missing; ends the experiment when it cannot be made
// or is not a folder. "" is the working folder.
void makeResultsFolder(const std::string& folder);

// Writes "generations.csv" and "runs.csv" in folder (a path the experiment placed, as
// OutputFolder::placed does; "" for the working folder; created when missing), each with a header row, one
// record per line ended by a line feed. Columns, in order:
//   generations.csv: run, generation, evaluations, best_fitness, mean_fitness, worst_fitness,
//     fitness_variance, population_size, solved
//   runs.csv: run, generations, evaluations, duration_s, solved, time_to_solution_s,
//     generations_to_solution, evaluations_to_solution, convergence_generation,
//     final_best_fitness, final_worst_fitness, network_nodes when the runs hold networks, then
//     best_so_far_fitness, best_so_far_generation, best_so_far_evaluations, runs_asked
// Runs are numbered from 1 in the order given, generations from 1 as "summary.log" numbers them;
// generations_to_solution is the number "summary.log" prints for the run (the generations
// completed before the one that met the solution), so solved is 1 from the row after it on.
// final_best_fitness and final_worst_fitness are those of the last generation the run completed
// (its first when it completed none); best_so_far_fitness is the best fitness any of its
// evaluations gave (nan when none gave one), best_so_far_generation the generation that found it
// and best_so_far_evaluations its evaluation, as bestSoFar tells them (both empty without one).
// runs_asked is the number of runs the experiment was asked for, the same in every row: a table
// with fewer rows belongs to an experiment that was interrupted, and holds the runs that finished.
// generations.csv holds the generations keptGeneration keeps for recordEvery (every one for 1).
// Each file appears under its name only once it is complete; one that cannot be written ends
// the experiment.
void writeCsvFiles(const std::vector<QRunSummary>& runs, const QEAParameters& params, int runsAsked,
                   const std::string& folder = "", int recordEvery = 1);

}  // namespace Valdrin
