// The sweep's page.
#include "sweep/sweep_page.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale>
#include <sstream>

#include "core/output_file.h"
#include "report/convergence_plot.h"
#include "report/report_page.h"

namespace Valdrin {

namespace {

std::string escaped(const std::string& text) { return escapedMarkup(text); }

double cell(const CsvTable& table, const std::vector<std::string>& row, const std::string& name) {
    const int place = table.column(name);
    if (place < 0 || row[static_cast<std::size_t>(place)].empty()) return std::numeric_limits<double>::quiet_NaN();
    return std::strtod(row[static_cast<std::size_t>(place)].c_str(), nullptr);
}

std::string seedsText(const std::vector<int>& seeds) {
    // Runs of consecutive seeds as ranges: 1-10, 15.
    std::string text;
    for (std::size_t i = 0; i < seeds.size();) {
        std::size_t j = i;
        while (j + 1 < seeds.size() && seeds[j + 1] == seeds[j] + 1) ++j;
        if (!text.empty()) text.append(", ");
        text.append(std::to_string(seeds[i]));
        if (j > i) text.append("-").append(std::to_string(seeds[j]));
        i = j + 1;
    }
    return text;
}

struct Quartiles {
    double lower;
    double median;
    double upper;
};

// Of the finite values; NaN when there is none.
Quartiles quartilesOf(const std::vector<double>& values) {
    std::vector<double> finite;
    for (double value : values) {
        if (std::isfinite(value)) finite.push_back(value);
    }
    if (finite.empty()) {
        const double none = std::numeric_limits<double>::quiet_NaN();
        return {none, none, none};
    }
    return {quantile(finite, 0.25), quantile(finite, 0.5), quantile(finite, 0.75)};
}

// The combinations' places, from the lowest median best so far up; those without one last, ties
// in combination order.
std::vector<std::size_t> rankedByBestSoFar(const std::vector<CombinationSummary>& combinations) {
    std::vector<std::size_t> order(combinations.size());
    for (std::size_t c = 0; c < order.size(); ++c) order[c] = c;
    std::stable_sort(order.begin(), order.end(), [&combinations](std::size_t a, std::size_t b) {
        const double left = combinations[a].medianBestSoFar;
        const double right = combinations[b].medianBestSoFar;
        if (std::isnan(right)) return !std::isnan(left);
        return !std::isnan(left) && left < right;
    });
    return order;
}

void writeTile(const std::string& id, const std::string& label, const std::string& value, const std::string& detail,
               std::ostringstream& page) {
    page << "  <div class=\"tile\" id=\"" << id << "\"><div class=\"label\">" << escaped(label)
         << "</div><div class=\"value\">" << value << "</div><div class=\"detail\">" << escaped(detail)
         << "</div></div>\n";
}

void writePlan(const SweepPageInputs& inputs, std::ostringstream& page) {
    const SweepRecord& record = inputs.record;
    page << "<section id=\"plan\">\n<h2>What was swept</h2>\n<dl class=\"parameters\">\n";
    std::vector<std::pair<std::string, std::string>> rows{{"Base configuration", inputs.baseName}};
    for (const SweptKey& swept : record.keys) {
        std::string values;
        for (const std::string& value : swept.values) values += (values.empty() ? "" : ", ") + value;
        rows.emplace_back(swept.key, values);
    }
    rows.emplace_back("RNG seed", seedsText(inputs.seeds));
    rows.emplace_back("Runs per experiment", shownNumber(inputs.runs));
    rows.emplace_back("Experiments", shownNumber(record.experiments.size()) + " (" +
                                         shownNumber(combinationCount(record.keys)) + " combinations × " +
                                         shownNumber(inputs.seeds.size()) + " seeds)");
    for (const auto& [label, value] : rows) {
        page << "  <dt>" << escaped(label) << "</dt><dd>" << escaped(value) << "</dd>\n";
    }
    page << "</dl>\n</section>\n";
}

void writeOutcome(const SweepRecord& record, const std::vector<CombinationSummary>& combinations,
                  std::ostringstream& page) {
    int ran = 0;
    int failed = 0;
    int runs = 0;
    int solved = 0;
    for (const CombinationSummary& combination : combinations) {
        ran += combination.ran;
        failed += combination.failed;
        runs += combination.runs;
        solved += combination.solved;
    }
    const int total = static_cast<int>(record.experiments.size());
    page << "<section id=\"outcome\">\n<h2>Outcome</h2>\n<div class=\"tiles\">\n";
    writeTile("experiments-ran", "Experiments that ran", shownNumber(ran) + " of " + shownNumber(total),
              total - ran - failed > 0 ? shownNumber(total - ran - failed) + " did not run" : "every experiment ran or failed",
              page);
    writeTile("experiments-failed", "Experiments that failed", shownNumber(failed),
              failed > 0 ? "listed under Failures below" : "none", page);
    writeTile("runs-solved", "Runs solved", runs > 0 ? shownNumber(100.0 * solved / runs) + "%" : std::string("&mdash;"),
              shownNumber(solved) + " of " + shownNumber(runs) + " runs reached a fitness below the error level", page);
    page << "</div>\n</section>\n";
}

void writeCombinations(const SweepRecord& record, const std::vector<CombinationSummary>& combinations,
                       std::ostringstream& page) {
    page << "<section id=\"combinations-section\">\n<h2>Combinations</h2>\n<table class=\"data\" id=\"combinations\">\n"
         << "<thead><tr>";
    for (const SweptKey& swept : record.keys) page << "<th class=\"text\">" << escaped(swept.key) << "</th>";
    page << "<th>experiments</th><th>runs</th><th>success rate</th><th>ERT</th><th>median best so far</th>"
         << "<th>quartiles of best so far</th><th>median final best</th><th>quartiles of final best</th></tr></thead>\n"
         << "<tbody>\n";
    int standIns = 0;
    for (const std::size_t c : rankedByBestSoFar(combinations)) {
        const CombinationSummary& combination = combinations[c];
        standIns += combination.finalBestStandIns;
        const bool anyRun = combination.runs > 0;
        const bool finite = std::isfinite(combination.expectedRunningTime);
        const double rate = anyRun ? static_cast<double>(combination.solved) / combination.runs : 0.0;
        page << "<tr data-combination=\"" << c + 1 << "\" data-experiments=\"" << combination.experiments
             << "\" data-ran=\"" << combination.ran << "\" data-failed=\"" << combination.failed << "\" data-runs=\""
             << combination.runs << "\" data-solved=\"" << combination.solved << "\" data-success-rate=\""
             << (anyRun ? exactNumber(rate) : "") << "\" data-ert=\"" << (anyRun ? (finite ? exactNumber(combination.expectedRunningTime) : "inf") : "")
             << "\" data-median-best-so-far=\"" << (anyRun ? exactNumber(combination.medianBestSoFar) : "")
             << "\" data-lower-quartile-best-so-far=\""
             << (anyRun ? exactNumber(combination.lowerQuartileBestSoFar) : "")
             << "\" data-upper-quartile-best-so-far=\""
             << (anyRun ? exactNumber(combination.upperQuartileBestSoFar) : "")
             << "\" data-median-final-best=\"" << (anyRun ? exactNumber(combination.medianFinalBest) : "")
             << "\" data-lower-quartile=\"" << (anyRun ? exactNumber(combination.lowerQuartile) : "")
             << "\" data-upper-quartile=\"" << (anyRun ? exactNumber(combination.upperQuartile) : "") << "\">";
        for (const std::string& value : combination.values) page << "<td class=\"text\">" << escaped(value) << "</td>";
        page << "<td>" << combination.ran << " of " << combination.experiments
             << (combination.failed > 0 ? " (" + shownNumber(combination.failed) + " failed)" : "") << "</td><td>"
             << combination.runs << "</td>";
        if (!anyRun) {
            page << "<td>&mdash;</td><td>&mdash;</td><td>&mdash;</td><td>&mdash;</td><td>&mdash;</td><td>&mdash;</td>"
                 << "</tr>\n";
            continue;
        }
        page << "<td>" << escaped(shownNumber(100.0 * rate)) << "%</td><td>"
             << (finite ? escaped(shownNumber(combination.expectedRunningTime)) : "&infin;") << "</td><td>"
             << escaped(shownNumber(combination.medianBestSoFar)) << "</td><td>"
             << escaped(shownNumber(combination.lowerQuartileBestSoFar)) << " &#8211; "
             << escaped(shownNumber(combination.upperQuartileBestSoFar)) << "</td><td>"
             << escaped(shownNumber(combination.medianFinalBest)) << "</td><td>" << escaped(shownNumber(combination.lowerQuartile))
             << " &#8211; " << escaped(shownNumber(combination.upperQuartile)) << "</td></tr>\n";
    }
    page << "</tbody>\n</table>\n<p class=\"note\">Over every run of every experiment (seed) of the combination that "
         << "ran, ranked by the median best fitness so far, lowest first (combinations without runs last, ties in the "
         << "order of the swept values). A run's best so far is the best fitness any of its evaluations gave; its "
         << "final best, that of its last generation, may be worse. ERT, the expected running time, is the "
         << "evaluations of all runs (up to the solution for a solved run) over the solved runs, infinite when none "
         << "solved. The quartiles (lower is better) interpolate between the runs' values.</p>\n";
    if (standIns > 0) {
        page << "<p class=\"note\" id=\"final-best-stand-ins\">" << standIns
             << (standIns == 1 ? " run comes" : " runs come") << " from a runs.csv without best-so-far columns "
             << "(written by an earlier version): "
             << (standIns == 1 ? "its final best stands" : "their final best stands") << " for the best so far.</p>\n";
    }
    page << "</section>\n";
}

void writePlots(const SweepRecord& record, const std::vector<CombinationSummary>& combinations,
                const std::vector<int>& seeds, std::ostringstream& page) {
    page << "<section id=\"plots\">\n<h2>Best so far against each swept key</h2>\n";
    bool any = false;
    const auto figure = [&page, &any](const std::vector<ValueGroup>& groups, const std::string& key, const std::string& id) {
        const std::string svg =
            groupedValuesSvg(groups, {"Best fitness so far against " + key, key, "best fitness so far", id});
        if (svg.empty()) return;
        any = true;
        page << "<figure>\n" << svg << "<figcaption>Every run's best fitness so far for each value of "
             << escaped(key) << ", over the other keys' values and the seeds: the runs as points, the band between "
             << "the quartiles and the median as a bar.</figcaption>\n</figure>\n";
    };
    for (std::size_t k = 0; k < record.keys.size(); ++k) {
        std::vector<ValueGroup> groups;
        for (const std::string& value : record.keys[k].values) groups.push_back({value, {}});
        for (const CombinationSummary& combination : combinations) {
            for (std::size_t v = 0; v < groups.size(); ++v) {
                if (groups[v].label != combination.values[k]) continue;
                groups[v].values.insert(groups[v].values.end(), combination.bestsSoFar.begin(), combination.bestsSoFar.end());
            }
        }
        figure(groups, record.keys[k].key, "key" + std::to_string(k + 1));
    }
    if (record.keys.empty()) {
        // Nothing swept but the seed: the best so far against the seed.
        std::vector<ValueGroup> groups;
        for (int seed : seeds) groups.push_back({std::to_string(seed), {}});
        for (std::size_t i = 0; i < record.experiments.size(); ++i) {
            const ExperimentOutcome& outcome = record.outcomes[i];
            if (outcome.state != ExperimentOutcome::State::Ran) continue;
            for (ValueGroup& group : groups) {
                if (group.label != std::to_string(record.experiments[i].seed)) continue;
                const bool recorded = outcome.runs.column("best_so_far_fitness") >= 0;
                for (const auto& row : outcome.runs.rows) {
                    group.values.push_back(cell(outcome.runs, row, recorded ? "best_so_far_fitness" : "final_best_fitness"));
                }
            }
        }
        figure(groups, "RNG seed", "seed");
    }
    if (!any) page << "<p class=\"note\">No experiment ran: there is nothing to plot.</p>\n";
    page << "</section>\n";
}

void writeFailures(const SweepRecord& record, std::ostringstream& page) {
    bool any = false;
    for (std::size_t i = 0; i < record.experiments.size(); ++i) {
        const ExperimentOutcome& outcome = record.outcomes[i];
        if (outcome.state == ExperimentOutcome::State::Ran) continue;
        if (!any) {
            page << "<section id=\"failures-section\">\n<h2>Failures and experiments that did not run</h2>\n"
                 << "<table class=\"data\" id=\"failures\">\n<thead><tr><th>experiment</th><th class=\"text\">folder</th>"
                 << "<th class=\"text\">what happened</th><th class=\"text\">last lines of standard error</th></tr></thead>\n"
                 << "<tbody>\n";
            any = true;
        }
        const bool failed = outcome.state == ExperimentOutcome::State::Failed;
        page << "<tr data-experiment=\"" << record.experiments[i].id << "\" data-status=\""
             << (outcome.job ? shownNumber(outcome.job->status()) : "") << "\"><td>" << record.experiments[i].id
             << "</td><td class=\"text\">" << escaped(record.experiments[i].folder) << "</td><td class=\"text\">"
             << escaped(failed ? outcome.reason : std::string("did not run")) << "</td><td class=\"text\">";
        for (std::size_t l = 0; l < outcome.errorTail.size(); ++l) {
            page << (l > 0 ? "<br />" : "") << "<code>" << escaped(outcome.errorTail[l]) << "</code>";
        }
        page << "</td></tr>\n";
    }
    if (any) page << "</tbody>\n</table>\n</section>\n";
}

}  // namespace

std::vector<CombinationSummary> summarizeCombinations(const SweepRecord& record) {
    std::vector<CombinationSummary> combinations(static_cast<std::size_t>(combinationCount(record.keys)));
    for (std::size_t c = 0; c < combinations.size(); ++c) {
        combinations[c].values = combinationValues(record.keys, static_cast<int>(c));
    }
    for (std::size_t i = 0; i < record.experiments.size(); ++i) {
        CombinationSummary& combination = combinations[static_cast<std::size_t>(record.experiments[i].combination)];
        const ExperimentOutcome& outcome = record.outcomes[i];
        ++combination.experiments;
        if (outcome.state == ExperimentOutcome::State::Failed) ++combination.failed;
        if (outcome.state != ExperimentOutcome::State::Ran) continue;
        ++combination.ran;
        for (const std::vector<std::string>& row : outcome.runs.rows) {
            ++combination.runs;
            const bool solved = cell(outcome.runs, row, "solved") == 1.0;
            combination.solved += solved ? 1 : 0;
            const double evaluations = cell(outcome.runs, row, solved ? "evaluations_to_solution" : "evaluations");
            if (std::isfinite(evaluations)) combination.totalEvaluations += static_cast<long long>(evaluations);
            combination.finalBests.push_back(cell(outcome.runs, row, "final_best_fitness"));
            const bool recorded = outcome.runs.column("best_so_far_fitness") >= 0;
            combination.bestsSoFar.push_back(
                cell(outcome.runs, row, recorded ? "best_so_far_fitness" : "final_best_fitness"));
            combination.finalBestStandIns += recorded ? 0 : 1;
        }
    }
    for (CombinationSummary& combination : combinations) {
        combination.expectedRunningTime = combination.solved > 0
                                              ? static_cast<double>(combination.totalEvaluations) / combination.solved
                                              : std::numeric_limits<double>::infinity();
        const Quartiles finals = quartilesOf(combination.finalBests);
        combination.lowerQuartile = finals.lower;
        combination.medianFinalBest = finals.median;
        combination.upperQuartile = finals.upper;
        const Quartiles bests = quartilesOf(combination.bestsSoFar);
        combination.lowerQuartileBestSoFar = bests.lower;
        combination.medianBestSoFar = bests.median;
        combination.upperQuartileBestSoFar = bests.upper;
    }
    return combinations;
}

std::string sweepPage(const SweepPageInputs& inputs) {
    const std::vector<CombinationSummary> combinations = summarizeCombinations(inputs.record);
    const std::string title = "Sweep: " + inputs.title;
    std::ostringstream page;
    page.imbue(std::locale::classic());
    page << pageHead(title);
    page << "<body>\n<main>\n<header>\n<h1>" << escaped(title) << "</h1>\n<p class=\"subtitle\">Valdrin sweep: "
         << inputs.record.experiments.size() << " experiments of " << inputs.runs << (inputs.runs == 1 ? " run" : " runs")
         << ", fitness is a cost (lower is better)</p>\n</header>\n";
    writePlan(inputs, page);
    writeOutcome(inputs.record, combinations, page);
    writeCombinations(inputs.record, combinations, page);
    writePlots(inputs.record, combinations, inputs.seeds, page);
    writeFailures(inputs.record, page);
    page << "<footer>Written by valdrin-sweep. Every experiment's files are in its folder under experiments/; the "
            "tables are in results.sqlite and sweep.csv.</footer>\n</main>\n</body>\n</html>\n";
    return page.str();
}

void writeSweepPage(const SweepPageInputs& inputs, const std::string& path) {
    const std::string page = sweepPage(inputs);
    AtomicOutputFile file(path);
    file << page;
    file.commit();
}

}  // namespace Valdrin
