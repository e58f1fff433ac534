// The memory an experiment's populations and run records need, the memory the process may
// still take, and a short human form of a byte count.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "core/identifiers.h"
#include "core/parameters.h"

namespace Valdrin {

// The peak bytes the populations and the kept run records of an experiment need, from the record
// as the problem left it (so the list form of the submatrix task already has its target as the
// chromosome length): three populations (current, mating pool, offspring) of the largest size the
// population sizer may reach, the children one pairing makes beyond it, and the best and solution
// individuals of the running record and of every run's record kept by the report over runs. An
// individual counts its object, its genes (4 bytes for bit and symbol strings, 8 for reals; a
// network's nodes each with their links to inputsNumber inputs and outputsNumber outputs), its
// place in a population and the heap's bookkeeping. Per-generation series are not counted: they
// grow with the generations a run reaches (estimateGenerationRecords gives their size for runs
// that reach the last generation). Negative sizes count as 0; the sum stops at the largest
// 64-bit value instead of overflowing.
std::uint64_t estimateMemory(const QEAParameters& params, int runs);

// The bytes of one individual of the record's encoding, as estimateMemory counts it.
std::uint64_t estimateIndividualMemory(const QEAParameters& params);

// The bytes the per-generation series take when every run reaches the last generation: the five
// series of the running record and of every run's record kept by the report over runs, and the
// table of averages over runs the report builds. Saturating like estimateMemory.
std::uint64_t estimateGenerationRecords(const QEAParameters& params, int runs);

// The regulatory networks' allowance for growth: a network of the population (SARN) is counted
// with one node more for every 10 generations of a run, and SARN2's template network, which
// goes on from run to run, with one node more for every 10 generations of all the runs.
constexpr int kGenerationsPerGrownNode = 10;

// The parts of an experiment's memory the check before the runs counts.
struct ExperimentMemory {
    std::uint64_t populations = 0;  // estimateMemory, the networks at their grown size
    std::uint64_t records = 0;      // estimateGenerationRecords, with the series' spare capacity
    std::uint64_t sharing = 0;      // fitness sharing's niche counts and the clone index
    std::uint64_t growth = 0;       // the template network of SARN2 at its grown size
    std::uint64_t total() const;
};

// Everything the experiment's memory check counts, for the algorithm that runs it. Saturating.
ExperimentMemory estimateExperimentMemory(const QEAParameters& params, int runs, AlgorithmKind algorithm);

// The memory the process may still take: the smaller of the system's available memory
// (MemAvailable in /proc/meminfo) and what the process's address-space limit (RLIMIT_AS), when
// one is set, leaves beyond the address space it already uses; nothing when neither can be read.
std::optional<std::uint64_t> availableMemory();

// The "MemAvailable:" line of text in the form of /proc/meminfo, in bytes; nothing without one.
std::optional<std::uint64_t> readMemAvailable(std::istream& meminfo);

// A byte count in the largest unit (1024 bytes to the next) that keeps it at least 1, one decimal
// below 10 and whole from there: "512 B", "12 KB", "512 MB", "3.8 GB".
std::string formatBytes(std::uint64_t bytes);

}  // namespace Valdrin
