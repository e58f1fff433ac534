// Inner operations measured one by one with Google Benchmark: the bit-flip mutation, every
// crossover, the copy of an individual, decoding and evaluation. Each reports genes per second
// (bit positions for the bit-flip), so operations on chromosomes of different lengths compare.
#include <benchmark/benchmark.h>

#include <iostream>
#include <memory>
#include <streambuf>

#include "core/parameters.h"
#include "core/engine.h"
#include "core/random.h"
#include "operators/crossovers.h"
#include "operators/mutations.h"
#include "problems/benchmarks.h"
#include "representation/integer.h"
#include "representation/real.h"
#include "representation/string.h"

namespace Valdrin {
namespace {

// The benchmarks' engine: text to standard output and error, files in the working folder.
Engine& benchEngine() {
    static Engine engine;
    return engine;
}

// Seeds the engine's generator anew, without its announcement.
void quietSeed(unsigned seed) {
    std::ostream nowhere(nullptr);
    benchEngine().random.restore(0, false);
    benchEngine().random.seed(seed, nowhere);
}

Random& random() { return benchEngine().random; }

QEAParameters bitRecord(int length, int geneSize, double mRate) {
    QEAParameters params;
    params.encoding = Encoding::Integer;
    params.chromosomeLength = length;
    params.geneSize = geneSize;
    params.mRate = mRate;
    params.geneOffset = -5.12;
    params.genePrecision = 0.01;
    return params;
}

QEAParameters realRecord(int length) {
    QEAParameters params;
    params.encoding = Encoding::Real;
    params.chromosomeLength = length;
    params.xAlpha = 2.0;
    params.mRate = 0.033;
    return params;
}

QEAParameters symbolRecord(int length, bool permutation) {
    QEAParameters params;
    params.encoding = Encoding::String;
    params.chromosomeLength = length;
    params.arity = permutation ? length + 1 : 4;
    params.permutation = permutation;
    return params;
}

// Individuals bound to the record with random genes (every code within geneSize bits).
template <class Individual>
std::unique_ptr<Individual> randomIndividual(const QEAParameters& params) {
    auto individual = std::make_unique<Individual>();
    individual->setParameters(&params);
    for (auto& gene : individual->genes) {
        if constexpr (std::is_same_v<Individual, QIntegerIndividual>) {
            gene = random().uniformInt(1 << std::min(params.geneSize, 30));
        } else if constexpr (std::is_same_v<Individual, QRCIndividual>) {
            gene = random().uniform() * 10.24 - 5.12;
        } else {
            gene = random().uniformInt(params.arity);
        }
    }
    return individual;
}

// A permutation of 0 .. length - 1 shuffled by the generator.
std::unique_ptr<QStringIndividual> permutationIndividual(const QEAParameters& params) {
    auto individual = std::make_unique<QStringIndividual>();
    individual->setParameters(&params);
    for (int i = 0; i < params.chromosomeLength; ++i) individual->genes[static_cast<std::size_t>(i)] = i;
    for (int i = params.chromosomeLength - 1; i > 0; --i) {
        std::swap(individual->genes[static_cast<std::size_t>(i)],
                  individual->genes[static_cast<std::size_t>(random().uniformInt(i + 1))]);
    }
    return individual;
}

void countGenes(benchmark::State& state, std::int64_t perIteration) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * perIteration);
}

// --- mutation ---

template <class Mutation, class Individual>
void mutateWith(benchmark::State& state, const QEAParameters& params, std::int64_t itemsPerCall) {
    quietSeed(1);
    auto individual = randomIndividual<Individual>(params);
    Mutation mutation;
    mutation.setParameters(params);
    mutation.useEngine(benchEngine());
    for (auto _ : state) {
        mutation.mutate(*individual);
        benchmark::ClobberMemory();
    }
    countGenes(state, itemsPerCall);
}

void BitFlip(benchmark::State& state) {
    mutateWith<QIntegerMutationBitFlip, QIntegerIndividual>(
        state, bitRecord(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), 0.01),
        state.range(0) * state.range(1));
}
BENCHMARK(BitFlip)->ArgNames({"genes", "bits"})->Args({1000, 1})->Args({10, 10})->Args({100, 10})->Args({10000, 1});

void GaussianMutation(benchmark::State& state) {
    mutateWith<QRCMutationGauss, QRCIndividual>(state, realRecord(static_cast<int>(state.range(0))), state.range(0));
}
BENCHMARK(GaussianMutation)->ArgName("genes")->Arg(30)->Arg(1000);

// --- crossovers ---

template <class Crossover, class Individual>
void crossWith(benchmark::State& state, const QEAParameters& params, bool permutation = false) {
    quietSeed(2);
    std::unique_ptr<Individual> p0;
    std::unique_ptr<Individual> p1;
    if constexpr (std::is_same_v<Individual, QStringIndividual>) {
        p0 = permutation ? permutationIndividual(params) : randomIndividual<Individual>(params);
        p1 = permutation ? permutationIndividual(params) : randomIndividual<Individual>(params);
    } else {
        p0 = randomIndividual<Individual>(params);
        p1 = randomIndividual<Individual>(params);
    }
    auto c0 = randomIndividual<Individual>(params);
    auto c1 = randomIndividual<Individual>(params);
    Crossover crossover;
    crossover.setParameters(params);
    crossover.useEngine(benchEngine());
    const ParentPair parents{p0.get(), p1.get()};
    const ChildPair children{c0.get(), c1.get()};
    for (auto _ : state) {
        crossover.cross(parents, children);
        benchmark::ClobberMemory();
    }
    countGenes(state, params.chromosomeLength);
}

void IntegerOnePoint(benchmark::State& state) { crossWith<QIntegerCrossover1, QIntegerIndividual>(state, bitRecord(1000, 1, 0)); }
void IntegerTwoPoint(benchmark::State& state) { crossWith<QIntegerCrossover2, QIntegerIndividual>(state, bitRecord(1000, 1, 0)); }
void IntegerPGX1(benchmark::State& state) { crossWith<QIntegerCrossoverPGX1, QIntegerIndividual>(state, bitRecord(100, 10, 0)); }
void IntegerPGX2(benchmark::State& state) { crossWith<QIntegerCrossoverPGX2, QIntegerIndividual>(state, bitRecord(100, 10, 0)); }
void RealArithmetic(benchmark::State& state) { crossWith<QRCCrossoverArithmetic, QRCIndividual>(state, realRecord(30)); }
void RealSBX(benchmark::State& state) { crossWith<QRCCrossoverSBX, QRCIndividual>(state, realRecord(30)); }
void RealBLX(benchmark::State& state) { crossWith<QRCCrossoverBLX, QRCIndividual>(state, realRecord(30)); }
void SymbolOnePoint(benchmark::State& state) { crossWith<QStringCrossover1, QStringIndividual>(state, symbolRecord(100, false)); }
void SymbolTwoPoint(benchmark::State& state) { crossWith<QStringCrossover2, QStringIndividual>(state, symbolRecord(100, false)); }
void SymbolUniform(benchmark::State& state) { crossWith<QStringCrossoverUniform, QStringIndividual>(state, symbolRecord(100, false)); }
void PermutationOrder(benchmark::State& state) {
    crossWith<QStringCrossoverOrder, QStringIndividual>(state, symbolRecord(30, true), true);
}
BENCHMARK(IntegerOnePoint);
BENCHMARK(IntegerTwoPoint);
BENCHMARK(IntegerPGX1);
BENCHMARK(IntegerPGX2);
BENCHMARK(RealArithmetic);
BENCHMARK(RealSBX);
BENCHMARK(RealBLX);
BENCHMARK(SymbolOnePoint);
BENCHMARK(SymbolTwoPoint);
BENCHMARK(SymbolUniform);
BENCHMARK(PermutationOrder);

// --- copy and decoding ---

void CopyBitString(benchmark::State& state) {
    const QEAParameters params = bitRecord(static_cast<int>(state.range(0)), 1, 0);
    quietSeed(3);
    auto source = randomIndividual<QIntegerIndividual>(params);
    auto target = randomIndividual<QIntegerIndividual>(params);
    for (auto _ : state) {
        target->copy(*source);
        benchmark::ClobberMemory();
    }
    countGenes(state, state.range(0));
}
BENCHMARK(CopyBitString)->ArgName("genes")->Arg(10)->Arg(1000);

template <class Value>
void decodeWith(benchmark::State& state, const QEAParameters& params) {
    quietSeed(4);
    auto individual = randomIndividual<QIntegerIndividual>(params);
    std::vector<Value> decoded;
    for (auto _ : state) {
        individual->decode(decoded);
        benchmark::DoNotOptimize(decoded.data());
    }
    countGenes(state, params.chromosomeLength);
}

void DecodeToReals(benchmark::State& state) { decodeWith<double>(state, bitRecord(100, 10, 0)); }
BENCHMARK(DecodeToReals);

void DecodeToIntegers(benchmark::State& state) {
    QEAParameters params = bitRecord(1000, 1, 0);
    params.geneOffset = 0.0;
    params.genePrecision = 1.0;
    decodeWith<int>(state, params);
}
BENCHMARK(DecodeToIntegers);

// --- evaluation ---

template <class Problem, class Individual>
void evaluateWith(benchmark::State& state, QEAParameters params) {
    Problem problem(benchEngine());
    problem.adjustParameters(&params);
    problem.setParameters(&params);
    quietSeed(5);
    auto individual = randomIndividual<Individual>(params);
    for (auto _ : state) {
        problem.evaluateIndividual(*individual);
        benchmark::DoNotOptimize(individual->fitness);
    }
    countGenes(state, params.chromosomeLength);
}

void EvaluateOneMax(benchmark::State& state) { evaluateWith<QOneMaxProblem, QIntegerIndividual>(state, bitRecord(1000, 1, 0)); }
void EvaluateSphereBits(benchmark::State& state) { evaluateWith<QSphereFunction, QIntegerIndividual>(state, bitRecord(10, 10, 0)); }
void EvaluateRastrigin(benchmark::State& state) { evaluateWith<QRastriginFunction, QRCIndividual>(state, realRecord(30)); }
BENCHMARK(EvaluateOneMax);
BENCHMARK(EvaluateSphereBits);
BENCHMARK(EvaluateRastrigin);

}  // namespace
}  // namespace Valdrin

BENCHMARK_MAIN();
