// valdrin-compare: experiments' folders and sweeps' combinations compared as a sweep's are.
#include "compare/compare_program.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>

#include "core/failure.h"
#include "driver/command_line.h"
#include "sweep/sweep_page.h"
#include "sweep/sweep_plan.h"
#include "sweep/sweep_results.h"

namespace Valdrin {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDescription =
    "Compares experiments that were not one sweep: the folders written by `valdrin CONFIG RUNS --out DIR --csv`, and "
    "sweeps' folders (each of their combinations compared as an experiment of its own). Writes into OUT "
    "results.sqlite (the tables combinations, comparisons and omnibus, with the runs), comparison.csv and "
    "comparison.html, as valdrin-sweep writes them for a sweep.";

constexpr const char* kFooter =
    "\nExample: valdrin-compare run-a run-b sweep-c --out compared\n\n"
    "An experiment is labelled by what differs between the configurations of the experiments given (the parameters "
    "their summary.log lists), or by its folder when nothing differs; a sweep's combination by the sweep's folder and "
    "its values.\n\nExit status: 0 when the files were written, 1 when they could not be, 2 for a misused command "
    "line (among them a folder that holds no experiment's results).\n";

bool holdsResults(const fs::path& folder) {
    return fs::is_regular_file(folder / "runs.csv") && fs::is_regular_file(folder / "generations.csv");
}

// The parameters summary.log lists at its head ("name:<tab>value" up to the first blank line).
std::map<std::string, std::string> parametersOf(const fs::path& folder) {
    std::map<std::string, std::string> parameters;
    std::ifstream in(folder / "summary.log");
    std::string line;
    bool started = false;
    while (std::getline(in, line)) {
        if (line.empty()) {
            if (started) break;
            continue;
        }
        const std::size_t tab = line.find(":\t");
        if (tab == std::string::npos) continue;
        started = true;
        parameters[line.substr(0, tab)] = line.substr(tab + 2);
    }
    return parameters;
}

// A sweep experiment's folder name without its number and seed: "03_0.05_20_seed3" is "0.05_20".
std::string valuesOf(const std::string& name) {
    std::string values = name;
    const std::size_t underscore = values.find('_');
    if (underscore != std::string::npos) values.erase(0, underscore + 1);
    const std::size_t seed = values.rfind("seed");
    if (seed != std::string::npos) values.erase(seed == 0 ? 0 : seed - 1);
    return values;
}

std::string joined(const std::vector<std::string>& texts) {
    std::string text;
    for (const std::string& part : texts) text += (text.empty() ? "" : ", ") + part;
    return text;
}

}  // namespace

std::vector<ComparedEntry> comparedEntries(const std::vector<std::string>& folders) {
    std::vector<ComparedEntry> entries;
    std::vector<std::size_t> single;  // the entries of single experiments
    for (const std::string& given : folders) {
        const fs::path folder(given);
        if (holdsResults(folder)) {
            single.push_back(entries.size());
            entries.push_back({"", {given}});
            continue;
        }
        if (!fs::is_directory(folder / "experiments")) {
            throw UsageError(given + " holds neither runs.csv and generations.csv (valdrin --out DIR --csv) nor a "
                             "sweep's experiments/");
        }
        std::vector<fs::path> experiments;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder / "experiments")) {
            if (holdsResults(entry.path())) experiments.push_back(entry.path());
        }
        std::sort(experiments.begin(), experiments.end());
        if (experiments.empty()) throw UsageError("no experiment of the sweep in " + given + " has results");
        std::map<std::string, std::size_t> byValues;
        const std::string sweepName = folder.lexically_normal().filename().empty()
                                          ? folder.lexically_normal().parent_path().filename().string()
                                          : folder.lexically_normal().filename().string();
        for (const fs::path& experiment : experiments) {
            const std::string values = valuesOf(experiment.filename().string());
            const auto [place, added] = byValues.try_emplace(values, entries.size());
            if (added) entries.push_back({sweepName + (values.empty() ? "" : ": " + values), {}});
            entries[place->second].folders.push_back(experiment.string());
        }
    }
    // The single experiments by what differs between their configurations.
    std::vector<std::map<std::string, std::string>> parameters;
    std::set<std::string> names;
    for (std::size_t e : single) {
        parameters.push_back(parametersOf(entries[e].folders.front()));
        for (const auto& [name, value] : parameters.back()) names.insert(name);
    }
    std::vector<std::string> differing;
    for (const std::string& name : names) {
        for (const auto& each : parameters) {
            const auto found = each.find(name);
            const auto first = parameters.front().find(name);
            if ((found == each.end()) != (first == parameters.front().end()) ||
                (found != each.end() && found->second != first->second)) {
                differing.push_back(name);
                break;
            }
        }
    }
    for (std::size_t s = 0; s < single.size(); ++s) {
        std::vector<std::string> parts;
        for (const std::string& name : differing) {
            const auto found = parameters[s].find(name);
            parts.push_back(name + "=" + (found == parameters[s].end() ? std::string("(none)") : found->second));
        }
        entries[single[s]].label = joined(parts);
    }
    std::set<std::string> seen;
    bool clash = false;
    for (const ComparedEntry& entry : entries) clash = clash || entry.label.empty() || !seen.insert(entry.label).second;
    if (clash) {
        for (std::size_t e : single) entries[e].label = fs::path(entries[e].folders.front()).lexically_normal().string();
        seen.clear();
        for (ComparedEntry& entry : entries) {
            // Still the same (a folder given twice, say): numbered.
            if (!seen.insert(entry.label).second) entry.label += " (" + std::to_string(&entry - entries.data() + 1) + ")";
        }
    }
    return entries;
}

int runCompare(const std::vector<std::string>& arguments) {
    std::vector<std::string> folders;
    std::string output = "comparison";
    double alpha = 0.05;
    CLI::App app(kDescription, "valdrin-compare");
    app.add_option("DIR", folders, "an experiment's folder (valdrin --out DIR --csv) or a sweep's folder")
        ->required()
        ->check(CLI::ExistingDirectory);
    app.add_option("--out", output, "the folder the comparison is written to (default: comparison)")->option_text("OUT");
    app.add_option("--alpha", alpha,
                   "the level below which a Holm-adjusted p-value counts as a significant difference (above 0, below "
                   "1; default 0.05)")
        ->option_text("LEVEL");
    app.set_version_flag("--version", std::string("valdrin-compare ") + programVersion());
    app.footer(kFooter);
    if (const std::optional<int> ended = parseOrEnd(app, arguments, "valdrin-compare", std::cout, std::cerr)) return *ended;
    const auto misused = [](const std::string& what) {
        std::cerr << "valdrin-compare: error: " << what << "\nRun 'valdrin-compare --help' for the command line.\n";
        return kExitMisused;
    };
    if (!(alpha > 0.0 && alpha < 1.0)) return misused("--alpha must be above 0 and below 1");
    if (output.empty()) return misused("--out needs a folder");
    std::vector<ComparedEntry> entries;
    try {
        entries = comparedEntries(folders);
    } catch (const UsageError& error) {
        return misused(error.what());
    }
    if (entries.size() < 2) return misused("there is only one experiment to compare: give two folders or more");

    try {
        std::vector<std::string> labels;
        for (const ComparedEntry& entry : entries) labels.push_back(entry.label);
        const std::vector<SweptKey> keys = {{"Compared", labels}};
        std::vector<Experiment> experiments;
        std::vector<ExperimentOutcome> outcomes;
        std::vector<std::pair<std::string, std::string>> described;
        int runs = 0;
        for (std::size_t e = 0; e < entries.size(); ++e) {
            for (const std::string& folder : entries[e].folders) {
                Experiment experiment;
                experiment.id = static_cast<int>(experiments.size()) + 1;
                experiment.combination = static_cast<int>(e);
                experiment.values = {entries[e].label};
                experiment.folder = fs::absolute(folder).lexically_normal().string();
                const std::map<std::string, std::string> parameters = parametersOf(folder);
                const auto seed = parameters.find("RNG seed");
                experiment.seed = seed == parameters.end() ? 0 : std::atoi(seed->second.c_str());
                ExperimentOutcome outcome;
                outcome.state = ExperimentOutcome::State::Ran;
                if (std::optional<CsvTable> table = readCsv((fs::path(folder) / "runs.csv").string())) {
                    outcome.runs = std::move(*table);
                }
                runs = std::max(runs, static_cast<int>(outcome.runs.rows.size()));
                experiments.push_back(experiment);
                outcomes.push_back(std::move(outcome));
            }
            described.emplace_back(entries[e].label, joined(entries[e].folders));
        }
        std::error_code error;
        fs::create_directories(output, error);
        if (error) failPlainly("cannot create " + output + ": " + error.message());
        const SweepRecord record{keys, experiments, outcomes, ""};
        const std::vector<CombinationSummary> combinations = summarizeCombinations(record);
        writeResultsDatabase(record, combinations, (fs::path(output) / "results.sqlite").string());
        writeSweepCsv(record, combinations, (fs::path(output) / "comparison.csv").string());
        SweepPageInputs page{record, std::to_string(entries.size()) + " experiments", "", runs, {}, alpha};
        page.comparedFolders = described;
        page.combinations = &combinations;
        writeSweepPage(page, (fs::path(output) / "comparison.html").string());
        std::cout << "Compared " << entries.size() << " experiments\nResults: " << (fs::path(output) / "results.sqlite").string()
                  << ", " << (fs::path(output) / "comparison.csv").string() << ", "
                  << (fs::path(output) / "comparison.html").string() << "\n";
    } catch (const Failure& failure) {
        std::cout.flush();
        if (!failure.message().empty()) std::cerr << failure.message();
        std::cerr << "valdrin-compare: error: " << failure.plain() << "\n" << std::flush;
        return 1;
    }
    return kExitRan;
}

}  // namespace Valdrin
