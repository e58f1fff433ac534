// QRNIndividual (a regulatory network: running it, path analysis, degree statistics, report)
// and QRNPopulation.
#include "representation/network.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "core/failure.h"
#include "representation/gene_vector.h"
#include "core/mean_variance.h"

namespace Valdrin {

namespace {

// Adds 1 at position s, growing the counts with zeros as needed; negative IDs name no signal.
void countAt(std::vector<int>& counts, int s) {
    if (s < 0) return;
    const auto k = static_cast<std::size_t>(s);
    if (counts.size() <= k) counts.resize(k + 1, 0);
    ++counts[k];
}

std::size_t nonNegative(int n) { return n > 0 ? static_cast<std::size_t>(n) : 0; }

}  // namespace

// Without a parameter record the individual keeps its own I/O numbers.
int QRNIndividual::initialize(int /*genesNumber*/) {
    if (_params != nullptr) {
        inputsNumber = _params->inputsNumber;
        outputsNumber = _params->outputsNumber;
    }
    genes.resize(nonNegative(outputsNumber));
    mutationParameters.resize(kMutationKinds, 0.0);
    historyCounters.assign(kMutationKinds, 0);
    return 1;
}

int QRNIndividual::copy(const QIndividual& other) {
    if (other.getEncoding() == Encoding::Network) {
        *this = static_cast<const QRNIndividual&>(other);
    } else {
        QIndividual::operator=(other);
    }
    return 1;
}

std::unique_ptr<QIndividual> QRNIndividual::clone() const { return std::make_unique<QRNIndividual>(*this); }

int QRNIndividual::decode(std::vector<double>& /*out*/) const { return 0; }

int QRNIndividual::decode(std::vector<int>& /*out*/) const { return 0; }

int QRNIndividual::print(std::ostream& out) const {
    out << "(" << fitness;
    if (!fitnessComponents.empty()) {
        out << " ";
        for (double component : fitnessComponents) out << "[" << component << "]";
    }
    out << ")\t";
    out << inputsNumber << " inputs : " << outputsNumber << " outputs\n";
    out << "Genes number:\t" << genes.size() << "\n";
    for (std::size_t k = 0; k < genes.size(); ++k) {
        out << "Gene " << k << ":";
        genes[k].print(out);
    }
    out << "Mutation parameters:\t";
    for (double parameter : mutationParameters) out << " " << parameter;
    out << "\n";
    out << "Total number of signals:\t" << std::max(getMaxOutputID(), getMaxInputID()) << "\n";
    out << "History events counters:\t";
    for (int counter : historyCounters) out << " " << counter;
    out << "\n";

    std::vector<int> consumers;
    std::vector<int> producers;
    getSignalDegrees(consumers, producers);
    std::vector<int> degrees;
    getNodeDegrees(consumers, producers, degrees);
    double degreeSum = 0.0;
    for (int degree : degrees) degreeSum += degree;
    out << "Average degree:\t" << degreeSum / static_cast<double>(genes.size()) << "\n";
    out << "Nodes degrees:\t";
    for (int degree : degrees) out << " " << degree;
    out << "\n";

    out << "Input signals degrees:\t";
    for (int count : consumers) out << " " << count;
    out << "\n";
    out << "Output signals degrees:\t";
    for (int count : producers) out << " " << count;
    out << "\n";
    return 1;
}

// A gene of another encoding is not a node: the network stays as it is.
int QRNIndividual::addGene(const QGene& gene) {
    if (gene.getEncoding() == Encoding::Network) genes.push_back(static_cast<const QRNGene&>(gene));
    return getGenesNumber();
}

int QRNIndividual::deleteGene(int index) { return geneVector::erase(genes, index, "\n\n[QRNIndividual::deleteGene] error:\n"); }

std::unique_ptr<QGene> QRNIndividual::getGene(int index) const {
    return geneVector::copyOut<QRNGene>(genes, index, "\n\n[QRNIndividual::getGene] error:\n");
}

int QRNIndividual::setGene(int index, const QGene& gene) {
    geneVector::checkIndex(genes, index, "\n\n[QRNIndividual::setGene] error:\n");
    genes[static_cast<std::size_t>(index)].assign(gene);
    return 1;
}

int QRNIndividual::deleteGenes() {
    genes.clear();
    return 1;
}

bool QRNIndividual::equalsTo(const QIndividual& other) const {
    if (other.getEncoding() != Encoding::Network) return false;
    const auto& network = static_cast<const QRNIndividual&>(other);
    if (genes.size() != network.genes.size()) return false;
    for (std::size_t k = 0; k < genes.size(); ++k) {
        if (!genes[k].equalsTo(network.genes[k])) return false;
    }
    return true;
}

int QRNIndividual::getMaxInputID() const {
    int largest = 0;
    for (const QRNGene& gene : genes) largest = std::max(largest, gene.getMaxInputID());
    return largest;
}

int QRNIndividual::getMaxOutputID() const {
    int largest = 0;
    for (const QRNGene& gene : genes) largest = std::max(largest, gene.getMaxOutputID());
    return largest;
}

int QRNIndividual::getSignalDegrees(std::vector<int>& consumers, std::vector<int>& producers) const {
    consumers.assign(1, 0);
    producers.assign(1, 0);
    for (const QRNGene& gene : genes) {
        for (const SignalLink& link : gene.inputs) countAt(consumers, link.ID);
        for (const SignalLink& link : gene.outputs) countAt(producers, link.ID);
    }
    // The environment produces every external input and consumes every external output.
    for (int s = 1; s <= inputsNumber; ++s) countAt(producers, s);
    for (int s = inputsNumber + 1; s <= inputsNumber + outputsNumber; ++s) countAt(consumers, s);
    consumers[0] = 0;
    producers[0] = 0;
    return 1;
}

int QRNIndividual::getNodeDegrees(std::vector<int>& degrees) const {
    std::vector<int> consumers;
    std::vector<int> producers;
    getSignalDegrees(consumers, producers);
    return getNodeDegrees(consumers, producers, degrees);
}

int QRNIndividual::getNodeDegrees(const std::vector<int>& consumers, const std::vector<int>& producers,
                                  std::vector<int>& degrees) const {
    degrees.assign(genes.size(), 0);
    for (std::size_t k = 0; k < genes.size(); ++k) {
        int degree = 0;
        for (const SignalLink& link : genes[k].inputs) {
            if (link.ID >= 0 && static_cast<std::size_t>(link.ID) < producers.size()) {
                degree += producers[static_cast<std::size_t>(link.ID)];
            }
        }
        for (const SignalLink& link : genes[k].outputs) {
            if (link.ID >= 0 && static_cast<std::size_t>(link.ID) < consumers.size()) {
                degree += consumers[static_cast<std::size_t>(link.ID)];
            }
        }
        degrees[k] = degree;
    }
    return 1;
}

int QRNIndividual::calculateNodes(const std::vector<double>& in, std::vector<double>& out, std::ostream& messages) {
    for (QRNGene& gene : genes) gene.calculate(in, out, messages);
    return 1;
}

// An input vector shorter than I + 1 holds the missing external inputs at 0.0.
int QRNIndividual::calculateNetwork(const std::vector<double>& in, std::vector<double>& out, int steps,
                                    NetworkScratch& scratch, std::ostream& messages) {
    std::vector<double>& state = scratch.state;
    std::vector<double>& heldInputs = scratch.heldInputs;
    const std::size_t firstOutput = nonNegative(inputsNumber) + 1;
    // The external inputs are taken before any step runs: a caller that passes one vector as
    // both IN and OUT still sees its inputs held at their values on entry.
    heldInputs.assign(firstOutput, 0.0);
    for (std::size_t j = 1; j < firstOutput && j < in.size(); ++j) heldInputs[j] = in[j];
    state.assign(in.begin(), in.end());
    signalChange = 0.0;
    for (int step = 0; step < steps; ++step) {
        calculateNodes(state, out, messages);
        for (std::size_t i = firstOutput; i < out.size(); ++i) {
            signalChange += i < state.size() ? std::fabs(out[i] - state[i]) : std::fabs(out[i]);
        }
        state.assign(out.begin(), out.end());
        if (state.size() < firstOutput) state.resize(firstOutput, 0.0);
        for (std::size_t j = 1; j < firstOutput; ++j) state[j] = heldInputs[j];
    }
    signalChange = signalChange / steps;
    return 1;
}

// Entries of the powers of the connection matrix count paths modulo 256 (8-bit entries).
int QRNIndividual::analyseSignalPaths(int& inputToOutputSteps, int& settlingSteps, NetworkScratch& scratch) const {
    const int n = std::max(getMaxInputID(), getMaxOutputID());
    const int I = inputsNumber;
    const int O = outputsNumber;
    inputToOutputSteps = 0;
    settlingSteps = 0;
    if (n < I + 1) return 0;

    const auto N = static_cast<std::size_t>(n);
    // The analysis runs once per network evaluation: its three matrices are the caller's scratch.
    std::vector<std::uint8_t>& M = scratch.paths;
    std::vector<std::uint8_t>& P = scratch.power;
    std::vector<std::uint8_t>& kept = scratch.previous;
    M.assign(N * N, 0);
    for (const QRNGene& gene : genes) {
        if (!gene.enabled) continue;
        for (const SignalLink& source : gene.inputs) {
            if (source.ID <= 0) continue;
            const std::size_t row = (static_cast<std::size_t>(source.ID) - 1) * N;
            for (const SignalLink& target : gene.outputs) {
                if (target.ID > 0) M[row + static_cast<std::size_t>(target.ID) - 1] = 1;
            }
        }
    }

    // Input rows 0 .. I-1 all lie inside the matrix, since n >= I + 1.
    const auto inputRowsEnd = nonNegative(I) * N;
    const auto anyInputRow = [&](const std::vector<std::uint8_t>& m) {
        return std::any_of(m.begin(), m.begin() + static_cast<std::ptrdiff_t>(inputRowsEnd),
                           [](std::uint8_t v) { return v != 0; });
    };
    if (!anyInputRow(M)) return 0;

    const int outputEnd = I + O;                     // first column past the external outputs
    const int scanEnd = std::min(outputEnd, n);      // ... and inside the matrix
    P.assign(M.begin(), M.end());
    kept.resize(N * N);
    while (true) {
        if (std::all_of(P.begin(), P.end(), [](std::uint8_t v) { return v == 0; })) return 1;

        bool outputReached = false;
        for (std::size_t r = 0; r < N && !outputReached; ++r) {
            int k = I;
            while (k < scanEnd && P[r * N + static_cast<std::size_t>(k)] == 0) ++k;
            outputReached = k < outputEnd;
        }
        if (!outputReached) return 0;

        if (!anyInputRow(P)) return 0;

        if (inputToOutputSteps == 0) {
            bool inputToOutput = false;
            for (std::size_t r = 0; r < static_cast<std::size_t>(I) && !inputToOutput; ++r) {
                for (int k = I; k < scanEnd; ++k) {
                    if (P[r * N + static_cast<std::size_t>(k)] != 0) {
                        inputToOutput = true;
                        break;
                    }
                }
            }
            if (inputToOutput) inputToOutputSteps = settlingSteps + 1;
        }

        // kept takes the previous power, P receives kept x M.
        kept.swap(P);
        std::fill(P.begin(), P.end(), std::uint8_t{0});
        for (std::size_t r = 0; r < N; ++r) {
            std::uint8_t* result = &P[r * N];
            const std::uint8_t* factors = &kept[r * N];
            for (std::size_t j = 0; j < N; ++j) {
                const std::uint8_t p = factors[j];
                if (p == 0) continue;
                const std::uint8_t* m = &M[j * N];
                for (std::size_t k = 0; k < N; ++k) result[k] = static_cast<std::uint8_t>(result[k] + p * m[k]);
            }
        }
        ++settlingSteps;

        if (P == kept) {
            settlingSteps *= 2;
            return 1;
        }
        if (settlingSteps > n) return 0;
        if (inputToOutputSteps != 0) {
            for (std::size_t r = 0; r < N; ++r) {
                if (P[r * N + r] != 0) {
                    settlingSteps *= 2;
                    return 1;
                }
            }
        }
    }
}

std::unique_ptr<QPopulation> QRNPopulation::clone() const { return geneVector::clonePopulation<QRNPopulation>(*this); }

std::unique_ptr<QIndividual> QRNPopulation::makeIndividual() const { return std::make_unique<QRNIndividual>(); }

int QRNPopulation::print(std::ostream& out) const {
    QPopulation::print(out);
    out << "\n-------------------------------------------\nPopulation specific information:\n";
    std::vector<int> genesNumbers;
    genesNumbers.reserve(individuals.size());
    for (const auto& individual : individuals) genesNumbers.push_back(individual->getGenesNumber());
    const auto [mean, variance] = meanAndVariance(genesNumbers);
    out << "Average number of genes:\t" << mean << "\n";
    out << "Deviation of the number of genes:\t" << variance << "\n";

    std::vector<int> histogram;
    std::vector<int> degrees;
    for (const auto& individual : individuals) {
        if (individual->getEncoding() != Encoding::Network) continue;
        static_cast<const QRNIndividual&>(*individual).getNodeDegrees(degrees);
        for (int degree : degrees) countAt(histogram, degree);
    }
    out << "Distribution of nodes degrees over the whole population:\t";
    for (int count : histogram) out << " " << count;
    out << "\n";
    return 1;
}

}  // namespace Valdrin
