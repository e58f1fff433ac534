// Tests of the report's plots: the series they draw, the choice of axis, and the SVG text that
// PLplot's device leaves once it is made fit for an HTML page.
#include "report/convergence_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>

#include "report/markup.h"

namespace Valdrin {
namespace {

using testing::MarkupDocument;

// A run that reached as many generations as it has best values.
QRunSummary runWithBests(const std::vector<double>& bests, int evaluationsToSolution = 0) {
    QRunSummary run;
    run.generationsDone = static_cast<int>(bests.size());
    run.bestFitness = bests;
    run.evaluationsToSolution = evaluationsToSolution;
    return run;
}

// Reads a plot, checking that it is one SVG element that can stand inline in a page.
MarkupDocument readPlot(const std::string& svg) {
    EXPECT_EQ(svg.rfind("<svg", 0), 0u) << "no declaration or document type may precede the root";
    MarkupDocument plot = testing::parseMarkup(svg);
    EXPECT_EQ(plot.error, "");
    if (plot.elements.empty()) return plot;
    EXPECT_EQ(plot.elements[0].name, "svg");
    EXPECT_EQ(plot.elements[0].attributes["xmlns"], "http://www.w3.org/2000/svg");
    EXPECT_EQ(plot.elements[0].attributes.count("viewBox"), 1u);
    EXPECT_GT(plot.count("polyline"), 5) << "PLplot draws lines and areas as polylines";
    return plot;
}

std::string rootAttribute(const std::string& svg, const std::string& name) {
    MarkupDocument plot = readPlot(svg);
    return plot.elements.empty() ? "" : plot.elements[0].attributes[name];
}

// The points of the polylines of one stroke colour, one list per polyline.
std::vector<std::vector<std::pair<double, double>>> linesOf(const MarkupDocument& plot, const std::string& stroke) {
    std::vector<std::vector<std::pair<double, double>>> lines;
    for (const auto& element : plot.elements) {
        const auto colour = element.attributes.find("stroke");
        if (element.name != "polyline" || colour == element.attributes.end() || colour->second != stroke) continue;
        lines.emplace_back();
        const char* at = element.attributes.at("points").c_str();
        for (char* end = nullptr;; at = end + 1) {
            const double x = std::strtod(at, &end);
            if (end == at || *end != ',') break;
            lines.back().emplace_back(x, std::strtod(end + 1, &end));
        }
    }
    return lines;
}

TEST(ConvergencePlotTest, QuantilesAndTheDecadesRule) {
    EXPECT_DOUBLE_EQ(quantile({4, 1, 3, 2}, 0.5), 2.5);
    EXPECT_DOUBLE_EQ(quantile({4, 1, 3, 2}, 0.25), 1.75);
    EXPECT_DOUBLE_EQ(quantile({4, 1, 3, 2}, 0.75), 3.25);
    EXPECT_DOUBLE_EQ(quantile({7}, 0.25), 7.0);
    EXPECT_DOUBLE_EQ(quantile({}, 0.5), 0.0);

    EXPECT_TRUE(spansDecades({1e3, 5.0, 1e-3}));
    EXPECT_TRUE(spansDecades({1.0, 100.5}));
    EXPECT_FALSE(spansDecades({1.0, 100.0}));  // two decades exactly
    EXPECT_FALSE(spansDecades({0.0, 1e6}));
    EXPECT_FALSE(spansDecades({-1.0, 1e6}));
    EXPECT_FALSE(spansDecades({}));
}

TEST(ConvergencePlotTest, SeriesCountOnlyTheRunsThatReachedEachGeneration) {
    QRunSummary early = runWithBests({8, 6, 99, 99});
    early.generationsDone = 2;  // its later entries were never recorded for real
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<QRunSummary> runs{runWithBests({4, 3, 2, 1}), runWithBests({2, 1, 0.5, 0.25}), early,
                                        runWithBests({6, 5, 4}), runWithBests({inf, std::nan("")})};
    const ConvergenceSeries series = convergenceSeries(runs);
    ASSERT_EQ(series.median.size(), 4u);
    EXPECT_EQ(series.runsCounted, (std::vector<int>{4, 4, 3, 2}));
    EXPECT_DOUBLE_EQ(series.median[0], 5.0);  // of 2 4 6 8
    EXPECT_DOUBLE_EQ(series.lowerQuartile[0], 3.5);
    EXPECT_DOUBLE_EQ(series.upperQuartile[0], 6.5);
    EXPECT_DOUBLE_EQ(series.median[2], 2.0);  // of 0.5 2 4
    EXPECT_DOUBLE_EQ(series.median[3], 0.625);
    EXPECT_FALSE(series.logarithmic);

    // Whatever is not finite stays out of the drawing too.
    const std::string svg = convergencePlotSvg(runs, 0.01);
    for (const auto& line : linesOf(readPlot(svg), "#466EAA")) {
        for (const auto& [x, y] : line) EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
    }
    EXPECT_EQ(linesOf(readPlot(svg), "#466EAA").size(), 5u) << "a faint line per run with finite points, one in the legend";
}

TEST(ConvergencePlotTest, LogarithmicAxisOnlyWhenPositiveBestsSpanDecades) {
    const std::vector<QRunSummary> falling{runWithBests({1e3, 10, 1e-1, 1e-3}), runWithBests({5e2, 3, 2e-2, 4e-4})};
    EXPECT_TRUE(convergenceSeries(falling).logarithmic);
    EXPECT_EQ(rootAttribute(convergencePlotSvg(falling, 0.01), "data-y-scale"), "log");
    EXPECT_NE(readPlot(convergencePlotSvg(falling, 0.01)).text.find("best fitness (log scale)"), std::string::npos);

    EXPECT_EQ(rootAttribute(convergencePlotSvg({runWithBests({9, 7, 6, 5})}, 0.01), "data-y-scale"), "linear");
    // Reaching 0, the optimum, rules a logarithmic axis out however wide the span.
    EXPECT_EQ(rootAttribute(convergencePlotSvg({runWithBests({1e6, 1e2, 0})}, 0.5), "data-y-scale"), "linear");

    EXPECT_EQ(rootAttribute(solutionEcdfSvg({runWithBests({1}, 40), runWithBests({1}, 90000)}), "data-x-scale"), "log");
    EXPECT_EQ(rootAttribute(solutionEcdfSvg({runWithBests({1}, 400), runWithBests({1}, 900)}), "data-x-scale"), "linear");
}

TEST(ConvergencePlotTest, LabelsTitleAndErrorLevel) {
    const std::vector<QRunSummary> runs{runWithBests({5, 4, 3, 2}), runWithBests({6, 3, 1, 0.5}),
                                        runWithBests({4, 4, 4, 4})};
    const MarkupDocument plot = readPlot(convergencePlotSvg(runs, 1.0));
    for (const char* text : {"generation", "best fitness", "Best fitness per generation over 3 runs",
                             "median of the runs", "quartiles", "error level 1"}) {
        EXPECT_NE(plot.text.find(text), std::string::npos) << text;
    }
    EXPECT_FALSE(linesOf(plot, "#BE2D28").empty()) << "the error level, dashed";
    // An error level that is not positive has no place on a logarithmic axis.
    const MarkupDocument withoutLevel = readPlot(convergencePlotSvg({runWithBests({1e4, 1, 1e-4})}, 0.0));
    EXPECT_EQ(withoutLevel.text.find("error level"), std::string::npos);
    EXPECT_TRUE(linesOf(withoutLevel, "#BE2D28").empty());
    // One run of one generation is still a plot.
    EXPECT_NE(readPlot(convergencePlotSvg({runWithBests({3})}, 0.01)).text.find("over 1 run"), std::string::npos);
}

TEST(ConvergencePlotTest, NothingToDrawGivesNoPlot) {
    EXPECT_EQ(convergencePlotSvg({}, 0.01), "");
    EXPECT_EQ(convergencePlotSvg({QRunSummary{}}, 0.01), "");
    EXPECT_EQ(solutionEcdfSvg({runWithBests({3, 2})}), "");
}

// Each plot is a page of its own (plinit to plend): plotting again gives the same text, and the
// two plots, which share a page, share no identifier while each finds its own.
TEST(ConvergencePlotTest, PlotsAreRepeatableAndKeepTheirIdentifiersApart) {
    const std::vector<QRunSummary> runs{runWithBests({5, 4, 3}, 12), runWithBests({6, 3, 1}, 25)};
    const std::string convergence = convergencePlotSvg(runs, 0.5);
    const std::string distribution = solutionEcdfSvg(runs);
    EXPECT_EQ(convergencePlotSvg(runs, 0.5), convergence);
    EXPECT_EQ(solutionEcdfSvg(runs), distribution);

    std::set<std::string> seen;
    for (const std::string& svg : {convergence, distribution}) {
        std::set<std::string> ids;
        for (const auto& element : readPlot(svg).elements) {
            const auto id = element.attributes.find("id");
            if (id == element.attributes.end()) continue;
            ids.insert(id->second);
            EXPECT_TRUE(seen.insert(id->second).second) << "used twice: " << id->second;
        }
        for (std::size_t at = svg.find("url(#"); at != std::string::npos; at = svg.find("url(#", at + 1)) {
            EXPECT_EQ(ids.count(svg.substr(at + 5, svg.find(')', at) - at - 5)), 1u);
        }
    }
}

// The steps rise by one run's share of all runs at each solution: unsolved runs lower them.
TEST(ConvergencePlotTest, DistributionRisesOneStepPerSolvedRunTowardsTheFractionOfAllRuns) {
    const std::vector<QRunSummary> allSolved{runWithBests({1}, 300), runWithBests({1}, 100)};
    std::vector<QRunSummary> halfSolved = allSolved;
    halfSolved.insert(halfSolved.end(), {runWithBests({1}), runWithBests({1})});
    const MarkupDocument half = readPlot(solutionEcdfSvg(halfSolved));
    EXPECT_NE(half.text.find("2 of 4 runs solved"), std::string::npos);

    const auto whole = linesOf(readPlot(solutionEcdfSvg(allSolved)), "#19785A");
    const auto halved = linesOf(half, "#19785A");
    ASSERT_EQ(whole.size(), 1u);
    ASSERT_EQ(halved.size(), 1u);
    // From the left edge at 0, up at each solution, the faster first, on to the right edge.
    ASSERT_EQ(whole[0].size(), 6u);
    ASSERT_EQ(halved[0].size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(whole[0][i].first, halved[0][i].first);
    EXPECT_LT(whole[0][1].first, whole[0][3].first);
    const double rise = whole[0][5].second - whole[0][0].second;
    EXPECT_GT(rise, 0.0);
    EXPECT_NEAR(whole[0][2].second - whole[0][1].second, rise / 2, 0.1);
    EXPECT_NEAR(halved[0][5].second - halved[0][0].second, rise / 2, 0.1);
}

}  // namespace
}  // namespace Valdrin
