// Tests of the Command problem on its own: what it sends reads back exactly, a generation split
// among copies comes back in order, the evaluators learn the settings and end with the problem.
#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>
#include <cfloat>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <memory>
#include <vector>

#include "problems/command_problem.h"
#include "representation/real.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::readFile;
using testing::ScratchDir;
using testing::writeFile;

TEST(CommandProblem, CopiesShareAGenerationAndEveryGeneReadsBackExactly) {
    ScratchDir dir;
    std::filesystem::create_directories("experiment");
    // Each copy notes its process id and its settings, then answers every individual's first gene
    // exactly as it was written.
    writeFile("experiment/echo.awk", "left == 0 { left = $1; next }\n{ print $1; if (--left == 0) fflush() }\n");
    Engine engine;
    engine.configurationFolder = "experiment";
    QEAParameters params;
    params.encoding = Encoding::Real;
    params.chromosomeLength = 2;
    params.evaluatorCommand =
        "echo $$ >> pids.txt; env | grep '^VALDRIN_' | sort > settings.txt; exec awk -W interactive -f echo.awk";
    const std::vector<double> firstGenes = {0.1,    1.0 / 3.0, 1e-300,  DBL_TRUE_MIN, -2.5e300,
                                            DBL_MAX, 10.000000000000002};
    std::vector<std::unique_ptr<QRCIndividual>> individuals;
    std::vector<QIndividual*> generation;
    for (double gene : firstGenes) {
        individuals.push_back(std::make_unique<QRCIndividual>());
        individuals.back()->_params = &params;
        individuals.back()->genes = {gene, 7.0};
        generation.push_back(individuals.back().get());
    }
    {
        QCommandProblem problem(engine);
        problem.setParameters(&params);
        EXPECT_EQ(problem.inputFiles(), std::vector<std::string>{"experiment/echo.awk"});
        // Seven individuals on three copies: parts of 2, 2 and 3.
        problem.evaluateAll(generation, 3);
        EXPECT_EQ(problem.evaluatorsStarted(), 3);
        for (std::size_t i = 0; i < firstGenes.size(); ++i) EXPECT_EQ(individuals[i]->fitness, firstGenes[i]) << i;
        // Alone, an individual goes to the first copy.
        individuals[0]->genes[0] = -0.5;
        problem.evaluateIndividual(*individuals[0]);
        EXPECT_EQ(individuals[0]->fitness, -0.5);
        EXPECT_EQ(problem.evaluatorsStarted(), 3);
        EXPECT_EQ(readFile("experiment/settings.txt"),
                  "VALDRIN_ARITY=2\nVALDRIN_CHROMOSOME_LENGTH=2\nVALDRIN_ENCODING=real\nVALDRIN_GENE_OFFSET=-5.12\n"
                  "VALDRIN_GENE_PRECISION=0.01\nVALDRIN_GENE_SIZE=10\nVALDRIN_PROTOCOL=1\n");
    }
    // The problem gone, every copy has ended and been reaped.
    const std::vector<std::string> pids = testing::splitLines(readFile("experiment/pids.txt"));
    ASSERT_EQ(pids.size(), 3U);
    for (const std::string& pid : pids) {
        EXPECT_EQ(kill(std::stoi(pid), 0), -1) << pid;
        EXPECT_EQ(errno, ESRCH) << pid;
    }
}

// The reason of the failure the statement throws, and the individual it names (-2: none thrown).
std::pair<int, std::string> failureOf(const std::function<void()>& statement) {
    try {
        statement();
    } catch (const EvaluationFailure& failure) {
        return {failure.individual, failure.reason};
    }
    return {-2, ""};
}

TEST(CommandProblem, AFailureNamesTheIndividualAmongThoseHandedOver) {
    ScratchDir dir;
    Engine engine;
    QEAParameters params;
    params.encoding = Encoding::Real;
    params.chromosomeLength = 1;
    // Answers each first gene, except 99, which gets a word.
    params.evaluatorCommand = "exec awk -W interactive '"
                              "left == 0 { left = $1; next } { print ($1 == 99 ? \"junk\" : $1); "
                              "if (--left == 0) fflush() }'";
    std::vector<std::unique_ptr<QRCIndividual>> individuals;
    std::vector<QIndividual*> generation;
    for (double gene : {0.0, 1.0, 2.0, 99.0}) {
        individuals.push_back(std::make_unique<QRCIndividual>());
        individuals.back()->_params = &params;
        individuals.back()->genes = {gene};
        generation.push_back(individuals.back().get());
    }
    QCommandProblem problem(engine);
    problem.setParameters(&params);
    // The second copy fails on its second individual: the fourth of the generation.
    const auto [individual, reason] = failureOf([&] { problem.evaluateAll(generation, 2); });
    EXPECT_EQ(individual, 3);
    EXPECT_EQ(reason, "the evaluator \"" + params.evaluatorCommand + "\" (copy 2 of 2) answered \"junk\", which is "
                      "not a number");
    // The failed copy was stopped, and starts afresh when needed; alone, an individual has no index.
    EXPECT_EQ(problem.evaluatorsStarted(), 1);
    EXPECT_EQ(failureOf([&] { problem.evaluateIndividual(*individuals[3]); }).first, -1);
    EXPECT_EQ(failureOf([&] { problem.evaluateAll(std::span(generation).first(3), 2); }).first, -2);
    EXPECT_EQ(individuals[2]->fitness, 2.0);

    // A line too many that comes with the answers is refused (later ones would be taken for the
    // next exchange's answers).
    QEAParameters talkative = params;
    talkative.evaluatorCommand = "read count; read genes; printf '1\\n2\\n'; exec cat > /dev/null";
    QCommandProblem chatty(engine);
    chatty.setParameters(&talkative);
    EXPECT_NE(failureOf([&] { chatty.evaluateAll(std::span(generation).first(1), 1); })
                  .second.find("answered more lines than the 1 individual it was sent (\"2\" is one too many)"),
              std::string::npos);
}

TEST(CommandProblem, ALargeGenerationFlowsBothWaysAtOnce) {
    ScratchDir dir;
    Engine engine;
    QEAParameters params;
    params.encoding = Encoding::Real;
    params.evaluatorTimeout = 20;
    // Each answer (a zero written with 500 digits) goes out as soon as its individual is read: the
    // answers fill the socket long before the request (some 5 MB) is written, so a writer that
    // did not read at the same time would wait for ever.
    params.evaluatorCommand = "exec awk -W interactive 'BEGIN { zero = sprintf(\"%0500d\", 0) } "
                              "left == 0 { left = $1; next } { print zero; --left }'";
    std::vector<std::unique_ptr<QRCIndividual>> individuals;
    std::vector<QIndividual*> generation;
    for (int i = 0; i < 3000; ++i) {
        individuals.push_back(std::make_unique<QRCIndividual>());
        individuals.back()->_params = &params;
        individuals.back()->genes.assign(100, 10.000000000000002 + i);
        individuals.back()->fitness = 1.0;
        generation.push_back(individuals.back().get());
    }
    QCommandProblem problem(engine);
    problem.setParameters(&params);
    problem.evaluateAll(generation, 1);
    for (const auto& individual : individuals) ASSERT_EQ(individual->fitness, 0.0);
}

TEST(CommandProblem, CommandWordsAreReadAsTheShellSplitsThem) {
    const auto texts = [](const std::string& command) {
        std::vector<std::string> words;
        for (const CommandWord& word : commandWords(command)) words.push_back(word.text + (word.plain ? "" : "?"));
        return words;
    };
    EXPECT_EQ(texts("  python3 'my fitness.py'  --scale \"a \\\"b\\\"\" c\\ d # comment"),
              (std::vector<std::string>{"python3", "my fitness.py", "--scale", "a \"b\"", "c d"}));
    // What the shell expands is not plain.
    EXPECT_EQ(texts("$HOME/fit ~/x *.py 'lit$'"), (std::vector<std::string>{"$HOME/fit?", "~/x?", "*.py?", "lit$"}));
    const std::vector<CommandWord> words = commandWords("LANG=C X_1=2 ./fit.sh 3=4");
    ASSERT_NE(programWord(words), nullptr);
    EXPECT_EQ(programWord(words)->text, "./fit.sh");
    EXPECT_EQ(programWord(commandWords("A=1")), nullptr);
}

}  // namespace
}  // namespace Valdrin
