// The shared population loop of every problem, the generation split over threads and the
// decoding-failure message.
#include "problems/problem.h"

#include <ostream>

#include "core/worker_pool.h"
#include "problems/evaluation_threads.h"

namespace Valdrin {

int QProblem::reportDecodingFailure(const char* header, const QIndividual& individual) const {
    // A worker thread leaves the message to the calling thread, which writes it in its turn.
    if (WorkerPool::onWorker()) throw WriteOnCallingThread{};
    engine().err() << header << "\tIncorrect encoding type or encoding parameters! (encoding ID = "
              << number(individual.getEncoding()) << ")\n\n";
    return 0;
}

int QProblem::reportWrongEncoding(const char* header, Encoding encoding) const {
    if (WorkerPool::onWorker()) throw WriteOnCallingThread{};
    engine().err() << header << "\tIncorrect encoding type! (encoding ID = " << number(encoding) << ")\n\n";
    return 0;
}

int QProblem::evaluatePopulation(QPopulation& population) {
    for (int i = 0; i < population.size(); ++i) evaluateIndividual(*population.getIndividual(i));
    return 1;
}

void QProblem::evaluateAll(std::span<QIndividual* const> individuals, int threads) {
    if (threads > 1 && individuals.size() > 1) {
        // The threads the algorithm keeps for this problem, or ones made for this call.
        EvaluationThreads* shared = EvaluationThreads::offeredFor(*this);
        std::unique_ptr<EvaluationThreads> own;
        if (shared == nullptr) {
            own = EvaluationThreads::make(*this, threads);
            shared = own.get();
        }
        if (shared != nullptr) {
            shared->evaluate(*this, individuals, threads);
            return;
        }
    }
    for (QIndividual* individual : individuals) evaluateIndividual(*individual);
}

}  // namespace Valdrin
