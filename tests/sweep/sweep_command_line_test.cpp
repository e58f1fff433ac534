// valdrin-sweep's options of the comparisons: --alpha within (0, 1), --blocks one of the swept keys.
#include "sweep/sweep_command_line.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/test_support.h"

namespace Valdrin {
namespace {

ParsedSweepCommandLine parsed(std::vector<std::string> more, std::string& errors) {
    std::vector<std::string> arguments = {"base.xml", "--set", "Problem=Sphere,Rastrigin", "--set", "Mutation rate=0.1,0.2",
                                          "--seeds", "1-3"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    std::ostringstream out;
    std::ostringstream err;
    ParsedSweepCommandLine result = parseSweepCommandLine(arguments, out, err);
    errors = err.str();
    return result;
}

TEST(SweepCommandLineTest, AlphaAndBlocksAreCheckedBeforeAnythingRuns) {
    testing::ScratchDir scratch;
    testing::writeFile("base.xml", "<configuration/>\n");
    std::string errors;
    const ParsedSweepCommandLine plain = parsed({}, errors);
    ASSERT_TRUE(plain.commandLine);
    EXPECT_EQ(plain.commandLine->alpha, 0.05);
    EXPECT_EQ(plain.commandLine->blocks, "");
    const ParsedSweepCommandLine chosen = parsed({"--alpha", "0.01", "--blocks", "Problem"}, errors);
    ASSERT_TRUE(chosen.commandLine) << errors;
    EXPECT_EQ(chosen.commandLine->alpha, 0.01);
    EXPECT_EQ(chosen.commandLine->blocks, "Problem");
    for (const char* level : {"0", "1", "-0.5", "nan"}) {
        EXPECT_EQ(parsed({"--alpha", level}, errors).exitStatus, 2) << level;
    }
    EXPECT_EQ(parsed({"--blocks", "Population size"}, errors).exitStatus, 2);
    EXPECT_NE(errors.find("--blocks Population size: not a key of --set"), std::string::npos) << errors;
}

}  // namespace
}  // namespace Valdrin
