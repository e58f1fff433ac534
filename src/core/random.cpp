// Seeding of the process-wide generator.
#include "core/random.h"

#include <iostream>

namespace Valdrin {

void seedGenerator(std::uint32_t seed) {
    if (rng::seeded) return;
    std::cout << "Initialization of random numbers generator\n";
    rng::state = rng::initialState;
    const std::uint32_t steps = seed & rng::seedMask;
    for (std::uint32_t i = 0; i < steps; ++i) rng::step();
    rng::seeded = true;
}

void resetGeneratorForTesting() {
    rng::state = 0;
    rng::seeded = false;
}

}  // namespace Valdrin
