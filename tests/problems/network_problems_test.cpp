// Tests of the network tasks: scoring of unreachable, silent and saturated networks, the
// penalties, the recurrent series evaluation and the test reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>
#include <utility>

#include "problems/network_problems.h"
#include "representation/network.h"
#include "representation/real.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

QRNGene node(std::vector<std::pair<int, double>> reads, std::vector<int> writes, int type, double bias = 0.0) {
    QRNGene gene;
    gene.typeID = type;
    gene.bias = bias;
    for (auto [s, w] : reads) gene.addInput({s, 0.0}, w);
    for (int s : writes) gene.addOutput({s, 0.0}, 0.0);
    return gene;
}

QRNIndividual network(int inputs, std::vector<QRNGene> nodes) {
    QRNIndividual individual;
    individual.inputsNumber = inputs;
    individual.outputsNumber = 1;
    individual.genes = std::move(nodes);
    return individual;
}

// Reads input 1 and writes the XOR output (signal 3) but, being of no known type, writes nothing.
QRNGene silentNode() { return node({{1, 1.0}}, {3}, 9); }

// y(e) = y(e-1) / 2 + x(e), saturated to [-1, 1]: a node that reads its own last output.
QRNIndividual echoNetwork() { return network(1, {node({{1, 1.0}, {2, 0.5}}, {2}, 3)}); }
double echo(double x, double previous) { return std::clamp(x + 0.5 * previous, -1.0, 1.0); }

struct NetworkProblemsTest : ::testing::Test {
    QEAParameters params;
    QANNProblemXOR xorTask{testing::testEngine()};
    QANNProblemSinDouble sineTask{testing::testEngine()};

    NetworkProblemsTest() {
        xorTask.setParameters(&params);
        sineTask.setParameters(&params);
    }

    // Keeps the messages of nodes of unknown type off the test output.
    std::vector<double> evaluate(QANNProblem& problem, QRNIndividual& individual) {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(problem.evaluateIndividual(individual), 1);
        ::testing::internal::GetCapturedStdout();
        return individual.fitnessComponents;
    }
};

TEST_F(NetworkProblemsTest, UnreachableOutputsAndPenalties) {
    // Writing back to an input leaves the output unreachable: E = 1 (XOR) or 100, P = 100.
    QRNIndividual blind = network(2, {node({{1, 1.0}}, {2}, 2)});
    EXPECT_EQ(evaluate(xorTask, blind), (std::vector<double>{1.0, 99.0 * 0.01, 0.001}));
    EXPECT_DOUBLE_EQ(blind.fitness, 1.001);
    QRNIndividual blindSine = network(1, {node({{1, 1.0}}, {1}, 2), node({{1, 1.0}}, {1}, 2)});
    EXPECT_EQ(evaluate(sineTask, blindSine), (std::vector<double>{100.0, 98.0 * 0.01 / 2, 0.001 * (1 + std::log(2.0))}));
    // A network without nodes counts as one node instead of scoring minus infinity.
    QRNIndividual empty = network(2, {});
    evaluate(xorTask, empty);
    EXPECT_DOUBLE_EQ(empty.fitness, 1.001);
}

TEST_F(NetworkProblemsTest, XorSilentNetworkAndErrorLevel) {
    // Nothing written reads as outputs 0.0, mapped to 0.5: every case errs by 0.25.
    QRNIndividual silent = network(2, {silentNode()});
    EXPECT_EQ(evaluate(xorTask, silent), (std::vector<double>{0.25, 0.01, 0.001}));
    EXPECT_DOUBLE_EQ(silent.fitness, 0.251);
    // Strictly below the error level the mean error is the fitness itself.
    params.errorLevel = 0.3;
    evaluate(xorTask, silent);
    EXPECT_EQ(silent.fitness, 0.25);
}

TEST_F(NetworkProblemsTest, XorOutputsAreMappedAndClipped) {
    // Three sign nodes add up to +3 (or -3) on the output: 2.0 (-1.0) after mapping, clipped
    // to 1 (0); unclipped the mean error would be 2.5.
    for (double bias : {1.0, -1.0}) {
        QRNGene sign = node({{1, 0.0}}, {3}, 1, bias);
        QRNIndividual loud = network(2, {sign, sign, sign});
        EXPECT_EQ(evaluate(xorTask, loud)[0], 0.5);
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(xorTask.testIndividual(loud), 1);
        const std::string first = bias > 0 ? "Test input set # 1. Output = 1. Error = 1\n"
                                           : "Test input set # 1. Output = 0. Error = 0\n";
        EXPECT_EQ(::testing::internal::GetCapturedStdout().rfind(first, 0), 0u);
    }
}

TEST_F(NetworkProblemsTest, XorStrangeOutputVectorEndsTheProgram) {
    // Only signal 1 is ever written, so the output vector ends before the outputs.
    QRNIndividual strange = network(2, {silentNode(), node({{1, 1.0}}, {1}, 2)});
    EXPECT_FAILURE(xorTask.evaluateIndividual(strange),
                   "Calculation steps number:2\nMinimal distance:1\nStrange output vector:\n 0 0\n$");
}

TEST_F(NetworkProblemsTest, WrongEncodingsAreRefused) {
    QRCIndividual vector;
    vector.fitness = 7.0;
    QRCPopulation population;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(xorTask.evaluateIndividual(vector), 0);
    EXPECT_EQ(sineTask.evaluatePopulation(population), 0);
    EXPECT_EQ(sineTask.testIndividual(vector), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "\n\n[QANNProblemXOR::evaluatePopulation] error:\n\tIncorrect encoding type! (encoding ID = 3)\n\n"
              "\n\n[QANNProblemSinDouble::testIndividual] error:\n\tIncorrect encoding type! (encoding ID = 3)\n\n");
    EXPECT_EQ(vector.fitness, 7.0);
}

TEST_F(NetworkProblemsTest, SineSeriesFeedsEachExpectedValueBackAsTheNextInput) {
    const auto s = [](int t) { return std::sin(0.2 * t) + std::sin(0.311 * t); };
    ASSERT_EQ(sineTask.inputSets.size(), 400u);
    ASSERT_EQ(sineTask.testOutputs.size(), 300u);
    EXPECT_EQ(sineTask.inputSets[0], std::vector<double>{1.0});
    for (int k = 1; k < 400; ++k) EXPECT_EQ(sineTask.inputSets[k][0], sineTask.outputSets[k - 1][0]) << k;
    EXPECT_EQ(sineTask.outputSets[0][0], s(1));
    EXPECT_EQ(sineTask.outputSets[399][0], s(400));
    // The test series continues right after the last expected training value.
    EXPECT_EQ(sineTask.testOutputs[0], s(401));
    EXPECT_EQ(sineTask.testOutputs[299], s(700));
}

TEST_F(NetworkProblemsTest, SineCarriesTheSignalsFromStepToStep) {
    QRNIndividual recurrent = echoNetwork();
    recurrent.signalChange = 0.5;  // the energy the network brings into the evaluation
    const std::vector<double> components = evaluate(sineTask, recurrent);
    double y = 0.0;
    double errorSum = 0.0;
    for (int e = 0; e < 400; ++e) {
        y = echo(sineTask.inputSets[e][0], y);
        if (e >= 100) errorSum += std::pow(y - sineTask.outputSets[e][0], 2);
    }
    EXPECT_NEAR(components[0], errorSum / 300, 1e-12);
    EXPECT_DOUBLE_EQ(components[1], 0.5 * 0.01);
}

TEST_F(NetworkProblemsTest, SineTestReport) {
    testing::ScratchDir scratch;
    QRNIndividual recurrent = echoNetwork();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(sineTask.testIndividual(recurrent), 1);
    const std::string out = ::testing::internal::GetCapturedStdout();

    // Training cases, then a free run on the network's own predictions.
    std::ostringstream lines;
    double y = 0.0;
    double errorSum = 0.0;
    for (int step = 0; step < 700; ++step) {
        y = echo(step < 400 ? sineTask.inputSets[step][0] : y, y);
        const double target = step < 400 ? sineTask.outputSets[step][0] : sineTask.testOutputs[step - 400];
        if (step >= 100) errorSum += std::pow(y - target, 2);
        lines << y << "\t\n";
    }
    std::ostringstream meanError;
    meanError << errorSum / 600;
    EXPECT_EQ(out, "Mean error = " + meanError.str() + "\nMean energy = 0\n");
    EXPECT_EQ(testing::readFile("qannsin.log"),
              "Network output, testing:\nTesting:\n" + lines.str() + "\nError:\t" + meanError.str() + "\n");

    // Each report replaces the previous one.
    QRNIndividual blind = network(1, {node({{1, 1.0}}, {1}, 2)});
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(sineTask.testIndividual(blind), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Incorrect network structure: The output is unreachable\n");
    EXPECT_EQ(testing::readFile("qannsin.log"), "Network output, testing:\n\nError:\t0\n");
}

}  // namespace
}  // namespace Valdrin
