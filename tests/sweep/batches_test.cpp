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
        AlgorithmKind algorithm;
        Encoding encoding;
        int population, genes, generations;
        double seconds;
    };
    for (const Workload& workload : {Workload{AlgorithmKind::GA, Encoding::String, 100, 1000, 200, 0.026},
                                     Workload{AlgorithmKind::GA, Encoding::Real, 100, 30, 500, 0.041},
                                     Workload{AlgorithmKind::GA, Encoding::String, 10000, 1000, 20, 0.862},
                                     Workload{AlgorithmKind::SARN, Encoding::Network, 40, 10, 200, 0.064}}) {
        QEAParameters params;
        params.encoding = workload.encoding;
        params.populationSize = workload.population;
        params.chromosomeLength = workload.genes;
        params.generationsNumber = workload.generations;
        EXPECT_GE(expectedExperimentSeconds(params, workload.algorithm, 1), workload.seconds) << workload.population;
    }
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
    record(4, "1 100,5 100.75\n");  // bash's clock in a locale with a decimal comma
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

}  // namespace
}  // namespace Valdrin
