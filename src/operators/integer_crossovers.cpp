// Bit-string crossovers: 1-point and 2-point over the whole chromosome, and 1-point and
// 2-point cuts inside every gene (PGX).
#include <cassert>
#include <cstdint>
#include <string>
#include <utility>

#include "core/failure.h"
#include "core/random.h"
#include "operators/crossovers.h"
#include "representation/integer.h"

namespace Valdrin {

namespace {

using Bits = std::uint32_t;

// The low k bits; genes are 32-bit codes, so k is kept within 0 .. 32.
inline Bits lowBits(int k) {
    if (k <= 0) return 0U;
    if (k >= 32) return ~Bits{0};
    return (Bits{1} << k) - 1U;
}

inline Bits bitsOf(const QIntegerIndividual& x, int i) {
    return static_cast<Bits>(x.genes[static_cast<std::size_t>(i)]);
}

inline void store(QIntegerIndividual& x, int i, Bits v) {
    x.genes[static_cast<std::size_t>(i)] = static_cast<QIntegerGene::Value>(v);
}

struct Pair {
    const QIntegerIndividual& p0;
    const QIntegerIndividual& p1;
    QIntegerIndividual& c0;
    QIntegerIndividual& c1;

    void straight(int i) {
        store(c0, i, bitsOf(p0, i));
        store(c1, i, bitsOf(p1, i));
    }
    void exchanged(int i) {
        store(c0, i, bitsOf(p1, i));
        store(c1, i, bitsOf(p0, i));
    }
    // Child 0 takes p0's bits under own and p1's under other; child 1 the reverse.
    void blend(int i, Bits own, Bits other) {
        const Bits a = bitsOf(p0, i);
        const Bits b = bitsOf(p1, i);
        store(c0, i, (a & own) | (b & other));
        store(c1, i, (b & own) | (a & other));
    }
};

// The parents and children of one call, reached once as bit-string individuals (the caller
// has checked that each holds the genes the crossover visits).
Pair reach(const ParentPair& parents, const ChildPair& children) {
    assert(parents[0]->getEncoding() == Encoding::Integer && children[0]->getEncoding() == Encoding::Integer);
    return Pair{static_cast<const QIntegerIndividual&>(*parents[0]), static_cast<const QIntegerIndividual&>(*parents[1]),
                static_cast<QIntegerIndividual&>(*children[0]), static_cast<QIntegerIndividual&>(*children[1])};
}

// Bit positions of the whole chromosome (geneSize * chromosomeLength), 0 when either is not positive.
long long bitPositions(const QEAParameters& params) {
    if (params.geneSize <= 0 || params.chromosomeLength <= 0) return 0;
    return static_cast<long long>(params.geneSize) * params.chromosomeLength;
}

// trunc(u * n) kept below n, as uniformInt draws it, for chromosomes whose bit count does not
// fit an int.
long long positionBelow(Random& random, long long n) {
    const auto k = static_cast<long long>(random.uniform() * static_cast<double>(n));
    return (k >= n && n > 0) ? n - 1 : k;
}

}  // namespace

// --- 1-point ---

int QIntegerCrossover1::setParameters(const QEAParameters& params) {
    QIntegerCrossover::setParameters(params);
    requireCuts("QIntegerCrossover1::setParameters", bitPositions(params), "geneSize * chromosomeLength");
    return 1;
}

int QIntegerCrossover1::cross(const ParentPair& parents, const ChildPair& children) {
    const int G = _params->geneSize;
    const int L = _params->chromosomeLength;
    requireGenes("QIntegerCrossover1::cross", parents, children, L);
    Pair x = reach(parents, children);
    requireCuts("QIntegerCrossover1::cross", bitPositions(*_params), "geneSize * chromosomeLength");
    const Bits M = lowBits(G);

    const long long t = positionBelow(random(), bitPositions(*_params) - 1) + 1;
    const int k = static_cast<int>(t / G);
    const int e = static_cast<int>(t % G);
    for (int i = 0; i < k; ++i) x.straight(i);
    // The e low bits of gene k come from the other parent.
    x.blend(k, M ^ lowBits(e), lowBits(e));
    for (int i = k + 1; i < L; ++i) x.exchanged(i);
    return 1;
}

std::unique_ptr<QCrossoverOperator> QIntegerCrossover1::clone() const {
    return std::make_unique<QIntegerCrossover1>(*this);
}

// --- 2-point ---

int QIntegerCrossover2::setParameters(const QEAParameters& params) {
    QIntegerCrossover::setParameters(params);
    requireCuts("QIntegerCrossover2::setParameters", bitPositions(params), "geneSize * chromosomeLength");
    return 1;
}

int QIntegerCrossover2::cross(const ParentPair& parents, const ChildPair& children) {
    const int G = _params->geneSize;
    const int L = _params->chromosomeLength;
    requireGenes("QIntegerCrossover2::cross", parents, children, L);
    Pair x = reach(parents, children);
    requireCuts("QIntegerCrossover2::cross", bitPositions(*_params), "geneSize * chromosomeLength");
    const Bits M = lowBits(G);

    const long long positions = bitPositions(*_params);
    long long f = positionBelow(random(), positions);
    long long a = positionBelow(random(), positions);
    while (a == f) a = positionBelow(random(), positions);
    if (f > a) std::swap(f, a);

    // Bit k of gene i is position i*G + k; the bits f .. a-1 are exchanged.
    const int i = static_cast<int>(f / G);
    for (int g = 0; g < i; ++g) x.straight(g);
    const int fIn = static_cast<int>(f % G);
    const long long aIn = a - static_cast<long long>(i) * G;
    int next = i + 1;
    if (aIn < G) {
        const Bits mid = lowBits(static_cast<int>(aIn)) ^ lowBits(fIn);
        x.blend(i, M ^ mid, mid);
    } else {
        x.blend(i, lowBits(fIn), M ^ lowBits(fIn));
        const int j = static_cast<int>(a / G);
        for (int g = i + 1; g < j; ++g) x.exchanged(g);
        const int aLast = static_cast<int>(a % G);
        x.blend(j, M ^ lowBits(aLast), lowBits(aLast));
        next = j + 1;
    }
    for (int g = next; g < L; ++g) x.straight(g);
    return 1;
}

std::unique_ptr<QCrossoverOperator> QIntegerCrossover2::clone() const {
    return std::make_unique<QIntegerCrossover2>(*this);
}

// --- 1-point inside every gene ---

int QIntegerCrossoverPGX1::cross(const ParentPair& parents, const ChildPair& children) {
    const int G = _params->geneSize;
    const int L = _params->chromosomeLength;
    requireGenes("QIntegerCrossoverPGX1::cross", parents, children, L);
    Pair x = reach(parents, children);
    const Bits M = lowBits(G);
    for (int i = 0; i < L; ++i) {
        const Bits low = lowBits(random().uniformInt(G));
        x.blend(i, M ^ low, low);
    }
    return 1;
}

std::unique_ptr<QCrossoverOperator> QIntegerCrossoverPGX1::clone() const {
    return std::make_unique<QIntegerCrossoverPGX1>(*this);
}

// --- 2-point inside every gene ---

int QIntegerCrossoverPGX2::setParameters(const QEAParameters& params) {
    QIntegerCrossover::setParameters(params);
    requireCuts("QIntegerCrossoverPGX2::setParameters", params.geneSize, "geneSize");
    return 1;
}

int QIntegerCrossoverPGX2::cross(const ParentPair& parents, const ChildPair& children) {
    const int G = _params->geneSize;
    const int L = _params->chromosomeLength;
    requireGenes("QIntegerCrossoverPGX2::cross", parents, children, L);
    Pair x = reach(parents, children);
    requireCuts("QIntegerCrossoverPGX2::cross", _params->geneSize, "geneSize");
    const Bits M = lowBits(G);
    for (int i = 0; i < L; ++i) {
        const int first = random().uniformInt(G);
        int second = random().uniformInt(G);
        while (second == first) second = random().uniformInt(G);
        const Bits mid = lowBits(first) ^ lowBits(second);
        x.blend(i, M ^ mid, mid);
    }
    return 1;
}

std::unique_ptr<QCrossoverOperator> QIntegerCrossoverPGX2::clone() const {
    return std::make_unique<QIntegerCrossoverPGX2>(*this);
}

}  // namespace Valdrin
