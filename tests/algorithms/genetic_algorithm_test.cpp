// Tests of the genetic algorithm's run loop, progress output and log.
#include <gtest/gtest.h>

#include <sstream>

#include "algorithms/genetic_algorithm.h"
#include "problems/problem.h"
#include "representation/integer.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::seedForTest;

// Fitness = the number of ones of a one-bit-per-gene chromosome.
class OnesProblem final : public QProblem {
public:
    int adjustParameters(QEAParameters*) override { return 1; }
    int evaluateIndividual(QIndividual& individual) override {
        double sum = 0.0;
        for (const auto& gene : static_cast<QIntegerIndividual&>(individual).genes) sum += gene;
        individual.fitness = sum;
        return 1;
    }
    int printName(std::ostream& out) const override {
        out << "ones\n";
        return 1;
    }
};

std::string formatted(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

struct GeneticAlgorithmFixture : ::testing::Test {
    testing::ScratchDir scratch;
    QEAParameters params;
    OnesProblem problem;
    std::unique_ptr<QGeneticAlgorithm> algorithm;

    GeneticAlgorithmFixture() {
        params.rngSeed = 99;
        params.encoding = kIntegerEncoding;
        params.chromosomeLength = 12;
        params.geneSize = 1;
        params.populationSize = 8;
        params.generationsNumber = 10;
        params.selectionType = Selection::Tournament;
        params.xType = Crossover::TwoPoint;
        params.mutationType = Mutation::BitFlip;
        params.mRate = 0.05;
        params.eliteCount = 1;
        params.errorLevel = 0.5;
        params.problem = &problem;
    }

    QGeneticAlgorithm& build() {
        seedForTest(params.rngSeed);
        algorithm = std::make_unique<QGeneticAlgorithm>();
        algorithm->setParameters(&params);
        return *algorithm;
    }

    std::string runCapturingOutput() {
        ::testing::internal::CaptureStdout();
        algorithm->run();
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(GeneticAlgorithmFixture, ARunWritesOneDotPerTenGenerationsAndTheFinalLines) {
    for (int generations : {1, 10, 25}) {
        params.generationsNumber = generations;
        build();
        const std::string out = runCapturingOutput();
        const QRunSummary& record = algorithm->summary;
        EXPECT_EQ(record.generationsDone, generations);
        EXPECT_EQ(record.evaluationsCount, 8 * (generations + 1));
        EXPECT_EQ(record.populationSizes, std::vector<double>(static_cast<std::size_t>(generations), 8.0));
        const int last = generations - 1;
        EXPECT_EQ(out, std::string(static_cast<std::size_t>(generations / 10), '.') + "\nFinal best fitness = " +
                           formatted(record.bestFitness[static_cast<std::size_t>(last)]) +
                           "\nFinal worst fitness = " + formatted(record.worstFitness[static_cast<std::size_t>(last)]) +
                           "\nConvergence generation = " + std::to_string(record.convergenceGeneration) + "\n")
            << generations << " generations";
        EXPECT_GT(record.bestFitness[0], 0.0);
        ASSERT_NE(record.bestIndividual, nullptr);
    }
}

TEST_F(GeneticAlgorithmFixture, ARunRepeatsExactlyFromTheSameSeed) {
    params.generationsNumber = 30;
    build();
    runCapturingOutput();
    const QRunSummary first = algorithm->summary;
    build();
    runCapturingOutput();
    const QRunSummary& second = algorithm->summary;
    EXPECT_EQ(first.meanFitness, second.meanFitness);
    EXPECT_EQ(first.bestFitness, second.bestFitness);
    EXPECT_EQ(first.worstFitness, second.worstFitness);
    EXPECT_EQ(first.evaluationsToSolution, second.evaluationsToSolution);
    // The search makes progress on this easy problem.
    EXPECT_LT(first.bestFitness[29], first.bestFitness[0]);
}

TEST_F(GeneticAlgorithmFixture, UntilFirstHitDoesNotShortenTheRun) {
    params.untilFirstHit = true;
    params.unitsRatio = 0.0;  // all zeros: a hit in the first evaluation
    params.generationsNumber = 12;
    build();
    runCapturingOutput();
    EXPECT_EQ(algorithm->summary.generationsDone, 12);
    EXPECT_EQ(algorithm->summary.evaluationsToSolution, 1);
    EXPECT_EQ(algorithm->summary.generationOfSolution, 0);
}

TEST_F(GeneticAlgorithmFixture, ANonPositiveGenerationCountRefusesToRun) {
    params.generationsNumber = 0;
    build();
    algorithm->summary.evaluationsCount = 77;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(algorithm->run(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "\n\n[QGeneticAlgorithm::run] error:\n\tGenerations number is undefined! "
              "(_params.generationsNumber = 0)\n\n");
    EXPECT_EQ(algorithm->summary.evaluationsCount, 77);
}

}  // namespace
}  // namespace Valdrin
