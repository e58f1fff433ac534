// Selective breeding and deterministic crowding, and the pairing step they share.
#include "algorithms/breeding.h"

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <vector>

#include "core/random.h"
#include "operators/niching.h"
#include "problems/problem.h"

namespace Valdrin {

namespace {

// The individuals of the offspring population that clone removal compares children with,
// found by chromosome hash: each pairing step adds those it has not seen yet, and a child is
// compared only with those of equal hash, so that a generation's clone removal costs time in
// proportion to its offspring, not to their square. equalsTo still decides, exactly as when every
// earlier individual was compared. The storage is kept from one generation to the next: once it
// has reached the population's size nothing is allocated.
class CloneIndex {
public:
    // Forgets every individual (a new generation's offspring population is being filled).
    void forget() {
        population_ = nullptr;
        first_ = nullptr;
        lastCovered_ = nullptr;
        hashes_.clear();
        next_.clear();
        std::fill(heads_.begin(), heads_.end(), -1);
    }

    // Hashes at hand: individuals (children just compared) whose hashes need not be computed again.
    struct Known {
        const QIndividual* individuals[2] = {nullptr, nullptr};
        std::uint64_t hashes[2] = {0, 0};
    };

    // Covers the individuals at 0 .. last of the offspring population. Those covered by earlier
    // steps of the generation must be unchanged, as they are while pairing steps only append
    // children and take back some of their own; a population emptied or refilled since (another
    // population, fewer individuals, other objects at either end of the covered ones) is covered
    // afresh.
    void cover(const QPopulation& offspring, int last) { cover(offspring, last, Known{}); }
    void cover(const QPopulation& offspring, int last, const Known& known) {
        const auto covered = static_cast<int>(hashes_.size());
        if (covered > 0 && (&offspring != population_ || covered > last + 1 ||
                            offspring.individuals.front().get() != first_ ||
                            offspring.individuals[static_cast<std::size_t>(covered - 1)].get() != lastCovered_)) {
            forget();
        }
        population_ = &offspring;
        for (int p = static_cast<int>(hashes_.size()); p <= last; ++p) {
            const QIndividual* individual = offspring.individuals[static_cast<std::size_t>(p)].get();
            if (individual == known.individuals[0]) {
                add(known.hashes[0]);
            } else if (individual == known.individuals[1]) {
                add(known.hashes[1]);
            } else {
                add(individual->chromosomeHash());
            }
        }
        if (!hashes_.empty()) {
            first_ = offspring.individuals.front().get();
            lastCovered_ = offspring.individuals[hashes_.size() - 1].get();
        }
    }

    // Whether a covered individual of the offspring population is equal to the child, whose
    // chromosome hash is given.
    bool holdsCloneOf(const QPopulation& offspring, const QIndividual& child, std::uint64_t hash) const {
        if (hashes_.empty()) return false;
        for (int p = heads_[bucketOf(hash)]; p >= 0; p = next_[static_cast<std::size_t>(p)]) {
            const auto slot = static_cast<std::size_t>(p);
            if (hashes_[slot] == hash && child.equalsTo(*offspring.individuals[slot])) return true;
        }
        return false;
    }

private:
    void add(std::uint64_t hash) {
        // At most one covered individual per two buckets.
        if (2 * (hashes_.size() + 1) > heads_.size()) grow();
        const std::size_t bucket = bucketOf(hash);
        next_.push_back(heads_[bucket]);
        heads_[bucket] = static_cast<int>(hashes_.size());
        hashes_.push_back(hash);
    }

    void grow() {
        heads_.assign(std::max<std::size_t>(64, 2 * heads_.size()), -1);
        for (std::size_t p = 0; p < hashes_.size(); ++p) {
            const std::size_t bucket = bucketOf(hashes_[p]);
            next_[p] = heads_[bucket];
            heads_[bucket] = static_cast<int>(p);
        }
    }

    std::size_t bucketOf(std::uint64_t hash) const { return static_cast<std::size_t>(hash) & (heads_.size() - 1); }

    const QPopulation* population_ = nullptr;
    const QIndividual* first_ = nullptr;        // the covered individual at 0
    const QIndividual* lastCovered_ = nullptr;  // the covered individual at the highest index
    std::vector<std::uint64_t> hashes_;         // by index in the offspring population
    std::vector<int> next_;                     // by index: the next covered index in its bucket, or -1
    std::vector<int> heads_;                    // by bucket (a power of two of them): its first index, or -1
};

// The pairing step's frame: the parents' check, the children appended to the offspring
// population (childrenNumber of them, the first two written by the crossing), and the removal
// of clones. crossing writes the two children from the two parents it chooses.
template <class ChooseParents, class Cross>
void pairWith(AlgorithmParts& parts, const QEAParameters& params, std::ostream& err, CloneIndex& clones,
              ChooseParents chooseParents, Cross crossing) {
    if (params.parentsNumber != 2) {
        // The text names the 2-point integer crossover whatever the class.
        err << "!!! QIntegerCrossover2::operate warning:\t"
                  << "Parents number is unequal to 2. No crossing is performed !!!\n";
        return;
    }
    QPopulation& offspring = *parts.offspringPopulation;
    const ParentPair parents = chooseParents();

    // The first two children are written in full by the crossing (a crossover or a copy of
    // each parent); the others stay new individuals.
    ChildPair children{};
    for (int k = 0; k < params.childrenNumber; ++k) {
        const int size = k < 2 ? offspring.addIndividualToOverwrite() : offspring.addNewIndividual();
        if (k < 2) children[static_cast<std::size_t>(k)] = offspring.getIndividual(size - 1);
    }
    crossing(parents, children);

    if (params.removeClones) {
        // Only the individuals up to index size - 3 are compared, also with more than two
        // children: that is the rule runs are reproduced by. What is deleted lies above them.
        const int last = offspring.size() - 3;
        clones.cover(offspring, last);
        const CloneIndex::Known known{{children[0], children[1]},
                                      {children[0]->chromosomeHash(), children[1]->chromosomeHash()}};
        const bool clone0 = clones.holdsCloneOf(offspring, *children[0], known.hashes[0]);
        const bool clone1 = clones.holdsCloneOf(offspring, *children[1], known.hashes[1]);
        if (clone0) offspring.deleteIndividual(offspring.size() - 2);
        if (clone1) offspring.deleteIndividual(offspring.size() - 1);
        // What is left is compared with by the next steps (their limit, size - 3 then, is at
        // least this size - 1): covered now, while the children's hashes are at hand.
        clones.cover(offspring, offspring.size() - 1, known);
    }
}

class SelectiveBreeding final : public Breeding {
public:
    explicit SelectiveBreeding(Engine& engine) : engine_(engine) {}
    bool judgesAtBirth() const override { return false; }

    void fillMatingPool(AlgorithmParts& parts) const override {
        clones_.forget();
        parts.selection->select(*parts.currentPopulation, *parts.matingPool);
    }

    void pair(AlgorithmParts& parts, QProblem& /*problem*/, const QEAParameters& params) const override {
        const QPopulation& pool = *parts.matingPool;
        QParentSelector& selector = *parts.parentSelector;
        QCrossoverOperator& crossover = *parts.crossover;
        pairWith(
            parts, params, engine_.err(), clones_,
            [&] {
                QIndividual* first = selector.selectParent(pool);
                return ParentPair{first, selector.selectParent(pool)};
            },
            [&](const ParentPair& parents, const ChildPair& children) {
                if (params.xRate >= engine_.random.uniform()) {
                    crossover.cross(parents, children);
                } else {
                    children[0]->copy(*parents[0]);
                    children[1]->copy(*parents[1]);
                }
            });
    }

    void mutateOffspring(AlgorithmParts& parts, int kept) const override {
        auto& individuals = parts.offspringPopulation->individuals;
        QMutationOperator& mutation = *parts.mutation;
        for (std::size_t i = static_cast<std::size_t>(std::max(kept, 0)); i < individuals.size(); ++i) {
            mutation.mutate(*individuals[i]);
        }
    }

private:
    Engine& engine_;
    mutable CloneIndex clones_;  // this generation's offspring, for clone removal
};

class CrowdingBreeding final : public Breeding {
public:
    explicit CrowdingBreeding(Engine& engine) : engine_(engine) {}
    bool judgesAtBirth() const override { return true; }

    // The pool holds the current population, each individual put at the front or the back by a
    // coin flip.
    void fillMatingPool(AlgorithmParts& parts) const override {
        clones_.forget();
        QPopulation& pool = *parts.matingPool;
        pool.clear();
        for (const auto& individual : parts.currentPopulation->individuals) {
            if (engine_.random.coinFlip()) {
                pool.appendIndividual(*individual);
            } else {
                pool.insertIndividual(*individual);
            }
        }
    }

    void pair(AlgorithmParts& parts, QProblem& problem, const QEAParameters& params) const override {
        const QPopulation& current = *parts.currentPopulation;
        const QPopulation& offspring = *parts.offspringPopulation;
        QCrossoverOperator& crossover = *parts.crossover;
        const auto& crowding = static_cast<const QDeterministicCrowding&>(*parts.niching);
        QMutationOperator& mutation = *parts.mutation;
        pairWith(
            parts, params, engine_.err(), clones_,
            [&] {
                // The elite already sit in the offspring population, so successive pairings walk
                // the current population in consecutive pairs.
                const int first = offspring.size() - params.eliteCount;
                QIndividual* parent0 = current.getIndividual(first);
                return ParentPair{parent0, current.getIndividual(first + 1)};
            },
            [&](const ParentPair& parents, const ChildPair& children) {
                crossover.cross(parents, children);
                crowding.compete(parents, children, mutation, problem);
            });
    }

    // The children were mutated when they competed; the elite copies never are, whatever kept.
    void mutateOffspring(AlgorithmParts& /*parts*/, int /*kept*/) const override {}

private:
    Engine& engine_;
    mutable CloneIndex clones_;  // this generation's offspring, for clone removal
};

}  // namespace

std::unique_ptr<Breeding> makeBreeding(Niching niching, Engine& engine) {
    if (niching == Niching::DeterministicCrowding) return std::make_unique<CrowdingBreeding>(engine);
    return std::make_unique<SelectiveBreeding>(engine);
}

}  // namespace Valdrin
