// QSARN2: indirect evolution ("SARN2"), logging to "sarn2.log". A population of real-coded
// parameter vectors steers the mutations of one slowly changing template network.
#pragma once

#include <iosfwd>
#include <memory>
#include <vector>

#include "algorithms/sarn.h"
#include "operators/mutations.h"
#include "representation/network.h"

namespace Valdrin {

class QSARN2 final : public QNetworkEvolution {
public:
    explicit QSARN2(Engine& engine);
    ~QSARN2() override;

    // Refuses (and ends the experiment) unless the parameter vectors are real-coded with at least
    // 11 genes; a record saying encoding 5 gets real-coded vectors.
    int setUp(const QEAParameters& params, const PartsMaker& maker, QProblem& problem) override;
    int evaluate() override;
    int finish() override;
    int printName(std::ostream& out) const override;

    // The template network is carried from generation to generation and from run to run.
    void saveState(StateWriter& out) const override;
    void restoreState(StateReader& in) override;
    // Networks are bound to the network record, parameter vectors to the algorithm's own.
    const QEAParameters* recordFor(Encoding encoding) const override;

    const QRNIndividual& templateNetwork() const { return *templateNetwork_; }
    // The record the template, its copies and the network mutation are bound to: the
    // configured one, always saying encoding 5, while the parameter vectors are real-coded.
    const QEAParameters& networkParameters() const { return networkParams_; }

protected:
    const char* runErrorHeader() const override;

private:
    // Network i: a clone of the template with vector i's first 11 values as its mutation
    // parameters, mutated once. With writeBack the parameters the mutation left are copied
    // back into vector i. The networks live in networks_ until the caller clears it.
    QPopulation& buildNetworks(bool writeBack);
    // Evaluates network i and gives its fitness to vector i; counted in generation g.
    void evaluateNetworks(QPopulation& networks, int g);
    // Makes the run's best individual a copy of network, in the storage of the copy kept from
    // the previous generation when that is a network too.
    void keepBestNetwork(const QIndividual& network);

    std::unique_ptr<QRNIndividual> templateNetwork_;
    std::unique_ptr<QRNMutationBasic> networkMutation_;
    std::unique_ptr<QPopulation> networks_;
    QEAParameters networkParams_;
    std::vector<double> rouletteWeights_;  // reused by the template update
};

}  // namespace Valdrin
