// QEAParameters: the one record that carries every setting of an experiment, its two number
// conversions and its printed dump.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "core/identifiers.h"

namespace Valdrin {

// Seed and crossover parameter used when the configuration names none.
constexpr std::uint32_t kDefaultSeed = 1;
constexpr double kDefaultXAlpha = 0.5;

struct QEAParameters {
    std::uint32_t rngSeed = kDefaultSeed;
    int eaType = 1;
    int populationsNumber = 1;
    Encoding encoding = Encoding::Unspecified;
    bool permutation = false;
    EncodingOrder encodingOrder = EncodingOrder::None;
    int chromosomeLength = 10;
    int arity = 2;
    int geneSize = 10;
    double geneOffset = -5.12;
    double genePrecision = 0.01;
    int populationSize = 50;
    Initialization initializationType = Initialization::Random;
    double unitsRatio = 0.5;
    int generationsNumber = 500;
    Niching nichingType = Niching::None;
    double sharingSigma = 0.0;
    Selection selectionType = Selection::Unspecified;
    int tournamentSize = 2;
    ParentSelection parentSelectorType = ParentSelection::Unspecified;
    Sizer populationSizerType = Sizer::Constant;
    int minPopulationSize = 10;
    int maxPopulationSize = 200;
    int sizingStep = 0;
    int sizingDirection = 0;
    Crossover xType = Crossover::TwoPoint;
    Mutation mutationType = Mutation::BitFlip;
    int eliteCount = 2;
    int parentsNumber = 2;
    int childrenNumber = 2;
    double xRate = 0.7;
    double mRate = 0.01;
    double xAlpha = kDefaultXAlpha;
    bool removeClones = false;
    double errorLevel = 0.01;
    int inputsNumber = 0;
    int outputsNumber = 0;
    bool untilFirstHit = false;
    // Settings that the parameter dump does not print.
    GeneratorKind generator = GeneratorKind::Legacy;
    Elitism elitism = Elitism::Mutated;
    int evaluationsBudget = 0;  // 0: no budget
    // A problem from outside: the plugin library's path (relative to the configuration's
    // folder), the evaluator command line, and how long the command may take to answer.
    std::string problemLibrary;
    std::string evaluatorCommand;
    double evaluatorTimeout = 600.0;  // seconds without an answer
};

// Digit-accumulating conversions used for configuration values (no validation).
int parseIntegerText(const std::string& text);
double parseRealText(const std::string& text);

// Writes the "EA parameters:" block: the algorithm's and the problem's printed names (each a
// line of its own; an empty name writes an empty line), then every printed field.
int dumpParameters(const QEAParameters& params, std::string_view algorithmName, std::string_view problemName,
                   std::ostream& out);

}  // namespace Valdrin
