// QRNIndividual: a whole regulatory network (nodes, I/O numbers, self-adaptation state), and
// QRNPopulation. Encoding 5.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "representation/network_gene.h"
#include "representation/population.h"

namespace Valdrin {

constexpr int kMutationKinds = 11;

// The working memory of network evaluations, kept by the caller between evaluations so that
// steady-state evaluation does not allocate.
struct NetworkScratch {
    std::vector<double> state;
    std::vector<double> heldInputs;
    std::vector<std::uint8_t> paths;     // the connection matrix
    std::vector<std::uint8_t> power;     // its current power
    std::vector<std::uint8_t> previous;  // the power before
};

class QRNIndividual final : public QIndividual {
public:
    std::vector<QRNGene> genes;
    std::vector<double> mutationParameters = std::vector<double>(kMutationKinds, 0.0);
    std::vector<int> historyCounters = std::vector<int>(kMutationKinds, 0);
    int inputsNumber = 0;
    int outputsNumber = 0;
    double signalChange = 0.0;

    QRNIndividual() = default;
    QRNIndividual(const QRNIndividual&) = default;
    QRNIndividual& operator=(const QRNIndividual&) = default;

    // Ignores the argument: outputsNumber nodes, 11 parameters kept, counters zeroed.
    int initialize(int genesNumber) override;
    int copy(const QIndividual& other) override;
    std::unique_ptr<QIndividual> clone() const override;
    Encoding getEncoding() const override { return Encoding::Network; }
    int decode(std::vector<double>& out) const override;  // not supported: 0
    int decode(std::vector<int>& out) const override;     // not supported: 0
    int print(std::ostream& out) const override;
    int getGenesNumber() const override { return static_cast<int>(genes.size()); }
    int addGene(const QGene& gene) override;
    int deleteGene(int index) override;
    std::unique_ptr<QGene> getGene(int index) const override;  // a QRNGene copy
    int setGene(int index, const QGene& gene) override;
    int deleteGenes() override;
    bool equalsTo(const QIndividual& other) const override;

    // Direct typed access to a node (index must be valid).
    QRNGene& node(int index) { return genes[static_cast<std::size_t>(index)]; }
    const QRNGene& node(int index) const { return genes[static_cast<std::size_t>(index)]; }

    int getMaxInputID() const;
    int getMaxOutputID() const;
    int getNodeDegrees(std::vector<int>& degrees) const;
    // The node degrees from signal degrees already measured by getSignalDegrees.
    int getNodeDegrees(const std::vector<int>& consumers, const std::vector<int>& producers,
                       std::vector<int>& degrees) const;
    int getSignalDegrees(std::vector<int>& consumers, std::vector<int>& producers) const;

    // A node of unknown type is reported on messages (QRNGene::calculate).
    int calculateNodes(const std::vector<double>& in, std::vector<double>& out, std::ostream& messages);
    int calculateNetwork(const std::vector<double>& in, std::vector<double>& out, int steps, NetworkScratch& scratch,
                         std::ostream& messages);
    int analyseSignalPaths(int& inputToOutputSteps, int& settlingSteps, NetworkScratch& scratch) const;
};

class QRNPopulation final : public QPopulation {
public:
    Encoding getEncoding() const override { return Encoding::Network; }
    std::unique_ptr<QPopulation> clone() const override;
    int print(std::ostream& out) const override;

protected:
    std::unique_ptr<QIndividual> makeIndividual() const override;
    // A network keeps its mutation parameters through initialize, so none is renewed in place.
    bool renewsIndividuals() const override { return false; }
};

}  // namespace Valdrin
