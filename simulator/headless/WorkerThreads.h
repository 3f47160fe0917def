// The threads the simulated programs start (their worker threads), kept and
// used again: a run starts one, a fault sweep tens of thousands, and a new
// operating-system thread each time (with the sanitizers' own stacks for it)
// costs more than the run.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace zmp::sim {

class WorkerThreads {
public:
    // One piece of work on a thread of the pool.
    class Job {
    public:
        // Returns once the work has returned.
        void Join();

    private:
        friend class WorkerThreads;
        std::function<void()> work_;
        std::mutex mutex_;
        std::condition_variable finished_;
        bool done_ = false;
    };

    // Runs `work` on an idle thread, or on a new one when none is idle (a
    // job may wait for another, so none waits for a free thread).
    static std::shared_ptr<Job> Start(std::function<void()> work);
};

}  // namespace zmp::sim
