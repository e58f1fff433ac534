// Tests of the experiment driver: choosing the algorithm and the problem by name, the order of
// start-up, run loop and teardown (with fake classes), and whole-program runs.
#include "driver/experiment.h"

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/output_file.h"
#include "registry/parts_maker.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::fileExists;
using testing::readFile;
using testing::ScratchDir;
using testing::writeFile;

std::vector<std::string> events;

// --- Name look-up: the create functions only record which entry was chosen. ---

template <int Index>
std::unique_ptr<QEvolutionaryAlgorithm> recordAlgorithm(Engine&) {
    events.push_back("algorithm " + std::to_string(Index));
    return nullptr;
}

template <int Index>
std::unique_ptr<QProblem> recordProblem(Engine&) {
    events.push_back("problem " + std::to_string(Index));
    return nullptr;
}

const std::vector<AlgorithmRow> kRecordedAlgorithms = {
    {"GA", AlgorithmKind::GA, "Creating GA\n", &recordAlgorithm<0>, ""},
    {"SARN", AlgorithmKind::SARN, "Creating QSARN\n", &recordAlgorithm<1>, ""},
    {"SARN2", AlgorithmKind::SARN2, "Creating QSARN2 (indirect evolution)\n", &recordAlgorithm<2>, ""},
};
const std::vector<ProblemRow> kRecordedProblems = {
    {"Sphere", ProblemKind::Sphere, {}, &recordProblem<0>, ""},
    {"Double sin", ProblemKind::DoubleSine, {}, &recordProblem<1>, ""},
};

CommandLine commandLine(const std::string& configuration, int runs) {
    CommandLine line;
    line.configuration = configuration;
    line.runs = runs;
    return line;
}

XmlNode chosen(const std::string& element, const std::string& name) {
    return XmlNode{element, "", {XmlNode{"type", name, {}}}};
}

QLightXMLIO treeOf(std::vector<XmlNode> children) {
    QLightXMLIO tree;
    tree.name = "experiment";
    tree.children = std::move(children);
    return tree;
}

TEST(ExperimentLookup, NamesMatchExactlyInTableOrder) {
    events.clear();
    ::testing::internal::CaptureStdout();
    createAlgorithmByName(treeOf({chosen("algorithm", "SARN2")}), kRecordedAlgorithms, testing::testEngine());
    createAlgorithmByName(treeOf({chosen("algorithm", "SARN")}), kRecordedAlgorithms, testing::testEngine());
    // The first "algorithm" element in document order, and its first child, decide.
    createAlgorithmByName(treeOf({XmlNode{"group", "", {chosen("algorithm", "GA")}},
                                  XmlNode{"algorithm", "", {XmlNode{"a", "SARN", {}}, XmlNode{"b", "GA", {}}}}}),
                          kRecordedAlgorithms, testing::testEngine());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Creating QSARN2 (indirect evolution)\nCreating QSARN\nCreating GA\n");
    createProblemByName(treeOf({chosen("problem", "Double sin"), chosen("problem", "Sphere")}), kRecordedProblems, testing::testEngine());
    EXPECT_EQ(events, (std::vector<std::string>{"algorithm 2", "algorithm 1", "algorithm 0", "problem 1"}));
}

TEST(ExperimentLookup, UnknownNamesEndTheProcess) {
    for (const std::string name : {"ga", "G A", "GA ", "SARN3", ""}) {
        EXPECT_FAILURE(
            {
                createAlgorithmByName(treeOf({chosen("algorithm", name)}), kRecordedAlgorithms, testing::testEngine());
            }, "^\nIs it true\\? No algorithm\\?!\n$")
            << '"' << name << '"';
    }
    for (const std::string name : {"sphere", "Double  sin", "Doublesin"}) {
        EXPECT_FAILURE(
            {
                createProblemByName(treeOf({chosen("problem", name)}), kRecordedProblems, testing::testEngine());
            }, "^\nOopsie, no problem!\n$")
            << '"' << name << '"';
    }
}

TEST(ExperimentLookup, MissingChoiceIsReported) {
    EXPECT_FAILURE(createAlgorithmByName(treeOf({chosen("problem", "Sphere")}), kRecordedAlgorithms, testing::testEngine()),
                   "^\n\n\\[createAlgorithmByName\\] error:\n\tThe configuration names no algorithm: .*\n\n$");
    EXPECT_FAILURE(createAlgorithmByName(treeOf({XmlNode{"algorithm", "GA", {}}}), kRecordedAlgorithms, testing::testEngine()),
                   "\\[createAlgorithmByName\\] error:");
    EXPECT_FAILURE(createProblemByName(QLightXMLIO{}, kRecordedProblems, testing::testEngine()),
                   "^\n\n\\[createProblemByName\\] error:\n\tThe configuration names no problem: .*\n\n$");
}

// --- The run loop, with fake classes that record what the driver asks of them. ---

const QProblem* lastFakeProblem = nullptr;

class FakeAlgorithm final : public QEvolutionaryAlgorithm {
public:
    explicit FakeAlgorithm(Engine& engine) : QEvolutionaryAlgorithm(engine) { events.push_back("algorithm constructed"); }
    ~FakeAlgorithm() override { events.push_back("algorithm deleted"); }

    // Makes nothing: records what it was handed.
    int setUp(const QEAParameters& params, const PartsMaker& maker, QProblem& problem) override {
        params_ = params;
        events.push_back("algorithm setUp: registry maker " +
                         std::to_string(dynamic_cast<const RegistryPartsMaker*>(&maker) != nullptr) +
                         ", the problem made " + std::to_string(&problem == lastFakeProblem) +
                         ", record shared with the problem " + std::to_string(problem._params == &params) +
                         ", inputs " + std::to_string(params.inputsNumber));
        return 1;
    }
    int run() override {
        ++runsMade;
        summary_.evaluationsCount = 10 * runsMade;
        engine().out() << "running\n";
        if (runsMade == interruptedInRun) std::raise(SIGINT);
        return 0;
    }
    // The run (from 1) during which SIGINT comes, as from the terminal; 0 for none.
    static inline int interruptedInRun = 0;
    int printName(std::ostream& out) const override {
        out << "Fake algorithm\n";
        return 1;
    }
    int reportStatistics(const std::vector<QRunSummary>& runs, std::ostream&) const override {
        std::string counts = "reportStatistics:";
        for (const QRunSummary& run : runs) {
            counts += ' ';
            counts += std::to_string(run.evaluationsCount);
        }
        events.push_back(counts);
        return 1;
    }
    int cleanup() override {
        events.push_back("algorithm cleanup");
        return QEvolutionaryAlgorithm::cleanup();
    }

protected:
    const char* runErrorHeader() const override { return "\n\n[FakeAlgorithm::run] error:\n"; }

private:
    int runsMade = 0;
};

class FakeProblem final : public QProblem {
public:
    explicit FakeProblem(Engine& engine) : QProblem(engine) {
        events.push_back("problem constructed");
        lastFakeProblem = this;
    }
    ~FakeProblem() override { events.push_back("problem deleted"); }
    int adjustParameters(QEAParameters* params) override {
        events.push_back("problem adjustParameters");
        params->inputsNumber = 7;
        return 1;
    }
    int setParameters(const QEAParameters* params) override {
        events.push_back("problem setParameters");
        return QProblem::setParameters(params);
    }
    int evaluateIndividual(QIndividual&) override { return 1; }
    int printName(std::ostream& out) const override {
        out << "Fake problem\n";
        return 1;
    }
};

template <class Concrete, class Base>
std::unique_ptr<Base> createFake(Engine& engine) {
    return std::make_unique<Concrete>(engine);
}

const std::vector<AlgorithmRow> kFakeAlgorithms = {
    {"Fake", AlgorithmKind::GA, "Creating the fake\n", &createFake<FakeAlgorithm, QEvolutionaryAlgorithm>, ""}};
const std::vector<ProblemRow> kFakeProblems = {
    {"Fake", ProblemKind::Sphere, {}, &createFake<FakeProblem, QProblem>, ""}};

const char* const kFakeConfiguration =
    "<?xml version=\"1.0\"?>\n"
    "<experiment>\n"
    "  <algorithm><type>Fake</type></algorithm>\n"
    "  <problem><type>Fake</type></problem>\n"
    "  <parameter><name>Generations number</name><value>4</value></parameter>\n"
    "</experiment>\n";

TEST(ExperimentRunLoop, StartsRunsAndTearsDownInOrder) {
    ScratchDir dir;
    writeFile("fake.xml", kFakeConfiguration);
    events.clear();
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runExperiment(commandLine("fake.xml", 3), out, err, kFakeAlgorithms, kFakeProblems), 0);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(out.str(),
              "Creating the fake\nFake problem\nRun # 0\nrunning\nRun # 1\nrunning\nRun # 2\nrunning\n");
    EXPECT_EQ(events, (std::vector<std::string>{
                          "algorithm constructed", "problem constructed", "problem adjustParameters",
                          "problem setParameters",
                          "algorithm setUp: registry maker 1, the problem made 1, record shared with the problem 1, "
                          "inputs 7",
                          "reportStatistics: 10 20 30", "algorithm cleanup", "problem deleted",
                          "algorithm deleted"}));
    const std::string summary = readFile("summary.log");
    EXPECT_EQ(summary.find("EA parameters:\n---------------------------\nAlgorithm's name:\tFake algorithm\n"
                           "Problem:\tFake problem\n"),
              0U);
    EXPECT_NE(summary.find("generationsNumber:\t4\n"), std::string::npos);
}

// SIGINT during the third of 8 runs: the reports cover the 3 runs that finished and say so.
TEST(ExperimentRunLoop, AnInterruptedExperimentsReportsSayHowManyOfTheRunsAskedForTheyCover) {
    ScratchDir dir;
    writeFile("fake.xml", kFakeConfiguration);
    CommandLine line = commandLine("fake.xml", 8);
    line.csv = true;
    line.report = true;
    std::ostringstream out;
    std::ostringstream err;
    FakeAlgorithm::interruptedInRun = 3;
    const int status = runExperiment(line, out, err, kFakeAlgorithms, kFakeProblems);
    FakeAlgorithm::interruptedInRun = 0;
    EXPECT_EQ(status, 130);
    EXPECT_NE(err.str().find("interrupted by SIGINT: the report covers 3 of 8 runs"), std::string::npos) << err.str();
    EXPECT_NE(readFile("summary.log").find("Until first hit:\t0\n\nReport covers:\t3 of 8 runs (interrupted)\n\n#"),
              std::string::npos);
    EXPECT_NE(readFile("report.html").find("Valdrin report: 3 of 8 runs (interrupted),"), std::string::npos);
    const std::vector<std::string> rows = testing::splitLines(readFile("runs.csv"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_TRUE(rows[0].ends_with(",runs_asked"));
    for (std::size_t r = 1; r < rows.size(); ++r) EXPECT_TRUE(rows[r].ends_with(",8")) << rows[r];
}

TEST(ExperimentRunLoop, UnreadableConfigurationStopsAtTheLookUpWithStatusOne) {
    ScratchDir dir;
    std::ostringstream out;
    std::ostringstream messages;
    EXPECT_EQ(runExperiment(commandLine("absent.xml", 1), out, messages, kFakeAlgorithms, kFakeProblems), 1);
    const std::string err = messages.str();
    EXPECT_NE(err.find("Can't read file (absent.xml)\n\n\n[createAlgorithmByName] error:"), std::string::npos);
    EXPECT_NE(err.find("\nvaldrin: error: The configuration names no algorithm"), std::string::npos) << err;
}

TEST(ExperimentRunLoop, WritesEveryFileIntoTheOutputFolder) {
    ScratchDir dir;
    writeFile("fake.xml", kFakeConfiguration);
    CommandLine line = commandLine("fake.xml", 2);
    line.outputFolder = "results/first";
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runExperiment(line, out, err, kFakeAlgorithms, kFakeProblems), 0);
    EXPECT_TRUE(testing::fileExists("results/first/summary.log"));
    EXPECT_FALSE(testing::fileExists("summary.log"));
}

}  // namespace
}  // namespace Valdrin
