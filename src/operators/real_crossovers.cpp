// Real-coded crossovers: arithmetic, simulated binary (SBX) and blend (BLX-alpha).
#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <string>

#include "core/failure.h"
#include "core/random.h"
#include "operators/crossovers.h"
#include "representation/real.h"

namespace Valdrin {

namespace {

struct Pair {
    const std::vector<double>& p0;
    const std::vector<double>& p1;
    std::vector<double>& c0;
    std::vector<double>& c1;
};

// The genes of one call's parents and children, reached once (the caller has checked that each
// chromosome holds the genes the crossover visits).
Pair reach(const ParentPair& parents, const ChildPair& children) {
    assert(parents[0]->getEncoding() == Encoding::Real && children[0]->getEncoding() == Encoding::Real);
    return Pair{static_cast<const QRCIndividual&>(*parents[0]).genes,
                static_cast<const QRCIndividual&>(*parents[1]).genes,
                static_cast<QRCIndividual&>(*children[0]).genes, static_cast<QRCIndividual&>(*children[1]).genes};
}

}  // namespace

int QRCCrossover::setParameters(const QEAParameters& params) {
    QCrossoverOperator::setParameters(params);
    alpha = params.xAlpha;
    return 1;
}

// --- arithmetic ---

int QRCCrossoverArithmetic::cross(const ParentPair& parents, const ChildPair& children) {
    const int n = parents[0]->getGenesNumber();
    requireGenes("QRCCrossoverArithmetic::cross", parents, children, n);
    Pair x = reach(parents, children);
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
        const double d = random().uniform();
        const double x0 = x.p0[i];
        const double x1 = x.p1[i];
        x.c0[i] = d * x0 + (1 - d) * x1;
        x.c1[i] = d * x1 + (1 - d) * x0;
    }
    return 1;
}

std::unique_ptr<QCrossoverOperator> QRCCrossoverArithmetic::clone() const {
    return std::make_unique<QRCCrossoverArithmetic>(*this);
}

// --- SBX ---

int QRCCrossoverSBX::setParameters(const QEAParameters& params) {
    QRCCrossover::setParameters(params);
    if (alpha == -1.0) {
        fail("\n\n[QRCCrossoverSBX::setParameters] error:\n"
              "\tThe distribution index xAlpha must not be -1 (its exponent 1/(xAlpha + 1) does not exist)\n\n");
    }
    return 1;
}

int QRCCrossoverSBX::cross(const ParentPair& parents, const ChildPair& children) {
    const int L = _params->chromosomeLength;
    requireGenes("QRCCrossoverSBX::cross", parents, children, L);
    Pair x = reach(parents, children);
    // A draw of 1 (or the one just above it) would divide by zero: it counts as the largest
    // value below 1.
    constexpr double belowOne = 1.0 - std::numeric_limits<double>::epsilon() / 2;
    const double exponent = 1 / (alpha + 1);
    for (std::size_t i = 0; i < static_cast<std::size_t>(std::max(L, 0)); ++i) {
        double u = random().uniform();
        if (u >= 1.0) u = belowOne;
        const double beta = u <= 0.5 ? std::pow(2 * u, exponent) : std::pow(1 / (2 * (1 - u)), exponent);
        const double x0 = x.p0[i];
        const double x1 = x.p1[i];
        x.c0[i] = 0.5 * ((1 - beta) * x0 + (1 + beta) * x1);
        x.c1[i] = 0.5 * ((1 + beta) * x0 + (1 - beta) * x1);
    }
    return 1;
}

std::unique_ptr<QCrossoverOperator> QRCCrossoverSBX::clone() const {
    return std::make_unique<QRCCrossoverSBX>(*this);
}

// --- BLX-alpha ---

int QRCCrossoverBLX::cross(const ParentPair& parents, const ChildPair& children) {
    const int n = parents[0]->getGenesNumber();
    requireGenes("QRCCrossoverBLX::cross", parents, children, n);
    Pair x = reach(parents, children);
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
        const double lo = std::min(x.p0[i], x.p1[i]);
        const double hi = std::max(x.p0[i], x.p1[i]);
        const double e = alpha * (hi - lo);
        const double w = (hi + e) - (lo - e);
        const double u1 = random().uniform();
        const double u2 = random().uniform();
        x.c0[i] = (lo - e) + u1 * w;
        x.c1[i] = (lo - e) + u2 * w;
    }
    return 1;
}

std::unique_ptr<QCrossoverOperator> QRCCrossoverBLX::clone() const {
    return std::make_unique<QRCCrossoverBLX>(*this);
}

}  // namespace Valdrin
