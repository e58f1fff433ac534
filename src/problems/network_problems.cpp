// The XOR and double-sine network tasks: their data, the evaluation of a network and the
// end-of-run test reports.
#include "problems/network_problems.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <sstream>

#include "core/failure.h"
#include "core/output_file.h"
#include "core/worker_pool.h"
#include "problems/evaluation_threads.h"
#include "representation/network.h"

namespace Valdrin {

namespace {

constexpr int kSineCases = 400;
constexpr int kSineWarmUp = 100;
constexpr int kSineTests = 300;

double doubleSine(int t) {
    const auto x = static_cast<double>(t);
    return std::sin(0.2 * x) + std::sin(0.311 * x);
}

// An output in [-1, 1] read as a value in [0, 1].
double mapToUnit(double v) {
    const double mapped = (v + 1.0) * 0.5;
    if (mapped < 0.0) return 0.0;
    if (mapped > 1.0) return 1.0;
    return mapped;
}

// What a network evaluated on this worker thread would have written.
std::ostringstream& heldMessages() {
    thread_local std::ostringstream held;
    return held;
}

double readSignal(const std::vector<double>& signals, int index) {
    const auto k = static_cast<std::size_t>(index);
    return k < signals.size() ? signals[k] : 0.0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// QANNProblem

int QANNProblem::evaluateIndividual(QIndividual& individual) {
    if (individual.getEncoding() != Encoding::Network) return 0;
    auto& network = static_cast<QRNIndividual&>(individual);
    if (!WorkerPool::onWorker()) return evaluateNetwork(network);
    std::ostringstream& held = heldMessages();
    if (held.tellp() > 0) held.str("");
    const int result = evaluateNetwork(network);
    if (held.tellp() > 0) throw WriteOnCallingThread{};
    return result;
}

std::ostream& QANNProblem::messages() const {
    if (WorkerPool::onWorker()) return heldMessages();
    return engine().out();
}

int QANNProblem::evaluatePopulation(QPopulation& population) {
    if (population.getEncoding() != Encoding::Network) {
        return reportWrongEncoding("\n\n[QANNProblemXOR::evaluatePopulation] error:\n", population.getEncoding());
    }
    for (int i = 0; i < population.size(); ++i) evaluateIndividual(*population.getIndividual(i));
    return 1;
}

void QANNProblem::storeFitness(QRNIndividual& network, double meanError, double meanEnergy) const {
    // A network without nodes is scored as a one-node network: ln 0 would make its fitness
    // minus infinity, the best possible value, and count it as a solution.
    const double n = std::max(network.getGenesNumber(), 1);
    const double energyTerm = std::fabs(n - meanEnergy) * 0.01 / n;
    const double sizePenalty = 0.001 * (1.0 + std::log(n));
    const double errorLevel = _params != nullptr ? _params->errorLevel : QEAParameters{}.errorLevel;
    network.fitness = meanError < errorLevel ? meanError : meanError + sizePenalty;
    network.fitnessComponents.resize(3);
    network.fitnessComponents[0] = meanError;
    network.fitnessComponents[1] = energyTerm;
    network.fitnessComponents[2] = sizePenalty;
}

// ---------------------------------------------------------------------------------------------
// QANNProblemXOR

QANNProblemXOR::QANNProblemXOR(Engine& engine) : QANNProblem(engine) {
    inputsNumber = 2;
    outputsNumber = 1;
    inputSets = {{0.0, 0.0}, {0.0, 1.0}, {1.0, 0.0}, {1.0, 1.0}};
    outputSets = {{0.0}, {1.0}, {1.0}, {0.0}};
}

std::unique_ptr<QProblem> QANNProblemXOR::threadCopy() const { return std::make_unique<QANNProblemXOR>(*this); }

int QANNProblemXOR::adjustParameters(QEAParameters* params) {
    params->inputsNumber = 2;
    params->outputsNumber = 1;
    params->encoding = Encoding::Network;
    return 1;
}

int QANNProblemXOR::printName(std::ostream& out) const {
    out << "Neural network XOR problem\n";
    return 1;
}

double QANNProblemXOR::runCase(QRNIndividual& network, std::size_t c, int steps, int distance, double& energy,
                               double& firstOutput) {
    const auto firstOutputSignal = static_cast<std::size_t>(inputsNumber) + 1;
    signals_.resize(firstOutputSignal);
    signals_[0] = 0.0;
    for (std::size_t j = 1; j < firstOutputSignal; ++j) signals_[j] = inputSets[c][j - 1];
    outputs_.clear();
    network.calculateNetwork(signals_, outputs_, steps, scratch_, messages());
    energy += network.signalChange;

    const bool silent = outputs_.empty();
    if (!silent && outputs_.size() <= firstOutputSignal) {
        std::ostringstream text;
        network.print(text);
        text << "Calculation steps number:" << steps << "\n"
             << "Minimal distance:" << distance << "\n"
             << "Strange output vector:\n";
        for (double v : outputs_) text << " " << v;
        text << "\n";
        failOnOutput(text.str());
    }
    // A network that wrote nothing reads as outputs of 0.0; outputs it did not reach count 0.
    const std::size_t produced = silent ? 0 : outputs_.size() - firstOutputSignal;
    const std::vector<double>& expected = outputSets[c];
    double error = 0.0;
    for (std::size_t j = 0; j < static_cast<std::size_t>(outputsNumber); ++j) {
        double v = 0.0;
        if (silent) {
            v = mapToUnit(0.0);
        } else if (j < produced) {
            v = mapToUnit(outputs_[firstOutputSignal + j]);
        }
        if (j == 0) firstOutput = v;
        const double difference = v - expected[j];
        error += difference * difference;
    }
    return error;
}

int QANNProblemXOR::evaluateNetwork(QRNIndividual& network) {
    int distance = 0;
    int steps = 0;
    network.analyseSignalPaths(distance, steps, scratch_);
    double meanError = 1.0;
    double meanEnergy = 100.0;
    if (distance >= 1) {
        double errorSum = 0.0;
        double energySum = 0.0;
        double firstOutput = 0.0;
        for (std::size_t c = 0; c < inputSets.size(); ++c) {
            errorSum += runCase(network, c, steps, distance, energySum, firstOutput);
        }
        const auto cases = static_cast<double>(inputSets.size());
        meanError = errorSum / cases;
        meanEnergy = energySum / cases;
    }
    storeFitness(network, meanError, meanEnergy);
    return 1;
}

int QANNProblemXOR::testIndividual(QIndividual& individual) {
    if (individual.getEncoding() != Encoding::Network) {
        return reportWrongEncoding("\n\n[QANNProblemXOR::testIndividual] error:\n", individual.getEncoding());
    }
    auto& network = static_cast<QRNIndividual&>(individual);
    int distance = 0;
    int steps = 0;
    network.analyseSignalPaths(distance, steps, scratch_);
    if (distance < 1) {
        engine().out() << "Incorrect network structure: The output is unreachable\n";
        return 1;
    }
    double errorSum = 0.0;
    double energySum = 0.0;
    for (std::size_t c = 0; c < inputSets.size(); ++c) {
        double firstOutput = 0.0;
        const double error = runCase(network, c, steps, distance, energySum, firstOutput);
        errorSum += error;
        engine().out() << "Test input set # " << c + 1 << ". Output = " << firstOutput << ". Error = " << error << "\n";
    }
    const auto cases = static_cast<double>(inputSets.size());
    engine().out() << "Mean error = " << errorSum / cases << "\n"
              << "Mean energy = " << energySum / cases << "\n";
    return 1;
}

// ---------------------------------------------------------------------------------------------
// QANNProblemSinDouble

QANNProblemSinDouble::QANNProblemSinDouble(Engine& engine) : QANNProblem(engine) {
    inputsNumber = 1;
    outputsNumber = 1;
    inputSets.reserve(kSineCases);
    outputSets.reserve(kSineCases);
    for (int k = 0; k < kSineCases; ++k) {
        // Each input is the previous case's expected value.
        inputSets.push_back({k == 0 ? 1.0 : doubleSine(k)});
        outputSets.push_back({doubleSine(k + 1)});
    }
    testOutputs.reserve(kSineTests);
    for (int i = 0; i < kSineTests; ++i) testOutputs.push_back(doubleSine(kSineCases + 1 + i));
}

std::unique_ptr<QProblem> QANNProblemSinDouble::threadCopy() const {
    return std::make_unique<QANNProblemSinDouble>(*this);
}

int QANNProblemSinDouble::adjustParameters(QEAParameters* params) {
    params->inputsNumber = 1;
    params->outputsNumber = 1;
    return 1;
}

int QANNProblemSinDouble::printName(std::ostream& out) const {
    out << "Neural network double sin prediction problem\n";
    return 1;
}

void QANNProblemSinDouble::step(QRNIndividual& network, bool first, double input, bool zeroFill) {
    const auto inputEnd = static_cast<std::size_t>(inputsNumber) + 1;
    if (first) {
        signals_.assign(inputEnd, 0.0);
    } else {
        // The network carries its whole signal vector from one time step to the next.
        std::swap(signals_, outputs_);
        if (signals_.size() < inputEnd) signals_.resize(inputEnd, 0.0);
    }
    signals_[1] = input;
    outputs_.clear();
    network.calculateNodes(signals_, outputs_, messages());
    if (zeroFill && outputs_.empty()) {
        outputs_.assign(static_cast<std::size_t>(inputsNumber + outputsNumber) + 1, 0.0);
    }
}

void QANNProblemSinDouble::writeSignals(std::ostream& trace) const {
    for (std::size_t k = 2; k < outputs_.size(); ++k) trace << outputs_[k] << "\t";
    trace << "\n";
}

void QANNProblemSinDouble::runTrainingSeries(QRNIndividual& network, double& errorSum, double& energySum,
                                             std::ostream* trace) {
    const int cases = static_cast<int>(inputSets.size());
    for (int e = 0; e < kSineWarmUp && e < cases; ++e) {
        step(network, e == 0, inputSets[e][0], false);
        if (trace != nullptr) writeSignals(*trace);
    }
    for (int e = kSineWarmUp; e < cases; ++e) {
        step(network, e == 0, inputSets[e][0], true);
        if (trace != nullptr) writeSignals(*trace);
        energySum += network.signalChange;
        const double difference = readSignal(outputs_, inputsNumber + 1) - outputSets[e][0];
        errorSum += difference * difference;
    }
}

int QANNProblemSinDouble::evaluateNetwork(QRNIndividual& network) {
    int distance = 0;
    int steps = 0;
    network.analyseSignalPaths(distance, steps, scratch_);
    double meanError = 100.0;
    double meanEnergy = 100.0;
    if (distance >= 1) {
        double errorSum = 0.0;
        double energySum = 0.0;
        runTrainingSeries(network, errorSum, energySum, nullptr);
        const auto measured = static_cast<double>(static_cast<int>(inputSets.size()) - kSineWarmUp);
        meanError = errorSum / measured;
        meanEnergy = energySum / measured;
    }
    storeFitness(network, meanError, meanEnergy);
    return 1;
}

int QANNProblemSinDouble::testIndividual(QIndividual& individual) {
    if (individual.getEncoding() != Encoding::Network) {
        return reportWrongEncoding("\n\n[QANNProblemSinDouble::testIndividual] error:\n",
                                   individual.getEncoding());
    }
    auto& network = static_cast<QRNIndividual&>(individual);
    OutputFile report(engine().files, "qannsin.log");
    report << "Network output, testing:\n";

    int distance = 0;
    int steps = 0;
    network.analyseSignalPaths(distance, steps, scratch_);
    double meanError = 0.0;
    if (distance < 1) {
        engine().out() << "Incorrect network structure: The output is unreachable\n";
    } else {
        report << "Testing:\n";
        const int prediction = inputsNumber + 1;
        double errorSum = 0.0;
        double energySum = 0.0;
        runTrainingSeries(network, errorSum, energySum, &report);
        // Free run: the network's own last prediction is its next input.
        for (std::size_t i = 0; i < testOutputs.size(); ++i) {
            step(network, false, readSignal(outputs_, prediction), true);
            writeSignals(report);
            energySum += network.signalChange;
            const double difference = readSignal(outputs_, prediction) - testOutputs[i];
            errorSum += difference * difference;
        }
        meanError = errorSum / (2.0 * kSineTests);
        engine().out() << "Mean error = " << meanError << "\n"
                  << "Mean energy = " << energySum / kSineTests << "\n";
    }
    report << "\nError:\t" << meanError << "\n";
    report.verify();
    report.close();
    return 1;
}

}  // namespace Valdrin
