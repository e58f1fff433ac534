// Helpers shared by the test suite: scratch folders, file reading, running the program.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <ostream>

#include "core/engine.h"
#include "core/identifiers.h"

namespace Valdrin {

// Identifiers print as their report numbers in test messages.
template <class Identifier>
    requires std::is_enum_v<Identifier>
std::ostream& operator<<(std::ostream& out, Identifier id) {
    return out << number(id);
}

}  // namespace Valdrin

namespace Valdrin::testing {

// Creates a fresh temporary folder and makes it the working directory for the object's
// lifetime; the previous working directory is restored and the folder removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
bool fileExists(const std::string& path);
std::vector<std::string> splitLines(const std::string& text);

struct ProgramResult {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs a command (found on the PATH) with the given arguments in the current working directory
// and captures its standard output, standard error and exit status (128 + the signal when a
// signal ended it).
ProgramResult runCommand(const std::string& command, const std::vector<std::string>& arguments);

// Runs the built valdrin executable with the given arguments in the current working
// directory and captures its standard output, standard error and exit status.
ProgramResult runProgram(const std::vector<std::string>& arguments);

// Runs the built valdrin-sweep executable the same way.
ProgramResult runSweepProgram(const std::vector<std::string>& arguments);

// Whether chromium is on the PATH.
bool browserInstalled();

// Headless Chromium with a fresh profile (in the folder given) and no network of its own, for 20
// seconds at most, with the given arguments after its own.
ProgramResult runBrowser(const std::string& profile, std::vector<std::string> arguments);

// The rows a query gives on an SQLite database, each value as text: numbers as SQLite prints
// them, NULL as "NULL". Fails the test (and gives no rows) when the query cannot run.
std::vector<std::vector<std::string>> queryRows(const std::string& database, const std::string& sql);

// The built program running in the background in the current working directory, its standard
// output and error going to files there (named after the prefix), standard input from /dev/null.
// A run still going when the object is destroyed is killed and reaped.
class BackgroundRun {
public:
    explicit BackgroundRun(const std::vector<std::string>& arguments, const std::string& prefix = "valdrin-background");
    // Another of the built programs (valdrin-sweep), the same way.
    BackgroundRun(const std::string& program, const std::vector<std::string>& arguments, const std::string& prefix);
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Whether it still runs (reaping it when it has ended).
    bool running();
    // Sends the signal, unless the run has ended.
    void signal(int number);
    // Its process id.
    int pid() const { return pid_; }
    // What it has written to standard output so far.
    std::string outputSoFar() const;
    // Waits for the end; the status as runCommand gives it, and what it wrote.
    ProgramResult wait();

private:
    int pid_ = -1;
    bool reaped_ = false;
    int raw_ = 0;
    std::string outPath_;
    std::string errPath_;
};

// Whether the built program carries AddressSanitizer or UndefinedBehaviorSanitizer (make
// sanitize), where it runs many times slower.
bool programIsSanitized();

// Replaces every processor-clock reading (run durations, the "Times" block over runs, the time
// column of the solutions table, their mean and deviation) by "T", so that the outputs of two
// invocations compare byte for byte. A final line without a line break keeps it that way.
std::string maskClock(const std::string& text);

// Runs the statement and checks that it ends the experiment with a Failure. The pattern (a
// regular expression, searched) is matched against what the statement wrote to standard output
// and standard error, followed by the failure's message, as the user would see them.
::testing::AssertionResult endsWithFailure(const std::function<void()>& statement, const std::string& pattern);

#define EXPECT_FAILURE(statement, pattern) \
    EXPECT_TRUE(::Valdrin::testing::endsWithFailure([&] { statement; }, pattern))

// Writes a stand-in for ssh at path and returns its absolute path: "SSH HOST COMMAND" runs
// COMMAND with /bin/sh on this machine in the folder HOST beside the stand-in (a host's own
// folder; the test makes it). Like a login over ssh it sets SHELL, which GNU parallel's remote
// side runs commands with (a test's environment may lack it).
std::string writeStandInSsh(const std::string& path);

// A GA configuration for the problem with the given (key, value) parameters, one per line from
// line 5 on (after the declaration, the root, the algorithm and the problem).
std::string gaConfiguration(const std::string& problem, const std::vector<std::pair<std::string, std::string>>& parameters);

// A GA on a 3-gene real sphere (population 30, SBX, gaussian mutation 0.3, seed 77) with that many
// generations: a few milliseconds a run at 30 generations, long enough to interrupt at thousands.
std::string realSphere(const std::string& generations);

// The small sphere experiment (3 genes, 40 individuals) the sweeps' tests run many times: each
// run a few milliseconds.
std::string sweepSphere(const std::string& generations);

// The project's source folder, and the folders of examples/ that hold a config.xml (name order).
std::filesystem::path sourceFolder();
std::vector<std::filesystem::path> exampleFolders();

// The engine of the unit tests that work on operators, problems and algorithms directly: text to
// standard output and standard error (so that captured output can be checked), files in the
// working folder.
Engine& testEngine();

// Binds the operator to the test engine and hands it back.
template <class Operator>
Operator& bound(Operator& op) {
    op.useEngine(testEngine());
    return op;
}

// A new operator bound to the test engine.
template <class Operator>
Operator boundOperator() {
    Operator op;
    op.useEngine(testEngine());
    return op;
}

// Puts the test engine's generator back to its unseeded state, then seeds it (quietly).
void seedForTest(unsigned seed);

}  // namespace Valdrin::testing

namespace Valdrin {

// The test engine's draws, for tests that compute what an operator must do from the draws it
// takes.
inline double uniform() { return testing::testEngine().random.uniform(); }
inline int uniformInt(int n) { return testing::testEngine().random.uniformInt(n); }
inline bool flip(double p) { return testing::testEngine().random.flip(p); }
inline bool coinFlip() { return testing::testEngine().random.coinFlip(); }
inline double gaussian() { return testing::testEngine().random.gaussian(); }
inline double smallUniform() { return testing::testEngine().random.smallUniform(); }
template <class Weights>
int rouletteIndex(const Weights& weights) {
    return testing::testEngine().random.rouletteIndex(weights);
}

}  // namespace Valdrin
