// The job array a sweep is submitted to Slurm as: its batch script, the size of its tasks, and
// what valdrin-sweep reads back from Slurm's commands. Nothing here runs a command.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Valdrin {

// The files of a sweep submitted to Slurm, in its folder.
constexpr const char* kSlurmScript = "slurm.sh";          // the batch script, as submitted
constexpr const char* kSlurmTaskList = "slurm-tasks.txt";  // the experiments' folders, one a line
constexpr const char* kSlurmJobFile = "slurm-job.txt";     // the array's job id and the base's path
constexpr const char* kSlurmOutput = "slurm";              // the tasks' own output, one file per task

// Seconds before its time limit a task is signalled (SIGUSR1) to save its checkpoint and requeue.
constexpr int kDefaultSignalSeconds = 120;

// What the batch script is made of.
struct SlurmScriptPlan {
    std::string folder;                    // the sweep's folder (absolute), on a file system the nodes share
    std::vector<std::string> arguments;    // the program's arguments for one experiment (programArguments)
    bool labelled = false;                 // --label with the folder's name (the sweep's --ioh)
    int tasks = 1;                         // array tasks: 0 .. tasks - 1
    int perTask = 1;                       // experiments a task runs one after the other
    std::optional<int> throttle;           // tasks running at once (%K)
    int signalSeconds = kDefaultSignalSeconds;
    std::string partition;                 // "" for the cluster's default
    std::string timeLimit;                 // as sbatch's --time takes it; "" for the partition's default
    std::string account;
    std::vector<std::string> extraOptions;  // further sbatch options, each as one word ("--mem=2G")
};

// The batch script. Task i runs the experiments on lines i * perTask + 1 to (i + 1) * perTask
// of kSlurmTaskList, each in its folder with the program copy in the sweep's folder, from its
// checkpoint when the folder holds one, and writes the experiment's record (kJobRecord: status,
// start, end, node) when it ends; one whose record is written already is skipped (it ended in an
// earlier start of the task). The program runs in the background while the script waits, so
// that the script's traps run at once: on SIGUSR1 (sent signalSeconds before the time limit) the
// script sends the program SIGTERM (it saves its checkpoint and ends), waits for it, and requeues
// the task, to go on from the checkpoint when Slurm starts it again; on SIGTERM (a cancel, a
// requeue, a preemption, the time limit itself), which Slurm sends to the program as well, it
// waits for the program and ends. A stopped experiment's record is not written. The task ends with 1 when an experiment failed, else 0.
std::string slurmBatchScript(const SlurmScriptPlan& plan);

// A task holds about this many seconds of expected work when --batch does not say: Slurm spends
// about a second starting one.
constexpr double kSlurmTaskSeconds = 30.0;

// The experiments each task runs: the one asked for (--batch); else as many as fit in
// kSlurmTaskSeconds of expected work (at least one, at most kLargestBatch, and no more than makes
// two tasks for each of the throttle's slots when there is one); raised so that the tasks fit into
// an array of at most maxArraySize tasks (indices 0 to maxArraySize - 1).
int slurmTaskSize(std::optional<int> asked, int experiments, int maxArraySize, double expectedSeconds = 0.0,
                  std::optional<int> throttle = std::nullopt);

// The tasks that run that many experiments, perTask to a task.
int slurmTaskCount(int experiments, int perTask);

// MaxArraySize from the text of `scontrol show config`; nothing when it does not say.
std::optional<int> maxArraySizeOf(const std::string& configuration);

// The job id sbatch --parsable printed ("ID" or "ID;CLUSTER"); "" when it printed none.
std::string submittedJobId(const std::string& output);

// The tasks of an array as `squeue -h -r -o "%i %T %r"` lists them.
struct QueuedTask {
    std::string id;      // "JOB_TASK", or "JOB_[1-5]" for tasks not started yet
    std::string state;   // PENDING, RUNNING, COMPLETING, ...
    std::string reason;  // why it waits (BeginTime for a requeued task's delay), "None" else
};
std::vector<QueuedTask> queuedTasksOf(const std::string& output);

// The seconds of a time limit as sbatch's --time takes it ("MINUTES", "MINUTES:SECONDS",
// "HOURS:MINUTES:SECONDS", "DAYS-HOURS", "DAYS-HOURS:MINUTES", "DAYS-HOURS:MINUTES:SECONDS");
// nothing for "INFINITE", "UNLIMITED" or a text sbatch would not read as one (sbatch says why).
std::optional<long long> timeLimitSeconds(const std::string& limit);

// Whether the text is one word no blank or quote divides: what an #SBATCH line can carry.
bool fitsSbatchLine(const std::string& text);

}  // namespace Valdrin
