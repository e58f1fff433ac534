// The configuration check. Severity follows one rule: a warning where the program would still
// run exactly as it does today (what was written is only ignored or overridden in a known way),
// an error where the run would fail or could not mean what was written.
#include "registry/configuration_check.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <sstream>

#include "config/word_distance.h"
#include "core/random.h"
#include "problems/submatrix.h"
#include "registry/draw_estimate.h"
#include "registry/problem_table.h"
#include "registry/registry.h"
#include "representation/network.h"

namespace Valdrin {

namespace {

// The most draws a single operator may ask for per generation or per chromosome: beyond it a
// run cannot end in any useful time (and counts would leave the int range).
constexpr long long kMostWorkPerGeneration = 2147483647;


std::string quoted(std::string_view text) {
    std::string result(1, '"');
    result.append(text).push_back('"');
    return result;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

enum class NumberText { Valid, NotANumber, OutOfRange };

// A whole number is an optional minus and digits, nothing else: the only text the integer
// conversion reads in full. It must fit an int.
NumberText wholeNumberText(std::string_view text) {
    const bool negative = text.starts_with('-');
    std::string_view digits = text.substr(negative ? 1 : 0);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), isDigit)) return NumberText::NotANumber;
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.size() > 10) return NumberText::OutOfRange;
    const long long magnitude = digits.empty() ? 0 : std::stoll(std::string(digits));
    const long long limit = negative ? 2147483648LL : 2147483647LL;
    return magnitude > limit ? NumberText::OutOfRange : NumberText::Valid;
}

// A decimal number is an optional minus and digits with at most one decimal point, at least
// one digit: the only text the real conversion reads in full. It must come out finite.
NumberText decimalNumberText(const std::string& text) {
    const std::string_view body = std::string_view(text).substr(text.starts_with('-') ? 1 : 0);
    bool point = false;
    bool digit = false;
    for (char c : body) {
        if (isDigit(c)) {
            digit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return NumberText::NotANumber;
        }
    }
    if (!digit) return NumberText::NotANumber;
    return std::isfinite(parseRealText(text)) ? NumberText::Valid : NumberText::OutOfRange;
}

std::string shownReal(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

std::vector<std::string_view> keyNames() {
    std::vector<std::string_view> names;
    for (const KeyRow& row : keyRows()) names.push_back(row.key);
    return names;
}

// The encoding's row as the configuration names it: the permutation row for strings marked
// as permutations.
const EncodingRow* encodingRowOf(Encoding encoding, bool permutation) {
    const EncodingRow* found = nullptr;
    for (const EncodingRow& row : encodingRows()) {
        if (row.id != encoding) continue;
        if (row.permutation == permutation) return &row;
        if (found == nullptr) found = &row;
    }
    return found;
}

std::vector<std::string_view> encodingWordsOf(Encodings encodings) {
    std::vector<std::string_view> words;
    for (const EncodingRow& row : encodingRows()) {
        if (std::find(encodings.begin(), encodings.end(), row.id) != encodings.end()) words.push_back(row.word);
    }
    return words;
}

template <class Row>
bool appliesTo(const Row& row, Encoding encoding) {
    return makerFor(row, encoding) != nullptr;
}

template <class Row>
std::vector<std::string_view> wordsFor(std::span<const Row> rows, Encoding encoding) {
    std::vector<std::string_view> words;
    for (const Row& row : rows) {
        if (appliesTo(row, encoding)) words.push_back(row.word);
    }
    return words;
}

bool evaluates(const ProblemRow& problem, Encoding encoding) {
    return std::find(problem.encodings.begin(), problem.encodings.end(), encoding) != problem.encodings.end();
}

// The element that names the algorithm or the problem: the first child of the first element
// so named, as the program reads it.
struct Choice {
    std::vector<const ScannedElement*> elements;
    const ScannedElement* word = nullptr;
};

Choice chosen(const ConfigurationScan& scan, std::string_view name) {
    Choice choice{elementsNamed(scan.root, name), nullptr};
    if (!choice.elements.empty() && !choice.elements.front()->children.empty()) {
        choice.word = &choice.elements.front()->children.front();
    }
    return choice;
}

const ProblemRow* chosenProblem(const ConfigurationScan& scan, const ProblemTable& problems) {
    const Choice choice = chosen(scan, "problem");
    return choice.word == nullptr ? nullptr : rowNamed(problems.rows(), choice.word->text);
}

// The fields each problem's adjustParameters sets (src/problems). The submatrix task sets its
// chromosome length (and, for lists of rows, its alphabet), mutation rate and units ratio from
// its data file, which the check does not read.
void adjustAsTheProblemDoes(ProblemKind problem, QEAParameters& params) {
    switch (problem) {
        case ProblemKind::OneMax:
        case ProblemKind::Deceptive:
            params.geneSize = problem == ProblemKind::OneMax ? 1 : 4;
            params.geneOffset = 0.0;
            params.genePrecision = 1.0;
            break;
        case ProblemKind::MixingTime:
            params.geneSize = params.arity;
            params.chromosomeLength = params.arity;
            params.populationSize = params.arity;
            params.geneOffset = 0.0;
            params.genePrecision = 1.0;
            break;
        case ProblemKind::XOR:
            params.inputsNumber = 2;
            params.outputsNumber = 1;
            params.encoding = Encoding::Network;
            break;
        case ProblemKind::DoubleSine:
            params.inputsNumber = 1;
            params.outputsNumber = 1;
            break;
        default:
            break;
    }
}

// The fields the submatrix task sets from its data file (its adjustParameters): a list of rows
// (permutation) takes its alphabet from the rows and its length from the target, a mask its length
// from the rows; both set the mutation rate and the units ratio.
void adjustAsTheSubmatrixDataSays(const SubmatrixData& data, QEAParameters& params) {
    int length = data.rows;
    if (params.permutation) {
        params.arity = data.rows;
        length = data.target;
    }
    params.chromosomeLength = length;
    params.mRate = 0.7 / length;
    params.unitsRatio = static_cast<double>(data.target) / data.rows;
}

// The submatrix task's data file, in the folder the run reads it from.
std::string submatrixDataIn(const std::string& dataFolder) {
    return dataFolder == "." ? "matrix.txt" : dataFolder + "/matrix.txt";
}

bool setsChromosomeLength(ProblemKind problem) {
    return problem == ProblemKind::MixingTime || problem == ProblemKind::Submatrix;
}

bool setsGeneSize(ProblemKind problem) {
    return problem == ProblemKind::OneMax || problem == ProblemKind::Deceptive || problem == ProblemKind::MixingTime;
}

// Applies the pairs as the parameter reader does, except that a seed read as 0 stays 0.
void applyPairs(const ConfigurationScan& scan, QEAParameters& params) {
    for (const ScannedPair& pair : scan.pairs) {
        const KeyRow* key = findKey(pair.key);
        if (key == nullptr) continue;
        key->apply(params, pair.value);
        if (key->kind == KeyKind::Seed && parseIntegerText(pair.value) == 0) params.rngSeed = 0;
    }
}

// How a key was last given.
struct Setting {
    int firstLine = 0;
    int line = 0;  // of the value in force
    bool readable = true;  // the value in force is a number or word the key takes
};

class Checker {
public:
    Checker(const ConfigurationScan& scan, long long runs, std::string folder, ProblemTable problems,
            std::string dataFolder)
        : scan_(scan), findings_(scan.findings), runs_(runs), folder_(std::move(folder)), problems_(std::move(problems)),
          dataFolder_(std::move(dataFolder)) {}

    std::vector<Finding> run() {
        // A file without elements has no content to judge beyond the scan's findings.
        if (scan_.root.name.empty() && scan_.root.children.empty()) return std::move(findings_);
        readPairs();
        checkSeed();
        addProblemLibrary();
        algorithm_ = choose(algorithmRows(), "algorithm", "GA", algorithmLine_);
        problem_ = choose(problems_.rows(), "problem", "Sphere", problemLine_);
        if (problem_ != nullptr) adjustAsTheProblemDoes(problem_->id, params_);
        if (problem_ != nullptr) problems_.applySettings(*problem_, params_);
        if (problem_ != nullptr && problem_->id == ProblemKind::Submatrix && !dataFolder_.empty()) readSubmatrixTask();
        checkAlone();
        if (algorithm_ != nullptr && problem_ != nullptr) checkTogether();
        // Only an experiment that can run is worth the generator's warnings.
        if (algorithm_ != nullptr && problem_ != nullptr && !hasErrors(findings_)) checkGenerator();
        if (algorithm_ != nullptr && algorithm_->id == AlgorithmKind::SARN2 && runs_ > 1) {
            // The template network goes on from one run to the next: the runs are as written, but
            // neither independent nor alike in cost.
            warning(algorithmLine_, "SARN2's runs share one template network, which goes on growing from run to run: "
                                    "the " + std::to_string(runs_) + " runs are not independent and later ones take "
                                    "longer; for independent runs, run separate experiments (or a sweep over seeds)");
        }
        sortByLine(findings_);
        return std::move(findings_);
    }

private:
    void add(Severity severity, int line, std::string message) {
        findings_.push_back({severity, line, std::move(message)});
    }
    void error(int line, std::string message) { add(Severity::Error, line, std::move(message)); }
    void warning(int line, std::string message) { add(Severity::Warning, line, std::move(message)); }

    const Setting* setting(std::string_view key) const {
        const auto found = settings_.find(key);
        return found == settings_.end() ? nullptr : &found->second;
    }
    // The submatrix task's data set the chromosome's length, its alphabet (a list of rows), the
    // mutation rate and the units ratio; data the run could not read are an error.
    void readSubmatrixTask() {
        try {
            const std::string file = submatrixDataIn(dataFolder_);
            const SubmatrixData data = readSubmatrixData(file);
            if (params_.permutation && data.target < 1) {
                error(problemLine_, "a list of rows needs a target of at least one row (" + file + " gives " +
                                        std::to_string(data.target) + ")");
                return;
            }
            adjustAsTheSubmatrixDataSays(data, params_);
        } catch (const Failure& failure) {
            error(problemLine_, std::string(problem_->word) + " reads its data from " + submatrixDataIn(dataFolder_) +
                                    ": " + failure.plain());
        }
    }

    // A problem library adds its problem to the ones the configuration can name; one that cannot
    // serve is an error, and the problem element then names no known problem.
    void addProblemLibrary() {
        if (params_.problemLibrary.empty()) return;
        try {
            problems_.addLibrary(libraryPath(folder_, params_.problemLibrary));
        } catch (const PluginRefusal& refusal) {
            error(lineOf("Problem library"), refusal.message);
        }
    }

    int lineOf(std::string_view key) const {
        const Setting* given = setting(key);
        return given == nullptr ? 0 : given->line;
    }
    // A value worth judging: given as a number or word the key takes, or not given at all.
    bool judged(std::string_view key) const {
        const Setting* given = setting(key);
        return given == nullptr || given->readable;
    }
    std::string origin(std::string_view key) const { return setting(key) == nullptr ? ", the default" : ""; }

    // --- the pairs one by one ---

    void readPairs() {
        const std::vector<std::string_view> names = keyNames();
        for (const ScannedPair& pair : scan_.pairs) {
            const KeyRow* key = findKey(pair.key);
            if (key == nullptr) {
                // Ignored by the reader: the run goes on without it.
                warning(pair.keyLine, "unknown key " + quoted(pair.key) + didYouMean(pair.key, names));
                continue;
            }
            auto [entry, first] = settings_.try_emplace(key->key, Setting{pair.keyLine, 0, true});
            if (!first) {
                // The reader keeps the later value, as the file says last.
                warning(pair.keyLine, quoted(key->key) + " is given again (first on line " +
                                          std::to_string(entry->second.firstLine) + "); the later value " +
                                          quoted(pair.value) + " is used");
            }
            entry->second.line = pair.valueLine;
            entry->second.readable = checkText(*key, pair);
            key->apply(params_, pair.value);
            if (key->kind == KeyKind::Seed && parseIntegerText(pair.value) == 0) params_.rngSeed = 0;
        }
    }

    // Numbers that are not wholly numbers or that do not fit are errors: the program would read
    // another value than the one written. A word a key does not know leaves the earlier value;
    // that is a warning, made an error below when that value cannot make a run.
    bool checkText(const KeyRow& key, const ScannedPair& pair) {
        const std::string& value = pair.value;
        const int line = pair.valueLine;
        switch (key.kind) {
            case KeyKind::Integer:
            case KeyKind::Seed: {
                const std::string read = " (the program would read " + std::to_string(parseIntegerText(value)) + ")";
                switch (wholeNumberText(value)) {
                    case NumberText::Valid:
                        return true;
                    case NumberText::NotANumber:
                        error(line, quoted(key.key) + " needs a whole number, but " + quoted(value) + " is not one" + read);
                        return false;
                    case NumberText::OutOfRange:
                        error(line, quoted(key.key) + " is " + value +
                                        ", beyond the whole numbers from -2147483648 to 2147483647" + read);
                        return false;
                }
                return false;
            }
            case KeyKind::Real:
                switch (decimalNumberText(value)) {
                    case NumberText::Valid:
                        return true;
                    case NumberText::NotANumber: {
                        const bool exponent = value.find_first_of("eE") != std::string::npos;
                        error(line, quoted(key.key) + " needs a decimal number such as 0.25, but " + quoted(value) +
                                        " is not one (the program would read " + shownReal(parseRealText(value)) +
                                        ")" + (exponent ? "; write it without an exponent" : ""));
                        return false;
                    }
                    case NumberText::OutOfRange:
                        error(line, quoted(key.key) + " is too large to be a finite number");
                        return false;
                }
                return false;
            case KeyKind::Text:
                if (!value.empty()) return true;
                error(line, quoted(key.key) + " is empty");
                return false;
            case KeyKind::Word:
            case KeyKind::Flag: {
                const std::vector<std::string_view> words = key.words();
                if (std::find(words.begin(), words.end(), value) != words.end()) return true;
                rejectedWords_[key.key].push_back(findings_.size());
                warning(line, quoted(value) + " is not a word of " + quoted(key.key) + "; accepted: " + joinWords(words) +
                                  didYouMean(value, words));
                return false;
            }
        }
        return false;
    }

    // On the legacy generator only the seed's low 15 bits choose the stream: the run is that of
    // a smaller seed. The run is as written, so a warning.
    void checkSeed() {
        const Setting* given = setting("RNG seed");
        if (given == nullptr || !given->readable || params_.rngSeed <= rng::seedMask) return;
        if (params_.generator != GeneratorKind::Legacy) return;  // pcg64 reads every bit
        const std::uint32_t low = params_.rngSeed & rng::seedMask;
        const int written = static_cast<int>(params_.rngSeed);
        std::string message = written < 0 ? "RNG seed " + std::to_string(written) + " is negative and is read as " +
                                                std::to_string(params_.rngSeed)
                                          : "RNG seed " + std::to_string(params_.rngSeed) + " is above 32767";
        message += ": only its low 15 bits choose the random stream, ";
        message += low != 0 ? "so it gives the same run as seed " + std::to_string(low)
                            : "and they are all 0; no seed from 1 to 32767 gives this run (seed 0 means the calendar "
                              "time)";
        warning(given->line, message);
    }

    // Where the legacy generator cannot give what the experiment asks of it. The run is as
    // written, so warnings.
    void checkGenerator() {
        for (GeneratorNote& note : legacyGeneratorNotes(params_, runs_)) warning(lineOf(note.key), std::move(note.message));
    }

    // The algorithm or problem row the file names; null (with an error) when it names none or
    // an unknown word, either of which ends the program before any run.
    template <class Row>
    const Row* choose(std::span<const Row> rows, std::string_view element, std::string_view example, int& line) {
        const Choice choice = chosen(scan_, element);
        const std::vector<std::string_view> words = wordsOf(rows);
        const std::string accepted = "; accepted: " + joinWords(words);
        if (choice.elements.size() > 1) {
            // The program reads the first and ignores the others.
            warning(choice.elements[1]->line, "only the first <" + std::string(element) + "> (line " +
                                                  std::to_string(choice.elements[0]->line) +
                                                  ") is read; this one is ignored");
        }
        if (choice.elements.empty()) {
            error(0, "the file names no " + std::string(element) + ": add <" + std::string(element) + "><type>" +
                         std::string(example) + "</type></" + std::string(element) + ">" + accepted);
            return nullptr;
        }
        if (choice.word == nullptr) {
            error(choice.elements[0]->line, "<" + std::string(element) + "> holds no element with the " +
                                                std::string(element) + "'s word" + accepted);
            return nullptr;
        }
        line = choice.word->line;
        const Row* row = rowNamed(rows, choice.word->text);
        if (row == nullptr) {
            error(line, "unknown " + std::string(element) + " " + quoted(choice.word->text) + accepted +
                            didYouMean(choice.word->text, words));
        }
        return row;
    }

    // --- values that cannot make a meaningful run: errors ---

    // The key's value in force leaves no run; the words the key did not know explain why.
    void unusable(std::string_view key, int line, std::string message) {
        const auto rejected = rejectedWords_.find(key);
        if (rejected == rejectedWords_.end()) {
            error(line, std::move(message));
            return;
        }
        for (std::size_t index : rejected->second) findings_[index].severity = Severity::Error;
    }

    void atLeast(std::string_view key, long long value, long long minimum, std::string_view why) {
        if (!judged(key) || value >= minimum) return;
        error(lineOf(key), quoted(key) + " is " + std::to_string(value) + origin(key) + "; " + std::string(why));
    }

    bool mixingTime() const { return problem_ != nullptr && problem_->id == ProblemKind::MixingTime; }

    std::string populationText() const {
        if (mixingTime()) {
            return "\"Population size\" (" + std::to_string(params_.populationSize) + ", set by " +
                   std::string(problem_->word) + " from \"Arity\")";
        }
        return "\"Population size\" (" + std::to_string(params_.populationSize) + origin("Population size") + ")";
    }
    int populationLine() const { return lineOf(mixingTime() ? "Arity" : "Population size"); }
    bool populationJudged() const { return judged(mixingTime() ? "Arity" : "Population size"); }

    // Checks that need neither the algorithm nor, beyond its own settings, the problem.
    void checkAlone() {
        if (params_.encoding == Encoding::Unspecified && !(problem_ != nullptr && problem_->id == ProblemKind::XOR)) {
            unusable("Encoding", 0,
                     "no \"Encoding\" is given; accepted: " + joinWords(wordsOf(encodingRows())));
        }
        if (!mixingTime()) atLeast("Population size", params_.populationSize, 1, "a run needs at least 1 individual");
        atLeast("Generations number", params_.generationsNumber, 1, "a run needs at least 1 generation");
        atLeast("Elite count", params_.eliteCount, 0, "it cannot be negative");
        atLeast("Evaluations budget", params_.evaluationsBudget, 0, "it cannot be negative (0: no budget)");
        if (judged("Elite count") && populationJudged() && params_.populationSize >= 1 &&
            params_.eliteCount > params_.populationSize) {
            error(lineOf("Elite count") > 0 ? lineOf("Elite count") : populationLine(),
                  "\"Elite count\" (" + std::to_string(params_.eliteCount) + origin("Elite count") + ") is above " +
                      populationText() + ": the elite is chosen from a mating pool that size");
        }
        if (params_.selectionType == Selection::Unspecified) {
            unusable("Selection type", 0,
                     "no \"Selection type\" is given, and every algorithm needs one; accepted: " +
                         joinWords(wordsOf(selectionRows())));
        } else if (params_.selectionType == Selection::Tournament) {
            // Fewer than one contestant would silently make every draw a plain random one.
            atLeast("Tournament size", params_.tournamentSize, 1, "a tournament needs at least 1 contestant");
            // Contestants are drawn one by one for every place of the mating pool.
            const long long draws = static_cast<long long>(params_.tournamentSize) * std::max(params_.populationSize, 1);
            if (judged("Tournament size") && draws > kMostWorkPerGeneration) {
                error(lineOf("Tournament size"),
                      "\"Tournament size\" (" + std::to_string(params_.tournamentSize) + ") times " + populationText() +
                          " asks for " + std::to_string(draws) + " contestant draws per generation, more than " +
                          std::to_string(kMostWorkPerGeneration) + "; a tournament larger than the population adds draws, "
                          "not selection pressure");
            }
        }
    }

    // Checks of the algorithm, the problem, the encoding and the operators together.
    void checkTogether() {
        if (params_.encoding == Encoding::Unspecified) return;  // reported above
        const Encoding given = params_.encoding;
        const EncodingRow* givenRow = encodingRowOf(given, params_.permutation);
        if (givenRow == nullptr) return;  // every word the reader takes has a row
        const bool problemSetsEncoding = problem_->id == ProblemKind::XOR;
        const int encodingLine = problemSetsEncoding ? problemLine_ : lineOf("Encoding");
        const std::string problemWord = quoted(problem_->word);

        // The encoding of the population the algorithm evolves.
        Encoding evolved = given;
        if (algorithm_->id == AlgorithmKind::SARN2) {
            // A task that asks for networks gets them from real-coded vectors.
            if (evolved == Encoding::Network) evolved = Encoding::Real;
            if (!evaluates(*problem_, Encoding::Network)) {
                error(problemLine_, problemWord + " cannot evaluate the regulatory networks SARN2 builds; problems "
                                                  "for networks: " + joinWords(problemsFor(Encoding::Network)));
            }
            if (judged("Chromosome length") && params_.chromosomeLength < kMutationKinds) {
                error(lineOf("Chromosome length"),
                      "SARN2 needs at least " + std::to_string(kMutationKinds) +
                          " genes per vector, one per kind of network mutation; \"Chromosome length\" is " +
                          std::to_string(params_.chromosomeLength) + origin("Chromosome length"));
            }
            if (evolved != Encoding::Real) {
                unusable("Encoding", encodingLine,
                         "SARN2 evolves real-coded vectors that steer its networks: \"Encoding\" must be real, "
                         "not " + quoted(givenRow->word));
                return;
            }
        } else {
            if (!evaluates(*problem_, given)) {
                error(encodingLine > 0 ? encodingLine : problemLine_,
                      problemWord + " cannot evaluate the " + std::string(givenRow->word) +
                          " encoding; it takes: " + joinWords(encodingWordsOf(problem_->encodings)));
            }
            if (algorithm_->id == AlgorithmKind::GA && given == Encoding::Network) {
                // Without a crossover the genetic algorithm's population shrinks to its elite.
                error(encodingLine, std::string(problemSetsEncoding ? problemWord + " sets the" : "The") +
                                        " regulatory network encoding, which has no crossover, so GA cannot make "
                                        "children; use SARN or SARN2 for networks");
            }
        }
        const EncodingRow* row = encodingRowOf(evolved, params_.permutation);
        const std::string encodingText = "the " + std::string(row->word) + " encoding";
        checkOperators(*row, evolved, encodingText);
        checkSizes(evolved);
        checkValues(*row, evolved);
        checkElitism();
        checkFirstHit();
        if (evolved == Encoding::Network && params_.nichingType == Niching::Sharing) {
            error(lineOf("Niching type"), "fitness sharing cannot measure distances between regulatory networks; "
                                          "choose another \"Niching type\"");
        }
        if (evolved == Encoding::String && params_.permutation && params_.initializationType == Initialization::Unmixed) {
            warning(lineOf("Initialization type"),
                    "\"unmixed\" initialization gives every individual one symbol repeated: no individual starts as "
                    "a permutation; \"random\" draws permutations");
        }
        if (evolved != Encoding::String && params_.initializationType == Initialization::Unmixed) {
            // The initializer reports the type and starts from random genes: the run goes on.
            warning(lineOf("Initialization type"), "\"unmixed\" initialization applies to string encodings only: " +
                                                       encodingText + " starts from random genes");
        }
    }

    std::vector<std::string_view> problemsFor(Encoding encoding) const {
        std::vector<std::string_view> words;
        for (const ProblemRow& row : problems_.rows()) {
            if (evaluates(row, encoding)) words.push_back(row.word);
        }
        return words;
    }

    void checkOperators(const EncodingRow& row, Encoding evolved, const std::string& encodingText) {
        if (row.crossoverTable == nullptr) {
            if (setting("Crossover type") != nullptr) {
                // Networks recombine without crossover; the key changes nothing.
                warning(lineOf("Crossover type"), encodingText + " takes no crossover: \"Crossover type\" is not used");
            }
        } else {
            const CrossoverRow* crossover = rowOf(crossoverRows(), params_.xType);
            if (crossover != nullptr && !appliesTo(*crossover, evolved)) {
                const std::string accepted = joinWords(wordsFor(crossoverRows(), evolved));
                unusable("Crossover type", lineOf("Crossover type"),
                         setting("Crossover type") == nullptr
                             ? "the default crossover " + quoted(crossover->word) + " does not apply to " +
                                   encodingText + "; choose a \"Crossover type\": " + accepted
                             : "crossover " + quoted(crossover->word) + " does not apply to " + encodingText +
                                   "; accepted for it: " + accepted);
            }
            // A word that builds another operator on this encoding runs as that one.
            if (crossover != nullptr && algorithm_->id != AlgorithmKind::SARN) {
                const std::string instead = runsInstead(*crossover, evolved);
                if (!instead.empty()) {
                    warning(lineOf("Crossover type"),
                            "crossover " + quoted(crossover->word) + " on " + encodingText + " " + instead);
                }
            }
            // Crossovers that exchange genes copy symbols without repairing the children.
            if (crossover != nullptr && params_.permutation && evolved == Encoding::String &&
                crossover->id != Crossover::Order && appliesTo(*crossover, evolved) && algorithm_->id != AlgorithmKind::SARN) {
                warning(lineOf("Crossover type"),
                        "crossover " + quoted(crossover->word) +
                            " exchanges genes between permutations without repairing the children: they repeat "
                            "symbols and are no longer permutations; \"order\" keeps them permutations");
            }
            if (judged("Parents number") && params_.parentsNumber != 2) {
                error(lineOf("Parents number"), "\"Parents number\" is " + std::to_string(params_.parentsNumber) +
                                                    "; a crossover pairs exactly 2 parents");
            }
            atLeast("Children number", params_.childrenNumber, 2, "a crossover makes at least 2 children");
            // SARN reproduces without its crossover; the others fill the population with children, of
            // which each crossover makes the first 2 from its parents and adds the rest as blank
            // chromosomes. More than the population holds is an error; blank ones within it run as
            // written, a warning.
            const int children = params_.childrenNumber;
            if (algorithm_->id != AlgorithmKind::SARN && children > 2 && judged("Children number") &&
                populationJudged() && params_.populationSize >= 1) {
                if (children > params_.populationSize) {
                    error(lineOf("Children number") > 0 ? lineOf("Children number") : populationLine(),
                          "\"Children number\" (" + std::to_string(children) + ") is above " + populationText() +
                              ": one crossover would make more children than the population holds");
                } else {
                    warning(lineOf("Children number"),
                            "\"Children number\" is " + std::to_string(children) +
                                ": only 2 children of each crossover come from the parents; the other " +
                                std::to_string(children - 2) + " start as blank chromosomes");
                }
            }
        }
        const MutationRow* mutation = rowOf(mutationRows(), params_.mutationType);
        if (mutation != nullptr && !appliesTo(*mutation, evolved)) {
            const std::string accepted = joinWords(wordsFor(mutationRows(), evolved));
            unusable("Mutation type", lineOf("Mutation type"),
                     setting("Mutation type") == nullptr
                         ? "the default mutation " + quoted(mutation->word) + " does not apply to " + encodingText +
                               "; choose a \"Mutation type\": " + accepted
                         : "mutation " + quoted(mutation->word) + " does not apply to " + encodingText +
                               "; accepted for it: " + accepted);
        }
        if (mutation != nullptr) {
            const std::string instead = runsInstead(*mutation, evolved);
            if (!instead.empty()) {
                warning(lineOf("Mutation type"), "mutation " + quoted(mutation->word) + " on " + encodingText + " " + instead);
            }
        }
    }

    // --- values the run reads as something else than they say: warnings that say what it does ---

    // A probability outside [0, 1] acts as the nearer bound.
    void probability(std::string_view key, double value, const std::string& atOne, const std::string& atZero,
                     const std::string& note = "") {
        if (!judged(key) || (value >= 0.0 && value <= 1.0)) return;
        const bool above = value > 1.0;
        warning(lineOf(key), quoted(key) + " is " + shownReal(value) + origin(key) + ": a probability " +
                                 (above ? "above 1 acts as 1, so " + atOne : "below 0 acts as 0, so " + atZero) + note);
    }

    bool crosses(const EncodingRow& row) const {
        return row.crossoverTable != nullptr && algorithm_->id != AlgorithmKind::SARN;
    }

    void checkValues(const EncodingRow& row, Encoding evolved) {
        // The submatrix task sets the mutation rate and the units ratio from its data file.
        const bool problemSetsRates = problem_->id == ProblemKind::Submatrix;
        const MutationRow* mutation = rowOf(mutationRows(), params_.mutationType);
        if (!problemSetsRates && mutation != nullptr && !mutation->rateUnit.empty() && appliesTo(*mutation, evolved)) {
            const std::string unit(mutation->rateUnit);
            probability("Mutation rate", params_.mRate, "every " + unit + " mutates", "no " + unit + " mutates",
                        algorithm_->id == AlgorithmKind::SARN2
                            ? " (SARN2's network mutation still scales its probabilities by the value as written)"
                            : "");
        }
        // Deterministic crowding crosses every pair whatever the rate.
        if (crosses(row) && params_.nichingType != Niching::DeterministicCrowding) {
            probability("Crossover rate", params_.xRate, "every pair of parents is crossed",
                        "no pair is crossed and the children are copies of their parents");
        }
        if (evolved == Encoding::Integer && !problemSetsRates) {
            probability("Units ratio", params_.unitsRatio, "every initial bit is 1", "every initial bit is 0");
        }
        if (params_.nichingType == Niching::Sharing && evolved != Encoding::Network && judged("Sharing sigma") &&
            params_.sharingSigma <= 0.0) {
            warning(lineOf("Sharing sigma") > 0 ? lineOf("Sharing sigma") : lineOf("Niching type"),
                    "\"Sharing sigma\" is " + shownReal(params_.sharingSigma) + origin("Sharing sigma") +
                        ": no two individuals are closer than that, so fitness sharing changes no fitness");
        }
        if (problem_->neverBelowZero && judged("Error level") && params_.errorLevel <= 0.0) {
            warning(lineOf("Error level"), "\"Error level\" is " + shownReal(params_.errorLevel) + origin("Error level") +
                                               ": only a fitness strictly below it solves the problem, and " +
                                               quoted(problem_->word) + " gives no fitness below 0, so no run counts "
                                               "as solved");
        }
        if (crosses(row)) checkXAlpha();
    }

    // Only BLX (the interval's extension) and SBX (the distribution index) read xAlpha.
    void checkXAlpha() {
        if (!judged("xAlpha")) return;
        const int line = lineOf("xAlpha");
        const double alpha = params_.xAlpha;
        const std::string value = "\"xAlpha\" is " + shownReal(alpha);
        if (params_.xType == Crossover::BLX) {
            if (alpha < -0.5) {
                warning(line, value + ": below -0.5 the BLX interval turns over, so it acts as xAlpha " +
                                  shownReal(-1.0 - alpha) + " (-1 - xAlpha)");
            }
        } else if (params_.xType == Crossover::SBX) {
            if (alpha == -1.0) {
                error(line, value + ": SBX's exponent 1/(xAlpha + 1) does not exist, and the run would end at its "
                                    "start");
            } else if (alpha < -1.0) {
                warning(line, value + ": below -1 SBX's exponent 1/(xAlpha + 1) is negative, so half of its draws "
                                      "throw the children beyond their parents, the farther the nearer a draw is to "
                                      "0 (a draw of 0 makes the genes infinite)");
            }
        } else if (setting("xAlpha") != nullptr) {
            const CrossoverRow* crossover = rowOf(crossoverRows(), params_.xType);
            warning(line, "\"xAlpha\" is not used: only BLX and SBX read it" +
                              (crossover != nullptr ? ", and the crossover is " + quoted(crossover->word) : ""));
        }
    }

    void checkElitism() {
        if (!judged("Elitism") || !judged("Elite count")) return;
        const int line = lineOf("Elitism");
        const bool crowding = params_.nichingType == Niching::DeterministicCrowding;
        if (params_.elitism == Elitism::Kept) {
            if (params_.eliteCount == 0) {
                warning(line, "\"Elitism\" \"kept\" changes nothing: \"Elite count\" is 0" + origin("Elite count") +
                                  ", so there are no elite copies");
            } else if (algorithm_->id == AlgorithmKind::SARN) {
                warning(line, "SARN makes its offspring from the mating pool alone and drops the elite copies, so "
                              "neither \"Elite count\" nor \"Elitism\" \"kept\" changes its runs");
            } else if (algorithm_->id == AlgorithmKind::SARN2) {
                warning(line, "under SARN2 \"kept\" spares the elite vectors the vector mutation only: every "
                              "generation still builds a network from each vector, mutates it and writes its "
                              "mutated parameters back, so an elite's fitness is not carried over");
            }
        } else if (setting("Elitism") != nullptr && crowding && params_.eliteCount >= 1 &&
                   algorithm_->id != AlgorithmKind::SARN) {
            warning(line, "under deterministic crowding the elite copies are never mutated (crowding mutates only "
                          "the children it makes), so \"Elitism\" \"mutated\" leaves them unchanged");
        }
    }

    // Only the network algorithms stop at the first hit, and not under deterministic crowding.
    void checkFirstHit() {
        if (!params_.untilFirstHit || !judged("Until first hit")) return;
        const int line = lineOf("Until first hit");
        if (algorithm_->id == AlgorithmKind::GA) {
            warning(line, "\"Until first hit\" does not stop GA runs: every run goes through all its generations "
                          "(its first solution is still recorded)");
        } else if (params_.nichingType == Niching::DeterministicCrowding) {
            warning(line, "\"Until first hit\" does not stop runs under deterministic crowding: every run goes "
                          "through all its generations (its first solution is still recorded)");
        }
    }

    // Sizes of chromosomes and alphabets, except those the problem sets itself.
    void checkSizes(Encoding evolved) {
        const ProblemKind problem = problem_->id;
        if (!setsChromosomeLength(problem)) {
            atLeast("Chromosome length", params_.chromosomeLength, 1, "a chromosome needs at least 1 gene");
        }
        if (evolved == Encoding::Integer && !setsGeneSize(problem)) {
            atLeast("Gene size", params_.geneSize, 1, "a bit-string gene needs at least 1 bit");
            // Every bit takes a draw when a chromosome is made and when it is mutated.
            const long long bits = static_cast<long long>(params_.geneSize) * std::max(params_.chromosomeLength, 1);
            if (judged("Gene size") && bits > kMostWorkPerGeneration) {
                error(lineOf("Gene size"), "\"Gene size\" (" + std::to_string(params_.geneSize) +
                                               ") times the chromosome length gives " + std::to_string(bits) +
                                               " bits per chromosome, more than " +
                                               std::to_string(kMostWorkPerGeneration) +
                                               "; a gene's value holds 32 bits");
            }
        }
        if (evolved == Encoding::Integer) checkCutPositions();
        if (problem == ProblemKind::MixingTime) {
            atLeast("Arity", params_.arity, 1,
                    std::string(problem_->word) +
                        " takes the chromosome length and the population size from it and needs at least 1 symbol");
            return;
        }
        if (evolved != Encoding::String) return;
        // A list of rows of the submatrix task takes its alphabet from the data file.
        if (problem == ProblemKind::Submatrix && params_.permutation) return;
        atLeast("Arity", params_.arity, 1, "strings need an alphabet of at least 1 symbol");
        if (params_.permutation && params_.initializationType != Initialization::Unmixed && problem != ProblemKind::Submatrix &&
            judged("Arity") && judged("Chromosome length") && params_.arity >= 1 &&
            params_.arity < params_.chromosomeLength) {
            error(lineOf("Arity") > 0 ? lineOf("Arity") : lineOf("Chromosome length"),
                  "\"Arity\" (" + std::to_string(params_.arity) + origin("Arity") + ") is below \"Chromosome length\" (" +
                      std::to_string(params_.chromosomeLength) + origin("Chromosome length") +
                      "): a permutation needs as many different symbols as genes");
        }
    }

    // The bit-string crossovers draw two different cut positions: among the chromosome's bits,
    // or (2-point PGX) among each gene's bits. Fewer than two end the run at its first
    // crossover.
    void checkCutPositions() {
        if (rowOf(crossoverRows(), params_.xType) == nullptr || params_.geneSize < 1 || params_.chromosomeLength < 1) return;
        const bool perGene = params_.xType == Crossover::TwoPointPGX;
        if (params_.xType == Crossover::OnePointPGX) return;
        const long long positions =
            perGene ? params_.geneSize : static_cast<long long>(params_.geneSize) * params_.chromosomeLength;
        if (positions >= 2) return;
        const std::string geneSize = "\"Gene size\" " + std::to_string(params_.geneSize) +
                                     (setsGeneSize(problem_->id) ? ", set by " + std::string(problem_->word) : origin("Gene size"));
        int line = lineOf("Crossover type");
        if (line == 0 && !perGene) line = lineOf("Chromosome length");
        if (line == 0) line = lineOf("Gene size");
        error(line, "crossover " + quoted(rowOf(crossoverRows(), params_.xType)->word) + " needs two different cut positions " +
                        (perGene ? "inside every gene, but a gene holds 1 bit (" + geneSize + ")"
                                 : "in the chromosome, but it holds 1 bit (\"Chromosome length\" " +
                                       std::to_string(params_.chromosomeLength) + origin("Chromosome length") + ", " +
                                       geneSize + ")"));
    }

    const ConfigurationScan& scan_;
    std::vector<Finding> findings_;
    QEAParameters params_;
    std::map<std::string_view, Setting, std::less<>> settings_;
    std::map<std::string_view, std::vector<std::size_t>, std::less<>> rejectedWords_;
    const AlgorithmRow* algorithm_ = nullptr;
    const ProblemRow* problem_ = nullptr;
    int algorithmLine_ = 0;
    int problemLine_ = 0;
    long long runs_ = 1;
    std::string folder_;
    ProblemTable problems_;
    std::string dataFolder_;
};

}  // namespace

std::vector<Finding> checkConfiguration(const ConfigurationScan& scan, long long runs, const std::string& folder,
                                        const ProblemTable& problems, const std::string& dataFolder) {
    return Checker(scan, runs, folder, problems, dataFolder).run();
}

std::vector<Finding> checkConfigurationFile(const std::string& path, long long runs) {
    // The folder part of the path (without <filesystem>, whose std::quoted this file's quoted()
    // would meet).
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    return checkConfiguration(scanConfigurationFile(path), runs, folder);
}

std::vector<Finding> warningsAsErrors(std::vector<Finding> findings) {
    for (Finding& finding : findings) finding.severity = Severity::Error;
    return findings;
}

bool hasErrors(std::span<const Finding> findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& finding) { return finding.severity == Severity::Error; });
}

QEAParameters effectiveParameters(const ConfigurationScan& scan, const std::string& folder,
                                  const ProblemTable& known, const std::string& dataFolder) {
    QEAParameters params;
    applyPairs(scan, params);
    ProblemTable problems = known;
    if (!params.problemLibrary.empty()) {
        try {
            problems.addLibrary(libraryPath(folder, params.problemLibrary));
        } catch (const PluginRefusal&) {
            // The check says why; the record keeps the configuration's values.
        }
    }
    if (const ProblemRow* problem = chosenProblem(scan, problems)) {
        adjustAsTheProblemDoes(problem->id, params);
        problems.applySettings(*problem, params);
        if (problem->id == ProblemKind::Submatrix && !dataFolder.empty()) {
            try {
                const SubmatrixData data = readSubmatrixData(submatrixDataIn(dataFolder));
                if (!params.permutation || data.target >= 1) adjustAsTheSubmatrixDataSays(data, params);
            } catch (const Failure&) {
                // The check says why; the record keeps the configuration's values.
            }
        }
    }
    return params;
}

std::string parametersText(const QEAParameters& params) {
    std::string text;
    for (const KeyRow& key : keyRows()) {
        // The settings of a problem from outside show only where the configuration has one.
        if (key.kind == KeyKind::Text && key.shown(params).empty()) continue;
        if (key.key == "Evaluator timeout" && params.evaluatorCommand.empty()) continue;
        text += std::string(key.key) + " = " + key.shown(params);
        if (key.kind == KeyKind::Seed && params.rngSeed == 0) text += " (the calendar time)";
        text += "\n";
    }
    return text;
}

}  // namespace Valdrin
