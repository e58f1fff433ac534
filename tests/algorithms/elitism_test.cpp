// Tests of what the Elitism word does to whole runs: kept elite make the best fitness of a run
// never worsen, mutated elite may lose it, and SARN, whose offspring drop the elite copies,
// runs the same under either word.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "algorithms/genetic_algorithm.h"
#include "algorithms/sarn.h"
#include "problems/benchmarks.h"
#include "support/algorithm_fixture.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::AlgorithmBench;
using testing::smallRecord;

// The first generation whose best fitness is worse than the one before it; -1 when none is.
int firstWorsening(const std::vector<double>& best) {
    for (std::size_t g = 1; g < best.size(); ++g) {
        if (best[g] > best[g - 1]) return static_cast<int>(g);
    }
    return -1;
}

// OneMax over 40 bits with a mutation rate high enough to break the best individual most
// generations.
QEAParameters oneMaxRecord(Selection selection, Elitism elitism, unsigned seed) {
    QEAParameters params = smallRecord(Encoding::Integer);
    params.chromosomeLength = 40;
    params.geneOffset = 0.0;
    params.genePrecision = 1.0;
    params.populationSize = 20;
    params.generationsNumber = 60;
    params.selectionType = selection;
    params.xType = Crossover::TwoPoint;
    params.xRate = 0.8;
    params.mRate = 0.2;
    params.eliteCount = 2;
    params.errorLevel = 0.5;
    params.elitism = elitism;
    params.rngSeed = seed;
    return params;
}

TEST(Elitism, KeptEliteNeverLetTheBestFitnessWorsenWhileMutatedEliteDo) {
    AlgorithmBench<QGeneticAlgorithm> bench;
    QOneMaxProblem& problem = bench.useProblem<QOneMaxProblem>();
    QEAParameters params;
    const auto run = [&](Selection selection, Elitism elitism, unsigned seed) -> const QRunSummary& {
        params = oneMaxRecord(selection, elitism, seed);
        problem.setParameters(&params);
        bench.setUp(params);
        bench.runCapturingOutput();
        return bench.algorithm().runSummary();
    };
    // Neutral selection leaves the best individual out of the mating pool about a third of the
    // time: kept elite must come from the population itself.
    for (Selection selection : {Selection::Tournament, Selection::Neutral}) {
        int mutatedRunsThatWorsen = 0;
        for (unsigned seed : {3u, 11u, 29u, 4242u}) {
            const std::string label = "selection " + std::to_string(number(selection)) + ", seed " + std::to_string(seed);
            const QRunSummary& kept = run(selection, Elitism::Kept, seed);
            ASSERT_EQ(kept.generationsDone, 60) << label;
            EXPECT_EQ(firstWorsening(kept.bestFitness), -1) << label;
            EXPECT_LT(kept.bestFitness.back(), kept.bestFitness.front()) << label << ": the run made progress";

            if (firstWorsening(run(selection, Elitism::Mutated, seed).bestFitness) >= 0) ++mutatedRunsThatWorsen;
        }
        EXPECT_GT(mutatedRunsThatWorsen, 0) << "selection " << number(selection);
    }
}

TEST(Elitism, SarnDropsTheEliteCopiesSoKeptRunsAsMutated) {
    QEAParameters params = smallRecord(Encoding::Network);
    params.rngSeed = 5;
    params.generationsNumber = 9;
    params.mRate = 5.0;
    params.eliteCount = 2;
    std::string logs[2];
    std::uint64_t generatorAfter[2] = {0, 0};
    for (Elitism elitism : {Elitism::Mutated, Elitism::Kept}) {
        const auto slot = static_cast<std::size_t>(number(elitism));
        AlgorithmBench<QSARN> bench;
        bench.useProblem<testing::FixedProblem>();
        params.elitism = elitism;
        bench.setUp(params);
        bench.runCapturingOutput();
        generatorAfter[slot] = testing::testEngine().random.word();
        logs[slot] = testing::maskClock(bench.log("sarn.log"));
    }
    EXPECT_EQ(generatorAfter[1], generatorAfter[0]);
    EXPECT_EQ(logs[1], logs[0]);
}

}  // namespace
}  // namespace Valdrin
