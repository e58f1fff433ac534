// Niching: fitness sharing and deterministic crowding.
#include "operators/niching.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>

#include "core/failure.h"
#include "problems/problem.h"
#include "representation/distance.h"
#include "representation/integer.h"
#include "representation/real.h"
#include "representation/string.h"

namespace Valdrin {

// Fitness sharing.

namespace {

double euclideanDistance(const QRCIndividual& a, const QRCIndividual& b) {
    const std::size_t n = std::min(a.genes.size(), b.genes.size());
    double sum = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double d = a.genes[k] - b.genes[k];
        sum += d * d;
    }
    return std::sqrt(sum);
}

}  // namespace

QFitnessSharing::~QFitnessSharing() {
    sigma = 0.0;
    alpha = 0.0;
}

int QFitnessSharing::setParameters(const QEAParameters& params) {
    _params = &params;
    sigma = params.sharingSigma;
    return 1;
}

int QFitnessSharing::share(QPopulation& population) {
    const Encoding encoding = population.getEncoding();
    if (encoding != Encoding::Integer && encoding != Encoding::String && encoding != Encoding::Real) {
        std::ostringstream message;
        message << "\n\n[QFitnessSharing::operate] error:\n"
                << "\tFitness sharing needs integer, string or real-coded chromosomes (encoding ID = "
                << number(encoding) << ")\n\n";
        fail(message.str());
    }
    const auto& members = population.individuals;
    const std::size_t n = members.size();
    // Each distance is measured once, for the pair (i, j) with i < j in that argument order, and
    // its share goes to both niche counts at once. Walking the pairs row by row adds to each
    // count in increasing order of the other index, so every count is the same sum, term for
    // term, as one summed over its own row; no distance is kept.
    std::vector<double>& counts = counts_;
    counts.assign(n, 1.0);
    auto shareOut = [&](std::size_t i, std::size_t j, double d) {
        if (sigma > d) {
            const double share = 1.0 - std::pow(d / sigma, alpha);
            counts[i] += share;
            counts[j] += share;
        }
    };
    const QDistance distance;

    if (encoding == Encoding::Integer || encoding == Encoding::String) {
        // Pairs whose sums of gene values already differ by sigma or more are not measured.
        units_.assign(n, 0);
        for (std::size_t i = 0; i < n; ++i) {
            if (encoding == Encoding::Integer) {
                for (const QIntegerGene::Value gene : static_cast<const QIntegerIndividual&>(*members[i]).genes) units_[i] += gene;
            } else {
                for (const QStringGene::Value gene : static_cast<const QStringIndividual&>(*members[i]).genes) units_[i] += gene;
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) {
                const double gap = std::fabs(static_cast<double>(units_[i] - units_[j]));
                shareOut(i, j, sigma > gap ? distance.measure(*members[i], *members[j]) : sigma + 1.0);
            }
        }
    } else {
        // The chromosome distance of real-coded individuals is constant; their vectors are
        // compared in Euclidean distance instead.
        for (std::size_t i = 0; i < n; ++i) {
            const auto& a = static_cast<const QRCIndividual&>(*members[i]);
            for (std::size_t j = i + 1; j < n; ++j) {
                shareOut(i, j, euclideanDistance(a, static_cast<const QRCIndividual&>(*members[j])));
            }
        }
    }

    for (std::size_t i = 0; i < n; ++i) {
        members[i]->fitness = members[i]->fitness / counts[i];
        members[i]->fitnessComponents.clear();
    }
    return 1;
}

std::unique_ptr<QNichingOperator> QFitnessSharing::clone() const {
    return std::make_unique<QFitnessSharing>(*this);
}

// Deterministic crowding.

int QDeterministicCrowding::compete(const ParentPair& parents, const ChildPair& children, QMutationOperator& mutation,
                                    QProblem& problem) const {
    QIndividual* parent0 = parents[0];
    QIndividual* parent1 = parents[1];
    QIndividual* child0 = children[0];
    QIndividual* child1 = children[1];
    mutation.mutate(*child0);
    mutation.mutate(*child1);

    problem.evaluateIndividual(*child0);
    problem.evaluateIndividual(*child1);

    const QDistance distance;
    const double straight = distance.measure(*parent0, *child0) + distance.measure(*parent1, *child1);
    const double crossed = distance.measure(*parent0, *child1) + distance.measure(*parent1, *child0);
    QIndividual* rival0 = parent1;
    QIndividual* rival1 = parent0;
    if (crossed > straight) {
        rival0 = parent0;
        rival1 = parent1;
    }
    if (child0->fitness > rival0->fitness) child0->copy(*rival0);
    if (child1->fitness > rival1->fitness) child1->copy(*rival1);
    return 1;
}

std::unique_ptr<QNichingOperator> QDeterministicCrowding::clone() const {
    return std::make_unique<QDeterministicCrowding>(*this);
}

}  // namespace Valdrin
