// valdrin-sweep running several experiments to a job of parallel: each experiment keeps its own
// results, job log line and exit status, --resume runs exactly the experiments that did not run
// (an interrupted sweep in batches: sweep_local_e2e_test.cpp), and the hosts of --hosts send
// every experiment of a batch back.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/test_support.h"
#include "sweep/batches.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::fileExists;
using testing::queryRows;
using testing::readFile;
using testing::runSweepProgram;
using testing::ScratchDir;
using testing::writeFile;
using Rows = std::vector<std::vector<std::string>>;

// The job log's lines: experiment -> exit statuses, in the order logged.
std::map<int, std::vector<int>> loggedStatuses(const std::string& folder) {
    std::map<int, std::vector<int>> statuses;
    for (const JobRecord& record : readJobLog(folder + "/joblog")) statuses[record.sequence].push_back(record.status());
    return statuses;
}

int batchLines(const std::string& folder) { return static_cast<int>(readJobLog(folder + "/" + kBatchLog).size()); }

// What two runs of one sweep share: the plan and the outcomes of its experiments, and their runs.
Rows outcomes(const std::string& folder) {
    return queryRows(folder + "/results.sqlite", "SELECT id, folder, population_size, seed, exit_status FROM experiments ORDER BY id");
}
Rows runs(const std::string& folder) {
    return queryRows(folder + "/results.sqlite", "SELECT experiment_id, run, generations, evaluations, final_best_fitness, "
                                                 "best_so_far_fitness FROM runs ORDER BY experiment_id, run");
}

// Failing experiments share batches with experiments that run: each has its own line and status,
// and --resume runs the failed ones again and nothing else.
TEST(SweepBatchEndToEnd, EveryExperimentOfABatchKeepsItsOwnOutcome) {
    ScratchDir scratch;
    writeFile("base.xml", testing::realSphere("20"));
    const std::vector<std::string> grid = {"base.xml", "--set", "Population size=0,12,20", "--seeds", "1-3"};
    const auto with = [&grid](std::vector<std::string> more) {
        std::vector<std::string> arguments = grid;
        arguments.insert(arguments.end(), more.begin(), more.end());
        return runSweepProgram(arguments);
    };
    const auto batched = with({"--batch", "4", "--out", "b"});
    EXPECT_EQ(batched.status, 1) << batched.err;
    EXPECT_NE(batched.out.find("6 of 9 experiments ran, 3 failed"), std::string::npos) << batched.out;
    EXPECT_EQ(batchLines("b"), 3);
    EXPECT_EQ(loggedStatuses("b"), (std::map<int, std::vector<int>>{{1, {1}}, {2, {1}}, {3, {1}}, {4, {0}}, {5, {0}}, {6, {0}},
                                                                    {7, {0}}, {8, {0}}, {9, {0}}}));
    ASSERT_EQ(with({"--batch", "1", "--out", "one"}).status, 1);
    EXPECT_EQ(outcomes("b"), outcomes("one"));
    EXPECT_EQ(runs("b"), runs("one"));
    EXPECT_EQ(runs("b").size(), 6u);

    const std::string kept = readFile("b/experiments/4_12_seed1/stdout.txt");
    const auto resumed = with({"--batch", "4", "--out", "b", "--resume"});
    EXPECT_EQ(resumed.status, 1);
    EXPECT_NE(resumed.out.find("Resuming: 6 of 9 experiments already ran"), std::string::npos) << resumed.out;
    EXPECT_EQ(batchLines("b"), 1) << "the three failed experiments make one batch";
    EXPECT_EQ(loggedStatuses("b")[1], (std::vector<int>{1, 1}));
    EXPECT_EQ(loggedStatuses("b")[4], (std::vector<int>{0}));
    EXPECT_EQ(readFile("b/experiments/4_12_seed1/stdout.txt"), kept);
}

// Two hosts reached through a stand-in for ssh: the batches' inputs go there and every
// experiment's folder comes back, with its line naming its host.
TEST(SweepBatchEndToEnd, HostsSendEveryExperimentOfABatchBack) {
    ScratchDir scratch;
    fs::create_directories("h1");
    fs::create_directories("h2");
    const std::string ssh = testing::writeStandInSsh("fake-ssh");
    writeFile("hosts", "2/" + ssh + " h1\n2/" + ssh + " h2\n");
    writeFile("base.xml", testing::realSphere("20"));
    const std::vector<std::string> grid = {"base.xml", "--set", "Population size=12,20", "--seeds", "1-5"};
    std::vector<std::string> remote = grid;
    remote.insert(remote.end(), {"--hosts", "hosts", "--batch", "3", "--ioh", "--out", "remote"});
    const auto result = runSweepProgram(remote);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(batchLines("remote"), 4);
    std::map<std::string, int> perHost;
    for (const JobRecord& record : readJobLog("remote/joblog")) ++perHost[record.host];
    EXPECT_EQ(perHost.size(), 2u) << readFile("remote/joblog");
    EXPECT_EQ(queryRows("remote/results.sqlite", "SELECT count(*) FROM experiments WHERE exit_status = 0 AND host LIKE '%fake-ssh h_'"),
              (Rows{{"10"}}));
    EXPECT_TRUE(fileExists("remote/experiments/10_20_seed5/ioh/IOHprofiler_f1_Sphere.info"));

    std::vector<std::string> local = grid;
    local.insert(local.end(), {"--out", "local"});
    ASSERT_EQ(runSweepProgram(local).status, 0);
    EXPECT_EQ(outcomes("remote"), outcomes("local"));
    EXPECT_EQ(runs("remote"), runs("local"));
    // The hosts' working folders are gone.
    EXPECT_TRUE(fs::is_empty("h1"));
    EXPECT_TRUE(fs::is_empty("h2"));
}

}  // namespace
}  // namespace Valdrin
