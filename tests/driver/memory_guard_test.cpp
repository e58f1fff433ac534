// The memory check before the runs, against a real address-space limit: an experiment it lets
// through must not run out of memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/resource.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::ProgramResult;

bool mentions(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Populations of growing size, each run under a 200 MB address-space limit: each is either
// refused before it starts or runs to its end, and the sizes cross the edge between the two (in
// steps of an eighth, so the last accepted size lies close to the edge).
TEST(MemoryGuard, WhatTheCheckLetsThroughFitsUnderTheLimit) {
#ifndef VALDRIN_EXECUTABLE
    GTEST_SKIP() << "the program is not built in this configuration";
#else
    if (testing::programIsSanitized()) GTEST_SKIP() << "a sanitizer reserves more address space than the limit";
    testing::ScratchDir scratch;
    int accepted = 0;
    int refused = 0;
    for (int population = 4000; population <= 40000 && refused < 2; population += population / 8) {
        testing::writeFile("config.xml", testing::gaConfiguration("Sphere", {{"Encoding", "real"},
                                                                             {"Chromosome length", "1000"},
                                                                             {"Population size", std::to_string(population)},
                                                                             {"Generations number", "2"},
                                                                             {"Selection type", "neutral"},
                                                                             {"Crossover type", "arithmetic"},
                                                                             {"Mutation type", "gaussian"}}));
        const ProgramResult result = testing::runCommand(
            "bash", {"-c", std::string("ulimit -v 200000 && exec ") + VALDRIN_EXECUTABLE + " --quiet config.xml 1"});
        if (result.status == 0) {
            ++accepted;
        } else {
            EXPECT_EQ(result.status, 1) << population << " individuals\n" << result.err;
            EXPECT_TRUE(mentions(result.err, "the experiment needs about ")) << population << " individuals\n" << result.err;
            ++refused;
        }
    }
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
#endif
}

// A run that runs out of memory is given up like an interrupted one: the reports cover the runs
// that finished, and the message says what ran out. The address-space limit is lowered to what
// the experiment maps once its third run has started, so the records of that run cannot be kept.
TEST(MemoryGuard, RunningOutOfMemoryKeepsTheFinishedRuns) {
#ifndef VALDRIN_EXECUTABLE
    GTEST_SKIP() << "the program is not built in this configuration";
#else
    if (testing::programIsSanitized()) GTEST_SKIP() << "a sanitizer ends the program on a failed allocation";
    testing::ScratchDir scratch;
    testing::writeFile("config.xml", testing::gaConfiguration("Onemax", {{"Encoding", "integer"},
                                                                         {"Chromosome length", "16"},
                                                                         {"Population size", "10"},
                                                                         {"Generations number", "300000"},
                                                                         {"Selection type", "tournament"}}));
    testing::BackgroundRun run({"config.xml", "6"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!mentions(run.outputSoFar(), "Run # 2\n") && run.running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::ifstream statm("/proc/" + std::to_string(run.pid()) + "/statm");
    unsigned long long pages = 0;
    ASSERT_TRUE(statm >> pages) << "the experiment ended before its third run";
    rlimit limit{};
    limit.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
    limit.rlim_max = RLIM_INFINITY;
    ASSERT_EQ(prlimit(run.pid(), RLIMIT_AS, &limit, nullptr), 0);

    const ProgramResult result = run.wait();
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(mentions(result.err, "valdrin: error: out of memory in run 2: the experiment needed more than its "
                                     "address-space limit of "))
        << result.err;
    EXPECT_TRUE(mentions(result.err, "the report covers 2 of 6 runs\n")) << result.err;
    EXPECT_TRUE(mentions(testing::readFile("summary.log"), "Report covers:\t2 of 6 runs (interrupted)\n"));
#endif
}

}  // namespace
}  // namespace Valdrin
