// Breeding: how one generation's offspring are bred from the current population (the mating
// pool, the pairing step, the mutation of the offspring), chosen once at set-up. Selective
// breeding selects a mating pool, pairs parents drawn from it and mutates the offspring;
// deterministic crowding pairs the current population in order and lets every child compete
// with the more similar parent as soon as it is made.
#pragma once

#include <memory>

#include "algorithms/parts.h"
#include "core/engine.h"
#include "core/parameters.h"

namespace Valdrin {

class QProblem;

class Breeding {
public:
    virtual ~Breeding() = default;

    // Whether children are judged as they are made (mutated, evaluated and compared with their
    // parents in the pairing step). The generations after the first then need no evaluation of
    // their own; the run keeps no copy of a first solution, reports no missing best individual,
    // and fitness sharing, the first-hit stop and the run's final lines do not apply.
    virtual bool judgesAtBirth() const = 0;

    // Fills the mating pool from the current population. It starts a generation: the pairing
    // steps that follow fill one offspring population.
    virtual void fillMatingPool(AlgorithmParts& parts) const = 0;

    // One pairing step: children appended to the offspring population (clone removal may take
    // them away again). Clone removal remembers the offspring it has seen in the generation, so
    // between two steps the offspring population may only grow at its end (the elite copies
    // before the first step).
    virtual void pair(AlgorithmParts& parts, QProblem& problem, const QEAParameters& params) const = 0;

    // Mutates the offspring population except its first kept individuals (elite copies that
    // pass to the next generation unchanged): those take no draw, and the others are mutated in
    // order exactly as they would be after them.
    virtual void mutateOffspring(AlgorithmParts& parts, int kept) const = 0;
};

// The breeding the niching type asks for, drawing from the engine's generator and writing its
// warnings to the engine's error stream.
std::unique_ptr<Breeding> makeBreeding(Niching niching, Engine& engine);

}  // namespace Valdrin
