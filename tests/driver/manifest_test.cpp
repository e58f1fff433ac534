// manifest.json's pieces: the masking of measured durations in the hashes, the comparison that
// names the first differing line, the arguments of a re-run and the sample of a sweep.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "driver/manifest.h"
#include "driver/verify.h"
#include "support/test_support.h"
#include "sweep/sweep_verify.h"

namespace Valdrin {
namespace {

using testing::ScratchDir;
using testing::writeFile;

// The masked hash of a text written under that name.
std::string maskedSum(const std::string& name, const std::string& text) {
    writeFile(name, text);
    return maskedFileSha256(name);
}

// Pairs of versions of each file that records durations: the second differs from the first only
// in measured durations (the hashes must agree) and the third in one result beside them (they
// must not).
TEST(Manifest, HashesIgnoreMeasuredDurationsAndNothingElse) {
    ScratchDir scratch;
    struct Versions {
        std::string name;
        std::string first;
        std::string timed;
        std::string changed;
    };
    const std::vector<Versions> files = {
        {"ga.log", "Run # 0\nbest: 3\nRun duration: 0.125 seconds\n", "Run # 0\nbest: 3\nRun duration: 7.5 seconds\n",
         "Run # 0\nbest: 4\nRun duration: 0.125 seconds\n"},
        {"summary.log",
         "\n#\tTimes:\n1:\t0.5\n2:\t0.25\nMean:\t0.375\nDeviation:\t0.01\n\n#\tConvergence times:\n1:\t12\n"
         "\n#\tTime\tGenerations\tFE\n1:\t0.5\t40\t800\n\nMean time:\t0.5\nTime deviation:\t0\n",
         "\n#\tTimes:\n1:\t9\n2:\t1e-05\nMean:\t4.5\nDeviation:\t2\n\n#\tConvergence times:\n1:\t12\n"
         "\n#\tTime\tGenerations\tFE\n1:\t3.25\t40\t800\n\nMean time:\t3.25\nTime deviation:\t1\n",
         // The convergence generation follows the times and is no duration.
         "\n#\tTimes:\n1:\t0.5\n2:\t0.25\nMean:\t0.375\nDeviation:\t0.01\n\n#\tConvergence times:\n1:\t13\n"
         "\n#\tTime\tGenerations\tFE\n1:\t0.5\t40\t800\n\nMean time:\t0.5\nTime deviation:\t0\n"},
        {"runs.csv", "run,generations,duration_s,solved,time_to_solution_s,best\n1,10,0.5,1,0.25,3\n2,10,0.5,0,,4\n",
         "run,generations,duration_s,solved,time_to_solution_s,best\n1,10,2.5,1,0.75,3\n2,10,0.125,0,,4\n",
         "run,generations,duration_s,solved,time_to_solution_s,best\n1,10,0.5,1,0.25,3\n2,10,0.5,0,,5\n"},
        {"report.html",
         "<tr data-run=\"1\" data-final-best=\"3\" data-duration=\"0.5\"><td>1</td><td>3</td><td>0.5</td></tr>\n",
         "<tr data-run=\"1\" data-final-best=\"3\" data-duration=\"12\"><td>1</td><td>3</td><td>12</td></tr>\n",
         "<tr data-run=\"1\" data-final-best=\"2\" data-duration=\"0.5\"><td>1</td><td>2</td><td>0.5</td></tr>\n"},
    };
    for (const Versions& file : files) {
        SCOPED_TRACE(file.name);
        const std::string first = maskedSum(file.name, file.first);
        ASSERT_EQ(first.size(), 64U);
        EXPECT_EQ(maskedSum(file.name, file.timed), first);
        EXPECT_NE(maskedSum(file.name, file.changed), first);
    }
    // Elsewhere a "duration" is a result like any other.
    EXPECT_NE(maskedSum("generations.csv", "run,duration_s\n1,0.5\n"), maskedSum("generations.csv", "run,duration_s\n1,0.6\n"));
    // A plain file's hash is that of its bytes, and a missing line break counts.
    EXPECT_EQ(maskedSum("plain.txt", "abc"), sha256Of("abc"));
    EXPECT_NE(maskedSum("plain.txt", "abc\n"), sha256Of("abc"));
    EXPECT_EQ(sha256Of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

// The files are hashed block by block: lines cut by a block's end are masked and hashed whole.
TEST(Manifest, LongFilesHashAsTheirWholeText) {
    ScratchDir scratch;
    std::string plain;
    std::string timed;
    std::string blanked;
    for (int i = 0; plain.size() < 300000; ++i) {
        const std::string line = "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 97), 'x') + "\n";
        plain += line;
        timed += line + "Run duration: " + std::to_string(i) + ".5 seconds\n";
        blanked += line + "Run duration: T seconds\n";
    }
    EXPECT_EQ(maskedSum("long.txt", plain), sha256Of(plain));
    EXPECT_EQ(maskedSum("long.txt", plain + "tail"), sha256Of(plain + "tail"));
    EXPECT_EQ(fileSha256("long.txt"), sha256Of(plain + "tail"));
    EXPECT_EQ(maskedSum("ga.log", timed), sha256Of(blanked));
}

TEST(Manifest, ReadsBackWhatItWritesAndRefusesOtherText) {
    Manifest manifest;
    manifest.version = "9.9";
    manifest.build = "a \"quoted\" build";
    manifest.arguments = {"my config.xml", "3", "--out", "r\\s"};
    manifest.workingFolder = "../..";
    manifest.configuration = {"my config.xml", std::string(64, 'a')};
    manifest.inputs = {{"matrix.txt", std::string(64, 'b')}};
    manifest.seed = 4294967295U;
    manifest.seedFromClock = true;
    manifest.outputs = {{"ga.log", std::string(64, 'c')}, {"ioh/x.dat", std::string(64, 'd')}};
    const Manifest read = parseManifest(manifestText(manifest));
    EXPECT_EQ(manifestText(read), manifestText(manifest));
    EXPECT_EQ(read.arguments, manifest.arguments);
    EXPECT_EQ(read.seed, manifest.seed);
    EXPECT_TRUE(read.seedFromClock);
    ASSERT_EQ(read.outputs.size(), 2U);
    EXPECT_EQ(read.outputs[1].path, "ioh/x.dat");

    EXPECT_THROW(parseManifest("not json"), std::runtime_error);
    EXPECT_THROW(parseManifest("{\"format\": 1}"), std::runtime_error);
    std::string later = manifestText(manifest);
    later.replace(later.find("\"format\": 1"), 11, "\"format\": 2");
    EXPECT_THROW(parseManifest(later), std::runtime_error);
}

TEST(Manifest, FirstDifferenceNamesTheLineAndIgnoresDurations) {
    ScratchDir scratch;
    std::filesystem::create_directories("a");
    std::filesystem::create_directories("b");
    EXPECT_EQ(firstDifference("a/ga.log", "b/ga.log"), "cannot be read");
    writeFile("a/ga.log", "one\nRun duration: 1 seconds\nthree\nfour\n");
    writeFile("b/ga.log", "one\nRun duration: 2 seconds\nthree\nfour\n");
    EXPECT_EQ(firstDifference("a/ga.log", "b/ga.log"), "");
    writeFile("b/ga.log", "one\nRun duration: 2 seconds\nTHREE\nfour\n");
    EXPECT_EQ(firstDifference("a/ga.log", "b/ga.log"),
              "differs at line 3: the folder's file has \"three\", the re-run's \"THREE\"");
    writeFile("b/ga.log", "one\nRun duration: 1 seconds\nthree\n");
    EXPECT_EQ(firstDifference("a/ga.log", "b/ga.log"),
              "differs at line 4: the folder's file has \"four\", the re-run's ends before it");
    writeFile("b/ga.log", "one\nRun duration: 1 seconds\nthree\nfour\nfive\n");
    EXPECT_EQ(firstDifference("a/ga.log", "b/ga.log"),
              "differs at line 5: the folder's file has ended, the re-run's has \"five\"");
    writeFile("b/ga.log", "one\nRun duration: 1 seconds\nthree\nfour");
    EXPECT_NE(firstDifference("a/ga.log", "b/ga.log").find("line 4"), std::string::npos);
}

// A re-run must write nowhere but the scratch folder: not into the experiment's folder, not
// over its checkpoint, not into an IOHprofiler folder elsewhere.
TEST(Manifest, ReRunWritesOnlyIntoTheScratchFolder) {
    const std::vector<std::string> recorded = {"config.xml", "2",      "--out",     "results", "--checkpoint=c.bin",
                                               "--every",    "5",      "--resume",  "c.bin",   "--ioh",
                                               "/data/ioh",  "--ioh=x", "--progress", "--csv"};
    const std::vector<std::string> expected = {"config.xml", "2",  "--ioh", "/scratch/elsewhere", "--ioh", "x",
                                               "--csv",      "--out", "/scratch/out", "--quiet"};
    EXPECT_EQ(rerunArguments(recorded, "/scratch/out", "/scratch/elsewhere"), expected);
    const std::vector<std::string> quiet = {"c.xml", "--quiet", "--out=r"};
    EXPECT_EQ(rerunArguments(quiet, "/s", "/e"), (std::vector<std::string>{"c.xml", "--quiet", "--out", "/s"}));
}

TEST(Manifest, SweepSampleIsSpreadDistinctAndWithinTheExperiments) {
    for (std::size_t count : {1U, 2U, 7U, 100U}) {
        for (std::size_t sample : {1U, 3U, 7U, 150U}) {
            const std::vector<std::size_t> places = samplePlaces(count, sample);
            ASSERT_EQ(places.size(), std::min(count, sample));
            EXPECT_EQ(places.front(), 0U);
            EXPECT_EQ(std::set<std::size_t>(places.begin(), places.end()).size(), places.size());
            EXPECT_LT(places.back(), count);
        }
    }
    EXPECT_EQ(samplePlaces(10, 2), (std::vector<std::size_t>{0, 5}));
    EXPECT_TRUE(samplePlaces(0, 3).empty());
}

}  // namespace
}  // namespace Valdrin
