// QEvolutionaryAlgorithm: run preparation, the generation steps shared by every algorithm and
// the run's final report.
#include "algorithms/algorithm.h"

#include <algorithm>
#include <limits>
#include <ostream>
#include <string>
#include <numeric>
#include <sstream>

#include "core/mean_variance.h"
#include "core/random.h"
#include "operators/niching.h"
#include "problems/evaluation_threads.h"
#include "problems/problem.h"

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

QEvolutionaryAlgorithm::QEvolutionaryAlgorithm(Engine& engine) : engine_(&engine) {}

QEvolutionaryAlgorithm::QEvolutionaryAlgorithm(Engine& engine, const std::string& logName)
    : engine_(&engine), log_(engine.files, logName) {}

QEvolutionaryAlgorithm::~QEvolutionaryAlgorithm() = default;

int QEvolutionaryAlgorithm::setUp(const QEAParameters& params, const PartsMaker& maker, QProblem& problem) {
    params_ = params;
    problem_ = &problem;
    evaluationThreads_.reset();
    evaluationThreadsMade_ = false;
    parts_ = maker.make(params_);
    useEngine(parts_, *engine_);
    if (parts_.crossover != nullptr) {
        // The pairing step makes exactly one pair of children from two parents; any other
        // arity would leave recombine waiting for children that never come.
        if (params_.parentsNumber != 2) {
            std::ostringstream message;
            message << "\n\n[QEvolutionaryAlgorithm::setParameters] error:\n"
                    << "\tCrossover needs exactly 2 parents (_params.parentsNumber = " << params_.parentsNumber
                    << ")\n\n";
            fail(message.str());
        }
        if (params_.childrenNumber < 2) {
            std::ostringstream message;
            message << "\n\n[QEvolutionaryAlgorithm::setParameters] error:\n"
                    << "\tCrossover needs at least 2 children (_params.childrenNumber = " << params_.childrenNumber
                    << ")\n\n";
            fail(message.str());
        }
    }
    breeding_ = makeBreeding(params_.nichingType, *engine_);
    sharing_ = params_.nichingType == Niching::Sharing ? static_cast<QFitnessSharing*>(parts_.niching.get()) : nullptr;
    reset();
    return 1;
}

int QEvolutionaryAlgorithm::run() {
    if (params_.generationsNumber < 1) {
        fail(runErrorHeader() + std::string("\tGenerations number is undefined! (_params.generationsNumber = ") +
             std::to_string(params_.generationsNumber) + ")\n\n");
    }
    const int budget = params_.evaluationsBudget;
    if (budget < 0) {
        fail(runErrorHeader() + std::string("\tEvaluations budget is negative! (_params.evaluationsBudget = ") +
             std::to_string(budget) + "; 0 sets no budget)\n\n");
    }
    // A restored run already has its record, populations and first log lines.
    if (!continuing_) {
        summary_.clear();
        summary_.startClock = engine_->clock.now();
        reset();
        log_ << "\nStarting a new run:\n" << "-------------------------------\n";
        beginRun();
    }
    continuing_ = false;

    // A budget ends the run after the generation in which its evaluations reach it; tested before
    // each generation, so that a run restored after that generation ends there too.
    const auto budgetSpent = [this, budget] { return budget > 0 && summary_.evaluationsCount >= budget; };
    for (int generation = summary_.generationsDone; generation < params_.generationsNumber && !budgetSpent();
         ++generation) {
        const auto slot = static_cast<std::size_t>(summary_.generationsDone);
        if (slot >= summary_.populationSizes.size()) summary_.populationSizes.resize(slot + 1, 0.0);
        summary_.populationSizes[slot] = currentPopulation().size();
        if (evaluate() != 1 && stopsWhenEvaluationAsks()) break;
        select();
        selectElite();
        recombine();
        mutate();
        replace();
        ++summary_.generationsDone;
        if (summary_.generationsDone % 10 == 0) engine_->out() << "." << std::flush;
        if (observer_) observer_(summary_);
    }

    engine_->out() << endingBeforeClock();
    summary_.endClock = engine_->clock.now();
    summary_.duration = static_cast<double>(summary_.endClock - summary_.startClock) / 1000.0;
    engine_->out() << endingAfterClock();
    finish();
    currentPopulation().print(log_);
    endRun();
    log_ << "Run duration: " << summary_.duration << " seconds\n";
    return 1;
}

int QEvolutionaryAlgorithm::reportStatistics(const std::vector<QRunSummary>& /*runs*/, std::ostream& /*out*/) const {
    return 1;
}

int QEvolutionaryAlgorithm::reset() {
    engine_->random.seed(params_.rngSeed, params_.generator, engine_->out());
    for (QPopulation* population : {&currentPopulation(), &matingPool(), &offspringPopulation()}) {
        population->setParameters(&params_);
    }
    parts_.initializer->setParameters(params_);
    parts_.selection->setParameters(params_);
    parts_.sizer->setParameters(params_);
    if (parts_.crossover != nullptr) {
        parts_.crossover->setParameters(params_);
        parts_.parentSelector->setParameters(params_);
    }
    parts_.mutation->setParameters(params_);
    if (parts_.niching != nullptr) parts_.niching->setParameters(params_);
    // Only the adaptive sizers read the run record and restart; the others ignore both.
    parts_.sizer->setRunStatistics(&summary_);
    parts_.sizer->reset();
    for (QPopulation* population : {&currentPopulation(), &matingPool(), &offspringPopulation()}) {
        parts_.initializer->initialize(*population);
    }
    offspringPopulation().clear();

    // The per-generation series start empty and grow as generations are recorded (evaluate).
    summary_.meanFitness.clear();
    summary_.fitnessVariance.clear();
    summary_.bestFitness.clear();
    summary_.worstFitness.clear();
    summary_.populationSizes.clear();
    summary_.bestIndividual.reset();
    return 1;
}

// One evaluation counted in generation g, with the first-hit bookkeeping.
void QEvolutionaryAlgorithm::countEvaluation(const QIndividual& individual, int g, bool keepSolution) {
    ++summary_.evaluationsCount;
    summary_.noteEvaluatedFitness(individual.fitness);
    if (individual.fitness < params_.errorLevel && summary_.evaluationsToSolution == 0) {
        summary_.hitClock = engine_->clock.now();
        summary_.evaluationsToSolution = summary_.evaluationsCount;
        summary_.generationOfSolution = g;
        summary_.timeToSolution = static_cast<double>(summary_.hitClock - summary_.startClock) / 1000.0;
        if (keepSolution) summary_.solutionIndividual = individual.clone();
    }
}

bool QEvolutionaryAlgorithm::handsOverGenerations() const {
    return engine_->threads > 1 || problem_->prefersWholeGenerations();
}

void QEvolutionaryAlgorithm::evaluateTogether(QPopulation& population) {
    handedOver_.clear();
    for (const auto& individual : population.individuals) handedOver_.push_back(individual.get());
    const int threads = engine_->threads;
    if (threads > 1 && !evaluationThreadsMade_) {
        evaluationThreads_ = EvaluationThreads::make(*problem_, threads);
        evaluationThreadsMade_ = true;
    }
    const EvaluationThreads::Offer offer(evaluationThreads_.get());
    problem_->evaluateAll(handedOver_, threads);
}

int QEvolutionaryAlgorithm::evaluate() {
    const bool judgedAtBirth = breeding_->judgesAtBirth();
    const int g = summary_.generationsDone;
    summary_.reserveGeneration(g, params_.populationSize);
    QPopulation& population = currentPopulation();
    const int n = population.size();
    fitnessValues_.resize(static_cast<std::size_t>(n));
    if (handsOverGenerations()) {
        // Evaluated together, then counted in index order as the loop below counts them.
        if (!judgedAtBirth || g == 0) evaluateTogether(population);
        for (int i = 0; i < n; ++i) {
            const QIndividual& individual = *population.individuals[static_cast<std::size_t>(i)];
            countEvaluation(individual, g, !judgedAtBirth);
            fitnessValues_[static_cast<std::size_t>(i)] = individual.fitness;
        }
    } else {
        for (int i = 0; i < n; ++i) {
            QIndividual& individual = *population.individuals[static_cast<std::size_t>(i)];
            // Children judged at birth were evaluated when they were made.
            if (!judgedAtBirth || g == 0) problem_->evaluateIndividual(individual);
            countEvaluation(individual, g, !judgedAtBirth);
            fitnessValues_[static_cast<std::size_t>(i)] = individual.fitness;
        }
    }
    summary_.evaluationsByGeneration[static_cast<std::size_t>(g)] = summary_.evaluationsCount;

    recordGenerationStatistics(g);

    const QIndividual* bestOne = population.getBestIndividual(0.0);
    keepBestCopy(summary_, bestOne);
    if (bestOne == nullptr && !judgedAtBirth) reportMissingBest();

    recordConvergence(g);
    if (judgedAtBirth) return 1;

    if (sharing_ != nullptr) sharing_->share(population);
    if (params_.untilFirstHit && summary_.evaluationsToSolution != 0) return 0;
    return 1;
}

void QEvolutionaryAlgorithm::reportMissingBest() {
    engine_->out() << "?";
    log_ << "strange results:\n";
    currentPopulation().print(log_);
    log_ << "\n";
}

void QEvolutionaryAlgorithm::recordGenerationStatistics(int g) {
    const auto [mean, variance] = meanAndVariance(fitnessValues_);
    const auto slot = static_cast<std::size_t>(g);
    summary_.meanFitness[slot] = mean;
    summary_.fitnessVariance[slot] = variance;
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
    summary_.bestFitness[slot] = best;
    summary_.worstFitness[slot] = worst;
}

void QEvolutionaryAlgorithm::recordConvergence(int g) {
    const auto slot = static_cast<std::size_t>(g);
    if (g > 0 && summary_.bestFitness[slot] == summary_.worstFitness[slot] && summary_.convergenceGeneration == 0) {
        summary_.convergenceGeneration = g + 1;
    }
}

int QEvolutionaryAlgorithm::finish() {
    const bool judgedAtBirth = breeding_->judgesAtBirth();
    const int done = summary_.generationsDone;
    if (handsOverGenerations()) {
        if (!judgedAtBirth || done == 0) evaluateTogether(currentPopulation());
        for (const auto& individual : currentPopulation().individuals) countEvaluation(*individual, done, false);
    } else {
        for (auto& individual : currentPopulation().individuals) {
            if (!judgedAtBirth || done == 0) problem_->evaluateIndividual(*individual);
            countEvaluation(*individual, done, false);
        }
    }
    keepBestCopy(summary_, currentPopulation().getBestIndividual(0.0));

    if (!judgedAtBirth) writeFinalLines();
    recordFinalConvergence();
    return 1;
}

void QEvolutionaryAlgorithm::writeFinalLines() const {
    // The last recorded generation; generation 0 when none was completed.
    const int done = summary_.generationsDone;
    const int last = done > 0 ? done - 1 : 0;
    engine_->out() << "Final best fitness = " << recordedValue(summary_.bestFitness, last) << "\n"
              << "Final worst fitness = " << recordedValue(summary_.worstFitness, last) << "\n"
              << "Convergence generation = " << summary_.convergenceGeneration << "\n";
}

void QEvolutionaryAlgorithm::recordFinalConvergence() {
    const int done = summary_.generationsDone;
    if (done <= 0 || summary_.convergenceGeneration != 0) return;
    // A run stopped by an evaluation (its first hit) recorded the generation it did not complete;
    // one that went to its end or spent its budget stopped after its last completed generation.
    const bool stoppedInEvaluation = static_cast<std::size_t>(done) < summary_.evaluationsByGeneration.size();
    if (done < params_.generationsNumber && stoppedInEvaluation) {
        if (recordedValue(summary_.bestFitness, done) == recordedValue(summary_.worstFitness, done)) {
            summary_.convergenceGeneration = done + 1;
        }
    } else if (done <= params_.generationsNumber) {
        if (recordedValue(summary_.bestFitness, done - 1) == recordedValue(summary_.worstFitness, done - 1)) {
            summary_.convergenceGeneration = done;
        }
    }
}

int QEvolutionaryAlgorithm::select() {
    breeding_->fillMatingPool(parts_);
    return 1;
}

int QEvolutionaryAlgorithm::selectElite() {
    eliteCopies_ = 0;
    const int count = params_.eliteCount;
    if (count < 1) return 1;
    // Kept elite are the best of the generation just evaluated, so that the best individual
    // cannot be lost by not being drawn into the mating pool; mutated elite are the best of the
    // pool, as they always were.
    const QPopulation& pool = params_.elitism == Elitism::Kept ? currentPopulation() : matingPool();
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
            log_ << header << text;
            currentPopulation().print(log_);
            fail(std::string(header) + text);
        }
        const auto slot = eliteCandidates_.begin() + chosen;
        offspringPopulation().appendIndividual(*pool.individuals[static_cast<std::size_t>(*slot)]);
        eliteCandidates_.erase(slot);
        ++eliteCopies_;
    }
    return 1;
}

int QEvolutionaryAlgorithm::recombine() {
    QPopulation& offspring = offspringPopulation();
    if (parts_.crossover != nullptr) {
        int stalled = 0;
        while (!parts_.sizer->isPopulationFull(offspring)) {
            const int before = offspring.size();
            breeding_->pair(parts_, *problem_, params_);
            if (offspring.size() > before) {
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
    parts_.sizer->resize(offspring);
    return 1;
}

int QEvolutionaryAlgorithm::mutate() {
    // The elite copies lead the offspring population; a sizer may have cut it below their count.
    const int kept = params_.elitism == Elitism::Kept ? std::min(eliteCopies_, offspringPopulation().size()) : 0;
    breeding_->mutateOffspring(parts_, kept);
    return 1;
}

int QEvolutionaryAlgorithm::replace() {
    // Handing the offspring objects over leaves the current population exactly as copying them
    // would (a copy takes every field, the parameter record included), without the copying.
    currentPopulation().individuals.swap(offspringPopulation().individuals);
    offspringPopulation().clear();
    return 1;
}

int QEvolutionaryAlgorithm::cleanup() {
    parts_ = AlgorithmParts{};
    sharing_ = nullptr;
    evaluationThreads_.reset();
    evaluationThreadsMade_ = false;
    summary_.clear();
    return 1;
}

}  // namespace Valdrin
