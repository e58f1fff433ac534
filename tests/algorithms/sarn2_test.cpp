// Tests of indirect evolution: set-up of the real-coded vectors and the template network, the
// networks built and written back in an evaluation, the run's stop and its final individual.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>

#include "algorithms/sarn2.h"
#include "core/random.h"
#include "problems/network_problems.h"
#include "representation/real.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::readFile;
using testing::seedForTest;

// Every individual gets the same fitness; remembers what the run's test was given.
class FixedProblem final : public QProblem {
public:
    double value = 1.0;
    int testedEncoding = 0;

    int adjustParameters(QEAParameters*) override { return 1; }
    int evaluateIndividual(QIndividual& individual) override {
        individual.fitness = value;
        individual.fitnessComponents.clear();
        return 1;
    }
    int testIndividual(QIndividual& individual) override {
        testedEncoding = individual.getEncoding();
        return 1;
    }
    int printName(std::ostream& out) const override {
        out << "fixed\n";
        return 1;
    }
};

struct Sarn2Test : ::testing::Test {
    testing::ScratchDir scratch;
    QEAParameters params;
    QANNProblemXOR xorTask;
    FixedProblem fixed;
    std::unique_ptr<QSARN2> algorithm;

    Sarn2Test() {
        params.rngSeed = 11;
        params.encoding = kRealEncoding;
        params.chromosomeLength = 13;
        params.populationSize = 4;
        params.generationsNumber = 5;
        params.selectionType = Selection::Tournament;
        params.parentSelectorType = ParentSelection::Random;
        params.xType = Crossover::BLX;
        params.xAlpha = 0.5;
        params.mutationType = Mutation::Gaussian;
        params.mRate = 1.0;
        params.eliteCount = 1;
        xorTask.adjustParameters(&params);  // asks for encoding 5
        xorTask.setParameters(&params);
        params.problem = &xorTask;
    }

    QSARN2& build() {
        seedForTest(params.rngSeed);
        algorithm = std::make_unique<QSARN2>();
        algorithm->setParameters(&params);
        return *algorithm;
    }

    QRCIndividual& vector(int i) {
        return static_cast<QRCIndividual&>(*algorithm->currentPopulation->individuals[static_cast<std::size_t>(i)]);
    }

    std::string runCapturingOutput() {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(algorithm->run(), 1);
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(Sarn2Test, NetworkTaskGetsRealVectorsAndAWiredTemplate) {
    QSARN2& sarn2 = build();
    EXPECT_EQ(sarn2._params.encoding, kRealEncoding);
    EXPECT_EQ(sarn2.currentPopulation->getEncoding(), kRealEncoding);
    EXPECT_EQ(vector(3).getGenesNumber(), 13);
    EXPECT_EQ(sarn2.networkParams.encoding, kNetworkEncoding);
    EXPECT_EQ(sarn2.templateNetwork->_params, &sarn2.networkParams);
    EXPECT_EQ(sarn2.networkMutation->_params, &sarn2.networkParams);

    // The vectors of the three populations are drawn first, then the template node by node.
    seedForTest(params.rngSeed);
    for (int i = 0; i < 3 * 4 * 13; ++i) gaussian();
    const double w1 = 0.2 * uniform() - 0.1;
    const double w2 = 0.2 * uniform() - 0.1;
    const double bias = 0.2 * uniform() - 0.1;
    const double gain = 10 * gaussian();
    ASSERT_EQ(sarn2.templateNetwork->genes.size(), 1u);
    const QRNGene& node = sarn2.templateNetwork->genes[0];
    ASSERT_EQ(node.inputs.size() + node.outputs.size(), 3u);
    EXPECT_EQ(node.inputs[0].ID, 1);
    EXPECT_EQ(node.inputs[1].ID, 2);
    EXPECT_EQ(node.outputs[0].ID, 3);
    EXPECT_EQ(node.inputWeights, (std::vector<double>{w1, w2}));
    EXPECT_EQ(node.outputOffsets, (std::vector<double>{1.0}));
    EXPECT_EQ(node.bias, bias);
    EXPECT_EQ(node.A, gain);
}

TEST_F(Sarn2Test, VectorsThatCannotCarryTheParametersAreRefused) {
    params.encoding = kIntegerEncoding;
    EXPECT_FAILURE(build(),
                "^\n\n\\[QSARN2::setParameters\\] error:\n\tParameter vectors must be real-coded with at least 11 "
                "genes \\(encoding ID = 2, chromosome length = 13\\)\n\n$");
    params.encoding = kNetworkEncoding;
    params.chromosomeLength = 10;
    EXPECT_FAILURE(build(), "\\(encoding ID = 3, chromosome length = 10\\)");
}

TEST_F(Sarn2Test, EvaluationWritesTheMutatedParametersBack) {
    params.populationSize = 1;
    QSARN2& sarn2 = build();
    QRCIndividual& only = vector(0);
    // Only the bias change (kind 2) has weight: the one node is sure to get exactly that event,
    // which shows that the network mutated with the vector's parameters.
    for (int j = 0; j < 11; ++j) only.genes[static_cast<std::size_t>(j)] = j == 2 ? 50.0 : 0.0;
    only.genes[11] = 7.0;
    only.genes[12] = 8.0;
    EXPECT_EQ(sarn2.evaluate(), 1);

    ASSERT_TRUE(sarn2.summary.bestIndividual);
    ASSERT_EQ(sarn2.summary.bestIndividual->getEncoding(), kNetworkEncoding);
    const auto& network = static_cast<const QRNIndividual&>(*sarn2.summary.bestIndividual);
    EXPECT_EQ(network.historyCounters, (std::vector<int>{0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
    bool redrawn = false;
    for (std::size_t j = 0; j < 11; ++j) {
        EXPECT_EQ(only.genes[j], network.mutationParameters[j]);
        redrawn = redrawn || network.mutationParameters[j] != (j == 2 ? 50.0 : 0.0);
    }
    EXPECT_TRUE(redrawn);
    EXPECT_EQ(only.genes[11], 7.0);
    EXPECT_EQ(only.genes[12], 8.0);
    EXPECT_EQ(only.fitness, network.fitness);
    EXPECT_EQ(only.fitnessComponents, network.fitnessComponents);
    EXPECT_EQ(only.fitnessComponents.size(), 3u);
    EXPECT_EQ(sarn2.summary.evaluationsCount, 1);
    EXPECT_EQ(sarn2.summary.meanFitness[0], network.fitness);

    // With one vector the roulette has one network to take: the template took its mutation.
    EXPECT_TRUE(sarn2.templateNetwork->equalsTo(network));
    EXPECT_EQ(sarn2.templateNetwork->mutationParameters, network.mutationParameters);
    EXPECT_EQ(sarn2.templateNetwork->historyCounters, network.historyCounters);
}

// Steps the generator back by one draw (the multiplier is odd, so it has an inverse modulo 2^64).
void rewindOneDraw() {
    std::uint64_t inverse = rng::multiplier;
    for (int i = 0; i < 5; ++i) inverse *= 2 - rng::multiplier * inverse;
    rng::state *= inverse;
}

TEST_F(Sarn2Test, TemplateTakesTheRouletteChoiceWeightedByDistanceToTheWorst) {
    // Every evaluation scores 10 worse than the one before, so the weights worst - F[i] differ.
    class RisingProblem final : public QProblem {
    public:
        double next = 0.5;
        int adjustParameters(QEAParameters*) override { return 1; }
        int evaluateIndividual(QIndividual& individual) override {
            individual.fitness = next;
            next += 10.0;
            return 1;
        }
        int printName(std::ostream& out) const override {
            out << "rising\n";
            return 1;
        }
    } rising;
    params.problem = &rising;
    QSARN2& sarn2 = build();
    for (int g = 0; g < 5; ++g) {
        sarn2.evaluate();
        // The roulette's draw is the last one of an evaluation: replay it over the weights.
        std::vector<double> weights;
        double worst = vector(0).fitness;
        for (int i = 0; i < 4; ++i) worst = std::max(worst, vector(i).fitness);
        for (int i = 0; i < 4; ++i) weights.push_back(worst - vector(i).fitness);
        const std::uint64_t after = rng::state;
        rewindOneDraw();
        const int k = std::min(rouletteIndex(weights), 3);
        ASSERT_EQ(rng::state, after);
        std::vector<double> taken;
        for (std::size_t j = 0; j < 11; ++j) taken.push_back(vector(k).genes[j]);
        EXPECT_EQ(sarn2.templateNetwork->mutationParameters, taken) << "generation " << g;
        EXPECT_EQ(sarn2.templateNetwork->fitness, vector(k).fitness);
        ++sarn2.summary.generationsDone;
    }
}

TEST_F(Sarn2Test, RunStopsAtTheFirstHitWithANetwork) {
    fixed.value = 0.0;
    params.problem = &fixed;
    params.untilFirstHit = true;
    QSARN2& sarn2 = build();
    EXPECT_EQ(runCapturingOutput(),
              "\nFinishing the run...done\n"
              "Final best fitness = 0\nFinal worst fitness = 0\nConvergence generation = 0\n");
    EXPECT_EQ(sarn2.summary.generationsDone, 0);
    EXPECT_EQ(sarn2.summary.evaluationsCount, 8);
    ASSERT_TRUE(sarn2.summary.solutionIndividual);
    EXPECT_EQ(sarn2.summary.solutionIndividual->getEncoding(), kNetworkEncoding);
    EXPECT_EQ(fixed.testedEncoding, kNetworkEncoding);
    EXPECT_EQ(sarn2._params.xRate, params.xRate);
    sarn2.log.flush();
    EXPECT_EQ(readFile("sarn2.log").rfind("\nStarting a new run:\n-------------------------------\n", 0), 0u);

    sarn2._params.generationsNumber = 0;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(sarn2.run(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "\n\n[QSARN2::run] error:\n\tGenerations number is undefined! (_params.generationsNumber = 0)\n\n");
}

TEST_F(Sarn2Test, CrowdingKeepsANetworkAsTheRunsBest) {
    params.problem = &fixed;
    params.nichingType = Niching::DeterministicCrowding;
    params.generationsNumber = 3;
    QSARN2& sarn2 = build();
    EXPECT_EQ(runCapturingOutput(), "\nFinishing the run...done\n");
    EXPECT_EQ(sarn2.summary.generationsDone, 3);
    ASSERT_TRUE(sarn2.summary.bestIndividual);
    EXPECT_EQ(sarn2.summary.bestIndividual->getEncoding(), kNetworkEncoding);
    EXPECT_EQ(fixed.testedEncoding, kNetworkEncoding);
}

TEST_F(Sarn2Test, CloneHasItsOwnTemplateAndMutation) {
    auto copy = build().clone();
    const auto& twin = static_cast<QSARN2&>(*copy);
    EXPECT_FALSE(twin.log.is_open());
    ASSERT_TRUE(twin.templateNetwork && twin.networkMutation);
    EXPECT_EQ(twin.networkMutation->owner, &twin);
}

}  // namespace
}  // namespace Valdrin
