// QCommandProblem: individuals evaluated by a program in any language, the Evaluator command,
// a generation at a time over its standard input and output (docs/problems.md describes the
// exchange). Also how the command's words are read, for the configuration check.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "problems/problem.h"

namespace Valdrin {

class EvaluatorProcess;

class QCommandProblem final : public QProblem {
public:
    explicit QCommandProblem(Engine& engine);
    // Ends the evaluators (their input closed, then signals: see EvaluatorProcess::stop).
    ~QCommandProblem() override;

    // Changes nothing: the evaluator is told the record as it is.
    int adjustParameters(QEAParameters* params) override;
    // A batch of one (individual -1 in a failure).
    int evaluateIndividual(QIndividual& individual) override;
    // One exchange per generation; with threads > 1, that many copies of the command each take a
    // contiguous part of it, all at once. Throws EvaluationFailure when an evaluator fails.
    void evaluateAll(std::span<QIndividual* const> individuals, int threads) override;
    bool prefersWholeGenerations() const override { return true; }
    // The files the command names, relative to the configuration's folder, as paths from the
    // working folder: a resumed experiment must be evaluated by the same scripts.
    std::vector<std::string> inputFiles() const override;
    int printName(std::ostream& out) const override;

    // The copies of the command running.
    int evaluatorsStarted() const;

private:
    // The copies the generation needs, started where they are not running.
    void startEvaluators(std::size_t count);
    // Writes the individuals into the evaluator's request.
    void formatRequest(EvaluatorProcess& evaluator, std::span<QIndividual* const> individuals) const;
    // The "NAME=value" entries that tell the evaluator the experiment's settings.
    std::vector<std::string> settingsEnvironment() const;

    std::vector<std::unique_ptr<EvaluatorProcess>> evaluators_;
    std::vector<EvaluatorProcess*> active_;
};

// The words of a command line as the shell splits a simple command: blanks separate words,
// quotes and backslashes are taken away; a # at the start of a word begins a comment. Words
// holding what the shell would expand ($, `, *, ?, [, ~ at the start) or an operator (;, &, |, <,
// >, parentheses) are not plain: the shell alone knows what they stand for.
struct CommandWord {
    std::string text;
    bool plain = true;  // nothing in it that the shell would expand or treat as an operator
};
std::vector<CommandWord> commandWords(std::string_view command);

// The word the shell runs first: the first word after any NAME=value assignments (null when there
// is none).
const CommandWord* programWord(const std::vector<CommandWord>& words);

// The files of the experiment a command names: its plain, relative words that name files in the
// folder (a script, a data file), as written in the command, in order and once each. A program
// found on the PATH and absolute paths lie outside the experiment.
std::vector<std::string> evaluatorFiles(const std::string& command, const std::string& folder);

// Whether the shell knows the word itself (a built-in command or a reserved word of /bin/sh).
bool isShellWord(std::string_view word);

// Where `command -v` finds the program, looking in the folder for a word with a slash and on the
// PATH for another; empty when it is nowhere. why tells what was found instead where something was
// (a folder, a file that cannot be run).
std::string findProgram(const std::string& word, const std::string& folder, std::string& why);

}  // namespace Valdrin
