// The parameter record's two number conversions and its printed dump.
#include "core/parameters.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <ostream>

namespace Valdrin {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Fraction digits beyond this many are dropped, so the place value of every digit read stays
// a finite double.
constexpr std::size_t kMaxFractionDigits = 300;

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

int dumpParameters(const QEAParameters& params, std::string_view algorithmName, std::string_view problemName,
                   std::ostream& out) {
    out << "EA parameters:\n"
        << "---------------------------\n";
    out << "Algorithm's name:\t" << (algorithmName.empty() ? "\n" : algorithmName);
    out << "Problem:\t" << (problemName.empty() ? "\n" : problemName);
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
        << "encoding ID:\t" << number(params.encoding) << "\n"
        << "permutation:\t" << static_cast<int>(params.permutation) << "\n"
        << "encoding order ID:\t" << number(params.encodingOrder) << "\n"
        << "initializationType ID:\t" << number(params.initializationType) << "\n"
        << "units ratio:\t" << params.unitsRatio << "\n"
        << "nichingType ID:\t" << number(params.nichingType) << "\n"
        << "sharing sigma:\t" << params.sharingSigma << "\n"
        << "selectionType ID:\t" << number(params.selectionType) << "\n"
        << "parentSelectorType ID:\t" << number(params.parentSelectorType) << "\n"
        << "populationSizerType ID:\t" << number(params.populationSizerType) << "\n"
        << "min allowed population size:\t" << params.minPopulationSize << "\n"
        << "max allowed population size:\t" << params.maxPopulationSize << "\n"
        << "duplicate chromosomes removal:\t" << static_cast<int>(params.removeClones) << "\n"
        << "xType ID:\t" << number(params.xType) << "\n"
        << "mutationType ID:\t" << number(params.mutationType) << "\n"
        << "RNG seed:\t" << params.rngSeed << "\n"
        << "Until first hit:\t" << static_cast<int>(params.untilFirstHit) << "\n"
        << "\n";
    return 1;
}

}  // namespace Valdrin
