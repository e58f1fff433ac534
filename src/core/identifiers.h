// The typed identifiers of every choice an experiment makes: encodings, operators, niching,
// sizers, algorithms and problems. Each value carries the number the reports print for it
// (the parameter dump's "... ID" lines and the messages that name an encoding); no other code
// writes these numbers. The configuration words, descriptions and makers of each identifier
// are its row in the registry (src/registry/registry.h).
#pragma once

#include <type_traits>

namespace Valdrin {

enum class Encoding : int { Unspecified = 0, String = 1, Integer = 2, Real = 3, Network = 5 };

enum class EncodingOrder : int { None = 0, Ascending = 1, Descending = 2 };

enum class Initialization : int { Random = 1, Unmixed = 2 };

enum class Niching : int { None = 0, Sharing = 1, DeterministicCrowding = 2 };

enum class Selection : int { Unspecified = 0, Neutral = 1, Tournament = 2 };

enum class ParentSelection : int { Unspecified = 0, Random = 1 };

enum class Sizer : int { Constant = 1, Simple = 2, SimpleFibonacci = 3, Steady = 4 };

enum class Crossover : int {
    OnePoint = 1,
    TwoPoint = 2,
    Uniform = 3,
    OnePointPGX = 4,
    TwoPointPGX = 5,
    BLX = 6,
    SBX = 7,
    Arithmetic = 8,
    Order = 9,
};

enum class Mutation : int { BitFlip = 1, RandomFlip = 2, Gaussian = 3, NetworkBasic = 4 };

// The experiment's random number generator.
enum class GeneratorKind : int { Legacy = 0, Pcg64 = 1 };

// What mutation does to the elite copies a generation carries over.
enum class Elitism : int { Mutated = 0, Kept = 1 };

enum class AlgorithmKind : int { GA, SARN, SARN2 };

enum class ProblemKind : int {
    Sphere,
    Rastrigin,
    Schwefel,
    Rosenbrock,
    Deceptive,
    MixingTime,
    OneMax,
    Pointless,
    Submatrix,
    XOR,
    DoubleSine,
    Plugin,   // a problem from a library (Problem library)
    Command,  // a problem evaluated by a program (Evaluator command)
};

// The number a report prints for an identifier.
template <class Identifier>
constexpr int number(Identifier id) {
    static_assert(std::is_enum_v<Identifier>);
    return static_cast<int>(id);
}

}  // namespace Valdrin
