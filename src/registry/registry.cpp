// The rows of the registry.
#include "registry/registry.h"

#include <cstdint>
#include <ctime>
#include <sstream>

#include "algorithms/genetic_algorithm.h"
#include "algorithms/sarn.h"
#include "algorithms/sarn2.h"
#include "operators/crossovers.h"
#include "operators/initializers.h"
#include "operators/mutations.h"
#include "operators/niching.h"
#include "operators/population_sizers.h"
#include "operators/selection.h"
#include "problems/benchmarks.h"
#include "problems/network_problems.h"
#include "problems/submatrix.h"
#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"

namespace Valdrin {

namespace {

template <class Concrete, class Base>
std::unique_ptr<Base> make() {
    return std::make_unique<Concrete>();
}

// Algorithms and problems work for one experiment's engine from the start.
template <class Concrete, class Base>
std::unique_ptr<Base> makeFor(Engine& engine) {
    return std::make_unique<Concrete>(engine);
}

// --- Encodings each row applies to ---

constexpr Encoding kValueEncodings[] = {Encoding::String, Encoding::Integer, Encoding::Real};
constexpr Encoding kSymbolEncodings[] = {Encoding::String, Encoding::Integer};
constexpr Encoding kStringOnly[] = {Encoding::String};
constexpr Encoding kNetworkOnly[] = {Encoding::Network};
constexpr Encoding kAllEncodings[] = {Encoding::String, Encoding::Integer, Encoding::Real, Encoding::Network};

// --- Algorithms and problems ---

constexpr AlgorithmRow kAlgorithms[] = {
    {"GA", AlgorithmKind::GA, "Creating GA\n", &makeFor<QGeneticAlgorithm, QEvolutionaryAlgorithm>,
     "generational genetic algorithm over bit strings, symbol strings, permutations or real vectors"},
    {"SARN", AlgorithmKind::SARN, "Creating QSARN\n", &makeFor<QSARN, QEvolutionaryAlgorithm>,
     "self-adaptive regulatory networks: asexual reproduction, each network steering its own mutation"},
    {"SARN2", AlgorithmKind::SARN2, "Creating QSARN2 (indirect evolution)\n", &makeFor<QSARN2, QEvolutionaryAlgorithm>,
     "indirect evolution: real-coded parameter vectors steer the mutations of one template network"},
};

constexpr ProblemRow kProblems[] = {
    {"Sphere", ProblemKind::Sphere, kValueEncodings, &makeFor<QSphereFunction, QProblem>,
     "sum of squares, minimum 0 at the origin", true},
    {"Rastrigin", ProblemKind::Rastrigin, kValueEncodings, &makeFor<QRastriginFunction, QProblem>,
     "Rastrigin's multimodal function, minimum 0 at the origin", true},
    {"Schwefel", ProblemKind::Schwefel, kValueEncodings, &makeFor<QSchwefelFunction, QProblem>,
     "Schwefel's function, minimum near 0 at 420.9687 in every coordinate", false},
    {"Rosenbrock", ProblemKind::Rosenbrock, kValueEncodings, &makeFor<QRosenbrockFunction, QProblem>,
     "Rosenbrock's valley, minimum 0 at 1 in every coordinate", true},
    {"Deceptive", ProblemKind::Deceptive, kSymbolEncodings, &makeFor<QDeceptiveProblem, QProblem>,
     "4-bit deceptive blocks (gene size set to 4)", true},
    {"Mixing-time", ProblemKind::MixingTime, kStringOnly, &makeFor<QMixingTimeResearch, QProblem>,
     "balance of symbols over the alphabet: 0 for a permutation of it", true},
    {"Onemax", ProblemKind::OneMax, kSymbolEncodings, &makeFor<QOneMaxProblem, QProblem>,
     "number of zero bits, 0 for all ones (gene size set to 1)", true},
    {"Pointless", ProblemKind::Pointless, kAllEncodings, &makeFor<QPointlessProblem, QProblem>,
     "a uniformly random fitness: a baseline with nothing to learn", true},
    {"Submatrix", ProblemKind::Submatrix, kSymbolEncodings, &makeFor<QSubmatrixTask, QProblem>,
     "choice of matrix rows (diagnostic tests) from matrix.txt, as a mask or as a list of rows", false},
    {"XOR", ProblemKind::XOR, kNetworkOnly, &makeFor<QANNProblemXOR, QProblem>,
     "exclusive or of two inputs, learned by a regulatory network", true},
    {"Double sin", ProblemKind::DoubleSine, kNetworkOnly, &makeFor<QANNProblemSinDouble, QProblem>,
     "prediction of a sum of two sine waves by a regulatory network", true},
};

// --- Encodings ---

constexpr EncodingRow kEncodings[] = {
    {"string", Encoding::String, false, &make<QStringPopulation, QPopulation>,
     &make<QStringInitializer, QInitializer>, "createStringCrossover", "createStringMutation",
     "symbols 0 .. Arity-1"},
    {"integer", Encoding::Integer, false, &make<QIntegerPopulation, QPopulation>,
     &make<QIntegerInitializer, QInitializer>, "createIntegerCrossover", "createIntegerMutation",
     "bit strings: Gene size bits per gene, read as value * Gene precision + Gene offset"},
    {"real", Encoding::Real, false, &make<QRCPopulation, QPopulation>, &make<QRCInitializer, QInitializer>,
     "createRCCrossover", "createRCMutation",
     "one real number per gene, each starting at 10 + (the sum of 12 uniform draws - 6) / 6 (between 9 and 11, "
     "standard deviation 1/6), whatever the problem"},
    {"permutation", Encoding::String, true, &make<QStringPopulation, QPopulation>,
     &make<QStringInitializer, QInitializer>, "createStringCrossover", "createStringMutation",
     "symbol strings without repeated symbols"},
    {"regulatory network", Encoding::Network, true, &make<QRNPopulation, QPopulation>,
     &make<QRNInitializer, QInitializer>, nullptr, "createRNMutation",
     "regulatory networks (for SARN and SARN2; no crossover)"},
};

// --- Operators ---

constexpr ForEncoding<QCrossoverOperator> kOnePoint[] = {
    {Encoding::String, &make<QStringCrossover1, QCrossoverOperator>},
    {Encoding::Integer, &make<QIntegerCrossover1, QCrossoverOperator>},
};
constexpr ForEncoding<QCrossoverOperator> kTwoPoint[] = {
    {Encoding::String, &make<QStringCrossover2, QCrossoverOperator>},
    {Encoding::Integer, &make<QIntegerCrossover2, QCrossoverOperator>},
};
// Bit strings have no uniform crossover of their own: they cross at two points.
constexpr ForEncoding<QCrossoverOperator> kUniform[] = {
    {Encoding::String, &make<QStringCrossoverUniform, QCrossoverOperator>},
    {Encoding::Integer, &make<QIntegerCrossover2, QCrossoverOperator>, "2-point",
     "bit strings have no uniform crossover"},
};
constexpr ForEncoding<QCrossoverOperator> kOnePointPGX[] = {
    {Encoding::Integer, &make<QIntegerCrossoverPGX1, QCrossoverOperator>},
};
constexpr ForEncoding<QCrossoverOperator> kTwoPointPGX[] = {
    {Encoding::Integer, &make<QIntegerCrossoverPGX2, QCrossoverOperator>},
};
constexpr ForEncoding<QCrossoverOperator> kBLX[] = {
    {Encoding::Real, &make<QRCCrossoverBLX, QCrossoverOperator>},
};
constexpr ForEncoding<QCrossoverOperator> kSBX[] = {
    {Encoding::Real, &make<QRCCrossoverSBX, QCrossoverOperator>},
};
constexpr ForEncoding<QCrossoverOperator> kArithmetic[] = {
    {Encoding::Real, &make<QRCCrossoverArithmetic, QCrossoverOperator>},
};
constexpr ForEncoding<QCrossoverOperator> kOrder[] = {
    {Encoding::String, &make<QStringCrossoverOrder, QCrossoverOperator>},
};

constexpr CrossoverRow kCrossovers[] = {
    {"1-point", Crossover::OnePoint, kOnePoint, "one cut point (bit strings: any bit)"},
    {"2-point", Crossover::TwoPoint, kTwoPoint, "two cut points (bit strings: any bits)"},
    {"uniform", Crossover::Uniform, kUniform, "each gene from either parent (bit strings: 2-point)"},
    {"1-point PGX", Crossover::OnePointPGX, kOnePointPGX, "one cut point inside every gene"},
    {"2-point PGX", Crossover::TwoPointPGX, kTwoPointPGX, "two cut points inside every gene"},
    {"BLX", Crossover::BLX, kBLX, "blend crossover, extended by xAlpha"},
    {"SBX", Crossover::SBX, kSBX, "simulated binary crossover, distribution index xAlpha"},
    {"arithmetic", Crossover::Arithmetic, kArithmetic,
     "weighted means of the parents, a fresh uniform weight per gene (xAlpha is not used)"},
    {"order", Crossover::Order, kOrder, "order crossover for permutations"},
};

constexpr ForEncoding<QMutationOperator> kBitFlip[] = {
    {Encoding::Integer, &make<QIntegerMutationBitFlip, QMutationOperator>},
};
constexpr ForEncoding<QMutationOperator> kRandomFlip[] = {
    {Encoding::String, &make<QStringMutationRandomFlip, QMutationOperator>},
};
// Integer genes are perturbed as real numbers.
constexpr ForEncoding<QMutationOperator> kGaussian[] = {
    {Encoding::Integer, &make<QRCMutationGauss, QMutationOperator>, "real-coded gaussian",
     "each chosen gene's value, code x Gene precision + Gene offset, moves by the draw and is cut back "
     "toward zero to a whole code, which may leave the Gene size bits"},
    {Encoding::Real, &make<QRCMutationGauss, QMutationOperator>},
};
constexpr ForEncoding<QMutationOperator> kNetworkBasic[] = {
    {Encoding::Network, &make<QRNMutationBasic, QMutationOperator>},
};

constexpr MutationRow kMutations[] = {
    {"bit-flip", Mutation::BitFlip, kBitFlip, "each bit flips with probability Mutation rate", "bit"},
    {"random flip", Mutation::RandomFlip, kRandomFlip,
     "each symbol is redrawn with probability Mutation rate (permutations stay permutations)", "symbol"},
    {"gaussian", Mutation::Gaussian, kGaussian,
     "each gene, with probability Mutation rate, moves by (the sum of 12 uniform draws - 6) / 6: a draw of "
     "fixed width (mean 0, standard deviation 1/6, never beyond -1 or 1); genes have no bounds",
     "gene"},
    {"basic", Mutation::NetworkBasic, kNetworkBasic,
     "the self-adaptive network mutation (Mutation rate scales its probabilities)", ""},
};

constexpr SelectionRow kSelections[] = {
    {"neutral", Selection::Neutral, &make<QNeutralSelection, QSelection>, "uniform draws with replacement"},
    {"tournament", Selection::Tournament, &make<QTournamentSelection, QSelection>,
     "best of Tournament size contestants"},
};

constexpr ParentSelectionRow kParentSelections[] = {
    {"random", ParentSelection::Random, &make<QRandomParentSelector, QParentSelector>,
     "parents drawn uniformly from the mating pool"},
};

constexpr SizerRow kSizers[] = {
    {"constant", Sizer::Constant, &make<QConstPopulationSizer, QPopulationSizer>, "Population size in every generation"},
    {"simple", Sizer::Simple, &make<QSimplePopulationSizer, QPopulationSizer>,
     "grows by one while the best does not improve, shrinks by one while it does"},
    {"simple Fibonacci", Sizer::SimpleFibonacci, &make<QSimplePopulationSizerFibonacci, QPopulationSizer>,
     "as simple, in Fibonacci steps"},
    {"steady", Sizer::Steady, &make<QSteadyPopulationSizer, QPopulationSizer>,
     "moves by Sizing step in Sizing direction every generation"},
};

constexpr NichingRow kNichings[] = {
    {"no niching", Niching::None, nullptr, "no niching"},
    {"sharing", Niching::Sharing, &make<QFitnessSharing, QNichingOperator>,
     "fitness sharing within Sharing sigma"},
    {"deterministic crowding", Niching::DeterministicCrowding, &make<QDeterministicCrowding, QNichingOperator>,
     "each child competes with the more similar parent"},
};

constexpr WordRow<Initialization> kInitializations[] = {
    {"random", Initialization::Random, "uniform random genes (bits set with probability Units ratio)"},
    {"unmixed", Initialization::Unmixed,
     "strings: every individual one symbol repeated, the population in blocks of one symbol each (never permutations)"},
};

constexpr WordRow<EncodingOrder> kEncodingOrders[] = {
    {"no order", EncodingOrder::None, "symbols in any order"},
    {"ascending", EncodingOrder::Ascending, "permutations kept in ascending order"},
    {"descending", EncodingOrder::Descending, "permutations kept in descending order"},
};

constexpr WordRow<int> kSizingDirections[] = {
    {"up", 1, "the steady sizer grows"},
    {"down", -1, "the steady sizer shrinks"},
    {"no", 0, "the steady sizer keeps its size"},
};

constexpr WordRow<GeneratorKind> kGenerators[] = {
    {"legacy", GeneratorKind::Legacy,
     "64-bit multiplicative congruential generator: one cycle of 2^30 draws shared by every seed"},
    {"pcg64", GeneratorKind::Pcg64, "128-bit permuted congruential generator: each seed its own independent stream"},
};

constexpr WordRow<Elitism> kElitisms[] = {
    {"mutated", Elitism::Mutated,
     "the elite are the best of the mating pool, and their copies are mutated with the rest of the offspring"},
    {"kept", Elitism::Kept,
     "the elite are the best of the evaluated population, and their copies pass to the next generation "
     "unchanged"},
};

// --- Keys ---

template <class Row>
auto valueOf(const Row& row) {
    if constexpr (requires { row.value; }) {
        return row.value;
    } else {
        return row.id;
    }
}

template <auto Field>
void applyInteger(QEAParameters& params, const std::string& value) {
    params.*Field = parseIntegerText(value);
}

template <auto Field>
void applyReal(QEAParameters& params, const std::string& value) {
    params.*Field = parseRealText(value);
}

template <auto Field>
void applyFlag(QEAParameters& params, const std::string& value) {
    if (value == "yes") params.*Field = true;
    if (value == "no") params.*Field = false;
}

template <auto Field, auto Table>
void applyWord(QEAParameters& params, const std::string& value) {
    for (const auto& row : Table()) {
        if (row.word == value) params.*Field = valueOf(row);
    }
}

void applyEncoding(QEAParameters& params, const std::string& value) {
    for (const EncodingRow& row : encodingRows()) {
        if (row.word != value) continue;
        params.encoding = row.id;
        if (row.permutation) params.permutation = true;
    }
}

void applySeed(QEAParameters& params, const std::string& value) {
    params.rngSeed = static_cast<std::uint32_t>(parseIntegerText(value));
    // Seed 0 asks for a different run every time: the calendar time seeds it.
    if (params.rngSeed == 0) params.rngSeed = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr)));
}

template <auto Field>
void applyText(QEAParameters& params, const std::string& value) {
    params.*Field = value;
}

template <auto Field>
std::string showText(const QEAParameters& params) {
    return params.*Field;
}

template <auto Field>
std::string showNumber(const QEAParameters& params) {
    std::ostringstream text;
    text << params.*Field;
    return text.str();
}

template <auto Field>
std::string showFlag(const QEAParameters& params) {
    return params.*Field ? "yes" : "no";
}

template <auto Field, auto Table>
std::string showWord(const QEAParameters& params) {
    for (const auto& row : Table()) {
        if (valueOf(row) == params.*Field) return std::string(row.word);
    }
    return "(none)";
}

std::string showEncoding(const QEAParameters& params) {
    for (const EncodingRow& row : encodingRows()) {
        if (row.id == params.encoding && row.permutation == params.permutation) return std::string(row.word);
    }
    // An encoding a problem sets (XOR sets the network's) leaves the permutation mark as it was;
    // where one word alone names the encoding, that is the one.
    const EncodingRow* only = nullptr;
    for (const EncodingRow& row : encodingRows()) {
        if (row.id != params.encoding) continue;
        if (only != nullptr) return "(none)";
        only = &row;
    }
    return only != nullptr ? std::string(only->word) : "(none)";
}

std::vector<std::string_view> noWords() { return {}; }

std::vector<std::string_view> flagWords() { return {"yes", "no"}; }

std::string_view noDescription(std::string_view /*word*/) { return {}; }

template <auto Table>
std::vector<std::string_view> tableWords() {
    return wordsOf(Table());
}

template <auto Table>
std::string_view describeWord(std::string_view word) {
    const auto* row = rowNamed(Table(), word);
    return row != nullptr ? row->description : std::string_view{};
}

template <auto Field>
constexpr KeyRow integerKey(std::string_view key, std::string_view description) {
    return {key, KeyKind::Integer, description, &applyInteger<Field>, &showNumber<Field>, &noWords, &noDescription};
}

template <auto Field>
constexpr KeyRow realKey(std::string_view key, std::string_view description) {
    return {key, KeyKind::Real, description, &applyReal<Field>, &showNumber<Field>, &noWords, &noDescription};
}

template <auto Field>
constexpr KeyRow flagKey(std::string_view key, std::string_view description) {
    return {key, KeyKind::Flag, description, &applyFlag<Field>, &showFlag<Field>, &flagWords, &noDescription};
}

template <auto Field>
constexpr KeyRow textKey(std::string_view key, std::string_view description) {
    return {key, KeyKind::Text, description, &applyText<Field>, &showText<Field>, &noWords, &noDescription};
}

template <auto Field, auto Table>
constexpr KeyRow wordKey(std::string_view key, std::string_view description) {
    return {key,          KeyKind::Word,           description,           &applyWord<Field, Table>,
            &showWord<Field, Table>, &tableWords<Table>, &describeWord<Table>};
}

using P = QEAParameters;

const KeyRow kKeys[] = {
    {"RNG seed", KeyKind::Seed, "seed of the random number generator (0: the calendar time)", &applySeed,
     &showNumber<&P::rngSeed>, &noWords, &noDescription},
    {"Encoding", KeyKind::Word, "how chromosomes are encoded", &applyEncoding, &showEncoding,
     &tableWords<&encodingRows>, &describeWord<&encodingRows>},
    wordKey<&P::encodingOrder, &encodingOrderRows>("Encoding order", "order kept by permutations"),
    integerKey<&P::chromosomeLength>("Chromosome length", "genes per chromosome"),
    integerKey<&P::arity>("Arity", "symbols of the string encoding's alphabet"),
    integerKey<&P::geneSize>("Gene size", "bits per gene of the integer encoding"),
    realKey<&P::geneOffset>("Gene offset", "added to an integer gene's scaled value"),
    realKey<&P::genePrecision>("Gene precision", "scale of an integer gene's value"),
    integerKey<&P::populationSize>("Population size", "individuals per generation"),
    wordKey<&P::initializationType, &initializationRows>("Initialization type", "how first genes are drawn"),
    realKey<&P::unitsRatio>("Units ratio", "probability that an initial bit is 1"),
    integerKey<&P::generationsNumber>("Generations number", "generations per run"),
    wordKey<&P::nichingType, &nichingRows>("Niching type", "niching method"),
    realKey<&P::sharingSigma>("Sharing sigma", "niche radius of fitness sharing"),
    wordKey<&P::selectionType, &selectionRows>("Selection type", "how the mating pool is chosen"),
    integerKey<&P::tournamentSize>("Tournament size", "contestants per tournament"),
    wordKey<&P::parentSelectorType, &parentSelectionRows>("Parents selection type", "how parents are drawn"),
    wordKey<&P::populationSizerType, &sizerRows>("Population sizer type", "how the population size changes"),
    integerKey<&P::minPopulationSize>("Min population size", "smallest population of the adaptive sizers"),
    integerKey<&P::maxPopulationSize>("Max population size", "largest population of the adaptive sizers"),
    integerKey<&P::sizingStep>("Sizing step", "change per generation of the steady sizer"),
    wordKey<&P::sizingDirection, &sizingDirectionRows>("Sizing direction", "direction of the steady sizer"),
    wordKey<&P::xType, &crossoverRows>("Crossover type", "crossover operator"),
    realKey<&P::xRate>("Crossover rate", "probability that a pair of parents is crossed"),
    realKey<&P::xAlpha>("xAlpha", "BLX's interval extension, SBX's distribution index (no other crossover reads it)"),
    wordKey<&P::mutationType, &mutationRows>("Mutation type", "mutation operator"),
    realKey<&P::mRate>("Mutation rate", "probability of mutation per gene or bit"),
    integerKey<&P::eliteCount>("Elite count",
                               "best individuals copied into the next generation: of the mating pool, or of the "
                               "evaluated population when Elitism is kept"),
    integerKey<&P::parentsNumber>("Parents number", "parents per pairing (2)"),
    integerKey<&P::childrenNumber>("Children number", "children per pairing (at least 2)"),
    flagKey<&P::removeClones>("Remove clones", "children equal to an earlier offspring are dropped"),
    realKey<&P::errorLevel>("Error level", "a fitness below it counts as a solution"),
    flagKey<&P::untilFirstHit>("Until first hit",
                               "SARN and SARN2 runs stop at the first solution (GA runs, and runs under "
                               "deterministic crowding, always go on)"),
    wordKey<&P::generator, &generatorRows>("Random generator", "the random number generator"),
    wordKey<&P::elitism, &elitismRows>("Elitism", "whether mutation reaches the elite copies"),
    integerKey<&P::evaluationsBudget>("Evaluations budget",
                                      "a run ends after the generation that reaches this many evaluations (0: none)"),
    textKey<&P::problemLibrary>("Problem library",
                                "a problem plugin's shared library (relative to the configuration's folder); the "
                                "problem element names its word"),
    textKey<&P::evaluatorCommand>("Evaluator command",
                                  "the program that evaluates the Command problem, run by /bin/sh in the "
                                  "configuration's folder"),
    realKey<&P::evaluatorTimeout>("Evaluator timeout",
                                  "seconds the evaluator command may take to answer before the experiment ends"),
};

}  // namespace

std::span<const AlgorithmRow> algorithmRows() { return kAlgorithms; }
std::span<const ProblemRow> problemRows() { return kProblems; }
std::span<const EncodingRow> encodingRows() { return kEncodings; }
std::span<const CrossoverRow> crossoverRows() { return kCrossovers; }
std::span<const MutationRow> mutationRows() { return kMutations; }
std::span<const SelectionRow> selectionRows() { return kSelections; }
std::span<const ParentSelectionRow> parentSelectionRows() { return kParentSelections; }
std::span<const SizerRow> sizerRows() { return kSizers; }
std::span<const NichingRow> nichingRows() { return kNichings; }
std::span<const WordRow<Initialization>> initializationRows() { return kInitializations; }
std::span<const WordRow<EncodingOrder>> encodingOrderRows() { return kEncodingOrders; }
std::span<const WordRow<int>> sizingDirectionRows() { return kSizingDirections; }
std::span<const WordRow<GeneratorKind>> generatorRows() { return kGenerators; }
std::span<const WordRow<Elitism>> elitismRows() { return kElitisms; }
std::span<const KeyRow> keyRows() { return kKeys; }

namespace {

template <class Row>
std::string runsInsteadOf(const Row& row, Encoding encoding, std::string_view kind) {
    const auto* entry = entryFor(row, encoding);
    if (entry == nullptr || entry->runsAs.empty()) return {};
    return "runs the " + std::string(entry->runsAs) + " " + std::string(kind) + " (" + std::string(entry->because) +
           ")";
}

}  // namespace

std::string runsInstead(const CrossoverRow& row, Encoding encoding) {
    return runsInsteadOf(row, encoding, "crossover");
}

std::string runsInstead(const MutationRow& row, Encoding encoding) { return runsInsteadOf(row, encoding, "mutation"); }

const KeyRow* findKey(std::string_view key) {
    for (const KeyRow& row : kKeys) {
        if (row.key == key) return &row;
    }
    return nullptr;
}

}  // namespace Valdrin
