// QSARN: the self-adaptive regulatory-network algorithm ("SARN"), logging to "sarn.log", with
// the run loop and the networks' report over runs that the indirect variant shares.
#pragma once

#include <iosfwd>
#include <string_view>
#include <vector>

#include "algorithms/algorithm.h"

namespace Valdrin {

class QSARN final : public QEvolutionaryAlgorithm {
public:
    QSARN();
    // Same parameters and factory; fresh summary; the log is not opened.
    QSARN(const QSARN& other) = default;
    ~QSARN() override;

    int setParameters(QEAParameters* params) override;
    // Asexual reproduction: the offspring are the mating pool plus clones drawn from it.
    int recombine() override;
    int printName(std::ostream& out) const override;
    int reportStatistics(const std::vector<QRunSummary>& runs, std::ostream& out) override;
    // One run, stopping at the first hit when asked; 0 when the number of generations is not positive.
    int run() override;
    std::unique_ptr<QEvolutionaryAlgorithm> clone() const override;
};

// The run loop of both network algorithms. errorHeader names the refusing operation;
// clearCrossoverRate zeroes xRate in the algorithm's record before the generations.
int runNetworkEvolution(QEvolutionaryAlgorithm& algorithm, std::string_view errorHeader, bool clearCrossoverRate);

// The networks' report over runs (size, node degrees, mutation parameters, history counters),
// written into the summary. Runs whose individual is not a network take no part in it.
int reportNetworkStatistics(const std::vector<QRunSummary>& runs, std::ostream& out);

}  // namespace Valdrin
