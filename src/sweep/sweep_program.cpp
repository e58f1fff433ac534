// The sweep from start to end.
#include "sweep/sweep_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
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
#include "driver/write_lock.h"
#include "problems/command_problem.h"
#include "problems/plugin_library.h"
#include "registry/configuration_check.h"
#include "registry/registry.h"
#include "sweep/base_configuration.h"
#include "sweep/batches.h"
#include "sweep/job_log.h"
#include "sweep/parallel_jobs.h"
#include "sweep/slurm_array.h"
#include "sweep/slurm_script.h"
#include "sweep/sweep_command_line.h"
#include "sweep/sweep_page.h"
#include "sweep/sweep_plan.h"
#include "sweep/sweep_progress.h"
#include "sweep/sweep_results.h"
#include "sweep/sweep_verify.h"

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
    std::string title;   // "ALGORITHM on PROBLEM", the page's title
    std::string matrix;  // the matrix.txt every experiment copies; "" when the problem reads none
    std::string library;  // the base's problem library (absolute); "" when it names none
    std::vector<std::string> evaluatorFiles;  // the evaluator's files beside the base, as its command names them
    std::vector<Experiment> experiments;
    std::vector<Experiment> queued;  // those this invocation runs, in the job list's order
    int batch = 1;                   // experiments per job
    fs::path folder;     // absolute
    std::string remoteFolder;
};

// What every experiment writes besides the results the sweep collects.
ExperimentOutputs outputsOf(const SweepCommandLine& line) { return {line.ioh, line.report, line.plot}; }

// Every experiment also writes its manifest.json, which valdrin-sweep --verify checks it by.
std::vector<std::string> withManifest(std::vector<std::string> arguments) {
    arguments.push_back("--manifest");
    return arguments;
}

// --- Reading and checking the sweep, before anything is written ---

// The swept keys and the seeds; a UsageError tells what the command line got wrong.
void readKeysAndSeeds(Sweep& sweep) {
    for (const std::string& set : sweep.line.sets) sweep.keys.push_back(parseSetting(set));
    checkSweptKeys(sweep.keys);
    sweep.seeds = parseSeeds(sweep.line.seeds);
    checkPlanSize(sweep.keys, sweep.seeds);
}

std::string readWhole(const fs::path& path) {
    std::string text;
    if (!readFileContent(path.string(), text)) failPlainly("cannot read " + path.string() + ": " + std::strerror(errno));
    return text;
}

// Says what every combination the base cannot run gets wrong; returns the exit status.
int refuse(const std::vector<std::string>& refusals) {
    for (const std::string& refusal : refusals) std::cerr << "valdrin-sweep: error: " << refusal << "\n";
    std::cerr << "valdrin-sweep: error: nothing was run\n";
    return kExitFailed;
}

// The first child's text of the first element of that name, as the program reads the algorithm
// and the problem; "" when there is none.
std::string chosenWord(const ConfigurationScan& scan, std::string_view element) {
    const std::vector<const ScannedElement*> found = elementsNamed(scan.root, element);
    if (found.empty() || found.front()->children.empty()) return "";
    return found.front()->children.front().text;
}

// The words the experiments use for the algorithm or the problem: the swept ones, or the base's.
std::vector<std::string> chosenWords(const Sweep& sweep, const ConfigurationScan& scan, const std::string& element) {
    for (const SweptKey& swept : sweep.keys) {
        if (chosenElement(swept.key) == element) return swept.values;
    }
    return {chosenWord(scan, element)};
}

std::string joinedWords(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
    return text;
}

// What the experiments' algorithms and problems bring: the title, and the matrix.txt beside the
// base when a problem reads one (a failure when it is missing).
void readAlgorithmAndProblem(Sweep& sweep) {
    const ConfigurationScan scan = scanConfiguration(sweep.baseText);
    const std::vector<std::string> problems = chosenWords(sweep, scan, "problem");
    sweep.title = joinedWords(chosenWords(sweep, scan, "algorithm")) + " on " + joinedWords(problems);
    for (const std::string& problem : problems) {
        const ProblemRow* problemRow = rowNamed(problemRows(), problem);
        if (problemRow == nullptr || problemRow->id != ProblemKind::Submatrix) continue;
        sweep.matrix = (fs::absolute(sweep.line.base).parent_path() / "matrix.txt").string();
        if (!fs::is_regular_file(sweep.matrix)) {
            failPlainly(problem + " reads matrix.txt, which is not beside " + sweep.line.base + " (looked for " +
                        sweep.matrix + ")");
        }
    }
}

// Where a sweep keeps its copy of the problem library, relative to its folder.
std::string libraryCopy(const Sweep& sweep) {
    return "plugins/" + fs::path(sweep.library).filename().string();
}

// The problem library the base names, which every experiment runs with its copy in the sweep's
// folder (a failure when it is not a file, or when the sweep would change it).
void readProblemLibrary(Sweep& sweep) {
    for (const SweptKey& swept : sweep.keys) {
        if (swept.key == "Problem library") {
            failPlainly("\"Problem library\" cannot be swept: sweep the problems of one library, or run a sweep per "
                        "library");
        }
    }
    const QEAParameters params = effectiveParameters(scanConfiguration(sweep.baseText));
    const std::string baseFolder = fs::absolute(sweep.line.base).parent_path().string();
    // An evaluator command runs in its experiment's folder: the files it names go there.
    if (!params.evaluatorCommand.empty()) sweep.evaluatorFiles = evaluatorFiles(params.evaluatorCommand, baseFolder);
    if (params.problemLibrary.empty()) return;
    sweep.library = fs::absolute(libraryPath(baseFolder, params.problemLibrary)).lexically_normal().string();
    if (!fs::is_regular_file(sweep.library)) {
        failPlainly("the problem library " + params.problemLibrary + " is not a file (looked for " + sweep.library + ")");
    }
}

// The sweep's folder as an absolute path without a trailing "/".
fs::path sweepFolder(const std::string& outputFolder) {
    const fs::path folder = fs::absolute(outputFolder).lexically_normal();
    return folder.has_filename() ? folder : folder.parent_path();
}

// Ends with a failure when the hosts file cannot be read or parallel is not installed.
void checkHostsAndParallel(const SweepCommandLine& line) {
    if (!line.hostsFile.empty()) {
        std::string hosts;
        if (!readFileContent(line.hostsFile, hosts)) {
            failPlainly("cannot read the hosts file " + line.hostsFile + ": " + std::strerror(errno));
        }
        if (!fs::is_regular_file(line.hostsFile)) failPlainly("cannot read the hosts file " + line.hostsFile + ": not a file");
    }
    if (foundOnPath("parallel").empty()) {
        failPlainly("GNU parallel is not installed (no parallel on the PATH; make deps installs it)");
    }
}

// --- The sweep's folder: laid out anew, or compared with the sweep it holds on --resume ---

void writeWhole(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) failPlainly(cannotWrite(path.string(), errno != 0 ? errno : EIO));
}

// The plan's line of the files every experiment also writes; "" when none (as a sweep that
// could ask for none wrote its plan).
std::string outputsLine(const SweepCommandLine& line) {
    std::string options;
    if (line.ioh) options += " --ioh";
    if (line.report) options += " --report";
    if (line.plot) options += " --plot";
    return options.empty() ? "" : "outputs" + options + "\n";
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
    if (!sweep.library.empty()) text += "library " + sweep.library + "\n";
    text += outputsLine(sweep.line);
    return text;
}

// A folder's plan.txt: the plan text, and the working folder on the hosts that follows it.
struct StoredPlan {
    std::string plan;
    std::string remoteFolder;  // "" when the file names none
};

StoredPlan readStoredPlan(const fs::path& file) {
    StoredPlan stored{readWhole(file), ""};
    const std::size_t remote = stored.plan.find(kRemoteFolderLine);
    if (remote != std::string::npos) {
        const std::size_t end = stored.plan.find('\n', remote);
        const std::size_t name = remote + std::strlen(kRemoteFolderLine);
        stored.remoteFolder = stored.plan.substr(name, end - name);
        stored.plan.erase(remote, end == std::string::npos ? std::string::npos : end - remote + 1);
    }
    return stored;
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

// The experiment's folder made afresh: its config.xml, and its matrix.txt when the problem reads one.
void writeExperiment(const Sweep& sweep, const Experiment& experiment) {
    const fs::path folder = sweep.folder / experiment.folder;
    std::error_code error;
    fs::remove_all(folder, error);
    fs::create_directories(folder, error);
    if (error) failPlainly("cannot create the folder " + folder.string() + ": " + error.message());
    std::vector<Setting> settings = settingsOf(sweep.keys, experiment.values, experiment.seed);
    // The experiment's folder is two below the sweep's, where the library's copy is.
    if (!sweep.library.empty()) settings.push_back({"Problem library", "../../" + libraryCopy(sweep)});
    writeWhole(folder / "config.xml", configurationWith(sweep.baseText, settings));
    if (!sweep.matrix.empty()) {
        fs::copy_file(sweep.matrix, folder / "matrix.txt", fs::copy_options::overwrite_existing, error);
        if (error) failPlainly("cannot copy " + sweep.matrix + " into " + folder.string() + ": " + error.message());
    }
    const fs::path baseFolder = fs::absolute(sweep.line.base).parent_path();
    for (const std::string& name : sweep.evaluatorFiles) {
        const fs::path copy = folder / name;
        fs::create_directories(copy.parent_path(), error);
        if (!error) fs::copy_file(baseFolder / name, copy, fs::copy_options::overwrite_existing, error);
        if (error) failPlainly("cannot copy " + (baseFolder / name).string() + " into " + folder.string() + ": " + error.message());
    }
}

// parallel's job list: the folder of every experiment this invocation runs, one a line.
void writeJobList(const Sweep& sweep) {
    std::string list;
    for (const Experiment& experiment : sweep.queued) list += experiment.folder + "\n";
    writeWhole(sweep.folder / kJobList, list);
}

void copyProgram(const Sweep& sweep) {
    const std::string program = programBesideThis();
    if (access(program.c_str(), X_OK) != 0) {
        failPlainly("cannot find the program " + program + " that every experiment runs (it is built beside valdrin-sweep)");
    }
    std::error_code error;
    fs::copy_file(program, sweep.folder / kProgramCopy, fs::copy_options::overwrite_existing, error);
    if (error) failPlainly("cannot copy " + program + " into " + sweep.folder.string() + ": " + error.message());
    if (sweep.library.empty()) return;
    const fs::path copy = sweep.folder / libraryCopy(sweep);
    fs::create_directories(copy.parent_path(), error);
    if (!error) fs::copy_file(sweep.library, copy, fs::copy_options::overwrite_existing, error);
    if (error) failPlainly("cannot copy " + sweep.library + " into " + copy.parent_path().string() + ": " + error.message());
}

// Whether the folder holds nothing but the lock file the sweep took in it.
bool holdsNothingButItsLock(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename() != kFolderLockName) return false;
    }
    return true;
}

// Lays out a new sweep's folder, which must be empty or new. The plan goes last: a folder with a
// plan holds a whole sweep.
void layOutFolder(Sweep& sweep) {
    const fs::path& folder = sweep.folder;
    if (fs::exists(folder) && !holdsNothingButItsLock(folder)) {
        failPlainly(folder.string() + " is not empty and holds no sweep: choose an empty or new folder with --out");
    }
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) failPlainly("cannot create the sweep's folder " + folder.string() + ": " + error.message());
    sweep.remoteFolder = newRemoteFolder();
    writeWhole(folder / kBaseCopy, sweep.baseText);
    copyProgram(sweep);
    for (const Experiment& experiment : sweep.experiments) writeExperiment(sweep, experiment);
    sweep.queued = sweep.experiments;
    writeJobList(sweep);
    writeWhole(folder / kPlanFile, planText(sweep) + kRemoteFolderLine + sweep.remoteFolder + "\n");
}

// Checks that the folder holds this sweep, which only --resume goes on with: the same plan and
// the same base. Takes the hosts' working folder from its plan.
void checkSameSweep(Sweep& sweep) {
    const fs::path& folder = sweep.folder;
    if (!sweep.line.resume) {
        failPlainly(folder.string() + " already holds a sweep: add --resume to go on with it, or choose another --out");
    }
    const StoredPlan stored = readStoredPlan(folder / kPlanFile);
    sweep.remoteFolder = stored.remoteFolder;
    if (stored.plan != planText(sweep)) {
        const bool otherOutputs = stored.plan.find("\noutputs ") != std::string::npos || !outputsLine(sweep.line).empty();
        failPlainly("the sweep in " + folder.string() + " has another plan (its " + kPlanFile +
                    "): --resume needs the same --set, --seeds and --runs" +
                    (otherOutputs ? std::string(", and the same --ioh, --report and --plot") : std::string()));
    }
    if (readWhole(folder / kBaseCopy) != sweep.baseText) {
        failPlainly("the base configuration differs from the one the sweep in " + folder.string() + " started with (its " +
                    kBaseCopy + ")");
    }
}

bool hasResults(const Sweep& sweep, const Experiment& experiment) {
    const fs::path folder = sweep.folder / experiment.folder;
    return fs::exists(folder / "runs.csv") && fs::exists(folder / "generations.csv");
}

// Whether the job was stopped rather than failed: never logged, or ended by a signal (to it, or
// to the program, whose shell then gives 128 + SIGINT or SIGTERM).
bool wasStopped(const std::optional<JobRecord>& outcome) {
    return !outcome || outcome->signal != 0 || outcome->exitValue == 128 + SIGINT || outcome->exitValue == 128 + SIGTERM;
}

// Whether an experiment that is to run again can go on from the checkpoint in its folder: the
// checkpoint reads as one (the program checks the rest when it resumes) and its standard output
// holds what the checkpoint counts. The resumed program cuts stdout.txt back to the checkpoint
// itself, as it does any standard output appended to the interrupted experiment's file.
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
    return !error && length >= checkpoint.outputBytes;
}

// The lock of an experiment's folder, taken while the sweep readies it: an experiment still
// running there (left by a sweep that was killed) is not reset under its feet.
WriteLock lockExperiment(const Sweep& sweep, const Experiment& experiment) {
    const fs::path folder = sweep.folder / experiment.folder;
    if (!fs::is_directory(folder)) return {};
    return WriteLock(folderLockPath(folder.string()),
                     {"experiment " + std::to_string(experiment.id) + "'s folder " + folder.string(), "valdrin-sweep",
                      "it still runs (left by a sweep that was stopped?); wait for it to end, then --resume again",
                      folderUnwritable(folder.string())});
}

// Readies every experiment that is to run again on --resume, and queues it. One the job log
// counts as done whose results are missing starts afresh and leaves the log, so that its new line
// alone tells how it went; one that was stopped goes on from its checkpoint; one that failed, or
// has no checkpoint to go on from, starts afresh.
void readyExperimentsToRunAgain(Sweep& sweep) {
    const std::string jobLog = (sweep.folder / kJobLog).string();
    const auto outcomes = jobOutcomes(readJobLog(jobLog), static_cast<int>(sweep.experiments.size()));
    std::set<int> forgotten;
    for (std::size_t i = 0; i < sweep.experiments.size(); ++i) {
        const Experiment& experiment = sweep.experiments[i];
        const bool done = outcomes[i] && outcomes[i]->succeeded();
        if (done && hasResults(sweep, experiment)) continue;
        const WriteLock experimentLock = lockExperiment(sweep, experiment);
        sweep.queued.push_back(experiment);
        if (done) forgotten.insert(experiment.id);
        if (!done && wasStopped(outcomes[i]) && keepsCheckpoint(sweep, experiment)) continue;
        writeExperiment(sweep, experiment);
    }
    if (!forgotten.empty()) forgetJobs(jobLog, forgotten);
}

// Makes the sweep's folder when it is missing and takes its lock.
WriteLock lockSweepFolder(const fs::path& folder) {
    if (fs::exists(folder) && !fs::is_directory(folder)) {
        failPlainly("cannot use " + folder.string() + " as the sweep's folder: it is not a folder");
    }
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) failPlainly("cannot create the sweep's folder " + folder.string() + ": " + error.message());
    return WriteLock(folderLockPath(folder.string()),
                     {folderSubject(folder.string()), "valdrin-sweep",
                      "one program writes in a folder at a time; wait for it to end (--resume then goes on with "
                      "the sweep), or choose another --out",
                      folderUnwritable(folder.string())});
}

// Lays out a new sweep's folder, or checks that the folder holds this sweep and readies what is
// to run again. Returns whether the sweep goes on (--resume with a job log).
bool prepareFolder(Sweep& sweep) {
    const fs::path& folder = sweep.folder;
    if (fs::exists(folder) && !fs::is_directory(folder)) {
        failPlainly("cannot use " + folder.string() + " as the sweep's folder: it is not a folder");
    }
    if (!fs::exists(folder / kPlanFile)) {
        layOutFolder(sweep);
        return false;
    }
    checkSameSweep(sweep);
    if (!fs::exists(folder / kProgramCopy)) copyProgram(sweep);
    readyExperimentsToRunAgain(sweep);
    writeJobList(sweep);
    return fs::exists(folder / kJobLog);
}

// The first lines on standard output: what the sweep is, and how far a resumed one had come.
void announce(const Sweep& sweep, bool resuming) {
    const int total = static_cast<int>(sweep.experiments.size());
    const int combinations = combinationCount(sweep.keys);
    std::cout << "Sweep of " << total << (total == 1 ? " experiment" : " experiments") << " (" << combinations
              << (combinations == 1 ? " combination" : " combinations") << " x " << sweep.seeds.size()
              << (sweep.seeds.size() == 1 ? " seed" : " seeds") << ", " << sweep.line.runs
              << (sweep.line.runs == 1 ? " run" : " runs") << " each) in " << sweep.folder.string() << "\n";
    if (resuming) {
        const JobTally tally = tallyOf(jobOutcomes(readJobLog((sweep.folder / kJobLog).string()), total));
        std::cout << "Resuming: " << tally.succeeded << " of " << total << " experiments already ran\n";
    }
    std::cout << std::flush;
}

// --- Running the experiments through parallel ---

int availableCores() {
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return cores > 0 ? static_cast<int>(cores) : 1;
}

// How parallel is to run the sweep: on this machine's cores unless --jobs says otherwise, or on
// the hosts.
ParallelPlan parallelPlanOf(const Sweep& sweep) {
    ParallelPlan plan;
    plan.jobList = kJobList;
    plan.jobLog = kBatchLog;
    plan.command = jobCommand(withManifest(programArguments(sweep.line.runs, outputsOf(sweep.line))), sweep.line.ioh);
    plan.batch = sweep.batch;
    plan.jobs = sweep.line.jobs;
    if (sweep.line.hostsFile.empty()) {
        if (!plan.jobs) plan.jobs = availableCores();
    } else {
        plan.hostsFile = fs::absolute(sweep.line.hostsFile).string();
        plan.remoteFolder = sweep.remoteFolder;
        if (!sweep.matrix.empty()) plan.inputs.push_back("matrix.txt");
        if (!sweep.library.empty()) plan.baseFiles.push_back(libraryCopy(sweep));
        for (const std::string& name : sweep.evaluatorFiles) plan.inputs.push_back(name);
    }
    return plan;
}

// The longest an experiment of the sweep is expected to take (expectedExperimentSeconds of each
// combination's configuration).
double expectedSeconds(const Sweep& sweep) {
    double longest = 0.0;
    const int combinations = combinationCount(sweep.keys);
    for (int c = 0; c < combinations; ++c) {
        const std::string text =
            configurationWith(sweep.baseText, settingsOf(sweep.keys, combinationValues(sweep.keys, c), sweep.seeds.front()));
        const ConfigurationScan scan = scanConfiguration(text);
        const AlgorithmRow* algorithm = rowNamed(algorithmRows(), chosenWord(scan, "algorithm"));
        longest = std::max(longest, expectedExperimentSeconds(effectiveParameters(scan),
                                                              algorithm != nullptr ? algorithm->id : AlgorithmKind::GA,
                                                              sweep.line.runs));
    }
    return longest;
}

// The jobs that run at once: --jobs or this machine's cores; with hosts, the sum over the hosts of
// the jobs each line gives ("8/..."), or of those for a line that gives none.
int slotCount(const SweepCommandLine& line) {
    const int each = line.jobs ? *line.jobs : availableCores();
    if (line.hostsFile.empty()) return each;
    std::ifstream hosts(line.hostsFile);
    long long slots = 0;
    for (std::string entry; std::getline(hosts, entry);) {
        const std::size_t start = entry.find_first_not_of(" \t");
        if (start == std::string::npos || entry[start] == '#') continue;
        const std::size_t slash = entry.find('/', start);
        const std::string given = slash == std::string::npos ? "" : entry.substr(start, slash - start);
        const bool counted = !given.empty() && given.size() < 7 && given.find_first_not_of("0123456789") == std::string::npos;
        slots += counted ? std::stoi(given) : each;
    }
    return static_cast<int>(std::clamp<long long>(slots, 1, 1000000));
}

// A job on this machine (":" in the hosts file) goes into the working folder as the others do:
// here it is a link to the sweep's folder itself.
void linkWorkingFolderHere(const Sweep& sweep) {
    const fs::path here = sweep.folder / sweep.remoteFolder;
    std::error_code error;
    if (!fs::is_symlink(here)) fs::create_directory_symlink(".", here, error);
    if (error) failPlainly("cannot make " + here.string() + ": " + error.message());
}

// Whether the progress line is shown: when asked for, or when standard error is a terminal.
bool progressWanted(const SweepCommandLine& line) { return line.progress || isatty(STDERR_FILENO) != 0; }

// Runs parallel over the job list, turning the ends of its batches into the job log's lines and
// drawing the progress line meanwhile; returns its exit status.
int runParallel(const Sweep& sweep, const ParallelPlan& plan) {
    SweepProgress progress(progressWanted(sweep.line), (sweep.folder / kJobLog).string(),
                           static_cast<int>(sweep.experiments.size()));
    std::error_code ignored;
    fs::remove(sweep.folder / kBatchLog, ignored);
    BatchMerger batches(sweep.folder.string(), sweep.queued, plan.batch,
                        experimentCommand(withManifest(programArguments(sweep.line.runs, outputsOf(sweep.line))), sweep.line.ioh));
    ParallelProcess parallel(parallelArguments(plan), sweep.folder.string(), (sweep.folder / ".parallel").string());
    const int status = parallel.wait(
        [&progress, &batches] {
            batches.update();
            progress.update();
        },
        [] { return pendingInterruption() != 0; });
    batches.finish();
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

// How the running ended.
struct RunEnd {
    int parallelStatus = 0;  // 0 when parallel did not start
    int signal = 0;          // the signal that interrupted the sweep, or 0
    std::string slurmJob;    // the Slurm array's job id; "" when parallel ran the sweep
    std::string slurmState;  // on Slurm, why experiments have not run, for the closing error
};

// Runs the experiments unless the sweep was interrupted already, then clears the hosts of the
// working folder unless interrupted.
RunEnd runExperiments(const Sweep& sweep) {
    RunEnd end;
    if (pendingInterruption() == 0) {
        const ParallelPlan plan = parallelPlanOf(sweep);
        if (!sweep.line.hostsFile.empty()) linkWorkingFolderHere(sweep);
        end.parallelStatus = runParallel(sweep, plan);
    }
    end.signal = pendingInterruption();
    if (!sweep.line.hostsFile.empty() && end.signal == 0) cleanUpHosts(sweep);
    return end;
}

// --- The results and the report ---

// Each experiment's outcome from the job log and its folder, written into results.sqlite,
// sweep.csv and sweep.html.
std::vector<ExperimentOutcome> collectResults(const Sweep& sweep) {
    const std::vector<ExperimentOutcome> outcomes =
        collectOutcomes(sweep.folder.string(), sweep.experiments, readJobLog((sweep.folder / kJobLog).string()));
    const SweepRecord record{sweep.keys, sweep.experiments, outcomes, sweep.folder.string(), sweep.line.blocks};
    const std::vector<CombinationSummary> combinations = summarizeCombinations(record);
    writeResultsDatabase(record, combinations, (sweep.folder / "results.sqlite").string());
    writeSweepCsv(record, combinations, (sweep.folder / "sweep.csv").string());
    SweepPageInputs page{record, sweep.title, sweep.line.base, sweep.line.runs, sweep.seeds, sweep.line.alpha};
    page.combinations = &combinations;
    writeSweepPage(page, (sweep.folder / "sweep.html").string());
    return outcomes;
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

// Tells how the sweep ended: the failures, the count of experiments and the results on standard
// output, why not every experiment ran; returns the exit status.
int report(const Sweep& sweep, const std::vector<ExperimentOutcome>& outcomes, const RunEnd& end) {
    const int total = static_cast<int>(sweep.experiments.size());
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
    std::cout << "\nResults: " << (sweep.folder / "results.sqlite").string() << ", " << (sweep.folder / "sweep.csv").string()
              << ", " << (sweep.folder / "sweep.html").string() << "\n"
              << std::flush;
    if (end.signal != 0) {
        std::cerr << "valdrin-sweep: interrupted by " << signalName(end.signal) << ": " << ran << " of " << total
                  << " experiments ran; run the same command with --resume to go on\n";
        return exitStatusFor(end.signal);
    }
    if (failed > 0) {
        std::cerr << "valdrin-sweep: error: " << failed << " of " << total
                  << " experiments failed; the same command with --resume runs them again\n";
        return kExitFailed;
    }
    if (notRun > 0 && !end.slurmJob.empty()) {
        std::cerr << "valdrin-sweep: error: " << notRun << " of " << total << " experiments have not run: "
                  << end.slurmState << "\n";
        return kExitFailed;
    }
    if (notRun > 0) {
        std::cerr << "valdrin-sweep: error: GNU parallel ended with status " << end.parallelStatus << " before " << notRun
                  << " of " << total << " experiments ran; the same command with --resume runs them\n";
        return kExitFailed;
    }
    return kExitRan;
}

// --- On a Slurm cluster: the job array ---

// What every experiment runs, as through parallel.
std::vector<std::string> slurmArguments(const Sweep& sweep) {
    return withManifest(programArguments(sweep.line.runs, outputsOf(sweep.line)));
}

std::string slurmCommand(const Sweep& sweep) { return experimentCommand(slurmArguments(sweep), sweep.line.ioh); }

std::vector<std::string> slurmOptionWords(const SweepCommandLine& line) {
    std::vector<std::string> words = line.sbatchOptions;
    for (const std::string* given : {&line.partition, &line.timeLimit, &line.account}) {
        if (!given->empty()) words.push_back(*given);
    }
    return words;
}

SlurmScriptPlan slurmPlanOf(const Sweep& sweep, int experiments) {
    SlurmScriptPlan plan;
    plan.folder = sweep.folder.string();
    plan.arguments = slurmArguments(sweep);
    plan.labelled = sweep.line.ioh;
    plan.perTask = sweep.batch;
    plan.tasks = slurmTaskCount(experiments, sweep.batch);
    plan.throttle = sweep.line.jobs;
    plan.signalSeconds = sweep.line.signalSeconds;
    plan.partition = sweep.line.partition;
    plan.timeLimit = sweep.line.timeLimit;
    plan.account = sweep.line.account;
    plan.extraOptions = sweep.line.sbatchOptions;
    return plan;
}

// Before --resume readies the experiments: the sweep's last array must have left the queue, and
// what its tasks recorded goes into the job log.
void readySlurmResume(const Sweep& sweep) {
    if (!sweep.line.resume || !fs::exists(sweep.folder / kPlanFile)) return;
    if (const std::optional<SlurmJobFile> job = readSlurmJobFile(sweep.folder.string())) {
        std::string error;
        const std::optional<std::vector<QueuedTask>> tasks = queuedTasks(job->jobId, &error);
        if (!tasks) failPlainly("cannot tell whether the sweep's job array " + job->jobId + " still runs (squeue: " + error + ")");
        if (!tasks->empty()) {
            failPlainly("the sweep's job array " + job->jobId + " is still in the queue: wait for it to end, or cancel "
                        "it (scancel " + job->jobId + "), then --resume again");
        }
    }
    logEndedExperiments(sweep.folder.string(), sweep.experiments, slurmCommand(sweep));
}

// Leaves a folder this invocation laid out as it found it (holding nothing but its lock), when
// the array could not be submitted.
void clearLaidOutFolder(const fs::path& folder) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        if (entry.path().filename() != kFolderLockName) fs::remove_all(entry.path(), ignored);
    }
}

// Submits the queued experiments as one job array and, unless detached, watches it to the end.
int runOnSlurm(Sweep& sweep, bool resuming, bool laidOut) {
    announce(sweep, resuming);
    RunEnd end;
    end.signal = pendingInterruption();
    if (!sweep.queued.empty() && end.signal == 0) {
        const SlurmScriptPlan plan = slurmPlanOf(sweep, static_cast<int>(sweep.queued.size()));
        try {
            end.slurmJob = submitSlurmArray(sweep.folder.string(), slurmBatchScript(plan), sweep.queued,
                                            fs::absolute(sweep.line.base).string());
        } catch (const Failure&) {
            if (laidOut) clearLaidOutFolder(sweep.folder);
            throw;
        }
        std::cout << "Submitted the job array " << end.slurmJob << " (" << plan.tasks << (plan.tasks == 1 ? " task" : " tasks")
                  << " of " << plan.perTask << (plan.perTask == 1 ? " experiment" : " experiments") << "); its script is "
                  << (sweep.folder / kSlurmScript).string() << "\n" << std::flush;
        if (sweep.line.detach) {
            std::cout << "Detached: valdrin-sweep --collect " << sweep.folder.string()
                      << " gathers the results of the experiments that have ended\n";
            return kExitRan;
        }
        const SlurmWatchEnd watched =
            watchSlurmArray(sweep.folder.string(), end.slurmJob, sweep.queued, static_cast<int>(sweep.experiments.size()),
                            progressWanted(sweep.line), slurmCommand(sweep));
        end.signal = watched.signal;
        end.slurmState = watched.lost.empty()
                             ? "the job array " + end.slurmJob + " left the queue before they ended (each task's output is in " +
                                   (sweep.folder / kSlurmOutput).string() + "); the same command with --resume runs them"
                             : watched.lost + "; the job array " + end.slurmJob + " may still run: valdrin-sweep --collect " +
                                   sweep.folder.string() + " gathers what has ended";
    }
    const std::vector<ExperimentOutcome> outcomes = collectResults(sweep);
    return report(sweep, outcomes, end);
}

// The sweep's command line as its plan.txt tells it (the inverse of planText).
void readPlanInto(Sweep& sweep, const std::string& plan) {
    std::istringstream lines(plan);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t space = line.find(' ');
        const std::string word = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (word == "runs") sweep.line.runs = std::atoi(rest.c_str());
        if (word == "set") sweep.line.sets.push_back(rest);
        if (word == "seeds") sweep.line.seeds = rest;
        if (word == "outputs") {
            sweep.line.ioh = rest.find("--ioh") != std::string::npos;
            sweep.line.report = rest.find("--report") != std::string::npos;
            sweep.line.plot = rest.find("--plot") != std::string::npos;
        }
    }
}

// valdrin-sweep --collect DIR: the results of whatever has ended of the sweep submitted to Slurm.
int collectSlurmSweep(const std::string& folder) {
    Sweep sweep;
    try {
        sweep.folder = sweepFolder(folder);
        if (!fs::exists(sweep.folder / kPlanFile)) failPlainly(sweep.folder.string() + " holds no sweep (no " + kPlanFile + ")");
        const std::optional<SlurmJobFile> job = readSlurmJobFile(sweep.folder.string());
        if (!job) {
            failPlainly("the sweep in " + sweep.folder.string() + " was not submitted to Slurm (no " + kSlurmJobFile +
                        "): --collect gathers the results of a sweep run with --slurm --detach");
        }
        readPlanInto(sweep, readStoredPlan(sweep.folder / kPlanFile).plan);
        sweep.line.base = job->base;
        try {
            readKeysAndSeeds(sweep);
        } catch (const UsageError& error) {
            failPlainly("the plan of the sweep in " + sweep.folder.string() + " cannot be read: " + error.what());
        }
        sweep.baseText = readWhole(sweep.folder / kBaseCopy);
        const ConfigurationScan scan = scanConfiguration(sweep.baseText);
        sweep.title = joinedWords(chosenWords(sweep, scan, "algorithm")) + " on " + joinedWords(chosenWords(sweep, scan, "problem"));
        sweep.experiments = expandPlan(sweep.keys, sweep.seeds);
        const WriteLock lock = lockSweepFolder(sweep.folder);
        announce(sweep, false);
        std::string error;
        const std::optional<std::vector<QueuedTask>> tasks = queuedTasks(job->jobId, &error);
        logEndedExperiments(sweep.folder.string(), sweep.experiments, slurmCommand(sweep));
        RunEnd end;
        end.slurmJob = job->jobId;
        if (!tasks) {
            end.slurmState = "squeue cannot tell whether the job array " + job->jobId + " still runs (" + error + ")";
        } else if (!tasks->empty()) {
            end.slurmState = "the job array " + job->jobId + " is still in the queue; --collect again once it has ended";
        } else {
            end.slurmState = "the job array " + job->jobId + " has left the queue (each task's output is in " +
                             (sweep.folder / kSlurmOutput).string() + "); the sweep's command with --resume runs them";
        }
        return report(sweep, collectResults(sweep), end);
    } catch (const Failure& failure) {
        std::cout.flush();
        if (!failure.message().empty()) std::cerr << failure.message();
        std::cerr << "valdrin-sweep: error: " << failure.plain() << "\n" << std::flush;
        return kExitFailed;
    }
}

int sweep(const SweepCommandLine& line) {
    const InterruptionGuard interruption;
    if (!line.collect.empty()) return collectSlurmSweep(line.collect);
    Sweep sweep;
    sweep.line = line;
    try {
        readKeysAndSeeds(sweep);
    } catch (const UsageError& error) {
        std::cerr << "valdrin-sweep: error: " << error.what() << "\nRun 'valdrin-sweep --help' for the command line.\n";
        return kExitMisused;
    }
    try {
        sweep.baseText = readWhole(line.base);
        const std::vector<std::string> refusals = sweepRefusals(sweep.baseText, line.base, sweep.keys, sweep.seeds.front());
        if (!refusals.empty()) return refuse(refusals);
        const std::string sharedStream = sharedStreamWarning(sweep.baseText, sweep.keys, sweep.seeds);
        if (!sharedStream.empty()) std::cerr << "valdrin-sweep: warning: " << sharedStream << "\n";
        readAlgorithmAndProblem(sweep);
        readProblemLibrary(sweep);
        sweep.experiments = expandPlan(sweep.keys, sweep.seeds);
        sweep.folder = sweepFolder(line.outputFolder);
        int maxArraySize = 0;
        if (line.slurm) {
            maxArraySize = checkSlurmCluster(sweep.folder.string(), line.partition, slurmOptionWords(line), line.timeLimit,
                                             line.signalSeconds);
            // Asked before anything is written: a job sbatch would refuse leaves nothing behind.
            sweep.batch = slurmTaskSize(line.batch, static_cast<int>(sweep.experiments.size()), maxArraySize,
                                        expectedSeconds(sweep), line.jobs);
            testSlurmSubmission(slurmBatchScript(slurmPlanOf(sweep, static_cast<int>(sweep.experiments.size()))));
        } else {
            checkHostsAndParallel(line);
        }

        // No other sweep (nor an experiment) writes in the folder from here on; the experiments
        // lock their own folders inside it.
        const WriteLock lock = lockSweepFolder(sweep.folder);
        if (line.slurm) {
            readySlurmResume(sweep);
            const bool laidOut = !fs::exists(sweep.folder / kPlanFile);
            const bool resuming = prepareFolder(sweep);
            sweep.batch = slurmTaskSize(line.batch, static_cast<int>(sweep.queued.size()), maxArraySize,
                                        expectedSeconds(sweep), line.jobs);
            return runOnSlurm(sweep, resuming, laidOut);
        }
        // A sweep that ran on Slurm goes on here with what its tasks recorded.
        if (line.resume && fs::exists(sweep.folder / kSlurmJobFile)) {
            logEndedExperiments(sweep.folder.string(), sweep.experiments, slurmCommand(sweep));
        }
        const bool resuming = prepareFolder(sweep);
        sweep.batch = line.batch ? *line.batch
                                 : automaticBatchSize(expectedSeconds(sweep), static_cast<int>(sweep.queued.size()),
                                                      slotCount(line));
        announce(sweep, resuming);
        const RunEnd end = runExperiments(sweep);
        const std::vector<ExperimentOutcome> outcomes = collectResults(sweep);
        return report(sweep, outcomes, end);
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
    if (!parsed.commandLine->verifyFolder.empty()) {
        return verifySweep(parsed.commandLine->verifyFolder, parsed.commandLine->sample, std::cout, std::cerr);
    }
    return sweep(*parsed.commandLine);
}

}  // namespace Valdrin
