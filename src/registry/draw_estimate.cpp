// The draws a run makes at least, and the legacy generator's notes.
#include "registry/draw_estimate.h"

#include <algorithm>
#include <limits>
#include <sstream>

#include "core/random.h"

namespace Valdrin {

namespace {

constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();

std::uint64_t times(std::uint64_t a, std::uint64_t b) {
    if (a != 0 && b > kMost / a) return kMost;
    return a * b;
}

std::uint64_t plus(std::uint64_t a, std::uint64_t b) { return b > kMost - a ? kMost : a + b; }

std::uint64_t atLeastZero(int value) { return value > 0 ? static_cast<std::uint64_t>(value) : 0; }

// The draws that make or mutate one chromosome: one per bit of a bit string, one per gene
// otherwise; none for regulatory networks, whose draws vary.
std::uint64_t drawsPerChromosome(const QEAParameters& params) {
    const std::uint64_t genes = atLeastZero(params.chromosomeLength);
    switch (params.encoding) {
        case Encoding::Integer:
            return params.mutationType == Mutation::BitFlip ? times(genes, atLeastZero(params.geneSize)) : genes;
        case Encoding::String:
        case Encoding::Real: return genes;
        default: return 0;
    }
}

std::string rateText(double rate) {
    std::ostringstream text;
    text << rate;
    return text.str();
}

}  // namespace

std::uint64_t leastDrawsPerRun(const QEAParameters& params) {
    const std::uint64_t population = atLeastZero(params.populationSize);
    const std::uint64_t chromosome = drawsPerChromosome(params);
    const std::uint64_t selection =
        times(population, params.selectionType == Selection::Tournament ? atLeastZero(params.tournamentSize) : 1);
    const std::uint64_t perGeneration = plus(plus(selection, population / 2), times(population, chromosome));
    const std::uint64_t start = times(3 * population, chromosome);
    return plus(start, times(atLeastZero(params.generationsNumber), perGeneration));
}

std::vector<GeneratorNote> legacyGeneratorNotes(const QEAParameters& params, long long runs) {
    std::vector<GeneratorNote> notes;
    if (params.generator != GeneratorKind::Legacy) return notes;
    const std::string advice = "; set \"Random generator\" to pcg64 for independent runs";

    const std::uint64_t perRun = leastDrawsPerRun(params);
    const std::uint64_t period = rng::legacyPeriod;
    if (perRun > period) {
        notes.push_back({"", "a run makes at least " + std::to_string(perRun) +
                                 " draws, more than the legacy generator's period of " + std::to_string(period) +
                                 ": every run repeats its own stream" + advice});
    } else if (runs > 1 && perRun > 0 && times(perRun, static_cast<std::uint64_t>(runs)) > period) {
        const std::uint64_t firstRepeating = period / perRun + 1;
        notes.push_back({"", "the runs make at least " + std::to_string(perRun) +
                                 " draws each, so from run " + std::to_string(firstRepeating) + " of " +
                                 std::to_string(runs) + " on they repeat draws of earlier runs (the legacy "
                                 "generator's period is " + std::to_string(period) + " draws)" + advice});
    }

    const struct {
        std::string_view key;
        double rate;
    } rates[] = {{"Mutation rate", params.mRate}, {"Crossover rate", params.xRate}, {"Units ratio", params.unitsRatio}};
    for (const auto& [key, rate] : rates) {
        if (rate > 0.0 && rate <= rng::legacyResolution) {
            // The legacy draws are multiples of the step, and its cycle never draws 0: the
            // smallest draw is the step itself, so a test "rate > draw" never passes.
            std::string message(1, '"');
            message.append(key).append("\" is ").append(rateText(rate));
            message += ", not above the legacy generator's smallest draw " + rateText(rng::legacyResolution) +
                       ": it acts as 0" + advice;
            notes.push_back({key, std::move(message)});
        }
    }
    return notes;
}

}  // namespace Valdrin
