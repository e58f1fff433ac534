// QSARN2: indirect evolution ("SARN2"), logging to "sarn2.log". A population of real-coded
// parameter vectors steers the mutations of one slowly changing template network.
#pragma once

#include <iosfwd>
#include <memory>
#include <vector>

#include "algorithms/algorithm.h"
#include "operators/mutations.h"
#include "representation/network.h"

namespace Valdrin {

class QSARN2 final : public QEvolutionaryAlgorithm {
public:
    std::unique_ptr<QRNIndividual> templateNetwork;
    std::unique_ptr<QRNMutationBasic> networkMutation;
    // The record the template, its copies and the network mutation are bound to: the
    // configured one, always saying encoding 5, while the parameter vectors are real-coded.
    QEAParameters networkParams;

    QSARN2();
    // Same parameters and factory, a fresh empty template and network mutation; the log is not
    // opened. The copy is ready for its own setParameters.
    QSARN2(const QSARN2& other);
    ~QSARN2() override;

    // Refuses (and ends the process) unless the parameter vectors are real-coded with at least
    // 11 genes; a record saying encoding 5 gets real-coded vectors.
    int setParameters(QEAParameters* params) override;
    int evaluate() override;
    int finish() override;
    int printName(std::ostream& out) const override;
    int reportStatistics(const std::vector<QRunSummary>& runs, std::ostream& out) override;
    int run() override;
    std::unique_ptr<QEvolutionaryAlgorithm> clone() const override;

private:
    // Network i: a clone of the template with vector i's first 11 values as its mutation
    // parameters, mutated once. With writeBack the parameters the mutation left are copied
    // back into vector i. The networks live in a temporary population of the factory.
    QPopulation& buildNetworks(bool writeBack);
    // Evaluates network i and gives its fitness to vector i; counted in generation g.
    void evaluateNetworks(QPopulation& networks, int g);

    std::vector<double> rouletteWeights_;  // reused by the template update
};

}  // namespace Valdrin
