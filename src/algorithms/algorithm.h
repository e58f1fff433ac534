// QEvolutionaryAlgorithm: the one run loop of every algorithm, the generation steps it takes
// (evaluate, select, elite selection, recombine, mutate, replace) and the run's final report.
// The algorithms differ in the steps they override and in the hooks of the run loop.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "algorithms/breeding.h"
#include "algorithms/parts.h"
#include "core/engine.h"
#include "core/failure.h"
#include "core/output_file.h"
#include "core/parameters.h"
#include "statistics/run_summary.h"

namespace Valdrin {

class QProblem;
class QFitnessSharing;
class EvaluationThreads;
class StateReader;
class StateWriter;

class QEvolutionaryAlgorithm {
public:
    QEvolutionaryAlgorithm(const QEvolutionaryAlgorithm&) = delete;
    QEvolutionaryAlgorithm& operator=(const QEvolutionaryAlgorithm&) = delete;
    virtual ~QEvolutionaryAlgorithm();

    // Takes its own copy of the record, makes its parts through the maker (a record naming
    // something that cannot be made, or a crossover with other than 2 parents or fewer than 2
    // children, ends the experiment), binds them and prepares the first run. The problem is
    // borrowed and must outlive the algorithm's runs.
    virtual int setUp(const QEAParameters& params, const PartsMaker& maker, QProblem& problem);

    // One run: the generations, then the run's final report. The generations end with the
    // record's count, or after the one whose end finds the evaluations budget (when above 0)
    // reached. A record that allows no generation, or has a negative budget, ends the experiment.
    virtual int run();

    const QRunSummary& runSummary() const { return summary_; }
    const QEAParameters& parameters() const { return params_; }
    virtual int printName(std::ostream& out) const = 0;
    // The algorithm's own section of the report over runs; none by default.
    virtual int reportStatistics(const std::vector<QRunSummary>& runs, std::ostream& out) const;
    // Lets go of the populations and operators and forgets the current run's record.
    virtual int cleanup();

    // Called after every completed generation with the run's record (its generationsDone
    // already counts the generation). It may throw to end the run.
    void setGenerationObserver(std::function<void(const QRunSummary&)> observer) { observer_ = std::move(observer); }
    // The run log's path ("" without one).
    const std::string& logPath() const { return log_.path(); }
    // Ends the experiment with a plain account when the run log could not be written in full.
    void verifyLog() { log_.verify(); }

    // --- Checkpoints (algorithms/algorithm_state.cpp) ---
    // Writes what the run loop carries from one generation to the next: the run's record, the
    // three populations and the sizer's state (SARN2 adds its template network). Called between
    // generations (from the generation observer) or between runs.
    virtual void saveState(StateWriter& out) const;
    // Reads what saveState wrote, into an algorithm set up from the same record. Throws
    // StateError when the saved state does not fit the algorithm.
    virtual void restoreState(StateReader& in);
    // Makes the next run() go on with the restored run, from the generation after the last one
    // it completed, instead of starting a new run.
    void continueRestoredRun() { continuing_ = true; }
    // The record an individual of the encoding is bound to: the algorithm's own copy (SARN2
    // binds its networks to its network record).
    virtual const QEAParameters* recordFor(Encoding encoding) const;

    // The generation steps, in the order the run loop takes them.
    virtual int reset();
    virtual int evaluate();  // 0 asks the run to stop (only the network algorithms listen)
    int select();
    int selectElite();
    virtual int recombine();
    int mutate();
    int replace();
    virtual int finish();

    // What the steps work on, for the steps of derived algorithms and for inspection.
    QPopulation& currentPopulation() { return *parts_.currentPopulation; }
    QPopulation& matingPool() { return *parts_.matingPool; }
    QPopulation& offspringPopulation() { return *parts_.offspringPopulation; }
    const AlgorithmParts& parts() const { return parts_; }
    std::ostream& log() { return log_; }

    // The engine the algorithm works for: its generator, streams, folder and clock.
    Engine& engine() const { return *engine_; }

protected:
    // An algorithm that writes its run log to the named file in the engine's folder (opened now,
    // emptied). The engine must outlive the algorithm.
    QEvolutionaryAlgorithm(Engine& engine, const std::string& logName);
    // An algorithm without a log file.
    explicit QEvolutionaryAlgorithm(Engine& engine);

    // --- Hooks of the run loop ---
    // The header of the message that refuses a record without generations.
    virtual const char* runErrorHeader() const = 0;
    // Whether an evaluation that asks the run to stop (the first hit) ends the generations.
    virtual bool stopsWhenEvaluationAsks() const { return false; }
    // After the run's first log lines, before the first generation.
    virtual void beginRun() {}
    // Written to standard output when the generations are over, before and after the clock is read.
    virtual const char* endingBeforeClock() const { return ""; }
    virtual const char* endingAfterClock() const { return "\n"; }
    // After the last population is written to the log, before the run's duration.
    virtual void endRun() {}

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
    // Whether evaluate and finish hand the problem a generation at once (evaluateAll) instead of
    // evaluating its individuals one at a time: on more than one thread, or for a problem that
    // prefers whole generations.
    bool handsOverGenerations() const;
    // Hands every individual of the population to the problem's evaluateAll, offering it the
    // threads kept for it.
    void evaluateTogether(QPopulation& population);

    QEAParameters params_;  // the algorithm's own copy
    QRunSummary summary_;   // record of the current run
    QProblem* problem_ = nullptr;  // borrowed
    std::unique_ptr<Breeding> breeding_;
    QFitnessSharing* sharing_ = nullptr;  // the niching part when it shares fitness

    // Working lists kept between generations so that the steps do not allocate.
    std::vector<double> fitnessValues_;  // evaluate: one fitness per individual
    std::vector<int> eliteCandidates_;   // selectElite: mating-pool indices not yet taken
    std::vector<QIndividual*> handedOver_;  // evaluateTogether: the individuals given to evaluateAll
    // The elite copies selectElite put at the front of this generation's offspring population;
    // a recombination that replaces the offspring (SARN's) sets it back to 0.
    int eliteCopies_ = 0;

private:
    Engine* engine_;  // not owned
    AlgorithmParts parts_;
    OutputFile log_;
    std::function<void(const QRunSummary&)> observer_;
    bool continuing_ = false;  // the next run() goes on with a restored run
    // The threads the problem's evaluateAll splits a generation over (made at the first
    // generation handed over on more than one thread; none when the problem gives no copies).
    std::unique_ptr<EvaluationThreads> evaluationThreads_;
    bool evaluationThreadsMade_ = false;
};

}  // namespace Valdrin
