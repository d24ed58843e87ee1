// SPDX-License-Identifier: MIT
#include "exporter/request_workers.hpp"

namespace kexp {

RequestWorkers::~RequestWorkers() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    job_added_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void RequestWorkers::run(std::function<void()> job) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        // Each waiting job needs a thread of its own: the waiting threads may not cover them all.
        if (jobs_.size() > waiting_threads_ && threads_.size() < max_threads_)
            threads_.emplace_back([this] { work(); });
    }
    job_added_.notify_one();
}

void RequestWorkers::wait_idle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && running_jobs_ == 0; });
}

void RequestWorkers::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++waiting_threads_;
        job_added_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        --waiting_threads_;
        if (jobs_.empty()) return;  // stopping, and every job done
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        ++running_jobs_;
        lock.unlock();
        job();
        lock.lock();
        --running_jobs_;
        if (jobs_.empty() && running_jobs_ == 0) idle_.notify_all();
    }
}

}  // namespace kexp
