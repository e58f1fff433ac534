// EvaluationThreads: a generation's individuals evaluated in shares on several threads, with the
// outcome of evaluating them one after the other.
#include "problems/evaluation_threads.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "problems/problem.h"

namespace Valdrin {

namespace {

// The threads offered to evaluateAll on this thread.
thread_local EvaluationThreads* offered = nullptr;

// What an evaluation threw, an EvaluationFailure naming the individual's index in the span.
[[noreturn]] void rethrowFor(const std::exception_ptr& thrown, int index) {
    try {
        std::rethrow_exception(thrown);
    } catch (const EvaluationFailure& failure) {
        throw EvaluationFailure{index, failure.reason};
    }
}

}  // namespace

std::unique_ptr<EvaluationThreads> EvaluationThreads::make(const QProblem& problem, int threads) {
    if (threads < 2) return nullptr;
    std::unique_ptr<QProblem> copy = problem.threadCopy();
    if (copy == nullptr) return nullptr;
    return std::unique_ptr<EvaluationThreads>(new EvaluationThreads(problem, threads, std::move(copy)));
}

EvaluationThreads::EvaluationThreads(const QProblem& problem, int threads, std::unique_ptr<QProblem> firstCopy)
    : original_(&problem), threads_(threads), part_([this](int part) { evaluateShare(part); }) {
    copies_.push_back(std::move(firstCopy));
}

// The pool is a member declared after the copies: its workers are joined before the copies go.
EvaluationThreads::~EvaluationThreads() = default;

EvaluationThreads* EvaluationThreads::offeredFor(const QProblem& problem) {
    return offered != nullptr && offered->original_ == &problem ? offered : nullptr;
}

EvaluationThreads::Offer::Offer(EvaluationThreads* threads) : previous_(offered) { offered = threads; }

EvaluationThreads::Offer::~Offer() { offered = previous_; }

void EvaluationThreads::prepare(int count) {
    while (static_cast<int>(copies_.size()) < count) {
        std::unique_ptr<QProblem> copy = original_->threadCopy();
        if (copy == nullptr) break;
        copies_.push_back(std::move(copy));
    }
    // A system that starts fewer threads leaves the shares to the workers it started: the
    // outcome is the same.
    try {
        pool_.addWorkers(std::min(count, static_cast<int>(copies_.size())));
    } catch (const std::system_error&) {
    }
}

void EvaluationThreads::evaluate(QProblem& problem, std::span<QIndividual* const> individuals, int threads) {
    const auto n = static_cast<long long>(individuals.size());
    int parts = static_cast<int>(std::min<long long>({threads, threads_, n}));
    if (parts > 1) {
        prepare(parts - 1);
        parts = std::min(parts, pool_.workers() + 1);
    }
    parts = std::max(parts, 1);
    // Contiguous shares in index order, their sizes differing by one at most.
    shares_.assign(static_cast<std::size_t>(parts), Share{});
    for (int k = 0; k < parts; ++k) {
        Share& share = shares_[static_cast<std::size_t>(k)];
        share.first = static_cast<int>(n * k / parts);
        share.end = static_cast<int>(n * (k + 1) / parts);
    }
    problem_ = &problem;
    individuals_ = individuals;
    pool_.run(parts, part_);
    problem_ = nullptr;

    // The shares in order: the first that stopped for what its evaluation threw ends the call;
    // one that stopped to have a message written is finished here.
    for (const Share& share : shares_) {
        if (share.stoppedAt < 0) continue;
        if (share.failed) rethrowFor(share.thrown, share.stoppedAt);
        for (int i = share.stoppedAt; i < share.end; ++i) {
            try {
                problem.evaluateIndividual(*individuals[static_cast<std::size_t>(i)]);
            } catch (const EvaluationFailure& failure) {
                throw EvaluationFailure{i, failure.reason};
            }
        }
    }
}

void EvaluationThreads::evaluateShare(int part) {
    Share& share = shares_[static_cast<std::size_t>(part)];
    QProblem& problem = part == 0 ? *problem_ : *copies_[static_cast<std::size_t>(part) - 1];
    int i = share.first;
    try {
        for (; i < share.end; ++i) problem.evaluateIndividual(*individuals_[static_cast<std::size_t>(i)]);
    } catch (const WriteOnCallingThread&) {
        share.stoppedAt = i;
    } catch (...) {
        share.stoppedAt = i;
        share.failed = true;
        share.thrown = std::current_exception();
    }
}

}  // namespace Valdrin
