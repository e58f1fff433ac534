// A sweep's job array on a Slurm cluster: the checks before anything is written, the submission,
// watching the array while it runs (and cancelling it), and turning the experiments' records into
// the job log's lines. Slurm's client commands (sbatch, squeue, scontrol, scancel) run as child
// processes with the sweep's environment, so that SLURM_CONF and the like reach them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sweep/batches.h"
#include "sweep/slurm_script.h"
#include "sweep/sweep_plan.h"

namespace Valdrin {

// What a command printed and how it ended.
struct ToolResult {
    std::string out;
    std::string err;
    int status = -1;  // 128 + the signal when one ended it; 127 when it could not start
};

// Runs the program (found on the PATH) with the arguments, the text on its standard input.
ToolResult runTool(const std::string& program, const std::vector<std::string>& arguments, const std::string& input = "");

// Checks that the cluster can take the sweep before anything is written: sbatch, squeue,
// scontrol and scancel on the PATH, the partition (when one is named) known to scontrol, the
// folder's path and the options fit for #SBATCH lines, the time limit's warning shorter than the
// limit. Returns the cluster's MaxArraySize (1001, Slurm's default, when scontrol does not say).
// Ends with a Failure that says what is wrong.
int checkSlurmCluster(const std::string& folder, const std::string& partition,
                      const std::vector<std::string>& optionWords, const std::string& timeLimit, int signalSeconds);

// Asks sbatch whether it would take the script (--test-only, nothing is submitted); ends with a
// Failure carrying sbatch's own words when it would not.
void testSlurmSubmission(const std::string& script);

// Writes the script and the task list into the sweep's folder, empties the records of the queued
// experiments, makes the folder of the tasks' output, and submits the script. Returns the job id;
// records it with the base's path in kSlurmJobFile. Ends with a Failure carrying sbatch's words
// when sbatch refuses (nothing is submitted then).
std::string submitSlurmArray(const std::string& folder, const std::string& script, const std::vector<Experiment>& queued,
                             const std::string& base);

// What kSlurmJobFile says: the last array's job id and the base the sweep was started with.
struct SlurmJobFile {
    std::string jobId;
    std::string base;
};
std::optional<SlurmJobFile> readSlurmJobFile(const std::string& folder);

// The array's tasks still in the queue; nothing when squeue could not answer (its message in
// error when given).
std::optional<std::vector<QueuedTask>> queuedTasks(const std::string& jobId, std::string* error = nullptr);

// Turns the records the experiments' tasks wrote into the job log's lines (one per experiment,
// once), as they appear.
class SlurmRecords {
public:
    SlurmRecords(const std::string& folder, std::vector<Experiment> queued, std::string command);
    void update() { merger_.finish(); }

private:
    BatchMerger merger_;
};

// Adds to the job log a line for every experiment whose record is not in it yet (a record the
// log holds has its start time), as a sweep that did not watch its array to the end left them.
void logEndedExperiments(const std::string& folder, const std::vector<Experiment>& experiments,
                         const std::string& command);

// How watching the array ended.
struct SlurmWatchEnd {
    int signal = 0;       // the signal that interrupted the sweep (the array was cancelled), or 0
    std::string lost;     // why the queue could no longer be read ("" when the array ended)
};

// Waits until the array has left the queue, logging the experiments' records as they appear and
// drawing the progress line when asked. A task Slurm holds after a requeue (its begin time) is
// let go at once where the user may. On SIGINT or SIGTERM the array is cancelled (scancel), its
// tasks given time to save their checkpoints, and the watch ends.
SlurmWatchEnd watchSlurmArray(const std::string& folder, const std::string& jobId, const std::vector<Experiment>& queued,
                              int total, bool progress, const std::string& command);

}  // namespace Valdrin
