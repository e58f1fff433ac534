// End-to-end checks of manifest.json and --verify: an untouched experiment folder reproduces, a
// changed output file is named with its first differing line, a changed input stops the check
// before anything runs; and a sweep's sample is checked the same way.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::ProgramResult;
using testing::readFile;
using testing::runProgram;
using testing::ScratchDir;
using testing::writeFile;

const fs::path kSourceDir = testing::sourceFolder();

// The lines of the text that start with the prefix.
std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : testing::splitLines(text)) {
        if (line.starts_with(prefix)) found.push_back(line);
    }
    return found;
}

// valdrin --verify FOLDER with TMPDIR set to the (made) folder temporary, where its scratch
// folder goes; TMPDIR is restored afterwards.
ProgramResult verifyWithTemporary(const std::string& folder, const fs::path& temporary) {
    fs::create_directories(temporary);
    const char* before = std::getenv("TMPDIR");
    const std::string saved = before != nullptr ? before : "";
    setenv("TMPDIR", fs::absolute(temporary).c_str(), 1);
    const ProgramResult verified = runProgram({"--verify", folder});
    if (before != nullptr) setenv("TMPDIR", saved.c_str(), 1);
    else unsetenv("TMPDIR");
    return verified;
}

// The submatrix example (its data file matrix.txt is an input beside the configuration), run from
// the folder "work" with its configuration in "work/setup" and its files in "work/results/one":
// the manifest's paths lead from the folder to the inputs whatever folder --verify starts in.
class VerifyExperiment : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories("work/setup");
        const fs::path example = kSourceDir / "examples" / "submatrix-list";
        fs::copy_file(example / "config.xml", "work/setup/config.xml");
        fs::copy_file(example / "matrix.txt", "work/matrix.txt");
        fs::current_path("work");
        const ProgramResult run =
            runProgram({"setup/config.xml", "2", "--out", "results/one", "--csv", "--report", "--ioh", "ioh"});
        fs::current_path("..");
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_TRUE(fs::is_regular_file("work/results/one/manifest.json"));
    }

    ScratchDir scratch_;
};

TEST_F(VerifyExperiment, AnUntouchedFolderReproducesFileByFile) {
    // The scratch folder of the re-run goes where TMPDIR says, and goes away.
    const ProgramResult verified = verifyWithTemporary("work/results/one", "temporary");
    EXPECT_TRUE(fs::is_empty("temporary"));
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    // Every file the experiment wrote, the problem's log and the IOHprofiler files included.
    for (const std::string name : {"ga.log", "summary.log", "runs.csv", "generations.csv", "report.html",
                                   "submatrix.log", "ioh/IOHprofiler_f"}) {
        const std::vector<std::string> lines = linesStartingWith(verified.out, name);
        ASSERT_FALSE(lines.empty()) << name << " is not checked:\n" << verified.out;
        EXPECT_TRUE(lines.front().ends_with(": same")) << lines.front();
    }
    EXPECT_NE(verified.out.find(" files reproduce\n"), std::string::npos);
    const std::string manifest = readFile("work/results/one/manifest.json");
    EXPECT_NE(manifest.find("\"matrix.txt\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("\"working_folder\": \"../..\""), std::string::npos) << manifest;
}

TEST_F(VerifyExperiment, AChangedOutputFileIsNamedWithItsFirstDifferingLine) {
    std::vector<std::string> lines = testing::splitLines(readFile("work/results/one/runs.csv"));
    ASSERT_GE(lines.size(), 3U);
    lines[2] += "0";
    std::string changed;
    for (const std::string& line : lines) changed += line + "\n";
    writeFile("work/results/one/runs.csv", changed);

    const ProgramResult verified = runProgram({"--verify", "work/results/one"});
    EXPECT_EQ(verified.status, 1) << verified.out << verified.err;
    const std::vector<std::string> reported = linesStartingWith(verified.out, "runs.csv: ");
    ASSERT_EQ(reported.size(), 1U) << verified.out;
    EXPECT_TRUE(reported[0].starts_with("runs.csv: differs at line 3: the folder's file has \"" + lines[2] + "\""))
        << reported[0];
    EXPECT_EQ(linesStartingWith(verified.out, "summary.log: same").size(), 1U) << verified.out;
    EXPECT_NE(verified.out.find("does not reproduce"), std::string::npos);
}

TEST_F(VerifyExperiment, AChangedInputStopsTheCheckBeforeAnythingRuns) {
    writeFile("work/matrix.txt", readFile("work/matrix.txt") + "\n");
    const ProgramResult verified = runProgram({"--verify", "work/results/one"});
    EXPECT_EQ(verified.status, 1);
    EXPECT_NE(verified.err.find("the input work/matrix.txt changed since the experiment ran"), std::string::npos)
        << verified.err;
    EXPECT_EQ(verified.out, "");
}

TEST(Verify, OnlyAnExperimentFolderWithAManifestIsChecked) {
    ScratchDir scratch;
    fs::copy_file(kSourceDir / "examples" / "onemax" / "config.xml", "config.xml");
    // Without --out (and without --manifest) the experiment writes what it always wrote.
    ASSERT_EQ(runProgram({"config.xml", "1"}).status, 0);
    EXPECT_FALSE(fs::exists("manifest.json"));
    const ProgramResult none = runProgram({"--verify", "."});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("holds no readable manifest.json"), std::string::npos) << none.err;
    EXPECT_EQ(runProgram({"--verify", ".", "config.xml"}).status, 2);

    // A seed taken from the calendar cannot be drawn again: said so, not reported as a difference.
    std::string configuration = readFile("config.xml");
    const std::size_t seed = configuration.find("<value>12345</value>");
    ASSERT_NE(seed, std::string::npos);
    writeFile("config.xml", configuration.replace(seed, 20, "<value>0</value>"));
    ASSERT_EQ(runProgram({"config.xml", "1", "--out", "clock"}).status, 0);
    const ProgramResult clock = runProgram({"--verify", "clock"});
    EXPECT_EQ(clock.status, 1);
    EXPECT_NE(clock.err.find("calendar time"), std::string::npos) << clock.err;
}

// A configuration above the working folder is found, and re-read, at the same place relative to it.
TEST(Verify, InputsAboveTheWorkingFolderAreReRunFromTheSamePlace) {
    ScratchDir scratch;
    fs::create_directories("shared/deep");
    fs::create_directories("runs/here");
    fs::copy_file(kSourceDir / "examples" / "onemax" / "config.xml", "shared/deep/config.xml");
    fs::current_path("runs/here");
    const ProgramResult run = runProgram({"../../shared/deep/config.xml", "2", "--out", "out", "--csv"});
    fs::current_path("../..");
    ASSERT_EQ(run.status, 0) << run.err;
    // Nothing is copied outside the scratch folder, which goes away.
    const ProgramResult verified = verifyWithTemporary("runs/here/out", "temporary");
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    EXPECT_NE(verified.out.find("runs.csv: same"), std::string::npos) << verified.out;
    EXPECT_TRUE(fs::is_empty("temporary"));
}

// A folder written again by an experiment that solves nothing keeps the earlier one's
// solution.log: the manifest describes only what the last experiment wrote, which reproduces.
TEST(Verify, AFolderWrittenAgainIsDescribedByItsLastExperiment) {
    ScratchDir scratch;
    fs::copy_file(kSourceDir / "examples" / "onemax" / "config.xml", "config.xml");
    ASSERT_EQ(runProgram({"config.xml", "2", "--out", "out"}).status, 0);
    ASSERT_TRUE(fs::exists("out/solution.log"));
    std::string configuration = readFile("config.xml");
    const std::size_t level = configuration.find("<name>Error level</name><value>");
    ASSERT_NE(level, std::string::npos);
    const std::size_t value = configuration.find("<value>", level) + 7;
    writeFile("config.xml", configuration.substr(0, value) + "-" + configuration.substr(value));
    ASSERT_EQ(runProgram({"config.xml", "2", "--out", "out"}).status, 0);
    ASSERT_TRUE(fs::exists("out/solution.log"));
    EXPECT_EQ(readFile("out/manifest.json").find("solution.log"), std::string::npos);
    const ProgramResult verified = runProgram({"--verify", "out"});
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
}

TEST(VerifySweep, ASampleOfTheSweepIsReRunAndAChangedOneIsFound) {
    ScratchDir scratch;
    fs::copy_file(kSourceDir / "examples" / "onemax" / "config.xml", "base.xml");
    const ProgramResult sweep = testing::runSweepProgram({"base.xml", "--seeds", "1-4", "--out", "s"});
    ASSERT_EQ(sweep.status, 0) << sweep.err;
    std::vector<fs::path> experiments;
    for (const auto& entry : fs::directory_iterator("s/experiments")) experiments.push_back(entry.path());
    std::sort(experiments.begin(), experiments.end());
    ASSERT_EQ(experiments.size(), 4U);
    for (const fs::path& folder : experiments) EXPECT_TRUE(fs::is_regular_file(folder / "manifest.json")) << folder;

    // Two of four: the first and the third. A change to the second goes unseen.
    writeFile((experiments[1] / "summary.log").string(), "changed\n");
    const ProgramResult sampled = testing::runSweepProgram({"--verify", "s", "--sample", "2"});
    EXPECT_EQ(sampled.status, 0) << sampled.out << sampled.err;
    EXPECT_NE(sampled.out.find("2 of 2 experiments checked reproduce"), std::string::npos) << sampled.out;

    writeFile((experiments[2] / "ga.log").string(), "changed\n");
    const ProgramResult found = testing::runSweepProgram({"--verify", "s", "--sample", "2"});
    EXPECT_EQ(found.status, 1) << found.out << found.err;
    EXPECT_NE(found.out.find("ga.log: differs at line 1: the folder's file has \"changed\""), std::string::npos)
        << found.out;
    EXPECT_NE(found.out.find("1 of 2 experiments checked reproduce"), std::string::npos) << found.out;

    const ProgramResult all = testing::runSweepProgram({"--verify", "s"});
    EXPECT_EQ(all.status, 1);
    EXPECT_NE(all.out.find("2 of 4 experiments checked reproduce"), std::string::npos) << all.out;
    EXPECT_EQ(testing::runSweepProgram({"--verify", "experiments"}).status, 2);
}

}  // namespace
}  // namespace Valdrin
