// WorkerPool: threads that are started once and then take the parts of one job at a time. The
// thread that hands a job over runs its first part itself; worker k runs part k + 1. Between jobs
// the workers sleep on a condition variable; they are joined when the pool is destroyed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Valdrin {

class WorkerPool {
public:
    WorkerPool() = default;
    // Joins the workers (no job is running then: run returns only when its parts have ended).
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int workers() const { return static_cast<int>(threads_.size()); }
    // Starts workers until there are at least `count`. Called between jobs, by the thread that
    // hands them over. Throws std::system_error when the system starts no more threads (the
    // workers started so far stay).
    void addWorkers(int count);

    // Runs part(k) for k = 0 .. parts - 1, part 0 on this thread and part k on worker k - 1
    // (parts beyond workers() + 1 are not run), and returns when every part has ended. What a
    // part throws is rethrown here once they all have ended: the lowest part's, when several
    // throw.
    void run(int parts, const std::function<void(int)>& part);

    // Whether the calling thread is a worker of a pool.
    static bool onWorker();

private:
    void work(int part, std::uint64_t seen);

    std::mutex mutex_;
    std::condition_variable start_;  // a job came, or the pool is closing
    std::condition_variable done_;   // the last worker part of a job ended
    std::uint64_t job_ = 0;          // jobs handed over so far
    const std::function<void(int)>* part_ = nullptr;
    int parts_ = 0;
    int pending_ = 0;  // worker parts of the current job not yet ended
    bool closing_ = false;
    std::vector<std::exception_ptr> thrown_;  // by part, for the current job
    std::vector<std::thread> threads_;
};

}  // namespace Valdrin
