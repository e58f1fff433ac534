// The golden-output test: every example in examples/ is run (2 runs) by the built program, and its
// standard output, standard error, exit status and every file it writes are compared with the
// expected outputs kept in tests/golden/NAME/ (clock values masked).
//
// To store new expectations after a change that is meant to alter outputs, run the suite with
// VALDRIN_UPDATE_GOLDEN=1 and review the difference before committing it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::maskClock;
using testing::readFile;
using testing::runProgram;
using testing::ScratchDir;
using testing::writeFile;

const fs::path kSourceDir = testing::sourceFolder();

const char* const kRuns = "2";

std::vector<std::string> exampleNames() {
    std::vector<std::string> names;
    for (const fs::path& folder : testing::exampleFolders()) names.push_back(folder.filename().string());
    return names;
}

// Every output of one invocation, by name: the files it wrote, plus "stdout", "stderr" and
// "status" (the exit status as text). Clock values are masked.
using Outputs = std::map<std::string, std::string>;

Outputs runExample(const std::string& name) {
    ScratchDir scratch;
    std::vector<std::string> inputs;
    for (const auto& entry : fs::directory_iterator(kSourceDir / "examples" / name)) {
        fs::copy_file(entry.path(), entry.path().filename());
        inputs.push_back(entry.path().filename().string());
    }
    const auto result = runProgram({"config.xml", kRuns});
    Outputs outputs;
    outputs["stdout"] = maskClock(result.out);
    outputs["stderr"] = maskClock(result.err);
    outputs["status"] = std::to_string(result.status) + "\n";
    for (const auto& entry : fs::directory_iterator(".")) {
        const std::string file = entry.path().filename().string();
        if (std::find(inputs.begin(), inputs.end(), file) != inputs.end()) continue;
        outputs["file." + file] = entry.is_regular_file() ? maskClock(readFile(file)) : "(not a regular file)\n";
    }
    return outputs;
}

Outputs storedExpectations(const fs::path& folder) {
    Outputs outputs;
    if (!fs::exists(folder)) return outputs;
    for (const auto& entry : fs::directory_iterator(folder)) {
        outputs[entry.path().filename().string()] = readFile(entry.path().string());
    }
    return outputs;
}

void storeExpectations(const fs::path& folder, const Outputs& outputs) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [name, text] : outputs) writeFile((folder / name).string(), text);
}

// The first line where two texts differ, for a readable failure.
std::string firstDifference(const std::string& expected, const std::string& actual) {
    const auto e = testing::splitLines(expected);
    const auto a = testing::splitLines(actual);
    for (std::size_t i = 0; i < std::max(e.size(), a.size()); ++i) {
        const std::string left = i < e.size() ? e[i] : "(end)";
        const std::string right = i < a.size() ? a[i] : "(end)";
        if (left != right) {
            return "line " + std::to_string(i + 1) + ": expected \"" + left + "\", got \"" + right + "\"";
        }
    }
    return "the texts differ only in their final line break";
}

class GoldenOutput : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenOutput, EveryOutputMatchesTheStoredExpectation) {
    const std::string name = GetParam();
    const fs::path folder = kSourceDir / "tests" / "golden" / name;
    const Outputs actual = runExample(name);
    const char* update = std::getenv("VALDRIN_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        storeExpectations(folder, actual);
        GTEST_SKIP() << "expectations stored in " << folder;
    }
    const Outputs expected = storedExpectations(folder);
    ASSERT_FALSE(expected.empty()) << "no expectations stored for " << name;
    for (const auto& [output, text] : expected) {
        const auto found = actual.find(output);
        if (found == actual.end()) {
            ADD_FAILURE() << name << ": " << output << " was not written";
        } else if (found->second != text) {
            ADD_FAILURE() << name << ": " << output << " differs, " << firstDifference(text, found->second);
        }
    }
    for (const auto& [output, text] : actual) {
        EXPECT_TRUE(expected.count(output) == 1) << name << ": unexpected output " << output;
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, GoldenOutput, ::testing::ValuesIn(exampleNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string id = info.param;
                             std::replace(id.begin(), id.end(), '-', '_');
                             return id;
                         });

}  // namespace
}  // namespace Valdrin
