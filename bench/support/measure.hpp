// SPDX-License-Identifier: MIT
// Clocks and statistics shared by the benchmark programs.
#pragma once

#include <chrono>
#include <vector>

namespace kbench {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start);
struct CpuTime {
    double user = 0;    // seconds in user space
    double system = 0;  // seconds in the kernel (socket calls, wake-ups)
    CpuTime operator-(const CpuTime& other) const {
        return {user - other.user, system - other.system};
    }
};
CpuTime process_cpu();  // every thread of this process, exited ones included
CpuTime thread_cpu();   // the calling thread only
double median(std::vector<double> values);

// Keeps this thread, and every thread and process it starts afterwards, on the CPU it runs on
// now: client and simulator then hand each round trip over on one core, with no cross-core
// wake-ups, which removes most of the noise of other jobs on a small shared machine.
// Returns that CPU.
int pin_to_current_cpu();

}  // namespace kbench
