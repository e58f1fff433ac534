// Slurm's client commands as child processes, the submission and the watch of a sweep's array.
#include "sweep/slurm_array.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "core/failure.h"
#include "core/output_file.h"
#include "driver/interruption.h"
#include "sweep/batches.h"
#include "sweep/parallel_jobs.h"
#include "sweep/sweep_progress.h"

namespace Valdrin {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// How long a cancelled array's tasks are given to save their checkpoints and leave the queue.
constexpr auto kCancelGrace = std::chrono::seconds(60);
// How long squeue may fail in a row before the watch gives up.
constexpr auto kQueueSilence = std::chrono::seconds(120);

std::string firstLine(const std::string& text) {
    const std::size_t start = text.find_first_not_of(" \n");
    if (start == std::string::npos) return "";
    return text.substr(start, text.find('\n', start) - start);
}

// The command's own words when it failed: its standard error, else its output, else its status.
std::string wordsOf(const ToolResult& result) {
    std::string words = result.err.empty() ? result.out : result.err;
    while (!words.empty() && (words.back() == '\n' || words.back() == ' ')) words.pop_back();
    return words.empty() ? "it ended with status " + std::to_string(result.status) : words;
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) failPlainly(cannotWrite(path.string(), errno != 0 ? errno : EIO));
}

}  // namespace

ToolResult runTool(const std::string& program, const std::vector<std::string>& arguments, const std::string& input) {
    ToolResult result;
    const std::string path = foundOnPath(program);
    if (path.empty()) {
        result.status = 127;
        result.err = program + ": not found on the PATH";
        return result;
    }
    // The input (a batch script) from an unlinked temporary file: a command that ends without
    // reading it cannot leave the sweep writing into a pipe no one reads.
    int in = -1;
    if (input.empty()) {
        in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    } else {
        std::string name = (fs::temp_directory_path() / "valdrin-sweep-input-XXXXXX").string();
        in = mkostemp(name.data(), O_CLOEXEC);
        if (in >= 0) {
            unlink(name.c_str());
            const bool whole = write(in, input.data(), input.size()) == static_cast<ssize_t>(input.size());
            if (!whole || lseek(in, 0, SEEK_SET) != 0) close(in), in = -1;
        }
    }
    int out[2];
    int err[2];
    if (in < 0) {
        result.err = std::string("cannot make the input of ") + program + ": " + std::strerror(errno);
        return result;
    }
    if (pipe(out) != 0) {
        close(in);
        return result;
    }
    if (pipe(err) != 0) {
        close(in), close(out[0]), close(out[1]);
        return result;
    }
    std::vector<std::string> words = {path};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        // Its own process group: Ctrl-C at the terminal reaches the sweep, which decides.
        setpgid(0, 0);
        dup2(in, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        for (int descriptor : {out[0], out[1], err[0], err[1]}) close(descriptor);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in);
    close(out[1]);
    close(err[1]);
    if (child < 0) {
        close(out[0]), close(err[0]);
        result.err = std::string("cannot start ") + program + ": " + std::strerror(errno);
        return result;
    }
    pollfd polls[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int reading = 2;
    char buffer[4096];
    while (reading > 0) {
        if (poll(polls, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (polls[i].fd < 0 || polls[i].revents == 0) continue;
            const ssize_t got = read(polls[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(polls[i].fd);
                polls[i].fd = -1;
                --reading;
            }
        }
    }
    for (const pollfd& left : polls) {
        if (left.fd >= 0) close(left.fd);
    }
    int raw = 0;
    while (waitpid(child, &raw, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : 255;
    return result;
}

int checkSlurmCluster(const std::string& folder, const std::string& partition,
                      const std::vector<std::string>& optionWords, const std::string& timeLimit, int signalSeconds) {
    const std::optional<long long> limit = timeLimitSeconds(timeLimit);
    if (limit && signalSeconds >= *limit) {
        failPlainly("the time limit's warning would come before the task starts: --signal-before " +
                    std::to_string(signalSeconds) + " is not shorter than --time " + timeLimit + " (" +
                    std::to_string(*limit) + " s); give a shorter --signal-before or a longer --time");
    }
    for (const char* program : {"sbatch", "squeue", "scontrol", "scancel"}) {
        if (foundOnPath(program).empty()) {
            failPlainly(std::string("--slurm submits through Slurm's commands, and ") + program +
                        " is not on the PATH (run valdrin-sweep where Slurm's client commands are, such as a "
                        "cluster's login node)");
        }
    }
    if (!fitsSbatchLine(folder)) {
        failPlainly("--slurm needs a sweep folder whose path holds no blank or quote (the batch script's #SBATCH "
                    "lines name it): " + folder);
    }
    for (const std::string& word : optionWords) {
        if (!fitsSbatchLine(word)) {
            failPlainly("the sbatch option \"" + word + "\" cannot go into an #SBATCH line: give each option as one "
                        "word without blanks or quotes, such as --sbatch=--mem=2G");
        }
    }
    const ToolResult configuration = runTool("scontrol", {"show", "config"});
    if (configuration.status != 0) {
        failPlainly("Slurm does not answer (scontrol show config: " + firstLine(wordsOf(configuration)) + ")");
    }
    if (!partition.empty()) {
        const ToolResult shown = runTool("scontrol", {"show", "partition", partition});
        if (shown.status != 0) {
            failPlainly("the partition " + partition + " does not exist on this cluster (scontrol show partition: " +
                        firstLine(wordsOf(shown)) + "); sinfo lists the partitions");
        }
    }
    return maxArraySizeOf(configuration.out).value_or(1001);
}

void testSlurmSubmission(const std::string& script) {
    const ToolResult test = runTool("sbatch", {"--test-only"}, script);
    if (test.status != 0) failPlainly("sbatch refuses the job array, nothing was submitted: " + wordsOf(test));
}

std::string submitSlurmArray(const std::string& folder, const std::string& script, const std::vector<Experiment>& queued,
                             const std::string& base) {
    const fs::path root(folder);
    std::string list;
    for (const Experiment& experiment : queued) {
        list += experiment.folder + "\n";
        // A record tells the task the experiment has ended: those to run have none.
        writeText(root / experiment.folder / kJobRecord, "");
    }
    writeText(root / kSlurmTaskList, list);
    writeText(root / kSlurmScript, script);
    std::error_code error;
    fs::create_directories(root / kSlurmOutput, error);
    if (error) failPlainly("cannot create the folder " + (root / kSlurmOutput).string() + ": " + error.message());
    const ToolResult submitted = runTool("sbatch", {"--parsable", (root / kSlurmScript).string()});
    const std::string jobId = submitted.status == 0 ? submittedJobId(submitted.out) : "";
    if (jobId.empty()) failPlainly("sbatch refuses the job array, nothing was submitted: " + wordsOf(submitted));
    writeText(root / kSlurmJobFile, "job " + jobId + "\nbase " + base + "\n");
    return jobId;
}

std::optional<SlurmJobFile> readSlurmJobFile(const std::string& folder) {
    std::ifstream in(fs::path(folder) / kSlurmJobFile);
    if (!in) return std::nullopt;
    SlurmJobFile file;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("job ", 0) == 0) file.jobId = line.substr(4);
        if (line.rfind("base ", 0) == 0) file.base = line.substr(5);
    }
    if (file.jobId.empty()) return std::nullopt;
    return file;
}

std::optional<std::vector<QueuedTask>> queuedTasks(const std::string& jobId, std::string* error) {
    const ToolResult listed = runTool("squeue", {"-h", "-r", "-j", jobId, "-o", "%i %T %r"});
    if (listed.status == 0) return queuedTasksOf(listed.out);
    // A job that has left the queue (and Slurm's memory) is not known by its id any more.
    if (listed.err.find("Invalid job id") != std::string::npos) return std::vector<QueuedTask>{};
    if (error != nullptr) *error = firstLine(wordsOf(listed));
    return std::nullopt;
}

namespace {

// No batch log in a sweep run by Slurm: every line of the job log comes from an experiment's record.
const std::string& withoutBatchLog(const std::string& folder) {
    std::error_code ignored;
    fs::remove(fs::path(folder) / kBatchLog, ignored);
    return folder;
}

}  // namespace

SlurmRecords::SlurmRecords(const std::string& folder, std::vector<Experiment> queued, std::string command)
    : merger_(withoutBatchLog(folder), std::move(queued), 1, std::move(command)) {}

void logEndedExperiments(const std::string& folder, const std::vector<Experiment>& experiments,
                         const std::string& command) {
    std::map<int, std::vector<double>> loggedStarts;
    for (const JobRecord& line : readJobLog((fs::path(folder) / "joblog").string())) {
        loggedStarts[line.sequence].push_back(line.start);
    }
    std::vector<Experiment> unlogged;
    for (const Experiment& experiment : experiments) {
        const std::optional<ExperimentRecord> record =
            readExperimentRecord((fs::path(folder) / experiment.folder / kJobRecord).string());
        if (!record) continue;
        bool inLog = false;
        // The log keeps a start to the millisecond.
        for (double start : loggedStarts[experiment.id]) inLog = inLog || std::abs(start - record->start) < 0.01;
        if (!inLog) unlogged.push_back(experiment);
    }
    if (!unlogged.empty()) SlurmRecords(folder, unlogged, command).update();
}

SlurmWatchEnd watchSlurmArray(const std::string& folder, const std::string& jobId, const std::vector<Experiment>& queued,
                              int total, bool progressShown, const std::string& command) {
    SlurmWatchEnd end;
    SlurmRecords records(folder, queued, command);
    SweepProgress progress(progressShown, (fs::path(folder) / "joblog").string(), total);
    std::optional<Clock::time_point> cancelled;
    Clock::time_point answered = Clock::now();
    Clock::time_point lastLook{};
    for (;;) {
        progress.update();
        if (pendingInterruption() != 0 && !cancelled) {
            end.signal = pendingInterruption();
            runTool("scancel", {jobId});
            cancelled = Clock::now();
        }
        // Once a second: the experiments' records (a file each on a shared file system) and the queue.
        if (Clock::now() - lastLook >= std::chrono::seconds(1)) {
            lastLook = Clock::now();
            records.update();
            std::string error;
            const std::optional<std::vector<QueuedTask>> tasks = queuedTasks(jobId, &error);
            if (tasks) {
                answered = Clock::now();
                if (tasks->empty()) break;
                for (const QueuedTask& task : *tasks) {
                    // A requeued task waits for its begin time (about two minutes): let it go now.
                    if (!cancelled && task.state == "PENDING" && task.reason == "BeginTime") {
                        runTool("scontrol", {"update", "JobId=" + task.id, "StartTime=now"});
                    }
                }
            } else if (Clock::now() - answered > kQueueSilence) {
                end.lost = "squeue has not answered for two minutes (" + error + ")";
                break;
            }
            if (cancelled && Clock::now() - *cancelled > kCancelGrace) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    records.update();
    progress.update(true);
    progress.clear();
    return end;
}

}  // namespace Valdrin
