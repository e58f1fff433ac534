// Checkpoint and resume, end to end. Every example, and 50 random small experiments of every
// algorithm (the genetic algorithm over symbol strings, bit strings, real vectors and
// permutations, SARN and SARN2), is run once without interruption and once with checkpoints,
// killed (SIGKILL) at a random moment and resumed from its checkpoint, sometimes killed again and
// resumed again. The resumed experiment must end with every file byte-identical to the
// uninterrupted one's (clock readings masked) and its standard output equal to the uninterrupted
// one's from the checkpoint on. Then the refusals: corrupt, truncated, foreign-version and
// foreign-configuration checkpoints, and logs changed since the checkpoint, each refused with its
// message and exit status 1, leaving every file as it was.
//
// Under the sanitizers (make sanitize), where every run is many times slower, each algorithm gets
// 10 random experiments instead of 50 and the examples run once instead of twice (the network
// examples alone would take a minute): every example and every refusal is still tried, and the
// plain build covers the rest.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/configuration_scan.h"
#include "core/failure.h"
#include "core/state_io.h"
#include "driver/checkpoint.h"
#include "registry/configuration_check.h"
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

using Parameters = std::vector<std::pair<std::string, std::string>>;
using Files = std::map<std::string, std::string>;

const fs::path kSourceDir = testing::sourceFolder();
const std::string kCheckpoint = "state.ckpt";

// One experiment: its input files (config.xml, and matrix.txt for the submatrix task), the
// number of runs, the output options and the checkpoint schedule.
struct Trial {
    std::string name;
    Files inputs;
    int runs = 1;
    std::vector<std::string> options;
    int every = 5;
};

// How the kills landed over a group of experiments.
struct Tally {
    int killedRunning = 0;     // killed while it ran
    int endedBeforeKill = 0;   // it finished before the kill came (resumed from the last checkpoint)
    int killedAgain = 0;       // a resumed experiment killed and resumed once more
};

std::string configurationText(const std::string& algorithm, const std::string& problem, const Parameters& parameters) {
    std::string text = "<?xml version=\"1.0\"?>\n<experiment>\n";
    text += "  <algorithm><type>" + algorithm + "</type></algorithm>\n";
    text += "  <problem><type>" + problem + "</type></problem>\n";
    for (const auto& [name, value] : parameters) {
        text += "  <parameter><name>" + name + "</name><value>" + value + "</value></parameter>\n";
    }
    return text + "</experiment>\n";
}

// Processor-time readings of runs.csv (duration_s, time_to_solution_s) become "T", as maskClock
// does for the text reports.
std::string maskCsvClock(const std::string& text) {
    const auto lines = testing::splitLines(text);
    if (lines.empty()) return text;
    std::vector<std::size_t> clocks;
    {
        std::size_t column = 0;
        std::size_t start = 0;
        const std::string& header = lines.front();
        while (start <= header.size()) {
            const std::size_t end = std::min(header.find(',', start), header.size());
            const std::string name = header.substr(start, end - start);
            if (name == "duration_s" || name == "time_to_solution_s") clocks.push_back(column);
            ++column;
            start = end + 1;
        }
    }
    std::string masked;
    for (const std::string& line : lines) {
        std::string out;
        std::size_t column = 0;
        std::size_t start = 0;
        while (start <= line.size()) {
            const std::size_t end = std::min(line.find(',', start), line.size());
            std::string field = line.substr(start, end - start);
            if (&line != &lines.front() && !field.empty() &&
                std::find(clocks.begin(), clocks.end(), column) != clocks.end()) {
                field = "T";
            }
            out += (column == 0 ? "" : ",") + field;
            ++column;
            start = end + 1;
        }
        masked += out + "\n";
    }
    return masked;
}

// Every regular file under the folder (paths relative to it) but the inputs, the checkpoint and
// its temporary file, and the captured streams; clock readings masked.
Files outputsIn(const fs::path& folder, const Files& inputs) {
    Files outputs;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = fs::relative(entry.path(), folder).string();
        // A kill while the program proves the folder writable (it makes and removes a file named
        // .valdrin-write-test-XXXXXX) leaves that file behind: no experiment wrote it.
        if (inputs.count(name) != 0 || name.rfind(kCheckpoint, 0) == 0 || name.rfind("valdrin-", 0) == 0 ||
            name.rfind(".valdrin-write-test-", 0) == 0) {
            continue;
        }
        const std::string text = readFile(entry.path().string());
        outputs[name] = name.ends_with("runs.csv") ? maskCsvClock(text) : testing::maskClock(text);
    }
    return outputs;
}

void writeInputs(const Files& inputs) {
    for (const auto& [name, text] : inputs) writeFile(name, text);
}

std::vector<std::string> commandLine(const Trial& trial) {
    std::vector<std::string> arguments = {"config.xml", std::to_string(trial.runs)};
    arguments.insert(arguments.end(), trial.options.begin(), trial.options.end());
    return arguments;
}

// Starts the experiment with checkpoints (resuming from the checkpoint when asked) and kills it
// at a random moment once the checkpoint file exists: after a delay drawn up to a little more
// than the uninterrupted experiment took. Returns true when the kill came while it ran.
bool runAndKill(const Trial& trial, bool resume, std::chrono::microseconds whole, std::mt19937& dice) {
    std::vector<std::string> arguments = commandLine(trial);
    arguments.insert(arguments.end(), {"--checkpoint", kCheckpoint, "--every", std::to_string(trial.every)});
    if (resume) arguments.insert(arguments.end(), {"--resume", kCheckpoint});
    BackgroundRun run(arguments);
    while (run.running() && !fs::exists(kCheckpoint)) std::this_thread::sleep_for(std::chrono::microseconds(100));
    const auto delay = std::chrono::microseconds(
        std::uniform_int_distribution<std::int64_t>(0, whole.count() * 3 / 2 + 2000)(dice));
    std::this_thread::sleep_for(delay);
    const bool killed = run.running();
    run.signal(SIGKILL);
    const ProgramResult result = run.wait();
    if (!killed) {
        EXPECT_EQ(result.status, 0) << trial.name << ": " << result.err;
    }
    return killed;
}

// The whole property for one experiment.
void expectResumeMatches(const Trial& trial, std::mt19937& dice, Tally& tally) {
    SCOPED_TRACE(trial.name);
    ScratchDir scratch;
    fs::create_directories("whole");
    fs::create_directories("resumed");

    fs::current_path(scratch.path() + "/whole");
    writeInputs(trial.inputs);
    const auto started = std::chrono::steady_clock::now();
    const ProgramResult whole = runProgram(commandLine(trial));
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    ASSERT_EQ(whole.status, 0) << whole.err;

    fs::current_path(scratch.path() + "/resumed");
    writeInputs(trial.inputs);
    if (runAndKill(trial, false, took, dice)) {
        ++tally.killedRunning;
    } else {
        ++tally.endedBeforeKill;
    }
    ASSERT_TRUE(fs::exists(kCheckpoint)) << "no checkpoint was written";
    // One resumed experiment in three is killed in its turn and resumed once more.
    if (std::uniform_int_distribution<int>(0, 2)(dice) == 0 && runAndKill(trial, true, took, dice)) ++tally.killedAgain;

    const std::uint64_t offset = readCheckpoint(kCheckpoint).outputBytes;
    std::vector<std::string> arguments = commandLine(trial);
    arguments.insert(arguments.end(), {"--checkpoint", kCheckpoint, "--resume", kCheckpoint});
    const ProgramResult resumed = runProgram(arguments);
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_LE(offset, whole.out.size());
    EXPECT_EQ(resumed.out, whole.out.substr(std::min<std::size_t>(offset, whole.out.size())))
        << "standard output from byte " << offset << " on differs";

    const Files expected = outputsIn(scratch.path() + "/whole", trial.inputs);
    const Files actual = outputsIn(scratch.path() + "/resumed", trial.inputs);
    for (const auto& [name, text] : expected) {
        const auto found = actual.find(name);
        if (found == actual.end()) {
            ADD_FAILURE() << name << " was not written";
        } else if (found->second != text) {
            ADD_FAILURE() << name << " differs (" << found->second.size() << " bytes, expected " << text.size() << ")";
        }
    }
    for (const auto& [name, text] : actual) EXPECT_EQ(expected.count(name), 1u) << "unexpected " << name;
}

void report(const std::string& group, int experiments, const Tally& tally) {
    std::cout << "[ checkpoint ] " << group << ": " << experiments << " experiments, " << tally.killedRunning
              << " killed while running, " << tally.endedBeforeKill << " ended before the kill, " << tally.killedAgain
              << " killed again after resuming\n";
}

// ---------------------------------------------------------------------------------------------
// Every example

TEST(CheckpointResume, EveryExampleKilledAtARandomMomentEndsAsIfUninterrupted) {
    std::mt19937 dice(20240701);
    Tally tally;
    int count = 0;
    for (const fs::path& folder : testing::exampleFolders()) {
        Trial trial;
        trial.name = folder.filename().string();
        for (const auto& entry : fs::directory_iterator(folder)) {
            trial.inputs[entry.path().filename().string()] = readFile(entry.path().string());
        }
        trial.runs = testing::programIsSanitized() ? 1 : 2;
        trial.every = std::uniform_int_distribution<int>(3, 20)(dice);
        expectResumeMatches(trial, dice, tally);
        ++count;
    }
    report("examples", count, tally);
    EXPECT_GT(tally.killedRunning, 0);
}

// ---------------------------------------------------------------------------------------------
// Random small experiments

// Draws from a seeded engine; the experiments are the same on every run of the suite.
class Draw {
public:
    explicit Draw(std::uint32_t seed) : engine_(seed) {}
    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
    bool chance(int percent) { return between(1, 100) <= percent; }
    std::string pick(const std::vector<std::string>& words) {
        return words[static_cast<std::size_t>(between(0, static_cast<int>(words.size()) - 1))];
    }
    std::string real(double low, double high) {
        return std::to_string(std::uniform_real_distribution<double>(low, high)(engine_));
    }
    std::mt19937& engine() { return engine_; }

private:
    std::mt19937 engine_;
};

enum class Kind { GAString, GAInteger, GAReal, GAPermutation, SARN, SARN2 };

// What every experiment of a kind shares: population, generations, selection, elite, sizer.
Parameters commonParameters(Draw& draw, bool variableSize) {
    Parameters p;
    p.emplace_back("Population size", std::to_string(2 * draw.between(4, 12)));
    p.emplace_back("Generations number", std::to_string(draw.between(8, 40)));
    if (draw.chance(70)) {
        p.emplace_back("Selection type", "tournament");
        p.emplace_back("Tournament size", std::to_string(draw.between(2, 4)));
    } else {
        p.emplace_back("Selection type", "neutral");
    }
    p.emplace_back("Parents selection type", "random");
    p.emplace_back("Elite count", std::to_string(draw.between(0, 2)));
    p.emplace_back("RNG seed", std::to_string(draw.between(1, 32767)));
    if (draw.chance(50)) p.emplace_back("Random generator", "pcg64");
    if (variableSize && draw.chance(50)) {
        const std::string sizer = draw.pick({"simple", "simple Fibonacci", "steady"});
        p.emplace_back("Population sizer type", sizer);
        p.emplace_back("Min population size", std::to_string(draw.between(4, 8)));
        p.emplace_back("Max population size", std::to_string(draw.between(26, 40)));
        if (sizer == "steady") {
            p.emplace_back("Sizing step", std::to_string(draw.between(1, 3)));
            p.emplace_back("Sizing direction", draw.pick({"up", "down", "no"}));
        }
    }
    return p;
}

// One random experiment of the kind (a configuration the check accepts is the caller's to find).
Trial randomTrial(Kind kind, Draw& draw, const std::string& matrix) {
    Trial trial;
    std::string algorithm = "GA";
    std::string problem;
    Parameters p = commonParameters(draw, kind != Kind::GAPermutation);
    const bool constantSize = std::none_of(p.begin(), p.end(), [](const auto& entry) {
        return entry.first == "Population sizer type";
    });
    // Deterministic crowding walks the current population in pairs: with a size that changes
    // from one generation to the next it runs past its end (the check lets such configurations
    // through; they end with "Index is out of population bounds"), so it only meets constant sizes.
    const auto niching = [&](bool crowding) {
        crowding = crowding && constantSize;
        const int choice = draw.between(1, 10);
        if (choice <= 2) {
            p.emplace_back("Niching type", "sharing");
            p.emplace_back("Sharing sigma", draw.real(0.5, 3.0));
        } else if (choice <= 4 && crowding) {
            p.emplace_back("Niching type", "deterministic crowding");
        }
    };
    switch (kind) {
        case Kind::GAString:
            problem = draw.pick({"Mixing-time", "Onemax", "Deceptive", "Pointless", "Sphere"});
            p.emplace_back("Encoding", "string");
            p.emplace_back("Arity", std::to_string(draw.between(2, 4)));
            p.emplace_back("Chromosome length", std::to_string(draw.between(6, 16)));
            p.emplace_back("Initialization type", draw.pick({"random", "unmixed"}));
            p.emplace_back("Crossover type", draw.pick({"1-point", "2-point", "uniform"}));
            p.emplace_back("Mutation type", "random flip");
            p.emplace_back("Mutation rate", draw.real(0.01, 0.2));
            niching(true);
            break;
        case Kind::GAInteger:
            problem = draw.pick({"Sphere", "Rastrigin", "Schwefel", "Rosenbrock", "Onemax", "Deceptive", "Pointless",
                                 "Submatrix"});
            p.emplace_back("Encoding", "integer");
            p.emplace_back("Gene size", std::to_string(draw.between(4, 10)));
            p.emplace_back("Chromosome length", std::to_string(draw.between(3, 8)));
            p.emplace_back("Crossover type", draw.pick({"1-point", "2-point", "1-point PGX", "2-point PGX"}));
            p.emplace_back("Mutation type", draw.pick({"bit-flip", "gaussian"}));
            p.emplace_back("Mutation rate", draw.real(0.01, 0.1));
            niching(true);
            break;
        case Kind::GAReal:
            problem = draw.pick({"Sphere", "Rastrigin", "Schwefel", "Rosenbrock", "Pointless"});
            p.emplace_back("Encoding", "real");
            p.emplace_back("Chromosome length", std::to_string(draw.between(2, 6)));
            p.emplace_back("Crossover type", draw.pick({"BLX", "SBX", "arithmetic"}));
            p.emplace_back("xAlpha", draw.real(0.2, 2.0));
            p.emplace_back("Mutation type", "gaussian");
            p.emplace_back("Mutation rate", draw.real(0.05, 0.5));
            if (draw.chance(20)) p.emplace_back("Remove clones", "yes");
            niching(true);
            break;
        case Kind::GAPermutation: {
            problem = draw.pick({"Mixing-time", "Submatrix", "Pointless"});
            p.emplace_back("Encoding", "permutation");
            const int length = draw.between(4, 8);
            p.emplace_back("Chromosome length", std::to_string(length));
            p.emplace_back("Arity", std::to_string(length + draw.between(1, 4)));
            p.emplace_back("Encoding order", draw.pick({"no order", "ascending", "descending"}));
            p.emplace_back("Crossover type", draw.pick({"order", "1-point", "2-point"}));
            p.emplace_back("Mutation type", "random flip");
            // Mixing-time sets the chromosome length to the arity: no symbol is ever free to flip to.
            p.emplace_back("Mutation rate", problem == "Mixing-time" ? "0" : draw.real(0.0, 0.2));
            break;
        }
        case Kind::SARN:
        case Kind::SARN2:
            algorithm = kind == Kind::SARN ? "SARN" : "SARN2";
            problem = draw.pick({"XOR", "Double sin"});
            if (kind == Kind::SARN) {
                p.emplace_back("Encoding", "regulatory network");
                p.emplace_back("Mutation type", "basic");
                p.emplace_back("Mutation rate", draw.real(1.0, 10.0));
            } else {
                p.emplace_back("Encoding", "real");
                p.emplace_back("Chromosome length", std::to_string(draw.between(11, 14)));
                p.emplace_back("Crossover type", draw.pick({"BLX", "SBX", "arithmetic"}));
                p.emplace_back("Mutation type", "gaussian");
                p.emplace_back("Mutation rate", draw.real(0.1, 1.0));
                niching(true);
            }
            p.emplace_back("Until first hit", draw.pick({"yes", "no"}));
            p.emplace_back("Error level", draw.real(0.005, 0.3));
            break;
    }
    if (kind != Kind::SARN && kind != Kind::SARN2) p.emplace_back("Crossover rate", draw.real(0.5, 1.0));
    trial.inputs["config.xml"] = configurationText(algorithm, problem, p);
    if (problem == "Submatrix") trial.inputs["matrix.txt"] = matrix;
    trial.runs = draw.between(1, 3);
    if (draw.chance(25)) trial.options.push_back("--csv");
    if (draw.chance(15)) trial.options.insert(trial.options.end(), {"--ioh", "ioh"});
    trial.every = draw.between(1, 6);
    return trial;
}

bool checkAccepts(const Trial& trial) {
    ScratchDir scratch;
    writeInputs(trial.inputs);
    return !hasErrors(checkConfiguration(scanConfiguration(trial.inputs.at("config.xml"))));
}

std::string kindName(const ::testing::TestParamInfo<Kind>& info) {
    static const std::vector<std::string> names = {"GAString", "GAInteger", "GAReal", "GAPermutation", "SARN", "SARN2"};
    return names[static_cast<std::size_t>(info.param)];
}

class RandomExperiments : public ::testing::TestWithParam<Kind> {};

TEST_P(RandomExperiments, KilledAtARandomMomentEndAsIfUninterrupted) {
    const int wanted = testing::programIsSanitized() ? 10 : 50;
    const std::string matrix = readFile((kSourceDir / "examples" / "submatrix-mask" / "matrix.txt").string());
    Draw draw(7919u * (static_cast<std::uint32_t>(GetParam()) + 1));
    Tally tally;
    int made = 0;
    for (int attempt = 0; made < wanted && attempt < 10 * wanted; ++attempt) {
        Trial trial = randomTrial(GetParam(), draw, matrix);
        trial.name = "experiment " + std::to_string(made) + " (attempt " + std::to_string(attempt) + ")";
        if (!checkAccepts(trial)) continue;
        expectResumeMatches(trial, draw.engine(), tally);
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << trial.name << " (" << trial.runs << " runs, every " << trial.every
                          << ") failed; its configuration:\n"
                          << trial.inputs.at("config.xml");
            return;
        }
        ++made;
    }
    EXPECT_EQ(made, wanted) << "the generator made too few configurations the check accepts";
    report(kindName(::testing::TestParamInfo<Kind>(GetParam(), 0)), made, tally);
    EXPECT_GT(tally.killedRunning, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryAlgorithm, RandomExperiments,
                         ::testing::Values(Kind::GAString, Kind::GAInteger, Kind::GAReal, Kind::GAPermutation, Kind::SARN,
                                           Kind::SARN2),
                         kindName);

// ---------------------------------------------------------------------------------------------
// Interruption and finished experiments

// Every file of the current folder, by name, with its bytes.
Files snapshot() {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(".")) {
        if (entry.is_regular_file()) files[fs::relative(entry.path(), ".").string()] = readFile(entry.path().string());
    }
    return files;
}

TEST(CheckpointResume, AnInterruptionWritesACheckpointThatResumesWhereItStopped) {
    ScratchDir scratch;
    fs::create_directories("whole");
    fs::create_directories("stopped");
    const std::string configuration = testing::realSphere("8000");
    fs::current_path(scratch.path() + "/whole");
    writeFile("config.xml", configuration);
    const ProgramResult whole = runProgram({"config.xml", "2"});
    ASSERT_EQ(whole.status, 0) << whole.err;

    fs::current_path(scratch.path() + "/stopped");
    writeFile("config.xml", configuration);
    {
        // No checkpoint falls due by generations: the one on disk is the interruption's.
        BackgroundRun run({"config.xml", "2", "--checkpoint", kCheckpoint, "--every", "1000000"});
        // The signal comes with the second run's first dot: one run finished, 7990 generations to go.
        while (run.running() && run.outputSoFar().find("Run # 1\n.") == std::string::npos) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        run.signal(SIGTERM);
        const ProgramResult stopped = run.wait();
        ASSERT_EQ(stopped.status, 143) << "the run ended before the signal: " << stopped.err;
        EXPECT_NE(stopped.err.find("valdrin: the experiment's state is in state.ckpt: --resume state.ckpt goes on from "
                                   "there"),
                  std::string::npos)
            << stopped.err;
    }
    const Checkpoint saved = readCheckpoint(kCheckpoint);
    EXPECT_TRUE(saved.runInProgress);
    EXPECT_EQ(saved.nextRun, 1);
    EXPECT_GT(saved.generationsDone, 0);

    const ProgramResult resumed = runProgram({"config.xml", "2", "--resume", kCheckpoint});
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(resumed.out, whole.out.substr(saved.outputBytes));
    EXPECT_EQ(resumed.err, "valdrin: resuming from state.ckpt: run 1 after generation " +
                               std::to_string(saved.generationsDone) + "\n");
    for (const std::string name : {"ga.log", "summary.log", "solution.log", "candidate.log"}) {
        EXPECT_EQ(testing::maskClock(readFile(name)), testing::maskClock(readFile(scratch.path() + "/whole/" + name)))
            << name;
    }
}

TEST(CheckpointResume, AFinishedExperimentsCheckpointOnlyWritesTheReportsAgain) {
    ScratchDir scratch;
    writeFile("config.xml", testing::realSphere("30"));
    const ProgramResult first = runProgram({"config.xml", "3", "--csv", "--checkpoint", kCheckpoint});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_TRUE(readCheckpoint(kCheckpoint).finished());
    const Files before = snapshot();
    for (const std::string name : {"summary.log", "runs.csv"}) fs::remove(name);

    // The same file to resume from and to write to: nothing runs, nothing is printed, and the
    // reports come back as they were.
    const ProgramResult again =
        runProgram({"config.xml", "3", "--csv", "--checkpoint", kCheckpoint, "--resume", kCheckpoint});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "");
    EXPECT_EQ(again.err, "valdrin: resuming from state.ckpt: every run had finished\n");
    EXPECT_EQ(snapshot(), before);
}

// The shell's words that run the built program with its standard output appended (>>) to the
// file, as a person going on with an experiment in a shell does.
std::vector<std::string> appending(const std::string& file, const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {"-c", "exec \"$0\" \"$@\" >>" + file, VALDRIN_EXECUTABLE};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return words;
}

ProgramResult runAppending(const std::string& file, const std::vector<std::string>& arguments) {
    return testing::runCommand("sh", appending(file, arguments));
}

// An experiment of 2 runs, finished or killed in its first run, resumed with 3 runs and standard
// output appended to the first one's file (which held another experiment's lines before): every
// file and standard output are those of the experiment that asked for 3 runs from the start.
TEST(CheckpointResume, ResumedWithMoreRunsAnExperimentEndsAsIfItHadAskedForThemFromTheStart) {
    ScratchDir scratch;
    const auto commandFor = [](int runs, std::vector<std::string> more) {
        std::vector<std::string> arguments = {"config.xml", std::to_string(runs), "--csv", "--ioh", "ioh"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    };
    const std::vector<std::string> resume = {"--checkpoint", kCheckpoint, "--resume", kCheckpoint};
    const auto enter = [&scratch](const std::string& folder) {
        fs::create_directories(scratch.path() + "/" + folder);
        fs::current_path(scratch.path() + "/" + folder);
        writeFile("config.xml", testing::realSphere("3000"));
        writeFile("out.txt", "an earlier experiment's output\n");
    };

    enter("whole");
    ASSERT_EQ(runAppending("out.txt", commandFor(3, {})).status, 0);

    enter("finished");
    ASSERT_EQ(runAppending("out.txt", commandFor(2, {"--checkpoint", kCheckpoint})).status, 0);
    const ProgramResult extended = runAppending("out.txt", commandFor(3, resume));
    EXPECT_EQ(extended.status, 0) << extended.err;
    EXPECT_EQ(extended.err, "valdrin: resuming from state.ckpt: run 2 from its start, the experiment extended from 2 "
                            "to 3 runs\n");

    enter("unfinished");
    {
        // Killed once its dots ran past the checkpoint: they are in its file, and the resumed
        // experiment would write them again. (The shell hands its process to the program.)
        const std::size_t earlier = readFile("out.txt").size();
        const auto pastTheCheckpoint = [earlier] {
            return fs::exists(kCheckpoint) && readFile("out.txt").size() > earlier + readCheckpoint(kCheckpoint).outputBytes;
        };
        BackgroundRun run("/bin/sh", appending("out.txt", commandFor(2, {"--checkpoint", kCheckpoint, "--every", "1000"})),
                          "valdrin-killed");
        while (run.running() && !pastTheCheckpoint()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        run.signal(SIGKILL);
        run.wait();
        ASSERT_TRUE(pastTheCheckpoint()) << "the experiment ended before the kill";
    }
    EXPECT_EQ(runAppending("out.txt", commandFor(3, resume)).status, 0);

    const Files expected = outputsIn(scratch.path() + "/whole", {{"config.xml", ""}});
    ASSERT_TRUE(expected.count("out.txt") == 1 && expected.count("runs.csv") == 1 && expected.size() > 6);
    for (const std::string folder : {"finished", "unfinished"}) {
        const Files actual = outputsIn(scratch.path() + "/" + folder, {{"config.xml", ""}});
        for (const auto& [name, text] : expected) {
            EXPECT_TRUE(actual.count(name) == 1 && actual.at(name) == text) << folder << ": " << name << " differs";
        }
        EXPECT_EQ(actual.size(), expected.size()) << folder;
    }
}

// The run durations ga.log reports, added up (seconds).
double totalRunDuration() {
    double total = 0;
    const std::regex duration("^Run duration: ([0-9.e+-]+) seconds$");
    for (const std::string& line : testing::splitLines(readFile("ga.log"))) {
        std::smatch match;
        if (std::regex_match(line, match, duration)) total += std::stod(match[1]);
    }
    return total;
}

// A checkpoint after every generation of a large population costs several times the run itself;
// the processor clock stands still meanwhile, so the durations stay those of the runs.
TEST(CheckpointResume, WritingCheckpointsIsNoPartOfTheRunsDurations) {
    if (testing::programIsSanitized()) GTEST_SKIP() << "processor times of a sanitized build say little";
    ScratchDir scratch;
    writeFile("config.xml", testing::gaConfiguration("Sphere", {{"Encoding", "real"},
                                                                {"Chromosome length", "30"},
                                                                {"Population size", "400"},
                                                                {"Generations number", "300"},
                                                                {"Selection type", "tournament"},
                                                                {"Crossover type", "SBX"},
                                                                {"Mutation type", "gaussian"},
                                                                {"Mutation rate", "0.3"},
                                                                {"RNG seed", "77"}}));
    ASSERT_EQ(runProgram({"config.xml", "2"}).status, 0);
    const double alone = totalRunDuration();
    ASSERT_GT(alone, 0.05) << "the runs are too short to measure";
    ASSERT_EQ(runProgram({"config.xml", "2", "--checkpoint", kCheckpoint, "--every", "1"}).status, 0);
    EXPECT_LT(totalRunDuration(), 1.5 * alone + 0.02);
}

// A relative --checkpoint or --resume file is in the --out folder, as every file the experiment
// writes; an absolute one is where it says.
TEST(CheckpointResume, ARelativeCheckpointIsPlacedInTheOutputFolder) {
    ScratchDir scratch;
    writeFile("config.xml", testing::realSphere("30"));
    ASSERT_EQ(runProgram({"config.xml", "2", "--out", "results", "--checkpoint", kCheckpoint}).status, 0);
    EXPECT_TRUE(fs::exists("results/" + kCheckpoint));
    EXPECT_FALSE(fs::exists(kCheckpoint));
    const ProgramResult resumed = runProgram({"config.xml", "2", "--out", "results", "--resume", kCheckpoint});
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(resumed.err, "valdrin: resuming from results/state.ckpt: every run had finished\n");

    const std::string absolute = scratch.path() + "/elsewhere.ckpt";
    ASSERT_EQ(runProgram({"config.xml", "2", "--out", "other", "--checkpoint", absolute}).status, 0);
    EXPECT_TRUE(fs::exists(absolute));
}

TEST(CheckpointResume, ASeedTakenFromTheCalendarStaysTheOneTheExperimentStartedWith) {
    ScratchDir scratch;
    writeFile("config.xml", std::regex_replace(testing::realSphere("30"), std::regex("<value>77</value>"), "<value>0</value>"));
    ASSERT_EQ(runProgram({"config.xml", "2", "--checkpoint", kCheckpoint}).status, 0);
    // Whatever the calendar says now, the resumed experiment reports the seed it was saved with.
    Checkpoint saved = readCheckpoint(kCheckpoint);
    saved.seed = 4242;
    writeFile(kCheckpoint, encodeCheckpoint(saved));
    const ProgramResult resumed = runProgram({"config.xml", "2", "--resume", kCheckpoint});
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_NE(readFile("summary.log").find("\nRNG seed:\t4242\n"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Refusals

struct Refusal {
    ProgramResult result;
    bool unchanged = false;
};

// Resumes with the arguments after a change made to the folder; the refusal must leave every file
// as the change left it.
Refusal refusedResume(const std::vector<std::string>& arguments) {
    const Files before = snapshot();
    Refusal refusal{runProgram(arguments), false};
    refusal.unchanged = snapshot() == before;
    return refusal;
}

void expectRefused(const Refusal& refusal, const std::string& reason) {
    EXPECT_EQ(refusal.result.status, 1) << refusal.result.err;
    EXPECT_EQ(refusal.result.out, "");
    EXPECT_EQ(refusal.result.err, "valdrin: error: cannot resume from " + kCheckpoint + ": " + reason + "\n");
    EXPECT_TRUE(refusal.unchanged) << "a refused resume changed a file";
}

// A folder holding a finished experiment of the submatrix task and its checkpoint, with the
// checkpoint's bytes.
std::string preparedExperiment() {
    for (const std::string name : {"config.xml", "matrix.txt"}) {
        fs::copy_file(kSourceDir / "examples" / "submatrix-mask" / name, name);
    }
    const ProgramResult first = runProgram({"config.xml", "2", "--checkpoint", kCheckpoint, "--every", "25"});
    EXPECT_EQ(first.status, 0) << first.err;
    return readFile(kCheckpoint);
}

const std::vector<std::string> kResume = {"config.xml", "2", "--resume", kCheckpoint};

TEST(CheckpointRefusals, ADamagedCheckpointIsRefusedAndChangesNothing) {
    ScratchDir scratch;
    const std::string good = preparedExperiment();
    ASSERT_GT(good.size(), 100u);

    std::string flipped = good;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x10);
    writeFile(kCheckpoint, flipped);
    expectRefused(refusedResume(kResume), "the checkpoint is corrupt (its checksum does not match its content)");

    writeFile(kCheckpoint, good.substr(0, good.size() / 2));
    expectRefused(refusedResume(kResume), "the checkpoint is truncated (it holds " + std::to_string(good.size() / 2) +
                                              " of the " + std::to_string(good.size()) +
                                              " bytes its header announces)");
    writeFile(kCheckpoint, good.substr(0, 10));
    expectRefused(refusedResume(kResume),
                  "the checkpoint is truncated (it holds 10 bytes, fewer than its header and checksum take)");
    writeFile(kCheckpoint, good + "x");
    expectRefused(refusedResume(kResume), "the checkpoint is corrupt (it holds " + std::to_string(good.size() + 1) +
                                              " bytes, its header announces " + std::to_string(good.size()) + ")");

    writeFile(kCheckpoint, readFile("config.xml"));
    expectRefused(refusedResume(kResume),
                  "it is not a checkpoint of this program (it does not begin with \"VLDRCKPT\")");
    fs::remove(kCheckpoint);
    expectRefused(refusedResume(kResume), "No such file or directory");
}

TEST(CheckpointRefusals, ACheckpointOfAnotherVersionIsRefused) {
    ScratchDir scratch;
    const std::string good = preparedExperiment();

    // Format version 2 (which did not say where standard output's file stood), with a checksum
    // that matches.
    std::string other = good.substr(0, good.size() - 4);
    other[8] = 2;
    StateWriter checksum;
    checksum.u32(crc32Of(other));
    writeFile(kCheckpoint, other + checksum.bytes());
    expectRefused(refusedResume(kResume), "the checkpoint was written in format version 2; this program reads version 3");

    // Another version of the program, in the same format.
    writeFile(kCheckpoint, good);
    Checkpoint older = readCheckpoint(kCheckpoint);
    older.programVersion = "0.9.0";
    writeFile(kCheckpoint, encodeCheckpoint(older));
    expectRefused(refusedResume(kResume), std::string("the checkpoint was written by valdrin 0.9.0; this is valdrin ") +
                                              programVersion());
}

TEST(CheckpointRefusals, ACheckpointOfAnotherExperimentIsRefused) {
    ScratchDir scratch;
    const std::string good = preparedExperiment();
    const std::string configuration = readFile("config.xml");
    const std::string matrix = readFile("matrix.txt");

    writeFile("config.xml", std::regex_replace(configuration, std::regex("2024"), "2025"));
    expectRefused(refusedResume(kResume),
                  "the checkpoint belongs to another configuration (its experiment's configuration file held other "
                  "content)");
    writeFile("config.xml", configuration);

    expectRefused(refusedResume({"config.xml", "1", "--resume", kCheckpoint}),
                  "the checkpoint belongs to an experiment of 2 runs; the command line asks for 1: --resume can extend "
                  "an experiment to more runs, never cut it to fewer");
    expectRefused(refusedResume({"config.xml", "2", "--csv", "--resume", kCheckpoint}),
                  "the checkpoint belongs to an experiment run with other output options (none; this command line "
                  "gives --csv)");

    writeFile("matrix.txt", matrix + "\n");
    expectRefused(refusedResume(kResume), "the checkpoint belongs to an experiment that read another matrix.txt");
    writeFile("matrix.txt", matrix);

    // The same experiment again is accepted.
    const ProgramResult accepted = runProgram(kResume);
    EXPECT_EQ(accepted.status, 0) << accepted.err;
}

TEST(CheckpointRefusals, ACheckpointThatCannotBeWrittenStopsTheExperimentBeforeItRuns) {
    ScratchDir scratch;
    writeFile("config.xml", testing::realSphere("30"));
    const ProgramResult refused = runProgram({"config.xml", "--checkpoint", "no-such-folder/state.ckpt"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "valdrin: error: cannot write no-such-folder/state.ckpt: No such file or directory\n");
    EXPECT_FALSE(fs::exists("ga.log"));
}

TEST(CheckpointRefusals, LogsChangedSinceTheCheckpointAreRefused) {
    ScratchDir scratch;
    preparedExperiment();
    const std::string log = readFile("ga.log");
    const std::size_t length = log.size();

    writeFile("ga.log", log.substr(0, length - 1));
    expectRefused(refusedResume(kResume), "ga.log was changed since the checkpoint (it holds " +
                                              std::to_string(length - 1) +
                                              " bytes; the checkpoint's experiment had written " +
                                              std::to_string(length) + ")");
    std::string edited = log;
    edited[length - 10] = edited[length - 10] == 'x' ? 'y' : 'x';
    writeFile("ga.log", edited);
    expectRefused(refusedResume(kResume), "ga.log was changed since the checkpoint (its bytes before byte " +
                                              std::to_string(length) +
                                              " are not those the checkpoint's experiment wrote)");
    fs::remove("ga.log");
    expectRefused(refusedResume(kResume), "ga.log is missing: the checkpoint's experiment had written " +
                                              std::to_string(length) + " bytes to it");

    // Lines written after the checkpoint are cut away.
    writeFile("ga.log", log + "written after the checkpoint\n");
    const ProgramResult accepted = runProgram(kResume);
    EXPECT_EQ(accepted.status, 0) << accepted.err;
    EXPECT_EQ(readFile("ga.log"), log);
}

}  // namespace
}  // namespace Valdrin

