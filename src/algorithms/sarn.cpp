// QSARN: asexual reproduction, the run loop that may stop at the first hit, and the report over
// runs about the evolved networks.
#include "algorithms/sarn.h"

#include <cstdint>
#include <ostream>

#include "core/random.h"
#include "problems/problem.h"
#include "representation/network.h"
#include "core/mean_variance.h"

namespace Valdrin {

QSARN::QSARN(Engine& engine) : QNetworkEvolution(engine, "sarn.log") {}

int QSARN::recombine() {
    QPopulation& pool = matingPool();
    QPopulation& offspring = offspringPopulation();
    const int m = pool.size();
    offspring.copy(pool);
    // The copy replaced the elite copies: none lead the offspring.
    eliteCopies_ = 0;
    // An empty mating pool has nothing to clone: the offspring stay as they are.
    while (m > 0 && !parts().sizer->isPopulationFull(offspring)) {
        // A draw of exactly 1 (or just above it) would reach one past the pool.
        const int k = engine().random.uniformInt(m);
        offspring.appendIndividual(*pool.individuals[static_cast<std::size_t>(k)]);
    }
    parts().sizer->resize(offspring);
    return 1;
}

int QSARN::printName(std::ostream& out) const {
    out << "Self-adaptive regulatory network\n";
    return 1;
}

// The message names the genetic algorithm's run, as it always has.
const char* QSARN::runErrorHeader() const { return "\n\n[QGeneticAlgorithm::run] error:\n"; }

int QNetworkEvolution::reportStatistics(const std::vector<QRunSummary>& runs, std::ostream& out) const {
    return reportNetworkStatistics(runs, out);
}

void QNetworkEvolution::beginRun() {
    currentPopulation().print(log());
    log().flush();
}

void QNetworkEvolution::endRun() {
    // A run whose population never had a best individual has nothing to test.
    QIndividual* reported =
        summary_.solutionIndividual ? summary_.solutionIndividual.get() : summary_.bestIndividual.get();
    if (reported != nullptr) problem_->testIndividual(*reported);
}

namespace {

// Sums over one group of runs (the solved ones or the others).
struct NetworkSums {
    int runs = 0;
    std::int64_t nodes = 0;
    std::int64_t nodeSquares = 0;
    std::vector<double> parameters = std::vector<double>(kMutationKinds, 0.0);
    std::vector<std::int64_t> counters = std::vector<std::int64_t>(kMutationKinds, 0);

    void add(const QRNIndividual& network) {
        ++runs;
        const std::int64_t k = network.getGenesNumber();
        nodes += k;
        nodeSquares += k * k;
        for (std::size_t i = 0; i < kMutationKinds && i < network.mutationParameters.size(); ++i) {
            parameters[i] += network.mutationParameters[i];
        }
        for (std::size_t i = 0; i < kMutationKinds && i < network.historyCounters.size(); ++i) {
            counters[i] += network.historyCounters[i];
        }
    }

    void writeSize(std::ostream& out) const {
        const double n = runs;
        const double mean = static_cast<double>(nodes) / n;
        const double deviation = ((static_cast<double>(nodeSquares) / n - mean * mean) * n) / (n - 1);
        out << "Average number of nodes:\t" << mean << "\n"
            << "Deviation of the number of nodes:\t" << deviation << "\n";
    }

    void writeParameters(std::ostream& out) const {
        for (double sum : parameters) out << sum / runs << " ";
        out << "\n";
    }

    void writeCounters(std::ostream& out) const {
        for (std::int64_t sum : counters) out << sum << " ";
        out << "\n";
    }
};

// The individual a run is judged by: its first solution when it was solved (its best when no
// solution was kept), else its best; null when that is not a network.
const QRNIndividual* examinedNetwork(const QRunSummary& run) {
    const QIndividual* individual = run.bestIndividual.get();
    if (run.evaluationsToSolution != 0 && run.solutionIndividual) individual = run.solutionIndividual.get();
    if (individual == nullptr || individual->getEncoding() != Encoding::Network) return nullptr;
    return static_cast<const QRNIndividual*>(individual);
}

}  // namespace

int reportNetworkStatistics(const std::vector<QRunSummary>& runs, std::ostream& out) {
    NetworkSums solutions;
    NetworkSums candidates;
    std::vector<int> histogram;
    std::vector<int> degrees;
    double degreeMeans = 0.0;
    double degreeVariances = 0.0;
    for (const QRunSummary& run : runs) {
        const QRNIndividual* network = examinedNetwork(run);
        if (network == nullptr) continue;
        if (run.evaluationsToSolution == 0) {
            candidates.add(*network);
            continue;
        }
        solutions.add(*network);
        network->getNodeDegrees(degrees);
        for (int d : degrees) {
            if (d < 0) continue;
            if (histogram.size() <= static_cast<std::size_t>(d)) histogram.resize(static_cast<std::size_t>(d) + 1, 0);
            ++histogram[static_cast<std::size_t>(d)];
        }
        const auto [mean, variance] = meanAndVariance(degrees);
        degreeMeans += mean;
        degreeVariances += variance;
    }
    // Runs of another encoding have no networks to describe.
    if (solutions.runs == 0 && candidates.runs == 0) return 1;

    const int S = solutions.runs;
    const bool unsolved = candidates.runs > 0;
    out << "> Solutions summary (" << S << "):\n";
    solutions.writeSize(out);
    if (unsolved) {
        out << "> Candidate-solutions summary (" << candidates.runs << "):\n";
        candidates.writeSize(out);
    }

    if (S > 0) {
        out << "> Distribution of nodes degrees over the population of solutions:\t";
        for (int count : histogram) out << " " << count;
        out << "\n"
            << "\tMean nodes degree:\t" << degreeMeans / S << "\n"
            << "\tAveraged deviation of the nodes degree:\t" << degreeVariances / S << "\n";
        out << "> Averaged vector of mutation parameters for the solutions:\t";
        solutions.writeParameters(out);
    }
    if (unsolved) {
        out << "> Averaged vector of mutation parameters for the candidates:\t";
        candidates.writeParameters(out);
    }

    out << "> Cumulative history events counters for the solutions:\t";
    solutions.writeCounters(out);
    if (unsolved) {
        out << "> Cumulative history events counters for the candidates:\t";
        candidates.writeCounters(out);
    }
    return 1;
}

}  // namespace Valdrin
