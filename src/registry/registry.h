// The registry: every algorithm, problem, encoding, operator and option word the configuration
// can name, each defined once as one row (the word, its typed identifier, the encodings it
// applies to, how it is made, and a one-line description). The parameter reader, the maker of an
// algorithm's parts and the help text all read these rows.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/identifiers.h"
#include "core/parameters.h"

namespace Valdrin {

class Engine;
class QEvolutionaryAlgorithm;
class QProblem;
class QPopulation;
class QInitializer;
class QNichingOperator;
class QSelection;
class QParentSelector;
class QPopulationSizer;
class QCrossoverOperator;
class QMutationOperator;

template <class Product>
using Maker = std::unique_ptr<Product> (*)();
// Algorithms and problems are made for the experiment's engine.
template <class Product>
using EngineMaker = std::unique_ptr<Product> (*)(Engine&);

// The encodings a row applies to.
using Encodings = std::span<const Encoding>;

struct AlgorithmRow {
    std::string_view word;  // compared exactly with the configuration's text
    AlgorithmKind id;
    std::string_view announcement;  // written to standard output before the object is made
    EngineMaker<QEvolutionaryAlgorithm> make;
    std::string_view description;
};

struct ProblemRow {
    std::string_view word;
    ProblemKind id;
    Encodings encodings;  // the encodings whose individuals it can evaluate
    EngineMaker<QProblem> make;
    std::string_view description;
    // No fitness it gives is below 0, so an error level of 0 or below counts no run as solved.
    bool neverBelowZero = false;
};

struct EncodingRow {
    std::string_view word;
    Encoding id;
    bool permutation;  // the word also marks chromosomes as permutations
    Maker<QPopulation> makePopulation;
    Maker<QInitializer> makeInitializer;
    // The names under which a crossover or mutation that does not apply is refused; a
    // crossover name of null means the encoding recombines without crossover.
    const char* crossoverTable;
    const char* mutationTable;
    std::string_view description;
};

// An operator made per encoding: the same word may make a different class for each encoding.
// Where that class is not the operator the word names, the row says what runs instead and why;
// the configuration check warns with it and the help shows it.
template <class Product>
struct ForEncoding {
    Encoding encoding;
    Maker<Product> make;
    std::string_view runsAs = {};   // the operator that runs, as the report names it ("" for the word's own)
    std::string_view because = {};  // why, for the warning
};

struct CrossoverRow {
    std::string_view word;
    Crossover id;
    std::span<const ForEncoding<QCrossoverOperator>> makers;
    std::string_view description;
};

struct MutationRow {
    std::string_view word;
    Mutation id;
    std::span<const ForEncoding<QMutationOperator>> makers;
    std::string_view description;
    // What Mutation rate is the probability for ("bit", "gene"); "" where the rate is not a
    // probability (the network mutation scales its own probabilities by it).
    std::string_view rateUnit;
};

// The choices that apply to every encoding.
template <class Identifier, class Product>
struct ChoiceRow {
    std::string_view word;
    Identifier id;
    Maker<Product> make;  // null where the choice makes nothing
    std::string_view description;
};

using SelectionRow = ChoiceRow<Selection, QSelection>;
using ParentSelectionRow = ChoiceRow<ParentSelection, QParentSelector>;
using SizerRow = ChoiceRow<Sizer, QPopulationSizer>;
using NichingRow = ChoiceRow<Niching, QNichingOperator>;

// Words that choose a value the operators read from the record.
template <class Value>
struct WordRow {
    std::string_view word;
    Value value;
    std::string_view description;
};

std::span<const AlgorithmRow> algorithmRows();
std::span<const ProblemRow> problemRows();
std::span<const EncodingRow> encodingRows();
std::span<const CrossoverRow> crossoverRows();
std::span<const MutationRow> mutationRows();
std::span<const SelectionRow> selectionRows();
std::span<const ParentSelectionRow> parentSelectionRows();
std::span<const SizerRow> sizerRows();
std::span<const NichingRow> nichingRows();
std::span<const WordRow<Initialization>> initializationRows();
std::span<const WordRow<EncodingOrder>> encodingOrderRows();
std::span<const WordRow<int>> sizingDirectionRows();
std::span<const WordRow<GeneratorKind>> generatorRows();
std::span<const WordRow<Elitism>> elitismRows();

// The first row of a table whose identifier is id; null when there is none.
template <class Row, class Identifier>
const Row* rowOf(std::span<const Row> rows, Identifier id) {
    for (const Row& row : rows) {
        if (row.id == id) return &row;
    }
    return nullptr;
}

// The row of a table whose word is exactly word; null when there is none.
template <class Row>
const Row* rowNamed(std::span<const Row> rows, std::string_view word) {
    for (const Row& row : rows) {
        if (row.word == word) return &row;
    }
    return nullptr;
}

// The words of a table, in its order.
template <class Row>
std::vector<std::string_view> wordsOf(std::span<const Row> rows) {
    std::vector<std::string_view> words;
    for (const Row& row : rows) words.push_back(row.word);
    return words;
}

// An operator row's entry for the encoding; null when it does not apply to it.
template <class Row>
auto entryFor(const Row& row, Encoding encoding) -> decltype(&row.makers.front()) {
    for (const auto& entry : row.makers) {
        if (entry.encoding == encoding) return &entry;
    }
    return nullptr;
}

// What an operator row makes for the encoding; null when it does not apply to it.
template <class Row>
auto makerFor(const Row& row, Encoding encoding) -> decltype(row.makers.front().make) {
    const auto* entry = entryFor(row, encoding);
    return entry != nullptr ? entry->make : nullptr;
}

// Where the row's word builds another operator on the encoding than the one it names: what
// runs and why ("runs the 2-point crossover (bit strings have no uniform crossover)"); "" where
// the word's own operator runs or the row does not apply.
std::string runsInstead(const CrossoverRow& row, Encoding encoding);
std::string runsInstead(const MutationRow& row, Encoding encoding);

// One configuration key: how its value is read into the record and shown from it.
enum class KeyKind { Integer, Real, Word, Flag, Seed, Text };

struct KeyRow {
    std::string_view key;
    KeyKind kind;
    std::string_view description;
    // Reads the value text into the record: digits as the number conversions read them, a word
    // of the key's table (an unknown word changes nothing), "yes"/"no" for flags.
    void (*apply)(QEAParameters& params, const std::string& value);
    // The record's value as the configuration would write it (a word where the key takes words).
    std::string (*shown)(const QEAParameters& params);
    // The words the key accepts (empty for numbers).
    std::vector<std::string_view> (*words)();
    // The description of one of those words ("" for none).
    std::string_view (*describe)(std::string_view word);
};

std::span<const KeyRow> keyRows();

// The key row named exactly key; null when there is none.
const KeyRow* findKey(std::string_view key);

}  // namespace Valdrin
