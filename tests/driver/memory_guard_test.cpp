// The memory check before the runs, against a real address-space limit: an experiment it lets
// through must not run out of memory.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace Valdrin
