// QEvolutionaryAlgorithm: the generation steps common to every algorithm (evaluate, select,
// elite selection, recombine, mutate, replace), run preparation and the run's final report.
#pragma once

#include <iosfwd>
#include <memory>
#include <vector>

#include "core/failure.h"
#include "core/parameters.h"
#include "operators/operator.h"
#include "statistics/run_summary.h"

namespace Valdrin {

class QEAFactory;

class QEvolutionaryAlgorithm {
public:
    QEAParameters _params;  // the algorithm's own copy
    QRunSummary summary;    // record of the current run
    std::shared_ptr<QEAFactory> factory;  // shared with clones; owns populations and operators

    QPopulation* currentPopulation = nullptr;
    QPopulation* matingPool = nullptr;
    QPopulation* offspringPopulation = nullptr;
    QInitializer* initializer = nullptr;
    QNichingOperator* niching = nullptr;      // null without niching
    QSelection* selection = nullptr;
    QPopulationSizer* sizer = nullptr;
    QCrossoverOperator* crossover = nullptr;  // null for networks
    QMutationOperator* mutation = nullptr;

    OutputFile log;  // opened by the concrete class

    QEvolutionaryAlgorithm();
    // Copies the parameters and shares the factory; fresh summary, closed log.
    QEvolutionaryAlgorithm(const QEvolutionaryAlgorithm& other);
    QEvolutionaryAlgorithm& operator=(const QEvolutionaryAlgorithm&) = delete;
    virtual ~QEvolutionaryAlgorithm();

    // Copies _params and the factory from the other algorithm.
    QEvolutionaryAlgorithm& assign(const QEvolutionaryAlgorithm& other);

    virtual int setParameters(QEAParameters* params);
    QRunSummary* runSummary() { return &summary; }
    virtual int reset();
    virtual int evaluate();  // 0 asks the run to stop
    virtual int finish();
    virtual int select();
    virtual int selectElite();
    virtual int recombine();
    virtual int mutate();
    virtual int replace();
    virtual int printName(std::ostream& out) const = 0;
    virtual int reportStatistics(const std::vector<QRunSummary>& runs, std::ostream& out) = 0;
    virtual int cleanup();
    virtual int run() = 0;
    virtual std::unique_ptr<QEvolutionaryAlgorithm> clone() const = 0;

protected:
    // "Final best fitness = ", "Final worst fitness = " and "Convergence generation = " lines of
    // the last recorded generation (generation 0 when none was completed).
    void writeFinalLines() const;
    // The end-of-run convergence test: a run that went to its end, or stopped early, with equal
    // best and worst fitness in its last recorded generation.
    void recordFinalConvergence();
    // Mean, unbiased variance, best and worst of fitnessValues_, stored for generation g.
    void recordGenerationStatistics(int g);
    // First generation after the initial one whose best and worst fitness are equal (1-based).
    void recordConvergence(int g);
    // "?" on standard output and the "strange results" block in the log, for a generation
    // whose population has no best individual.
    void reportMissingBest();

    // Counts one evaluation in generation g and records the run's first hit (keeping a copy of
    // the individual when keepSolution is set).
    void countEvaluation(const QIndividual& individual, int g, bool keepSolution);

    // Working lists kept between generations so that the steps do not allocate.
    std::vector<double> fitnessValues_;  // evaluate: one fitness per individual
    std::vector<int> eliteCandidates_;   // selectElite: mating-pool indices not yet taken

private:
    // Clears the pointers to the populations and operators that the factory owns.
    void forgetBorrowedObjects();
};

}  // namespace Valdrin
