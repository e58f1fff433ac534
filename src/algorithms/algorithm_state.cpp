// What an algorithm carries from one generation to the next, written to and read from a saved
// state: the run's record, the current population, the mating pool, the offspring population and
// the population sizer's state; SARN2 adds its template network. Everything else an algorithm
// holds is either made again from the record when the experiment is set up (the operators, their
// bounds and rates) or working space that every step fills before reading it.
#include "algorithms/algorithm.h"
#include "algorithms/sarn2.h"
#include "core/state_io.h"
#include "representation/state.h"
#include "statistics/run_summary_state.h"

namespace Valdrin {

const QEAParameters* QEvolutionaryAlgorithm::recordFor(Encoding /*encoding*/) const { return &params_; }

void QEvolutionaryAlgorithm::saveState(StateWriter& out) const {
    writeRunSummary(out, summary_);
    writePopulation(out, *parts_.currentPopulation);
    writePopulation(out, *parts_.matingPool);
    writePopulation(out, *parts_.offspringPopulation);
    parts_.sizer->saveState(out);
}

void QEvolutionaryAlgorithm::restoreState(StateReader& in) {
    const RecordForEncoding records = [this](Encoding encoding) { return recordFor(encoding); };
    readRunSummary(in, summary_, records);
    readPopulation(in, *parts_.currentPopulation, records);
    readPopulation(in, *parts_.matingPool, records);
    readPopulation(in, *parts_.offspringPopulation, records);
    parts_.sizer->restoreState(in);
}

const QEAParameters* QSARN2::recordFor(Encoding encoding) const {
    return encoding == Encoding::Network ? &networkParams_ : QEvolutionaryAlgorithm::recordFor(encoding);
}

void QSARN2::saveState(StateWriter& out) const {
    QEvolutionaryAlgorithm::saveState(out);
    writeIndividual(out, *templateNetwork_);
}

void QSARN2::restoreState(StateReader& in) {
    QEvolutionaryAlgorithm::restoreState(in);
    std::unique_ptr<QIndividual> saved;
    readIndividual(in, saved, [this](Encoding encoding) { return recordFor(encoding); });
    if (saved->getEncoding() != Encoding::Network) {
        throw StateError("the saved state holds a template network that is not a network");
    }
    templateNetwork_->copy(*saved);
}

}  // namespace Valdrin
