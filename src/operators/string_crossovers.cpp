// Symbol-string crossovers: 1-point, 2-point, uniform, and the order crossover that keeps
// permutations whole.
#include <algorithm>
#include <cassert>
#include <ostream>
#include <functional>
#include <string>
#include <utility>

#include "core/failure.h"
#include "core/random.h"
#include "operators/crossovers.h"
#include "representation/string.h"

namespace Valdrin {

namespace {

struct Pair {
    const QStringIndividual& p0;
    const QStringIndividual& p1;
    QStringIndividual& c0;
    QStringIndividual& c1;

    void straight(int i) {
        const auto k = static_cast<std::size_t>(i);
        c0.genes[k] = p0.genes[k];
        c1.genes[k] = p1.genes[k];
    }
    void exchanged(int i) {
        const auto k = static_cast<std::size_t>(i);
        c0.genes[k] = p1.genes[k];
        c1.genes[k] = p0.genes[k];
    }
};

// The parents and children of one call, reached once as string individuals (the caller has
// checked that each holds the genes the crossover visits).
Pair reach(const ParentPair& parents, const ChildPair& children) {
    assert(parents[0]->getEncoding() == Encoding::String && children[0]->getEncoding() == Encoding::String);
    return Pair{static_cast<const QStringIndividual&>(*parents[0]), static_cast<const QStringIndividual&>(*parents[1]),
                static_cast<QStringIndividual&>(*children[0]), static_cast<QStringIndividual&>(*children[1])};
}

}  // namespace

// --- 1-point ---

int QStringCrossover1::cross(const ParentPair& parents, const ChildPair& children) {
    const int L = _params->chromosomeLength;
    requireGenes("QStringCrossover1::cross", parents, children, L);
    Pair x = reach(parents, children);
    const int t = random().uniformInt(L - 1) + 1;
    for (int j = 0; j < L; ++j) {
        if (j < t) x.straight(j);
        else x.exchanged(j);
    }
    return 1;
}

std::unique_ptr<QCrossoverOperator> QStringCrossover1::clone() const {
    return std::make_unique<QStringCrossover1>(*this);
}

// --- 2-point ---

int QStringCrossover2::setParameters(const QEAParameters& params) {
    QStringCrossover::setParameters(params);
    requireCuts("QStringCrossover2::setParameters", params.chromosomeLength, "chromosomeLength");
    return 1;
}

int QStringCrossover2::cross(const ParentPair& parents, const ChildPair& children) {
    const int L = _params->chromosomeLength;
    requireCuts("QStringCrossover2::cross", L, "chromosomeLength");
    requireGenes("QStringCrossover2::cross", parents, children, L);
    Pair x = reach(parents, children);
    int first = random().uniformInt(L);
    int second = random().uniformInt(L);
    while (second == first) second = random().uniformInt(L);
    if (first > second) std::swap(first, second);
    for (int j = 0; j < L; ++j) {
        if (j >= first && j < second) x.exchanged(j);
        else x.straight(j);
    }
    return 1;
}

std::unique_ptr<QCrossoverOperator> QStringCrossover2::clone() const {
    return std::make_unique<QStringCrossover2>(*this);
}

// --- uniform ---

int QStringCrossoverUniform::cross(const ParentPair& parents, const ChildPair& children) {
    const int L = _params->chromosomeLength;
    requireGenes("QStringCrossoverUniform::cross", parents, children, L);
    Pair x = reach(parents, children);
    Random& random = this->random();
    for (int j = 0; j < L; ++j) {
        if (random.coinFlip()) x.straight(j);
        else x.exchanged(j);
    }
    return 1;
}

std::unique_ptr<QCrossoverOperator> QStringCrossoverUniform::clone() const {
    return std::make_unique<QStringCrossoverUniform>(*this);
}

// --- order ---

int QStringCrossoverOrder::cross(const ParentPair& parents, const ChildPair& children) {
    const int L = _params->chromosomeLength;
    const std::size_t wanted = L > 0 ? static_cast<std::size_t>(L) : 0;
    const char* where = "QStringCrossoverOrder::cross";
    const auto& p0 = static_cast<const QStringIndividual&>(*parents[0]);
    const auto& p1 = static_cast<const QStringIndividual&>(*parents[1]);
    requireGenes(where, p0.getGenesNumber(), L);

    // Both children take their head from p0 and the rest, in p1's order, from p1.
    for (QIndividual* target : children) {
        auto& child = static_cast<QStringIndividual&>(*target);
        requireGenes(where, child.getGenesNumber(), L);
        const int head = random().uniformInt(L);
        list_.clear();
        for (int j = 0; j < head; ++j) list_.push_back(p0.genes[static_cast<std::size_t>(j)]);
        for (const QStringGene::Value symbol : p1.genes) {
            if (list_.size() >= wanted) break;
            if (std::find(list_.begin(), list_.end(), symbol) == list_.end()) list_.push_back(symbol);
        }
        if (_params->encodingOrder == EncodingOrder::Ascending) std::sort(list_.begin(), list_.end());
        else if (_params->encodingOrder == EncodingOrder::Descending) std::sort(list_.begin(), list_.end(), std::greater<int>());
        if (list_.size() != wanted) {
            engine().out() << "eh? " << list_.size() << "\n";
            engine().out().flush();
            fail("\n\n[QStringCrossoverOrder::cross] error:\n"
                  "\tThe parents are not permutations of the same symbols: the child got " +
                  std::to_string(list_.size()) + " of " + std::to_string(L) + " symbols\n\n");
        }
        std::copy(list_.begin(), list_.end(), child.genes.begin());
    }
    return 1;
}

std::unique_ptr<QCrossoverOperator> QStringCrossoverOrder::clone() const {
    return std::make_unique<QStringCrossoverOrder>(*this);
}

}  // namespace Valdrin
