// The job array's batch script run by bash with stand-ins for the program and for scontrol, and
// the sizes and readings the submission rests on.
#include "sweep/slurm_script.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "sweep/batches.h"
#include "sweep/parallel_jobs.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::fileExists;
using testing::readFile;
using testing::writeFile;

TEST(SlurmTasks, EveryExperimentFindsATaskWithinTheClustersArrayLimit) {
    struct Case {
        std::optional<int> asked;
        int experiments;
        int limit;
        int size;
    };
    // Indices run from 0 to the limit - 1: the limit itself is as many tasks as fit.
    for (const Case& c : {Case{std::nullopt, 1001, 1001, 1}, Case{std::nullopt, 1002, 1001, 2},
                          Case{std::nullopt, 2500, 1001, 3}, Case{4, 2500, 1001, 4}, Case{1, 12, 1001, 1},
                          Case{std::nullopt, 7, 1, 7}}) {
        const int size = slurmTaskSize(c.asked, c.experiments, c.limit);
        EXPECT_EQ(size, c.size) << c.experiments << " experiments, limit " << c.limit;
        const int tasks = slurmTaskCount(c.experiments, size);
        EXPECT_LE(tasks, c.limit);
        EXPECT_GE(static_cast<long long>(tasks) * size, c.experiments);
        EXPECT_LT(static_cast<long long>(tasks - 1) * size, c.experiments) << "a task with nothing to run";
    }
}

TEST(SlurmTasks, ShortExperimentsShareATaskAndLongOnesHaveOneEach) {
    // 10 ms each: 30 s of them would be 3000, kept to the largest batch.
    EXPECT_EQ(slurmTaskSize(std::nullopt, 1000, 1001, 0.01), kLargestBatch);
    EXPECT_EQ(slurmTaskSize(std::nullopt, 12, 1001, 0.01), 12);
    // With 4 tasks at a time, no fewer than 8 tasks share the work.
    EXPECT_EQ(slurmTaskSize(std::nullopt, 40, 1001, 0.01, 4), 5);
    EXPECT_EQ(slurmTaskSize(std::nullopt, 40, 1001, 100.0, 4), 1);
    // --batch is taken as given, and the array limit rules over both.
    EXPECT_EQ(slurmTaskSize(2, 40, 1001, 0.01), 2);
    EXPECT_EQ(slurmTaskSize(std::nullopt, 5000, 10, 100.0), 500);
}

TEST(SlurmTasks, TimeLimitsReadInEverySbatchFormat) {
    EXPECT_EQ(timeLimitSeconds("30"), 1800);
    EXPECT_EQ(timeLimitSeconds("5:30"), 330);
    EXPECT_EQ(timeLimitSeconds("1:00:05"), 3605);
    EXPECT_EQ(timeLimitSeconds("2-3"), (2 * 24 + 3) * 3600);
    EXPECT_EQ(timeLimitSeconds("1-0:10"), 24 * 3600 + 600);
    EXPECT_EQ(timeLimitSeconds("1-0:0:9"), 24 * 3600 + 9);
    for (const char* other : {"INFINITE", "UNLIMITED", "", "1:2:3:4", "5:", "-3", "1-", "a"}) {
        EXPECT_EQ(timeLimitSeconds(other), std::nullopt) << other;
    }
}

TEST(SlurmAnswers, TheArrayLimitJobIdAndQueueAreReadFromSlurmsOwnWords) {
    EXPECT_EQ(maxArraySizeOf("MaxArrayTaskCount       = 5\nMaxArraySize            = 40001\nMaxJobCount = 10000\n"),
              40001);
    EXPECT_EQ(maxArraySizeOf("MaxJobCount = 10000\n"), std::nullopt);
    EXPECT_EQ(submittedJobId("4242;cluster-a\n"), "4242");
    EXPECT_EQ(submittedJobId("sbatch: warning: something\n17\n"), "17");
    const std::vector<QueuedTask> tasks = queuedTasksOf("12_3 PENDING BeginTime\n12_[4-9%2] PENDING JobArrayTaskLimit\n");
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0].id, "12_3");
    EXPECT_EQ(tasks[0].reason, "BeginTime");
    EXPECT_EQ(tasks[1].state, "PENDING");
}

// A sweep's folder with a stand-in for the program: an experiment whose config.xml says "fail"
// ends with status 3, one that says "slow" runs until SIGTERM (then notes it and ends with 143,
// as the program does once its checkpoint is saved), any other ends at once with 0. A stand-in
// scontrol notes its arguments.
class BatchScript : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(scratch_.path());
        fs::create_directories(root_ / "bin");
        writeFile((root_ / "valdrin").string(),
                  "#!/bin/sh\n"
                  "echo \"$@\" >arguments.txt\n"
                  "case $(cat config.xml) in\n"
                  "fail) exit 3 ;;\n"
                  "slow) trap 'echo stopped >>stopped.txt; exit 143' TERM; echo $$ >pid.txt; mv pid.txt started.txt; while :; do sleep 0.05; done ;;\n"
                  "esac\nexit 0\n");
        writeFile((root_ / "bin/scontrol").string(), "#!/bin/sh\necho \"$@\" >>" + (root_ / "scontrol.txt").string() + "\n");
        chmod((root_ / "valdrin").c_str(), 0755);
        chmod((root_ / "bin/scontrol").c_str(), 0755);
        const char* path = getenv("PATH");
        savedPath_ = path != nullptr ? path : "";
        setenv("PATH", ((root_ / "bin").string() + ":" + savedPath_).c_str(), 1);
        setenv("SLURM_ARRAY_JOB_ID", "41", 1);
        setenv("SLURM_JOB_ID", "42", 1);
    }
    void TearDown() override {
        setenv("PATH", savedPath_.c_str(), 1);
        unsetenv("SLURM_ARRAY_JOB_ID");
        unsetenv("SLURM_JOB_ID");
        unsetenv("SLURM_ARRAY_TASK_ID");
    }

    // Experiments e1.. with the given config.xml texts, two to a task, and the script.
    void layOut(const std::vector<std::string>& configurations) {
        std::string list;
        for (std::size_t i = 0; i < configurations.size(); ++i) {
            const std::string folder = "experiments/e" + std::to_string(i + 1);
            fs::create_directories(root_ / folder);
            writeFile((root_ / folder / "config.xml").string(), configurations[i]);
            list += folder + "\n";
        }
        writeFile((root_ / kSlurmTaskList).string(), list);
        SlurmScriptPlan plan;
        plan.folder = root_.string();
        plan.arguments = programArguments(2);
        plan.tasks = static_cast<int>((configurations.size() + 1) / 2);
        plan.perTask = 2;
        writeFile((root_ / kSlurmScript).string(), slurmBatchScript(plan));
    }
    std::string record(int experiment) {
        return readFile((root_ / ("experiments/e" + std::to_string(experiment)) / "job.txt").string());
    }
    testing::ProgramResult runTask(int task) {
        setenv("SLURM_ARRAY_TASK_ID", std::to_string(task).c_str(), 1);
        return testing::runCommand("/bin/bash", {(root_ / kSlurmScript).string()});
    }

    testing::ScratchDir scratch_;
    fs::path root_;
    std::string savedPath_;
};

TEST_F(BatchScript, ATaskRunsItsOwnExperimentsRecordsThemAndSkipsThoseThatEnded) {
    layOut({"ok", "fail", "ok", "ok"});
    const auto first = runTask(0);
    EXPECT_EQ(first.status, 1) << first.out << first.err;  // its second experiment failed
    EXPECT_EQ(record(1).substr(0, 2), "0 ");
    EXPECT_EQ(record(2).substr(0, 2), "3 ");
    EXPECT_FALSE(fileExists((root_ / "experiments/e3/job.txt").string())) << "task 0 ran task 1's experiment";
    EXPECT_EQ(readFile((root_ / "experiments/e1/arguments.txt").string()),
              "config.xml 2 --csv --checkpoint experiment.checkpoint\n");

    // Started again (requeued), the task runs nothing that has ended.
    writeFile((root_ / "experiments/e1/config.xml").string(), "fail");
    EXPECT_EQ(runTask(0).status, 0);
    EXPECT_EQ(record(1).substr(0, 2), "0 ");

    // The experiment resumes from a checkpoint in its folder.
    writeFile((root_ / "experiments/e3/experiment.checkpoint").string(), "");
    EXPECT_EQ(runTask(1).status, 0);
    EXPECT_EQ(readFile((root_ / "experiments/e3/arguments.txt").string()),
              "config.xml 2 --csv --checkpoint experiment.checkpoint --resume experiment.checkpoint\n");
}

TEST_F(BatchScript, TheTimeLimitsSignalStopsTheProgramAtOnceAndRequeuesTheTask) {
    layOut({"ok", "slow", "ok", "ok"});
    setenv("SLURM_ARRAY_TASK_ID", "0", 1);
    testing::BackgroundRun task("/bin/bash", {(root_ / kSlurmScript).string()}, "task");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!fileExists((root_ / "experiments/e2/started.txt").string()) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(fileExists((root_ / "experiments/e2/started.txt").string()));
    const auto signalled = std::chrono::steady_clock::now();
    task.signal(SIGUSR1);
    const auto ended = task.wait();
    // The trap ran while the program ran (not after it), and the task waited for it to end.
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(5));
    EXPECT_EQ(ended.status, 0) << ended.err;
    // Told once: a second SIGTERM would end the program before its checkpoint is saved.
    EXPECT_EQ(readFile((root_ / "experiments/e2/stopped.txt").string()), "stopped\n");
    EXPECT_EQ(record(1).substr(0, 2), "0 ");
    EXPECT_EQ(record(2), "") << "a stopped experiment has not ended";
    EXPECT_EQ(readFile((root_ / "scontrol.txt").string()), "requeue 42\n");

    // SIGTERM (a cancel, a preemption) stops it the same way, without a requeue.
    fs::remove(root_ / "scontrol.txt");
    fs::remove(root_ / "experiments/e2/started.txt");
    fs::remove(root_ / "experiments/e2/stopped.txt");
    testing::BackgroundRun again("/bin/bash", {(root_ / kSlurmScript).string()}, "again");
    const auto later = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!fileExists((root_ / "experiments/e2/started.txt").string()) && std::chrono::steady_clock::now() < later) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Slurm sends it to every process of the job.
    const int program = std::stoi(readFile((root_ / "experiments/e2/started.txt").string()));
    again.signal(SIGTERM);
    kill(program, SIGTERM);
    EXPECT_EQ(again.wait().status, 143);
    EXPECT_FALSE(fileExists((root_ / "scontrol.txt").string()));
    EXPECT_EQ(record(2), "");
}

}  // namespace
}  // namespace Valdrin
