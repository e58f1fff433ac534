// WorkerPool: persistent threads, a job at a time.
#include "core/worker_pool.h"

#include <algorithm>

namespace Valdrin {

namespace {

thread_local bool isWorker = false;

}  // namespace

bool WorkerPool::onWorker() { return isWorker; }

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
    }
    start_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::addWorkers(int count) {
    std::uint64_t job = 0;
    {
        const std::lock_guard lock(mutex_);
        job = job_;
    }
    threads_.reserve(static_cast<std::size_t>(std::max(count, 0)));
    while (workers() < count) {
        // A new worker has seen every job handed over before it, which have all ended.
        const int part = workers() + 1;
        threads_.emplace_back([this, part, job] { work(part, job); });
    }
}

void WorkerPool::run(int parts, const std::function<void(int)>& part) {
    parts = std::min(parts, workers() + 1);
    if (parts < 1) return;
    thrown_.assign(static_cast<std::size_t>(parts), nullptr);
    if (parts > 1) {
        {
            const std::lock_guard lock(mutex_);
            part_ = &part;
            parts_ = parts;
            pending_ = parts - 1;
            ++job_;
        }
        start_.notify_all();
    }
    try {
        part(0);
    } catch (...) {
        thrown_[0] = std::current_exception();
    }
    if (parts > 1) {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return pending_ == 0; });
        part_ = nullptr;
    }
    for (const std::exception_ptr& thrown : thrown_) {
        if (thrown) std::rethrow_exception(thrown);
    }
}

void WorkerPool::work(int part, std::uint64_t seen) {
    isWorker = true;
    std::unique_lock lock(mutex_);
    while (true) {
        start_.wait(lock, [this, seen] { return closing_ || job_ != seen; });
        if (closing_) return;
        seen = job_;
        // A job of fewer parts leaves this worker out.
        if (part >= parts_) continue;
        const std::function<void(int)>& task = *part_;
        lock.unlock();
        std::exception_ptr thrown;
        try {
            task(part);
        } catch (...) {
            thrown = std::current_exception();
        }
        lock.lock();
        thrown_[static_cast<std::size_t>(part)] = thrown;
        if (--pending_ == 0) done_.notify_one();
    }
}

}  // namespace Valdrin
