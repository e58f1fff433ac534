// The report page: one self-contained HTML file (inline style and plots, no script, nothing
// fetched) that shows what an experiment ran, how it went, its plots and every run.
#pragma once

#include <locale>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/parameters.h"
#include "statistics/run_summary.h"

namespace Valdrin {

// What the page is made from. The runs and the record are borrowed: they must outlive it.
struct ReportInputs {
    const std::vector<QRunSummary>& runs;  // in run order
    const QEAParameters& record;
    std::string algorithmName;  // as printed (a trailing line break is dropped)
    std::string problemName;
    // The runs the experiment was asked for, when it was interrupted before they all finished: the
    // page then says "3 of 8 runs (interrupted)". 0, or no more than the runs: nothing is said.
    int runsAsked = 0;
    // The plots' lines pass through generation 1, every N-th and the last (--record-every).
    int recordEvery = 1;
};

// The outcome over runs. A run is solved when it met a fitness below the error level.
struct ReportOutcome {
    int runs = 0;
    int solved = 0;
    // Expected running time to the error level: the evaluations of all runs (up to the solution
    // for a solved run, all of them for an unsolved one) divided by the solved runs; infinite
    // when none solved.
    long long totalEvaluations = 0;
    double expectedRunningTime = 0.0;
    double meanFinalBest = 0.0;
    double medianFinalBest = 0.0;
    // Over the runs whose evaluations gave a fitness (bestSoFar); NaN when none did.
    double meanBestSoFar = 0.0;
    double medianBestSoFar = 0.0;
};

ReportOutcome reportOutcome(const std::vector<QRunSummary>& runs);

// The experiment's key parameters as (label, value) pairs, choices named by their
// configuration words: encoding, chromosome length, population size, generations, selection,
// crossover and mutation with their rates, elite count, error level and seed.
std::vector<std::pair<std::string, std::string>> keyParameters(const QEAParameters& record);

// The whole page.
std::string reportPage(const ReportInputs& inputs);

// The start of a page in the report's manner, up to and including </head>: the document type,
// the title, the policy that lets a browser fetch nothing, and the report's style (header, h2
// sections, dl.parameters, .tiles with .tile, table.data, figure with svg.plot, footer). Other
// pages of the program share it.
std::string pageHead(const std::string& title);

// Numbers on the pages: as the other reports print them (six significant digits), and with every
// digit needed to read them back exactly; both in the classic locale.
template <class Number>
std::string shownNumber(Number value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << value;
    return text.str();
}
std::string exactNumber(double value);

// Write the page, and the convergence plot alone as an SVG file, at the path; each file appears only once complete. A plot with nothing to draw writes an
// SVG that says so.
void writeReport(const ReportInputs& inputs, const std::string& path);
void writeConvergencePlot(const ReportInputs& inputs, const std::string& path);

}  // namespace Valdrin
