// Tests of the command line: positions, options, the runs count, help and version.
#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

namespace Valdrin {
namespace {

struct Outcome {
    ParsedCommandLine parsed;
    std::string out;
    std::string err;
};

Outcome parse(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    ParsedCommandLine parsed = parseCommandLine(arguments, out, err);
    return {parsed, out.str(), err.str()};
}

TEST(CommandLine, ConfigurationAndRunsKeepTheirPlaces) {
    const Outcome none = parse({});
    ASSERT_TRUE(none.parsed.commandLine);
    EXPECT_EQ(none.parsed.commandLine->configuration, "config.xml");
    EXPECT_EQ(none.parsed.commandLine->runs, 1);

    const Outcome both = parse({"experiment.xml", "12", "--out", "results", "--strict"});
    ASSERT_TRUE(both.parsed.commandLine);
    EXPECT_EQ(both.parsed.commandLine->configuration, "experiment.xml");
    EXPECT_EQ(both.parsed.commandLine->runs, 12);
    EXPECT_EQ(both.parsed.commandLine->outputFolder, "results");
    EXPECT_TRUE(both.parsed.commandLine->strict);
    EXPECT_FALSE(both.parsed.commandLine->check || both.parsed.commandLine->quiet);
    EXPECT_EQ(parse({"--check", "a.xml"}).parsed.commandLine->configuration, "a.xml");
    EXPECT_EQ(parse({"a.xml", "007"}).parsed.commandLine->runs, 7);
    EXPECT_EQ(parse({"a.xml", "2147483647"}).parsed.commandLine->runs, 2147483647);
}

TEST(CommandLine, RunsMustBeAWholeNumberInRange) {
    for (const std::string runs : {"ten", "3x", "1e3", "-2", "0", "", "99999999999", "2147483648", " 4", "4.0"}) {
        const Outcome outcome = parse({"config.xml", runs});
        EXPECT_FALSE(outcome.parsed.commandLine) << runs;
        EXPECT_EQ(outcome.parsed.exitStatus, kExitMisused) << runs;
        EXPECT_EQ(outcome.err.rfind("valdrin: error: RUNS must be", 0), 0u) << outcome.err;
        EXPECT_NE(outcome.err.find("\"" + runs + "\""), std::string::npos) << outcome.err;
    }
}

TEST(CommandLine, MisuseEndsWithStatusTwoAndAPlainLine) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--verbose"}, {"a.xml", "2", "extra"}, {"--out"}, {"--quiet", "--progress"}}) {
        const Outcome outcome = parse(arguments);
        EXPECT_FALSE(outcome.parsed.commandLine) << arguments.front();
        EXPECT_EQ(outcome.parsed.exitStatus, kExitMisused) << arguments.front();
        EXPECT_EQ(outcome.err.rfind("valdrin: error: ", 0), 0u) << outcome.err;
        EXPECT_TRUE(outcome.out.empty());
    }
}

TEST(CommandLine, CheckpointOptionsNeedWhatTheyWorkWith) {
    const Outcome both = parse({"a.xml", "4", "--checkpoint", "state", "--every", "25", "--resume", "state"});
    ASSERT_TRUE(both.parsed.commandLine) << both.err;
    EXPECT_EQ(both.parsed.commandLine->checkpointFile, "state");
    EXPECT_EQ(both.parsed.commandLine->checkpointEvery, 25);
    EXPECT_EQ(both.parsed.commandLine->resumeFile, "state");
    const Outcome plain = parse({"a.xml"});
    ASSERT_TRUE(plain.parsed.commandLine);
    EXPECT_EQ(plain.parsed.commandLine->checkpointEvery, 0);
    EXPECT_TRUE(plain.parsed.commandLine->checkpointFile.empty() && plain.parsed.commandLine->resumeFile.empty());

    const std::vector<std::pair<std::vector<std::string>, std::string>> misuses = {
        {{"--every", "5"}, "--every needs --checkpoint FILE"},
        {{"--checkpoint", "s", "--every", "0"}, "--every must be a whole number of generations from 1 to 2147483647 (got \"0\")"},
        {{"--checkpoint", "s", "--every", "1e3"}, "--every must be a whole number of generations"},
        {{"--checkpoint", "s", "--every", "2147483648"}, "--every must be a whole number of generations"},
        {{"--checkpoint", ""}, "--checkpoint needs a file name"},
        {{"--resume", ""}, "--resume needs a file name"},
        {{"--check", "--resume", "s"}, "--check runs nothing, so it takes neither --checkpoint nor --resume"},
    };
    for (const auto& [arguments, message] : misuses) {
        const Outcome outcome = parse(arguments);
        EXPECT_FALSE(outcome.parsed.commandLine) << message;
        EXPECT_EQ(outcome.parsed.exitStatus, kExitMisused) << message;
        EXPECT_EQ(outcome.err.rfind("valdrin: error: " + message, 0), 0u) << outcome.err;
    }
}

TEST(CommandLine, HelpAndVersionAreNotConfigurationNames) {
    for (const std::string option : {"--help", "-h"}) {
        const Outcome help = parse({option});
        EXPECT_FALSE(help.parsed.commandLine);
        EXPECT_EQ(help.parsed.exitStatus, kExitRan);
        EXPECT_NE(help.out.find("Usage: valdrin"), std::string::npos);
        // Generated from the registry: every algorithm, problem, key and word, with defaults.
        for (const char* expected : {"--check", "--strict", "--out", "--quiet", "--progress", "--checkpoint", "--every",
                                     "--resume", "SARN2", "Double sin",
                                     "Population size [50]", "Crossover type [2-point]", "simple Fibonacci",
                                     "deterministic crowding", "Exit status"}) {
            EXPECT_NE(help.out.find(expected), std::string::npos) << expected;
        }
    }
    const Outcome version = parse({"--version"});
    EXPECT_FALSE(version.parsed.commandLine);
    EXPECT_EQ(version.parsed.exitStatus, kExitRan);
    EXPECT_EQ(version.out, std::string("valdrin ") + programVersion() + "\n");
}

}  // namespace
}  // namespace Valdrin
