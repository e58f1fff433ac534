// Selective breeding and deterministic crowding, and the pairing step they share.
#include "algorithms/breeding.h"

#include <algorithm>
#include <ostream>

#include "core/random.h"
#include "operators/niching.h"
#include "problems/problem.h"

namespace Valdrin {

namespace {

// The pairing step's frame: the parents' check, the children appended to the offspring
// population (childrenNumber of them, the first two written by the crossing), and the removal
// of clones. crossing writes the two children from the two parents it chooses.
template <class ChooseParents, class Cross>
void pairWith(AlgorithmParts& parts, const QEAParameters& params, std::ostream& err, ChooseParents chooseParents,
              Cross crossing) {
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
        // children: that is the rule runs are reproduced by.
        const int last = offspring.size() - 3;
        bool clone0 = false;
        bool clone1 = false;
        for (int i = 0; i <= last && !(clone0 && clone1); ++i) {
            const QIndividual& earlier = *offspring.individuals[static_cast<std::size_t>(i)];
            if (!clone0 && children[0]->equalsTo(earlier)) clone0 = true;
            if (!clone1 && children[1]->equalsTo(earlier)) clone1 = true;
        }
        if (clone0) offspring.deleteIndividual(offspring.size() - 2);
        if (clone1) offspring.deleteIndividual(offspring.size() - 1);
    }
}

class SelectiveBreeding final : public Breeding {
public:
    explicit SelectiveBreeding(Engine& engine) : engine_(engine) {}
    bool judgesAtBirth() const override { return false; }

    void fillMatingPool(AlgorithmParts& parts) const override {
        parts.selection->select(*parts.currentPopulation, *parts.matingPool);
    }

    void pair(AlgorithmParts& parts, QProblem& /*problem*/, const QEAParameters& params) const override {
        const QPopulation& pool = *parts.matingPool;
        QParentSelector& selector = *parts.parentSelector;
        QCrossoverOperator& crossover = *parts.crossover;
        pairWith(
            parts, params, engine_.err(),
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
};

class CrowdingBreeding final : public Breeding {
public:
    explicit CrowdingBreeding(Engine& engine) : engine_(engine) {}
    bool judgesAtBirth() const override { return true; }

    // The pool holds the current population, each individual put at the front or the back by a
    // coin flip.
    void fillMatingPool(AlgorithmParts& parts) const override {
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
            parts, params, engine_.err(),
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
};

}  // namespace

std::unique_ptr<Breeding> makeBreeding(Niching niching, Engine& engine) {
    if (niching == Niching::DeterministicCrowding) return std::make_unique<CrowdingBreeding>(engine);
    return std::make_unique<SelectiveBreeding>(engine);
}

}  // namespace Valdrin
