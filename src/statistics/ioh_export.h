// An experiment's runs in the IOHprofiler format, which IOHanalyzer loads as it is: the runs'
// best-so-far fitness against the evaluations spent. Several experiments can share a folder:
// each is an algorithm of its own to IOHanalyzer.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/parameters.h"
#include "statistics/run_summary.h"

namespace Valdrin {

// What the IOHprofiler files say of an experiment, beside its runs and parameters.
struct IohExperiment {
    int functionId = 0;       // the problem (the caller's numbering, from 1)
    std::string problemName;  // the problem's word, as the configuration names it
    std::string label;        // what IOHanalyzer calls the algorithm (algId)
    // What makes an experiment the one it is: the configuration's text and the number of runs
    // asked, say. An experiment written again (resumed from a checkpoint, or run once more as it
    // was) takes the place of its earlier self instead of being added beside it.
    std::string identity;
};

// Writes, in folder (a path the experiment placed, as OutputFolder::placed does; "" for the
// working folder; created when missing):
//   IOHprofiler_f<ID>_<problem>.info, the meta-data: one block of three lines per experiment,
//     the line
//       suite = "valdrin", funcId = <ID>, DIM = <chromosome length>, algId = "<label>",
//       funcName = "<problem>", maximization = F
//     then a comment line "% " with the key parameters, ended by ", experiment = <key>" (16 hex
//     digits: the hash of the identity and of the first run's data), then the data file's path
//     followed by ", <run>:<evaluations>|<final best-so-far fitness>" for every run (numbered
//     from 1);
//   data_f<ID>_<problem>/IOHprofiler_f<ID>_DIM<D>.dat, the data: for every run, in order, the
//     line "function evaluation" "best-so-far f(x)" (quotes included), then "<evaluation>
//     <fitness>" for every improvement of the run's best-so-far fitness, then, for a run that did
//     not solve the problem, its last evaluation with the best-so-far fitness unless the last
//     improvement was that evaluation.
// An experiment whose key is not in the meta-data yet is added as a new block at its end, with
// its own data file: the first free of IOHprofiler_f<ID>_DIM<D>.dat, then
// IOHprofiler_f<ID>_DIM<D>_2.dat, _3, ... (IOHanalyzer reads blocks that name one data file as
// one). Its algId is the label, or, where another experiment's block of the same DIM already
// carries that label (IOHanalyzer would merge the two and drop runs it takes for duplicates),
// the label followed by " (2)", " (3)", ...: the first no such block carries. An experiment
// whose key is there takes its block's place and data file. Other blocks stay as written.
// In file names the problem's name keeps its letters, digits and hyphens, any other run of
// characters becoming one hyphen; in the quoted values, double quotes, commas and control
// characters become spaces. The data file is written before the meta-data that points to it;
// each appears under its name only once it is complete, and the folder is locked (flock) from
// reading the meta-data to renaming it, so that experiments writing into one folder at once add
// every block. A file that cannot be written, or meta-data that is not in blocks of three lines,
// ends the experiment.
void writeIohProfilerData(const std::vector<QRunSummary>& runs, const QEAParameters& params,
                          const IohExperiment& experiment, const std::string& folder);

// The label of an experiment that was given none: the algorithm's word, then the words of its
// crossover (none on the regulatory-network encoding, which is not recombined), of its mutation
// and, when it uses one, of its niching method, each as the configuration writes it and
// separated by spaces ("GA 2-point bit-flip", "SARN basic", "GA SBX gaussian sharing"). word
// gives a key's word for the record ("Crossover type" -> "2-point").
std::string defaultIohLabel(std::string_view algorithm, const QEAParameters& params,
                            const std::function<std::string(std::string_view key)>& word);

}  // namespace Valdrin
