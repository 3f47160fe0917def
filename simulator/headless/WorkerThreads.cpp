#include "simulator/headless/WorkerThreads.h"

#include <deque>
#include <thread>

namespace zmp::sim {
namespace {

struct Pool {
    std::mutex mutex;
    std::condition_variable queued;
    std::deque<std::shared_ptr<WorkerThreads::Job>> jobs;
    unsigned idle = 0;
};

// Never destroyed: its threads wait on it until the process ends.
Pool& ThePool() {
    static Pool* pool = new Pool;
    return *pool;
}

}  // namespace

void WorkerThreads::Job::Join() {
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [this] { return done_; });
}

std::shared_ptr<WorkerThreads::Job> WorkerThreads::Start(std::function<void()> work) {
    auto job = std::make_shared<Job>();
    job->work_ = std::move(work);
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    pool.jobs.push_back(job);
    if (pool.idle > 0) {
        --pool.idle;
        pool.queued.notify_one();
        return job;
    }
    std::thread([&pool] {
        std::unique_lock<std::mutex> lock(pool.mutex);
        for (;;) {
            pool.queued.wait(lock, [&pool] { return !pool.jobs.empty(); });
            std::shared_ptr<Job> next = std::move(pool.jobs.front());
            pool.jobs.pop_front();
            lock.unlock();
            next->work_();
            next->work_ = nullptr;  // what the work holds goes with it
            {
                std::lock_guard<std::mutex> done(next->mutex_);
                next->done_ = true;
            }
            next->finished_.notify_all();
            next.reset();
            lock.lock();
            ++pool.idle;
        }
    }).detach();
    return job;
}

}  // namespace zmp::sim
