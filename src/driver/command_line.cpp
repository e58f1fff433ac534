// Reading the command line with CLI11, and the help text.
#include "driver/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <climits>
#include <ostream>
#include <sstream>

#include "core/parameters.h"
#include "registry/problem_table.h"
#include "registry/registry.h"

namespace Valdrin {

namespace {

constexpr const char* kDescription =
    "Runs an evolutionary-computation experiment described in CONFIG, RUNS times, and writes the "
    "per-run logs and the report over the runs (summary.log, solution.log, candidate.log).";

// RUNS as a whole number from 1 to the int limit; "" when the text is one.
std::string runsProblem(const std::string& text) {
    const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits) return "RUNS must be a whole number of runs, such as 10 (got \"" + text + "\")";
    const std::string trimmed = text.substr(std::min(text.find_first_not_of('0'), text.size()));
    const std::string limit = std::to_string(INT_MAX);
    if (trimmed.empty()) return "RUNS must be at least 1 (got \"" + text + "\")";
    if (trimmed.size() > limit.size() || (trimmed.size() == limit.size() && trimmed > limit)) {
        return "RUNS must be at most " + limit + " (got \"" + text + "\")";
    }
    return {};
}

// --every N as a whole number of generations from 1 to the int limit; "" when the text is one.
// The problem with a whole number of generations given to option, "" when it is one from 1 up.
std::string generationsProblem(const std::string& option, const std::string& text) {
    const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const std::string trimmed = digits ? text.substr(std::min(text.find_first_not_of('0'), text.size())) : "";
    const std::string limit = std::to_string(INT_MAX);
    if (!digits || trimmed.empty() || trimmed.size() > limit.size() || (trimmed.size() == limit.size() && trimmed > limit)) {
        return option + " must be a whole number of generations from 1 to " + limit + " (got \"" + text + "\")";
    }
    return {};
}

// The most threads --threads takes.
constexpr int kMostThreads = 1024;

// --threads N as a whole number from 1 to kMostThreads; "" when the text is one.
std::string threadsProblem(const std::string& text) {
    const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const std::string trimmed = digits ? text.substr(std::min(text.find_first_not_of('0'), text.size())) : "";
    const std::string most = std::to_string(kMostThreads);
    if (!digits || trimmed.empty() || trimmed.size() > most.size() || (trimmed.size() == most.size() && trimmed > most)) {
        return "--threads must be a whole number of threads from 1 to " + most + " (got \"" + text + "\")";
    }
    return {};
}

template <class Row>
void listRows(std::ostringstream& out, const char* title, std::span<const Row> rows) {
    out << title << ":\n";
    for (const Row& row : rows) out << "  " << row.word << "\n      " << row.description << "\n";
}

// The encodings on which an operator word builds another operator than it names, from its row.
template <class Row>
void listRunsInstead(std::ostringstream& out, std::span<const Row> rows, std::string_view word) {
    const Row* row = rowNamed(rows, word);
    if (row == nullptr) return;
    for (const auto& entry : row->makers) {
        const std::string instead = runsInstead(*row, entry.encoding);
        const EncodingRow* encoding = rowOf(encodingRows(), entry.encoding);
        if (instead.empty() || encoding == nullptr) continue;
        out << "          on the " << encoding->word << " encoding it " << instead << "\n";
    }
}


}  // namespace

const char* programVersion() { return VALDRIN_VERSION; }

std::string vocabularyHelp(const std::string& problemLibrary) {
    std::ostringstream out;
    out << "\nThe configuration names one algorithm (<algorithm><type>WORD</type></algorithm>), one problem\n"
           "(<problem><type>WORD</type></problem>) and parameters\n"
           "(<parameter><name>KEY</name><value>VALUE</value></parameter>).\n\n";
    listRows(out, "Algorithms", algorithmRows());
    out << "\n";
    ProblemTable problems;
    std::string refusal;
    if (!problemLibrary.empty()) {
        try {
            problems.addLibrary(problemLibrary);
        } catch (const PluginRefusal& refused) {
            refusal = refused.message;
        }
    }
    listRows(out, "Problems", problems.rows());
    if (problems.rows().size() > problemRows().size()) {
        out << "      (from the problem library " << problemLibrary << "; name it with the key Problem library)\n";
    }
    if (!refusal.empty()) out << "  (" << refusal << ")\n";
    out << "\nKeys (default in brackets):\n";
    const QEAParameters defaults;
    for (const KeyRow& key : keyRows()) {
        out << "  " << key.key << " [" << key.shown(defaults) << "]\n      " << key.description << "\n";
        for (std::string_view word : key.words()) {
            const std::string_view description = key.describe(word);
            out << "        " << word;
            if (!description.empty()) out << ": " << description;
            out << "\n";
            if (key.key == "Crossover type") listRunsInstead(out, crossoverRows(), word);
            if (key.key == "Mutation type") listRunsInstead(out, mutationRows(), word);
        }
    }
    out << "\nEvery value summary.log calls a deviation (Deviation, devMean, Time deviation, ...) is a variance:\n"
           "no square root is taken.\n";
    out << "\nExit status: 0 when the experiment ran, 1 when it could not be run or failed, 2 for a misused\n"
           "command line, 130 and 143 when interrupted (SIGINT, SIGTERM) after writing the report over\n"
           "the runs that had finished (and, with --checkpoint, a checkpoint to resume from).\n";
    return out.str();
}

std::optional<int> parseOrEnd(CLI::App& app, const std::vector<std::string>& arguments, const std::string& program,
                              std::ostream& out, std::ostream& err) {
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitRan;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << "\n";
        return kExitRan;
    } catch (const CLI::ParseError& error) {
        err << program << ": error: " << error.what() << "\nRun '" << program << " --help' for the command line.\n";
        return kExitMisused;
    }
    return std::nullopt;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    CommandLine line;
    std::string runsText;
    CLI::App app(kDescription, "valdrin");
    app.add_option("CONFIG", line.configuration, "the experiment's configuration file (default config.xml)");
    CLI::Option* runsOption =
        app.add_option("RUNS", runsText, "the number of independent runs, a whole number (default 1)");
    app.add_flag("--check", line.check,
                 "check the configuration, print the effective parameters and the findings, run nothing; "
                 "exit 0 when it has no error, else 1");
    app.add_flag("--strict", line.strict, "treat every warning about the configuration as an error");
    app.add_option("--out", line.outputFolder, "write every file into DIR (created if missing)")->option_text("DIR");
    app.add_flag("--csv", line.csv,
                 "also write generations.csv (one row per run and generation) and runs.csv (one row per run)");
    app.add_option("--ioh", line.iohFolder, "also write the runs in the IOHprofiler format into DIR")
        ->option_text("DIR");
    CLI::Option* labelOption =
        app.add_option("--label", line.label,
                       "with --ioh: what IOHanalyzer calls the algorithm (default: the algorithm's word and its "
                       "crossover, mutation and niching words, such as \"GA 2-point bit-flip\")")
            ->option_text("TEXT");
    app.add_flag("--report", line.report,
                 "also write report.html: what was run, the outcome, the convergence plot and the runs");
    app.add_flag("--plot", line.plot, "also write the convergence plot alone, as convergence.svg");
    std::string recordEveryText;
    CLI::Option* recordEveryOption =
        app.add_option("--record-every", recordEveryText,
                       "generations.csv and the plots keep generation 1, every N-th generation and each run's last "
                       "(the logs and summary.log keep every generation)")
            ->option_text("N");
    CLI::Option* checkpointOption =
        app.add_option("--checkpoint", line.checkpointFile,
                       "write the whole state of the experiment to FILE after every run and every 10 minutes "
                       "(atomically: FILE.part, then renamed), so that --resume can go on from it; a relative FILE "
                       "is placed in the --out folder")
            ->option_text("FILE");
    std::string everyText;
    CLI::Option* everyOption =
        app.add_option("--every", everyText, "with --checkpoint: after every N generations of a run instead of every 10 minutes")
            ->option_text("N");
    CLI::Option* resumeOption =
        app.add_option("--resume", line.resumeFile,
                       "go on with the experiment whose checkpoint FILE holds (give the same CONFIG and output "
                       "options, and the same RUNS or more to extend it); its logs, and standard output appended to "
                       "the interrupted one's file, are cut back to the checkpoint; a relative FILE is placed in the "
                       "--out folder")
            ->option_text("FILE");
    std::string threadsText;
    CLI::Option* threadsOption =
        app.add_option("--threads", threadsText,
                       "evaluate each generation's individuals on N threads, 1 to 1024 (default 1); everything written is "
                       "the same as on one thread, durations aside; a problem whose evaluations draw random numbers "
                       "is evaluated on one thread, with a warning")
            ->option_text("N");
    app.add_flag("--manifest", line.manifest,
                 "also write manifest.json (what --verify re-runs and checks) where the files go; --out writes it "
                 "without this option");
    CLI::Option* verifyOption =
        app.add_option("--verify", line.verifyFolder,
                       "re-run the experiment whose folder DIR holds a manifest.json, in a scratch folder, and say file "
                       "by file whether it gives the same files (measured durations aside); exit 0 when every file "
                       "reproduces, 1 when one does not or an input changed, 2 when DIR holds no manifest")
            ->option_text("DIR");
    app.add_flag("--quiet", line.quiet, "write nothing on standard output and no progress line");
    app.add_flag("--progress", line.progress, "show the progress line even when standard error is not a terminal");
    app.set_version_flag("--version", std::string("valdrin ") + programVersion());
    app.add_option("--problem-library", line.problemLibrary,
                   "with --help: also list the problem of this plugin library (a configuration names it with the "
                   "key Problem library)")
        ->option_text("FILE");
    app.footer([&line] { return vocabularyHelp(line.problemLibrary); });

    if (const std::optional<int> ended = parseOrEnd(app, arguments, "valdrin", out, err)) return {std::nullopt, *ended};
    if (runsOption->count() > 0) {
        if (const std::string problem = runsProblem(runsText); !problem.empty()) {
            err << "valdrin: error: " << problem << "\nRun 'valdrin --help' for the command line.\n";
            return {std::nullopt, kExitMisused};
        }
        line.runs = std::stoi(runsText);
    }
    if (verifyOption->count() > 0) {
        const std::vector<CLI::Option*> given =
            app.get_options([verifyOption](const CLI::Option* option) { return option != verifyOption && option->count() > 0; });
        if (!given.empty()) {
            err << "valdrin: error: --verify DIR re-runs the experiment as its manifest.json records it: it takes "
                   "no other argument\nRun 'valdrin --help' for the command line.\n";
            return {std::nullopt, kExitMisused};
        }
        if (line.verifyFolder.empty()) {
            err << "valdrin: error: --verify needs a folder\nRun 'valdrin --help' for the command line.\n";
            return {std::nullopt, kExitMisused};
        }
        return {line, kExitRan};
    }
    if (!line.outputFolder.empty()) line.manifest = true;
    if (line.quiet && line.progress) {
        err << "valdrin: error: --quiet and --progress cannot be used together\n";
        return {std::nullopt, kExitMisused};
    }
    std::string misuse;
    if (checkpointOption->count() > 0 && line.checkpointFile.empty()) misuse = "--checkpoint needs a file name";
    if (resumeOption->count() > 0 && line.resumeFile.empty()) misuse = "--resume needs a file name";
    if (everyOption->count() > 0) {
        if (checkpointOption->count() == 0) misuse = "--every needs --checkpoint FILE";
        else if (const std::string problem = generationsProblem("--every", everyText); !problem.empty()) misuse = problem;
        else line.checkpointEvery = std::stoi(everyText);
    }
    if (recordEveryOption->count() > 0) {
        if (const std::string problem = generationsProblem("--record-every", recordEveryText); !problem.empty()) {
            misuse = problem;
        } else {
            line.recordEvery = std::stoi(recordEveryText);
        }
    }
    if (threadsOption->count() > 0) {
        if (const std::string problem = threadsProblem(threadsText); !problem.empty()) {
            misuse = problem;
        } else {
            line.threads = std::stoi(threadsText);
        }
    }
    if (labelOption->count() > 0) {
        if (line.iohFolder.empty()) {
            misuse = "--label names the algorithm in the IOHprofiler files: it needs --ioh DIR";
        } else if (!std::any_of(line.label.begin(), line.label.end(), [](char c) {
                       return std::isgraph(static_cast<unsigned char>(c)) != 0 && c != '"' && c != ',';
                   })) {
            misuse = "--label needs a text to name the algorithm by (got \"" + line.label + "\")";
        }
    }
    if (line.check && (checkpointOption->count() > 0 || resumeOption->count() > 0)) {
        misuse = "--check runs nothing, so it takes neither --checkpoint nor --resume";
    }
    if (!misuse.empty()) {
        err << "valdrin: error: " << misuse << "\nRun 'valdrin --help' for the command line.\n";
        return {std::nullopt, kExitMisused};
    }
    return {line, kExitRan};
}

}  // namespace Valdrin
