// The parameter record's configuration vocabulary (keys and value words), its two number
// conversions and its printed dump.
#include "driver/parameters.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <limits>
#include <ostream>
#include <span>
#include <string_view>

#include "algorithms/algorithm.h"
#include "driver/light_xml.h"
#include "problems/problem.h"

namespace Valdrin {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

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

// Fraction digits beyond this many are dropped, so the place value of every digit read stays
// a finite double.
constexpr std::size_t kMaxFractionDigits = 300;

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

int parseIntegerText(const std::string& text) {
    const bool negative = !text.empty() && text[0] == '-';
    // One above the largest int32 so that the most negative value is reached exactly; larger
    // magnitudes stop there instead of overflowing.
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (std::size_t i = negative ? 1 : 0; i < text.size() && isDigit(text[i]); ++i) {
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), kLimit);
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                     std::numeric_limits<std::int32_t>::max()));
}

double parseRealText(const std::string& text) {
    const bool negative = !text.empty() && text[0] == '-';
    const std::size_t begin = negative ? 1 : 0;
    // The number is the leading run of digits with at most one decimal point.
    std::size_t end = begin;
    bool point = false;
    std::size_t fractionDigits = 0;
    for (; end < text.size(); ++end) {
        const char c = text[end];
        if (isDigit(c)) {
            if (point && ++fractionDigits > kMaxFractionDigits) break;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    // Read from the last character back, so that the fraction is scaled by one division.
    double weight = 1.0;
    double result = 0.0;
    for (std::size_t i = end; i-- > begin;) {
        const char c = text[i];
        if (c == '.') {
            result /= weight;
            weight = 0.1;
        } else if (c != '0') {  // a zero adds nothing, and skipping it avoids 0 * inf
            result += (c - '0') * weight;
        }
        weight *= 10;
    }
    return negative ? -result : result;
}

int dumpParameters(const QEAParameters& params, std::ostream& out) {
    out << "EA parameters:\n"
        << "---------------------------\n";
    out << "Algorithm's name:\t";
    if (params.algorithm != nullptr) {
        params.algorithm->printName(out);
    } else {
        out << "\n";
    }
    out << "Problem:\t";
    if (params.problem != nullptr) {
        params.problem->printName(out);
    } else {
        out << "\n";
    }
    out << "EA type ID:\t" << params.eaType << "\n"
        << "populations number:\t" << params.populationsNumber << "\n"
        << "chromosomeLength:\t" << params.chromosomeLength << "\n"
        << "arity:\t" << params.arity << "\n"
        << "geneSize:\t" << params.geneSize << "\n"
        << "geneOffset:\t" << params.geneOffset << "\n"
        << "genePrecision:\t" << params.genePrecision << "\n"
        << "populationSize:\t" << params.populationSize << "\n"
        << "generationsNumber:\t" << params.generationsNumber << "\n"
        << "tournamentSize:\t" << params.tournamentSize << "\n"
        << "eliteCount:\t" << params.eliteCount << "\n"
        << "parentsNumber:\t" << params.parentsNumber << "\n"
        << "childrenNumber:\t" << params.childrenNumber << "\n"
        << "xRate:\t" << params.xRate << "\n"
        << "mRate:\t" << params.mRate << "\n"
        << "errorLevel:\t" << params.errorLevel << "\n"
        << "encoding ID:\t" << params.encoding << "\n"
        << "permutation:\t" << static_cast<int>(params.permutation) << "\n"
        << "encoding order ID:\t" << params.encodingOrder << "\n"
        << "initializationType ID:\t" << params.initializationType << "\n"
        << "units ratio:\t" << params.unitsRatio << "\n"
        << "nichingType ID:\t" << params.nichingType << "\n"
        << "sharing sigma:\t" << params.sharingSigma << "\n"
        << "selectionType ID:\t" << params.selectionType << "\n"
        << "parentSelectorType ID:\t" << params.parentSelectorType << "\n"
        << "populationSizerType ID:\t" << params.populationSizerType << "\n"
        << "min allowed population size:\t" << params.minPopulationSize << "\n"
        << "max allowed population size:\t" << params.maxPopulationSize << "\n"
        << "duplicate chromosomes removal:\t" << static_cast<int>(params.removeClones) << "\n"
        << "xType ID:\t" << params.xType << "\n"
        << "mutationType ID:\t" << params.mutationType << "\n"
        << "RNG seed:\t" << params.rngSeed << "\n"
        << "Until first hit:\t" << static_cast<int>(params.untilFirstHit) << "\n"
        << "\n";
    return 1;
}

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
