// The jobs' command line and parallel's arguments.
#include "sweep/parallel_jobs.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.h"

namespace Valdrin {
namespace {

bool holdsInOrder(const std::vector<std::string>& arguments, const std::vector<std::string>& run) {
    return std::search(arguments.begin(), arguments.end(), run.begin(), run.end()) != arguments.end();
}

TEST(ShellWordTest, EveryTextReachesTheCommandAsOneWordUnchanged) {
    testing::ScratchDir scratch;
    for (const std::string text : {"plain", "two words", "it's", "$(touch injected)", "`touch injected`", "a;b|c&d",
                                   "\"quoted\"", "back\\slash", "*", "", "new\nline"}) {
        const testing::ProgramResult result = testing::runCommand("sh", {"-c", "printf '[%s]' " + shellWord(text)});
        EXPECT_EQ(result.out, "[" + text + "]") << text;
    }
    EXPECT_FALSE(testing::fileExists("injected"));
    EXPECT_EQ(shellWord("config.xml"), "config.xml");
    EXPECT_EQ(shellWord("--csv"), "--csv");
}

TEST(JobCommandTest, OneCommandRunsTheProgramCopyInTheExperimentsFolder) {
    EXPECT_EQ(programArguments(3), (std::vector<std::string>{"config.xml", "3", "--csv"}));
    EXPECT_EQ(jobCommand(programArguments(3)), "cd {} && ../../valdrin config.xml 3 --csv >stdout.txt 2>stderr.txt");
    EXPECT_EQ(jobCommand({"a b"}), "cd {} && ../../valdrin 'a b' >stdout.txt 2>stderr.txt");
}

TEST(ParallelArgumentsTest, LocalJobsRunOnTheCoresWithTheLogAndNoStopOnFailure) {
    ParallelPlan plan;
    plan.command = "cd {} && true";
    plan.jobs = 3;
    const std::vector<std::string> fresh = parallelArguments(plan);
    EXPECT_TRUE(holdsInOrder(fresh, {"--halt", "never"}));
    EXPECT_TRUE(holdsInOrder(fresh, {"--joblog", "joblog"}));
    EXPECT_TRUE(holdsInOrder(fresh, {"--jobs", "3"}));
    EXPECT_TRUE(holdsInOrder(fresh, {"--arg-file", "jobs.txt"}));
    EXPECT_EQ(fresh.front(), "--will-cite");
    EXPECT_EQ(fresh.back(), plan.command);
    for (const char* remote : {"--resume-failed", "--sshloginfile", "--basefile", "--transferfile", "--return", "--workdir"}) {
        EXPECT_EQ(std::count(fresh.begin(), fresh.end(), remote), 0) << remote;
    }
    plan.resume = true;
    plan.jobs.reset();
    const std::vector<std::string> resumed = parallelArguments(plan);
    EXPECT_EQ(std::count(resumed.begin(), resumed.end(), "--resume-failed"), 1);
    EXPECT_EQ(std::count(resumed.begin(), resumed.end(), "--jobs"), 0);
}

TEST(ParallelArgumentsTest, HostsGetTheProgramTheInputsAndSendTheFolderBack) {
    ParallelPlan plan;
    plan.command = "cd {} && true";
    plan.hostsFile = "/abs/hosts";
    plan.remoteFolder = ".valdrin-sweep-x";
    plan.inputs = {"config.xml", "matrix.txt"};
    const std::vector<std::string> arguments = parallelArguments(plan);
    EXPECT_TRUE(holdsInOrder(arguments, {"--sshloginfile", "/abs/hosts"}));
    EXPECT_TRUE(holdsInOrder(arguments, {"--workdir", ".valdrin-sweep-x"}));
    EXPECT_TRUE(holdsInOrder(arguments, {"--basefile", "valdrin"}));
    EXPECT_TRUE(holdsInOrder(arguments, {"--transferfile", "{}/config.xml", "--transferfile", "{}/matrix.txt"}));
    EXPECT_TRUE(holdsInOrder(arguments, {"--return", "{}"}));
    EXPECT_EQ(arguments.back(), plan.command);
    EXPECT_EQ(remoteCleanupArguments("/abs/hosts", ".valdrin-sweep-x").back(), "rm -rf .valdrin-sweep-x");
}

TEST(ParallelProcessTest, RunsParallelInTheFolderAndStopsItWhenAsked) {
    if (foundOnPath("parallel").empty()) GTEST_FAIL() << "GNU parallel is not installed (make deps installs it)";
    testing::ScratchDir scratch;
    testing::writeFile("jobs.txt", "a\nb\n");
    ParallelPlan plan;
    plan.command = "echo {} > {}.out";
    plan.jobs = 2;
    {
        ParallelProcess parallel(parallelArguments(plan), scratch.path(), scratch.path() + "/.parallel");
        int ticks = 0;
        EXPECT_EQ(parallel.wait([&ticks] { ++ticks; }, [] { return false; }), 0);
    }
    EXPECT_EQ(testing::readFile("a.out"), "a\n");
    EXPECT_EQ(testing::readFile("b.out"), "b\n");
    EXPECT_EQ(testing::splitLines(testing::readFile("joblog")).size(), 3u);

    // Asked to stop, parallel stops its running jobs and ends (it ignores the signal until its
    // first job has started, so the sweep sends it again).
    testing::writeFile("jobs.txt", "30\n30\n");
    plan.command = "sleep {}";
    plan.jobLog = "joblog2";
    const auto start = std::chrono::steady_clock::now();
    ParallelProcess parallel(parallelArguments(plan), scratch.path(), scratch.path() + "/.parallel");
    const int status = parallel.wait([] {}, [&start] { return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(300); });
    EXPECT_NE(status, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
}  // namespace Valdrin
