// SPDX-License-Identifier: MIT
// Live readings: kolvane_read_live_ex (kolvane_read_live with the simulator's port as the only
// option) against 16 simulated em133 meters on 127.0.0.1. Every call opens its own connection,
// reads the scaling and the register families, and builds the readings JSON. Calls per
// second on 1, 4 and 16 threads; thread t starts at meter t and goes round all 16.
#include <atomic>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kolvane.h"
#include "simulator.hpp"
#include "support/measure.hpp"

namespace {

constexpr int METERS = 16;
constexpr int ROUNDS = 3;
constexpr double SECONDS_PER_RUN = 1.0;
const int THREADS[] = {1, 4, 16};

// Calls per second of `threads` threads calling for SECONDS_PER_RUN.
double calls_per_second(const std::vector<std::string>& options, int threads) {
    std::atomic<bool> stop{false}, failed{false};
    std::atomic<long> calls{0};
    std::vector<std::thread> workers;
    const auto start = kbench::Clock::now();
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            std::vector<char> out(64 * 1024);
            char err[256];
            for (int meter = t; !stop; meter = (meter + 1) % METERS) {
                if (kolvane_read_live_ex("127.0.0.1", "em133", options[meter].c_str(), out.data(),
                                         int(out.size()), err, sizeof err) <= 0) {
                    std::fprintf(stderr, "bench_live: %s\n", err);
                    failed = true;
                    return;
                }
                ++calls;
            }
        });
    }
    while (kbench::seconds_since(start) < SECONDS_PER_RUN && !failed)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    for (std::thread& worker : workers) worker.join();
    if (failed) throw std::runtime_error("a live reading failed");
    return double(calls) / kbench::seconds_since(start);
}

}  // namespace

int main() try {
    std::vector<std::unique_ptr<ksim::Simulator>> meters;
    std::vector<std::string> options;
    for (int i = 0; i < METERS; ++i) {
        meters.push_back(std::make_unique<ksim::Simulator>(
            ksim::default_meter(ksim::Model::em133, 1, 1700000000, 1)));
        meters.back()->set_journal_enabled(false);
        options.push_back("{\"port\":" + std::to_string(meters.back()->start()) + "}");
    }
    std::vector<std::vector<double>> rates(std::size(THREADS));
    for (int round = 0; round < ROUNDS; ++round) {
        for (size_t i = 0; i < std::size(THREADS); ++i)
            rates[i].push_back(calls_per_second(options, THREADS[i]));
    }
    std::printf(
        "live readings: kolvane_read_live_ex, a new connection per call, %d em133 simulators in "
        "this "
        "process; medians of %d alternating runs of %.0f s\n",
        METERS, ROUNDS, SECONDS_PER_RUN);
    for (size_t i = 0; i < std::size(THREADS); ++i) {
        const double rate = kbench::median(rates[i]);
        std::printf("  %2d thread%s  %7.0f readings/s  (%.2f ms per reading per thread)\n",
                    THREADS[i], THREADS[i] == 1 ? " " : "s", rate, 1e3 * THREADS[i] / rate);
    }
    return 0;
} catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_live: %s\n", failure.what());
    return 1;
}
