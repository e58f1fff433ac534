// valdrin-sweep's command line, read with CLI11.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace Valdrin {

struct SweepCommandLine {
    std::string base;                 // the base configuration
    std::vector<std::string> sets;    // each --set as written: KEY=VALUE,VALUE,...
    std::string seeds;                // --seeds as written
    int runs = 1;                     // runs per experiment
    std::optional<int> jobs;          // jobs at a time on each machine
    std::string hostsFile;            // a file of parallel's sshlogins; "" for this machine alone
    std::string outputFolder = "sweep";
    bool ioh = false;                 // every experiment also writes the IOHprofiler files
    bool report = false;              // ... report.html
    bool plot = false;                // ... convergence.svg
    std::optional<int> batch;         // experiments per job; automatic when absent
    bool resume = false;
    bool progress = false;            // the progress line even when standard error is not a terminal
    // On a Slurm cluster (slurm_array.h): one job array instead of parallel.
    bool slurm = false;
    std::string partition;                  // --partition; "" for the cluster's default
    std::string timeLimit;                  // --time, as sbatch takes it
    std::string account;                    // --account
    std::vector<std::string> sbatchOptions;  // each --sbatch: one more sbatch option
    int signalSeconds = 120;                // --signal-before: SIGUSR1 that long before the time limit
    bool detach = false;                    // return once the array is submitted
    std::string collect;                    // --collect DIR: gather the results of the sweep in DIR
    std::string verifyFolder;         // --verify: the sweep whose experiments are re-run and checked
    std::optional<int> sample;        // --sample: how many of them (all when absent)
    double alpha = 0.05;              // the page's level of significance (Holm-adjusted), above 0, below 1
    std::string blocks;               // a swept key whose values are blocks (Friedman's test); "" for none
};

struct ParsedSweepCommandLine {
    std::optional<SweepCommandLine> commandLine;  // absent when there is nothing to run
    int exitStatus = 0;                           // the status to end with when it is absent
};

// Reads the words after the program's name. --help and --version write their text to out and
// end with status 0; a misused command line is reported on err ("valdrin-sweep: error: ...")
// and ends with status 2.
ParsedSweepCommandLine parseSweepCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                                             std::ostream& err);

}  // namespace Valdrin
