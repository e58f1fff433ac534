// The sweep from start to end.
#include "sweep/sweep_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

#include "config/configuration_scan.h"
#include "core/failure.h"
#include "core/file_content.h"
#include "core/output_file.h"
#include "driver/checkpoint.h"
#include "driver/command_line.h"
#include "driver/interruption.h"
#include "driver/progress.h"
#include "registry/registry.h"
#include "sweep/base_configuration.h"
#include "sweep/job_log.h"
#include "sweep/parallel_jobs.h"
#include "sweep/sweep_command_line.h"
#include "sweep/sweep_page.h"
#include "sweep/sweep_plan.h"
#include "sweep/sweep_results.h"

namespace Valdrin {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPlanFile = "plan.txt";
constexpr const char* kBaseCopy = "base.xml";
constexpr const char* kJobList = "jobs.txt";
constexpr const char* kJobLog = "joblog";
constexpr const char* kProgramCopy = "valdrin";
constexpr const char* kRemoteFolderLine = "remote-folder ";

// Everything the sweep is made of, read from the command line and the base.
struct Sweep {
    SweepCommandLine line;
    std::vector<SweptKey> keys;
    std::vector<int> seeds;
    std::string baseText;
    std::string matrix;  // the matrix.txt every experiment copies; "" when the problem reads none
    std::vector<Experiment> experiments;
    fs::path folder;     // absolute
    std::string remoteFolder;
};

std::string readWhole(const fs::path& path) {
    std::string text;
    if (!readFileContent(path.string(), text)) failPlainly("cannot read " + path.string() + ": " + std::strerror(errno));
    return text;
}

void writeWhole(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) failPlainly(cannotWrite(path.string(), errno != 0 ? errno : EIO));
}

// The first child's text of the first element of that name, as the program reads the algorithm
// and the problem; "" when there is none.
std::string chosenWord(const ConfigurationScan& scan, std::string_view element) {
    const std::vector<const ScannedElement*> found = elementsNamed(scan.root, element);
    if (found.empty() || found.front()->children.empty()) return "";
    return found.front()->children.front().text;
}

// What identifies a sweep: the same plan text means --resume may go on with it.
std::string planText(const Sweep& sweep) {
    std::string text = "valdrin-sweep plan: --resume goes on only with the same plan and base.xml\n";
    text += "runs " + std::to_string(sweep.line.runs) + "\n";
    for (const SweptKey& swept : sweep.keys) {
        text += "set " + swept.key + "=";
        for (std::size_t v = 0; v < swept.values.size(); ++v) text += (v > 0 ? "," : "") + swept.values[v];
        text += "\n";
    }
    text += "seeds ";
    for (std::size_t s = 0; s < sweep.seeds.size(); ++s) text.append(s > 0 ? "," : "").append(std::to_string(sweep.seeds[s]));
    text += "\nmatrix " + std::string(sweep.matrix.empty() ? "no" : "yes") + "\n";
    return text;
}

// A working folder for the hosts no other sweep uses: this machine's name and a random number.
std::string newRemoteFolder() {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::string name;
    for (const char* c = host; *c != '\0' && name.size() < 32; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) != 0 || *c == '-' ? *c : '-';
    }
    std::random_device random;
    char number[16];
    std::snprintf(number, sizeof number, "%08x", static_cast<unsigned>(random()));
    return ".valdrin-sweep-" + (name.empty() ? std::string("host") : name) + "-" + number;
}

void writeExperiment(const Sweep& sweep, const Experiment& experiment) {
    const fs::path folder = sweep.folder / experiment.folder;
    std::error_code error;
    fs::remove_all(folder, error);
    fs::create_directories(folder, error);
    if (error) failPlainly("cannot create the folder " + folder.string() + ": " + error.message());
    writeWhole(folder / "config.xml", configurationWith(sweep.baseText, settingsOf(sweep.keys, experiment.values, experiment.seed)));
    if (!sweep.matrix.empty()) {
        fs::copy_file(sweep.matrix, folder / "matrix.txt", fs::copy_options::overwrite_existing, error);
        if (error) failPlainly("cannot copy " + sweep.matrix + " into " + folder.string() + ": " + error.message());
    }
}

void copyProgram(const Sweep& sweep) {
    const std::string program = programBesideThis();
    if (access(program.c_str(), X_OK) != 0) {
        failPlainly("cannot find the program " + program + " that every experiment runs (it is built beside valdrin-sweep)");
    }
    std::error_code error;
    fs::copy_file(program, sweep.folder / kProgramCopy, fs::copy_options::overwrite_existing, error);
    if (error) failPlainly("cannot copy " + program + " into " + sweep.folder.string() + ": " + error.message());
}

// Whether an experiment that is to run again can go on from the checkpoint in its folder: the
// checkpoint reads as one (the program checks the rest when it resumes). Its standard output is
// then cut back to where the checkpoint was taken, since the resumed program writes from there.
bool keepsCheckpoint(const Sweep& sweep, const Experiment& experiment) {
    const fs::path folder = sweep.folder / experiment.folder;
    const fs::path checkpointFile = folder / kExperimentCheckpoint;
    if (!fs::exists(checkpointFile)) return false;
    Checkpoint checkpoint;
    try {
        checkpoint = readCheckpoint(checkpointFile.string());
    } catch (const Failure&) {
        return false;
    }
    std::error_code error;
    const fs::path out = folder / "stdout.txt";
    const std::uintmax_t length = fs::file_size(out, error);
    if (error || length < checkpoint.outputBytes) return false;
    fs::resize_file(out, checkpoint.outputBytes, error);
    return !error;
}

bool hasResults(const Sweep& sweep, const Experiment& experiment) {
    const fs::path folder = sweep.folder / experiment.folder;
    return fs::exists(folder / "runs.csv") && fs::exists(folder / "generations.csv");
}

// Lays out a new sweep's folder, or checks that the folder holds this sweep and makes every
// experiment that is to run again start afresh. Returns whether the sweep goes on (--resume with
// a job log).
bool prepareFolder(Sweep& sweep) {
    const fs::path& folder = sweep.folder;
    const std::string plan = planText(sweep);
    std::error_code error;
    if (fs::exists(folder) && !fs::is_directory(folder)) {
        failPlainly("cannot use " + folder.string() + " as the sweep's folder: it is not a folder");
    }
    if (fs::exists(folder / kPlanFile)) {
        if (!sweep.line.resume) {
            failPlainly(folder.string() + " already holds a sweep: add --resume to go on with it, or choose another --out");
        }
        std::string stored = readWhole(folder / kPlanFile);
        const std::size_t remote = stored.find(kRemoteFolderLine);
        if (remote != std::string::npos) {
            const std::size_t end = stored.find('\n', remote);
            sweep.remoteFolder = stored.substr(remote + std::strlen(kRemoteFolderLine), end - remote - std::strlen(kRemoteFolderLine));
            stored.erase(remote, end == std::string::npos ? std::string::npos : end - remote + 1);
        }
        if (stored != plan) {
            failPlainly("the sweep in " + folder.string() + " has another plan (its " + kPlanFile +
                        "): --resume needs the same --set, --seeds and --runs");
        }
        if (readWhole(folder / kBaseCopy) != sweep.baseText) {
            failPlainly("the base configuration differs from the one the sweep in " + folder.string() + " started with (its " +
                        kBaseCopy + ")");
        }
        if (!fs::exists(folder / kProgramCopy)) copyProgram(sweep);
        // Jobs the log counts as done whose results are missing run again.
        const std::string jobLog = (folder / kJobLog).string();
        const auto outcomes = jobOutcomes(readJobLog(jobLog), static_cast<int>(sweep.experiments.size()));
        std::set<int> forgotten;
        for (std::size_t i = 0; i < sweep.experiments.size(); ++i) {
            const Experiment& experiment = sweep.experiments[i];
            const bool done = outcomes[i] && outcomes[i]->succeeded();
            if (done && hasResults(sweep, experiment)) continue;
            if (done) forgotten.insert(experiment.id);
            // An experiment that was stopped (never logged, or ended by a signal) goes on from its
            // checkpoint; one that failed, or has none to go on from, starts afresh.
            const bool failed = outcomes[i] && !outcomes[i]->succeeded() && outcomes[i]->signal == 0 &&
                                outcomes[i]->exitValue != 128 + SIGINT && outcomes[i]->exitValue != 128 + SIGTERM;
            if (!done && !failed && keepsCheckpoint(sweep, experiment)) continue;
            writeExperiment(sweep, experiment);
        }
        if (!forgotten.empty()) forgetJobs(jobLog, forgotten);
        writeWhole(folder / kJobList, [&] {
            std::string list;
            for (const Experiment& experiment : sweep.experiments) list += experiment.folder + "\n";
            return list;
        }());
        return fs::exists(jobLog);
    }
    if (fs::exists(folder) && !fs::is_empty(folder)) {
        failPlainly(folder.string() + " is not empty and holds no sweep: choose an empty or new folder with --out");
    }
    fs::create_directories(folder, error);
    if (error) failPlainly("cannot create the sweep's folder " + folder.string() + ": " + error.message());
    sweep.remoteFolder = newRemoteFolder();
    writeWhole(folder / kBaseCopy, sweep.baseText);
    copyProgram(sweep);
    std::string list;
    for (const Experiment& experiment : sweep.experiments) {
        writeExperiment(sweep, experiment);
        list += experiment.folder + "\n";
    }
    writeWhole(folder / kJobList, list);
    // The plan last: a folder with a plan holds a whole sweep.
    writeWhole(folder / kPlanFile, plan + kRemoteFolderLine + sweep.remoteFolder + "\n");
    return false;
}

// Whether the progress line is shown: when asked for, or when standard error is a terminal.
bool progressWanted(const SweepCommandLine& line) { return line.progress || isatty(STDERR_FILENO) != 0; }

// The progress line: experiments done of all, failures, time elapsed and left, from the job log
// (read as it grows: only the lines added since the last look).
class SweepProgress {
public:
    SweepProgress(bool enabled, std::string jobLog, int total)
        : enabled_(enabled), jobLog_(std::move(jobLog)), total_(total), states_(static_cast<std::size_t>(total), 0),
          start_(std::chrono::steady_clock::now()) {
        readNewLines();
        finishedAtStart_ = done_ + failed_;
    }

    void update(bool force = false) {
        if (!enabled_) return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - lastDraw_ < std::chrono::milliseconds(250)) return;
        lastDraw_ = now;
        readNewLines();
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        std::ostringstream line;
        line << "valdrin-sweep: " << done_ << " of " << total_ << " experiments done, " << failed_ << " failed, "
             << formatDuration(elapsed) << " elapsed";
        const int finishedNow = done_ + failed_ - finishedAtStart_;
        const int left = total_ - done_ - failed_;
        if (finishedNow > 0 && left > 0) line << ", about " << formatDuration(elapsed * left / finishedNow) << " left";
        std::cerr << "\r\033[K" << line.str() << std::flush;
        shown_ = true;
    }

    void clear() {
        if (!shown_) return;
        std::cerr << "\r\033[K" << std::flush;
        shown_ = false;
    }

private:
    // Each job's state: 0 no line yet, 1 failed, 2 succeeded (which a later line cannot undo).
    void readNewLines() {
        std::ifstream in(jobLog_, std::ios::binary);
        if (!in) return;
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        if (size <= offset_) return;
        in.seekg(offset_);
        std::string text(static_cast<std::size_t>(size - offset_), '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        const std::size_t complete = text.rfind('\n');
        if (complete == std::string::npos) return;
        offset_ += static_cast<std::streamoff>(complete + 1);
        std::istringstream lines(text.substr(0, complete + 1));
        for (std::string line; std::getline(lines, line);) {
            const std::optional<JobRecord> record = jobRecordOf(line);
            if (!record || record->sequence > total_) continue;
            char& state = states_[static_cast<std::size_t>(record->sequence - 1)];
            if (state == 2) continue;
            if (state == 1) --failed_;
            state = record->succeeded() ? 2 : 1;
            ++(state == 2 ? done_ : failed_);
        }
    }

    bool enabled_;
    std::string jobLog_;
    int total_;
    std::vector<char> states_;
    std::streamoff offset_ = 0;
    int done_ = 0;
    int failed_ = 0;
    int finishedAtStart_ = 0;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

int availableCores() {
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return cores > 0 ? static_cast<int>(cores) : 1;
}

// Runs parallel over the job list; returns its exit status.
int runJobs(const Sweep& sweep, bool resuming) {
    ParallelPlan plan;
    plan.jobList = kJobList;
    plan.jobLog = kJobLog;
    plan.command = jobCommand(programArguments(sweep.line.runs));
    plan.resume = resuming;
    plan.jobs = sweep.line.jobs;
    if (sweep.line.hostsFile.empty()) {
        if (!plan.jobs) plan.jobs = availableCores();
    } else {
        plan.hostsFile = fs::absolute(sweep.line.hostsFile).string();
        plan.remoteFolder = sweep.remoteFolder;
        if (!sweep.matrix.empty()) plan.inputs.push_back("matrix.txt");
        // A job on this machine (":" in the hosts file) goes into the working folder as the others
        // do: here it is the sweep's folder itself.
        const fs::path here = sweep.folder / sweep.remoteFolder;
        std::error_code error;
        if (!fs::is_symlink(here)) fs::create_directory_symlink(".", here, error);
        if (error) failPlainly("cannot make " + here.string() + ": " + error.message());
    }
    SweepProgress progress(progressWanted(sweep.line), (sweep.folder / kJobLog).string(),
                           static_cast<int>(sweep.experiments.size()));
    ParallelProcess parallel(parallelArguments(plan), sweep.folder.string(), (sweep.folder / ".parallel").string());
    const int status = parallel.wait([&progress] { progress.update(); }, [] { return pendingInterruption() != 0; });
    progress.update(true);
    progress.clear();
    return status;
}

// Removes the working folder from every host; a failure only warns, since the results are home.
void cleanUpHosts(const Sweep& sweep) {
    ParallelProcess cleanup(remoteCleanupArguments(fs::absolute(sweep.line.hostsFile).string(), sweep.remoteFolder),
                            sweep.folder.string(), (sweep.folder / ".parallel").string());
    const int status = cleanup.wait([] {}, [] { return pendingInterruption() != 0; });
    if (status != 0) {
        std::cerr << "valdrin-sweep: warning: the working folder " << sweep.remoteFolder
                  << " could not be removed from every host (parallel ended with status " << status << ")\n";
    }
    std::error_code ignored;
    fs::remove(sweep.folder / sweep.remoteFolder, ignored);
}

void reportFailures(const Sweep& sweep, const std::vector<ExperimentOutcome>& outcomes) {
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const ExperimentOutcome& outcome = outcomes[i];
        if (outcome.state != ExperimentOutcome::State::Failed) continue;
        const Experiment& experiment = sweep.experiments[i];
        std::cerr << "valdrin-sweep: experiment " << experiment.id << " failed (" << outcome.reason
                  << "): " << (sweep.folder / experiment.folder).string() << "\n";
        if (outcome.errorTail.empty()) {
            std::cerr << "  its standard error is empty\n";
            continue;
        }
        std::cerr << "  the last lines of its standard error (stderr.txt):\n";
        for (const std::string& line : outcome.errorTail) std::cerr << "    " << line << "\n";
    }
}

int sweep(const SweepCommandLine& line) {
    const InterruptionGuard interruption;
    Sweep sweep;
    sweep.line = line;
    try {
        for (const std::string& set : line.sets) sweep.keys.push_back(parseSetting(set));
        checkSweptKeys(sweep.keys);
        sweep.seeds = parseSeeds(line.seeds);
        checkPlanSize(sweep.keys, sweep.seeds);
    } catch (const UsageError& error) {
        std::cerr << "valdrin-sweep: error: " << error.what() << "\nRun 'valdrin-sweep --help' for the command line.\n";
        return kExitMisused;
    }
    try {
        sweep.baseText = readWhole(line.base);
        const std::vector<std::string> refusals = sweepRefusals(sweep.baseText, line.base, sweep.keys, sweep.seeds.front());
        if (!refusals.empty()) {
            for (const std::string& refusal : refusals) std::cerr << "valdrin-sweep: error: " << refusal << "\n";
            std::cerr << "valdrin-sweep: error: nothing was run\n";
            return kExitFailed;
        }
        const ConfigurationScan scan = scanConfiguration(sweep.baseText);
        const std::string problem = chosenWord(scan, "problem");
        const ProblemRow* problemRow = rowNamed(problemRows(), problem);
        if (problemRow != nullptr && problemRow->id == ProblemKind::Submatrix) {
            sweep.matrix = (fs::absolute(line.base).parent_path() / "matrix.txt").string();
            if (!fs::is_regular_file(sweep.matrix)) {
                failPlainly(problem + " reads matrix.txt, which is not beside " + line.base + " (looked for " + sweep.matrix + ")");
            }
        }
        sweep.experiments = expandPlan(sweep.keys, sweep.seeds);
        sweep.folder = fs::absolute(line.outputFolder).lexically_normal();
        if (sweep.folder.has_filename() == false) sweep.folder = sweep.folder.parent_path();
        if (!line.hostsFile.empty() && !fs::is_regular_file(line.hostsFile)) {
            failPlainly("cannot read the hosts file " + line.hostsFile);
        }
        if (foundOnPath("parallel").empty()) {
            failPlainly("GNU parallel is not installed (no parallel on the PATH; make deps installs it)");
        }

        const bool resuming = prepareFolder(sweep);
        const int total = static_cast<int>(sweep.experiments.size());
        std::cout << "Sweep of " << total << (total == 1 ? " experiment" : " experiments") << " ("
                  << combinationCount(sweep.keys) << (combinationCount(sweep.keys) == 1 ? " combination" : " combinations")
                  << " x " << sweep.seeds.size() << (sweep.seeds.size() == 1 ? " seed" : " seeds") << ", " << line.runs
                  << (line.runs == 1 ? " run" : " runs") << " each) in " << sweep.folder.string() << "\n";
        if (resuming) {
            const auto outcomes = jobOutcomes(readJobLog((sweep.folder / kJobLog).string()), total);
            int done = 0;
            for (const auto& outcome : outcomes) done += outcome && outcome->succeeded() ? 1 : 0;
            std::cout << "Resuming: " << done << " of " << total << " experiments already ran\n";
        }
        std::cout << std::flush;

        int parallelStatus = 0;
        if (pendingInterruption() == 0) parallelStatus = runJobs(sweep, resuming);
        const int signal = pendingInterruption();
        if (!line.hostsFile.empty() && signal == 0) cleanUpHosts(sweep);

        const std::vector<ExperimentOutcome> outcomes =
            collectOutcomes(sweep.folder.string(), sweep.experiments, readJobLog((sweep.folder / kJobLog).string()));
        const SweepRecord record{sweep.keys, sweep.experiments, outcomes, sweep.folder.string()};
        writeResultsDatabase(record, (sweep.folder / "results.sqlite").string());
        writeSweepCsv(record, (sweep.folder / "sweep.csv").string());
        const std::string title = chosenWord(scan, "algorithm") + " on " + problem;
        writeSweepPage({record, title, line.base, line.runs, sweep.seeds}, (sweep.folder / "sweep.html").string());

        int ran = 0;
        int failed = 0;
        for (const ExperimentOutcome& outcome : outcomes) {
            ran += outcome.state == ExperimentOutcome::State::Ran ? 1 : 0;
            failed += outcome.state == ExperimentOutcome::State::Failed ? 1 : 0;
        }
        const int notRun = total - ran - failed;
        reportFailures(sweep, outcomes);
        std::cout << ran << " of " << total << " experiments ran, " << failed << " failed";
        if (notRun > 0) std::cout << ", " << notRun << " did not run";
        std::cout << "\nResults: " << (sweep.folder / "results.sqlite").string() << ", "
                  << (sweep.folder / "sweep.csv").string() << ", " << (sweep.folder / "sweep.html").string() << "\n"
                  << std::flush;
        if (signal != 0) {
            std::cerr << "valdrin-sweep: interrupted by " << signalName(signal) << ": " << ran << " of " << total
                      << " experiments ran; run the same command with --resume to go on\n";
            return exitStatusFor(signal);
        }
        if (failed > 0) {
            std::cerr << "valdrin-sweep: error: " << failed << " of " << total
                      << " experiments failed; the same command with --resume runs them again\n";
            return kExitFailed;
        }
        if (notRun > 0) {
            std::cerr << "valdrin-sweep: error: GNU parallel ended with status " << parallelStatus << " before "
                      << notRun << " of " << total << " experiments ran; the same command with --resume runs them\n";
            return kExitFailed;
        }
        return kExitRan;
    } catch (const Failure& failure) {
        std::cout.flush();
        if (!failure.message().empty()) std::cerr << failure.message();
        std::cerr << "valdrin-sweep: error: " << failure.plain() << "\n" << std::flush;
        return kExitFailed;
    }
}

}  // namespace

std::string programBesideThis() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    const fs::path folder = error ? fs::current_path() : self.parent_path();
    return (folder / "valdrin").string();
}

int runSweep(const std::vector<std::string>& arguments) {
    const ParsedSweepCommandLine parsed = parseSweepCommandLine(arguments, std::cout, std::cerr);
    if (!parsed.commandLine) return parsed.exitStatus;
    return sweep(*parsed.commandLine);
}

}  // namespace Valdrin
