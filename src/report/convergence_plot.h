// The report's two plots over runs, drawn by PLplot's SVG device and returned as SVG text that
// can stand inline in an HTML page: the convergence of the best fitness per generation, and the
// empirical distribution of the evaluations the solved runs needed.
#pragma once

#include <string>
#include <vector>

#include "statistics/run_summary.h"

namespace Valdrin {

// The best fitness per generation over runs. Entry g is generation g + 1; a run counts in a
// generation only when it reached it (and recorded a finite best fitness there).
struct ConvergenceSeries {
    std::vector<double> median;
    std::vector<double> lowerQuartile;
    std::vector<double> upperQuartile;
    std::vector<int> runsCounted;
    // True when every best fitness drawn is positive and they span more than two decades.
    bool logarithmic = false;
};

ConvergenceSeries convergenceSeries(const std::vector<QRunSummary>& runs);

// The p-quantile (0 <= p <= 1) of the values, interpolated linearly between the two nearest
// order statistics; 0 for no values.
double quantile(std::vector<double> values, double p);

// True when the values are all positive and the largest is more than a hundred times the
// smallest: a logarithmic axis then shows them better than a linear one.
bool spansDecades(const std::vector<double>& values);

// The convergence plot: the median over runs of the best fitness per generation with the band
// between the quartiles, every run as a faint line and the error level as a dashed line. The
// root element carries data-y-scale="log" or "linear". Empty when no run recorded a generation.
// With recordEvery above 1 the lines pass only through the generations keptGeneration keeps (the
// axes still span every generation).
std::string convergencePlotSvg(const std::vector<QRunSummary>& runs, double errorLevel, int recordEvery = 1);

// The empirical distribution of the evaluations to solution over the solved runs: for every
// count of evaluations, the fraction of all runs solved within it. The root element carries
// data-x-scale="log" or "linear". Empty when no run solved the problem.
std::string solutionEcdfSvg(const std::vector<QRunSummary>& runs);

// Values in groups along the x axis, one place per group in the order given: every value as a
// point (spread across its place in the order given), the band between the group's quartiles,
// its median as a bar, and the medians joined by a line. The y axis is logarithmic when the
// values span decades (spansDecades). Values that are not finite are left out. The root element
// carries class "plot grouped-plot" and data-y-scale="log" or "linear"; its identifiers start
// with idPrefix, which must differ between the plots of one page. Empty when no value is left.
struct ValueGroup {
    std::string label;
    std::vector<double> values;
};
struct GroupedPlotText {
    std::string title;
    std::string xLabel;
    std::string yLabel;
    std::string idPrefix;
};
std::string groupedValuesSvg(const std::vector<ValueGroup>& groups, const GroupedPlotText& text);

// The text with the characters that markup (SVG, HTML) gives a meaning escaped.
std::string escapedMarkup(const std::string& text);

}  // namespace Valdrin
