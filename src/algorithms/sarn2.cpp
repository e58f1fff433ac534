// QSARN2: the template network, the networks built from the parameter vectors in every
// evaluation, the roulette update of the template and the run's final evaluation.
#include "algorithms/sarn2.h"

#include <algorithm>
#include <iostream>
#include <sstream>

#include "algorithms/factory.h"
#include "algorithms/sarn.h"
#include "core/random.h"
#include "operators/initializers.h"
#include "problems/problem.h"
#include "representation/real.h"
#include "core/mean_variance.h"

namespace Valdrin {

QSARN2::QSARN2()
    : templateNetwork(std::make_unique<QRNIndividual>()), networkMutation(std::make_unique<QRNMutationBasic>(this)) {
    log.open("sarn2.log", std::ios::out | std::ios::trunc);
}

QSARN2::QSARN2(const QSARN2& other)
    : QEvolutionaryAlgorithm(other),
      templateNetwork(std::make_unique<QRNIndividual>()),
      networkMutation(std::make_unique<QRNMutationBasic>(this)),
      networkParams(other.networkParams) {}

QSARN2::~QSARN2() {
    if (log.is_open()) log.close();
}

int QSARN2::setParameters(QEAParameters* params) {
    QEAParameters vectors = *params;
    // A task that asks for networks gets them from real-coded parameter vectors.
    if (vectors.encoding == kNetworkEncoding) vectors.encoding = kRealEncoding;
    if (vectors.encoding != kRealEncoding || vectors.chromosomeLength < kMutationKinds) {
        std::ostringstream message;
        message << "\n\n[QSARN2::setParameters] error:\n"
                << "\tParameter vectors must be real-coded with at least " << kMutationKinds
                << " genes (encoding ID = " << vectors.encoding
                << ", chromosome length = " << vectors.chromosomeLength << ")\n\n";
        fail(message.str());
    }
    networkParams = *params;
    networkParams.encoding = kNetworkEncoding;
    QEvolutionaryAlgorithm::setParameters(&vectors);

    networkMutation->setParameters(&networkParams);
    templateNetwork->setParameters(&networkParams);
    // Every node starts connected to every external input and every external output.
    for (QRNGene& node : templateNetwork->genes) {
        QRNInitializer::connectFully(node, networkParams.inputsNumber, networkParams.outputsNumber);
    }
    return 1;
}

QPopulation& QSARN2::buildNetworks(bool writeBack) {
    QPopulation& networks = *factory->createPopulation(kNetworkEncoding);
    std::vector<double>& parameters = templateNetwork->mutationParameters;
    for (auto& member : currentPopulation->individuals) {
        // set-up guarantees real-coded vectors
        auto& vector = static_cast<QRCIndividual&>(*member);
        const std::size_t count = std::min<std::size_t>(kMutationKinds, vector.genes.size());
        std::copy_n(vector.genes.begin(), count, parameters.begin());
        networks.appendIndividual(*templateNetwork);
        auto& network = static_cast<QRNIndividual&>(*networks.individuals.back());
        networkMutation->setIndividual(&network);
        networkMutation->operate();
        if (writeBack) {
            std::copy_n(network.mutationParameters.begin(), count, vector.genes.begin());
        }
    }
    return networks;
}

void QSARN2::evaluateNetworks(QPopulation& networks, int g) {
    fitnessValues_.resize(networks.individuals.size());
    for (std::size_t i = 0; i < networks.individuals.size(); ++i) {
        QIndividual& network = *networks.individuals[i];
        QIndividual& vector = *currentPopulation->individuals[i];
        _params.problem->evaluateIndividual(network);
        vector.fitness = network.fitness;
        vector.fitnessComponents = network.fitnessComponents;
        countEvaluation(network, g, true);
        fitnessValues_[i] = network.fitness;
    }
}

int QSARN2::evaluate() {
    const bool crowding = _params.nichingType == Niching::DeterministicCrowding;
    const int g = summary.generationsDone;
    summary.reserveGeneration(g, _params.populationSize);
    QPopulation& networks = buildNetworks(true);
    const std::size_t n = networks.individuals.size();

    if (!crowding || g == 0) {
        evaluateNetworks(networks, g);
    } else {
        // The crowding step left each vector's fitness; its network takes it over, so that the
        // best network and a solution copy carry the fitness they were judged by.
        fitnessValues_.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            QIndividual& network = *networks.individuals[i];
            const QIndividual& vector = *currentPopulation->individuals[i];
            network.fitness = vector.fitness;
            network.fitnessComponents = vector.fitnessComponents;
            countEvaluation(network, g, true);
            fitnessValues_[i] = vector.fitness;
        }
    }

    if (!crowding && n > 0) {
        const double worst = *std::max_element(fitnessValues_.begin(), fitnessValues_.end());
        rouletteWeights_.resize(n);
        for (std::size_t i = 0; i < n; ++i) rouletteWeights_[i] = worst - fitnessValues_[i];
        // A draw that runs past the last network takes the last one.
        const int k = std::min(rouletteIndex(rouletteWeights_), static_cast<int>(n) - 1);
        templateNetwork->copy(*networks.individuals[static_cast<std::size_t>(k)]);
    }

    recordGenerationStatistics(g);

    if (const QIndividual* bestNetwork = networks.getBestIndividual(0.0)) {
        summary.bestIndividual = bestNetwork->clone();
    } else {
        reportMissingBest();
    }
    recordConvergence(g);

    int result = 1;
    if (!crowding) {
        if (_params.nichingType == Niching::Sharing && niching != nullptr) niching->operate();
        if (_params.untilFirstHit && summary.evaluationsToSolution != 0) result = 0;
    }
    factory->destroyLastPopulation();
    return result;
}

int QSARN2::finish() {
    if (_params.nichingType == Niching::DeterministicCrowding) {
        // The common crowding branch would keep a parameter vector as the run's best; the
        // network the last generation judged best stays instead.
        std::unique_ptr<QIndividual> bestNetwork = std::move(summary.bestIndividual);
        QEvolutionaryAlgorithm::finish();
        summary.bestIndividual = std::move(bestNetwork);
        return 1;
    }
    const int done = summary.generationsDone;
    QPopulation& networks = buildNetworks(false);
    evaluateNetworks(networks, done);
    // With no best network the run keeps the one its last generation found.
    if (const QIndividual* bestNetwork = networks.getBestIndividual(0.0)) summary.bestIndividual = bestNetwork->clone();
    factory->destroyLastPopulation();

    writeFinalLines();
    recordFinalConvergence();
    return 1;
}

int QSARN2::printName(std::ostream& out) const {
    out << "Self-adaptive regulatory network (indirect evolution)\n";
    return 1;
}

int QSARN2::reportStatistics(const std::vector<QRunSummary>& runs, std::ostream& out) {
    return reportNetworkStatistics(runs, out);
}

int QSARN2::run() { return runNetworkEvolution(*this, "\n\n[QSARN2::run] error:\n", false); }

std::unique_ptr<QEvolutionaryAlgorithm> QSARN2::clone() const { return std::make_unique<QSARN2>(*this); }

}  // namespace Valdrin
