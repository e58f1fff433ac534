// Tests of the report page: the outcome it computes, the words it names the choices by, its
// sections and tables, the files it writes, and the page of a real experiment in a browser.
#include "report/report_page.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>

#include "config/light_xml.h"
#include "core/failure.h"
#include "core/output_file.h"
#include "driver/experiment.h"
#include "registry/parameter_reader.h"
#include "registry/parts_maker.h"
#include "registry/registry.h"
#include "report/convergence_plot.h"
#include "report/markup.h"
#include "representation/integer.h"
#include "representation/network.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::MarkupDocument;
using testing::tableRows;

QRunSummary makeRun(const std::vector<double>& bests, int evaluations, int evaluationsToSolution = 0) {
    QRunSummary run;
    run.generationsDone = static_cast<int>(bests.size());
    run.bestFitness = bests;
    for (double best : bests) run.worstFitness.push_back(best + 10.0);
    run.evaluationsCount = evaluations;
    run.evaluationsToSolution = evaluationsToSolution;
    run.duration = 0.25;
    return run;
}

std::string pageOf(const std::vector<QRunSummary>& runs, const QEAParameters& record = QEAParameters{},
                   const std::string& algorithm = "Genetic algorithm\n", const std::string& problem = "Sphere function\n") {
    return reportPage(ReportInputs{runs, record, algorithm, problem});
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The page read as markup, which it must be throughout, and the ids of its sections.
MarkupDocument readPage(const std::string& page, std::set<std::string>* sections = nullptr) {
    MarkupDocument document = testing::parseMarkup(page);
    EXPECT_EQ(document.error, "");
    for (auto& element : document.elements) {
        if (sections != nullptr && element.name == "section") sections->insert(element.attributes["id"]);
    }
    return document;
}

TEST(ReportPageTest, OutcomeCountsEvaluationsUpToTheSolutionOrAllAndTheLastRecordedGeneration) {
    QRunSummary stopped = makeRun({9, 7, 5, 3}, 400);
    stopped.generationsDone = 2;  // its later entries are stale
    const ReportOutcome outcome = reportOutcome({makeRun({3, 1}, 500, 100), stopped, makeRun({2, 0.5}, 1000, 300)});
    EXPECT_EQ(outcome.runs, 3);
    EXPECT_EQ(outcome.solved, 2);
    EXPECT_EQ(outcome.totalEvaluations, 100 + 400 + 300);
    EXPECT_DOUBLE_EQ(outcome.expectedRunningTime, 400.0);
    EXPECT_DOUBLE_EQ(finalBest(stopped), 7.0);
    EXPECT_DOUBLE_EQ(finalWorst(stopped), 17.0);
    EXPECT_DOUBLE_EQ(outcome.meanFinalBest, 8.5 / 3);
    EXPECT_DOUBLE_EQ(outcome.medianFinalBest, 1.0);

    const ReportOutcome unsolved = reportOutcome({makeRun({4}, 400), makeRun({5}, 700)});
    EXPECT_EQ(unsolved.totalEvaluations, 1100);
    EXPECT_TRUE(std::isinf(unsolved.expectedRunningTime));
    EXPECT_DOUBLE_EQ(unsolved.medianFinalBest, 4.5);
    EXPECT_TRUE(std::isinf(reportOutcome({}).expectedRunningTime));
}

std::string parameter(const QEAParameters& record, const std::string& label) {
    for (const auto& [name, value] : keyParameters(record)) {
        if (name == label) return value;
    }
    return "(none)";
}

// Every choice is named by the word the configuration uses for it, as the registry has it.
TEST(ReportPageTest, KeyParametersNameChoicesByTheirConfigurationWords) {
    QEAParameters record;
    for (const EncodingRow& row : encodingRows()) {
        record.encoding = row.id;
        record.permutation = row.permutation;
        EXPECT_EQ(parameter(record, "Encoding"), row.word);
    }
    record.encoding = Encoding::Real;
    for (const CrossoverRow& row : crossoverRows()) {
        record.xType = row.id;
        EXPECT_EQ(parameter(record, "Crossover").substr(0, row.word.size()), row.word);
    }
    for (const MutationRow& row : mutationRows()) {
        record.mutationType = row.id;
        EXPECT_EQ(parameter(record, "Mutation"), row.word);
    }
    for (const SelectionRow& row : selectionRows()) {
        record.selectionType = row.id;
        EXPECT_EQ(parameter(record, "Selection").substr(0, row.word.size()), row.word);
    }
    for (const auto& row : generatorRows()) {
        record.generator = row.value;
        EXPECT_EQ(parameter(record, "Random generator"), row.word);
    }

    record.tournamentSize = 3;
    record.xType = Crossover::SBX;
    EXPECT_EQ(parameter(record, "Selection"), "tournament (size 3)");
    EXPECT_EQ(parameter(record, "Crossover"), "SBX (xAlpha 0.5)");
    EXPECT_EQ(parameter(record, "Crossover rate"), "0.7");
    record.encoding = Encoding::Network;
    EXPECT_EQ(parameter(record, "Crossover"), "none (networks are not recombined)");
    EXPECT_EQ(parameter(record, "Crossover rate"), "(none)");
}

// Where a word builds another operator on the encoding, the page names the one that ran, as the
// registry has it; elsewhere the word itself.
TEST(ReportPageTest, KeyParametersNameTheOperatorThatRan) {
    QEAParameters record;
    const auto expected = [](const auto& entry, std::string_view word) {
        return entry.runsAs.empty() ? std::string(word)
                                    : std::string(entry.runsAs) + " (configured as " + std::string(word) + ")";
    };
    int renamed = 0;
    for (const CrossoverRow& row : crossoverRows()) {
        record.xType = row.id;
        for (const auto& entry : row.makers) {
            record.encoding = entry.encoding;
            const std::string shown = parameter(record, "Crossover");
            EXPECT_EQ(shown.substr(0, shown.find(" (xAlpha")), expected(entry, row.word)) << row.word;
            renamed += entry.runsAs.empty() ? 0 : 1;
        }
    }
    for (const MutationRow& row : mutationRows()) {
        record.mutationType = row.id;
        for (const auto& entry : row.makers) {
            record.encoding = entry.encoding;
            EXPECT_EQ(parameter(record, "Mutation"), expected(entry, row.word)) << row.word;
            renamed += entry.runsAs.empty() ? 0 : 1;
        }
    }
    EXPECT_EQ(renamed, 2);  // uniform crossover and gaussian mutation on bit strings

    record.eliteCount = 3;
    EXPECT_EQ(parameter(record, "Elite count"), "3");
    record.elitism = Elitism::Kept;
    EXPECT_EQ(parameter(record, "Elite count"), "3 (kept: not mutated)");
}

TEST(ReportPageTest, PageIsSelfContainedAndShowsEverySection) {
    QEAParameters record;
    record.errorLevel = 0.5;
    std::set<std::string> sections;
    const std::string page = pageOf({makeRun({3, 1, 0.25}, 60, 45), makeRun({4, 2, 1}, 60)}, record);
    const MarkupDocument document = readPage(page, &sections);
    EXPECT_EQ(page.rfind("<!DOCTYPE html>\n<html", 0), 0u);
    EXPECT_EQ(sections, (std::set<std::string>{"experiment", "outcome", "convergence", "solutions", "runs-section"}));
    EXPECT_EQ(document.count("svg"), 2);
    EXPECT_EQ(document.count("style"), 1);
    for (const char* text : {"What was run", "Runs", "Success rate", "50%", "1 of 2 runs reached a fitness below 0.5",
                             "ERT = (total evaluations over all runs) / (number of solved runs)",
                             "ERT = 105 / 1 = 105", "Mean final best", "0.625", "Median final best"}) {
        EXPECT_TRUE(contains(document.text, text)) << text;
    }
    // Nothing is fetched and nothing runs.
    for (const auto& element : document.elements) {
        EXPECT_EQ(std::set<std::string>({"script", "link", "img", "iframe", "object", "image", "use"}).count(element.name), 0u);
        for (const auto& [attribute, value] : element.attributes) {
            EXPECT_TRUE(attribute != "src" && !contains(attribute, "href")) << attribute;
            EXPECT_TRUE(attribute.rfind("xmlns", 0) == 0 || !contains(value, "://")) << attribute << "=" << value;
        }
    }
}

TEST(ReportPageTest, WithoutASolutionTheRunningTimeIsInfiniteAndNoDistributionIsDrawn) {
    std::set<std::string> sections;
    const MarkupDocument document = readPage(pageOf({makeRun({3, 2}, 60), makeRun({4, 3}, 70)}), &sections);
    EXPECT_EQ(sections.count("solutions"), 0u);
    EXPECT_EQ(document.count("svg"), 1);
    EXPECT_TRUE(contains(document.text, "ERT = 130 / 0 = \u221e"));

    const MarkupDocument empty = readPage(pageOf({}));
    EXPECT_EQ(empty.count("svg"), 0);
    EXPECT_TRUE(contains(empty.text, "No run recorded a generation"));
}

TEST(ReportPageTest, NamesAreTrimmedAndEscaped) {
    const std::string page = pageOf({makeRun({1}, 5)}, QEAParameters{}, "  Mine <b>&\"bold\"</b>\n", "Tom's\n");
    readPage(page);
    EXPECT_TRUE(contains(page, "<h1>Mine &lt;b&gt;&amp;&quot;bold&quot;&lt;/b&gt; on Tom&#39;s</h1>"));
    EXPECT_TRUE(contains(page, "<title>Mine &lt;b&gt;&amp;&quot;bold&quot;&lt;/b&gt; on Tom&#39;s</title>"));
    EXPECT_TRUE(contains(page, "<dd>Tom&#39;s</dd>"));
    EXPECT_FALSE(contains(page, "<b>"));
}

// Checks the runs table, as written or as a browser rendered it, against the runs: every run
// once, with its numbers.
void expectRunsTable(const std::string& html, const std::vector<QRunSummary>& runs) {
    const auto rows = tableRows(html, "runs");
    ASSERT_EQ(rows.size(), runs.size());
    std::set<std::size_t> seen;
    for (const auto& [data, cells] : rows) {
        const std::size_t number = std::stoul(data.at("run"));
        ASSERT_TRUE(number >= 1 && number <= runs.size() && seen.insert(number).second) << number;
        const QRunSummary& run = runs[number - 1];
        const BestSoFar best = bestSoFar(run);
        const bool found = best.evaluation != 0;
        const bool solved = run.evaluationsToSolution != 0;
        const std::string evaluationsToSolution = solved ? std::to_string(run.evaluationsToSolution) : "";
        SCOPED_TRACE("run " + std::to_string(number));
        ASSERT_EQ(cells.size(), 11u);
        EXPECT_EQ(cells[0], std::to_string(number));
        EXPECT_EQ(cells[1], std::to_string(run.generationsDone));
        EXPECT_EQ(cells[2], std::to_string(run.evaluationsCount));
        EXPECT_EQ(cells[3], solved ? "yes" : "no");
        EXPECT_EQ(cells[4], solved ? evaluationsToSolution : "\u2014");
        if (found) {
            EXPECT_NEAR(std::stod(cells[5]), best.fitness, 1e-5 * std::fabs(best.fitness));
            EXPECT_EQ(cells[6], std::to_string(best.generation));
            EXPECT_EQ(cells[7], std::to_string(best.evaluation));
            EXPECT_EQ(std::stod(data.at("best-so-far")), best.fitness);
        } else {
            EXPECT_EQ(cells[5] + cells[6] + cells[7], "\u2014\u2014\u2014");
            EXPECT_EQ(data.at("best-so-far"), "");
        }
        EXPECT_NEAR(std::stod(cells[8]), finalBest(run), 1e-5 * std::fabs(finalBest(run)));
        EXPECT_NEAR(std::stod(cells[9]), finalWorst(run), 1e-5 * std::fabs(finalWorst(run)));
        EXPECT_NEAR(std::stod(cells[10]), run.duration, 1e-5 * run.duration);
        // The attributes hold every digit.
        EXPECT_EQ(data.at("evaluations-to-solution"), evaluationsToSolution);
        EXPECT_EQ(std::stod(data.at("final-best")), finalBest(run));
        EXPECT_EQ(std::stod(data.at("final-worst")), finalWorst(run));
        EXPECT_EQ(std::stod(data.at("duration")), run.duration);
    }
}

TEST(ReportPageTest, RunsTableRanksTheRunsByTheirBestSoFar) {
    QRunSummary stopped = makeRun({6, 5, 99}, 90);
    stopped.generationsDone = 2;
    stopped.duration = 1.0 / 7;
    stopped.evaluationsByGeneration = {30, 60};
    stopped.improvements = {{1, 6.0}, {44, 5.0}, {88, 0.25}};  // found by the final evaluation
    QRunSummary second = makeRun({3, 1.0 / 3}, 120, 77);
    second.evaluationsByGeneration = {60, 120};
    second.improvements = {{2, 3.0}, {77, 1.0 / 3}};
    QRunSummary tied = makeRun({3, 1.0 / 3}, 120);
    tied.evaluationsByGeneration = {60, 120};
    tied.improvements = {{3, 1.0 / 3}};
    const std::vector<QRunSummary> runs{makeRun({0.123456789}, 40, 1), second, stopped, tied};
    const std::string page = pageOf(runs);
    expectRunsTable(page, runs);
    std::string order;
    for (const auto& row : tableRows(page, "runs")) order += row.data.at("run");
    EXPECT_EQ(order, "3241") << "4 ties with 2; 1 has no best so far";
    EXPECT_TRUE(contains(readPage(page).text, "Runs are ranked by their best fitness so far, lowest first"));

    const ReportOutcome outcome = reportOutcome(runs);
    EXPECT_DOUBLE_EQ(outcome.medianBestSoFar, 1.0 / 3);
    EXPECT_DOUBLE_EQ(outcome.meanBestSoFar, (0.25 + 2.0 / 3) / 3);
}

std::unique_ptr<QRNIndividual> network(int nodes) {
    auto made = std::make_unique<QRNIndividual>();
    made->genes.resize(static_cast<std::size_t>(nodes));
    return made;
}

// A run is judged by its first solution when it was solved and kept it, else by its best.
TEST(ReportPageTest, NetworkSizesAreThoseOfEachRunsExaminedNetwork) {
    QRunSummary solvedAndKept = makeRun({1, 0}, 40, 30);
    solvedAndKept.solutionIndividual = network(5);
    solvedAndKept.bestIndividual = network(9);
    QRunSummary solvedNotKept = makeRun({1, 0}, 40, 30);
    solvedNotKept.bestIndividual = network(7);
    QRunSummary unsolved = makeRun({1, 1}, 40);
    unsolved.bestIndividual = network(3);
    unsolved.solutionIndividual = network(11);
    const std::string page = pageOf({solvedAndKept, solvedNotKept, unsolved, makeRun({1}, 4)});
    EXPECT_TRUE(contains(readPage(page).text, "mean 5, fewest 3, most 7"));
    const auto rows = tableRows(page, "network-sizes");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].cells, (std::vector<std::string>{"1", "first solution", "5"}));
    EXPECT_EQ(rows[1].cells, (std::vector<std::string>{"2", "best", "7"}));
    EXPECT_EQ(rows[2].cells, (std::vector<std::string>{"3", "best", "3"}));

    QRunSummary values = makeRun({1}, 40);
    values.bestIndividual = std::make_unique<QIntegerIndividual>();
    EXPECT_FALSE(contains(pageOf({values}), "id=\"networks\""));
}

TEST(ReportPageTest, WritesThePageAndThePlotIntoTheOutputFolder) {
    testing::ScratchDir scratch;
    fs::create_directory("out");
    const OutputFolder files("out");
    const std::vector<QRunSummary> runs{makeRun({3, 1}, 40, 12)};
    const std::vector<QRunSummary> none;
    const QEAParameters record;
    const ReportInputs inputs{runs, record, "A\n", "P\n"};
    writeReport(inputs, files.placed("report.html"));
    writeConvergencePlot(inputs, files.placed("convergence.svg"));
    writeConvergencePlot(ReportInputs{none, record, "A\n", "P\n"}, files.placed("empty.svg"));

    EXPECT_EQ(testing::readFile("out/report.html"), reportPage(inputs));
    EXPECT_FALSE(fs::exists("out/report.html.part"));
    EXPECT_EQ(testing::readFile("out/convergence.svg"), convergencePlotSvg(runs, record.errorLevel));
    const MarkupDocument empty = testing::parseMarkup(testing::readFile("out/empty.svg"));
    EXPECT_EQ(empty.error + empty.elements.at(0).name, "svg");
    EXPECT_TRUE(contains(empty.text, "No run recorded a generation"));
    try {
        writeReport(inputs, "missing/report.html");
        ADD_FAILURE() << "a page was written into a missing folder";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.plain().rfind("cannot write missing/report.html: ", 0), 0u) << failure.plain();
    }
}

// Runs examples/NAME as the program would, in the working directory, output captured.
ReportInputs runExample(const std::string& name, int count, std::vector<QRunSummary>& runs, QEAParameters& record) {
    QLightXMLIO tree;
    tree.readFromFile(std::string(VALDRIN_SOURCE_DIR) + "/examples/" + name + "/config.xml", std::cerr);
    readParameters(tree, record);
    testing::seedForTest(record.rngSeed);
    ::testing::internal::CaptureStdout();
    std::unique_ptr<QEvolutionaryAlgorithm> algorithm = createAlgorithmByName(tree, algorithmRows(), testing::testEngine());
    std::unique_ptr<QProblem> problem = createProblemByName(tree, problemRows(), testing::testEngine());
    problem->adjustParameters(&record);
    problem->setParameters(&record);
    algorithm->setUp(record, RegistryPartsMaker{}, *problem);
    for (int i = 0; i < count; ++i) {
        algorithm->run();
        runs.push_back(algorithm->runSummary());
    }
    std::ostringstream algorithmName;
    std::ostringstream problemName;
    algorithm->printName(algorithmName);
    problem->printName(problemName);
    algorithm.reset();
    ::testing::internal::GetCapturedStdout();
    return ReportInputs{runs, record, algorithmName.str(), problemName.str()};
}

// The page of a real experiment (the sphere example, five runs) in headless Chromium: the
// rendered document holds both plots and the runs' numbers, and a screenshot of it is taken.
// VALDRIN_REPORT_SCREENSHOT=PATH keeps a copy of the screenshot (docs/report.png is one).
TEST(ReportPageBrowserTest, RenderedPageShowsThePlotsAndTheRunsOfARealExperiment) {
    if (!testing::browserInstalled()) GTEST_SKIP() << "chromium is not installed (make deps installs it)";
    const auto start = std::chrono::steady_clock::now();
    const char* keep = std::getenv("VALDRIN_REPORT_SCREENSHOT");
    const fs::path kept = keep != nullptr ? fs::absolute(keep) : fs::path();
    testing::ScratchDir scratch;
    std::vector<QRunSummary> runs;
    QEAParameters record;
    const ReportInputs inputs = runExample("sphere-real", 5, runs, record);
    const std::string page = scratch.path() + "/report.html";
    writeReport(inputs, page);

    const testing::ProgramResult dom = testing::runBrowser(scratch.path() + "/profile-dom", {"--dump-dom", "file://" + page});
    ASSERT_EQ(dom.status, 0) << dom.err;
    EXPECT_TRUE(contains(dom.out, "<h1>Genetic algorithm on Sphere function</h1>"));
    int plots = 0;
    for (std::size_t at = dom.out.find("<svg"); at != std::string::npos; at = dom.out.find("<svg", at + 1)) ++plots;
    EXPECT_EQ(plots, reportOutcome(runs).solved > 0 ? 2 : 1);
    EXPECT_TRUE(contains(dom.out, "<polyline"));
    EXPECT_TRUE(contains(dom.out, "<dl class=\"parameters\">"));
    expectRunsTable(dom.out, runs);

    const std::string shot = scratch.path() + "/report.png";
    const testing::ProgramResult taken = testing::runBrowser(
        scratch.path() + "/profile-shot", {"--screenshot=" + shot, "--window-size=1200,1800", "file://" + page});
    ASSERT_EQ(taken.status, 0) << taken.err;
    const std::string png = testing::readFile(shot);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x04\xb0\0\0\x07\x08", 8)) << "1200 by 1800 pixels";
    EXPECT_GT(png.size(), 50000u) << "a screenshot this small shows next to nothing";
    if (!kept.empty()) fs::copy_file(shot, kept, fs::copy_options::overwrite_existing);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
}

}  // namespace
}  // namespace Valdrin
