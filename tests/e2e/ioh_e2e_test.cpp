// The IOHprofiler files of the program end to end: the runs named by the experiment's operators,
// and an interrupted experiment that is resumed leaving the files of one that ran whole.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::runProgram;
using testing::splitLines;
using testing::writeFile;

// Interrupted after its first run, the experiment writes the IOHprofiler files over that run;
// resumed, over all four, in the same block: the folder ends as an uninterrupted experiment's.
TEST(IohEndToEnd, AnInterruptedExperimentResumedKeepsOneBlock) {
    testing::ScratchDir scratch;
    writeFile("config.xml", testing::realSphere("6000"));
    ASSERT_EQ(runProgram({"config.xml", "4", "--out", "whole", "--ioh", "ioh", "--quiet"}).status, 0);
    {
        testing::BackgroundRun run({"config.xml", "4", "--out", "cut", "--ioh", "ioh", "--checkpoint", "state.ckpt"});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (run.running() && run.outputSoFar().find("Run # 1\n.") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        run.signal(SIGINT);
        const testing::ProgramResult stopped = run.wait();
        ASSERT_EQ(stopped.status, 130) << "the experiment ended before the signal: " << stopped.err;
    }
    const std::string info = "IOHprofiler_f1_Sphere.info";
    const std::vector<std::string> cut = splitLines(readFile("cut/ioh/" + info));
    ASSERT_EQ(cut.size(), 3u);
    EXPECT_EQ(cut[0], "suite = \"valdrin\", funcId = 1, DIM = 3, algId = \"GA SBX gaussian\", funcName = \"Sphere\", "
                      "maximization = F");
    EXPECT_EQ(std::count(cut[2].begin(), cut[2].end(), '|'), 1) << "the interrupted experiment wrote its first run: " << cut[2];

    const testing::ProgramResult resumed =
        runProgram({"config.xml", "4", "--out", "cut", "--ioh", "ioh", "--checkpoint", "state.ckpt", "--resume", "state.ckpt"});
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(readFile("cut/ioh/" + info), readFile("whole/ioh/" + info));
    for (const auto& entry : fs::recursive_directory_iterator("whole/ioh")) {
        if (!entry.is_regular_file()) continue;
        const std::string name = fs::relative(entry.path(), "whole/ioh").string();
        EXPECT_EQ(readFile("cut/ioh/" + name), readFile(entry.path().string())) << name;
    }
    EXPECT_FALSE(testing::fileExists("cut/ioh/data_f1_Sphere/IOHprofiler_f1_DIM3_2.dat"));
}

}  // namespace
}  // namespace Valdrin
