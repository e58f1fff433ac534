// What the sweep ran, collected from the job log and the experiments' folders into the results
// files: results.sqlite (tables experiments, runs, generations, swept_keys, and the combinations
// with their comparisons) and sweep.csv.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sweep/job_log.h"
#include "sweep/sweep_plan.h"

namespace Valdrin {

// A comma-separated table as the program writes them: a header row, plain fields, no quoting.
struct CsvTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;  // each as long as the header (short rows padded)

    // The column's place in the header; -1 when it has none.
    int column(const std::string& name) const;
};

// Reads the table; nothing when the file cannot be read or has no header.
std::optional<CsvTable> readCsv(const std::string& path);

// How one experiment ended.
struct ExperimentOutcome {
    enum class State { NotRun, Ran, Failed };
    State state = State::NotRun;
    std::optional<JobRecord> job;  // the job log's line that tells how it ended
    std::string reason;            // for a failed one: what went wrong
    std::vector<std::string> errorTail;  // for a failed one: the last lines of its standard error
    CsvTable runs;                 // for one that ran: its runs.csv
};

// The outcomes of the experiments from the job log's lines and their folders (relative to
// sweepFolder). An experiment ran when its job succeeded and its runs.csv and generations.csv are
// in its folder; it failed when its job failed (exit status or signal) or succeeded without them.
std::vector<ExperimentOutcome> collectOutcomes(const std::string& sweepFolder, const std::vector<Experiment>& experiments,
                                               const std::vector<JobRecord>& log);

// The number of last lines of standard error reported for a failed experiment.
constexpr int kErrorTailLines = 5;

// Everything the results files are made from.
struct SweepRecord {
    const std::vector<SweptKey>& keys;
    const std::vector<Experiment>& experiments;
    const std::vector<ExperimentOutcome>& outcomes;
    std::string folder;  // the sweep's folder, where the experiments' folders are
    // A swept key whose values are blocks (problems, sizes): the combinations of the other keys are
    // also compared across them (Friedman's test); "" for none.
    std::string blocks = "";
};

// Writes the database at path (under a temporary name, renamed when complete), built afresh from
// the experiments' folders (a database already at path, of whatever version, is replaced whole):
//   experiments: id, folder, one column per swept key (named by columnName; INTEGER, REAL or
//     TEXT as the key reads its values), seed, exit_status, host, duration_s (the last three from
//     the job log; NULL for an experiment that did not run)
//   runs: experiment_id, then the columns of runs.csv; generations: experiment_id, then the
//     columns of generations.csv (only experiments that ran have rows). The columns are those of
//     every experiment's file in the order first met, so that files of an earlier version, which
//     lack the later columns (runs.csv's best_so_far_* and runs_asked), leave them NULL in their
//     rows.
//   swept_keys: position (from 1), key, column_name
//   combinations, comparisons, omnibus: each combination's figures and their comparisons
//     (docs/statistics.md); with blocks also friedman and mean_ranks.
// Empty cells and nan are NULL; inf stays infinite. Ends with a Failure when it cannot be written.
void writeResultsDatabase(const SweepRecord& record, const std::string& path);
// The same, and writeSweepCsv and SweepPageInputs, with the combinations' figures given
// (summarizeCombinations of the record, sweep_page.h), so that the writers of one sweep compute
// them, and their bootstrap intervals, once.
struct CombinationSummary;
void writeResultsDatabase(const SweepRecord& record, const std::vector<CombinationSummary>& combinations,
                          const std::string& path);

// Writes sweep.csv at path: one row per experiment and run (an experiment without runs has one
// row with its run columns empty): experiment, the swept keys' columns (the values as given),
// seed, exit_status, the columns of runs.csv as they were written, then its combination's number
// and figures (as the table combinations holds them; empty where there is none).
void writeSweepCsv(const SweepRecord& record, const std::string& path);
void writeSweepCsv(const SweepRecord& record, const std::vector<CombinationSummary>& combinations,
                   const std::string& path);

}  // namespace Valdrin
