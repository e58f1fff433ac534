// Tests of the memory estimate against the populations an algorithm really builds, its counting
// rules and saturation, the memory still available, the byte formatter, and run records that
// grow only with the generations a run reaches.
#include "registry/memory_estimate.h"

#include <sys/resource.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#include "algorithms/genetic_algorithm.h"
#include "algorithms/sarn.h"
#include "problems/submatrix.h"
#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "support/algorithm_fixture.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::AlgorithmBench;
using testing::smallRecord;

constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();

template <class Values>
std::uint64_t bytesOf(const Values& values) {
    return values.capacity() * sizeof(typename Values::value_type);
}

// What an individual really holds: its object and its vectors' storage (heap bookkeeping aside).
std::uint64_t heldBytes(const QIndividual& individual) {
    if (const auto* bits = dynamic_cast<const QIntegerIndividual*>(&individual)) {
        return sizeof(QIntegerIndividual) + bytesOf(bits->genes);
    }
    if (const auto* reals = dynamic_cast<const QRCIndividual*>(&individual)) {
        return sizeof(QRCIndividual) + bytesOf(reals->genes);
    }
    const auto& network = dynamic_cast<const QRNIndividual&>(individual);
    std::uint64_t bytes = sizeof(QRNIndividual) + bytesOf(network.genes) + bytesOf(network.mutationParameters) +
                          bytesOf(network.historyCounters);
    for (const QRNGene& node : network.genes) {
        bytes += bytesOf(node.inputs) + bytesOf(node.inputWeights) + bytesOf(node.outputs) +
                 bytesOf(node.outputOffsets);
    }
    return bytes;
}

// All three populations full: the estimate covers them without counting them many times over.
TEST(MemoryEstimate, CoversTheFullPopulationsOfAGeneration) {
    for (const Encoding encoding : {Encoding::Integer, Encoding::Real}) {
        QEAParameters params = smallRecord(encoding);
        params.chromosomeLength = 1000;
        params.populationSize = 20;
        AlgorithmBench<QGeneticAlgorithm> bench;
        QGeneticAlgorithm& ga = bench.setUp(params);
        ga.evaluate();
        ga.select();
        ga.selectElite();
        ga.recombine();
        std::uint64_t held = 0;
        for (const QPopulation* population : {&ga.currentPopulation(), &ga.matingPool(), &ga.offspringPopulation()}) {
            ASSERT_EQ(population->size(), 20);
            for (const auto& individual : population->individuals) held += heldBytes(*individual);
        }
        const std::uint64_t estimate = estimateMemory(params, 0);
        EXPECT_GE(estimate, held) << "encoding " << encoding;
        EXPECT_LE(estimate, held + held / 4) << "encoding " << encoding;
    }
}

TEST(MemoryEstimate, CountsANetworkByItsNodesAndLinks) {
    for (const auto& [inputs, outputs] : {std::pair{2, 1}, {5, 4}, {1, 30}}) {
        QEAParameters params = smallRecord(Encoding::Network);
        params.inputsNumber = inputs;
        params.outputsNumber = outputs;
        AlgorithmBench<QSARN> bench;
        const std::uint64_t held = heldBytes(*bench.setUp(params).currentPopulation().individuals.front());
        EXPECT_GE(estimateIndividualMemory(params), held) << inputs << " inputs, " << outputs << " outputs";
        EXPECT_LE(estimateIndividualMemory(params), held + held / 2) << inputs << " inputs, " << outputs << " outputs";
    }
}

TEST(MemoryEstimate, CountsThreePopulationsOfThePeakSizeTheChildrenAndTheRecords) {
    QEAParameters params = smallRecord(Encoding::Real);
    params.populationSize = 50;
    params.maxPopulationSize = 200;
    params.childrenNumber = 4;
    const std::uint64_t one = estimateIndividualMemory(params);
    // A best and a solution individual in the running record and in each run's record.
    EXPECT_EQ(estimateMemory(params, 3), one * (3 * 50 + 4 + 2 * 4));
    params.populationSizerType = Sizer::Simple;  // may grow up to the maximum
    EXPECT_EQ(estimateMemory(params, 0), one * (3 * 200 + 4 + 2));
    params.populationSizerType = Sizer::Steady;  // the first target is not bounded yet
    params.sizingStep = 250;
    params.sizingDirection = 1;
    EXPECT_EQ(estimateMemory(params, 0), one * (3 * 300 + 4 + 2));
}

TEST(MemoryEstimate, HugeRecordsGiveHugeEstimatesWithoutOverflow) {
    // The list form of the submatrix task takes the target of its data file as chromosome length.
    testing::ScratchDir scratch;
    testing::writeFile("matrix.txt", "2 2\n1 0\n0 1\n1 1\n1 1\n1 1\n2147483647\n");
    QSubmatrixTask task{testing::testEngine()};
    QEAParameters list;
    list.encoding = Encoding::String;
    list.permutation = true;
    task.adjustParameters(&list);
    EXPECT_GE(estimateMemory(list, 1), (3 * 50 + 2 + 4) * 4ULL * INT_MAX);
    EXPECT_LT(estimateMemory(list, 1), kMost);

    for (const Encoding encoding : {Encoding::Integer, Encoding::Real, Encoding::Network}) {
        QEAParameters params;
        params.encoding = encoding;
        params.populationSize = params.childrenNumber = params.chromosomeLength = INT_MAX;
        params.inputsNumber = params.outputsNumber = INT_MAX;
        EXPECT_EQ(estimateMemory(params, INT_MAX), kMost) << "encoding " << encoding;
    }
    QEAParameters negative = smallRecord(Encoding::Real);
    negative.populationSize = negative.childrenNumber = negative.chromosomeLength = -7;
    QEAParameters empty = smallRecord(Encoding::Real);
    empty.populationSize = empty.childrenNumber = empty.chromosomeLength = 0;
    EXPECT_EQ(estimateMemory(negative, -3), estimateMemory(empty, 0));

    // Five series per record kept (the running one and one per run), nine table columns.
    QEAParameters generations;
    generations.generationsNumber = INT_MAX;
    EXPECT_EQ(estimateGenerationRecords(generations, 3), 8ULL * INT_MAX * (5 * 4 + 9));
    EXPECT_EQ(estimateGenerationRecords(generations, INT_MAX), kMost);
}

// A run that stops at its first hit keeps nothing for the two billion generations it skipped.
TEST(RunRecords, AnEarlyStopHoldsNoStorageForTheGenerationsLeft) {
    QEAParameters params = smallRecord(Encoding::Network);
    params.generationsNumber = INT_MAX;
    params.untilFirstHit = true;
    AlgorithmBench<QSARN> bench;
    bench.useProblem<testing::FixedProblem>().value = 0.0;
    const QRunSummary& record = bench.setUp(params).runSummary();
    EXPECT_TRUE(record.bestFitness.empty());  // nothing before the first generation
    bench.runCapturingOutput();
    EXPECT_EQ(record.generationsDone, 0);
    for (const std::vector<double>* series : {&record.meanFitness, &record.fitnessVariance, &record.bestFitness,
                                              &record.worstFitness, &record.populationSizes}) {
        EXPECT_EQ(series->size(), 1u);
        EXPECT_LE(series->capacity(), 2u);
    }
}

TEST(AvailableMemory, ReadsMemAvailableAndHonoursTheAddressSpaceLimit) {
    std::istringstream meminfo("MemTotal:  16384000 kB\nMemAvailable:    8192000 kB\nBuffers: 2 kB\n");
    EXPECT_EQ(readMemAvailable(meminfo), 8192000ULL * 1024);
    for (const char* text : {"MemTotal: 100 kB\n", "MemAvailable: lots\n", "MemAvailable: 5 MB\n"}) {
        std::istringstream faulty(text);
        EXPECT_EQ(readMemAvailable(faulty), std::nullopt) << text;
    }

    std::ifstream system("/proc/meminfo");
    if (!system.is_open()) GTEST_SKIP() << "no /proc/meminfo here";
    const std::uint64_t lowered = readMemAvailable(system).value_or(0) / 2;
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0;
    statm >> pages;
    // A process that already maps more than the lowered limit (as under a sanitizer) is left alone.
    if (pages * 4096 >= lowered / 2) GTEST_SKIP() << "the process maps too much to lower its limit";
    // In a child process, which the lowered limit cannot harm.
    EXPECT_EXIT(
        {
            rlimit limit{};
            getrlimit(RLIMIT_AS, &limit);
            limit.rlim_cur = std::min(static_cast<rlim_t>(lowered), limit.rlim_max);
            const bool set = setrlimit(RLIMIT_AS, &limit) == 0;
            // What the limit leaves beyond the address space the process already uses.
            std::ifstream mapped("/proc/self/statm");
            std::uint64_t used = 0;
            mapped >> used;
            used *= static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
            const std::uint64_t left = static_cast<std::uint64_t>(limit.rlim_cur) - used;
            const std::optional<std::uint64_t> available = availableMemory();
            std::_Exit(set && available && *available <= left && *available + (4u << 20) >= left ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(FormatBytes, ChoosesTheUnitAndOneDecimalBelowTen) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0 B"},         {1023, "1023 B"},       {1024, "1.0 KB"},          {12 * 1024, "12 KB"},
        {10188, "9.9 KB"},  {10239, "10 KB"},       {512ULL << 20, "512 MB"},  {(1ULL << 20) - 1, "1.0 MB"},
        {4'080'218'931ULL, "3.8 GB"},               {kMost, "16 EB"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(formatBytes(bytes), text) << bytes;
}

}  // namespace
}  // namespace Valdrin
