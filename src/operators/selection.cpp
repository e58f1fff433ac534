// Neutral and tournament selection, and the random parent selector.
#include "operators/selection.h"

#include "core/random.h"

namespace Valdrin {

namespace {

// Makes the destination hold exactly count individuals. Individuals already there are kept (and
// those beyond count become its spares) so that storing a selected copy reuses gene storage
// instead of allocating a new clone.
void prepareDestination(QPopulation& destination, int count) {
    if (destination.size() > count) destination.deleteIndividuals(count, destination.size() - count);
}

// Stores a copy of the chosen individual at index slot of the destination; the result is the
// same as appending a clone to an emptied destination.
void storeCopy(QPopulation& destination, int slot, const QIndividual& chosen) {
    if (slot < destination.size()) {
        QIndividual& target = *destination.individuals[static_cast<std::size_t>(slot)];
        if (target.getEncoding() == chosen.getEncoding()) {
            target.copy(chosen);
            return;
        }
        destination.individuals[static_cast<std::size_t>(slot)] = chosen.clone();
        return;
    }
    destination.appendIndividual(chosen);
}

}  // namespace

int QNeutralSelection::select(const QPopulation& source, QPopulation& destination) {
    const int n = source.size();
    prepareDestination(destination, n);
    for (int k = 0; k < n; ++k) {
        const int idx = random().uniformInt(n);
        storeCopy(destination, k, *source.individuals[static_cast<std::size_t>(idx)]);
    }
    return 1;
}

std::unique_ptr<QSelection> QNeutralSelection::clone() const {
    return std::make_unique<QNeutralSelection>(*this);
}

int QTournamentSelection::select(const QPopulation& source, QPopulation& destination) {
    const int n = source.size();
    const int contestants = _params->tournamentSize;
    prepareDestination(destination, n);
    for (int k = 0; k < n; ++k) {
        const QIndividual* winner = source.individuals[static_cast<std::size_t>(random().uniformInt(n))].get();
        double best = winner->fitness;
        for (int c = 1; c < contestants; ++c) {
            const QIndividual* contestant =
                source.individuals[static_cast<std::size_t>(random().uniformInt(n))].get();
            if (best > contestant->fitness) {
                winner = contestant;
                best = contestant->fitness;
            }
        }
        storeCopy(destination, k, *winner);
    }
    return 1;
}

std::unique_ptr<QSelection> QTournamentSelection::clone() const {
    return std::make_unique<QTournamentSelection>(*this);
}

QIndividual* QRandomParentSelector::selectParent(const QPopulation& parents) {
    return parents.getIndividual(random().uniformInt(parents.size()));
}

std::unique_ptr<QParentSelector> QRandomParentSelector::clone() const {
    return std::make_unique<QRandomParentSelector>(*this);
}

}  // namespace Valdrin
