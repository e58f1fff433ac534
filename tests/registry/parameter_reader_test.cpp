// Tests of the configuration's vocabulary: filling the parameter record from a tree.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "registry/parameter_reader.h"
#include "core/parameters.h"

namespace Valdrin {
namespace {

// A tree holding one parameter element per (key, value) pair, as the reader builds it.
QLightXMLIO configuration(const std::vector<std::pair<std::string, std::string>>& pairs) {
    QLightXMLIO tree;
    tree.name = "experiment";
    for (const auto& [key, value] : pairs) {
        tree.children.push_back(XmlNode{"parameter", "", {XmlNode{"name", key, {}}, XmlNode{"value", value, {}}}});
    }
    return tree;
}

QEAParameters read(const std::vector<std::pair<std::string, std::string>>& pairs) {
    QEAParameters params;
    readParameters(configuration(pairs), params);
    return params;
}


TEST(ParameterReading, NumericKeysSetTheirFields) {
    const QEAParameters p = read({{"Arity", "3"},           {"Children number", "4"},   {"Chromosome length", "30"},
                                  {"Elite count", "1"},     {"Generations number", "7"}, {"Gene size", "12"},
                                  {"Max population size", "300"}, {"Min population size", "5"},
                                  {"Parents number", "3"},  {"Population size", "60"},  {"RNG seed", "32769"},
                                  {"Sizing step", "6"},     {"Tournament size", "4"},   {"Error level", "0.001"},
                                  {"Gene offset", "-1.5"},  {"Gene precision", "0.25"}, {"Units ratio", "0.75"},
                                  {"Mutation rate", "0.125"}, {"Sharing sigma", "2.5"}, {"Crossover rate", "0.9"},
                                  {"xAlpha", "0.3"}});
    EXPECT_EQ(p.arity, 3);
    EXPECT_EQ(p.childrenNumber, 4);
    EXPECT_EQ(p.chromosomeLength, 30);
    EXPECT_EQ(p.eliteCount, 1);
    EXPECT_EQ(p.generationsNumber, 7);
    EXPECT_EQ(p.geneSize, 12);
    EXPECT_EQ(p.maxPopulationSize, 300);
    EXPECT_EQ(p.minPopulationSize, 5);
    EXPECT_EQ(p.parentsNumber, 3);
    EXPECT_EQ(p.populationSize, 60);
    EXPECT_EQ(p.rngSeed, 32769U);
    EXPECT_EQ(p.sizingStep, 6);
    EXPECT_EQ(p.tournamentSize, 4);
    EXPECT_EQ(p.errorLevel, 0.001);
    EXPECT_EQ(p.geneOffset, -1.5);
    EXPECT_EQ(p.genePrecision, 0.25);
    EXPECT_EQ(p.unitsRatio, 0.75);
    EXPECT_EQ(p.mRate, 0.125);
    EXPECT_EQ(p.sharingSigma, 2.5);
    EXPECT_EQ(p.xRate, 0.9);
    EXPECT_EQ(p.xAlpha, 0.3);
}

TEST(ParameterReading, WordKeysFollowTheirTables) {
    const std::vector<std::pair<std::string, int>> encodings = {
        {"string", 1}, {"integer", 2}, {"real", 3}, {"permutation", 1}, {"regulatory network", 5}};
    for (const auto& [word, id] : encodings) {
        const QEAParameters p = read({{"Encoding", word}});
        EXPECT_EQ(number(p.encoding), id) << word;
        EXPECT_EQ(p.permutation, word == "permutation" || word == "regulatory network") << word;
    }
    const std::vector<std::string> crossovers = {"1-point", "2-point", "uniform", "1-point PGX", "2-point PGX",
                                                 "BLX",     "SBX",     "arithmetic", "order"};
    for (std::size_t i = 0; i < crossovers.size(); ++i) {
        EXPECT_EQ(number(read({{"Crossover type", crossovers[i]}}).xType), static_cast<int>(i) + 1) << crossovers[i];
    }
    const std::vector<std::string> mutations = {"bit-flip", "random flip", "gaussian", "basic"};
    for (std::size_t i = 0; i < mutations.size(); ++i) {
        EXPECT_EQ(number(read({{"Mutation type", mutations[i]}}).mutationType), static_cast<int>(i) + 1) << mutations[i];
    }
    const std::vector<std::string> sizers = {"constant", "simple", "simple Fibonacci", "steady"};
    for (std::size_t i = 0; i < sizers.size(); ++i) {
        EXPECT_EQ(number(read({{"Population sizer type", sizers[i]}}).populationSizerType), static_cast<int>(i) + 1);
    }

    const QEAParameters p = read({{"Encoding order", "descending"}, {"Initialization type", "unmixed"},
                                  {"Niching type", "deterministic crowding"}, {"Selection type", "tournament"},
                                  {"Parents selection type", "random"}, {"Sizing direction", "down"},
                                  {"Remove clones", "yes"}, {"Until first hit", "yes"}});
    EXPECT_EQ(p.encodingOrder, EncodingOrder::Descending);
    EXPECT_EQ(p.initializationType, Initialization::Unmixed);
    EXPECT_EQ(p.nichingType, Niching::DeterministicCrowding);
    EXPECT_EQ(p.selectionType, Selection::Tournament);
    EXPECT_EQ(p.parentSelectorType, ParentSelection::Random);
    EXPECT_EQ(p.sizingDirection, -1);
    EXPECT_TRUE(p.removeClones);
    EXPECT_TRUE(p.untilFirstHit);

    const QEAParameters q = read({{"Sizing direction", "up"}, {"Sizing direction", "no"}, {"Remove clones", "yes"},
                                  {"Remove clones", "no"}, {"Niching type", "sharing"}});
    EXPECT_EQ(q.sizingDirection, 0);
    EXPECT_FALSE(q.removeClones);
    EXPECT_EQ(q.nichingType, Niching::Sharing);
}

TEST(ParameterReading, UnknownKeysAndWordsChangeNothing) {
    const QEAParameters defaults;
    const QEAParameters p = read({{"Sizing direction", "down"}, {"Sizing direction", "sideways"},
                                  {"population size", "99"}, {"Population size ", "99"}, {"Crossover type", "6"},
                                  {"Encoding", "Real"}});
    EXPECT_EQ(p.sizingDirection, -1);
    EXPECT_EQ(p.populationSize, defaults.populationSize);
    EXPECT_EQ(p.xType, defaults.xType);
    EXPECT_EQ(p.encoding, defaults.encoding);
    EXPECT_EQ(p.rngSeed, kDefaultSeed);
    EXPECT_EQ(p.xAlpha, kDefaultXAlpha);

    // A later occurrence of a key wins; "string" after "permutation" keeps the permutation flag.
    const QEAParameters q = read({{"Population size", "10"}, {"Population size", "20"},
                                  {"Encoding", "permutation"}, {"Encoding", "string"}});
    EXPECT_EQ(q.populationSize, 20);
    EXPECT_EQ(q.encoding, Encoding::String);
    EXPECT_TRUE(q.permutation);
}

TEST(ParameterReading, NamesAndValuesPairByPosition) {
    // Values pair with names by their order in the document, not by their nesting.
    QLightXMLIO tree;
    tree.children = {XmlNode{"name", "Population size", {}}, XmlNode{"name", "Arity", {}},
                     XmlNode{"group", "", {XmlNode{"value", "30", {}}, XmlNode{"value", "5", {}}}},
                     XmlNode{"name", "Elite count", {}}};
    QEAParameters p;
    readParameters(tree, p);
    EXPECT_EQ(p.populationSize, 30);
    EXPECT_EQ(p.arity, 5);
    EXPECT_EQ(p.eliteCount, QEAParameters{}.eliteCount);  // unpaired name: ignored

    QLightXMLIO empty;
    QEAParameters q;
    readParameters(empty, q);
    EXPECT_EQ(q.generationsNumber, 500);
}

TEST(ParameterReading, SeedZeroTakesTheCalendarTime) {
    const auto before = static_cast<std::uint32_t>(std::time(nullptr));
    const QEAParameters p = read({{"RNG seed", "0"}});
    const auto after = static_cast<std::uint32_t>(std::time(nullptr));
    EXPECT_GE(p.rngSeed, before);
    EXPECT_LE(p.rngSeed, after);
    EXPECT_EQ(read({{"RNG seed", "-1"}}).rngSeed, 4294967295U);
    EXPECT_EQ(read({{"RNG seed", "123"}}).rngSeed, 123U);
}

}  // namespace
}  // namespace Valdrin
