// QEvolutionaryAlgorithm: run preparation, the generation steps shared by every algorithm and
// the run's final report.
#include "algorithms/algorithm.h"

#include <iostream>
#include <limits>
#include <numeric>
#include <sstream>

#include "algorithms/factory.h"
#include "core/random.h"
#include "operators/niching.h"
#include "problems/problem.h"
#include "core/mean_variance.h"

namespace Valdrin {

namespace {

// Pairing steps in a row that may add no child before recombine gives up.
constexpr int kStalledPairingLimit = 50000;
// getBestIndividual and getBestIndex start their running minimum here.
constexpr double kNoFitness = 1e9;

// Replaces the record's best individual by a copy of best (none when best is null), reusing the
// copy held from the previous generation when it is of the same class.
void keepBestCopy(QRunSummary& summary, const QIndividual* best) {
    if (best == nullptr) {
        summary.bestIndividual.reset();
    } else if (summary.bestIndividual != nullptr && summary.bestIndividual->getEncoding() == best->getEncoding()) {
        summary.bestIndividual->copy(*best);
    } else {
        summary.bestIndividual = best->clone();
    }
}


}  // namespace

QEvolutionaryAlgorithm::QEvolutionaryAlgorithm() : factory(std::make_shared<QEAFactory>(this)) {}

QEvolutionaryAlgorithm::QEvolutionaryAlgorithm(const QEvolutionaryAlgorithm& other)
    : _params(other._params), factory(other.factory) {}

QEvolutionaryAlgorithm::~QEvolutionaryAlgorithm() {
    factory.reset();
    forgetBorrowedObjects();
    if (log.is_open()) log.close();
}

void QEvolutionaryAlgorithm::forgetBorrowedObjects() {
    currentPopulation = matingPool = offspringPopulation = nullptr;
    initializer = nullptr;
    niching = nullptr;
    selection = nullptr;
    sizer = nullptr;
    crossover = nullptr;
    mutation = nullptr;
}

QEvolutionaryAlgorithm& QEvolutionaryAlgorithm::assign(const QEvolutionaryAlgorithm& other) {
    if (&other == this) return *this;
    _params = other._params;
    if (factory != other.factory) {
        // The borrowed populations and operators belong to the factory being let go.
        forgetBorrowedObjects();
        factory = other.factory;
    }
    return *this;
}

int QEvolutionaryAlgorithm::setParameters(QEAParameters* params) {
    _params = *params;
    currentPopulation = factory->createPopulation(_params.encoding);
    matingPool = factory->createPopulation(_params.encoding);
    offspringPopulation = factory->createPopulation(_params.encoding);
    initializer = factory->createInitializer(_params.encoding);
    niching = factory->createNiching(_params.nichingType);
    selection = factory->createSelection(_params.selectionType);
    sizer = factory->createPopulationSizer(_params.populationSizerType);
    crossover = factory->createCrossover(_params.encoding, _params.xType);
    mutation = factory->createMutation(_params.encoding, _params.mutationType);
    if (crossover != nullptr) {
        // The pairing step makes exactly one pair of children from two parents; any other
        // arity would leave recombine waiting for children that never come.
        if (_params.parentsNumber != 2) {
            std::ostringstream message;
            message << "\n\n[QEvolutionaryAlgorithm::setParameters] error:\n"
                    << "\tCrossover needs exactly 2 parents (_params.parentsNumber = " << _params.parentsNumber
                    << ")\n\n";
            fail(message.str());
        }
        if (_params.childrenNumber < 2) {
            std::ostringstream message;
            message << "\n\n[QEvolutionaryAlgorithm::setParameters] error:\n"
                    << "\tCrossover needs at least 2 children (_params.childrenNumber = " << _params.childrenNumber
                    << ")\n\n";
            fail(message.str());
        }
    }
    reset();
    return 1;
}

int QEvolutionaryAlgorithm::reset() {
    seedGenerator(_params.rngSeed);
    currentPopulation->setParameters(&_params);
    matingPool->setParameters(&_params);
    offspringPopulation->setParameters(&_params);
    initializer->setParameters(&_params);
    selection->setParameters(&_params);
    selection->setPopulations(currentPopulation, matingPool);
    sizer->setParameters(&_params);
    sizer->setPopulation(offspringPopulation);
    if (crossover != nullptr) {
        crossover->setParameters(&_params);
        // Parents are always drawn at random; the record's choice is only reported.
        crossover->setParentSelector(factory->createParentSelector(ParentSelection::Random));
        crossover->setPopulations(matingPool, offspringPopulation);
    }
    mutation->setParameters(&_params);
    if (_params.nichingType != Niching::None && niching != nullptr) {
        niching->setParameters(&_params);
        niching->setPopulation(currentPopulation);
        if (_params.nichingType == Niching::Sharing) {
            static_cast<QFitnessSharing*>(niching)->setSigma(_params.sharingSigma);
        }
    }
    // Only the adaptive sizers read the run record and restart; the others ignore both.
    sizer->setRunStatistics(&summary);
    sizer->reset();
    for (QPopulation* population : {currentPopulation, matingPool, offspringPopulation}) {
        initializer->setPopulation(population);
        initializer->operate();
    }
    offspringPopulation->clear();

    const auto generations = static_cast<std::size_t>(_params.generationsNumber > 0 ? _params.generationsNumber : 0);
    summary.meanFitness.assign(generations, 0.0);
    summary.fitnessVariance.assign(generations, 0.0);
    summary.bestFitness.assign(generations, 0.0);
    summary.worstFitness.assign(generations, 0.0);
    summary.populationSizes.assign(generations, static_cast<double>(_params.populationSize));
    summary.bestIndividual.reset();
    return 1;
}

// One evaluation counted in generation g, with the first-hit bookkeeping.
void QEvolutionaryAlgorithm::countEvaluation(const QIndividual& individual, int g, bool keepSolution) {
    ++summary.evaluationsCount;
    if (individual.fitness < _params.errorLevel && summary.evaluationsToSolution == 0) {
        summary.hitClock = processorClock();
        summary.evaluationsToSolution = summary.evaluationsCount;
        summary.generationOfSolution = g;
        summary.timeToSolution = static_cast<double>(summary.hitClock - summary.startClock) / 1000.0;
        if (keepSolution) summary.solutionIndividual = individual.clone();
    }
}

int QEvolutionaryAlgorithm::evaluate() {
    const bool crowding = _params.nichingType == Niching::DeterministicCrowding;
    const int g = summary.generationsDone;
    summary.reserveGeneration(g, _params.populationSize);
    QPopulation& population = *currentPopulation;
    const int n = population.size();
    fitnessValues_.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        QIndividual& individual = *population.individuals[static_cast<std::size_t>(i)];
        // Under crowding the children were evaluated when they were made.
        if (!crowding || g == 0) _params.problem->evaluateIndividual(individual);
        countEvaluation(individual, g, !crowding);
        fitnessValues_[static_cast<std::size_t>(i)] = individual.fitness;
    }

    recordGenerationStatistics(g);

    const QIndividual* bestOne = population.getBestIndividual(0.0);
    keepBestCopy(summary, bestOne);
    if (bestOne == nullptr && !crowding) reportMissingBest();

    recordConvergence(g);
    if (crowding) return 1;

    if (_params.nichingType == Niching::Sharing && niching != nullptr) niching->operate();
    if (_params.untilFirstHit && summary.evaluationsToSolution != 0) return 0;
    return 1;
}

void QEvolutionaryAlgorithm::reportMissingBest() {
    std::cout << "?";
    log << "strange results:\n";
    currentPopulation->print(log);
    log << "\n";
}

void QEvolutionaryAlgorithm::recordGenerationStatistics(int g) {
    const auto [mean, variance] = meanAndVariance(fitnessValues_);
    const auto slot = static_cast<std::size_t>(g);
    summary.meanFitness[slot] = mean;
    summary.fitnessVariance[slot] = variance;
    // The first occurrence wins ties; no individuals leave NaN.
    double best = std::numeric_limits<double>::quiet_NaN();
    double worst = best;
    if (!fitnessValues_.empty()) {
        best = worst = fitnessValues_[0];
        for (double f : fitnessValues_) {
            if (f < best) best = f;
            if (f > worst) worst = f;
        }
    }
    summary.bestFitness[slot] = best;
    summary.worstFitness[slot] = worst;
}

void QEvolutionaryAlgorithm::recordConvergence(int g) {
    const auto slot = static_cast<std::size_t>(g);
    if (g > 0 && summary.bestFitness[slot] == summary.worstFitness[slot] && summary.convergenceGeneration == 0) {
        summary.convergenceGeneration = g + 1;
    }
}

int QEvolutionaryAlgorithm::finish() {
    const bool crowding = _params.nichingType == Niching::DeterministicCrowding;
    const int done = summary.generationsDone;
    for (auto& individual : currentPopulation->individuals) {
        if (!crowding || done == 0) _params.problem->evaluateIndividual(*individual);
        countEvaluation(*individual, done, false);
    }
    keepBestCopy(summary, currentPopulation->getBestIndividual(0.0));

    if (!crowding) writeFinalLines();
    recordFinalConvergence();
    return 1;
}

void QEvolutionaryAlgorithm::writeFinalLines() const {
    // The last recorded generation; generation 0 when none was completed.
    const int done = summary.generationsDone;
    const int last = done > 0 ? done - 1 : 0;
    std::cout << "Final best fitness = " << recordedValue(summary.bestFitness, last) << "\n"
              << "Final worst fitness = " << recordedValue(summary.worstFitness, last) << "\n"
              << "Convergence generation = " << summary.convergenceGeneration << "\n";
}

void QEvolutionaryAlgorithm::recordFinalConvergence() {
    const int done = summary.generationsDone;
    if (done <= 0 || summary.convergenceGeneration != 0) return;
    if (done == _params.generationsNumber) {
        if (recordedValue(summary.bestFitness, done - 1) == recordedValue(summary.worstFitness, done - 1)) {
            summary.convergenceGeneration = done;
        }
    } else if (done < _params.generationsNumber) {
        if (recordedValue(summary.bestFitness, done) == recordedValue(summary.worstFitness, done)) {
            summary.convergenceGeneration = done + 1;
        }
    }
}

int QEvolutionaryAlgorithm::select() {
    if (_params.nichingType != Niching::DeterministicCrowding) {
        selection->operate();
        return 1;
    }
    matingPool->clear();
    for (const auto& individual : currentPopulation->individuals) {
        if (coinFlip()) {
            matingPool->appendIndividual(*individual);
        } else {
            matingPool->insertIndividual(*individual);
        }
    }
    return 1;
}

int QEvolutionaryAlgorithm::selectElite() {
    const int count = _params.eliteCount;
    if (count < 1) return 1;
    const QPopulation& pool = *matingPool;
    if (count > pool.size()) {
        fail("\n\n[QEvolutionaryAlgorithm::selectElite] error:\n"
              "\tNumber of elite individuals exceeds total number of individuals\n\n");
    }
    // The mating pool's indices stand in for a scratch copy of the pool from which each chosen
    // individual is removed; the best is found by the same rule as getBestIndex.
    eliteCandidates_.resize(static_cast<std::size_t>(pool.size()));
    std::iota(eliteCandidates_.begin(), eliteCandidates_.end(), 0);
    for (int e = 0; e < count; ++e) {
        double minimum = kNoFitness;
        int chosen = -1;
        for (std::size_t k = 0; k < eliteCandidates_.size(); ++k) {
            const double f = pool.individuals[static_cast<std::size_t>(eliteCandidates_[k])]->fitness;
            if (f < minimum && minimum > 0.0) {
                minimum = f;
                chosen = static_cast<int>(k);
            }
        }
        if (chosen < 0) {
            const char* header = "\n\n[QEvolutionaryAlgorithm::selectElite] error:\n";
            const char* text = "\tUnable to perform elite selection\n\n";
            log << header << text;
            currentPopulation->print(log);
            fail(std::string(header) + text);
        }
        const auto slot = eliteCandidates_.begin() + chosen;
        offspringPopulation->appendIndividual(*pool.individuals[static_cast<std::size_t>(*slot)]);
        eliteCandidates_.erase(slot);
    }
    return 1;
}

int QEvolutionaryAlgorithm::recombine() {
    if (crossover != nullptr) {
        int stalled = 0;
        while (!sizer->isPopulationFull()) {
            const int before = offspringPopulation->size();
            crossover->operate();
            if (offspringPopulation->size() > before) {
                stalled = 0;
            } else if (++stalled >= kStalledPairingLimit) {
                std::ostringstream message;
                message << "\n\n[QEvolutionaryAlgorithm::recombine] error:\n"
                        << "\tNo child could be added to the offspring population in " << kStalledPairingLimit
                        << " crossover steps in a row (clone removal rejected every child)\n\n";
                fail(message.str());
            }
        }
    }
    sizer->operate();
    return 1;
}

int QEvolutionaryAlgorithm::mutate() {
    if (_params.nichingType == Niching::DeterministicCrowding) return 1;
    for (auto& individual : offspringPopulation->individuals) {
        mutation->setIndividual(individual.get());
        mutation->operate();
    }
    return 1;
}

int QEvolutionaryAlgorithm::replace() {
    // Handing the offspring objects over leaves the current population exactly as copying them
    // would (a copy takes every field, the parameter record included), without the copying.
    currentPopulation->individuals.swap(offspringPopulation->individuals);
    offspringPopulation->clear();
    return 1;
}

int QEvolutionaryAlgorithm::cleanup() {
    factory->destroyAll();
    forgetBorrowedObjects();
    summary.clear();
    return 1;
}

}  // namespace Valdrin
