// SPDX-License-Identifier: MIT
#include "support/measure.hpp"

#include <algorithm>

#include <sched.h>
#include <sys/resource.h>

namespace kbench {
namespace {

double seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; }

CpuTime cpu(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

}  // namespace

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

CpuTime process_cpu() { return cpu(RUSAGE_SELF); }

CpuTime thread_cpu() { return cpu(RUSAGE_THREAD); }

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int pin_to_current_cpu() {
    const int cpu = sched_getcpu();
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    sched_setaffinity(0, sizeof set, &set);
    return cpu;
}

}  // namespace kbench
