// An experiment's runs in the IOHprofiler format, which IOHanalyzer loads as it is: the runs'
// best-so-far fitness against the evaluations spent.
#pragma once

#include <string>
#include <vector>

#include "core/parameters.h"
#include "statistics/run_summary.h"

namespace Valdrin {

// Writes, in folder (a path the experiment placed, as OutputFolder::placed does; "" for the
// working folder; created when missing):
//   IOHprofiler_f<ID>_<problem>.info, the meta-data: the line
//     suite = "valdrin", funcId = <ID>, DIM = <chromosome length>, algId = "<algorithm>",
//     funcName = "<problem>", maximization = F
//   then a comment line "% " with the key parameters, then the data file's path followed by
//   ", <run>:<evaluations>|<final best-so-far fitness>" for every run (numbered from 1);
//   data_f<ID>_<problem>/IOHprofiler_f<ID>_DIM<D>.dat, the data: for every run, in order, the
//   line "function evaluation" "best-so-far f(x)" (quotes included), then "<evaluation> <fitness>"
//   for every improvement of the run's best-so-far fitness, then, for a run that did not solve
//   the problem, its last evaluation with the best-so-far fitness unless the last improvement
//   was that evaluation.
// functionId identifies the problem (the caller's numbering, from 1); the names are the
// algorithm's and the problem's as the configuration names them. In file names the problem's
// name keeps its letters, digits and hyphens, any other run of characters becoming one hyphen;
// in the quoted values, double quotes, commas and control characters become spaces. The data
// file is written before the meta-data that points to it; each appears under its name only once
// it is complete, and one that cannot be written ends the experiment.
void writeIohProfilerData(const std::vector<QRunSummary>& runs, const QEAParameters& params, int functionId,
                          const std::string& algorithmName, const std::string& problemName, const std::string& folder);

}  // namespace Valdrin
