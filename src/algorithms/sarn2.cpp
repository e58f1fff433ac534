// QSARN2: the template network, the networks built from the parameter vectors in every
// evaluation, the roulette update of the template and the run's final evaluation.
#include "algorithms/sarn2.h"

#include <algorithm>
#include <ostream>
#include <sstream>

#include "algorithms/sarn.h"
#include "core/random.h"
#include "operators/initializers.h"
#include "operators/niching.h"
#include "problems/problem.h"
#include "representation/real.h"
#include "core/mean_variance.h"

namespace Valdrin {

QSARN2::QSARN2(Engine& engine)
    : QNetworkEvolution(engine, "sarn2.log"),
      templateNetwork_(std::make_unique<QRNIndividual>()),
      networkMutation_(std::make_unique<QRNMutationBasic>()),
      networks_(std::make_unique<QRNPopulation>()) {}

QSARN2::~QSARN2() = default;

int QSARN2::setUp(const QEAParameters& params, const PartsMaker& maker, QProblem& problem) {
    QEAParameters vectors = params;
    // A task that asks for networks gets them from real-coded parameter vectors.
    if (vectors.encoding == Encoding::Network) vectors.encoding = Encoding::Real;
    if (vectors.encoding != Encoding::Real || vectors.chromosomeLength < kMutationKinds) {
        std::ostringstream message;
        message << "\n\n[QSARN2::setParameters] error:\n"
                << "\tParameter vectors must be real-coded with at least " << kMutationKinds
                << " genes (encoding ID = " << number(vectors.encoding)
                << ", chromosome length = " << vectors.chromosomeLength << ")\n\n";
        fail(message.str());
    }
    networkParams_ = params;
    networkParams_.encoding = Encoding::Network;
    QEvolutionaryAlgorithm::setUp(vectors, maker, problem);

    networkMutation_->setParameters(networkParams_);
    networkMutation_->useEngine(engine());
    templateNetwork_->setParameters(&networkParams_);
    // Every node starts connected to every external input and every external output.
    for (QRNGene& node : templateNetwork_->genes) {
        QRNInitializer::connectFully(node, networkParams_.inputsNumber, networkParams_.outputsNumber, engine().random);
    }
    return 1;
}

QPopulation& QSARN2::buildNetworks(bool writeBack) {
    QPopulation& networks = *networks_;
    std::vector<double>& parameters = templateNetwork_->mutationParameters;
    for (auto& member : currentPopulation().individuals) {
        // set-up guarantees real-coded vectors
        auto& vector = static_cast<QRCIndividual&>(*member);
        const std::size_t count = std::min<std::size_t>(kMutationKinds, vector.genes.size());
        std::copy_n(vector.genes.begin(), count, parameters.begin());
        networks.appendIndividual(*templateNetwork_);
        auto& network = static_cast<QRNIndividual&>(*networks.individuals.back());
        networkMutation_->mutate(network);
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
        QIndividual& vector = *currentPopulation().individuals[i];
        problem_->evaluateIndividual(network);
        vector.fitness = network.fitness;
        vector.fitnessComponents = network.fitnessComponents;
        countEvaluation(network, g, true);
        fitnessValues_[i] = network.fitness;
    }
}

int QSARN2::evaluate() {
    const bool crowding = breeding_->judgesAtBirth();
    const int g = summary_.generationsDone;
    summary_.reserveGeneration(g, params_.populationSize);
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
            const QIndividual& vector = *currentPopulation().individuals[i];
            network.fitness = vector.fitness;
            network.fitnessComponents = vector.fitnessComponents;
            countEvaluation(network, g, true);
            fitnessValues_[i] = vector.fitness;
        }
    }
    summary_.evaluationsByGeneration[static_cast<std::size_t>(g)] = summary_.evaluationsCount;

    if (!crowding && n > 0) {
        const double worst = *std::max_element(fitnessValues_.begin(), fitnessValues_.end());
        rouletteWeights_.resize(n);
        for (std::size_t i = 0; i < n; ++i) rouletteWeights_[i] = worst - fitnessValues_[i];
        // A draw that runs past the last network takes the last one.
        const int k = std::min(engine().random.rouletteIndex(rouletteWeights_), static_cast<int>(n) - 1);
        templateNetwork_->copy(*networks.individuals[static_cast<std::size_t>(k)]);
    }

    recordGenerationStatistics(g);

    if (const QIndividual* bestNetwork = networks.getBestIndividual(0.0)) {
        keepBestNetwork(*bestNetwork);
    } else {
        reportMissingBest();
    }
    recordConvergence(g);

    int result = 1;
    if (!crowding) {
        if (sharing_ != nullptr) sharing_->share(currentPopulation());
        if (params_.untilFirstHit && summary_.evaluationsToSolution != 0) result = 0;
    }
    networks.clear();
    return result;
}

int QSARN2::finish() {
    if (breeding_->judgesAtBirth()) {
        // The common crowding branch would keep a parameter vector as the run's best; the
        // network the last generation judged best stays instead.
        std::unique_ptr<QIndividual> bestNetwork = std::move(summary_.bestIndividual);
        QEvolutionaryAlgorithm::finish();
        summary_.bestIndividual = std::move(bestNetwork);
        return 1;
    }
    const int done = summary_.generationsDone;
    QPopulation& networks = buildNetworks(false);
    evaluateNetworks(networks, done);
    // With no best network the run keeps the one its last generation found.
    if (const QIndividual* bestNetwork = networks.getBestIndividual(0.0)) keepBestNetwork(*bestNetwork);
    networks.clear();

    writeFinalLines();
    recordFinalConvergence();
    return 1;
}

void QSARN2::keepBestNetwork(const QIndividual& network) {
    if (summary_.bestIndividual != nullptr && summary_.bestIndividual->getEncoding() == network.getEncoding()) {
        summary_.bestIndividual->copy(network);
    } else {
        summary_.bestIndividual = network.clone();
    }
}

int QSARN2::printName(std::ostream& out) const {
    out << "Self-adaptive regulatory network (indirect evolution)\n";
    return 1;
}

const char* QSARN2::runErrorHeader() const { return "\n\n[QSARN2::run] error:\n"; }

}  // namespace Valdrin
