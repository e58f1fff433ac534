// QRNGene: one node of a regulatory network. It reads numbered signals through its input
// links, forms a weighted sum and writes an activation to the signals of its output links.
#pragma once

#include <iosfwd>
#include <vector>

#include "representation/gene.h"
#include "core/parameters.h"

namespace Valdrin {

// A signal ID (0: not connected) and the value last read (input) or written (output).
struct SignalLink {
    int ID = 0;
    double value = 0.0;
};

class QRNGene final : public QGene {
public:
    int typeID = 2;  // 1 sign, 2 tanh, 3 saturating linear, 4 sine
    std::vector<SignalLink> inputs;
    std::vector<SignalLink> outputs;
    std::vector<double> inputWeights;   // one per input link
    std::vector<double> outputOffsets;  // one per output link
    double bias = 0.0;
    double A = 1.0;
    bool enabled = true;

    QRNGene() = default;
    QRNGene(const QRNGene&) = default;
    QRNGene& operator=(const QRNGene&) = default;
    // Moved, a node hands its link vectors over: a network's node vector grows, and loses a
    // node from its middle, without copying the links of the nodes it keeps.
    QRNGene(QRNGene&&) noexcept = default;
    QRNGene& operator=(QRNGene&&) noexcept = default;

    std::unique_ptr<QGene> clone() const override;
    Encoding getEncoding() const override { return Encoding::Network; }
    bool equalsTo(const QGene& other) const override;
    int assign(const QGene& other) override;

    int setInputsNumber(int n);
    int setOutputsNumber(int n);
    SignalLink* getOutput(int index) { return &outputs[static_cast<std::size_t>(index)]; }
    const SignalLink* getOutput(int index) const { return &outputs[static_cast<std::size_t>(index)]; }
    SignalLink* findOutput(int signalID);
    SignalLink* getInput(int index) { return &inputs[static_cast<std::size_t>(index)]; }
    const SignalLink* getInput(int index) const { return &inputs[static_cast<std::size_t>(index)]; }
    int setInput(int index, const SignalLink& link);
    int setInputValue(int index, double value);
    int setInputValue(const SignalLink& link);
    int setInputValueByID(int signalID, double value);  // 0 when no input has that ID
    int setOutput(int index, const SignalLink& link);
    int setInputs(const std::vector<SignalLink>& links);
    int setOutputs(const std::vector<SignalLink>& links);
    int getMaxInputID() const;
    int getMaxOutputID() const;
    int addInput(const SignalLink& link, double weight);
    int removeInputs(int signalID);
    int addOutput(const SignalLink& link, double offset);
    int removeOutputs(int signalID);
    int print(std::ostream& out) const;

    // Reads IN, accumulates activations into OUT (grown as needed). 0 when disabled, else 1; a
    // node of unknown type writes its message to messages and leaves OUT as it was.
    int calculate(const std::vector<double>& in, std::vector<double>& out, std::ostream& messages);
    bool hasInput(int signalID) const;
    bool hasOutput(int signalID) const;
    int renameInputs(int oldID, int newID);
    int renameOutputs(int oldID, int newID);
};

}  // namespace Valdrin
