// Valdrin installed like a library: `cmake --install` puts the two programs, the plugin header and
// the CMake package into a prefix and nothing else; the example plugins build outside this tree
// against that prefix with find_package; the installed program runs each example exactly as the
// build's program runs the plugins built here. And what the example plugins do with their data:
// the knapsack's costs, and the refusals of data that does not fit.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::maskClock;
using testing::readFile;
using testing::runCommand;
using testing::runProgram;
using testing::ScratchDir;
using testing::splitLines;
using testing::writeFile;

const fs::path kBuildFolder = fs::path(VALDRIN_EXECUTABLE).parent_path();
const fs::path kPlugins = VALDRIN_PLUGIN_DIR;
const fs::path kExamples = testing::sourceFolder() / "examples" / "plugins";

// A CSV file's rows, split at commas (the files compared here quote nothing).
std::vector<std::vector<std::string>> csvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : splitLines(text)) {
        if (line.empty()) continue;
        rows.emplace_back(1);
        for (char c : line) {
            if (c == ',') rows.back().emplace_back();
            else rows.back().back() += c;
        }
    }
    return rows;
}

// The values of a column of runs.csv, as numbers.
std::vector<double> runsColumn(const std::string& csv, const std::string& column) {
    const auto rows = csvRows(csv);
    const auto at = static_cast<std::size_t>(std::find(rows.at(0).begin(), rows.at(0).end(), column) - rows.at(0).begin());
    std::vector<double> values;
    for (std::size_t i = 1; i < rows.size(); ++i) values.push_back(std::stod(rows[i].at(at)));
    return values;
}

// Every file below the folder, by its path relative to it, with clock readings masked (in the
// logs as maskClock does, in runs.csv its duration columns).
std::map<std::string, std::string> filesBelow(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::string text = maskClock(readFile(entry.path().string()));
        if (entry.path().filename() == "runs.csv") {
            const auto rows = csvRows(text);
            text.clear();
            for (std::size_t r = 0; r < rows.size(); ++r) {
                for (std::size_t i = 0; i < rows[r].size(); ++i) {
                    const std::string& name = rows[0].at(i);
                    const bool clock = r > 0 && (name == "duration_s" || name == "time_to_solution_s");
                    text += clock ? std::string_view("T") : std::string_view(rows[r][i]);
                    text += i + 1 < rows[r].size() ? ',' : '\n';
                }
            }
        }
        files[fs::relative(entry.path(), folder).string()] = text;
    }
    return files;
}

// A small GA configuration for a plugin's problem over bit strings of the given length, with the
// given parameters after the common ones.
std::string pluginConfiguration(const std::string& problem, const std::string& library, int length,
                                const std::vector<std::pair<std::string, std::string>>& more = {}) {
    std::vector<std::pair<std::string, std::string>> parameters = {{"Problem library", library},
                                                                    {"Encoding", "integer"},
                                                                    {"Chromosome length", std::to_string(length)},
                                                                    {"Population size", "10"},
                                                                    {"Generations number", "2"},
                                                                    {"Selection type", "tournament"},
                                                                    {"Crossover type", "2-point"},
                                                                    {"Mutation type", "bit-flip"},
                                                                    {"Error level", "0.5"}};
    parameters.insert(parameters.end(), more.begin(), more.end());
    return testing::gaConfiguration(problem, parameters);
}

// Installs the build, builds examples/plugins/ against the installed package in a folder of its own,
// and runs every example there with the installed program and beside the plugins built in this
// tree with the build's program: the same outputs, byte for byte but for the clock.
TEST(InstalledValdrin, ExamplePluginsBuiltOutsideTheTreeRunAsTheOnesBuiltInIt) {
    ScratchDir scratch;
    const fs::path prefix = fs::path(scratch.path()) / "prefix";
    const auto install = runCommand("cmake", {"--install", kBuildFolder.string(), "--prefix", prefix.string()});
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    std::set<std::string> installed;
    for (const auto& entry : fs::recursive_directory_iterator(prefix)) {
        if (!entry.is_directory()) installed.insert(fs::relative(entry.path(), prefix).string());
    }
    // The programs, the header and the package; no layer library, no test, no plugin.
    EXPECT_EQ(installed, (std::set<std::string>{"bin/valdrin", "bin/valdrin-compare", "bin/valdrin-sweep", "include/valdrin/problem.h",
                                                "lib/cmake/Valdrin/ValdrinConfig.cmake",
                                                "lib/cmake/Valdrin/ValdrinConfigVersion.cmake",
                                                "lib/cmake/Valdrin/ValdrinTargets.cmake"}));
    const std::string valdrin = (prefix / "bin" / "valdrin").string();

    const auto configure = runCommand("cmake", {"-S", kExamples.string(), "-B", "outside",
                                                "-DCMAKE_PREFIX_PATH=" + prefix.string()});
    ASSERT_EQ(configure.status, 0) << configure.out << configure.err;
    const auto build = runCommand("cmake", {"--build", "outside", "-j2"});
    ASSERT_EQ(build.status, 0) << build.out << build.err;

    for (const std::string name : {"onemax", "nk", "knapsack"}) {
        SCOPED_TRACE(name);
        const fs::path outside = fs::path("outside") / name;
        const fs::path inside = fs::path("inside") / name;
        fs::create_directories(inside);
        for (const auto& entry : fs::directory_iterator(kExamples / name)) {
            if (entry.path().extension() != ".c") fs::copy_file(entry.path(), inside / entry.path().filename());
        }
        fs::copy_file(kPlugins / ("lib" + name + ".so"), inside / ("lib" + name + ".so"));

        fs::current_path(outside);
        const auto installedRun = runCommand(valdrin, {"config.xml", "2", "--out", "out", "--csv"});
        fs::current_path(scratch.path());
        fs::current_path(inside);
        const auto builtRun = runProgram({"config.xml", "2", "--out", "out", "--csv"});
        fs::current_path(scratch.path());

        ASSERT_EQ(installedRun.status, 0) << installedRun.err;
        EXPECT_EQ(builtRun.status, 0) << builtRun.err;
        EXPECT_EQ(maskClock(installedRun.out), maskClock(builtRun.out));
        EXPECT_EQ(installedRun.err, builtRun.err);
        const auto installedFiles = filesBelow(outside / "out");
        const auto builtFiles = filesBelow(inside / "out");
        EXPECT_GE(installedFiles.size(), 4u);
        for (const auto& [file, text] : builtFiles) {
            // The manifests name each its own build of the plugin (their hashes differ where the
            // tree's plugins are built with other flags, as under the sanitizers).
            if (file == "manifest.json") {
                EXPECT_TRUE(installedFiles.contains(file));
                continue;
            }
            EXPECT_TRUE(installedFiles.contains(file) && installedFiles.at(file) == text) << file << " differs";
        }
        EXPECT_EQ(installedFiles.size(), builtFiles.size());
    }

    // The knapsack's example: no choice is better than the best one that fits (cost 504, which
    // the first run finds), and the NK example's landscape is the documented one, whose best cost
    // is 0.21134433256771457 (found by dynamic programming over its tables).
    const std::string knapsack = readFile("outside/knapsack/out/runs.csv");
    for (double best : runsColumn(knapsack, "best_so_far_fitness")) EXPECT_GE(best, 504.0);
    EXPECT_EQ(runsColumn(knapsack, "best_so_far_fitness").at(0), 504.0);
    EXPECT_EQ(runsColumn(knapsack, "solved").at(0), 1.0);
    for (double best : runsColumn(readFile("outside/nk/out/runs.csv"), "best_so_far_fitness")) {
        EXPECT_GT(best, 0.21134433256771457);
        EXPECT_LT(best, 0.3);
    }
}

// The knapsack's cost: the value left out for a choice that fits, the total value and the excess
// weight for one that does not; the chromosome is read where every gene is fixed by the
// configuration (all items taken, or none).
TEST(ExamplePlugins, TheKnapsackCostsTheValueLeftOutAndMoreWhenTooHeavy) {
    ScratchDir scratch;
    fs::copy_file(kPlugins / "libknapsack.so", "libknapsack.so");
    // Capacity 10; items (weight, value): (4, 5), (5, 7), (3, 1). Total value 13, weight 12.
    writeFile("knapsack.txt", "10  # capacity\n4 5\n5 7\n3 1 # last item\n");
    const auto cost = [](const std::string& units) {
        writeFile("config.xml", pluginConfiguration("Knapsack", "libknapsack.so", 3,
                                                    {{"Mutation rate", "0"}, {"Crossover rate", "0"}, {"Units ratio", units}}));
        const auto result = runProgram({"config.xml", "1", "--out", "out", "--csv"});
        EXPECT_EQ(result.status, 0) << result.err;
        return runsColumn(readFile("out/runs.csv"), "final_best_fitness").at(0);
    };
    EXPECT_EQ(cost("0"), 13.0);      // nothing taken: all the value left out
    EXPECT_EQ(cost("1"), 13.0 + 2);  // everything: 2 over the capacity
}

// Data that does not fit ends the experiment before its first run, saying what to change.
TEST(ExamplePlugins, DataThatDoesNotFitIsRefusedWithWhatToChange) {
    ScratchDir scratch;
    fs::copy_file(kPlugins / "libknapsack.so", "libknapsack.so");
    fs::copy_file(kPlugins / "libnk.so", "libnk.so");
    const auto refusal = [](const std::string& problem, const std::string& library, int length) {
        writeFile("config.xml", pluginConfiguration(problem, library, length));
        const auto result = runProgram({"config.xml", "1", "--out", "out"});
        EXPECT_EQ(result.status, 1);
        return result.err;
    };
    const auto expectIn = [](const std::string& text, const std::string& part) {
        EXPECT_NE(text.find(part), std::string::npos) << text;
    };
    expectIn(refusal("Knapsack", "libknapsack.so", 3), "knapsack.txt cannot be read: No such file or directory");
    writeFile("knapsack.txt", "10\n4 5\n5 7\n3 1\n");
    expectIn(refusal("Knapsack", "libknapsack.so", 4), "knapsack.txt lists 3 items: set Chromosome length to 3 (it is 4)");
    writeFile("knapsack.txt", "10\n4 5\n5 seven\n3 1\n");
    expectIn(refusal("Knapsack", "libknapsack.so", 3), "knapsack.txt: entry 5 is not a number of 0 or more");
    writeFile("knapsack.txt", "10\n4 5\n5\n");
    expectIn(refusal("Knapsack", "libknapsack.so", 2), "must hold the capacity, then a weight and a value for each item");

    expectIn(refusal("NK-landscape", "libnk.so", 8), "nk.txt cannot be read");
    writeFile("nk.txt", "8 1\n");
    expectIn(refusal("NK-landscape", "libnk.so", 8), "K (0 to 20, below the chromosome length 8)");
}

}  // namespace
}  // namespace Valdrin
