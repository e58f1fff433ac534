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
#include "support/algorithm_fixture.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::AlgorithmBench;
using testing::FixedProblem;
using testing::RecordingPartsMaker;
using testing::seedForTest;
using testing::smallRecord;

struct Sarn2Test : ::testing::Test {
    QEAParameters params = smallRecord(Encoding::Real);  // 13 genes per vector
    AlgorithmBench<QSARN2> bench;

    Sarn2Test() {
        params.rngSeed = 11;
        params.populationSize = 4;
        params.xType = Crossover::BLX;
        params.xAlpha = 0.5;
        params.mRate = 1.0;
        // The XOR task asks for networks (encoding 5) of 2 inputs and 1 output.
        useProblem<QANNProblemXOR>();
    }

    // The problem the next set-ups lend to the algorithm, bound to the record after adjusting it
    // as the driver does.
    template <class Problem>
    Problem& useProblem() {
        Problem& problem = bench.useProblem<Problem>();
        problem.adjustParameters(&params);
        problem.setParameters(&params);
        return problem;
    }

    QSARN2& setUp() { return bench.setUp(params); }

    QRCIndividual& vector(int i) {
        return static_cast<QRCIndividual&>(
            *bench.algorithm().currentPopulation().individuals[static_cast<std::size_t>(i)]);
    }
};

TEST_F(Sarn2Test, NetworkTaskGetsRealVectorsAndAWiredTemplate) {
    ASSERT_EQ(params.encoding, Encoding::Network);
    QSARN2& sarn2 = setUp();
    EXPECT_EQ(sarn2.parameters().encoding, Encoding::Real);
    EXPECT_EQ(sarn2.currentPopulation().getEncoding(), Encoding::Real);
    EXPECT_EQ(vector(3).getGenesNumber(), 13);
    EXPECT_EQ(sarn2.networkParameters().encoding, Encoding::Network);
    EXPECT_EQ(sarn2.networkParameters().chromosomeLength, 13);
    EXPECT_EQ(sarn2.templateNetwork()._params, &sarn2.networkParameters());

    // The vectors of the three populations are drawn first, then the template node by node.
    seedForTest(params.rngSeed);
    for (int i = 0; i < 3 * 4 * 13; ++i) gaussian();
    const double w1 = 0.2 * uniform() - 0.1;
    const double w2 = 0.2 * uniform() - 0.1;
    const double bias = 0.2 * uniform() - 0.1;
    const double gain = 10 * gaussian();
    ASSERT_EQ(sarn2.templateNetwork().genes.size(), 1u);
    const QRNGene& node = sarn2.templateNetwork().genes[0];
    ASSERT_EQ(node.inputs.size() + node.outputs.size(), 3u);
    EXPECT_EQ(node.inputs[0].ID, 1);
    EXPECT_EQ(node.inputs[1].ID, 2);
    EXPECT_EQ(node.outputs[0].ID, 3);
    EXPECT_EQ(node.inputWeights, (std::vector<double>{w1, w2}));
    EXPECT_EQ(node.outputOffsets, (std::vector<double>{1.0}));
    EXPECT_EQ(node.bias, bias);
    EXPECT_EQ(node.A, gain);
}

TEST_F(Sarn2Test, SetUpAsksTheMakerForRealCodedVectors) {
    RecordingPartsMaker maker;
    const QSARN2& sarn2 = bench.setUp(params, maker);
    EXPECT_EQ(maker.calls, 1);
    EXPECT_EQ(maker.lastRecord.encoding, Encoding::Real);
    EXPECT_EQ(maker.lastRecord.chromosomeLength, 13);
    EXPECT_EQ(sarn2.parts().mutation->getEncoding(), Encoding::Real);
    ASSERT_NE(sarn2.parts().crossover, nullptr);  // the vectors are paired
    EXPECT_EQ(sarn2.parts().crossover->getEncoding(), Encoding::Real);
}

TEST_F(Sarn2Test, VectorsThatCannotCarryTheParametersAreRefused) {
    RecordingPartsMaker maker;
    params.encoding = Encoding::Integer;
    EXPECT_FAILURE(bench.setUp(params, maker),
                   "^\n\n\\[QSARN2::setParameters\\] error:\n\tParameter vectors must be real-coded with at "
                   "least 11 genes \\(encoding ID = 2, chromosome length = 13\\)\n\n$");
    // Refused before anything is made.
    EXPECT_EQ(maker.calls, 0);
    EXPECT_EQ(bench.algorithm().parts().currentPopulation, nullptr);

    params.encoding = Encoding::Network;
    params.chromosomeLength = 10;
    EXPECT_FAILURE(bench.setUp(params, maker), "\\(encoding ID = 3, chromosome length = 10\\)");
    EXPECT_EQ(maker.calls, 0);

    params.chromosomeLength = 11;  // just enough
    bench.setUp(params, maker);
    EXPECT_EQ(maker.calls, 1);
}

TEST_F(Sarn2Test, EvaluationWritesTheMutatedParametersBack) {
    params.populationSize = 1;
    QSARN2& sarn2 = setUp();
    const QRunSummary& record = sarn2.runSummary();
    QRCIndividual& only = vector(0);
    // Only the bias change (kind 2) has weight: the one node is sure to get exactly that event,
    // which shows that the network mutated with the vector's parameters.
    for (int j = 0; j < 11; ++j) only.genes[static_cast<std::size_t>(j)] = j == 2 ? 50.0 : 0.0;
    only.genes[11] = 7.0;
    only.genes[12] = 8.0;
    EXPECT_EQ(sarn2.evaluate(), 1);

    ASSERT_TRUE(record.bestIndividual);
    ASSERT_EQ(record.bestIndividual->getEncoding(), Encoding::Network);
    const auto& network = static_cast<const QRNIndividual&>(*record.bestIndividual);
    EXPECT_EQ(network._params, &sarn2.networkParameters());
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
    EXPECT_EQ(record.evaluationsCount, 1);
    EXPECT_EQ(record.meanFitness[0], network.fitness);

    // With one vector the roulette has one network to take: the template took its mutation.
    const QRNIndividual& templateNetwork = sarn2.templateNetwork();
    EXPECT_TRUE(templateNetwork.equalsTo(network));
    EXPECT_EQ(templateNetwork.mutationParameters, network.mutationParameters);
    EXPECT_EQ(templateNetwork.historyCounters, network.historyCounters);
}

// Steps the generator back by one draw (the multiplier is odd, so it has an inverse modulo 2^64).
void rewindOneDraw() {
    std::uint64_t inverse = rng::multiplier;
    for (int i = 0; i < 5; ++i) inverse *= 2 - rng::multiplier * inverse;
    testing::testEngine().random.restore(testing::testEngine().random.word() * inverse, true);
}

TEST_F(Sarn2Test, TemplateTakesTheRouletteChoiceWeightedByDistanceToTheWorst) {
    // Every evaluation scores 10 worse than the one before, so the weights worst - F[i] differ.
    class RisingProblem final : public QProblem {
    public:
        RisingProblem() : QProblem(testing::testEngine()) {}
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
    };
    useProblem<RisingProblem>();
    QSARN2& sarn2 = setUp();
    // Every evaluation in generation 0: the template is updated alike in every generation.
    for (int round = 0; round < 5; ++round) {
        sarn2.evaluate();
        // The roulette's draw is the last one of an evaluation: replay it over the weights.
        std::vector<double> weights;
        double worst = vector(0).fitness;
        for (int i = 0; i < 4; ++i) worst = std::max(worst, vector(i).fitness);
        for (int i = 0; i < 4; ++i) weights.push_back(worst - vector(i).fitness);
        const std::uint64_t after = testing::testEngine().random.word();
        rewindOneDraw();
        const int k = std::min(rouletteIndex(weights), 3);
        ASSERT_EQ(testing::testEngine().random.word(), after);
        std::vector<double> taken;
        for (std::size_t j = 0; j < 11; ++j) taken.push_back(vector(k).genes[j]);
        EXPECT_EQ(sarn2.templateNetwork().mutationParameters, taken) << "evaluation " << round;
        EXPECT_EQ(sarn2.templateNetwork().fitness, vector(k).fitness);
    }
}

TEST_F(Sarn2Test, RunStopsAtTheFirstHitWithANetwork) {
    FixedProblem& fixed = useProblem<FixedProblem>();
    fixed.value = 0.0;
    params.untilFirstHit = true;
    QSARN2& sarn2 = setUp();
    EXPECT_EQ(bench.runCapturingOutput(),
              "\nFinishing the run...done\n"
              "Final best fitness = 0\nFinal worst fitness = 0\nConvergence generation = 0\n");
    const QRunSummary& record = sarn2.runSummary();
    EXPECT_EQ(record.generationsDone, 0);
    EXPECT_EQ(record.evaluationsCount, 8);
    ASSERT_TRUE(record.solutionIndividual);
    EXPECT_EQ(record.solutionIndividual->getEncoding(), Encoding::Network);
    EXPECT_EQ(fixed.tests, 1);
    EXPECT_EQ(fixed.tested, record.solutionIndividual.get());
    EXPECT_EQ(fixed.testedEncoding, Encoding::Network);
    EXPECT_EQ(sarn2.parameters().xRate, params.xRate);
    EXPECT_EQ(bench.log("sarn2.log").rfind("\nStarting a new run:\n-------------------------------\n", 0), 0u);

    params.generationsNumber = 0;
    bench.setUpAgain(params);
    EXPECT_EQ(bench.refusedRunMessage(),
              "\n\n[QSARN2::run] error:\n\tGenerations number is undefined! (_params.generationsNumber = 0)\n\n");
    EXPECT_EQ(record.evaluationsCount, 8);  // the record is left as it was
}

TEST_F(Sarn2Test, CrowdingKeepsANetworkAsTheRunsBest) {
    FixedProblem& fixed = useProblem<FixedProblem>();
    params.nichingType = Niching::DeterministicCrowding;
    params.generationsNumber = 3;
    QSARN2& sarn2 = setUp();
    EXPECT_EQ(bench.runCapturingOutput(), "\nFinishing the run...done\n");
    EXPECT_EQ(sarn2.runSummary().generationsDone, 3);
    ASSERT_TRUE(sarn2.runSummary().bestIndividual);
    EXPECT_EQ(sarn2.runSummary().bestIndividual->getEncoding(), Encoding::Network);
    EXPECT_EQ(fixed.testedEncoding, Encoding::Network);
}

TEST_F(Sarn2Test, RunsTheXorTaskEndToEndAndCleansUp) {
    params.generationsNumber = 4;
    QSARN2& sarn2 = setUp();
    const std::string out = bench.runCapturingOutput();
    EXPECT_EQ(out.rfind("\nFinishing the run...done\n", 0), 0u);
    const QRunSummary& record = sarn2.runSummary();
    EXPECT_EQ(record.generationsDone, 4);
    EXPECT_EQ(record.evaluationsCount, 4 * 5);
    ASSERT_TRUE(record.bestIndividual);
    EXPECT_EQ(record.bestIndividual->getEncoding(), Encoding::Network);
    EXPECT_EQ(record.bestIndividual->fitnessComponents.size(), 3u);

    EXPECT_EQ(sarn2.cleanup(), 1);
    EXPECT_EQ(sarn2.parts().currentPopulation, nullptr);
    EXPECT_EQ(sarn2.parts().mutation, nullptr);
    EXPECT_EQ(sarn2.runSummary().evaluationsCount, 0);
}

}  // namespace
}  // namespace Valdrin
