// SPDX-License-Identifier: MIT
#include "collect/workers.hpp"

namespace kcollect {

Workers::Workers(int count, const std::function<void()>& work) : running_(count) {
    for (int i = 0; i < count; ++i)
        threads_.emplace_back([this, work] {
            work();
            std::lock_guard lock(mutex_);
            if (--running_ == 0) done_.notify_all();
        });
}

Workers::~Workers() {
    for (std::thread& thread : threads_) thread.join();
}

bool Workers::wait_until(std::chrono::steady_clock::time_point until) {
    std::unique_lock lock(mutex_);
    return done_.wait_until(lock, until, [&] { return running_ == 0; });
}

}  // namespace kcollect
