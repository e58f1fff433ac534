// The self-adaptive regulatory-network algorithms' common ground (QNetworkEvolution: the run
// loop's hooks and the networks' report over runs) and QSARN ("SARN"), logging to "sarn.log".
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "algorithms/algorithm.h"

namespace Valdrin {

// Runs that may stop at the first hit, with the population written to the log before the
// first generation and the judged network tested by the problem after the last.
class QNetworkEvolution : public QEvolutionaryAlgorithm {
public:
    // The networks' report over runs (size, node degrees, mutation parameters, history counters).
    int reportStatistics(const std::vector<QRunSummary>& runs, std::ostream& out) const override;

protected:
    using QEvolutionaryAlgorithm::QEvolutionaryAlgorithm;
    bool stopsWhenEvaluationAsks() const override { return true; }
    void beginRun() override;
    const char* endingBeforeClock() const override { return "\nFinishing the run..."; }
    const char* endingAfterClock() const override { return "done\n"; }
    void endRun() override;
};

class QSARN final : public QNetworkEvolution {
public:
    explicit QSARN(Engine& engine);
    // Asexual reproduction: the offspring are the mating pool plus clones drawn from it.
    int recombine() override;
    int printName(std::ostream& out) const override;

protected:
    const char* runErrorHeader() const override;
};

// The networks' report over runs, written into the summary. Runs whose individual is not a
// network take no part in it.
int reportNetworkStatistics(const std::vector<QRunSummary>& runs, std::ostream& out);

}  // namespace Valdrin
