// valdrin-sweep --slurm against a real Slurm: one node on this machine, brought up once for the
// suite by scripts/local-slurm.sh (its daemons stopped by their process ids at the end). A sweep
// through the job array must write what the same sweep writes on this machine's cores, also when
// a task is requeued in mid-run or reaches its time limit; failures, --detach and --collect,
// --resume after a cancelled array and the refusals are checked on the same cluster.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::fileExists;
using testing::queryRows;
using testing::readFile;
using testing::runCommand;
using testing::runSweepProgram;
using testing::ScratchDir;
using testing::splitLines;
using testing::writeFile;
using Rows = std::vector<std::vector<std::string>>;

class SlurmSweep : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (testing::programIsSanitized()) return;
        // A folder of its own for each suite's cluster.
        static int clusters = 0;
        folder_ = fs::temp_directory_path() /
                  ("valdrin-slurm-" + std::to_string(getpid()) + "-" + std::to_string(++clusters));
        const auto started = runCommand((testing::sourceFolder() / "scripts/local-slurm.sh").string(),
                                        {"start", folder_.string()});
        startError_ = started.status == 0 ? "" : started.err + started.out;
        if (started.status == 0) setenv("SLURM_CONF", (folder_ / "slurm.conf").c_str(), 1);
    }
    static void TearDownTestSuite() {
        if (folder_.empty()) return;
        // A test that failed half-way may have left an array in this cluster's queue: its tasks
        // end before the daemons do.
        if (startError_.empty()) {
            runCommand("scancel", {"--full", "--partition", "debug"});
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (!runCommand("squeue", {"-h"}).out.empty() && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
        }
        runCommand((testing::sourceFolder() / "scripts/local-slurm.sh").string(), {"stop", folder_.string()});
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        folder_.clear();
    }
    void SetUp() override {
        // Slurm's daemons and many sweeps take too long under the sanitizers' slowdown; the
        // normal build runs these tests.
        if (testing::programIsSanitized()) GTEST_SKIP() << "the Slurm tests run in the normal build only";
        // No Slurm is a failure, not a skip: make deps installs slurm-wlm.
        ASSERT_EQ(startError_, "") << "the local Slurm did not start (scripts/local-slurm.sh): " << startError_;
    }

    static fs::path folder_;
    static std::string startError_;
};

fs::path SlurmSweep::folder_;
std::string SlurmSweep::startError_;

std::vector<std::string> with(std::vector<std::string> arguments, const std::vector<std::string>& more) {
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

// Every file of every experiment's folder, clock readings masked; aside are the record of the job
// (its times and node), the binary checkpoint, runs.csv (its durations; its other columns are in
// the runs table compared by comparableRuns) and, for a resumed experiment, the standard error
// that says where it resumed.
std::map<std::string, std::string> experimentFiles(const fs::path& sweep, bool withErrors = true) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(sweep / "experiments")) {
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        if (name == "job.txt" || name == "experiment.checkpoint" || name == "runs.csv") continue;
        if (name == "stderr.txt" && !withErrors) continue;
        files[fs::relative(entry.path(), sweep).string()] = testing::maskClock(readFile(entry.path().string()));
    }
    return files;
}

Rows comparableExperiments(const std::string& database) {
    Rows rows = queryRows(database, "SELECT * FROM experiments ORDER BY id");
    for (auto& row : rows) row.resize(row.size() - 2);  // host, duration_s
    return rows;
}

Rows comparableRuns(const std::string& database) {
    return queryRows(database, "SELECT experiment_id, run, generations, evaluations, solved, generations_to_solution, "
                               "evaluations_to_solution, convergence_generation, final_best_fitness, "
                               "final_worst_fitness FROM runs ORDER BY experiment_id, run");
}

// The job id valdrin-sweep recorded for the sweep's array.
std::string jobIdOf(const std::string& sweep) {
    for (const std::string& line : splitLines(readFile(sweep + "/slurm-job.txt"))) {
        if (line.rfind("job ", 0) == 0) return line.substr(4);
    }
    return "";
}

// Waits (60 s at most) until the array has left the queue.
bool leavesTheQueue(const std::string& jobId) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        const auto listed = runCommand("squeue", {"-h", "-j", jobId});
        if (listed.out.empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return false;
}

// What a background sweep that should have got further says.
std::string whyNot(testing::BackgroundRun& run) {
    return run.running() ? "the sweep still runs; its output: " + run.outputSoFar() : run.wait().err;
}

// Waits (60 s at most) until the file holds the text.
bool appears(const std::string& path, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (fileExists(path) && readFile(path).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST_F(SlurmSweep, AGridThroughTheJobArrayWritesWhatItWritesOnCores) {
    ScratchDir scratch;
    writeFile("base.xml", testing::sweepSphere("30"));
    const std::vector<std::string> grid = {"base.xml", "--set", "Population size=20,40", "--set", "Mutation rate=0.1,0.5",
                                           "--seeds", "1-3", "--runs", "2"};
    ASSERT_EQ(runSweepProgram(with(grid, {"--out", "cores"})).status, 0);
    const auto slurm = runSweepProgram(with(grid, {"--out", "slurm", "--slurm", "--jobs", "2", "--batch", "5"}));
    ASSERT_EQ(slurm.status, 0) << slurm.err;
    EXPECT_NE(slurm.out.find("Submitted the job array "), std::string::npos) << slurm.out;
    EXPECT_NE(slurm.out.find("12 of 12 experiments ran, 0 failed"), std::string::npos) << slurm.out;

    EXPECT_EQ(experimentFiles("slurm"), experimentFiles("cores"));
    EXPECT_EQ(comparableExperiments("slurm/results.sqlite"), comparableExperiments("cores/results.sqlite"));
    EXPECT_EQ(comparableRuns("slurm/results.sqlite"), comparableRuns("cores/results.sqlite"));
    EXPECT_EQ(queryRows("slurm/results.sqlite", "SELECT COUNT(*) FROM generations"),
              queryRows("cores/results.sqlite", "SELECT COUNT(*) FROM generations"));
    // The node's name, not "local", tells where each experiment ran.
    const Rows hosts = queryRows("slurm/results.sqlite", "SELECT DISTINCT host FROM experiments");
    ASSERT_EQ(hosts.size(), 1u);
    EXPECT_NE(hosts[0][0], "local");
    // 12 experiments, 5 to a task: three tasks, two at a time; the script stays for the user.
    EXPECT_NE(readFile("slurm/slurm.sh").find("#SBATCH --array=0-2%2\n"), std::string::npos) << readFile("slurm/slurm.sh");
}

// One experiment of two runs on a 30-gene sphere with 1000 individuals (about half a
// millisecond a generation), run through the array while the test stops its task: by a requeue
// from outside, or by the time limit's signal.
class InterruptedTask : public SlurmSweep {
protected:
    const std::vector<std::string> experiment_ = {"base.xml", "--set", "Population size=1000", "--seeds", "7", "--runs", "2"};
    static constexpr const char* kFolder = "slurm/experiments/1_1000_seed7";
    void writeBase(const std::string& generations) {
        writeFile("base.xml", testing::gaConfiguration("Sphere", {{"Encoding", "real"},
                                                                  {"Chromosome length", "30"},
                                                                  {"Generations number", generations},
                                                                  {"Selection type", "tournament"},
                                                                  {"Tournament size", "3"},
                                                                  {"Crossover type", "SBX"},
                                                                  {"xAlpha", "1"},
                                                                  {"Mutation type", "gaussian"},
                                                                  {"Mutation rate", "0.3"},
                                                                  {"RNG seed", "12345"}}));
    }
    bool resumedFromCheckpoint() {
        return appears(std::string(kFolder) + "/stderr.txt", "valdrin: resuming from experiment.checkpoint");
    }
};

TEST_F(InterruptedTask, ATaskRequeuedInMidRunGoesOnFromItsCheckpointAndEndsAsAnUninterruptedOne) {
    ScratchDir scratch;
    writeBase("3000");
    testing::BackgroundRun sweep(VALDRIN_SWEEP_EXECUTABLE, with(experiment_, {"--out", "slurm", "--slurm"}), "sweep");
    // Requeued once the experiment's first run is under way.
    ASSERT_TRUE(appears(std::string(kFolder) + "/stdout.txt", "Run # 0\n.")) << whyNot(sweep);
    const std::string jobId = jobIdOf("slurm");
    const auto requeued = runCommand("scontrol", {"requeue", jobId + "_0"});
    ASSERT_EQ(requeued.status, 0) << requeued.err;
    const auto ended = sweep.wait();
    ASSERT_EQ(ended.status, 0) << ended.err;
    EXPECT_NE(readFile("slurm/slurm/" + jobId + "_0.out").find("restart 1"), std::string::npos);
    EXPECT_TRUE(resumedFromCheckpoint()) << readFile(std::string(kFolder) + "/stderr.txt");

    ASSERT_EQ(runSweepProgram(with(experiment_, {"--out", "whole"})).status, 0);
    EXPECT_EQ(experimentFiles("slurm", false), experimentFiles("whole", false));
    EXPECT_EQ(comparableRuns("slurm/results.sqlite"), comparableRuns("whole/results.sqlite"));
}

// Slurm looks at time limits every 30 s, so the warning comes between 5 and about 35 s into a
// one-minute limit: the experiment is far longer, and the test cancels the sweep once the task
// has started again from the checkpoint (how a resumed experiment ends is the test above's).
TEST_F(InterruptedTask, ATaskWarnedOfItsTimeLimitRequeuesItselfAndGoesOnFromItsCheckpoint) {
    ScratchDir scratch;
    writeBase("1000000");
    testing::BackgroundRun sweep(VALDRIN_SWEEP_EXECUTABLE,
                                 with(experiment_, {"--out", "slurm", "--slurm", "--time", "1", "--signal-before", "55"}),
                                 "sweep");
    ASSERT_TRUE(appears("slurm/slurm-job.txt", "job ")) << whyNot(sweep);
    const std::string output = "slurm/slurm/" + jobIdOf("slurm") + "_0.out";
    ASSERT_TRUE(appears(output, "restart 1")) << readFile(output);
    EXPECT_NE(readFile(output).find("the time limit is near; requeued"), std::string::npos) << readFile(output);
    EXPECT_TRUE(resumedFromCheckpoint()) << readFile(std::string(kFolder) + "/stderr.txt");
    sweep.signal(SIGINT);
    const auto ended = sweep.wait();
    EXPECT_EQ(ended.status, 130) << ended.err;
    EXPECT_NE(ended.err.find("interrupted by SIGINT: 0 of 1 experiments ran"), std::string::npos) << ended.err;
    // Ctrl-C cancelled the array.
    EXPECT_EQ(runCommand("squeue", {"-h"}).out, "");
}

TEST_F(SlurmSweep, AFailingExperimentIsReportedWithItsFolderAndStatus) {
    ScratchDir scratch;
    writeFile("base.xml", testing::sweepSphere("20"));
    const auto result = runSweepProgram({"base.xml", "--set", "Population size=0,12", "--seeds", "3", "--out", "grid",
                                         "--slurm"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.out.find("1 of 2 experiments ran, 1 failed"), std::string::npos) << result.out;
    const std::string folder = fs::absolute("grid/experiments/1_0_seed3").lexically_normal().string();
    EXPECT_NE(result.err.find("valdrin-sweep: experiment 1 failed (exit status 1): " + folder), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("\"Population size\" is 0"), std::string::npos) << result.err;
}

TEST_F(SlurmSweep, DetachedThenCollectedAndACancelledArrayResumed) {
    ScratchDir scratch;
    writeFile("base.xml", testing::sweepSphere("30"));
    const std::vector<std::string> grid = {"base.xml", "--set", "Population size=20,40", "--seeds", "1-2"};
    ASSERT_EQ(runSweepProgram(with(grid, {"--out", "cores"})).status, 0);

    const auto detached = runSweepProgram(with(grid, {"--out", "detached", "--slurm", "--detach"}));
    ASSERT_EQ(detached.status, 0) << detached.err;
    EXPECT_NE(detached.out.find("--collect"), std::string::npos) << detached.out;
    ASSERT_TRUE(leavesTheQueue(jobIdOf("detached")));
    const auto collected = runSweepProgram({"--collect", "detached"});
    ASSERT_EQ(collected.status, 0) << collected.err;
    EXPECT_NE(collected.out.find("4 of 4 experiments ran"), std::string::npos) << collected.out;
    EXPECT_EQ(comparableExperiments("detached/results.sqlite"), comparableExperiments("cores/results.sqlite"));
    EXPECT_TRUE(fileExists("detached/sweep.csv") && fileExists("detached/sweep.html"));

    // An array cancelled before it ran anything: --collect says what has not run, --resume
    // submits those again and the sweep ends whole.
    const auto held = runSweepProgram(with(grid, {"--out", "cancelled", "--slurm", "--detach", "--sbatch=--hold"}));
    ASSERT_EQ(held.status, 0) << held.err;
    const auto early = runSweepProgram(with(grid, {"--out", "cancelled", "--slurm", "--resume"}));
    EXPECT_EQ(early.status, 1);
    EXPECT_NE(early.err.find("the sweep's job array " + jobIdOf("cancelled") + " is still in the queue"), std::string::npos)
        << early.err;
    ASSERT_EQ(runCommand("scancel", {jobIdOf("cancelled")}).status, 0);
    ASSERT_TRUE(leavesTheQueue(jobIdOf("cancelled")));
    const auto partial = runSweepProgram({"--collect", "cancelled"});
    EXPECT_EQ(partial.status, 1);
    EXPECT_NE(partial.err.find("4 of 4 experiments have not run: the job array " + jobIdOf("cancelled") +
                               " has left the queue"),
              std::string::npos)
        << partial.err;
    const auto resumed = runSweepProgram(with(grid, {"--out", "cancelled", "--slurm", "--resume"}));
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(comparableExperiments("cancelled/results.sqlite"), comparableExperiments("cores/results.sqlite"));
    EXPECT_EQ(comparableRuns("cancelled/results.sqlite"), comparableRuns("cores/results.sqlite"));
    EXPECT_EQ(experimentFiles("cancelled"), experimentFiles("cores"));
}

TEST_F(SlurmSweep, ClustersThatCannotTakeTheSweepAreRefusedWithNothingLeftBehind) {
    ScratchDir scratch;
    writeFile("base.xml", testing::sweepSphere("20"));
    const std::vector<std::string> one = {"base.xml", "--seeds", "1", "--out", "sweep", "--slurm"};

    const auto partition = runSweepProgram(with(one, {"--partition", "nosuch"}));
    EXPECT_EQ(partition.status, 1);
    EXPECT_NE(partition.err.find("the partition nosuch does not exist"), std::string::npos) << partition.err;

    // More processors a task than the node has: sbatch's own refusal.
    const auto refused = runSweepProgram(with(one, {"--sbatch=--cpus-per-task=64"}));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("sbatch refuses the job array, nothing was submitted: "), std::string::npos) << refused.err;

    // The options of a job array mean nothing without one.
    const auto misused = runSweepProgram({"base.xml", "--seeds", "1", "--out", "sweep", "--partition", "debug"});
    EXPECT_EQ(misused.status, 2);
    EXPECT_NE(misused.err.find("--partition needs --slurm"), std::string::npos) << misused.err;

    const auto early = runSweepProgram(with(one, {"--time", "1", "--signal-before", "60"}));
    EXPECT_EQ(early.status, 1);
    EXPECT_NE(early.err.find("--signal-before 60 is not shorter than --time 1 (60 s)"), std::string::npos) << early.err;

    const char* path = getenv("PATH");
    const std::string saved = path != nullptr ? path : "";
    setenv("PATH", scratch.path().c_str(), 1);
    const auto noSbatch = runSweepProgram(one);
    setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(noSbatch.status, 1);
    EXPECT_NE(noSbatch.err.find("sbatch is not on the PATH"), std::string::npos) << noSbatch.err;

    // Nothing was written, nothing waits in the queue.
    EXPECT_FALSE(fs::exists("sweep") && !fs::is_empty("sweep"));
    EXPECT_EQ(runCommand("squeue", {"-h"}).out, "");
}

}  // namespace
}  // namespace Valdrin
