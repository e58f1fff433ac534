// The sweep's page.
#include "sweep/sweep_page.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <limits>
#include <locale>
#include <map>
#include <sstream>

#include "core/output_file.h"
#include "report/convergence_plot.h"
#include "report/report_page.h"
#include "statistics/rank_tests.h"

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

// A percentage to one decimal, without a trailing ".0": 93.3%, 50%.
std::string percentText(double fraction) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::fixed << std::setprecision(1) << 100.0 * fraction;
    std::string shown = text.str();
    if (shown.ends_with(".0")) shown.resize(shown.size() - 2);
    if (shown == "-0") shown = "0";
    return shown + "%";
}

// --- Which is better ---

// A combination in the plots' legends: its values (the keys head the legend), or its number
// when nothing but the seed was swept.
std::string combinationLabel(const SweepRecord& record, const CombinationSummary& combination, std::size_t place) {
    if (record.keys.empty()) return "combination " + std::to_string(place + 1);
    std::string label;
    for (std::size_t k = 0; k < record.keys.size(); ++k) label += (k > 0 ? ", " : "") + combination.values[k];
    return label;
}

// The combinations with runs, by their median best found (lowest first), then their ERT (lowest
// first, infinite last), ties in combination order; those without runs are left out.
std::vector<std::size_t> rankedByBestFoundThenErt(const std::vector<CombinationSummary>& combinations) {
    std::vector<std::size_t> order;
    for (std::size_t c = 0; c < combinations.size(); ++c) {
        if (combinations[c].runs > 0) order.push_back(c);
    }
    const auto key = [&combinations](std::size_t c) {
        const double best = combinations[c].medianBestSoFar;
        return std::pair(std::isnan(best) ? std::numeric_limits<double>::infinity() : best,
                         combinations[c].expectedRunningTime);
    };
    std::stable_sort(order.begin(), order.end(), [&key](std::size_t a, std::size_t b) { return key(a) < key(b); });
    return order;
}

// For each combination, whether some other is significantly better on the measure: a pair with a
// Holm-adjusted p-value below alpha, the other's A12 over it above one half. One pass over the pairs.
std::vector<bool> beatenOnes(const SampleComparisons& set, std::size_t count, double alpha) {
    std::vector<bool> beaten(count, false);
    for (const PairComparison& pair : set.pairs) {
        if (!(pair.pHolm < alpha) || pair.a12 == 0.5) continue;
        beaten[static_cast<std::size_t>(pair.a12 > 0.5 ? pair.b : pair.a)] = true;
    }
    return beaten;
}

std::string intervalText(const Interval& interval) {
    const auto end = [](double value) {
        if (std::isnan(value)) return std::string("&mdash;");
        if (std::isinf(value)) return std::string("&infin;");
        return escaped(shownNumber(value));
    };
    return "<br /><span class=\"interval\">[" + end(interval.low) + ", " + end(interval.high) + "]</span>";
}

// Hand-drawn SVG lines over a frame: the combinations' curves of the two plots below.
constexpr double kPlotWidth = 900.0;
constexpr double kPlotHeight = 420.0;
constexpr double kPlotLeft = 80.0;
constexpr double kPlotRight = 260.0;  // the legend's room
constexpr double kPlotTop = 40.0;
constexpr double kPlotBottom = 60.0;
constexpr const char* kPalette[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                                    "#17becf", "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22"};

struct LineFrame {
    double xMin, xMax, yMin, yMax;
    bool logX, logY;

    double toX(double x) const {
        const double at = logX ? std::log10(x) : x;
        const double low = logX ? std::log10(xMin) : xMin;
        const double high = logX ? std::log10(xMax) : xMax;
        return kPlotLeft + (high > low ? (at - low) / (high - low) : 0.5) * (kPlotWidth - kPlotLeft - kPlotRight);
    }
    double toY(double y) const {
        const double at = logY ? std::log10(y) : y;
        const double low = logY ? std::log10(yMin) : yMin;
        const double high = logY ? std::log10(yMax) : yMax;
        return kPlotHeight - kPlotBottom - (high > low ? (at - low) / (high - low) : 0.5) * (kPlotHeight - kPlotTop - kPlotBottom);
    }
};

std::string pointsText(const LineFrame& frame, const std::vector<std::pair<double, double>>& points) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::fixed << std::setprecision(1);
    for (const auto& [x, y] : points) text << frame.toX(x) << "," << frame.toY(y) << " ";
    return text.str();
}

void writeFrame(const LineFrame& frame, const std::string& title, const std::string& xLabel, const std::string& yLabel,
                std::ostringstream& page) {
    const double right = kPlotWidth - kPlotRight;
    const double bottom = kPlotHeight - kPlotBottom;
    page << "<rect x=\"" << kPlotLeft << "\" y=\"" << kPlotTop << "\" width=\"" << right - kPlotLeft << "\" height=\""
         << bottom - kPlotTop << "\" fill=\"none\" stroke=\"#57606a\" />\n"
         << "<text x=\"" << kPlotLeft << "\" y=\"24\" font-size=\"15\">" << escaped(title) << "</text>\n"
         << "<text x=\"" << (kPlotLeft + right) / 2 << "\" y=\"" << kPlotHeight - 12 << "\" font-size=\"13\" "
         << "text-anchor=\"middle\">" << escaped(xLabel + (frame.logX ? " (log scale)" : "")) << "</text>\n"
         << "<text x=\"18\" y=\"" << (kPlotTop + bottom) / 2 << "\" font-size=\"13\" text-anchor=\"middle\" "
         << "transform=\"rotate(-90 18 " << (kPlotTop + bottom) / 2 << ")\">" << escaped(yLabel + (frame.logY ? " (log scale)" : ""))
         << "</text>\n";
    // The ends of each axis.
    const auto tick = [&page](double x, double y, const char* anchor, double value) {
        page << "<text x=\"" << x << "\" y=\"" << y << "\" font-size=\"11\" text-anchor=\"" << anchor << "\">"
             << escaped(shownNumber(value)) << "</text>\n";
    };
    tick(kPlotLeft, bottom + 16, "start", frame.xMin);
    tick(right, bottom + 16, "end", frame.xMax);
    tick(kPlotLeft - 6, bottom, "end", frame.yMin);
    tick(kPlotLeft - 6, kPlotTop + 10, "end", frame.yMax);
}

void writeLegendHead(const SweepRecord& record, std::ostringstream& page) {
    std::string keys;
    for (std::size_t k = 0; k < record.keys.size(); ++k) keys += (k > 0 ? ", " : "") + record.keys[k].key;
    page << "<text x=\"" << kPlotWidth - kPlotRight + 14 << "\" y=\"" << kPlotTop + 4 << "\" font-size=\"11\" "
         << "font-weight=\"bold\">" << escaped(keys) << "</text>\n";
}

void writeLegendEntry(std::size_t line, const std::string& label, std::ostringstream& page) {
    const double x = kPlotWidth - kPlotRight + 14;
    const double y = kPlotTop + 24 + 18.0 * static_cast<double>(line);
    page << "<line x1=\"" << x << "\" y1=\"" << y << "\" x2=\"" << x + 20 << "\" y2=\"" << y << "\" stroke=\""
         << kPalette[line % std::size(kPalette)] << "\" stroke-width=\"2.5\" /><text x=\"" << x + 26 << "\" y=\"" << y + 4
         << "\" font-size=\"11\">" << escaped(label) << "</text>\n";
}

// The empirical distribution of the evaluations to solution, one step curve per combination: the
// fraction of its runs solved within each count of evaluations.
std::string ecdfSvg(const SweepRecord& record, const std::vector<CombinationSummary>& combinations,
                    const std::vector<std::size_t>& ranked) {
    std::vector<double> every;
    for (std::size_t c : ranked) {
        for (const RunFigures& run : combinations[c].runFigures) {
            if (run.solved && run.evaluations > 0.0) every.push_back(run.evaluations);
        }
    }
    if (every.empty()) return "";
    const auto [low, high] = std::minmax_element(every.begin(), every.end());
    const bool logX = *low > 0.0 && *high > 100.0 * *low;
    const LineFrame frame{logX ? *low : 0.0, *high > *low ? *high : *low + 1.0, 0.0, 1.0, logX, false};
    std::ostringstream page;
    page.imbue(std::locale::classic());
    page << "<svg class=\"plot ecdf-combinations\" id=\"ecdf-combinations\" xmlns=\"http://www.w3.org/2000/svg\" "
         << "viewBox=\"0 0 " << kPlotWidth << " " << kPlotHeight << "\" role=\"img\" aria-label=\"Evaluations to "
         << "solution per combination\" data-x-scale=\"" << (logX ? "log" : "linear") << "\">\n";
    writeFrame(frame, "Evaluations to solution per combination", "evaluations", "fraction of runs solved", page);
    writeLegendHead(record, page);
    for (std::size_t line = 0; line < ranked.size(); ++line) {
        const CombinationSummary& combination = combinations[ranked[line]];
        std::vector<double> solved;
        for (const RunFigures& run : combination.runFigures) {
            if (run.solved && run.evaluations > 0.0) solved.push_back(run.evaluations);
        }
        std::sort(solved.begin(), solved.end());
        std::vector<std::pair<double, double>> points{{frame.xMin, 0.0}};
        for (std::size_t i = 0; i < solved.size(); ++i) {
            const double total = static_cast<double>(combination.runFigures.size());
            points.emplace_back(solved[i], static_cast<double>(i) / total);
            points.emplace_back(solved[i], static_cast<double>(i + 1) / total);
        }
        points.emplace_back(frame.xMax, points.back().second);
        page << "<polyline class=\"curve\" data-combination=\"" << ranked[line] + 1 << "\" fill=\"none\" stroke=\""
             << kPalette[line % std::size(kPalette)] << "\" stroke-width=\"2\" points=\"" << pointsText(frame, points)
             << "\" />\n";
        writeLegendEntry(line, combinationLabel(record, combination, ranked[line]), page);
    }
    page << "</svg>\n";
    return page.str();
}

// Every run's best fitness so far against its evaluations, from its generations.csv: the
// evaluations at the end of each generation it recorded and the lowest best fitness up to it.
using Trace = std::vector<std::pair<double, double>>;

std::map<std::size_t, std::vector<Trace>> tracesByCombination(const SweepRecord& record) {
    std::map<std::size_t, std::vector<Trace>> traces;
    for (std::size_t i = 0; i < record.experiments.size(); ++i) {
        if (record.outcomes[i].state != ExperimentOutcome::State::Ran) continue;
        const std::optional<CsvTable> table =
            readCsv((std::filesystem::path(record.folder) / record.experiments[i].folder / "generations.csv").string());
        if (!table) continue;
        std::map<double, Trace> byRun;
        for (const std::vector<std::string>& row : table->rows) {
            const double evaluations = cell(*table, row, "evaluations");
            const double best = cell(*table, row, "best_fitness");
            if (!std::isfinite(evaluations) || std::isnan(best)) continue;
            Trace& trace = byRun[cell(*table, row, "run")];
            trace.emplace_back(evaluations, trace.empty() ? best : std::min(best, trace.back().second));
        }
        std::vector<Trace>& into = traces[static_cast<std::size_t>(record.experiments[i].combination)];
        for (auto& [run, trace] : byRun) into.push_back(std::move(trace));
    }
    return traces;
}

// The fixed-budget plot: for each combination, the median over its runs of the best fitness so
// far at each count of evaluations, with the band between the quartiles.
std::string fixedBudgetSvg(const SweepRecord& record, const std::vector<CombinationSummary>& combinations,
                           const std::vector<std::size_t>& ranked) {
    const std::map<std::size_t, std::vector<Trace>> traces = tracesByCombination(record);
    std::vector<double> budgets;
    std::vector<double> values;
    for (const auto& [c, runs] : traces) {
        for (const Trace& trace : runs) {
            for (const auto& [evaluations, best] : trace) {
                budgets.push_back(evaluations);
                if (std::isfinite(best)) values.push_back(best);
            }
        }
    }
    if (budgets.empty() || values.empty()) return "";
    std::sort(budgets.begin(), budgets.end());
    budgets.erase(std::unique(budgets.begin(), budgets.end()), budgets.end());
    // At most 200 budgets, spread over those recorded.
    if (budgets.size() > 200) {
        std::vector<double> kept;
        for (std::size_t b = 0; b < 200; ++b) kept.push_back(budgets[b * (budgets.size() - 1) / 199]);
        budgets = std::move(kept);
    }
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const bool logY = spansDecades(values);
    const bool logX = budgets.front() > 0.0 && budgets.back() > 100.0 * budgets.front();
    const double span = *high - *low;
    const LineFrame frame{budgets.front(), budgets.back() > budgets.front() ? budgets.back() : budgets.front() + 1.0,
                          logY ? *low : *low - 0.05 * span - (span == 0.0 ? 1.0 : 0.0),
                          logY ? *high : *high + 0.05 * span + (span == 0.0 ? 1.0 : 0.0), logX, logY};
    std::ostringstream page;
    page.imbue(std::locale::classic());
    page << "<svg class=\"plot fixed-budget\" id=\"fixed-budget\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 "
         << kPlotWidth << " " << kPlotHeight << "\" role=\"img\" aria-label=\"Best fitness so far against evaluations "
         << "per combination\" data-y-scale=\"" << (logY ? "log" : "linear") << "\">\n";
    writeFrame(frame, "Best fitness so far against evaluations", "evaluations", "best fitness so far", page);
    writeLegendHead(record, page);
    for (std::size_t line = 0; line < ranked.size(); ++line) {
        const auto found = traces.find(ranked[line]);
        if (found == traces.end()) continue;
        Trace median;
        Trace lower;
        Trace upper;
        std::vector<double> at;
        for (double budget : budgets) {
            at.clear();
            for (const Trace& trace : found->second) {
                // The best so far at the last generation within the budget.
                const auto past = std::upper_bound(trace.begin(), trace.end(), budget,
                                                   [](double b, const std::pair<double, double>& point) { return b < point.first; });
                if (past != trace.begin() && std::isfinite(std::prev(past)->second)) at.push_back(std::prev(past)->second);
            }
            if (at.empty()) continue;
            median.emplace_back(budget, quantile(at, 0.5));
            lower.emplace_back(budget, quantile(at, 0.25));
            upper.emplace_back(budget, quantile(at, 0.75));
        }
        if (median.empty()) continue;
        const char* colour = kPalette[line % std::size(kPalette)];
        Trace band(lower);
        band.insert(band.end(), upper.rbegin(), upper.rend());
        page << "<polygon class=\"band\" fill=\"" << colour << "\" fill-opacity=\"0.15\" stroke=\"none\" points=\""
             << pointsText(frame, band) << "\" />\n<polyline class=\"curve\" data-combination=\"" << ranked[line] + 1
             << "\" fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"2\" points=\"" << pointsText(frame, median)
             << "\" />\n";
        writeLegendEntry(line, combinationLabel(record, combinations[ranked[line]], ranked[line]), page);
    }
    page << "</svg>\n";
    return page.str();
}

// The critical-difference diagram: the treatments at their mean ranks on an axis from 1 to k (the
// best, lowest rank, on the left), the critical difference as a bar above it, and a thick line
// joining each largest group of treatments whose mean ranks lie within it of one another.
std::string criticalDifferenceSvg(const BlockComparison& comparison, double criticalDifference) {
    const std::size_t k = comparison.treatments.size();
    std::vector<std::size_t> order(k);
    for (std::size_t t = 0; t < k; ++t) order[t] = t;
    const std::vector<double>& ranks = comparison.friedman.meanRanks;
    std::stable_sort(order.begin(), order.end(), [&ranks](std::size_t a, std::size_t b) { return ranks[a] < ranks[b]; });
    const double left = 60.0;
    const double right = kPlotWidth - 60.0;
    const double axis = 90.0;
    const auto toX = [&](double rank) { return left + (rank - 1.0) / std::max(1.0, static_cast<double>(k) - 1.0) * (right - left); };
    const double height = axis + 40.0 + 22.0 * static_cast<double>(k);
    std::ostringstream page;
    page.imbue(std::locale::classic());
    page << std::fixed << std::setprecision(1);
    page << "<svg class=\"plot cd-diagram\" id=\"cd-diagram\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 "
         << kPlotWidth << " " << height << "\" role=\"img\" aria-label=\"Critical-difference diagram\">\n"
         << "<line x1=\"" << left << "\" y1=\"" << axis << "\" x2=\"" << right << "\" y2=\"" << axis
         << "\" stroke=\"#24292f\" />\n";
    for (std::size_t r = 1; r <= k; ++r) {
        page << "<line x1=\"" << toX(static_cast<double>(r)) << "\" y1=\"" << axis - 6 << "\" x2=\""
             << toX(static_cast<double>(r)) << "\" y2=\"" << axis << "\" stroke=\"#24292f\" /><text x=\""
             << toX(static_cast<double>(r)) << "\" y=\"" << axis - 10 << "\" font-size=\"12\" text-anchor=\"middle\">" << r
             << "</text>\n";
    }
    // The critical difference.
    page << "<line class=\"cd\" x1=\"" << toX(1.0) << "\" y1=\"30\" x2=\"" << toX(1.0 + criticalDifference)
         << "\" y2=\"30\" stroke=\"#24292f\" stroke-width=\"2\" /><text x=\"" << toX(1.0) << "\" y=\"22\" font-size=\"12\">CD = "
         << escaped(shownNumber(criticalDifference)) << "</text>\n";
    // Each treatment: a line down from its place on the axis, then to its label on the side nearer it.
    for (std::size_t i = 0; i < k; ++i) {
        const std::size_t t = order[i];
        const double x = toX(ranks[t]);
        const double y = axis + 34.0 + 22.0 * static_cast<double>(i);
        const bool onLeft = ranks[t] <= (1.0 + static_cast<double>(k)) / 2.0;
        const double end = onLeft ? left - 10.0 : right + 10.0;
        page << "<polyline class=\"treatment\" fill=\"none\" stroke=\"#57606a\" points=\"" << x << "," << axis << " " << x << ","
             << y << " " << end + (onLeft ? 0.0 : 0.0) << "," << y << "\" /><text x=\"" << (onLeft ? left - 4.0 : right + 4.0)
             << "\" y=\"" << y - 4 << "\" font-size=\"12\" text-anchor=\"" << (onLeft ? "start" : "end") << "\">"
             << escaped(comparison.treatments[t]) << " (" << escaped(shownNumber(ranks[t])) << ")</text>\n";
    }
    // The groups not significantly different: from each treatment, the furthest within the
    // critical difference, when that group is not inside the one before.
    std::size_t reached = 0;
    int group = 0;
    for (std::size_t i = 0; i < k; ++i) {
        std::size_t j = i;
        while (j + 1 < k && ranks[order[j + 1]] - ranks[order[i]] < criticalDifference) ++j;
        if (j == i || (i > 0 && j <= reached)) continue;
        reached = j;
        const double y = axis + 12.0 + 6.0 * (group++ % 3);
        page << "<line class=\"clique\" x1=\"" << toX(ranks[order[i]]) - 3 << "\" y1=\"" << y << "\" x2=\""
             << toX(ranks[order[j]]) + 3 << "\" y2=\"" << y << "\" stroke=\"#24292f\" stroke-width=\"4\" />\n";
    }
    page << "</svg>\n";
    return page.str();
}

void writeAcrossBlocks(const SweepPageInputs& inputs, const std::vector<CombinationSummary>& combinations,
                       std::ostringstream& page) {
    const SweepRecord& record = inputs.record;
    if (record.blocks.empty()) return;
    const BlockComparison comparison = compareAcrossBlocks(record, combinations);
    page << "<section id=\"across-blocks\">\n<h2>Across " << escaped(record.blocks) << "</h2>\n";
    if (!comparison.tested) {
        page << "<p class=\"note\">Not compared across " << escaped(record.blocks) << ": " << escaped(comparison.reason)
             << ".</p>\n</section>\n";
        return;
    }
    const int k = static_cast<int>(comparison.treatments.size());
    const int n = static_cast<int>(comparison.blocks.size());
    const double cd = nemenyiCriticalDifference(k, n, inputs.alpha);
    page << "<p class=\"note\" id=\"friedman\" data-chi-square=\"" << exactNumber(comparison.friedman.chiSquare)
         << "\" data-p-value=\"" << exactNumber(comparison.friedman.pValue) << "\" data-critical-difference=\""
         << exactNumber(cd) << "\">The " << k << " combinations of the other keys ranked within each of " << n
         << " values of " << escaped(record.blocks) << " by their median best found (1 the lowest): Friedman's "
         << "&#967;&#178; = " << escaped(shownNumber(comparison.friedman.chiSquare)) << " ("
         << k - 1 << " degrees of freedom), p = " << escaped(shownNumber(comparison.friedman.pValue))
         << ". Two combinations whose mean ranks differ by the critical difference or more differ significantly "
         << "(Nemenyi, &#945; = " << escaped(shownNumber(inputs.alpha)) << "): CD = " << escaped(shownNumber(cd)) << ".";
    if (comparison.leftOut > 0) {
        page << " " << comparison.leftOut << (comparison.leftOut == 1 ? " value is" : " values are")
             << " left out: some combination has no run there.";
    }
    page << "</p>\n<table class=\"data\" id=\"mean-ranks\">\n<thead><tr><th class=\"text\">combination of the other keys</th>"
         << "<th>mean rank</th></tr></thead>\n<tbody>\n";
    for (int t = 0; t < k; ++t) {
        page << "<tr data-mean-rank=\"" << exactNumber(comparison.friedman.meanRanks[static_cast<std::size_t>(t)])
             << "\"><td class=\"text\">" << escaped(comparison.treatments[static_cast<std::size_t>(t)]) << "</td><td>"
             << escaped(shownNumber(comparison.friedman.meanRanks[static_cast<std::size_t>(t)])) << "</td></tr>\n";
    }
    page << "</tbody>\n</table>\n<figure>\n" << criticalDifferenceSvg(comparison, cd)
         << "<figcaption>The critical-difference diagram: each combination of the other keys at its mean rank (the "
         << "lowest, best, on the left); a thick line joins combinations that do not differ significantly.</figcaption>\n"
         << "</figure>\n</section>\n";
}

void writeWhichIsBetter(const SweepPageInputs& inputs, const std::vector<CombinationSummary>& combinations,
                        std::ostringstream& page) {
    const SweepRecord& record = inputs.record;
    const std::vector<std::size_t> ranked = rankedByBestFoundThenErt(combinations);
    page << "<section id=\"which-is-better\">\n<h2>Which is better</h2>\n";
    if (ranked.empty()) {
        page << "<p class=\"note\">No combination has runs: there is nothing to compare.</p>\n</section>\n";
        return;
    }
    const CombinationComparisons compared = compareCombinations(combinations);
    const std::size_t best = ranked.front();
    const std::vector<bool> beatenOnFound = beatenOnes(compared.bestFound, combinations.size(), inputs.alpha);
    const std::vector<bool> beatenOnEvaluations =
        beatenOnes(compared.evaluationsToSolution, combinations.size(), inputs.alpha);
    // Each combination's comparison with the first on the best found, from one pass over the pairs.
    std::vector<DirectedComparison> againstBest(combinations.size());
    for (const PairComparison& pair : compared.bestFound.pairs) {
        if (static_cast<std::size_t>(pair.b) == best) {
            againstBest[static_cast<std::size_t>(pair.a)] = {true, pair.u, pair.pHolm, pair.a12};
        } else if (static_cast<std::size_t>(pair.a) == best) {
            againstBest[static_cast<std::size_t>(pair.b)] =
                {true, static_cast<double>(pair.na) * pair.nb - pair.u, pair.pHolm, 1.0 - pair.a12};
        }
    }
    page << "<table class=\"data\" id=\"ranking\">\n<thead><tr><th>rank</th>";
    for (const SweptKey& swept : record.keys) page << "<th class=\"text\">" << escaped(swept.key) << "</th>";
    page << "<th>runs</th><th>success rate [95% CI]</th><th>ERT [95% CI]</th><th>median best found [95% CI]</th>"
         << "<th class=\"text\">best</th><th class=\"text\">fastest</th>"
         << "<th>&#194;12 vs. 1st</th><th class=\"text\">magnitude</th><th>p (Holm) vs. 1st</th>"
         << "</tr></thead>\n<tbody>\n";
    for (std::size_t r = 0; r < ranked.size(); ++r) {
        const std::size_t c = ranked[r];
        const CombinationSummary& combination = combinations[c];
        const bool topFound = !beatenOnFound[c];
        const bool topEvaluations = !beatenOnEvaluations[c];
        const DirectedComparison& against = againstBest[c];
        const double rate = static_cast<double>(combination.solved) / combination.runs;
        page << "<tr data-combination=\"" << c + 1 << "\" data-rank=\"" << r + 1 << "\" data-among-best=\""
             << (topFound ? "1" : "0") << "\" data-among-fastest=\"" << (topEvaluations ? "1" : "0") << "\" data-a12=\""
             << (against.found ? exactNumber(against.a12) : "") << "\" data-p-holm=\""
             << (against.found ? exactNumber(against.pHolm) : "") << "\"><td>" << r + 1 << "</td>";
        for (const std::string& value : combination.values) page << "<td class=\"text\">" << escaped(value) << "</td>";
        page << "<td>" << combination.runs << "</td><td>" << percentText(rate) << "<br /><span class=\"interval\">["
             << percentText(combination.successInterval.low) << ", " << percentText(combination.successInterval.high)
             << "]</span></td><td>"
             << (std::isfinite(combination.expectedRunningTime) ? escaped(shownNumber(combination.expectedRunningTime))
                                                                 : std::string("&infin;"))
             << " " << intervalText(combination.ertInterval) << "</td><td>"
             << (std::isnan(combination.medianBestSoFar) ? std::string("&mdash;") : escaped(shownNumber(combination.medianBestSoFar)))
             << " " << intervalText(combination.bestFoundInterval) << "</td><td class=\"text\">"
             << (topFound ? "&#9733;" : "") << "</td><td class=\"text\">" << (topEvaluations ? "&#9733;" : "")
             << "</td>";
        if (c == best || !against.found) {
            page << "<td>&mdash;</td><td class=\"text\">" << (c == best ? "(the first)" : "") << "</td><td>&mdash;</td></tr>\n";
            continue;
        }
        page << "<td>" << escaped(shownNumber(against.a12)) << "</td><td class=\"text\">" << a12Magnitude(against.a12)
             << "</td><td>" << escaped(shownNumber(against.pHolm)) << "</td></tr>\n";
    }
    page << "</tbody>\n</table>\n<p class=\"note\">The combinations with runs, ranked by their median best found "
         << "(the best fitness a run found: a cost, lower is better), then by ERT. A star under best marks a "
         << "combination no other is significantly better than on the best found; under fastest, one no other is "
         << "significantly better than on the evaluations to solution (unsolved runs ranked after every solved one): two-sided "
         << "Mann&#8211;Whitney U tests over every pair of combinations, p-values Holm-adjusted over the pairs, at the "
         << "level &#945; = " << escaped(shownNumber(inputs.alpha)) << ". &#194;12 is the probability that a run of "
         << "the combination found a lower best than a run of the first one (ties count half): 0.5 for no difference; "
         << "negligible within 0.06 of it, small within 0.14, medium within 0.21, large beyond. The intervals are "
         << "95%: Wilson's for the success rate, the bootstrap's (" << kBootstrapResamples << " resamples of the runs, "
         << "a fixed seed) for ERT and the median. The formulas are in docs/statistics.md.</p>\n";
    page << "<p class=\"note\" id=\"omnibus\">Kruskal&#8211;Wallis over every combination: ";
    const auto omnibus = [&page](const char* name, const SampleComparisons& set) {
        page << name << " ";
        if (set.omnibus) {
            page << "H = " << escaped(shownNumber(set.h)) << ", p = " << escaped(shownNumber(set.omnibusP));
        } else {
            page << "not tested (fewer than two combinations with runs)";
        }
    };
    omnibus("best found:", compared.bestFound);
    page << "; ";
    omnibus("evaluations to solution:", compared.evaluationsToSolution);
    page << ".</p>\n";
    const std::string ecdf = ecdfSvg(record, combinations, ranked);
    if (!ecdf.empty()) {
        page << "<figure>\n" << ecdf << "<figcaption>For each combination, the fraction of its runs that reached the "
             << "error level within each count of evaluations.</figcaption>\n</figure>\n";
    }
    const std::string budget = fixedBudgetSvg(record, combinations, ranked);
    if (!budget.empty()) {
        page << "<figure>\n" << budget << "<figcaption>For each combination, the median over its runs of the best "
             << "fitness found within each count of evaluations (from generations.csv), with the band between the "
             << "quartiles.</figcaption>\n</figure>\n";
    }
    page << "</section>\n";
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
    writeTile("runs-solved", "Runs solved", runs > 0 ? percentText(static_cast<double>(solved) / runs) : std::string("&mdash;"),
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
        page << "<td>" << percentText(rate) << "</td><td>"
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
            combination.runFigures.push_back(
                {std::isfinite(evaluations) ? evaluations : 0.0, solved, combination.bestsSoFar.back()});
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
        combination.successInterval = wilsonInterval(combination.solved, combination.runs);
        combination.ertInterval = bootstrapInterval(combination.runFigures, expectedRunningTime);
        combination.bestFoundInterval = bootstrapMedianInterval(combination.bestsSoFar);
    }
    return combinations;
}

std::vector<double> bestFoundSample(const CombinationSummary& combination) {
    std::vector<double> sample;
    for (const RunFigures& run : combination.runFigures) sample.push_back(run.bestFound);
    return sample;
}

std::vector<double> evaluationsToSolutionSample(const CombinationSummary& combination) {
    std::vector<double> sample;
    for (const RunFigures& run : combination.runFigures) {
        sample.push_back(run.solved ? run.evaluations : std::numeric_limits<double>::infinity());
    }
    return sample;
}

CombinationComparisons compareCombinations(const std::vector<CombinationSummary>& combinations) {
    std::vector<std::vector<double>> found;
    std::vector<std::vector<double>> evaluations;
    for (const CombinationSummary& combination : combinations) {
        found.push_back(bestFoundSample(combination));
        evaluations.push_back(evaluationsToSolutionSample(combination));
    }
    return {compareSamples(found), compareSamples(evaluations)};
}

BlockComparison compareAcrossBlocks(const SweepRecord& record, const std::vector<CombinationSummary>& combinations) {
    BlockComparison comparison;
    std::size_t blockKey = record.keys.size();
    for (std::size_t k = 0; k < record.keys.size(); ++k) {
        if (record.keys[k].key == record.blocks) blockKey = k;
    }
    if (record.blocks.empty() || blockKey == record.keys.size()) {
        comparison.reason = "no swept key is the blocks";
        return comparison;
    }
    std::vector<std::string> blockValues = record.keys[blockKey].values;
    std::map<std::string, std::size_t> treatmentPlace;
    std::vector<std::vector<double>> table(blockValues.size());
    for (const CombinationSummary& combination : combinations) {
        std::string treatment;
        for (std::size_t k = 0; k < combination.values.size(); ++k) {
            if (k != blockKey) treatment += (treatment.empty() ? "" : ", ") + combination.values[k];
        }
        const auto [place, added] = treatmentPlace.try_emplace(treatment, comparison.treatments.size());
        if (added) comparison.treatments.push_back(treatment);
        const std::size_t block = static_cast<std::size_t>(
            std::find(blockValues.begin(), blockValues.end(), combination.values[blockKey]) - blockValues.begin());
        table[block].resize(std::max(table[block].size(), place->second + 1), std::numeric_limits<double>::quiet_NaN());
        table[block][place->second] = combination.runs > 0 ? combination.medianBestSoFar : std::numeric_limits<double>::quiet_NaN();
    }
    if (comparison.treatments.size() < 2) {
        comparison.reason = "the other keys make fewer than two combinations";
        return comparison;
    }
    std::vector<std::vector<double>> complete;
    for (std::size_t b = 0; b < table.size(); ++b) {
        const bool whole = table[b].size() == comparison.treatments.size() &&
                           std::none_of(table[b].begin(), table[b].end(), [](double v) { return std::isnan(v); });
        if (!whole) {
            ++comparison.leftOut;
            continue;
        }
        complete.push_back(table[b]);
        comparison.blocks.push_back(blockValues[b]);
    }
    if (complete.empty()) {
        comparison.reason = "no value of " + record.blocks + " has runs of every combination of the other keys";
        return comparison;
    }
    comparison.tested = true;
    comparison.friedman = friedman(complete);
    return comparison;
}

std::string sweepPage(const SweepPageInputs& inputs) {
    const std::vector<CombinationSummary> summarized =
        inputs.combinations != nullptr ? std::vector<CombinationSummary>{} : summarizeCombinations(inputs.record);
    const std::vector<CombinationSummary>& combinations =
        inputs.combinations != nullptr ? *inputs.combinations : summarized;
    const bool comparison = !inputs.comparedFolders.empty();
    const std::string title = (comparison ? "Comparison: " : "Sweep: ") + inputs.title;
    std::ostringstream page;
    page.imbue(std::locale::classic());
    page << pageHead(title);
    page << "<body>\n<main>\n<header>\n<h1>" << escaped(title) << "</h1>\n<p class=\"subtitle\">";
    if (comparison) {
        page << "Valdrin comparison: " << inputs.comparedFolders.size() << " experiments compared, fitness is a cost "
             << "(lower is better)</p>\n</header>\n<section id=\"plan\">\n<h2>What was compared</h2>\n"
             << "<dl class=\"parameters\">\n";
        for (const auto& [label, folders] : inputs.comparedFolders) {
            page << "  <dt>" << escaped(label) << "</dt><dd>" << escaped(folders) << "</dd>\n";
        }
        page << "</dl>\n</section>\n";
    } else {
        page << "Valdrin sweep: " << inputs.record.experiments.size() << " experiments of " << inputs.runs
             << (inputs.runs == 1 ? " run" : " runs") << ", fitness is a cost (lower is better)</p>\n</header>\n";
        writePlan(inputs, page);
    }
    writeOutcome(inputs.record, combinations, page);
    writeCombinations(inputs.record, combinations, page);
    writeWhichIsBetter(inputs, combinations, page);
    writeAcrossBlocks(inputs, combinations, page);
    writePlots(inputs.record, combinations, inputs.seeds, page);
    writeFailures(inputs.record, page);
    if (comparison) {
        page << "<footer>Written by valdrin-compare. The tables are in results.sqlite and comparison.csv.</footer>\n";
    } else {
        page << "<footer>Written by valdrin-sweep. Every experiment's files are in its folder under experiments/; the "
                "tables are in results.sqlite and sweep.csv.</footer>\n";
    }
    page << "</main>\n</body>\n</html>\n";
    return page.str();
}

void writeSweepPage(const SweepPageInputs& inputs, const std::string& path) {
    const std::string page = sweepPage(inputs);
    AtomicOutputFile file(path);
    file << page;
    file.commit();
}

}  // namespace Valdrin
