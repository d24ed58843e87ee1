// SPDX-License-Identifier: MIT
// The collector's reading threads, waited for with a time limit: after Ctrl-C the tool may leave
// while one still sits in a library call waiting on a meter that does not answer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kcollect {

class Workers {
public:
    // Starts `count` threads, each running `work`.
    Workers(int count, const std::function<void()>& work);
    ~Workers();  // joins every thread
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // True once every thread has returned; waits no longer than `until`.
    bool wait_until(std::chrono::steady_clock::time_point until);

private:
    std::mutex mutex_;
    std::condition_variable done_;
    int running_;
    std::vector<std::thread> threads_;
};

}  // namespace kcollect
