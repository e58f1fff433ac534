// EvaluationThreads: what QProblem's default evaluateAll splits a generation over: a worker pool
// and, for each worker, a copy of the problem (threadCopy), each made once and kept. The
// algorithm keeps one for its problem and offers it while it hands a generation over; without
// one on offer, evaluateAll makes one for the call.
//
// Each thread evaluates a contiguous share of the individuals, the calling thread the first share
// with the problem itself. Nothing an evaluation on a worker would write reaches a stream: at
// that point it throws WriteOnCallingThread, and the calling thread evaluates that individual
// and the rest of its share again itself, in index order, after the shares before it. So every
// fitness and every message is as if the individuals had been evaluated one after the other.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "core/worker_pool.h"

namespace Valdrin {

class QIndividual;
class QProblem;

// Thrown by an evaluation running on a worker thread where it would write a message to the
// experiment's streams: the individual is evaluated again on the calling thread, in its turn.
struct WriteOnCallingThread {};

class EvaluationThreads {
public:
    // For the problem on up to `threads` threads; null when threads < 2 or the problem gives no
    // copy of itself.
    static std::unique_ptr<EvaluationThreads> make(const QProblem& problem, int threads);
    ~EvaluationThreads();
    EvaluationThreads(const EvaluationThreads&) = delete;
    EvaluationThreads& operator=(const EvaluationThreads&) = delete;

    // Evaluates the individuals with the problem the threads were made for, as evaluateAll
    // promises: what an evaluation throws (an EvaluationFailure, a Failure, ...) is rethrown here
    // for the lowest index that threw, an EvaluationFailure naming that index in the span.
    void evaluate(QProblem& problem, std::span<QIndividual* const> individuals, int threads);

    // The threads on offer on this thread for the problem (null when there are none).
    static EvaluationThreads* offeredFor(const QProblem& problem);

    // Offers the threads (when not null) to evaluateAll on this thread for its lifetime.
    class Offer {
    public:
        explicit Offer(EvaluationThreads* threads);
        ~Offer();
        Offer(const Offer&) = delete;
        Offer& operator=(const Offer&) = delete;

    private:
        EvaluationThreads* previous_;
    };

private:
    // How one share ended on its thread.
    struct Share {
        int first = 0;
        int end = 0;
        int stoppedAt = -1;  // the index where it stopped (-1: it evaluated every individual)
        bool failed = false;  // stopped by what the evaluation threw (thrown), else to be finished here
        std::exception_ptr thrown;
    };

    EvaluationThreads(const QProblem& problem, int threads, std::unique_ptr<QProblem> firstCopy);
    // Makes copies and starts workers until there are `count` of each.
    void prepare(int count);
    void evaluateShare(int part);

    const QProblem* original_;
    int threads_;
    std::vector<std::unique_ptr<QProblem>> copies_;  // copies_[k] for worker k
    WorkerPool pool_;
    std::vector<Share> shares_;
    // The call under way.
    QProblem* problem_ = nullptr;
    std::span<QIndividual* const> individuals_;
    std::function<void(int)> part_;
};

}  // namespace Valdrin
