// The generator of one experiment. Two generators stand behind the same draws:
// - legacy (the default): a 64-bit multiplicative congruential generator, one multiplication per
//   draw. It starts from one fixed state, so every seed lies on the same cycle of 2^30 draws
//   (seed s is seed 0 moved on by s draws) and uniform() takes about 2^21 distinct values.
// - pcg64: a 128-bit permuted congruential generator; the seed picks both the starting state and
//   the stream, so every bit of the seed matters and each seed is a stream of its own, with a
//   period of 2^128 and uniform() at full double resolution.
// Every draw form keeps its meaning and its number of draws under both. The draws are inline so
// that per-gene and per-bit loops pay one multiplication (legacy) per draw. The experiment owns
// the generator (core/engine.h) and everything that draws is handed it; nothing in the program
// keeps a generator of its own.
#pragma once

#include <pcg_random.hpp>

#include <cmath>
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/identifiers.h"

namespace Valdrin {

class StateReader;
class StateWriter;

// The pcg64 generator with its state (the 128-bit state and the stream's odd increment) open to
// saving and restoring.
class Pcg64Stream : public pcg64 {
public:
    using Word = pcg_extras::pcg128_t;
    Pcg64Stream() = default;
    Pcg64Stream(Word state, Word stream) : pcg64(state, stream) {}
    Word state() const { return state_; }
    Word streamIncrement() const { return increment(); }
    void setState(Word state, Word increment) {
        state_ = state;
        inc_ = increment;
    }
};

namespace rng {
constexpr std::uint64_t multiplier = 1220703125ULL;              // 5^13
constexpr std::uint64_t initialState = multiplier << 32;         // 48C27395 00000000
constexpr std::uint32_t seedMask = 0x7fff;
constexpr double scale = 1.0 / 2147483647.0;
// The legacy generator's period in draws, and the step between its distinct uniform() values,
// which is also its smallest draw (its cycle never draws 0).
constexpr std::uint64_t legacyPeriod = std::uint64_t{1} << 30;
constexpr double legacyResolution = 1024.0 * scale;
// pcg64 draws: 53 bits make a uniform() value in [0, 1).
constexpr double unitOf53Bits = 1.0 / 9007199254740992.0;  // 2^-53
}  // namespace rng

class Random {
public:
    // Unseeded: the legacy generator, every draw 0 until seed() is called.
    Random() = default;

    // Seeds the generator the first time it is called (writing its announcement to out); later
    // calls do nothing. The legacy generator reads only the low 15 bits of the seed; pcg64 all.
    void seed(std::uint32_t seed, GeneratorKind kind, std::ostream& out);
    void seed(std::uint32_t seed, std::ostream& out) { this->seed(seed, GeneratorKind::Legacy, out); }
    bool seeded() const { return seeded_; }
    GeneratorKind kind() const { return pcg_ ? GeneratorKind::Pcg64 : GeneratorKind::Legacy; }

    // The legacy generator's word (its whole state), and setting it (which makes the generator
    // the legacy one).
    std::uint64_t word() const { return state_; }
    void restore(std::uint64_t word, bool seeded) {
        pcg_ = false;
        state_ = word;
        seeded_ = seeded;
    }
    // The whole state of either generator, for checkpoints. restoreState throws StateError when
    // the bytes are no generator state.
    void saveState(StateWriter& out) const;
    void restoreState(StateReader& in);

    // The legacy generator's next word.
    std::uint64_t step() { return state_ *= rng::multiplier; }
    // The next 64 random bits of pcg64.
    std::uint64_t next64() { return stream_(); }

    // Uniform draw in [0, 1]. Legacy: exactly 1 for |v| = 2^31 - 1 and slightly above 1 for
    // v = -2^31. pcg64: a multiple of 2^-53 below 1.
    double uniform() {
        if (pcg_) [[unlikely]] return static_cast<double>(next64() >> 11) * rng::unitOf53Bits;
        const std::uint64_t x = step();
        const auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(x >> 22));
        return std::fabs(static_cast<double>(v)) * rng::scale;
    }

    // trunc(uniform() * n), kept below n: a draw of 1 (or just above) maps to n - 1.
    int uniformInt(int n) {
        const int k = static_cast<int>(uniform() * n);
        return (k >= n && n > 0) ? n - 1 : k;
    }

    bool flip(double p) { return uniform() < p; }

    // U(-0.1, 0.1): one draw, computed as u * 0.2 - 0.1.
    double smallUniform() { return uniform() * 0.2 - 0.1; }

    bool coinFlip() {
        if (pcg_) [[unlikely]] return (next64() >> 63) != 0;
        return ((step() >> 53) & 1U) != 0;
    }

    // Sum of twelve uniform draws, centred and scaled: mean 0, standard deviation 1/6.
    double gaussian() {
        double sum = 0.0;
        for (int i = 0; i < 12; ++i) sum += uniform();
        return (sum - 6.0) / 6.0;
    }

    // Index i is chosen with weight w[i] + 1; returns n when the draw runs past the end.
    int rouletteIndex(const std::vector<int>& weights) {
        const int n = static_cast<int>(weights.size());
        std::int32_t total = n;
        for (int w : weights) total += w;
        auto r = static_cast<std::int32_t>(uniform() * total + 0.5);
        for (int i = 0; i < n; ++i) {
            r -= weights[i] + 1;
            if (r <= 0) return i;
        }
        return n;
    }

    int rouletteIndex(const std::vector<double>& weights) {
        const int n = static_cast<int>(weights.size());
        double sum = 0.0;
        for (double w : weights) sum += w;
        const double total = n + sum;
        double r = uniform() * total;
        for (int i = 0; i < n; ++i) {
            r -= weights[i] + 1.0;
            if (r <= 0) return i;
        }
        return n;
    }

private:
    friend class RateTest;
    std::uint64_t state_ = 0;
    bool pcg_ = false;  // draws come from stream_ instead of state_
    bool seeded_ = false;
    Pcg64Stream stream_;
};

// The test "rate > uniform()" made once per bit or gene, with exactly the same outcome and the
// same single draw, but decided on the integer the draw starts from: uniform() is |v| * scale,
// which never decreases as |v| grows, so the draws that pass are those with |v| below a limit
// found once per rate.
class RateTest {
public:
    explicit RateTest(double rate) : rate_(rate) {
        // Least |v| in [0, 2^31] whose draw fails the test (2^31 + 1 when every draw passes).
        std::int64_t passing = 0;
        std::int64_t failing = (std::int64_t{1} << 31) + 1;
        if (!(rate > 0.0 * rng::scale)) failing = 0;
        while (failing - passing > 1) {
            const std::int64_t middle = passing + (failing - passing) / 2;
            if (rate > static_cast<double>(middle) * rng::scale) passing = middle;
            else failing = middle;
        }
        setLimit(failing);
        // pcg64: uniform() is k * 2^-53, and rate > k * 2^-53 exactly when k < ceil(rate * 2^53).
        const double scaled = std::ceil(rate * 9007199254740992.0);
        if (scaled >= 9007199254740992.0) pcgLimit_ = std::uint64_t{1} << 53;
        else if (scaled > 0.0) pcgLimit_ = static_cast<std::uint64_t>(scaled);
    }
    // Draws once from the generator; true when rate > uniform() for that draw.
    bool operator()(Random& random) const {
        if (random.pcg_) [[unlikely]] return (random.next64() >> 11) < pcgLimit_;
        return passes(random.step());
    }

    // Makes count draws in a row, exactly those count calls of operator() would make, and calls
    // onPass(j) for each draw j (0-based) that passes. The draws come from four multiplication
    // chains that advance the state by a^4 each (a state times a, a^2, a^3, a^4 gives the next
    // four states), so the multiplications of one round do not wait for each other.
    template <class OnPass>
    void drawMany(Random& random, std::int64_t count, OnPass&& onPass) const {
        if (random.pcg_) [[unlikely]] {
            for (std::int64_t j = 0; j < count; ++j) {
                if ((random.next64() >> 11) < pcgLimit_) onPass(j);
            }
            return;
        }
        constexpr std::uint64_t a1 = rng::multiplier;
        constexpr std::uint64_t a2 = a1 * a1;
        constexpr std::uint64_t a3 = a2 * a1;
        constexpr std::uint64_t a4 = a3 * a1;
        std::uint64_t state = random.state_;
        std::int64_t j = 0;
        for (; j + 4 <= count; j += 4) {
            const std::uint64_t x1 = state * a1;
            const std::uint64_t x2 = state * a2;
            const std::uint64_t x3 = state * a3;
            const std::uint64_t x4 = state * a4;
            state = x4;
            if (passes(x1)) onPass(j);
            if (passes(x2)) onPass(j + 1);
            if (passes(x3)) onPass(j + 2);
            if (passes(x4)) onPass(j + 3);
        }
        for (; j < count; ++j) {
            state *= a1;
            if (passes(state)) onPass(j);
        }
        random.state_ = state;
    }
    double rate() const { return rate_; }

private:
    // The draw's signed 32-bit word v is bits 22..53 of the state x. With w = x << 10 read as a
    // signed number, v = floor(w / 2^32), so -(limit - 1) <= v <= limit - 1 is the one unsigned
    // check w + (limit - 1) * 2^32 <= (2 * limit - 1) * 2^32 - 1, made modulo 2^64 (the values of
    // w below -(limit - 1) * 2^32 wrap to above the bound, for every limit up to 2^31).
    bool passes(std::uint64_t x) const { return (x << 10) + offset_ <= bound_; }

    void setLimit(std::int64_t limit) {
        if (limit <= 0) {
            // Never passes: x << 10 ends in ten zero bits, so adding 1 never gives 0.
            offset_ = 1;
            bound_ = 0;
            return;
        }
        const auto below = static_cast<std::uint64_t>(limit - 1);
        offset_ = below << 32;
        const std::uint64_t span = 2 * below + 1;  // at most 2^32 + 1
        // 2^32 + 1 (limit 2^31 + 1): every draw passes.
        bound_ = span > 0xffffffffULL ? ~std::uint64_t{0} : (span << 32) - 1;
    }

    double rate_ = 0.0;
    std::uint64_t pcgLimit_ = 0;  // pcg64: the draws whose top 53 bits are below it pass
    std::uint64_t offset_ = 1;
    std::uint64_t bound_ = 0;
};

// A RateTest kept by an operator across calls and made again only when the rate changes, so
// that a per-individual call does not repeat the search for the limit.
class CachedRateTest {
public:
    const RateTest& operator()(double rate) {
        // A rate that is not a number never equals the cached one, and its test never passes.
        if (!(rate == test_.rate())) test_ = RateTest(rate);
        return test_;
    }

private:
    RateTest test_{0.0};
};

}  // namespace Valdrin
