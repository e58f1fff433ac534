// Experiments in one process, one after the other and side by side on two threads, write exactly
// what the same experiments write as processes of their own (clock readings masked): nothing one
// experiment leaves behind reaches the next.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/experiment.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::maskClock;
using testing::readFile;
using testing::ScratchDir;

// Everything one experiment wrote: standard output, standard error, exit status and every file
// of its output folder, clock readings masked.
struct Written {
    std::string out;
    std::string err;
    int status = -1;
    std::map<std::string, std::string> files;
};

std::map<std::string, std::string> folderContent(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] = maskClock(readFile(entry.path().string()));
    }
    // The manifest names the folder in its command line: the rest of it must be the same.
    std::string& manifest = files["manifest.json"];
    for (std::size_t at = manifest.find(folder.string()); at != std::string::npos; at = manifest.find(folder.string(), at)) {
        manifest.replace(at, folder.string().size(), "FOLDER");
    }
    return files;
}

// Two experiments that share nothing but the program: a GA on bit strings with fitness sharing,
// and SARN2, whose template network carries over from run to run; each with its own seed.
std::vector<std::string> arguments(const std::string& example, const fs::path& folder) {
    return {(testing::sourceFolder() / "examples" / example / "config.xml").string(), "3", "--out", folder.string()};
}

const std::vector<std::string> kExamples = {"onemax-sharing", "xor-sarn2"};

Written asProcess(const std::string& example, const fs::path& folder) {
    const testing::ProgramResult result = testing::runProgram(arguments(example, folder));
    return {maskClock(result.out), result.err, result.status, folderContent(folder)};
}

Written inProcess(const std::string& example, const fs::path& folder) {
    std::ostringstream out;
    std::ostringstream err;
    Written written;
    written.status = Valdrin::runProgram(arguments(example, folder), out, err);
    written.out = maskClock(out.str());
    written.err = err.str();
    written.files = folderContent(folder);
    return written;
}

void expectSame(const Written& expected, const Written& actual, const std::string& what) {
    EXPECT_EQ(actual.status, expected.status) << what;
    EXPECT_EQ(actual.out, expected.out) << what;
    EXPECT_EQ(actual.err, expected.err) << what;
    EXPECT_EQ(actual.files, expected.files) << what;
}

TEST(Engine, ExperimentsInOneProcessWriteWhatSeparateProcessesWrite) {
    ScratchDir dir;
    std::vector<Written> expected;
    for (const std::string& example : kExamples) expected.push_back(asProcess(example, fs::path(dir.path()) / ("alone-" + example)));
    for (const Written& alone : expected) {
        ASSERT_EQ(alone.status, 0) << alone.err;
        ASSERT_NE(alone.out.find("Run # 2\n"), std::string::npos) << alone.out;
        ASSERT_TRUE(alone.files.count("summary.log") == 1 && alone.files.size() >= 3);
    }

    // One after the other, twice: the second round starts from whatever the first left behind.
    for (int round = 0; round < 2; ++round) {
        for (std::size_t k = 0; k < kExamples.size(); ++k) {
            const fs::path folder = fs::path(dir.path()) / ("sequence-" + std::to_string(round) + "-" + kExamples[k]);
            expectSame(expected[k], inProcess(kExamples[k], folder), "in sequence: " + folder.string());
        }
    }

    // Side by side on two threads.
    std::vector<Written> together(kExamples.size());
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < kExamples.size(); ++k) {
        threads.emplace_back([&, k] {
            together[k] = inProcess(kExamples[k], fs::path(dir.path()) / ("together-" + kExamples[k]));
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (std::size_t k = 0; k < kExamples.size(); ++k) expectSame(expected[k], together[k], "on two threads: " + kExamples[k]);
}

}  // namespace
}  // namespace Valdrin
