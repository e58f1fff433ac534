// The memory estimate of an experiment, the memory still available to the process and the
// human form of byte counts.
#include "registry/memory_estimate.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <istream>
#include <limits>
#include <memory>
#include <sstream>
#include <string_view>

#include "operators/population_sizers.h"
#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"

namespace Valdrin {

namespace {

constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
// The heap's bookkeeping and alignment for every block it hands out.
constexpr std::uint64_t kHeapBlock = 16;
// An individual's place in its population.
constexpr std::uint64_t kPopulationSlot = sizeof(std::unique_ptr<QIndividual>);
// The per-generation series of one run record, and the columns of the report's table over runs
// (eight fitness columns and the population sizes).
constexpr std::uint64_t kRecordSeries = 5;
constexpr std::uint64_t kTableColumns = 9;

std::uint64_t plus(std::uint64_t a, std::uint64_t b) { return a > kMost - b ? kMost : a + b; }
std::uint64_t times(std::uint64_t a, std::uint64_t b) { return b != 0 && a > kMost / b ? kMost : a * b; }
std::uint64_t count(long long n) { return n > 0 ? static_cast<std::uint64_t>(n) : 0; }

// A heap block holding n values of the given size (none for an empty vector).
std::uint64_t vectorBlock(std::uint64_t n, std::uint64_t valueSize) {
    return n == 0 ? 0 : plus(times(n, valueSize), kHeapBlock);
}

// A network as the initializer builds it: outputsNumber nodes, each linked to every input and
// every output, with the self-adaptation parameters and counters; grownNodes more nodes linked
// alike.
std::uint64_t networkBytes(const QEAParameters& params, std::uint64_t grownNodes = 0) {
    const std::uint64_t links = plus(count(params.inputsNumber), count(params.outputsNumber));
    constexpr std::uint64_t linkBytes = sizeof(SignalLink) + sizeof(double);  // the link and its weight
    // Four vectors per node: input links, their weights, output links, their offsets.
    const std::uint64_t node = plus(sizeof(QRNGene), plus(times(links, linkBytes), 4 * kHeapBlock));
    std::uint64_t bytes = plus(sizeof(QRNIndividual), kHeapBlock);
    bytes = plus(bytes, vectorBlock(kMutationKinds, sizeof(double)));
    bytes = plus(bytes, vectorBlock(kMutationKinds, sizeof(int)));
    return plus(bytes, plus(times(plus(count(params.outputsNumber), grownNodes), node), kHeapBlock));
}

// The largest population the record's sizer may ask for.
std::uint64_t peakPopulationSize(const QEAParameters& params) {
    std::uint64_t size = count(params.populationSize);
    switch (params.populationSizerType) {
        case Sizer::Constant:
            break;
        case Sizer::Steady:
            // The first target is the configured size moved by one step, not yet bounded.
            size = std::max(size, count(params.populationSize + static_cast<long long>(params.sizingDirection) *
                                                                    params.sizingStep));
            size = std::max(size, count(params.maxPopulationSize));
            break;
        case Sizer::Simple:
        case Sizer::SimpleFibonacci: {
            // The simple sizers never go below their own lower bound, which wins over the maximum.
            const long long bits = static_cast<long long>(params.chromosomeLength) * params.geneSize;
            size = std::max({size, count(params.maxPopulationSize), count(sizingLowerBound(bits))});
            break;
        }
    }
    return size;
}

}  // namespace

std::uint64_t estimateIndividualMemory(const QEAParameters& params) {
    const std::uint64_t genes = count(params.chromosomeLength);
    std::uint64_t bytes = 0;
    switch (params.encoding) {
        case Encoding::Integer:
            bytes = plus(sizeof(QIntegerIndividual), vectorBlock(genes, sizeof(QIntegerGene::Value)));
            break;
        case Encoding::String:
            bytes = plus(sizeof(QStringIndividual), vectorBlock(genes, sizeof(QStringGene::Value)));
            break;
        case Encoding::Network:
            bytes = networkBytes(params);
            break;
        case Encoding::Real:
        case Encoding::Unspecified:
            // An encoding not yet known counts as the widest genes.
            bytes = plus(sizeof(QRCIndividual), vectorBlock(genes, sizeof(QRCGene::Value)));
            break;
    }
    return plus(bytes, kHeapBlock + kPopulationSlot);
}

std::uint64_t estimateMemory(const QEAParameters& params, int runs) {
    // Current population, mating pool and offspring, the children of the pairing that completes
    // the offspring, and the best and solution individuals of the running record and of each
    // run's record kept for the report over runs.
    std::uint64_t individuals = times(3, peakPopulationSize(params));
    individuals = plus(individuals, count(params.childrenNumber));
    individuals = plus(individuals, times(2, plus(count(runs), 1)));
    return times(individuals, estimateIndividualMemory(params));
}

std::uint64_t estimateGenerationRecords(const QEAParameters& params, int runs) {
    const std::uint64_t generations = count(params.generationsNumber);
    const std::uint64_t perRecord = times(times(generations, kRecordSeries), sizeof(double));
    const std::uint64_t table = times(times(generations, kTableColumns), sizeof(double));
    return plus(times(perRecord, plus(count(runs), 1)), table);
}

std::uint64_t ExperimentMemory::total() const { return plus(plus(populations, records), plus(sharing, growth)); }

ExperimentMemory estimateExperimentMemory(const QEAParameters& params, int runs, AlgorithmKind algorithm) {
    ExperimentMemory memory;
    const std::uint64_t generations = count(params.generationsNumber);
    memory.populations = estimateMemory(params, runs);
    if (algorithm == AlgorithmKind::SARN && params.encoding == Encoding::Network) {
        // The same individuals, each network with its grown nodes.
        const std::uint64_t grownNode = networkBytes(params, 1) - networkBytes(params);
        const std::uint64_t perNetwork = times(generations / kGenerationsPerGrownNode, grownNode);
        memory.populations = plus(memory.populations,
                                  times(memory.populations / estimateIndividualMemory(params), perNetwork));
    }
    // Vectors grow by doubling: up to twice the entries they hold.
    memory.records = times(2, estimateGenerationRecords(params, runs));
    const std::uint64_t n = peakPopulationSize(params);
    if (params.nichingType == Niching::Sharing) {
        // A niche count per individual, and for bit and symbol strings a sum of gene values.
        memory.sharing = vectorBlock(n, 2 * sizeof(double));
    }
    if (params.removeClones) {
        // The clone index: a hash, a chain link and a bucket per offspring.
        memory.sharing = plus(memory.sharing, vectorBlock(plus(n, count(params.childrenNumber)), 32));
    }
    if (algorithm == AlgorithmKind::SARN2) {
        // The template, and the network built from it for every individual evaluated.
        const std::uint64_t grown = times(generations, count(runs)) / kGenerationsPerGrownNode;
        memory.growth = times(plus(peakPopulationSize(params), 1), plus(networkBytes(params, grown), kHeapBlock));
    }
    return memory;
}

std::optional<std::uint64_t> readMemAvailable(std::istream& meminfo) {
    std::string line;
    while (std::getline(meminfo, line)) {
        constexpr std::string_view key = "MemAvailable:";
        if (line.compare(0, key.size(), key) != 0) continue;
        std::istringstream fields(line.substr(key.size()));
        unsigned long long amount = 0;
        if (!(fields >> amount)) return std::nullopt;
        std::string unit;
        fields >> unit;
        // The file counts in kB of 1024 bytes; a bare number is bytes.
        if (unit.empty()) return amount;
        if (unit == "kB") return times(amount, 1024);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> availableMemory() {
    std::optional<std::uint64_t> available;
    std::ifstream meminfo("/proc/meminfo");
    if (meminfo.is_open()) available = readMemAvailable(meminfo);
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        std::uint64_t addressSpace = static_cast<std::uint64_t>(limit.rlim_cur);
        // The program, its libraries, stacks and heap already take part of the limit.
        std::ifstream statm("/proc/self/statm");
        unsigned long long pages = 0;
        if (statm >> pages) {
            const std::uint64_t used = times(pages, static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)));
            addressSpace = addressSpace > used ? addressSpace - used : 0;
        }
        if (!available || addressSpace < *available) available = addressSpace;
    }
    return available;
}

std::string formatBytes(std::uint64_t bytes) {
    constexpr std::array<const char*, 7> units = {"B", "KB", "MB", "GB", "TB", "PB", "EB"};
    if (bytes < 1024) return std::to_string(bytes) + " B";
    auto value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < units.size()) {
        value /= 1024.0;
        ++unit;
    }
    // A value that rounds up to 1024 is written in the next unit ("1.0 GB", not "1024 MB").
    if (std::round(value) >= 1024.0 && unit + 1 < units.size()) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    if (std::round(value * 10.0) < 100.0) {
        std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    } else {
        std::snprintf(text, sizeof text, "%.0f %s", value, units[unit]);
    }
    return text;
}

}  // namespace Valdrin
