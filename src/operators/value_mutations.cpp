// Mutations of the value encodings: bit-flip (bit strings), random flip (symbol strings and
// permutations) and gaussian (real-coded genes, and integer genes read as reals).
#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdint>
#include <string>

#include "core/failure.h"
#include "core/random.h"
#include "operators/mutations.h"
#include "representation/integer.h"
#include "representation/real.h"
#include "representation/string.h"

namespace Valdrin {

namespace {

// Truncation toward zero that saturates instead of overflowing; not-a-number gives 0.
int truncateToInt(double x) {
    if (!(x == x)) return 0;
    if (x >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (x <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(x);
}

}  // namespace

// --- bit-flip ---

int QIntegerMutationBitFlip::mutate(QIndividual& individual) {
    assert(individual.getEncoding() == Encoding::Integer);
    auto& target = static_cast<QIntegerIndividual&>(individual);
    const int L = _params->chromosomeLength;
    const int G = _params->geneSize;
    const RateTest& mutates = rateTest_(_params->mRate);
    const int genes = std::min(L, target.getGenesNumber());
    QIntegerGene::Value* const code = target.genes.data();
    if (G == 1) {
        mutates.drawMany(random(), genes, [code](std::int64_t i) { code[i] ^= 1; });
    } else if (G > 0) {
        // Bit k of gene i takes draw i * G + k; bits beyond the 32-bit code still take their draw.
        mutates.drawMany(random(), static_cast<std::int64_t>(genes) * G, [code, G](std::int64_t j) {
            const std::int64_t k = j % G;
            if (k < 32) code[j / G] ^= static_cast<QIntegerGene::Value>(std::uint32_t{1} << k);
        });
    }
    // A chromosome shorter than the record ends the run with the individual's index message.
    if (L > genes) target.setGeneValue(genes, 0);
    return 1;
}

std::unique_ptr<QMutationOperator> QIntegerMutationBitFlip::clone() const {
    return std::make_unique<QIntegerMutationBitFlip>(*this);
}

// --- random flip ---

int QStringMutationRandomFlip::setParameters(const QEAParameters& params) {
    _params = &params;
    // Every symbol of a full permutation is taken, so the drawing of a new one could not end.
    if (params.permutation && params.mRate > 0 && params.arity <= params.chromosomeLength) {
        fail("\n\n[QStringMutationRandomFlip::setParameters] error:\n"
              "\tA permutation mutation needs more symbols than genes (arity = " +
              std::to_string(params.arity) + ", chromosomeLength = " + std::to_string(params.chromosomeLength) +
              ")\n\n");
    }
    return 1;
}

int QStringMutationRandomFlip::mutate(QIndividual& individual) {
    assert(individual.getEncoding() == Encoding::String);
    auto& genes = static_cast<QStringIndividual&>(individual).genes;
    const double rate = _params->mRate;
    const int arity = _params->arity;
    const RateTest& mutates = rateTest_(rate);
    Random& random = this->random();

    if (!_params->permutation) {
        for (QStringGene::Value& gene : genes) {
            if (mutates(random)) gene = random.uniformInt(arity);
        }
        return 1;
    }

    const EncodingOrder order = _params->encodingOrder;
    symbols_.assign(genes.begin(), genes.end());
    const auto taken = [this](int s) { return std::find(symbols_.begin(), symbols_.end(), s) != symbols_.end(); };
    const std::size_t n = symbols_.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (!mutates(random)) continue;
        // Fewer genes than symbols always leave one free; otherwise make sure before drawing.
        if (static_cast<long long>(n) >= arity) {
            int free = 0;
            while (free < arity && taken(free)) ++free;
            if (free >= arity) {
                fail("\n\n[QStringMutationRandomFlip::operate] error:\n"
                      "\tNo free symbol left for a permutation of " + std::to_string(n) +
                      " genes (arity = " + std::to_string(arity) + ")\n\n");
            }
        }
        int s = random.uniformInt(arity);
        while (taken(s)) s = random.uniformInt(arity);
        if (order == EncodingOrder::None) {
            symbols_[i] = s;
            continue;
        }
        // The list stays sorted, so the new symbol may land elsewhere than at position i.
        symbols_.erase(symbols_.begin() + static_cast<std::ptrdiff_t>(i));
        const auto place = order == EncodingOrder::Ascending
            ? std::find_if(symbols_.begin(), symbols_.end(), [s](int v) { return v >= s; })
            : std::find_if(symbols_.begin(), symbols_.end(), [s](int v) { return v <= s; });
        symbols_.insert(place, s);
    }
    std::copy(symbols_.begin(), symbols_.end(), genes.begin());
    return 1;
}

std::unique_ptr<QMutationOperator> QStringMutationRandomFlip::clone() const {
    return std::make_unique<QStringMutationRandomFlip>(*this);
}

// --- gaussian ---

int QRCMutationGauss::mutate(QIndividual& individual) {
    const double rate = _params->mRate;
    const Encoding encoding = individual.getEncoding();
    const RateTest& mutates = rateTest_(rate);
    Random& random = this->random();
    if (encoding == Encoding::Real) {
        for (double& gene : static_cast<QRCIndividual&>(individual).genes) {
            if (mutates(random)) gene = gene + random.gaussian();
        }
    } else if (encoding == Encoding::Integer) {
        const double precision = _params->genePrecision;
        const double offset = _params->geneOffset;
        // The code may leave the geneSize-bit range; only the int range is enforced.
        for (QIntegerGene::Value& gene : static_cast<QIntegerIndividual&>(individual).genes) {
            if (mutates(random)) {
                const double x = static_cast<double>(gene) * precision + offset;
                gene = truncateToInt((x + random.gaussian() - offset) / precision);
            }
        }
    }
    return 1;
}

std::unique_ptr<QMutationOperator> QRCMutationGauss::clone() const {
    return std::make_unique<QRCMutationGauss>(*this);
}

}  // namespace Valdrin
