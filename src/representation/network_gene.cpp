// QRNGene: link management, evaluation, renaming and printing of one network node.
#include "representation/network_gene.h"

#include <cmath>
#include <cstddef>
#include <ostream>

namespace Valdrin {

namespace {

// Removes every link with that ID and the parallel weight (or offset), keeping the order.
void removeLinks(std::vector<SignalLink>& links, std::vector<double>& parallel, int signalID) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (links[i].ID == signalID) continue;
        links[kept] = links[i];
        parallel[kept] = parallel[i];
        ++kept;
    }
    links.resize(kept);
    parallel.resize(kept);
}

int maxID(const std::vector<SignalLink>& links) {
    int largest = 0;
    for (const SignalLink& link : links) {
        if (link.ID > largest) largest = link.ID;
    }
    return largest;
}

bool hasID(const std::vector<SignalLink>& links, int signalID) {
    for (const SignalLink& link : links) {
        if (link.ID == signalID) return true;
    }
    return false;
}

void renameLinks(std::vector<SignalLink>& links, int oldID, int newID) {
    for (SignalLink& link : links) {
        if (link.ID == oldID) link.ID = newID;
    }
}

std::size_t linkCount(int n) { return n > 0 ? static_cast<std::size_t>(n) : 0; }

}  // namespace

std::unique_ptr<QGene> QRNGene::clone() const { return std::make_unique<QRNGene>(*this); }

bool QRNGene::equalsTo(const QGene& other) const {
    if (other.getEncoding() != Encoding::Network) return false;
    const auto& gene = static_cast<const QRNGene&>(other);
    if (inputs.size() != gene.inputs.size() || outputs.size() != gene.outputs.size() ||
        inputWeights.size() != gene.inputWeights.size() ||
        outputOffsets.size() != gene.outputOffsets.size()) {
        return false;
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (inputs[i].ID != gene.inputs[i].ID || inputs[i].value != gene.inputs[i].value ||
            inputWeights[i] != gene.inputWeights[i]) {
            return false;
        }
    }
    for (std::size_t j = 0; j < outputs.size(); ++j) {
        if (outputs[j].ID != gene.outputs[j].ID || outputs[j].value != gene.outputs[j].value ||
            outputOffsets[j] != gene.outputOffsets[j]) {
            return false;
        }
    }
    return true;
}

int QRNGene::assign(const QGene& other) {
    if (other.getEncoding() != Encoding::Network) return 0;
    *this = static_cast<const QRNGene&>(other);
    return 1;
}

// A negative count empties the links rather than asking for an impossible size.
int QRNGene::setInputsNumber(int n) {
    inputs.resize(linkCount(n));
    inputWeights.resize(linkCount(n), 0.0);
    return static_cast<int>(inputs.size());
}

int QRNGene::setOutputsNumber(int n) {
    outputs.resize(linkCount(n));
    outputOffsets.resize(linkCount(n), 0.0);
    return static_cast<int>(outputs.size());
}

SignalLink* QRNGene::findOutput(int signalID) {
    for (SignalLink& link : outputs) {
        if (link.ID == signalID) return &link;
    }
    return nullptr;
}

int QRNGene::setInput(int index, const SignalLink& link) {
    inputs[static_cast<std::size_t>(index)] = link;
    return 1;
}

int QRNGene::setInputValue(int index, double value) {
    inputs[static_cast<std::size_t>(index)].value = value;
    return 1;
}

int QRNGene::setInputValue(const SignalLink& link) { return setInputValueByID(link.ID, link.value); }

int QRNGene::setInputValueByID(int signalID, double value) {
    for (SignalLink& link : inputs) {
        if (link.ID == signalID) {
            link.value = value;
            return 1;
        }
    }
    return 0;
}

int QRNGene::setOutput(int index, const SignalLink& link) {
    outputs[static_cast<std::size_t>(index)] = link;
    return 1;
}

int QRNGene::setInputs(const std::vector<SignalLink>& links) {
    inputs = links;
    inputWeights.resize(inputs.size(), 0.0);
    return 1;
}

int QRNGene::setOutputs(const std::vector<SignalLink>& links) {
    outputs = links;
    outputOffsets.resize(outputs.size(), 0.0);
    return 1;
}

int QRNGene::getMaxInputID() const { return maxID(inputs); }

int QRNGene::getMaxOutputID() const { return maxID(outputs); }

int QRNGene::addInput(const SignalLink& link, double weight) {
    inputs.push_back(link);
    inputWeights.push_back(weight);
    return 1;
}

int QRNGene::removeInputs(int signalID) {
    removeLinks(inputs, inputWeights, signalID);
    return 1;
}

int QRNGene::addOutput(const SignalLink& link, double offset) {
    outputs.push_back(link);
    outputOffsets.push_back(offset);
    return 1;
}

int QRNGene::removeOutputs(int signalID) {
    removeLinks(outputs, outputOffsets, signalID);
    return 1;
}

int QRNGene::print(std::ostream& out) const {
    out << "\tType ID:\t" << typeID << "\n";
    out << "\tEnabled:\t" << (enabled ? 1 : 0) << "\n";
    out << "\tBias:\t" << bias << "\n";
    out << "\tA:\t" << A << "\n";
    out << "\tInputs (" << inputs.size() << "):\t";
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        out << "(" << inputs[i].ID << ", " << inputs[i].value << ":" << inputWeights[i] << ")\t";
    }
    out << "\n\tOutputs (" << outputs.size() << "):\t";
    for (std::size_t j = 0; j < outputs.size(); ++j) {
        out << "(" << outputs[j].ID << ", " << outputs[j].value << ":" << outputOffsets[j] << ")\t";
    }
    out << "\n";
    return 1;
}

// Negative signal IDs read 0.0 and write nowhere: no position of a signal vector belongs to them.
int QRNGene::calculate(const std::vector<double>& in, std::vector<double>& out, std::ostream& messages) {
    if (!enabled) return 0;
    double s = bias;
    const std::size_t inSize = in.size();
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SignalLink& link = inputs[i];
        if (link.ID == 0) continue;
        const auto k = static_cast<std::size_t>(link.ID);
        link.value = (link.ID > 0 && k < inSize) ? in[k] : 0.0;
        s += link.value * inputWeights[i];
    }
    s = A * s;
    if (typeID < 1 || typeID > 4) {
        messages << "\n\n[QRNGene::calculate] error:\n"
                  << "Unknown node type (typeID = " << typeID << ")\n";
        return 1;
    }
    for (std::size_t j = 0; j < outputs.size(); ++j) {
        SignalLink& link = outputs[j];
        if (link.ID == 0) continue;
        const double x = s + outputOffsets[j];
        double y;
        switch (typeID) {
            case 1:
                y = x > 0 ? 1.0 : -1.0;
                break;
            case 2: {
                const double e = std::exp(-2.0 * x);
                // exp overflows for x below about -354; the limit of the quotient there is -1.
                y = std::isinf(e) ? -1.0 : (1.0 - e) / (1.0 + e);
                break;
            }
            case 3:
                y = x >= 1.0 ? 1.0 : (x <= -1.0 ? -1.0 : x);
                break;
            default:
                y = std::sin(x);
                break;
        }
        link.value = y;
        if (link.ID < 0) continue;
        const auto k = static_cast<std::size_t>(link.ID);
        if (out.size() <= k) out.resize(k + 1, 0.0);
        out[k] += y;
    }
    return 1;
}

bool QRNGene::hasInput(int signalID) const { return hasID(inputs, signalID); }

bool QRNGene::hasOutput(int signalID) const { return hasID(outputs, signalID); }

int QRNGene::renameInputs(int oldID, int newID) {
    renameLinks(inputs, oldID, newID);
    return 1;
}

int QRNGene::renameOutputs(int oldID, int newID) {
    renameLinks(outputs, oldID, newID);
    return 1;
}

}  // namespace Valdrin
