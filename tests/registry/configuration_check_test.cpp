// Tests of the configuration check: each kind of finding with its line, severity and message,
// several findings at once, the examples checking clean, and the effective parameters.
#include "registry/configuration_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "config/light_xml.h"
#include "config/word_distance.h"
#include "core/random.h"
#include "problems/problem.h"
#include "registry/parameter_reader.h"
#include "registry/registry.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::ScratchDir;
using testing::writeFile;
using Parameters = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::string>;

// The algorithm on line 3, the problem on line 4, then one parameter per line from line 5 on.
std::string configuration(const std::string& algorithm, const std::string& problem, const Parameters& parameters) {
    std::string text = "<?xml version=\"1.0\"?>\n<experiment>\n";
    text += "  <algorithm><type>" + algorithm + "</type></algorithm>\n";
    text += "  <problem><type>" + problem + "</type></problem>\n";
    for (const auto& [key, value] : parameters) {
        text += "  <parameter><name>" + key + "</name><value>" + value + "</value></parameter>\n";
    }
    return text + "</experiment>\n";
}

Lines findingsOf(const std::string& text) {
    Lines lines;
    for (const Finding& finding : checkConfiguration(scanConfiguration(text))) lines.push_back(formatFinding(finding));
    return lines;
}

Lines check(const std::string& algorithm, const std::string& problem, const Parameters& parameters) {
    return findingsOf(configuration(algorithm, problem, parameters));
}

// A sound genetic algorithm over real vectors on Sphere (lines 5 to 8), then the extra
// parameters from line 9 on.
Lines checkSphere(const Parameters& extra) {
    Parameters parameters{{"Encoding", "real"},
                          {"Selection type", "tournament"},
                          {"Crossover type", "SBX"},
                          {"Mutation type", "gaussian"}};
    parameters.insert(parameters.end(), extra.begin(), extra.end());
    return check("GA", "Sphere", parameters);
}

TEST(ConfigurationCheck, EveryExampleChecksClean) {
    EXPECT_EQ(checkSphere({}), Lines{});
    const auto examples = testing::exampleFolders();
    EXPECT_FALSE(examples.empty());
    for (const auto& folder : examples) {
        const std::string path = (folder / "config.xml").string();
        Lines lines;
        for (const Finding& finding : checkConfigurationFile(path)) lines.push_back(formatFinding(finding));
        // OneMax's example names uniform crossover on bit strings, which run the 2-point one.
        const Lines expected = folder.filename() == "onemax"
                                   ? Lines{"line 11: warning: crossover \"uniform\" on the integer encoding runs the "
                                           "2-point crossover (bit strings have no uniform crossover)"}
                                   : Lines{};
        EXPECT_EQ(lines, expected) << path;
    }
}

TEST(ConfigurationCheck, UnknownKeysAreWarningsThatNameTheLikelyKey) {
    EXPECT_EQ(checkSphere({{"Population Size", "40"}, {"Mutation rat", "0.1"}, {"Colour", "blue"}}),
              (Lines{"line 9: warning: unknown key \"Population Size\" (did you mean \"Population size\"?)",
                     "line 10: warning: unknown key \"Mutation rat\" (did you mean \"Mutation rate\"?)",
                     "line 11: warning: unknown key \"Colour\""}));
}

TEST(ConfigurationCheck, UnknownWordsListTheAcceptedWords) {
    // The earlier value stays and still makes a run: warnings.
    EXPECT_EQ(checkSphere({{"Niching type", "Sharing"}, {"Remove clones", "Yes"}, {"Sizing direction", "upward"}}),
              (Lines{"line 9: warning: \"Sharing\" is not a word of \"Niching type\"; accepted: no niching, sharing, "
                     "deterministic crowding (did you mean \"sharing\"?)",
                     "line 10: warning: \"Yes\" is not a word of \"Remove clones\"; accepted: yes, no (did you mean "
                     "\"yes\"?)",
                     "line 11: warning: \"upward\" is not a word of \"Sizing direction\"; accepted: up, down, no"}));
    // The bit-flip mutation the integer encoding keeps still applies.
    EXPECT_EQ(check("GA", "Sphere",
                    {{"Encoding", "integer"}, {"Selection type", "neutral"}, {"Mutation type", "Gaussian"}}),
              (Lines{"line 7: warning: \"Gaussian\" is not a word of \"Mutation type\"; accepted: bit-flip, random "
                     "flip, gaussian, basic (did you mean \"gaussian\"?)"}));
    // The problem sets the encoding itself.
    EXPECT_EQ(check("SARN", "XOR", {{"Encoding", "network"}, {"Selection type", "neutral"}, {"Mutation type", "basic"}}),
              (Lines{"line 5: warning: \"network\" is not a word of \"Encoding\"; accepted: string, integer, real, "
                     "permutation, regulatory network"}));
}

TEST(ConfigurationCheck, AnUnknownWordIsAnErrorWhenTheValueLeftCannotRun) {
    // No selection without the word: one error, which names the word meant.
    EXPECT_EQ(check("GA", "Sphere",
                    {{"Encoding", "real"}, {"Selection type", "Tournament"}, {"Crossover type", "SBX"},
                     {"Mutation type", "gaussian"}}),
              (Lines{"line 6: error: \"Tournament\" is not a word of \"Selection type\"; accepted: neutral, tournament "
                     "(did you mean \"tournament\"?)"}));
    EXPECT_EQ(checkSphere({{"Encoding", "Real"}}),
              (Lines{"line 9: warning: \"Encoding\" is given again (first on line 5); the later value \"Real\" is used",
                     "line 9: warning: \"Real\" is not a word of \"Encoding\"; accepted: string, integer, real, "
                     "permutation, regulatory network (did you mean \"real\"?)"}));
    EXPECT_EQ(check("GA", "Sphere",
                    {{"Encoding", "Real"}, {"Selection type", "neutral"}, {"Crossover type", "SBX"},
                     {"Mutation type", "gaussian"}}),
              (Lines{"line 5: error: \"Real\" is not a word of \"Encoding\"; accepted: string, integer, real, "
                     "permutation, regulatory network (did you mean \"real\"?)"}));
    // The default 2-point crossover does not apply to real vectors.
    EXPECT_EQ(check("GA", "Sphere",
                    {{"Encoding", "real"}, {"Selection type", "neutral"}, {"Crossover type", "blx"},
                     {"Mutation type", "gaussian"}}),
              (Lines{"line 7: error: \"blx\" is not a word of \"Crossover type\"; accepted: 1-point, 2-point, uniform, "
                     "1-point PGX, 2-point PGX, BLX, SBX, arithmetic, order (did you mean \"BLX\"?)"}));
}

TEST(ConfigurationCheck, NumbersMustBeWhollyNumbersWithinRange) {
    const std::vector<std::pair<Parameters, std::string>> faults{
        {{{"Population size", "1e3"}},
         "\"Population size\" needs a whole number, but \"1e3\" is not one (the program would read 1)"},
        {{{"Population size", "3x"}},
         "\"Population size\" needs a whole number, but \"3x\" is not one (the program would read 3)"},
        {{{"Population size", "4.0"}},
         "\"Population size\" needs a whole number, but \"4.0\" is not one (the program would read 4)"},
        {{{"Population size", "ten"}},
         "\"Population size\" needs a whole number, but \"ten\" is not one (the program would read 0)"},
        {{{"Population size", "+5"}},
         "\"Population size\" needs a whole number, but \"+5\" is not one (the program would read 0)"},
        {{{"Generations number", ""}},
         "\"Generations number\" needs a whole number, but \"\" is not one (the program would read 0)"},
        {{{"RNG seed", "12a"}}, "\"RNG seed\" needs a whole number, but \"12a\" is not one (the program would read 12)"},
        {{{"Generations number", "99999999999"}},
         "\"Generations number\" is 99999999999, beyond the whole numbers from -2147483648 to 2147483647 (the "
         "program would read 2147483647)"},
        {{{"Elite count", "-2147483649"}},
         "\"Elite count\" is -2147483649, beyond the whole numbers from -2147483648 to 2147483647 (the program "
         "would read -2147483648)"},
        {{{"Mutation rate", "1e3"}},
         "\"Mutation rate\" needs a decimal number such as 0.25, but \"1e3\" is not one (the program would read 1); "
         "write it without an exponent"},
        {{{"Mutation rate", "..1"}},
         "\"Mutation rate\" needs a decimal number such as 0.25, but \"..1\" is not one (the program would read 0)"},
        {{{"Crossover rate", "0.7.5"}},
         "\"Crossover rate\" needs a decimal number such as 0.25, but \"0.7.5\" is not one (the program would read "
         "0.7)"},
        {{{"Error level", " \t"}},
         "\"Error level\" needs a decimal number such as 0.25, but \"\" is not one (the program would read 0)"},
        {{{"xAlpha", std::string(400, '9')}}, "\"xAlpha\" is too large to be a finite number"},
    };
    for (const auto& [parameters, message] : faults) {
        EXPECT_EQ(checkSphere(parameters), Lines{"line 9: error: " + message});
    }
    EXPECT_EQ(checkSphere({{"Random generator", "pcg64"},
                           {"Population size", "0040"},
                           {"Generations number", "2147483647"},
                           {"Sizing step", "-2147483648"},
                           {"Elite count", "-0"},
                           {"Mutation rate", ".5"},
                           {"Crossover rate", "1."},
                           {"Gene offset", "-0.25"},
                           {"xAlpha", std::string(300, '9')}}),
              Lines{});
}

TEST(ConfigurationCheck, ValuesThatCannotMakeAMeaningfulRunAreErrors) {
    const std::vector<std::pair<Parameters, std::string>> faults{
        {{{"Population size", "0"}}, "line 9: error: \"Population size\" is 0; a run needs at least 1 individual"},
        {{{"Generations number", "0"}}, "line 9: error: \"Generations number\" is 0; a run needs at least 1 generation"},
        {{{"Generations number", "-5"}},
         "line 9: error: \"Generations number\" is -5; a run needs at least 1 generation"},
        {{{"Chromosome length", "0"}}, "line 9: error: \"Chromosome length\" is 0; a chromosome needs at least 1 gene"},
        {{{"Elite count", "-1"}}, "line 9: error: \"Elite count\" is -1; it cannot be negative"},
        {{{"Evaluations budget", "-5"}}, "line 9: error: \"Evaluations budget\" is -5; it cannot be negative (0: no budget)"},
        {{{"Population size", "5"}, {"Elite count", "6"}},
         "line 10: error: \"Elite count\" (6) is above \"Population size\" (5): the elite is chosen from a mating "
         "pool that size"},
        {{{"Population size", "1"}},
         "line 9: error: \"Elite count\" (2, the default) is above \"Population size\" (1): the elite is chosen from "
         "a mating pool that size"},
        {{{"Children number", "1"}}, "line 9: error: \"Children number\" is 1; a crossover makes at least 2 children"},
        {{{"Children number", "5"}},
         "line 9: warning: \"Children number\" is 5: only 2 children of each crossover come from the parents; the "
         "other 3 start as blank chromosomes"},
        {{{"Population size", "10"}, {"Children number", "11"}},
         "line 10: error: \"Children number\" (11) is above \"Population size\" (10): one crossover would make more "
         "children than the population holds"},
        {{{"Parents number", "3"}}, "line 9: error: \"Parents number\" is 3; a crossover pairs exactly 2 parents"},
        {{{"Parents number", "1"}}, "line 9: error: \"Parents number\" is 1; a crossover pairs exactly 2 parents"},
        {{{"Tournament size", "0"}},
         "line 9: error: \"Tournament size\" is 0; a tournament needs at least 1 contestant"},
    };
    for (const auto& [parameters, message] : faults) EXPECT_EQ(checkSphere(parameters), Lines{message});
    // One individual keeps one of the two children a crossover makes.
    EXPECT_EQ(checkSphere({{"Population size", "1"}, {"Elite count", "0"}}), Lines{});

    // Selection must be chosen by every algorithm; a tournament size matters only to tournaments.
    EXPECT_EQ(check("SARN", "XOR", {{"Mutation type", "basic"}}),
              (Lines{"error: no \"Selection type\" is given, and every algorithm needs one; accepted: neutral, "
                     "tournament"}));
    EXPECT_EQ(check("SARN", "XOR", {{"Mutation type", "basic"}, {"Selection type", "neutral"}, {"Tournament size", "0"}}),
              Lines{});
    // Without a crossover, parents and children are not used.
    EXPECT_EQ(check("SARN", "XOR",
                    {{"Mutation type", "basic"}, {"Selection type", "neutral"}, {"Parents number", "1"},
                     {"Children number", "0"}}),
              Lines{});
}

const std::string kGaussianOnBits =
    "line 8: warning: mutation \"gaussian\" on the integer encoding runs the real-coded gaussian mutation (each "
    "chosen gene's value, code x Gene precision + Gene offset, moves by the draw and is cut back toward zero to a "
    "whole code, which may leave the Gene size bits)";

TEST(ConfigurationCheck, OperatorsMustApplyToTheEncoding) {
    EXPECT_EQ(check("GA", "Sphere",
                    {{"Encoding", "integer"}, {"Selection type", "neutral"}, {"Crossover type", "BLX"},
                     {"Mutation type", "gaussian"}}),
              (Lines{"line 7: error: crossover \"BLX\" does not apply to the integer encoding; accepted for it: "
                     "1-point, 2-point, uniform, 1-point PGX, 2-point PGX",
                     kGaussianOnBits}));
    EXPECT_EQ(check("GA", "Onemax", {{"Encoding", "string"}, {"Selection type", "neutral"}, {"Mutation type", "bit-flip"}}),
              (Lines{"line 7: error: mutation \"bit-flip\" does not apply to the string encoding; accepted for it: "
                     "random flip"}));
    EXPECT_EQ(check("GA", "Sphere", {{"Encoding", "real"}, {"Selection type", "neutral"}}),
              (Lines{"error: the default crossover \"2-point\" does not apply to the real encoding; choose a "
                     "\"Crossover type\": BLX, SBX, arithmetic",
                     "error: the default mutation \"bit-flip\" does not apply to the real encoding; choose a "
                     "\"Mutation type\": gaussian"}));
    // Networks take no crossover: the key changes nothing.
    EXPECT_EQ(check("SARN", "XOR", {{"Selection type", "neutral"}, {"Mutation type", "basic"}, {"Crossover type", "SBX"}}),
              (Lines{"line 7: warning: the regulatory network encoding takes no crossover: \"Crossover type\" is not "
                     "used"}));
    EXPECT_EQ(check("SARN", "XOR", {{"Selection type", "neutral"}, {"Mutation type", "basic"}, {"Niching type", "sharing"}}),
              (Lines{"line 7: error: fitness sharing cannot measure distances between regulatory networks; choose "
                     "another \"Niching type\""}));
    EXPECT_EQ(checkSphere({{"Initialization type", "unmixed"}}),
              (Lines{"line 9: warning: \"unmixed\" initialization applies to string encodings only: the real encoding "
                     "starts from random genes"}));
}

TEST(ConfigurationCheck, AWordThatBuildsAnotherOperatorSaysWhatRuns) {
    const Parameters bits{{"Encoding", "integer"}, {"Selection type", "neutral"}, {"Crossover type", "uniform"},
                          {"Mutation type", "gaussian"}};
    EXPECT_EQ(check("GA", "Sphere", bits),
              (Lines{"line 7: warning: crossover \"uniform\" on the integer encoding runs the 2-point crossover (bit "
                     "strings have no uniform crossover)",
                     kGaussianOnBits}));
    // Symbol strings have a uniform crossover of their own, real vectors a gaussian mutation.
    EXPECT_EQ(check("GA", "Onemax",
                    {{"Encoding", "string"}, {"Selection type", "neutral"}, {"Crossover type", "uniform"},
                     {"Mutation type", "random flip"}}),
              Lines{});
    EXPECT_EQ(checkSphere({}), Lines{});
}

// Values the run reads as something else than they say are warnings that say what runs (and so
// errors under --strict); only the values an operator of the run reads are judged.
TEST(ConfigurationCheck, ValuesBeyondTheirMeaningAreWarningsThatSayWhatRuns) {
    const std::vector<std::pair<Parameters, std::string>> cases{
        {{{"Mutation rate", "1.5"}},
         "line 9: warning: \"Mutation rate\" is 1.5: a probability above 1 acts as 1, so every gene mutates"},
        {{{"Mutation rate", "-0.1"}},
         "line 9: warning: \"Mutation rate\" is -0.1: a probability below 0 acts as 0, so no gene mutates"},
        {{{"Crossover rate", "2"}},
         "line 9: warning: \"Crossover rate\" is 2: a probability above 1 acts as 1, so every pair of parents is "
         "crossed"},
        {{{"Crossover rate", "-1"}},
         "line 9: warning: \"Crossover rate\" is -1: a probability below 0 acts as 0, so no pair is crossed and the "
         "children are copies of their parents"},
        {{{"Niching type", "sharing"}},
         "line 9: warning: \"Sharing sigma\" is 0, the default: no two individuals are closer than that, so fitness "
         "sharing changes no fitness"},
        {{{"Error level", "0"}},
         "line 9: warning: \"Error level\" is 0: only a fitness strictly below it solves the problem, and "
         "\"Sphere\" gives no fitness below 0, so no run counts as solved"},
        {{{"xAlpha", "-1"}},
         "line 9: error: \"xAlpha\" is -1: SBX's exponent 1/(xAlpha + 1) does not exist, and the run would end at "
         "its start"},
        {{{"xAlpha", "-3"}},
         "line 9: warning: \"xAlpha\" is -3: below -1 SBX's exponent 1/(xAlpha + 1) is negative, so half of its "
         "draws throw the children beyond their parents, the farther the nearer a draw is to 0 (a draw of 0 makes "
         "the genes infinite)"},
    };
    for (const auto& [parameters, message] : cases) EXPECT_EQ(checkSphere(parameters), Lines{message});
    const auto crossing = [](const std::string& crossover, const std::string& alpha) {
        return check("GA", "Sphere",
                     {{"Encoding", "real"}, {"Selection type", "neutral"}, {"Crossover type", crossover},
                      {"Mutation type", "gaussian"}, {"xAlpha", alpha}});
    };
    EXPECT_EQ(crossing("BLX", "-2"),
              (Lines{"line 9: warning: \"xAlpha\" is -2: below -0.5 the BLX interval turns over, so it acts as xAlpha 1 "
                     "(-1 - xAlpha)"}));
    EXPECT_EQ(crossing("BLX", "-0.25"), Lines{});
    EXPECT_EQ(crossing("arithmetic", "0.3"),
              (Lines{"line 9: warning: \"xAlpha\" is not used: only BLX and SBX read it, and the crossover is "
                     "\"arithmetic\""}));
    // Within range, or at the bounds, nothing is said.
    EXPECT_EQ(checkSphere({{"Mutation rate", "1"}, {"Crossover rate", "0"}, {"Error level", "0.001"},
                           {"Niching type", "sharing"}, {"Sharing sigma", "0.5"}, {"xAlpha", "-0.9"}}),
              Lines{});

    const Parameters bits{{"Encoding", "integer"}, {"Selection type", "neutral"}, {"Units ratio", "1.25"},
                          {"Mutation rate", "3"}};
    EXPECT_EQ(check("GA", "Onemax", bits),
              (Lines{"line 7: warning: \"Units ratio\" is 1.25: a probability above 1 acts as 1, so every initial bit "
                     "is 1",
                     "line 8: warning: \"Mutation rate\" is 3: a probability above 1 acts as 1, so every bit mutates"}));
    // The submatrix task sets both from its data file; Schwefel's fitness may fall below 0.
    EXPECT_EQ(check("GA", "Submatrix", bits), Lines{});
    EXPECT_EQ(check("GA", "Schwefel", {{"Encoding", "real"}, {"Selection type", "neutral"}, {"Crossover type", "SBX"},
                                       {"Mutation type", "gaussian"}, {"Error level", "0"}}),
              Lines{});
    // The network mutation reads the rate as a scale; SARN crosses nothing; crowding crosses every pair.
    EXPECT_EQ(check("SARN", "XOR",
                    {{"Selection type", "neutral"}, {"Mutation type", "basic"}, {"Mutation rate", "10"},
                     {"Crossover rate", "5"}, {"xAlpha", "-1"}}),
              Lines{});
    EXPECT_EQ(checkSphere({{"Niching type", "deterministic crowding"}, {"Crossover rate", "5"}}), Lines{});
}

TEST(ConfigurationCheck, ElitismAndTheFirstHitSayWhereTheyChangeNothing) {
    EXPECT_EQ(checkSphere({{"Elitism", "kept"}}), Lines{});
    EXPECT_EQ(checkSphere({{"Elite count", "0"}, {"Elitism", "kept"}}),
              (Lines{"line 10: warning: \"Elitism\" \"kept\" changes nothing: \"Elite count\" is 0, so there are no "
                     "elite copies"}));
    EXPECT_EQ(check("SARN", "XOR", {{"Selection type", "neutral"}, {"Mutation type", "basic"}, {"Elitism", "kept"}}),
              (Lines{"line 7: warning: SARN makes its offspring from the mating pool alone and drops the elite copies, "
                     "so neither \"Elite count\" nor \"Elitism\" \"kept\" changes its runs"}));
    EXPECT_EQ(check("SARN2", "XOR",
                    {{"Encoding", "real"}, {"Chromosome length", "11"}, {"Selection type", "neutral"},
                     {"Crossover type", "BLX"}, {"Mutation type", "gaussian"}, {"Elitism", "kept"}}),
              (Lines{"line 10: warning: under SARN2 \"kept\" spares the elite vectors the vector mutation only: every "
                     "generation still builds a network from each vector, mutates it and writes its mutated "
                     "parameters back, so an elite's fitness is not carried over"}));
    // Crowding never mutates the elite copies: only a written "mutated" is contradicted.
    EXPECT_EQ(checkSphere({{"Niching type", "deterministic crowding"}}), Lines{});
    EXPECT_EQ(checkSphere({{"Niching type", "deterministic crowding"}, {"Elitism", "mutated"}}),
              (Lines{"line 10: warning: under deterministic crowding the elite copies are never mutated (crowding "
                     "mutates only the children it makes), so \"Elitism\" \"mutated\" leaves them unchanged"}));

    EXPECT_EQ(checkSphere({{"Until first hit", "yes"}}),
              (Lines{"line 9: warning: \"Until first hit\" does not stop GA runs: every run goes through all its "
                     "generations (its first solution is still recorded)"}));
    EXPECT_EQ(checkSphere({{"Until first hit", "no"}}), Lines{});
    EXPECT_EQ(check("SARN", "XOR", {{"Selection type", "neutral"}, {"Mutation type", "basic"}, {"Until first hit", "yes"}}),
              Lines{});
}

TEST(ConfigurationCheck, TheAlgorithmAndTheProblemMustBeNamedAndFitTogether) {
    const std::string accepted = "accepted: GA, SARN, SARN2";
    EXPECT_EQ(findingsOf("<?xml version=\"1.0\"?>\n<experiment>\n<problem><type>Sphere</type></problem>\n"
                         "<parameter><name>Encoding</name><value>real</value></parameter>\n"
                         "<parameter><name>Selection type</name><value>neutral</value></parameter>\n</experiment>\n"),
              (Lines{"error: the file names no algorithm: add <algorithm><type>GA</type></algorithm>; " + accepted}));
    EXPECT_EQ(findingsOf("<?xml version=\"1.0\"?>\n<experiment>\n<algorithm></algorithm>\n<problem>\n</problem>\n"
                         "<algorithm><type>GA</type></algorithm>\n</experiment>\n"),
              (Lines{"line 3: error: <algorithm> holds no element with the algorithm's word; " + accepted,
                     "line 4: error: <problem> holds no element with the problem's word; accepted: Sphere, Rastrigin, "
                     "Schwefel, Rosenbrock, Deceptive, Mixing-time, Onemax, Pointless, Submatrix, XOR, Double sin",
                     "line 6: warning: only the first <algorithm> (line 3) is read; this one is ignored",
                     "error: no \"Encoding\" is given; accepted: string, integer, real, permutation, regulatory network",
                     "error: no \"Selection type\" is given, and every algorithm needs one; accepted: neutral, "
                     "tournament"}));
    EXPECT_EQ(check("ga", "Sphere function", {{"Encoding", "real"}, {"Selection type", "neutral"}}),
              (Lines{"line 3: error: unknown algorithm \"ga\"; " + accepted + " (did you mean \"GA\"?)",
                     "line 4: error: unknown problem \"Sphere function\"; accepted: Sphere, Rastrigin, Schwefel, "
                     "Rosenbrock, Deceptive, Mixing-time, Onemax, Pointless, Submatrix, XOR, Double sin"}));

    const Parameters integerGA{{"Encoding", "real"}, {"Selection type", "neutral"}, {"Crossover type", "BLX"},
                               {"Mutation type", "gaussian"}};
    EXPECT_EQ(check("GA", "Onemax", integerGA),
              (Lines{"line 5: error: \"Onemax\" cannot evaluate the real encoding; it takes: string, integer, "
                     "permutation"}));
    EXPECT_EQ(check("GA", "XOR", {{"Selection type", "neutral"}, {"Mutation type", "basic"}}),
              (Lines{"line 4: error: \"XOR\" sets the regulatory network encoding, which has no crossover, so GA "
                     "cannot make children; use SARN or SARN2 for networks"}));
    // Double sin, unlike XOR, leaves the encoding to the configuration.
    EXPECT_EQ(check("SARN", "Double sin", {{"Selection type", "neutral"}, {"Mutation type", "basic"}}),
              (Lines{"error: no \"Encoding\" is given; accepted: string, integer, real, permutation, regulatory "
                     "network"}));
    EXPECT_EQ(check("SARN", "Double sin",
                    {{"Encoding", "real"}, {"Selection type", "neutral"}, {"Mutation type", "gaussian"},
                     {"Crossover type", "SBX"}}),
              (Lines{"line 5: error: \"Double sin\" cannot evaluate the real encoding; it takes: regulatory network"}));

    Parameters vectors{{"Encoding", "real"}, {"Chromosome length", "11"}, {"Selection type", "neutral"},
                       {"Crossover type", "BLX"}, {"Mutation type", "gaussian"}};
    EXPECT_EQ(check("SARN2", "Double sin", vectors), Lines{});
    EXPECT_EQ(check("SARN2", "Sphere", vectors),
              (Lines{"line 4: error: \"Sphere\" cannot evaluate the regulatory networks SARN2 builds; problems for "
                     "networks: Pointless, XOR, Double sin"}));
    vectors[0].second = "integer";
    vectors[1].second = "10";
    EXPECT_EQ(check("SARN2", "Double sin", vectors),
              (Lines{"line 5: error: SARN2 evolves real-coded vectors that steer its networks: \"Encoding\" must be "
                     "real, not \"integer\"",
                     "line 6: error: SARN2 needs at least 11 genes per vector, one per kind of network mutation; "
                     "\"Chromosome length\" is 10"}));
    // XOR's networks are made from real vectors whatever the file says.
    EXPECT_EQ(check("SARN2", "XOR", vectors),
              (Lines{"line 6: error: SARN2 needs at least 11 genes per vector, one per kind of network mutation; "
                     "\"Chromosome length\" is 10"}));
}

// A crossover without two cut positions ends the run at its first pairing: the check refuses it,
// also where the problem sets the gene size (OneMax's 1-bit genes).
TEST(ConfigurationCheck, BitStringCrossoversNeedTwoCutPositions) {
    const Parameters bits{{"Encoding", "integer"}, {"Selection type", "neutral"}, {"Crossover type", "2-point PGX"}};
    EXPECT_EQ(check("GA", "Onemax", bits),
              (Lines{"line 7: error: crossover \"2-point PGX\" needs two different cut positions inside every gene, "
                     "but a gene holds 1 bit (\"Gene size\" 1, set by Onemax)"}));
    EXPECT_EQ(check("GA", "Deceptive", bits), Lines{});
    EXPECT_EQ(check("GA", "Onemax", {{"Encoding", "integer"}, {"Selection type", "neutral"}, {"Chromosome length", "1"}}),
              (Lines{"line 7: error: crossover \"2-point\" needs two different cut positions in the chromosome, but "
                     "it holds 1 bit (\"Chromosome length\" 1, \"Gene size\" 1, set by Onemax)"}));
}

TEST(ConfigurationCheck, WhatTheProblemSetsItselfIsNotReported) {
    const Parameters bits{{"Encoding", "integer"}, {"Selection type", "neutral"}, {"Gene size", "0"}};
    EXPECT_EQ(check("GA", "Onemax", bits), Lines{});
    EXPECT_EQ(check("GA", "Deceptive", bits), Lines{});
    EXPECT_EQ(check("GA", "Sphere", bits),
              (Lines{"line 7: error: \"Gene size\" is 0; a bit-string gene needs at least 1 bit"}));

    Parameters mixing{{"Encoding", "string"}, {"Selection type", "neutral"}, {"Crossover type", "uniform"},
                      {"Mutation type", "random flip"}, {"Population size", "0"}, {"Chromosome length", "0"},
                      {"Gene size", "-1"}, {"Arity", "8"}};
    EXPECT_EQ(check("GA", "Mixing-time", mixing), Lines{});
    mixing.back().second = "0";
    EXPECT_EQ(check("GA", "Mixing-time", mixing),
              (Lines{"line 12: error: \"Arity\" is 0; Mixing-time takes the chromosome length and the population size "
                     "from it and needs at least 1 symbol"}));
    mixing.back().second = "4";
    mixing.emplace_back("Elite count", "5");
    EXPECT_EQ(check("GA", "Mixing-time", mixing),
              (Lines{"line 13: error: \"Elite count\" (5) is above \"Population size\" (4, set by Mixing-time from "
                     "\"Arity\"): the elite is chosen from a mating pool that size"}));

    // A list of rows takes its length and alphabet from the data file.
    const Parameters rows{{"Encoding", "permutation"}, {"Selection type", "neutral"}, {"Crossover type", "order"},
                          {"Mutation type", "random flip"}, {"Arity", "1"}, {"Chromosome length", "0"}};
    EXPECT_EQ(check("GA", "Submatrix", rows), Lines{});
    EXPECT_EQ(check("GA", "Sphere", rows),
              (Lines{"line 10: error: \"Chromosome length\" is 0; a chromosome needs at least 1 gene"}));
    EXPECT_EQ(check("GA", "Sphere",
                    {{"Encoding", "permutation"}, {"Selection type", "neutral"}, {"Crossover type", "order"},
                     {"Mutation type", "random flip"}, {"Arity", "5"}}),
              (Lines{"line 9: error: \"Arity\" (5) is below \"Chromosome length\" (10, the default): a permutation "
                     "needs as many different symbols as genes"}));
    // Unmixed strings repeat one symbol and need no more symbols than genes, but they are no
    // permutations.
    EXPECT_EQ(check("GA", "Sphere",
                    {{"Encoding", "permutation"}, {"Selection type", "neutral"}, {"Crossover type", "order"},
                     {"Mutation type", "random flip"}, {"Arity", "5"}, {"Initialization type", "unmixed"}}),
              (Lines{"line 10: warning: \"unmixed\" initialization gives every individual one symbol repeated: no "
                     "individual starts as a permutation; \"random\" draws permutations"}));
}

// Only the order crossover keeps permutations; the others run, and their children repeat symbols.
TEST(ConfigurationCheck, CrossoversThatBreakPermutationsAreWarnedAbout) {
    for (const char* crossover : {"1-point", "2-point", "uniform"}) {
        EXPECT_EQ(check("GA", "Sphere",
                        {{"Encoding", "permutation"}, {"Selection type", "neutral"}, {"Crossover type", crossover},
                         {"Mutation type", "random flip"}, {"Arity", "12"}}),
                  (Lines{"line 7: warning: crossover \"" + std::string(crossover) +
                         "\" exchanges genes between permutations without repairing the children: they repeat symbols "
                         "and are no longer permutations; \"order\" keeps them permutations"}));
    }
    EXPECT_EQ(check("GA", "Sphere",
                    {{"Encoding", "string"}, {"Selection type", "neutral"}, {"Crossover type", "2-point"},
                     {"Mutation type", "random flip"}}),
              Lines{});
}

TEST(ConfigurationCheck, ASeedAbove32767NamesTheSeedThatGivesTheSameRun) {
    EXPECT_EQ(checkSphere({{"RNG seed", "40000"}}),
              (Lines{"line 9: warning: RNG seed 40000 is above 32767: only its low 15 bits choose the random stream, "
                     "so it gives the same run as seed 7232"}));
    EXPECT_EQ(checkSphere({{"RNG seed", "-1"}}),
              (Lines{"line 9: warning: RNG seed -1 is negative and is read as 4294967295: only its low 15 bits choose "
                     "the random stream, so it gives the same run as seed 32767"}));
    EXPECT_EQ(checkSphere({{"RNG seed", "65536"}}),
              (Lines{"line 9: warning: RNG seed 65536 is above 32767: only its low 15 bits choose the random stream, "
                     "and they are all 0; no seed from 1 to 32767 gives this run (seed 0 means the calendar time)"}));
    EXPECT_EQ(checkSphere({{"RNG seed", "32767"}}), Lines{});
    EXPECT_EQ(checkSphere({{"RNG seed", "0"}}), Lines{});

    // The seeds named give the same draws.
    const auto draws = [](unsigned seed) {
        testing::seedForTest(seed);
        std::vector<double> values;
        for (int i = 0; i < 5; ++i) values.push_back(uniform());
        return values;
    };
    EXPECT_EQ(draws(40000), draws(7232));
    EXPECT_EQ(draws(static_cast<unsigned>(-1)), draws(32767));
    EXPECT_NE(draws(40000), draws(40001));
    testing::testEngine().random.restore(0, false);
}

TEST(ConfigurationCheck, ALaterValueOfAKeyWinsWithAWarning) {
    const std::string text = configuration(
        "GA", "Sphere",
        {{"Encoding", "real"}, {"Selection type", "neutral"}, {"Crossover type", "SBX"}, {"Mutation type", "gaussian"},
         {"Population size", "40"}, {"Population size", "0"}, {"Population size", "60"}});
    EXPECT_EQ(findingsOf(text),
              (Lines{"line 10: warning: \"Population size\" is given again (first on line 9); the later value \"0\" is "
                     "used",
                     "line 11: warning: \"Population size\" is given again (first on line 9); the later value \"60\" is "
                     "used"}));
    EXPECT_EQ(effectiveParameters(scanConfiguration(text)).populationSize, 60);
}

TEST(ConfigurationCheck, ReportsEveryProblemAtOnceInLineOrder) {
    const std::string text =
        "<?xml version=\"1.0\"?>\n"                                                          // 1
        "<experiment>\n"                                                                     // 2
        "  <algorithm><type>GA</type></algorithm>\n"                                         // 3
        "  <problem><type>Sphere</type></problem>\n"                                         // 4
        "  <parameter><name>Encoding</name><value>real</value></parameter>\n"                // 5
        "  <parameter><name>Chromosome length</name><value>3x</value></parameter>\n"         // 6
        "  <parameter><name>Population Size</name><value>40</value></parameter>\n"           // 7
        "  <parameter><name>Generations number</name><value>1e3</value></parameter>\n"       // 8
        "  <parameter><name>Niching type</name><value>Sharing</value></parameter>\n"         // 9
        "  <parameter><name>Selection type</name></parameter>\n"                             // 10
        "  <parameter><name>Tournament size</name><value>3</value></parameter>\n"            // 11
        "  <parameter><name>Crossover type</name><value>2-point</value></parameter>\n"       // 12
        "  <parameter><name>Elite count</name><value>99999999999</value></parameter>\n"      // 13
        "  <parameter><name>RNG seed</name><value>40000</value></parameter>\n"               // 14
        "</experiment>\n";
    const std::vector<Finding> findings = checkConfiguration(scanConfiguration(text));
    Lines lines;
    for (const Finding& finding : findings) lines.push_back(formatFinding(finding));
    EXPECT_EQ(lines,
              (Lines{"line 6: error: \"Chromosome length\" needs a whole number, but \"3x\" is not one (the program "
                     "would read 3)",
                     "line 7: warning: unknown key \"Population Size\" (did you mean \"Population size\"?)",
                     "line 8: error: \"Generations number\" needs a whole number, but \"1e3\" is not one (the program "
                     "would read 1)",
                     "line 9: warning: \"Sharing\" is not a word of \"Niching type\"; accepted: no niching, sharing, "
                     "deterministic crowding (did you mean \"sharing\"?)",
                     "line 10: error: <parameter> holds the name \"Selection type\" but no <value>",
                     "line 10: error: names and values pair by position over the whole file, so the key \"Selection "
                     "type\" would take the value \"3\" from line 11, and later keys shifted values",
                     "line 12: error: crossover \"2-point\" does not apply to the real encoding; accepted for it: BLX, "
                     "SBX, arithmetic",
                     "line 13: error: \"Elite count\" is 99999999999, beyond the whole numbers from -2147483648 to "
                     "2147483647 (the program would read 2147483647)",
                     "line 14: warning: RNG seed 40000 is above 32767: only its low 15 bits choose the random stream, "
                     "so it gives the same run as seed 7232",
                     "error: no \"Selection type\" is given, and every algorithm needs one; accepted: neutral, "
                     "tournament",
                     "error: the default mutation \"bit-flip\" does not apply to the real encoding; choose a "
                     "\"Mutation type\": gaussian"}));

    EXPECT_TRUE(hasErrors(findings));
    const std::vector<Finding> warnings{{Severity::Warning, 7, "unknown key"}, {Severity::Warning, 0, "other"}};
    EXPECT_FALSE(hasErrors(warnings));
    const std::vector<Finding> strict = warningsAsErrors(warnings);
    EXPECT_TRUE(hasErrors(strict));
    ASSERT_EQ(strict.size(), 2U);
    EXPECT_EQ(formatFinding(strict[0]), "line 7: error: unknown key");
    EXPECT_EQ(formatFinding(strict[1]), "error: other");
}

TEST(ConfigurationCheck, AFileWithoutElementsGivesOnlyTheScanFindings) {
    ScratchDir dir;
    EXPECT_EQ(checkConfigurationFile("missing.xml").size(), 1U);
    writeFile("config.xml", "<?xml version=\"1.0\"?>\n");
    const std::vector<Finding> findings = checkConfigurationFile("config.xml");
    ASSERT_EQ(findings.size(), 1U);
    EXPECT_EQ(findings[0].message,
              "the file holds no elements: it needs a root element around the algorithm, the problem and the parameters");
}

// The record as a run builds it: the lenient reader, the parameter reader, then the problem.
std::string recordOfARun(const std::string& text, const ProblemRow& row) {
    ScratchDir dir;
    writeFile("config.xml", text);
    QLightXMLIO tree;
    tree.readFromFile("config.xml", std::cerr);
    QEAParameters params;
    readParameters(tree, params);
    row.make(testing::testEngine())->adjustParameters(&params);
    std::ostringstream out;
    dumpParameters(params, "", "", out);
    out << params.inputsNumber << " " << params.outputsNumber << "\n";
    return out.str();
}

TEST(EffectiveParameters, AreWhatARunReadsAndItsProblemSets) {
    for (const ProblemRow& row : problemRows()) {
        if (row.id == ProblemKind::Submatrix) continue;  // it reads matrix.txt when made
        SCOPED_TRACE(std::string(row.word));
        const std::string text =
            configuration("GA", std::string(row.word),
                          {{"Encoding", "integer"}, {"Arity", "6"}, {"Gene size", "7"}, {"Chromosome length", "9"},
                           {"Population size", "30"}, {"Gene offset", "-1.5"}, {"Gene precision", "0.5"},
                           {"RNG seed", "99"}, {"Mutation rate", "0.2"}, {"Units ratio", "0.3"}});
        const QEAParameters effective = effectiveParameters(scanConfiguration(text));
        std::ostringstream out;
        dumpParameters(effective, "", "", out);
        out << effective.inputsNumber << " " << effective.outputsNumber << "\n";
        EXPECT_EQ(out.str(), recordOfARun(text, row));
    }
    // What the submatrix task reads from its data file stays as written.
    const QEAParameters submatrix = effectiveParameters(scanConfiguration(
        configuration("GA", "Submatrix", {{"Encoding", "permutation"}, {"Arity", "6"}, {"Chromosome length", "9"}})));
    EXPECT_EQ(submatrix.arity, 6);
    EXPECT_EQ(submatrix.chromosomeLength, 9);
    EXPECT_TRUE(submatrix.permutation);
}

TEST(EffectiveParameters, ShowAsOneLinePerKey) {
    const std::string text =
        configuration("GA", "Onemax", {{"Encoding", "integer"}, {"Gene size", "12"}, {"RNG seed", "0"}});
    const std::string shown = parametersText(effectiveParameters(scanConfiguration(text)));
    std::size_t lines = 0;
    for (char c : shown) lines += c == '\n' ? 1 : 0;
    // The keys of a problem from outside show only where they are given.
    EXPECT_EQ(lines, keyRows().size() - 3);
    EXPECT_EQ(shown.find("Problem library"), std::string::npos);
    EXPECT_TRUE(shown.starts_with("RNG seed = 0 (the calendar time)\nEncoding = integer\n")) << shown;
    EXPECT_NE(shown.find("\nGene size = 1\n"), std::string::npos) << "Onemax sets the gene size";
    EXPECT_NE(shown.find("\nNiching type = no niching\n"), std::string::npos);
    EXPECT_NE(shown.find("\nSelection type = (none)\n"), std::string::npos);
    EXPECT_NE(shown.find("\nUntil first hit = no\n"), std::string::npos);
    QEAParameters seeded;
    seeded.rngSeed = 7;
    EXPECT_TRUE(parametersText(seeded).starts_with("RNG seed = 7\n"));
}

}  // namespace
}  // namespace Valdrin

namespace Valdrin {
namespace {

// Sizes each within range whose product no run can get through.
TEST(ConfigurationCheck, WorkPerGenerationBeyondTheIntRangeIsAnError) {
    const Lines tournament = checkSphere({{"Population size", "50"}, {"Tournament size", "2147483647"}});
    ASSERT_EQ(tournament.size(), 1u);
    EXPECT_NE(tournament[0].find("line 10: error: \"Tournament size\" (2147483647) times"), std::string::npos)
        << tournament[0];
    EXPECT_TRUE(checkSphere({{"Population size", "50"}, {"Tournament size", "60"}}).empty());

    const Lines bits = check("GA", "Sphere", {{"Encoding", "integer"}, {"Selection type", "tournament"},
                                              {"Chromosome length", "30"}, {"Gene size", "2147483647"}});
    ASSERT_EQ(bits.size(), 1u);
    EXPECT_NE(bits[0].find("line 8: error: \"Gene size\" (2147483647) times the chromosome length gives 64424509410 "
                           "bits per chromosome"),
              std::string::npos)
        << bits[0];
    EXPECT_TRUE(check("GA", "Sphere", {{"Encoding", "integer"}, {"Selection type", "tournament"},
                                       {"Chromosome length", "30"}, {"Gene size", "40"}})
                    .empty());
}

TEST(WordDistance, AHugeWordIsComparedOnlyWithWordsOfNearLength) {
    const std::string huge(1 << 22, 'x');
    const std::vector<std::string_view> keys = {"Population size", "Arity"};
    EXPECT_TRUE(nearWords(huge, keys).empty());
    EXPECT_EQ(nearWords("Aritty", keys), std::vector<std::string_view>{"Arity"});
}

}  // namespace
}  // namespace Valdrin
