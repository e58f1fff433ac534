// End-to-end runs of the Command problem: evaluators in other languages give the built-in
// problem's runs, a failing evaluator ends the experiment with the finished runs' report, and
// what cannot run is refused before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "registry/configuration_check.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::fileExists;
using testing::ProgramResult;
using testing::readFile;
using testing::runProgram;
using testing::ScratchDir;
using testing::writeFile;

const fs::path kSourceDir = testing::sourceFolder();

// The text with every line that starts with one of the prefixes left out, and the clock masked.
std::string without(const std::string& text, const std::vector<std::string>& prefixes) {
    std::string kept;
    for (const std::string& line : testing::splitLines(testing::maskClock(text))) {
        const bool dropped = std::any_of(prefixes.begin(), prefixes.end(),
                                         [&line](const std::string& prefix) { return line.starts_with(prefix); });
        if (!dropped) kept += line + "\n";
    }
    return kept;
}

// runs.csv without its measured columns, duration_s and time_to_solution_s.
std::string withoutDurations(const std::string& csv) {
    static const std::regex measured("^([^,]*,[^,]*,[^,]*,)[^,]*(,[^,]*,)[^,]*");
    std::string kept;
    for (const std::string& line : testing::splitLines(csv)) kept += std::regex_replace(line, measured, "$1T$2T") + "\n";
    return kept;
}

// Every file an experiment wrote in its folder but its manifest, as compared: durations and the
// problem's name left out; and its standard output without the problem's announcement.
std::map<std::string, std::string> outputsOf(const std::string& folder, const ProgramResult& result) {
    std::map<std::string, std::string> outputs;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        // The manifest records each experiment's own configuration and command line.
        if (name == "manifest.json") continue;
        const std::string text = readFile(entry.path().string());
        outputs[name] = name == "runs.csv" ? withoutDurations(text) : without(text, {"Problem:\t"});
    }
    outputs["stdout"] = without(result.out, {"Onemax problem", "Command problem"});
    return outputs;
}

TEST(CommandEndToEnd, EvaluatorsInOtherLanguagesGiveTheBuiltInOneMaxRuns) {
    ScratchDir dir;
    // The configurations lie outside the working folder: their commands run in their own folders.
    fs::create_directories("builtin");
    fs::copy_file(kSourceDir / "examples" / "onemax" / "config.xml", "builtin/config.xml");
    fs::copy(kSourceDir / "examples" / "evaluators", "evaluators");
    const ProgramResult builtin = runProgram({"builtin/config.xml", "2", "--csv", "--out", "builtin-out"});
    ASSERT_EQ(builtin.status, 0) << builtin.err;
    const auto expected = outputsOf("builtin-out", builtin);
    EXPECT_EQ(expected.count("runs.csv"), 1U);

    for (const std::string language : {"awk", "python"}) {
        SCOPED_TRACE(language);
        const std::string out = language + "-out";
        // A checkpoint records the evaluator's script, which the working folder sees as
        // evaluators/onemax.*.
        // Three copies of the awk one share each generation.
        std::vector<std::string> arguments = {"evaluators/onemax-" + language + ".xml", "2", "--csv", "--out", out,
                                              "--checkpoint", "state.bin", "--every", "50"};
        if (language == "awk") arguments.insert(arguments.end(), {"--threads", "3"});
        const ProgramResult run = runProgram(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        fs::remove(out + "/state.bin");
        EXPECT_EQ(outputsOf(out, run), expected);
    }

    // A resumed experiment must be evaluated by the same script.
    const std::vector<std::string> resume = {"evaluators/onemax-awk.xml", "3", "--out", "awk-out", "--checkpoint",
                                             "state.bin", "--resume", "state.bin"};
    ASSERT_EQ(runProgram({"evaluators/onemax-awk.xml", "1", "--out", "awk-out", "--checkpoint", "state.bin"}).status, 0);
    writeFile("evaluators/onemax.awk", readFile("evaluators/onemax.awk") + "# edited\n");
    const ProgramResult refused = runProgram(resume);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("read another evaluators/onemax.awk"), std::string::npos) << refused.err;
}

// OneMax in awk that fails at its Nth answer of the experiment as MODE says: it dies, stops
// answering and ends, answers what is not a number or NaN, or sleeps.
const char* const kFaultyEvaluator = R"(left == 0 { left = $1; next }
{
    if (++seen == N) {
        if (MODE == "die") exit 3
        if (MODE == "few") exit 0
        if (MODE == "junk") print "twelve"
        if (MODE == "nan") print "nan"
        if (MODE == "sleep") system("sleep 30")
        fflush()
    }
    zeros = 0
    for (i = 1; i <= NF; i++) if ($i == 0) zeros++
    print zeros
    if (--left == 0) fflush()
}
)";

std::string faultyConfiguration(const std::string& mode) {
    // 6 individuals, 3 generations: 24 evaluations a run, so answer 34 is the fourth individual
    // of generation 1 in the second run.
    return testing::gaConfiguration(
        "Command", {{"Evaluator command", "awk -W interactive -v MODE=" + mode + " -v N=34 -f faulty.awk"},
                    {"Evaluator timeout", "1"},
                    {"Encoding", "integer"},
                    {"Gene size", "1"},
                    {"Chromosome length", "8"},
                    {"Population size", "6"},
                    {"Generations number", "3"},
                    {"Selection type", "tournament"},
                    {"Mutation type", "bit-flip"}});
}

TEST(CommandEndToEnd, AFailingEvaluatorEndsTheExperimentWithTheFinishedRunsReported) {
    ScratchDir dir;
    writeFile("faulty.awk", kFaultyEvaluator);
    const std::vector<std::pair<std::string, std::string>> faults = {
        {"die", "exited with status 3 after answering 3 of the 6 individuals it was sent"},
        {"few", "exited with status 0 after answering 3 of the 6 individuals it was sent"},
        {"junk", "answered \"twelve\", which is not a number"},
        {"nan", "answered \"nan\": a fitness cannot be NaN"},
        {"sleep", "sent no answer for 1 second \\(\"Evaluator timeout\"\\)"},
    };
    for (const auto& [mode, reason] : faults) {
        SCOPED_TRACE(mode);
        fs::remove("summary.log");
        writeFile("config.xml", faultyConfiguration(mode));
        const ProgramResult run = runProgram({"config.xml", "2"});
        EXPECT_EQ(run.status, 1);
        const std::regex message("valdrin: error: the problem could not evaluate individual 4 of generation 1 in "
                                 "run 1: the evaluator \"awk [^\"]+\" " +
                                 reason + "; the report covers 1 of 2 runs\n");
        EXPECT_TRUE(std::regex_search(run.err, message)) << run.err;
        EXPECT_NE(readFile("summary.log").find("1 of 2 runs"), std::string::npos);
    }
}

TEST(CommandEndToEnd, WhatCannotRunIsRefusedBeforeAnythingIsWritten) {
    ScratchDir dir;
    const std::vector<std::pair<std::string, std::string>> onemax = {
        {"Encoding", "integer"}, {"Gene size", "1"}, {"Selection type", "tournament"}};
    const auto with = [&onemax](std::vector<std::pair<std::string, std::string>> more) {
        more.insert(more.end(), onemax.begin(), onemax.end());
        return testing::gaConfiguration("Command", more);
    };
    const std::vector<std::pair<std::string, std::string>> refusals = {
        {testing::gaConfiguration("Command", onemax), "the \"Command\" problem needs an \"Evaluator command\""},
        {with({{"Evaluator command", "cat"}, {"Evaluator timeout", "0"}}), "\"Evaluator timeout\" is 0; the evaluator"},
        {with({{"Evaluator command", "LANG=C pyhton3 fitness.py"}}),
         "\"Evaluator command\" runs \"pyhton3\", which cannot be found: it is neither a command of /bin/sh nor a "
         "program on the PATH"},
        {with({{"Evaluator command", "/nonexistent/fitness"}}), "which does not exist (looked for /nonexistent/fitness)"},
        {testing::gaConfiguration("Command", {{"Evaluator command", "cat"}, {"Encoding", "regulatory network"}}),
         "\"Command\" cannot evaluate the regulatory network encoding"},
    };
    for (const auto& [configuration, message] : refusals) {
        SCOPED_TRACE(message);
        writeFile("config.xml", configuration);
        const ProgramResult run = runProgram({"config.xml", "--out", "out"});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(fileExists("out"));
    }

    // A program named by a path is looked for from the configuration's folder, wherever the
    // working folder is.
    fs::create_directories("experiment");
    writeFile("experiment/fitness.sh", "cat\n");
    fs::permissions("experiment/fitness.sh", fs::perms::owner_exec, fs::perm_options::add);
    writeFile("experiment/config.xml", with({{"Evaluator command", "./fitness.sh"}}));
    EXPECT_FALSE(hasErrors(checkConfigurationFile("experiment/config.xml")));
    writeFile("experiment/config.xml", with({{"Evaluator command", "./fitnes.sh"}}));
    const std::vector<Finding> missing = checkConfigurationFile("experiment/config.xml");
    ASSERT_EQ(missing.size(), 1U);
    EXPECT_NE(missing[0].message.find("which does not exist (looked for experiment/./fitnes.sh)"), std::string::npos)
        << missing[0].message;
}

// A sweep gives every experiment the evaluator's files named in the base's command (here
// onemax.awk, beside the base), on this machine and on hosts: the results agree.
TEST(CommandEndToEnd, ASweepTakesTheEvaluatorsFilesToEveryExperiment) {
    ScratchDir scratch;
    fs::create_directories("base");
    fs::create_directories("h1");
    fs::copy_file(kSourceDir / "examples/evaluators/onemax.awk", "base/onemax.awk");
    writeFile("base/base.xml", readFile((kSourceDir / "examples/evaluators/onemax-awk.xml").string()));
    const std::string ssh = testing::writeStandInSsh("fake-ssh");
    writeFile("hosts", "2/" + ssh + " h1\n");
    const std::vector<std::string> grid = {"base/base.xml", "--set", "Generations number=5,8", "--seeds", "1"};
    auto remote = grid;
    remote.insert(remote.end(), {"--hosts", "hosts", "--out", "remote"});
    auto local = grid;
    local.insert(local.end(), {"--out", "local"});
    const auto remoteRun = testing::runSweepProgram(remote);
    ASSERT_EQ(remoteRun.status, 0) << remoteRun.err;
    ASSERT_EQ(testing::runSweepProgram(local).status, 0);
    EXPECT_TRUE(fileExists("local/experiments/1_5_seed1/onemax.awk"));
    const std::string query = "SELECT experiment_id, run, evaluations, final_best_fitness FROM runs ORDER BY 1, 2";
    EXPECT_EQ(testing::queryRows("remote/results.sqlite", query), testing::queryRows("local/results.sqlite", query));
    EXPECT_EQ(testing::queryRows("local/results.sqlite", "SELECT count(*) FROM runs"),
              (std::vector<std::vector<std::string>>{{"2"}}));
}

}  // namespace
}  // namespace Valdrin
