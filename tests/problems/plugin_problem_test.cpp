// Problems from plugin libraries, through the program: a OneMax plugin runs exactly as the
// built-in OneMax, libraries that cannot serve are refused before anything runs, a plugin that
// fails mid-experiment ends it keeping the finished runs, and a checkpoint refuses a changed
// library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::fileExists;
using testing::maskClock;
using testing::readFile;
using testing::runProgram;
using testing::ScratchDir;
using testing::writeFile;

const std::string kPlugins = VALDRIN_PLUGIN_DIR;

std::string oneMax(const std::string& problem, const std::string& library) {
    std::vector<std::pair<std::string, std::string>> parameters;
    if (!library.empty()) parameters.push_back({"Problem library", library});
    for (const auto& pair : std::vector<std::pair<std::string, std::string>>{{"Encoding", "integer"},
                                                                              {"Chromosome length", "40"},
                                                                              {"Population size", "30"},
                                                                              {"Generations number", "40"},
                                                                              {"Selection type", "tournament"},
                                                                              {"Crossover type", "2-point"},
                                                                              {"Mutation type", "bit-flip"},
                                                                              {"Mutation rate", "0.02"},
                                                                              {"Error level", "0.5"}}) {
        parameters.push_back(pair);
    }
    return testing::gaConfiguration(problem, parameters);
}

// The text without the lines that name the problem.
std::string withoutProblemName(const std::string& text, const std::string& name) {
    std::string kept;
    for (const std::string& line : testing::splitLines(text)) {
        if (line.find(name) == std::string::npos) kept += line + "\n";
    }
    return kept;
}

class FaultEnvironment {
public:
    FaultEnvironment(const char* fault, const char* after) {
        setenv("VALDRIN_TEST_FAULT", fault, 1);
        setenv("VALDRIN_TEST_FAULT_AFTER", after, 1);
    }
    ~FaultEnvironment() {
        unsetenv("VALDRIN_TEST_FAULT");
        unsetenv("VALDRIN_TEST_FAULT_AFTER");
    }
};

// The library is found relative to the configuration's folder, and every per-run log and the
// summary equal the built-in problem's, but for the lines that name the problem.
TEST(PluginProblem, AOneMaxPluginRunsExactlyAsTheBuiltInOneMax) {
    ScratchDir scratch;
    fs::create_directories("experiment/lib");
    fs::copy_file(kPlugins + "/libonemax.so", "experiment/lib/libonemax.so");
    writeFile("experiment/plugin.xml", oneMax("Onemax-plugin", "lib/libonemax.so"));
    writeFile("builtin.xml", oneMax("Onemax", ""));
    // The plugin says it may run on several threads: three write what one writes.
    const auto plugin = runProgram({"experiment/plugin.xml", "3", "--out", "p", "--csv", "--threads", "3"});
    const auto builtIn = runProgram({"builtin.xml", "3", "--out", "b", "--csv"});
    ASSERT_EQ(plugin.status, 0) << plugin.err;
    ASSERT_EQ(builtIn.status, 0) << builtIn.err;
    EXPECT_EQ(plugin.err, builtIn.err);
    EXPECT_EQ(withoutProblemName(plugin.out, "Onemax"), withoutProblemName(builtIn.out, "Onemax"));
    for (const char* file : {"ga.log", "summary.log", "solution.log", "candidate.log"}) {
        EXPECT_EQ(withoutProblemName(maskClock(readFile(std::string("p/") + file)), "Problem:"),
                  withoutProblemName(maskClock(readFile(std::string("b/") + file)), "Problem:"))
            << file;
    }
    EXPECT_NE(readFile("p/summary.log").find("Onemax-plugin (plugin libonemax.so)"), std::string::npos);
}

// Each library that cannot serve is refused before anything runs, with exit 1 and the reason;
// --check says the same, and --help lists a library's problem.
TEST(PluginProblem, LibrariesThatCannotServeAreRefusedBeforeAnythingRuns) {
    ScratchDir scratch;
    writeFile("not-a-library.so", "text\n");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"missing.so", "cannot be read: No such file or directory"},
        {"not-a-library.so", "cannot be loaded as a shared library"},
        {"/lib/x86_64-linux-gnu/libz.so.1", "is not a Valdrin problem plugin: it exports no valdrin_problem_entry"},
        {kPlugins + "/libtest_old_abi.so", "was built for version 2 of the plugin interface; this Valdrin reads version 1"},
        {kPlugins + "/libtest_clash.so", "names its problem \"Sphere\", which is already a problem of Valdrin's"},
    };
    for (const auto& [library, reason] : cases) {
        if (library.front() == '/' && !fileExists(library)) continue;
        writeFile("config.xml", oneMax("Faulty", library));
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"config.xml", "--out", "out"}, std::vector<std::string>{"config.xml", "--check"}}) {
            const auto result = runProgram(arguments);
            EXPECT_EQ(result.status, 1) << library;
            EXPECT_NE(result.err.find(reason), std::string::npos) << library << "\n" << result.err;
        }
        EXPECT_FALSE(fs::exists("out")) << library;
    }
    // An encoding the plugin does not evaluate.
    writeFile("config.xml", std::regex_replace(oneMax("Faulty", kPlugins + "/libtest_faulty.so"),
                                               std::regex("<value>integer</value>"), "<value>real</value>"));
    const auto real = runProgram({"config.xml"});
    EXPECT_EQ(real.status, 1);
    EXPECT_NE(real.err.find("Faulty"), std::string::npos) << real.err;

    const auto help = runProgram({"--help", "--problem-library", kPlugins + "/libonemax.so"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("  Onemax-plugin\n      number of zero bits"), std::string::npos) << help.out;
}

// A plugin that refuses to start ends the experiment before the first run; one that fails in the
// second run (an error it reports, or a NaN) ends it with a message naming the individual, the
// generation and the run, and the report covering the first run.
TEST(PluginProblem, APluginThatFailsEndsTheExperimentKeepingTheFinishedRuns) {
    ScratchDir scratch;
    writeFile("config.xml", oneMax("Faulty", kPlugins + "/libtest_faulty.so"));
    {
        FaultEnvironment refuse("refuse", "0");
        const auto result = runProgram({"config.xml", "2", "--out", "refused"});
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find("refused to start: no licence for this problem"), std::string::npos) << result.err;
    }
    // One run evaluates 30 individuals in each of 41 evaluations of the population.
    const std::string inSecondRun = std::to_string(30 * 41 + 30 * 5 + 7);
    for (const auto& [fault, reason] : std::vector<std::pair<std::string, std::string>>{
             {"error", "reported failure 7: the model diverged"}, {"nan", "gave a fitness of NaN"}}) {
        FaultEnvironment environment(fault.c_str(), inSecondRun.c_str());
        const auto result = runProgram({"config.xml", "2", "--out", fault, "--csv"});
        EXPECT_EQ(result.status, 1) << fault;
        EXPECT_NE(result.err.find("could not evaluate individual 8 of generation 5 in run 1: "), std::string::npos)
            << result.err;
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("the report covers 1 of 2 runs"), std::string::npos) << result.err;
        EXPECT_NE(readFile(fault + "/summary.log").find("Report covers:\t1 of 2 runs"), std::string::npos);
    }
}

// A checkpoint records the library's content: resuming with a changed library is refused.
TEST(PluginProblem, ResumingWithAChangedLibraryIsRefused) {
    ScratchDir scratch;
    fs::copy_file(kPlugins + "/libonemax.so", "libonemax.so");
    writeFile("config.xml", oneMax("Onemax-plugin", "libonemax.so"));
    ASSERT_EQ(runProgram({"config.xml", "2", "--checkpoint", "ck", "--every", "10"}).status, 0);
    const auto same = runProgram({"config.xml", "3", "--checkpoint", "ck", "--resume", "ck"});
    EXPECT_EQ(same.status, 0) << same.err;
    // Another build of the library: the same problem, other bytes.
    writeFile("libonemax.so", readFile("libonemax.so") + "rebuilt");
    const auto changed = runProgram({"config.xml", "4", "--resume", "ck"});
    EXPECT_EQ(changed.status, 1);
    EXPECT_NE(changed.err.find("read another libonemax.so"), std::string::npos) << changed.err;
}

// A sweep takes the library named relative to its base, checks the plugin's problem, and runs
// every experiment with its own copy: on two hosts (a stand-in for ssh), where the library goes
// with the program, the results equal those of the same sweep on this machine.
TEST(PluginProblem, ASweepSendsTheLibraryToEveryHost) {
    ScratchDir scratch;
    fs::create_directories("base/lib");
    fs::create_directories("h1");
    fs::create_directories("h2");
    fs::copy_file(kPlugins + "/libonemax.so", "base/lib/libonemax.so");
    writeFile("base/base.xml", oneMax("Onemax-plugin", "lib/libonemax.so"));
    const std::string ssh = testing::writeStandInSsh("fake-ssh");
    writeFile("hosts", "1/" + ssh + " h1\n1/" + ssh + " h2\n");
    const std::vector<std::string> grid = {"base/base.xml", "--set", "Mutation rate=0.01,0.03", "--seeds", "1-2"};
    auto remote = grid;
    remote.insert(remote.end(), {"--hosts", "hosts", "--out", "remote"});
    auto local = grid;
    local.insert(local.end(), {"--out", "local"});
    const auto remoteRun = testing::runSweepProgram(remote);
    ASSERT_EQ(remoteRun.status, 0) << remoteRun.err;
    ASSERT_EQ(testing::runSweepProgram(local).status, 0);
    const std::string query = "SELECT experiment_id, run, evaluations, final_best_fitness FROM runs ORDER BY 1, 2";
    EXPECT_EQ(testing::queryRows("remote/results.sqlite", query), testing::queryRows("local/results.sqlite", query));
    EXPECT_EQ(testing::queryRows("remote/results.sqlite", "SELECT count(*) FROM runs"),
              (std::vector<std::vector<std::string>>{{"4"}}));

    // A library the plugin cannot serve from is refused before anything runs.
    writeFile("base/base.xml", oneMax("Onemax-plugin", "lib/missing.so"));
    const auto refused = testing::runSweepProgram({"base/base.xml", "--seeds", "1-2", "--out", "refused"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("missing.so cannot be read"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace Valdrin
