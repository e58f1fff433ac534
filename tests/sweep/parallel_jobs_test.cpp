// The jobs' command line, and parallel run as the sweep runs it.
#include "sweep/parallel_jobs.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/test_support.h"

namespace Valdrin {
namespace {

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
