// One writer at a time, end to end: while an experiment runs, a second one in its folder, or one
// that names its checkpoint file from another folder, is refused with the holder's process id and
// writes nothing; a holder killed with SIGKILL blocks nobody; the lock files go when an experiment
// ends. A sweep's folder takes one sweep at a time (and no experiment of its own), while its
// experiments run in their folders inside it, and --resume does not reset an experiment that
// still runs.
#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::BackgroundRun;
using testing::ProgramResult;
using testing::readFile;
using testing::runProgram;
using testing::ScratchDir;
using testing::writeFile;

// A GA on the sphere function: with many generations, an experiment that runs until it is
// stopped.
std::string sphere(const std::string& generations) {
    return testing::gaConfiguration("Sphere", {{"Encoding", "real"},
                                               {"Chromosome length", "3"},
                                               {"Population size", "40"},
                                               {"Generations number", generations},
                                               {"Selection type", "tournament"},
                                               {"Crossover type", "SBX"},
                                               {"Mutation type", "gaussian"},
                                               {"Mutation rate", "0.3"},
                                               {"RNG seed", "12345"}});
}

// Waits (30 seconds at most) until the lock file names the process.
bool heldBy(const fs::path& lockFile, int pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        if (readFile(lockFile.string()).rfind(std::to_string(pid) + " ", 0) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

TEST(OneWriter, ASecondExperimentOnTheSameFolderOrCheckpointIsRefusedAndAKilledOneBlocksNobody) {
    ScratchDir dir;
    writeFile("config.xml", sphere("1000000"));
    const std::string shared = (fs::current_path() / "shared.ckpt").string();
    BackgroundRun first({"config.xml", "--out", "same", "--checkpoint", shared});
    ASSERT_TRUE(heldBy("same/.valdrin.lock", first.pid()));
    ASSERT_TRUE(heldBy(shared + ".lock", first.pid()));
    const std::string holder = "valdrin (process " + std::to_string(first.pid()) + ")";

    const ProgramResult sameFolder = runProgram({"config.xml", "--out", "same"});
    EXPECT_EQ(sameFolder.status, 1);
    EXPECT_EQ(sameFolder.out, "");
    EXPECT_EQ(sameFolder.err, "valdrin: error: the folder same is in use by " + holder +
                                  ": one experiment writes in a folder at a time; wait for it to end, or choose "
                                  "another --out\n");

    // Another folder, the same checkpoint file: refused, and the folder made for it goes again.
    const ProgramResult sameCheckpoint = runProgram({"config.xml", "--out", "other", "--checkpoint", shared});
    EXPECT_EQ(sameCheckpoint.status, 1);
    EXPECT_EQ(sameCheckpoint.err, "valdrin: error: the checkpoint file " + shared + " is in use by " + holder +
                                      ": one experiment writes a checkpoint file at a time; wait for it to end, or "
                                      "give another --checkpoint\n");
    EXPECT_FALSE(fs::exists("other"));

    // Killed, the holder leaves its lock files behind, and they block nobody.
    first.signal(SIGKILL);
    first.wait();
    ASSERT_TRUE(fs::exists("same/.valdrin.lock"));
    writeFile("config.xml", sphere("20"));
    const ProgramResult after = runProgram({"config.xml", "--out", "same", "--checkpoint", shared});
    EXPECT_EQ(after.status, 0) << after.err;
    EXPECT_FALSE(fs::exists("same/.valdrin.lock"));
    EXPECT_FALSE(fs::exists(shared + ".lock"));
}

// Stops the sweep it was given with SIGTERM when the test leaves, as a person's Ctrl-C would: the
// sweep then stops parallel and its experiments.
struct SweepStopper {
    BackgroundRun& sweep;
    ~SweepStopper() {
        sweep.signal(SIGTERM);
        sweep.wait();
    }
};

TEST(OneWriter, ASweepsFolderTakesOneSweepWhileItsExperimentsWriteInTheirOwnFolders) {
    ScratchDir dir;
    writeFile("base.xml", sphere("1000000"));
    const std::vector<std::string> sweepLine = {"base.xml", "--seeds", "1-2", "--runs", "1", "--jobs", "1", "--out", "s"};
    const fs::path folder = fs::current_path() / "s";
    fs::path experiment;
    {
        BackgroundRun sweep(VALDRIN_SWEEP_EXECUTABLE, sweepLine, "sweep");
        const SweepStopper stopper{sweep};
        ASSERT_TRUE(heldBy(folder / ".valdrin.lock", sweep.pid()));
        // The first experiment runs in its own folder under the sweep's lock.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (experiment.empty() && std::chrono::steady_clock::now() < deadline) {
            if (fs::is_directory(folder / "experiments")) {
                for (const auto& entry : fs::directory_iterator(folder / "experiments")) {
                    if (fs::exists(entry.path() / ".valdrin.lock")) experiment = entry.path();
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_FALSE(experiment.empty()) << "no experiment of the sweep started";

        const std::string holder = "valdrin-sweep (process " + std::to_string(sweep.pid()) + ")";
        std::vector<std::string> resumeLine = sweepLine;
        resumeLine.push_back("--resume");
        const ProgramResult resumed = testing::runSweepProgram(resumeLine);
        EXPECT_EQ(resumed.status, 1);
        EXPECT_NE(resumed.err.find("valdrin-sweep: error: the folder " + folder.string() + " is in use by " + holder +
                                   ": one program writes in a folder at a time; wait for it to end (--resume then "
                                   "goes on with the sweep), or choose another --out\n"),
                  std::string::npos)
            << resumed.err;
        const ProgramResult intruder = runProgram({"base.xml", "--out", "s"});
        EXPECT_EQ(intruder.status, 1);
        EXPECT_NE(intruder.err.find("the folder s is in use by " + holder), std::string::npos) << intruder.err;
    }

    // The sweep stopped; an experiment still running in its folder (as one left by a sweep that
    // was killed would be) is not reset by --resume.
    const fs::path home = fs::current_path();
    fs::current_path(experiment);
    BackgroundRun leftover({"config.xml", "1"}, "leftover");
    fs::current_path(home);
    ASSERT_TRUE(heldBy(experiment / ".valdrin.lock", leftover.pid()));
    std::vector<std::string> resumeLine = sweepLine;
    resumeLine.push_back("--resume");
    const ProgramResult resumed = testing::runSweepProgram(resumeLine);
    EXPECT_EQ(resumed.status, 1);
    EXPECT_NE(resumed.err.find("'s folder " + experiment.string() + " is in use by valdrin (process " +
                               std::to_string(leftover.pid()) + "): it still runs"),
              std::string::npos)
        << resumed.err;
    EXPECT_TRUE(fs::exists(experiment / "config.xml"));
    EXPECT_TRUE(leftover.running());
}

}  // namespace
}  // namespace Valdrin
