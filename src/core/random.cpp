// Seeding of an experiment's generator.
#include "core/random.h"

#include <ostream>

namespace Valdrin {

void Random::seed(std::uint32_t seed, std::ostream& out) {
    if (seeded_) return;
    out << "Initialization of random numbers generator\n";
    state_ = rng::initialState;
    const std::uint32_t steps = seed & rng::seedMask;
    for (std::uint32_t i = 0; i < steps; ++i) step();
    seeded_ = true;
}

}  // namespace Valdrin
