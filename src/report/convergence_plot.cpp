// The report's plots: PLplot draws each one on its SVG device into a temporary file, which is
// read back and adjusted to stand inline in an HTML page.
#include "report/convergence_plot.h"

#include "report/plplot_library.h"
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <tuple>

#include "core/failure.h"
#include "core/file_content.h"
#include "core/output_file.h"

namespace Valdrin {

namespace {

// The drawings' sizes in SVG user units (shown as pixels).
constexpr int kWidth = 900;
constexpr int kConvergenceHeight = 480;
constexpr int kDistributionHeight = 360;
constexpr int kGroupedHeight = 400;

// Colour map 0 as the plots use it (index 0 is the background).
enum Colour : PLINT { Background = 0, Ink, Grid, RunLine, Band, Median, ErrorLine, Steps, kColours };

struct Rgba {
    PLINT r, g, b;
    PLFLT alpha;
};

constexpr std::array<Rgba, kColours> kPalette{{
    {255, 255, 255, 1.0},  // background
    {34, 34, 34, 1.0},     // axes, labels, title
    {221, 221, 221, 1.0},  // grid
    {70, 110, 170, 0.28},  // one run
    {70, 120, 190, 0.25},  // quartile band
    {20, 65, 135, 1.0},    // median
    {190, 45, 40, 1.0},    // error level
    {25, 120, 90, 1.0},    // distribution steps
}};

// PLplot keeps its state in the process: one plot at a time.
std::mutex& plotterLock() {
    static std::mutex lock;
    return lock;
}

// Text as PLplot draws it literally: '#' starts its escape sequences.
std::string plotText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        escaped += c;
        if (c == '#') escaped += '#';
    }
    return escaped;
}

// True when PLplot offers its SVG device. Without it plinit would end the process; the check
// ends the experiment with a message instead.
bool hasSvgDevice() {
    constexpr int kMostDevices = 128;
    std::array<const char*, kMostDevices> menus{};
    std::array<const char*, kMostDevices> names{};
    const char** menu = menus.data();
    const char** name = names.data();
    int count = kMostDevices;
    plgDevs(&menu, &name, &count);
    for (int i = 0; i < std::min(count, kMostDevices); ++i) {
        if (names[static_cast<std::size_t>(i)] != nullptr && std::strcmp(names[static_cast<std::size_t>(i)], "svg") == 0) {
            return true;
        }
    }
    return false;
}

// One PLplot page on the SVG device, written to a temporary file between plinit and plend.
class SvgPage {
public:
    SvgPage(int width, int height) : guard_(plotterLock()) {
        static const bool svgDevice = hasSvgDevice();
        if (!svgDevice) failPlainly("cannot draw the report's plots: PLplot offers no SVG device");
        std::string pattern = (std::filesystem::temp_directory_path() / "valdrin-plot-XXXXXX").string();
        const int descriptor = mkstemp(pattern.data());
        if (descriptor < 0) failPlainly(cannotWrite(pattern, errno));
        close(descriptor);
        path_ = pattern;
        plsdev("svg");
        plsfnam(path_.c_str());
        plspage(0.0, 0.0, width, height, 0, 0);
        plscmap0n(kColours);
        for (PLINT i = 0; i < kColours; ++i) {
            const Rgba& c = kPalette[static_cast<std::size_t>(i)];
            plscol0a(i, c.r, c.g, c.b, c.alpha);
        }
        plinit();
        open_ = true;
        pladv(0);
        plschr(0.0, 0.82);
    }
    SvgPage(const SvgPage&) = delete;
    SvgPage& operator=(const SvgPage&) = delete;
    ~SvgPage() {
        if (open_) plend();
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }

    // Ends the page and returns what the device wrote.
    std::string finish() {
        plend();
        open_ = false;
        std::string text;
        readFileContent(path_, text);  // empty when PLplot wrote nothing
        if (text.find("<svg") == std::string::npos) failPlainly("the plot could not be drawn: PLplot wrote no SVG");
        return text;
    }

private:
    std::lock_guard<std::mutex> guard_;
    std::string path_;
    bool open_ = false;
};

// The plotting area of a page: world coordinates (log10 of the values on a logarithmic axis).
struct Frame {
    double xMin, xMax, yMin, yMax;
    bool logX, logY;
};

double toAxis(double value, bool logarithmic) { return logarithmic ? std::log10(value) : value; }

// A range with room around the values (on a logarithmic axis, around their logarithms), so
// that nothing drawn lies on the frame; a single value gets a range of its own.
std::pair<double, double> paddedRange(double low, double high, bool logarithmic) {
    if (logarithmic) {
        low = std::log10(low);
        high = std::log10(high);
    }
    if (high <= low) {
        const double half = logarithmic ? 0.5 : std::max(1.0, std::fabs(low) * 0.1);
        return {low - half, high + half};
    }
    const double margin = (high - low) * 0.05;
    return {low - margin, high + margin};
}

// Room above the plotting area for the title alone, or for the title over a legend.
constexpr double kTitleRoom = 46.0;
constexpr double kTitleAndLegendRoom = 100.0;

// Draws the grid, the box, the labels and the title around the plotting area of a page of that
// height, with margins of a fixed size for the labels and the given room above. Without
// numbers on the x axis (numberedX false) its ticks, numbers and grid are left to the caller.
void drawAxes(const Frame& frame, int height, double top, const std::string& xLabel, const std::string& yLabel,
              const std::string& title, bool numberedX = true) {
    constexpr double kLeft = 92.0, kRight = 24.0, kBottom = 58.0;
    plvpor(kLeft / kWidth, 1.0 - kRight / kWidth, kBottom / height, 1.0 - top / height);
    plwind(frame.xMin, frame.xMax, frame.yMin, frame.yMax);
    const std::string xLog = frame.logX ? "l" : "";
    const std::string yLog = frame.logY ? "l" : "";
    plcol0(Grid);
    plwidth(0.8);
    plbox(numberedX ? ("g" + xLog).c_str() : "", 0.0, 0, ("g" + yLog).c_str(), 0.0, 0);
    plcol0(Ink);
    plwidth(1.0);
    plbox(numberedX ? ("bcnst" + xLog).c_str() : "bc", 0.0, 0, ("bcnstv" + yLog).c_str(), 0.0, 0);
    plmtex("b", 2.8, 0.5, 0.5, plotText(xLabel).c_str());
    plmtex("l", 5.2, 0.5, 0.5, plotText(yLabel).c_str());
    plschr(0.0, 0.95);
    plmtex("t", top > kTitleRoom ? 4.9 : 1.4, 0.5, 0.5, plotText(title).c_str());
    plschr(0.0, 0.82);
}

void drawLine(const std::vector<double>& x, const std::vector<double>& y) {
    if (x.size() >= 2) plline(static_cast<PLINT>(x.size()), x.data(), y.data());
}

// Entry g of a run's best-fitness series when the run reached generation g and it is finite.
bool bestAt(const QRunSummary& run, std::size_t g, double& value) {
    if (g >= static_cast<std::size_t>(std::max(run.generationsDone, 0)) || g >= run.bestFitness.size()) return false;
    value = run.bestFitness[g];
    return std::isfinite(value);
}

std::size_t generationsReached(const std::vector<QRunSummary>& runs) {
    std::size_t reached = 0;
    for (const QRunSummary& run : runs) {
        reached = std::max(reached, std::min(static_cast<std::size_t>(std::max(run.generationsDone, 0)),
                                             run.bestFitness.size()));
    }
    return reached;
}

// Every occurrence of the marker followed by the text: a string pass, as the drawings run to
// megabytes.
std::string insertedAfter(const std::string& text, const std::string& marker, const std::string& inserted,
                          bool afterSpaceOnly) {
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
        if (afterSpaceOnly && (at == 0 || std::isspace(static_cast<unsigned char>(text[at - 1])) == 0)) continue;
        out.append(text, from, at + marker.size() - from);
        out += inserted;
        from = at + marker.size();
    }
    out.append(text, from, std::string::npos);
    return out;
}


// The device's output made fit to stand inline in a page: no declaration or document type, a
// size in pixels, the given attributes and title on the root, identifiers prefixed so that two
// plots on one page do not share them.
std::string inlineSvg(const std::string& drawn, const std::string& prefix, const std::string& attributes,
                      const std::string& title) {
    std::string svg = drawn.substr(drawn.find("<svg"));
    while (!svg.empty() && std::isspace(static_cast<unsigned char>(svg.back()))) svg.pop_back();
    svg = insertedAfter(svg, "id=\"", prefix + "-", true);
    svg = insertedAfter(svg, "url(#", prefix + "-", false);
    const std::size_t rootEnd = svg.find('>');
    std::string root = svg.substr(0, rootEnd);
    for (const char* size : {"width=\"", "height=\""}) {
        const std::size_t at = root.find(std::string(" ") + size);
        const std::size_t unit = at == std::string::npos ? at : root.find("pt\"", at);
        if (unit != std::string::npos && unit < root.find('"', at + std::strlen(size) + 1)) root.erase(unit, 2);
    }
    while (!root.empty() && std::isspace(static_cast<unsigned char>(root.back()))) root.pop_back();
    const std::string label = escapedMarkup(title);
    return root + "\n  " + attributes + " role=\"img\" aria-label=\"" + label + "\">\n  <title>" + label +
           "</title>" + svg.substr(rootEnd + 1) + "\n";
}

std::string formatted(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

}  // namespace

double quantile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const double position = std::clamp(p, 0.0, 1.0) * static_cast<double>(values.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(position));
    const std::size_t above = std::min(below + 1, values.size() - 1);
    const double fraction = position - static_cast<double>(below);
    return values[below] + (values[above] - values[below]) * fraction;
}

bool spansDecades(const std::vector<double>& values) {
    if (values.empty()) return false;
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return *low > 0.0 && *high > 100.0 * *low;
}

ConvergenceSeries convergenceSeries(const std::vector<QRunSummary>& runs) {
    ConvergenceSeries series;
    const std::size_t generations = generationsReached(runs);
    std::vector<double> everyValue;
    std::vector<double> values;
    for (std::size_t g = 0; g < generations; ++g) {
        values.clear();
        for (const QRunSummary& run : runs) {
            double best = 0.0;
            if (bestAt(run, g, best)) values.push_back(best);
        }
        series.median.push_back(quantile(values, 0.5));
        series.lowerQuartile.push_back(quantile(values, 0.25));
        series.upperQuartile.push_back(quantile(values, 0.75));
        series.runsCounted.push_back(static_cast<int>(values.size()));
        everyValue.insert(everyValue.end(), values.begin(), values.end());
    }
    series.logarithmic = spansDecades(everyValue);
    return series;
}

std::string convergencePlotSvg(const std::vector<QRunSummary>& runs, double errorLevel, int recordEvery) {
    const ConvergenceSeries series = convergenceSeries(runs);
    const int lastOverRuns = static_cast<int>(series.median.size());
    double low = 0.0;
    double high = 0.0;
    bool any = false;
    for (std::size_t g = 0; g < series.median.size(); ++g) {
        for (const QRunSummary& run : runs) {
            double best = 0.0;
            if (!bestAt(run, g, best)) continue;
            low = any ? std::min(low, best) : best;
            high = any ? std::max(high, best) : best;
            any = true;
        }
    }
    if (!any) return "";
    const bool logY = series.logarithmic;
    const bool errorShown = std::isfinite(errorLevel) && (!logY || errorLevel > 0.0);
    if (errorShown) {
        low = std::min(low, errorLevel);
        high = std::max(high, errorLevel);
    }
    const auto [yMin, yMax] = paddedRange(low, high, logY);
    const auto lastGeneration = static_cast<double>(series.median.size());
    const Frame frame{series.median.size() > 1 ? 1.0 : 0.5, series.median.size() > 1 ? lastGeneration : 1.5,
                      yMin, yMax, false, logY};

    SvgPage page(kWidth, kConvergenceHeight);
    drawAxes(frame, kConvergenceHeight, kTitleAndLegendRoom, "generation", logY ? "best fitness (log scale)" : "best fitness",
             "Best fitness per generation over " + std::to_string(runs.size()) + (runs.size() == 1 ? " run" : " runs"));

    std::vector<double> x;
    std::vector<double> y;
    plcol0(RunLine);
    plwidth(1.0);
    for (const QRunSummary& run : runs) {
        x.clear();
        y.clear();
        const int reached = std::min(std::max(run.generationsDone, 0), lastOverRuns);
        for (std::size_t g = 0; g < series.median.size(); ++g) {
            double best = 0.0;
            if (!keptGeneration(static_cast<int>(g), reached, recordEvery) || !bestAt(run, g, best)) continue;
            x.push_back(static_cast<double>(g + 1));
            y.push_back(toAxis(best, logY));
        }
        drawLine(x, y);
    }

    // The band: along the upper quartiles, back along the lower ones.
    x.clear();
    y.clear();
    const auto kept = [&](std::size_t g) {
        return series.runsCounted[g] != 0 && keptGeneration(static_cast<int>(g), lastOverRuns, recordEvery);
    };
    for (std::size_t g = 0; g < series.median.size(); ++g) {
        if (!kept(g)) continue;
        x.push_back(static_cast<double>(g + 1));
        y.push_back(toAxis(series.upperQuartile[g], logY));
    }
    for (std::size_t g = series.median.size(); g-- > 0;) {
        if (!kept(g)) continue;
        x.push_back(static_cast<double>(g + 1));
        y.push_back(toAxis(series.lowerQuartile[g], logY));
    }
    if (x.size() >= 3) {
        plcol0(Band);
        plfill(static_cast<PLINT>(x.size()), x.data(), y.data());
    }

    x.clear();
    y.clear();
    for (std::size_t g = 0; g < series.median.size(); ++g) {
        if (!kept(g)) continue;
        x.push_back(static_cast<double>(g + 1));
        y.push_back(toAxis(series.median[g], logY));
    }
    plcol0(Median);
    plwidth(2.5);
    drawLine(x, y);
    if (x.size() == 1) plstring(1, x.data(), y.data(), "#(850)");

    if (errorShown) {
        const double level = toAxis(errorLevel, logY);
        const std::array<double, 2> ex{frame.xMin, frame.xMax};
        const std::array<double, 2> ey{level, level};
        plcol0(ErrorLine);
        plwidth(1.5);
        pllsty(2);
        plline(2, ex.data(), ey.data());
        pllsty(1);
        plschr(0.0, 0.7);
        const double above = (frame.yMax - frame.yMin) * 0.025;
        plptex(frame.xMin + (frame.xMax - frame.xMin) * 0.01, level + above, 1.0, 0.0, 0.0,
               plotText("error level " + formatted(errorLevel)).c_str());
        plschr(0.0, 0.82);
    }

    // The legend, in one row between the title and the plot, where it hides nothing.
    const std::array<PLINT, 4> options{PL_LEGEND_LINE, PL_LEGEND_COLOR_BOX, PL_LEGEND_LINE, PL_LEGEND_LINE};
    const std::array<const char*, 4> texts{"median of the runs", "quartiles (25% to 75%)", "one run", "error level"};
    const std::array<PLINT, 4> textColours{Ink, Ink, Ink, Ink};
    const std::array<PLINT, 4> boxColours{0, Band, 0, 0};
    const std::array<PLINT, 4> boxPatterns{0, 0, 0, 0};
    const std::array<PLFLT, 4> boxScales{0.0, 0.9, 0.0, 0.0};
    const std::array<PLFLT, 4> boxLineWidths{0.0, 0.0, 0.0, 0.0};
    const std::array<PLINT, 4> lineColours{Median, 0, RunLine, ErrorLine};
    const std::array<PLINT, 4> lineStyles{1, 1, 1, 2};
    const std::array<PLFLT, 4> lineWidths{2.5, 1.0, 1.0, 1.5};
    const PLINT entries = errorShown ? 4 : 3;
    PLFLT legendWidth = 0.0;
    PLFLT legendHeight = 0.0;
    plschr(0.0, 0.7);
    pllegend(&legendWidth, &legendHeight, PL_LEGEND_ROW_MAJOR, PL_POSITION_TOP | PL_POSITION_OUTSIDE, 0.0, 0.01,
             0.05, Background, Grid, 1, 2, 2, entries, options.data(), 0.8, 0.75, 2.0, 0.0, textColours.data(), texts.data(), boxColours.data(),
             boxPatterns.data(), boxScales.data(), boxLineWidths.data(), lineColours.data(), lineStyles.data(),
             lineWidths.data(), nullptr, nullptr, nullptr, nullptr);

    return inlineSvg(page.finish(), "convergence",
                     std::string("class=\"plot convergence-plot\" data-y-scale=\"") + (logY ? "log" : "linear") + "\"",
                     "Convergence of the best fitness");
}

std::string solutionEcdfSvg(const std::vector<QRunSummary>& runs) {
    std::vector<double> evaluations;
    for (const QRunSummary& run : runs) {
        if (run.evaluationsToSolution != 0) evaluations.push_back(run.evaluationsToSolution);
    }
    if (evaluations.empty()) return "";
    std::sort(evaluations.begin(), evaluations.end());
    const bool logX = spansDecades(evaluations);
    const double total = static_cast<double>(runs.size());
    double xMin = 0.0;
    double xMax = 0.0;
    if (logX) {
        std::tie(xMin, xMax) = paddedRange(evaluations.front(), evaluations.back(), true);
    } else {
        // Around the solutions, not from 0: the steps are what the plot is for.
        const double margin = std::max((evaluations.back() - evaluations.front()) * 0.08, 1.0);
        xMin = std::max(0.0, evaluations.front() - margin);
        xMax = evaluations.back() + margin;
    }
    const Frame frame{xMin, xMax, 0.0, 1.04, logX, false};

    SvgPage page(kWidth, kDistributionHeight);
    std::ostringstream title;
    title << "Evaluations to solution: " << evaluations.size() << " of " << runs.size()
          << (runs.size() == 1 ? " run" : " runs") << " solved";
    drawAxes(frame, kDistributionHeight, kTitleRoom, logX ? "evaluations (log scale)" : "evaluations", "fraction of runs solved", title.str());

    // The steps: flat at the fraction solved so far, up by one run at every solution.
    std::vector<double> x{frame.xMin};
    std::vector<double> y{0.0};
    for (std::size_t i = 0; i < evaluations.size(); ++i) {
        const double at = toAxis(evaluations[i], logX);
        x.push_back(at);
        y.push_back(static_cast<double>(i) / total);
        x.push_back(at);
        y.push_back(static_cast<double>(i + 1) / total);
    }
    x.push_back(frame.xMax);
    y.push_back(y.back());
    plcol0(Steps);
    plwidth(2.5);
    drawLine(x, y);

    // The fraction of all runs, 1, as a faint limit.
    const std::array<double, 2> lx{frame.xMin, frame.xMax};
    const std::array<double, 2> ly{1.0, 1.0};
    plcol0(Ink);
    plwidth(0.8);
    pllsty(3);
    plline(2, lx.data(), ly.data());
    pllsty(1);

    return inlineSvg(page.finish(), "ecdf",
                     std::string("class=\"plot ecdf-plot\" data-x-scale=\"") + (logX ? "log" : "linear") + "\"",
                     "Evaluations to solution");
}

std::string groupedValuesSvg(const std::vector<ValueGroup>& groups, const GroupedPlotText& text) {
    std::vector<double> every;
    for (const ValueGroup& group : groups) {
        for (double value : group.values) {
            if (std::isfinite(value)) every.push_back(value);
        }
    }
    if (every.empty()) return "";
    const bool logY = spansDecades(every);
    const auto [low, high] = std::minmax_element(every.begin(), every.end());
    const auto [yMin, yMax] = paddedRange(*low, *high, logY);
    const Frame frame{0.5, static_cast<double>(groups.size()) + 0.5, yMin, yMax, false, logY};

    SvgPage page(kWidth, kGroupedHeight);
    drawAxes(frame, kGroupedHeight, kTitleRoom, text.xLabel, logY ? text.yLabel + " (log scale)" : text.yLabel,
             text.title, false);
    // The group's label under its place, the grid's vertical lines between the groups.
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const double at = static_cast<double>(g + 1);
        plcol0(Ink);
        plmtex("b", 1.3, (at - frame.xMin) / (frame.xMax - frame.xMin), 0.5, plotText(groups[g].label).c_str());
        if (g == 0) continue;
        const std::array<double, 2> gx{at - 0.5, at - 0.5};
        const std::array<double, 2> gy{frame.yMin, frame.yMax};
        plcol0(Grid);
        plwidth(0.8);
        plline(2, gx.data(), gy.data());
    }

    std::vector<double> medianX;
    std::vector<double> medianY;
    constexpr double kHalfBox = 0.22;
    constexpr double kSpread = 0.32;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        std::vector<double> values;
        for (double value : groups[g].values) {
            if (std::isfinite(value)) values.push_back(value);
        }
        if (values.empty()) continue;
        const double at = static_cast<double>(g + 1);
        const double lower = toAxis(quantile(values, 0.25), logY);
        const double upper = toAxis(quantile(values, 0.75), logY);
        const double median = toAxis(quantile(values, 0.5), logY);
        const std::array<double, 4> bx{at - kHalfBox, at + kHalfBox, at + kHalfBox, at - kHalfBox};
        const std::array<double, 4> by{lower, lower, upper, upper};
        plcol0(Band);
        plfill(4, bx.data(), by.data());

        // Every value, spread evenly across its group in the order given, so that equal values
        // stay apart.
        std::vector<double> x;
        std::vector<double> y;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double offset = values.size() > 1 ? (static_cast<double>(i) / static_cast<double>(values.size() - 1) - 0.5) : 0.0;
            x.push_back(at + offset * kSpread);
            y.push_back(toAxis(values[i], logY));
        }
        plcol0(Steps);
        plschr(0.0, 0.5);
        plstring(static_cast<PLINT>(x.size()), x.data(), y.data(), "#(850)");
        plschr(0.0, 0.82);

        const std::array<double, 2> mx{at - kHalfBox, at + kHalfBox};
        const std::array<double, 2> my{median, median};
        plcol0(Median);
        plwidth(3.0);
        plline(2, mx.data(), my.data());
        medianX.push_back(at);
        medianY.push_back(median);
    }
    plcol0(Median);
    plwidth(1.2);
    drawLine(medianX, medianY);

    return inlineSvg(page.finish(), text.idPrefix,
                     "class=\"plot grouped-plot\" data-y-scale=\"" + std::string(logY ? "log" : "linear") + "\"",
                     text.title);
}

std::string escapedMarkup(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace Valdrin
