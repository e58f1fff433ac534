// Seeding of an experiment's generator and its saved state.
#include "core/random.h"

#include <ostream>

#include "core/state_io.h"

namespace Valdrin {

void Random::seed(std::uint32_t seed, GeneratorKind kind, std::ostream& out) {
    if (seeded_) return;
    out << "Initialization of random numbers generator\n";
    if (kind == GeneratorKind::Pcg64) {
        // The seed picks the starting state and, as the stream's number, the increment: two
        // seeds give two different streams, not two places on one.
        pcg_ = true;
        stream_ = Pcg64Stream(seed, seed);
    } else {
        pcg_ = false;
        state_ = rng::initialState;
        const std::uint32_t steps = seed & rng::seedMask;
        for (std::uint32_t i = 0; i < steps; ++i) step();
    }
    seeded_ = true;
}

namespace {

void writeWord(StateWriter& out, Pcg64Stream::Word word) {
    out.u64(static_cast<std::uint64_t>(word >> 64));
    out.u64(static_cast<std::uint64_t>(word));
}

Pcg64Stream::Word readWord(StateReader& in) {
    const Pcg64Stream::Word high = in.u64();
    return (high << 64) | in.u64();
}

}  // namespace

// The kind (0 legacy, 1 pcg64), whether it was seeded, then the legacy word, or the pcg64 state
// and increment (each as its high and low 64 bits).
void Random::saveState(StateWriter& out) const {
    out.u8(static_cast<std::uint8_t>(number(kind())));
    out.flag(seeded_);
    if (!pcg_) {
        out.u64(state_);
        return;
    }
    writeWord(out, stream_.state());
    writeWord(out, stream_.streamIncrement());
}

void Random::restoreState(StateReader& in) {
    const std::uint8_t kind = in.u8();
    const bool seeded = in.flag();
    if (kind == number(GeneratorKind::Legacy)) {
        restore(in.u64(), seeded);
        return;
    }
    if (kind != number(GeneratorKind::Pcg64)) throw StateError("unknown generator " + std::to_string(kind));
    const Pcg64Stream::Word state = readWord(in);
    const Pcg64Stream::Word increment = readWord(in);
    if ((increment & 1U) == 0) throw StateError("a pcg64 increment must be odd");
    stream_.setState(state, increment);
    pcg_ = true;
    seeded_ = seeded;
}

}  // namespace Valdrin
