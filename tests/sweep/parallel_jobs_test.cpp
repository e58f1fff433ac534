// The jobs' command line, and parallel run as the sweep runs it.
#include "sweep/parallel_jobs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

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

// The job's command, run by a shell as parallel runs it (with {} put in): the program copy in the
// experiment's folder with the arguments, a checkpoint in the folder added as --resume, the
// outputs appended to stdout.txt and stderr.txt.
TEST(JobCommandTest, RunsTheProgramCopyInTheFolderAndResumesFromItsCheckpoint) {
    testing::ScratchDir scratch;
    std::filesystem::create_directories("experiments/01");
    testing::writeFile("valdrin", "#!/bin/sh\necho \"args: $*\"\necho \"in $(basename \"$PWD\")\" >&2\n");
    std::filesystem::permissions("valdrin", std::filesystem::perms::owner_all);
    std::string command = jobCommand(programArguments(3));
    for (std::size_t at = command.find("{}"); at != std::string::npos; at = command.find("{}")) {
        command.replace(at, 2, "experiments/01");
    }
    // The program's copy sits two folders up from the experiment's folder, in the sweep's.
    const auto fresh = testing::runCommand("sh", {"-c", command});
    ASSERT_EQ(fresh.status, 0) << fresh.err;
    EXPECT_EQ(testing::readFile("experiments/01/stdout.txt"),
              "args: config.xml 3 --csv --checkpoint experiment.checkpoint\n");
    EXPECT_EQ(testing::readFile("experiments/01/stderr.txt"), "in 01\n");

    testing::writeFile(std::string("experiments/01/") + kExperimentCheckpoint, "state");
    const auto resumed = testing::runCommand("sh", {"-c", command});
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(testing::readFile("experiments/01/stdout.txt"),
              "args: config.xml 3 --csv --checkpoint experiment.checkpoint\n"
              "args: config.xml 3 --csv --checkpoint experiment.checkpoint --resume experiment.checkpoint\n");
    EXPECT_EQ(testing::readFile("experiments/01/stderr.txt"), "in 01\nin 01\n");
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
