// QProblem: the objective of an experiment. Fitness is a cost everywhere (lower is better). A
// problem works for one experiment's engine: it draws from its generator (where it draws at
// all), writes its reports to its streams and its files in its folder.
#pragma once

#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/engine.h"
#include "core/parameters.h"
#include "representation/population.h"

namespace Valdrin {

// Thrown by a problem whose evaluation failed (an outside evaluator that died, answered what is
// not a number, or a fitness that is NaN): which individual of the ones handed over, counting
// from 0 (-1 when it was evaluated alone), and why. The experiment ends, keeping its finished runs.
struct EvaluationFailure {
    int individual = -1;
    std::string reason;
};

class QProblem {
public:
    const QEAParameters* _params = nullptr;  // not owned

    virtual ~QProblem() = default;
    virtual int setParameters(const QEAParameters* params) {
        _params = params;
        return 1;
    }
    // Overrides the record fields the problem depends on; called before anything copies it.
    virtual int adjustParameters(QEAParameters* params) = 0;
    // Stores the fitness (and empties or sets fitnessComponents); 0 when it cannot decode.
    virtual int evaluateIndividual(QIndividual& individual) = 0;
    // Evaluates every individual in index order; results ignored; returns 1.
    virtual int evaluatePopulation(QPopulation& population);
    // Evaluates the individuals of a generation on up to `threads` threads. Every fitness, and
    // everything written, is as if evaluateIndividual had been called on each in turn. The
    // default calls evaluateIndividual in turn on this thread.
    virtual void evaluateAll(std::span<QIndividual* const> individuals, int threads);
    // Whether the algorithm should hand this problem whole generations (evaluateAll) even on one
    // thread: a problem that evaluates outside this process, a generation per exchange.
    virtual bool prefersWholeGenerations() const { return false; }
    // A problem of its own for one more thread, evaluating exactly as this one does; null where
    // evaluations may not run on several threads (the problem draws random numbers, writes as it
    // evaluates or shares state).
    virtual std::unique_ptr<QProblem> threadCopy() const { return nullptr; }
    // Report on a run's final individual; the default does nothing.
    virtual int testIndividual(QIndividual& /*individual*/) { return 1; }
    // The names of the files the problem writes, beside the algorithm's log and the reports.
    virtual std::vector<std::string> outputFiles() const { return {}; }
    // Ends the experiment with a plain account when a file the problem keeps open could not be
    // written in full.
    virtual void verifyOutputs() {}
    // Those of outputFiles() that the problem writes anew, emptied, every time it writes them,
    // instead of keeping them open and appending: a checkpoint keeps their content whole.
    virtual std::vector<std::string> rewrittenFiles() const { return {}; }
    // The files the problem reads its data from, in the working directory: a checkpoint records
    // their checksums, so that a resumed experiment works on the same data.
    virtual std::vector<std::string> inputFiles() const { return {}; }
    virtual int printName(std::ostream& out) const = 0;

    Engine& engine() const { return *engine_; }

protected:
    // The engine must outlive the problem.
    explicit QProblem(Engine& engine) : engine_(&engine) {}
    // The message of a chromosome the problem cannot read, under the class's header; returns 0
    // for evaluateIndividual to pass on.
    int reportDecodingFailure(const char* header, const QIndividual& individual) const;
    // The message of a population or individual of an encoding the problem does not take;
    // returns 0.
    int reportWrongEncoding(const char* header, Encoding encoding) const;

private:
    Engine* engine_;  // not owned
};

}  // namespace Valdrin
