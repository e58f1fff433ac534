// The experiments' configurations: the values put into the base, and the refusals before
// anything runs.
#include "sweep/base_configuration.h"

#include <gtest/gtest.h>

#include "config/configuration_scan.h"
#include "core/failure.h"
#include "registry/configuration_check.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::splitLines;

const std::string kBase = testing::gaConfiguration("Sphere", {{"Encoding", "real"},
                                                              {"Chromosome length", "3"},
                                                              {"Population size", "12"},
                                                              {"Selection type", "tournament"},
                                                              {"Crossover type", "SBX"},
                                                              {"Mutation type", "gaussian"},
                                                              {"Population size", "30"},
                                                              {"RNG seed", "5"}});

TEST(SweepConfigurationTest, ValuesReplaceThoseInForceAndEveryOtherLineStaysAsWritten) {
    const std::string text = configurationWith(kBase, {{"Population size", "77"}, {"RNG seed", "9"}});
    const QEAParameters read = effectiveParameters(scanConfiguration(text));
    EXPECT_EQ(read.populationSize, 77);
    EXPECT_EQ(read.rngSeed, 9u);
    EXPECT_EQ(read.chromosomeLength, 3);
    const auto before = splitLines(kBase);
    const auto after = splitLines(text);
    ASSERT_EQ(before.size(), after.size());
    int changed = 0;
    for (std::size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i] ? 1 : 0;
    EXPECT_EQ(changed, 2);  // the later "Population size" (the one in force) and the seed
    EXPECT_NE(text.find("<value>12</value>"), std::string::npos);
    EXPECT_NE(text.find("<value>77</value>"), std::string::npos);
    EXPECT_FALSE(hasErrors(checkConfiguration(scanConfiguration(text))));
}

// Several seeds of the legacy generator are one stream moved on by a few draws: the sweep warns
// whenever some experiment would run on it, and only then.
TEST(SweepConfigurationTest, SeveralSeedsOnTheLegacyGeneratorAreWarnedAbout) {
    EXPECT_NE(sharedStreamWarning(kBase, {}, {1, 2, 3}).find("the 3 seeds give nearly the same starting populations"),
              std::string::npos);
    EXPECT_EQ(sharedStreamWarning(kBase, {}, {1}), "");
    const std::string independent = configurationWith(kBase, {{"Random generator", "pcg64"}});
    EXPECT_EQ(sharedStreamWarning(independent, {}, {1, 2}), "");
    EXPECT_NE(sharedStreamWarning(independent, {{"Random generator", {"pcg64", "legacy"}}}, {1, 2}), "");
    EXPECT_EQ(sharedStreamWarning(kBase, {{"Random generator", {"pcg64"}}}, {1, 2}), "");
}

TEST(SweepConfigurationTest, KeysTheBaseDoesNotGiveAreAddedBeforeTheRootCloses) {
    const std::string text = configurationWith(kBase, {{"Mutation rate", "0.25"}, {"Elite count", "1"}});
    const QEAParameters read = effectiveParameters(scanConfiguration(text));
    EXPECT_DOUBLE_EQ(read.mRate, 0.25);
    EXPECT_EQ(read.eliteCount, 1);
    const auto lines = splitLines(text);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.back(), "</experiment>");
    EXPECT_EQ(lines[lines.size() - 2], "  <parameter><name>Elite count</name><value>1</value></parameter>");
    EXPECT_FALSE(hasErrors(checkConfiguration(scanConfiguration(text))));

    // A root closed on the line of its last parameter keeps working.
    const std::string oneLine = "<?xml version=\"1.0\"?>\n<experiment><parameter><name>Encoding</name><value>real</value>"
                                "</parameter></experiment>\n";
    const QEAParameters packed =
        effectiveParameters(scanConfiguration(configurationWith(oneLine, {{"Population size", "8"}})));
    EXPECT_EQ(packed.populationSize, 8);
    EXPECT_EQ(packed.encoding, Encoding::Real);
}

// The plain account of the Failure the statement ends with; "" when it ends with none.
template <class Statement>
std::string failureOf(Statement statement) {
    try {
        statement();
    } catch (const Failure& failure) {
        return failure.plain();
    }
    return "";
}

TEST(SweepConfigurationTest, ABaseWhoseValuesCannotBeFoundAsWrittenIsRefused) {
    const std::string nested = "<?xml version=\"1.0\"?>\n<experiment><parameter><name>Encoding</name><value><b>real</b>"
                               "</value></parameter></experiment>\n";
    EXPECT_NE(failureOf([&] { configurationWith(nested, {{"Population size", "8"}}); }).find("cannot put the swept values"),
              std::string::npos);
    const std::string unnamed = "<?xml version=\"1.0\"?>\n<experiment><parameter><value>real</value></parameter>"
                                "</experiment>\n";
    EXPECT_NE(failureOf([&] { configurationWith(unnamed, {{"Population size", "8"}}); }).find("do not pair"),
              std::string::npos);
    const std::string noRoot = "<?xml version=\"1.0\"?>\n";
    EXPECT_NE(failureOf([&] { configurationWith(noRoot, {{"Population size", "8"}}); }).find("no closing tag"),
              std::string::npos);
    // Nothing to put in leaves the text as it is.
    EXPECT_EQ(configurationWith(kBase, {}), kBase);
}

// The algorithm and the problem are swept as words of their elements: the text the program reads
// the word from changes, and nothing else.
TEST(SweepConfigurationTest, AlgorithmAndProblemReplaceTheWordsOfTheirElements) {
    const std::string commented = "<!-- <problem><type>Schwefel</type></problem> -->\n" + kBase;
    const std::string text = configurationWith(commented, {{"Problem", "Rastrigin"}, {"Algorithm", "SARN2"}});
    const auto before = splitLines(commented);
    const auto after = splitLines(text);
    ASSERT_EQ(before.size(), after.size());
    std::vector<std::string> changed;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] != after[i]) changed.push_back(after[i]);
    }
    EXPECT_EQ(changed, (std::vector<std::string>{"  <algorithm><type>SARN2</type></algorithm>",
                                                 "  <problem><type>Rastrigin</type></problem>"}));
}

TEST(SweepRefusalTest, KeysAndWordsTheExperimentWouldNotAcceptAreRefusedWithTheChecksMessage) {
    const auto refusals = sweepRefusals(kBase, "base.xml",
                                        {{"Population Size", {"20", "50"}},
                                         {"Crossover type", {"SBX", "SBY", "1-point"}},
                                         {"Mutation rate", {"0.1", "1e-3"}}},
                                        1);
    ASSERT_EQ(refusals.size(), 4u) << ::testing::PrintToString(refusals);
    const auto refused = [&refusals](const std::string& start) -> std::string {
        for (const std::string& refusal : refusals) {
            if (refusal.starts_with(start)) return refusal;
        }
        return "(none starts with " + start + ")";
    };
    // An unknown key once, whatever its values.
    EXPECT_EQ(refused("Population Size"), "Population Size: unknown key \"Population Size\" (did you mean \"Population size\"?)");
    EXPECT_NE(refused("Crossover type=SBY: \"SBY\" is not a word of \"Crossover type\"").find("did you mean \"SBX\"?"),
              std::string::npos);
    // A word the key takes but the encoding does not.
    EXPECT_NE(refused("Crossover type=1-point: ").find("real"), std::string::npos);
    EXPECT_NE(refused("Mutation rate=1e-3: \"Mutation rate\" needs a decimal number").find("without an exponent"),
              std::string::npos);
}

// A problem or an algorithm the experiment cannot run with is refused before anything runs, as a
// word of a key is: even where the check's error lands on another line than the word's.
TEST(SweepRefusalTest, ProblemsAndAlgorithmsThatDoNotFitAreRefused) {
    EXPECT_TRUE(sweepRefusals(kBase, "base.xml", {{"Problem", {"Sphere", "Rastrigin"}}}, 1).empty());
    const auto refusals =
        sweepRefusals(kBase, "base.xml", {{"Problem", {"Sphere", "Onemax", "Sphre"}}, {"Algorithm", {"GA", "SARN2"}}}, 1);
    ASSERT_EQ(refusals.size(), 4u) << ::testing::PrintToString(refusals);
    // Both words of a pair that do not go together are named.
    EXPECT_EQ(refusals[0], "Problem=Sphere: \"Sphere\" cannot evaluate the regulatory networks SARN2 builds; problems for "
                           "networks: Pointless, XOR, Double sin");
    EXPECT_EQ(refusals[1], "Algorithm=SARN2: \"Sphere\" cannot evaluate the regulatory networks SARN2 builds; problems for "
                           "networks: Pointless, XOR, Double sin; SARN2 needs at least 11 genes per vector, one per kind of "
                           "network mutation; \"Chromosome length\" is 3");
    EXPECT_EQ(refusals[2], "Problem=Onemax: \"Onemax\" cannot evaluate the real encoding; it takes: string, integer, permutation");
    EXPECT_NE(refusals[3].find("Problem=Sphre: unknown problem \"Sphre\""), std::string::npos) << refusals[3];
    EXPECT_NE(refusals[3].find("(did you mean \"Sphere\"?)"), std::string::npos) << refusals[3];
}

TEST(SweepRefusalTest, NumbersThatCannotMakeARunAreLeftToTheirExperiments) {
    // A population of 0 fails its own experiments, which are reported; the others run.
    EXPECT_TRUE(sweepRefusals(kBase, "base.xml", {{"Population size", {"0", "20"}}, {"Elite count", {"1", "40"}}}, 1).empty());
    EXPECT_TRUE(sweepRefusals(kBase, "base.xml", {}, 3).empty());
}

TEST(SweepRefusalTest, WhenNoCombinationCanRunTheFirstOnesErrorsAreGivenWithTheirLines) {
    const std::string base = testing::gaConfiguration("Sphere", {{"Encoding", "real"}, {"Chromosome length", "3"}});
    const auto refusals = sweepRefusals(base, "base.xml", {{"Population size", {"0", "-4"}}}, 1);
    ASSERT_GE(refusals.size(), 3u) << ::testing::PrintToString(refusals);
    EXPECT_EQ(refusals[0], "no combination of the swept values can run; the first one:");
    std::string all;
    for (const std::string& refusal : refusals) all += refusal + "\n";
    EXPECT_NE(all.find("Population size=0: \"Population size\" is 0"), std::string::npos) << all;
    EXPECT_NE(all.find("base.xml: no \"Selection type\" is given"), std::string::npos) << all;
    EXPECT_NE(all.find("(with Population size=0)"), std::string::npos) << all;
}

}  // namespace
}  // namespace Valdrin
