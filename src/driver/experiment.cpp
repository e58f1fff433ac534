// Start-up, run loop and teardown of one experiment, and the choice of algorithm and problem
// by the names in the configuration.
#include "driver/experiment.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <new>
#include <sstream>
#include <string_view>

#include "core/engine.h"
#include "core/failure.h"
#include "core/file_content.h"
#include "core/output_file.h"
#include "core/parameters.h"
#include "driver/checkpoint.h"
#include "driver/command_line.h"
#include "driver/interruption.h"
#include "driver/manifest.h"
#include "driver/progress.h"
#include "driver/verify.h"
#include "driver/write_lock.h"
#include "registry/configuration_check.h"
#include "report/report_page.h"
#include "statistics/csv_export.h"
#include "statistics/ioh_export.h"
#include "registry/memory_estimate.h"
#include "registry/parameter_reader.h"
#include "registry/parts_maker.h"
#include "statistics/summary_processor.h"

namespace Valdrin {

namespace {

// The text of the first child of the first element with that name, as the configuration
// writes the chosen algorithm or problem. Without one the experiment cannot be built: the
// process ends with a message naming the operation.
std::string chosenName(const QLightXMLIO& tree, const std::string& element, std::string_view operation) {
    std::vector<XmlNode> found;
    tree.collectByName(element, found);
    if (found.empty() || found.front().children.empty()) {
        fail("\n\n[" + std::string(operation) + "] error:\n\tThe configuration names no " + element +
             ": it needs an \"" + element + "\" element holding one element with the name\n\n");
    }
    return found.front().children.front().text;
}

// The folder a configuration's relative paths start from.
std::string configurationFolderOf(const std::string& configuration) {
    const std::string folder = std::filesystem::path(configuration).parent_path().string();
    return folder.empty() ? "." : folder;
}

// The name an object prints for itself, as text.
template <class Named>
std::string printedName(const Named& object) {
    std::ostringstream text;
    object.printName(text);
    return text.str();
}

}  // namespace

std::unique_ptr<QEvolutionaryAlgorithm> createAlgorithmByName(const QLightXMLIO& tree,
                                                              std::span<const AlgorithmRow> table, Engine& engine) {
    const AlgorithmRow* row = rowNamed(table, chosenName(tree, "algorithm", "createAlgorithmByName"));
    if (row == nullptr) failOnOutput("\nIs it true? No algorithm?!\n");
    engine.out() << row->announcement;
    return row->make(engine);
}

std::unique_ptr<QProblem> createProblemByName(const QLightXMLIO& tree, std::span<const ProblemRow> table,
                                              Engine& engine) {
    const ProblemRow* row = rowNamed(table, chosenName(tree, "problem", "createProblemByName"));
    if (row == nullptr) failOnOutput("\nOopsie, no problem!\n");
    return row->make(engine);
}

std::unique_ptr<QProblem> createProblemByName(const QLightXMLIO& tree, const ProblemTable& table, Engine& engine) {
    const ProblemRow* row = rowNamed(table.rows(), chosenName(tree, "problem", "createProblemByName"));
    if (row == nullptr) failOnOutput("\nOopsie, no problem!\n");
    return table.make(*row, engine);
}

namespace {

// Whether the progress line is shown: when asked for, or by default when the messages go to the
// process's standard error and it is a terminal of its own (where standard output shares it, its
// dots already show the progress).
bool progressWanted(const CommandLine& line, const std::ostream& messages) {
    if (line.quiet) return false;
    if (line.progress) return true;
    if (&messages != &std::cerr || isatty(STDERR_FILENO) == 0) return false;
    if (isatty(STDOUT_FILENO) == 0) return true;
    struct stat out {};
    struct stat err {};
    if (fstat(STDOUT_FILENO, &out) != 0 || fstat(STDERR_FILENO, &err) != 0) return false;
    return out.st_dev != err.st_dev || out.st_ino != err.st_ino || out.st_rdev != err.st_rdev;
}

// Where the progress line goes: the process's standard error when it is a terminal (with its
// width), else plain lines.
ProgressDisplay progressDisplay(const std::ostream& messages) {
    ProgressDisplay display;
    display.terminal = &messages == &std::cerr && isatty(STDERR_FILENO) != 0;
    struct winsize size {};
    if (display.terminal && ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0) display.columns = size.ws_col;
    return display;
}

// "valdrin: error: config.xml:7: ..." for a finding of the configuration check.
void writeFinding(std::ostream& err, const std::string& file, const Finding& finding) {
    err << "valdrin: " << (finding.severity == Severity::Error ? "error" : "warning") << ": " << file;
    if (finding.line > 0) err << ":" << finding.line;
    err << ": " << finding.message << "\n";
}

// Creates the output folder when it is missing; returns whether it was made.
bool makeOutputFolder(const OutputFolder& files) {
    namespace fs = std::filesystem;
    const std::string& folder = files.folder();
    if (folder.empty()) return false;
    std::error_code error;
    const bool made = fs::create_directories(folder, error);
    if (error) failPlainly("cannot create the output folder " + folder + ": " + error.message());
    if (!fs::is_directory(folder)) failPlainly("cannot use " + folder + " as the output folder: it is not a folder");
    return made;
}

// The locks an experiment holds while it writes: its output folder's, and its checkpoint file's
// (FILE.lock beside it, wherever it is: an experiment of another folder may name the same file).
struct ExperimentLocks {
    WriteLock folder;
    WriteLock checkpoint;
};

ExperimentLocks lockOutputs(const OutputFolder& files, const std::string& checkpointFile) {
    ExperimentLocks locks;
    const std::string& folder = files.folder();
    locks.folder = WriteLock(folderLockPath(folder),
                             {folderSubject(folder), "valdrin",
                              "one experiment writes in a folder at a time; wait for it to end, or choose another --out",
                              folderUnwritable(folder)});
    if (!checkpointFile.empty()) {
        locks.checkpoint = WriteLock(checkpointFile + kFileLockSuffix,
                                     {"the checkpoint file " + checkpointFile, "valdrin",
                                      "one experiment writes a checkpoint file at a time; wait for it to end, or "
                                      "give another --checkpoint",
                                      "cannot write " + checkpointFile});
    }
    return locks;
}

// Makes sure files can be made in the output folder.
void prepareOutputFolder(const OutputFolder& files) {
    const std::string& folder = files.folder();
    std::string probe = files.placed(".valdrin-write-test-XXXXXX");
    std::vector<char> name(probe.begin(), probe.end());
    name.push_back('\0');
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) failPlainly(folderUnwritable(folder) + ": " + std::strerror(errno));
    close(descriptor);
    std::remove(name.data());
}

// Every file the experiment will write can be written: its name is not taken by a folder, and the
// files already opened are open.
void refuseFolders(const OutputFolder& files, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        const std::string path = files.placed(name);
        if (std::filesystem::is_directory(path)) failPlainly("cannot write " + path + ": it is a folder");
    }
}

// The files of the reports and of the options, before the algorithm opens its log: a refusal
// leaves nothing behind.
void checkReportFiles(const OutputFolder& files, const CommandLine& line) {
    std::vector<std::string> names = {"summary.log", "solution.log", "candidate.log"};
    if (line.manifest) names.push_back(kManifestFile);
    if (line.csv) names.insert(names.end(), {"runs.csv", "generations.csv"});
    if (line.report) names.push_back("report.html");
    if (line.plot) names.push_back("convergence.svg");
    refuseFolders(files, names);
}

void checkOutputFiles(const OutputFolder& files, QEvolutionaryAlgorithm& algorithm, QProblem& problem) {
    refuseFolders(files, problem.outputFiles());
    algorithm.verifyLog();
    problem.verifyOutputs();
}

// Refuses, before anything is allocated, an experiment whose populations and records do not fit
// in the memory the system has. The estimate is a quarter larger than what it counts, for the
// heap's own use of memory.
void checkMemory(const QEAParameters& params, int runs, AlgorithmKind algorithm) {
    const ExperimentMemory memory = estimateExperimentMemory(params, runs, algorithm);
    const std::uint64_t counted = memory.total();
    const std::uint64_t needed = counted > UINT64_MAX / 5 * 4 ? UINT64_MAX : counted + counted / 4;
    const std::optional<std::uint64_t> available = availableMemory();
    if (available && needed > *available) {
        std::string parts = std::to_string(params.populationSize) + " individuals of " +
                            std::to_string(params.chromosomeLength) + " genes";
        if (memory.records > 0) parts += "; " + formatBytes(memory.records) + " of per-generation records";
        if (memory.sharing > 0) parts += "; " + formatBytes(memory.sharing) + " for fitness sharing and clone removal";
        if (memory.growth > 0) parts += "; " + formatBytes(memory.growth) + " for the growing template network";
        failPlainly("the experiment needs about " + formatBytes(needed) + " of memory for its populations and records (" +
                    parts + "), but only " + formatBytes(*available) + " is available");
    }
}

// The memory the report over runs takes beyond the runs' records: its table of averages over
// runs (nine columns of one double per generation, with room to grow) and a few megabytes for the
// files' text.
std::size_t reportReserveBytes(const QEAParameters& params) {
    const std::uint64_t generations = static_cast<std::uint64_t>(std::max(params.generationsNumber, 0));
    const std::uint64_t bytes = std::min<std::uint64_t>(generations, 1ULL << 32) * 9 * sizeof(double) * 2 + (4ULL << 20);
    return static_cast<std::size_t>(bytes);
}

// What ran out, for the message of a run that ran out of memory.
std::string memoryShortage() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        return "the experiment needed more than its address-space limit of " +
               formatBytes(static_cast<std::uint64_t>(limit.rlim_cur)) + " (ulimit -v) allows";
    }
    return "the system could not give the experiment more memory";
}

// What the results files call the experiment: the configuration's words for the algorithm and
// the problem, and the problem's number (its place in the problem table, from 1).
struct ExperimentNames {
    std::string algorithm;
    std::string problem;
    int problemNumber = 0;
};

// The results files the command line asks for, beside the reports over the runs. The page says
// how many of the runs asked for it covers when the processor was told of an interruption.
void writeResults(const CommandLine& line, const OutputFolder& files, const QSummaryProcessor& processor,
                  const QEAParameters& params, const ExperimentNames& names) {
    if (line.csv) writeCsvFiles(processor.runs, params, line.runs, files.folder(), line.recordEvery);
    if (!line.iohFolder.empty()) {
        // The experiment is its configuration (and its first run): written again (resumed, or
        // extended to more runs, whose first runs are the same), it replaces its own runs in the
        // folder.
        IohExperiment experiment{names.problemNumber, names.problem, line.label, ""};
        std::string configuration;
        if (readFileContent(line.configuration, configuration)) experiment.identity += configuration;
        if (experiment.label.empty()) {
            experiment.label = defaultIohLabel(names.algorithm, params, [&params](std::string_view key) {
                const KeyRow* row = findKey(key);
                return row != nullptr ? row->shown(params) : std::string();
            });
        }
        writeIohProfilerData(processor.runs, params, experiment, files.placed(line.iohFolder));
    }
    const ReportInputs inputs{processor.runs, params, processor.algorithmName, processor.problemName,
                              processor.runsAsked, line.recordEvery};
    if (line.report) writeReport(inputs, files.placed("report.html"));
    if (line.plot) writeConvergencePlot(inputs, files.placed("convergence.svg"));
}

// The least summary.log can take: two rows per configured generation (the averages over runs and
// the population size), each at least its number and its zeros.
std::uint64_t leastReportBytes(int generations) {
    std::uint64_t bytes = 0;
    std::uint64_t digits = 1;
    for (std::uint64_t first = 1; first <= static_cast<std::uint64_t>(std::max(generations, 0)); first *= 10, ++digits) {
        const std::uint64_t last = std::min<std::uint64_t>(first * 10 - 1, static_cast<std::uint64_t>(generations));
        const std::uint64_t rows = last - first + 1;
        bytes += rows * (2 * digits + 18 + 4);  // "g:" + 8 x "\t0" + "\n", then "g:\t0\n"
    }
    return bytes;
}

// Refuses an experiment whose report over runs cannot fit on the disk of the output folder.
void checkDiskSpace(const QEAParameters& params, const std::string& folder) {
    struct statvfs disk {};
    if (statvfs(folder.empty() ? "." : folder.c_str(), &disk) != 0) return;
    const std::uint64_t free = static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
    const std::uint64_t needed = leastReportBytes(params.generationsNumber);
    if (needed > free) {
        failPlainly("summary.log would hold two rows for each of the " + std::to_string(params.generationsNumber) +
                    " generations, at least " + formatBytes(needed) + ", but only " + formatBytes(free) +
                    " is free where it is written");
    }
}

// Whether the configuration asks for the calendar time's seed (RNG seed 0), read as the parameters
// are: the last of its seed keys counts.
bool seedFromCalendar(const QLightXMLIO& tree) {
    std::vector<XmlNode> names;
    std::vector<XmlNode> values;
    tree.collectByName("name", names);
    tree.collectByName("value", values);
    bool calendar = QEAParameters{}.rngSeed == 0;
    for (std::size_t i = 0; i < std::min(names.size(), values.size()); ++i) {
        const KeyRow* key = findKey(names[i].text);
        if (key != nullptr && key->kind == KeyKind::Seed) calendar = parseIntegerText(values[i].text) == 0;
    }
    return calendar;
}

// The command line that runs the same experiment again: the configuration, the runs and the
// options that decide what is written (not where checkpoints go, nor what the terminal shows).
std::vector<std::string> experimentArguments(const CommandLine& line) {
    std::vector<std::string> words = {line.configuration, std::to_string(line.runs)};
    if (line.csv) words.push_back("--csv");
    if (!line.iohFolder.empty()) words.insert(words.end(), {"--ioh", line.iohFolder});
    // A label is free text: joined to its option, it is never read as one.
    if (!line.label.empty()) words.push_back("--label=" + line.label);
    if (line.report) words.push_back("--report");
    if (line.plot) words.push_back("--plot");
    if (line.recordEvery != 1) words.insert(words.end(), {"--record-every", std::to_string(line.recordEvery)});
    if (line.threads != 1) words.insert(words.end(), {"--threads", std::to_string(line.threads)});
    if (!line.outputFolder.empty()) words.insert(words.end(), {"--out", line.outputFolder});
    return words;
}

// A file as it stood: whether it was there, and which file it was.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;

    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return {};
    return {true, status.st_dev, status.st_ino};
}

// The reports over the runs and those of the options, which are written whole under a new name
// and renamed over the old file: one the experiment wrote is another file than was there before.
// (solution.log and candidate.log are written only when some run solved the problem, or did not.)
std::vector<std::string> reportFiles(const CommandLine& line, const OutputFolder& files) {
    std::vector<std::string> paths = {files.placed("summary.log"), files.placed("solution.log"),
                                      files.placed("candidate.log")};
    if (line.csv) paths.insert(paths.end(), {files.placed("runs.csv"), files.placed("generations.csv")});
    if (line.report) paths.push_back(files.placed("report.html"));
    if (line.plot) paths.push_back(files.placed("convergence.svg"));
    return paths;
}

// The files an experiment wrote into its folder, by their paths as written: the algorithm's log,
// the reports that are other files than before it started (before), the problem's files; with
// --ioh into a folder inside it, every file there.
std::vector<std::string> writtenFiles(const CommandLine& line, const OutputFolder& files, const std::string& log,
                                      const std::vector<std::string>& problemFiles,
                                      const std::vector<FileStamp>& before) {
    namespace fs = std::filesystem;
    std::vector<std::string> paths = {log};
    const std::vector<std::string> reports = reportFiles(line, files);
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const FileStamp now = stampOf(reports[i]);
        if (now.exists && !(i < before.size() && now == before[i])) paths.push_back(reports[i]);
    }
    for (const std::string& name : problemFiles) paths.push_back(files.placed(name));
    if (!line.iohFolder.empty()) {
        std::vector<std::string> ioh;
        std::error_code error;
        for (fs::recursive_directory_iterator entry(files.placed(line.iohFolder), error), end; !error && entry != end;
             entry.increment(error)) {
            if (entry->is_regular_file(error)) ioh.push_back(entry->path().string());
        }
        std::sort(ioh.begin(), ioh.end());
        paths.insert(paths.end(), ioh.begin(), ioh.end());
    }
    return paths;
}

// Writes manifest.json into the output folder: the program, the command line, where it ran, the
// configuration's and the inputs' hashes, the seed, and the hashes of the files written inside the
// folder (measured durations blanked).
void writeManifest(const CommandLine& line, const OutputFolder& files, const std::vector<std::string>& inputs,
                   std::uint32_t seed, bool seedFromClock, const std::vector<std::string>& written) {
    namespace fs = std::filesystem;
    Manifest manifest;
    manifest.version = programVersion();
    manifest.build = programBuild();
    manifest.arguments = experimentArguments(line);
    const fs::path folder = fs::absolute(files.folder().empty() ? "." : files.folder()).lexically_normal();
    manifest.workingFolder = fs::current_path().lexically_relative(folder).string();
    if (manifest.workingFolder.empty()) manifest.workingFolder = ".";
    const auto sum = [](const std::string& path) {
        const std::string hash = fileSha256(path);
        if (hash.empty()) failPlainly("cannot read " + path + " for " + kManifestFile);
        return ManifestFile{path, hash};
    };
    manifest.configuration = sum(line.configuration);
    for (const std::string& input : inputs) manifest.inputs.push_back(sum(input));
    manifest.seed = seed;
    manifest.seedFromClock = seedFromClock;
    for (const std::string& path : written) {
        // Only the files inside the folder: the manifest describes the folder.
        const fs::path inside = fs::absolute(path).lexically_normal().lexically_relative(folder);
        if (inside.empty() || *inside.begin() == ".." || !fs::is_regular_file(path)) continue;
        const std::string hash = maskedFileSha256(path);
        if (hash.empty()) failPlainly("cannot read " + path + " for " + kManifestFile);
        manifest.outputs.push_back({inside.string(), hash});
    }
    AtomicOutputFile file(files.placed(kManifestFile));
    file << manifestText(manifest);
    file.commit();
}

}  // namespace

int runProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    const ParsedCommandLine parsed = parseCommandLine(arguments, out, err);
    if (!parsed.commandLine) return parsed.exitStatus;
    const CommandLine& line = *parsed.commandLine;
    if (!line.verifyFolder.empty()) return verifyExperiment(line.verifyFolder, runningProgram(), out, err);
    // --quiet: standard output goes nowhere.
    std::ostream nowhere(nullptr);
    std::ostream& shown = line.quiet ? nowhere : out;
    try {
        const ConfigurationScan scan = scanConfigurationFile(line.configuration);
        const std::string folder = configurationFolderOf(line.configuration);
        // The submatrix task reads its data from the working folder.
        std::vector<Finding> findings = checkConfiguration(scan, line.runs, folder, ProblemTable(), ".");
        if (line.strict) findings = warningsAsErrors(std::move(findings));
        if (line.check) {
            shown << parametersText(effectiveParameters(scan, folder, ProblemTable(), "."));
            for (const Finding& finding : findings) writeFinding(err, line.configuration, finding);
            return hasErrors(findings) ? kExitFailed : kExitRan;
        }
        for (const Finding& finding : findings) writeFinding(err, line.configuration, finding);
        if (hasErrors(findings)) return kExitFailed;
    } catch (const Failure& failure) {
        writeFailure(failure, shown, err);
        return kExitFailed;
    }
    return runExperiment(line, shown, err);
}

int runExperiment(const CommandLine& line, std::ostream& out, std::ostream& err,
                  std::span<const AlgorithmRow> algorithms, std::span<const ProblemRow> problems) {
    return runExperiment(line, out, err, ProblemTable(problems), algorithms);
}

int runExperiment(const CommandLine& line, std::ostream& out, std::ostream& err, const ProblemTable& problems,
                  std::span<const AlgorithmRow> algorithms, const FinishedRunsObserver& observer) {
    const InterruptionGuard interruption;
    // Everything the experiment writes on its standard output passes through the counter, so that
    // a checkpoint can say how much of it was written.
    OutputCounter output(out.rdbuf());
    // Standard output that is the process's own: a resumed experiment may find there the file the
    // interrupted one wrote to, and cut it back to the checkpoint.
    if (out.rdbuf() != nullptr && out.rdbuf() == std::cout.rdbuf()) output.writesTo(STDOUT_FILENO);
    std::ostream counted(&output);
    Engine engine(counted, err);
    engine.files = OutputFolder(line.outputFolder);
    engine.configurationFolder = configurationFolderOf(line.configuration);
    engine.threads = line.threads;
    const std::string checkpointFile = checkpointPath(line, line.checkpointFile);
    const std::string resumeFile = checkpointPath(line, line.resumeFile);
    // Held until every file is written and closed: they outlive everything made in the try.
    ExperimentLocks locks;
    bool madeFolder = false;
    bool prepared = false;
    std::unique_ptr<QSummaryProcessor> summaryProcessor;
    try {
        // No other experiment writes in the folder or the checkpoint file from here on.
        madeFolder = makeOutputFolder(engine.files);
        locks = lockOutputs(engine.files, checkpointFile);
        // A checkpoint to resume from is read and checked before anything is written, so that a
        // refused one leaves every file as it was.
        std::optional<Checkpoint> resume;
        if (!resumeFile.empty()) {
            resume = readCheckpoint(resumeFile);
            std::vector<std::string> inputs;
            for (const InputFileSum& input : resume->identity.inputs) inputs.push_back(input.name);
            checkCheckpointFits(*resume, identityOf(line, inputs), resumeFile);
            // The set-up's announcements were written before the checkpoint; the logs it opens
            // keep their content until they are cut back to the checkpoint's lengths.
            output.mute(true);
            engine.files.keepContentOf(appendedFiles(*resume));
        }
        prepared = true;
        prepareOutputFolder(engine.files);
        checkReportFiles(engine.files, line);
        // The reports as they stand before the experiment: those it does not write are not its own.
        std::vector<FileStamp> reportsBefore;
        if (line.manifest) {
            for (const std::string& path : reportFiles(line, engine.files)) reportsBefore.push_back(stampOf(path));
        }
        // A manifest left by an earlier experiment in the folder no longer describes it.
        if (line.manifest) {
            std::error_code ignored;
            std::filesystem::remove(engine.files.placed(kManifestFile), ignored);
        }
        if (!checkpointFile.empty()) checkCheckpointWritable(checkpointFile);

        auto tree = std::make_unique<QLightXMLIO>();
        auto params = std::make_unique<QEAParameters>();
        tree->readFromFile(line.configuration, err);
        readParameters(*tree, *params);
        const int runs = line.runs;

        std::unique_ptr<QEvolutionaryAlgorithm> algorithm = createAlgorithmByName(*tree, algorithms, engine);
        ProblemTable problemTable = problems;
        if (!params->problemLibrary.empty()) {
            try {
                problemTable.addLibrary(libraryPath(engine.configurationFolder, params->problemLibrary));
            } catch (const PluginRefusal& refusal) {
                failPlainly(refusal.message);
            }
        }
        std::unique_ptr<QProblem> problem = createProblemByName(*tree, problemTable, engine);
        problem->printName(engine.out());
        ExperimentNames names{chosenName(*tree, "algorithm", "createAlgorithmByName"),
                              chosenName(*tree, "problem", "createProblemByName"), 0};
        // The problem was made from its row, so the row is there.
        names.problemNumber =
            static_cast<int>(rowNamed(problemTable.rows(), names.problem) - problemTable.rows().data()) + 1;
        checkOutputFiles(engine.files, *algorithm, *problem);

        // The problem adjusts the fields it depends on before the algorithm takes its copy.
        problem->adjustParameters(params.get());
        // A seed taken from the calendar stays the one the experiment started with.
        if (resume) params->rngSeed = resume->seed;
        problem->setParameters(params.get());
        // A problem that gives no copy of itself for other threads is evaluated on this one.
        if (line.threads > 1 && !problem->prefersWholeGenerations() && problem->threadCopy() == nullptr) {
            const bool draws = rowNamed(problemTable.rows(), names.problem)->id == ProblemKind::Pointless;
            err << "valdrin: warning: --threads " << line.threads << ": the " << names.problem
                << " problem's individuals are evaluated on one thread, since "
                << (draws ? "each evaluation draws from the experiment's random numbers, in turn"
                          : "its evaluations may not run side by side")
                << "\n";
        }
        checkMemory(*params, runs, rowNamed(algorithms, names.algorithm)->id);
        checkDiskSpace(*params, line.outputFolder);
        algorithm->setUp(*params, RegistryPartsMaker{}, *problem);
        summaryProcessor = std::make_unique<QSummaryProcessor>(params.get(), engine);
        summaryProcessor->algorithmName = printedName(*algorithm);
        summaryProcessor->problemName = printedName(*problem);
        summaryProcessor->algorithmReport = [&algorithm](const std::vector<QRunSummary>& runs, std::ostream& out) {
            algorithm->reportStatistics(runs, out);
        };

        CheckpointKeeper checkpoints(checkpointFile, line.checkpointEvery,
                                     checkpointFile.empty() ? ExperimentIdentity{} : identityOf(line, problem->inputFiles()),
                                     *algorithm, *problem, *summaryProcessor, *params, output);
        int firstRun = 0;
        if (resume) {
            restoreCheckpoint(*resume, *algorithm, *problem, *summaryProcessor, output);
            engine.files.keepContentOf({});
            // Standard output appended to the interrupted experiment's file goes on from the
            // checkpoint, as the logs do.
            const std::string uncut = output.cutBackTo(resume->outputPosition, resume->outputTail);
            if (!uncut.empty()) {
                err << "valdrin: warning: standard output could not be cut back to the checkpoint (" << uncut
                    << "): it keeps what the interrupted experiment wrote after it\n";
            }
            output.mute(false);
            firstRun = resume->nextRun;
            checkpoints.resumedFrom(*resume);
            if (!line.quiet) err << resumingNote(*resume, resumeFile, runs);
        }

        ProgressLine progress(err, progressWanted(line, err), runs, params->generationsNumber, progressDisplay(err));
        algorithm->setGenerationObserver([&progress, &checkpoints](const QRunSummary& summary) {
            progress.generationDone(summary);
            checkpoints.generationDone(summary.generationsDone);
            if (const int signal = pendingInterruption()) throw Interrupted{signal};
        });
        // Memory held back for the reports over the finished runs, given back when a run runs out
        // of memory (untouched, it takes address space but no memory).
        std::unique_ptr<char[]> reportReserve(new (std::nothrow) char[reportReserveBytes(*params)]);
        int current = firstRun;
        // A run that cannot go on: what it wrote ends where it stopped, the reports cover the runs
        // that finished, and the message (begun by the caller) says so. The last checkpoint stays
        // the one to resume from (advice: what to resume with).
        const auto givenUp = [&](const std::string& message, const char* advice) {
            progress.clear();
            engine.out() << "\n" << std::flush;
            algorithm->log().flush();
            err << "valdrin: error: " << message;
            const int finished = summaryProcessor->summariesCount();
            if (finished > 0) {
                summaryProcessor->runsAsked = runs;
                summaryProcessor->operate();
                writeResults(line, engine.files, *summaryProcessor, *params, names);
                if (observer) observer(summaryProcessor->runs);
                err << "; the report covers " << finished << " of " << runs << " runs\n";
            } else {
                err << "; no run had finished: no report was written\n";
            }
            if (checkpoints.enabled() && checkpoints.written()) {
                err << "valdrin: the last checkpoint is in " << checkpointFile << ": --resume " << line.checkpointFile
                    << " goes on from there" << advice << "\n";
            }
            return kExitFailed;
        };
        try {
            for (int i = firstRun; i < runs; ++i) {
                current = i;
                if (const int signal = pendingInterruption()) throw Interrupted{signal};
                progress.startRun(i);
                checkpoints.startRun(i);
                // A restored run goes on where it was; its "Run #" line was written before.
                if (!(resume && resume->runInProgress && i == firstRun)) engine.out() << "Run # " << i << "\n";
                algorithm->run();
                algorithm->verifyLog();
                problem->verifyOutputs();
                summaryProcessor->addSummary(algorithm->runSummary());
                checkpoints.runDone(i);
            }
        } catch (const Interrupted& stop) {
            // The state where the experiment stopped, before anything else is written.
            checkpoints.interrupted();
            progress.clear();
            // The interrupted run's dots and log lines end where they stopped.
            engine.out() << "\n" << std::flush;
            algorithm->log().flush();
            const int finished = summaryProcessor->summariesCount();
            if (finished > 0) {
                summaryProcessor->runsAsked = runs;
                summaryProcessor->operate();
                writeResults(line, engine.files, *summaryProcessor, *params, names);
                if (observer) observer(summaryProcessor->runs);
                err << "valdrin: interrupted by " << signalName(stop.signal) << ": the report covers " << finished
                    << " of " << runs << " runs\n";
            } else {
                err << "valdrin: interrupted by " << signalName(stop.signal)
                    << " before the first run finished: no report was written\n";
            }
            if (checkpoints.enabled()) {
                err << "valdrin: the experiment's state is in " << checkpointFile << ": --resume "
                    << line.checkpointFile << " goes on from there\n";
            }
            return exitStatusFor(stop.signal);
        } catch (const std::bad_alloc&) {
            // The run in progress is given up: its populations and the reserve make room for the
            // reports over the runs that finished. Its state is not saved (it stopped in the
            // middle of a generation); the last checkpoint stays the one to resume from.
            reportReserve.reset();
            algorithm->cleanup();
            return givenUp("out of memory in run " + std::to_string(current) + ": " + memoryShortage(),
                           ", with more memory");
        } catch (const EvaluationFailure& failure) {
            const std::string which = failure.individual >= 0
                                          ? "individual " + std::to_string(failure.individual + 1) + " of generation "
                                          : std::string("an individual of generation ");
            const int generation = algorithm->runSummary().generationsDone;
            algorithm->cleanup();
            return givenUp("the problem could not evaluate " + which + std::to_string(generation) + " in run " +
                               std::to_string(current) + ": " + failure.reason,
                           "");
        }
        progress.clear();
        summaryProcessor->operate();
        writeResults(line, engine.files, *summaryProcessor, *params, names);
        if (observer) observer(summaryProcessor->runs);

        // What the manifest records, taken before the algorithm and the problem go (they close
        // their files as they go).
        const std::vector<std::string> inputs = line.manifest ? problem->inputFiles() : std::vector<std::string>{};
        const std::vector<std::string> written =
            line.manifest ? writtenFiles(line, engine.files, algorithm->logPath(), problem->outputFiles(), reportsBefore)
                          : std::vector<std::string>{};
        const std::uint32_t seed = params->rngSeed;
        const bool seedFromClock = line.manifest && seedFromCalendar(*tree);
        algorithm->cleanup();
        problem.reset();
        algorithm.reset();
        summaryProcessor.reset();
        params.reset();
        tree.reset();
        if (line.manifest) writeManifest(line, engine.files, inputs, seed, seedFromClock, written);
    } catch (const Failure& failure) {
        output.mute(false);
        writeFailure(failure, engine.out(), err);
        // Refused before anything was written: the output folder made for it goes too.
        if (madeFolder && !prepared) {
            locks = ExperimentLocks{};
            std::error_code ignored;
            std::filesystem::remove(line.outputFolder, ignored);
        }
        return kExitFailed;
    } catch (const std::bad_alloc&) {
        output.mute(false);
        engine.out().flush();
        err << "valdrin: error: out of memory: the experiment needs more memory than the system could give\n";
        return kExitFailed;
    }
    return kExitRan;
}

}  // namespace Valdrin
