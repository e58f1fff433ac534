// The report page: the experiment, its outcome, its plots and its runs as one HTML file.
#include "report/report_page.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <locale>
#include <sstream>
#include <string_view>

#include "core/output_file.h"
#include "report/convergence_plot.h"

namespace Valdrin {

namespace {

std::string escaped(const std::string& text) { return escapedMarkup(text); }

std::string trimmed(const std::string& text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool isSolved(const QRunSummary& run) { return run.evaluationsToSolution != 0; }

std::string unknown(int number) { return "[unknown: " + std::to_string(number) + "]"; }

std::string encodingWord(const QEAParameters& record) {
    switch (record.encoding) {
        case Encoding::String: return record.permutation ? "permutation" : "string";
        case Encoding::Integer: return "integer";
        case Encoding::Real: return "real";
        case Encoding::Network: return "regulatory network";
        case Encoding::Unspecified: return "none";
    }
    return unknown(number(record.encoding));
}

std::string selectionWord(Selection selection) {
    switch (selection) {
        case Selection::Neutral: return "neutral";
        case Selection::Tournament: return "tournament";
        case Selection::Unspecified: return "none";
    }
    return unknown(number(selection));
}

std::string crossoverWord(Crossover crossover) {
    switch (crossover) {
        case Crossover::OnePoint: return "1-point";
        case Crossover::TwoPoint: return "2-point";
        case Crossover::Uniform: return "uniform";
        case Crossover::OnePointPGX: return "1-point PGX";
        case Crossover::TwoPointPGX: return "2-point PGX";
        case Crossover::BLX: return "BLX";
        case Crossover::SBX: return "SBX";
        case Crossover::Arithmetic: return "arithmetic";
        case Crossover::Order: return "order";
    }
    return unknown(number(crossover));
}

std::string mutationWord(Mutation mutation) {
    switch (mutation) {
        case Mutation::BitFlip: return "bit-flip";
        case Mutation::RandomFlip: return "random flip";
        case Mutation::Gaussian: return "gaussian";
        case Mutation::NetworkBasic: return "basic";
    }
    return unknown(number(mutation));
}

// The individual a run is judged by: its first solution when it was solved and the solution
// was kept, else its best; null when it kept none.
const QIndividual* examinedIndividual(const QRunSummary& run) {
    if (isSolved(run) && run.solutionIndividual) return run.solutionIndividual.get();
    return run.bestIndividual.get();
}

const char* kStyle = R"(
  :root { color-scheme: light; }
  body { margin: 0; background: #eef0f3; color: #1f2328;
         font: 15px/1.5 system-ui, "DejaVu Sans", "Liberation Sans", Arial, sans-serif; }
  main { max-width: 1060px; margin: 0 auto; padding: 28px 36px 36px; background: #fff; }
  header { border-bottom: 3px solid #1d4f91; padding-bottom: 10px; margin-bottom: 8px; }
  h1 { font-size: 1.65em; margin: 0; line-height: 1.25; }
  .subtitle { margin: 4px 0 0; color: #57606a; }
  h2 { font-size: 1.2em; margin: 30px 0 10px; padding-bottom: 4px; border-bottom: 1px solid #d8dee4; }
  p.note { color: #57606a; font-size: 0.9em; margin: 6px 0; }
  dl.parameters { display: grid; grid-template-columns: max-content 1fr max-content 1fr;
                  gap: 3px 18px; margin: 0; }
  dl.parameters dt { color: #57606a; }
  dl.parameters dd { margin: 0; font-weight: 600; }
  .tiles { display: flex; flex-wrap: wrap; gap: 12px; }
  .tile { flex: 1 1 190px; border: 1px solid #d8dee4; border-radius: 6px; padding: 10px 14px;
          background: #f6f8fa; }
  .tile .label { color: #57606a; font-size: 0.85em; }
  .tile .value { font-size: 1.45em; font-weight: 650; font-variant-numeric: tabular-nums; }
  .tile .detail { color: #57606a; font-size: 0.85em; }
  .formula { margin: 12px 0 0; padding: 8px 12px; border-left: 3px solid #1d4f91; background: #f6f8fa;
             font-size: 0.92em; }
  .formula code { font-family: "DejaVu Sans Mono", "Liberation Mono", monospace; font-size: 0.95em; }
  figure { margin: 0; }
  figcaption { color: #57606a; font-size: 0.9em; margin-top: 4px; }
  svg.plot { display: block; width: 100%; height: auto; border: 1px solid #d8dee4; border-radius: 4px; }
  table.data { border-collapse: collapse; width: 100%; font-variant-numeric: tabular-nums; }
  table.data th, table.data td { padding: 4px 7px; border-bottom: 1px solid #e6e9ed; text-align: right;
                                 white-space: nowrap; }
  table.data thead th { background: #f6f8fa; border-bottom: 2px solid #d8dee4; font-weight: 600;
                        position: sticky; top: 0; white-space: normal; vertical-align: bottom; }
  table.data tbody tr:nth-child(even) { background: #fafbfc; }
  table.data td.text, table.data th.text { text-align: left; }
  table.data.compact { width: auto; min-width: 360px; }
  .tag { display: inline-block; min-width: 2.6em; padding: 0 6px; border-radius: 10px; font-size: 0.85em;
         text-align: center; }
  .tag.yes { background: #dcf2e3; color: #1a6a35; }
  .tag.no { background: #f3e1e1; color: #8a2a2a; }
  footer { margin-top: 30px; color: #57606a; font-size: 0.85em; border-top: 1px solid #d8dee4; padding-top: 8px; }
)";

void writeHead(const std::string& title, std::ostringstream& page) {
    page << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\" />\n"
         << "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\" />\n"
         << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\" />\n"
         << "<title>" << escaped(title) << "</title>\n<style>" << kStyle << "</style>\n</head>\n";
}

void writeExperiment(const ReportInputs& inputs, const std::string& algorithm, const std::string& problem,
                     std::ostringstream& page) {
    page << "<section id=\"experiment\">\n<h2>What was run</h2>\n<dl class=\"parameters\">\n";
    std::vector<std::pair<std::string, std::string>> rows{{"Algorithm", algorithm}, {"Problem", problem}};
    for (auto& row : keyParameters(inputs.record)) rows.push_back(std::move(row));
    const int runs = static_cast<int>(inputs.runs.size());
    rows.emplace_back("Runs", inputs.runsAsked > runs ? runsCovered(runs, inputs.runsAsked) : shownNumber(runs));
    for (const auto& [label, value] : rows) {
        page << "  <dt>" << escaped(label) << "</dt><dd>" << escaped(value) << "</dd>\n";
    }
    page << "</dl>\n</section>\n";
}

void writeTile(const std::string& id, const std::string& label, const std::string& value, const std::string& detail,
               std::ostringstream& page) {
    page << "  <div class=\"tile\" id=\"" << id << "\"><div class=\"label\">" << escaped(label)
         << "</div><div class=\"value\">" << value << "</div><div class=\"detail\">" << escaped(detail)
         << "</div></div>\n";
}

void writeOutcome(const ReportOutcome& outcome, double errorLevel, std::ostringstream& page) {
    page << "<section id=\"outcome\">\n<h2>Outcome</h2>\n<div class=\"tiles\">\n";
    const std::string rate =
        outcome.runs > 0 ? shownNumber(100.0 * outcome.solved / outcome.runs) + "%" : std::string("&mdash;");
    writeTile("success-rate", "Success rate", rate,
              shownNumber(outcome.solved) + " of " + shownNumber(outcome.runs) + " runs reached a fitness below " +
                  shownNumber(errorLevel),
              page);
    const bool finite = std::isfinite(outcome.expectedRunningTime);
    writeTile("ert", "Expected running time (ERT)", finite ? shownNumber(outcome.expectedRunningTime) : "&infin;",
              finite ? "evaluations to reach the error level" : "no run solved the problem", page);
    const std::string none = "&mdash;";
    const bool anyBest = !std::isnan(outcome.medianBestSoFar);
    writeTile("mean-best-so-far", "Mean best so far", anyBest ? shownNumber(outcome.meanBestSoFar) : none,
              "best fitness each run found over all its evaluations", page);
    writeTile("median-best-so-far", "Median best so far", anyBest ? shownNumber(outcome.medianBestSoFar) : none,
              "lower is better", page);
    writeTile("mean-final-best", "Mean final best", outcome.runs > 0 ? shownNumber(outcome.meanFinalBest) : none,
              "best fitness of each run's last generation", page);
    writeTile("median-final-best", "Median final best", outcome.runs > 0 ? shownNumber(outcome.medianFinalBest) : none,
              "lower is better", page);
    page << "</div>\n<p class=\"formula\">"
         << "<code>ERT = (total evaluations over all runs) / (number of solved runs)</code>, counting for a solved "
            "run the evaluations up to its solution and for an unsolved run all its evaluations; infinite when "
            "no run solved.<br />Here: <code>ERT = "
         << shownNumber(outcome.totalEvaluations) << " / " << shownNumber(outcome.solved) << " = "
         << (finite ? shownNumber(outcome.expectedRunningTime) : "&infin;") << "</code></p>\n</section>\n";
}

void writeConvergence(const ReportInputs& inputs, std::ostringstream& page) {
    page << "<section id=\"convergence\">\n<h2>Convergence</h2>\n";
    const std::string svg = convergencePlotSvg(inputs.runs, inputs.record.errorLevel, inputs.recordEvery);
    if (svg.empty()) {
        page << "<p class=\"note\">No run recorded a generation: there is nothing to plot.</p>\n";
    } else {
        page << "<figure>\n"
             << svg << "<figcaption>The best fitness of every generation: the median over the runs that reached "
             << "it, the band between its quartiles, each run as a faint line, and the error level "
             << escaped(shownNumber(inputs.record.errorLevel)) << " (a fitness strictly below it solves the problem)."
             << "</figcaption>\n</figure>\n";
    }
    page << "</section>\n";
}

void writeSolutions(const ReportInputs& inputs, const ReportOutcome& outcome, std::ostringstream& page) {
    if (outcome.solved == 0) return;
    page << "<section id=\"solutions\">\n<h2>Evaluations to solution</h2>\n<figure>\n"
         << solutionEcdfSvg(inputs.runs)
         << "<figcaption>For every number of evaluations, the fraction of all runs that had met a solution "
         << "within it (unsolved runs never count, so the curve ends at the success rate).</figcaption>\n"
         << "</figure>\n</section>\n";
}

// The runs' places, from the lowest best-so-far fitness up; runs without one last, ties in run order.
std::vector<std::size_t> rankedByBestSoFar(const std::vector<QRunSummary>& runs) {
    std::vector<double> bests;
    for (const QRunSummary& run : runs) bests.push_back(bestSoFar(run).fitness);
    std::vector<std::size_t> order(runs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&bests](std::size_t a, std::size_t b) {
        if (std::isnan(bests[b])) return !std::isnan(bests[a]);
        return !std::isnan(bests[a]) && bests[a] < bests[b];
    });
    return order;
}

void writeRuns(const ReportInputs& inputs, std::ostringstream& page) {
    page << "<section id=\"runs-section\">\n<h2>Runs</h2>\n<table class=\"data\" id=\"runs\">\n<thead><tr>"
         << "<th>run</th><th>generations</th><th>evaluations</th><th class=\"text\">solved</th>"
         << "<th>evaluations to solution</th><th>best so far</th><th>found in generation</th>"
         << "<th>at evaluation</th><th>final best</th><th>final worst</th><th>duration (s)</th>"
         << "</tr></thead>\n<tbody>\n";
    for (const std::size_t i : rankedByBestSoFar(inputs.runs)) {
        const QRunSummary& run = inputs.runs[i];
        const bool solved = isSolved(run);
        const BestSoFar best = bestSoFar(run);
        const bool found = best.evaluation != 0;
        page << "<tr data-run=\"" << i + 1 << "\" data-generations=\"" << run.generationsDone
             << "\" data-evaluations=\"" << run.evaluationsCount << "\" data-solved=\"" << (solved ? "yes" : "no")
             << "\" data-evaluations-to-solution=\"" << (solved ? shownNumber(run.evaluationsToSolution) : "")
             << "\" data-best-so-far=\"" << (found ? exactNumber(best.fitness) : "")
             << "\" data-best-so-far-generation=\"" << (found ? shownNumber(best.generation) : "")
             << "\" data-best-so-far-evaluation=\"" << (found ? shownNumber(best.evaluation) : "")
             << "\" data-final-best=\"" << exactNumber(finalBest(run)) << "\" data-final-worst=\""
             << exactNumber(finalWorst(run)) << "\" data-duration=\"" << exactNumber(run.duration) << "\">"
             << "<td>" << i + 1 << "</td><td>" << run.generationsDone << "</td><td>" << run.evaluationsCount
             << "</td><td class=\"text\"><span class=\"tag " << (solved ? "yes\">yes" : "no\">no") << "</span></td>"
             << "<td>" << (solved ? shownNumber(run.evaluationsToSolution) : "&mdash;") << "</td><td>"
             << (found ? escaped(shownNumber(best.fitness)) : "&mdash;") << "</td><td>"
             << (found ? shownNumber(best.generation) : "&mdash;") << "</td><td>"
             << (found ? shownNumber(best.evaluation) : "&mdash;") << "</td><td>"
             << escaped(shownNumber(finalBest(run))) << "</td><td>" << escaped(shownNumber(finalWorst(run))) << "</td><td>"
             << escaped(shownNumber(run.duration)) << "</td></tr>\n";
    }
    page << "</tbody>\n</table>\n<p class=\"note\">Runs are ranked by their best fitness so far, lowest first: the "
         << "best fitness any of a run's evaluations gave, which its last generation's best (the final best) may be "
         << "worse than; ties keep run order. Runs are numbered from 1, as in the other reports; a run's generations "
         << "are numbered from 1 as well, and the final population it evaluates after its last generation counts in "
         << "that generation. Durations are processor time.</p>\n</section>\n";
}

void writeNetworks(const ReportInputs& inputs, std::ostringstream& page) {
    std::vector<std::pair<std::size_t, const QIndividual*>> networks;
    for (std::size_t i = 0; i < inputs.runs.size(); ++i) {
        const QIndividual* individual = examinedIndividual(inputs.runs[i]);
        if (individual != nullptr && individual->getEncoding() == Encoding::Network) networks.emplace_back(i, individual);
    }
    if (networks.empty()) return;
    int fewest = std::numeric_limits<int>::max();
    int most = 0;
    double sum = 0.0;
    for (const auto& [run, network] : networks) {
        fewest = std::min(fewest, network->getGenesNumber());
        most = std::max(most, network->getGenesNumber());
        sum += network->getGenesNumber();
    }
    page << "<section id=\"networks\">\n<h2>Network sizes</h2>\n<p>Nodes of each run's network (its first "
         << "solution when it was solved, else its best): mean " << shownNumber(sum / static_cast<double>(networks.size()))
         << ", fewest " << fewest << ", most " << most << ".</p>\n"
         << "<table class=\"data compact\" id=\"network-sizes\">\n<thead><tr><th>run</th><th class=\"text\">network</th>"
         << "<th>nodes</th></tr></thead>\n<tbody>\n";
    for (const auto& [run, network] : networks) {
        const bool solution = network == inputs.runs[run].solutionIndividual.get();
        page << "<tr data-run=\"" << run + 1 << "\" data-nodes=\"" << network->getGenesNumber() << "\"><td>"
             << run + 1 << "</td><td class=\"text\">" << (solution ? "first solution" : "best") << "</td><td>"
             << network->getGenesNumber() << "</td></tr>\n";
    }
    page << "</tbody>\n</table>\n</section>\n";
}

// An SVG that says there is nothing to plot, for a plot file that must still be one.
const char* kEmptyPlot =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"900\" height=\"500\" viewBox=\"0 0 900 500\">\n"
    "  <rect width=\"900\" height=\"500\" fill=\"#FFFFFF\"/>\n"
    "  <text x=\"450\" y=\"250\" text-anchor=\"middle\" font-family=\"sans-serif\" font-size=\"18\">"
    "No run recorded a generation</text>\n</svg>\n";

}  // namespace

ReportOutcome reportOutcome(const std::vector<QRunSummary>& runs) {
    ReportOutcome outcome;
    outcome.runs = static_cast<int>(runs.size());
    std::vector<double> finals;
    double finalsSum = 0.0;
    std::vector<double> bests;
    double bestsSum = 0.0;
    for (const QRunSummary& run : runs) {
        const bool solved = isSolved(run);
        outcome.solved += solved ? 1 : 0;
        outcome.totalEvaluations += solved ? run.evaluationsToSolution : run.evaluationsCount;
        finals.push_back(finalBest(run));
        finalsSum += finals.back();
        const double best = bestSoFar(run).fitness;
        if (std::isnan(best)) continue;
        bests.push_back(best);
        bestsSum += best;
    }
    outcome.meanBestSoFar = outcome.medianBestSoFar = std::numeric_limits<double>::quiet_NaN();
    if (!bests.empty()) {
        outcome.meanBestSoFar = bestsSum / static_cast<double>(bests.size());
        outcome.medianBestSoFar = quantile(bests, 0.5);
    }
    outcome.expectedRunningTime = outcome.solved > 0
                                      ? static_cast<double>(outcome.totalEvaluations) / outcome.solved
                                      : std::numeric_limits<double>::infinity();
    if (!finals.empty()) {
        outcome.meanFinalBest = finalsSum / static_cast<double>(finals.size());
        outcome.medianFinalBest = quantile(finals, 0.5);
    }
    return outcome;
}

// The operators that ran, where a configured word builds another operator on the record's
// encoding (the registry's "runs as" entries, which the report layer cannot see; a test keeps
// the two in step): "2-point (configured as uniform)".
std::string ranAs(std::string_view ran, const std::string& configured) {
    return std::string(ran) + " (configured as " + configured + ")";
}

std::string crossoverRun(const QEAParameters& record) {
    const std::string word = crossoverWord(record.xType);
    if (record.encoding == Encoding::Integer && record.xType == Crossover::Uniform) return ranAs("2-point", word);
    return word;
}

std::string mutationRun(const QEAParameters& record) {
    const std::string word = mutationWord(record.mutationType);
    if (record.encoding == Encoding::Integer && record.mutationType == Mutation::Gaussian) {
        return ranAs("real-coded gaussian", word);
    }
    return word;
}

std::vector<std::pair<std::string, std::string>> keyParameters(const QEAParameters& record) {
    std::vector<std::pair<std::string, std::string>> rows;
    rows.emplace_back("Encoding", encodingWord(record));
    rows.emplace_back("Chromosome length", shownNumber(record.chromosomeLength));
    rows.emplace_back("Population size", shownNumber(record.populationSize));
    rows.emplace_back("Generations", shownNumber(record.generationsNumber));
    std::string selection = selectionWord(record.selectionType);
    if (record.selectionType == Selection::Tournament) selection += " (size " + shownNumber(record.tournamentSize) + ")";
    rows.emplace_back("Selection", selection);
    if (record.encoding == Encoding::Network) {
        rows.emplace_back("Crossover", "none (networks are not recombined)");
    } else {
        std::string crossover = crossoverRun(record);
        if (record.xType == Crossover::BLX || record.xType == Crossover::SBX) {
            crossover += " (xAlpha " + shownNumber(record.xAlpha) + ")";
        }
        rows.emplace_back("Crossover", crossover);
        rows.emplace_back("Crossover rate", shownNumber(record.xRate));
    }
    rows.emplace_back("Mutation", mutationRun(record));
    rows.emplace_back("Mutation rate", shownNumber(record.mRate));
    rows.emplace_back("Elite count", shownNumber(record.eliteCount) +
                                         (record.elitism == Elitism::Kept ? " (kept: not mutated)" : ""));
    rows.emplace_back("Error level", shownNumber(record.errorLevel));
    rows.emplace_back("RNG seed", shownNumber(record.rngSeed));
    rows.emplace_back("Random generator", record.generator == GeneratorKind::Pcg64 ? "pcg64" : "legacy");
    return rows;
}

std::string reportPage(const ReportInputs& inputs) {
    const std::string algorithm = trimmed(inputs.algorithmName);
    const std::string problem = trimmed(inputs.problemName);
    const std::string title = (algorithm.empty() ? "Experiment" : algorithm) + (problem.empty() ? "" : " on " + problem);
    const ReportOutcome outcome = reportOutcome(inputs.runs);

    std::ostringstream page;
    page.imbue(std::locale::classic());
    writeHead(title, page);
    page << "<body>\n<main>\n<header>\n<h1>" << escaped(title) << "</h1>\n<p class=\"subtitle\">Valdrin report: "
         << runsCovered(outcome.runs, inputs.runsAsked) << ", fitness is a cost (lower is better)</p>\n"
         << "</header>\n";
    writeExperiment(inputs, algorithm, problem, page);
    writeOutcome(outcome, inputs.record.errorLevel, page);
    writeConvergence(inputs, page);
    writeSolutions(inputs, outcome, page);
    writeRuns(inputs, page);
    writeNetworks(inputs, page);
    page << "<footer>Written by Valdrin. A run is solved when one of its evaluations gave a fitness strictly below "
            "the error level.</footer>\n</main>\n</body>\n</html>\n";
    return page.str();
}

std::string exactNumber(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(std::numeric_limits<double>::max_digits10);
    text << value;
    return text.str();
}

std::string pageHead(const std::string& title) {
    std::ostringstream page;
    page.imbue(std::locale::classic());
    writeHead(title, page);
    return page.str();
}

void writeReport(const ReportInputs& inputs, const std::string& path) {
    const std::string page = reportPage(inputs);
    AtomicOutputFile file(path);
    file << page;
    file.commit();
}

void writeConvergencePlot(const ReportInputs& inputs, const std::string& path) {
    std::string svg = convergencePlotSvg(inputs.runs, inputs.record.errorLevel, inputs.recordEvery);
    if (svg.empty()) svg = kEmptyPlot;
    AtomicOutputFile file(path);
    file << svg;
    file.commit();
}

}  // namespace Valdrin
