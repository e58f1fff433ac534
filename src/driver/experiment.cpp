// Start-up, run loop and teardown of one experiment, and the choice of algorithm and problem
// by the names in the configuration.
#include "driver/experiment.h"

#include <sys/stat.h>
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

#include "core/failure.h"
#include "core/output_file.h"
#include "core/parameters.h"
#include "driver/checkpoint.h"
#include "driver/command_line.h"
#include "driver/interruption.h"
#include "driver/progress.h"
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

// The name an object prints for itself, as text.
template <class Named>
std::string printedName(const Named& object) {
    std::ostringstream text;
    object.printName(text);
    return text.str();
}

}  // namespace

std::unique_ptr<QEvolutionaryAlgorithm> createAlgorithmByName(const QLightXMLIO& tree,
                                                              std::span<const AlgorithmRow> table) {
    const AlgorithmRow* row = rowNamed(table, chosenName(tree, "algorithm", "createAlgorithmByName"));
    if (row == nullptr) failOnOutput("\nIs it true? No algorithm?!\n");
    std::cout << row->announcement;
    return row->make();
}

std::unique_ptr<QProblem> createProblemByName(const QLightXMLIO& tree, std::span<const ProblemRow> table) {
    const ProblemRow* row = rowNamed(table, chosenName(tree, "problem", "createProblemByName"));
    if (row == nullptr) failOnOutput("\nOopsie, no problem!\n");
    return row->make();
}

namespace {

// Standard output sent nowhere for the object's lifetime (--quiet).
class SilencedOutput {
public:
    explicit SilencedOutput(bool silence) : saved_(silence ? std::cout.rdbuf(nullptr) : nullptr), silenced_(silence) {}
    ~SilencedOutput() {
        if (silenced_) {
            std::cout.rdbuf(saved_);
            std::cout.clear();
        }
    }
    SilencedOutput(const SilencedOutput&) = delete;
    SilencedOutput& operator=(const SilencedOutput&) = delete;

private:
    std::streambuf* saved_;
    bool silenced_;
};

// Whether the progress line is shown: when asked for, or by default when standard error is a
// terminal of its own (where standard output shares it, its dots already show the progress).
bool progressWanted(const CommandLine& line) {
    if (line.quiet) return false;
    if (line.progress) return true;
    if (isatty(STDERR_FILENO) == 0) return false;
    if (isatty(STDOUT_FILENO) == 0) return true;
    struct stat out {};
    struct stat err {};
    if (fstat(STDOUT_FILENO, &out) != 0 || fstat(STDERR_FILENO, &err) != 0) return false;
    return out.st_dev != err.st_dev || out.st_ino != err.st_ino || out.st_rdev != err.st_rdev;
}

// "valdrin: error: config.xml:7: ..." for a finding of the configuration check.
void writeFinding(const std::string& file, const Finding& finding) {
    std::cerr << "valdrin: " << (finding.severity == Severity::Error ? "error" : "warning") << ": " << file;
    if (finding.line > 0) std::cerr << ":" << finding.line;
    std::cerr << ": " << finding.message << "\n";
}

// Creates the output folder when it is missing and makes sure files can be made in it.
void prepareOutputFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!folder.empty()) {
        fs::create_directories(folder, error);
        if (error) failPlainly("cannot create the output folder " + folder + ": " + error.message());
        if (!fs::is_directory(folder)) failPlainly("cannot use " + folder + " as the output folder: it is not a folder");
    }
    std::string probe = OutputFile::placed(".valdrin-write-test-XXXXXX");
    std::vector<char> name(probe.begin(), probe.end());
    name.push_back('\0');
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        failPlainly("cannot write in the folder " + (folder.empty() ? std::string("(the working folder)") : folder) +
                    ": " + std::strerror(errno));
    }
    close(descriptor);
    std::remove(name.data());
}

// Every file the experiment will write can be written: its name is not taken by a folder, and the
// files already opened are open.
void checkOutputFiles(QEvolutionaryAlgorithm& algorithm, QProblem& problem) {
    std::vector<std::string> names = {"summary.log", "solution.log", "candidate.log"};
    for (const std::string& name : problem.outputFiles()) names.push_back(name);
    for (const std::string& name : names) {
        const std::string path = OutputFile::placed(name);
        if (std::filesystem::is_directory(path)) failPlainly("cannot write " + path + ": it is a folder");
    }
    algorithm.verifyLog();
    problem.verifyOutputs();
}

// Refuses, before anything is allocated, an experiment whose populations and records do not fit
// in the memory the system has.
void checkMemory(const QEAParameters& params, int runs) {
    const std::uint64_t needed = estimateMemory(params, runs);
    const std::optional<std::uint64_t> available = availableMemory();
    if (available && needed > *available) {
        failPlainly("the experiment needs about " + formatBytes(needed) + " of memory for its populations and records (" +
                    std::to_string(params.populationSize) + " individuals of " + std::to_string(params.chromosomeLength) +
                    " genes), but only " + formatBytes(*available) + " is available");
    }
}

// What the results files call the experiment: the configuration's words for the algorithm and
// the problem, and the problem's number (its place in the problem table, from 1).
struct ExperimentNames {
    std::string algorithm;
    std::string problem;
    int problemNumber = 0;
};

// The results files the command line asks for, beside the reports over the runs.
void writeResults(const CommandLine& line, const QSummaryProcessor& processor, const QEAParameters& params,
                  const ExperimentNames& names) {
    if (line.csv) writeCsvFiles(processor.runs, params);
    if (!line.iohFolder.empty()) {
        writeIohProfilerData(processor.runs, params, names.problemNumber, names.algorithm, names.problem,
                             line.iohFolder);
    }
    const ReportInputs inputs{processor.runs, params, processor.algorithmName, processor.problemName};
    if (line.report) writeReport(inputs, "report.html");
    if (line.plot) writeConvergencePlot(inputs, "convergence.svg");
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

}  // namespace

int runProgram(const std::vector<std::string>& arguments) {
    const ParsedCommandLine parsed = parseCommandLine(arguments, std::cout, std::cerr);
    if (!parsed.commandLine) return parsed.exitStatus;
    const CommandLine& line = *parsed.commandLine;
    const SilencedOutput silence(line.quiet);
    try {
        const ConfigurationScan scan = scanConfigurationFile(line.configuration);
        std::vector<Finding> findings = checkConfiguration(scan);
        if (line.strict) findings = warningsAsErrors(std::move(findings));
        if (line.check) {
            std::cout << parametersText(effectiveParameters(scan));
            for (const Finding& finding : findings) writeFinding(line.configuration, finding);
            return hasErrors(findings) ? kExitFailed : kExitRan;
        }
        for (const Finding& finding : findings) writeFinding(line.configuration, finding);
        if (hasErrors(findings)) return kExitFailed;
    } catch (const Failure& failure) {
        writeFailure(failure);
        return kExitFailed;
    }
    return runExperiment(line);
}

int runExperiment(const CommandLine& line, std::span<const AlgorithmRow> algorithms,
                  std::span<const ProblemRow> problems) {
    const InterruptionGuard interruption;
    OutputCounter output;
    // Files opened from here on are emptied again once the experiment ends, however it ends.
    struct KeptContentGuard {
        ~KeptContentGuard() { OutputFile::keepContentOf({}); }
    } keptContent;
    std::unique_ptr<QSummaryProcessor> summaryProcessor;
    try {
        OutputFile::setFolder(line.outputFolder);
        // A checkpoint to resume from is read and checked before anything is written, so that a
        // refused one leaves every file as it was.
        std::optional<Checkpoint> resume;
        if (!line.resumeFile.empty()) {
            resume = readCheckpoint(line.resumeFile);
            std::vector<std::string> inputs;
            for (const InputFileSum& input : resume->identity.inputs) inputs.push_back(input.name);
            checkCheckpointFits(*resume, identityOf(line, inputs), line.resumeFile);
            // The set-up's announcements were written before the checkpoint; the logs it opens
            // keep their content until they are cut back to the checkpoint's lengths.
            output.mute(true);
            OutputFile::keepContentOf(appendedFiles(*resume));
        }
        prepareOutputFolder(line.outputFolder);
        if (!line.checkpointFile.empty()) checkCheckpointWritable(line.checkpointFile);

        auto tree = std::make_unique<QLightXMLIO>();
        auto params = std::make_unique<QEAParameters>();
        tree->readFromFile(line.configuration);
        readParameters(*tree, *params);
        const int runs = line.runs;

        std::unique_ptr<QEvolutionaryAlgorithm> algorithm = createAlgorithmByName(*tree, algorithms);
        std::unique_ptr<QProblem> problem = createProblemByName(*tree, problems);
        problem->printName(std::cout);
        ExperimentNames names{chosenName(*tree, "algorithm", "createAlgorithmByName"),
                              chosenName(*tree, "problem", "createProblemByName"), 0};
        // The problem was made from its row, so the row is there.
        names.problemNumber = static_cast<int>(rowNamed(problems, names.problem) - problems.data()) + 1;
        checkOutputFiles(*algorithm, *problem);

        // The problem adjusts the fields it depends on before the algorithm takes its copy.
        problem->adjustParameters(params.get());
        // A seed taken from the calendar stays the one the experiment started with.
        if (resume) params->rngSeed = resume->seed;
        problem->setParameters(params.get());
        checkMemory(*params, runs);
        checkDiskSpace(*params, line.outputFolder);
        algorithm->setUp(*params, RegistryPartsMaker{}, *problem);
        summaryProcessor = std::make_unique<QSummaryProcessor>(params.get());
        summaryProcessor->algorithmName = printedName(*algorithm);
        summaryProcessor->problemName = printedName(*problem);
        summaryProcessor->algorithmReport = [&algorithm](const std::vector<QRunSummary>& runs, std::ostream& out) {
            algorithm->reportStatistics(runs, out);
        };

        CheckpointKeeper checkpoints(line,
                                     line.checkpointFile.empty() ? ExperimentIdentity{}
                                                                 : identityOf(line, problem->inputFiles()),
                                     *algorithm, *problem, *summaryProcessor, *params, output);
        int firstRun = 0;
        if (resume) {
            restoreCheckpoint(*resume, *algorithm, *problem, *summaryProcessor, output);
            OutputFile::keepContentOf({});
            output.mute(false);
            firstRun = resume->nextRun;
            checkpoints.resumedFrom(*resume);
            if (!line.quiet) std::cerr << resumingNote(*resume, line.resumeFile);
        }

        ProgressLine progress(std::cerr, progressWanted(line), runs, params->generationsNumber);
        algorithm->setGenerationObserver([&progress, &checkpoints](const QRunSummary& summary) {
            progress.generationDone(summary);
            checkpoints.generationDone(summary.generationsDone);
            if (const int signal = pendingInterruption()) throw Interrupted{signal};
        });
        try {
            for (int i = firstRun; i < runs; ++i) {
                if (const int signal = pendingInterruption()) throw Interrupted{signal};
                progress.startRun(i);
                checkpoints.startRun(i);
                // A restored run goes on where it was; its "Run #" line was written before.
                if (!(resume && resume->runInProgress && i == firstRun)) std::cout << "Run # " << i << "\n";
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
            std::cout << "\n" << std::flush;
            algorithm->log().flush();
            const int finished = summaryProcessor->summariesCount();
            if (finished > 0) {
                summaryProcessor->operate();
                writeResults(line, *summaryProcessor, *params, names);
                std::cerr << "valdrin: interrupted by " << signalName(stop.signal) << ": the report covers " << finished
                          << " of " << runs << " runs\n";
            } else {
                std::cerr << "valdrin: interrupted by " << signalName(stop.signal)
                          << " before the first run finished: no report was written\n";
            }
            if (checkpoints.enabled()) {
                std::cerr << "valdrin: the experiment's state is in " << line.checkpointFile << ": --resume "
                          << line.checkpointFile << " goes on from there\n";
            }
            return exitStatusFor(stop.signal);
        }
        progress.clear();
        summaryProcessor->operate();
        writeResults(line, *summaryProcessor, *params, names);

        algorithm->cleanup();
        problem.reset();
        algorithm.reset();
        summaryProcessor.reset();
        params.reset();
        tree.reset();
    } catch (const Failure& failure) {
        output.mute(false);
        writeFailure(failure);
        return kExitFailed;
    } catch (const std::bad_alloc&) {
        output.mute(false);
        std::cout.flush();
        std::cerr << "valdrin: error: out of memory: the experiment needs more memory than the system could give\n";
        return kExitFailed;
    }
    return kExitRan;
}

}  // namespace Valdrin
