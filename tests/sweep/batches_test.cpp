// Batches of experiments: how many a job runs, and how the batches' ends become one line per
// experiment in the job log.
#include "sweep/batches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;

// A long experiment runs alone (its folder comes back from a host, and the progress line moves,
// as soon as it ends); short ones fill about half a second, but every job slot gets two batches.
TEST(BatchSizeTest, ShortExperimentsShareAJobAndEverySlotGetsWork) {
    EXPECT_EQ(automaticBatchSize(2.0, 1000, 4), 1);
    EXPECT_EQ(automaticBatchSize(kBatchSeconds * 0.9, 1000, 4), 1);
    EXPECT_EQ(automaticBatchSize(0.02, 1000, 4), 25);
    EXPECT_EQ(automaticBatchSize(1e-9, 100000, 1), kLargestBatch);
    EXPECT_EQ(automaticBatchSize(0.02, 90, 4), 12);  // 8 batches of at most 12 for 4 slots
    EXPECT_EQ(automaticBatchSize(0.02, 3, 16), 1);
}

// The estimate is what keeps long experiments out of batches: it must not fall below what the
// workloads of bench/results.md took (CPU seconds of one run).
TEST(BatchSizeTest, TheExpectedTimeIsNoLessThanTheWorkloadsTook) {
    struct Workload {
        const char* name;
        AlgorithmKind algorithm;
        Encoding encoding;
        int population;
        int genes;
        int generations;
        double seconds;
    };
    for (const Workload& workload : {Workload{"onemax", AlgorithmKind::GA, Encoding::String, 100, 1000, 200, 0.026},
                                     Workload{"sphere-int", AlgorithmKind::GA, Encoding::Integer, 100, 10, 500, 0.010},
                                     Workload{"rastrigin", AlgorithmKind::GA, Encoding::Real, 100, 30, 500, 0.041},
                                     Workload{"large-onemax", AlgorithmKind::GA, Encoding::String, 10000, 1000, 20, 0.862},
                                     Workload{"xor-sarn", AlgorithmKind::SARN, Encoding::Network, 40, 10, 200, 0.064}}) {
        QEAParameters params;
        params.encoding = workload.encoding;
        params.populationSize = workload.population;
        params.chromosomeLength = workload.genes;
        params.generationsNumber = workload.generations;
        EXPECT_GE(expectedExperimentSeconds(params, workload.algorithm, 1), workload.seconds) << workload.name;
        EXPECT_NEAR(expectedExperimentSeconds(params, workload.algorithm, 3) - 0.010,
                    3 * (expectedExperimentSeconds(params, workload.algorithm, 1) - 0.010), 1e-9)
            << workload.name;
    }
    // An adaptive sizer may grow the population to its largest.
    QEAParameters adaptive;
    adaptive.populationSizerType = Sizer::Simple;
    adaptive.maxPopulationSize = 10 * adaptive.populationSize;
    EXPECT_GT(expectedExperimentSeconds(adaptive, AlgorithmKind::GA, 1),
              5 * (expectedExperimentSeconds(QEAParameters{}, AlgorithmKind::GA, 1) - 0.010));
}

TEST(ExperimentRecordTest, AStatusAndTwoTimesOrNothing) {
    testing::ScratchDir scratch;
    // bash's clock comes with the locale's decimal separator.
    writeFile("done", "0 1796672729,294 1796672729.394\n");
    const auto done = readExperimentRecord("done");
    ASSERT_TRUE(done);
    EXPECT_EQ(done->status, 0);
    EXPECT_NEAR(done->end - done->start, 0.1, 1e-6);
    // A date that cannot give nanoseconds ("%N") leaves the times unknown, not the status.
    writeFile("coarse", "143 1796672729.N 1796672730.N\n");
    const auto coarse = readExperimentRecord("coarse");
    ASSERT_TRUE(coarse);
    EXPECT_EQ(coarse->status, 143);
    EXPECT_EQ(coarse->start, 0.0);
    // Emptied at the batch's start and not written since, or never there: no record.
    writeFile("emptied", "");
    EXPECT_FALSE(readExperimentRecord("emptied"));
    EXPECT_FALSE(readExperimentRecord("missing"));
    writeFile("garbled", "-1 2 3\n");
    EXPECT_FALSE(readExperimentRecord("garbled"));
}

// A sweep's folder as a batch job leaves it: queued experiments numbered from 3 (the first two
// ran before), batches of two.
class BatchMergerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int id = 3; id <= 7; ++id) {
            Experiment experiment;
            experiment.id = id;
            experiment.folder = "experiments/" + std::to_string(id);
            fs::create_directories(experiment.folder);
            queued_.push_back(experiment);
        }
    }
    void record(int id, const std::string& text) { writeFile("experiments/" + std::to_string(id) + "/job.txt", text); }
    void batchLine(const std::string& line) {
        std::string log = testing::fileExists(kBatchLog) ? readFile(kBatchLog) : "Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand\n";
        writeFile(kBatchLog, log + line + "\n");
    }
    std::map<int, JobRecord> lines() {
        std::map<int, JobRecord> bySequence;
        for (const JobRecord& record : readJobLog("joblog")) {
            EXPECT_FALSE(bySequence.contains(record.sequence)) << "two lines for experiment " << record.sequence;
            bySequence[record.sequence] = record;
        }
        return bySequence;
    }

    testing::ScratchDir scratch_;
    std::vector<Experiment> queued_;
};

TEST_F(BatchMergerTest, EachExperimentOfAnEndedBatchGetsItsOwnLine) {
    BatchMerger merger(".", queued_, 2, "cd {} && ../../valdrin --label {/}");
    record(3, "0 100.0 100.5\n");
    record(4, "1 100.5 100.75\n");
    merger.update();
    EXPECT_TRUE(lines().empty()) << "no batch has ended yet";

    batchLine("1\t8/me@node1\t99.9\t1.000\t300\t4000\t1\t0\tfor e in ...");
    merger.update();
    std::map<int, JobRecord> logged = lines();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[3].host, "8/me@node1");
    EXPECT_EQ(logged[3].exitValue, 0);
    EXPECT_NEAR(logged[3].runtime, 0.5, 1e-9);
    EXPECT_EQ(logged[4].exitValue, 1);
    EXPECT_NEAR(logged[4].start, 100.5, 1e-9);
    EXPECT_EQ(logged[4].command, "cd experiments/4 && ../../valdrin --label 4");

    // Batch 3 (experiment 7) ended without the record of its experiment: its folder did not come
    // back, which its status tells. Batch 2 was stopped by a signal after experiment 5 ended:
    // experiment 6 has no line until it runs.
    record(5, "0 101.0 102.0\n");
    batchLine("3\t:\t99.9\t1.000\t0\t0\t0\t0\tfor e in ...");
    batchLine("2\t:\t99.9\t1.000\t0\t0\t-1\t15\tfor e in ...");
    merger.finish();
    logged = lines();
    EXPECT_EQ(logged.size(), 4u);
    EXPECT_EQ(logged[5].exitValue, 0);
    EXPECT_FALSE(logged.contains(6));
    EXPECT_EQ(logged[7].exitValue, 0);
    EXPECT_EQ(logged[7].runtime, 0.0);
    const std::string log = readFile("joblog");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 5) << "a header and four lines";
}

// parallel stopped before it logged the batches that ran here: what their experiments recorded
// still counts.
TEST_F(BatchMergerTest, RecordsOfBatchesParallelDidNotLogCountAtTheEnd) {
    BatchMerger merger(".", queued_, 2, "cd {}");
    record(3, "0 100.0 100.5\n");
    record(4, "");
    merger.finish();
    const std::map<int, JobRecord> logged = lines();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged.at(3).host, ":");
    EXPECT_TRUE(logged.at(3).succeeded());
}

}  // namespace
}  // namespace Valdrin
