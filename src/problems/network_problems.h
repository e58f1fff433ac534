// The neural-network tasks solved by evolved regulatory networks: XOR and the prediction of a
// sum of two sine waves.
#pragma once

#include <iosfwd>
#include <memory>
#include <vector>

#include "problems/problem.h"
#include "representation/network.h"

namespace Valdrin {

class QRNIndividual;

// A task given as input cases and expected outputs; accepts regulatory networks only.
class QANNProblem : public QProblem {
public:
    std::vector<std::vector<double>> inputSets;
    std::vector<std::vector<double>> outputSets;
    int inputsNumber = 0;
    int outputsNumber = 0;

    // Networks only: any other individual is left untouched and gives 0, silently.
    int evaluateIndividual(QIndividual& individual) override;
    int evaluatePopulation(QPopulation& population) override;

    int getInputsNumber() const { return inputsNumber; }
    int getOutputsNumber() const { return outputsNumber; }
    // Stores the fitness and its three components (mean error, energy term, size penalty).
    virtual int evaluateNetwork(QRNIndividual& network) = 0;

protected:
    explicit QANNProblem(Engine& engine) : QProblem(engine) {}

    // The step both tasks end with: fitness from the mean error E and the mean energy P.
    void storeFitness(QRNIndividual& network, double meanError, double meanEnergy) const;
    // Where a network's messages go as it is calculated: standard output; on a worker thread a
    // buffer that holds them back (evaluateIndividual then leaves the network to the calling
    // thread, which writes them in its turn).
    std::ostream& messages() const;

    // Signal vectors reused by every evaluation, so that the millions of network runs of an
    // experiment do not allocate once they have grown to the network's size.
    std::vector<double> signals_;
    std::vector<double> outputs_;
    NetworkScratch scratch_;
};

// Exclusive-or of two inputs; the network's first output is mapped from [-1, 1] to [0, 1].
class QANNProblemXOR final : public QANNProblem {
public:
    explicit QANNProblemXOR(Engine& engine);
    // The task's data and scratch vectors: evaluating a network writes only the network and the
    // scratch, and draws nothing.
    std::unique_ptr<QProblem> threadCopy() const override;

    int adjustParameters(QEAParameters* params) override;
    int evaluateNetwork(QRNIndividual& network) override;
    // The four cases' outputs and errors on standard output.
    int testIndividual(QIndividual& individual) override;
    int printName(std::ostream& out) const override;

private:
    // Runs the network on case c for the given number of steps and returns the case's squared
    // error; firstOutput receives the first output after mapping and clipping. Ends the
    // process when the network writes only to the inputs.
    double runCase(QRNIndividual& network, std::size_t c, int steps, int distance, double& energy,
                   double& firstOutput);
};

// One-step prediction of sin(0.2 t) + sin(0.311 t), the network running as a recurrent
// predictor with one calculation step per time step.
class QANNProblemSinDouble final : public QANNProblem {
public:
    std::vector<double> testOutputs;  // the series after the training cases

    explicit QANNProblemSinDouble(Engine& engine);
    // As XOR's.
    std::unique_ptr<QProblem> threadCopy() const override;

    int adjustParameters(QEAParameters* params) override;
    int evaluateNetwork(QRNIndividual& network) override;
    // Writes the network's signals step by step to "qannsin.log" and the errors to standard output.
    int testIndividual(QIndividual& individual) override;
    std::vector<std::string> outputFiles() const override { return {"qannsin.log"}; }
    std::vector<std::string> rewrittenFiles() const override { return {"qannsin.log"}; }
    int printName(std::ostream& out) const override;

private:
    // One time step: the previous signals (or the first case's input) with signal 1 replaced
    // by the given input, through every node into outputs_; an empty result becomes zeros.
    void step(QRNIndividual& network, bool first, double input, bool zeroFill);
    // The warm-up steps, then the measured steps over the training cases, adding the energy and
    // the squared prediction errors to the two sums; with a trace, every step's signals are
    // written to it.
    void runTrainingSeries(QRNIndividual& network, double& errorSum, double& energySum, std::ostream* trace);
    // Signals from index 2 on, each followed by a tab, then a line break.
    void writeSignals(std::ostream& trace) const;
};

}  // namespace Valdrin
