// The Command problem: the request of each exchange, the copies of the evaluator, and how the
// command's words are read.
#include "problems/command_problem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <ostream>
#include <sstream>

#include "problems/evaluator_process.h"
#include "representation/integer.h"
#include "representation/real.h"
#include "representation/string.h"

namespace Valdrin {

namespace {

// Appends a value as the evaluator reads it back: whole numbers as they are, doubles as the
// shortest decimal text that reads back as the same double.
template <class Value>
void appendValue(std::string& out, Value value) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    out.append(text, written.ptr);
}

template <class Genes>
void appendGenes(std::string& out, const Genes& genes) {
    for (const auto gene : genes) {
        appendValue(out, gene);
        out += ' ';
    }
    if (!genes.empty()) out.pop_back();
    out += '\n';
}

std::string shownValue(double value) {
    std::string text;
    appendValue(text, value);
    return text;
}

// What the shell says with exit statuses 126 and 127.
std::string statusNote(const std::string& reason) {
    if (reason.starts_with("exited with status 127 ")) return " (the shell found no such command)";
    if (reason.starts_with("exited with status 126 ")) return " (the shell could not run the command)";
    return {};
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool isAssignment(const CommandWord& word) {
    const std::size_t equals = word.text.find('=');
    if (!word.plain || equals == std::string::npos || equals == 0) return false;
    const auto nameCharacter = [](char c) {
        return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    };
    const std::string_view name(word.text.data(), equals);
    return !(name.front() >= '0' && name.front() <= '9') && std::all_of(name.begin(), name.end(), nameCharacter);
}

}  // namespace

QCommandProblem::QCommandProblem(Engine& engine) : QProblem(engine) {}

QCommandProblem::~QCommandProblem() = default;

int QCommandProblem::adjustParameters(QEAParameters* /*params*/) { return 1; }

int QCommandProblem::evaluateIndividual(QIndividual& individual) {
    QIndividual* const alone[] = {&individual};
    try {
        evaluateAll(alone, 1);
    } catch (EvaluationFailure& failure) {
        failure.individual = -1;
        throw;
    }
    return 1;
}

void QCommandProblem::evaluateAll(std::span<QIndividual* const> individuals, int threads) {
    if (individuals.empty()) return;
    for (std::size_t i = 0; i < individuals.size(); ++i) {
        if (individuals[i]->getEncoding() == Encoding::Network) {
            throw EvaluationFailure{static_cast<int>(i), "the Command problem evaluates symbol strings, bit strings "
                                                         "and real vectors, not regulatory networks"};
        }
    }
    const std::size_t count = individuals.size();
    const std::size_t copies = std::min<std::size_t>(static_cast<std::size_t>(std::max(threads, 1)), count);
    const auto firstOf = [count, copies](std::size_t part) { return count * part / copies; };
    startEvaluators(copies);
    active_.clear();
    for (std::size_t part = 0; part < copies; ++part) {
        EvaluatorProcess& evaluator = *evaluators_[part];
        const std::size_t first = firstOf(part);
        evaluator.expected = firstOf(part + 1) - first;
        formatRequest(evaluator, individuals.subspan(first, evaluator.expected));
        active_.push_back(&evaluator);
    }
    try {
        exchangeAll(active_, _params->evaluatorTimeout);
    } catch (const ExchangeFailure& failure) {
        const EvaluatorProcess& evaluator = *active_[failure.process];
        const bool withinPart = failure.answer < evaluator.expected;
        std::string who = "the evaluator \"" + _params->evaluatorCommand + "\"";
        if (copies > 1) who += " (copy " + std::to_string(failure.process + 1) + " of " + std::to_string(copies) + ")";
        throw EvaluationFailure{withinPart ? static_cast<int>(firstOf(failure.process) + failure.answer) : -1,
                                who + " " + failure.reason + statusNote(failure.reason)};
    }
    for (std::size_t part = 0; part < copies; ++part) {
        const EvaluatorProcess& evaluator = *active_[part];
        const std::size_t first = firstOf(part);
        for (std::size_t k = 0; k < evaluator.expected; ++k) {
            QIndividual& individual = *individuals[first + k];
            individual.fitness = evaluator.answers[k];
            individual.fitnessComponents.clear();
        }
    }
}

void QCommandProblem::startEvaluators(std::size_t count) {
    std::vector<std::string> environment;
    for (std::size_t k = 0; k < count; ++k) {
        if (k == evaluators_.size()) evaluators_.push_back(std::make_unique<EvaluatorProcess>());
        // A copy stopped by a failure starts afresh.
        EvaluatorProcess& evaluator = *evaluators_[k];
        if (evaluator.started()) continue;
        if (environment.empty()) environment = settingsEnvironment();
        const std::string error = evaluator.start(_params->evaluatorCommand, engine().configurationFolder, environment);
        if (!error.empty()) throw EvaluationFailure{-1, "the evaluator \"" + _params->evaluatorCommand + "\" " + error};
    }
}

int QCommandProblem::evaluatorsStarted() const {
    return static_cast<int>(std::count_if(evaluators_.begin(), evaluators_.end(),
                                          [](const auto& evaluator) { return evaluator->started(); }));
}

void QCommandProblem::formatRequest(EvaluatorProcess& evaluator, std::span<QIndividual* const> individuals) const {
    std::string& out = evaluator.request;
    out.clear();
    appendValue(out, individuals.size());
    out += '\n';
    for (QIndividual* individual : individuals) {
        switch (individual->getEncoding()) {
            case Encoding::String:
                appendGenes(out, static_cast<const QStringIndividual*>(individual)->genes);
                break;
            case Encoding::Integer:
                appendGenes(out, static_cast<const QIntegerIndividual*>(individual)->genes);
                break;
            case Encoding::Real:
                appendGenes(out, static_cast<const QRCIndividual*>(individual)->genes);
                break;
            default:
                break;  // refused before
        }
    }
}

std::vector<std::string> QCommandProblem::settingsEnvironment() const {
    const QEAParameters& p = *_params;
    std::string encoding = "real";
    if (p.encoding == Encoding::String) encoding = p.permutation ? "permutation" : "string";
    if (p.encoding == Encoding::Integer) encoding = "integer";
    return {"VALDRIN_PROTOCOL=1",
            "VALDRIN_ENCODING=" + encoding,
            "VALDRIN_CHROMOSOME_LENGTH=" + std::to_string(p.chromosomeLength),
            "VALDRIN_GENE_SIZE=" + std::to_string(p.geneSize),
            "VALDRIN_ARITY=" + std::to_string(p.arity),
            "VALDRIN_GENE_OFFSET=" + shownValue(p.geneOffset),
            "VALDRIN_GENE_PRECISION=" + shownValue(p.genePrecision)};
}

std::vector<std::string> evaluatorFiles(const std::string& command, const std::string& folder) {
    const std::vector<CommandWord> words = commandWords(command);
    const CommandWord* program = programWord(words);
    std::vector<std::string> files;
    for (const CommandWord& word : words) {
        // A program found on the PATH, and files named by an absolute path (an installed
        // interpreter), lie outside the experiment.
        if (!word.plain || word.text.empty() || word.text.starts_with('/')) continue;
        if (&word == program && word.text.find('/') == std::string::npos) continue;
        const std::string path = folder == "." ? word.text : folder + "/" + word.text;
        struct stat status {};
        if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
        if (std::find(files.begin(), files.end(), word.text) == files.end()) files.push_back(word.text);
    }
    return files;
}

std::vector<std::string> QCommandProblem::inputFiles() const {
    const std::string& folder = engine().configurationFolder;
    std::vector<std::string> files;
    for (const std::string& name : evaluatorFiles(_params->evaluatorCommand, folder)) {
        files.push_back(folder == "." ? name : folder + "/" + name);
    }
    return files;
}

int QCommandProblem::printName(std::ostream& out) const {
    // Announced before the configuration reaches the problem, it can only say what it is.
    if (_params == nullptr) {
        out << "Command problem\n";
    } else {
        out << "Evaluator command: " << _params->evaluatorCommand << "\n";
    }
    return 1;
}

std::vector<CommandWord> commandWords(std::string_view command) {
    std::vector<CommandWord> words;
    CommandWord word;
    bool inWord = false;
    const auto special = [](char c) { return std::string_view("$`*?[;&|<>()").find(c) != std::string_view::npos; };
    for (std::size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (isBlank(c)) {
            if (inWord) words.push_back(std::move(word));
            word = CommandWord{};
            inWord = false;
            continue;
        }
        if (c == '#' && !inWord) break;  // a comment to the end
        inWord = true;
        if (c == '\'') {
            const std::size_t close = command.find('\'', i + 1);
            if (close == std::string_view::npos) word.plain = false;
            const std::size_t end = close == std::string_view::npos ? command.size() : close;
            word.text.append(command.substr(i + 1, end - i - 1));
            i = end;
        } else if (c == '"') {
            std::size_t j = i + 1;
            for (; j < command.size() && command[j] != '"'; ++j) {
                if (command[j] == '\\' && j + 1 < command.size() &&
                    std::string_view("$`\"\\\n").find(command[j + 1]) != std::string_view::npos) {
                    ++j;
                } else if (command[j] == '$' || command[j] == '`') {
                    word.plain = false;
                }
                word.text += command[j];
            }
            if (j >= command.size()) word.plain = false;
            i = j;
        } else if (c == '\\') {
            if (i + 1 < command.size()) word.text += command[++i];
        } else {
            if (special(c) || (c == '~' && word.text.empty())) word.plain = false;
            word.text += c;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

const CommandWord* programWord(const std::vector<CommandWord>& words) {
    for (const CommandWord& word : words) {
        if (!isAssignment(word)) return &word;
    }
    return nullptr;
}

bool isShellWord(std::string_view word) {
    static constexpr std::string_view kWords[] = {
        ".",      ":",     "[",      "alias",   "bg",       "break",   "cd",    "command", "continue", "echo",
        "eval",   "exec",  "exit",   "export",  "false",    "fc",      "fg",    "getopts", "hash",     "jobs",
        "kill",   "local", "printf", "pwd",     "read",     "readonly", "return", "set",    "shift",    "test",
        "times",  "trap",  "true",   "type",    "ulimit",   "umask",   "unalias", "unset", "wait",     "if",
        "while",  "until", "for",    "case",    "!",        "{"};
    return std::find(std::begin(kWords), std::end(kWords), word) != std::end(kWords);
}

std::string findProgram(const std::string& word, const std::string& folder, std::string& why) {
    why.clear();
    const auto runnable = [&why](const std::string& path) {
        struct stat status {};
        if (stat(path.c_str(), &status) != 0) return false;
        if (S_ISDIR(status.st_mode)) {
            why = path + " is a folder";
            return false;
        }
        if (access(path.c_str(), X_OK) != 0) {
            why = path + " cannot be run (it has no permission to execute)";
            return false;
        }
        return true;
    };
    const auto from = [&folder](const std::string& path) {
        return path.starts_with('/') || folder.empty() || folder == "." ? path : folder + "/" + path;
    };
    if (word.find('/') != std::string::npos) {
        const std::string path = from(word);
        return runnable(path) ? path : std::string();
    }
    const char* variable = std::getenv("PATH");
    const std::string_view searched = variable != nullptr ? variable : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= searched.size()) {
        std::size_t end = searched.find(':', start);
        if (end == std::string_view::npos) end = searched.size();
        const std::string entry(searched.substr(start, end - start));
        const std::string path = from((entry.empty() ? "." : entry) + "/" + word);
        if (runnable(path)) return path;
        start = end + 1;
    }
    return {};
}

}  // namespace Valdrin
