// The configuration's vocabulary (keys and value words) and the filling of the parameter record
// from the "name"/"value" pairs of a configuration tree.
#include <algorithm>
#include <cstdint>
#include <ctime>
#include <span>
#include <string_view>

#include "config/light_xml.h"
#include "core/parameters.h"

namespace Valdrin {

namespace {

struct IntegerKey {
    std::string_view key;
    int QEAParameters::*field;
};

struct RealKey {
    std::string_view key;
    double QEAParameters::*field;
};

struct Word {
    std::string_view word;
    int stored;
    bool permutation = false;  // the word also marks chromosomes as permutations
};

struct WordKey {
    std::string_view key;
    int QEAParameters::*field;
    std::span<const Word> words;
};

struct FlagKey {
    std::string_view key;
    bool QEAParameters::*field;
};

constexpr IntegerKey kIntegerKeys[] = {
    {"Arity", &QEAParameters::arity},
    {"Children number", &QEAParameters::childrenNumber},
    {"Chromosome length", &QEAParameters::chromosomeLength},
    {"Elite count", &QEAParameters::eliteCount},
    {"Generations number", &QEAParameters::generationsNumber},
    {"Gene size", &QEAParameters::geneSize},
    {"Max population size", &QEAParameters::maxPopulationSize},
    {"Min population size", &QEAParameters::minPopulationSize},
    {"Parents number", &QEAParameters::parentsNumber},
    {"Population size", &QEAParameters::populationSize},
    {"Sizing step", &QEAParameters::sizingStep},
    {"Tournament size", &QEAParameters::tournamentSize},
};

constexpr RealKey kRealKeys[] = {
    {"Error level", &QEAParameters::errorLevel},
    {"Gene offset", &QEAParameters::geneOffset},
    {"Gene precision", &QEAParameters::genePrecision},
    {"Units ratio", &QEAParameters::unitsRatio},
    {"Mutation rate", &QEAParameters::mRate},
    {"Sharing sigma", &QEAParameters::sharingSigma},
    {"Crossover rate", &QEAParameters::xRate},
    {"xAlpha", &QEAParameters::xAlpha},
};

constexpr Word kEncodingWords[] = {
    {"string", kStringEncoding},
    {"integer", kIntegerEncoding},
    {"real", kRealEncoding},
    {"permutation", kStringEncoding, true},
    {"regulatory network", kNetworkEncoding, true},
};
constexpr Word kEncodingOrderWords[] = {{"no order", 0}, {"ascending", 1}, {"descending", 2}};
constexpr Word kInitializationWords[] = {{"random", 1}, {"unmixed", 2}};
constexpr Word kNichingWords[] = {{"no niching", 0}, {"sharing", 1}, {"deterministic crowding", 2}};
constexpr Word kSelectionWords[] = {{"neutral", 1}, {"tournament", 2}};
constexpr Word kParentSelectionWords[] = {{"random", 1}};
constexpr Word kSizerWords[] = {{"constant", 1}, {"simple", 2}, {"simple Fibonacci", 3}, {"steady", 4}};
constexpr Word kSizingDirectionWords[] = {{"up", 1}, {"down", -1}, {"no", 0}};
constexpr Word kCrossoverWords[] = {
    {"1-point", 1}, {"2-point", 2}, {"uniform", 3},    {"1-point PGX", 4}, {"2-point PGX", 5},
    {"BLX", 6},     {"SBX", 7},     {"arithmetic", 8}, {"order", 9},
};
constexpr Word kMutationWords[] = {{"bit-flip", 1}, {"random flip", 2}, {"gaussian", 3}, {"basic", 4}};

constexpr WordKey kWordKeys[] = {
    {"Encoding", &QEAParameters::encoding, kEncodingWords},
    {"Encoding order", &QEAParameters::encodingOrder, kEncodingOrderWords},
    {"Initialization type", &QEAParameters::initializationType, kInitializationWords},
    {"Niching type", &QEAParameters::nichingType, kNichingWords},
    {"Selection type", &QEAParameters::selectionType, kSelectionWords},
    {"Parents selection type", &QEAParameters::parentSelectorType, kParentSelectionWords},
    {"Population sizer type", &QEAParameters::populationSizerType, kSizerWords},
    {"Sizing direction", &QEAParameters::sizingDirection, kSizingDirectionWords},
    {"Crossover type", &QEAParameters::xType, kCrossoverWords},
    {"Mutation type", &QEAParameters::mutationType, kMutationWords},
};

constexpr FlagKey kFlagKeys[] = {
    {"Remove clones", &QEAParameters::removeClones},
    {"Until first hit", &QEAParameters::untilFirstHit},
};

void applyParameter(QEAParameters& params, std::string_view key, const std::string& value) {
    if (key == "RNG seed") {
        params.rngSeed = static_cast<std::uint32_t>(parseIntegerText(value));
        if (params.rngSeed == 0) {
            params.rngSeed = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr)));
        }
        return;
    }
    for (const IntegerKey& entry : kIntegerKeys) {
        if (entry.key == key) {
            params.*entry.field = parseIntegerText(value);
            return;
        }
    }
    for (const RealKey& entry : kRealKeys) {
        if (entry.key == key) {
            params.*entry.field = parseRealText(value);
            return;
        }
    }
    for (const WordKey& entry : kWordKeys) {
        if (entry.key != key) continue;
        for (const Word& word : entry.words) {
            if (word.word == value) {
                params.*entry.field = word.stored;
                if (word.permutation) params.permutation = true;
            }
        }
        return;
    }
    for (const FlagKey& entry : kFlagKeys) {
        if (entry.key != key) continue;
        if (value == "yes") params.*entry.field = true;
        if (value == "no") params.*entry.field = false;
        return;
    }
}

}  // namespace

void QLightXMLIO::readParameters(QEAParameters& parameters) const {
    std::vector<XmlNode> names;
    std::vector<XmlNode> values;
    collectByName("name", names);
    collectByName("value", values);
    // Names and values pair by position; a name left without a value is ignored.
    const std::size_t pairs = std::min(names.size(), values.size());
    for (std::size_t i = 0; i < pairs; ++i) applyParameter(parameters, names[i].text, values[i].text);
}

}  // namespace Valdrin
