// The mutation family: bit-flip, random flip, gaussian, and the self-adaptive
// regulatory-network mutation (network_mutation.cpp).
#pragma once

#include "core/random.h"
#include "operators/operator.h"

namespace Valdrin {

class QIntegerMutation : public QMutationOperator {
public:
    Encoding getEncoding() const override { return Encoding::Integer; }
};

class QIntegerMutationBitFlip final : public QIntegerMutation {
public:
    int mutate(QIndividual& individual) override;
    std::unique_ptr<QMutationOperator> clone() const override;

private:
    CachedRateTest rateTest_;
};

class QStringMutation : public QMutationOperator {
public:
    Encoding getEncoding() const override { return Encoding::String; }
};

class QStringMutationRandomFlip final : public QStringMutation {
public:
    int mutate(QIndividual& individual) override;
    // Refuses a permutation that would leave no free symbol to mutate to.
    int setParameters(const QEAParameters& params) override;
    std::unique_ptr<QMutationOperator> clone() const override;

private:
    std::vector<int> symbols_;  // working list, reused between calls
    CachedRateTest rateTest_;
};

class QRCMutation : public QMutationOperator {
public:
    Encoding getEncoding() const override { return Encoding::Real; }
};

// Gaussian perturbation of real-coded genes, and of integer genes read as reals.
class QRCMutationGauss final : public QRCMutation {
public:
    int mutate(QIndividual& individual) override;
    std::unique_ptr<QMutationOperator> clone() const override;

private:
    CachedRateTest rateTest_;
};

class QRNMutation : public QMutationOperator {
public:
    Encoding getEncoding() const override { return Encoding::Network; }
};

class QRNIndividual;

// Self-adaptive mutation of regulatory networks: eleven kinds of change chosen by the
// individual's own mutation parameters, which are re-drawn from its history counters.
// Who links to each signal of a network: for signal s, the index of the node of every input link
// on s (readers[s]) and of every output link on s (writers[s]), one entry per link.
struct SignalUsers {
    std::vector<std::vector<int>> readers;
    std::vector<std::vector<int>> writers;
    std::size_t used = 0;  // the lists from here on are empty
};

class QRNMutationBasic final : public QRNMutation {
public:
    int mutate(QIndividual& individual) override;
    std::unique_ptr<QMutationOperator> clone() const override;

    // Applies change kind (0..10) with the signed parameter r to the network (the kind picks
    // its own node). Returns 1 when something changed, else 0. Exposed for tests.
    int applyChange(QRNIndividual& network, int kind, double r);

private:
    // Working buffers, reused between calls so that a mutation event allocates nothing but the
    // links of a new node: the degrees, measured at a call's first change and kept up to date
    // through its changes, and the signals' users.
    std::vector<int> consumers_;
    std::vector<int> producers_;
    std::vector<int> degrees_;
    std::vector<int> weights_;
    std::vector<unsigned char> linked_;  // which signals the chosen node reads or writes
    SignalUsers signalUsers_;
};

}  // namespace Valdrin
