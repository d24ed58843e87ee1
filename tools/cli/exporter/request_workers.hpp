// SPDX-License-Identifier: MIT
// The threads that answer the exporter's requests, kept from one request to the next: a request
// runs at once on an idle thread, or on a new one while fewer than the bound exist. A request
// waits for a meter for seconds, so none may wait behind another.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kexp {

class RequestWorkers {
public:
    explicit RequestWorkers(unsigned max_threads) : max_threads_(max_threads) {}
    // Runs every job handed over, then ends the threads.
    ~RequestWorkers();
    RequestWorkers(const RequestWorkers&) = delete;
    RequestWorkers& operator=(const RequestWorkers&) = delete;

    void run(std::function<void()> job);
    // Returns once no job is waiting or running.
    void wait_idle();

private:
    void work();

    const unsigned max_threads_;
    std::mutex mutex_;
    std::condition_variable job_added_, idle_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    std::size_t waiting_threads_ = 0;
    std::size_t running_jobs_ = 0;
    bool stopping_ = false;
};

}  // namespace kexp
