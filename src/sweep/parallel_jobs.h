// Running the experiments through GNU parallel: the one command every job runs, parallel's
// arguments, and parallel as a child process that the sweep watches and can stop.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Valdrin {

// The checkpoint every experiment keeps in its folder, from which an interrupted experiment goes
// on when the sweep is resumed.
constexpr const char* kExperimentCheckpoint = "experiment.checkpoint";

// The files every experiment also writes, as the sweep's command line asks.
struct ExperimentOutputs {
    bool ioh = false;     // --ioh: the IOHprofiler files in kExperimentIoh
    bool report = false;  // --report: report.html
    bool plot = false;    // --plot: convergence.svg
};

// The folder of an experiment's IOHprofiler files, in its own folder.
constexpr const char* kExperimentIoh = "ioh";

// The program's arguments for one experiment, run in its folder: the configuration, the runs,
// the results files the sweep collects, those asked for besides, and the experiment's checkpoint
// (written after every run and every 10 minutes). An option every experiment takes goes here.
std::vector<std::string> programArguments(int runs, const ExperimentOutputs& outputs = {});

// The text as one word of a POSIX shell: unchanged when it holds only characters no shell
// reads specially, else in single quotes.
std::string shellWord(const std::string& text);

// The shell command a job runs, from the sweep's folder (or its copy on a host), for a batch of
// experiments (parallel's {} stands for their folders, each quoted by parallel): first every
// folder's record (kJobRecord) is emptied, then for each folder in turn, in a subshell, into the
// folder and the copy of the program in the sweep's folder with the arguments (with labelled,
// --label and the folder's own name, such as 07_20_0.3_seed2), resuming from the experiment's
// checkpoint when the folder holds one, its standard output and error appended to stdout.txt and
// stderr.txt in the folder (a new experiment's folder holds neither; a resumed one's stdout.txt
// was cut back to where its checkpoint was taken); then its record is written: the program's
// exit status and the times before and after it (bash's $EPOCHREALTIME, or date +%s.%N in
// another shell). An experiment ended by SIGINT or
// SIGTERM (status 130 or 143) ends the batch with its status; otherwise the batch ends with 0
// when every experiment did, else 1.
std::string jobCommand(const std::vector<std::string>& arguments, bool labelled = false);

// What the job log says an experiment ran: "cd FOLDER && ../../valdrin ARGUMENTS" (with
// labelled, "--label NAME" after them), {} standing for the folder and {/} for its name.
std::string experimentCommand(const std::vector<std::string>& arguments, bool labelled = false);

// How parallel is to run the sweep's jobs.
struct ParallelPlan {
    std::string jobList = "jobs.txt";   // one experiment folder per line, relative to the sweep's folder
    std::string jobLog = "joblog";
    std::string command;                // jobCommand(...)
    int batch = 1;                      // experiments (lines of the job list) per job
    std::optional<int> jobs;            // jobs at a time on each machine; parallel's own default else
    std::string hostsFile;              // absolute path of a file of sshlogins; "" for this machine alone
    std::string remoteFolder;           // the working folder on the hosts, relative to the login folder
    // The files of an experiment's folder a host needs to run it (config.xml, and matrix.txt
    // for the submatrix task).
    std::vector<std::string> inputs = {"config.xml"};
    // Files every experiment shares, relative to the sweep's folder, sent to each host once with
    // the program (a problem plugin's library).
    std::vector<std::string> baseFiles;
};

// parallel's arguments (without the program's name) for the plan, run from the sweep's folder.
// Each job takes the next batch lines of the job list (-N). Failing jobs do not stop the others
// (--halt never); every job's line goes to the job log. With hosts, every job runs in the
// working folder on its host: the program (the copy named "valdrin") is sent to each host once
// (--basefile), each experiment's inputs before its batch runs (--transferfile) and its whole
// folder comes back after the batch ran (--return). Nothing is removed job by job (parallel's
// --cleanup removes the files it sent, not a folder that came back): the sweep removes the
// working folder from every host once at the end.
std::vector<std::string> parallelArguments(const ParallelPlan& plan);

// parallel's arguments that remove the working folder from every host once, run from the
// sweep's folder.
std::vector<std::string> remoteCleanupArguments(const std::string& hostsFile, const std::string& remoteFolder);

// The path of the program of that name found on the PATH; "" when there is none.
std::string foundOnPath(const std::string& program);

// parallel as a child process: started in its own process group in the given folder, standard
// input from /dev/null, standard output to the sweep's standard error, with PARALLEL_HOME set to
// the given folder and $PARALLEL (options from the environment) removed. If the sweep dies,
// parallel gets SIGTERM.
class ParallelProcess {
public:
    ParallelProcess(const std::vector<std::string>& arguments, const std::string& folder, const std::string& home);
    ~ParallelProcess();
    ParallelProcess(const ParallelProcess&) = delete;
    ParallelProcess& operator=(const ParallelProcess&) = delete;

    // Waits until parallel ends, calling tick about every 100 ms. When stop() returns true (the
    // sweep was asked to stop), parallel is sent SIGTERM, and again every two seconds while it
    // has not ended (it ignores the signal until its first job has started); on SIGTERM it
    // stops its jobs at once and ends. Returns parallel's exit status (128 + the signal when a
    // signal ended it).
    int wait(const std::function<void()>& tick, const std::function<bool()>& stop);

private:
    int pid_ = -1;
    bool ended_ = false;
};

}  // namespace Valdrin
