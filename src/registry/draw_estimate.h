// What the legacy generator's single short cycle means for an experiment: a lower bound of the
// draws a run makes, and the notes (each about one key) that the configuration check turns into
// warnings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/parameters.h"

namespace Valdrin {

// A lower bound of the draws one run of the record makes: the three populations drawn at its
// start, then in every generation the mating pool's draws (one per place, a tournament's size
// per place), one crossover test per pair of children and the mutation's one test per bit
// (bit-flip) or per gene (every other mutation of strings, bit strings and real vectors). The
// draws that depend on the outcome of others (new symbols, Gaussian terms, cut points,
// regulatory networks' mutations) are not counted. Saturates instead of overflowing.
std::uint64_t leastDrawsPerRun(const QEAParameters& params);

struct GeneratorNote {
    std::string_view key;  // the key whose line the note belongs to ("" for the file)
    std::string message;
};

// For the legacy generator: a run (or the runs together) that makes more draws than its period,
// and rates that are positive but below the step between its draws. Nothing for pcg64.
std::vector<GeneratorNote> legacyGeneratorNotes(const QEAParameters& params, long long runs);

}  // namespace Valdrin
