// --threads N. Every example, and one that reaches what the examples do not (chromosomes the
// problem cannot decode, each of which writes a message), is run with --threads 1, 2 and 3: every file, both streams and the exit status must be the same,
// clock readings masked. Pointless, whose evaluations draw random numbers, is warned about and
// evaluated on one thread. A bad thread count is refused. Then the generation split itself:
// messages an evaluation leaves to the calling thread come in index order (a scripted problem's,
// and those of XOR networks whose nodes are of unknown types), and of two failures the one of the
// lower index is thrown, after the messages before it and none after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/worker_pool.h"
#include "problems/evaluation_threads.h"
#include "problems/network_problems.h"
#include "problems/problem.h"
#include "representation/network.h"
#include "representation/real.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::runProgram;
using testing::ScratchDir;
using testing::writeFile;

using Files = std::map<std::string, std::string>;

// An experiment: its input files by name.
struct Experiment {
    std::string name;
    Files inputs;
};

std::vector<Experiment> experiments() {
    std::vector<Experiment> all;
    for (const fs::path& folder : testing::exampleFolders()) {
        Experiment example{folder.filename().string(), {}};
        for (const auto& entry : fs::directory_iterator(folder)) {
            example.inputs[entry.path().filename().string()] = readFile(entry.path().string());
        }
        all.push_back(example);
    }
    // The submatrix-mask example with integer codes at precision 0.5, which are no row flags:
    // every evaluation writes its message.
    Experiment undecodable = *std::find_if(all.begin(), all.end(), [](const Experiment& e) { return e.name == "submatrix-mask"; });
    undecodable.name = "submatrix-undecodable";
    std::string& config = undecodable.inputs.at("config.xml");
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"Gene precision", "0.5"},
                                     {"Population size", "20"},
                                     {"Generations number", "12"}}) {
        const std::string field = "<name>" + key + "</name><value>";
        // (A key the example lost leaves the messages uncounted, and the test says so.)
        const std::size_t at = config.find(field);
        if (at == std::string::npos) continue;
        const std::size_t start = at + field.size();
        config.replace(start, config.find('<', start) - start, value);
    }
    all.push_back(undecodable);
    return all;
}

// runs.csv's processor-time columns (duration_s, time_to_solution_s) become "T".
std::string maskCsvClock(const std::string& text) {
    const std::vector<std::string> lines = testing::splitLines(text);
    std::vector<bool> clock;
    std::string masked;
    for (std::size_t row = 0; row < lines.size(); ++row) {
        std::istringstream fields(lines[row]);
        std::string field;
        for (std::size_t column = 0; std::getline(fields, field, ','); ++column) {
            if (row == 0) clock.push_back(field == "duration_s" || field == "time_to_solution_s");
            const bool timed = row > 0 && column < clock.size() && clock[column] && !field.empty();
            if (column > 0) masked += ',';
            masked += timed ? std::string("T") : field;
        }
        masked += "\n";
    }
    return masked;
}

void PrintTo(const Experiment& experiment, std::ostream* out) { *out << experiment.name; }

// Everything an invocation wrote, by name ("stdout", "stderr", "status" and each file), clock
// readings masked.
Files runWithThreads(const Experiment& experiment, int threads) {
    ScratchDir scratch;
    for (const auto& [name, text] : experiment.inputs) writeFile(name, text);
    const auto result = runProgram({"config.xml", "2", "--csv", "--threads", std::to_string(threads)});
    Files outputs{{"stdout", testing::maskClock(result.out)},
                  {"stderr", testing::maskClock(result.err)},
                  {"status", std::to_string(result.status)}};
    for (const auto& entry : fs::directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        if (experiment.inputs.count(name) != 0) continue;
        const std::string text = readFile(name);
        outputs[name] = name == "runs.csv" ? maskCsvClock(text) : testing::maskClock(text);
    }
    return outputs;
}

class Threads : public ::testing::TestWithParam<Experiment> {};

TEST_P(Threads, WritesWhatOneThreadWrites) {
    const Experiment& experiment = GetParam();
    const Files one = runWithThreads(experiment, 1);
    ASSERT_EQ(one.at("status"), "0") << one.at("stderr");
    const bool drawsRandomNumbers = experiment.name == "pointless";
    // Two threads, as many as the machine has, and three, whose shares of 20, 40 or 80 individuals
    // are unequal.
    for (const int threads : {2, 3}) {
        if (testing::programIsSanitized() && threads == 2) continue;
        Files many = runWithThreads(experiment, threads);
        if (drawsRandomNumbers) {
            const std::string warning = "valdrin: warning: --threads " + std::to_string(threads) +
                                        ": the Pointless problem's individuals are evaluated on one thread, since each "
                                        "evaluation draws from the experiment's random numbers, in turn\n";
            ASSERT_EQ(many["stderr"].substr(0, warning.size()), warning);
            many["stderr"].erase(0, warning.size());
        }
        for (const auto& [name, text] : one) {
            EXPECT_TRUE(many.count(name) == 1 && many.at(name) == text)
                << experiment.name << " with --threads " << threads << ": " << name << " differs";
        }
        EXPECT_EQ(many.size(), one.size()) << experiment.name << " with --threads " << threads;
    }
    if (experiment.name == "submatrix-undecodable") {
        // One message per evaluation: 20 individuals in 13 generations (the last in finish), twice.
        const std::string& err = one.at("stderr");
        std::size_t messages = 0;
        for (std::size_t at = err.find("Incorrect encoding type"); at != std::string::npos;
             at = err.find("Incorrect encoding type", at + 1)) {
            ++messages;
        }
        EXPECT_EQ(messages, 2u * 20u * 13u);
    }
}

INSTANTIATE_TEST_SUITE_P(Experiments, Threads, ::testing::ValuesIn(experiments()),
                         [](const ::testing::TestParamInfo<Experiment>& info) {
                             std::string id = info.param.name;
                             std::replace(id.begin(), id.end(), '-', '_');
                             return id;
                         });

TEST(ThreadsOption, ABadCountIsRefused) {
    ScratchDir scratch;
    writeFile("config.xml", testing::gaConfiguration("Sphere", {}));
    for (const char* count : {"0", "-2", "two", "1.5", "", "1025", "99999999999"}) {
        const auto result = runProgram({"config.xml", "--threads", count});
        EXPECT_EQ(result.status, 2) << count;
        EXPECT_NE(result.err.find("valdrin: error: --threads must be a whole number of threads from 1 to 1024"),
                  std::string::npos)
            << count << ": " << result.err;
        EXPECT_FALSE(fs::exists("summary.log")) << count;
    }
}

// A problem told what to do by each individual's genes: {0, id} sets the fitness to id; {1, id}
// first writes "message id" (leaving it to the calling thread when on a worker); {2, id} fails
// with the reason "failure id".
class ScriptedProblem final : public QProblem {
public:
    explicit ScriptedProblem(Engine& engine) : QProblem(engine) {}
    int adjustParameters(QEAParameters* /*params*/) override { return 1; }
    int printName(std::ostream& out) const override {
        out << "Scripted\n";
        return 1;
    }
    std::unique_ptr<QProblem> threadCopy() const override { return std::make_unique<ScriptedProblem>(*this); }
    int evaluateIndividual(QIndividual& individual) override {
        const auto& genes = static_cast<QRCIndividual&>(individual).genes;
        const int id = static_cast<int>(genes[1]);
        if (genes[0] == 1.0) {
            if (WorkerPool::onWorker()) throw WriteOnCallingThread{};
            engine().err() << "message " << id << "\n";
        }
        if (genes[0] == 2.0) throw EvaluationFailure{-1, "failure " + std::to_string(id)};
        individual.fitness = id;
        return 1;
    }
};

// Eleven individuals, in shares of 3, 4 and 4 on three threads; actions[i] is individual i's.
struct Generation {
    std::vector<std::unique_ptr<QRCIndividual>> owned;
    std::vector<QIndividual*> individuals;
    explicit Generation(const std::map<int, int>& actions) {
        for (int i = 0; i < 11; ++i) {
            owned.push_back(std::make_unique<QRCIndividual>());
            owned.back()->genes = {actions.count(i) != 0 ? static_cast<double>(actions.at(i)) : 0.0,
                                   static_cast<double>(i)};
            owned.back()->fitness = -1.0;
            individuals.push_back(owned.back().get());
        }
    }
};

TEST(EvaluateAll, MessagesComeInIndexOrderAndEveryIndividualIsEvaluated) {
    std::ostringstream out;
    std::ostringstream err;
    Engine engine(out, err);
    ScriptedProblem problem(engine);
    // Index 1 is the calling thread's own; 4, 6 and 10 fall to the workers.
    Generation generation({{1, 1}, {4, 1}, {6, 1}, {10, 1}});
    problem.evaluateAll(generation.individuals, 3);
    EXPECT_EQ(err.str(), "message 1\nmessage 4\nmessage 6\nmessage 10\n");
    for (int i = 0; i < 11; ++i) EXPECT_EQ(generation.individuals[static_cast<std::size_t>(i)]->fitness, i);
}

TEST(EvaluateAll, TheLowestFailureIsThrownAfterTheMessagesBeforeIt) {
    std::ostringstream out;
    std::ostringstream err;
    Engine engine(out, err);
    ScriptedProblem problem(engine);
    auto threads = EvaluationThreads::make(problem, 3);
    ASSERT_NE(threads, nullptr);
    const EvaluationThreads::Offer offer(threads.get());
    // Failures at 9 and 5 (two workers' shares), messages at 3 (before them) and 8 (after 5).
    Generation generation({{3, 1}, {5, 2}, {8, 1}, {9, 2}});
    for (int round = 0; round < 2; ++round) {
        err.str("");
        try {
            problem.evaluateAll(generation.individuals, 3);
            ADD_FAILURE() << "no failure";
        } catch (const EvaluationFailure& failure) {
            EXPECT_EQ(failure.individual, 5);
            EXPECT_EQ(failure.reason, "failure 5");
        }
        EXPECT_EQ(err.str(), "message 3\n");
    }
    // The same threads, kept, evaluate the next generation whole.
    Generation next(std::map<int, int>{{7, 1}});
    problem.evaluateAll(next.individuals, 3);
    EXPECT_EQ(err.str(), "message 3\nmessage 7\n");
    for (int i = 0; i < 11; ++i) EXPECT_EQ(next.individuals[static_cast<std::size_t>(i)]->fitness, i);
}

TEST(EvaluateAll, NetworkMessagesComeAsOnOneThread) {
    // XOR networks whose one node reads input 1 and writes the output; nodes of unknown types
    // (each message names the type) at indices 1 (the calling thread's share), 3 and 6.
    const std::map<std::size_t, int> unknown{{1, 11}, {3, 13}, {6, 16}};
    QEAParameters params;
    const auto generation = [&] {
        std::vector<QRNIndividual> networks(7);
        for (std::size_t i = 0; i < networks.size(); ++i) {
            QRNGene node;
            node.typeID = unknown.count(i) != 0 ? unknown.at(i) : static_cast<int>(i % 4) + 1;
            node.bias = 0.1 * static_cast<double>(i);
            node.addInput({1, 0.0}, 1.0);
            node.addOutput({3, 0.0}, 0.0);
            networks[i].inputsNumber = 2;
            networks[i].outputsNumber = 1;
            networks[i].genes = {node};
        }
        return networks;
    };
    const auto evaluated = [&](int threads, std::string& written) {
        std::ostringstream out;
        Engine engine(out, out);
        QANNProblemXOR task(engine);
        task.setParameters(&params);
        std::vector<QRNIndividual> networks = generation();
        std::vector<QIndividual*> individuals;
        for (QRNIndividual& network : networks) individuals.push_back(&network);
        task.evaluateAll(individuals, threads);
        written = out.str();
        std::vector<double> fitness;
        for (const QRNIndividual& network : networks) fitness.push_back(network.fitness);
        return fitness;
    };
    std::string alone;
    std::string shared;
    EXPECT_EQ(evaluated(3, shared), evaluated(1, alone));
    EXPECT_EQ(shared, alone);
    EXPECT_LT(alone.find("typeID = 11"), alone.find("typeID = 13"));
    EXPECT_LT(alone.find("typeID = 13"), alone.find("typeID = 16"));
}

}  // namespace
}  // namespace Valdrin
