// End-to-end runs of the built program on the mistakes users make: each must end with the right
// exit status and a plain line saying what went wrong, and nothing may be lost in silence.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

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

using Parameters = std::vector<std::pair<std::string, std::string>>;

const Parameters kOneMax = {{"Encoding", "integer"},      {"Chromosome length", "16"},  {"Population size", "10"},
                            {"Generations number", "20"}, {"Selection type", "tournament"},
                            {"Crossover type", "2-point"}, {"Mutation type", "bit-flip"}, {"RNG seed", "3"}};

Parameters with(Parameters parameters, const std::string& key, const std::string& value) {
    for (auto& entry : parameters) {
        if (entry.first == key) {
            entry.second = value;
            return parameters;
        }
    }
    parameters.push_back({key, value});
    return parameters;
}

bool mentions(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Runs the program under `timeout`, which sends the signal after the given seconds; the program's
// own status is kept.
ProgramResult runInterrupted(const std::string& signal, const std::string& seconds, const std::vector<std::string>& args) {
    // --foreground: the signal goes to the program alone, once (not also to the process group).
    std::vector<std::string> wrapped = {"--foreground", "--preserve-status", "-s", signal, seconds};
#ifdef VALDRIN_EXECUTABLE
    wrapped.push_back(VALDRIN_EXECUTABLE);
#endif
    for (const auto& argument : args) wrapped.push_back(argument);
    return testing::runCommand("timeout", wrapped);
}

TEST(FailuresEndToEnd, MistakesInTheConfigurationAreNamedWithTheirLines) {
    ScratchDir dir;
    // A misspelt key and a mis-cased word still run as before, with a warning each.
    writeFile("config.xml", testing::gaConfiguration("Onemax", with(with(kOneMax, "Population Size", "30"), "Niching type",
                                                         "Sharing")));
    const ProgramResult warned = runProgram({"config.xml"});
    EXPECT_EQ(warned.status, 0) << warned.err;
    EXPECT_TRUE(mentions(warned.err, "valdrin: warning: config.xml:13: unknown key \"Population Size\" (did you mean "
                                     "\"Population size\"?)"))
        << warned.err;
    EXPECT_TRUE(mentions(warned.err, "(did you mean \"sharing\"?)")) << warned.err;
    EXPECT_TRUE(fileExists("summary.log"));

    // --strict makes the same warnings errors: nothing runs.
    fs::remove("summary.log");
    fs::remove("ga.log");
    const ProgramResult strict = runProgram({"config.xml", "--strict"});
    EXPECT_EQ(strict.status, 1);
    EXPECT_TRUE(mentions(strict.err, "valdrin: error: config.xml:13: unknown key")) << strict.err;
    EXPECT_EQ(strict.out, "");
    EXPECT_FALSE(fileExists("summary.log"));

    // A missing <value> would shift every later value onto the wrong key.
    std::string shifted = testing::gaConfiguration("Onemax", kOneMax);
    shifted.replace(shifted.find("<value>20</value>"), 17, "");
    writeFile("config.xml", shifted);
    const ProgramResult unpaired = runProgram({"config.xml"});
    EXPECT_EQ(unpaired.status, 1);
    EXPECT_TRUE(std::regex_search(unpaired.err, std::regex("valdrin: error: config.xml:[0-9]+: .*Generations number")))
        << unpaired.err;
    EXPECT_FALSE(fileExists("ga.log"));

    // An unclosed and a mismatched tag.
    std::string broken = testing::gaConfiguration("Onemax", kOneMax);
    broken.replace(broken.find("</problem>"), 10, "</problme>");
    writeFile("config.xml", broken);
    const ProgramResult mismatched = runProgram({"config.xml"});
    EXPECT_EQ(mismatched.status, 1);
    EXPECT_TRUE(mentions(mismatched.err, "valdrin: error: config.xml:4: the closing tag </problme> does not match <problem>")) << mismatched.err;

    // Numbers that are not wholly numbers, or too large for their field.
    for (const auto& [key, value] : Parameters{{"Population size", "1e3"},
                                               {"Generations number", "3x"},
                                               {"Chromosome length", "99999999999"},
                                               {"Children number", "99999999999"},
                                               {"Mutation rate", "..1"}}) {
        writeFile("config.xml", testing::gaConfiguration("Onemax", with(kOneMax, key, value)));
        const ProgramResult refused = runProgram({"config.xml"});
        EXPECT_EQ(refused.status, 1) << key << " = " << value;
        EXPECT_TRUE(mentions(refused.err, "valdrin: error: config.xml:")) << refused.err;
        EXPECT_TRUE(mentions(refused.err, value)) << refused.err;
        EXPECT_EQ(refused.out, "") << key;
    }

    // --check runs nothing: the effective parameters, the findings, and the status.
    writeFile("config.xml", testing::gaConfiguration("Onemax", with(kOneMax, "RNG seed", "40000")));
    const ProgramResult checked = runProgram({"--check", "config.xml"});
    EXPECT_EQ(checked.status, 0);
    EXPECT_TRUE(mentions(checked.out, "Population size = 10\n")) << checked.out;
    EXPECT_TRUE(mentions(checked.err, "valdrin: warning: config.xml:")) << checked.err;
    EXPECT_TRUE(mentions(checked.err, "7232")) << checked.err;  // the smaller seed giving the same run
    EXPECT_FALSE(fileExists("ga.log"));
}

TEST(FailuresEndToEnd, TheCommandLineIsReadAsACommandLine) {
    ScratchDir dir;
    writeFile("config.xml", testing::gaConfiguration("Onemax", kOneMax));
    for (const std::string runs : {"ten", "3x", "99999999999", "0"}) {
        const ProgramResult misused = runProgram({"config.xml", runs});
        EXPECT_EQ(misused.status, 2) << runs;
        EXPECT_EQ(misused.err.rfind("valdrin: error: RUNS must be", 0), 0u) << misused.err;
        EXPECT_FALSE(fileExists("ga.log")) << runs;
    }
    for (const std::string option : {"--help", "-h", "--version"}) {
        const ProgramResult shown = runProgram({option});
        EXPECT_EQ(shown.status, 0) << option;
        EXPECT_TRUE(mentions(shown.out, "valdrin")) << option;
        EXPECT_FALSE(fileExists("ga.log")) << option;
    }
    EXPECT_EQ(runProgram({"--no-such-option"}).status, 2);

    // --quiet: nothing on standard output, the files as always.
    const ProgramResult quiet = runProgram({"config.xml", "2", "--quiet"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_TRUE(fileExists("summary.log"));
    // The progress line appears only when asked for here (standard error is not a terminal).
    EXPECT_EQ(runProgram({"config.xml", "2"}).err, "");
    const ProgramResult progress = runProgram({"config.xml", "2", "--progress"});
    EXPECT_TRUE(mentions(progress.err, "run 1 of 2, generation ")) << progress.err;
    // Not a terminal: plain lines, no control characters.
    EXPECT_FALSE(mentions(progress.err, "\033")) << progress.err;
}

TEST(FailuresEndToEnd, OutputsThatCannotBeWrittenAreReported) {
    ScratchDir dir;
    writeFile("config.xml", testing::gaConfiguration("Onemax", kOneMax));

    // --out into a path under a regular file.
    writeFile("plain-file", "x");
    const ProgramResult underFile = runProgram({"config.xml", "--out", "plain-file/results"});
    EXPECT_EQ(underFile.status, 1);
    EXPECT_TRUE(mentions(underFile.err, "valdrin: error: cannot create the output folder plain-file/results")) << underFile.err;
    EXPECT_EQ(underFile.out, "");

    // --out into a new folder writes everything there.
    const ProgramResult elsewhere = runProgram({"config.xml", "2", "--out", "results/a"});
    EXPECT_EQ(elsewhere.status, 0) << elsewhere.err;
    EXPECT_TRUE(fileExists("results/a/ga.log") && fileExists("results/a/summary.log"));
    EXPECT_FALSE(fileExists("ga.log") || fileExists("summary.log"));

    // A log name taken by a folder.
    fs::create_directory("ga.log");
    const ProgramResult folderLog = runProgram({"config.xml"});
    EXPECT_EQ(folderLog.status, 1);
    EXPECT_TRUE(mentions(folderLog.err, "valdrin: error: cannot write ga.log")) << folderLog.err;
    fs::remove("ga.log");
    // A report's name taken by a folder is refused before the log is opened (nothing is left
    // behind), runs.csv's too, rather than after the runs.
    fs::remove("ga.log");
    fs::create_directory("summary.log");
    const ProgramResult folderReport = runProgram({"config.xml"});
    EXPECT_EQ(folderReport.status, 1);
    EXPECT_TRUE(mentions(folderReport.err, "valdrin: error: cannot write summary.log: it is a folder")) << folderReport.err;
    EXPECT_FALSE(fileExists("ga.log"));
    fs::remove("summary.log");
    fs::create_directory("runs.csv");
    const ProgramResult folderCsv = runProgram({"config.xml", "--csv"});
    EXPECT_EQ(folderCsv.status, 1);
    EXPECT_EQ(folderCsv.out, "");
    EXPECT_TRUE(mentions(folderCsv.err, "valdrin: error: cannot write runs.csv: it is a folder")) << folderCsv.err;
    fs::remove("runs.csv");

    // A full disk: the log, then the report, leads to /dev/full.
    if (fs::exists("/dev/full")) {
        fs::remove("ga.log");
        fs::create_symlink("/dev/full", "ga.log");
        const ProgramResult fullLog = runProgram({"config.xml"});
        EXPECT_EQ(fullLog.status, 1);
        EXPECT_TRUE(mentions(fullLog.err, "valdrin: error: cannot write ga.log: No space left on device")) << fullLog.err;
        fs::remove("ga.log");
        fs::create_symlink("/dev/full", "summary.log");
        const ProgramResult fullReport = runProgram({"config.xml"});
        EXPECT_EQ(fullReport.status, 1);
        EXPECT_TRUE(mentions(fullReport.err, "valdrin: error: cannot write summary.log: No space left on device"))
            << fullReport.err;
        EXPECT_FALSE(fileExists("summary.log.part"));
    }
}

TEST(FailuresEndToEnd, ExperimentsThatCannotFitAreRefusedBeforeTheyStart) {
    ScratchDir dir;
    writeFile("config.xml", testing::gaConfiguration("Onemax", with(with(kOneMax, "Population size", "10000000"),
                                                         "Chromosome length", "1000")));
    const ProgramResult refused = runProgram({"config.xml"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(std::regex_search(refused.err, std::regex("valdrin: error: the experiment needs about [0-9.]+ [KMGT]B of "
                                                          "memory .* but only [0-9.]+ [KMGT]B is available")))
        << refused.err;
    EXPECT_FALSE(mentions(refused.out, "Run # 0"));
}

TEST(FailuresEndToEnd, AnInterruptedExperimentKeepsTheRunsThatFinished) {
    ScratchDir dir;
    // Runs of a fraction of a second each: several finish before the signal.
    writeFile("config.xml", testing::gaConfiguration("Onemax", with(with(with(kOneMax, "Chromosome length", "100"),
                                                              "Population size", "20"),
                                                         "Generations number", "50")));
    for (const auto& [signal, status] : std::vector<std::pair<std::string, int>>{{"TERM", 143}, {"INT", 130}}) {
        const ProgramResult stopped = runInterrupted(signal, "1.5", {"config.xml", "100000"});
        EXPECT_EQ(stopped.status, status) << signal << ": " << stopped.err;
        const std::smatch found = [&] {
            std::smatch match;
            std::regex_search(stopped.err, match, std::regex("the report covers ([0-9]+) of 100000 runs"));
            return match;
        }();
        ASSERT_FALSE(found.empty()) << stopped.err;
        const int finished = std::stoi(found[1]);
        EXPECT_GT(finished, 0);
        const std::string summary = readFile("summary.log");
        EXPECT_TRUE(mentions(summary, "#\tTimes:\n------------------\n"));
        EXPECT_TRUE(mentions(summary, std::string("\n").append(std::to_string(finished)).append(":\t")));
        EXPECT_FALSE(mentions(summary, std::string("\n").append(std::to_string(finished + 1)).append(":\t")));
        const std::string log = readFile("ga.log");
        EXPECT_EQ(log.back(), '\n');
        EXPECT_EQ(stopped.out.back(), '\n');
    }

    // A run that cannot end soon (10^6 generations of 4 individuals of 5,000 bits) starts at once
    // and stops in order, with no report since no run finished.
    fs::remove("summary.log");
    writeFile("config.xml",
              testing::gaConfiguration("Onemax", with(with(with(kOneMax, "Generations number", "1000000"),
                                                           "Population size", "4"),
                                                      "Chromosome length", "5000")));
    const ProgramResult endless = runInterrupted("TERM", "1", {"config.xml"});
    EXPECT_EQ(endless.status, 143) << endless.err;
    EXPECT_TRUE(mentions(endless.err, "before the first run finished: no report was written")) << endless.err;
    EXPECT_FALSE(fileExists("summary.log"));
}

}  // namespace
}  // namespace Valdrin

namespace Valdrin {
namespace {

// --check reads the submatrix task's matrix.txt as the run would: it shows what the data set,
// and a missing or malformed file is an error there, before anything runs.
TEST(SubmatrixCheck, TheCheckReadsTheDataAsTheRunWould) {
    testing::ScratchDir scratch;
    const std::filesystem::path example = testing::sourceFolder() / "examples" / "submatrix-list";
    testing::writeFile("config.xml", testing::readFile((example / "config.xml").string()));
    testing::writeFile("matrix.txt", testing::readFile((example / "matrix.txt").string()));
    const auto shown = testing::runProgram({"config.xml", "--check"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("Chromosome length = 6\nArity = 30\n"), std::string::npos) << shown.out;

    testing::writeFile("matrix.txt", "30 12\n0 1 x\n");
    const auto malformed = testing::runProgram({"config.xml", "--check"});
    EXPECT_EQ(malformed.status, 1);
    EXPECT_NE(malformed.err.find("config.xml:4: Submatrix reads its data from matrix.txt: "), std::string::npos)
        << malformed.err;
    std::filesystem::remove("matrix.txt");
    const auto missing = testing::runProgram({"config.xml"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("Can't open input file (matrix.txt)"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace Valdrin
